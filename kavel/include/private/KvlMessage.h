/*
 * The message layer's records and internal functions: messages and their
 * parameters, single parameters as text, the toolkit's codeset handles and
 * console output in the local codeset.
 */
#ifndef KVL_MESSAGE_H
#define KVL_MESSAGE_H

#include <stdint.h>
#include <stdio.h>

#include "KvlContainers.h"
#include "kavel.h"
#include "zil.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Type is one of KVL_ARG_BOOLEAN (501) to KVL_ARG_STRING (507). A long is
 * 64 bits. */
struct KvlParm {
    int32_t type;
    union {
        unsigned char b;
        int32_t i;
        int64_t l;
        float f;
        double d;
        char c;
        char *s; /* owned */
    } value;
};

struct KvlI18Msg {
    char *catalog; /* owned; null: a plain text */
    int32_t set;
    int32_t key;
    char *text;         /* owned default text, also the format */
    KvlParmList *parms; /* made with the first parameter, in parmsRoom */
    const char *locale; /* the catalog's locale name, not owned; null: the default */
    /* A message made inside another record (an event) with its catalog
     * name and text in that record's allocation, `areaSize` bytes from
     * `area`: freeing it frees only what it has taken on since. Null for a
     * message of its own. */
    const char *area;
    size_t areaSize;
    void *parmsRoom[5]; /* where `parms` is made */
    KvlRoom *room;      /* the record's room its parameters are taken from, or null */
    /* Counts the changes made through the message functions, so a text
     * bound from it earlier can tell it is stale. */
    uint32_t changes;
};

KVL_DECLARE_LIST_INTL(ParmList, KvlParm *, KvlParm *)
/* The iterator's parameter itself (no copy; valid until the list changes),
 * or null past the end. */
const KvlParm *kvlIntlParmListIterPeek(KvlParmListIter iter) KVL_NOEXCEPT;

KvlI18Msg *kvlIntlAllocI18Msg(const char *catalog, int32_t set, int32_t key,
                              const char *text) KVL_NOEXCEPT;
KvlI18Msg *kvlIntlCopyI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/* The bytes a record must have room for after it to hold a message's
 * catalog name and text, and the message made in it: `message` inside the
 * record, its texts copied to `area`, its parameters taken from `room`
 * (may be null) while it lasts. */
size_t kvlI18MsgAreaSize(const char *catalog, const char *text) KVL_NOEXCEPT;
void kvlIntlInitI18MsgIn(KvlI18Msg *message, const char *catalog, int32_t set, int32_t key,
                         const char *text, char *area, KvlRoom *room) KVL_NOEXCEPT;
void kvlIntlFreeI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmBool(KvlI18Msg *message, int value) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmChar(KvlI18Msg *message, char value) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmInt(KvlI18Msg *message, int32_t value) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmLong(KvlI18Msg *message, int64_t value) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmFloat(KvlI18Msg *message, float value) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmDouble(KvlI18Msg *message, double value) KVL_NOEXCEPT;
int kvlIntlAddI18MsgParmString(KvlI18Msg *message, const char *value) KVL_NOEXCEPT;
char *kvlIntlBindI18Msg(KvlI18Msg *message) KVL_NOEXCEPT;
/* The message's parameter list, made on demand. */
KvlParmList *kvlGetI18MsgParmList(KvlI18Msg *message) KVL_NOEXCEPT;
void kvlSetI18MsgLocale(KvlI18Msg *message, const char *locale) KVL_NOEXCEPT;

/* One parameter as text, with `format` or its type's default ("%d", "%ld",
 * "%f", "%c", "%s"; a boolean without a format is "true" or "false"). The
 * local form is the same text: nothing is converted. */
char *kvlParmToUTF8Str(const char *format, const KvlParm *parm) KVL_NOEXCEPT;
char *kvlParmToLocalStr(const char *format, const KvlParm *parm) KVL_NOEXCEPT;

/* The codeset library and the toolkit's UTF-8 handle (KVL_CS_UTF8), made at
 * toolkit open and freed at close. */
void kvlI18InitZil(void) KVL_NOEXCEPT;
void kvlI18UninitZil(void) KVL_NOEXCEPT;
uc_ch_t *kvlI18Utf8Codeset(void) KVL_NOEXCEPT;
/* Writes the UTF-8 text to the stream in the local codeset, whole (in
 * pieces of whole characters); no line end is added. 1, or 0 when a write
 * failed. */
int kvlI18PrintUTF8AsLocal(FILE *stream, const char *text) KVL_NOEXCEPT;
/* The same for `length` bytes of text. */
int kvlI18PrintUTF8AsLocalN(FILE *stream, const char *text, size_t length) KVL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KVL_MESSAGE_H */
