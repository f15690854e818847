// Arbitrary bytes as a catalog file, opened by path; sets and messages
// looked up in the local codeset, in UTF-8 and in an EBCDIC table codeset.
// Seeds: the built catalogs (build/<preset>/nls/C/*.cat). The table
// codeset needs ZILDIR at a build tree.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_scratch.h"
#include "zil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static uc_ch_t *ebcdic = zil_cs_new("IBM1047");
    const std::string path = vrxfuzz::scratchFile("input.cat", data, size);
    zil_catd catalog = zil_catopen(path.c_str(), 0, "C");
    if (catalog == nullptr) return 0;
    for (int set : {-1, 0, 1, 2, 3, 7, 100, 2147483647})
        for (int message : {-1, 0, 1, 2, 3, 5, 20, 131, 2147483647})
            for (uc_ch_t *cs : {static_cast<uc_ch_t *>(nullptr), utf8_cs, ebcdic})
                if (zil_catgets(catalog, set, message, "default", cs) == nullptr) std::abort();
    zil_catclose_fully(catalog);  // the next input reuses the path
    return 0;
}
