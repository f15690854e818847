// A fuzz target's private scratch directory: made once under TMPDIR (or
// /tmp) and removed with everything in it when the process exits, so a
// target never leaves files behind. The working directory stays where the
// fuzzer was started, where libFuzzer writes what it finds.
#ifndef VRX_FUZZ_SCRATCH_H
#define VRX_FUZZ_SCRATCH_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vrxfuzz {

inline const std::string &scratchDirectory() {
    static const std::string *const directory = [] {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/vrxfuzz.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchDirectory(), ignored);
        });
        return new std::string(pattern);
    }();
    return *directory;
}

// A file of the scratch directory holding `size` bytes of `data`; its path.
inline std::string scratchFile(const char *name, const void *data, size_t size) {
    const std::string path = scratchDirectory() + "/" + name;
    if (FILE *file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    return path;
}

}  // namespace vrxfuzz

#endif  // VRX_FUZZ_SCRATCH_H
