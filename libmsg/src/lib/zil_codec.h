// The conversion engine: every family function is one decoder (source
// codeset to Unicode values) and one encoder (Unicode values to the target)
// run by the same loop, so the rules every family shares live here once:
// a character is written whole or not at all (the input is then given back
// and the result is "output full"), a character cut by the end of the input
// stays unconsumed ("incomplete"), and substitutions are counted only when
// they are written.
//
// Decoders:  Step decode(const In *&p, const In *end, uint32_t &value)
//            (Nothing: bytes consumed without a character, e.g. a shift)
// Encoders:  bool encode(uint32_t value, Out *&o, Out *end)  (o < end on entry)
// kInvalid as a value asks the encoder for its substitution character.
#ifndef ZIL_CODEC_H
#define ZIL_CODEC_H

#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "zil.h"
#include "zil_ascii.h"

namespace zil {

struct TableBounds;

constexpr uint32_t kInvalid = 0xFFFFFFFFu;

enum class Step { Char, Nothing, Incomplete };

// Conversion function shapes, one per direction.
using ToUtf8Fn = int (*)(uc_ch_t *, const uint8_t **, const uint8_t *, uint8_t **, uint8_t *);
using FromUtf8Fn = ToUtf8Fn;
using ToUcs2Fn = int (*)(uc_ch_t *, const uint8_t **, const uint8_t *, uint16_t **, uint16_t *);
using FromUcs2Fn = int (*)(uc_ch_t *, const uint16_t **, const uint16_t *, uint8_t **, uint8_t *);

// One family: its four directions. A null input pointer asks a function to
// reset (and, into a stateful codeset, flush) its direction's shift state.
struct FamilyOps {
    ToUtf8Fn toUtf8;
    FromUtf8Fn fromUtf8;
    ToUcs2Fn toUcs2;
    FromUcs2Fn fromUcs2;
};

// ASCII bytes pass through both sides unchanged: the loop copies runs of
// them without decoding when the decoder and the encoder both say so.
template <class T>
concept AsciiTransparent = T::kAsciiTransparent;

// Resets one direction's shift state for a null input pointer; true when
// the call was such a reset.
inline bool resetOnNull(const void *input, unsigned char &state) {
    if (input != nullptr) return false;
    state = 0;
    return true;
}

// Blocks of mixed text into UCS-2. Where single- and double-byte
// characters alternate at random (CJK text with ASCII between), a branch
// per character on its length is mispredicted about as often as not, and
// the per-character steps of the loop cost as much as the look-up. A
// decoder that can, decodes a whole block of input at once, straight into
// the output:
//
//   size_t decodeBlock(const uint8_t *p, uint16_t *units, size_t &count)
//
// reads p[0] to p[kBlockInput - 1], may store up to kAsciiBlock units,
// sets `count` to the characters decoded (one unit each; kBlockInvalid for
// one to substitute: no character decodes to U+FFFF) and returns the bytes
// they took, which may stop short of the block before a character it
// leaves to decode() (0 when the first one is). The results are those of
// decode(), character for character. The encoder then substitutes within
// the block (substituteBlock). Units stored past `count` lie in the output
// room and are overwritten next, as with the ASCII blocks.
constexpr size_t kBlockInput = kAsciiBlock + 3;  // a block and the rest of its last character
constexpr uint16_t kBlockInvalid = 0xFFFF;

template <class Decoder, class Encoder, class Out>
concept BlockCodecs = std::is_same_v<Out, uint16_t> &&
    requires(const Decoder &d, const Encoder &e, const uint8_t *p, uint16_t *units, size_t &count) {
    { d.decodeBlock(p, units, count) } -> std::same_as<size_t>;
    e.substituteBlock(units, count);
};

// Blocks are worth decoding whole when they hold several non-ASCII bytes;
// text that is mostly ASCII goes faster through the ASCII runs and the
// occasional single character: the loop looks for a block only where one
// non-ASCII character follows another.
inline bool mixedBlock(const uint8_t *p) {
#if ZIL_ASCII_BLOCKS
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i zero = _mm_setzero_si128();
    const __m128i high = _mm_and_si128(_mm_cmplt_epi8(block, zero), _mm_set1_epi8(1));
    const __m128i sums = _mm_sad_epu8(high, zero);  // per half of the block
    return _mm_cvtsi128_si32(_mm_add_epi64(sums, _mm_unpackhi_epi64(sums, sums))) >= 6;
#else
    (void)p;
    return false;
#endif
}

// Codecs that need the handle take it; the others are built empty.
template <class Codec>
Codec makeCodec(uc_ch_t *h) {
    if constexpr (std::is_constructible_v<Codec, uc_ch_t *>)
        return Codec(h);
    else
        return Codec{};
}

template <class In, class Out, class Decoder, class Encoder>
inline int runConversion(Decoder &decoder, Encoder &encoder, const In **input, const In *inEnd,
                         Out **output, Out *outEnd) {
    const In *p = *input;
    Out *o = *output;
    int result = ZIL_CONV_DONE;
    while (p < inEnd) {
        if constexpr (AsciiTransparent<Decoder> && AsciiTransparent<Encoder>) {
            if (*p < 0x80) {
                if constexpr (std::is_same_v<In, uint8_t>) {
                    copyAsciiRun(p, inEnd, o, outEnd);
                } else {
                    while (p < inEnd && o < outEnd && *p < 0x80)
                        *o++ = static_cast<Out>(*p++);
                }
                if (p == inEnd) break;
            } else if constexpr (BlockCodecs<Decoder, Encoder, Out>) {
                // Block after block while the text stays mixed, ASCII
                // bytes included.
                const In *before = p;
                while (static_cast<size_t>(inEnd - p) >= kBlockInput &&
                       static_cast<size_t>(outEnd - o) >= kAsciiBlock && mixedBlock(p)) {
                    size_t count = 0;
                    const size_t used = decoder.decodeBlock(p, o, count);
                    if (used == 0) break;
                    encoder.substituteBlock(o, count);
                    p += used;
                    o += count;
                }
                if (p != before) continue;
            }
        }
        if (o >= outEnd) {
            result = ZIL_CONV_OUTPUT_FULL;
            break;
        }
        const In *start = p;
        uint32_t value = 0;
        const Step step = decoder.decode(p, inEnd, value);
        if (step == Step::Incomplete) {
            result = ZIL_CONV_INCOMPLETE;
            break;
        }
        if (step == Step::Nothing) continue;
        if (!encoder.encode(value, o, outEnd)) {
            p = start;
            result = ZIL_CONV_OUTPUT_FULL;
            break;
        }
    }
    *input = p;
    *output = o;
    return result;
}

// UTF-8 input. Well-formed sequences of one to four bytes are characters;
// anything else (a stray continuation byte, a lead byte without the
// continuation bytes it needs, an overlong form, a surrogate, a value above
// U+10FFFF) is one invalid byte that consumes only itself, so the bytes
// after it survive. A well-formed start cut by the end of the input is
// incomplete.
struct Utf8Decoder {
    static constexpr bool kAsciiTransparent = true;

    Step decode(const uint8_t *&p, const uint8_t *end, uint32_t &value) const {
        const uint8_t lead = *p;
        if (lead < 0x80) {
            value = lead;
            ++p;
            return Step::Char;
        }
        // The common well-formed two- and three-byte forms, straight through
        // (the loop below gives the same answer, and handles the rest).
        if (end - p >= 3) {
            const uint8_t c1 = p[1], c2 = p[2];
            if (lead >= 0xC2 && lead <= 0xDF && (c1 & 0xC0) == 0x80) {
                value = ((lead & 0x1Fu) << 6) | (c1 & 0x3Fu);
                p += 2;
                return Step::Char;
            }
            if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && (c1 & 0xC0) == 0x80 &&
                (c2 & 0xC0) == 0x80) {
                value = ((lead & 0x0Fu) << 12) | ((c1 & 0x3Fu) << 6) | (c2 & 0x3Fu);
                p += 3;
                return Step::Char;
            }
        }
        int need;
        uint8_t low = 0x80, high = 0xBF;  // the range the second byte must lie in
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            value = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            value = lead & 0x07;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return invalid(p, value);
        }
        for (int i = 1; i <= need; ++i) {
            if (p + i >= end) return Step::Incomplete;
            const uint8_t c = p[i];
            if (i == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80) return invalid(p, value);
            value = (value << 6) | (c & 0x3F);
        }
        p += need + 1;
        return Step::Char;
    }

    static Step invalid(const uint8_t *&p, uint32_t &value) {
        ++p;
        value = kInvalid;
        return Step::Char;
    }
};

// UCS-2 input, one unit one character (surrogates are looked up like any
// other unit).
struct Ucs2UnitDecoder {
    Step decode(const uint16_t *&p, const uint16_t *, uint32_t &value) const {
        value = *p++;
        return Step::Char;
    }
};

// UCS-2 input with surrogate pairs: a high surrogate needs the next unit; a
// high surrogate followed by anything else consumes both units as one
// invalid character; a lone low surrogate is one invalid unit.
struct Ucs2PairDecoder {
    Step decode(const uint16_t *&p, const uint16_t *end, uint32_t &value) const {
        const uint16_t unit = *p;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (p + 1 >= end) return Step::Incomplete;
            const uint16_t next = p[1];
            p += 2;
            value = next >= 0xDC00 && next <= 0xDFFF
                        ? 0x10000 + ((static_cast<uint32_t>(unit - 0xD800) << 10) | (next - 0xDC00))
                        : kInvalid;
            return Step::Char;
        }
        ++p;
        value = unit >= 0xDC00 && unit <= 0xDFFF ? kInvalid : unit;
        return Step::Char;
    }
};

// UTF-8 output; "?" for invalid characters.
struct Utf8Encoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    explicit Utf8Encoder(uc_ch_t *h) : handle(h) {}

    bool encode(uint32_t value, uint8_t *&o, uint8_t *end) const {
        if (value < 0x80) {
            *o++ = static_cast<uint8_t>(value);
            return true;
        }
        if (value == kInvalid) {
            *o++ = '?';
            ++handle->subst_count;
            return true;
        }
        const size_t room = static_cast<size_t>(end - o);
        if (value < 0x800) {
            if (room < 2) return false;
            o[0] = static_cast<uint8_t>(0xC0 | (value >> 6));
            o[1] = static_cast<uint8_t>(0x80 | (value & 0x3F));
            o += 2;
        } else if (value < 0x10000) {
            if (room < 3) return false;
            o[0] = static_cast<uint8_t>(0xE0 | (value >> 12));
            o[1] = static_cast<uint8_t>(0x80 | ((value >> 6) & 0x3F));
            o[2] = static_cast<uint8_t>(0x80 | (value & 0x3F));
            o += 3;
        } else {
            if (room < 4) return false;
            o[0] = static_cast<uint8_t>(0xF0 | (value >> 18));
            o[1] = static_cast<uint8_t>(0x80 | ((value >> 12) & 0x3F));
            o[2] = static_cast<uint8_t>(0x80 | ((value >> 6) & 0x3F));
            o[3] = static_cast<uint8_t>(0x80 | (value & 0x3F));
            o += 4;
        }
        return true;
    }
};

// UCS-2 output; values above U+FFFF as a surrogate pair (both units or
// none); "?" for invalid characters.
struct Ucs2Encoder {
    static constexpr bool kAsciiTransparent = true;
    uc_ch_t *handle;
    explicit Ucs2Encoder(uc_ch_t *h) : handle(h) {}

    bool encode(uint32_t value, uint16_t *&o, uint16_t *end) const {
        if (value == kInvalid) {
            *o++ = '?';
            ++handle->subst_count;
            return true;
        }
        if (value < 0x10000) {
            *o++ = static_cast<uint16_t>(value);
            return true;
        }
        if (end - o < 2) return false;
        value -= 0x10000;
        o[0] = static_cast<uint16_t>(0xD800 + (value >> 10));
        o[1] = static_cast<uint16_t>(0xDC00 + (value & 0x3FF));
        o += 2;
        return true;
    }

    // A block's kBlockInvalid units become "?", counted.
    void substituteBlock(uint16_t *units, size_t count) const {
#if ZIL_ASCII_BLOCKS
        const __m128i invalid = _mm_set1_epi16(-1);
        const unsigned found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(units)), invalid)) |
            (_mm_movemask_epi8(_mm_cmpeq_epi16(
                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + 8)), invalid))
             << 16));
        if ((found & ((uint64_t{1} << (2 * count)) - 1)) == 0) return;
#endif
        for (size_t i = 0; i < count; ++i)
            if (units[i] == kBlockInvalid) {
                units[i] = '?';
                ++handle->subst_count;
            }
    }
};

// A family direction made of a decoder and an encoder, each built from the
// handle (or from nothing); `State` is the direction's shift state, reset
// by a null input.
template <class Decoder, class Encoder, unsigned char uc_ch_t::*State, class In, class Out>
int convertWith(uc_ch_t *h, const In **in, const In *inEnd, Out **out, Out *outEnd) {
    if (resetOnNull(*in, h->*State)) return ZIL_CONV_DONE;
    Decoder decoder = makeCodec<Decoder>(h);
    Encoder encoder = makeCodec<Encoder>(h);
    return runConversion(decoder, encoder, in, inEnd, out, outEnd);
}

// The families this build knows, by kind; anything else converts as the
// operating system's byte copy.
const FamilyOps &familyOps(uint16_t kind);

// The single-byte families' per-byte results, derived at load.
size_t sbcsDerivedSize();
void buildSbcsDerived(uint16_t kind, const unsigned char *table, unsigned char *derived);

extern const FamilyOps kAsciiSbcsOps;
extern const FamilyOps kAsciiDbcsOps;
extern const FamilyOps kEbcdicDbcsOps;
extern const FamilyOps kGb18030Ops;
extern const FamilyOps kAsciiMbcsOps;
bool mbcsFits(const unsigned char *table, TableBounds &bounds);
size_t mbcsDerivedSize();
void buildMbcsDerived(const unsigned char *table, unsigned char *derived);
bool gb18030Fits(const unsigned char *table, TableBounds &bounds);
size_t gb18030DerivedSize();
void buildGb18030Derived(const unsigned char *table, unsigned char *derived);
bool ebcdicDbcsRowsFit(const unsigned char *table, TableBounds &bounds);
// Whether every row a family-2 table can use lies inside it.
bool dbcsRowsFit(const unsigned char *table, TableBounds &bounds);
size_t dbcsDerivedSize();
void buildDbcsDerived(const unsigned char *table, unsigned char *derived);
extern const FamilyOps kEbcdicSbcsOps;
extern const FamilyOps kUtf8Ops;
extern const FamilyOps kOsOps;

}  // namespace zil

#endif  // ZIL_CODEC_H
