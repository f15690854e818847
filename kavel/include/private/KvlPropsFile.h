/*
 * The properties file reader, for the toolkit and for the tools that read
 * what the toolkit reads. One reader: what a checker says a file holds is
 * what opening the toolkit with it does. Each key/value pair goes to a
 * sink with the line its key starts on; a file the reader rejects stops at
 * the first fault, with its line and its reason (pairs delivered before it
 * stay delivered). C++ only.
 */
#ifndef KVL_PROPS_FILE_H
#define KVL_PROPS_FILE_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kvl {

enum class PropsError : uint8_t {
    kNone,
    kCannotOpen,      /* the file cannot be opened (errnum says why) */
    kCannotRead,      /* a read failed (errnum) */
    kSeparatorFirst,  /* "=" or ":" after blanks, before any key */
    kKeyWithoutValue, /* a key alone on a line that is not the last */
    kKeyEscape,       /* a backslash in a key before anything but a blank, "=", ":" or "\" */
    kValueEscape,     /* a backslash in a value that starts no escape */
    kHexDigit,        /* a "\u" escape without four hexadecimal digits */
    kNulEscape,       /* "\u0000", which would cut the value */
    kSurrogate,       /* a surrogate escape that is not a high and low pair */
    kNoDot,           /* a key without a ".": it names no configuration */
    kEmptyName,       /* a key whose configuration or property name is empty */
    kNoMemory,
};

/* The reason, as a clause ("a key without a \".\" ..."). */
std::string_view propsErrorText(PropsError error);

struct PropsPair {
    std::string_view key;
    std::string_view value;
    int32_t line; /* where the key starts, from 1 */
};

struct PropsFailure {
    PropsError error = PropsError::kNone;
    int32_t line = 0; /* where the reader stopped; 0 when no line was read */
    int errnum = 0;   /* kCannotOpen and kCannotRead */
    std::string key;  /* the key being read, when there was one */
};

/* The sink: kNone to read on, or the error that rejects the file. */
using PropsSink = std::function<PropsError(const PropsPair &)>;

/* Reads the file pair by pair: true when the whole file was read. */
bool readPropsFile(const char *path, const PropsSink &sink, PropsFailure &failure);

/* The log manager's split of a key at its last ".": kNone, kNoDot or
 * kEmptyName. */
PropsError splitConfigKey(std::string_view key, std::string_view &configuration,
                          std::string_view &property);

}  // namespace kvl

#endif /* KVL_PROPS_FILE_H */
