// An arbitrary file loaded as a codeset table, then text converted through
// it in all four directions: a table that passes the loader's checks must
// never make a conversion read outside it. The first bytes of the input
// choose the text; the rest is the file. Tables usually start from a real
// header, so the fuzzer is seeded with the shipped tables (see README in
// this folder's CMakeLists).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_scratch.h"
#include "zil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 16) return 0;
    const std::string text(reinterpret_cast<const char *>(data), 16);
    const std::string path = vrxfuzz::scratchFile("TABLE", data + 16, size - 16);

    uc_ch_t *handle = zil_cs_new(path.c_str());
    if (handle == nullptr) return 0;
    char bytes[64];
    zil_ucs2_t units[64];
    zil_to_utf8(handle, text.data(), 16, bytes, sizeof bytes, nullptr);
    zil_from_utf8(handle, text.data(), 16, bytes, sizeof bytes, nullptr);
    zil_to_ucs2(handle, text.data(), 16, units, 64, nullptr);
    zil_ucs2_t wide[8];
    for (int i = 0; i < 8; ++i)
        wide[i] = static_cast<zil_ucs2_t>(static_cast<uint8_t>(text[2 * i]) << 8 |
                                          static_cast<uint8_t>(text[2 * i + 1]));
    zil_from_ucs2(handle, wide, 8, bytes, sizeof bytes, nullptr);
    zil_cs_free(handle);
    return 0;
}
