/*
 * The agent's standalone trace writer: one text file with a size limit and
 * numbered rotation (base-1.log, base-2.log, ...), a header per record, and
 * a level per component. It does not use the logging toolkit. All file work
 * runs under a lock with a 20-second timeout; a caller that cannot get it
 * drops its record silently.
 */
#ifndef SLM_TRACE_H
#define SLM_TRACE_H

#ifdef __cplusplus
extern "C" {
#endif

#define TRACE_COMPONENTS 14
#define TRACE_CATEGORY_TBR 18

/* 0, or -1 when the set-up fails. A null base name opens no file. */
int startTrace(const char *baseName);
/* Swaps the trace file under the writer's lock: 0, or -1 when the lock
 * cannot be had. */
int setTraceFile(const char *baseName);
void setTraceLevel(unsigned int level);
void setComponentTraceLevel(unsigned int component, unsigned int level);
void setTraceSize(int size);
void setNumFiles(int count);
void traceWrite(const char *file, int line, int component, int category, const char *format, ...)
    __attribute__((format(printf, 5, 6)));
void outputTrace(const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void stopTrace(void);
/* 0 when the file opened, else the error number; -1 when the lock cannot be
 * had or a file is open already. */
int restartTrace(void);

#ifdef __cplusplus
}

/* For tests: the lock's timeout in seconds (20 by default), the current
 * sizes and levels, and the lock itself. */
void setTraceLockTimeoutForTest(int seconds);
struct slm_to_mutex;
struct slm_to_mutex *traceLockForTest();
int traceMaxSizeForTest();
int traceNumFilesForTest();
unsigned int traceComponentLevelForTest(unsigned int component);
#endif

#endif /* SLM_TRACE_H */
