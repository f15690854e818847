// Multibyte characters, whole-text conversions and time texts in a
// handle's codeset. Everything goes through the family functions of the
// conversion engine, so each codeset behaves here exactly as it converts.

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "zil_codec.h"
#include "zil_internal.h"

namespace zil {
namespace {

bool stateful(const uc_ch_t *h) { return h->kind == ZIL_KIND_EBCDIC_DBCS; }
constexpr uint8_t kShiftOut = 0x0E;
constexpr uint8_t kShiftIn = 0x0F;

bool asciiPassThrough(const uc_ch_t *h) {
    switch (h->kind) {
        case ZIL_KIND_ASCII_SBCS:
        case ZIL_KIND_ASCII_DBCS:
        case ZIL_KIND_ASCII_MBCS:
        case ZIL_KIND_UTF8:
        case ZIL_KIND_GB18030:
            return true;
        default:
            return false;
    }
}

// Converts the first character of s (at most n bytes, with any shift bytes
// before it) into up to `room` units: the conversion stops at a full output
// before looking at the next character. Bytes used, or -1 when no whole
// character results.
// One unit of room is tried first, so that two units are only ever taken
// by one character that needs them (a surrogate pair), never by two.
int firstCharacter(uc_ch_t *h, const char *s, size_t n, zil_ucs2_t *units, size_t room,
                   size_t &produced) {
    const uint8_t *start = reinterpret_cast<const uint8_t *>(s);
    const unsigned char state = h->to_state;
    const uint16_t substitutions = h->subst_count;
    for (size_t tryRoom = 1; tryRoom <= room; ++tryRoom) {
        h->to_state = state;
        h->subst_count = substitutions;
        const uint8_t *p = start;
        uint16_t *o = units;
        familyOps(h->kind).toUcs2(h, &p, start + n, &o, units + tryRoom);
        produced = static_cast<size_t>(o - units);
        if (produced > 0) return static_cast<int>(p - start);
    }
    // No character: a shift byte read on the way changes nothing.
    h->to_state = state;
    h->subst_count = substitutions;
    return -1;
}

template <class Convert>
char *wholeText(const char *text, size_t factor, char **buffer, Convert convert) {
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    const size_t size = factor * length + 1;
    char *out =
        buffer != nullptr && *buffer != nullptr ? *buffer : static_cast<char *>(std::malloc(size));
    if (out == nullptr) return nullptr;
    if (buffer != nullptr) *buffer = out;
    convert(text != nullptr ? text : "", static_cast<int>(length), out, static_cast<int>(size));
    return out;
}

}  // namespace
}  // namespace zil

using namespace zil;

extern "C" {

int zil_mbtowc(uc_ch_t *cs, zil_ucs2_t *wc, const char *s, size_t n) {
    uc_ch_t *h = resolveHandle(cs);
    if (s == nullptr) {
        h->to_state = 0;
        return stateful(h) ? 1 : 0;
    }
    if (n == 0) return -1;
    const auto first = static_cast<uint8_t>(*s);
    if (first < 0x80 && asciiPassThrough(h)) {
        if (wc != nullptr) *wc = first;
        return first != 0 ? 1 : 0;
    }
    zil_ucs2_t unit = 0;
    size_t produced = 0;
    const int used = firstCharacter(h, s, n, &unit, 1, produced);
    if (used < 0) return -1;
    if (wc != nullptr) *wc = unit;
    return unit == 0 ? 0 : used;
}

int zil_mbtowc32(uc_ch_t *cs, uint32_t *wc, const char *s, size_t n) {
    uc_ch_t *h = resolveHandle(cs);
    if (s == nullptr) return zil_mbtowc(h, nullptr, nullptr, 0);
    if (n == 0) return -1;
    zil_ucs2_t units[2] = {};
    size_t produced = 0;
    const int used = firstCharacter(h, s, n, units, 2, produced);
    if (used < 0) return -1;
    uint32_t value = units[0];
    if (produced == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 &&
        units[1] <= 0xDFFF) {
        value = 0x10000 + ((static_cast<uint32_t>(units[0] - 0xD800) << 10) | (units[1] - 0xDC00));
    } else if (value >= 0xD800 && value <= 0xDFFF) {
        value = '?';
        ++h->subst_count;
    }
    if (wc != nullptr) *wc = value;
    return value == 0 ? 0 : used;
}

int zil_wctomb(uc_ch_t *cs, char *out, zil_ucs2_t wc) {
    uc_ch_t *h = resolveHandle(cs);
    if (out == nullptr) {
        h->from_state = 0;
        return stateful(h) ? 1 : 0;
    }
    const uint16_t *p = &wc;
    uint8_t bytes[4];
    uint8_t *o = bytes;
    const unsigned char state = h->from_state;
    const uint16_t substitutions = h->subst_count;
    if (familyOps(h->kind).fromUcs2(h, &p, &wc + 1, &o, bytes + 4) != ZIL_CONV_DONE ||
        h->subst_count != substitutions) {  // not whole, or only as the substitute
        h->from_state = state;
        h->subst_count = substitutions;
        return -1;
    }
    std::memcpy(out, bytes, static_cast<size_t>(o - bytes));
    return static_cast<int>(o - bytes);
}

int zil_mblen(uc_ch_t *cs, const char *s, size_t n) {
    if (s == nullptr || n == 0 || *s == '\0') return 0;
    uc_ch_t *h = resolveHandle(cs);
    if (h->kind == ZIL_KIND_ASCII_SBCS || h->kind == ZIL_KIND_EBCDIC_SBCS) return 1;
    return zil_mbtowc32(h, nullptr, s, n);
}

long zil_mbstowcs(uc_ch_t *cs, zil_ucs2_t *out, const char *s, size_t n) {
    uc_ch_t *h = resolveHandle(cs);
    h->to_state = 0;
    if (s == nullptr) return 0;
    const uint8_t *p = reinterpret_cast<const uint8_t *>(s);
    const uint8_t *end = p + std::strlen(s);
    if (out == nullptr) {  // a count: -1 for an invalid sequence
        const uint16_t substitutions = h->subst_count;
        long count = 0;
        for (;;) {
            uint16_t chunk[256];
            uint16_t *o = chunk;
            const int result = familyOps(h->kind).toUcs2(h, &p, end, &o, chunk + 256);
            count += o - chunk;
            if (result == ZIL_CONV_INCOMPLETE || h->subst_count != substitutions) {
                h->subst_count = substitutions;
                return -1;
            }
            if (result == ZIL_CONV_DONE) return count;
        }
    }
    uint16_t *o = out;
    const int result = familyOps(h->kind).toUcs2(h, &p, end, &o, out + n);
    if (result == ZIL_CONV_INCOMPLETE) return -1;
    const size_t stored = static_cast<size_t>(o - out);
    if (stored < n) out[stored] = 0;
    return static_cast<long>(stored);
}

long zil_wcstombs(uc_ch_t *cs, char *out, const zil_ucs2_t *wcs, size_t n) {
    uc_ch_t *h = resolveHandle(cs);
    h->from_state = 0;
    if (wcs == nullptr) return 0;
    const FromUcs2Fn convert = familyOps(h->kind).fromUcs2;
    const uint16_t *p = wcs;
    const uint16_t *end = wcs + zil_wcslen(wcs);
    const uint16_t *none = nullptr;
    if (out == nullptr) {  // a count: -1 for a character that does not convert
        const uint16_t substitutions = h->subst_count;
        long count = 0;
        int result;
        do {
            uint8_t chunk[256];
            uint8_t *o = chunk;
            result = convert(h, &p, end, &o, chunk + sizeof chunk);
            count += o - chunk;
        } while (result == ZIL_CONV_OUTPUT_FULL && h->subst_count == substitutions);
        if (result == ZIL_CONV_INCOMPLETE || h->subst_count != substitutions) {
            h->subst_count = substitutions;
            h->from_state = 0;
            return -1;
        }
        uint8_t flush[4];
        uint8_t *o = flush;
        convert(h, &none, nullptr, &o, flush + sizeof flush);
        h->from_state = 0;
        return count + (o - flush);
    }
    uint8_t *o = reinterpret_cast<uint8_t *>(out);
    uint8_t *outEnd = o + n;
    if (convert(h, &p, end, &o, outEnd) == ZIL_CONV_INCOMPLETE) return -1;
    convert(h, &none, nullptr, &o, outEnd);
    const size_t written = static_cast<size_t>(o - reinterpret_cast<uint8_t *>(out));
    if (written < n) out[written] = '\0';
    return static_cast<long>(written);
}

int zil_mbsbtype(uc_ch_t *cs, const char *s, size_t n) {
    if (s == nullptr) return -1;
    uc_ch_t *h = resolveHandle(cs);
    const size_t length = std::strlen(s);
    if (n >= length) return -1;
    const uint8_t savedState = h->to_state;
    h->to_state = 0;
    const uint16_t substitutions = h->subst_count;
    int role = -1;
    for (size_t pos = 0; pos <= n;) {
        // A shift byte belongs to no character; it sets the mode of the
        // characters after it.
        const auto byte = static_cast<uint8_t>(s[pos]);
        if (stateful(h) && byte == (h->to_state == 0 ? kShiftOut : kShiftIn)) {
            h->to_state = h->to_state == 0 ? 1 : 0;
            if (pos == n) break;
            ++pos;
            continue;
        }
        const uint16_t before = h->subst_count;
        const int used = zil_mbtowc32(h, nullptr, s + pos, length - pos);
        // A byte that converts only to the substitution character starts no
        // valid character.
        if (used <= 0 || h->subst_count != before) {  // stepped over alone
            if (pos == n) break;
            ++pos;
            continue;
        }
        if (pos + static_cast<size_t>(used) > n) {
            role = used == 1 ? 0 : pos == n ? 1 : 2;
            break;
        }
        pos += static_cast<size_t>(used);
    }
    h->to_state = savedState;
    h->subst_count = substitutions;
    return role;
}

int zil_ismbs1st(uc_ch_t *cs, const char *start, const char *p) {
    if (start == nullptr || p == nullptr || p < start) return 0;
    return zil_mbsbtype(cs, start, static_cast<size_t>(p - start)) == 1 ? 1 : 0;
}

char *zil_u2s(uc_ch_t *cs, const char *utf8, char **buffer) {
    return wholeText(utf8, 2, buffer, [cs](const char *in, int, char *out, int size) {
        zil_from_utf8(cs, in, -1, out, size, nullptr);
    });
}

char *zil_s2u(uc_ch_t *cs, const char *text, char **buffer) {
    return wholeText(text, 3, buffer, [cs](const char *in, int, char *out, int size) {
        zil_to_utf8(cs, in, -1, out, size, nullptr);
    });
}

char *zil_strconv(uc_ch_t *from, uc_ch_t *to, const char *text, char **buffer) {
    return wholeText(text, 4, buffer, [from, to](const char *in, int length, char *out, int size) {
        std::vector<zil_ucs2_t> units(static_cast<size_t>(length) + 1);  // a unit per byte at most
        zil_to_ucs2(from, in, -1, units.data(), length + 1, nullptr);
        zil_from_ucs2(to, units.data(), -1, out, size, nullptr);
    });
}

int zil_check_subs(uc_ch_t *cs) {
    uc_ch_t *h = resolveHandle(cs);
    const int count = h->subst_count;
    h->subst_count = 0;
    return count;
}

size_t zil_strftime(uc_ch_t *cs, char *out, size_t size, const char *format,
                    const struct tm *time) {
    if (out == nullptr || size == 0 || format == nullptr || time == nullptr) return 0;
    uc_ch_t *h = resolveHandle(cs);
    uc_ch_t *local = osLocaleHandle();
    if (h == local) return std::strftime(out, size, format, time);
    char *localFormat = zil_strconv(h, local, format, nullptr);
    std::string formatted(4 * size, '\0');
    const size_t n = localFormat != nullptr
                         ? std::strftime(formatted.data(), formatted.size(), localFormat, time)
                         : 0;
    zil_free(localFormat);
    if (n == 0) return 0;
    formatted.resize(n);
    char *back = zil_strconv(local, h, formatted.c_str(), nullptr);
    if (back == nullptr) return 0;
    // As strftime: a result that does not fit whole is no result (a cut
    // could split a character or leave a double-byte run open).
    const size_t length = std::strlen(back);
    if (length >= size) {
        zil_free(back);
        return 0;
    }
    std::memcpy(out, back, length + 1);
    zil_free(back);
    return length;
}

char *zil_strptime(uc_ch_t *cs, const char *text, const char *format, struct tm *time) {
    if (text == nullptr || format == nullptr || time == nullptr) return nullptr;
    uc_ch_t *h = resolveHandle(cs);
    uc_ch_t *local = osLocaleHandle();
    if (h == local) return strptime(text, format, time);
    char *localText = zil_strconv(h, local, text, nullptr);
    char *localFormat = zil_strconv(h, local, format, nullptr);
    const bool parsed = localText != nullptr && localFormat != nullptr &&
                        strptime(localText, localFormat, time) != nullptr;
    zil_free(localText);
    zil_free(localFormat);
    // The converted copy is gone: success points at the end of the caller's text.
    return parsed ? const_cast<char *>(text) + std::strlen(text) : nullptr;
}

}  // extern "C"
