/*
 * A singly linked list of fixed-size values kept in an arena (50 nodes per
 * block). A node's payload is the link to the next node, then a copy of the
 * value. Values are handed out by the address of the list's copy, which
 * stays put until the value is removed. No locking: callers guard a list.
 */
#ifndef SLM_LIST_H
#define SLM_LIST_H

#include <stdint.h>

#include "arena.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LIST_NODES_PER_BLOCK 50
enum { listElemSize = sizeof(void *) }; /* bytes of the node's link */

typedef struct slm_list {
    uint32_t count;
    uint32_t size; /* bytes of one value */
    slm_arena *arena;
    void *head; /* node payloads */
    void *tail;
} slm_list;

/* Null on failure. */
slm_list *createList(uint32_t size);
void deleteList(slm_list *list);

uint32_t entries(const slm_list *list);
/* 0, or 2 when no node can be had. */
int append(slm_list *list, const void *value);
/* The first value when current is null, else the one after current; null at
 * the end. */
void *getNext(const slm_list *list, const void *current);
/* Removes the first value whose bytes equal those at value: 0, or 4 when
 * none matches. */
int listRemove(slm_list *list, const void *value);

#ifdef __cplusplus
}
#endif

#endif /* SLM_LIST_H */
