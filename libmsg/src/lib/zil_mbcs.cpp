// The ASCII-based multi-byte family (3): a length per first byte; longer
// characters walk a tree of nodes, one node per following byte. Out of
// Unicode, each character has a prefix record (its leading bytes) and its
// last two bytes.
//
// Into Unicode, the walk's results for every two- and three-byte
// character are derived at load (two tables of 64 Ki values, keyed by two
// bytes; 256 KiB per handle, shared by duplicates), so the common
// characters cost one load, and mixed text is decoded a block at a time.

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>

#include "zil_codec.h"
#include "zil_pairblock.h"
#include "zil_table.h"

namespace zil {
namespace {

constexpr uint8_t kInvalidLength = 255;
constexpr int kMaxLength = 4;

struct MbcsTable {
    const unsigned char *table;
    size_t area;
    explicit MbcsTable(const unsigned char *tableImage)
        : table(tableImage), area(readU32(tableImage, kAreaOffset)) {}
    explicit MbcsTable(const uc_ch_t *h) : MbcsTable(h->table) {}
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

// For mixed text, derived at load: the first bytes of two- and of
// three-byte characters as byte ranges, and the values decode() gives,
// keyed by two bytes (see decodeBlock). Blocks are on when the table has
// no four-byte characters and one first byte of three-byte ones at most
// (EUC-JP's 0x8F).
struct MbcsBlocks {
    bool on;
    bool hasThree;
    ByteRanges two;
    ByteRanges three;
    // By first byte | second << 8: a two-byte character, or (second 0) a
    // byte alone; then, from 65536, by second byte | third << 8: the
    // three-byte characters. kBlockInvalid for what decodes to a
    // substitution.
    uint16_t values[2 * 65536];
};

const MbcsBlocks &blocksOf(const uc_ch_t *h) {
    return *reinterpret_cast<const MbcsBlocks *>(h->table + derivedOffset(h->table_size));
}

struct MbcsDecoder {
    static constexpr bool kAsciiTransparent = true;
    MbcsTable t;
    const MbcsBlocks &blocks;
    explicit MbcsDecoder(uc_ch_t *h) : t(h), blocks(blocksOf(h)) {}

#if ZIL_ASCII_BLOCKS
    // decode() over a block with no branch on a character's length. The
    // bytes that could start a character of each length are found for all
    // 16 at once (with the rule that a byte below 0x40 continues none), and
    // with them each byte's length and table key; then a walk from start
    // to start reads one value per character (the only branch: the block's
    // end).
    size_t decodeBlock(const uint8_t *p, uint16_t *units, size_t &count) const {
        if (!blocks.on) return 0;
        const __m128i bytes = PairBlocks::load(p);
        const __m128i next = PairBlocks::load(p + 1);
        const __m128i after = PairBlocks::load(p + 2);
        const __m128i lowest = _mm_set1_epi8(kLowestTrail);
        const __m128i nextContinues = _mm_cmpeq_epi8(_mm_max_epu8(next, lowest), next);
        const __m128i afterContinues = _mm_cmpeq_epi8(_mm_max_epu8(after, lowest), after);
        const __m128i two = _mm_and_si128(PairBlocks::in(blocks.two, bytes), nextContinues);
        const __m128i three =
            blocks.hasThree ? _mm_and_si128(PairBlocks::in(blocks.three, bytes), nextContinues)
                            : _mm_setzero_si128();
        // Two bytes for one character, and three.
        const __m128i pairs = _mm_or_si128(two, _mm_andnot_si128(afterContinues, three));
        const __m128i triples = _mm_and_si128(three, afterContinues);
        alignas(16) uint8_t lengths[kAsciiBlock];
        _mm_store_si128(
            reinterpret_cast<__m128i *>(lengths),
            _mm_add_epi8(_mm_set1_epi8(1), _mm_or_si128(_mm_and_si128(pairs, _mm_set1_epi8(1)),
                                                        _mm_and_si128(triples, _mm_set1_epi8(2)))));
        // Keys into `values`: a byte alone, a byte and the next (pairs), or
        // the two bytes after a three-byte character's first (triples, in
        // the second half).
        const __m128i seconds = _mm_and_si128(next, pairs);
        const __m128i pairKeysLow = _mm_unpacklo_epi8(bytes, seconds);
        const __m128i pairKeysHigh = _mm_unpackhi_epi8(bytes, seconds);
        const __m128i tripleKeysLow = _mm_unpacklo_epi8(next, after);
        const __m128i tripleKeysHigh = _mm_unpackhi_epi8(next, after);
        const __m128i tripleLow = _mm_unpacklo_epi8(triples, triples);
        const __m128i tripleHigh = _mm_unpackhi_epi8(triples, triples);
        const __m128i keysLow = select(tripleLow, tripleKeysLow, pairKeysLow);
        const __m128i keysHigh = select(tripleHigh, tripleKeysHigh, pairKeysHigh);
        const __m128i plane = _mm_set1_epi16(1);
        alignas(16) uint32_t keys[kAsciiBlock];
        storeKeys(keys, keysLow, _mm_and_si128(tripleLow, plane));
        storeKeys(keys + 8, keysHigh, _mm_and_si128(tripleHigh, plane));
        size_t i = 0, k = 0;
        while (i < kAsciiBlock) {
            units[k++] = blocks.values[keys[i]];
            i += lengths[i];
        }
        count = k;
        return i;
    }

    static __m128i select(__m128i mask, __m128i ifSet, __m128i otherwise) {
        return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
    }
    // Eight 16-bit keys with their 16-bit planes above them.
    static void storeKeys(uint32_t *keys, __m128i low16, __m128i planes) {
        _mm_store_si128(reinterpret_cast<__m128i *>(keys), _mm_unpacklo_epi16(low16, planes));
        _mm_store_si128(reinterpret_cast<__m128i *>(keys + 4), _mm_unpackhi_epi16(low16, planes));
    }
#endif

    // The common two- and three-byte characters, all their bytes present:
    // the walk below, read from its results derived at load.
    Step decodeDerived(const uint8_t *&p, uint8_t length, uint32_t &value) const {
        const uint8_t second = p[1];
        if (second < kLowestTrail) {
            ++p;
            return Step::Char;
        }
        size_t key = p[0] | size_t{second} << 8;
        if (length == 3) {
            if (p[2] < kLowestTrail) {
                p += 2;
                return Step::Char;
            }
            key = 65536 + (second | size_t{p[2]} << 8);
        }
        const uint16_t v = blocks.values[key];
        if (v != kUnmapped) value = v;
        p += length;
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
        if ((length == 2 || (length == 3 && blocks.hasThree)) && end - p >= length)
            return decodeDerived(p, length, value);
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
bool treeFits(const unsigned char *table, TableBounds &bounds, size_t area, uint16_t number,
              int depth, std::set<std::pair<uint16_t, int>> &seen) {
    if (!seen.insert({number, depth}).second) return true;
    const size_t at = area + 4 * static_cast<size_t>(number);
    if (!bounds.within(at, 4)) return false;
    const uint16_t count = readU16(table, at);
    if (!bounds.within(at + 4, 2 * static_cast<size_t>(count))) return false;
    if (depth == 1) return true;
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t next = readU16(table, at + 4 + 2 * static_cast<size_t>(i));
        if (next != kUnmapped && !treeFits(table, bounds, area, next, depth - 1, seen))
            return false;
    }
    return true;
}

}  // namespace

const FamilyOps kAsciiMbcsOps = {
    convertWith<MbcsDecoder, Utf8Encoder, to>, convertWith<Utf8Decoder, MbcsEncoder, from>,
    convertWith<MbcsDecoder, Ucs2Encoder, to>, convertWith<Ucs2UnitDecoder, MbcsEncoder, from>};

size_t mbcsDerivedSize() { return sizeof(MbcsBlocks); }

void buildMbcsDerived(const unsigned char *table, unsigned char *derived) {
    auto &blocks = *reinterpret_cast<MbcsBlocks *>(derived);
    const MbcsTable t(table);
    bool twos[256], threes[256];
    int threeFirsts = 0, threeFirst = 0;
    bool longer = false;
    for (size_t b = 0; b < 256; ++b) {
        const uint8_t length = table[kByteInfoOffset + b];
        twos[b] = length == 2;
        threes[b] = length == 3;
        if (threes[b]) {
            ++threeFirsts;
            threeFirst = static_cast<int>(b);
        }
        if (length == 4) longer = true;
    }
    const auto root = [&](size_t b) { return readU16(table, kToUnicodeOffset + 2 * b); };
    blocks.hasThree = threeFirsts == 1;
    blocks.on = !longer && threeFirsts <= 1 && blocks.two.set(twos) &&
                (!blocks.hasThree || blocks.three.set(threes));
    static_assert(kUnmapped == kBlockInvalid);
    for (size_t key = 0; key < 65536; ++key) {
        const size_t b = key & 0xFF, second = key >> 8;
        uint16_t value = kUnmapped;
        const uint8_t length = table[kByteInfoOffset + b];
        if (second == 0 && length == 1) value = root(b);
        if (length == 2 && second >= kLowestTrail)
            value = t.child(root(b), static_cast<uint8_t>(second));
        blocks.values[key] = value;
        blocks.values[65536 + key] =
            threeFirsts == 1 && b >= kLowestTrail && second >= kLowestTrail
                ? t.child(t.child(root(static_cast<size_t>(threeFirst)), static_cast<uint8_t>(b)),
                          static_cast<uint8_t>(second))
                : kUnmapped;
    }
}

bool mbcsFits(const unsigned char *table, TableBounds &bounds) {
    const size_t area = readU32(table, kAreaOffset);
    if (area > bounds.size) return false;
    std::set<uint16_t> prefixes;
    for (size_t high = 0; high < 256; ++high) {
        const size_t row =
            area + 4 * static_cast<size_t>(readU16(table, kFromRowsOffset + 2 * high));
        if (!bounds.within(row, 1024)) return false;
        for (size_t low = 0; low < 256; ++low) {
            const uint16_t prefix = readU16(table, row + 4 * low);
            if (prefix != kUnmapped) prefixes.insert(prefix);
        }
    }
    for (uint16_t prefix : prefixes) {
        const size_t record = area + 16 * static_cast<size_t>(prefix);
        if (!bounds.within(record, 16) || readU16(table, record + 14) > 14) return false;
    }
    std::set<std::pair<uint16_t, int>> seen;
    for (size_t b = 0; b < 256; ++b) {
        const uint8_t length = table[kByteInfoOffset + b];
        if (length < 2 || length > kMaxLength) continue;
        if (!treeFits(table, bounds, area, readU16(table, kToUnicodeOffset + 2 * b), length - 1,
                      seen))
            return false;
    }
    return true;
}

}  // namespace zil
