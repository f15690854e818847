// The file handler ("kvl_filehandler") and the multi-process file handler
// ("kvl_multiproc_filehandler"), which shares its variables and properties.
//
// TEMPORARY STAND-IN: log files are not written yet; the handlers take
// events and write nothing. Their common properties (formatter, logging,
// listeners) apply.

#include "KvlClasses.h"

extern "C" {

void *KvlFileHandlerFAllocVars(void) noexcept { return nullptr; }
void KvlFileHandlerFFreeVars(void *) noexcept {}
void KvlFileHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    KvlBasicHandlerFCfgChange(handler, name);
}
KvlObject *KvlFileHandlerFProcess(KvlObject *handler, KvlEvent *) noexcept { return handler; }
KvlObject *KvlFileHandlerFOpen(KvlObject *handler) noexcept { return handler; }
KvlObject *KvlFileHandlerFClose(KvlObject *handler) noexcept { return handler; }
KvlObject *KvlMultiProcFileHandlerFProcess(KvlObject *handler, KvlEvent *) noexcept {
    return handler;
}
KvlObject *KvlMultiProcFileHandlerFOpen(KvlObject *handler) noexcept { return handler; }
KvlObject *KvlMultiProcFileHandlerFClose(KvlObject *handler) noexcept { return handler; }

}  // extern "C"
