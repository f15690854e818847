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

#include "kavel.h"

/* The trigger handler's private record, fields in the system's order. A
 * derived class keeps its own record in `extension`. */
struct KvlFFDCTriggerVars {
    uint8_t isOpen = 0;
    char *baseDir = nullptr;
    int64_t maxDiskSpace = 10485760;
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

}  // extern "C"

/* Grows the list's room from 16 entries by doubling to at least `needed`;
 * false when memory is short. */
bool kvlEnsureFileDataListCapacity(KvlFFDCFileDataList &list, size_t needed) noexcept;
/* Appends every regular file under `directory`, at any depth. */
void kvlFindAllFileData(const std::string &directory, KvlFFDCFileDataList &list) noexcept;
/* Older first; equal times by the whole modification time, then by path. */
bool kvlCompareFileAges(const KvlFFDCFileData &a, const KvlFFDCFileData &b) noexcept;

#endif /* KVL_FFDC_H */
