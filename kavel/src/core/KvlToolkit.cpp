// The toolkit's spine: the API mutex, opening and closing, the class
// registry, the instance registry and the toolkit's own messages.
//
// The class registry is made on first use (at open, or by the first
// add-class call, which the agent makes before opening) and always starts
// with the ten built-in classes, so a later class can never replace one.
// Closing detaches every object a caller may still hold (see
// kvlDetachObject) before the registry lets go of them. The error logger is
// dropped first, so nothing is logged into objects being torn down; a
// warning raised on the way (a handler that could not deliver what it
// held) is printed on stderr instead, as it is the last word on records
// lost.

#include "KvlToolkit.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlHandlerSeam.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

#ifdef NDEBUG
#define KVL_API_MUTEX_INITIALIZER PTHREAD_MUTEX_INITIALIZER
#else
#define KVL_API_MUTEX_INITIALIZER PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP
#endif
pthread_mutex_t apiMutex = KVL_API_MUTEX_INITIALIZER;
thread_local bool holdsApiMutex = false;

// Around a fork, once the toolkit runs threads of its own: the forking
// thread takes the mutex (unless it holds it already), so no other thread
// holds it at the fork and the child does not inherit it locked for ever.
// In the child the mutex is made anew (its owner was the parent's thread).
bool lockedForFork = false;
void lockForFork() {
    if (!holdsApiMutex) lockedForFork = pthread_mutex_lock(&apiMutex) == 0;
}
void unlockInParent() {
    if (lockedForFork) pthread_mutex_unlock(&apiMutex);
    lockedForFork = false;
}
void renewInChild() {
    if (lockedForFork) apiMutex = KVL_API_MUTEX_INITIALIZER;
    lockedForFork = false;
}

KvlToolkitMsgObserver messageObserver = nullptr;

std::atomic<bool> toolkitOpen{false};  // KVL_TK_ISOPEN
KvlObject *errorLogger = nullptr;      // KVL_TK_ERROR_LOG
std::atomic<bool> closing{false};      // within KvlCloseToolkit
KvlStringToObjClassMap *classes = nullptr;
KvlStringGroup *classNames[4] = {nullptr, nullptr, nullptr, nullptr};  // by kind - 101
KvlStringToObjMap *instances = nullptr;

constexpr const char *kErrorLoggerName = "kavel.errorLogger";
constexpr const char *kConsoleName = "kavel.defaultConsole";

}  // namespace

namespace {

void printOnStderr(KvlI18Msg *message) {
    char *text = kvlIntlBindI18Msg(message);
    if (text != nullptr) {
        kvlI18PrintUTF8AsLocal(stderr, text);
        kvlI18PrintUTF8AsLocal(stderr, "\n");
        std::fflush(stderr);
    }
    OxsMemoryFree(text);
}

}  // namespace

void kvlToolkitPrintOnStderr(int32_t key, const char *parameter) noexcept {
    KvlI18Msg *message = kvlIntlAllocI18Msg(KVL_MSG_CATALOG, KVL_MSG_SET, key,
                                            kvlMsgTableText(KVL_MSG_CATALOG, key));
    if (parameter != nullptr) kvlIntlAddI18MsgParmString(message, parameter);
    printOnStderr(message);
    kvlIntlFreeI18Msg(message);
}

namespace {

// One built-in class: its kind, name, description key (0: none) and
// operations.
struct BuiltIn {
    int32_t kind;
    const char *name;
    int32_t descriptionKey;
    KvlFAllocVars allocVars = nullptr;
    KvlFFreeVars freeVars = nullptr;
    KvlFCfgChange cfgChange = nullptr;
    KvlFLog log = nullptr;
    KvlFProcess process = nullptr;
    KvlFIsLoggable isLoggable = nullptr;
    KvlFOpen open = nullptr;
    KvlFClose close = nullptr;
    KvlFFormat format = nullptr;
    KvlFGetHeader getHeader = nullptr;
    KvlFGetTrailer getTrailer = nullptr;
};

// The built-in classes' additions: the formatters' seam, the handlers'
// writers and every class's property table.
const struct {
    const char *name;
    KvlClassInternals internals;
} kBuiltInInternals[] = {
    {"kvl_basiclogger", {.properties = &kvl::kLoggerProperties}},
    {"kvl_pdlogger", {.properties = &kvl::kPDLoggerProperties}},
    {"kvl_levelfilter", {.properties = &kvl::kLoggerProperties}},
    {"kvl_msgidfilter", {.properties = &kvl::kMsgIdFilterProperties}},
    {"kvl_consolehandler",
     {.writer = &kvl::kConsoleHandlerWriter, .properties = &kvl::kHandlerProperties}},
    {"kvl_filehandler",
     {.writer = &kvl::kFileHandlerWriter, .properties = &kvl::kFileHandlerProperties}},
    {"kvl_multiproc_filehandler",
     {.writer = &kvl::kMultiProcHandlerWriter, .properties = &kvl::kFileHandlerProperties}},
    {"kvl_asynchandler",
     {.writer = &kvl::kAsyncHandlerWriter, .properties = &kvl::kAsyncHandlerProperties}},
    {"kvl_basicformatter",
     {.formatInto = kvl::basicFormatInto, .properties = &kvl::kFormatterProperties}},
    {"kvl_xmlformatter",
     {.formatInto = kvl::xmlFormatInto, .properties = &kvl::kXmlFormatterProperties}},
    {"kvl_zemtraceformatter",
     {.formatInto = kvl::zemTraceFormatInto, .properties = &kvl::kNoProperties}},
};

const BuiltIn kBuiltIns[] = {
    {KVL_KIND_LOGGER, "kvl_basiclogger", 100, nullptr, nullptr, KvlBasicLoggerFCfgChange,
     KvlBasicObjectFLog},
    {KVL_KIND_LOGGER, "kvl_pdlogger", 101, KvlPDLoggerFAllocVars, KvlPDLoggerFFreeVars,
     KvlPDLoggerFCfgChange, KvlPDLoggerFLog},
    {KVL_KIND_FILTER, "kvl_levelfilter", 110, nullptr, nullptr, KvlLevelFilterFCfgChange,
     KvlBasicObjectFLog, KvlBasicFilterFProcess, KvlLevelFilterFIsLoggable},
    {KVL_KIND_FILTER, "kvl_msgidfilter", 0, KvlMsgIdFilterFAllocVars, KvlMsgIdFilterFFreeVars,
     KvlMsgIdFilterFCfgChange, KvlBasicObjectFLog, KvlBasicFilterFProcess,
     KvlMsgIdFilterFIsLoggable},
    {KVL_KIND_HANDLER, "kvl_consolehandler", 120, KvlConsoleHandlerFAllocVars,
     KvlConsoleHandlerFFreeVars, KvlBasicHandlerFCfgChange, nullptr, KvlConsoleHandlerFProcess,
     nullptr, KvlConsoleHandlerFOpen, KvlConsoleHandlerFClose},
    {KVL_KIND_HANDLER, "kvl_filehandler", 121, KvlFileHandlerFAllocVars, KvlFileHandlerFFreeVars,
     KvlFileHandlerFCfgChange, nullptr, KvlFileHandlerFProcess, nullptr, KvlFileHandlerFOpen,
     KvlFileHandlerFClose},
    {KVL_KIND_HANDLER, "kvl_multiproc_filehandler", 0, KvlFileHandlerFAllocVars,
     KvlFileHandlerFFreeVars, KvlFileHandlerFCfgChange, nullptr, KvlMultiProcFileHandlerFProcess,
     nullptr, KvlMultiProcFileHandlerFOpen, KvlMultiProcFileHandlerFClose},
    {KVL_KIND_HANDLER, "kvl_asynchandler", 133, KvlAsyncHandlerFAllocVars, KvlAsyncHandlerFFreeVars,
     KvlAsyncHandlerFCfgChange, nullptr, KvlAsyncHandlerFProcess, nullptr, KvlAsyncHandlerFOpen,
     KvlAsyncHandlerFClose},
    {KVL_KIND_FORMATTER, "kvl_basicformatter", 130, nullptr, nullptr, KvlBasicFormatterFCfgChange,
     nullptr, nullptr, nullptr, nullptr, nullptr, KvlBasicFormatterFFormat,
     KvlBasicFormatterFGetHeader, KvlBasicFormatterFGetTrailer},
    {KVL_KIND_FORMATTER, "kvl_xmlformatter", 131, KvlPDXMLFormatterFAllocVars,
     KvlPDXMLFormatterFFreeVars, KvlPDXMLFormatterFCfgChange, nullptr, nullptr, nullptr, nullptr,
     nullptr, KvlPDXMLFormatterFFormat, KvlPDXMLFormatterFGetHeader, KvlPDXMLFormatterFGetTrailer},
    {KVL_KIND_FORMATTER, "kvl_zemtraceformatter", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
     nullptr, nullptr, nullptr, KvlZemTraceFormatterFFormat},
};

void addBuiltIn(const BuiltIn &b) {
    KvlI18Msg *description =
        b.descriptionKey != 0
            ? kvlIntlAllocI18Msg(KVL_MSG_CATALOG, KVL_MSG_SET, b.descriptionKey,
                                 kvlMsgTableText(KVL_MSG_CATALOG, b.descriptionKey))
            : nullptr;
    switch (b.kind) {
        case KVL_KIND_LOGGER:
            kvlIntlAddLoggerClass(b.name, description, b.allocVars, b.freeVars, b.cfgChange, b.log);
            break;
        case KVL_KIND_FILTER:
            kvlIntlAddFilterClass(b.name, description, b.allocVars, b.freeVars, b.cfgChange,
                                  b.process, b.isLoggable, b.log);
            break;
        case KVL_KIND_HANDLER:
            kvlIntlAddHandlerClass(b.name, description, b.allocVars, b.freeVars, b.cfgChange,
                                   b.process, b.open, b.close);
            break;
        default:
            kvlIntlAddFormatterClass(b.name, description, b.allocVars, b.freeVars, b.cfgChange,
                                     b.format, b.getHeader, b.getTrailer, nullptr);
    }
    kvlIntlFreeI18Msg(description);
}

// A new class definition; null (nothing added) for a null or taken name,
// or when memory is short (KVLBC0020E).
KvlObjClass *newClass(int32_t kind, const char *name, KvlI18Msg *description,
                      KvlFAllocVars allocVars, KvlFFreeVars freeVars, KvlFCfgChange cfgChange) {
    kvlToolkitInitObjClasses();  // first: a built-in name must be taken already
    if (name == nullptr || kvlToolkitGetClassDef(name) != nullptr) return nullptr;
    auto *klass = static_cast<KvlObjClass *>(OxsMemoryCalloc(1, sizeof(KvlObjClass)));
    char *copy = OxsStringDup(name);
    KvlI18Msg *desc = kvlIntlCopyI18Msg(description);
    if (klass == nullptr || copy == nullptr || (description != nullptr && desc == nullptr)) {
        OxsMemoryFree(klass);
        OxsMemoryFree(copy);
        kvlIntlFreeI18Msg(desc);
        kvl::toolkitReport(KVL_LEVEL_ERROR, kvlmsg::KVLBC0020E);
        return nullptr;
    }
    klass->kind = kind;
    klass->name = copy;
    klass->description = desc;
    klass->allocVars = allocVars;
    klass->freeVars = freeVars;
    klass->cfgChange = cfgChange;
    return klass;
}

void registerClass(KvlObjClass *klass) {
    if (klass == nullptr) return;
    if (classes == nullptr || kvlIntlStringToObjClassMapPut(classes, klass->name, klass) == 0) {
        kvlIntlFreeI18Msg(klass->description);
        OxsMemoryFree(klass->name);
        OxsMemoryFree(klass);
        return;
    }
    kvlIntlStringGroupAdd(kvlToolkitFetchClassnames(klass->kind), klass->name);
}

bool ffdcRegistered = false;  // the capture classes are in the class map

void freeClasses() {
    ffdcRegistered = false;
    for (auto it = kvlIntlStringToObjClassMapIterator(classes); it != nullptr;
         it = kvlIntlStringToObjClassMapIterNext(it)) {
        KvlObjClass *klass = kvlIntlStringToObjClassMapIterGetVal(it);
        kvlIntlFreeI18Msg(klass->description);
        OxsMemoryFree(klass->name);
        OxsMemoryFree(klass);
    }
    kvlIntlFreeStringToObjClassMap(classes);
    classes = nullptr;
    for (KvlStringGroup *&group : classNames) {
        kvlIntlFreeStringGroup(group);
        group = nullptr;
    }
}

// Detaches every registered object, then lets the registry go. Detaching
// releases listeners and formatters, which may destroy other objects and
// change the registry: the walk starts over after each.
void emptyInstances() {
    for (bool restart = true; restart;) {
        restart = false;
        for (auto it = kvlIntlStringToObjMapIterator(instances); it != nullptr;
             it = kvlIntlStringToObjMapIterNext(it)) {
            KvlObject *object = kvlIntlStringToObjMapIterGetVal(it);  // acquired
            const bool attached = object->klass != nullptr;
            kvlDetachObject(object);
            kvlIntlReleaseObject(object);
            if (attached) {
                restart = true;
                break;
            }
        }
    }
    kvlIntlFreeStringToObjMap(instances);
    instances = nullptr;
}

void updateAllGates() {
    for (auto it = kvlIntlStringToObjMapIterator(instances); it != nullptr;
         it = kvlIntlStringToObjMapIterNext(it)) {
        KvlObject *object = kvlIntlStringToObjMapIterGetVal(it);
        kvlUpdateObjectGate(object);
        kvlIntlReleaseObject(object);  // registered objects are held elsewhere too
    }
}

// Step 5 of opening: the error logger, with the default console and
// formatter when the logger is new.
KvlObject *makeErrorLogger() {
    KvlObject *logger = kvlToolkitGetObjInstance(kErrorLoggerName);
    if (logger != nullptr) return logger;
    logger = kvlIntlGetObject(kErrorLoggerName, "kvl_basiclogger");
    if (logger == nullptr) return nullptr;
    KvlObject *console = kvlToolkitGetObjInstance(kConsoleName);
    if (console == nullptr) {
        console = kvlIntlGetObject(kConsoleName, "kvl_consolehandler");
        KvlObject *formatter = kvlIntlGetObject(KVL_DEFAULT_FORMATTER_NAME, "kvl_basicformatter");
        kvlIntlHandlerSetFormatter(console, formatter);
        kvlIntlReleaseObject(formatter);
    }
    kvlIntlAddListener(logger, console);
    kvlIntlReleaseObject(console);
    return logger;
}

}  // namespace

extern "C" {

int kvlAPIMutexLock(void) {
    if (pthread_mutex_lock(&apiMutex) != 0) return 0;
    holdsApiMutex = true;
    return 1;
}

void kvlAPIMutexGuardForks(void) {
    static const bool registered = pthread_atfork(lockForFork, unlockInParent, renewInChild) == 0;
    (void)registered;
}

int kvlAPIMutexLockFor(int milliseconds) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
    deadline.tv_sec += milliseconds / 1000 + deadline.tv_nsec / 1000000000;
    deadline.tv_nsec %= 1000000000;
    if (pthread_mutex_timedlock(&apiMutex, &deadline) != 0) return 0;
    holdsApiMutex = true;
    return 1;
}

void kvlAPIMutexUnlock(void) {
    holdsApiMutex = false;
    pthread_mutex_unlock(&apiMutex);
}

int kvlAPIMutexHeld(void) {
#ifdef NDEBUG
    return 1;
#else
    return holdsApiMutex ? 1 : 0;
#endif
}

int kvlToolkitIsOpen(void) noexcept { return toolkitOpen.load(std::memory_order_relaxed) ? 1 : 0; }

KvlObject *kvlToolkitLogger(void) noexcept { return kvlToolkitIsOpen() ? errorLogger : nullptr; }

int kvlFFDCIsRegistered(void) noexcept { return ffdcRegistered ? 1 : 0; }
void kvlFFDCSetRegistered(int registered) noexcept { ffdcRegistered = registered != 0; }

int KvlOpenToolkit(const char *propertiesFile) noexcept {
    {
        KvlApiLock lock;
        if (!lock) return 0;
        if (kvlToolkitIsOpen()) return 1;
        tzset();  // localtime_r never reads TZ again; records use the zone of this open
        kvlDateZoneChanged();
        kvlI18InitZil();
        kvlInitLogMgr();
        kvlToolkitInitObjClasses();
        if (propertiesFile == nullptr || KvlLogMgrReadProps(propertiesFile) == 1) {
            errorLogger = makeErrorLogger();
            toolkitOpen = true;
            updateAllGates();
            return 1;
        }
        kvlToolkitPrintOnStderr(kvlmsg::KVL0051E, propertiesFile);
    }
    KvlCloseToolkit();
    return 0;
}

void KvlCloseToolkit(void) noexcept {
    KvlApiLock lock;
    if (!lock) return;
    toolkitOpen = false;
    closing = true;                   // what is raised from here on goes to stderr
    KvlObject *logger = errorLogger;  // first, so nothing logs into what is torn down
    errorLogger = nullptr;
    kvlIntlReleaseObject(logger);
    kvlCloseLogMgr();
    kvl::closeAsyncHandlers();  // their queues written out while every target is whole
    emptyInstances();
    closing = false;
    freeClasses();
    kvlI18UninitZil();
}

void kvlToolkitInitObjClasses(void) noexcept {
    if (classes != nullptr) return;
    classes = kvlIntlAllocStringToObjClassMap();
    if (classes == nullptr) {
        kvlToolkitPrintOnStderr(kvlmsg::KVLTK0050W, nullptr);
        return;
    }
    for (KvlStringGroup *&group : classNames)
        group = kvlIntlAllocStringGroup();
    for (const BuiltIn &builtIn : kBuiltIns)
        addBuiltIn(builtIn);
    for (const auto &added : kBuiltInInternals)
        kvlIntlSetClassInternals(added.name, added.internals);
}

KvlObjClass *kvlToolkitGetClassDef(const char *name) noexcept {
    return kvlIntlStringToObjClassMapGet(classes, name);
}

extern "C++" void kvlIntlSetClassInternals(const char *name,
                                           const KvlClassInternals &internals) noexcept {
    if (KvlObjClass *klass = kvlToolkitGetClassDef(name)) klass->internals = internals;
}

KvlStringGroup *kvlToolkitFetchClassnames(int32_t kind) noexcept {
    return kind >= KVL_KIND_LOGGER && kind <= KVL_KIND_FORMATTER
               ? classNames[kind - KVL_KIND_LOGGER]
               : nullptr;
}

void kvlIntlAddLoggerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                           KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFLog log) noexcept {
    KvlObjClass *klass =
        newClass(KVL_KIND_LOGGER, name, description, allocVars, freeVars, cfgChange);
    if (klass == nullptr) return;
    klass->log = log != nullptr ? log : KvlBasicObjectFLog;
    registerClass(klass);
}

void kvlIntlAddFilterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                           KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                           KvlFIsLoggable isLoggable, KvlFLog log) noexcept {
    KvlObjClass *klass =
        newClass(KVL_KIND_FILTER, name, description, allocVars, freeVars, cfgChange);
    if (klass == nullptr) return;
    klass->process = process != nullptr ? process : KvlBasicFilterFProcess;
    klass->isLoggable = isLoggable != nullptr ? isLoggable : KvlLevelFilterFIsLoggable;
    klass->log = log != nullptr ? log : KvlBasicObjectFLog;
    registerClass(klass);
}

void kvlIntlAddHandlerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                            KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                            KvlFOpen open, KvlFClose close) noexcept {
    KvlObjClass *klass =
        newClass(KVL_KIND_HANDLER, name, description, allocVars, freeVars, cfgChange);
    if (klass == nullptr) return;
    klass->process = process != nullptr ? process : KvlBasicHandlerFProcess;
    klass->open = open != nullptr ? open : KvlBasicHandlerFOpen;
    klass->close = close != nullptr ? close : KvlBasicHandlerFClose;
    registerClass(klass);
}

void kvlIntlAddFormatterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                              KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFFormat format,
                              KvlFGetHeader getHeader, KvlFGetTrailer getTrailer,
                              KvlFBindMsg bindMsg) noexcept {
    KvlObjClass *klass =
        newClass(KVL_KIND_FORMATTER, name, description, allocVars, freeVars, cfgChange);
    if (klass == nullptr) return;
    klass->format = format != nullptr ? format : KvlBasicFormatterFFormat;
    klass->getHeader = getHeader != nullptr ? getHeader : KvlBasicFormatterFGetHeader;
    klass->getTrailer = getTrailer != nullptr ? getTrailer : KvlBasicFormatterFGetTrailer;
    klass->bindMsg = bindMsg != nullptr ? bindMsg : kvlIntlBindI18Msg;
    // What it takes by default it takes whole: the basic format's seam and
    // the toolkit's binding.
    if (format == nullptr) klass->internals.formatInto = kvl::basicFormatInto;
    klass->toolkitBinding = bindMsg == nullptr;
    registerClass(klass);
}

void KvlAddLoggerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                       KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFLog log) noexcept
    KVL_LOCKED(, kvlIntlAddLoggerClass(name, description, allocVars, freeVars, cfgChange, log))
void KvlAddFilterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                       KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                       KvlFIsLoggable isLoggable, KvlFLog log) noexcept
    KVL_LOCKED(, kvlIntlAddFilterClass(name, description, allocVars, freeVars, cfgChange, process,
                                       isLoggable, log))
void KvlAddHandlerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                        KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                        KvlFOpen open, KvlFClose close) noexcept
    KVL_LOCKED(, kvlIntlAddHandlerClass(name, description, allocVars, freeVars, cfgChange, process,
                                        open, close))
void KvlAddFormatterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                          KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFFormat format,
                          KvlFGetHeader getHeader, KvlFGetTrailer getTrailer,
                          KvlFBindMsg bindMsg) noexcept
    KVL_LOCKED(, kvlIntlAddFormatterClass(name, description, allocVars, freeVars, cfgChange, format,
                                          getHeader, getTrailer, bindMsg))

static KvlStringGroupIter classesOf(int32_t kind) noexcept {
    KvlApiLock lock;
    if (!lock) return nullptr;
    kvlToolkitInitObjClasses();
    return kvlIntlStringGroupIterator(kvlToolkitFetchClassnames(kind));
}
KvlStringGroupIter KvlGetLoggerClasses(void) noexcept { return classesOf(KVL_KIND_LOGGER); }
KvlStringGroupIter KvlGetFilterClasses(void) noexcept { return classesOf(KVL_KIND_FILTER); }
KvlStringGroupIter KvlGetHandlerClasses(void) noexcept { return classesOf(KVL_KIND_HANDLER); }
KvlStringGroupIter KvlGetFormatterClasses(void) noexcept { return classesOf(KVL_KIND_FORMATTER); }

void kvlToolkitAddObjInstance(const char *name, KvlObject *object) noexcept {
    KVL_ASSERT_LOCKED();
    if (name == nullptr || object == nullptr) return;
    if (instances == nullptr) instances = kvlIntlAllocStringToObjMap();
    kvlIntlStringToObjMapPut(instances, name, object);
}

KvlObject *kvlToolkitGetObjInstance(const char *name) noexcept {
    KVL_ASSERT_LOCKED();
    return kvlIntlStringToObjMapGet(instances, name);
}

void kvlToolkitRemObjInstance(const char *name) noexcept {
    KVL_ASSERT_LOCKED();
    kvlIntlStringToObjMapRem(instances, name);
}

void KvlReportPlatformErr(CxPlatformErr status) noexcept {
    if (status.kind != CX_PLATFORM_ERR_PLATFORM) return;
    char local[512];
    const char *text = strerror_r(status.code, local, sizeof local);  // the GNU variant
    char utf8[512];
    zil_to_utf8(nullptr, text, -1, utf8, sizeof utf8, nullptr);
    kvlIntlLogVA(KVL_LEVEL_WARN, 0, utf8, KVL_ARG_END);
}

void kvlToolkitLogV(const char *catalog, int32_t level, int32_t key, const char *defaultText,
                    va_list args) noexcept {
    if (messageObserver != nullptr) messageObserver(catalog, key, level);
    KvlObject *logger = kvlToolkitLogger();
    if (logger == nullptr && closing.load(std::memory_order_relaxed) && level >= KVL_LEVEL_WARN) {
        if (KvlEvent *event =
                KvlVaAllocEvent(level, catalog, KVL_MSG_SET, key, defaultText, args)) {
            printOnStderr(event->message);
            KvlFreeEvent(event);
        }
        return;
    }
    if (KvlIsLoggable(logger, level) == 1)
        kvlLogMessageEntry(logger, level, catalog, KVL_MSG_SET, key, defaultText, args);
}

void kvlIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) noexcept {
    va_list args;
    va_start(args, defaultText);
    kvlToolkitLogV(KVL_MSG_CATALOG, level, key, defaultText, args);
    va_end(args);
}

}  // extern "C"

void kvlSetToolkitMsgObserver(KvlToolkitMsgObserver observer) { messageObserver = observer; }
