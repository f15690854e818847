// What the built-in formatters share: the time stamp of a record, reading
// an event's fields in one pass, numbers written and read, and the copy of
// a record their public format slots hand out.
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
#include <string_view>

#include "KvlFormat.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "OxsMemory.h"
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

char *handOut(const std::string &text) {
    char *copy = static_cast<char *>(OxsMemoryMalloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
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

// The public format slot's copy is made from a text of its own: a format
// called while another is under way on the same thread (a custom class
// formatting through a built-in one) must not empty the outer text.
using FormatText = ThreadText<struct FormatTextKind>;

char *formatAndHandOut(KvlFFormatInto formatInto, KvlObject *formatter, KvlEvent *event) {
    FormatText text;
    return formatInto(formatter, event, text.text()) ? handOut(text.text()) : nullptr;
}

}  // namespace kvl

extern "C" void kvlDateZoneChanged(void) noexcept {
    zoneGeneration.fetch_add(1, std::memory_order_relaxed);
}
