/**
 * @file
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

/** @defgroup codesets Codesets and handles
 * @{ */
/** @name Conversion families (uc_ch_t.kind) */
///@{
#define ZIL_KIND_ASCII_SBCS 1  /**< one byte per character, ASCII below 0x80 */
#define ZIL_KIND_ASCII_DBCS 2  /**< one or two bytes, ASCII below 0x80 */
#define ZIL_KIND_ASCII_MBCS 3  /**< one to four bytes (EUC), ASCII below 0x80 */
#define ZIL_KIND_EBCDIC_DBCS 4 /**< EBCDIC with shift-out and shift-in to double bytes */
#define ZIL_KIND_UTF8 6        /**< UTF-8 */
#define ZIL_KIND_EBCDIC_SBCS 8 /**< one EBCDIC byte per character */
#define ZIL_KIND_OS 9          /**< the operating system's codeset, taken as ISO 8859-1 */
#define ZIL_KIND_GB18030 10    /**< GB 18030 */
///@}

/** @name Results of restartable conversions */
///@{
#define ZIL_CONV_DONE 0        /**< all input consumed */
#define ZIL_CONV_OUTPUT_FULL 1 /**< the output has no room for the next character */
#define ZIL_CONV_INCOMPLETE 2  /**< the input ends inside a character, left unconsumed */
///@}

/** The size of a handle's name, its terminator included. */
#define ZIL_CS_NAME_SIZE 32

/** A UCS-2 code unit (UTF-16 where a surrogate pair is used). */
typedef uint16_t zil_ucs2_t;

/** A codeset handle. Allocated by the library; released with zil_cs_free. */
typedef struct uc_ch_t {
    const unsigned char *table;  /**< the table file in memory; null for pseudo-codesets */
    uint16_t kind;               /**< the conversion family (ZIL_KIND_*) */
    char name[ZIL_CS_NAME_SIZE]; /**< canonical name, NUL-terminated */
    uint16_t subst_count;        /**< substitutions made through this handle */
    unsigned char shared;        /**< 1: the table belongs to another handle */
    unsigned char from_state;    /**< shift state of conversions into this codeset */
    unsigned char to_state;      /**< shift state of conversions out of it */
    uint32_t table_size;         /**< the table's size in bytes */
} uc_ch_t;

/** @name Built-in handles
 * The operating system's own codeset, copied byte for byte as ISO 8859-1,
 * and UTF-8. They are never freed. */
///@{
extern uc_ch_t os_uc_ch_t;     /**< the operating system's codeset */
extern uc_ch_t utf8_uc_ch_t;   /**< UTF-8 */
extern uc_ch_t *const os_cs;   /**< &os_uc_ch_t */
extern uc_ch_t *const utf8_cs; /**< &utf8_uc_ch_t */
///@}
/** The library's version, as text. */
extern const char zil_version[16];

/** Prepares the library's state: 0 (a second call does nothing). */
int zil_init(void);
/** Releases the library's state: 0. */
int zil_uninit(void);
/** The normalised name of the operating system's codeset, into `buffer`
 * (`size` bytes): 0. */
int zil_os_cs_name(char *buffer, size_t size);

/** @name Where the data is
 * The environment variables NLSPATH (where catalogs are) and ZILDIR (where
 * codeset tables are, in its generic/codeset directory). With neither
 * set, the installed data is used. Setters return 0 (-1 when the current
 * value cannot be copied); getters return "" when unset. */
///@{
/** Sets NLSPATH, prepends a template to it, or reads it. */
int zil_set_nlspath(const char *pathTemplate);
int zil_prepend_nlspath(const char *pathTemplate);
const char *zil_get_nlspath(void);
///@}
///@{
/** Sets or reads ZILDIR. */
int zil_set_dir(const char *directory);
const char *zil_get_dir(void);
///@}

/** A new handle for the codeset of that name (any of its aliases, in any
 * case); null when no table is found. */
uc_ch_t *zil_cs_new(const char *name);
/** Releases a handle: 0 (the built-in ones and null are ignored). */
int zil_cs_free(uc_ch_t *handle);
/** A new handle on the same codeset and table, with its own shift states
 * and substitution count. */
uc_ch_t *zil_dup_handle(uc_ch_t *handle);
/** The handle's table in memory and its size in bytes; null (size 0) for
 * a pseudo-codeset. */
const void *zil_cs_table(uc_ch_t *handle, uint32_t *size);
/** Makes the handle the default codeset (null: the operating system's): 0. */
int zil_set_def_cs(uc_ch_t *handle);
/** The default codeset's handle. */
uc_ch_t *zil_get_def_cs(void);
/** The handle's canonical name. */
const char *zil_get_cs_name(uc_ch_t *handle);
/** @} */

/** @defgroup conversions Conversions
 * Conversions never fail as a whole: characters that cannot be converted
 * become a substitution character and are counted in the handle's
 * subst_count.
 * @{ */
/** @name Restartable conversions
 * Lengths are bytes for byte text and units for
 * UCS-2 text; both are reduced by what was consumed and produced. A null
 * input pointer (*input == NULL) resets the direction's shift state (and
 * flushes the closing shift when converting into a stateful codeset). The
 * output room past what was produced may have been written to. */
///@{
/** Converts from the handle's codeset to UTF-8, back, to UCS-2 and back,
 * as far as input and room allow; returns a ZIL_CONV_* result. */
int zil_to_utf8_r(uc_ch_t *handle, const char **input, size_t *inputLength, char **output,
                  size_t *outputLength);
int zil_from_utf8_r(uc_ch_t *handle, const char **input, size_t *inputLength, char **output,
                    size_t *outputLength);
int zil_to_ucs2_r(uc_ch_t *handle, const char **input, size_t *inputLength, zil_ucs2_t **output,
                  size_t *outputLength);
int zil_from_ucs2_r(uc_ch_t *handle, const zil_ucs2_t **input, size_t *inputLength, char **output,
                    size_t *outputLength);
///@}

/** @name String conversions
 * A negative input length means NUL-terminated input;
 * the output is then NUL-terminated too. They return the number of bytes
 * (or units) written, the terminator included; text that does not fit is
 * cut at the last whole character. The last argument is unused. */
///@{
/** Converts from the handle's codeset to UTF-8, back, to UCS-2 and back. */
int zil_to_utf8(uc_ch_t *handle, const char *input, int inputLength, char *output, int outputSize,
                void *unused);
int zil_from_utf8(uc_ch_t *handle, const char *input, int inputLength, char *output, int outputSize,
                  void *unused);
int zil_to_ucs2(uc_ch_t *handle, const char *input, int inputLength, zil_ucs2_t *output,
                int outputSize, void *unused);
int zil_from_ucs2(uc_ch_t *handle, const zil_ucs2_t *input, int inputLength, char *output,
                  int outputSize, void *unused);
///@}

/** @name Allocating conversions
 * Released with zil_free. Null (and a length of 0) when memory is short;
 * a negative input length means NUL-terminated input. */
///@{
/** Converts from the handle's codeset to UTF-8, or back, into new memory;
 * the result's length (without its terminator) goes to `resultLength`. */
char *zil_tou_alloc(uc_ch_t *handle, const char *input, int inputLength, int *resultLength);
char *zil_fromu_alloc(uc_ch_t *handle, const char *input, int inputLength, int *resultLength);
///@}
/** Releases what the library allocated; null is ignored. */
void zil_free(void *memory);

/** @name Whole-text conversions
 * Into *buffer when it is given and set (the caller guarantees the size),
 * else into a new buffer (stored through `buffer` when given) to release
 * with zil_free. Sizes: 2, 3 and 4 bytes per input byte, plus 1. */
///@{
/** Converts UTF-8 to the codeset, the codeset to UTF-8, or one codeset to
 * another. */
char *zil_u2s(uc_ch_t *cs, const char *utf8, char **buffer);
char *zil_s2u(uc_ch_t *cs, const char *text, char **buffer);
char *zil_strconv(uc_ch_t *from, uc_ch_t *to, const char *text, char **buffer);
///@}
/** The handle's substitution count, which is reset to 0. */
int zil_check_subs(uc_ch_t *cs);
/** @} */

/** @defgroup locales Locales
 * Canonical locales are a two-letter language and an optional territory
 * ("en", "en_US").
 * @{ */
/** The canonical form of a locale name, into `output`: 0. */
int zil_canonical_loc(const char *name, char *output, size_t size);
/** The canonical language of a locale name, into `output`: 0. */
int zil_canonical_lang(const char *name, char *output, size_t size);
/** The canonical language of the process's locale, into `output`: 0. */
int zil_os_lang_name(char *output, size_t size);
/** Sets the category's locale, trying operating-system names for the
 * canonical form when the platform refuses the name itself; returns the
 * name that took effect ("C" when none did). A null name only queries. */
const char *zil_setlocale(int category, const char *locale);
/** A new 32-byte buffer with the canonical locale; released by zil_loc_free. */
char *zil_loc_new(const char *name);
/** Releases what zil_loc_new made: 0. */
int zil_loc_free(char *locale);
/** @} */

/** @defgroup characters Characters and wide strings
 * @{ */
/** The character classes of a 16-bit Unicode value. */
typedef struct UniCharType {
    uint16_t attributes; /**< class bits (ZIL_CT_*) */
    uint8_t type1;       /**< general category */
    uint8_t type2;       /**< reserved: 0 */
    uint16_t extended;   /**< the upper half of the class bits */
    uint16_t value;      /**< decimal digit value */
} UniCharType;

/** @name Class bits (UniCharType.attributes) */
///@{
#define ZIL_CT_UPPER 0x0001  /**< an upper-case letter */
#define ZIL_CT_LOWER 0x0002  /**< a lower-case letter */
#define ZIL_CT_DIGIT 0x0004  /**< a decimal digit */
#define ZIL_CT_SPACE 0x0008  /**< white space */
#define ZIL_CT_PUNCT 0x0010  /**< punctuation */
#define ZIL_CT_CNTRL 0x0020  /**< a control character */
#define ZIL_CT_BLANK 0x0040  /**< a blank (space or tab) */
#define ZIL_CT_XDIGIT 0x0080 /**< a hexadecimal digit */
#define ZIL_CT_ALPHA 0x0100  /**< a letter */
#define ZIL_CT_ALNUM 0x0200  /**< a letter or digit */
#define ZIL_CT_GRAPH 0x0400  /**< a visible character */
#define ZIL_CT_PRINT 0x0800  /**< a printable character */
///@}

/** The classes of a character (never null). */
const UniCharType *uniQueryCharType(zil_ucs2_t ch);
/** 1 when the character has every class bit of `query` (bits above 16
 * are the extended ones; 0x8001xxxx, 0x8002xxxx and 0x8003xxxx compare
 * type1, type2 and the digit value with xxxx), else 0. */
int uniQueryChar(zil_ucs2_t ch, uint32_t query);
/** @name Class tests */
///@{
/** 1 when the character is of the class the name says, else 0. */
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
///@}

/** @name Wide strings */
///@{
/** 16-bit units ended by a zero unit, with the semantics of the standard
 * functions of the same names. */
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
///@}

/** @name Multibyte characters
 * In a handle's codeset (null: the default), with the semantics of the
 * standard functions of the same names; zil_mbtowc32 gives a whole code
 * point where the codeset has characters beyond 16 bits. */
///@{
/** Converts or measures one character or a string. */
int zil_mbtowc(uc_ch_t *cs, zil_ucs2_t *wc, const char *s, size_t n);
int zil_mbtowc32(uc_ch_t *cs, uint32_t *wc, const char *s, size_t n);
int zil_wctomb(uc_ch_t *cs, char *out, zil_ucs2_t wc);
int zil_mblen(uc_ch_t *cs, const char *s, size_t n);
long zil_mbstowcs(uc_ch_t *cs, zil_ucs2_t *out, const char *s, size_t n);
long zil_wcstombs(uc_ch_t *cs, char *out, const zil_ucs2_t *wcs, size_t n);
///@}
/** The role of byte `n` of the string: 0 a one-byte character, 1 the first
 * byte of a longer one, 2 a later byte; -1 for none (past the end, a
 * shift byte, a byte of no character). */
int zil_mbsbtype(uc_ch_t *cs, const char *s, size_t n);
/** 1 when `p` (within the string at `start`) is the first byte of a
 * character of more than one byte, else 0. */
int zil_ismbs1st(uc_ch_t *cs, const char *start, const char *p);
/** @} */

/** @defgroup catalogs Message catalogs
 * A catalog found by name through NLSPATH for a locale
 * (null: the process's), the text of a message in a codeset (the UTF-8
 * handle: the catalog's own text; null: the local codeset) or the
 * caller's default text, and the catalog given back.
 * @{ */
/** An open catalog. */
typedef struct zil_catalog *zil_catd;
/** Opens catalog `name` (a file name, or a name NLSPATH's templates make
 * one of) for `locale`; with a null locale, LANG's (flags 1: LC_ALL's or
 * LC_MESSAGES' first). */
zil_catd zil_catopen(const char *name, int flags, const char *locale);
/** The text of the message, or `defaultText` when the catalog has none. */
const char *zil_catgets(zil_catd catalog, int set, int message, const char *defaultText,
                        uc_ch_t *cs);
/** Gives the catalog back: 0, or -1 when the catalog is null or not open. */
int zil_catclose(zil_catd catalog);
/** Empties the catalog cache and releases the catalog: 0, or -1 for null. */
int zil_catclose_fully(zil_catd catalog);
/** @} */

/** @addtogroup conversions
 * @{ */
struct tm;
/** @name Times */
///@{
/** strftime and strptime with format and text in the handle's codeset. */
size_t zil_strftime(uc_ch_t *cs, char *out, size_t size, const char *format, const struct tm *time);
char *zil_strptime(uc_ch_t *cs, const char *text, const char *format, struct tm *time);
///@}
/** @} */

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* ZIL_H */
