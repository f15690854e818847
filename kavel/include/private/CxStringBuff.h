/*
 * CxStringBuff: the growable, always NUL-terminated byte string every
 * formatter, handler and reader of the toolkit builds its text in. An
 * all-zero record is an empty buffer; storage (1024 bytes, then doubling)
 * is allocated on the first append. Every operation returns 1 or 0; a
 * failed one leaves the buffer as it was. Sizes never pass 2^31 bytes.
 */
#ifndef CX_STRING_BUFF_H
#define CX_STRING_BUFF_H

#include <stdarg.h>
#include <stdint.h>

#include "zil.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CxStringBuff {
    uint32_t length;   /* bytes in use, without the terminator */
    uint32_t capacity; /* bytes allocated */
    char *data;        /* from OxsMemoryMalloc, or null */
} CxStringBuff;

int CxStringBuffAppendChar(CxStringBuff *buffer, char ch);
int CxStringBuffAppendUTF32Char(CxStringBuff *buffer, int32_t codePoint);
int CxStringBuffAppendUCS2Char(CxStringBuff *buffer, uint16_t unit);
int CxStringBuffAppendInt32(CxStringBuff *buffer, int32_t value);
int CxStringBuffAppendInt64(CxStringBuff *buffer, int64_t value);
int CxStringBuffAppendUInt64(CxStringBuff *buffer, uint64_t value);
int CxStringBuffAppendEBCDICInt64(CxStringBuff *buffer, int64_t value);
int CxStringBuffAppendStr(CxStringBuff *buffer, const char *text);
/* At most count bytes (-1: all), stopping early at a NUL. */
int CxStringBuffAppendStrN(CxStringBuff *buffer, const char *text, int32_t count);
/* Wide characters converted with the codeset (null: the default); stops
 * before a character that would pass byteLimit bytes (-1: none). */
int CxStringBuffAppendWStrN(uc_ch_t *cs, CxStringBuff *buffer, const uint16_t *text,
                            int32_t byteLimit);
int CxStringBuffInsertStr(CxStringBuff *buffer, const char *text, uint32_t position);
/* Hands the storage over (free with OxsMemoryFree); the record becomes empty. */
char *CxStringBuffTakeStr(CxStringBuff *buffer);
char *CxStringBuffPeekStr(const CxStringBuff *buffer);
char *CxStringBuffCopyStr(const CxStringBuff *buffer);
int CxStringBuffRestart(CxStringBuff *buffer);
int CxStringBuffDiscard(CxStringBuff *buffer);
int CxStringBuffPack(CxStringBuff *buffer);
int CxStringBuffChangeFromUTF8(uc_ch_t *cs, CxStringBuff *buffer);
int CxStringBuffChangeToUTF8(uc_ch_t *cs, CxStringBuff *buffer);
/* Formatted append; the bytes appended (those before a failure). */
int CxStringBuffPrintf(uc_ch_t *cs, CxStringBuff *buffer, const char *format, ...);
int CxStringBuffPrintfV(uc_ch_t *cs, CxStringBuff *buffer, const char *format, va_list args);

/* Internal: makes room for `extra` more bytes. */
int cxStringBuffHasCapacity(CxStringBuff *buffer, uint64_t extra);
/* Internal: appends `n` bytes (none still makes the text); 0 when memory
 * is short. */
int cxStringBuffAppendBytes(CxStringBuff *buffer, const char *bytes, size_t n);

#ifdef __cplusplus
}
#endif

#endif /* CX_STRING_BUFF_H */
