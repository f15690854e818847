// The basic formatter ("kvl_basicformatter").
//
// TEMPORARY STAND-IN: records are not formatted yet (no text, no header, no
// trailer); the common properties apply.

#include "KvlClasses.h"
#include "KvlObject.h"

extern "C" {

void KvlBasicFormatterFCfgChange(KvlObject *formatter, const char *name) noexcept {
    KvlBasicObjectFCfgChange(formatter, name);
}
char *KvlBasicFormatterFFormat(KvlObject *, KvlEvent *) noexcept { return nullptr; }
char *KvlBasicFormatterFGetHeader(KvlObject *) noexcept { return nullptr; }
char *KvlBasicFormatterFGetTrailer(KvlObject *) noexcept { return nullptr; }

}  // extern "C"
