/*
 * The containers' internal twins: the same operations as the public ones
 * in kavel.h, named kvlIntl..., for toolkit code that already holds the API
 * mutex (they never take it). Maps also have GetNode and RemNode here.
 */
#ifndef KVL_CONTAINERS_H
#define KVL_CONTAINERS_H

#include <stddef.h>

#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Memory a record lends the containers made inside it (an event's
 * properties and its message's parameters): their links come from here
 * while it lasts, then from the heap, and what they take is given back
 * only with the record. */
typedef struct KvlRoom {
    char *begin;
    char *next;
    char *end;
} KvlRoom;

#define KVL_DECLARE_MAP_INTL(Name, In, Out)                                               \
    Kvl##Name *kvlIntlAlloc##Name(void) KVL_NOEXCEPT;                                     \
    Kvl##Name *kvlIntlCopy##Name(Kvl##Name *map) KVL_NOEXCEPT;                            \
    void kvlIntlFree##Name(Kvl##Name *map) KVL_NOEXCEPT;                                  \
    int kvlIntl##Name##Put(Kvl##Name *map, const char *key, In value) KVL_NOEXCEPT;       \
    /* The key is not in the map: no look-up. */                                          \
    int kvlIntl##Name##PutNew(Kvl##Name *map, const char *key, In value) KVL_NOEXCEPT;    \
    Out kvlIntl##Name##Get(Kvl##Name *map, const char *key) KVL_NOEXCEPT;                 \
    void kvlIntl##Name##Rem(Kvl##Name *map, const char *key) KVL_NOEXCEPT;                \
    int kvlIntl##Name##HasKey(Kvl##Name *map, const char *key) KVL_NOEXCEPT;              \
    Kvl##Name##Iter kvlIntl##Name##Iterator(Kvl##Name *map) KVL_NOEXCEPT;                 \
    int kvlIntl##Name##IterHasNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;                    \
    char *kvlIntl##Name##IterGetKey(Kvl##Name##Iter iter) KVL_NOEXCEPT;                   \
    Out kvlIntl##Name##IterGetVal(Kvl##Name##Iter iter) KVL_NOEXCEPT;                     \
    Kvl##Name##Iter kvlIntl##Name##IterNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;           \
    Kvl##Name##Iter kvlIntl##Name##GetNode(Kvl##Name *map, const char *key) KVL_NOEXCEPT; \
    void kvlIntl##Name##RemNode(Kvl##Name *map, Kvl##Name##Iter link) KVL_NOEXCEPT;

#define KVL_DECLARE_GROUP_INTL(Name, In, Out)                                   \
    Kvl##Name *kvlIntlAlloc##Name(void) KVL_NOEXCEPT;                           \
    void kvlIntlFree##Name(Kvl##Name *group) KVL_NOEXCEPT;                      \
    int kvlIntl##Name##Add(Kvl##Name *group, In value) KVL_NOEXCEPT;            \
    int kvlIntl##Name##Rem(Kvl##Name *group, In value) KVL_NOEXCEPT;            \
    Kvl##Name##Iter kvlIntl##Name##Iterator(Kvl##Name *group) KVL_NOEXCEPT;     \
    int kvlIntl##Name##IterHasNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;          \
    Out kvlIntl##Name##IterGet(Kvl##Name##Iter iter) KVL_NOEXCEPT;              \
    Kvl##Name##Iter kvlIntl##Name##IterNext(Kvl##Name##Iter iter) KVL_NOEXCEPT; \
    Kvl##Name##Iter kvlIntl##Name##IterRem(Kvl##Name##Iter iter) KVL_NOEXCEPT;

#define KVL_DECLARE_LIST_INTL(Name, In, Out)                                    \
    Kvl##Name *kvlIntlAlloc##Name(void) KVL_NOEXCEPT;                           \
    void kvlIntlFree##Name(Kvl##Name *list) KVL_NOEXCEPT;                       \
    Kvl##Name *kvlIntlCopy##Name(Kvl##Name *list) KVL_NOEXCEPT;                 \
    int kvlIntl##Name##Append(Kvl##Name *list, In value) KVL_NOEXCEPT;          \
    Kvl##Name##Iter kvlIntl##Name##Iterator(Kvl##Name *list) KVL_NOEXCEPT;      \
    int kvlIntl##Name##IterHasNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;          \
    Out kvlIntl##Name##IterGet(Kvl##Name##Iter iter) KVL_NOEXCEPT;              \
    Kvl##Name##Iter kvlIntl##Name##IterNext(Kvl##Name##Iter iter) KVL_NOEXCEPT; \
    Kvl##Name##Iter kvlIntl##Name##IterRem(Kvl##Name##Iter iter) KVL_NOEXCEPT;

KVL_DECLARE_MAP_INTL(StringToStringMap, const char *, char *)
/* An empty map made at `where`, `size` bytes of the caller's record (null
 * when it does not fit), taking its links from `room` (may be null) while
 * it lasts: emptied with kvlIntlClearStringToStringMap, never freed. */
KvlStringToStringMap *kvlIntlMakeStringToStringMapIn(void *where, size_t size,
                                                     KvlRoom *room) KVL_NOEXCEPT;
void kvlIntlClearStringToStringMap(KvlStringToStringMap *map) KVL_NOEXCEPT;
/* The map's own text for the key (no copy; valid until the map changes),
 * or null. For record paths that must not allocate per field. */
const char *kvlIntlStringToStringMapPeek(KvlStringToStringMap *map, const char *key) KVL_NOEXCEPT;
/* The key and value of an iterator's entry, borrowed the same way (both
 * null past the end). */
void kvlIntlStringToStringMapIterPeek(KvlStringToStringMapIter iter, const char **key,
                                      const char **value) KVL_NOEXCEPT;
KVL_DECLARE_MAP_INTL(StringToObjClassMap, KvlObjClass *, KvlObjClass *)
KVL_DECLARE_GROUP_INTL(StringGroup, const char *, char *)
KVL_DECLARE_LIST_INTL(StringList, const char *, char *)

/* The typed-property conversions; `ok` (may be null) receives 1 when the
 * text was accepted. */
int kvlPropStrToBool(const char *text, unsigned char *ok) KVL_NOEXCEPT;
char kvlPropStrToChar(const char *text, unsigned char *ok) KVL_NOEXCEPT;
int32_t kvlPropStrToInt32(const char *text, unsigned char *ok) KVL_NOEXCEPT;
int64_t kvlPropStrToInt64(const char *text, unsigned char *ok) KVL_NOEXCEPT;
float kvlPropStrToFloat32(const char *text, unsigned char *ok) KVL_NOEXCEPT;
double kvlPropStrToFloat64(const char *text, unsigned char *ok) KVL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KVL_CONTAINERS_H */
