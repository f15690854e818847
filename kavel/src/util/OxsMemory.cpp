// Memory primitives: the C allocator with the toolkit's rules for zero
// sizes, so "nothing" is always a null pointer.
//
// A small zeroed block is malloc'd and cleared rather than calloc'd: the C
// library's per-thread cache of freed blocks serves malloc but not calloc,
// so every record's small zeroed blocks (event, links, lists) would
// otherwise go through the allocator's slow path twice, once to be made
// and once more when the cache overflows with them on free.

#include "OxsMemory.h"

#include <cstdlib>
#include <cstring>

extern "C" {

void *OxsMemoryMalloc(size_t size) { return size == 0 ? nullptr : std::malloc(size); }

void *OxsMemoryCalloc(size_t count, size_t size) {
    constexpr size_t kCachedBlock = 1024;  // the cache holds blocks up to about this size
    size_t total = 0;
    if (count == 0 || size == 0) return nullptr;
    if (__builtin_mul_overflow(count, size, &total) || total > kCachedBlock)
        return std::calloc(count, size);  // calloc reports the overflow itself
    void *block = std::malloc(total);
    // Hide the block's origin, or the compiler folds the pair back into calloc.
    asm("" : "+r"(block));
    if (block != nullptr) std::memset(block, 0, total);
    return block;
}

void *OxsMemoryRealloc(void *p, size_t size) {
    // realloc(p, 0) may free p; the toolkit's contract leaves p alone.
    return size == 0 ? nullptr : std::realloc(p, size);
}

void OxsMemoryFree(void *p) { std::free(p); }

}  // extern "C"
