// First-failure data capture extensions: registering the two capture
// handler classes with the open toolkit, and the capture messages of
// catalog "kffdcmsg". The messages go through the toolkit's error logger as
// it is now (never a logger kept from an earlier open, which a close would
// have freed). The registered flag is cleared whenever the class map is
// freed, so each open toolkit registers the classes once.

#include "KvlFFDC.h"
#include "KvlMessage.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlToolkit.h"

namespace {

void addCaptureClass(const char *name, int32_t descriptionKey, KvlFAllocVars allocVars,
                     KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                     KvlRecordKind records, const kvl::PropertyTable &properties) {
    KvlI18Msg *description = kvlIntlAllocI18Msg(KFFDC_MSG_CATALOG, KVL_MSG_SET, descriptionKey,
                                                kvlMsgTableText(KFFDC_MSG_CATALOG, descriptionKey));
    kvlIntlAddHandlerClass(name, description, allocVars, freeVars, cfgChange, process,
                           KvlFFDCTriggerHandlerFOpen, KvlFFDCTriggerHandlerFClose);
    kvlIntlSetClassInternals(name, {.records = records, .properties = &properties});
    kvlIntlFreeI18Msg(description);
}

}  // namespace

extern "C" {

void KvlInitFFDCExtensions(void) noexcept {
    KvlApiLock lock;
    if (!lock || kvlFFDCIsRegistered() == 1) return;
    kvlToolkitInitObjClasses();
    addCaptureClass("kvl_ffdc_trigger_handler", 120, KvlFFDCTriggerHandlerFAllocVars,
                    KvlFFDCTriggerHandlerFFreeVars, KvlFFDCTriggerHandlerFCfgChange, nullptr,
                    KvlRecordKind::kFFDCTrigger, kvl::kFFDCTriggerProperties);
    addCaptureClass("kvl_ffdc_filecopy_handler", 140, KvlFileCopyHandlerFAllocVars,
                    KvlFileCopyHandlerFFreeVars, KvlFileCopyHandlerFCfgChange,
                    KvlFileCopyHandlerFProcess, KvlRecordKind::kFFDCFileCopy,
                    kvl::kFileCopyProperties);
    kvlFFDCSetRegistered(1);
}

KvlObject *kvlFFDCLogger(void) noexcept { return kvlToolkitLogger(); }

void *kvlFFDCCheckPtr(void *pointer) noexcept {
    if (pointer == nullptr) kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0010E);
    return pointer;
}

void kffdcIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) noexcept {
    va_list args;
    va_start(args, defaultText);
    kvlToolkitLogV(KFFDC_MSG_CATALOG, level, key, defaultText, args);
    va_end(args);
}

}  // extern "C"
