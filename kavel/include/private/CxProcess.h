/*
 * Processes, the clock, the host name, threads, and the toolkit's own
 * indented diagnostic trace on standard error.
 */
#ifndef CX_PROCESS_H
#define CX_PROCESS_H

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#include "CxPlatformErr.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CxProcessStatus {
    int32_t ended;     /* 1: the child's end was collected; 0: still running */
    int32_t exit_code; /* 0..255 after a normal exit, else 0 */
    int32_t signalled; /* 1 when a signal ended it */
    int32_t signal;
} CxProcessStatus;

typedef pthread_t CxThreadId;

const char *CxProcessGetEnv(const char *name);
int64_t CxProcessGetCurrentID(void);
/* The working directory; the empty string on failure (ERANGE: too small). */
CxPlatformErr CxProcessGetCwd(char *buffer, size_t size);
/* Starts `path` (no PATH search) with `argv`; the child never returns into
 * the caller's code: a program that cannot be run ends it with status 127. */
CxPlatformErr CxProcessCreate(int32_t *pid, const char *path, char *const argv[]);
/* Blocking when the flag's low byte is non-zero, else a check. */
CxPlatformErr CxProcessWaitFor(int32_t *pid, CxProcessStatus *status, int block);
CxPlatformErr CxProcessRelease(int32_t pid);

/* Milliseconds since the epoch. */
int64_t CxSystemGetTimestamp(void);
/* The host name, fully qualified through the name service when it has no
 * dot. ENOSYS when the name or the look-up fails (the short name is kept
 * after a failed look-up). */
CxPlatformErr CxSystemGetFQHostname(char *buffer, size_t size);
/* The same answer, asked for once per process and then repeated (a
 * failure too, with the short name); ERANGE when it does not fit. */
CxPlatformErr CxSystemGetFQHostnameOnce(char *buffer, size_t size);

int CxHasThreadSupport(void);
int64_t CxThreadGetCurrentID(void);
/* stackSize 0: the platform's default. */
CxPlatformErr CxThreadCreate(CxThreadId *id, size_t stackSize, void *(*start)(void *), void *arg);
CxPlatformErr CxThreadJoin(CxThreadId *id);
void CxThreadYield(void);
/* Sleeps the nearest whole number of seconds (half a second rounds up). */
void CxThreadSleep(int32_t milliseconds);

/* Indentation of the internal trace: 3 blanks per open ENTER. */
extern int32_t CX_INTERNAL_TRACE_INDENT;
void cxIntlTraceEnter(const char *format, ...);
void cxIntlTraceLeave(const char *format, ...);
void cxIntlTracePoint(const char *format, ...);

#ifdef __cplusplus
}

/* Test hooks for the host name: where the short name and the canonical
 * name come from (gethostname and getaddrinfo by default; null restores). */
using CxHostNameSource = int (*)(char *buffer, size_t size);
using CxHostResolver = bool (*)(const char *shortName, char *canonical, size_t size);
void cxSetHostNameServices(CxHostNameSource source, CxHostResolver resolver);
/* Test hook for the clock: what CxSystemGetTimestamp reads (the system's
 * time by default; null restores). */
using CxClockSource = int64_t (*)();
void cxSetClockSource(CxClockSource source);
#endif

#endif /* CX_PROCESS_H */
