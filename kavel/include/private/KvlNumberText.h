/*
 * Numbers in text, read one way for the whole toolkit: property values,
 * the fields formatters show, the trailing number of a log file's name.
 *
 * Two forms. A property value is read as the C library's "%d", "%lld",
 * "%o" and "%f" read it: leading blanks, a sign, the number, whatever
 * follows ignored ("60000ms" is 60000), a number out of range held at the
 * type's limit, and the C locale's rules whatever the process's locale. A
 * record field must be the number and nothing else, and a number out of
 * range is no number. Integers are read digit by digit here, in bases up
 * to 10 (the record path reads several per record); fractions through
 * strtod_l with the C locale, the one reader that takes all "%f" takes.
 */
#ifndef KVL_NUMBER_TEXT_H
#define KVL_NUMBER_TEXT_H

#include <locale.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace kvl {

enum class NumberForm : uint8_t {
    kLeading, /* a property value: blanks, a sign, the number, anything after */
    kWhole,   /* a record field: the number alone, "-" its only sign */
};

struct NumberRule {
    NumberForm form = NumberForm::kLeading;
    int base = 10; /* 2 to 10 */
    /* kLeading: the number is at most this many characters, sign included,
     * after the blanks ("%4o" reads "07555" as 0755); 0: no limit. */
    int width = 0;
};

inline locale_t cNumberLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

/* The C locale's white space, as "%d" skips it. */
constexpr bool isNumberBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/* Whether the digits make a number past 64 bits (only more than 19 can). */
inline bool digitsOverflow(const char *digits, const char *end, unsigned base) {
    uint64_t magnitude = 0;
    for (; digits != end; ++digits)
        if (__builtin_mul_overflow(magnitude, base, &magnitude) ||
            __builtin_add_overflow(magnitude, unsigned(*digits - '0'), &magnitude))
            return true;
    return false;
}

/* The rule for a number a record field holds. */
inline constexpr NumberRule kFieldNumber{NumberForm::kWhole};

/* Reads the number `text` holds into `value`: false (value untouched) when
 * it holds none by the rule. */
template <class T>
bool readNumber(const char *text, T &value, NumberRule rule = {}) {
    if (text == nullptr) return false;
    const bool leading = rule.form == NumberForm::kLeading;
    const char *at = text;
    if (leading)
        while (isNumberBlank(*at))
            ++at;
    if constexpr (std::is_floating_point_v<T>) {
        char *stop = nullptr;
        T read{};
        if constexpr (std::is_same_v<T, float>)
            read = strtof_l(at, &stop, cNumberLocale());
        else
            read = static_cast<T>(strtod_l(at, &stop, cNumberLocale()));
        if (stop == at || (!leading && *stop != '\0')) return false;
        value = read;
        return true;
    } else {
        static_assert(std::is_integral_v<T> && std::is_signed_v<T>);
        // The width ends the number where it is given; otherwise the first
        // character that is no digit does (the terminator included).
        const char *end =
            leading && rule.width > 0 ? at + strnlen(at, static_cast<size_t>(rule.width)) : nullptr;
        bool negative = false;
        if (at != end && (*at == '-' || (leading && *at == '+'))) negative = *at++ == '-';
        const char *digits = at;
        uint64_t magnitude = 0;
        const auto base = static_cast<unsigned>(rule.base);
        for (; at != end; ++at) {
            const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
            if (digit >= base) break;
            magnitude = magnitude * base + digit;  // 19 digits cannot overflow
        }
        const bool overflow = at - digits > 19 && digitsOverflow(digits, at, base);
        if (at == digits || (!leading && *at != '\0')) return false;
        using Limits = std::numeric_limits<T>;
        const uint64_t limit = negative ? uint64_t(Limits::max()) + 1 : uint64_t(Limits::max());
        if (overflow || magnitude > limit) {
            if (!leading) return false;
            magnitude = limit;  // held at the limit, as strtol holds it
        }
        value = negative ? static_cast<T>(0 - magnitude) : static_cast<T>(magnitude);
        return true;
    }
}

}  // namespace kvl

#endif /* KVL_NUMBER_TEXT_H */
