/*
 * 64-bit decimal text, independent of the locale.
 */
#ifndef SLM_INT64_H
#define SLM_INT64_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Leading and trailing blanks, an optional sign and decimal digits; any
 * other text, or a value out of range, gives 0. */
int64_t aToSlmInt64(const char *text);
/* Decimal digits only, the whole text, as an unsigned 64-bit number;
 * anything else, or a value of 2^64 or more, gives 0. */
uint64_t aToSlmUInt64(const char *text);
/* Decimal text into buffer (at least 21 bytes); returns buffer. */
char *slmInt64toA(char *buffer, int64_t value);
char *slmUInt64toA(char *buffer, uint64_t value);
/* The value with its top bit cleared. */
uint64_t normalizeUInt64(uint64_t value);

#ifdef __cplusplus
}
#endif

#endif /* SLM_INT64_H */
