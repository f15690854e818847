/*
 * Growable arrays: the caller owns the array pointer, its capacity and its
 * element count; these functions only grow and discard the storage.
 */
#ifndef CX_LIST_UTIL_H
#define CX_LIST_UTIL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Makes room for `needed` elements. 1 on success (also when there was room
 * or needed is 0 or less); 0 when an address is null, the size overflows
 * or memory is short (the array is then unchanged). Growth: 16 below 16,
 * else the smallest power of two above `needed`. An absent array is
 * allocated for exactly `needed` elements, with count 0. */
int CxListEnsureCapacity(void **array, int *capacity, int *count, int needed, size_t elementSize);
/* Frees the array and zeroes all three variables. */
void CxListDiscard(void **array, int *capacity, int *count);

#ifdef __cplusplus
}
#endif

#endif /* CX_LIST_UTIL_H */
