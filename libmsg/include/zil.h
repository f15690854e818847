/*
 * zil: conversion between the host's local codesets, UTF-8 and UCS-2.
 *
 * A codeset is opened by name (zil_cs_new) from a codeset table file and
 * used through its handle; a null handle everywhere means the library's
 * default codeset. Conversions never fail as a whole: characters that
 * cannot be converted become a substitution character and are counted in
 * the handle's subst_count.
 *
 * Restartable conversions return ZIL_CONV_DONE (all input consumed),
 * ZIL_CONV_OUTPUT_FULL or ZIL_CONV_INCOMPLETE (the input ends inside a
 * character, whose bytes are left unconsumed).
 */
#ifndef ZIL_H
#define ZIL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif
#if defined(__GNUC__) /* declared here: exported from the shared library */
#pragma GCC visibility push(default)
#endif

/* Conversion families (uc_ch_t.kind). */
#define ZIL_KIND_ASCII_SBCS 1
#define ZIL_KIND_ASCII_DBCS 2
#define ZIL_KIND_ASCII_MBCS 3
#define ZIL_KIND_EBCDIC_DBCS 4
#define ZIL_KIND_UTF8 6
#define ZIL_KIND_EBCDIC_SBCS 8
#define ZIL_KIND_OS 9
#define ZIL_KIND_GB18030 10

#define ZIL_CONV_DONE 0
#define ZIL_CONV_OUTPUT_FULL 1
#define ZIL_CONV_INCOMPLETE 2

#define ZIL_CS_NAME_SIZE 32

typedef uint16_t zil_ucs2_t;

/* A codeset handle. Allocated by the library; released with zil_cs_free. */
typedef struct uc_ch_t {
    const unsigned char *table; /* the table file in memory; null for pseudo-codesets */
    uint16_t kind;
    char name[ZIL_CS_NAME_SIZE]; /* canonical name, NUL-terminated */
    uint16_t subst_count;        /* substitutions made through this handle */
    unsigned char shared;        /* 1: the table belongs to another handle */
    unsigned char from_state;    /* shift state of conversions into this codeset */
    unsigned char to_state;      /* shift state of conversions out of it */
    uint32_t table_size;
} uc_ch_t;

/* The two built-in handles: the operating system's own codeset, copied byte
 * for byte as ISO 8859-1, and UTF-8. They are never freed. */
extern uc_ch_t os_uc_ch_t;
extern uc_ch_t utf8_uc_ch_t;
extern uc_ch_t *const os_cs;
extern uc_ch_t *const utf8_cs;
extern const char zil_version[16];

/* Library state. Both return 0; zil_init is idempotent. */
int zil_init(void);
int zil_uninit(void);
/* The normalised name of the operating system's codeset. */
int zil_os_cs_name(char *buffer, size_t size);

/* The environment variables NLSPATH and ZILDIR. Setters return 0 (-1 when
 * the current value cannot be copied); getters return "" when unset. */
int zil_set_nlspath(const char *pathTemplate);
int zil_prepend_nlspath(const char *pathTemplate);
const char *zil_get_nlspath(void);
int zil_set_dir(const char *directory);
const char *zil_get_dir(void);

/* Handles. zil_cs_new returns null when no table is found. */
uc_ch_t *zil_cs_new(const char *name);
int zil_cs_free(uc_ch_t *handle);
uc_ch_t *zil_dup_handle(uc_ch_t *handle);
const void *zil_cs_table(uc_ch_t *handle, uint32_t *size);
int zil_set_def_cs(uc_ch_t *handle);
uc_ch_t *zil_get_def_cs(void);
const char *zil_get_cs_name(uc_ch_t *handle);

/* Restartable conversions: lengths are bytes for byte text and units for
 * UCS-2 text; both are reduced by what was consumed and produced. A null
 * input pointer (*input == NULL) resets the direction's shift state (and
 * flushes the closing shift when converting into a stateful codeset). The
 * output room past what was produced may have been written to. */
int zil_to_utf8_r(uc_ch_t *handle, const char **input, size_t *inputLength, char **output,
                  size_t *outputLength);
int zil_from_utf8_r(uc_ch_t *handle, const char **input, size_t *inputLength, char **output,
                    size_t *outputLength);
int zil_to_ucs2_r(uc_ch_t *handle, const char **input, size_t *inputLength, zil_ucs2_t **output,
                  size_t *outputLength);
int zil_from_ucs2_r(uc_ch_t *handle, const zil_ucs2_t **input, size_t *inputLength, char **output,
                    size_t *outputLength);

/* String conversions. A negative input length means NUL-terminated input;
 * the output is then NUL-terminated too. They return the number of bytes
 * (or units) written, the terminator included; text that does not fit is
 * cut at the last whole character. The last argument is unused. */
int zil_to_utf8(uc_ch_t *handle, const char *input, int inputLength, char *output, int outputSize,
                void *unused);
int zil_from_utf8(uc_ch_t *handle, const char *input, int inputLength, char *output, int outputSize,
                  void *unused);
int zil_to_ucs2(uc_ch_t *handle, const char *input, int inputLength, zil_ucs2_t *output,
                int outputSize, void *unused);
int zil_from_ucs2(uc_ch_t *handle, const zil_ucs2_t *input, int inputLength, char *output,
                  int outputSize, void *unused);

/* Allocating conversions, released with zil_free. Null (and a length of 0)
 * when memory is short. */
char *zil_tou_alloc(uc_ch_t *handle, const char *input, int inputLength, int *resultLength);
char *zil_fromu_alloc(uc_ch_t *handle, const char *input, int inputLength, int *resultLength);
void zil_free(void *memory);

/* Locale names. Canonical locales are a two-letter language and an
 * optional territory ("en", "en_US"). All return 0 but zil_setlocale. */
int zil_canonical_loc(const char *name, char *output, size_t size);
int zil_canonical_lang(const char *name, char *output, size_t size);
int zil_os_lang_name(char *output, size_t size);
/* Sets the category's locale, trying operating-system names for the
 * canonical form when the platform refuses the name itself; returns the
 * name that took effect ("C" when none did). A null name only queries. */
const char *zil_setlocale(int category, const char *locale);
/* A new 32-byte buffer with the canonical locale; released by zil_loc_free. */
char *zil_loc_new(const char *name);
int zil_loc_free(char *locale);

/* Character classes of 16-bit Unicode values. */
typedef struct UniCharType {
    uint16_t attributes; /* class bits (ZIL_CT_*) */
    uint8_t type1;       /* general category */
    uint8_t type2;
    uint16_t extended; /* the upper half of the class bits */
    uint16_t value;    /* decimal digit value */
} UniCharType;

#define ZIL_CT_UPPER 0x0001
#define ZIL_CT_LOWER 0x0002
#define ZIL_CT_DIGIT 0x0004
#define ZIL_CT_SPACE 0x0008
#define ZIL_CT_PUNCT 0x0010
#define ZIL_CT_CNTRL 0x0020
#define ZIL_CT_BLANK 0x0040
#define ZIL_CT_XDIGIT 0x0080
#define ZIL_CT_ALPHA 0x0100
#define ZIL_CT_ALNUM 0x0200
#define ZIL_CT_GRAPH 0x0400
#define ZIL_CT_PRINT 0x0800

const UniCharType *uniQueryCharType(zil_ucs2_t ch);
int uniQueryChar(zil_ucs2_t ch, uint32_t query);
int zil_iswupper(zil_ucs2_t ch);
int zil_iswlower(zil_ucs2_t ch);
int zil_iswdigit(zil_ucs2_t ch);
int zil_iswspace(zil_ucs2_t ch);
int zil_iswpunct(zil_ucs2_t ch);
int zil_iswcntrl(zil_ucs2_t ch);
int zil_iswblank(zil_ucs2_t ch);
int zil_iswxdigit(zil_ucs2_t ch);
int zil_iswalpha(zil_ucs2_t ch);
int zil_iswalnum(zil_ucs2_t ch);
int zil_iswgraph(zil_ucs2_t ch);
int zil_iswprint(zil_ucs2_t ch);

/* Wide strings: 16-bit units ended by a zero unit, with the semantics of
 * the standard functions of the same names. */
size_t zil_wcslen(const zil_ucs2_t *s);
size_t zil_wcsnlen(const zil_ucs2_t *s, size_t n);
zil_ucs2_t *zil_wcscat(zil_ucs2_t *dst, const zil_ucs2_t *src);
zil_ucs2_t *zil_wcsncat(zil_ucs2_t *dst, const zil_ucs2_t *src, size_t n);
zil_ucs2_t *zil_wcscpy(zil_ucs2_t *dst, const zil_ucs2_t *src);
zil_ucs2_t *zil_wcsncpy(zil_ucs2_t *dst, const zil_ucs2_t *src, size_t n);
zil_ucs2_t *zil_wcschr(const zil_ucs2_t *s, zil_ucs2_t ch);
zil_ucs2_t *zil_wcsrchr(const zil_ucs2_t *s, zil_ucs2_t ch);
int zil_wcsncmp(const zil_ucs2_t *a, const zil_ucs2_t *b, size_t n);
size_t zil_wcsspn(const zil_ucs2_t *s, const zil_ucs2_t *set);
size_t zil_wcscspn(const zil_ucs2_t *s, const zil_ucs2_t *set);
zil_ucs2_t *zil_wcspbrk(const zil_ucs2_t *s, const zil_ucs2_t *set);
zil_ucs2_t *zil_wcswcs(const zil_ucs2_t *haystack, const zil_ucs2_t *needle);
zil_ucs2_t *zil_wcstok(zil_ucs2_t *s, const zil_ucs2_t *delimiters, zil_ucs2_t **saved);

/* Multibyte characters in a handle's codeset (null: the default). */
int zil_mbtowc(uc_ch_t *cs, zil_ucs2_t *wc, const char *s, size_t n);
int zil_mbtowc32(uc_ch_t *cs, uint32_t *wc, const char *s, size_t n);
int zil_wctomb(uc_ch_t *cs, char *out, zil_ucs2_t wc);
int zil_mblen(uc_ch_t *cs, const char *s, size_t n);
long zil_mbstowcs(uc_ch_t *cs, zil_ucs2_t *out, const char *s, size_t n);
long zil_wcstombs(uc_ch_t *cs, char *out, const zil_ucs2_t *wcs, size_t n);
int zil_mbsbtype(uc_ch_t *cs, const char *s, size_t n);
int zil_ismbs1st(uc_ch_t *cs, const char *start, const char *p);

/* Whole-text conversions into *buffer when it is given and set (the caller
 * guarantees the size), else into a new buffer (stored through `buffer`
 * when given) to release with zil_free. Sizes: 2, 3 and 4 bytes per input
 * byte, plus 1. */
char *zil_u2s(uc_ch_t *cs, const char *utf8, char **buffer);
char *zil_s2u(uc_ch_t *cs, const char *text, char **buffer);
char *zil_strconv(uc_ch_t *from, uc_ch_t *to, const char *text, char **buffer);
/* The handle's substitution count, which is reset to 0. */
int zil_check_subs(uc_ch_t *cs);

/* Message catalogs: a catalog found by name through NLSPATH for a locale
 * (null: the process's), the text of a message in a codeset (the UTF-8
 * handle: the catalog's own text; null: the local codeset) or the
 * caller's default text, and the catalog given back. */
typedef struct zil_catalog *zil_catd;
zil_catd zil_catopen(const char *name, int flags, const char *locale);
const char *zil_catgets(zil_catd catalog, int set, int message, const char *defaultText,
                        uc_ch_t *cs);
/* 0, or -1 when the catalog is null or not open. */
int zil_catclose(zil_catd catalog);
/* Empties the catalog cache and releases the catalog: 0, or -1 for null. */
int zil_catclose_fully(zil_catd catalog);

struct tm;
/* strftime and strptime with format and text in the handle's codeset. */
size_t zil_strftime(uc_ch_t *cs, char *out, size_t size, const char *format, const struct tm *time);
char *zil_strptime(uc_ch_t *cs, const char *text, const char *format, struct tm *time);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* ZIL_H */
