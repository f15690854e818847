/*
 * A small string-to-string dictionary. A record with all fields zero is an
 * empty list; there is no creation function. Keys are unique and compared
 * byte for byte; entry order carries no meaning (a removal moves the last
 * entry into the hole). Keys and values are owned copies.
 */
#ifndef CX_PROP_LIST_H
#define CX_PROP_LIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CxPropEntry {
    char *key;
    char *value;
} CxPropEntry;

typedef struct CxPropList {
    int32_t count;
    int32_t capacity; /* after an insertion, at least count + 1 */
    CxPropEntry *entries;
} CxPropList;

typedef struct CxPropListIter {
    CxPropList *list; /* null once the iteration has run off the end */
    int32_t index;
} CxPropListIter;

/* The value (pointing into the list) or null; *found says whether the key
 * exists when given. */
const char *CxPropListPeekStr(const CxPropList *list, const char *key, unsigned char *found);
/* A copy to free with OxsMemoryFree, or null. */
char *CxPropListCopyStr(const CxPropList *list, const char *key, unsigned char *found);
/* 1: inserted or replaced; 0: a null argument or no memory (list unchanged). */
int CxPropListPutStr(CxPropList *list, const char *key, const char *value);
int CxPropListRemove(CxPropList *list, const char *key);
int CxPropListHasKey(const CxPropList *list, const char *key);
/* Frees everything; the list is empty (and usable) again. */
void CxPropListDiscard(CxPropList *list);
/* Reads a properties file into the list (a later key replaces an earlier
 * value): 1, or 0 for a null list or a file that cannot be read whole.
 * Defined beside the toolkit's properties reader; it takes the API mutex,
 * since what it cannot read goes to the toolkit's error logger. */
int CxPropListRead(const char *path, CxPropList *list);

CxPropListIter CxPropListIterator(CxPropList *list);
int CxPropListIterHasNext(const CxPropListIter *it);
const char *CxPropListIterPeekKey(const CxPropListIter *it);
const char *CxPropListIterPeekVal(const CxPropListIter *it);
char *CxPropListIterCopyKey(const CxPropListIter *it);
char *CxPropListIterCopyVal(const CxPropListIter *it);
void CxPropListIterNext(CxPropListIter *it);

#ifdef __cplusplus
}
#endif

#endif /* CX_PROP_LIST_H */
