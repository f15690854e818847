// Typed trace helpers for the agent's C++ code.
//
// The toolkit's logging calls take a typed argument list: a marker before
// every value and a closing 0. Writing those by hand is where trace calls go
// wrong (a size_t passed as 502, a forgotten 0), so the agent never does:
// the helpers below derive each marker from the argument's C++ type at
// compile time and append the terminator. A type without a marker does not
// compile. The helpers add no work of their own: the logging call tests the
// logger's level first and returns at once when the level is disabled.
//
//   TRACE_MIN(TRACE_INSTALL, "Invoking command %s", cmd);
//   traceDebugMin(logger, __FILE__, __func__, __LINE__, "Invoking command %s", cmd);
//     -> KvlLogDebugMin(logger, file, func, line, "Invoking command %s", 507, cmd, 0)
#ifndef SLM_AGENT_TRACE_H
#define SLM_AGENT_TRACE_H

#include <string>
#include <tuple>
#include <type_traits>

#include "kavel.h"
#include "logger.h"

namespace slm_trace_detail {

template <class T, class = void>
struct TypedArg;  // no marker for this type: the trace call does not compile

template <>
struct TypedArg<bool> {
    static auto entry(bool v) { return std::make_tuple(KVL_ARG_BOOLEAN, static_cast<int>(v)); }
};
template <>
struct TypedArg<char> {
    static auto entry(char v) { return std::make_tuple(KVL_ARG_CHAR, static_cast<int>(v)); }
};
template <>
struct TypedArg<int> {
    static auto entry(int v) { return std::make_tuple(KVL_ARG_INT, v); }
};
template <>
struct TypedArg<long> {
    static auto entry(long v) { return std::make_tuple(KVL_ARG_LONG, v); }
};
template <>
struct TypedArg<long long> {
    static_assert(sizeof(long long) == sizeof(long));
    static auto entry(long long v) { return std::make_tuple(KVL_ARG_LONG, static_cast<long>(v)); }
};
template <>
struct TypedArg<float> {
    static auto entry(float v) { return std::make_tuple(KVL_ARG_FLOAT, static_cast<double>(v)); }
};
template <>
struct TypedArg<double> {
    static auto entry(double v) { return std::make_tuple(KVL_ARG_DOUBLE, v); }
};
template <>
struct TypedArg<const char *> {
    static auto entry(const char *v) { return std::make_tuple(KVL_ARG_STRING, v); }
};
template <>
struct TypedArg<char *> {
    static auto entry(const char *v) { return std::make_tuple(KVL_ARG_STRING, v); }
};
template <>
struct TypedArg<std::string> {
    static auto entry(const std::string &v) { return std::make_tuple(KVL_ARG_STRING, v.c_str()); }
};

template <class T>
using Bare = std::remove_cv_t<std::remove_reference_t<std::decay_t<T>>>;

// The whole typed list, markers and terminator included, as one tuple.
template <class... Args>
auto typedList(const Args &...args) {
    return std::tuple_cat(TypedArg<Bare<Args>>::entry(args)..., std::make_tuple(KVL_ARG_END));
}

using DebugCall = void (*)(KvlObject *, const char *, const char *, int, const char *, ...);

template <class... Args>
inline void emit(DebugCall call, KvlObject *logger, const char *file, const char *func, int line,
                 const char *format, const Args &...args) {
    std::apply([&](auto... entries) { call(logger, file, func, line, format, entries...); },
               typedList(args...));
}

}  // namespace slm_trace_detail

template <class... Args>
inline void traceDebugMin(KvlObject *logger, const char *file, const char *func, int line,
                          const char *format, const Args &...args) {
    slm_trace_detail::emit(&KvlLogDebugMin, logger, file, func, line, format, args...);
}

template <class... Args>
inline void traceDebugMid(KvlObject *logger, const char *file, const char *func, int line,
                          const char *format, const Args &...args) {
    slm_trace_detail::emit(&KvlLogDebugMid, logger, file, func, line, format, args...);
}

template <class... Args>
inline void traceDebugMax(KvlObject *logger, const char *file, const char *func, int line,
                          const char *format, const Args &...args) {
    slm_trace_detail::emit(&KvlLogDebugMax, logger, file, func, line, format, args...);
}

// Trace on one of the agent's component loggers, with the call's location.
#define TRACE_MIN(component, ...) \
    traceDebugMin(traceLoggers[component], __FILE__, __func__, __LINE__, __VA_ARGS__)
#define TRACE_MID(component, ...) \
    traceDebugMid(traceLoggers[component], __FILE__, __func__, __LINE__, __VA_ARGS__)
#define TRACE_MAX(component, ...) \
    traceDebugMax(traceLoggers[component], __FILE__, __func__, __LINE__, __VA_ARGS__)

#endif  // SLM_AGENT_TRACE_H
