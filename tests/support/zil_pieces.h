// Restartable conversions driven the way streaming callers drive them, for
// the codeset tests and the chunked-conversion fuzz target alike (so no test
// framework here).
#ifndef VRX_ZIL_PIECES_H
#define VRX_ZIL_PIECES_H

#include <algorithm>
#include <string>
#include <string_view>

#include "zil.h"

namespace ziltest {

enum class Way { kToUtf8, kFromUtf8, kToUcs2 };

// One restartable call with `room` bytes of output (units' bytes into
// UCS-2): its result, what it wrote and how much input it left. An input
// without data (a default view) asks for the reset and flush.
struct Step {
    int result;
    std::string bytes;
    size_t inputLeft;
};
inline Step step(uc_ch_t *h, Way way, std::string_view input, size_t room = 64) {
    std::string out(room, '\0');
    const char *p = input.data();
    size_t left = input.size(), outLeft = room;
    int result;
    if (way == Way::kToUcs2) {
        auto *units = reinterpret_cast<zil_ucs2_t *>(out.data());
        zil_ucs2_t *u = units;
        outLeft = room / sizeof(zil_ucs2_t);
        result = zil_to_ucs2_r(h, &p, &left, &u, &outLeft);
        out.resize(sizeof(zil_ucs2_t) * static_cast<size_t>(u - units));
    } else {
        char *o = out.data();
        result = way == Way::kToUtf8 ? zil_to_utf8_r(h, &p, &left, &o, &outLeft)
                                     : zil_from_utf8_r(h, &p, &left, &o, &outLeft);
        out.resize(static_cast<size_t>(o - out.data()));
    }
    return {result, out, left};
}

// `input` through the restartable call the way a streaming caller feeds it:
// pieces of next(maxPiece) bytes, output rooms of next(4) bytes (units into
// UCS-2), where next(n) gives a number from 1 to n; the bytes of a character
// cut at a piece's end are carried into the next piece, and a room too small
// for the next character is followed by a large one. What is still cut when
// the input ends stays unconverted.
template <class Next>
std::string convertInPieces(uc_ch_t *h, Way way, std::string_view input, Next next,
                            size_t maxPiece) {
    const size_t unit = way == Way::kToUcs2 ? sizeof(zil_ucs2_t) : 1;
    std::string converted, pending;
    for (size_t pos = 0; pos < input.size();) {
        const size_t take = std::min(next(maxPiece), input.size() - pos);
        const std::string piece = pending + std::string(input.substr(pos, take));
        pos += take;
        std::string_view rest = piece;
        bool stuck = false;
        Step s;
        do {
            s = step(h, way, rest, unit * (stuck ? 8 : next(4)));
            converted += s.bytes;
            stuck = s.result == ZIL_CONV_OUTPUT_FULL && s.inputLeft == rest.size();
            rest.remove_prefix(rest.size() - s.inputLeft);
        } while (s.result == ZIL_CONV_OUTPUT_FULL);
        pending.assign(rest);
    }
    return converted;
}

}  // namespace ziltest

#endif  // VRX_ZIL_PIECES_H
