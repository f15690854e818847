/*
 * The records of the toolkit's spine, in the system's field order: class
 * definitions, objects and configurations, and the internal functions that
 * work on them with the API mutex held.
 *
 * Every object has a gate: the threshold its logging calls test without
 * the mutex, a relaxed atomic kept under the mutex. It is the logger's
 * level while the toolkit is open and the object enabled, and "accept
 * nothing" otherwise, so a closed toolkit or a disabled logger costs a
 * logging call one load and one comparison.
 */
#ifndef KVL_OBJECT_H
#define KVL_OBJECT_H

#include <stdint.h>

#include "CxPlatformErr.h"
#include "KvlContainers.h"
#include "KvlMessage.h"
#include "kavel.h"
#include "kavel_ext.h"

#ifdef __cplusplus
#include <atomic>
#include <string>

/* What the toolkit's own classes have beside the public slots. A class
 * registered through the public functions has none of it: it is reached
 * through its public slots alone. */
/* Formatter: appends the record for the event to `out`; false when it
 * makes none. */
using KvlFFormatInto = bool (*)(KvlObject *formatter, KvlEvent *event, std::string &out);
/* Handler: the writer the one handler sequence writes through
 * (KvlHandlerSeam.h). */
struct KvlHandlerWriter;
/* Every class: the properties it reads (KvlPropertyTable.h). */
namespace kvl {
struct PropertyTable;
}
/* What the `vars` of a class's objects hold, for the operations that take
 * objects of several classes. */
enum class KvlRecordKind : uint8_t {
    kOwn,
    kFFDCTrigger,  /* a capture trigger's record */
    kFFDCFileCopy, /* a trigger's record with the file copy's extension */
};
struct KvlClassInternals {
    KvlFFormatInto formatInto = nullptr;
    const KvlHandlerWriter *writer = nullptr;
    KvlRecordKind records = KvlRecordKind::kOwn;
    const kvl::PropertyTable *properties = nullptr;
    /* A text handler class's output (KvlAddTextHandlerClass). */
    KvlFPrepareText prepareText = nullptr;
    KvlFWriteText writeText = nullptr;
    KvlFWriteTexts writeTexts = nullptr;
};

struct KvlObjClass {
    int32_t kind; /* KVL_KIND_* */
    char *name;
    KvlI18Msg *description; /* owned, may be null */
    /* Slots 1 to 4 by kind: logger log; filter process, isLoggable, log;
     * handler process, open, close; formatter format, getHeader,
     * getTrailer, bindMsg. */
    KvlFLog log;
    KvlFProcess process;
    KvlFIsLoggable isLoggable;
    KvlFOpen open;
    KvlFClose close;
    KvlFFormat format;
    KvlFGetHeader getHeader;
    KvlFGetTrailer getTrailer;
    KvlFBindMsg bindMsg;
    KvlFAllocVars allocVars;
    KvlFFreeVars freeVars;
    KvlFCfgChange cfgChange;
    /* The toolkit's own additions (zero for a class registered publicly,
     * but for the binding a formatter gets when it names none). */
    KvlClassInternals internals;
    /* Formatter: binds with the toolkit's own binding, whose text every
     * formatter of the event shares. */
    bool toolkitBinding;
};

/* The formatter every new handler starts with, of class
 * "kvl_basicformatter". */
inline constexpr char KVL_DEFAULT_FORMATTER_NAME[] = "kavel.defaultFormatter";

/* The gate's "accept nothing". */
constexpr int32_t KVL_GATE_CLOSED = KVL_GATE_SHUT;

struct KvlObject {
    KvlObjClass *klass; /* null once detached at close */
    uint32_t refCount;
    char *name;
    unsigned char enabled;
    /* Logger and filter. */
    int32_t level;
    /* Logger, filter and handler. */
    KvlListenerGroup *listeners;
    /* Handler: its formatter, holding one reference. */
    KvlObject *formatter;
    /* Formatter. */
    char *separator;
    char *dateTimeFormat;
    char *locale;
    KvlStringToStringMap *properties;
    void *vars;
    std::atomic<int32_t> gate;
    /* How many deliveries of the current event pass through it (under the
     * API mutex): non-zero means it is on the event's path. */
    uint32_t delivering;
};

/* Whether the object exists, is attached to its class and is of `kind`. */
inline bool kvlObjectIsKind(const KvlObject *object, int32_t kind) {
    return object != nullptr && object->klass != nullptr && object->klass->kind == kind;
}
struct KvlObjCfg {
    uint32_t refCount;
    char *name;
    char *parentName;
    KvlStringGroup *children;
    KvlStringToStringMap *properties;
    unsigned char fromFile;
};

extern "C" {
#endif

KVL_DECLARE_MAP_INTL(StringToObjMap, KvlObject *, KvlObject *)
KVL_DECLARE_MAP_INTL(StringToObjCfgMap, KvlObjCfg *, KvlObjCfg *)
KVL_DECLARE_GROUP_INTL(ListenerGroup, KvlObject *, KvlObject *)

/* Toolkit (lifecycle, classes, instances). */
int kvlToolkitIsOpen(void) KVL_NOEXCEPT;
void kvlToolkitInitObjClasses(void) KVL_NOEXCEPT;
KvlObjClass *kvlToolkitGetClassDef(const char *name) KVL_NOEXCEPT;
KvlStringGroup *kvlToolkitFetchClassnames(int32_t kind) KVL_NOEXCEPT;
void kvlToolkitAddObjInstance(const char *name, KvlObject *object) KVL_NOEXCEPT;
KvlObject *kvlToolkitGetObjInstance(const char *name) KVL_NOEXCEPT;
void kvlToolkitRemObjInstance(const char *name) KVL_NOEXCEPT;
void kvlIntlAddLoggerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                           KvlFFreeVars freeVars, KvlFCfgChange cfgChange,
                           KvlFLog log) KVL_NOEXCEPT;
void kvlIntlAddFilterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                           KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                           KvlFIsLoggable isLoggable, KvlFLog log) KVL_NOEXCEPT;
void kvlIntlAddHandlerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                            KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                            KvlFOpen open, KvlFClose close) KVL_NOEXCEPT;
void kvlIntlAddFormatterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                              KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFFormat format,
                              KvlFGetHeader getHeader, KvlFGetTrailer getTrailer,
                              KvlFBindMsg bindMsg) KVL_NOEXCEPT;
/* Reports a failed runtime-layer status through the error logger. */
void KvlReportPlatformErr(CxPlatformErr status) KVL_NOEXCEPT;

/* Objects. */
KvlObject *kvlIntlGetObject(const char *name, const char *className) KVL_NOEXCEPT;
KvlObject *kvlIntlAcquireObject(KvlObject *object) KVL_NOEXCEPT;
void kvlIntlReleaseObject(KvlObject *object) KVL_NOEXCEPT;
int kvlIntlAddListener(KvlObject *object, KvlObject *listener) KVL_NOEXCEPT;
int kvlIntlRemListener(KvlObject *object, KvlObject *listener) KVL_NOEXCEPT;
KvlListenerGroup *kvlFetchListenerGroup(KvlObject *object, int create) KVL_NOEXCEPT;
void kvlNotifyObjCfgChange(KvlObject *object, const char *name) KVL_NOEXCEPT;
void kvlIntlSetObjProp(KvlObject *object, const char *name, const char *value) KVL_NOEXCEPT;
char *kvlIntlGetObjProp(KvlObject *object, const char *name, unsigned char *found) KVL_NOEXCEPT;
void kvlIntlSetObjectEnabled(KvlObject *object, int enabled) KVL_NOEXCEPT;
/* Sets the logger's or filter's level (and its gate). */
void kvlSetObjectLevel(KvlObject *object, int32_t level) KVL_NOEXCEPT;
/* Recomputes the gate from the toolkit's state, the flag and the level. */
void kvlUpdateObjectGate(KvlObject *object) KVL_NOEXCEPT;
/* At close: the object stops taking part (handler closed, variables freed,
 * listeners and formatter released, class cleared, gate closed). */
void kvlDetachObject(KvlObject *object) KVL_NOEXCEPT;
void KvlBasicObjectFLog(KvlObject *object, KvlEvent *event) KVL_NOEXCEPT;
void KvlBasicObjectFCfgChange(KvlObject *object, const char *name) KVL_NOEXCEPT;

/* Configurations and the log manager. */
KvlObjCfg *kvlIntlAllocObjCfg(const char *name) KVL_NOEXCEPT;
KvlObjCfg *kvlIntlAcquireObjCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
void kvlIntlReleaseObjCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
char *kvlIntlGetInheritedObjCfgProp(KvlObjCfg *cfg, const char *name,
                                    unsigned char *found) KVL_NOEXCEPT;
void kvlIntlSetObjCfgProp(KvlObjCfg *cfg, const char *name, const char *value) KVL_NOEXCEPT;
void kvlIntlLogMgrAddCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
void kvlIntlLogMgrRemCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
KvlObjCfg *kvlIntlLogMgrGetCfg(const char *name) KVL_NOEXCEPT;
int kvlIntlLogMgrHasCfg(const char *name) KVL_NOEXCEPT;
int kvlIntlLogMgrApplyCfg(KvlObject *object, const char *name) KVL_NOEXCEPT;
char *kvlLogMgrGetParentConfigName(KvlObjCfg *cfg) KVL_NOEXCEPT;
int kvlLogMgrAddCfgFromFile(const char *cfgName, const char *propName,
                            const char *value) KVL_NOEXCEPT;
void kvlInitLogMgr(void) KVL_NOEXCEPT;
void kvlCloseLogMgr(void) KVL_NOEXCEPT;
/* Reads a properties file into the log manager: 1, or 0 when it cannot. It
 * takes no lock: only opening calls it, with the API mutex held. */
int KvlLogMgrReadProps(const char *fileName) KVL_NOEXCEPT;
/* Reads a properties file into `list`, or into the log manager when it is
 * null: 1 when the whole file was read. */
int kvlDoReadProps(const char *path, struct CxPropList *list) KVL_NOEXCEPT;

/* Handlers (the handler base): the formatter slot and its texts. */
KvlObject *kvlIntlHandlerGetFormatter(KvlObject *handler) KVL_NOEXCEPT;
void kvlIntlHandlerSetFormatter(KvlObject *handler, KvlObject *formatter) KVL_NOEXCEPT;
char *kvlIntlHandlerGetFmtHeader(KvlObject *handler) KVL_NOEXCEPT;
char *kvlIntlHandlerGetFmtTrailer(KvlObject *handler) KVL_NOEXCEPT;
char *kvlIntlHandlerDoFmt(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;

#ifdef __cplusplus
}

/* Gives a registered class the toolkit's own additions; the API mutex is
 * held. */
void kvlIntlSetClassInternals(const char *name, const KvlClassInternals &internals) noexcept;
#endif

#endif /* KVL_OBJECT_H */
