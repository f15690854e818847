/*
 * The agent's logging configuration: the toolkit objects every agent program
 * shares, the twelve component trace loggers, and the setters for file
 * locations, sizes, counts and the trace level.
 */
#ifndef SLM_LOGGER_H
#define SLM_LOGGER_H

#include <stddef.h>

#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Index of each component's logger in traceLoggers. */
enum {
    TRACE_3RDPARTY = 0,
    TRACE_NETWORK = 1,
    TRACE_SERVICES = 2,
    TRACE_START_STOP = 3,
    TRACE_CATALOG = 4,
    TRACE_LICENSE = 5,
    TRACE_INVENTORY = 6,
    TRACE_SYSTEM = 7,
    TRACE_CORE = 8,
    TRACE_MESSAGE = 9,
    TRACE_AGENT_CLI = 10,
    TRACE_INSTALL = 11,
    TRACE_COMPONENT_COUNT = 12
};

/* Kinds of agent program, for loggerConfiguration and setZemlorCommonDir. */
enum { AGENT_KIND_CLI = 0, AGENT_KIND_DAEMON = 1, AGENT_KIND_INSTALLER = 2 };

/* Owned references, valid from loggerConfiguration until shutDownLogger;
 * null while tracing is not set up (every logging call then does nothing). */
extern KvlObject *traceLoggers[TRACE_COMPONENT_COUNT];
extern KvlObject *messageLogger;
extern KvlObject *consoleLogger;

/* Where the files go and how many a set keeps (set by setZemlorCommonDir
 * and the count setters; the scanner and cache directories by the daemon). */
extern char zemlor_common_dir_for_trace[1024];
extern char zemlor_common_dir_for_message[1024];
extern char zemlor_common_dir_for_ffdc[1024];
extern char scannerDir[1024];
extern char cacheDir[1024];
extern int traceNumberOfFiles;
extern int messageNumberOfFiles;

/* What each program kind sets its logging up with: its log names and, where
 * the program fixes them, the trace level, file size and count (null: the
 * ini file's, or the setters' fall-backs). The controller is the installer. */
typedef struct AgentLogSettings {
    const char *traceName;
    const char *messageName; /* null: the kind writes no message log */
    const char *traceLevel;
    const char *traceSize;
    const char *traceFiles;
} AgentLogSettings;
const AgentLogSettings *agentLogSettings(int kind);
/* Properties the agent's code reads on toolkit objects beyond what their
 * classes read ("isInherited" on trace loggers, "fileEnabled" on the error
 * trace handler); null-terminated. */
extern const char *const agentObjectProperties[];

/* Registers the agent's console formatter class "vrxFormatter". */
void registerAgentFormatterClass(void);
/* Builds the shared configuration (no properties file: the default objects)
 * for a program kind and takes the logger handles: 0, or -1 when the
 * toolkit cannot be opened or a default object made. */
int loggerConfiguration(const char *properties, int kind);
/* For programs that bring their own properties file: 0 or -1. */
int loggerCustomConfiguration(const char *properties);
void assignAgentComponentHandlers(void);
void setAgentLoggerListeners(int kind);
/* Fills the module-wide file paths for a kind under the common directory,
 * pointing no handler at them; the handlers each path is for: */
void setAgentLogPaths(const char *commonDir, const char *traceName, const char *messageName,
                      int kind);
const char *agentTraceHandlerName(int kind);
const char *agentMessageHandlerName(int kind); /* null for the installer */
/* Points the kind's handlers at their files under the common directory;
 * 1 when the toolkit's error trace handler is configured ("fileEnabled")
 * and was pointed at its file too. */
int setZemlorCommonDir(const char *commonDir, const char *traceName, const char *messageName,
                       int kind);
/* "MID", "MAX", else DEBUG_MIN, on the loggers that do not inherit. */
void confTraceLevel(const char *level);
/* Bytes per file, 65536 to 16777216 (else 1048576); files per set, 1 to 10
 * (else 6): for the trace handlers and the message handlers. */
void confTraceSize(const char *size);
void confTraceNumber(const char *count);
void confMsgLogSize(const char *size);
void confMsgLogNumber(const char *count);
int loggerReload(const char *level, const char *traceSize, const char *msglogSize);
/* A logger of the program's own (an acquired handle). */
KvlObject *logCustomComponent(const char *name);
/* Closes the toolkit, then releases the handles and sets them to null. */
void shutDownLogger(void);
/* Sets the capture handler "filecopyhandler": its base directory and the
 * list of files a capture copies (logs, cache and scanner files, then
 * `extra`), whole entries only within 71680 bytes. 1 when the handler or
 * the trace loggers are not configured. */
int setFFDCProperties(const char *extra);
/* Appends the files of a rolling set (" \"dir/base.log\"", then base1 ...)
 * to `list`, a buffer of 71680 bytes. */
void computeLoggerFiles(KvlObject *logger, char *list, int count, const char *path,
                        const char *base);
/* The agent's console formatter ("vrxFormatter"): the bound text and a
 * line feed. */
char *VrxFormat(KvlObject *formatter, KvlEvent *event);

/* Tests only: where the host name comes from (null: gethostname). */
typedef int (*HostNameSource)(char *buffer, size_t size);
void loggerSetHostNameSourceForTest(HostNameSource source);

#ifdef __cplusplus
}
#endif

#endif /* SLM_LOGGER_H */
