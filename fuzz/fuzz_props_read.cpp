// Arbitrary bytes as a properties file: read into a property list, and into
// the log manager of an open toolkit, and an object made from what it holds
// (with its listeners and formatter, every property applied). Nothing is
// logged: a made-up file may name any path or directory to write, create
// or clean up, and a fuzz target must touch nothing outside its scratch
// directory. The toolkit reports bad files on stderr: run with
// -close_fd_mask=2.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "CxPropList.h"
#include "KvlObject.h"
#include "fuzz_scratch.h"
#include "kavel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = vrxfuzz::scratchFile("input.properties", data, size);
    CxPropList list{};
    CxPropListRead(path.c_str(), &list);
    CxPropListDiscard(&list);
    if (KvlOpenToolkit(path.c_str()) == 1) KvlReleaseObject(KvlGetObject("a.b", nullptr));
    KvlCloseToolkit();
    return 0;
}
