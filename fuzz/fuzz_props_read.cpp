// Arbitrary bytes as a properties file: read into a property list, and into
// the log manager of an open toolkit (and objects made from what it holds).
// The toolkit reports bad files on stderr: run with -close_fd_mask=2.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "CxPropList.h"
#include "KvlObject.h"
#include "kavel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_props.XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    CxPropList list{};
    CxPropListRead(path.c_str(), &list);
    CxPropListDiscard(&list);
    if (KvlOpenToolkit(path.c_str()) == 1) {
        KvlObject *object = KvlGetObject("a.b", nullptr);
        KvlLogError(object, nullptr, 0, 0, "x", KVL_ARG_END);
        KvlReleaseObject(object);
    }
    KvlCloseToolkit();
    return 0;
}
