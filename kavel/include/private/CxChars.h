/*
 * Character tests that do not depend on the locale: parsers of properties,
 * formats and message identifiers must read digits and letters the same way
 * whatever locale the host program set.
 */
#ifndef CX_CHARS_H
#define CX_CHARS_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 for 0x30 to 0x39. */
int CxIsASCIIDigit(int ch);
/* 1 for the host character set's ten decimal digits (ASCII here). */
int CxIsLocalDigit(int ch);
/* 1 for 0x41 to 0x5A and 0x61 to 0x7A. */
int CxIsASCIIAlpha(int ch);
/* EBCDIC to ASCII in place on an EBCDIC host; this host is ASCII, so the
 * bytes are left as they are. */
void CxETOA(char *buffer, size_t length);

#ifdef __cplusplus
}
#endif

#endif /* CX_CHARS_H */
