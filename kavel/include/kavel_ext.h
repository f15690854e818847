/**
 * @file
 * For libraries that add classes to the toolkit: a handler class that
 * brings only its output, and what a class's operations may call.
 *
 * A class's operations run with the API mutex held, so they cannot call
 * the public functions of kavel.h (each takes the mutex, and it is not
 * recursive). The internal twins they need are declared here, exported
 * under their own version node; they assume the mutex is held.
 *
 * A text handler class brings its output and nothing else: the toolkit
 * runs the handler's sequence for each event (skipped while disabled; the
 * output made ready; the record made by the handler's formatter; written;
 * the event passed on to the listeners), and an asynchronous handler
 * ("kvl_asynchandler") may name such a handler as its target, which then
 * gets the records queued for it from the queue's writer thread.
 */
#ifndef KAVEL_EXT_H
#define KAVEL_EXT_H

#include <stddef.h>

#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/** Makes a handler's output ready for records: 1, or 0 when it cannot take
 * them now (the event still goes to the listeners). */
typedef int (*KvlFPrepareText)(KvlObject *handler);
/** Writes one record as the handler's formatter made it (`length` bytes,
 * not terminated). */
typedef void (*KvlFWriteText)(KvlObject *handler, const char *text, size_t length);
/** Writes `count` records in order, as an asynchronous handler hands over
 * what it has queued: `texts[i]` of `lengths[i]` bytes. */
typedef void (*KvlFWriteTexts)(KvlObject *handler, const char *const *texts, const size_t *lengths,
                               size_t count);

/** Adds a text handler class (takes the API mutex). A name already taken
 * is ignored; `open`, `close` and `writeAll` may be null (without
 * `writeAll`, records queued for the handler are written one by one). */
void KvlAddTextHandlerClass(const char *name, KvlI18Msg *description, KvlFAllocVars allocVars,
                            KvlFFreeVars freeVars, KvlFCfgChange cfgChange, KvlFOpen open,
                            KvlFClose close, KvlFPrepareText prepare, KvlFWriteText write,
                            KvlFWriteTexts writeAll) KVL_NOEXCEPT;

/** @name For class operations (the API mutex held) */
///@{
/** The handler base's configuration ("logging", "formatterName", ...):
 * for a handler class's cfgChange to pass on the names it does not know. */
void KvlBasicHandlerFCfgChange(KvlObject *handler, const char *name) KVL_NOEXCEPT;
/** The object's name (the object's own; not to be freed). */
const char *kvlIntlObjectName(KvlObject *object) KVL_NOEXCEPT;
/** What the class's allocVars made for the object. */
void *kvlIntlObjectVars(KvlObject *object) KVL_NOEXCEPT;
/** The twin of KvlGetObject. */
KvlObject *kvlIntlGetObject(const char *name, const char *className) KVL_NOEXCEPT;
/** The twin of KvlReleaseObject. */
void kvlIntlReleaseObject(KvlObject *object) KVL_NOEXCEPT;
/** The twin of KvlGetObjProp. */
char *kvlIntlGetObjProp(KvlObject *object, const char *name, unsigned char *found) KVL_NOEXCEPT;
/** The twin of KvlSetObjProp (the class is told, as for the public call). */
void kvlIntlSetObjProp(KvlObject *object, const char *name, const char *value) KVL_NOEXCEPT;
/** The text the formatter makes of the event (freed with OxsMemoryFree),
 * or null when it makes none. */
char *kvlIntlFormatterFormat(KvlObject *formatter, KvlEvent *event) KVL_NOEXCEPT;
/** The twin of KvlHandlerGetFormatter. */
KvlObject *kvlIntlHandlerGetFormatter(KvlObject *handler) KVL_NOEXCEPT;
/** The twin of KvlHandlerSetFormatter. */
void kvlIntlHandlerSetFormatter(KvlObject *handler, KvlObject *formatter) KVL_NOEXCEPT;
/** This host's fully qualified name, as the toolkit's records give it
 * (looked up once per process): 1, or 0 when it is not known (`buffer`
 * then holds what is, perhaps the plain name). */
int kvlIntlHostName(char *buffer, size_t size) KVL_NOEXCEPT;
/** Logs message `key` of catalog "kvlmsg" through the toolkit's error
 * logger, `defaultText` when the catalog has none, with typed arguments
 * closed by KVL_ARG_END. */
void kvlIntlLogVA(int32_t level, int32_t key, const char *defaultText, ...) KVL_NOEXCEPT;
///@}

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
#ifdef __cplusplus
}
#endif

#endif /* KAVEL_EXT_H */
