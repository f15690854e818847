// GB18030 (family 10): one-, two- and four-byte codes reduced to a linear
// index; range records map indexes below 65535 to Unicode and code points
// of the BMP back; the supplementary planes are computed.
//
// A lead byte whose next bytes cannot continue a code is one invalid byte:
// only it is consumed, so the byte after it (often a line end) survives.
//
// Walking the range records per character is slow for the scattered CJK
// mappings, so both directions are resolved once at load into direct
// arrays kept after the file image (derived data, shared by duplicates).
// Mixed text is decoded a block at a time (zil_pairblock.h) up to the next
// four-byte code.

#include <initializer_list>

#include "zil_codec.h"
#include "zil_pairblock.h"
#include "zil_table.h"

namespace zil {
namespace {

constexpr uint32_t kFourByteStart = 24067;  // linear index of 0x81 0x30 0x81 0x30
constexpr uint32_t kSupplementaryFirst = 213067;
constexpr uint32_t kSupplementaryLast = 1261642;
constexpr uint32_t kSupplementaryShift = 147531;
constexpr uint16_t kEnd = 0xFFFF;

// The six lists of the data area, as positions in bytes from the file start.
struct Gb18030Table {
    const unsigned char *table;
    size_t data;  // the data area
    uint32_t first[6];

    explicit Gb18030Table(const unsigned char *t) : table(t) {
        const size_t sub = readU16(t, kGbHeaderOffset);
        data = sub + 32;
        const size_t positions[6] = {0, 4, 8, 16, 20, 24};
        for (int i = 0; i < 6; ++i)
            first[i] = readU32(t, sub + positions[i]);
    }
    uint16_t at(uint32_t list, size_t index) const {
        return readU16(table, data + 2 * (first[list] + index));
    }
    uint16_t record(uint32_t list, size_t r, int field) const {
        return at(list, 4 * r + static_cast<size_t>(field));
    }
};

enum List {
    FromRanges = 0,
    FromPages = 1,
    FromValues = 2,
    ToRanges = 3,
    ToPages = 4,
    ToValues = 5
};

struct Lookup {
    bool found = false;
    bool single = false;  // from-Unicode only: a single-byte code
    uint32_t result = 0;
    uint16_t type = 0;
};

// Into Unicode: the last record of the block's list that holds the key.
Lookup lookUpTo(const Gb18030Table &t, uint32_t key) {
    Lookup hit;
    for (size_t r = t.at(ToPages, key / 512);; ++r) {
        const uint16_t first = t.record(ToRanges, r, 0);
        if (first == kEnd || key < first) break;
        if (key > t.record(ToRanges, r, 1)) continue;
        const uint16_t type = t.record(ToRanges, r, 2), base = t.record(ToRanges, r, 3);
        hit.found = true;
        hit.type = type;
        hit.result = type == 1 ? t.at(ToValues, base + (key - first)) : base + (key - first);
    }
    return hit;
}

// Out of Unicode: the record that holds the value, found from the block's
// first record.
Lookup lookUpFrom(const Gb18030Table &t, uint32_t value) {
    Lookup hit;
    size_t r = t.at(FromPages, value / 512);
    while (t.record(FromRanges, r, 0) != kEnd && value > t.record(FromRanges, r, 1))
        ++r;
    const uint16_t first = t.record(FromRanges, r, 0);
    if (first == kEnd || value < first) return hit;
    const uint16_t type = t.record(FromRanges, r, 2), base = t.record(FromRanges, r, 3);
    hit.found = true;
    if (type == 1)
        hit.result = t.at(FromValues, base + (value - first));
    else if (type == 2)
        hit.result = base + (value - first);
    if ((type != 1 && type != 2) || hit.result == 0) {
        hit.single = true;
        hit.result = static_cast<uint8_t>(base + (value - first));
    }
    return hit;
}

bool between(uint8_t b, uint8_t low, uint8_t high) { return b >= low && b <= high; }

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kSingleFlag = 0x80000000u;

// Per linear index below 65535: the Unicode value or kNone. Per BMP value:
// the linear index, a single byte with kSingleFlag, or kNone. The one- and
// two-byte codes again as 16-bit values keyed by their bytes (kLookFurther:
// unmapped or U+FFFF, ask toUnicode), half the cache lines for the codes
// most text uses, and what mixed text is decoded with a block at a time.
constexpr uint16_t kLookFurther = 0xFFFF;
struct Gb18030Derived {
    uint32_t toUnicode[65535];
    uint32_t fromUnicode[65536];
    PairBlocks blocks;
};

const Gb18030Derived &derivedOf(const uc_ch_t *h) {
    return *reinterpret_cast<const Gb18030Derived *>(h->table + derivedOffset(h->table_size));
}

struct Gb18030Decoder {
    static constexpr bool kAsciiTransparent = true;
    const Gb18030Derived &d;
    explicit Gb18030Decoder(uc_ch_t *h) : d(derivedOf(h)) {}

    Step decode(const uint8_t *&p, const uint8_t *end, uint32_t &value) const {
        const uint8_t b1 = *p;
        if (b1 < 0x80) {
            value = b1;
            ++p;
            return Step::Char;
        }
        const auto invalid = [&] {
            ++p;
            value = kInvalid;
            return Step::Char;
        };
        if (b1 == 0x80 || b1 == 0xFF) return invalid();
        if (end - p < 2) return Step::Incomplete;
        const uint8_t b2 = p[1];
        if (b2 >= 0x40 && b2 != 0x7F && b2 != 0xFF) {  // two bytes, the common case
            const uint32_t index = (b1 - 0x81u) * 191 + (b2 - 0x3Fu);
            p += 2;
            const uint16_t v = d.blocks.values[b1 | size_t{b2} << 8];
            value = v != kLookFurther             ? v
                    : d.toUnicode[index] != kNone ? d.toUnicode[index]
                                                  : kInvalid;
            return Step::Char;
        }
        // Otherwise four bytes, or one invalid byte.
        if (!between(b2, 0x30, 0x39)) return invalid();
        if (end - p >= 3 && !between(p[2], 0x81, 0xFE)) return invalid();
        if (end - p >= 4 && !between(p[3], 0x30, 0x39)) return invalid();
        if (end - p < 4) return Step::Incomplete;
        const uint32_t index = ((((b1 - 0x80u) * 10 + b2) * 126 + p[2]) * 10 + p[3]) - 50351;
        p += 4;
        value = kInvalid;
        if (index < 65535) {
            if (d.toUnicode[index] != kNone) value = d.toUnicode[index];
        } else if (index >= kSupplementaryFirst && index <= kSupplementaryLast) {
            value = index - kSupplementaryShift;
        }
        return Step::Char;
    }

#if ZIL_ASCII_BLOCKS
    size_t decodeBlock(const uint8_t *p, uint16_t *units, size_t &count) const {
        return d.blocks.decode(p, units, count);
    }
#endif
};

void fourBytes(uint32_t offset, uint8_t *o) {
    o[3] = static_cast<uint8_t>(offset % 10 + 0x30);
    offset /= 10;
    o[2] = static_cast<uint8_t>(offset % 126 + 0x81);
    offset /= 126;
    o[1] = static_cast<uint8_t>(offset % 10 + 0x30);
    o[0] = static_cast<uint8_t>(offset / 10 + 0x81);
}

struct Gb18030Encoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    const Gb18030Derived &d;
    explicit Gb18030Encoder(uc_ch_t *h) : handle(h), d(derivedOf(h)) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *end) const {
        uint8_t code[4];
        size_t length = 0;
        if (value < 0x80) {
            code[length++] = static_cast<uint8_t>(value);
        } else if (value >= 0x10000 && value < 0x110000) {
            fourBytes(value + 123464, code);
            length = 4;
        } else if (value <= 0xFFFF && d.fromUnicode[value] != kNone) {
            const uint32_t r = d.fromUnicode[value];
            if (r & kSingleFlag) {
                code[length++] = static_cast<uint8_t>(r);
            } else if (r < kFourByteStart) {
                code[0] = static_cast<uint8_t>((r - 1) / 191 + 0x81);
                code[1] = static_cast<uint8_t>((r - 1) % 191 + 0x40);
                length = 2;
            } else {
                fourBytes(r - kFourByteStart, code);
                length = 4;
            }
        }
        if (length == 0) {
            *o++ = '?';
            ++handle->subst_count;
            return true;
        }
        if (static_cast<size_t>(end - o) < length) return false;
        for (size_t i = 0; i < length; ++i)
            *o++ = code[i];
        return true;
    }
};

constexpr auto to = &uc_ch_t::to_state;
constexpr auto from = &uc_ch_t::from_state;

// Walks one record list from `start` to its end marker inside the table.
bool listFits(const unsigned char *table, TableBounds &bounds, size_t data, uint32_t ranges,
              uint32_t values, size_t start) {
    for (size_t r = start;; ++r) {
        const size_t at = data + 2 * (static_cast<size_t>(ranges) + 4 * r);
        if (!bounds.within(at, 8)) return false;
        const uint16_t first = readU16(table, at), last = readU16(table, at + 2);
        if (first == kEnd) return true;
        if (last < first) return false;
        if (readU16(table, at + 4) == 1) {
            const size_t end =
                data + 2 * (static_cast<size_t>(values) + readU16(table, at + 6) + (last - first));
            if (!bounds.within(end, 2)) return false;
        }
        if (r > 1u << 20) return false;
    }
}

// Blocks: a lead byte and a two-byte trail are a pair; a lead before a
// digit starts a four-byte code (left to decode()); any other lead, 0x80
// and 0xFF are one invalid byte. A two-byte code whose value does not fit
// 16 bits below U+FFFF turns blocks off (the shipped table has none).
void deriveBlocks(Gb18030Derived &d) {
    PairBlocks &blocks = d.blocks;
    bool leads[256], trails[256], digits[256];
    for (size_t b = 0; b < 256; ++b) {
        leads[b] = between(static_cast<uint8_t>(b), 0x81, 0xFE);
        trails[b] = b >= 0x40 && b != 0x7F && b != 0xFF;
        digits[b] = between(static_cast<uint8_t>(b), 0x30, 0x39);
    }
    blocks.on =
        blocks.leads.set(leads) && blocks.trails.set(trails) && blocks.longSecond.set(digits);
    blocks.longCodes = true;
    static_assert(kLookFurther == kBlockInvalid);
    for (size_t key = 0; key < 65536; ++key) {
        const size_t b = key & 0xFF, trail = key >> 8;
        uint16_t value = kBlockInvalid;
        if (trail == 0 && b < 0x80) value = static_cast<uint16_t>(b);
        if (leads[b] && trails[trail]) {
            const uint32_t index = (b - 0x81u) * 191 + (trail - 0x3Fu);
            const uint32_t found = d.toUnicode[index];
            value = found < kLookFurther ? static_cast<uint16_t>(found) : kLookFurther;
            if (value == kLookFurther && found != kNone) blocks.on = false;
        }
        blocks.values[key] = value;
    }
}

}  // namespace

size_t gb18030DerivedSize() { return sizeof(Gb18030Derived); }

void buildGb18030Derived(const unsigned char *table, unsigned char *derived) {
    const Gb18030Table t(table);
    auto &d = *reinterpret_cast<Gb18030Derived *>(derived);
    for (uint32_t key = 0; key < 65535; ++key) {
        const Lookup hit = lookUpTo(t, key);
        // A type-1 0xFFFF is "unmapped"; a type-2 U+FFFF is a real character.
        d.toUnicode[key] =
            hit.found && !(hit.type == 1 && hit.result == 0xFFFF) ? hit.result : kNone;
    }
    deriveBlocks(d);
    for (uint32_t value = 0; value < 65536; ++value) {
        const Lookup hit = lookUpFrom(t, value);
        d.fromUnicode[value] = !hit.found   ? kNone
                               : hit.single ? (kSingleFlag | hit.result)
                                            : hit.result;
    }
}

const FamilyOps kGb18030Ops = {convertWith<Gb18030Decoder, Utf8Encoder, to>,
                               convertWith<Utf8Decoder, Gb18030Encoder, from>,
                               convertWith<Gb18030Decoder, Ucs2Encoder, to>,
                               convertWith<Ucs2PairDecoder, Gb18030Encoder, from>};

bool gb18030Fits(const unsigned char *table, TableBounds &bounds) {
    const size_t sub = readU16(table, kGbHeaderOffset);
    if (sub < kMinTableSize - 256 || !bounds.within(sub, 32)) return false;
    const Gb18030Table t(table);
    for (int list : {FromPages, ToPages}) {
        const size_t pages = t.data + 2 * static_cast<size_t>(t.first[list]);
        if (t.first[list] > bounds.size || !bounds.within(pages, 2 * 128)) return false;
    }
    for (size_t block = 0; block < 128; ++block) {
        if (!listFits(table, bounds, t.data, t.first[FromRanges], t.first[FromValues],
                      t.at(FromPages, block)) ||
            !listFits(table, bounds, t.data, t.first[ToRanges], t.first[ToValues],
                      t.at(ToPages, block)))
            return false;
    }
    return true;
}

}  // namespace zil
