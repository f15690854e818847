/*
 * Two locks for the toolkit: CxMutex, an in-process mutex (the toolkit's API
 * mutex), and CxSem, a System V semaphore named by an IPC key that several
 * processes use as one lock around a log file set they all write.
 *
 * Every lock and unlock of a CxSem carries SEM_UNDO, so a process that dies
 * holding the lock gives it back. The set itself outlives its users: the
 * next process that opens the same key attaches to it.
 */
#ifndef CX_MUTEX_H
#define CX_MUTEX_H

#include <stdint.h>

#include "CxPlatformErr.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Null: no mutex. */
typedef struct CxMutexObject *CxMutex;
/* A semaphore-set identifier; -1: none open. */
typedef int32_t CxSem;

CxPlatformErr CxMutexCreate(CxMutex *mutex);
CxPlatformErr CxMutexLock(CxMutex *mutex);
CxPlatformErr CxMutexUnlock(CxMutex *mutex);
/* Destroys and frees the mutex; the handle becomes null in every case. */
CxPlatformErr CxMutexDestroy(CxMutex *mutex);

/* Creates the one-semaphore set for `key` (value 1: free), or attaches to
 * the existing one and waits (up to 10 checks a second apart) until its
 * creator has initialised it. */
CxPlatformErr CxSemOpen(CxSem *sem, int32_t key);
/* Takes the lock, waiting while another process holds it. Interruptions
 * and a full undo table are retried 10 times a second apart (then ETIME). */
CxPlatformErr CxSemLock(CxSem *sem);
/* As CxSemLock, but gives up after `milliseconds` (ETIMEDOUT); 0 or less
 * waits without limit. */
CxPlatformErr CxSemLockWithin(CxSem *sem, int32_t milliseconds);
CxPlatformErr CxSemUnlock(CxSem *sem);
/* Forgets the identifier; the set stays in the system. */
CxPlatformErr CxSemClose(CxSem *sem);

#ifdef __cplusplus
}
#endif

#endif /* CX_MUTEX_H */
