/*
 * The logging calls' internal entries (called with the API mutex held).
 */
#ifndef KVL_LOGGING_H
#define KVL_LOGGING_H

#include <stdarg.h>
#include <stdint.h>

#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Logs a catalog message with its default text and the typed argument
 * list `args` (ended by 0) on the logger at `level`. */
void kvlLogMessageEntry(KvlObject *logger, int32_t level, const char *catalog, int32_t set,
                        int32_t key, const char *defaultText, va_list args) KVL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KVL_LOGGING_H */
