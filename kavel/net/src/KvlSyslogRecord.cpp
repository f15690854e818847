// The syslog record (see KvlSyslogRecord.h for the rules it keeps).

#include "KvlSyslogRecord.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "KvlUtf8.h"
#include "kavel.h"

namespace kvl::net {

namespace {

constexpr std::string_view kNil = "-";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

constexpr std::array<std::string_view, 24> kFacilities = {
    "kern",   "user",   "mail",     "daemon", "auth",   "syslog", "lpr",    "news",
    "uucp",   "cron",   "authpriv", "ftp",    "ntp",    "audit",  "alert",  "clock",
    "local0", "local1", "local2",   "local3", "local4", "local5", "local6", "local7"};

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool printable(char c) { return c >= 33 && c <= 126; }

// An SD-NAME's character: printable US-ASCII but '=', ']' and '"'.
bool sdNameChar(char c) { return printable(c) && c != '=' && c != ']' && c != '"'; }

void appendPri(const SyslogFields &fields, std::string &out) {
    const int facility = fields.facility >= 0 && fields.facility <= 23 ? fields.facility : 1;
    const int severity = fields.severity >= 0 && fields.severity <= 7 ? fields.severity : 5;
    out += '<';
    out += std::to_string(facility * 8 + severity);
    out += '>';
}

// The event's local time, broken down with the caller's offset.
tm localParts(const SyslogFields &fields) {
    const time_t shifted = fields.time.tv_sec + fields.utcOffset;
    tm parts{};
    gmtime_r(&shifted, &parts);
    return parts;
}

// RFC 3339 with milliseconds and the offset: 2026-12-08T14:20:01.123+01:00.
void appendTimestamp(const SyslogFields &fields, std::string &out) {
    const tm parts = localParts(fields);
    if (parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 9999) {
        out += kNil;
        return;
    }
    const long offset = fields.utcOffset < 0 ? -fields.utcOffset : fields.utcOffset;
    char text[40];
    const int n =
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld",
                      parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                      parts.tm_min, parts.tm_sec, fields.time.tv_nsec / 1000000 % 1000,
                      fields.utcOffset < 0 ? '-' : '+', offset / 3600 % 100, offset / 60 % 60);
    out.append(text, static_cast<size_t>(n));
}

// Well-formed UTF-8, each ill-formed sequence a U+FFFD, the bytes in
// `escaped` behind a backslash.
void appendUtf8(std::string_view text, std::string_view escaped, std::string &out) {
    for (size_t at = 0; at < text.size();) {
        size_t subpart = 0;
        const size_t length = kvl::utf8::wellFormedLength(text, at, subpart);
        if (length == 0) {
            out += kReplacement;
            at += subpart;
            continue;
        }
        if (length == 1 && escaped.find(text[at]) != std::string_view::npos) out += '\\';
        out.append(text, at, length);
        at += length;
    }
}

// An SD-NAME made of the name's allowed characters, at most kSdNameMax.
std::string sdName(std::string_view name) {
    std::string out;
    for (const char c : name)
        if (sdNameChar(c) && out.size() < kSdNameMax) out += c;
    return out;
}

void appendStructuredData(const SyslogFields &fields, std::string &out) {
    const std::string id = sdName(fields.sdId);
    const size_t start = out.size();
    if (!id.empty() && id.size() == fields.sdId.size()) {
        out += '[';
        out += id;
        bool any = false;
        for (const auto &[name, value] : fields.params) {
            const std::string param = sdName(name);
            if (param.empty()) continue;
            out += ' ';
            out += param;
            out += "=\"";
            appendUtf8(value, "\"\\]", out);
            out += '"';
            any = true;
        }
        out += ']';
        if (!any) out.resize(start);
    }
    if (out.size() == start) out += kNil;
}

void append5424(const SyslogFields &fields, std::string &out) {
    appendPri(fields, out);
    out += "1 ";
    appendTimestamp(fields, out);
    for (const auto &[text, limit] :
         {std::pair{fields.hostName, kHostNameMax}, std::pair{fields.appName, kAppNameMax},
          std::pair{fields.procId, kProcIdMax}, std::pair{fields.msgId, kMsgIdMax}}) {
        out += ' ';
        out += headerField(text, limit);
    }
    out += ' ';
    appendStructuredData(fields, out);
    if (fields.message.empty()) return;
    out += ' ';
    if (fields.utf8Bom) {
        out += kBom;
        appendUtf8(fields.message, {}, out);
    } else {
        out += fields.message;
    }
}

// <PRI>Mmm dd hh:mm:ss HOST TAG[PID]: MSG, the tag at most 32 characters
// of the application's name that are letters, digits, '.', '_' or '-'.
void append3164(const SyslogFields &fields, std::string &out) {
    appendPri(fields, out);
    const tm parts = localParts(fields);
    char stamp[20];
    std::snprintf(stamp, sizeof stamp, "%.3s %2d %02d:%02d:%02d ",
                  kMonths[static_cast<size_t>(parts.tm_mon) % 12].data(), parts.tm_mday,
                  parts.tm_hour, parts.tm_min, parts.tm_sec);
    out += stamp;
    out += headerField(fields.hostName, kHostNameMax);
    out += ' ';
    std::string tag;
    for (const char c : fields.appName)
        if (((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
            c == '_' || c == '-')
            tag += c;
    tag.resize(std::min<size_t>(tag.size(), 32));
    out += tag.empty() ? "-" : tag;
    const std::string_view pid = headerField(fields.procId, kProcIdMax);
    if (pid != kNil) {
        out += '[';
        out += pid;
        out += ']';
    }
    out += ": ";
    out += fields.message;
}

}  // namespace

int severityOf(int32_t level) {
    if (level == KVL_LEVEL_NONE) return 5;
    if (level >= KVL_LEVEL_FATAL) return 2;
    if (level >= KVL_LEVEL_ERROR) return 3;
    if (level >= KVL_LEVEL_WARN) return 4;
    if (level >= KVL_LEVEL_INFO) return 6;
    return 7;
}

int facilityOf(std::string_view text) {
    for (size_t i = 0; i < kFacilities.size(); ++i)
        if (kFacilities[i] == text) return static_cast<int>(i);
    int number = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number >= 0 && number <= 23
               ? number
               : -1;
}

std::string_view headerField(std::string_view text, size_t limit) {
    if (text.empty() || text.size() > limit) return kNil;
    for (const char c : text)
        if (!printable(c)) return kNil;
    return text;
}

void appendRecord(SyslogFormat format, const SyslogFields &fields, std::string &out) {
    if (format == SyslogFormat::kRfc3164)
        append3164(fields, out);
    else
        append5424(fields, out);
}

void frame(SyslogFraming framing, std::string &record) {
    if (framing == SyslogFraming::kOctetCounting) {
        record.insert(0, std::to_string(record.size()) + " ");
        return;
    }
    for (char &c : record)
        if (c == '\n') c = ' ';
    record += '\n';
}

}  // namespace kvl::net
