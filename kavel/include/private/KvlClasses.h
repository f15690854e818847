/*
 * The operations of the toolkit's built-in classes, each defined in the
 * module of its class.
 */
#ifndef KVL_CLASSES_H
#define KVL_CLASSES_H

#include "kavel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Loggers. */
void KvlBasicLoggerFCfgChange(KvlObject *logger, const char *name) KVL_NOEXCEPT;
void *KvlPDLoggerFAllocVars(void) KVL_NOEXCEPT;
void KvlPDLoggerFFreeVars(void *vars) KVL_NOEXCEPT;
void KvlPDLoggerFCfgChange(KvlObject *logger, const char *name) KVL_NOEXCEPT;
void KvlPDLoggerFLog(KvlObject *logger, KvlEvent *event) KVL_NOEXCEPT;

/* Filters. */
KvlObject *KvlBasicFilterFProcess(KvlObject *filter, KvlEvent *event) KVL_NOEXCEPT;
void KvlLevelFilterFCfgChange(KvlObject *filter, const char *name) KVL_NOEXCEPT;
int KvlLevelFilterFIsLoggable(KvlObject *filter, KvlEvent *event) KVL_NOEXCEPT;
void *KvlMsgIdFilterFAllocVars(void) KVL_NOEXCEPT;
void KvlMsgIdFilterFFreeVars(void *vars) KVL_NOEXCEPT;
void KvlMsgIdFilterFCfgChange(KvlObject *filter, const char *name) KVL_NOEXCEPT;
int KvlMsgIdFilterFIsLoggable(KvlObject *filter, KvlEvent *event) KVL_NOEXCEPT;

/* Handlers. */
void KvlBasicHandlerFCfgChange(KvlObject *handler, const char *name) KVL_NOEXCEPT;
KvlObject *KvlBasicHandlerFProcess(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;
KvlObject *KvlBasicHandlerFOpen(KvlObject *handler) KVL_NOEXCEPT;
KvlObject *KvlBasicHandlerFClose(KvlObject *handler) KVL_NOEXCEPT;
void *KvlConsoleHandlerFAllocVars(void) KVL_NOEXCEPT;
void KvlConsoleHandlerFFreeVars(void *vars) KVL_NOEXCEPT;
KvlObject *KvlConsoleHandlerFProcess(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;
KvlObject *KvlConsoleHandlerFOpen(KvlObject *handler) KVL_NOEXCEPT;
KvlObject *KvlConsoleHandlerFClose(KvlObject *handler) KVL_NOEXCEPT;
void *KvlFileHandlerFAllocVars(void) KVL_NOEXCEPT;
void KvlFileHandlerFFreeVars(void *vars) KVL_NOEXCEPT;
void KvlFileHandlerFCfgChange(KvlObject *handler, const char *name) KVL_NOEXCEPT;
KvlObject *KvlFileHandlerFProcess(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;
KvlObject *KvlFileHandlerFOpen(KvlObject *handler) KVL_NOEXCEPT;
KvlObject *KvlFileHandlerFClose(KvlObject *handler) KVL_NOEXCEPT;
/* The file handlers' name and rollover steps. */
int kvlFHTrailingBaseDigit(const char *name) KVL_NOEXCEPT;
void kvlGetNativePath(const char *name, char *out) KVL_NOEXCEPT;
int kvlFHGetFileNameParts(const char *name, KvlObject *handler) KVL_NOEXCEPT;
int kvlSetFileNameParts(char **name, const char *directory, const char *base, int32_t number,
                        const char *extension) KVL_NOEXCEPT;
void kvlFileHandlerDoRollover(KvlObject *handler) KVL_NOEXCEPT;
void kvlFileHandlerCfgPerms(KvlObject *handler) KVL_NOEXCEPT;
void kvlFileHandlerCfgDirPerms(KvlObject *handler) KVL_NOEXCEPT;
/* Tests only: the oldest backup is handed to `hook` (0: done, else -1 with
 * errno) instead of being removed, so a test can keep every record. */
typedef int (*KvlBackupDropHook)(const char *name);
void kvlSetBackupDropHookForTest(KvlBackupDropHook hook) KVL_NOEXCEPT;
/* The multi-process handler's steps, on the shared private record. */
int kvlMultiProcFileHandlerInitSem(void *record) KVL_NOEXCEPT;
int kvlMultiProcFileHandlerLockSem(void *record) KVL_NOEXCEPT;
void kvlMultiProcFileHandlerUnlockSem(void *record) KVL_NOEXCEPT;
void kvlMultiProcFileHandlerDoRollover(void *record) KVL_NOEXCEPT;
void kvlMultiProcFileHandlerRollActiveLog(void *record) KVL_NOEXCEPT;
KvlObject *KvlMultiProcFileHandlerFProcess(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;
KvlObject *KvlMultiProcFileHandlerFOpen(KvlObject *handler) KVL_NOEXCEPT;
KvlObject *KvlMultiProcFileHandlerFClose(KvlObject *handler) KVL_NOEXCEPT;

/* The asynchronous handler ("kvl_asynchandler"). */
void *KvlAsyncHandlerFAllocVars(void) KVL_NOEXCEPT;
void KvlAsyncHandlerFFreeVars(void *vars) KVL_NOEXCEPT;
void KvlAsyncHandlerFCfgChange(KvlObject *handler, const char *name) KVL_NOEXCEPT;
KvlObject *KvlAsyncHandlerFProcess(KvlObject *handler, KvlEvent *event) KVL_NOEXCEPT;
KvlObject *KvlAsyncHandlerFOpen(KvlObject *handler) KVL_NOEXCEPT;
KvlObject *KvlAsyncHandlerFClose(KvlObject *handler) KVL_NOEXCEPT;

/* Formatters. */
void KvlBasicFormatterFCfgChange(KvlObject *formatter, const char *name) KVL_NOEXCEPT;
char *KvlBasicFormatterFFormat(KvlObject *formatter, KvlEvent *event) KVL_NOEXCEPT;
char *KvlBasicFormatterFGetHeader(KvlObject *formatter) KVL_NOEXCEPT;
char *KvlBasicFormatterFGetTrailer(KvlObject *formatter) KVL_NOEXCEPT;
void *KvlPDXMLFormatterFAllocVars(void) KVL_NOEXCEPT;
void KvlPDXMLFormatterFFreeVars(void *vars) KVL_NOEXCEPT;
void KvlPDXMLFormatterFCfgChange(KvlObject *formatter, const char *name) KVL_NOEXCEPT;
char *KvlPDXMLFormatterFFormat(KvlObject *formatter, KvlEvent *event) KVL_NOEXCEPT;
char *KvlPDXMLFormatterFGetHeader(KvlObject *formatter) KVL_NOEXCEPT;
char *KvlPDXMLFormatterFGetTrailer(KvlObject *formatter) KVL_NOEXCEPT;
/* The XML record's level word ("MAX" ... "ERROR"; FATAL is "ERROR", any
 * other value "OTHER"). */
const char *kvlPDXMLEmitLevel(int32_t level) KVL_NOEXCEPT;
/* Gives an event without a message id the one at the start of its bound
 * text (bound in the formatter's locale, if any), or "" when there is
 * none, so later readers need not bind again. */
void kvlPDXMLFormatterCacheMessageID(KvlObject *formatter, KvlEvent *event) KVL_NOEXCEPT;
char *KvlZemTraceFormatterFFormat(KvlObject *formatter, KvlEvent *event) KVL_NOEXCEPT;

#ifdef __cplusplus
}

#include <string>

namespace kvl {
/* The name a file handler writes for a configured "fileName": a base that
 * ends in a digit gets "_" after it ("trace1.log" -> "trace1_.log"), so no
 * configured number reads as a backup number. */
std::string markedFileName(const std::string &name);
/* The active file a file or multi-process file handler writes, as it names
 * it; "" for another handler or without a name. */
std::string activeFileName(KvlObject *handler);
/* File `number` of the set whose active file is `active` (a backup for
 * 1 and up). */
std::string setMemberName(const std::string &active, int32_t number);
}  // namespace kvl
#endif

#endif /* KVL_CLASSES_H */
