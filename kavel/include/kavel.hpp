// C++ helpers for the toolkit's logging calls.
//
// A logging call ends with a typed list: a marker before each value and a
// closing 0. Written by hand, that is where calls go wrong (a size_t passed
// as 502, a forgotten 0). These helpers derive each marker from the
// argument's type at compile time (a type without a marker does not
// compile), wrap event properties and levels, always close the list, and
// test the logger's gate inline before making the call, so a disabled call
// costs a load and a comparison.
//
//   kvl::debugMin(logger, __FILE__, __func__, __LINE__, "copied %s in %d ms", path, ms);
//   kvl::logError(logger, "kvlmsg", 1, 51, text, file, kvl::prop("user", name));
#ifndef KAVEL_HPP
#define KAVEL_HPP

#include <string>
#include <tuple>
#include <type_traits>

#include "kavel.h"

namespace kvl {

// An event property: the value is stored under the name, not passed as a
// parameter.
template <class T>
struct Prop {
    const char *name;
    T value;
};
template <class T>
Prop<T> prop(const char *name, const T &value) {
    return {name, value};
}

// The event's level, given in the list.
struct Level {
    int value;
};
inline Level level(int value) { return {value}; }

namespace detail {

template <class T, class = void>
struct Marker;  // no marker for this type: the call does not compile

template <>
struct Marker<bool> {
    static auto entry(bool v) { return std::make_tuple(KVL_ARG_BOOLEAN, static_cast<int>(v)); }
};
template <>
struct Marker<char> {
    static auto entry(char v) { return std::make_tuple(KVL_ARG_CHAR, static_cast<int>(v)); }
};
template <>
struct Marker<int> {
    static auto entry(int v) { return std::make_tuple(KVL_ARG_INT, v); }
};
template <>
struct Marker<long> {
    static auto entry(long v) { return std::make_tuple(KVL_ARG_LONG, v); }
};
template <>
struct Marker<long long> {
    static_assert(sizeof(long long) == sizeof(long));
    static auto entry(long long v) { return std::make_tuple(KVL_ARG_LONG, static_cast<long>(v)); }
};
template <>
struct Marker<float> {
    static auto entry(float v) { return std::make_tuple(KVL_ARG_FLOAT, static_cast<double>(v)); }
};
template <>
struct Marker<double> {
    static auto entry(double v) { return std::make_tuple(KVL_ARG_DOUBLE, v); }
};
template <>
struct Marker<const char *> {
    static auto entry(const char *v) { return std::make_tuple(KVL_ARG_STRING, v); }
};
template <>
struct Marker<char *> {
    static auto entry(const char *v) { return std::make_tuple(KVL_ARG_STRING, v); }
};
template <>
struct Marker<std::string> {
    static auto entry(const std::string &v) { return std::make_tuple(KVL_ARG_STRING, v.c_str()); }
};

template <class T>
using Bare = std::remove_cv_t<std::remove_reference_t<std::decay_t<T>>>;

template <class T>
auto entryOf(const T &value) {
    return Marker<Bare<T>>::entry(value);
}
template <class T>
auto entryOf(const Prop<T> &p) {
    return std::tuple_cat(std::make_tuple(KVL_ARG_PROPERTY, p.name), entryOf(p.value));
}
inline auto entryOf(const Level &l) { return std::make_tuple(l.value); }

// The whole list, markers and terminator included, as one tuple.
template <class... Args>
auto typedList(const Args &...args) {
    return std::tuple_cat(entryOf(args)..., std::make_tuple(KVL_ARG_END));
}

using MessageCall = void (*)(KvlObject *, const char *, int32_t, int32_t, const char *, ...);
using DebugCall = void (*)(KvlObject *, const char *, const char *, int, const char *, ...);

template <class... Args>
inline void message(MessageCall call, int32_t level, KvlObject *logger, const char *catalog,
                    int32_t set, int32_t key, const char *text, const Args &...args) {
    if (!kvlGateAccepts(logger, level)) return;
    std::apply([&](auto... entries) { call(logger, catalog, set, key, text, entries...); },
               typedList(args...));
}

template <class... Args>
inline void debug(DebugCall call, int32_t level, KvlObject *logger, const char *file,
                  const char *function, int line, const char *format, const Args &...args) {
    if (!kvlGateAccepts(logger, level)) return;
    std::apply([&](auto... entries) { call(logger, file, function, line, format, entries...); },
               typedList(args...));
}

}  // namespace detail

#define KVL_HPP_MESSAGE(name, call, lvl)                                               \
    template <class... Args>                                                           \
    inline void name(KvlObject *logger, const char *catalog, int32_t set, int32_t key, \
                     const char *text, const Args &...args) {                          \
        detail::message(&call, lvl, logger, catalog, set, key, text, args...);         \
    }
KVL_HPP_MESSAGE(logMsg, KvlLogMsg, KVL_LEVEL_NONE)
KVL_HPP_MESSAGE(logInfo, KvlLogInfo, KVL_LEVEL_INFO)
KVL_HPP_MESSAGE(logWarn, KvlLogWarn, KVL_LEVEL_WARN)
KVL_HPP_MESSAGE(logError, KvlLogError, KVL_LEVEL_ERROR)
KVL_HPP_MESSAGE(logFatal, KvlLogFatal, KVL_LEVEL_FATAL)
#undef KVL_HPP_MESSAGE

#define KVL_HPP_DEBUG(name, call, lvl)                                                    \
    template <class... Args>                                                              \
    inline void name(KvlObject *logger, const char *file, const char *function, int line, \
                     const char *format, const Args &...args) {                           \
        detail::debug(&call, lvl, logger, file, function, line, format, args...);         \
    }
KVL_HPP_DEBUG(debugMin, KvlLogDebugMin, KVL_LEVEL_DEBUG_MIN)
KVL_HPP_DEBUG(debugMid, KvlLogDebugMid, KVL_LEVEL_DEBUG_MID)
KVL_HPP_DEBUG(debugMax, KvlLogDebugMax, KVL_LEVEL_DEBUG_MAX)
#undef KVL_HPP_DEBUG

template <class... Args>
inline void logText(KvlObject *logger, const char *format, const Args &...args) {
    if (!kvlGateAccepts(logger, KVL_LEVEL_NONE)) return;
    std::apply([&](auto... entries) { KvlLogText(logger, format, entries...); },
               detail::typedList(args...));
}

}  // namespace kvl

#endif  // KAVEL_HPP
