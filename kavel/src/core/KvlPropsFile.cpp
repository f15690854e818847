// The properties file reader: a table-driven state machine that reads a
// file byte by byte and delivers each key/value pair to a sink: the log
// manager (key "a.b.level": property "level" of configuration "a.b"), a
// property list, or a tool that reads what the toolkit reads
// (KvlPropsFile.h).
//
// Lines are counted beside the machine, from the bytes as read: LF, CR and
// CR LF each end one line, so the line of a pair or a fault is the one an
// editor shows. A rejected file keeps the reason and the line of its fault.
//
// The file is read through a buffer; the machine still sees one byte at a
// time. Two end-of-line bytes in a row reach the machine as one (the
// previous byte is every byte read, skipped ones included, so CR LF CR LF
// is one line end too). Reading is not transactional: pairs delivered
// before an error stay. Beyond the original grammar, "\u0000" rejects the
// file (it would cut the value silently), a high surrogate escape must be
// followed by a low one and the two make one four-byte UTF-8 character, and
// a lone surrogate rejects the file.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "CxPropList.h"
#include "CxStringBuff.h"
#include "KvlObject.h"
#include "KvlPropsFile.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"

namespace {

enum State {
    kStartLine = 1,
    kStartLineBlanks,
    kCommentLine,
    kKeyChars,
    kKeyCharEscape,
    kKeyEndBlanksFirst,
    kKeyEndBlanksFinal,
    kValChars,
    kValEscape,
    kMultiLineVal,
    kUU0,
    kUU1,
    kUU2,
    kUU3,
    kDone,
    kError,
};

using kvl::PropsError;

struct Context {
    CxStringBuff key{};
    CxStringBuff value{};
    uint32_t code = 0;
    uint32_t highSurrogate = 0;  // a high surrogate escape waiting for its low half
    const kvl::PropsSink *sink = nullptr;
    int32_t line = 1;     // the line of the byte being read
    int32_t keyLine = 0;  // the line the current key started on
    PropsError error = PropsError::kNone;
};

// Records why the file is rejected.
int fail(Context &c, PropsError error) {
    c.error = error;
    return kError;
}

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isEndOfLine(int c) { return c == '\n' || c == '\r'; }
bool isSeparator(int c) { return c == '=' || c == ':'; }
bool isCommentStart(int c) { return c == '#' || c == '!'; }

int append(Context &c, CxStringBuff &buffer, int b, int next) {
    return CxStringBuffAppendChar(&buffer, static_cast<char>(b)) == 1
               ? next
               : fail(c, PropsError::kNoMemory);
}

// The first byte of a key.
int startKey(Context &c, int b) {
    c.keyLine = c.line;
    return append(c, c.key, b, kKeyChars);
}

const char *text(const CxStringBuff &buffer) { return buffer.data != nullptr ? buffer.data : ""; }

int kvlRdprHexConv(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Delivers the current pair; 1 on success.
int kvlRdprEmitCfg(Context &c) {
    // a high surrogate without its low half
    if (c.highSurrogate != 0) return fail(c, PropsError::kSurrogate), 0;
    const kvl::PropsPair pair{{c.key.data != nullptr ? c.key.data : "", c.key.length},
                              {c.value.data != nullptr ? c.value.data : "", c.value.length},
                              c.keyLine};
    c.error = (*c.sink)(pair);
    return c.error == PropsError::kNone ? 1 : 0;
}

int emitOr(Context &c, int next) { return kvlRdprEmitCfg(c) == 1 ? next : kError; }

int kvlRdprDoStartLineState(Context &c, int b) {
    CxStringBuffRestart(&c.key);
    CxStringBuffRestart(&c.value);
    if (isBlank(b)) return kStartLineBlanks;
    if (isCommentStart(b)) return kCommentLine;
    if (isEndOfLine(b)) return kStartLine;
    return startKey(c, b);
}

int kvlRdprDoStartLineBlanksState(Context &c, int b) {
    if (isBlank(b)) return kStartLineBlanks;
    if (isCommentStart(b)) return kCommentLine;
    if (isEndOfLine(b)) return kStartLine;
    if (isSeparator(b)) return fail(c, PropsError::kSeparatorFirst);
    return startKey(c, b);
}

int kvlRdprDoCommentLineState(Context &, int b) {
    return isEndOfLine(b) ? kStartLine : kCommentLine;
}

int kvlRdprDoKeyCharsState(Context &c, int b) {
    if (b == '\\') return kKeyCharEscape;
    if (isBlank(b)) return kKeyEndBlanksFirst;
    if (isSeparator(b)) return kKeyEndBlanksFinal;
    if (isEndOfLine(b)) return fail(c, PropsError::kKeyWithoutValue);
    return append(c, c.key, b, kKeyChars);
}

int kvlRdprDoKeyCharEscapeState(Context &c, int b) {
    if (b == '\\' || isBlank(b) || isSeparator(b)) return append(c, c.key, b, kKeyChars);
    return fail(c, PropsError::kKeyEscape);
}

int kvlRdprDoKeyEndBlanksFirstState(Context &c, int b) {
    if (isBlank(b)) return kKeyEndBlanksFirst;
    if (isSeparator(b)) return kKeyEndBlanksFinal;
    if (b == '\\') return kValEscape;
    if (isEndOfLine(b)) return fail(c, PropsError::kKeyWithoutValue);
    return append(c, c.value, b, kValChars);
}

int kvlRdprDoKeyEndBlanksFinalState(Context &c, int b) {
    if (isBlank(b)) return kKeyEndBlanksFinal;
    if (isEndOfLine(b)) return emitOr(c, kStartLine);
    if (b == '\\') return kValEscape;
    return append(c, c.value, b, kValChars);
}

int kvlRdprDoValCharsState(Context &c, int b) {
    if (b == '\\') return kValEscape;
    if (c.highSurrogate != 0)
        return fail(c, PropsError::kSurrogate);  // only the low half may follow
    if (isEndOfLine(b)) return emitOr(c, kStartLine);
    return append(c, c.value, b, kValChars);
}

int kvlRdprDoValEscapeState(Context &c, int b) {
    if (b == 'u' || b == 'U') {
        c.code = 0;
        return kUU0;
    }
    if (c.highSurrogate != 0) return fail(c, PropsError::kSurrogate);
    if (isBlank(b) || b == '"' || b == '\'' || b == '\\') return append(c, c.value, b, kValChars);
    if (isEndOfLine(b)) return kMultiLineVal;
    return fail(c, PropsError::kValueEscape);
}

int kvlRdprDoMultiLineValState(Context &c, int b) {
    if (b == '\\') return kValEscape;
    if (isBlank(b)) return kMultiLineVal;
    if (isEndOfLine(b)) return emitOr(c, kStartLine);
    return append(c, c.value, b, kValChars);
}

int hexDigit(Context &c, int b, uint32_t weight, int next) {
    const int d = kvlRdprHexConv(b);
    if (d < 0) return fail(c, PropsError::kHexDigit);
    c.code += static_cast<uint32_t>(d) * weight;
    return next;
}

int appendCode(Context &c, uint32_t code) {
    return CxStringBuffAppendUTF32Char(&c.value, static_cast<int32_t>(code)) == 1
               ? kValChars
               : fail(c, PropsError::kNoMemory);
}

int kvlRdprDoUU0State(Context &c, int b) { return hexDigit(c, b, 4096, kUU1); }
int kvlRdprDoUU1State(Context &c, int b) { return hexDigit(c, b, 256, kUU2); }
int kvlRdprDoUU2State(Context &c, int b) { return hexDigit(c, b, 16, kUU3); }

int kvlRdprDoUU3State(Context &c, int b) {
    if (hexDigit(c, b, 1, kValChars) == kError) return kError;
    const uint32_t code = c.code;
    if (code == 0) return fail(c, PropsError::kNulEscape);  // would cut the value
    if (c.highSurrogate != 0) {
        if (code < 0xDC00 || code > 0xDFFF) return fail(c, PropsError::kSurrogate);
        const uint32_t joined = 0x10000 + ((c.highSurrogate - 0xD800) << 10) + (code - 0xDC00);
        c.highSurrogate = 0;
        return appendCode(c, joined);
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
        c.highSurrogate = code;
        return kValChars;
    }
    if (code >= 0xDC00 && code <= 0xDFFF)
        return fail(c, PropsError::kSurrogate);  // a lone low half
    return appendCode(c, code);
}

using Handler = int (*)(Context &, int);
const Handler kHandlers[] = {
    nullptr,
    kvlRdprDoStartLineState,
    kvlRdprDoStartLineBlanksState,
    kvlRdprDoCommentLineState,
    kvlRdprDoKeyCharsState,
    kvlRdprDoKeyCharEscapeState,
    kvlRdprDoKeyEndBlanksFirstState,
    kvlRdprDoKeyEndBlanksFinalState,
    kvlRdprDoValCharsState,
    kvlRdprDoValEscapeState,
    kvlRdprDoMultiLineValState,
    kvlRdprDoUU0State,
    kvlRdprDoUU1State,
    kvlRdprDoUU2State,
    kvlRdprDoUU3State,
};

}  // namespace

namespace kvl {

std::string_view propsErrorText(PropsError error) {
    switch (error) {
        case PropsError::kNone:
            return "";
        case PropsError::kCannotOpen:
            return "the file cannot be opened";
        case PropsError::kCannotRead:
            return "the file cannot be read";
        case PropsError::kSeparatorFirst:
            return "a line starts with \"=\" or \":\" before any key";
        case PropsError::kKeyWithoutValue:
            return "a key is alone on its line: a key ends at a blank, \"=\" or \":\" and "
                   "cannot continue on the next line";
        case PropsError::kKeyEscape:
            return "a backslash in a key escapes only a blank, \"=\", \":\" or a backslash";
        case PropsError::kValueEscape:
            return "a backslash in a value starts no escape (only a blank, a quote, a "
                   "backslash, a line end or \\uXXXX may follow it)";
        case PropsError::kHexDigit:
            return "a \\u escape needs four hexadecimal digits";
        case PropsError::kNulEscape:
            return "\\u0000 would cut the value";
        case PropsError::kSurrogate:
            return "a surrogate escape must be a high half followed at once by a low half";
        case PropsError::kNoDot:
            return "the key has no \".\": a key is a configuration name, a \".\" and a "
                   "property name";
        case PropsError::kEmptyName:
            return "the key's configuration or property name is empty";
        case PropsError::kNoMemory:
            return "out of memory";
    }
    return "";
}

PropsError splitConfigKey(std::string_view key, std::string_view &configuration,
                          std::string_view &property) {
    const size_t dot = key.rfind('.');
    if (dot == std::string_view::npos) return PropsError::kNoDot;
    configuration = key.substr(0, dot);
    property = key.substr(dot + 1);
    return configuration.empty() || property.empty() ? PropsError::kEmptyName : PropsError::kNone;
}

bool readPropsFile(const char *path, const PropsSink &sink, PropsFailure &failure) {
    failure = PropsFailure{};
    if (path == nullptr) {
        failure.error = PropsError::kCannotOpen;
        failure.errnum = EINVAL;
        return false;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failure.error = PropsError::kCannotOpen;
        failure.errnum = errno;
        return false;
    }
    Context c;
    c.sink = &sink;
    int state = kStartLine;
    int previous = 0;
    char buffer[4096];
    ssize_t got = 0, at = 0;
    while (state >= kStartLine && state <= kUU3) {
        if (at == got) {
            do
                got = read(fd, buffer, sizeof buffer);
            while (got < 0 && errno == EINTR);
            at = 0;
            if (got < 0) {
                failure.errnum = errno;
                c.error = PropsError::kCannotRead;
                state = kError;
                break;
            }
            if (got == 0) {  // end of file: a pending key goes with what its value has
                state = CxStringBuffPeekStr(&c.key) == nullptr || c.key.length == 0 ||
                                kvlRdprEmitCfg(c) == 1
                            ? kDone
                            : kError;
                break;
            }
        }
        const int byte = static_cast<unsigned char>(buffer[at++]);
        const bool skip = isEndOfLine(previous) && isEndOfLine(byte);
        const bool crlf = previous == '\r' && byte == '\n';
        previous = byte;
        if (!skip) state = kHandlers[state](c, byte);
        if (isEndOfLine(byte) && !crlf && state != kError) ++c.line;
    }
    if (state != kDone) {
        failure.error = c.error != PropsError::kNone ? c.error : PropsError::kNoMemory;
        failure.line = c.line;
        failure.key = text(c.key);
    }
    CxStringBuffDiscard(&c.key);
    CxStringBuffDiscard(&c.value);
    close(fd);
    return state == kDone;
}

}  // namespace kvl

namespace {

// The toolkit's reading: a failure is reported as it always was (the
// platform error through the error logger, a bad escape on stderr).
int readForToolkit(const char *path, const kvl::PropsSink &sink) {
    kvl::PropsFailure failure;
    if (kvl::readPropsFile(path, sink, failure)) return 1;
    if (failure.error == PropsError::kCannotOpen || failure.error == PropsError::kCannotRead)
        KvlReportPlatformErr(cxPlatformFail(failure.errnum));
    else if (failure.error == PropsError::kValueEscape)
        kvlToolkitPrintOnStderr(kvlmsg::KVL0052E, failure.key.c_str());
    return 0;
}

PropsError toLogManager(const kvl::PropsPair &pair) {
    std::string_view configuration, property;
    const PropsError split = kvl::splitConfigKey(pair.key, configuration, property);
    if (split != PropsError::kNone) return split;
    const std::string name(configuration), key(property), value(pair.value);
    return kvlLogMgrAddCfgFromFile(name.c_str(), key.c_str(), value.c_str()) == 1
               ? PropsError::kNone
               : PropsError::kNoMemory;
}

}  // namespace

extern "C" {

int kvlDoReadProps(const char *path, CxPropList *list) noexcept {
    if (path == nullptr) return 0;
    if (list == nullptr) return readForToolkit(path, toLogManager);
    return readForToolkit(path, [list](const kvl::PropsPair &pair) {
        const std::string key(pair.key), value(pair.value);
        return CxPropListPutStr(list, key.c_str(), value.c_str()) == 1 ? PropsError::kNone
                                                                       : PropsError::kNoMemory;
    });
}

int KvlLogMgrReadProps(const char *fileName) noexcept { return kvlDoReadProps(fileName, nullptr); }

int CxPropListRead(const char *path, CxPropList *list) {
    KvlApiLock lock;
    return lock && list != nullptr ? kvlDoReadProps(path, list) : 0;
}

}  // extern "C"
