// The trace formatter ("kvl_zemtraceformatter"): one compact line per
// event, fields joined by " - " and kept even when empty, so a reader can
// split every line the same way:
//
//   \x1e[date] - level - host - pPID:tTID - file:function(line) - id - text\n
//
// The level word is five characters wide; FATAL shows as "ERROR". The date
// is the basic formatter's built-in form (the class has no configuration
// change, so no "dateTimeFormat" or "locale" ever reaches it). The host is
// the "server" property up to its first dot; ids are unsigned decimals of
// 64-bit values.

#include <cstring>
#include <string>

#include "CxZMSID.h"
#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "OxsMemory.h"

namespace {

constexpr const char *kSeparator = " - ";

const char *levelWord(int32_t level) {
    switch (level) {
        case KVL_LEVEL_DEBUG_MAX:
            return " MAX ";
        case KVL_LEVEL_DEBUG_MID:
            return " MID ";
        case KVL_LEVEL_DEBUG_MIN:
            return " MIN ";
        case KVL_LEVEL_INFO:
            return "INFO ";
        case KVL_LEVEL_WARN:
            return "WARN ";
        case KVL_LEVEL_ERROR:
        case KVL_LEVEL_FATAL:
            return "ERROR";
        default:
            return "OTHER";
    }
}

// A string property of the event, owned by the caller (null when absent).
struct OwnedProp {
    char *text = nullptr;
    OwnedProp(KvlEvent *event, const char *name) {
        unsigned char found = 0;
        text = KvlGetEventProp(event, name, &found);
        if (found == 0) {
            OxsMemoryFree(text);
            text = nullptr;
        }
    }
    ~OwnedProp() { OxsMemoryFree(text); }
    OwnedProp(const OwnedProp &) = delete;
    OwnedProp &operator=(const OwnedProp &) = delete;
};

void appendHost(KvlEvent *event, std::string &line) {
    const OwnedProp server(event, "server");
    if (server.text == nullptr) return;
    line.append(server.text, std::strcspn(server.text, "."));
}

void appendIds(KvlEvent *event, std::string &line) {
    unsigned char hasProcess = 0, hasThread = 0;
    const int64_t process = KvlGetEventPropLong(event, "processId", &hasProcess);
    const int64_t thread = KvlGetEventPropLong(event, "threadId", &hasThread);
    if (hasProcess != 0) {
        line += 'p';
        kvl::appendDecimal(line, static_cast<uint64_t>(process));
    }
    if (hasProcess != 0 && hasThread != 0) line += ':';
    if (hasThread != 0) {
        line += 't';
        kvl::appendDecimal(line, static_cast<uint64_t>(thread));
    }
}

void appendSource(KvlEvent *event, std::string &line) {
    const OwnedProp file(event, KVL_PROP_SRCFILE);
    const OwnedProp function(event, KVL_PROP_SRCFUNCTION);
    if (file.text != nullptr) line += file.text;
    if (file.text != nullptr && function.text != nullptr) line += ':';
    if (function.text != nullptr) line += function.text;
    unsigned char hasLine = 0;
    const int32_t number = KvlGetEventPropInt(event, KVL_PROP_SRCLINE, &hasLine);
    if (hasLine != 0) {
        line += '(';
        kvl::appendDecimal(line, static_cast<int64_t>(number));
        line += ')';
    }
}

}  // namespace

extern "C" {

char *KvlZemTraceFormatterFFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    if (formatter == nullptr || event == nullptr) return nullptr;
    std::string &line = kvl::recordBuffer();
    line += '\x1e';
    line += '[';
    kvl::appendDate(formatter, KvlGetEventTime(event), line);
    line += ']';
    line += kSeparator;
    line += levelWord(KvlGetEventLevel(event));
    line += kSeparator;
    appendHost(event, line);
    line += kSeparator;
    appendIds(event, line);
    line += kSeparator;
    appendSource(event, line);
    line += kSeparator;
    if (formatter->locale != nullptr) kvlSetEventLocale(event, formatter->locale);
    char *text = KvlBindEventMsg(event, kvlIntlBindI18Msg);
    char *id = event->messageId != nullptr ? nullptr : kvlPDXMLGetMessageID(text);
    const char *shownId = event->messageId != nullptr ? event->messageId : id;
    if (shownId != nullptr) line += shownId;
    line += kSeparator;
    if (text != nullptr) line += text;
    line += '\n';
    OxsMemoryFree(id);
    OxsMemoryFree(text);
    return kvl::handOut(line);
}

}  // extern "C"
