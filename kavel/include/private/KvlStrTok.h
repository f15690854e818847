/*
 * A plain delimiter tokeniser: tokens are maximal runs of characters not in
 * the delimiter set, never empty. Without delimiters every character is a
 * token. The loop is: while HasNext, Get (and free) the token, then Next.
 */
#ifndef KVL_STR_TOK_H
#define KVL_STR_TOK_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KvlStrTokIter {
    const char *pos; /* just after the current token */
    const char *delims;
} KvlStrTokIter;

KvlStrTokIter KvlStrTokIterator(const char *text, const char *delims);
int KvlStrTokIterHasNext(const KvlStrTokIter *it);
/* The next token, to free with OxsMemoryFree; null when none. */
char *KvlStrTokIterGet(const KvlStrTokIter *it);
/* Advances past the next token; returns the updated iterator. */
KvlStrTokIter KvlStrTokIterNext(KvlStrTokIter *it);

#ifdef __cplusplus
}
#endif

#endif /* KVL_STR_TOK_H */
