// First-failure data capture extensions: the capture messages of catalog
// "kffdcmsg". They go through the toolkit's error logger as it is now
// (never a logger kept from an earlier open, which a close would have
// freed). Registering the capture handler classes joins this module.

#include "KvlMsgTables.h"
#include "KvlToolkit.h"

extern "C" {

void kffdcIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) noexcept {
    va_list args;
    va_start(args, defaultText);
    kvlToolkitLogV(KFFDC_MSG_CATALOG, level, key, defaultText, args);
    va_end(args);
}

}  // extern "C"
