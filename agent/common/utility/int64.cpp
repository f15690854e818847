// 64-bit decimal text with std::from_chars/to_chars: no locale, no errno.

#include "int64.h"

#include <cctype>
#include <charconv>
#include <cstring>

extern "C" {

int64_t aToSlmInt64(const char *text) {
    if (text == nullptr) return 0;
    const char *p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    const char *end = p + std::strlen(p);
    while (end > p && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (p < end && *p == '+') {  // from_chars takes "-" but not "+"
        ++p;
        if (p < end && *p == '-') return 0;
    }
    int64_t value = 0;
    const auto [stop, error] = std::from_chars(p, end, value);
    return error == std::errc() && stop == end && p < end ? value : 0;
}

uint64_t aToSlmUInt64(const char *text) {
    if (text == nullptr) return 0;
    const char *end = text + std::strlen(text);
    uint64_t value = 0;
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end ? value : 0;
}

char *slmInt64toA(char *buffer, int64_t value) {
    if (buffer == nullptr) return nullptr;
    *std::to_chars(buffer, buffer + 20, value).ptr = '\0';
    return buffer;
}

char *slmUInt64toA(char *buffer, uint64_t value) {
    if (buffer == nullptr) return nullptr;
    *std::to_chars(buffer, buffer + 20, value).ptr = '\0';
    return buffer;
}

uint64_t normalizeUInt64(uint64_t value) { return value & ~(uint64_t{1} << 63); }

}  // extern "C"
