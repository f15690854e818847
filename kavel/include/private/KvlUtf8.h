/*
 * Well-formed UTF-8: the one rule for which bytes the toolkit's outputs
 * take as UTF-8 text (XML records; the properties checker's JSON). Each
 * output decides what stands in for the rest. C++ only.
 */
#ifndef KVL_UTF8_H
#define KVL_UTF8_H

#include <cstddef>
#include <string_view>

namespace kvl::utf8 {

// The length of the well-formed sequence at `text[at]` (1 for ASCII), or 0
// when it is ill-formed; then `subpart` is the length of its maximal
// subpart (at least 1), the bytes one replacement character stands for.
inline size_t wellFormedLength(std::string_view text, size_t at, size_t &subpart) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        subpart = 1;
        return 0;
    }
    size_t i = 1;
    for (; i < length && at + i < text.size(); ++i) {
        const unsigned char next = byte(i);
        const bool fits = i == 1 ? next >= low && next <= high : (next & 0xC0) == 0x80;
        if (!fits) break;
    }
    if (i < length) {
        subpart = i;
        return 0;
    }
    return length;
}

}  // namespace kvl::utf8

#endif /* KVL_UTF8_H */
