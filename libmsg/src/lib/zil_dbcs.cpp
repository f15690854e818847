// The ASCII-based double-byte family (2): lead-byte rows.
//
// Into Unicode, the byte type decides (1 single, 2 lead, else invalid);
// a single byte reads the single-byte row (entry 0 of the array at 736), a
// lead byte and its trail read the lead byte's row. A byte below 0x40 is
// never a trail: after a lead byte it makes the lead one invalid character
// and is read afresh, so a line end or a delimiter is never swallowed. Out
// of Unicode, a row per high byte gives a two-byte result, written as one
// byte below 256. ASCII bytes are themselves (the table compiler checks
// it), so runs of them are copied without lookups.
//
// Into Unicode, the value of every single byte and of every pair is
// derived at load into one table keyed by two bytes (zil_pairblock.h), so a
// character costs its bytes' lead flag and one load, and mixed text is
// decoded a block at a time.

#include <cstddef>

#include "zil_codec.h"
#include "zil_pairblock.h"
#include "zil_table.h"

namespace zil {
namespace {

// Per first byte whether it leads; the values of bytes and pairs.
struct DbcsDerived {
    uint8_t lead[256];
    PairBlocks blocks;
};

const DbcsDerived &derivedOf(const uc_ch_t *h) {
    return *reinterpret_cast<const DbcsDerived *>(h->table + derivedOffset(h->table_size));
}

struct DbcsDecoder {
    static constexpr bool kAsciiTransparent = true;
    const DbcsDerived &d;
    explicit DbcsDecoder(uc_ch_t *h) : d(derivedOf(h)) {}

    Step decode(const uint8_t *&p, const uint8_t *end, uint32_t &value) const {
        const uint8_t b = *p;
        if (end - p < 2 && d.lead[b]) return Step::Incomplete;
        // A byte below 0x40 is no trail: the lead byte alone is invalid.
        const uint8_t trail = end - p < 2 ? 0 : p[1];
        const bool pair = d.lead[b] & (trail >= kLowestTrail);
        const uint16_t result = d.blocks.values[b | (pair ? size_t{trail} << 8 : 0)];
        p += 1 + static_cast<int>(pair);
        value = result == kUnmapped ? kInvalid : result;
        return Step::Char;
    }

#if ZIL_ASCII_BLOCKS
    size_t decodeBlock(const uint8_t *p, uint16_t *units, size_t &count) const {
        return d.blocks.decode(p, units, count);
    }
#endif
};

struct DbcsEncoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    RowArea t;
    explicit DbcsEncoder(uc_ch_t *h) : handle(h), t(h->table) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *end) const {
        uint16_t result = kUnmapped;
        if (value <= 0xFFFF)
            result = t.at(readU16(t.table, kFromRowsOffset + 2 * (value >> 8)), value & 0xFF);
        if (result == kUnmapped) {
            *o++ = '?';
            ++handle->subst_count;
            return true;
        }
        if (result < 256) {
            *o++ = static_cast<uint8_t>(result);
            return true;
        }
        if (end - o < 2) return false;
        o[0] = static_cast<uint8_t>(result >> 8);
        o[1] = static_cast<uint8_t>(result);
        o += 2;
        return true;
    }
};

constexpr auto to = &uc_ch_t::to_state;
constexpr auto from = &uc_ch_t::from_state;

}  // namespace

const FamilyOps kAsciiDbcsOps = {
    convertWith<DbcsDecoder, Utf8Encoder, to>, convertWith<Utf8Decoder, DbcsEncoder, from>,
    convertWith<DbcsDecoder, Ucs2Encoder, to>, convertWith<Ucs2UnitDecoder, DbcsEncoder, from>};

size_t dbcsDerivedSize() { return sizeof(DbcsDerived); }

void buildDbcsDerived(const unsigned char *table, unsigned char *derived) {
    auto &d = *reinterpret_cast<DbcsDerived *>(derived);
    const RowArea rows(table);
    const uint16_t singles = readU16(table, kToUnicodeOffset);
    // Blocks: any byte from 0x40 is a trail; the values as decode() reads
    // them (kUnmapped is kBlockInvalid): a single byte its entry in the
    // single-byte row, a lead byte and a trail the lead's row, anything
    // else unmapped.
    static_assert(kUnmapped == kBlockInvalid);
    PairBlocks &blocks = d.blocks;
    bool leads[256], trails[256];
    for (size_t b = 0; b < 256; ++b) {
        d.lead[b] = table[kByteInfoOffset + b] == 2 ? 1 : 0;
        leads[b] = d.lead[b] != 0;
        trails[b] = b >= kLowestTrail;
    }
    blocks.on = blocks.leads.set(leads) && blocks.trails.set(trails);
    blocks.longCodes = false;
    for (size_t key = 0; key < 65536; ++key) {
        const auto b = static_cast<uint8_t>(key), trail = static_cast<uint8_t>(key >> 8);
        uint16_t value = kUnmapped;
        if (trail == 0 && table[kByteInfoOffset + b] == 1) value = rows.at(singles, b);
        if (leads[b] && trails[trail])
            value = rows.at(readU16(table, kToUnicodeOffset + 2 * size_t{b}), trail);
        blocks.values[key] = value;
    }
}

// Every row a family-2 table can use lies inside it.
bool dbcsRowsFit(const unsigned char *table, TableBounds &bounds) {
    const RowArea rows(table);
    const auto rowFits = [&](uint16_t row) { return bounds.rowWithin(rows, row); };
    for (size_t high = 0; high < 256; ++high)
        if (!rowFits(readU16(table, kFromRowsOffset + 2 * high))) return false;
    if (!rowFits(readU16(table, kToUnicodeOffset))) return false;
    for (size_t b = 0; b < 256; ++b)
        if (table[kByteInfoOffset + b] == 2 && !rowFits(readU16(table, kToUnicodeOffset + 2 * b)))
            return false;
    return true;
}

}  // namespace zil
