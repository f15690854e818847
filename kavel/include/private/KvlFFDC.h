/*
 * First-failure data capture: the trigger handler's record and the
 * operations the capture classes built on it share (the trigger decision,
 * the disk quota with its policies, the day's capture directory). C++ only.
 *
 * The quota walks never follow symbolic links (a link is neither counted,
 * entered nor removed) and keep whole paths, so a cleanup can only ever
 * remove regular files that really lie under the base directory.
 */
#ifndef KVL_FFDC_H
#define KVL_FFDC_H

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "KvlMsgTables.h"
#include "KvlToolkit.h"
#include "kavel.h"
#include "kffdcmsg_keys.h"

/* What a new trigger handler starts with. */
inline constexpr int64_t KVL_FFDC_DEFAULT_MAX_DISK = 10485760;
inline constexpr char KVL_FFDC_DEFAULT_POLICY[] = "QUOTA_IGNORE";

/* The trigger handler's private record, fields in the system's order. A
 * derived class keeps its own record in `extension`. */
struct KvlFFDCTriggerVars {
    uint8_t isOpen = 0;
    char *baseDir = nullptr;
    int64_t maxDiskSpace = KVL_FFDC_DEFAULT_MAX_DISK;
    char *triggerFilterName = nullptr;
    KvlObject *triggerFilter = nullptr;
    int64_t triggerRepeatTime = 0;
    int64_t lastTriggerTime = 0;
    char *quotaPolicy = nullptr; /* "QUOTA_IGNORE", "QUOTA_AUTODELETE" or "QUOTA_SUSPEND" */
    double firstWarning = 0.75;
    double secondWarning = 0.9;
    void *extension = nullptr;
};

/* One regular file found under the base directory. */
struct KvlFFDCFileData {
    int64_t size = 0;
    struct timespec modified {};
    std::string path;
};
using KvlFFDCFileDataList = std::vector<KvlFFDCFileData>;

extern "C" {

void *KvlFFDCTriggerHandlerFAllocVars(void) noexcept;
void KvlFFDCTriggerHandlerFFreeVars(void *vars) noexcept;
void KvlFFDCTriggerHandlerFCfgChange(KvlObject *handler, const char *name) noexcept;
KvlObject *KvlFFDCTriggerHandlerFOpen(KvlObject *handler) noexcept;
KvlObject *KvlFFDCTriggerHandlerFClose(KvlObject *handler) noexcept;

/* The setters' internal twins (the API mutex held). */
void kvlIntlFFDCTriggerHandlerSetBaseDir(KvlObject *handler, const char *directory) noexcept;
void kvlIntlFFDCTriggerHandlerSetMaxDisk(KvlObject *handler, int64_t bytes) noexcept;
void kvlIntlFFDCTriggerHandlerSetFilter(KvlObject *handler, KvlObject *filter) noexcept;
void kvlIntlFFDCTriggerHandlerSetFilterName(KvlObject *handler, const char *name) noexcept;
void kvlIntlFFDCTriggerHandlerSetInterval(KvlObject *handler, int64_t milliseconds) noexcept;
void kvlIntlFFDCTriggerHandlerSetQuotaPolicy(KvlObject *handler, const char *policy) noexcept;
void kvlIntlFFDCTriggerHandlerSetFirstWarning(KvlObject *handler, double fraction) noexcept;
void kvlIntlFFDCTriggerHandlerSetSecondWarning(KvlObject *handler, double fraction) noexcept;

/* 1 when the event should start a capture now (the trigger filter passes
 * it and the repeat time has run out; the time is then noted); the
 * filter's verdict when that is not 1; 0 without a filter. */
int kvlShouldFFDCActionOccur(KvlObject *handler, KvlEvent *event) noexcept;
/* 1 when `requested` more bytes fit the quota, or the policy lets them
 * (QUOTA_IGNORE; QUOTA_AUTODELETE after a successful cleanup). */
int kvlIsFFDCSpaceAvailable(KvlObject *handler, int64_t requested) noexcept;
/* The day's capture directory "baseDir/YYYY.MM.DD/" (local date of the
 * event), made if missing and noted on the event as "ffdcDir"; the
 * event's own "ffdcDir" when it has one. Null when it cannot be made. */
char *kvlMakeFFDCDir(KvlObject *handler, KvlEvent *event) noexcept;
/* Bytes of the regular files under `directory`. */
int64_t kvlCountFFDCSpaceUsed(const char *directory) noexcept;
/* Removes the oldest files under baseDir until it is below the first
 * warning; 1 when every removal succeeded and enough was removed. */
int kvlFFDCCleanup(KvlObject *handler) noexcept;

/* The file copy handler ("kvl_ffdc_filecopy_handler"): its record is the
 * trigger record with the copy settings as extension, in one allocation. */
void *KvlFileCopyHandlerFAllocVars(void) noexcept;
void KvlFileCopyHandlerFFreeVars(void *vars) noexcept;
void KvlFileCopyHandlerFCfgChange(KvlObject *handler, const char *name) noexcept;
KvlObject *KvlFileCopyHandlerFProcess(KvlObject *handler, KvlEvent *event) noexcept;
void kvlIntlFileCopyHandlerSetFiles(KvlObject *handler, const char *files) noexcept;
void kvlIntlFileCopyHandlerSetZipFile(KvlObject *handler, const char *name) noexcept;
void kvlIntlFileCopyHandlerSetZipCmdPath(KvlObject *handler, const char *path) noexcept;
/* Copies the existing entries of the blank-separated, quote-aware list
 * into `directory` (when it exists and some entry does). */
void kvlFileCopyHandlerCopyToDir(const char *list, const char *directory,
                                 const char *handlerName) noexcept;
/* Packs the existing entries into directory/zipName with the zip program. */
void kvlFileCopyHandlerCopyToZip(const char *zipCommand, const char *list, int32_t entries,
                                 const char *directory, const char *zipName,
                                 const char *handlerName) noexcept;
/* Copies one file into the directory under its base name, replacing any
 * earlier copy whole. */
void kvlFCHDoFileCopy(const char *file, const char *directory, const char *handlerName) noexcept;
/* 1 when some entry of the list exists; each missing one is reported. */
int kvlFCHValidateFilesToCopy(const char *list, const char *handlerName) noexcept;
/* 1 when the name holds a character other than ASCII letters, digits and
 * "_ \"'%+,-./:=@\\~". */
int kvlIsFilenameUnsafe(const char *name) noexcept;
int kvlFileExists(const char *path) noexcept;

/* The error logger the capture messages go to (the toolkit's current one),
 * and a check that reports a missing pointer (KVLFF0010E). */
KvlObject *kvlFFDCLogger(void) noexcept;
void *kvlFFDCCheckPtr(void *pointer) noexcept;

}  // extern "C"

namespace kvl {

// The longest path a capture handles: longer ones are refused, never cut.
constexpr size_t kFFDCPathLimit = 255;

// A capture message of catalog "kffdcmsg" with its built-in text and a
// typed argument list (the closing 0 is added).
template <typename... Args>
void ffdcReport(int32_t level, int32_t key, Args... args) {
    kffdcIntlLogVA(level, key, kvlMsgTableText(KFFDC_MSG_CATALOG, key), args..., KVL_ARG_END);
}

// The native form of a path ("\" turned into "/"); false when it passes
// the limit.
inline bool ffdcNativePath(const std::string &path, std::string &native) {
    if (path.size() > kFFDCPathLimit) return false;
    native = path;
    for (char &c : native)
        if (c == '\\') c = '/';
    return true;
}

}  // namespace kvl

/* Grows the list's room from 16 entries by doubling to at least `needed`;
 * false when memory is short. */
bool kvlEnsureFileDataListCapacity(KvlFFDCFileDataList &list, size_t needed) noexcept;
/* Appends every regular file under `directory`, at any depth. */
void kvlFindAllFileData(const std::string &directory, KvlFFDCFileDataList &list) noexcept;
/* Older first; equal times by the whole modification time, then by path. */
bool kvlCompareFileAges(const KvlFFDCFileData &a, const KvlFFDCFileData &b) noexcept;

#endif /* KVL_FFDC_H */
