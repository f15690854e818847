// The FFDC file copy handler ("kvl_ffdc_filecopy_handler"): when its
// trigger filter accepts an event, it copies "filesToCopy" into the day's
// capture directory, one by one or packed by the program "zipCmdPath" into
// "zipFileName". Built on the trigger handler: its record is the trigger
// record with this class's record as the extension, allocated with it.
//
// - The list is split once, quote-aware ("a b" is one path), for the size
//   sum, the check, the copies and the zip command line.
// - A copy goes to a temporary file beside the destination (0600, created
//   exclusively), is flushed and renamed over it: the destination ends up
//   exactly the new copy, a link there is replaced, never followed.
// - Only regular files are copied, judged on the open descriptor (opened
//   without waiting, so a FIFO cannot hold the logging call, which runs
//   under the API lock), and each at most to the size the quota check
//   counted for it: a device or a FIFO is reported and skipped, and a file
//   that grew meanwhile (a /proc file, whose size reads 0, always does) is
//   cut there and reported, so a capture never takes more than its quota.
//   The zip program reads its files itself: only regular files are named
//   to it.
// - The zip program runs without a shell, as " " -q -j ARCHIVE FILE...;
//   relative entries beginning with "-" are passed as "./-x" so they cannot
//   be taken for options; a non-zero exit, a signal or an archive left
//   untouched is a failure even when an older archive of the same name
//   exists.
// - Nothing here stops the logging call: failures are warnings or errors.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "CxFile.h"
#include "CxProcess.h"
#include "CxStringTok.h"
#include "KvlClasses.h"
#include "KvlFFDC.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlRecordFields.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr size_t kBlockSize = 8192;
constexpr uint64_t kSizeAtOpen = UINT64_MAX;  // no count: the size the open file has

// This class's record: the trigger record's extension.
struct FileCopyVars {
    char *filesToCopy = nullptr;
    char *zipFileName = nullptr;
    char *zipCmdPath = nullptr;
};

// Both records in one allocation.
struct FileCopyRecord {
    KvlFFDCTriggerVars trigger;
    FileCopyVars copy;
};

FileCopyVars *copyVarsOf(KvlObject *handler) {
    if (!kvlObjectIsKind(handler, KVL_KIND_HANDLER) ||
        handler->klass->internals.records != KvlRecordKind::kFFDCFileCopy ||
        handler->vars == nullptr)
        return nullptr;
    return static_cast<FileCopyVars *>(static_cast<KvlFFDCTriggerVars *>(handler->vars)->extension);
}

// A copy of one of the settings (null without a record).
char *copyOf(KvlObject *handler, char *FileCopyVars::*setting) {
    FileCopyVars *vars = copyVarsOf(handler);
    return vars != nullptr ? OxsStringDup(vars->*setting) : nullptr;
}

// The entries of a list, quotes grouping and removed.
std::vector<std::string> entriesOf(const char *list) {
    std::vector<std::string> entries;
    if (list == nullptr) return entries;
    for (CxStringTokIter it = CxStringTokIterator(list, " ", 1); CxStringTokIterHasNext(&it);
         CxStringTokIterNext(&it)) {
        char *entry = CxStringTokIterGet(&it);
        if (entry != nullptr && entry[0] != '\0') entries.emplace_back(entry);
        OxsMemoryFree(entry);
    }
    return entries;
}

bool isDirectory(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isRegularFile(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// An entry of "filesToCopy" and the bytes the quota check counted for it.
struct Capture {
    std::string entry;
    std::string native;  // empty: the name does not fit
    uint64_t counted = 0;
};

// The entries of a list with their sizes now (only regular files count).
std::vector<Capture> capturesOf(const char *list) {
    std::vector<Capture> captures;
    for (std::string &entry : entriesOf(list)) {
        Capture capture{std::move(entry), {}, 0};
        struct stat status {};
        if (kvl::ffdcNativePath(capture.entry, capture.native) &&
            stat(capture.native.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            capture.counted = static_cast<uint64_t>(status.st_size);
        captures.push_back(std::move(capture));
    }
    return captures;
}

enum class Copied { kWhole, kCut, kNotRegular, kUnreadable, kUnwritable };

// Copies at most `limit` bytes of the regular file `source` into a new
// temporary file beside `destination`, syncs it, then renames it over the
// destination; nothing of a failed copy is left.
Copied copyReplacing(const std::string &source, const std::string &destination, uint64_t limit) {
    const int input = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (input < 0) return Copied::kUnreadable;
    struct stat status {};
    if (fstat(input, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(input);
        return Copied::kNotRegular;
    }
    if (limit == kSizeAtOpen) limit = static_cast<uint64_t>(status.st_size);
    std::string temporary = destination.substr(0, destination.rfind('/') + 1) + ".kvlcopyXXXXXX";
    CxFile output = mkostemp(temporary.data(), O_CLOEXEC);  // 0600, created exclusively
    bool written = output >= 0, readFailed = false;
    char block[kBlockSize];
    for (uint64_t left = limit; written && left > 0;) {
        const ssize_t got = read(input, block, left < sizeof block ? left : sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) readFailed = true;
        if (got <= 0) break;
        written = CxFileWriteAll(&output, block, static_cast<size_t>(got), nullptr).kind ==
                  CX_PLATFORM_ERR_OK;
        left -= static_cast<uint64_t>(got);
    }
    char more = 0;
    const bool cut = written && !readFailed && read(input, &more, 1) > 0;
    close(input);
    if (output >= 0) {
        written = written && !readFailed && CxFileFlush(&output).kind == CX_PLATFORM_ERR_OK;
        written = CxFileClose(&output).kind == CX_PLATFORM_ERR_OK && written;
        written = written && rename(temporary.c_str(), destination.c_str()) == 0;
        if (!written) unlink(temporary.c_str());
    }
    if (readFailed) return Copied::kUnreadable;
    if (!written) return Copied::kUnwritable;
    return cut ? Copied::kCut : Copied::kWhole;
}

// One copy into the directory, at most `limit` bytes, with its report.
void copyOne(const char *file, const char *directory, const char *handlerName, uint64_t limit) {
    if (file == nullptr || directory == nullptr) return;
    std::string native;
    const size_t separator = std::string_view(file).find_last_of("/\\");
    const std::string_view base =
        separator == std::string_view::npos ? file : std::string_view(file).substr(separator + 1);
    if (!kvl::ffdcNativePath(file, native) || base.empty()) {
        kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0062W, KVL_ARG_STRING, file, KVL_ARG_STRING,
                        handlerName);
        return;
    }
    std::string destination = directory;
    if (destination.empty() || destination.back() != '/') destination += '/';
    destination += base;
    if (destination.size() >= kvl::kFFDCPathLimit) {
        kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0063W, KVL_ARG_STRING, handlerName,
                        KVL_ARG_STRING, destination.c_str());
        return;
    }
    switch (copyReplacing(native, destination, limit)) {
        case Copied::kWhole:
            break;
        case Copied::kCut:
            kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0142W, KVL_ARG_STRING, file,
                            KVL_ARG_STRING, handlerName, KVL_ARG_LONG, static_cast<long>(limit));
            break;
        case Copied::kNotRegular:
            kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0141W, KVL_ARG_STRING, file,
                            KVL_ARG_STRING, handlerName);
            break;
        case Copied::kUnreadable:
            kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0062W, KVL_ARG_STRING, file,
                            KVL_ARG_STRING, handlerName);
            break;
        case Copied::kUnwritable:
            kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0063W, KVL_ARG_STRING, handlerName,
                            KVL_ARG_STRING, destination.c_str());
            break;
    }
}

// Entries that do not exist were reported by the check and are skipped.
void copyCapturesToDir(const std::vector<Capture> &captures, const char *list,
                       const char *directory, const char *handlerName) {
    if (directory == nullptr || !isDirectory(directory) ||
        kvlFCHValidateFilesToCopy(list, handlerName) != 1)
        return;
    for (const Capture &capture : captures)
        if (!capture.native.empty() && kvlFileExists(capture.native.c_str()) == 1)
            copyOne(capture.entry.c_str(), directory, handlerName, capture.counted);
}

}  // namespace

extern "C" {

int kvlFileExists(const char *path) noexcept {
    struct stat status {};
    return path != nullptr && stat(path, &status) == 0 ? 1 : 0;
}

int kvlIsFilenameUnsafe(const char *name) noexcept {
    static constexpr std::string_view kAllowed = "_ \"'%+,-./:=@\\~0123456789";
    if (name == nullptr) return 0;
    for (const char *p = name; *p != '\0'; ++p) {
        const char c = *p;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && kAllowed.find(c) == std::string_view::npos) return 1;
    }
    return 0;
}

int kvlFCHValidateFilesToCopy(const char *list, const char *handlerName) noexcept {
    int anyExists = 0;
    for (const std::string &entry : entriesOf(list)) {
        std::string native;
        if (kvl::ffdcNativePath(entry, native) && kvlFileExists(native.c_str()) == 1) {
            anyExists = 1;
            continue;
        }
        kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0062W, KVL_ARG_STRING, entry.c_str(),
                        KVL_ARG_STRING, handlerName);
    }
    return anyExists;
}

void kvlFCHDoFileCopy(const char *file, const char *directory, const char *handlerName) noexcept {
    copyOne(file, directory, handlerName, kSizeAtOpen);
}

void kvlFileCopyHandlerCopyToDir(const char *list, const char *directory,
                                 const char *handlerName) noexcept {
    copyCapturesToDir(capturesOf(list), list, directory, handlerName);
}

void kvlFileCopyHandlerCopyToZip(const char *zipCommand, const char *list, int32_t,
                                 const char *directory, const char *zipName,
                                 const char *handlerName) noexcept {
    if (zipCommand == nullptr) {  // a zip name alone would capture nothing, silently
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0065E, KVL_ARG_STRING, "NULL");
        return;
    }
    std::string archive = directory != nullptr ? directory : "";
    if (archive.empty() || archive.back() != '/') archive += '/';
    archive += zipName != nullptr ? zipName : "";
    struct stat before {};
    const bool existed = stat(archive.c_str(), &before) == 0;
    bool failed = false;
    if (kvlFCHValidateFilesToCopy(list, handlerName) == 1) {
        std::vector<std::string> arguments = {" ", "-q", "-j", archive};
        for (const std::string &entry : entriesOf(list)) {
            std::string native;
            if (!kvl::ffdcNativePath(entry, native) || kvlFileExists(native.c_str()) != 1) continue;
            if (!isRegularFile(native)) {
                kvl::ffdcReport(KVL_LEVEL_WARN, kffdcmsg::KVLFF0141W, KVL_ARG_STRING, entry.c_str(),
                                KVL_ARG_STRING, handlerName);
                continue;
            }
            arguments.push_back(native[0] == '-' ? "./" + native : native);  // never an option
        }
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int32_t pid = -1;
        CxPlatformErr status = CxProcessCreate(&pid, zipCommand, argv.data());
        KvlReportPlatformErr(status);
        if (status.kind == CX_PLATFORM_ERR_OK) {
            CxProcessStatus ended{};
            status = CxProcessWaitFor(&pid, &ended, 1);
            KvlReportPlatformErr(status);  // ECHILD: someone else reaped it; the archive decides
            failed = ended.ended == 1 && (ended.exit_code != 0 || ended.signalled == 1);
            KvlReportPlatformErr(CxProcessRelease(pid));
        }
    }
    // An archive of an earlier capture the same day that zip left as it was
    // is no archive of this one.
    struct stat after {};
    const bool written =
        stat(archive.c_str(), &after) == 0 &&
        (!existed || after.st_ino != before.st_ino || after.st_size != before.st_size ||
         after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         after.st_mtim.tv_nsec != before.st_mtim.tv_nsec);
    if (kvlFileExists(zipCommand) != 1)
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0065E, KVL_ARG_STRING, zipCommand);
    else if (failed || !written)
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0064E, KVL_ARG_STRING, archive.c_str());
}

void *KvlFileCopyHandlerFAllocVars(void) noexcept {
    void *memory = OxsMemoryMalloc(sizeof(FileCopyRecord));
    if (memory == nullptr) return nullptr;
    auto *record = new (memory) FileCopyRecord{};
    record->trigger.quotaPolicy = OxsStringDup(KVL_FFDC_DEFAULT_POLICY);
    if (record->trigger.quotaPolicy == nullptr) {
        OxsMemoryFree(record);
        return nullptr;
    }
    record->trigger.extension = &record->copy;
    return &record->trigger;
}

void KvlFileCopyHandlerFFreeVars(void *vars) noexcept {
    auto *trigger = static_cast<KvlFFDCTriggerVars *>(vars);
    if (trigger == nullptr) return;
    if (auto *copy = static_cast<FileCopyVars *>(trigger->extension)) {
        OxsMemoryFree(copy->filesToCopy);
        OxsMemoryFree(copy->zipFileName);
        OxsMemoryFree(copy->zipCmdPath);
    }
    KvlFFDCTriggerHandlerFFreeVars(trigger);  // frees the one allocation
}

void kvlIntlFileCopyHandlerSetFiles(KvlObject *handler, const char *files) noexcept {
    if (FileCopyVars *vars = copyVarsOf(handler)) kvl::replaceText(vars->filesToCopy, files);
}

void kvlIntlFileCopyHandlerSetZipFile(KvlObject *handler, const char *name) noexcept {
    FileCopyVars *vars = copyVarsOf(handler);
    if (vars == nullptr) return;
    if (name == nullptr || name[0] == '\0') {
        kvl::replaceText(vars->zipFileName, nullptr);
        return;
    }
    const char *dot = std::strrchr(name, '.');
    const bool isZip = dot != nullptr && OxsStringICmp(dot + 1, "zip") == 0;
    kvl::replaceText(vars->zipFileName, isZip ? name : (std::string(name) + ".zip").c_str());
}

void kvlIntlFileCopyHandlerSetZipCmdPath(KvlObject *handler, const char *path) noexcept {
    FileCopyVars *vars = copyVarsOf(handler);
    if (vars == nullptr) return;
    if (path != nullptr && kvlIsFilenameUnsafe(path) == 0 && kvlFileExists(path) == 1)
        kvl::replaceText(vars->zipCmdPath, path);
    else
        kvl::ffdcReport(KVL_LEVEL_ERROR, kffdcmsg::KVLFF0065E, KVL_ARG_STRING,
                        path != nullptr ? path : "NULL");
}

void KvlFileCopyHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    kvl::configure(handler, name, kvl::kFileCopyProperties);
}

KvlObject *KvlFileCopyHandlerFProcess(KvlObject *handler, KvlEvent *event) noexcept {
    FileCopyVars *vars = copyVarsOf(handler);
    if (vars == nullptr || handler->enabled != 1) return handler;
    auto *trigger = static_cast<KvlFFDCTriggerVars *>(handler->vars);
    if (trigger->isOpen != 1) KvlFFDCTriggerHandlerFOpen(handler);
    if (kvlShouldFFDCActionOccur(handler, event) == 1) {
        // Counted once: the copies take at most what was counted here.
        const std::vector<Capture> captures = capturesOf(vars->filesToCopy);
        int64_t requested = 0;
        for (const Capture &capture : captures)
            requested += static_cast<int64_t>(capture.counted);
        if (kvlIsFFDCSpaceAvailable(handler, requested) == 1) {
            if (char *directory = kvlMakeFFDCDir(handler, event)) {
                if (vars->zipFileName != nullptr)
                    kvlFileCopyHandlerCopyToZip(vars->zipCmdPath, vars->filesToCopy,
                                                static_cast<int32_t>(captures.size()), directory,
                                                vars->zipFileName, handler->name);
                else
                    copyCapturesToDir(captures, vars->filesToCopy, directory, handler->name);
                OxsMemoryFree(directory);
            }
        }
    }
    KvlBasicObjectFLog(handler, event);
    return handler;
}

// The public accessors: the internal forms under the API mutex.

char *KvlFileCopyHandlerGetFiles(KvlObject *handler) noexcept
    KVL_LOCKED(nullptr, copyOf(handler, &FileCopyVars::filesToCopy))
char *KvlFileCopyHandlerGetZipFile(KvlObject *handler) noexcept
    KVL_LOCKED(nullptr, copyOf(handler, &FileCopyVars::zipFileName))
char *KvlFileCopyHandlerGetZipCmdPath(KvlObject *handler) noexcept
    KVL_LOCKED(nullptr, copyOf(handler, &FileCopyVars::zipCmdPath))
void KvlFileCopyHandlerSetFiles(KvlObject *handler, const char *files) noexcept
    KVL_LOCKED(, kvlIntlFileCopyHandlerSetFiles(handler, files))
void KvlFileCopyHandlerSetZipFile(KvlObject *handler, const char *name) noexcept
    KVL_LOCKED(, kvlIntlFileCopyHandlerSetZipFile(handler, name))
void KvlFileCopyHandlerSetZipCmdPath(KvlObject *handler, const char *path) noexcept
    KVL_LOCKED(, kvlIntlFileCopyHandlerSetZipCmdPath(handler, path))

}  // extern "C"

namespace {

// Each property goes through its setter's internal twin; an absent
// property changes nothing.
void applyFiles(KvlObject *handler, const kvl::PropertyValue &value) {
    kvlIntlFileCopyHandlerSetFiles(handler, value.text);
}
void applyZipFile(KvlObject *handler, const kvl::PropertyValue &value) {
    kvlIntlFileCopyHandlerSetZipFile(handler, value.text);
}
void applyZipCmdPath(KvlObject *handler, const kvl::PropertyValue &value) {
    kvlIntlFileCopyHandlerSetZipCmdPath(handler, value.text);
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

constexpr kvl::PropertyDef kFileCopyDefs[] = {
    {"filesToCopy", PropertyKind::kList, "", WhenAbsent::kKeeps, Closes::kNo, applyFiles},
    {"zipFileName", PropertyKind::kString, "", WhenAbsent::kKeeps, Closes::kNo, applyZipFile},
    {"zipCmdPath", PropertyKind::kString, "", WhenAbsent::kKeeps, Closes::kNo, applyZipCmdPath},
};

}  // namespace

// The file copy: what it copies and how it archives, then the trigger's
// properties.
constexpr kvl::PropertyTable kvl::kFileCopyProperties = {kFileCopyDefs,
                                                         &kvl::kFFDCTriggerProperties};
