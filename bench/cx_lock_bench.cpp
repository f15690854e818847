// The floor of the toolkit's locks, uncontended: the API mutex taken around
// every public call, and the System V semaphore the shared-file handler
// takes around every record it writes. pthread's own mutex runs alongside
// as the peer.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#include "CxMutex.h"

namespace {

void BM_CxMutexLockUnlock(benchmark::State &state) {
    CxMutex mutex = nullptr;
    CxMutexCreate(&mutex);
    for (auto _ : state) {
        CxMutexLock(&mutex);
        CxMutexUnlock(&mutex);
    }
    CxMutexDestroy(&mutex);
}
BENCHMARK(BM_CxMutexLockUnlock);

void BM_PthreadMutexLockUnlock(benchmark::State &state) {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    for (auto _ : state) {
        pthread_mutex_lock(&mutex);
        pthread_mutex_unlock(&mutex);
    }
}
BENCHMARK(BM_PthreadMutexLockUnlock);

void BM_CxSemLockUnlock(benchmark::State &state) {
    const int32_t key = static_cast<int32_t>(0x4B100000 ^ getpid());
    CxSem sem = -1;
    if (CxSemOpen(&sem, key).kind != CX_PLATFORM_ERR_OK) {
        state.SkipWithError("cannot open a semaphore set");
        return;
    }
    for (auto _ : state) {
        CxSemLock(&sem);
        CxSemUnlock(&sem);
    }
    semctl(sem, 0, IPC_RMID);
}
BENCHMARK(BM_CxSemLockUnlock);

}  // namespace
