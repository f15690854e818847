/*
 * Arena: fixed-size slots handed out from blocks, so that many small
 * records cost few allocations and freed slots are reused (last freed,
 * first reused). No locking: callers guard an arena.
 *
 * A block is one allocation: a link to the next block, then perBlock slots.
 * A slot is an 8-byte header (first byte 1 while in use) and the payload;
 * a freed slot's payload begins with the link to the next freed slot, so
 * the payload size is rounded up to a multiple of 8, at least 8.
 */
#ifndef SLM_ARENA_H
#define SLM_ARENA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct slm_arena {
    uint32_t elementSize; /* payload size, rounded up to a multiple of 8 */
    uint32_t perBlock;    /* slots per block */
    void *firstBlock;
    void *currentBlock; /* block that new slots come from */
    uint32_t used;      /* slots taken from the current block */
    void *freeSlots;    /* payload of the last freed slot, or null */
    void *iterBlock;    /* iteration position: block ... */
    uint32_t iterIndex; /* ... and slot index in it */
} slm_arena;

/* Null when an allocation fails or a size is 0. */
slm_arena *initArena(uint32_t elementSize, uint32_t perBlock);
void deleteArena(slm_arena *arena);

/* The payload of a zero-filled slot marked in use; null when no block can
 * be allocated. */
void *newArenaElement(slm_arena *arena);
/* Returns the slot to the arena; a slot already free is left alone. */
void deleteArenaElement(slm_arena *arena, void *payload);

/* Next slot in use, block by block: with restart null, after the last one
 * returned; otherwise from the start. Null at the end. */
void *findArenaNextActiveElement(slm_arena *arena, const void *restart);

/* Frees every block but the first and empties the arena. */
void cleanArenaSpace(slm_arena *arena);

#ifdef __cplusplus
}
#endif

#endif /* SLM_ARENA_H */
