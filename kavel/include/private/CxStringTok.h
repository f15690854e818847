/*
 * A tokeniser that understands double quotes: with quoting on, a quoted
 * part may hold delimiters and its quotes are dropped from the token, so
 * lists of file names with blanks can be split on blanks.
 */
#ifndef CX_STRING_TOK_H
#define CX_STRING_TOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_STRING_TOK_NONE (-9) /* start and end when there is no token */

typedef struct CxStringTokIter {
    const char *str; /* not copied: must outlive the iterator */
    int32_t length;
    const char *delims;
    char quotes; /* 1: double quotes group and are removed */
    int32_t start;
    int32_t end;
} CxStringTokIter;

/* An iterator positioned on the first token. */
CxStringTokIter CxStringTokIterator(const char *text, const char *delims, char quotes);
/* 1 while there is a current token. */
int CxStringTokIterHasNext(const CxStringTokIter *it);
/* The current token, to free with OxsMemoryFree; null when none. */
char *CxStringTokIterGet(const CxStringTokIter *it);
void CxStringTokIterNext(CxStringTokIter *it);

#ifdef __cplusplus
}
#endif

#endif /* CX_STRING_TOK_H */
