/*
 * The toolkit's spine, as far as it exists: the API mutex every public
 * toolkit function takes, and the way the toolkit reports its own problems.
 *
 * One process-wide, non-recursive mutex serialises the public functions;
 * their internal twins (kvlIntl*) assume it is held and never take it. It is
 * statically initialised and lives as long as the process: it is never
 * destroyed, so no thread can find it gone while it waits. In builds with
 * assertions (every preset but release) it is an error-checking mutex, so a
 * public call made while the mutex is held fails with EDEADLK instead of
 * hanging a test, and each thread knows whether it holds it: the internal
 * twins assert that their caller does (KVL_ASSERT_LOCKED).
 */
#ifndef KVL_TOOLKIT_H
#define KVL_TOOLKIT_H

#ifdef __cplusplus
extern "C" {
#endif

#include <stdarg.h>
#include <stdint.h>

#include "kavel.h"

/* 1 when the caller now holds the API mutex, 0 on failure. */
int kvlAPIMutexLock(void);
void kvlAPIMutexUnlock(void);
/* As kvlAPIMutexLock, giving up after `milliseconds`: for a thread of the
 * toolkit's own, which must not wait for ever on whoever holds the mutex
 * to stop it. */
int kvlAPIMutexLockFor(int milliseconds);
/* From the first call on, a fork takes the mutex first (unless the forking
 * thread holds it), so a thread of the toolkit's own cannot leave it locked
 * in the child. */
void kvlAPIMutexGuardForks(void);
/* Whether this thread holds the API mutex; 1 in builds without assertions,
 * which do not keep track. */
int kvlAPIMutexHeld(void);

/* Whether the first-failure data capture classes are registered. The flag
 * is cleared whenever the class map is freed (at close), so the capture
 * extension registers its classes again after a reopen. Callers hold the
 * API mutex. */
int kvlFFDCIsRegistered(void) KVL_NOEXCEPT;
void kvlFFDCSetRegistered(int registered) KVL_NOEXCEPT;

/* The toolkit's error logger while the toolkit is open, else null. */
KvlObject *kvlToolkitLogger(void) KVL_NOEXCEPT;

/* A toolkit problem: message `key` of catalog "kvlmsg" (kvlIntlLogVA) or
 * "kffdcmsg" (kffdcIntlLogVA), set 1, with its default text and a typed
 * argument list ended by 0, logged at `level` through the error logger when
 * that accepts the level. Callers hold the API mutex. */
void kvlIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) KVL_NOEXCEPT;
void kffdcIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) KVL_NOEXCEPT;
/* Prints message `key` of "kvlmsg" (with one string parameter, or none) on
 * standard error in the local codeset, with a line end: for the times no
 * error logger can take it. */
void kvlToolkitPrintOnStderr(int32_t key, const char *parameter) KVL_NOEXCEPT;
void kvlToolkitLogV(const char *catalog, int32_t level, int32_t key, const char *defaultText,
                    va_list args) KVL_NOEXCEPT;

#ifdef __cplusplus
}

/* Test hook: told of every toolkit message raised, whether or not a logger
 * takes it (null: nobody). */
using KvlToolkitMsgObserver = void (*)(const char *catalog, int32_t key, int32_t level);
void kvlSetToolkitMsgObserver(KvlToolkitMsgObserver observer);

#include <cassert>

/* In an internal twin: its caller holds the API mutex. */
#define KVL_ASSERT_LOCKED() assert(kvlAPIMutexHeld() == 1 && "the API mutex is held")

/* Holds the API mutex for a scope; false when it could not be taken (the
 * caller then does nothing and returns its "none" value). */
class KvlApiLock {
public:
    KvlApiLock() noexcept : locked_(kvlAPIMutexLock() == 1) {}
    ~KvlApiLock() {
        if (locked_) kvlAPIMutexUnlock();
    }
    KvlApiLock(const KvlApiLock &) = delete;
    KvlApiLock &operator=(const KvlApiLock &) = delete;
    explicit operator bool() const noexcept { return locked_; }

private:
    bool locked_;
};

#include "KvlMsgTables.h"
#include "kvlmsg_keys.h"

namespace kvl {
// A toolkit problem of catalog "kvlmsg": message `key` (a kvlmsg:: name)
// with its built-in text as the default and a typed argument list (the
// closing 0 is added). Callers hold the API mutex.
template <typename... Args>
void toolkitReport(int32_t level, int32_t key, Args... args) {
    kvlIntlLogVA(level, key, kvlMsgTableText(KVL_MSG_CATALOG, key), args..., KVL_ARG_END);
}
}  // namespace kvl

/* The body of a public function: its internal twin under the API mutex,
 * or `none` when the mutex cannot be had. */
#define KVL_LOCKED(none, call)  \
    {                           \
        KvlApiLock lock;        \
        if (!lock) return none; \
        return call;            \
    }
#endif

#endif /* KVL_TOOLKIT_H */
