// Every shipped codeset (data/codesets.txt) and UTF-8, with input and
// output split at points the fuzzer chooses, so multibyte and shift state
// crosses calls: the first byte picks the codeset, the next bytes the piece
// and room sizes, the rest is text converted both out of and into the
// codeset. Into UCS-2, one call over the whole text must also give what
// the pieces give.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "zil.h"

namespace {

std::vector<uc_ch_t *> openShippedCodesets() {
    zil_set_dir(VRX_FUZZ_BUILD_DIR);
    std::vector<uc_ch_t *> handles = {zil_cs_new("UTF8")};
    std::ifstream manifest(VRX_FUZZ_MANIFEST);
    for (std::string line; std::getline(manifest, line);) {
        std::string file;
        if (line.empty() || line[0] == '#' || !(std::istringstream(line) >> file)) continue;
        if (uc_ch_t *handle = zil_cs_new(file.c_str())) handles.push_back(handle);
    }
    return handles;
}

template <class Convert>
void inPieces(Convert convert, const std::string &text, const uint8_t *sizes, size_t count) {
    size_t pos = 0, k = 0;
    std::string pending;
    while (pos < text.size()) {
        const size_t take = std::min<size_t>(1 + sizes[k++ % count] % 7, text.size() - pos);
        std::string piece = pending + text.substr(pos, take);
        pos += take;
        const char *p = piece.data();
        size_t left = piece.size();
        int result;
        bool stuck = false;
        do {
            char out[16];
            char *o = out;
            // A room too small for the next character makes no progress:
            // the next try gets the whole buffer.
            size_t room = stuck ? sizeof out : 1 + sizes[k++ % count] % 8;
            const size_t before = left;
            result = convert(&p, &left, &o, &room);
            stuck = result == ZIL_CONV_OUTPUT_FULL && o == out && left == before;
        } while (result == ZIL_CONV_OUTPUT_FULL);
        pending.assign(p, left);
    }
}

// Into UCS-2, one call over the whole text (where mixed text is decoded a
// block at a time) against pieces too short for a block: the same units
// and the same substitutions, or the run stops.
void wholeAgainstPieces(uc_ch_t *h, const std::string &text, const uint8_t *sizes, size_t count) {
    std::vector<zil_ucs2_t> whole(text.size() + 1), pieces;
    h->to_state = 0;
    h->subst_count = 0;
    const char *p = text.data();
    size_t left = text.size(), room = whole.size();
    zil_ucs2_t *o = whole.data();
    zil_to_ucs2_r(h, &p, &left, &o, &room);
    whole.resize(static_cast<size_t>(o - whole.data()));
    const uint16_t substitutions = h->subst_count;
    h->to_state = 0;
    h->subst_count = 0;
    std::string pending;
    for (size_t pos = 0, k = 0; pos < text.size();) {
        const size_t take = std::min<size_t>(1 + sizes[k++ % count] % 7, text.size() - pos);
        const std::string piece = pending + text.substr(pos, take);
        pos += take;
        const char *q = piece.data();
        size_t pieceLeft = piece.size();
        zil_ucs2_t units[32];
        zil_ucs2_t *u = units;
        size_t unitRoom = std::size(units);
        zil_to_ucs2_r(h, &q, &pieceLeft, &u, &unitRoom);
        pieces.insert(pieces.end(), units, u);
        pending.assign(q, pieceLeft);
    }
    if (pieces != whole || h->subst_count != substitutions) std::abort();
    h->to_state = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    // Kept for the whole run (never destroyed, so the handles stay reachable).
    static const std::vector<uc_ch_t *> &handles =
        *new std::vector<uc_ch_t *>(openShippedCodesets());
    uc_ch_t *h = handles[data[0] % handles.size()];
    if (h == nullptr) return 0;
    const uint8_t *sizes = data + 1;
    const std::string text(reinterpret_cast<const char *>(data + 5), size - 5);
    inPieces([h](const char **p, size_t *left, char **o,
                 size_t *room) { return zil_to_utf8_r(h, p, left, o, room); },
             text, sizes, 4);
    inPieces([h](const char **p, size_t *left, char **o,
                 size_t *room) { return zil_from_utf8_r(h, p, left, o, room); },
             text, sizes, 4);
    wholeAgainstPieces(h, text, sizes, 4);
    const char *none = nullptr;
    size_t zero = 0, room = 4;
    char tail[4];
    char *o = tail;
    zil_from_utf8_r(h, &none, &zero, &o, &room);
    h->to_state = h->from_state = 0;
    return 0;
}
