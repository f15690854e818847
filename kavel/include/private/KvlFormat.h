/*
 * What the built-in formatters share (KvlFormatCommon.cpp): the time stamp
 * of a record, an event's fields read in one pass, numbers, the message
 * text bound once per event, and the copy of a finished record into the
 * toolkit's memory. C++ only. A formatter's seam appends its record to a
 * caller's text; the handlers format into a reused per-thread text
 * (RecordText) through it and write from there, and the public format
 * slot is the seam plus one copy.
 */
#ifndef KVL_FORMAT_H
#define KVL_FORMAT_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "KvlNumberText.h"
#include "KvlObject.h"
#include "kavel.h"

namespace kvl {

// Appends the basic formatter's time stamp of `milliseconds` since the
// epoch: the formatter's "dateTimeFormat" when it has one, else the
// built-in "2024-03-05 09:04:07.045+02:00". False, with nothing appended,
// when the date has no local time (a value past the platform's years).
bool appendDate(KvlObject *formatter, uint64_t milliseconds, std::string &out);

// A copy of `text` in toolkit memory (free with OxsMemoryFree), or null.
char *handOut(const std::string &text);

// A built-in formatter's record appended to `out`: the text its format
// slot hands out, without the copy. False when it makes no record.
bool basicFormatInto(KvlObject *formatter, KvlEvent *event, std::string &out);
bool xmlFormatInto(KvlObject *formatter, KvlEvent *event, std::string &out);
bool zemTraceFormatInto(KvlObject *formatter, KvlEvent *event, std::string &out);

// The event's message as the toolkit's binding makes it, bound once per
// event (in the event's locale) and kept for everything that formats it:
// a view of the kept text, valid while the event lives unchanged. False
// when binding yields no text.
bool eventText(KvlEvent *event, std::string_view &text);
// That text appended to `out`: the kept one when there is one, else bound
// into `out` (and not kept).
bool appendEventText(KvlEvent *event, std::string &out);
// The event's message bound as the formatter binds it (the shared text for
// the toolkit's binding, the class's own bindMsg otherwise) appended to
// `out`. False, with nothing appended, when binding yields no text.
bool appendEventText(KvlEvent *event, KvlObject *formatter, std::string &out);
// kvlIntlBindI18Msg's text appended to `out`.
bool appendBoundMessage(KvlI18Msg *message, std::string &out);

// The handler's record for the event appended to `out`, through the
// formatter's seam where its class has one. False when the handler has no
// formatter or the formatter makes no record.
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

// A public format slot: the record made through the formatter's seam, as a
// copy in toolkit memory (null when it makes none).
char *formatAndHandOut(KvlFFormatInto formatInto, KvlObject *formatter, KvlEvent *event);

// The values of the named event properties (borrowed; null: absent) into
// `values`, one per name, found in one pass over the event's properties
// rather than a lookup for each.
void readEventFields(KvlEvent *event, std::span<const std::string_view> names, const char **values);

// Appends the decimal text of a number.
void appendDecimal(std::string &out, int64_t value);
void appendDecimal(std::string &out, uint64_t value);

}  // namespace kvl

/* Makes the built-in time stamps read the zone again (after tzset). */
extern "C" void kvlDateZoneChanged(void) noexcept;

#endif /* KVL_FORMAT_H */
