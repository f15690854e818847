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
#include <stdint.h>

/* Every toolkit function is noexcept for C++ callers. */
#ifdef __cplusplus
#define KVL_NOEXCEPT noexcept
#else
#define KVL_NOEXCEPT
#endif

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
/* A class definition: kind, name, description and operations. */
typedef struct KvlObjClass KvlObjClass;

/* ---- Containers ---------------------------------------------------------
 *
 * Eight containers share three shapes, declared below by one macro each:
 * a map from string keys to values, a group (a set without duplicates) and
 * a list (a sequence with duplicates and a count). Links stay in insertion
 * order; lookups are linear scans; keys compare exactly (case-sensitive).
 * An iterator is the current link (null at the end). A null container, key,
 * value or iterator makes any operation do nothing and return 0 or null.
 *
 * Every function takes the API mutex, except GetLink, GetIndex and RemLink,
 * which take no lock (the caller keeps other threads away from the
 * container). What Get, IterGet and IterGetVal hand out is the caller's
 * (a string copy to free with OxsMemoryFree, an acquired object to release),
 * except where a member says it is borrowed.
 */
typedef int (*KvlCompareFn)(const void *a, const void *b); /* pointers to value pointers */

/* Map `Name` from string keys to values taken as `In` and handed out as
 * `Out`: Alloc, Copy (the same keys in order, values taken in again), Free,
 * Put (an existing key keeps its place), Get, Rem, HasKey, and iteration. */
#define KVL_DECLARE_MAP(Name, In, Out)                                          \
    typedef struct Kvl##Name Kvl##Name;                                         \
    typedef struct Kvl##Name##Link *Kvl##Name##Iter;                            \
    Kvl##Name *KvlAlloc##Name(void) KVL_NOEXCEPT;                               \
    Kvl##Name *KvlCopy##Name(Kvl##Name *map) KVL_NOEXCEPT;                      \
    void KvlFree##Name(Kvl##Name *map) KVL_NOEXCEPT;                            \
    int Kvl##Name##Put(Kvl##Name *map, const char *key, In value) KVL_NOEXCEPT; \
    Out Kvl##Name##Get(Kvl##Name *map, const char *key) KVL_NOEXCEPT;           \
    void Kvl##Name##Rem(Kvl##Name *map, const char *key) KVL_NOEXCEPT;          \
    int Kvl##Name##HasKey(Kvl##Name *map, const char *key) KVL_NOEXCEPT;        \
    Kvl##Name##Iter Kvl##Name##Iterator(Kvl##Name *map) KVL_NOEXCEPT;           \
    int Kvl##Name##IterHasNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;              \
    char *Kvl##Name##IterGetKey(Kvl##Name##Iter iter) KVL_NOEXCEPT;             \
    Out Kvl##Name##IterGetVal(Kvl##Name##Iter iter) KVL_NOEXCEPT;               \
    Kvl##Name##Iter Kvl##Name##IterNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;

/* Group `Name` of distinct values: Add refuses a member already there (0),
 * Rem, iteration with IterRem (removes the current member, returns the next
 * link), and the lock-free GetLink. */
#define KVL_DECLARE_GROUP(Name, In, Out)                                    \
    typedef struct Kvl##Name Kvl##Name;                                     \
    typedef struct Kvl##Name##Link *Kvl##Name##Iter;                        \
    Kvl##Name *KvlAlloc##Name(void) KVL_NOEXCEPT;                           \
    void KvlFree##Name(Kvl##Name *group) KVL_NOEXCEPT;                      \
    int Kvl##Name##Add(Kvl##Name *group, In value) KVL_NOEXCEPT;            \
    int Kvl##Name##Rem(Kvl##Name *group, In value) KVL_NOEXCEPT;            \
    Kvl##Name##Iter Kvl##Name##Iterator(Kvl##Name *group) KVL_NOEXCEPT;     \
    int Kvl##Name##IterHasNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;          \
    Out Kvl##Name##IterGet(Kvl##Name##Iter iter) KVL_NOEXCEPT;              \
    Kvl##Name##Iter Kvl##Name##IterNext(Kvl##Name##Iter iter) KVL_NOEXCEPT; \
    Kvl##Name##Iter Kvl##Name##IterRem(Kvl##Name##Iter iter) KVL_NOEXCEPT;  \
    Kvl##Name##Iter Kvl##Name##GetLink(Kvl##Name *group, In value) KVL_NOEXCEPT;

/* List `Name` of values, duplicates allowed: Alloc, Free, Copy, Append,
 * KvlSort##Name (values move among the links; the comparison receives
 * pointers to value pointers), iteration with IterRem, and the lock-free
 * GetLink (first equal value), GetIndex (borrowed; null out of range) and
 * RemLink (refuses a link of another list). */
#define KVL_DECLARE_LIST(Name, In, Out, Borrowed)                               \
    typedef struct Kvl##Name Kvl##Name;                                         \
    typedef struct Kvl##Name##Link *Kvl##Name##Iter;                            \
    Kvl##Name *KvlAlloc##Name(void) KVL_NOEXCEPT;                               \
    void KvlFree##Name(Kvl##Name *list) KVL_NOEXCEPT;                           \
    Kvl##Name *KvlCopy##Name(Kvl##Name *list) KVL_NOEXCEPT;                     \
    int Kvl##Name##Append(Kvl##Name *list, In value) KVL_NOEXCEPT;              \
    void KvlSort##Name(Kvl##Name *list, KvlCompareFn compare) KVL_NOEXCEPT;     \
    Kvl##Name##Iter Kvl##Name##Iterator(Kvl##Name *list) KVL_NOEXCEPT;          \
    int Kvl##Name##IterHasNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;              \
    Out Kvl##Name##IterGet(Kvl##Name##Iter iter) KVL_NOEXCEPT;                  \
    Kvl##Name##Iter Kvl##Name##IterNext(Kvl##Name##Iter iter) KVL_NOEXCEPT;     \
    Kvl##Name##Iter Kvl##Name##IterRem(Kvl##Name##Iter iter) KVL_NOEXCEPT;      \
    Kvl##Name##Iter Kvl##Name##GetLink(Kvl##Name *list, In value) KVL_NOEXCEPT; \
    Borrowed Kvl##Name##GetIndex(Kvl##Name *list, int32_t index) KVL_NOEXCEPT;  \
    void Kvl##Name##RemLink(Kvl##Name *list, Kvl##Name##Iter link) KVL_NOEXCEPT;

/* A translatable message: catalog, set, key, a default text that is also
 * the format, and typed parameters. */
typedef struct KvlI18Msg KvlI18Msg;
/* A typed message parameter (type KVL_ARG_BOOLEAN to KVL_ARG_STRING). */
typedef struct KvlParm KvlParm;

/* Strings are copied in and handed out as copies; class definitions are
 * borrowed pointers, never freed by the caller; parameters are deep copies
 * (free with KvlFreeParm), GetIndex lends the list's own. */
KVL_DECLARE_MAP(StringToStringMap, const char *, char *)
KVL_DECLARE_MAP(StringToObjClassMap, KvlObjClass *, KvlObjClass *)
KVL_DECLARE_GROUP(StringGroup, const char *, char *)
KVL_DECLARE_LIST(StringList, const char *, char *, const char *)
KVL_DECLARE_LIST(ParmList, KvlParm *, KvlParm *, KvlParm *)

/* ---- Messages -----------------------------------------------------------
 *
 * Binding a message looks its text up in its catalog (UTF-8), falls back to
 * the default text, and formats it with the parameters; a format the
 * parameters do not fit (too few of them, or one of the wrong kind for its
 * conversion: a "%s" of a number) leaves the default text unformatted.
 * Each parameter goes to the formatter with its own type, so a long prints
 * whole under "%d"; integers under "%u", "%o" or "%x" count as unsigned of
 * their width. Strings handed out are freed with OxsMemoryFree.
 */
KvlI18Msg *KvlAllocI18Msg(const char *catalog, int32_t set, int32_t key,
                          const char *text) KVL_NOEXCEPT;
KvlI18Msg *KvlCopyI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
void KvlFreeI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/* 1 when the parameter was appended, else 0. */
int KvlAddI18MsgParmBool(KvlI18Msg *message, int value) KVL_NOEXCEPT;
int KvlAddI18MsgParmChar(KvlI18Msg *message, char value) KVL_NOEXCEPT;
int KvlAddI18MsgParmInt(KvlI18Msg *message, int32_t value) KVL_NOEXCEPT;
int KvlAddI18MsgParmLong(KvlI18Msg *message, int64_t value) KVL_NOEXCEPT;
int KvlAddI18MsgParmFloat(KvlI18Msg *message, float value) KVL_NOEXCEPT;
int KvlAddI18MsgParmDouble(KvlI18Msg *message, double value) KVL_NOEXCEPT;
int KvlAddI18MsgParmString(KvlI18Msg *message, const char *value) KVL_NOEXCEPT;
char *KvlBindI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/* These four take no lock: the caller owns the message. */
void KvlSetI18MsgCat(KvlI18Msg *message, const char *catalog) KVL_NOEXCEPT;
void KvlSetI18MsgSet(KvlI18Msg *message, int32_t set) KVL_NOEXCEPT;
void KvlSetI18MsgKey(KvlI18Msg *message, int32_t key) KVL_NOEXCEPT;
void KvlSetI18MsgTxt(KvlI18Msg *message, const char *text) KVL_NOEXCEPT;

/* Parameters (no lock). KvlCmpParms: 1 when both are null, or of the same
 * type with equal values; else 0. */
KvlParm *KvlCopyParm(const KvlParm *parm) KVL_NOEXCEPT;
void KvlFreeParm(KvlParm *parm) KVL_NOEXCEPT;
int KvlCmpParms(const KvlParm *a, const KvlParm *b) KVL_NOEXCEPT;
/* The parameters formatted with a printf-style format; null when the
 * format is malformed or the parameters do not fit it. */
char *KvlAprintf(const char *format, KvlParmList *parms) KVL_NOEXCEPT;

/* ---- Typed properties ---------------------------------------------------
 *
 * Properties are text in a string map; these read and write them as typed
 * values. Numbers follow C-locale rules whatever the process locale ("0.75"
 * is three quarters everywhere). A getter accepts what "%d", "%lld" or "%f"
 * would read (leading blanks, a sign, digits; text after the number is
 * ignored) and clamps a number outside the type's range to the range (five
 * thousand million read as int is 2147483647); a float overflow is
 * infinity. Booleans are "true" or "false" in any ASCII case. The optional
 * `ok` byte receives 1 when the property exists and its text was accepted;
 * `found` 1 when the property exists. Setters write "true"/"false", the
 * character (none for NUL), decimal integers, and "%f" (six decimals) for
 * float and double. No lock: the caller holds the API mutex or owns the map.
 */
char *KvlGetMapProp(KvlStringToStringMap *map, const char *name, unsigned char *found) KVL_NOEXCEPT;
int KvlGetMapPropBool(KvlStringToStringMap *map, const char *name, unsigned char *ok) KVL_NOEXCEPT;
char KvlGetMapPropChar(KvlStringToStringMap *map, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int32_t KvlGetMapPropInt(KvlStringToStringMap *map, const char *name,
                         unsigned char *ok) KVL_NOEXCEPT;
int64_t KvlGetMapPropLong(KvlStringToStringMap *map, const char *name,
                          unsigned char *ok) KVL_NOEXCEPT;
float KvlGetMapPropFloat(KvlStringToStringMap *map, const char *name,
                         unsigned char *ok) KVL_NOEXCEPT;
double KvlGetMapPropDouble(KvlStringToStringMap *map, const char *name,
                           unsigned char *ok) KVL_NOEXCEPT;
void KvlSetMapProp(KvlStringToStringMap *map, const char *name, const char *value) KVL_NOEXCEPT;
void KvlSetMapPropBool(KvlStringToStringMap *map, const char *name, int value) KVL_NOEXCEPT;
void KvlSetMapPropChar(KvlStringToStringMap *map, const char *name, char value) KVL_NOEXCEPT;
void KvlSetMapPropInt(KvlStringToStringMap *map, const char *name, int32_t value) KVL_NOEXCEPT;
void KvlSetMapPropLong(KvlStringToStringMap *map, const char *name, int64_t value) KVL_NOEXCEPT;
void KvlSetMapPropFloat(KvlStringToStringMap *map, const char *name, float value) KVL_NOEXCEPT;
void KvlSetMapPropDouble(KvlStringToStringMap *map, const char *name, double value) KVL_NOEXCEPT;

/* 1 when the logger would accept an event of that level, else 0. No lock. */
int KvlIsLoggable(KvlObject *logger, int32_t level) KVL_NOEXCEPT;

/* Debug calls: the event carries the source file, function and line. */
void KvlLogDebugMin(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...) KVL_NOEXCEPT;
void KvlLogDebugMid(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...) KVL_NOEXCEPT;
void KvlLogDebugMax(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...) KVL_NOEXCEPT;
void KvlLogDebugMinVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args) KVL_NOEXCEPT;
void KvlLogDebugMidVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args) KVL_NOEXCEPT;
void KvlLogDebugMaxVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args) KVL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KAVEL_H */
