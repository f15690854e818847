// Typed properties: the text of a string map read and written as booleans,
// characters and numbers.
//
// Numbers are read with the C locale's rules through a locale_t made once
// (strtol_l and friends accept what "%d", "%lld" and "%f" read: leading
// white space, a sign, digits, anything after the number ignored) and
// written with std::to_chars, so a comma-decimal process locale changes
// neither: what a setter writes its getter reads back. Out-of-range numbers
// clamp to the type's range. Booleans fold ASCII case only.

#include <locale.h>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "KvlContainers.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

void setOk(unsigned char *ok, bool value) {
    if (ok != nullptr) *ok = value ? 1 : 0;
}

// Parses a number at the start of `text` with `parse`; 0 and not ok when
// no digits are there.
template <class T, class Parse>
T parseNumber(const char *text, unsigned char *ok, Parse parse) {
    if (text == nullptr) {
        setOk(ok, false);
        return T{};
    }
    char *end = nullptr;
    const T value = parse(text, &end);
    const bool read = end != nullptr && end != text;
    setOk(ok, read);
    return read ? value : T{};
}

// The text of a typed value; stores nothing when it cannot be made.
template <class T>
void setNumber(KvlStringToStringMap *map, const char *name, T value) {
    char text[400];  // the longest "%f" of a double is 317 characters
    std::to_chars_result result;
    if constexpr (std::is_floating_point_v<T>)
        result = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 6);
    else
        result = std::to_chars(text, text + sizeof text - 1, value);
    if (result.ec != std::errc()) return;
    *result.ptr = '\0';
    kvlIntlStringToStringMapPut(map, name, text);
}

template <class T, T (*convert)(const char *, unsigned char *)>
T getTyped(KvlStringToStringMap *map, const char *name, unsigned char *ok) {
    char *text = KvlGetMapProp(map, name, nullptr);
    const T value = convert(text, ok);
    OxsMemoryFree(text);
    return value;
}

}  // namespace

extern "C" {

int kvlPropStrToBool(const char *text, unsigned char *ok) noexcept {
    const bool isTrue = text != nullptr && OxsStringICmp(text, "true") == 0;
    const bool isFalse = text != nullptr && OxsStringICmp(text, "false") == 0;
    setOk(ok, isTrue || isFalse);
    return isTrue ? 1 : 0;
}

char kvlPropStrToChar(const char *text, unsigned char *ok) noexcept {
    setOk(ok, text != nullptr);
    return text != nullptr ? text[0] : 0;
}

int32_t kvlPropStrToInt32(const char *text, unsigned char *ok) noexcept {
    const long value = parseNumber<long>(
        text, ok, [](const char *t, char **end) { return strtol_l(t, end, 10, cLocale()); });
    return static_cast<int32_t>(value < INT32_MIN   ? INT32_MIN
                                : value > INT32_MAX ? INT32_MAX
                                                    : value);
}

int64_t kvlPropStrToInt64(const char *text, unsigned char *ok) noexcept {
    return parseNumber<long long>(
        text, ok, [](const char *t, char **end) { return strtoll_l(t, end, 10, cLocale()); });
}

float kvlPropStrToFloat32(const char *text, unsigned char *ok) noexcept {
    return parseNumber<float>(
        text, ok, [](const char *t, char **end) { return strtof_l(t, end, cLocale()); });
}

double kvlPropStrToFloat64(const char *text, unsigned char *ok) noexcept {
    return parseNumber<double>(
        text, ok, [](const char *t, char **end) { return strtod_l(t, end, cLocale()); });
}

char *KvlGetMapProp(KvlStringToStringMap *map, const char *name, unsigned char *found) noexcept {
    setOk(found, kvlIntlStringToStringMapHasKey(map, name) == 1);
    return kvlIntlStringToStringMapGet(map, name);
}

int KvlGetMapPropBool(KvlStringToStringMap *map, const char *name, unsigned char *ok) noexcept {
    return getTyped<int, kvlPropStrToBool>(map, name, ok);
}
char KvlGetMapPropChar(KvlStringToStringMap *map, const char *name, unsigned char *ok) noexcept {
    return getTyped<char, kvlPropStrToChar>(map, name, ok);
}
int32_t KvlGetMapPropInt(KvlStringToStringMap *map, const char *name, unsigned char *ok) noexcept {
    return getTyped<int32_t, kvlPropStrToInt32>(map, name, ok);
}
int64_t KvlGetMapPropLong(KvlStringToStringMap *map, const char *name, unsigned char *ok) noexcept {
    return getTyped<int64_t, kvlPropStrToInt64>(map, name, ok);
}
float KvlGetMapPropFloat(KvlStringToStringMap *map, const char *name, unsigned char *ok) noexcept {
    return getTyped<float, kvlPropStrToFloat32>(map, name, ok);
}
double KvlGetMapPropDouble(KvlStringToStringMap *map, const char *name,
                           unsigned char *ok) noexcept {
    return getTyped<double, kvlPropStrToFloat64>(map, name, ok);
}

void KvlSetMapProp(KvlStringToStringMap *map, const char *name, const char *value) noexcept {
    kvlIntlStringToStringMapPut(map, name, value);
}
void KvlSetMapPropBool(KvlStringToStringMap *map, const char *name, int value) noexcept {
    kvlIntlStringToStringMapPut(map, name, value == 1 ? "true" : "false");
}
void KvlSetMapPropChar(KvlStringToStringMap *map, const char *name, char value) noexcept {
    const char text[2] = {value, '\0'};
    kvlIntlStringToStringMapPut(map, name, text);
}
void KvlSetMapPropInt(KvlStringToStringMap *map, const char *name, int32_t value) noexcept {
    setNumber(map, name, value);
}
void KvlSetMapPropLong(KvlStringToStringMap *map, const char *name, int64_t value) noexcept {
    setNumber(map, name, value);
}
void KvlSetMapPropFloat(KvlStringToStringMap *map, const char *name, float value) noexcept {
    setNumber(map, name, static_cast<double>(value));
}
void KvlSetMapPropDouble(KvlStringToStringMap *map, const char *name, double value) noexcept {
    setNumber(map, name, value);
}

}  // extern "C"
