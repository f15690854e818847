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
 * flushes the closing shift when converting into a stateful codeset). */
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

#ifdef __cplusplus
}
#endif

#endif /* ZIL_H */
