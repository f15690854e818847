// Arbitrary bytes as configuration text: parsed line by line with a sink,
// loaded from a file in every check mode, and printed back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_scratch.h"
#include "slm_conf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = slm_conf_init(vrxfuzz::scratchDirectory().c_str()) == 1;
    if (!ready) return 0;
    const std::string text(reinterpret_cast<const char *>(data), size);
    slm_conf_sink sink{nullptr, [](void *, const char *, size_t, int) {}};
    parseBuffer(text.c_str(), static_cast<int>(size % 2), &sink);
    const std::string path = vrxfuzz::scratchFile("agent.ini", data, size);
    loadConfFile(path.c_str(), 0, static_cast<int>(size % 5));
    printConfig(&sink);
    deleteConfigurationVariables();
    return 0;
}
