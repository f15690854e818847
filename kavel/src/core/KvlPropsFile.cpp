// The properties file reader: a table-driven state machine that reads a
// file byte by byte and delivers each key/value pair to the log manager
// (key "a.b.level": property "level" of configuration "a.b") or to a
// property list.
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

struct Context {
    CxStringBuff key{};
    CxStringBuff value{};
    uint32_t code = 0;
    uint32_t highSurrogate = 0;  // a high surrogate escape waiting for its low half
    CxPropList *list = nullptr;
};

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isEndOfLine(int c) { return c == '\n' || c == '\r'; }
bool isSeparator(int c) { return c == '=' || c == ':'; }
bool isCommentStart(int c) { return c == '#' || c == '!'; }

int append(CxStringBuff &buffer, int c, int next) {
    return CxStringBuffAppendChar(&buffer, static_cast<char>(c)) == 1 ? next : kError;
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
    if (c.highSurrogate != 0) return 0;  // a high surrogate without its low half
    if (c.list != nullptr) return CxPropListPutStr(c.list, text(c.key), text(c.value));
    std::string key = text(c.key);
    const size_t dot = key.rfind('.');
    if (dot == std::string::npos) return 0;
    return kvlLogMgrAddCfgFromFile(key.substr(0, dot).c_str(), key.c_str() + dot + 1,
                                   text(c.value));
}

int emitOr(Context &c, int next) { return kvlRdprEmitCfg(c) == 1 ? next : kError; }

int kvlRdprDoStartLineState(Context &c, int b) {
    CxStringBuffRestart(&c.key);
    CxStringBuffRestart(&c.value);
    if (isBlank(b)) return kStartLineBlanks;
    if (isCommentStart(b)) return kCommentLine;
    if (isEndOfLine(b)) return kStartLine;
    return append(c.key, b, kKeyChars);
}

int kvlRdprDoStartLineBlanksState(Context &c, int b) {
    if (isBlank(b)) return kStartLineBlanks;
    if (isCommentStart(b)) return kCommentLine;
    if (isEndOfLine(b)) return kStartLine;
    if (isSeparator(b)) return kError;
    return append(c.key, b, kKeyChars);
}

int kvlRdprDoCommentLineState(Context &, int b) {
    return isEndOfLine(b) ? kStartLine : kCommentLine;
}

int kvlRdprDoKeyCharsState(Context &c, int b) {
    if (b == '\\') return kKeyCharEscape;
    if (isBlank(b)) return kKeyEndBlanksFirst;
    if (isSeparator(b)) return kKeyEndBlanksFinal;
    if (isEndOfLine(b)) return kError;
    return append(c.key, b, kKeyChars);
}

int kvlRdprDoKeyCharEscapeState(Context &c, int b) {
    if (b == '\\' || isBlank(b) || isSeparator(b)) return append(c.key, b, kKeyChars);
    return kError;
}

int kvlRdprDoKeyEndBlanksFirstState(Context &c, int b) {
    if (isBlank(b)) return kKeyEndBlanksFirst;
    if (isSeparator(b)) return kKeyEndBlanksFinal;
    if (b == '\\') return kValEscape;
    if (isEndOfLine(b)) return kError;
    return append(c.value, b, kValChars);
}

int kvlRdprDoKeyEndBlanksFinalState(Context &c, int b) {
    if (isBlank(b)) return kKeyEndBlanksFinal;
    if (isEndOfLine(b)) return emitOr(c, kStartLine);
    if (b == '\\') return kValEscape;
    return append(c.value, b, kValChars);
}

int kvlRdprDoValCharsState(Context &c, int b) {
    if (b == '\\') return kValEscape;
    if (c.highSurrogate != 0) return kError;  // only the low half may follow
    if (isEndOfLine(b)) return emitOr(c, kStartLine);
    return append(c.value, b, kValChars);
}

int kvlRdprDoValEscapeState(Context &c, int b) {
    if (b == 'u' || b == 'U') {
        c.code = 0;
        return kUU0;
    }
    if (c.highSurrogate != 0) return kError;
    if (isBlank(b) || b == '"' || b == '\'' || b == '\\') return append(c.value, b, kValChars);
    if (isEndOfLine(b)) return kMultiLineVal;
    kvlToolkitPrintOnStderr(kvlmsg::KVL0052E, text(c.key));
    return kError;
}

int kvlRdprDoMultiLineValState(Context &c, int b) {
    if (b == '\\') return kValEscape;
    if (isBlank(b)) return kMultiLineVal;
    if (isEndOfLine(b)) return emitOr(c, kStartLine);
    return append(c.value, b, kValChars);
}

int hexDigit(Context &c, int b, uint32_t weight, int next) {
    const int d = kvlRdprHexConv(b);
    if (d < 0) return kError;
    c.code += static_cast<uint32_t>(d) * weight;
    return next;
}

int kvlRdprDoUU0State(Context &c, int b) { return hexDigit(c, b, 4096, kUU1); }
int kvlRdprDoUU1State(Context &c, int b) { return hexDigit(c, b, 256, kUU2); }
int kvlRdprDoUU2State(Context &c, int b) { return hexDigit(c, b, 16, kUU3); }

int kvlRdprDoUU3State(Context &c, int b) {
    if (hexDigit(c, b, 1, kValChars) == kError) return kError;
    const uint32_t code = c.code;
    if (code == 0) return kError;  // would cut the value
    if (c.highSurrogate != 0) {
        if (code < 0xDC00 || code > 0xDFFF) return kError;
        const uint32_t joined = 0x10000 + ((c.highSurrogate - 0xD800) << 10) + (code - 0xDC00);
        c.highSurrogate = 0;
        return CxStringBuffAppendUTF32Char(&c.value, static_cast<int32_t>(joined)) == 1 ? kValChars
                                                                                        : kError;
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
        c.highSurrogate = code;
        return kValChars;
    }
    if (code >= 0xDC00 && code <= 0xDFFF) return kError;  // a lone low surrogate
    return CxStringBuffAppendUTF32Char(&c.value, static_cast<int32_t>(code)) == 1 ? kValChars
                                                                                  : kError;
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

extern "C" {

int kvlDoReadProps(const char *path, CxPropList *list) noexcept {
    if (path == nullptr) return 0;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        KvlReportPlatformErr(cxPlatformFail(errno));
        return 0;
    }
    Context c;
    c.list = list;
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
                KvlReportPlatformErr(cxPlatformFail(errno));
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
        previous = byte;
        if (!skip) state = kHandlers[state](c, byte);
    }
    CxStringBuffDiscard(&c.key);
    CxStringBuffDiscard(&c.value);
    if (close(fd) != 0) KvlReportPlatformErr(cxPlatformFail(errno));
    return state == kDone ? 1 : 0;
}

int KvlLogMgrReadProps(const char *fileName) noexcept { return kvlDoReadProps(fileName, nullptr); }

int CxPropListRead(const char *path, CxPropList *list) {
    KvlApiLock lock;
    return lock && list != nullptr ? kvlDoReadProps(path, list) : 0;
}

}  // extern "C"
