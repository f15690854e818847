// In-process mutex and System V semaphore lock.
//
// Opening protocol of a semaphore set: the process whose exclusive create
// succeeds sets the value to 1 and then performs one semop of two
// operations, -1 then +1, without SEM_UNDO. The value stays 1 and the set's
// last-operation time becomes non-zero, which is what every other opener
// waits for before it trusts the value. (A "wait for zero" probe would fail
// on a value of 1 and leave the time at 0, so attachers would time out and a
// creator that exited before its first lock would poison the key for good.)

#include "CxMutex.h"

#include <pthread.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "OxsMemory.h"

struct CxMutexObject {
    pthread_mutex_t mutex;
};

namespace {

// glibc leaves this to the caller.
union semun {
    int val;
    semid_ds *buf;
    unsigned short *array;
};

constexpr int kOpenChecks = 10;
constexpr int kLockRetries = 10;

}  // namespace

extern "C" {

CxPlatformErr CxMutexCreate(CxMutex *mutex) {
    if (mutex == nullptr) return cxPlatformFail(EINVAL);
    auto *object = static_cast<CxMutexObject *>(OxsMemoryMalloc(sizeof(CxMutexObject)));
    if (object == nullptr) return cxPlatformFail(ENOMEM);
    const int rc = pthread_mutex_init(&object->mutex, nullptr);
    if (rc != 0) {
        OxsMemoryFree(object);
        *mutex = nullptr;
        return cxPlatformFail(rc);
    }
    *mutex = object;
    return cxPlatformOk();
}

CxPlatformErr CxMutexLock(CxMutex *mutex) {
    if (mutex == nullptr || *mutex == nullptr) return cxPlatformFail(EINVAL);
    const int rc = pthread_mutex_lock(&(*mutex)->mutex);
    return rc == 0 ? cxPlatformOk() : cxPlatformFail(rc);
}

CxPlatformErr CxMutexUnlock(CxMutex *mutex) {
    if (mutex == nullptr || *mutex == nullptr) return cxPlatformFail(EINVAL);
    const int rc = pthread_mutex_unlock(&(*mutex)->mutex);
    return rc == 0 ? cxPlatformOk() : cxPlatformFail(rc);
}

CxPlatformErr CxMutexDestroy(CxMutex *mutex) {
    if (mutex == nullptr) return cxPlatformFail(EINVAL);
    CxMutexObject *object = *mutex;
    *mutex = nullptr;
    if (object == nullptr) return cxPlatformFail(EINVAL);
    const int rc = pthread_mutex_destroy(&object->mutex);
    OxsMemoryFree(object);
    return rc == 0 ? cxPlatformOk() : cxPlatformFail(rc);
}

CxPlatformErr CxSemOpen(CxSem *sem, int32_t key) {
    if (sem == nullptr) return cxPlatformFail(EINVAL);
    *sem = semget(key, 1, IPC_CREAT | IPC_EXCL | 0666);
    if (*sem >= 0) {
        semun value{};
        value.val = 1;
        if (semctl(*sem, 0, SETVAL, value) != 0) return cxPlatformFail(errno);
        sembuf mark[2] = {{0, -1, IPC_NOWAIT}, {0, 1, 0}};
        if (semop(*sem, mark, 2) != 0) return cxPlatformFail(errno);
        return cxPlatformOk();
    }
    if (errno != EEXIST) return cxPlatformFail(errno);

    *sem = semget(key, 1, 0);
    if (*sem < 0) return cxPlatformFail(errno);
    for (int checksLeft = kOpenChecks;;) {
        semid_ds status{};
        semun query{};
        query.buf = &status;
        if (semctl(*sem, 0, IPC_STAT, query) != 0) return cxPlatformFail(errno);
        if (status.sem_otime != 0) return cxPlatformOk();
        if (--checksLeft == 0) return cxPlatformFail(ETIME);
        sleep(1);
    }
}

CxPlatformErr CxSemLock(CxSem *sem) { return CxSemLockWithin(sem, 0); }

// The wait is measured against one deadline, so retries do not lengthen it.
CxPlatformErr CxSemLockWithin(CxSem *sem, int32_t milliseconds) {
    if (sem == nullptr) return cxPlatformFail(EINVAL);
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000;
    }
    for (int retries = 0;; ++retries) {
        sembuf take = {0, -1, SEM_UNDO};
        timespec left{};
        if (milliseconds > 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const int64_t ns = (deadline.tv_sec - now.tv_sec) * int64_t{1000000000} +
                               (deadline.tv_nsec - now.tv_nsec);
            if (ns <= 0) return cxPlatformFail(ETIMEDOUT);
            left = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        if (semtimedop(*sem, &take, 1, milliseconds > 0 ? &left : nullptr) == 0)
            return cxPlatformOk();
        const int error = errno;
        if (error == EAGAIN) return cxPlatformFail(ETIMEDOUT);
        if (error != ENOSPC && error != EINTR) return cxPlatformFail(error);
        if (retries == kLockRetries) return cxPlatformFail(ETIME);
        sleep(1);
    }
}

CxPlatformErr CxSemUnlock(CxSem *sem) {
    if (sem == nullptr) return cxPlatformFail(EINVAL);
    sembuf give = {0, 1, SEM_UNDO};
    return semop(*sem, &give, 1) == 0 ? cxPlatformOk() : cxPlatformFail(errno);
}

CxPlatformErr CxSemClose(CxSem *sem) {
    if (sem == nullptr) return cxPlatformFail(EINVAL);
    *sem = -1;
    return cxPlatformOk();
}

}  // extern "C"
