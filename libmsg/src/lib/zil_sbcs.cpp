// Single-byte families: ASCII-based (family 1) and EBCDIC (family 8).
//
// From Unicode, a row per high byte holds the result byte per low byte; the
// codeset's substitution byte in a row means "no mapping" unless the source
// character is the one that legitimately maps to it. EBCDIC invariant
// characters use the built-in tables whatever the code page.

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
    static constexpr bool kAsciiTransparent = true;
    SbcsTable table;

    Step decode(const uint8_t *&p, const uint8_t *, uint32_t &value) const {
        const uint8_t byte = *p++;
        value = byte < 0x80 ? byte : table.toUnicode(byte);
        return Step::Char;
    }
};

struct AsciiSbcsEncoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    SbcsTable table;

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

template <class Decoder>
int sbcsToUtf8(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint8_t **out,
               uint8_t *outEnd) {
    if (resetOnNull(*in, h->to_state)) return ZIL_CONV_DONE;
    Decoder decoder{SbcsTable(h)};
    Utf8Encoder encoder{h};
    return runConversion(decoder, encoder, in, inEnd, out, outEnd);
}

template <class Decoder>
int sbcsToUcs2(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint16_t **out,
               uint16_t *outEnd) {
    if (resetOnNull(*in, h->to_state)) return ZIL_CONV_DONE;
    Decoder decoder{SbcsTable(h)};
    Ucs2Encoder encoder{h};
    return runConversion(decoder, encoder, in, inEnd, out, outEnd);
}

template <class Encoder>
int sbcsFromUtf8(uc_ch_t *h, const uint8_t **in, const uint8_t *inEnd, uint8_t **out,
                 uint8_t *outEnd) {
    if (resetOnNull(*in, h->from_state)) return ZIL_CONV_DONE;
    Utf8Decoder decoder;
    Encoder encoder{h, SbcsTable(h)};
    return runConversion(decoder, encoder, in, inEnd, out, outEnd);
}

template <class Encoder>
int sbcsFromUcs2(uc_ch_t *h, const uint16_t **in, const uint16_t *inEnd, uint8_t **out,
                 uint8_t *outEnd) {
    if (resetOnNull(*in, h->from_state)) return ZIL_CONV_DONE;
    Ucs2UnitDecoder decoder;
    Encoder encoder{h, SbcsTable(h)};
    return runConversion(decoder, encoder, in, inEnd, out, outEnd);
}

}  // namespace

const FamilyOps kAsciiSbcsOps = {sbcsToUtf8<AsciiSbcsDecoder>, sbcsFromUtf8<AsciiSbcsEncoder>,
                                 sbcsToUcs2<AsciiSbcsDecoder>, sbcsFromUcs2<AsciiSbcsEncoder>};
const FamilyOps kEbcdicSbcsOps = {sbcsToUtf8<EbcdicSbcsDecoder>, sbcsFromUtf8<EbcdicSbcsEncoder>,
                                  sbcsToUcs2<EbcdicSbcsDecoder>, sbcsFromUcs2<EbcdicSbcsEncoder>};

}  // namespace zil
