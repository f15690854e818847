// resolvePath takes a directory from a configuration file and rewrites it in
// place: it must never grow the text, and whatever it accepts must be free
// of parent steps.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent_dirs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.c_str();  // the function sees a C string
    std::string buffer = text;
    const int result = resolvePath(buffer.data());
    const size_t length = std::strlen(buffer.c_str());
    if (length > text.size()) std::abort();
    if (result == 0) {
        const std::string resolved(buffer.c_str());
        for (size_t at = resolved.find("/.."); at != std::string::npos;
             at = resolved.find("/..", at + 1))
            if (at + 3 == resolved.size() || resolved[at + 3] == '/') std::abort();
    }
    return 0;
}
