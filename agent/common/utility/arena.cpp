// Arena of fixed-size slots.
//
// Links inside blocks and freed slots are stored as raw bytes and read and
// written with memcpy, so no alignment or aliasing rule is ever bent.

#include "arena.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kLinkSize = sizeof(void *);
constexpr size_t kSlotHeader = 8;  // first byte: 1 while the slot is in use

void *readLink(const void *at) {
    void *link;
    std::memcpy(&link, at, kLinkSize);
    return link;
}

void writeLink(void *at, void *link) { std::memcpy(at, &link, kLinkSize); }

size_t slotSize(const slm_arena *arena) { return kSlotHeader + arena->elementSize; }

size_t blockSize(const slm_arena *arena) { return kLinkSize + arena->perBlock * slotSize(arena); }

unsigned char *slotAt(const slm_arena *arena, void *block, uint32_t index) {
    return static_cast<unsigned char *>(block) + kLinkSize + index * slotSize(arena);
}

unsigned char *headerOf(void *payload) {
    return static_cast<unsigned char *>(payload) - kSlotHeader;
}

void *allocateBlock(const slm_arena *arena) { return std::calloc(1, blockSize(arena)); }

void *claim(unsigned char *slot) {
    slot[0] = 1;
    return slot + kSlotHeader;
}

}  // namespace

extern "C" {

slm_arena *initArena(uint32_t elementSize, uint32_t perBlock) {
    if (elementSize == 0 || perBlock == 0 || elementSize > UINT32_MAX - 7) return nullptr;
    auto *arena = static_cast<slm_arena *>(std::calloc(1, sizeof(slm_arena)));
    if (arena == nullptr) return nullptr;
    arena->elementSize = (elementSize + 7u) & ~7u;
    arena->perBlock = perBlock;
    if (slotSize(arena) > (SIZE_MAX - kLinkSize) / perBlock) {
        std::free(arena);
        return nullptr;
    }
    arena->firstBlock = allocateBlock(arena);
    if (arena->firstBlock == nullptr) {
        std::free(arena);
        return nullptr;
    }
    arena->currentBlock = arena->firstBlock;
    return arena;
}

void deleteArena(slm_arena *arena) {
    if (arena == nullptr) return;
    for (void *block = arena->firstBlock; block != nullptr;) {
        void *next = readLink(block);
        std::free(block);
        block = next;
    }
    std::free(arena);
}

void *newArenaElement(slm_arena *arena) {
    if (arena == nullptr) return nullptr;
    if (arena->freeSlots != nullptr) {
        void *payload = arena->freeSlots;
        arena->freeSlots = readLink(payload);
        std::memset(payload, 0, arena->elementSize);
        return claim(headerOf(payload));
    }
    if (arena->used == arena->perBlock) {
        void *block = allocateBlock(arena);
        if (block == nullptr) return nullptr;
        writeLink(arena->currentBlock, block);
        arena->currentBlock = block;
        arena->used = 0;
    }
    return claim(slotAt(arena, arena->currentBlock, arena->used++));
}

void deleteArenaElement(slm_arena *arena, void *payload) {
    if (arena == nullptr || payload == nullptr) return;
    unsigned char *header = headerOf(payload);
    if (header[0] != 1) return;  // freeing twice would hand the slot out twice
    std::memset(payload, 0, arena->elementSize);
    header[0] = 0;
    writeLink(payload, arena->freeSlots);
    arena->freeSlots = payload;
}

void *findArenaNextActiveElement(slm_arena *arena, const void *restart) {
    if (arena == nullptr) return nullptr;
    void *block = arena->iterBlock;
    uint32_t index = arena->iterIndex + 1;
    if (restart != nullptr || block == nullptr) {
        block = arena->firstBlock;
        index = 0;
    }
    for (; block != nullptr; block = readLink(block), index = 0) {
        for (; index < arena->perBlock; ++index) {
            unsigned char *slot = slotAt(arena, block, index);
            if (slot[0] == 1) {
                arena->iterBlock = block;
                arena->iterIndex = index;
                return slot + kSlotHeader;
            }
        }
        if (readLink(block) == nullptr) {
            // Stay at the end: later calls without restart find nothing more.
            arena->iterBlock = block;
            arena->iterIndex = arena->perBlock;
        }
    }
    return nullptr;
}

void cleanArenaSpace(slm_arena *arena) {
    if (arena == nullptr) return;
    for (void *block = readLink(arena->firstBlock); block != nullptr;) {
        void *next = readLink(block);
        std::free(block);
        block = next;
    }
    std::memset(arena->firstBlock, 0, blockSize(arena));
    arena->currentBlock = arena->firstBlock;
    arena->used = 0;
    arena->freeSlots = nullptr;
    arena->iterBlock = nullptr;
    arena->iterIndex = 0;
}

}  // extern "C"
