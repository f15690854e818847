// Growable arrays.

#include "CxListUtil.h"

#include <climits>
#include <cstdint>

#include "OxsMemory.h"

namespace {

// The new capacity for `needed` elements, or 0 when it does not fit an int.
long long grownCapacity(int needed) {
    if (needed < 16) return 16;
    long long capacity = 32;
    while (capacity <= needed)
        capacity *= 2;
    return capacity <= INT_MAX ? capacity : 0;
}

bool byteSize(long long elements, size_t elementSize, size_t &bytes) {
    if (elementSize != 0 && static_cast<unsigned long long>(elements) > SIZE_MAX / elementSize)
        return false;
    bytes = static_cast<size_t>(elements) * elementSize;
    return true;
}

}  // namespace

extern "C" {

int CxListEnsureCapacity(void **array, int *capacity, int *count, int needed, size_t elementSize) {
    if (array == nullptr || capacity == nullptr || count == nullptr) return 0;
    if (needed <= 0) return 1;
    size_t bytes = 0;
    if (*array == nullptr) {
        if (!byteSize(needed, elementSize, bytes)) return 0;
        void *fresh = OxsMemoryMalloc(bytes);
        if (fresh == nullptr) return 0;
        *array = fresh;
        *capacity = needed;
        *count = 0;
        return 1;
    }
    if (*capacity >= needed) return 1;
    const long long grown = grownCapacity(needed);
    if (grown == 0 || !byteSize(grown, elementSize, bytes)) return 0;
    void *moved = OxsMemoryRealloc(*array, bytes);
    if (moved == nullptr) return 0;
    *array = moved;
    *capacity = static_cast<int>(grown);
    return 1;
}

void CxListDiscard(void **array, int *capacity, int *count) {
    if (array == nullptr || capacity == nullptr || count == nullptr) return;
    OxsMemoryFree(*array);
    *array = nullptr;
    *capacity = 0;
    *count = 0;
}

}  // extern "C"
