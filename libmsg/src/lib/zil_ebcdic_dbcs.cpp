// The EBCDIC double-byte family (4): shift-out (0x0E) enters double-byte
// mode, shift-in (0x0F) leaves it; the mode of each direction lives in the
// handle (to_state: out of the codeset, from_state: into it), so text may
// arrive and leave in pieces. Rows as in family 2; single bytes flagged
// invariant read the built-in EBCDIC table.
//
// Every single-byte result written in double-byte mode is preceded by the
// shift-in, the substitute 0x6F included: written bare, it would pair with
// the next byte and garble the rest of the text.

#include "zil_codec.h"
#include "zil_ebcdic.h"
#include "zil_table.h"

namespace zil {
namespace {

constexpr uint8_t kShiftOut = 0x0E;
constexpr uint8_t kShiftIn = 0x0F;
constexpr uint8_t kSubstitute = 0x6F;

struct EbcdicDbcsDecoder {
    uc_ch_t *handle;
    RowArea rows;
    explicit EbcdicDbcsDecoder(uc_ch_t *h) : handle(h), rows(h->table) {}

    Step decode(const uint8_t *&p, const uint8_t *end, uint32_t &value) const {
        const uint8_t b = *p;
        uint16_t result;
        if (handle->to_state == 0) {
            if (b == kShiftOut) {
                handle->to_state = 1;
                ++p;
                return Step::Nothing;
            }
            result = invar_eb_to_ucs[b] ? def_eb_to_ucs[b]
                                        : rows.at(readU16(rows.table, kToUnicodeOffset), b);
            ++p;
        } else if (b == kShiftIn) {
            handle->to_state = 0;
            ++p;
            return Step::Nothing;
        } else if (b < 0x40 || b == 0xFF) {  // a control byte inside a double-byte run
            result = def_eb_to_ucs[b];
            ++p;
        } else {
            if (end - p < 2) return Step::Incomplete;
            result = rows.at(readU16(rows.table, kToUnicodeOffset + 2 * b), p[1]);
            p += 2;
        }
        value = result == kUnmapped ? kInvalid : result;
        return Step::Char;
    }
};

struct EbcdicDbcsEncoder {
    uc_ch_t *handle;
    RowArea rows;
    explicit EbcdicDbcsEncoder(uc_ch_t *h) : handle(h), rows(h->table) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *end) const {
        uint16_t result = kUnmapped;
        if (value <= 0xFFFF)
            result = rows.at(readU16(rows.table, kFromRowsOffset + 2 * (value >> 8)), value & 0xFF);
        const bool substitute = result == kUnmapped;
        if (substitute) result = kSubstitute;
        const bool doubleByte = result >= 256;
        const bool shift = doubleByte != (handle->from_state == 1);
        const size_t needed = (doubleByte ? 2 : 1) + (shift ? 1 : 0);
        if (static_cast<size_t>(end - o) < needed) return false;
        if (shift) {
            *o++ = doubleByte ? kShiftOut : kShiftIn;
            handle->from_state = doubleByte ? 1 : 0;
        }
        if (doubleByte) *o++ = static_cast<uint8_t>(result >> 8);
        *o++ = static_cast<uint8_t>(result);
        if (substitute) ++handle->subst_count;
        return true;
    }
};

// Into the codeset with a null input: close a double-byte run.
template <class Decoder, class In>
int fromWithFlush(uc_ch_t *h, const In **in, const In *inEnd, uint8_t **out, uint8_t *outEnd) {
    if (*in == nullptr) {
        if (h->from_state == 1) {
            if (*out >= outEnd) return ZIL_CONV_OUTPUT_FULL;
            *(*out)++ = kShiftIn;
        }
        h->from_state = 0;
        return ZIL_CONV_DONE;
    }
    Decoder decoder = makeCodec<Decoder>(h);
    EbcdicDbcsEncoder encoder(h);
    return runConversion(decoder, encoder, in, inEnd, out, outEnd);
}

constexpr auto to = &uc_ch_t::to_state;

}  // namespace

const FamilyOps kEbcdicDbcsOps = {
    convertWith<EbcdicDbcsDecoder, Utf8Encoder, to>, fromWithFlush<Utf8Decoder, uint8_t>,
    convertWith<EbcdicDbcsDecoder, Ucs2Encoder, to>, fromWithFlush<Ucs2UnitDecoder, uint16_t>};

// Every row a family-4 table can use lies inside it.
bool ebcdicDbcsRowsFit(const unsigned char *table, TableBounds &bounds) {
    const RowArea rows(table);
    const auto rowFits = [&](uint16_t row) { return bounds.rowWithin(rows, row); };
    for (size_t i = 0; i < 256; ++i)
        if (!rowFits(readU16(table, kFromRowsOffset + 2 * i)) ||
            !rowFits(readU16(table, kToUnicodeOffset + 2 * i)))
            return false;
    return true;
}

}  // namespace zil
