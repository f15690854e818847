/// @file
/// C++ helpers for the toolkit's logging calls (C++17 or later).
///
/// A logging call ends with a typed list: a marker before each value and a
/// closing 0. Written by hand, that is where calls go wrong (a size_t passed
/// as 502, a forgotten 0, a "%d" given a string). These helpers derive each
/// marker from the argument's C++ type at compile time (a type without a
/// marker does not compile, and the error names it), wrap event properties
/// and levels, always close the list, and test the logger's gate inline
/// before making the call, so a disabled call costs a load and a comparison.
/// From C++20 a format written as a literal is checked against its
/// arguments at compile time: a "%d" given a string, or a conversion without
/// an argument, does not compile (a format known only at run time is bound
/// as before).
///
///   kvl::traceMin(logger, "copied %s in %d ms", path, ms);   // the place is the caller's
///   kvl::debugMin(logger, __FILE__, __func__, __LINE__, "copied %s in %d ms", path, ms);
///   kvl::logError(logger, "kvlmsg", 1, 51, text, file, kvl::prop("user", name));
///
/// The trace helpers take the file, function and line of their call from
/// the compiler (GCC's and Clang's source-place built-ins, which name the
/// function as __func__ does, else std::source_location); the debug
/// helpers take them as given. A format kept in a char array rather than a
/// literal is passed as a pointer (buffer.data(), +buffer).
#ifndef KAVEL_HPP
#define KAVEL_HPP

#include "kavel.h"

static_assert(__cplusplus >= 201703L, "kavel.hpp needs C++17 or later (-std=c++17)");

#if __cplusplus >= 201703L

#include <cstddef>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <version>
#if !defined(__GNUC__) && defined(__cpp_lib_source_location)
#include <source_location>
#endif

// Clang 14 evaluates these checks soundly without announcing consteval.
#if __cplusplus >= 202002L && \
    (defined(__cpp_consteval) || (defined(__clang__) && __clang_major__ >= 14))
#define KVL_HPP_CHECKED_FORMATS 1
#define KVL_HPP_CONSTEVAL consteval
#else
#define KVL_HPP_CHECKED_FORMATS 0
#define KVL_HPP_CONSTEVAL constexpr
#endif

/// The toolkit's C++ helpers.
namespace kvl {

/// An event property: the value is stored under the name, not passed as a
/// parameter.
template <class T>
struct Prop {
    const char *name;  ///< the property's name
    T value;           ///< its value, of a type with a marker
};
/// An event property of that name and value, for a helper's list.
template <class T>
Prop<std::decay_t<const T &>> prop(const char *name, const T &value) {
    return {name, value};
}

/// The event's level, given in the list.
struct Level {
    int value;  ///< a KVL_LEVEL_* value
};
/// The event's level, for a helper's list (a message call's level).
inline Level level(int value) { return {value}; }

namespace detail {

// What an argument is to a format's conversion; properties and levels are
// no arguments.
enum class Kind { kNone, kInteger, kChar, kFloating, kString };

template <class T, class = void>
struct Marker {
    static_assert(sizeof(T) == 0,
                  "kvl: no marker for this argument type (named in the instantiation above): "
                  "pass a bool, a character, an integer, a floating-point number, a string "
                  "(const char *, std::string, std::string_view), kvl::prop or kvl::level");
};

template <>
struct Marker<bool> {
    static constexpr Kind kKind = Kind::kInteger;
    static auto entry(bool v) { return std::make_tuple(KVL_ARG_BOOLEAN, static_cast<int>(v)); }
};
template <>
struct Marker<char> {
    static constexpr Kind kKind = Kind::kChar;
    static auto entry(char v) { return std::make_tuple(KVL_ARG_CHAR, static_cast<int>(v)); }
};
// Every other integer: an int when an int holds every value of its type,
// else a long (an unsigned 64-bit value keeps its bits, and an unsigned
// conversion prints it whole).
template <class T>
struct Marker<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                  !std::is_same_v<T, char>>> {
    static_assert(sizeof(T) <= sizeof(long), "kvl: an integer wider than long has no marker");
    static constexpr Kind kKind = Kind::kInteger;
    static constexpr bool kInt =
        std::is_signed_v<T> ? sizeof(T) <= sizeof(int) : sizeof(T) < sizeof(int);
    static auto entry(T v) {
        if constexpr (kInt)
            return std::make_tuple(KVL_ARG_INT, static_cast<int>(v));
        else
            return std::make_tuple(KVL_ARG_LONG, static_cast<long>(v));
    }
};
template <>
struct Marker<float> {
    static constexpr Kind kKind = Kind::kFloating;
    static auto entry(float v) { return std::make_tuple(KVL_ARG_FLOAT, static_cast<double>(v)); }
};
template <class T>
struct Marker<T, std::enable_if_t<std::is_same_v<T, double> || std::is_same_v<T, long double>>> {
    static constexpr Kind kKind = Kind::kFloating;
    static auto entry(T v) { return std::make_tuple(KVL_ARG_DOUBLE, static_cast<double>(v)); }
};
template <class T>
struct Marker<T, std::enable_if_t<std::is_same_v<T, const char *> || std::is_same_v<T, char *>>> {
    static constexpr Kind kKind = Kind::kString;
    static auto entry(const char *v) { return std::make_tuple(KVL_ARG_STRING, v); }
};
template <>
struct Marker<std::string> {
    static constexpr Kind kKind = Kind::kString;
    static auto entry(const std::string &v) { return std::make_tuple(KVL_ARG_STRING, v.c_str()); }
};
// A view need not end in a NUL: the list holds a copy for the call.
template <>
struct Marker<std::string_view> {
    static constexpr Kind kKind = Kind::kString;
    static auto entry(std::string_view v) {
        return std::make_tuple(KVL_ARG_STRING, std::string(v));
    }
};

template <class T>
using Bare = std::remove_cv_t<std::remove_reference_t<std::decay_t<T>>>;

template <class T>
struct KindOf {
    static constexpr Kind kKind = Marker<Bare<T>>::kKind;
};
template <class T>
struct KindOf<Prop<T>> {
    static constexpr Kind kKind = Kind::kNone;
};
template <>
struct KindOf<Level> {
    static constexpr Kind kKind = Kind::kNone;
};

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

// What goes through the C call's "...": a copy the list holds, as its text.
template <class T>
const T &passed(const T &entry) {
    return entry;
}
inline const char *passed(const std::string &entry) { return entry.c_str(); }

// The format checks' verdicts: each is declared and never defined, so a
// format that fails one names it in the compiler's error.
void format_has_more_conversions_than_arguments();
void format_has_more_arguments_than_conversions();
void format_conversion_does_not_match_its_argument();
void format_conversion_is_not_bound_by_the_toolkit();
void format_mixes_numbered_and_unnumbered_conversions();

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isOneOf(char c, const char *set) {
    for (; *set != '\0'; ++set)
        if (c == *set) return true;
    return false;
}
constexpr bool fits(Kind argument, Kind conversion) {
    if (conversion == Kind::kInteger || conversion == Kind::kChar)
        return argument == Kind::kInteger || argument == Kind::kChar;
    return argument == conversion;
}

// Checks a printf format, as the toolkit binds it, against the kinds of
// its arguments (at most 62, as a list holds): flags, widths and precisions
// ("*" takes an integer), length modifiers, "%n$" positions, and the
// conversions d i o u x X c e E f F g G a A s; "%%" takes nothing.
KVL_HPP_CONSTEVAL void checkFormat(const char *p, const Kind *kinds, std::size_t count) {
    unsigned long long used = 0;
    std::size_t next = 0;
    bool numbered = false, unnumbered = false;
    const auto take = [&](std::size_t index, Kind conversion) {
        if (index >= count) format_has_more_conversions_than_arguments();
        if (!fits(kinds[index], conversion)) format_conversion_does_not_match_its_argument();
        used |= 1ull << index;
    };
    while (*p != '\0') {
        if (*p++ != '%') continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        std::size_t position = 0;
        const char *q = p;
        while (isDigit(*q))
            position = position * 10 + static_cast<std::size_t>(*q++ - '0');
        std::size_t index = next;
        if (*q == '$' && position > 0) {
            numbered = true;
            index = position - 1;
            p = q + 1;
        } else {
            unnumbered = true;
        }
        if (numbered && unnumbered) format_mixes_numbered_and_unnumbered_conversions();
        while (isOneOf(*p, "-+ #0'"))
            ++p;
        for (int part = 0; part < 2; ++part) {  // the width, then the precision
            if (part == 1) {
                if (*p != '.') break;
                ++p;
            }
            if (*p == '*') {
                if (numbered) format_conversion_is_not_bound_by_the_toolkit();
                take(next++, Kind::kInteger);
                index = next;
                ++p;
            }
            while (isDigit(*p))
                ++p;
        }
        bool wide = false;  // "%ls" and "%lc" take wide text, which no marker carries
        for (; isOneOf(*p, "hlLqjzt"); ++p)
            wide = wide || *p == 'l';
        const char conversion = *p == '\0' ? '\0' : *p++;
        Kind wanted = Kind::kNone;
        if (isOneOf(conversion, "diouxX")) wanted = Kind::kInteger;
        if (conversion == 'c' && !wide) wanted = Kind::kChar;
        if (isOneOf(conversion, "eEfFgGaA")) wanted = Kind::kFloating;
        if (conversion == 's' && !wide) wanted = Kind::kString;
        if (wanted == Kind::kNone) format_conversion_is_not_bound_by_the_toolkit();
        take(index, wanted);
        if (!numbered) next = index + 1;
    }
    for (std::size_t i = 0; i < count; ++i)
        if ((used & 1ull << i) == 0) format_has_more_arguments_than_conversions();
}

// The kinds of the arguments that are arguments: properties and levels
// stand in the list but take no conversion.
template <class... Args>
struct Kinds {
    Kind kinds[sizeof...(Args) + 1] = {};
    std::size_t count = 0;
    constexpr Kinds() {
        ((KindOf<Bare<Args>>::kKind != Kind::kNone ? kinds[count++] = KindOf<Bare<Args>>::kKind
                                                   : Kind::kNone),
         ...);
    }
};

template <class T>
struct NonDeduced {
    using Type = T;
};

}  // namespace detail

/// A format for `Args`: from C++20, a literal is checked against them when
/// the call is compiled; a pointer is taken as it is.
template <class... Args>
class Format {
public:
    /// A literal format, checked against `Args` where the compiler can.
    template <std::size_t N>
    KVL_HPP_CONSTEVAL Format(const char (&text)[N]) : text_(text) {
#if KVL_HPP_CHECKED_FORMATS
        constexpr detail::Kinds<Args...> kinds;
        detail::checkFormat(text, kinds.kinds, kinds.count);
#endif
    }
    template <class T, std::enable_if_t<
                           std::is_same_v<T, const char *> || std::is_same_v<T, char *>, int> = 0>
    /// A format known only at run time, bound as it is.
    constexpr Format(T text) : text_(text) {}
    /// The format's text.
    constexpr const char *text() const { return text_; }

private:
    const char *text_;
};

/// The parameter type of a format for `Args` (not deduced from it).
template <class... Args>
using FormatFor = typename detail::NonDeduced<Format<Args...>>::Type;

namespace detail {

using MessageCall = void (*)(KvlObject *, const char *, int32_t, int32_t, const char *, ...);
using DebugCall = void (*)(KvlObject *, const char *, const char *, int, const char *, ...);

template <class... Args>
inline void message(MessageCall call, int32_t level, KvlObject *logger, const char *catalog,
                    int32_t set, int32_t key, const char *text, const Args &...args) {
    if (!kvlGateAccepts(logger, level)) return;
    std::apply(
        [&](const auto &...entries) { call(logger, catalog, set, key, text, passed(entries)...); },
        typedList(args...));
}

template <class... Args>
inline void debug(DebugCall call, int32_t level, KvlObject *logger, const char *file,
                  const char *function, int line, const char *format, const Args &...args) {
    if (!kvlGateAccepts(logger, level)) return;
    std::apply(
        [&](const auto &...entries) {
            call(logger, file, function, line, format, passed(entries)...);
        },
        typedList(args...));
}

}  // namespace detail

#define KVL_HPP_MESSAGE(name, call, lvl)                                               \
    template <class... Args>                                                           \
    inline void name(KvlObject *logger, const char *catalog, int32_t set, int32_t key, \
                     FormatFor<Args...> text, const Args &...args) {                   \
        detail::message(&call, lvl, logger, catalog, set, key, text.text(), args...);  \
    }
/// @name Message calls
/// Each tests the logger's gate, then logs message `key` of `set` in
/// `catalog` (default text `text`) with the arguments as typed entries;
/// logMsg takes its level from a kvl::level argument.
///@{
/// Logs a message: see KvlLogMsg and its siblings.
KVL_HPP_MESSAGE(logMsg, KvlLogMsg, KVL_LEVEL_NONE)
KVL_HPP_MESSAGE(logInfo, KvlLogInfo, KVL_LEVEL_INFO)
KVL_HPP_MESSAGE(logWarn, KvlLogWarn, KVL_LEVEL_WARN)
KVL_HPP_MESSAGE(logError, KvlLogError, KVL_LEVEL_ERROR)
KVL_HPP_MESSAGE(logFatal, KvlLogFatal, KVL_LEVEL_FATAL)
///@}
#undef KVL_HPP_MESSAGE

#define KVL_HPP_DEBUG(name, call, lvl)                                                    \
    template <class... Args>                                                              \
    inline void name(KvlObject *logger, const char *file, const char *function, int line, \
                     FormatFor<Args...> format, const Args &...args) {                    \
        detail::debug(&call, lvl, logger, file, function, line, format.text(), args...);  \
    }
/// @name Debug calls with an explicit place
///@{
/// Tests the logger's gate, then logs the format with the arguments at the
/// call's level, with the source place given.
KVL_HPP_DEBUG(debugMin, KvlLogDebugMin, KVL_LEVEL_DEBUG_MIN)
KVL_HPP_DEBUG(debugMid, KvlLogDebugMid, KVL_LEVEL_DEBUG_MID)
KVL_HPP_DEBUG(debugMax, KvlLogDebugMax, KVL_LEVEL_DEBUG_MAX)
///@}
#undef KVL_HPP_DEBUG

/// Tests the logger's gate, then logs the format with the arguments.
template <class... Args>
inline void logText(KvlObject *logger, FormatFor<Args...> format, const Args &...args) {
    if (!kvlGateAccepts(logger, KVL_LEVEL_NONE)) return;
    std::apply(
        [&](const auto &...entries) {
            KvlLogText(logger, format.text(), detail::passed(entries)...);
        },
        detail::typedList(args...));
}

/// The place of a call: given as a default argument, the caller's.
struct Place {
    const char *file;      ///< the source file
    const char *function;  ///< the function, as __func__ names it
    int line;              ///< the line
#if defined(__GNUC__)
    /// The place this is called from (as a default argument: the caller's).
    static constexpr Place here(const char *file = __builtin_FILE(),
                                const char *function = __builtin_FUNCTION(),
                                int line = __builtin_LINE()) {
        return {file, function, line};
    }
#define KVL_HPP_HAVE_PLACE 1
#elif defined(__cpp_lib_source_location)
    /// The place this is called from (as a default argument: the caller's).
    static constexpr Place here(std::source_location where = std::source_location::current()) {
        return {where.file_name(), where.function_name(), static_cast<int>(where.line())};
    }
#define KVL_HPP_HAVE_PLACE 1
#endif
};

#if defined(KVL_HPP_HAVE_PLACE)
/// A format with the place of the call it is written in.
template <class... Args>
class Traced : public Format<Args...> {
public:
    /// A literal format and the place of the call it is written in.
    template <std::size_t N>
    KVL_HPP_CONSTEVAL Traced(const char (&text)[N], Place where = Place::here())
        : Format<Args...>(text), where_(where) {}
    template <class T, std::enable_if_t<
                           std::is_same_v<T, const char *> || std::is_same_v<T, char *>, int> = 0>
    /// A format known only at run time, and the call's place.
    constexpr Traced(T text, Place where = Place::here()) : Format<Args...>(text), where_(where) {}
    /// The call's place.
    constexpr const Place &where() const { return where_; }

private:
    Place where_;
};
/// The parameter type of a traced format for `Args` (not deduced from it).
template <class... Args>
using TracedFor = typename detail::NonDeduced<Traced<Args...>>::Type;

#define KVL_HPP_TRACE(name, call, lvl)                                                    \
    template <class... Args>                                                              \
    inline void name(KvlObject *logger, TracedFor<Args...> format, const Args &...args) { \
        detail::debug(&call, lvl, logger, format.where().file, format.where().function,   \
                      format.where().line, format.text(), args...);                       \
    }
/// @name Debug calls with the caller's place
///@{
/// Tests the logger's gate, then logs the format with the arguments at the
/// call's level, with the file, function and line of the call.
KVL_HPP_TRACE(traceMin, KvlLogDebugMin, KVL_LEVEL_DEBUG_MIN)
KVL_HPP_TRACE(traceMid, KvlLogDebugMid, KVL_LEVEL_DEBUG_MID)
KVL_HPP_TRACE(traceMax, KvlLogDebugMax, KVL_LEVEL_DEBUG_MAX)
///@}
#undef KVL_HPP_TRACE
#endif

}  // namespace kvl

#endif  // __cplusplus >= 201703L
#endif  // KAVEL_HPP
