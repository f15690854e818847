// Logging calls.
//
// TEMPORARY STAND-IN: a minimal implementation to be replaced by the
// toolkit's real logging calls (levels, events, messages). Until the toolkit
// exists there is no logger to write to, so every call does nothing; the
// signatures are final, so no call site changes when the real code lands.

#include "KvlLogging.h"
#include "kavel.h"

extern "C" {

int KvlIsLoggable(KvlObject *, int32_t) noexcept { return 0; }

void kvlLogMessageEntry(KvlObject *, int32_t, const char *, int32_t, int32_t, const char *,
                        va_list) noexcept {}

void KvlLogDebugMin(KvlObject *, const char *, const char *, int, const char *, ...) noexcept {}
void KvlLogDebugMid(KvlObject *, const char *, const char *, int, const char *, ...) noexcept {}
void KvlLogDebugMax(KvlObject *, const char *, const char *, int, const char *, ...) noexcept {}
void KvlLogDebugMinVA(KvlObject *, const char *, const char *, int, const char *,
                      va_list) noexcept {}
void KvlLogDebugMidVA(KvlObject *, const char *, const char *, int, const char *,
                      va_list) noexcept {}
void KvlLogDebugMaxVA(KvlObject *, const char *, const char *, int, const char *,
                      va_list) noexcept {}

}  // extern "C"
