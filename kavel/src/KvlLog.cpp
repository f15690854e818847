// Logging calls.
//
// TEMPORARY STAND-IN: a minimal implementation to be replaced by the
// toolkit's real logging calls (levels, events, messages). Until the toolkit
// exists there is no logger to write to, so every call does nothing; the
// signatures are final, so no call site changes when the real code lands.

#include "kavel.h"

extern "C" {

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
