/*
 * What the built-in formatters share: the time stamp of a record and the
 * copy of a finished record into the toolkit's memory. C++ only; the
 * formatters build their text in a reused per-thread buffer and allocate
 * once, for the text they hand out. The toolkit's own handlers skip even
 * that copy: they have a built-in formatter append the record to a reused
 * per-thread text (RecordText) and write from there.
 */
#ifndef KVL_FORMAT_H
#define KVL_FORMAT_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kavel.h"

namespace kvl {

// Appends the basic formatter's time stamp of `milliseconds` since the
// epoch: the formatter's "dateTimeFormat" when it has one, else the
// built-in "2024-03-05 09:04:07.045+02:00". False, with nothing appended,
// when the date has no local time (a value past the platform's years).
bool appendDate(KvlObject *formatter, uint64_t milliseconds, std::string &out);

// The per-thread buffer a formatter builds its record in, emptied.
std::string &recordBuffer();

// A copy of `text` in toolkit memory (free with OxsMemoryFree), or null.
char *handOut(const std::string &text);

// A built-in formatter's record appended to `out`: the text its format
// slot hands out, without the copy. False when it makes no record.
bool basicFormatInto(KvlObject *formatter, KvlEvent *event, std::string &out);
bool xmlFormatInto(KvlObject *formatter, KvlEvent *event, std::string &out);
bool zemTraceFormatInto(KvlObject *formatter, KvlEvent *event, std::string &out);

// The event's message bound with `bind` (a formatter's bindMsg) appended
// to `out`; the toolkit's own binding appends without a copy. False, with
// nothing appended, when binding yields no text.
bool appendBoundEventMessage(KvlEvent *event, KvlFBindMsg bind, std::string &out);
// kvlIntlBindI18Msg's text appended to `out`.
bool appendBoundMessage(KvlI18Msg *message, std::string &out);

// The handler's record for the event appended to `out`, through the
// formatter's class (a built-in one appends directly). False when the
// handler has no formatter or the formatter makes no record.
bool formatRecord(KvlObject *handler, KvlEvent *event, std::string &out);

// A per-thread text kept, with its capacity, from record to record, and
// emptied for each use. A use that begins while another of the same kind is
// under way (a toolkit message reported while a record is written) gets a
// text of its own, so neither clobbers the other.
template <class Kind>
class ThreadText {
public:
    ThreadText() : text_(nesting()++ == 0 ? &outer() : &own_) { text_->clear(); }
    ~ThreadText() { --nesting(); }
    ThreadText(const ThreadText &) = delete;
    ThreadText &operator=(const ThreadText &) = delete;
    std::string &text() { return *text_; }

private:
    static std::string &outer() {
        thread_local std::string text;
        return text;
    }
    static int &nesting() {
        thread_local int depth = 0;
        return depth;
    }
    std::string *text_;
    std::string own_;  // a nested use's
};

// What a handler formats a record into and writes from.
using RecordText = ThreadText<struct RecordTextKind>;
// What a formatter binds a message into when it needs the text whole.
using BoundText = ThreadText<struct BoundTextKind>;

// The values of the named event properties (borrowed; null: absent) into
// `values`, one per name, found in one pass over the event's properties
// rather than a lookup for each.
void readEventFields(KvlEvent *event, std::span<const std::string_view> names, const char **values);
// A property's text read as a decimal integer; false when null or not a
// number.
bool parseInteger(const char *text, int64_t &value);

// Appends the decimal text of a number.
void appendDecimal(std::string &out, int64_t value);
void appendDecimal(std::string &out, uint64_t value);

}  // namespace kvl

/* Makes the built-in time stamps read the zone again (after tzset). */
extern "C" void kvlDateZoneChanged(void) noexcept;

#endif /* KVL_FORMAT_H */
