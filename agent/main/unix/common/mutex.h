/*
 * The agent's synchronisation: plain mutexes, a lock that can be waited for
 * with a timeout, counting semaphores made from pipes, and a condition built
 * from those semaphores.
 *
 * A pipe semaphore's count is the number of bytes in the pipe: give writes
 * one byte, take reads one. Both ends are close-on-exec, so children never
 * inherit a lock.
 */
#ifndef SLM_MUTEX_H
#define SLM_MUTEX_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct slm_mutex slm_mutex;
typedef struct slm_to_mutex slm_to_mutex;

/* Null on failure. */
slm_mutex *createMutex(void);
void deleteMutex(slm_mutex *mutex);
/* 0 success, 1 failure. */
int lockMutex(slm_mutex *mutex);
int unlockMutex(slm_mutex *mutex);

/* Null on failure. */
slm_to_mutex *createTOMutex(void);
void deleteTOMutex(slm_to_mutex *mutex);
/* 0 taken, 2 timed out after `timeout` seconds, 1 other error. */
int lockMutexTimeout(slm_to_mutex *mutex, int timeout);
/* 0, or 1 when the lock could not be released. */
int unlockTOMutex(slm_to_mutex *mutex);

typedef struct slm_sem {
    int readEnd;
    int writeEnd;
} slm_sem;

/* 0, or 1 when the pipe cannot be made or cannot hold `initial` bytes. */
int createSem(slm_sem *semaphore, int initial);
/* Closes both ends. */
void deleteSem(slm_sem *semaphore);
/* Give and take: 0, or 1 on an error other than an interruption. */
int postSem(slm_sem *semaphore);
int waitSem(slm_sem *semaphore);

typedef struct slm_cond {
    int waiters;         /* entered waitCond, not yet released */
    int toRelease;       /* released by a broadcast, not yet awake */
    slm_sem counterLock; /* count 1: guards toRelease and the broadcast */
    slm_sem gate;        /* count 1: guards waiters; closed during a broadcast */
    slm_sem wake;        /* count 0: where waiters sleep */
} slm_cond;

/* 0, or 1 when a semaphore cannot be made. */
int createCond(slm_cond *condition);
void deleteCond(slm_cond *condition);
/* `lock` is held by the caller; it is released while asleep and held again
 * on return. Returns 0. */
int waitCond(slm_cond *condition, slm_sem *lock);
/* Wakes every thread waiting at the time of the call. Returns 0. */
int broadcastCond(slm_cond *condition);

#ifdef __cplusplus
}
#endif

#endif /* SLM_MUTEX_H */
