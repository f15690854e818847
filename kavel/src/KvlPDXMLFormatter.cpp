// The XML formatter ("kvl_xmlformatter").
//
// TEMPORARY STAND-IN: records are not formatted yet; the common properties
// apply.

#include "KvlClasses.h"
#include "KvlObject.h"

extern "C" {

void *KvlPDXMLFormatterFAllocVars(void) noexcept { return nullptr; }
void KvlPDXMLFormatterFFreeVars(void *) noexcept {}
void KvlPDXMLFormatterFCfgChange(KvlObject *formatter, const char *name) noexcept {
    KvlBasicObjectFCfgChange(formatter, name);
}
char *KvlPDXMLFormatterFFormat(KvlObject *, KvlEvent *) noexcept { return nullptr; }
char *KvlPDXMLFormatterFGetHeader(KvlObject *) noexcept { return nullptr; }
char *KvlPDXMLFormatterFGetTrailer(KvlObject *) noexcept { return nullptr; }

}  // extern "C"
