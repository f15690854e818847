// Locale-independent character tests.

#include "CxChars.h"

extern "C" {

int CxIsASCIIDigit(int ch) { return ch >= 0x30 && ch <= 0x39 ? 1 : 0; }

int CxIsLocalDigit(int ch) { return ch >= '0' && ch <= '9' ? 1 : 0; }

int CxIsASCIIAlpha(int ch) {
    return (ch >= 0x41 && ch <= 0x5A) || (ch >= 0x61 && ch <= 0x7A) ? 1 : 0;
}

void CxETOA(char *, size_t) {}

}  // extern "C"
