// ASCII runs, copied 16 bytes at a time.
//
// Most text the library converts (log records above all) is ASCII with a
// few other characters, and in every ASCII-based codeset and in UTF-8 an
// ASCII byte stands for itself: the conversion loops copy such runs whole
// instead of looking each byte up: 16 bytes are stored at once and the
// output advances by the length of the run among them, so a run costs one
// test per block however it ends. Bytes stored past the run stay inside
// the output room and are overwritten by what the conversion writes next
// (past the end of the result, the room's content is unspecified, as with
// any converter). SSE2 is part of the x86-64 baseline, so there is no
// dispatch; other targets take the byte loop.
#ifndef ZIL_ASCII_H
#define ZIL_ASCII_H

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZIL_ASCII_BLOCKS 1
#else
#define ZIL_ASCII_BLOCKS 0
#endif

namespace zil {

constexpr size_t kAsciiBlock = 16;

#if ZIL_ASCII_BLOCKS
// Copies the 16 bytes at p to o when all are ASCII (as bytes, or widened to
// 16-bit units); false, with nothing written, otherwise.
inline bool copyAsciiBlock(const uint8_t *p, uint8_t *o) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if (_mm_movemask_epi8(block) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o), block);
    return true;
}
// Widens 16 bytes, whatever they are, to 16-bit units.
inline void widenBlock(__m128i block, uint16_t *o) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_unpacklo_epi8(block, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 8), _mm_unpackhi_epi8(block, zero));
}
inline void widenBlock(const uint8_t *p, uint16_t *o) {
    widenBlock(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), o);
}
inline bool copyAsciiBlock(const uint8_t *p, uint16_t *o) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if (_mm_movemask_epi8(block) != 0) return false;
    widenBlock(block, o);
    return true;
}
#else
template <class Out>
inline bool copyAsciiBlock(const uint8_t *, Out *) {
    return false;
}
inline void widenBlock(const uint8_t *p, uint16_t *o) {
    for (size_t i = 0; i < kAsciiBlock; ++i)
        o[i] = p[i];
}
#endif

#if ZIL_ASCII_BLOCKS
// How many bytes at the start of a block are ASCII (16 when all are).
inline size_t asciiPrefixLength(__m128i block) {
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block));
    return high == 0 ? kAsciiBlock : static_cast<size_t>(__builtin_ctz(high));
}
// The ASCII bytes at the start of a block, all 16 copied (or widened): the
// ones after the run land in output room that the rest of the conversion
// writes next, and nothing beyond the room is touched.
inline size_t copyAsciiPrefix(const uint8_t *p, uint8_t *o) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o), block);
    return asciiPrefixLength(block);
}
inline size_t copyAsciiPrefix(const uint8_t *p, uint16_t *o) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    widenBlock(block, o);
    return asciiPrefixLength(block);
}
#endif

// Copies the ASCII run at p, as far as input and output allow, and advances
// both.
template <class Out>
inline void copyAsciiRun(const uint8_t *&p, const uint8_t *end, Out *&o, const Out *outEnd) {
#if ZIL_ASCII_BLOCKS
    while (static_cast<size_t>(end - p) >= kAsciiBlock &&
           static_cast<size_t>(outEnd - o) >= kAsciiBlock) {
        const size_t n = copyAsciiPrefix(p, o);
        p += n;
        o += n;
        if (n != kAsciiBlock) return;
    }
#endif
    while (p < end && o < outEnd && *p < 0x80)
        *o++ = static_cast<Out>(*p++);
}

}  // namespace zil

#endif  // ZIL_ASCII_H
