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
#include <string_view>

#include "CxZMSID.h"
#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlLevels.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "OxsMemory.h"

namespace {

constexpr std::string_view kSeparator = " - ";

// The level word centred in five characters, the odd blank on the right.
void appendLevel(std::string &line, int32_t level) {
    const std::string_view word = kvl::shownLevel(level);
    const size_t left = (5 - word.size()) / 2;
    line.append(left, ' ');
    line += word;
    line.append(5 - word.size() - left, ' ');
}

// The event properties a trace line shows.
enum Field { kServer, kProcess, kThread, kFile, kFunction, kLine, kFieldCount };
constexpr std::string_view kFields[kFieldCount] = {
    "server", "processId", "threadId", KVL_PROP_SRCFILE, KVL_PROP_SRCFUNCTION, KVL_PROP_SRCLINE};
using Fields = const char *[kFieldCount];

void appendHost(const Fields &fields, std::string &line) {
    if (const char *server = fields[kServer]) line.append(server, std::strcspn(server, "."));
}

void appendIds(const Fields &fields, std::string &line) {
    int64_t process = 0, thread = 0;
    const bool hasProcess = kvl::readNumber(fields[kProcess], process, kvl::kFieldNumber);
    const bool hasThread = kvl::readNumber(fields[kThread], thread, kvl::kFieldNumber);
    if (hasProcess) {
        line += 'p';
        kvl::appendDecimal(line, static_cast<uint64_t>(process));
    }
    if (hasProcess && hasThread) line += ':';
    if (hasThread) {
        line += 't';
        kvl::appendDecimal(line, static_cast<uint64_t>(thread));
    }
}

void appendSource(const Fields &fields, std::string &line) {
    const char *file = fields[kFile];
    const char *function = fields[kFunction];
    if (file != nullptr) line += file;
    if (file != nullptr && function != nullptr) line += ':';
    if (function != nullptr) line += function;
    if (int64_t number = 0; kvl::readNumber(fields[kLine], number, kvl::kFieldNumber)) {
        line += '(';
        kvl::appendDecimal(line, number);
        line += ')';
    }
}

}  // namespace

bool kvl::zemTraceFormatInto(KvlObject *formatter, KvlEvent *event, std::string &line) {
    if (formatter == nullptr || event == nullptr) return false;
    line += '\x1e';
    line += '[';
    kvl::appendDate(formatter, KvlGetEventTime(event), line);
    line += ']';
    line += kSeparator;
    appendLevel(line, KvlGetEventLevel(event));
    line += kSeparator;
    Fields fields = {};
    kvl::readEventFields(event, kFields, fields);
    appendHost(fields, line);
    line += kSeparator;
    appendIds(fields, line);
    line += kSeparator;
    appendSource(fields, line);
    line += kSeparator;
    if (formatter->locale != nullptr) kvlSetEventLocale(event, formatter->locale);
    // The text is bound at the end of the line first: the message id it
    // starts with goes before it.
    const size_t textAt = line.size();
    const bool bound = kvl::appendEventText(event, line);
    CxZMSID parsed{};
    if (event->messageId == nullptr && bound) parsed = CxParseZMSID(line.c_str() + textAt);
    const char *shownId = event->messageId != nullptr ? event->messageId
                          : parsed.length > 0         ? parsed.id
                                                      : "";
    line.insert(textAt, kSeparator);
    line.insert(textAt, shownId);
    line += '\n';
    return true;
}

extern "C" {

char *KvlZemTraceFormatterFFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    return kvl::formatAndHandOut(kvl::zemTraceFormatInto, formatter, event);
}

}  // extern "C"
