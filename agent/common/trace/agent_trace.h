// Typed trace helpers for the agent's C++ code, on the toolkit's C++
// helpers (kavel.hpp, the one marker table): each marker comes from the
// argument's C++ type at compile time, the list is closed, and the logger's
// gate is tested inline, so a disabled trace costs a load and a comparison.
// A type without a marker does not compile, nor does a literal format that
// does not fit its arguments.
//
//   TRACE_MIN(TRACE_INSTALL, "Invoking command %s", cmd);
//   traceDebugMin(logger, __FILE__, __func__, __LINE__, "Invoking command %s", cmd);
//     -> KvlLogDebugMin(logger, file, func, line, "Invoking command %s", 507, cmd, 0)
#ifndef SLM_AGENT_TRACE_H
#define SLM_AGENT_TRACE_H

#include "kavel.hpp"
#include "logger.h"

template <class... Args>
inline void traceDebugMin(KvlObject *logger, const char *file, const char *func, int line,
                          kvl::FormatFor<Args...> format, const Args &...args) {
    kvl::debugMin(logger, file, func, line, format, args...);
}

template <class... Args>
inline void traceDebugMid(KvlObject *logger, const char *file, const char *func, int line,
                          kvl::FormatFor<Args...> format, const Args &...args) {
    kvl::debugMid(logger, file, func, line, format, args...);
}

template <class... Args>
inline void traceDebugMax(KvlObject *logger, const char *file, const char *func, int line,
                          kvl::FormatFor<Args...> format, const Args &...args) {
    kvl::debugMax(logger, file, func, line, format, args...);
}

// Trace on one of the agent's component loggers, with the call's location.
#define TRACE_MIN(component, ...) \
    traceDebugMin(traceLoggers[component], __FILE__, __func__, __LINE__, __VA_ARGS__)
#define TRACE_MID(component, ...) \
    traceDebugMid(traceLoggers[component], __FILE__, __func__, __LINE__, __VA_ARGS__)
#define TRACE_MAX(component, ...) \
    traceDebugMax(traceLoggers[component], __FILE__, __func__, __LINE__, __VA_ARGS__)

#endif  // SLM_AGENT_TRACE_H
