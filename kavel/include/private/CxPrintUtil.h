/*
 * The toolkit's formatted-output engine: a printf that appends to a
 * CxStringBuff, takes positional arguments ("%2$s") and converts wide
 * characters through the codeset library. Three passes: the format is
 * parsed into items and a typed argument list (CxPrintfProcessFmts), the
 * arguments are collected in index order, and each item is emitted.
 *
 * Differences from the C library's printf, on purpose: a number never
 * starts with "0" ("%.0f" and "%.05f" are format errors; "%." leaves the
 * precision unset); "%n" is an error; "f" rounds half up on the value's 34
 * significant digits; "%a" prints no digits. Argument positions above 4096
 * and widths or precisions above 1,000,000 are errors, and a conversion
 * whose argument is of the wrong kind (a "%s" of a number) is an error
 * rather than a crash. "%hd"/"%hhd" narrow their value as C does; a
 * negative "*" width means left alignment, a negative "*" precision none.
 */
#ifndef CX_PRINT_UTIL_H
#define CX_PRINT_UTIL_H

#include <stdarg.h>
#include <stdint.h>

#include "CxStringBuff.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of a conversion. */
#define CX_PF_MINUS 0x01
#define CX_PF_ZERO 0x02
#define CX_PF_PLUS 0x04
#define CX_PF_BLANK 0x08
#define CX_PF_ALT 0x10
#define CX_PF_GROUP 0x20

/* Length modifiers ("lengthCode" of a conversion). */
enum {
    CX_PL_NONE = 0,
    CX_PL_L = 10,   /* l */
    CX_PL_LL = 11,  /* ll */
    CX_PL_LD = 12,  /* L */
    CX_PL_H = 20,   /* h */
    CX_PL_HH = 21,  /* hh */
    CX_PL_I64 = 30, /* I64 */
    CX_PL_J = 40,   /* j */
    CX_PL_Q = 50,   /* q */
    CX_PL_T = 60,   /* t */
    CX_PL_Z = 70    /* z, Z */
};

/* Argument types. */
enum {
    CX_PA_NONE = 0,
    CX_PA_INT = 10,
    CX_PA_SHORT = 11,
    CX_PA_LONG = 12,
    CX_PA_LLONG = 13,
    CX_PA_INTMAX = 14,
    CX_PA_UINT = 20,
    CX_PA_USHORT = 21,
    CX_PA_ULONG = 22,
    CX_PA_ULLONG = 23,
    CX_PA_UINTMAX = 24,
    CX_PA_DOUBLE = 30,
    CX_PA_LDOUBLE = 31,
    CX_PA_SCHAR = 40,
    CX_PA_UCHAR = 41,
    CX_PA_WCHAR = 42,
    CX_PA_POINTER = 50,
    CX_PA_NPTR = 60,
    CX_PA_NPTR_SHORT = 61,
    CX_PA_NPTR_LONG = 62,
    CX_PA_NPTR_LLONG = 63,
    CX_PA_STRING = 70,
    CX_PA_WSTRING = 71,
    CX_PA_SSIZE = 80,
    CX_PA_SIZE = 81,
    CX_PA_PTRDIFF = 90
};

#define CX_PRINTF_INLINE 16

typedef struct CxPrintfItem {
    uint8_t kind; /* 1 text, 0 conversion */
    int32_t argIndex;
    const char *textStart;
    uint8_t argType;
    const char *textEnd; /* inclusive */
    uint32_t flags;
    int32_t widthArg;
    int32_t width;
    int32_t precArg;
    int32_t precision;
    int32_t lengthCode;
    char convChar;
} CxPrintfItem;

typedef struct CxPrintfFormatList {
    int32_t nextArg;
    uint32_t positional;
    int32_t count;
    int32_t capacity;
    CxPrintfItem *items; /* the inline array until it is outgrown */
    CxPrintfItem inlineItems[CX_PRINTF_INLINE];
} CxPrintfFormatList;

typedef struct CxPrintfArg {
    uint8_t type;
    union {
        int64_t i;
        const void *p;
        long double f;
    } value;
} CxPrintfArg;

typedef struct CxPrintfArgList {
    int32_t count;
    int32_t capacity;
    CxPrintfArg *entries;
    CxPrintfArg inlineEntries[CX_PRINTF_INLINE];
} CxPrintfArgList;

void CxPrintfInitLists(CxPrintfFormatList *formatList, CxPrintfArgList *argList);
void CxPrintfFreeLists(CxPrintfFormatList *formatList, CxPrintfArgList *argList);
/* Parses the format into the lists; 0 when the format is good. */
int CxPrintfProcessFmts(const char *format, CxPrintfFormatList *formatList,
                        CxPrintfArgList *argList);
void cxPrintfCollectArgs(va_list *args, CxPrintfArgList *argList, int *error);
/* The bytes appended. */
int cxPrintfEmitAll(uc_ch_t *cs, CxStringBuff *buffer, const CxPrintfFormatList *formatList,
                    const CxPrintfArgList *argList, int *error);

#ifdef __cplusplus
}
#endif

#endif /* CX_PRINT_UTIL_H */
