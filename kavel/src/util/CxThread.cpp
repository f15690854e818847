// Threads.

#include <unistd.h>

#include <cerrno>

#include "CxProcess.h"

extern "C" {

int CxHasThreadSupport(void) { return 1; }

// The kernel's thread id, as `ps -L` and the agent's trace writer show it
// (pthread_self is an address, useless to a reader of the logs).
int64_t CxThreadGetCurrentID(void) { return static_cast<int64_t>(gettid()); }

CxPlatformErr CxThreadCreate(CxThreadId *id, size_t stackSize, void *(*start)(void *), void *arg) {
    if (id == nullptr || start == nullptr) return cxPlatformFail(EINVAL);
    pthread_attr_t attributes;
    int rc = pthread_attr_init(&attributes);
    if (rc != 0) return cxPlatformFail(rc);
    if (stackSize != 0) rc = pthread_attr_setstacksize(&attributes, stackSize);
    pthread_t thread{};
    if (rc == 0) rc = pthread_create(&thread, &attributes, start, arg);
    pthread_attr_destroy(&attributes);
    if (rc != 0) return cxPlatformFail(rc);
    *id = thread;
    return cxPlatformOk();
}

CxPlatformErr CxThreadJoin(CxThreadId *id) {
    if (id == nullptr) return cxPlatformFail(EINVAL);
    const int rc = pthread_join(*id, nullptr);
    return rc == 0 ? cxPlatformOk() : cxPlatformFail(rc);
}

void CxThreadYield(void) {}

void CxThreadSleep(int32_t milliseconds) {
    if (milliseconds <= 0) return;
    const unsigned seconds =
        static_cast<unsigned>((static_cast<int64_t>(milliseconds) + 500) / 1000);
    for (unsigned left = seconds; left > 0;)
        left = sleep(left);  // resumes after signals
}

}  // extern "C"
