// The ASCII-based multi-byte family (3): a length per first byte; longer
// characters walk a tree of nodes, one node per following byte. Out of
// Unicode, each character has a prefix record (its leading bytes) and its
// last two bytes.

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>

#include "zil_codec.h"
#include "zil_table.h"

namespace zil {
namespace {

constexpr uint8_t kInvalidLength = 255;
constexpr int kMaxLength = 4;

struct MbcsTable {
    const unsigned char *table;
    size_t area;
    explicit MbcsTable(const uc_ch_t *h) : table(h->table), area(readU32(h->table, kAreaOffset)) {}
    size_t node(uint16_t number) const { return area + 4 * static_cast<size_t>(number); }
    // One step of the walk: what the node holds for `byte` (a node or, at
    // the last level, a value), or kUnmapped.
    uint16_t child(uint16_t number, uint8_t byte) const {
        if (number == kUnmapped) return kUnmapped;
        const size_t at = node(number);
        const uint16_t count = readU16(table, at), first = readU16(table, at + 2);
        if (byte < first || byte - first >= count) return kUnmapped;
        return readU16(table, at + 4 + 2 * static_cast<size_t>(byte - first));
    }
};

struct MbcsDecoder {
    static constexpr bool kAsciiTransparent = true;
    MbcsTable t;
    explicit MbcsDecoder(uc_ch_t *h) : t(h) {}

    // The common two-byte character, both bytes present: the walk below
    // without its checks for a short input.
    Step decodePair(const uint8_t *&p, uint32_t &value) const {
        const uint8_t trail = p[1];
        if (trail < kLowestTrail) {
            ++p;
            return Step::Char;
        }
        const uint16_t v = t.child(readU16(t.table, kToUnicodeOffset + 2 * size_t{p[0]}), trail);
        if (v != kUnmapped) value = v;
        p += 2;
        return Step::Char;
    }

    Step decode(const uint8_t *&p, const uint8_t *end, uint32_t &value) const {
        const uint8_t b = *p;
        const uint8_t length = t.table[kByteInfoOffset + b];
        value = kInvalid;
        if (length == 0 || length == kInvalidLength || length > kMaxLength) {
            ++p;
            return Step::Char;
        }
        if (length == 1) {
            const uint16_t v = readU16(t.table, kToUnicodeOffset + 2 * b);
            if (v != kUnmapped) value = v;
            ++p;
            return Step::Char;
        }
        if (length == 2 && end - p >= 2) return decodePair(p, value);
        // A byte below 0x40 continues no character: the bytes before it are
        // one invalid character, and it is read afresh.
        const int available = static_cast<int>(std::min<ptrdiff_t>(length, end - p));
        for (int i = 1; i < available; ++i)
            if (p[i] < kLowestTrail) {
                p += i;
                return Step::Char;
            }
        if (end - p < length) return Step::Incomplete;
        uint16_t current = readU16(t.table, kToUnicodeOffset + 2 * b);
        for (int i = 1; i < length && current != kUnmapped; ++i)
            current = t.child(current, p[i]);
        if (current != kUnmapped) value = current;
        p += length;  // an unmapped character still consumes all its bytes
        return Step::Char;
    }
};

struct MbcsEncoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    MbcsTable t;
    explicit MbcsEncoder(uc_ch_t *h) : handle(h), t(h) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *end) const {
        uint16_t prefix = kUnmapped, last = 0;
        if (value <= 0xFFFF) {
            const size_t entry =
                t.node(readU16(t.table, kFromRowsOffset + 2 * (value >> 8))) + 4 * (value & 0xFF);
            prefix = readU16(t.table, entry);
            last = readU16(t.table, entry + 2);
        }
        if (prefix == kUnmapped) {
            *o++ = '?';
            ++handle->subst_count;
            return true;
        }
        if (last < 256) {
            *o++ = static_cast<uint8_t>(last);
            return true;
        }
        const size_t record = t.area + 16 * static_cast<size_t>(prefix);
        const uint16_t count = readU16(t.table, record + 14);
        if (static_cast<size_t>(end - o) < count + 2u) return false;
        for (uint16_t i = 0; i < count; ++i)
            *o++ = t.table[record + i];
        *o++ = static_cast<uint8_t>(last >> 8);
        *o++ = static_cast<uint8_t>(last);
        return true;
    }
};

constexpr auto to = &uc_ch_t::to_state;
constexpr auto from = &uc_ch_t::from_state;

// A node tree of `depth` more levels lies inside the table (each node once).
bool treeFits(const unsigned char *table, size_t size, size_t area, uint16_t number, int depth,
              std::set<std::pair<uint16_t, int>> &seen) {
    if (!seen.insert({number, depth}).second) return true;
    const size_t at = area + 4 * static_cast<size_t>(number);
    if (at + 4 > size) return false;
    const uint16_t count = readU16(table, at);
    if (at + 4 + 2 * static_cast<size_t>(count) > size) return false;
    if (depth == 1) return true;
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t next = readU16(table, at + 4 + 2 * static_cast<size_t>(i));
        if (next != kUnmapped && !treeFits(table, size, area, next, depth - 1, seen)) return false;
    }
    return true;
}

}  // namespace

const FamilyOps kAsciiMbcsOps = {
    convertWith<MbcsDecoder, Utf8Encoder, to>, convertWith<Utf8Decoder, MbcsEncoder, from>,
    convertWith<MbcsDecoder, Ucs2Encoder, to>, convertWith<Ucs2UnitDecoder, MbcsEncoder, from>};

bool mbcsFits(const unsigned char *table, size_t size) {
    const size_t area = readU32(table, kAreaOffset);
    if (area > size) return false;
    std::set<uint16_t> prefixes;
    for (size_t high = 0; high < 256; ++high) {
        const size_t row =
            area + 4 * static_cast<size_t>(readU16(table, kFromRowsOffset + 2 * high));
        if (row > size || size - row < 1024) return false;
        for (size_t low = 0; low < 256; ++low) {
            const uint16_t prefix = readU16(table, row + 4 * low);
            if (prefix != kUnmapped) prefixes.insert(prefix);
        }
    }
    for (uint16_t prefix : prefixes) {
        const size_t record = area + 16 * static_cast<size_t>(prefix);
        if (record + 16 > size || readU16(table, record + 14) > 14) return false;
    }
    std::set<std::pair<uint16_t, int>> seen;
    for (size_t b = 0; b < 256; ++b) {
        const uint8_t length = table[kByteInfoOffset + b];
        if (length < 2 || length > kMaxLength) continue;
        if (!treeFits(table, size, area, readU16(table, kToUnicodeOffset + 2 * b), length - 1,
                      seen))
            return false;
    }
    return true;
}

}  // namespace zil
