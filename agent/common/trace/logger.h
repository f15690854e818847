/*
 * The agent's logging configuration: the toolkit objects every agent program
 * shares, the twelve component trace loggers, and the setters for file
 * locations, sizes, counts and the trace level.
 */
#ifndef SLM_LOGGER_H
#define SLM_LOGGER_H

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

int loggerConfiguration(const char *properties, int kind);
int setZemlorCommonDir(const char *commonDir, const char *traceName, const char *messageName,
                       int kind);
void confTraceLevel(const char *level);
void confTraceSize(const char *size);
void confTraceNumber(const char *count);
void shutDownLogger(void);

#ifdef __cplusplus
}
#endif

#endif /* SLM_LOGGER_H */
