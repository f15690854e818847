// The FFDC trigger handler ("kvl_ffdc_trigger_handler"): the common base of
// the first-failure data capture handlers. It holds the capture base
// directory, the disk quota and its policy, the trigger filter and the
// repeat time; it performs no action itself. A derived class's FProcess
// opens it, asks kvlShouldFFDCActionOccur, checks the quota with
// kvlIsFFDCSpaceAvailable and captures into kvlMakeFFDCDir's directory.
//
// Quota policies when a capture would pass "maxDiskSpace": QUOTA_IGNORE
// captures anyway; QUOTA_SUSPEND refuses (KVLFF0061E); QUOTA_AUTODELETE
// removes the oldest regular files under the base directory until it is
// below the first warning and captures if every removal succeeded. The
// walks use lstat and never follow links; the cleanup list holds whole
// paths; equal ages are ordered by the full time stamp, then by path.
// Sums of times saturate, so a huge repeat time cannot wrap into the past.

#include "KvlFFDC.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "CxFile.h"
#include "KvlClasses.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlNumberText.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlRecordFields.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr int kDirectoryMode = 0771;
constexpr std::string_view kPolicies[] = {KVL_FFDC_DEFAULT_POLICY, "QUOTA_AUTODELETE",
                                          "QUOTA_SUSPEND"};

// The record of a trigger handler, or null for anything else: the class
// says what its objects' records are (a class built on this one, making
// its own record with an extension, says the same).
KvlFFDCTriggerVars *varsOf(KvlObject *handler) {
    if (!kvlObjectIsKind(handler, KVL_KIND_HANDLER)) return nullptr;
    const KvlRecordKind records = handler->klass->internals.records;
    if (records != KvlRecordKind::kFFDCTrigger && records != KvlRecordKind::kFFDCFileCopy)
        return nullptr;
    return static_cast<KvlFFDCTriggerVars *>(handler->vars);
}

// A getter's body: `read` of the record under the API mutex, else `none`.
template <typename T, typename Read>
T readLocked(KvlObject *handler, T none, Read read) {
    KvlApiLock lock;
    KvlFFDCTriggerVars *vars = lock ? varsOf(handler) : nullptr;
    return vars != nullptr ? read(*vars) : none;
}

const char *nameOf(KvlObject *handler) { return handler->name != nullptr ? handler->name : ""; }

bool makeDirectories(const std::string &directory) {
    CxFilePath path{};
    return CxInitFilePath(&path, directory.c_str()) == 1 &&
           CxFilePathMkdirs(&path, kDirectoryMode) == 0;
}

// Every entry under `directory` at any depth, without following links:
// `visit` is called for each regular file with its path and status. The
// directories to enter are kept on a stack, not in recursion.
template <typename Visit>
void walkRegularFiles(const std::string &directory, Visit visit) {
    std::vector<std::string> pending{directory};
    while (!pending.empty()) {
        const std::string current = std::move(pending.back());
        pending.pop_back();
        DIR *stream = opendir(current.c_str());
        if (stream == nullptr) continue;  // unreadable: counts nothing
        while (const dirent *entry = readdir(stream)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            std::string path = current;
            if (path.empty() || path.back() != '/') path += '/';
            path += name;
            struct stat status {};
            if (lstat(path.c_str(), &status) != 0) continue;  // cannot be examined: left alone
            if (S_ISDIR(status.st_mode))
                pending.push_back(std::move(path));
            else if (S_ISREG(status.st_mode))
                visit(path, status);
        }
        closedir(stream);
    }
}

// Each property goes through its setter's internal twin, which keeps the
// setter's rules; an absent property changes nothing, and a number that
// does not read is ignored.
void applyBaseDir(KvlObject *handler, const kvl::PropertyValue &value) {
    kvlIntlFFDCTriggerHandlerSetBaseDir(handler, value.text);
}
void applyMaxDisk(KvlObject *handler, const kvl::PropertyValue &value) {
    if (value.readable) kvlIntlFFDCTriggerHandlerSetMaxDisk(handler, value.integer);
}
void applyTriggerFilter(KvlObject *handler, const kvl::PropertyValue &value) {
    kvlIntlFFDCTriggerHandlerSetFilterName(handler, value.text);
}
void applyRepeatTime(KvlObject *handler, const kvl::PropertyValue &value) {
    if (value.readable) kvlIntlFFDCTriggerHandlerSetInterval(handler, value.integer);
}
void applyQuotaPolicy(KvlObject *handler, const kvl::PropertyValue &value) {
    if (value.readable) kvlIntlFFDCTriggerHandlerSetQuotaPolicy(handler, value.text);
}
void applyFirstWarning(KvlObject *handler, const kvl::PropertyValue &value) {
    if (value.readable) kvlIntlFFDCTriggerHandlerSetFirstWarning(handler, value.fraction);
}
void applySecondWarning(KvlObject *handler, const kvl::PropertyValue &value) {
    if (value.readable) kvlIntlFFDCTriggerHandlerSetSecondWarning(handler, value.fraction);
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

constexpr kvl::PropertyDef kTriggerDefs[] = {
    {"baseDir", PropertyKind::kString, "", WhenAbsent::kKeeps, Closes::kNo, applyBaseDir},
    {"maxDiskSpace", PropertyKind::kLong, kvl::kDecimalText<KVL_FFDC_DEFAULT_MAX_DISK>.data(),
     WhenAbsent::kKeeps, Closes::kNo, applyMaxDisk},
    {"triggerFilter", PropertyKind::kObject, "", WhenAbsent::kKeeps, Closes::kNo,
     applyTriggerFilter},
    {"triggerRepeatTime", PropertyKind::kLong, "0", WhenAbsent::kKeeps, Closes::kNo,
     applyRepeatTime},
    {"quotaPolicy", PropertyKind::kEnumeration, KVL_FFDC_DEFAULT_POLICY, WhenAbsent::kKeeps,
     Closes::kNo, applyQuotaPolicy, kPolicies, true},
    {"firstWarning", PropertyKind::kFraction, "0.75", WhenAbsent::kKeeps, Closes::kNo,
     applyFirstWarning},
    {"secondWarning", PropertyKind::kFraction, "0.9", WhenAbsent::kKeeps, Closes::kNo,
     applySecondWarning},
};

}  // namespace

// The capture trigger: its directory, quota and trigger, then every
// handler's properties.
constexpr kvl::PropertyTable kvl::kFFDCTriggerProperties = {kTriggerDefs, &kvl::kHandlerProperties};

bool kvlEnsureFileDataListCapacity(KvlFFDCFileDataList &list, size_t needed) noexcept {
    if (list.capacity() >= needed) return true;
    size_t capacity = std::max<size_t>(list.capacity(), 16);
    while (capacity < needed)
        capacity *= 2;
    try {
        list.reserve(capacity);
    } catch (...) {
        return false;
    }
    return true;
}

void kvlFindAllFileData(const std::string &directory, KvlFFDCFileDataList &list) noexcept {
    try {
        walkRegularFiles(directory, [&](std::string &path, const struct stat &status) {
            if (!kvlEnsureFileDataListCapacity(list, list.size() + 1)) return;
            list.push_back({static_cast<int64_t>(status.st_size), status.st_mtim, std::move(path)});
        });
    } catch (...) {  // memory short: the files found so far
    }
}

bool kvlCompareFileAges(const KvlFFDCFileData &a, const KvlFFDCFileData &b) noexcept {
    if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec < b.modified.tv_sec;
    if (a.modified.tv_nsec != b.modified.tv_nsec) return a.modified.tv_nsec < b.modified.tv_nsec;
    return a.path < b.path;
}

extern "C" {

void *KvlFFDCTriggerHandlerFAllocVars(void) noexcept {
    void *memory = OxsMemoryMalloc(sizeof(KvlFFDCTriggerVars));
    if (memory == nullptr) return nullptr;
    auto *vars = new (memory) KvlFFDCTriggerVars{};
    vars->quotaPolicy = OxsStringDup(KVL_FFDC_DEFAULT_POLICY);
    if (vars->quotaPolicy == nullptr) {
        OxsMemoryFree(vars);
        return nullptr;
    }
    return vars;
}

void KvlFFDCTriggerHandlerFFreeVars(void *record) noexcept {
    auto *vars = static_cast<KvlFFDCTriggerVars *>(record);
    if (vars == nullptr) return;
    OxsMemoryFree(vars->baseDir);
    OxsMemoryFree(vars->triggerFilterName);
    OxsMemoryFree(vars->quotaPolicy);
    kvlIntlReleaseObject(vars->triggerFilter);
    OxsMemoryFree(vars);
}

// The setters' rules, shared by the properties and the public accessors.

void kvlIntlFFDCTriggerHandlerSetBaseDir(KvlObject *handler, const char *directory) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    std::string native;
    if (directory == nullptr || !kvl::ffdcNativePath(directory, native)) {
        kvl::replaceText(vars->baseDir, nullptr);  // cannot be made a native path
        return;
    }
    kvl::replaceText(vars->baseDir, native.c_str());
}

void kvlIntlFFDCTriggerHandlerSetMaxDisk(KvlObject *handler, int64_t bytes) noexcept {
    if (KvlFFDCTriggerVars *vars = varsOf(handler); vars != nullptr && bytes > 0)
        vars->maxDiskSpace = bytes;
}

void kvlIntlFFDCTriggerHandlerSetFilter(KvlObject *handler, KvlObject *filter) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr || vars->triggerFilter == filter) return;
    kvlIntlAcquireObject(filter);
    kvlIntlReleaseObject(vars->triggerFilter);
    vars->triggerFilter = filter;
}

// A new name lets go of the filter found under the old one: the next event
// opens the handler again and looks the new one up.
void kvlIntlFFDCTriggerHandlerSetFilterName(KvlObject *handler, const char *name) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    kvl::replaceText(vars->triggerFilterName, name);
    kvlIntlReleaseObject(vars->triggerFilter);
    vars->triggerFilter = nullptr;
    vars->isOpen = 0;
}

void kvlIntlFFDCTriggerHandlerSetInterval(KvlObject *handler, int64_t milliseconds) noexcept {
    if (KvlFFDCTriggerVars *vars = varsOf(handler); vars != nullptr && milliseconds > 0)
        vars->triggerRepeatTime = milliseconds;
}

void kvlIntlFFDCTriggerHandlerSetQuotaPolicy(KvlObject *handler, const char *policy) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr || policy == nullptr) return;
    if (std::find(std::begin(kPolicies), std::end(kPolicies), policy) != std::end(kPolicies))
        kvl::replaceText(vars->quotaPolicy, policy);  // case matters
}

void kvlIntlFFDCTriggerHandlerSetFirstWarning(KvlObject *handler, double fraction) noexcept {
    if (KvlFFDCTriggerVars *vars = varsOf(handler); vars != nullptr && fraction > 0 && fraction < 1)
        vars->firstWarning = fraction;
}

void kvlIntlFFDCTriggerHandlerSetSecondWarning(KvlObject *handler, double fraction) noexcept {
    if (KvlFFDCTriggerVars *vars = varsOf(handler); vars != nullptr && fraction > 0 && fraction < 1)
        vars->secondWarning = fraction;
}

void KvlFFDCTriggerHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    kvl::configure(handler, name, kvl::kFFDCTriggerProperties);
}

KvlObject *KvlFFDCTriggerHandlerFOpen(KvlObject *handler) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen == 1) return handler;
    if (vars->triggerFilter == nullptr) {
        if (vars->triggerFilterName != nullptr)
            vars->triggerFilter = kvlIntlGetObject(vars->triggerFilterName, nullptr);
        else
            kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0011E, KVL_ARG_STRING, nameOf(handler));
    }
    if (vars->baseDir == nullptr)
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0012E, KVL_ARG_STRING, nameOf(handler));
    else if (!makeDirectories(vars->baseDir))
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0013E, KVL_ARG_STRING, vars->baseDir,
                        KVL_ARG_STRING, nameOf(handler));
    vars->isOpen = 1;
    return handler;
}

KvlObject *KvlFFDCTriggerHandlerFClose(KvlObject *handler) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen != 1) return handler;
    kvlIntlReleaseObject(vars->triggerFilter);
    vars->triggerFilter = nullptr;
    vars->isOpen = 0;
    return handler;
}

int kvlShouldFFDCActionOccur(KvlObject *handler, KvlEvent *event) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr || event == nullptr) return 0;
    KvlObject *filter = vars->triggerFilter;
    if (filter == nullptr || filter->klass == nullptr || filter->klass->isLoggable == nullptr)
        return 0;
    const int verdict = filter->klass->isLoggable(filter, event);
    if (verdict != 1) return verdict;
    const auto now = static_cast<int64_t>(event->time);
    if (vars->lastTriggerTime != 0 &&
        now <= kvl::saturatingAdd(vars->lastTriggerTime, vars->triggerRepeatTime))
        return 0;
    vars->lastTriggerTime = now;
    return 1;
}

int64_t kvlCountFFDCSpaceUsed(const char *directory) noexcept {
    if (directory == nullptr) return 0;
    int64_t used = 0;
    try {
        walkRegularFiles(directory, [&](const std::string &, const struct stat &status) {
            used = kvl::saturatingAdd(used, static_cast<int64_t>(status.st_size));
        });
    } catch (...) {  // memory short: what was counted
    }
    return used;
}

int kvlFFDCCleanup(KvlObject *handler) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr) return 0;
    const auto target =
        static_cast<int64_t>(static_cast<double>(vars->maxDiskSpace) * vars->firstWarning);
    int64_t excess = kvlCountFFDCSpaceUsed(vars->baseDir) - target;
    if (excess <= 0) return 1;
    kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0015I, KVL_ARG_STRING, vars->baseDir,
                    KVL_ARG_DOUBLE, vars->firstWarning * 100, KVL_ARG_LONG,
                    static_cast<long>(vars->maxDiskSpace), KVL_ARG_LONG, static_cast<long>(excess),
                    KVL_ARG_STRING, nameOf(handler));
    KvlFFDCFileDataList files;
    kvlFindAllFileData(vars->baseDir, files);
    std::sort(files.begin(), files.end(), kvlCompareFileAges);
    bool allRemoved = true;
    for (const KvlFFDCFileData &file : files) {
        if (excess <= 0) break;
        excess -= file.size;
        // The walk's own bytes, whole: no conversion and no length limit.
        if (unlink(file.path.c_str()) != 0 && errno != ENOENT) allRemoved = false;
    }
    return allRemoved && excess <= 0 ? 1 : 0;
}

int kvlIsFFDCSpaceAvailable(KvlObject *handler, int64_t requested) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr) return 0;
    const int64_t used = kvlCountFFDCSpaceUsed(vars->baseDir);
    const auto max = static_cast<double>(vars->maxDiskSpace);
    const bool overSecond = max * vars->secondWarning <= static_cast<double>(used);
    const bool overFirst = max * vars->firstWarning <= static_cast<double>(used);
    if (overFirst || overSecond)
        kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0060W, KVL_ARG_DOUBLE,
                        (overSecond ? vars->secondWarning : vars->firstWarning) * 100, KVL_ARG_LONG,
                        static_cast<long>(vars->maxDiskSpace), KVL_ARG_LONG,
                        static_cast<long>(used), KVL_ARG_LONG, static_cast<long>(requested),
                        KVL_ARG_STRING, nameOf(handler));
    if (static_cast<double>(used) + static_cast<double>(requested) <= max) return 1;
    const std::string_view policy = vars->quotaPolicy != nullptr ? vars->quotaPolicy : "";
    if (policy == "QUOTA_AUTODELETE") {
        const int cleaned = kvlFFDCCleanup(handler);
        if (cleaned != 1)
            kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0014W, KVL_ARG_STRING, vars->baseDir,
                            KVL_ARG_DOUBLE, vars->firstWarning * 100, KVL_ARG_LONG,
                            static_cast<long>(vars->maxDiskSpace), KVL_ARG_STRING, nameOf(handler));
        return cleaned;
    }
    if (policy == "QUOTA_SUSPEND") {
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0061E, KVL_ARG_STRING, vars->baseDir,
                        KVL_ARG_LONG, static_cast<long>(used), KVL_ARG_STRING, nameOf(handler),
                        KVL_ARG_LONG, static_cast<long>(vars->maxDiskSpace));
        return 0;
    }
    return 1;  // QUOTA_IGNORE
}

char *kvlMakeFFDCDir(KvlObject *handler, KvlEvent *event) noexcept {
    KvlFFDCTriggerVars *vars = varsOf(handler);
    if (vars == nullptr || event == nullptr) return nullptr;
    if (const char *existing = kvlIntlStringToStringMapPeek(event->properties, "ffdcDir"))
        return OxsStringDup(existing);
    const time_t seconds = static_cast<time_t>(event->time / 1000);
    struct tm local {};
    char date[11] = "";
    if (localtime_r(&seconds, &local) == nullptr ||
        std::strftime(date, sizeof date, "%Y.%m.%d", &local) == 0)
        return nullptr;
    const std::string directory =
        std::string(vars->baseDir != nullptr ? vars->baseDir : "") + "/" + date + "/";
    if (!makeDirectories(directory)) {
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0013E, KVL_ARG_STRING, directory.c_str(),
                        KVL_ARG_STRING, nameOf(handler));
        return nullptr;
    }
    KvlSetEventProp(event, "ffdcDir", directory.c_str());
    return OxsStringDup(directory.c_str());
}

// The public accessors: the internal forms under the API mutex.

char *KvlFFDCTriggerHandlerGetBaseDir(KvlObject *handler) noexcept {
    return readLocked<char *>(handler, nullptr, [](auto &v) { return OxsStringDup(v.baseDir); });
}
int64_t KvlFFDCTriggerHandlerGetMaxDisk(KvlObject *handler) noexcept {
    return readLocked<int64_t>(handler, 0, [](auto &v) { return v.maxDiskSpace; });
}
KvlObject *KvlFFDCTriggerHandlerGetFilter(KvlObject *handler) noexcept {
    return readLocked<KvlObject *>(handler, nullptr,
                                   [](auto &v) { return kvlIntlAcquireObject(v.triggerFilter); });
}
char *KvlFFDCTriggerHandlerGetFilterName(KvlObject *handler) noexcept {
    return readLocked<char *>(handler, nullptr,
                              [](auto &v) { return OxsStringDup(v.triggerFilterName); });
}
int64_t KvlFFDCTriggerHandlerGetInterval(KvlObject *handler) noexcept {
    return readLocked<int64_t>(handler, 0, [](auto &v) { return v.triggerRepeatTime; });
}
char *KvlFFDCTriggerHandlerGetQuotaPolicy(KvlObject *handler) noexcept {
    return readLocked<char *>(handler, nullptr,
                              [](auto &v) { return OxsStringDup(v.quotaPolicy); });
}
double KvlFFDCTriggerHandlerGetFirstWarning(KvlObject *handler) noexcept {
    return readLocked<double>(handler, 0, [](auto &v) { return v.firstWarning; });
}
double KvlFFDCTriggerHandlerGetSecondWarning(KvlObject *handler) noexcept {
    return readLocked<double>(handler, 0, [](auto &v) { return v.secondWarning; });
}

void KvlFFDCTriggerHandlerSetBaseDir(KvlObject *handler, const char *directory) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetBaseDir(handler, directory))
void KvlFFDCTriggerHandlerSetMaxDisk(KvlObject *handler, int64_t bytes) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetMaxDisk(handler, bytes))
void KvlFFDCTriggerHandlerSetFilter(KvlObject *handler, KvlObject *filter) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetFilter(handler, filter))
void KvlFFDCTriggerHandlerSetFilterName(KvlObject *handler, const char *name) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetFilterName(handler, name))
void KvlFFDCTriggerHandlerSetInterval(KvlObject *handler, int64_t milliseconds) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetInterval(handler, milliseconds))
void KvlFFDCTriggerHandlerSetQuotaPolicy(KvlObject *handler, const char *policy) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetQuotaPolicy(handler, policy))
void KvlFFDCTriggerHandlerSetFirstWarning(KvlObject *handler, double fraction) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetFirstWarning(handler, fraction))
void KvlFFDCTriggerHandlerSetSecondWarning(KvlObject *handler, double fraction) noexcept
    KVL_LOCKED(, kvlIntlFFDCTriggerHandlerSetSecondWarning(handler, fraction))

}  // extern "C"
