// The problem-determination logger ("kvl_pdlogger").
//
// TEMPORARY STAND-IN: the logger's own properties are not built yet. It
// behaves as a basic logger: its level and common properties apply, and
// events go to its listeners unchanged.

#include "KvlClasses.h"
#include "KvlObject.h"

extern "C" {

void *KvlPDLoggerFAllocVars(void) noexcept { return nullptr; }
void KvlPDLoggerFFreeVars(void *) noexcept {}
void KvlPDLoggerFCfgChange(KvlObject *logger, const char *name) noexcept {
    KvlBasicLoggerFCfgChange(logger, name);
}
void KvlPDLoggerFLog(KvlObject *logger, KvlEvent *event) noexcept {
    KvlBasicObjectFLog(logger, event);
}

}  // extern "C"
