// The agent's logging configuration.
//
// TEMPORARY STAND-IN: a minimal implementation to be replaced once the
// toolkit exists. loggerConfiguration fails the way it does when the toolkit
// cannot be opened, so callers take their "no tracing" path and every trace
// call does nothing.

#include "logger.h"

extern "C" {

KvlObject *traceLoggers[TRACE_COMPONENT_COUNT] = {};
KvlObject *messageLogger = nullptr;
KvlObject *consoleLogger = nullptr;

int loggerConfiguration(const char *, int) { return -1; }

int setZemlorCommonDir(const char *, const char *, const char *, int) { return 0; }

void confTraceLevel(const char *) {}
void confTraceSize(const char *) {}
void confTraceNumber(const char *) {}
void shutDownLogger(void) {}

}  // extern "C"
