// The ASCII-based double-byte family (2): lead-byte rows.
//
// Into Unicode, the byte type decides (1 single, 2 lead, else invalid);
// a single byte reads the single-byte row (entry 0 of the array at 736), a
// lead byte and its trail read the lead byte's row. A byte below 0x40 is
// never a trail: after a lead byte it makes the lead one invalid character
// and is read afresh, so a line end or a delimiter is never swallowed. Out of Unicode, a row
// per high byte gives a two-byte result, written as one byte below 256.
// ASCII bytes are themselves (the table compiler checks it), so runs of
// them are copied without lookups.

#include "zil_codec.h"
#include "zil_table.h"

namespace zil {
namespace {

struct DbcsDecoder {
    static constexpr bool kAsciiTransparent = true;
    RowArea t;
    explicit DbcsDecoder(uc_ch_t *h) : t(h->table) {}

    Step decode(const uint8_t *&p, const uint8_t *end, uint32_t &value) const {
        const uint8_t b = *p;
        const uint8_t type = t.table[kByteInfoOffset + b];
        uint16_t result = kUnmapped;
        if (type == 1) {
            result = t.at(readU16(t.table, kToUnicodeOffset), b);
            ++p;
        } else if (type == 2) {
            if (end - p < 2) return Step::Incomplete;
            if (p[1] < kLowestTrail) {  // no trail: the lead byte alone is invalid
                ++p;
            } else {
                result = t.at(readU16(t.table, kToUnicodeOffset + 2 * b), p[1]);
                p += 2;
            }
        } else {
            ++p;
        }
        value = result == kUnmapped ? kInvalid : result;
        return Step::Char;
    }
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

// Every row a family-2 table can use lies inside it.
bool dbcsRowsFit(const unsigned char *table, size_t size) {
    const RowArea rows(table);
    const auto rowFits = [&](uint16_t row) { return rows.fits(row, size); };
    for (size_t high = 0; high < 256; ++high)
        if (!rowFits(readU16(table, kFromRowsOffset + 2 * high))) return false;
    if (!rowFits(readU16(table, kToUnicodeOffset))) return false;
    for (size_t b = 0; b < 256; ++b)
        if (table[kByteInfoOffset + b] == 2 && !rowFits(readU16(table, kToUnicodeOffset + 2 * b)))
            return false;
    return true;
}

}  // namespace zil
