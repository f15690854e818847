/*
 * Typed properties, one implementation for every owner of properties
 * (string maps, events, objects, configurations). A typed getter takes the
 * owner's text and converts it; a typed setter makes the value's text and
 * stores that, so the owner sees a text property like any other (an object
 * tells its class). Numbers are read by the toolkit's one number reader
 * and written with std::to_chars: what a setter writes its getter reads
 * back, in any process locale. C++ only.
 */
#ifndef KVL_TYPED_PROPS_H
#define KVL_TYPED_PROPS_H

#include <charconv>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "KvlContainers.h"
#include "OxsMemory.h"

/* The typed property functions' value types and name suffixes. */
#define KVL_TYPED_PROPERTY_TYPES(X) \
    X(int, Bool)                    \
    X(int32_t, Int)                 \
    X(int64_t, Long)                \
    X(float, Float)                 \
    X(double, Double)

namespace kvl {

/* The text of a typed value (the longest "%f" of a double is 317
 * characters). */
struct PropertyText {
    char text[400];
};

enum class Typed : uint8_t { kBool, kChar, kInt, kLong, kFloat, kDouble };

template <Typed K>
struct TypedTraits;
template <>
struct TypedTraits<Typed::kBool> {
    using Type = int;
    static Type fromText(const char *text, unsigned char *ok) { return kvlPropStrToBool(text, ok); }
    static bool toText(Type value, PropertyText &out) {
        std::strcpy(out.text, value == 1 ? "true" : "false");
        return true;
    }
};
template <>
struct TypedTraits<Typed::kChar> {
    using Type = char;
    static Type fromText(const char *text, unsigned char *ok) { return kvlPropStrToChar(text, ok); }
    static bool toText(Type value, PropertyText &out) {
        out.text[0] = value;
        out.text[1] = '\0';
        return true;
    }
};

/* Numbers: decimal integers, fractions with six decimals ("%f"). */
template <class T>
bool numberText(T value, PropertyText &out) {
    char *const last = out.text + sizeof out.text - 1;
    std::to_chars_result made;
    if constexpr (std::is_floating_point_v<T>)
        made =
            std::to_chars(out.text, last, static_cast<double>(value), std::chars_format::fixed, 6);
    else
        made = std::to_chars(out.text, last, value);
    if (made.ec != std::errc()) return false;
    *made.ptr = '\0';
    return true;
}
#define KVL_NUMBER_TRAITS(Kind, T, Convert)                                                     \
    template <>                                                                                 \
    struct TypedTraits<Typed::Kind> {                                                           \
        using Type = T;                                                                         \
        static Type fromText(const char *text, unsigned char *ok) { return Convert(text, ok); } \
        static bool toText(Type value, PropertyText &out) { return numberText(value, out); }    \
    };
KVL_NUMBER_TRAITS(kInt, int32_t, kvlPropStrToInt32)
KVL_NUMBER_TRAITS(kLong, int64_t, kvlPropStrToInt64)
KVL_NUMBER_TRAITS(kFloat, float, kvlPropStrToFloat32)
KVL_NUMBER_TRAITS(kDouble, double, kvlPropStrToFloat64)
#undef KVL_NUMBER_TRAITS

/* `read(name)` hands out a copy of the owner's text (null when absent or
 * unreachable); `ok` (may be null) tells whether it converted. */
template <Typed K, class Read>
typename TypedTraits<K>::Type getTyped(Read read, const char *name, unsigned char *ok) {
    char *text = read(name);
    const auto value = TypedTraits<K>::fromText(text, ok);
    OxsMemoryFree(text);
    return value;
}

/* `write(name, text)` stores the text; nothing is stored when the text
 * cannot be made. */
template <Typed K, class Write>
void setTyped(Write write, const char *name, typename TypedTraits<K>::Type value) {
    PropertyText text;
    if (TypedTraits<K>::toText(value, text)) write(name, text.text);
}

}  // namespace kvl

#endif /* KVL_TYPED_PROPS_H */
