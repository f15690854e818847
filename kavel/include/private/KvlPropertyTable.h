/*
 * Property tables: every toolkit class describes the properties it reads in
 * one table (name, kind, default, what an absent property means, whether a
 * change closes the output, the words of an enumeration) beside the code
 * that applies each one. A class's configuration-change operation hands
 * the changed name to `configure`, which finds the entry (in the class's
 * table, then in its base classes' tables), reads the value by its kind
 * and calls the entry's apply; a checker of properties files reads the
 * same tables. A name no table holds changes nothing. C++ only.
 */
#ifndef KVL_PROPERTY_TABLE_H
#define KVL_PROPERTY_TABLE_H

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "kavel.h"

namespace kvl {

enum class PropertyKind : uint8_t {
    kString,      /* any text */
    kInteger,     /* a 32-bit decimal number, as "%d" reads it */
    kLong,        /* a 64-bit decimal number, as "%lld" reads it */
    kFraction,    /* a decimal fraction, as "%f" reads it */
    kBoolean,     /* "true" or "false", any case */
    kPermission,  /* mode bits: up to four octal digits, as "%4o" reads them */
    kLevel,       /* a level word or number */
    kCodeset,     /* a codeset name */
    kLocale,      /* a locale name */
    kList,        /* names separated by blanks */
    kObject,      /* the name of another object */
    kEnumeration, /* one of the entry's words */
};

enum class WhenAbsent : uint8_t {
    kKeeps,   /* nothing changes */
    kDefault, /* the entry's default applies */
    kClears,  /* the setting goes (apply sees no text) */
};

enum class Closes : uint8_t {
    kNo,
    kYes,         /* a change closes the handler's output first */
    kWhenPresent, /* only a change to a present value does */
};

/* A property's value read by its kind. */
struct PropertyValue {
    const char *text = nullptr; /* null: absent, and no default applies */
    bool readable = false;      /* the text reads as the kind */
    int64_t integer = 0; /* integer kinds, level, boolean (1/0), enumeration (the word's index) */
    double fraction = 0; /* kFraction */
};

struct PropertyDef {
    std::string_view name;
    PropertyKind kind;
    /* The value an absent property stands for (kDefault), or the value an
     * object starts with (kKeeps); "" when there is none. */
    std::string_view defaultText;
    WhenAbsent whenAbsent;
    Closes closes;
    /* Applies the value to the object; null for a property read elsewhere
     * (an object's class name is read when the object is made). */
    void (*apply)(KvlObject *object, const PropertyValue &value);
    /* kEnumeration: the words, in any case unless `exactCase`. */
    std::span<const std::string_view> words = {};
    bool exactCase = false;
};

struct PropertyTable {
    std::span<const PropertyDef> properties;
    const PropertyTable *base; /* searched after this one; null: none */
};

/* The entry for `name` in the table or its bases; null when none. */
const PropertyDef *findProperty(const PropertyTable &table, std::string_view name);

/* Reads `text` (null: absent) by the entry's kind. */
PropertyValue readProperty(const PropertyDef &def, const char *text);

/* The body of a configuration-change operation: applies property `name`
 * of the object by the table's entry for it. */
void configure(KvlObject *object, const char *name, const PropertyTable &table);

/* The decimal text of a number, made at compile time, for a default that
 * is a constant of the code. */
template <int64_t N>
constexpr auto decimalText() {
    std::array<char, 21> text{};
    int64_t rest = N < 0 ? -N : N;
    size_t length = 0;
    do {
        text[length++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (N < 0) text[length++] = '-';
    for (size_t i = 0; i < length / 2; ++i) {
        const char c = text[i];
        text[i] = text[length - 1 - i];
        text[length - 1 - i] = c;
    }
    return text;
}
template <int64_t N>
inline constexpr auto kDecimalText = decimalText<N>();

/* The tables of the toolkit's classes, each in its class's module. */
extern const PropertyTable kObjectProperties;   /* every class's common properties */
extern const PropertyTable kLoggerProperties;   /* loggers and the level filter */
extern const PropertyTable kPDLoggerProperties; /* the problem-determination logger */
extern const PropertyTable kMsgIdFilterProperties;
extern const PropertyTable kHandlerProperties; /* every handler */
extern const PropertyTable kFileHandlerProperties;
extern const PropertyTable kAsyncHandlerProperties;
extern const PropertyTable kFormatterProperties; /* the basic formatter */
extern const PropertyTable kXmlFormatterProperties;
extern const PropertyTable kNoProperties; /* a class that reads none (the trace formatter) */
extern const PropertyTable kFFDCTriggerProperties;
extern const PropertyTable kFileCopyProperties;

}  // namespace kvl

#endif /* KVL_PROPERTY_TABLE_H */
