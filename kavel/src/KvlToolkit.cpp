// The toolkit's spine: the API mutex. Opening and closing the toolkit and
// the class and instance registries join it here.

#include "KvlToolkit.h"

#include <pthread.h>

namespace {

#ifdef NDEBUG
pthread_mutex_t apiMutex = PTHREAD_MUTEX_INITIALIZER;
#else
pthread_mutex_t apiMutex = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;
#endif

}  // namespace

extern "C" {

int kvlAPIMutexLock(void) { return pthread_mutex_lock(&apiMutex) == 0 ? 1 : 0; }

void kvlAPIMutexUnlock(void) { pthread_mutex_unlock(&apiMutex); }

}  // extern "C"
