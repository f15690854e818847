// The basic formatter ("kvl_basicformatter"): one line per record, the
// time stamp, the source and origin properties the event carries and the
// bound message text, joined by the separator (one blank by default).
//
// The built-in time stamp is "%Y-%m-%d %H:%M:%S" of the local time, the
// milliseconds and the zone offset of the event's own date, taken from the
// broken-down time's tm_gmtoff (so half-hour zones, half-hour daylight
// saving and offsets between -1 h and 0 come out right), with the sign
// written explicitly. Breaking a time down costs a lock and a zone lookup,
// so each thread keeps the last second's text and reuses it while records
// arrive within that second; a zone change (the toolkit calls tzset when it
// opens) makes every thread's copy stale.
//
// A "dateTimeFormat" goes through the codeset library's strftime in the
// local codeset; a result that does not fit 128 bytes is made again in a
// larger area (doubling up to 4096 bytes) and is otherwise left empty,
// then converted to UTF-8 whole.

#include <atomic>
#include <charconv>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>

#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "zil.h"

namespace {

std::atomic<uint64_t> zoneGeneration{0};

struct SecondCache {
    int64_t seconds = INT64_MIN;
    uint64_t generation = UINT64_MAX;
    char local[32] = {};  // "%Y-%m-%d %H:%M:%S"
    size_t localLength = 0;
    char zone[8] = {};   // "+hh:mm"
    bool valid = false;  // false: the second has no local time
};

void fillSecond(SecondCache &cache, int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm broken {};
    cache.seconds = seconds;
    cache.generation = zoneGeneration.load(std::memory_order_relaxed);
    cache.valid = localtime_r(&t, &broken) != nullptr;
    if (!cache.valid) return;
    cache.localLength =
        std::strftime(cache.local, sizeof cache.local, "%Y-%m-%d %H:%M:%S", &broken);
    const long offset = broken.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    const long hours = magnitude / 3600 % 100, minutes = magnitude % 3600 / 60;
    cache.zone[0] = offset < 0 ? '-' : '+';
    cache.zone[1] = static_cast<char>('0' + hours / 10);
    cache.zone[2] = static_cast<char>('0' + hours % 10);
    cache.zone[3] = ':';
    cache.zone[4] = static_cast<char>('0' + minutes / 10);
    cache.zone[5] = static_cast<char>('0' + minutes % 10);
    cache.zone[6] = '\0';
}

bool appendBuiltInDate(uint64_t milliseconds, std::string &out) {
    thread_local SecondCache cache;
    const int64_t seconds = static_cast<int64_t>(milliseconds / 1000);
    if (cache.seconds != seconds ||
        cache.generation != zoneGeneration.load(std::memory_order_relaxed))
        fillSecond(cache, seconds);
    if (!cache.valid) return false;
    const unsigned ms = static_cast<unsigned>(milliseconds % 1000);
    char stamp[sizeof cache.local + 10];  // one append: the date, ".mmm" and the zone
    std::memcpy(stamp, cache.local, cache.localLength);
    char *at = stamp + cache.localLength;
    *at++ = '.';
    *at++ = static_cast<char>('0' + ms / 100);
    *at++ = static_cast<char>('0' + ms / 10 % 10);
    *at++ = static_cast<char>('0' + ms % 10);
    std::memcpy(at, cache.zone, 6);
    out.append(stamp, static_cast<size_t>(at + 6 - stamp));
    return true;
}

bool appendFormattedDate(const char *format, uint64_t milliseconds, std::string &out) {
    const time_t t = static_cast<time_t>(milliseconds / 1000);
    struct tm broken {};
    if (localtime_r(&t, &broken) == nullptr) return false;
    std::string local;
    size_t length = 0;
    for (size_t size = 128; size <= 4096 && length == 0; size *= 2) {
        local.assign(size, '\0');
        length = zil_strftime(nullptr, local.data(), size, format, &broken);
    }
    if (length == 0) return true;  // an empty text, or one too long to make
    std::string utf8(4 * length + 4, '\0');
    const int written = zil_to_utf8(nullptr, local.data(), static_cast<int>(length), utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr);
    if (written < 0) return false;
    out.append(utf8.data(), static_cast<size_t>(written));
    return true;
}

// Replaces a formatter string field with the property's value (null when
// the property is unset).
void storeProperty(KvlObject *formatter, const char *name, char *&field) {
    OxsMemoryFree(field);
    field = kvlIntlGetObjProp(formatter, name, nullptr);
}

// The event properties a basic line shows, in its order: the source file,
// function and line, then the origin.
constexpr std::string_view kLineFields[] = {
    KVL_PROP_SRCFILE, KVL_PROP_SRCFUNCTION, KVL_PROP_SRCLINE, "organization",
    "product",        "component",          "client",         "server"};
constexpr size_t kLineField = 2;  // written as the number it holds
constexpr size_t kFieldCount = std::size(kLineFields);

}  // namespace

namespace kvl {

bool appendDate(KvlObject *formatter, uint64_t milliseconds, std::string &out) {
    if (formatter != nullptr && formatter->dateTimeFormat != nullptr)
        return appendFormattedDate(formatter->dateTimeFormat, milliseconds, out);
    return appendBuiltInDate(milliseconds, out);
}

void readEventFields(KvlEvent *event, std::span<const std::string_view> names,
                     const char **values) {
    for (auto it = kvlIntlStringToStringMapIterator(event->properties); it != nullptr;
         it = kvlIntlStringToStringMapIterNext(it)) {
        const char *key = nullptr, *value = nullptr;
        kvlIntlStringToStringMapIterPeek(it, &key, &value);
        const std::string_view name = key;
        for (size_t i = 0; i < names.size(); ++i) {
            if (name == names[i]) {
                values[i] = value;
                break;
            }
        }
    }
}

bool parseInteger(const char *text, int64_t &value) {
    if (text == nullptr) return false;
    const char *end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc{} && stop == end;
}

std::string &recordBuffer() {
    thread_local std::string buffer;
    buffer.clear();
    return buffer;
}

char *handOut(const std::string &text) {
    char *copy = static_cast<char *>(OxsMemoryMalloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool basicFormatInto(KvlObject *formatter, KvlEvent *event, std::string &record) {
    if (event == nullptr || !kvlObjectIsKind(formatter, KVL_KIND_FORMATTER) ||
        formatter->klass->bindMsg == nullptr)
        return false;
    const std::string_view separator =
        formatter->separator != nullptr ? std::string_view(formatter->separator) : " ";
    appendDate(formatter, KvlGetEventTime(event), record);
    record += separator;
    const char *fields[kFieldCount] = {};
    readEventFields(event, kLineFields, fields);
    for (size_t i = 0; i < kFieldCount; ++i) {
        int64_t line = 0;
        if (fields[i] == nullptr || (i == kLineField && !parseInteger(fields[i], line))) continue;
        if (i == kLineField)
            appendDecimal(record, line);
        else
            record += fields[i];
        record += separator;
    }
    if (formatter->locale != nullptr) kvlSetEventLocale(event, formatter->locale);
    appendBoundEventMessage(event, formatter->klass->bindMsg, record);
    record += '\n';
    return true;
}

void appendDecimal(std::string &out, int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<size_t>(end - digits));
}

void appendDecimal(std::string &out, uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<size_t>(end - digits));
}

}  // namespace kvl

extern "C" {

void kvlDateZoneChanged(void) noexcept { zoneGeneration.fetch_add(1, std::memory_order_relaxed); }

void KvlBasicFormatterFCfgChange(KvlObject *formatter, const char *name) noexcept {
    if (formatter == nullptr || name == nullptr) return;
    const std::string_view property = name;
    if (property == "separator") {
        storeProperty(formatter, name, formatter->separator);
    } else if (property == "dateTimeFormat") {
        storeProperty(formatter, name, formatter->dateTimeFormat);
    } else if (property == "locale") {
        char *value = kvlIntlGetObjProp(formatter, name, nullptr);
        if (formatter->locale != nullptr) zil_loc_free(formatter->locale);
        formatter->locale = value != nullptr ? zil_loc_new(value) : nullptr;
        OxsMemoryFree(value);
    } else {
        KvlBasicObjectFCfgChange(formatter, name);
    }
}

char *KvlBasicFormatterFFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    std::string &record = kvl::recordBuffer();
    return kvl::basicFormatInto(formatter, event, record) ? kvl::handOut(record) : nullptr;
}

char *KvlBasicFormatterFGetHeader(KvlObject *) noexcept { return nullptr; }
char *KvlBasicFormatterFGetTrailer(KvlObject *) noexcept { return nullptr; }

// Its own text, not the record buffer: a formatter may call it while it
// builds a record there.
char *KvlBasicFormatterFormatDate(KvlObject *formatter, uint64_t milliseconds) noexcept {
    std::string date;
    return kvl::appendDate(formatter, milliseconds, date) ? kvl::handOut(date) : nullptr;
}

}  // extern "C"
