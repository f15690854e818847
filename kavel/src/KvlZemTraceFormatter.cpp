// The trace formatter ("kvl_zemtraceformatter").
//
// TEMPORARY STAND-IN: trace lines are not formatted yet.

#include "KvlClasses.h"

extern "C" {

char *KvlZemTraceFormatterFFormat(KvlObject *, KvlEvent *) noexcept { return nullptr; }

}  // extern "C"
