/**
 * @file
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

/** Every toolkit function is noexcept for C++ callers. */
#ifdef __cplusplus
#define KVL_NOEXCEPT noexcept
#else
#define KVL_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif
#if defined(__GNUC__) /* declared here: exported from the shared library */
#pragma GCC visibility push(default)
#endif

/** @defgroup levels Levels and list markers
 * @{ */
/** @name Levels
 * Larger is more severe. A logger or filter passes the events at or above
 * its level; "ALL" passes everything and "OFF" nothing. */
///@{
#define KVL_LEVEL_FATAL 7000     /**< the program cannot go on */
#define KVL_LEVEL_ERROR 6000     /**< an operation failed */
#define KVL_LEVEL_WARN 5000      /**< something is wrong, the operation went on */
#define KVL_LEVEL_INFO 4000      /**< a normal event worth recording */
#define KVL_LEVEL_DEBUG_MIN 3000 /**< the least detailed trace */
#define KVL_LEVEL_DEBUG_MID 2000 /**< a more detailed trace */
#define KVL_LEVEL_DEBUG_MAX 1000 /**< the most detailed trace */
#define KVL_LEVEL_ALL 0          /**< a threshold passing every level */
#define KVL_LEVEL_OFF 9999       /**< a threshold passing none */
#define KVL_LEVEL_NONE (-9999)   /**< an event or threshold that passes every level test */
///@}

/** @name Typed argument list markers
 * Each value of a logging call's list follows the marker saying how it
 * was passed; the list ends with KVL_ARG_END. */
///@{
#define KVL_ARG_END 0        /**< closes the list */
#define KVL_ARG_PROPERTY 201 /**< a property name, then one typed entry */
#define KVL_ARG_BOOLEAN 501  /**< int, low byte is the value */
#define KVL_ARG_INT 502      /**< int */
#define KVL_ARG_LONG 503     /**< long */
#define KVL_ARG_FLOAT 504    /**< double (promoted float), narrowed to float */
#define KVL_ARG_DOUBLE 505   /**< double */
#define KVL_ARG_CHAR 506     /**< int, low byte is the value */
#define KVL_ARG_STRING 507   /**< const char *, copied */
///@}
/** @} */

/** @defgroup types Handles
 * The toolkit's records are opaque: a program holds pointers to them.
 * @{ */
/** A logger, filter, handler or formatter. */
typedef struct KvlObject KvlObject;
/** A class definition: kind, name, description and operations. */
typedef struct KvlObjClass KvlObjClass;
/** A named property set that configures the object of the same name. */
typedef struct KvlObjCfg KvlObjCfg;
/** What a logging call hands to its logger. */
typedef struct KvlEvent KvlEvent;
/** @} */

/** @defgroup containers Containers
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
 *
 * Each container type Kvl<Name> declares the functions its shape's macro
 * lists, named KvlAlloc<Name>, Kvl<Name>Put and so on, and an iterator type
 * Kvl<Name>Iter.
 * @{
 */
/** A list's sort order: receives pointers to the two value pointers;
 * negative, 0 or positive like strcmp. */
typedef int (*KvlCompareFn)(const void *a, const void *b);

/** Declares map `Name` from string keys to values taken as `In` and handed out as
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

/** Declares group `Name` of distinct values: Add refuses a member already there (0),
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

/** Declares list `Name` of values, duplicates allowed: Alloc, Free, Copy, Append,
 * KvlSort<Name> (values move among the links; the comparison receives
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

/** A translatable message: catalog, set, key, a default text that is also
 * the format, and typed parameters. */
typedef struct KvlI18Msg KvlI18Msg;
/** A typed message parameter (type KVL_ARG_BOOLEAN to KVL_ARG_STRING). */
typedef struct KvlParm KvlParm;

/** @name KvlStringToStringMap */
///@{
/** Map of strings to strings (operations: see KVL_DECLARE_MAP): copied in, handed out as copies. */
KVL_DECLARE_MAP(StringToStringMap, const char *, char *)
///@}
/** @name KvlStringToObjClassMap */
///@{
/** Map of names to class definitions (operations: see KVL_DECLARE_MAP): borrowed pointers, never
 * freed by the caller. */
KVL_DECLARE_MAP(StringToObjClassMap, KvlObjClass *, KvlObjClass *)
///@}
/** @name KvlStringGroup */
///@{
/** Group of strings (operations: see KVL_DECLARE_GROUP): copied in, handed out as copies. */
KVL_DECLARE_GROUP(StringGroup, const char *, char *)
///@}
/** @name KvlStringList */
///@{
/** List of strings (operations: see KVL_DECLARE_LIST): copied in, handed out as copies; GetIndex
 * lends the list's own. */
KVL_DECLARE_LIST(StringList, const char *, char *, const char *)
///@}
/** @name KvlParmList */
///@{
/** List of message parameters (operations: see KVL_DECLARE_LIST): deep copies (free with
 * KvlFreeParm); GetIndex lends the list's own. */
KVL_DECLARE_LIST(ParmList, KvlParm *, KvlParm *, KvlParm *)
///@}
/** @name KvlStringToObjMap */
///@{
/** Map of names to objects (operations: see KVL_DECLARE_MAP): acquired in, handed out acquired. */
KVL_DECLARE_MAP(StringToObjMap, KvlObject *, KvlObject *)
///@}
/** @name KvlStringToObjCfgMap */
///@{
/** Map of names to configurations (operations: see KVL_DECLARE_MAP): acquired in, handed out
 * acquired. */
KVL_DECLARE_MAP(StringToObjCfgMap, KvlObjCfg *, KvlObjCfg *)
///@}
/** @name KvlListenerGroup */
///@{
/** Group of listeners (operations: see KVL_DECLARE_GROUP): acquired in, handed out acquired. */
KVL_DECLARE_GROUP(ListenerGroup, KvlObject *, KvlObject *)
///@}

/** @name Iterating the toolkit's own sets */
///@{
/** The class names of one kind, in the order the classes were added. */
KvlStringGroupIter KvlGetLoggerClasses(void) KVL_NOEXCEPT;
KvlStringGroupIter KvlGetFilterClasses(void) KVL_NOEXCEPT;
KvlStringGroupIter KvlGetHandlerClasses(void) KVL_NOEXCEPT;
KvlStringGroupIter KvlGetFormatterClasses(void) KVL_NOEXCEPT;
///@}
/** An object's listeners (null when it has none). */
KvlListenerGroupIter KvlGetListeners(KvlObject *object) KVL_NOEXCEPT;
/** The names of a configuration's children. */
KvlStringGroupIter KvlObjCfgChildrenNames(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** The names of the registered configurations. */
KvlStringGroupIter KvlLogMgrConfigNames(void) KVL_NOEXCEPT;
/** A configuration's own properties, in the order they were set. */
KvlStringToStringMapIter KvlObjCfgProperties(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** @} */

/** @defgroup messages Messages
 *
 * Binding a message looks its text up in its catalog (UTF-8), falls back to
 * the default text, and formats it with the parameters; a format the
 * parameters do not fit (too few of them, or one of the wrong kind for its
 * conversion: a "%s" of a number) leaves the default text unformatted.
 * Each parameter goes to the formatter with its own type, so a long prints
 * whole under "%d"; integers under "%u", "%o" or "%x" count as unsigned of
 * their width. Strings handed out are freed with OxsMemoryFree.
 * @{
 */
/** A new message of catalog `catalog` (a catalog name such as "kvlmsg"),
 * set and key, with `text` as its default text; null when memory is short. */
KvlI18Msg *KvlAllocI18Msg(const char *catalog, int32_t set, int32_t key,
                          const char *text) KVL_NOEXCEPT;
/** A deep copy of the message, parameters included. */
KvlI18Msg *KvlCopyI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/** Frees the message and its parameters; null is ignored. */
void KvlFreeI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/** @name Adding parameters */
///@{
/** Appends a parameter of that type: 1 when it was appended, else 0. */
int KvlAddI18MsgParmBool(KvlI18Msg *message, int value) KVL_NOEXCEPT;
int KvlAddI18MsgParmChar(KvlI18Msg *message, char value) KVL_NOEXCEPT;
int KvlAddI18MsgParmInt(KvlI18Msg *message, int32_t value) KVL_NOEXCEPT;
int KvlAddI18MsgParmLong(KvlI18Msg *message, int64_t value) KVL_NOEXCEPT;
int KvlAddI18MsgParmFloat(KvlI18Msg *message, float value) KVL_NOEXCEPT;
int KvlAddI18MsgParmDouble(KvlI18Msg *message, double value) KVL_NOEXCEPT;
int KvlAddI18MsgParmString(KvlI18Msg *message, const char *value) KVL_NOEXCEPT;
///@}
/** The message's text in the process's language with its parameters, as
 * a new string; the default text when the catalog has none. */
char *KvlBindI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/** @name Changing a message */
///@{
/** Sets the catalog, set, key or default text. No lock: the caller owns
 * the message. */
void KvlSetI18MsgCat(KvlI18Msg *message, const char *catalog) KVL_NOEXCEPT;
void KvlSetI18MsgSet(KvlI18Msg *message, int32_t set) KVL_NOEXCEPT;
void KvlSetI18MsgKey(KvlI18Msg *message, int32_t key) KVL_NOEXCEPT;
void KvlSetI18MsgTxt(KvlI18Msg *message, const char *text) KVL_NOEXCEPT;
///@}

/** A deep copy of a parameter (no lock). */
KvlParm *KvlCopyParm(const KvlParm *parm) KVL_NOEXCEPT;
/** Frees a parameter; null is ignored (no lock). */
void KvlFreeParm(KvlParm *parm) KVL_NOEXCEPT;
/** 1 when both are null, or of the same type with equal values; else 0
 * (no lock). */
int KvlCmpParms(const KvlParm *a, const KvlParm *b) KVL_NOEXCEPT;
/** The parameters formatted with a printf-style format; null when the
 * format is malformed or the parameters do not fit it. */
char *KvlAprintf(const char *format, KvlParmList *parms) KVL_NOEXCEPT;
/** @} */

/** @defgroup typedprops Typed properties
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
 *
 * The same getters and setters exist for an object's properties
 * (KvlGetObjProp...), a configuration's (KvlGetObjCfgProp...) and an
 * event's (KvlGetEventProp...).
 * @{
 */
/** @name Reading a string map's properties */
///@{
/** The property's text as a new string, or its value read as the type;
 * 0 (or null) when it is absent. */
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
///@}
/** @name Writing a string map's properties */
///@{
/** Sets the property to the text, or to the value written as text. */
void KvlSetMapProp(KvlStringToStringMap *map, const char *name, const char *value) KVL_NOEXCEPT;
void KvlSetMapPropBool(KvlStringToStringMap *map, const char *name, int value) KVL_NOEXCEPT;
void KvlSetMapPropChar(KvlStringToStringMap *map, const char *name, char value) KVL_NOEXCEPT;
void KvlSetMapPropInt(KvlStringToStringMap *map, const char *name, int32_t value) KVL_NOEXCEPT;
void KvlSetMapPropLong(KvlStringToStringMap *map, const char *name, int64_t value) KVL_NOEXCEPT;
void KvlSetMapPropFloat(KvlStringToStringMap *map, const char *name, float value) KVL_NOEXCEPT;
void KvlSetMapPropDouble(KvlStringToStringMap *map, const char *name, double value) KVL_NOEXCEPT;
///@}
/** @} */

/** @defgroup toolkit The toolkit and its classes
 *
 * Open reads an optional properties file and makes the error logger
 * "kavel.errorLogger" with its console; close frees every object and class.
 * While the toolkit is closed, logging calls return at once; classes,
 * containers and objects still work. An object a caller still holds at
 * close is detached: it does nothing more, and the caller's last release
 * frees it.
 *
 * The classes the toolkit registers, and their properties, are listed on
 * the page "Classes and properties".
 * @{
 */
/** @name Kinds of class */
///@{
#define KVL_KIND_LOGGER 101    /**< a logger: takes events from logging calls */
#define KVL_KIND_FILTER 102    /**< a filter: passes some events on */
#define KVL_KIND_HANDLER 103   /**< a handler: writes events somewhere */
#define KVL_KIND_FORMATTER 104 /**< a formatter: makes an event's text */
///@}

/** @name Class operations
 * A class is a kind, a name and these operations. FProcess, FOpen and
 * FClose return the handler (callers ignore it); FFormat, FGetHeader,
 * FGetTrailer and FBindMsg return a new string. */
///@{
/** Makes an object's own variables (its `vars`). */
typedef void *(*KvlFAllocVars)(void);
/** Frees what KvlFAllocVars made. */
typedef void (*KvlFFreeVars)(void *vars);
/** Applies property `name`, just set on the object. */
typedef void (*KvlFCfgChange)(KvlObject *object, const char *name);
/** Takes an event (a logger's or a filter's delivery). */
typedef void (*KvlFLog)(KvlObject *object, KvlEvent *event);
/** 1 when a filter passes the event. */
typedef int (*KvlFIsLoggable)(KvlObject *object, KvlEvent *event);
/** Handles an event (a filter passes it on, a handler writes it). */
typedef KvlObject *(*KvlFProcess)(KvlObject *object, KvlEvent *event);
/** Opens a handler's destination. */
typedef KvlObject *(*KvlFOpen)(KvlObject *handler);
/** Closes a handler's destination. */
typedef KvlObject *(*KvlFClose)(KvlObject *handler);
/** An event's text, made by a formatter. */
typedef char *(*KvlFFormat)(KvlObject *formatter, KvlEvent *event);
/** The text a formatter writes at the start of a file. */
typedef char *(*KvlFGetHeader)(KvlObject *formatter);
/** The text a formatter writes at the end of a file. */
typedef char *(*KvlFGetTrailer)(KvlObject *formatter);
/** A message's text with its parameters, as a formatter binds it. */
typedef char *(*KvlFBindMsg)(KvlI18Msg *message);
///@}

/** Opens the toolkit with the properties file (null: none): 1 when the
 * toolkit is open on return, else 0. */
int KvlOpenToolkit(const char *propertiesFile) KVL_NOEXCEPT;
/** Closes the toolkit: closes every handler and frees every object and
 * class. */
void KvlCloseToolkit(void) KVL_NOEXCEPT;

/** @name Adding a class
 * A name already taken (by any kind) is ignored; the description is
 * copied; null operations take the kind's defaults. */
///@{
/** Adds a class of that kind. */
void KvlAddLoggerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                       KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFLog log) KVL_NOEXCEPT;
void KvlAddFilterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                       KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                       KvlFIsLoggable isLoggable, KvlFLog log) KVL_NOEXCEPT;
void KvlAddHandlerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                        KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFProcess process,
                        KvlFOpen open, KvlFClose close) KVL_NOEXCEPT;
void KvlAddFormatterClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                          KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFFormat format,
                          KvlFGetHeader getHeader, KvlFGetTrailer getTrailer,
                          KvlFBindMsg bindMsg) KVL_NOEXCEPT;
///@}
/** @} */

/** @defgroup objects Objects
 *
 * Objects are named and counted; every handle handed out carries one
 * reference for the receiver to release. An object lives while something
 * besides the toolkit's registry holds it: releasing the last outside
 * reference destroys it.
 * @{
 */
/** The object of that name, created (with its configuration applied) when
 * there is none; className null: any existing class, or the configured one. */
KvlObject *KvlGetObject(const char *name, const char *className) KVL_NOEXCEPT;
/** Takes one more reference to the object, and hands it out. */
KvlObject *KvlAcquireObject(KvlObject *object) KVL_NOEXCEPT;
/** Gives one reference back. */
void KvlReleaseObject(KvlObject *object) KVL_NOEXCEPT;
/** The object's name, as a new string. */
char *KvlGetObjectName(KvlObject *object) KVL_NOEXCEPT;
/** The description of the object's class, bound, as a new string. */
char *KvlGetObjectDesc(KvlObject *object) KVL_NOEXCEPT;
/** 1 when both are the same object, else 0. */
int KvlAreObjectsEqual(KvlObject *a, KvlObject *b) KVL_NOEXCEPT;
/** 1 when the object is enabled (a disabled one takes no event). */
int KvlIsObjectEnabled(KvlObject *object) KVL_NOEXCEPT;
/** Enables (1) or disables (0) the object. */
void KvlSetObjectEnabled(KvlObject *object, int enabled) KVL_NOEXCEPT;
/** 1 when the filter passes the event, else 0. */
int KvlIsLoggableByFilter(KvlObject *filter, KvlEvent *event) KVL_NOEXCEPT;
/** Adds a listener, which receives the events the object passes on: 1
 * when added, 0 when it was there already or either is null. */
int KvlAddListener(KvlObject *object, KvlObject *listener) KVL_NOEXCEPT;
/** Removes a listener: 1 when removed, else 0. */
int KvlRemListener(KvlObject *object, KvlObject *listener) KVL_NOEXCEPT;
/** Opens a handler's destination. */
void KvlHandlerOpen(KvlObject *handler) KVL_NOEXCEPT;
/** Closes a handler's destination. */
void KvlHandlerClose(KvlObject *handler) KVL_NOEXCEPT;
/** @name A handler's formatter
 * Get hands out an acquired reference (or null); Set binds another (null:
 * none). The texts are the formatter's, for the caller to free with
 * OxsMemoryFree; null when the object is no handler, has no formatter, or
 * the formatter's class lacks the operation. */
///@{
/** The handler's formatter, acquired. */
KvlObject *KvlHandlerGetFormatter(KvlObject *handler) KVL_NOEXCEPT;
/** Binds the formatter to the handler. */
void KvlHandlerSetFormatter(KvlObject *handler, KvlObject *formatter) KVL_NOEXCEPT;
/** The formatter's header text. */
char *KvlHandlerGetFmtHeader(KvlObject *handler) KVL_NOEXCEPT;
/** The formatter's trailer text. */
char *KvlHandlerGetFmtTrailer(KvlObject *handler) KVL_NOEXCEPT;
/** The event's text made by the handler's formatter. */
char *KvlHandlerDoFmt(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;
///@}
/** @name Message-id patterns
 * What the message-id filter ("kvl_msgidfilter") matches with. */
///@{
/** The patterns of a list text (split at blank, tab, LF and CR; empty
 * tokens skipped). */
KvlStringList *KvlMsgIdFilterGetStringList(const char *text) KVL_NOEXCEPT;
/** 1 when a pattern of the list matches the id, else 0. */
int KvlMsgIdFilterMatchMsgId(KvlStringList *list, const char *id) KVL_NOEXCEPT;
/** 1 when the "*"-pattern matches the text (leftmost occurrences, no
 * backtracking; "" and "*" match everything; a null argument matches
 * nothing), else 0. */
int KvlPatternMatch(const char *pattern, const char *text) KVL_NOEXCEPT;
///@}
/** @} */

/** @defgroup ffdc First-failure data capture
 *
 * The trigger handler ("kvl_ffdc_trigger_handler", and classes built on
 * it) starts a capture when its trigger filter passes an event; the file
 * copy handler ("kvl_ffdc_filecopy_handler") is the capture. Setters apply
 * the rules of the properties of the same meaning (a value out of range
 * changes nothing); getters on a missing handler give 0 or null. Strings
 * are copies for the caller to free; GetFilter hands out an acquired
 * reference.
 * @{
 */
/** @name The trigger handler's settings */
///@{
/** Reads or sets the property of the same meaning ("baseDir",
 * "maxDiskSpace", "triggerFilter", "triggerRepeatTime", "quotaPolicy",
 * "firstWarning", "secondWarning"). */
char *KvlFFDCTriggerHandlerGetBaseDir(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetBaseDir(KvlObject *handler, const char *directory) KVL_NOEXCEPT;
int64_t KvlFFDCTriggerHandlerGetMaxDisk(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetMaxDisk(KvlObject *handler, int64_t bytes) KVL_NOEXCEPT;
KvlObject *KvlFFDCTriggerHandlerGetFilter(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetFilter(KvlObject *handler, KvlObject *filter) KVL_NOEXCEPT;
char *KvlFFDCTriggerHandlerGetFilterName(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetFilterName(KvlObject *handler, const char *name) KVL_NOEXCEPT;
int64_t KvlFFDCTriggerHandlerGetInterval(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetInterval(KvlObject *handler, int64_t milliseconds) KVL_NOEXCEPT;
char *KvlFFDCTriggerHandlerGetQuotaPolicy(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetQuotaPolicy(KvlObject *handler, const char *policy) KVL_NOEXCEPT;
double KvlFFDCTriggerHandlerGetFirstWarning(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetFirstWarning(KvlObject *handler, double fraction) KVL_NOEXCEPT;
double KvlFFDCTriggerHandlerGetSecondWarning(KvlObject *handler) KVL_NOEXCEPT;
void KvlFFDCTriggerHandlerSetSecondWarning(KvlObject *handler, double fraction) KVL_NOEXCEPT;
///@}

/** @name The file copy handler's settings */
///@{
/** Reads or sets "filesToCopy" (blank-separated, double quotes group),
 * "zipFileName" (".zip" added when missing; empty clears) or "zipCmdPath"
 * (kept only when it exists and holds no unsafe character). */
char *KvlFileCopyHandlerGetFiles(KvlObject *handler) KVL_NOEXCEPT;
void KvlFileCopyHandlerSetFiles(KvlObject *handler, const char *files) KVL_NOEXCEPT;
char *KvlFileCopyHandlerGetZipFile(KvlObject *handler) KVL_NOEXCEPT;
void KvlFileCopyHandlerSetZipFile(KvlObject *handler, const char *name) KVL_NOEXCEPT;
char *KvlFileCopyHandlerGetZipCmdPath(KvlObject *handler) KVL_NOEXCEPT;
void KvlFileCopyHandlerSetZipCmdPath(KvlObject *handler, const char *path) KVL_NOEXCEPT;
///@}
/** Registers the two FFDC handler classes with the open toolkit (again
 * after each reopen; a second call does nothing). */
void KvlInitFFDCExtensions(void) KVL_NOEXCEPT;
/** @} */

/** @addtogroup objects
 * @{ */
/** The basic formatter's time stamp of `milliseconds` since the epoch, as
 * a new string. */
char *KvlBasicFormatterFormatDate(KvlObject *formatter, uint64_t milliseconds) KVL_NOEXCEPT;

/** @name An object's properties
 * Read and written as a string map's are (see @ref typedprops); a
 * property set reaches the object's class at once. */
///@{
/** Reads the property, as text or as the type. */
char *KvlGetObjProp(KvlObject *object, const char *name, unsigned char *found) KVL_NOEXCEPT;
int KvlGetObjPropBool(KvlObject *object, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int32_t KvlGetObjPropInt(KvlObject *object, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int64_t KvlGetObjPropLong(KvlObject *object, const char *name, unsigned char *ok) KVL_NOEXCEPT;
float KvlGetObjPropFloat(KvlObject *object, const char *name, unsigned char *ok) KVL_NOEXCEPT;
double KvlGetObjPropDouble(KvlObject *object, const char *name, unsigned char *ok) KVL_NOEXCEPT;
///@}
///@{
/** Sets the property, and applies it. */
void KvlSetObjProp(KvlObject *object, const char *name, const char *value) KVL_NOEXCEPT;
void KvlSetObjPropBool(KvlObject *object, const char *name, int value) KVL_NOEXCEPT;
void KvlSetObjPropInt(KvlObject *object, const char *name, int32_t value) KVL_NOEXCEPT;
void KvlSetObjPropLong(KvlObject *object, const char *name, int64_t value) KVL_NOEXCEPT;
void KvlSetObjPropFloat(KvlObject *object, const char *name, float value) KVL_NOEXCEPT;
void KvlSetObjPropDouble(KvlObject *object, const char *name, double value) KVL_NOEXCEPT;
///@}
/** @} */

/** @defgroup configs Configurations and the log manager
 *
 * A configuration collects the properties of the object of its name before
 * the object exists; the log manager keeps them by name, finds a dotted
 * name's parent ("a.b" under "a"), and applies a configuration, ancestors
 * first, when its object is created. Properties are looked up through the
 * recorded parents.
 * @{
 */
/** A new configuration of that name (counted: release it). */
KvlObjCfg *KvlAllocObjCfg(const char *name) KVL_NOEXCEPT;
/** Takes one more reference, and hands it out. */
KvlObjCfg *KvlAcquireObjCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** Gives one reference back. */
void KvlReleaseObjCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** The configuration's name, as a new string. */
char *KvlObjCfgGetName(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** 1 when the configuration was made by reading a properties file. */
int KvlObjCfgIsFromFile(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** Marks the configuration as made from a file (1) or not (0). */
void KvlObjCfgSetFromFile(KvlObjCfg *cfg, int fromFile) KVL_NOEXCEPT;
/** The recorded parent, acquired; null when none. */
KvlObjCfg *KvlObjCfgGetParent(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** Records a parent (null: none). */
void KvlObjCfgSetParent(KvlObjCfg *cfg, KvlObjCfg *parent) KVL_NOEXCEPT;
/** Records a child. */
void KvlObjCfgAddChild(KvlObjCfg *parent, KvlObjCfg *child) KVL_NOEXCEPT;
/** Forgets a child. */
void KvlObjCfgRemChild(KvlObjCfg *parent, KvlObjCfg *child) KVL_NOEXCEPT;
/** @name A configuration's properties
 * Read and written as a string map's are (see @ref typedprops). */
///@{
/** Reads the configuration's own property, as text or as the type. */
char *KvlGetObjCfgProp(KvlObjCfg *cfg, const char *name, unsigned char *found) KVL_NOEXCEPT;
///@}
/** The property of the configuration or, when it has none, of its nearest
 * recorded ancestor that has it, as a new string. */
char *KvlGetInheritedObjCfgProp(KvlObjCfg *cfg, const char *name,
                                unsigned char *found) KVL_NOEXCEPT;
///@{
/** Reads the configuration's own property as the type. */
int KvlGetObjCfgPropBool(KvlObjCfg *cfg, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int32_t KvlGetObjCfgPropInt(KvlObjCfg *cfg, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int64_t KvlGetObjCfgPropLong(KvlObjCfg *cfg, const char *name, unsigned char *ok) KVL_NOEXCEPT;
float KvlGetObjCfgPropFloat(KvlObjCfg *cfg, const char *name, unsigned char *ok) KVL_NOEXCEPT;
double KvlGetObjCfgPropDouble(KvlObjCfg *cfg, const char *name, unsigned char *ok) KVL_NOEXCEPT;
///@}
///@{
/** Sets the property to the text, or to the value written as text. */
void KvlSetObjCfgProp(KvlObjCfg *cfg, const char *name, const char *value) KVL_NOEXCEPT;
void KvlSetObjCfgPropBool(KvlObjCfg *cfg, const char *name, int value) KVL_NOEXCEPT;
void KvlSetObjCfgPropInt(KvlObjCfg *cfg, const char *name, int32_t value) KVL_NOEXCEPT;
void KvlSetObjCfgPropLong(KvlObjCfg *cfg, const char *name, int64_t value) KVL_NOEXCEPT;
void KvlSetObjCfgPropFloat(KvlObjCfg *cfg, const char *name, float value) KVL_NOEXCEPT;
void KvlSetObjCfgPropDouble(KvlObjCfg *cfg, const char *name, double value) KVL_NOEXCEPT;
///@}

/** Registers the configuration under its name, linked to its parent and
 * children by their dotted names. */
void KvlLogMgrAddCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** Unregisters the configuration and unlinks it. */
void KvlLogMgrRemCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** Registers a registered configuration again, relinking it (after its
 * name's place in the tree changed). */
void KvlLogMgrUpdateCfg(KvlObjCfg *cfg) KVL_NOEXCEPT;
/** The registered configuration (acquired), created and registered when
 * there is none; null for null or "/". */
KvlObjCfg *KvlLogMgrGetCfg(const char *name) KVL_NOEXCEPT;
/** 1 when a configuration of that name is registered, else 0. */
int KvlLogMgrHasCfg(const char *name) KVL_NOEXCEPT;
/** Applies the configuration of that name to the object, its ancestors'
 * first: 1 when applied, else 0. */
int KvlLogMgrApplyCfg(KvlObject *object, const char *name) KVL_NOEXCEPT;
/** @} */

/** @addtogroup levels
 * @{ */
/** Levels from text: a leading integer, else the first of FATAL, ERROR,
 * WARN, INFO, DEBUG_MIN, MIN, DEBUG_MID, MID, DEBUG_MAX, MAX, ALL, OFF that
 * starts the text (any case); else -9999. */
int32_t KvlGetLevelFromString(const char *text) KVL_NOEXCEPT;
/** @} */

/** @addtogroup logging
 * @{ */
/** 1 when the logger would accept an event of that level, else 0. No lock:
 * it reads the logger's gate (below). */
int KvlIsLoggable(KvlObject *logger, int32_t level) KVL_NOEXCEPT;
/** @} */

/** @defgroup logging Logging calls
 *
 * Message calls (catalog, set, key, default text) and debug calls (source
 * file, function, line, format) end with a typed list: a marker before each
 * value (KVL_ARG_*), a level value setting the event's level, 201 with a
 * name for an event property, and 0 at the end. Values are passed as C
 * passes them: 501, 502 and 506 as int, 503 as long, 504 and 505 as
 * double, 507 and names as const char *. A disabled call returns before
 * reading its list. The VA twins take a va_list holding the same list.
 * The macros below (KVL_LOG_ERROR, KVL_DEBUG_MIN and the others) test the
 * logger's gate inline and close the list.
 * @{
 */
/** @name Message calls
 * KvlLogMsg takes the level from the list (none: a message without one);
 * the others log at their level. */
///@{
/** Logs message `key` of `set` in `catalog`, with `defaultText` when the
 * catalog has no text for it, and the typed list's parameters. */
void KvlLogMsg(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
               const char *defaultText, ...) KVL_NOEXCEPT;
void KvlLogInfo(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                const char *defaultText, ...) KVL_NOEXCEPT;
void KvlLogWarn(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                const char *defaultText, ...) KVL_NOEXCEPT;
void KvlLogError(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                 const char *defaultText, ...) KVL_NOEXCEPT;
void KvlLogFatal(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                 const char *defaultText, ...) KVL_NOEXCEPT;
///@}
/** Logs the format bound with the typed list's parameters. */
void KvlLogText(KvlObject *logger, const char *format, ...) KVL_NOEXCEPT;
/** @name With a va_list */
///@{
/** The twin of the call of the same name without VA. */
void KvlLogMsgVA(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                 const char *defaultText, va_list args) KVL_NOEXCEPT;
void KvlLogInfoVA(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                  const char *defaultText, va_list args) KVL_NOEXCEPT;
void KvlLogWarnVA(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                  const char *defaultText, va_list args) KVL_NOEXCEPT;
void KvlLogErrorVA(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                   const char *defaultText, va_list args) KVL_NOEXCEPT;
void KvlLogFatalVA(KvlObject *logger, const char *catalog, int32_t set, int32_t key,
                   const char *defaultText, va_list args) KVL_NOEXCEPT;
void KvlLogTextVA(KvlObject *logger, const char *format, va_list args) KVL_NOEXCEPT;
///@}
/** The logger class's FLog for an enabled logger, else null. */
KvlFLog KvlLoggerGetFLog(KvlObject *logger) KVL_NOEXCEPT;
/** @} */

/** @defgroup events Events
 *
 * An event lives for one logging call. These take no lock: the event is
 * the call's (class operations read it with the API mutex held).
 * @{
 */
/** @name Source place properties
 * The event properties a debug call sets. */
///@{
#define KVL_PROP_SRCFILE "kvl_prop_srcfile"         /**< the source file's name */
#define KVL_PROP_SRCLINE "kvl_prop_srcline"         /**< the line, in decimal */
#define KVL_PROP_SRCFUNCTION "kvl_prop_srcfunction" /**< the function's name */
///@}
/** A new event of that level and message, with the typed list's
 * parameters and properties; free it with KvlFreeEvent. */
KvlEvent *KvlVaAllocEvent(int32_t level, const char *catalog, int32_t set, int32_t key,
                          const char *text, va_list args) KVL_NOEXCEPT;
/** Frees an event; null is ignored. */
void KvlFreeEvent(KvlEvent *event) KVL_NOEXCEPT;
/** The event's time, in milliseconds since the epoch. */
uint64_t KvlGetEventTime(KvlEvent *event) KVL_NOEXCEPT;
/** The event's level. */
int32_t KvlGetEventLevel(KvlEvent *event) KVL_NOEXCEPT;
/** 1 when the event is a message (from a message call), 0 for a trace. */
int KvlGetEventIsMessage(KvlEvent *event) KVL_NOEXCEPT;
/** Marks the event as a message (1) or a trace (0). */
void KvlSetEventIsMessage(KvlEvent *event, int isMessage) KVL_NOEXCEPT;
/** The event's message id (such as "KVLFF0010E"), as a new string; null
 * when none. */
char *KvlGetEventMessageId(KvlEvent *event) KVL_NOEXCEPT;
/** Sets the event's message id. */
void KvlSetEventMessageId(KvlEvent *event, const char *id) KVL_NOEXCEPT;
/** A formatter's FBindMsg, for a formatter class's own FFormat; null when
 * the object is no formatter. No lock: it reads the object's class. */
KvlFBindMsg KvlGetFormatterBindMsg(KvlObject *formatter) KVL_NOEXCEPT;
/** The event's message bound by `bind` (a formatter's FBindMsg). */
char *KvlBindEventMsg(KvlEvent *event, KvlFBindMsg bind) KVL_NOEXCEPT;
/** @name An event's properties
 * Read and written as a string map's are (see @ref typedprops). */
///@{
/** Reads the event's property, as text or as the type. */
char *KvlGetEventProp(KvlEvent *event, const char *name, unsigned char *found) KVL_NOEXCEPT;
int KvlGetEventPropBool(KvlEvent *event, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int32_t KvlGetEventPropInt(KvlEvent *event, const char *name, unsigned char *ok) KVL_NOEXCEPT;
int64_t KvlGetEventPropLong(KvlEvent *event, const char *name, unsigned char *ok) KVL_NOEXCEPT;
float KvlGetEventPropFloat(KvlEvent *event, const char *name, unsigned char *ok) KVL_NOEXCEPT;
double KvlGetEventPropDouble(KvlEvent *event, const char *name, unsigned char *ok) KVL_NOEXCEPT;
///@}
///@{
/** Sets the event's property to the text, or to the value written as text. */
void KvlSetEventProp(KvlEvent *event, const char *name, const char *value) KVL_NOEXCEPT;
void KvlSetEventPropBool(KvlEvent *event, const char *name, int value) KVL_NOEXCEPT;
void KvlSetEventPropInt(KvlEvent *event, const char *name, int32_t value) KVL_NOEXCEPT;
void KvlSetEventPropLong(KvlEvent *event, const char *name, int64_t value) KVL_NOEXCEPT;
void KvlSetEventPropFloat(KvlEvent *event, const char *name, float value) KVL_NOEXCEPT;
void KvlSetEventPropDouble(KvlEvent *event, const char *name, double value) KVL_NOEXCEPT;
///@}
/** @} */

/** @addtogroup messages
 * @{ */
/** A new string joining the non-null strings of `strings` (`count` of
 * them) with `separator` between them; "" when there are none; null when
 * memory is short. */
char *KvlStrACat(int32_t count, const char *const *strings, const char *separator) KVL_NOEXCEPT;
/** @} */

/** @addtogroup logging
 * @{ */
/** @name The gate
 *
 * Every logger keeps the threshold its calls test in a 32-bit gate at a
 * fixed offset of its record: the level while the toolkit is open and the
 * logger enabled, KVL_GATE_SHUT otherwise. Reading it inline (relaxed)
 * makes a disabled call cost a load and a comparison; the C and C++
 * helpers do that before calling.
 */
///@{
/** Where a logger's gate is, in bytes from its start. */
#define KVL_GATE_OFFSET 88
///@}
/** The gate's value while the logger takes nothing. */
#define KVL_GATE_SHUT 2147483647
/** 1 when the logger's gate lets an event of that level through, else 0. */
static inline int kvlGateAccepts(KvlObject *logger, int32_t level) {
    if (logger == 0) return 0;
    const int32_t gate = __atomic_load_n((const int32_t *)((const char *)logger + KVL_GATE_OFFSET),
                                         __ATOMIC_RELAXED);
    return gate != KVL_GATE_SHUT &&
           (level >= gate || level == KVL_LEVEL_NONE || gate == KVL_LEVEL_NONE);
}

/** @name Typed entries for C
 * Each writes a marker and its value, cast as the marker wants it:
 * @code
 * KVL_DEBUG_MIN(logger, "copied %s in %d ms", KVL_STR(path), KVL_INT(ms));
 * @endcode */
///@{
/** A boolean entry. */
#define KVL_BOOL(x) KVL_ARG_BOOLEAN, (int)(x)
#define KVL_INT(x) KVL_ARG_INT, (int)(x)
#define KVL_LONG(x) KVL_ARG_LONG, (long)(x)
#define KVL_FLOAT(x) KVL_ARG_FLOAT, (double)(x)
#define KVL_DBL(x) KVL_ARG_DOUBLE, (double)(x)
#define KVL_CHAR(x) KVL_ARG_CHAR, (int)(x)
#define KVL_STR(s) KVL_ARG_STRING, (const char *)(s)
#define KVL_PROP(name) KVL_ARG_PROPERTY, (const char *)(name)
///@}
#define KVL_DEBUG_CALL_(call, level, logger, format, ...)                                        \
    do {                                                                                         \
        KvlObject *kvl_logger_ = (logger);                                                       \
        if (kvlGateAccepts(kvl_logger_, level))                                                  \
            call(kvl_logger_, __FILE__, __func__, __LINE__, format, ##__VA_ARGS__, KVL_ARG_END); \
    } while (0)
/** @name Gate-testing calls for C
 * Each tests the logger's gate inline and makes the call with the closing
 * 0 added; a debug call adds the source place. */
///@{
/** Logs a trace at its level when the logger takes it. */
#define KVL_DEBUG_MIN(logger, format, ...) \
    KVL_DEBUG_CALL_(KvlLogDebugMin, KVL_LEVEL_DEBUG_MIN, logger, format, ##__VA_ARGS__)
#define KVL_DEBUG_MID(logger, format, ...) \
    KVL_DEBUG_CALL_(KvlLogDebugMid, KVL_LEVEL_DEBUG_MID, logger, format, ##__VA_ARGS__)
#define KVL_DEBUG_MAX(logger, format, ...) \
    KVL_DEBUG_CALL_(KvlLogDebugMax, KVL_LEVEL_DEBUG_MAX, logger, format, ##__VA_ARGS__)
///@}
#define KVL_MESSAGE_CALL_(call, level, logger, catalog, set, key, text, ...)        \
    do {                                                                            \
        KvlObject *kvl_logger_ = (logger);                                          \
        if (kvlGateAccepts(kvl_logger_, level))                                     \
            call(kvl_logger_, catalog, set, key, text, ##__VA_ARGS__, KVL_ARG_END); \
    } while (0)
///@{
/** Logs a message at its level when the logger takes it. */
#define KVL_LOG_INFO(logger, catalog, set, key, text, ...) \
    KVL_MESSAGE_CALL_(KvlLogInfo, KVL_LEVEL_INFO, logger, catalog, set, key, text, ##__VA_ARGS__)
#define KVL_LOG_WARN(logger, catalog, set, key, text, ...) \
    KVL_MESSAGE_CALL_(KvlLogWarn, KVL_LEVEL_WARN, logger, catalog, set, key, text, ##__VA_ARGS__)
#define KVL_LOG_ERROR(logger, catalog, set, key, text, ...) \
    KVL_MESSAGE_CALL_(KvlLogError, KVL_LEVEL_ERROR, logger, catalog, set, key, text, ##__VA_ARGS__)
#define KVL_LOG_FATAL(logger, catalog, set, key, text, ...) \
    KVL_MESSAGE_CALL_(KvlLogFatal, KVL_LEVEL_FATAL, logger, catalog, set, key, text, ##__VA_ARGS__)
///@}

/** @name Debug calls */
///@{
/** Logs the format bound with the typed list's parameters at the call's
 * level; the event carries the source file, function and line. */
void KvlLogDebugMin(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...) KVL_NOEXCEPT;
void KvlLogDebugMid(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...) KVL_NOEXCEPT;
void KvlLogDebugMax(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                    const char *format, ...) KVL_NOEXCEPT;
///@}
///@{
/** The twin of the call of the same name without VA. */
void KvlLogDebugMinVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args) KVL_NOEXCEPT;
void KvlLogDebugMidVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args) KVL_NOEXCEPT;
void KvlLogDebugMaxVA(KvlObject *logger, const char *srcFile, const char *srcFunction, int srcLine,
                      const char *format, va_list args) KVL_NOEXCEPT;
///@}
/** @} */

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* KAVEL_H */
