/*
 * The logging calls' internal entries (called with the API mutex held).
 */
#ifndef KVL_LOGGING_H
#define KVL_LOGGING_H

#include <stdarg.h>
#include <stdint.h>

#include "KvlContainers.h"
#include "KvlMessage.h"
#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The event record, fields in the system's order. */
struct KvlEvent {
    unsigned char isMessage;
    uint64_t time; /* milliseconds since the epoch */
    int32_t level;
    KvlI18Msg *message;               /* owned */
    char *messageId;                  /* owned, or null */
    const char *locale;               /* not owned */
    KvlStringToStringMap *properties; /* owned, made on the first property */
    /* The message `message` points to, made with the event; its catalog
     * name and text follow the record in the same allocation. */
    KvlI18Msg ownMessage;
    void *propertiesRoom[5]; /* where `properties` is made */
    /* The message as the toolkit's binding made it, kept for every
     * formatter of the event (kvl::eventText): the text (from the room or
     * an allocation of its own) and what it was bound from. */
    char *boundText;
    size_t boundLength;
    const KvlI18Msg *boundMessage;
    const char *boundLocale;
    uint32_t boundChanges;
    /* Where the properties' and parameters' links are taken from: the end
     * of the event's allocation, after the message's texts. */
    KvlRoom room;
};

/* Logs a catalog message with its default text and the typed argument
 * list `args` (ended by 0) on the logger at `level`. */
void kvlLogMessageEntry(KvlObject *logger, int32_t level, const char *catalog, int32_t set,
                        int32_t key, const char *defaultText, va_list args) KVL_NOEXCEPT;
/* Logs a debug or text event: the format and its typed list, with the
 * source file and line (both only with a file) and function as properties. */
void kvlLogDebugEntry(KvlObject *logger, int32_t level, const char *sourceFile,
                      const char *sourceFunction, int sourceLine, const char *format,
                      va_list args) KVL_NOEXCEPT;
/* Sets a debug event's source file and line (both only with a file) and
 * function properties, replacing any the typed list set. */
void kvlSetEventSource(KvlEvent *event, const char *file, int line,
                       const char *function) KVL_NOEXCEPT;
KvlFLog kvlIntlLoggerGetFLog(KvlObject *logger) KVL_NOEXCEPT;
const char *kvlGetEventLocale(KvlEvent *event) KVL_NOEXCEPT;
void kvlSetEventLocale(KvlEvent *event, const char *locale) KVL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KVL_LOGGING_H */
