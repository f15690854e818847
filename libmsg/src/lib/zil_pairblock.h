// Blocks of mixed double-byte text, decoded without a branch per character.
//
// In CJK text with ASCII between, single bytes and pairs alternate at
// random, so a decoder that branches on each character's length is
// mispredicted about as often as not. The codesets whose pairs are a lead
// byte and a trail byte (the double-byte family, GB18030's two-byte codes)
// can find a block's pairs by arithmetic instead: the bytes that could open
// a pair (a lead followed by a possible trail) form runs, and a run opens
// pairs at its even offsets only, since each pair's second byte is its
// trail. Then every byte reads one table with its own key (itself alone, or
// itself and its trail) and stores the value where the output stands, which
// advances past the bytes that start a character only (a trail's value is
// overwritten by the next character's). Nothing is carried from byte to
// byte but that count, so the look-ups overlap.
//
// The table and the byte sets are derived from the codeset's table at
// load; a codeset whose sets do not fit two ranges each, or whose values do
// not fit 16 bits, leaves the block path off and loses nothing but speed.
#ifndef ZIL_PAIRBLOCK_H
#define ZIL_PAIRBLOCK_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zil_codec.h"

namespace zil {

// A set of bytes as at most two ranges [low, low + span], each byte 16
// times (a block's worth), the same range twice when one is enough.
struct ByteRanges {
    uint8_t low[2][16];
    uint8_t span[2][16];

    // False, leaving the ranges unusable, for an empty set or one of more
    // than two ranges.
    bool set(const bool (&member)[256]) {
        uint8_t lows[2] = {0, 0}, spans[2] = {0, 0};
        int ranges = 0;
        for (size_t b = 0; b < 256; ++b) {
            if (!member[b]) continue;
            if (b > 0 && member[b - 1]) {
                if (ranges <= 2) ++spans[ranges - 1];
                continue;
            }
            if (++ranges <= 2) lows[ranges - 1] = static_cast<uint8_t>(b);
        }
        if (ranges == 1) {
            lows[1] = lows[0];
            spans[1] = spans[0];
        }
        for (int r = 0; r < 2; ++r) {
            std::memset(low[r], lows[r], sizeof low[r]);
            std::memset(span[r], spans[r], sizeof span[r]);
        }
        return ranges == 1 || ranges == 2;
    }
};

struct PairBlocks {
    bool on;
    ByteRanges leads;
    ByteRanges trails;
    // A lead byte before a byte of this set starts a longer code (GB18030's
    // four-byte codes): the block stops before it and leaves it to decode().
    bool longCodes;
    ByteRanges longSecond;
    // The value of each byte alone (key: the byte) and of each pair (key:
    // lead | trail << 8); kBlockInvalid for what decodes to a substitution.
    uint16_t values[65536];

#if ZIL_ASCII_BLOCKS
    // The decodeBlock of zil_codec.h.
    size_t decode(const uint8_t *p, uint16_t *units, size_t &count) const {
        if (!on) return 0;
        const __m128i bytes = load(p);
        const __m128i next = load(p + 1);
        const __m128i lead = in(leads, bytes);
        const unsigned open = mask(_mm_and_si128(lead, in(trails, next)));
        constexpr unsigned kEven = 0x5555, kOdd = 0xAAAA;
        const unsigned runStarts = open & ~(open << 1);
        // Adding a run's lowest bit clears the run: the runs that start at
        // an even offset.
        const unsigned evenRuns = open & ~(open + (runStarts & kEven));
        const unsigned pairs = open & ((evenRuns & kEven) | (~evenRuns & kOdd));
        const unsigned trailBits = pairs << 1;
        size_t used = kAsciiBlock + (pairs >> 15);
        unsigned startBits = ~trailBits & 0xFFFF;
        if (longCodes) {
            const unsigned longStarts =
                mask(_mm_and_si128(lead, in(longSecond, next))) & ~trailBits;
            if (longStarts != 0) {
                used = static_cast<size_t>(__builtin_ctz(longStarts));
                if (used == 0) return 0;
                startBits &= (1u << used) - 1;
            }
        }
        // Keys: the byte, with its trail above it where it opens a pair.
        alignas(16) uint16_t keys[kAsciiBlock];
        const __m128i trailBytes = _mm_and_si128(next, bitsAsBytes(pairs));
        _mm_store_si128(reinterpret_cast<__m128i *>(keys), _mm_unpacklo_epi8(bytes, trailBytes));
        _mm_store_si128(reinterpret_cast<__m128i *>(keys + 8),
                        _mm_unpackhi_epi8(bytes, trailBytes));
        size_t k = 0;
        for (size_t i = 0; i < kAsciiBlock; ++i) {
            units[k] = values[keys[i]];
            k += (startBits >> i) & 1;
        }
        count = k;
        return used;
    }

    static __m128i load(const uint8_t *p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    static unsigned mask(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }

    // 0xFF for the bytes in the set.
    static __m128i in(const ByteRanges &set, __m128i bytes) {
        const __m128i offset0 = _mm_sub_epi8(bytes, load(set.low[0]));
        const __m128i offset1 = _mm_sub_epi8(bytes, load(set.low[1]));
        return _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(offset0, load(set.span[0])), offset0),
                            _mm_cmpeq_epi8(_mm_min_epu8(offset1, load(set.span[1])), offset1));
    }

    // The 16 bits of a mask as 16 bytes of 0xFF or 0.
    static __m128i bitsAsBytes(unsigned bits) {
        const __m128i spread = _mm_unpacklo_epi64(_mm_set1_epi8(static_cast<char>(bits)),
                                                  _mm_set1_epi8(static_cast<char>(bits >> 8)));
        const __m128i bit =
            _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
        return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
    }
#endif
};

}  // namespace zil

#endif  // ZIL_PAIRBLOCK_H
