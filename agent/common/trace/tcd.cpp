// The common log directory.
//
// TEMPORARY STAND-IN: a minimal implementation to be replaced by the real
// record reader. It reports "record cannot be read" (5), the result callers
// already handle by running without tracing.

#include "tcd.h"

extern "C" int ZemlorCommonDir(char *buffer) {
    if (buffer != nullptr) buffer[0] = '\0';
    return 5;
}
