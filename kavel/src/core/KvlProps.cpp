// Typed properties of string maps (and the conversions every owner's typed
// properties use): the text of a map read and written as booleans,
// characters and numbers.
//
// Numbers are read by the toolkit's one number reader (KvlNumberText.h):
// what "%d", "%lld" and "%f" read, with the C locale's rules, anything
// after the number ignored, out-of-range numbers held at the type's limit.
// Booleans fold ASCII case only.

#include <cstdint>

#include "KvlContainers.h"
#include "KvlNumberText.h"
#include "KvlTypedProps.h"
#include "OxsString.h"

namespace {

void setOk(unsigned char *ok, bool value) {
    if (ok != nullptr) *ok = value ? 1 : 0;
}

// A number at the start of `text`; 0 and not ok when there is none.
template <class T>
T leadingNumber(const char *text, unsigned char *ok) {
    T value{};
    setOk(ok, kvl::readNumber(text, value));
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
    return leadingNumber<int32_t>(text, ok);
}
int64_t kvlPropStrToInt64(const char *text, unsigned char *ok) noexcept {
    return leadingNumber<int64_t>(text, ok);
}
float kvlPropStrToFloat32(const char *text, unsigned char *ok) noexcept {
    return leadingNumber<float>(text, ok);
}
double kvlPropStrToFloat64(const char *text, unsigned char *ok) noexcept {
    return leadingNumber<double>(text, ok);
}

char *KvlGetMapProp(KvlStringToStringMap *map, const char *name, unsigned char *found) noexcept {
    setOk(found, kvlIntlStringToStringMapHasKey(map, name) == 1);
    return kvlIntlStringToStringMapGet(map, name);
}

void KvlSetMapProp(KvlStringToStringMap *map, const char *name, const char *value) noexcept {
    kvlIntlStringToStringMapPut(map, name, value);
}

// clang-format off (a list of macro uses; clang-format runs them together)
#define KVL_MAP_TYPED(Type, Name)                                                                \
    Type KvlGetMapProp##Name(KvlStringToStringMap *map, const char *name,                        \
                             unsigned char *ok) noexcept {                                       \
        return kvl::getTyped<kvl::Typed::k##Name>(                                               \
            [map](const char *key) { return KvlGetMapProp(map, key, nullptr); }, name, ok);      \
    }                                                                                            \
    void KvlSetMapProp##Name(KvlStringToStringMap *map, const char *name, Type value) noexcept { \
        kvl::setTyped<kvl::Typed::k##Name>(                                                      \
            [map](const char *key, const char *text) {                                           \
                kvlIntlStringToStringMapPut(map, key, text);                                     \
            },                                                                                   \
            name, value);                                                                        \
    }
KVL_TYPED_PROPERTY_TYPES(KVL_MAP_TYPED)
KVL_MAP_TYPED(char, Char)
#undef KVL_MAP_TYPED
// clang-format on

}  // extern "C"
