/**
 * @file
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

/** @name Comparisons */
///@{
/** Compares as strcmp, strncmp and their case-insensitive twins do (the
 * N forms at most n bytes); a null: 1; b null (a not): -1. */
int OxsStringCmp(const char *a, const char *b);
int OxsStringNCmp(const char *a, const char *b, size_t n);
int OxsStringICmp(const char *a, const char *b);
int OxsStringNICmp(const char *a, const char *b, size_t n);
///@}

/** Appends src to dst and returns dst; dst null: null; src null: dst
 * unchanged. */
char *OxsStringCat(char *dst, const char *src);
/** Appends at most n characters of src, then a terminator; returns dst. */
char *OxsStringNCat(char *dst, const char *src, size_t n);
/** Copies src into dst and returns dst; dst null: null; src null: dst
 * becomes empty. */
char *OxsStringCpy(char *dst, const char *src);
/** Copies at most n characters; no terminator when src has n or more. */
char *OxsStringNCpy(char *dst, const char *src, size_t n);

/** A copy to release with OxsMemoryFree; null for null or no memory. */
char *OxsStringDup(const char *s);
/** The length of s; 0 for null. */
size_t OxsStringLen(const char *s);

/** @name Searches */
///@{
/** As strchr, strrchr, strstr and strpbrk; null when any argument is null. */
char *OxsStringChr(const char *s, int ch);
char *OxsStringRChr(const char *s, int ch);
char *OxsStringStr(const char *haystack, const char *needle);
char *OxsStringStrpbrk(const char *s, const char *set);
///@}
/** As strcspn; s null: SIZE_MAX; set null: the length of s. */
size_t OxsStringStrcspn(const char *s, const char *set);
/** As strspn; s null: SIZE_MAX; set null: 0. */
size_t OxsStringStrspn(const char *s, const char *set);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* OXS_STRING_H */
