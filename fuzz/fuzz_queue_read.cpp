// Arbitrary bytes as an asynchronous handler's queue file left by a dead
// process: read raw, and as the ring and positions behind a header that
// passes the checks, so the record walk is reached (and the claim on the
// first record is read). Nothing may be read
// outside the bytes (ASan), nothing may crash, and what comes back is
// within them.
#include <cstdint>
#include <cstring>
#include <vector>

#include "KvlQueueFile.h"

using namespace kvl::queue;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<unsigned char> raw(data, data + size);
    Claim claim;
    readQueueBytes(raw, &claim);
    if (claim.bytes > kMaxRingSize) __builtin_trap();  // a claim is held to the ring

    std::vector<unsigned char> file(kHeaderSize + kMinRingSize, 0);
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.version = kVersion;
    header.headerSize = kHeaderSize;
    header.ringSize = kMinRingSize;
    if (size >= 16) {  // the positions come from the input, kept 8-aligned
        std::memcpy(&header.readPos, data, 8);
        std::memcpy(&header.writePos, data + 8, 8);
        header.readPos &= ~uint64_t{7} & 0xFFFFF;
        header.writePos = header.readPos + (header.writePos & 0xFFF8);
        data += 16;
        size -= 16;
    }
    std::memcpy(file.data(), &header, sizeof header);
    std::memcpy(file.data() + kHeaderSize, data, size < kMinRingSize ? size : kMinRingSize);
    const Recovery got = readQueueBytes(file);
    size_t total = 0;
    for (const auto &text : got.texts)
        total += text.size();
    if (total > kMinRingSize) __builtin_trap();
    return 0;
}
