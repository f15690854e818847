// Single-byte families: ASCII-based (family 1) and EBCDIC (family 8).
//
// From Unicode, a row per high byte holds the result byte per low byte; the
// codeset's substitution byte in a row means "no mapping" unless the source
// character is the one that legitimately maps to it. EBCDIC invariant
// characters use the built-in tables whatever the code page.
//
// ASCII-based pages copy ASCII runs whole, 16 bytes at a time, both ways.
//
// Into Unicode, every byte has one fixed result, so the results are
// derived once at load (the UTF-8 bytes with their length, the UCS-2 unit,
// whether it is a substitution) and the hot loops are a lookup and a store
// per byte, with no branch on the character.

#include <algorithm>
#include <type_traits>

#include "zil_codec.h"
#include "zil_ebcdic.h"
#include "zil_table.h"

namespace zil {
namespace {

constexpr uint8_t kAsciiSubst = '?';
constexpr uint8_t kEbcdicSubst = 0x6F;

struct SbcsTable {
    const unsigned char *table;
    size_t area;
    uint8_t substByte;
    uint16_t substSource;

    explicit SbcsTable(const uc_ch_t *handle)
        : table(handle->table),
          area(readU32(table, kAreaOffset)),
          substByte(table[kSubstByteOffset]),
          substSource(readU16(table, kSubstUniOffset)) {}

    uint32_t toUnicode(uint8_t byte) const {
        const uint16_t value = readU16(table, kToUnicodeOffset + 2 * byte);
        return value == kUnmapped ? kInvalid : value;
    }

    // The byte for a BMP value, or -1 when it has none.
    int fromUnicode(uint32_t value) const {
        const uint16_t row = readU16(table, kFromRowsOffset + 2 * (value >> 8));
        const uint8_t byte = table[area + 4 * static_cast<size_t>(row) + (value & 0xFF)];
        if (byte == substByte && (value != substSource || value == 0xFFFF)) return -1;
        return byte;
    }
};

struct AsciiSbcsDecoder {
    SbcsTable table;

    Step decode(const uint8_t *&p, const uint8_t *, uint32_t &value) const {
        const uint8_t byte = *p++;
        value = byte < 0x80 ? byte : table.toUnicode(byte);
        return Step::Char;
    }
};

struct AsciiSbcsEncoder {
    uc_ch_t *handle;
    SbcsTable table;
    explicit AsciiSbcsEncoder(uc_ch_t *h) : handle(h), table(h) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *) const {
        int byte = value < 0x80 ? static_cast<int>(value) : -1;
        if (byte < 0 && value <= 0xFFFF) byte = table.fromUnicode(value);
        if (byte < 0) {
            byte = kAsciiSubst;
            ++handle->subst_count;
        }
        *o++ = static_cast<uint8_t>(byte);
        return true;
    }
};

struct EbcdicSbcsDecoder {
    SbcsTable table;

    Step decode(const uint8_t *&p, const uint8_t *, uint32_t &value) const {
        const uint8_t byte = *p++;
        value = invar_eb_to_ucs[byte] ? def_eb_to_ucs[byte] : table.toUnicode(byte);
        return Step::Char;
    }
};

struct EbcdicSbcsEncoder {
    uc_ch_t *handle;
    SbcsTable table;
    explicit EbcdicSbcsEncoder(uc_ch_t *h) : handle(h), table(h) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *) const {
        int byte = -1;
        if (value < 256 && invar_ucs_to_eb[value])
            byte = def_ucs_to_eb[value];
        else if (value <= 0xFFFF)
            byte = table.fromUnicode(value);
        if (byte < 0) {
            byte = kEbcdicSubst;
            ++handle->subst_count;
        }
        *o++ = static_cast<uint8_t>(byte);
        return true;
    }
};

// Per byte: the UTF-8 bytes in the low three bytes and their count in the
// top byte; the UCS-2 unit; 1 when the byte has no mapping (its results
// are then "?"). Per character below U+0800 (one- and two-byte UTF-8): the
// byte it becomes, and 1 when that is a substitution.
constexpr uint32_t kLowRange = 0x800;
constexpr uint32_t kUnmappedFlag = 0x10000;
struct SbcsDerived {
    uint32_t utf8[256];
    uint32_t ucs2[256];  // the unit, with kUnmappedFlag when it is a substitution
    uint8_t substituted[256];
    uint8_t fromLow[kLowRange];
    uint8_t fromLowSubstituted[kLowRange];
    bool latin1;  // every byte is the character of its own value (ISO 8859-1)
};

const SbcsDerived &derivedOf(const uc_ch_t *h) {
    return *reinterpret_cast<const SbcsDerived *>(h->table + derivedOffset(h->table_size));
}

// ASCII-based pages (family 1) keep ASCII bytes as they are, so blocks of
// them are copied whole; EBCDIC pages look every byte up.
template <bool kAsciiIdentity>
int sbcsToUtf8(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint8_t **out,
               uint8_t *outEnd) {
    if (resetOnNull(*in, h->to_state)) return ZIL_CONV_DONE;
    const SbcsDerived &d = derivedOf(h);
    const uint8_t *p = *in;
    uint8_t *o = *out;
    unsigned substituted = 0;
    // Blocks of 16 bytes: copied when all ASCII, else looked up byte by
    // byte; four bytes of room per byte: store the whole word, advance by
    // the length.
    while (static_cast<size_t>(inEnd - p) >= kAsciiBlock && outEnd - o >= 4 * 16) {
        if (kAsciiIdentity && copyAsciiBlock(p, o)) {
            p += kAsciiBlock;
            o += kAsciiBlock;
            continue;
        }
        for (size_t i = 0; i < kAsciiBlock; ++i) {
            const uint32_t entry = d.utf8[*p];
            substituted += d.substituted[*p++];
            std::memcpy(o, &entry, 4);
            o += entry >> 24;
        }
    }
    while (p < inEnd && outEnd - o >= 4) {
        const uint32_t entry = d.utf8[*p];
        substituted += d.substituted[*p++];
        std::memcpy(o, &entry, 4);
        o += entry >> 24;
    }
    int result = ZIL_CONV_DONE;
    for (; p < inEnd; ++p) {
        const uint32_t entry = d.utf8[*p];
        const size_t length = entry >> 24;
        if (static_cast<size_t>(outEnd - o) < length) {
            result = ZIL_CONV_OUTPUT_FULL;
            break;
        }
        std::memcpy(o, &entry, length);
        o += length;
        substituted += d.substituted[*p];
    }
    h->subst_count = static_cast<uint16_t>(h->subst_count + substituted);
    *in = p;
    *out = o;
    return result;
}

// A block of 16 bytes is 16 loads from the page's unit table and 16
// stores, with no branch per byte; the entries of unmapped bytes carry a
// flag, gathered by OR, and only a block that raised it is looked at again
// to count its substitutions.
template <bool kAsciiIdentity>
int sbcsToUcs2(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint16_t **out,
               uint16_t *outEnd) {
    if (resetOnNull(*in, h->to_state)) return ZIL_CONV_DONE;
    const SbcsDerived &d = derivedOf(h);
    const uint8_t *p = *in;
    uint16_t *o = *out;
    const size_t n = std::min(static_cast<size_t>(inEnd - p), static_cast<size_t>(outEnd - o));
    unsigned substituted = 0;
    const auto countSubstituted = [&](size_t from, size_t to) {
        for (size_t k = from; k < to; ++k)
            substituted += d.substituted[p[k]];
    };
    size_t i = 0;
    if (kAsciiIdentity && d.latin1) {  // every byte widened as it is
        for (; n - i >= kAsciiBlock; i += kAsciiBlock)
            widenBlock(p + i, o + i);
    }
    for (; n - i >= kAsciiBlock; i += kAsciiBlock) {
        uint32_t flags = 0;
        for (size_t k = i; k < i + kAsciiBlock; ++k) {
            const uint32_t entry = d.ucs2[p[k]];
            o[k] = static_cast<uint16_t>(entry);
            flags |= entry;
        }
        if (flags > 0xFFFF) countSubstituted(i, i + kAsciiBlock);
    }
    for (size_t k = i; k < n; ++k)
        o[k] = static_cast<uint16_t>(d.ucs2[p[k]]);
    countSubstituted(i, n);
    h->subst_count = static_cast<uint16_t>(h->subst_count + substituted);
    *in = p + n;
    *out = o + n;
    return p + n < inEnd ? ZIL_CONV_OUTPUT_FULL : ZIL_CONV_DONE;
}

template <class Decoder, class Encoder>
void deriveWith(const Decoder &decoder, const Encoder &encoder, SbcsDerived &d) {
    for (uint32_t value = 0; value < kLowRange; ++value) {
        const uint16_t before = encoder.handle->subst_count;
        uint8_t *o = &d.fromLow[value];
        encoder.encode(value, o, o + 1);
        d.fromLowSubstituted[value] = encoder.handle->subst_count != before ? 1 : 0;
    }
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = static_cast<uint8_t>(b);
        const uint8_t *p = &byte;
        uint32_t value = 0;
        decoder.decode(p, p + 1, value);
        d.substituted[b] = value == kInvalid ? 1 : 0;
        if (value == kInvalid) value = '?';
        d.ucs2[b] = value | (d.substituted[b] != 0 ? kUnmappedFlag : 0);
        uint8_t bytes[4] = {};
        uint8_t *o = bytes;
        uc_ch_t scratch{};
        Utf8Encoder(&scratch).encode(value, o, bytes + 4);
        const uint32_t length = static_cast<uint32_t>(o - bytes);
        d.utf8[b] = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (length << 24);
    }
    d.latin1 = true;
    for (int b = 0; b < 256; ++b)
        d.latin1 = d.latin1 && d.ucs2[b] == static_cast<uint32_t>(b);
}

// One- and two-byte characters go through the derived table; anything
// else through the general decoder and encoder, one character at a time.
template <class Encoder>
int sbcsFromUtf8(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint8_t **out,
                 uint8_t *outEnd) {
    if (resetOnNull(*in, h->from_state)) return ZIL_CONV_DONE;
    const SbcsDerived &d = derivedOf(h);
    Utf8Decoder decoder;
    Encoder encoder(h);
    const uint8_t *p = *in;
    uint8_t *o = *out;
    unsigned substituted = 0;
    int result = ZIL_CONV_DONE;
    while (p < inEnd) {
        if (o >= outEnd) {
            result = ZIL_CONV_OUTPUT_FULL;
            break;
        }
        const uint8_t lead = *p;
        if (lead < 0x80) {
            if constexpr (std::is_same_v<Encoder, AsciiSbcsEncoder>) {
                copyAsciiRun(p, inEnd, o, outEnd);
            } else {
                *o++ = d.fromLow[lead];
                ++p;
            }
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF && inEnd - p >= 2 && (p[1] & 0xC0) == 0x80) {
            const uint32_t value = ((lead & 0x1Fu) << 6) | (p[1] & 0x3Fu);
            *o++ = d.fromLow[value];
            substituted += d.fromLowSubstituted[value];
            p += 2;
            continue;
        }
        uint32_t value = 0;
        if (decoder.decode(p, inEnd, value) == Step::Incomplete) {
            result = ZIL_CONV_INCOMPLETE;
            break;
        }
        encoder.encode(value, o, outEnd);  // one byte: always fits
    }
    h->subst_count = static_cast<uint16_t>(h->subst_count + substituted);
    *in = p;
    *out = o;
    return result;
}

}  // namespace

size_t sbcsDerivedSize() { return sizeof(SbcsDerived); }

void buildSbcsDerived(uint16_t kind, const unsigned char *table, unsigned char *derived) {
    uc_ch_t handle{};
    handle.table = table;
    const SbcsTable t(&handle);
    auto &d = *reinterpret_cast<SbcsDerived *>(derived);
    if (kind == ZIL_KIND_EBCDIC_SBCS)
        deriveWith(EbcdicSbcsDecoder{t}, EbcdicSbcsEncoder(&handle), d);
    else
        deriveWith(AsciiSbcsDecoder{t}, AsciiSbcsEncoder(&handle), d);
}

const FamilyOps kAsciiSbcsOps = {
    sbcsToUtf8<true>, sbcsFromUtf8<AsciiSbcsEncoder>, sbcsToUcs2<true>,
    convertWith<Ucs2UnitDecoder, AsciiSbcsEncoder, &uc_ch_t::from_state>};
const FamilyOps kEbcdicSbcsOps = {
    sbcsToUtf8<false>, sbcsFromUtf8<EbcdicSbcsEncoder>, sbcsToUcs2<false>,
    convertWith<Ucs2UnitDecoder, EbcdicSbcsEncoder, &uc_ch_t::from_state>};

}  // namespace zil
