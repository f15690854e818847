/*
 * The toolkit's spine, as far as it exists: the API mutex every public
 * toolkit function takes.
 *
 * One process-wide, non-recursive mutex serialises the public functions;
 * their internal twins (kvlIntl*) assume it is held and never take it. It is
 * statically initialised and lives as long as the process: it is never
 * destroyed, so no thread can find it gone while it waits. In builds without
 * NDEBUG (the asan and tsan presets) it is an error-checking mutex, so a
 * public call made while the mutex is held fails with EDEADLK instead of
 * hanging a test.
 */
#ifndef KVL_TOOLKIT_H
#define KVL_TOOLKIT_H

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the caller now holds the API mutex, 0 on failure. */
int kvlAPIMutexLock(void);
void kvlAPIMutexUnlock(void);

#ifdef __cplusplus
}

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
#endif

#endif /* KVL_TOOLKIT_H */
