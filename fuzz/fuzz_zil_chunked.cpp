// Every shipped codeset (data/codesets.txt) and UTF-8, with input and
// output split at points the fuzzer chooses, so multibyte and shift state
// crosses calls: the first byte picks the codeset, the next bytes the piece
// and room sizes, the rest is text converted both out of and into the
// codeset. Into UCS-2, one call over the whole text must also give what
// the pieces give.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zil.h"
#include "zil_pieces.h"

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

// Into UCS-2, one call over the whole text (where mixed text is decoded a
// block at a time) against pieces too short for a block: the same units
// and the same substitutions, or the run stops.
template <class Next>
void wholeAgainstPieces(uc_ch_t *h, const std::string &text, Next next) {
    using ziltest::Way;
    h->to_state = 0;
    h->subst_count = 0;
    const std::string whole = ziltest::step(h, Way::kToUcs2, text, 2 * text.size() + 2).bytes;
    const uint16_t substitutions = h->subst_count;
    h->to_state = 0;
    h->subst_count = 0;
    if (ziltest::convertInPieces(h, Way::kToUcs2, text, next, 7) != whole ||
        h->subst_count != substitutions)
        std::abort();
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
    size_t k = 0;
    const auto next = [&](size_t most) { return 1 + sizes[k++ % 4] % most; };
    const std::string text(reinterpret_cast<const char *>(data + 5), size - 5);
    ziltest::convertInPieces(h, ziltest::Way::kToUtf8, text, next, 7);
    ziltest::convertInPieces(h, ziltest::Way::kFromUtf8, text, next, 7);
    wholeAgainstPieces(h, text, next);
    ziltest::step(h, ziltest::Way::kFromUtf8, {}, 4);  // the flush
    h->to_state = h->from_state = 0;
    return 0;
}
