// The agent's mutexes, timed lock, pipe semaphores and condition.
//
// The timed lock waits on a condition variable bound to CLOCK_MONOTONIC, so
// setting the clock neither stretches nor cuts a timeout.
//
// The condition is the agent's own: waiters count themselves in under a
// gate; a broadcast closes the gate, moves the count to "to release" and
// gives the wake semaphore that many times; the last released waiter
// reopens the gate. A waiter that arrives during a broadcast therefore waits
// for the next one.
//
// The counters are guarded by the pipe semaphores; they are read and
// written as relaxed atomics only so that race detectors, which cannot see
// ordering through a pipe, agree.

#include "mutex.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>

#include "agent_trace.h"

namespace {
std::atomic_ref<int> counter(int &value) { return std::atomic_ref<int>(value); }
}  // namespace

struct slm_mutex {
    pthread_mutex_t mutex;
};

struct slm_to_mutex {
    pthread_cond_t condition;
    pthread_mutex_t guard;
    int busy;
};

extern "C" {

slm_mutex *createMutex(void) {
    auto *handle = new (std::nothrow) slm_mutex;
    if (handle == nullptr) return nullptr;
    if (pthread_mutex_init(&handle->mutex, nullptr) != 0) {
        delete handle;
        return nullptr;
    }
    return handle;
}

void deleteMutex(slm_mutex *mutex) {
    if (mutex == nullptr) return;
    pthread_mutex_destroy(&mutex->mutex);
    delete mutex;
}

int lockMutex(slm_mutex *mutex) {
    return mutex != nullptr && pthread_mutex_lock(&mutex->mutex) == 0 ? 0 : 1;
}

int unlockMutex(slm_mutex *mutex) {
    return mutex != nullptr && pthread_mutex_unlock(&mutex->mutex) == 0 ? 0 : 1;
}

slm_to_mutex *createTOMutex(void) {
    auto *handle = new (std::nothrow) slm_to_mutex;
    if (handle == nullptr) return nullptr;
    handle->busy = 0;
    pthread_condattr_t attributes;
    bool ready = pthread_condattr_init(&attributes) == 0;
    ready = ready && pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
            pthread_cond_init(&handle->condition, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!ready) {
        delete handle;
        return nullptr;
    }
    if (pthread_mutex_init(&handle->guard, nullptr) != 0) {
        pthread_cond_destroy(&handle->condition);
        delete handle;
        return nullptr;
    }
    return handle;
}

void deleteTOMutex(slm_to_mutex *mutex) {
    if (mutex == nullptr) return;
    pthread_cond_destroy(&mutex->condition);
    pthread_mutex_destroy(&mutex->guard);
    delete mutex;
}

int lockMutexTimeout(slm_to_mutex *mutex, int timeout) {
    if (mutex == nullptr) return 1;
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout;
    if (pthread_mutex_lock(&mutex->guard) != 0) return 1;
    int waited = 0;
    while (mutex->busy && waited == 0)
        waited = pthread_cond_timedwait(&mutex->condition, &mutex->guard, &deadline);
    int result;
    if (waited == 0) {
        mutex->busy = 1;
        result = 0;
    } else {
        // A failed wait reports its failure even if the lock came free.
        result = waited == ETIMEDOUT ? 2 : 1;
    }
    pthread_mutex_unlock(&mutex->guard);
    return result;
}

int unlockTOMutex(slm_to_mutex *mutex) {
    if (mutex == nullptr || pthread_mutex_lock(&mutex->guard) != 0) return 1;
    mutex->busy = 0;
    const bool signalled = pthread_cond_signal(&mutex->condition) == 0;
    const bool released = pthread_mutex_unlock(&mutex->guard) == 0;
    return signalled && released ? 0 : 1;
}

int createSem(slm_sem *semaphore, int initial) {
    if (semaphore == nullptr) return 1;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "ERROR - creating pipe %d", errno);
        return 1;
    }
    semaphore->readEnd = ends[0];
    semaphore->writeEnd = ends[1];
    // More bytes than the pipe holds would block the creator for ever.
    const int capacity = fcntl(ends[1], F_GETPIPE_SZ);
    if (initial > 0 && (capacity < 0 || initial > capacity)) {
        TRACE_MIN(TRACE_SYSTEM, "ERROR - incrementing semaphore");
        deleteSem(semaphore);
        return 1;
    }
    for (int i = 0; i < initial; ++i) {
        if (postSem(semaphore) != 0) {
            TRACE_MIN(TRACE_SYSTEM, "ERROR - incrementing semaphore");
            deleteSem(semaphore);
            return 1;
        }
    }
    return 0;
}

void deleteSem(slm_sem *semaphore) {
    if (semaphore == nullptr) return;
    if (semaphore->readEnd >= 0) close(semaphore->readEnd);
    if (semaphore->writeEnd >= 0) close(semaphore->writeEnd);
    semaphore->readEnd = semaphore->writeEnd = -1;
}

int postSem(slm_sem *semaphore) {
    if (semaphore == nullptr) return 1;
    const char token = 1;
    for (;;) {
        const ssize_t written = write(semaphore->writeEnd, &token, 1);
        if (written == 1) return 0;
        if (written < 0 && errno == EINTR) continue;
        return 1;
    }
}

int waitSem(slm_sem *semaphore) {
    if (semaphore == nullptr) return 1;
    char token;
    for (;;) {
        const ssize_t got = read(semaphore->readEnd, &token, 1);
        if (got == 1) return 0;
        if (got < 0 && errno == EINTR) continue;
        return 1;
    }
}

int createCond(slm_cond *condition) {
    if (condition == nullptr) return 1;
    condition->waiters = 0;
    condition->toRelease = 0;
    condition->counterLock = condition->gate = condition->wake = slm_sem{-1, -1};
    if (createSem(&condition->counterLock, 1) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "ERROR - creating first semaphore");
        return 1;
    }
    if (createSem(&condition->gate, 1) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "ERROR - creating second semaphore");
        deleteSem(&condition->counterLock);
        return 1;
    }
    if (createSem(&condition->wake, 0) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "ERROR - creating third semaphore");
        deleteSem(&condition->counterLock);
        deleteSem(&condition->gate);
        return 1;
    }
    return 0;
}

void deleteCond(slm_cond *condition) {
    if (condition == nullptr) return;
    deleteSem(&condition->counterLock);
    deleteSem(&condition->gate);
    deleteSem(&condition->wake);
}

int waitCond(slm_cond *condition, slm_sem *lock) {
    if (condition == nullptr || lock == nullptr) return 0;
    waitSem(&condition->gate);
    counter(condition->waiters).fetch_add(1, std::memory_order_relaxed);
    postSem(&condition->gate);

    postSem(lock);
    waitSem(&condition->wake);

    waitSem(&condition->counterLock);
    const int released = counter(condition->toRelease).fetch_sub(1, std::memory_order_relaxed);
    postSem(&condition->counterLock);
    if (released == 1) postSem(&condition->gate);  // the last one reopens the gate

    waitSem(lock);
    return 0;
}

int broadcastCond(slm_cond *condition) {
    if (condition == nullptr) return 0;
    auto waiters = counter(condition->waiters);
    auto toRelease = counter(condition->toRelease);
    waitSem(&condition->counterLock);
    if (toRelease.load(std::memory_order_relaxed) != 0) {
        // An earlier broadcast is still being consumed; its gate is closed.
        if (waiters.load(std::memory_order_relaxed) == 0) {
            postSem(&condition->counterLock);
            return 0;
        }
    } else {
        if (waiters.load(std::memory_order_relaxed) < 1) {
            postSem(&condition->counterLock);
            return 0;
        }
        waitSem(&condition->gate);
    }
    const int woken = waiters.exchange(0, std::memory_order_relaxed);
    toRelease.fetch_add(woken, std::memory_order_relaxed);
    postSem(&condition->counterLock);
    for (int i = 0; i < woken; ++i)
        postSem(&condition->wake);
    return 0;
}

}  // extern "C"
