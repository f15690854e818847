/**
 * @file
 * The toolkit's memory primitives. Every string or record the toolkit hands
 * to a caller is allocated here and released with OxsMemoryFree.
 * All of them accept null and zero sizes.
 */
#ifndef OXS_MEMORY_H
#define OXS_MEMORY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
#if defined(__GNUC__) /* declared here: exported from the shared library */
#pragma GCC visibility push(default)
#endif

/** Allocates `size` bytes; null for size 0 or when the allocation fails. */
void *OxsMemoryMalloc(size_t size);
/** Zeroed memory for `count` items of `size` bytes; null when either argument is 0 or the
 * allocation fails. */
void *OxsMemoryCalloc(size_t count, size_t size);
/** Resizes `p` to `size` bytes, moving it when needed; null for size 0
 * or when the allocation fails, and then p is left as it was (not freed). */
void *OxsMemoryRealloc(void *p, size_t size);
/** Releases memory the toolkit allocated; a null p is ignored. */
void OxsMemoryFree(void *p);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* OXS_MEMORY_H */
