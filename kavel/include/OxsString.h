/*
 * The toolkit's string primitives: the standard string functions with
 * fixed rules for null arguments, so no caller has to test for them.
 * Comparisons are byte-wise; the case-insensitive ones fold ASCII letters
 * only, whatever the locale.
 */
#ifndef OXS_STRING_H
#define OXS_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
#if defined(__GNUC__) /* declared here: exported from the shared library */
#pragma GCC visibility push(default)
#endif

/* a null: 1; b null (a not): -1. */
int OxsStringCmp(const char *a, const char *b);
int OxsStringNCmp(const char *a, const char *b, size_t n);
int OxsStringICmp(const char *a, const char *b);
int OxsStringNICmp(const char *a, const char *b, size_t n);

/* dst null: null. src null: dst unchanged. */
char *OxsStringCat(char *dst, const char *src);
/* Appends at most n characters, then a terminator. */
char *OxsStringNCat(char *dst, const char *src, size_t n);
/* dst null: null. src null: dst becomes empty. */
char *OxsStringCpy(char *dst, const char *src);
/* Copies at most n characters; no terminator when src has n or more. */
char *OxsStringNCpy(char *dst, const char *src, size_t n);

/* A copy to release with OxsMemoryFree; null for null or no memory. */
char *OxsStringDup(const char *s);
/* 0 for null. */
size_t OxsStringLen(const char *s);

/* Null when any argument is null. */
char *OxsStringChr(const char *s, int ch);
char *OxsStringRChr(const char *s, int ch);
char *OxsStringStr(const char *haystack, const char *needle);
char *OxsStringStrpbrk(const char *s, const char *set);
/* s null: SIZE_MAX. set null: the length of s. */
size_t OxsStringStrcspn(const char *s, const char *set);
/* s null: SIZE_MAX. set null: 0. */
size_t OxsStringStrspn(const char *s, const char *set);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* OXS_STRING_H */
