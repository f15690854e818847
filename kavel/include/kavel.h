/*
 * Public interface of the logging toolkit.
 *
 * Every logging call ends with a typed argument list: (marker, value) pairs
 * closed by KVL_ARG_END. The markers say how the value was passed through the
 * variable argument list, so the toolkit can copy parameters without knowing
 * the format. A level value used as a marker sets the event's level.
 *
 * The header is plain C so that programs written in C can log too.
 */
#ifndef KAVEL_H
#define KAVEL_H

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Levels: larger is more severe. */
#define KVL_LEVEL_FATAL 7000
#define KVL_LEVEL_ERROR 6000
#define KVL_LEVEL_WARN 5000
#define KVL_LEVEL_INFO 4000
#define KVL_LEVEL_DEBUG_MIN 3000
#define KVL_LEVEL_DEBUG_MID 2000
#define KVL_LEVEL_DEBUG_MAX 1000
#define KVL_LEVEL_ALL 0
#define KVL_LEVEL_OFF 9999
#define KVL_LEVEL_NONE (-9999) /* passes every level test */

/* Typed argument list markers. */
#define KVL_ARG_END 0
#define KVL_ARG_PROPERTY 201 /* a property name, then one typed entry */
#define KVL_ARG_BOOLEAN 501  /* int, low byte is the value */
#define KVL_ARG_INT 502      /* int */
#define KVL_ARG_LONG 503     /* long */
#define KVL_ARG_FLOAT 504    /* double (promoted float), narrowed to float */
#define KVL_ARG_DOUBLE 505   /* double */
#define KVL_ARG_CHAR 506     /* int, low byte is the value */
#define KVL_ARG_STRING 507   /* const char *, copied */

/* A logger, filter, handler or formatter. */
typedef struct KvlObject KvlObject;

/* Debug calls: the event carries the source file, function and line. */
void KvlLogDebugMin(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...);
void KvlLogDebugMid(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...);
void KvlLogDebugMax(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...);
void KvlLogDebugMinVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args);
void KvlLogDebugMidVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args);
void KvlLogDebugMaxVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args);

#ifdef __cplusplus
}
#endif

#endif /* KAVEL_H */
