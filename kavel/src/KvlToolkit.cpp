// The toolkit's spine: the API mutex and the toolkit's own messages.
// Opening and closing the toolkit and the class and instance registries
// join it here.

#include "KvlToolkit.h"

#include <pthread.h>

#include "KvlLogging.h"
#include "KvlMsgTables.h"

namespace {

KvlToolkitMsgObserver messageObserver = nullptr;

#ifdef NDEBUG
pthread_mutex_t apiMutex = PTHREAD_MUTEX_INITIALIZER;
#else
pthread_mutex_t apiMutex = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;
#endif

}  // namespace

extern "C" {

int kvlAPIMutexLock(void) { return pthread_mutex_lock(&apiMutex) == 0 ? 1 : 0; }

void kvlAPIMutexUnlock(void) { pthread_mutex_unlock(&apiMutex); }

// TEMPORARY STAND-IN until the toolkit opens: the closed toolkit's answer.
KvlObject *kvlToolkitLogger(void) noexcept { return nullptr; }

void kvlToolkitLogV(const char *catalog, int32_t level, int32_t key, const char *defaultText,
                    va_list args) noexcept {
    if (messageObserver != nullptr) messageObserver(catalog, key, level);
    KvlObject *logger = kvlToolkitLogger();
    if (KvlIsLoggable(logger, level) == 1)
        kvlLogMessageEntry(logger, level, catalog, KVL_MSG_SET, key, defaultText, args);
}

void kvlIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) noexcept {
    va_list args;
    va_start(args, defaultText);
    kvlToolkitLogV(KVL_MSG_CATALOG, level, key, defaultText, args);
    va_end(args);
}

}  // extern "C"

void kvlSetToolkitMsgObserver(KvlToolkitMsgObserver observer) { messageObserver = observer; }
