// Arbitrary bytes as configuration text: parsed line by line with a sink,
// loaded from a file in every check mode, and printed back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "slm_conf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_conf.XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        slm_conf_init("/tmp");
        return std::string(name);
    }();
    const std::string text(reinterpret_cast<const char *>(data), size);
    slm_conf_sink sink{nullptr, [](void *, const char *, size_t, int) {}};
    parseBuffer(text.c_str(), static_cast<int>(size % 2), &sink);
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    loadConfFile(path.c_str(), 0, static_cast<int>(size % 5));
    printConfig(&sink);
    deleteConfigurationVariables();
    return 0;
}
