/*
 * A syslog record made from a logging event's parts: RFC 5424 (the
 * default) or the older RFC 3164 line, and its framing for a stream.
 *
 * Whatever a message, a property or a setting holds, the record is one the
 * receiver reads back to the same fields: every header field is checked
 * against RFC 5424's grammar (printable US-ASCII, its length limit) and
 * becomes the NILVALUE "-" when it does not fit, never cut or escaped into
 * something else; structured-data names keep only the characters an
 * SD-NAME may hold; parameter values are made well-formed UTF-8 (each
 * ill-formed sequence a U+FFFD) with '"', '\' and ']' escaped; and the
 * framing keeps one record one record (octet counting, or line feeds
 * inside a record made spaces for line framing). Nothing here does I/O or
 * reads the clock: the caller passes the time, so a record is a function
 * of its fields. C++ only.
 */
#ifndef KVL_SYSLOG_RECORD_H
#define KVL_SYSLOG_RECORD_H

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace kvl::net {

enum class SyslogFormat { kRfc5424, kRfc3164 };
enum class SyslogFraming { kOctetCounting, kLineFeed };

/* RFC 5424's limits on the header fields. */
inline constexpr size_t kHostNameMax = 255;
inline constexpr size_t kAppNameMax = 48;
inline constexpr size_t kProcIdMax = 128;
inline constexpr size_t kMsgIdMax = 32;
inline constexpr size_t kSdNameMax = 32;

/* One structured-data parameter. */
using SyslogParam = std::pair<std::string_view, std::string_view>;

struct SyslogFields {
    int facility = 1;   /* 0 to 23; "user" */
    int severity = 5;   /* 0 to 7 */
    timespec time{};    /* when the event happened */
    long utcOffset = 0; /* seconds east of UTC at that time */
    std::string_view hostName;
    std::string_view appName;
    std::string_view procId;
    std::string_view msgId;
    std::string_view sdId; /* of the one element the parameters go in */
    std::span<const SyslogParam> params;
    std::string_view message;
    bool utf8Bom = false; /* the message as RFC 5424's MSG-UTF8 */
};

/* The severity of a toolkit level: FATAL 2, ERROR 3, WARN 4, INFO 6, the
 * debug levels 7; 5 (notice) for a level none of those reaches (a record
 * without a level). */
int severityOf(int32_t level);

/* A facility given by name ("user", "local0", ...) or number (0 to 23);
 * -1 when it is neither. */
int facilityOf(std::string_view text);

/* Appends the record (without framing) to `out`. */
void appendRecord(SyslogFormat format, const SyslogFields &fields, std::string &out);

/* Frames `record` for a stream transport, in place. */
void frame(SyslogFraming framing, std::string &record);

/* The text as it stands in a header field: itself when it is 1 to `limit`
 * printable US-ASCII bytes, else "-". */
std::string_view headerField(std::string_view text, size_t limit);

}  // namespace kvl::net

#endif /* KVL_SYSLOG_RECORD_H */
