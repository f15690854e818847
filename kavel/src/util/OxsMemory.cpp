// Memory primitives: the C allocator with the toolkit's rules for zero
// sizes, so "nothing" is always a null pointer.

#include "OxsMemory.h"

#include <cstdlib>

extern "C" {

void *OxsMemoryMalloc(size_t size) { return size == 0 ? nullptr : std::malloc(size); }

void *OxsMemoryCalloc(size_t count, size_t size) {
    return count == 0 || size == 0 ? nullptr : std::calloc(count, size);
}

void *OxsMemoryRealloc(void *p, size_t size) {
    // realloc(p, 0) may free p; the toolkit's contract leaves p alone.
    return size == 0 ? nullptr : std::realloc(p, size);
}

void OxsMemoryFree(void *p) { std::free(p); }

}  // extern "C"
