// The file handler ("kvl_filehandler"): formatted records appended to a
// log file, with a bounded set of numbered backups rolled by size.
//
// File n of the set is directory/base[n][.extension]; 0 is the active
// file, 1 the newest backup. Every record first checks, with one stat of
// the name, that the active file is still the file the handler has open
// (same device and inode): a log deleted or moved by someone else is
// recreated at the very next record, never written while unlinked. That
// stat's size is also the size the rollover test reads, and a successful
// write advances it by the bytes written, so a record costs one stat and
// one write. The rollover test happens before the write: a record is never
// split, and a file exceeds "maxFileSize" by at most one record (and its
// header). A batch of records (an asynchronous handler's queue draining)
// is one stat and one gathered write, split only at rollovers. The size is
// compared as an unsigned 64-bit number, so a negative "maxFileSize" never
// rolls over.
//
// A record is written whole or not at all: a short write is continued, and
// a write that still fails cuts the file back to its size before the
// record, so half a record never glues itself to the next one.
//
// Names are taken apart in their last component only (a dot or digit in a
// directory name is not an extension or a backup number), and a name that
// does not fit the runtime's 255 bytes is refused and reported, never cut.
//
// Every file of a set (the active file, a backup, a rollover temporary) is
// opened only as a regular file at the name itself: a symbolic link there
// is refused, never followed, so nobody who can write the directory (a
// shared 1777 one, or 0771 where the controller logs as root) can aim the
// writer at another file; the per-record identity check uses lstat for the
// same reason. A link above the last component is followed: administrators
// put log directories elsewhere on purpose. A refusal names the file once.
//
// A lasting condition (a read-only directory, a refused name, a full disk,
// a rollover that cannot copy, a lock not had in time) is reported once
// when it starts, not with every record; it is reported again only after
// its step has succeeded once.
//
// The multi-process file handler ("kvl_multiproc_filehandler") shares the
// private record, the properties and the names. Several processes append
// to the same active file; a System V semaphore ("MPFileSemKey") makes the
// size check, the rollover and the write of one record one critical
// section, and a holder's death releases it. The active file is never
// renamed (other processes hold it open): its content is copied into a
// temporary file beside file 1, the backups shift, the temporary is
// renamed onto file 1, and only then is the active file truncated. A
// roller that finds file 1 equal to the active file finishes a rollover
// someone was killed in by truncating only, so a writer killed at any step
// loses and duplicates nothing. No header or trailer; always appending.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "CxChars.h"
#include "CxFile.h"
#include "CxMutex.h"
#include "CxStringBuff.h"
#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlHandlerSeam.h"
#include "KvlMsgTables.h"
#include "KvlNumberText.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlRecordFields.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "zil.h"

namespace {

constexpr int32_t kDefaultSemKey = 31821;
constexpr int32_t kDefaultSemTimeout = 10000;  // milliseconds

// The conditions reported once until their step succeeds again.
enum Condition {
    kMakingDirectory,
    kOpening,
    kRefused,
    kWriting,
    kShifting,     // renaming or removing backups
    kRollingOver,  // the multi-process handler's copy into file 1
    kLocking,
    kConditionCount
};

// The private record, fields in the system's order; the identity of the
// open file and the handler's own additions come last.
struct FileVars {
    CxFile file = -1;
    unsigned char isOpen = 0;
    uint64_t currentSize = 0;
    int32_t maxFileSize = 1048576;
    int32_t maxFiles = 3;
    char *fileName = nullptr;
    char *directory = nullptr;
    char *baseName = nullptr;
    char *extension = nullptr;
    int32_t baseNumber = 0;
    uc_ch_t *encoding = nullptr;
    int32_t filePermission = 0744;
    int32_t dirPermission = 0771;
    unsigned char appending = 1;
    unsigned char semReady = 0;
    int32_t semKey = kDefaultSemKey;
    CxSem semaphore = -1;
    unsigned char logInternalErrs = 1;
    dev_t device = 0;
    ino_t inode = 0;
    int32_t semTimeout = kDefaultSemTimeout;
    uint32_t dropped = 0;                    // records the lock was not had for
    int32_t reported[kConditionCount] = {};  // per condition: what was reported, 0 none
};

constexpr size_t kNameLimit = CX_FILE_NAME_SIZE - 1;  // 255 bytes

FileVars *varsOf(KvlObject *handler) {
    return handler != nullptr ? static_cast<FileVars *>(handler->vars) : nullptr;
}

// A toolkit message about this handler, when it reports its own problems.
template <class... Args>
void report(const FileVars &vars, int32_t level, int32_t key, Args... args) {
    if (vars.logInternalErrs == 1) kvl::toolkitReport(level, key, args...);
}

// True when `code` (non-zero) is news for the condition, which then counts
// as reported; its step's success clears it.
bool firstReport(FileVars &vars, Condition condition, int32_t code) {
    if (vars.reported[condition] == code) return false;
    vars.reported[condition] = code;
    return true;
}
void cleared(FileVars &vars, Condition condition) { vars.reported[condition] = 0; }

// A platform failure of a condition's step, reported once.
void reportOnce(FileVars &vars, Condition condition, CxPlatformErr status) {
    if (status.kind == CX_PLATFORM_ERR_PLATFORM && firstReport(vars, condition, status.code))
        KvlReportPlatformErr(status);
}

// Opens a member of the set as a regular file at its name (no link
// followed, no FIFO waited on); a refusal names the file, once.
bool openMember(FileVars &vars, CxFile &file, const char *name, int flags) {
    const CxPlatformErr status = CxFileOpenRegular(&file, name, flags, vars.filePermission & 07777);
    if (status.kind == CX_PLATFORM_ERR_OK) {
        cleared(vars, kOpening);
        cleared(vars, kRefused);
        return true;
    }
    if (CxFileRefused(status) == 1) {
        if (firstReport(vars, kRefused, status.code))
            report(vars, KVL_LEVEL_ERROR, kvlmsg::KVLFH0032E, KVL_ARG_STRING, "fileName",
                   KVL_ARG_STRING, name);
    } else {
        reportOnce(vars, kOpening, status);
    }
    return false;
}

// Whether the name still means the open file (lstat: a link put in its
// place is another file).
bool nameIsOpenFile(const FileVars &vars, struct stat &info) {
    return lstat(vars.fileName, &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_dev == vars.device && info.st_ino == vars.inode;
}

// directory/base[number][.extension], or "" when a part is missing or the
// name does not fit.
std::string memberName(const char *directory, const char *base, int32_t number,
                       const char *extension) {
    if (directory == nullptr || base == nullptr) return {};
    std::string name = directory;
    (name += '/') += base;
    if (number != 0) name += std::to_string(number);
    if (extension != nullptr) (name += '.') += extension;
    return name.size() <= kNameLimit ? name : std::string();
}

// The name of file `number` of the set, or "" when it does not fit.
std::string setMember(const FileVars &vars, int32_t number) {
    return memberName(vars.directory, vars.baseName, number, vars.extension);
}

void closeDescriptor(FileVars &vars) {
    if (vars.file >= 0) KvlReportPlatformErr(CxFileClose(&vars.file));
    vars.file = -1;
    vars.isOpen = 0;
}

// The end of a write of `size` bytes that wrote `done`: the size advanced,
// or, on failure, the file cut back to the size it had before and the
// error reported. True when written whole.
bool settleWrite(FileVars &vars, CxPlatformErr status, size_t done, size_t size) {
    if (status.kind != CX_PLATFORM_ERR_OK) {
        if (done > 0 && ftruncate(vars.file, static_cast<off_t>(vars.currentSize)) != 0)
            reportOnce(vars, kWriting, cxPlatformFail(errno));
        reportOnce(vars, kWriting, status);
        return false;
    }
    cleared(vars, kWriting);
    vars.currentSize += size;
    return true;
}

// Writes `size` bytes whole, or none of them. True when written.
bool writeWhole(FileVars &vars, const char *data, size_t size) {
    size_t done = 0;
    const CxPlatformErr status = CxFileWriteAll(&vars.file, data, size, &done);
    return settleWrite(vars, status, done, size);
}

// Writes a formatter text (header, record or trailer) in the handler's
// encoding.
void writeText(FileVars &vars, std::string_view text) {
    if (vars.encoding == nullptr) {
        writeWhole(vars, text.data(), text.size());
    } else {
        CxStringBuff buffer{};
        if (CxStringBuffAppendStrN(&buffer, text.data(), static_cast<int32_t>(text.size())) == 1 &&
            CxStringBuffChangeFromUTF8(vars.encoding, &buffer) == 1)
            writeWhole(vars, buffer.data, buffer.length);
        CxStringBuffDiscard(&buffer);
    }
}

// Records' texts in one gathered write (up to kGathered at a time), whole
// or none of them; a queue draining into the handler is told
// of each write. Converted one by one when the handler has an encoding.
constexpr size_t kGathered = 256;

void writeGathered(FileVars &vars, std::span<const std::string_view> texts) {
    if (vars.encoding != nullptr) {
        for (const std::string_view text : texts)
            writeText(vars, text);
        return;
    }
    for (size_t first = 0; first < texts.size(); first += kGathered) {
        const auto run = texts.subspan(first, std::min(kGathered, texts.size() - first));
        iovec pieces[kGathered];
        size_t bytes = 0;
        for (size_t i = 0; i < run.size(); ++i) {
            pieces[i] = {const_cast<char *>(run[i].data()), run[i].size()};
            bytes += run[i].size();
        }
        kvl::WriteJournal *journal = kvl::writeJournal();
        if (journal != nullptr)
            journal->willWrite(vars.device, vars.inode, vars.currentSize, bytes);
        size_t done = 0;
        const CxPlatformErr status =
            CxFileWriteAllV(&vars.file, pieces, static_cast<int>(run.size()), &done);
        const bool whole = settleWrite(vars, status, done, bytes);
        if (journal != nullptr) journal->wrote(whole);
        if (!whole) return;
    }
}

// Writes a header or trailer the formatter handed out, and frees it.
void writeOwnedText(FileVars &vars, char *text) {
    if (text == nullptr) return;
    writeText(vars, text);
    OxsMemoryFree(text);
}

// Opens the active file with the configured flags and records its
// identity and size. True when open.
bool openActive(FileVars &vars, int flags) {
    struct stat info {};
    if (!openMember(vars, vars.file, vars.fileName, flags)) return false;
    if (fstat(vars.file, &info) != 0) {
        reportOnce(vars, kOpening, cxPlatformFail(errno));
        closeDescriptor(vars);
        return false;
    }
    vars.device = info.st_dev;
    vars.inode = info.st_ino;
    vars.currentSize = static_cast<uint64_t>(info.st_size);
    return true;
}

// An empty file is never rolled over: with "maxFileSize" 0 the file made by
// one rollover would otherwise be rolled at once, its empty content
// pushing the previous record out of the newest backup.
bool rolloverDue(const FileVars &vars) {
    return vars.maxFiles > 1 && vars.currentSize > 0 &&
           vars.currentSize >= static_cast<uint64_t>(static_cast<int64_t>(vars.maxFileSize));
}

// The open file is still the active file and small enough: nothing to do.
// Otherwise it is closed (and rolled over when full).
bool stillCurrent(KvlObject *handler, FileVars &vars) {
    struct stat info {};
    if (nameIsOpenFile(vars, info)) {
        vars.currentSize = static_cast<uint64_t>(info.st_size);
        if (!rolloverDue(vars)) return true;
        KvlFileHandlerFClose(handler);
        kvlFileHandlerDoRollover(handler);
        vars.currentSize = 0;
        return false;
    }
    KvlFileHandlerFClose(handler);
    return false;
}

void makeDirectories(FileVars &vars) {
    if (vars.directory == nullptr || *vars.directory == '\0') return;
    CxFilePath path{};
    const int error = CxInitFilePath(&path, vars.directory) != 1
                          ? ENAMETOOLONG
                          : CxFilePathMkdirs(&path, vars.dirPermission & 07777);
    if (error == 0)
        cleared(vars, kMakingDirectory);
    else if (firstReport(vars, kMakingDirectory, error))
        report(vars, KVL_LEVEL_ERROR, kvlmsg::KVLFH0032E, KVL_ARG_STRING, "fileName",
               KVL_ARG_STRING, vars.directory);
}

// "fileName": the active file's name, a trailing number marked off; absent,
// there is no active file (an error).
void applyFileName(KvlObject *handler, const kvl::PropertyValue &value) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    if (value.text == nullptr) {
        report(*vars, KVL_LEVEL_ERROR, kvlmsg::KVLBC0030E, KVL_ARG_STRING, "fileName");
        return;
    }
    const std::string name = kvl::markedFileName(value.text);
    // A refused name leaves no active file: records are dropped rather than
    // written into the file of an earlier name.
    OxsMemoryFree(vars->fileName);
    vars->fileName = nullptr;
    if (kvlFHGetFileNameParts(name.c_str(), handler) != 1) return;
    kvlSetFileNameParts(&vars->fileName, vars->directory, vars->baseName, vars->baseNumber,
                        vars->extension);
}

// Numbers and flags: a value that does not read keeps the setting.
template <int32_t FileVars::*Field>
void applyNumber(KvlObject *handler, const kvl::PropertyValue &value) {
    if (FileVars *vars = varsOf(handler); vars != nullptr && value.readable)
        vars->*Field = static_cast<int32_t>(value.integer);
}
template <unsigned char FileVars::*Field>
void applyFlag(KvlObject *handler, const kvl::PropertyValue &value) {
    if (FileVars *vars = varsOf(handler); vars != nullptr && value.readable)
        vars->*Field = static_cast<unsigned char>(value.integer);
}

// Permissions: mode bits; a value that does not read is warned about.
template <int32_t FileVars::*Field>
void applyPermission(KvlObject *handler, const kvl::PropertyValue &value) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    if (value.readable)
        vars->*Field = static_cast<int32_t>(value.integer);
    else
        report(*vars, KVL_LEVEL_WARN, kvlmsg::KVLMP0074W, KVL_ARG_STRING, value.text,
               KVL_ARG_STRING, handler->name);
}

// "fileEncoding": the codeset written text is converted to; one that cannot
// be opened is warned about and leaves none.
void applyEncoding(KvlObject *handler, const kvl::PropertyValue &value) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    if (vars->encoding != nullptr) zil_cs_free(vars->encoding);
    vars->encoding = nullptr;
    if (value.text == nullptr) return;
    vars->encoding = zil_cs_new(value.text);
    if (vars->encoding == nullptr)
        report(*vars, KVL_LEVEL_WARN, kvlmsg::KVLFH0036W, KVL_ARG_STRING, value.text);
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

// A change to what the file is closes it first, so the next record reopens
// it with the new settings. An absent size, count, flag or key stands for
// its default (a new handler starts with 1048576 bytes, not 1024).
constexpr kvl::PropertyDef kFileHandlerDefs[] = {
    {"fileName", PropertyKind::kString, "default.log", WhenAbsent::kClears, Closes::kYes,
     applyFileName},
    {"maxFileSize", PropertyKind::kInteger, "1024", WhenAbsent::kDefault, Closes::kYes,
     applyNumber<&FileVars::maxFileSize>},
    {"maxFileBytes", PropertyKind::kInteger, "1024", WhenAbsent::kDefault, Closes::kYes,
     applyNumber<&FileVars::maxFileSize>},
    {"maxFiles", PropertyKind::kInteger, "3", WhenAbsent::kDefault, Closes::kYes,
     applyNumber<&FileVars::maxFiles>},
    {"appending", PropertyKind::kBoolean, "true", WhenAbsent::kDefault, Closes::kYes,
     applyFlag<&FileVars::appending>},
    {"fileEncoding", PropertyKind::kCodeset, "", WhenAbsent::kClears, Closes::kYes, applyEncoding},
    {"MPFileSemKey", PropertyKind::kInteger, kvl::kDecimalText<kDefaultSemKey>.data(),
     WhenAbsent::kDefault, Closes::kYes, applyNumber<&FileVars::semKey>},
    {"filePermission", PropertyKind::kPermission, "0744", WhenAbsent::kKeeps, Closes::kWhenPresent,
     applyPermission<&FileVars::filePermission>},
    {"dirPermission", PropertyKind::kPermission, "0771", WhenAbsent::kKeeps, Closes::kWhenPresent,
     applyPermission<&FileVars::dirPermission>},
    {"logInternalErrs", PropertyKind::kBoolean, "true", WhenAbsent::kDefault, Closes::kNo,
     applyFlag<&FileVars::logInternalErrs>},
    {"MPFileSemTimeout", PropertyKind::kInteger, kvl::kDecimalText<kDefaultSemTimeout>.data(),
     WhenAbsent::kDefault, Closes::kNo, applyNumber<&FileVars::semTimeout>},
};

// Removes or renames one member of the set; a missing file is no error.
KvlBackupDropHook backupDropHook = nullptr;  // tests only: archive instead of remove

// True when done (a missing source counts as done).
bool shiftMember(FileVars &vars, int32_t from, int32_t to) {
    const std::string source = setMember(vars, from);
    const std::string target = to >= 0 ? setMember(vars, to) : std::string();
    if (source.empty() || (to >= 0 && target.empty())) {
        reportOnce(vars, kShifting, cxPlatformFail(ENAMETOOLONG));
        return false;
    }
    CxPlatformErr status{};
    if (to >= 0)
        status = CxFileNameRename(source.c_str(), target.c_str());
    else if (backupDropHook != nullptr)
        status = backupDropHook(source.c_str()) == 0 ? cxPlatformOk() : cxPlatformFail(errno);
    else
        status = CxFileNameRemove(source.c_str());
    if (status.kind != CX_PLATFORM_ERR_PLATFORM || status.code == ENOENT) return true;
    reportOnce(vars, kShifting, status);
    return false;
}

// Whether file 1 already holds exactly the active file's content.
bool sameContent(CxFile active, const std::string &backup) {
    struct stat activeInfo {
    }, backupInfo{};
    if (fstat(active, &activeInfo) != 0 || lstat(backup.c_str(), &backupInfo) != 0 ||
        !S_ISREG(backupInfo.st_mode) || activeInfo.st_size != backupInfo.st_size ||
        activeInfo.st_size == 0)
        return false;
    CxFile other = -1;
    if (CxFileOpenRegular(&other, backup.c_str(), O_RDONLY, 0).kind != CX_PLATFORM_ERR_OK)
        return false;
    bool same = true;
    char a[8192], b[8192];
    for (off_t offset = 0; same && offset < activeInfo.st_size;) {
        const ssize_t got = pread(active, a, sizeof a, offset);
        same = got > 0 && pread(other, b, static_cast<size_t>(got), offset) == got &&
               std::memcmp(a, b, static_cast<size_t>(got)) == 0;
        offset += got > 0 ? got : 0;
    }
    CxFileClose(&other);
    return same;
}

struct CopyResult {
    bool readFailed = false;
    bool writeFailed = false;
    bool notPlaced = false;  // the temporary could not be made or put in place
    bool failed() const { return readFailed || writeFailed; }
};

// Copies the active file into a temporary beside file 1 (made afresh:
// whatever had the name before, a link included, is removed first), syncs
// it, shifts the backups, then renames the temporary onto file 1.
CopyResult copyToBackup(FileVars &vars, const std::string &backup) {
    CopyResult result;
    const std::string temporary = backup + ".tmp";
    CxFile copy = -1;
    if (temporary.size() <= kNameLimit) unlink(temporary.c_str());
    if (temporary.size() > kNameLimit ||
        CxFileOpenRegular(&copy, temporary.c_str(), O_CREAT | O_EXCL | O_RDWR,
                          vars.filePermission & 07777)
                .kind != CX_PLATFORM_ERR_OK) {
        result.notPlaced = result.writeFailed = true;
        return result;
    }
    char buffer[8192];
    for (off_t offset = 0; !result.writeFailed;) {
        const ssize_t got = pread(vars.file, buffer, sizeof buffer, offset);
        if (got < 0) result.readFailed = true;
        if (got <= 0) break;
        size_t written = 0;
        result.writeFailed =
            CxFileWriteAll(&copy, buffer, static_cast<size_t>(got), &written).kind !=
            CX_PLATFORM_ERR_OK;
        offset += got;
    }
    if (CxFileFlush(&copy).kind != CX_PLATFORM_ERR_OK) result.writeFailed = true;
    if (CxFileClose(&copy).kind != CX_PLATFORM_ERR_OK) result.writeFailed = true;
    if (result.failed()) {
        CxFileNameRemove(temporary.c_str());
        return result;
    }
    bool shifted = shiftMember(vars, vars.maxFiles - 1, -1);
    for (int32_t i = vars.maxFiles - 2; i >= 1; --i)
        shifted = shiftMember(vars, i, i + 1) && shifted;
    if (shifted) cleared(vars, kShifting);
    if (CxFileNameRename(temporary.c_str(), backup.c_str()).kind != CX_PLATFORM_ERR_OK) {
        CxFileNameRemove(temporary.c_str());
        result.notPlaced = result.writeFailed = true;
    }
    return result;
}

// Copies the active file into file 1 (unless file 1 already holds it: a
// rollover interrupted before its truncation), then empties the active
// file. When the copy cannot be made the active file keeps its records,
// the failure is reported once, and false tells the caller to go on
// writing past the limit.
bool rollActiveLog(FileVars &vars) {
    const std::string active = setMember(vars, 0), backup = setMember(vars, 1);
    if (active.empty() || backup.empty()) {
        reportOnce(vars, kRollingOver, cxPlatformFail(ENAMETOOLONG));
        return false;  // the record still goes into the untouched active file
    }
    if (!sameContent(vars.file, backup)) {
        const CopyResult copied = copyToBackup(vars, backup);
        if (copied.failed()) {
            if (firstReport(vars, kRollingOver,
                            copied.readFailed ? kvlmsg::KVLMP0072W : kvlmsg::KVLMP0073W)) {
                if (copied.notPlaced) std::printf("ERR opening %s pre rollover\n", backup.c_str());
                if (copied.readFailed)
                    report(vars, KVL_LEVEL_WARN, kvlmsg::KVLMP0072W, KVL_ARG_STRING,
                           active.c_str());
                if (copied.writeFailed)
                    report(vars, KVL_LEVEL_WARN, kvlmsg::KVLMP0073W, KVL_ARG_STRING,
                           backup.c_str());
            }
            return false;
        }
    }
    cleared(vars, kRollingOver);
    if (ftruncate(vars.file, 0) != 0) KvlReportPlatformErr(cxPlatformFail(errno));
    KvlReportPlatformErr(CxFileSeek(&vars.file, 0, SEEK_SET));
    vars.currentSize = 0;
    return true;
}

// Opens the shared active file and records its identity. True when open.
bool openShared(FileVars &vars) {
    struct stat info {};
    if (!openMember(vars, vars.file, vars.fileName, O_CREAT | O_RDWR | O_APPEND)) {
        vars.file = -1;
        return false;
    }
    if (fstat(vars.file, &info) == 0) {
        vars.device = info.st_dev;
        vars.inode = info.st_ino;
    }
    vars.isOpen = 1;
    return true;
}

// Under the lock: the size of the active file, reopened first when its name
// no longer means the open file (deleted, moved, replaced by a link). False
// when there is no active file to write.
bool measureActive(FileVars &vars) {
    struct stat named {};
    if (!nameIsOpenFile(vars, named)) {
        closeDescriptor(vars);
        if (!openShared(vars)) return false;
    }
    struct stat info {};
    if (fstat(vars.file, &info) != 0) {
        reportOnce(vars, kOpening, cxPlatformFail(errno));
        return true;
    }
    vars.currentSize = static_cast<uint64_t>(info.st_size);
    return true;
}

// The records the lock was not had for, reported with their number.
void reportDropped(FileVars &vars);

// The file handler's writer: the output is made ready by FOpen (which
// checks the name and rolls over per record); a handler that cannot open
// still passes its events on.
KvlPrepared prepareFile(KvlObject *handler) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return KvlPrepared::kSkip;
    KvlFileHandlerFOpen(handler);
    return vars->isOpen == 1 ? KvlPrepared::kReady : KvlPrepared::kClosed;
}

void writeFileText(KvlObject *handler, std::string_view text) {
    if (FileVars *vars = varsOf(handler)) writeText(*vars, text);
}

// Records in order, as few writes as the rollovers allow: they are
// gathered into one write until the file, with them, reaches its limit;
// then they are written and `roll` makes the file ready again (rolling it
// over), so a file still exceeds "maxFileSize" by at most one record, and
// no record is split. A rollover that fails (reported by it) is not tried
// again within the batch: the rest go into the active file, as they would
// one by one. False when `roll` finds no file to write: the rest of the
// records are not written. With `gather` false each record is a write of
// its own (see writeSharedBatch).
template <class Roll>
bool writeInRuns(FileVars &vars, std::span<const std::string_view> texts, Roll roll,
                 bool gather = true) {
    const auto full = [&vars](uint64_t size) {
        return vars.maxFiles > 1 && size > 0 &&
               size >= static_cast<uint64_t>(static_cast<int64_t>(vars.maxFileSize));
    };
    size_t first = 0;
    uint64_t pending = 0;
    const auto flush = [&](size_t end) {
        if (end > first) writeGathered(vars, texts.subspan(first, end - first));
        first = end;
        pending = 0;
    };
    bool rolling = true;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (rolling && full(vars.currentSize + pending)) {
            flush(i);
            if (!roll()) return false;
            rolling = !full(vars.currentSize);
        }
        pending += texts[i].size();
        if (!gather) flush(i + 1);
    }
    flush(texts.size());
    return true;
}

void writeFileBatch(KvlObject *handler, std::span<const std::string_view> texts) {
    if (FileVars *vars = varsOf(handler))
        writeInRuns(*vars, texts,
                    [handler] { return prepareFile(handler) == KvlPrepared::kReady; });
}

// The multi-process handler's writer: an event it cannot open for is not
// passed on either. A text is written under the semaphore after the
// identity and size checks and the rollover; one whose lock cannot be had
// is dropped and counted.
KvlPrepared prepareShared(KvlObject *handler) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return KvlPrepared::kSkip;
    KvlMultiProcFileHandlerFOpen(handler);
    return vars->isOpen == 1 ? KvlPrepared::kReady : KvlPrepared::kSkip;
}

void writeSharedText(KvlObject *handler, std::string_view text) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    if (kvlMultiProcFileHandlerLockSem(vars) != 1) {
        ++vars->dropped;
        return;
    }
    if (measureActive(*vars)) {
        if (rolloverDue(*vars)) rollActiveLog(*vars);
        writeText(*vars, text);
    }
    kvlMultiProcFileHandlerUnlockSem(vars);
    reportDropped(*vars);
}

// A batch under one hold of the semaphore, rolled over as each record
// would be (the queue that drains into it keeps batches to 64 KiB, so the
// lock is held briefly). Each record is a write of its own: the kernel
// may cut a write of several pages when its process is killed, and the
// next process's record would be glued to the cut one; a record alone is
// cut no more often than it is when written on its own.
void writeSharedBatch(KvlObject *handler, std::span<const std::string_view> texts) {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return;
    if (kvlMultiProcFileHandlerLockSem(vars) != 1) {
        vars->dropped += texts.size();
        return;
    }
    if (measureActive(*vars)) {
        kvl::WriteJournal *journal = kvl::writeJournal();
        if (journal != nullptr && journal->lockTaken(vars->fileName, vars->file))
            measureActive(*vars);
        writeInRuns(
            *vars, texts,
            [vars] {
                rollActiveLog(*vars);
                return true;
            },
            false);
        if (journal != nullptr) journal->lockReleasing();
    }
    kvlMultiProcFileHandlerUnlockSem(vars);
    reportDropped(*vars);
}

// The crash path: the open file as it is, with no rollover, no
// conversion and nothing allocated; the multi-process one under its
// semaphore (a system call, so safe in a signal handler), had within
// "MPFileSemTimeout" or not at all.
int crashFile(KvlObject *handler) {
    const FileVars *vars = varsOf(handler);
    return vars != nullptr && vars->isOpen == 1 && vars->encoding == nullptr ? vars->file : -1;
}

int crashShared(KvlObject *handler) {
    FileVars *vars = varsOf(handler);
    if (crashFile(handler) < 0 || vars->semReady != 1) return -1;
    if (CxSemLockWithin(&vars->semaphore, vars->semTimeout).kind != CX_PLATFORM_ERR_OK) return -1;
    return vars->file;
}

void crashSharedEnd(KvlObject *handler) {
    if (FileVars *vars = varsOf(handler)) CxSemUnlock(&vars->semaphore);
}

void reportDropped(FileVars &vars) {
    if (vars.dropped == 0) return;
    const auto count = static_cast<int>(vars.dropped > INT32_MAX ? INT32_MAX : vars.dropped);
    vars.dropped = 0;
    report(vars, KVL_LEVEL_WARN, kvlmsg::KVLMP0132W, KVL_ARG_INT, count, KVL_ARG_STRING,
           vars.fileName != nullptr ? vars.fileName : "", KVL_ARG_INT, vars.semTimeout);
}

}  // namespace

// Both file handlers: the file, its set and its lock, then every handler's
// properties.
constexpr kvl::PropertyTable kvl::kFileHandlerProperties = {kFileHandlerDefs,
                                                            &kvl::kHandlerProperties};

const KvlHandlerWriter kvl::kFileHandlerWriter = {prepareFile, writeFileText, writeFileBatch,
                                                  crashFile, nullptr};
const KvlHandlerWriter kvl::kMultiProcHandlerWriter = {
    prepareShared, writeSharedText, writeSharedBatch, crashShared, crashSharedEnd};

std::string kvl::activeFileName(KvlObject *handler) {
    const bool fileHandler = handler != nullptr && handler->klass != nullptr &&
                             (handler->klass->internals.writer == &kvl::kFileHandlerWriter ||
                              handler->klass->internals.writer == &kvl::kMultiProcHandlerWriter);
    const FileVars *vars = fileHandler ? varsOf(handler) : nullptr;
    return vars != nullptr && vars->fileName != nullptr ? vars->fileName : "";
}

std::string kvl::setMemberName(const std::string &active, int32_t number) {
    const size_t slash = active.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = active.rfind('.');
    const size_t end = dot != std::string::npos && dot >= start ? dot : active.size();
    return active.substr(0, end) + std::to_string(number) + active.substr(end);
}

std::string kvl::markedFileName(const std::string &name) {
    const int digit = kvlFHTrailingBaseDigit(name.c_str());
    if (digit < 0) return name;
    const size_t cut = static_cast<size_t>(digit) + 1;
    std::string marked(name, 0, cut);
    marked += '_';
    marked.append(name, cut, std::string::npos);
    return marked;
}

extern "C" {

void kvlSetBackupDropHookForTest(KvlBackupDropHook hook) noexcept { backupDropHook = hook; }

int kvlFHTrailingBaseDigit(const char *name) noexcept {
    if (name == nullptr) return -1;
    const std::string_view text = name;
    const size_t slash = text.rfind('/');
    const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    const size_t dot = text.rfind('.');
    const size_t end = dot == std::string_view::npos || dot < start ? text.size() : dot;
    if (end == start || CxIsLocalDigit(static_cast<unsigned char>(text[end - 1])) == 0) return -1;
    return static_cast<int>(end - 1);
}

void kvlGetNativePath(const char *name, char *out) noexcept {
    if (name == nullptr || out == nullptr) return;
    for (; *name != '\0'; ++name, ++out)
        *out = *name == '\\' ? '/' : *name;
    *out = '\0';
}

int kvlFHGetFileNameParts(const char *name, KvlObject *handler) noexcept {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr) return 0;
    kvl::replaceText(vars->directory, nullptr);
    kvl::replaceText(vars->baseName, nullptr);
    kvl::replaceText(vars->extension, nullptr);
    vars->baseNumber = 0;
    if (name == nullptr) {
        report(*vars, KVL_LEVEL_ERROR, kvlmsg::KVLBC0030E, KVL_ARG_STRING, "fileName");
        return 0;
    }
    if (std::strlen(name) > kNameLimit) {
        report(*vars, KVL_LEVEL_ERROR, kvlmsg::KVLBC0031E, KVL_ARG_STRING, "fileName", KVL_ARG_INT,
               static_cast<int>(kNameLimit));
        return 0;
    }
    char native[CX_FILE_NAME_SIZE];
    kvlGetNativePath(name, native);
    std::string text = native;
    const size_t slash = text.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = text.rfind('.');
    if (dot != std::string::npos && dot >= start) {
        kvl::replaceText(vars->extension, text.c_str() + dot + 1);
        text.resize(dot);
    }
    size_t digits = text.size();
    while (digits > start && CxIsLocalDigit(static_cast<unsigned char>(text[digits - 1])) != 0)
        --digits;
    if (digits < text.size()) {
        kvl::readNumber(text.c_str() + digits, vars->baseNumber);  // held at INT32_MAX
        text.resize(digits);
    }
    kvl::replaceText(vars->baseName, text.c_str() + start);
    if (slash != std::string::npos) {
        text.resize(slash);  // "/x": the root, written as "" before the separator
        kvl::replaceText(vars->directory, text.c_str());
        return 1;
    }
    char cwd[CX_FILE_NAME_SIZE];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        KvlReportPlatformErr(cxPlatformFail(errno));
        return 0;
    }
    kvl::replaceText(vars->directory, cwd);
    return 1;
}

int kvlSetFileNameParts(char **name, const char *directory, const char *base, int32_t number,
                        const char *extension) noexcept {
    if (name == nullptr || base == nullptr || directory == nullptr) return 0;
    const std::string built = memberName(directory, base, number, extension);
    if (built.empty()) {
        KvlReportPlatformErr(cxPlatformFail(ENAMETOOLONG));
        return 0;
    }
    *name = OxsStringDup(built.c_str());
    return *name != nullptr ? 1 : 0;
}

void kvlFileHandlerDoRollover(KvlObject *handler) noexcept {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr || vars->maxFiles < 2) return;
    bool done = shiftMember(*vars, vars->maxFiles - 1, -1);
    for (int32_t i = vars->maxFiles - 2; i >= 0; --i)
        done = shiftMember(*vars, i, i + 1) && done;
    if (done) cleared(*vars, kShifting);
}

void kvlFileHandlerCfgPerms(KvlObject *handler) noexcept {
    kvl::configure(handler, "filePermission", kvl::kFileHandlerProperties);
}

void kvlFileHandlerCfgDirPerms(KvlObject *handler) noexcept {
    kvl::configure(handler, "dirPermission", kvl::kFileHandlerProperties);
}

void *KvlFileHandlerFAllocVars(void) noexcept {
    auto *vars = new (std::nothrow) FileVars{};
    if (vars == nullptr) return nullptr;
    char cwd[CX_FILE_NAME_SIZE];
    if (getcwd(cwd, sizeof cwd) != nullptr) {
        vars->directory = OxsStringDup(cwd);
        vars->baseName = OxsStringDup("default");
        vars->extension = OxsStringDup("log");
        kvlSetFileNameParts(&vars->fileName, vars->directory, vars->baseName, 0, vars->extension);
    }
    return vars;
}

void KvlFileHandlerFFreeVars(void *record) noexcept {
    auto *vars = static_cast<FileVars *>(record);
    if (vars == nullptr) return;
    if (vars->isOpen == 1) closeDescriptor(*vars);
    OxsMemoryFree(vars->fileName);
    OxsMemoryFree(vars->directory);
    OxsMemoryFree(vars->baseName);
    OxsMemoryFree(vars->extension);
    if (vars->encoding != nullptr) zil_cs_free(vars->encoding);
    delete vars;
}

void KvlFileHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    kvl::configure(handler, name, kvl::kFileHandlerProperties);
}

KvlObject *KvlFileHandlerFOpen(KvlObject *handler) noexcept {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr || vars->fileName == nullptr) return handler;
    if (vars->isOpen == 1 && stillCurrent(handler, *vars)) return handler;
    makeDirectories(*vars);
    const int flags = O_CREAT | O_RDWR | (vars->appending == 1 ? O_APPEND : O_TRUNC);
    if (!openActive(*vars, flags)) return handler;
    if (rolloverDue(*vars)) {
        vars->isOpen = 1;
        KvlFileHandlerFClose(handler);
        kvlFileHandlerDoRollover(handler);
        if (!openActive(*vars, flags)) return handler;
    }
    vars->isOpen = 1;
    writeOwnedText(*vars, kvlIntlHandlerGetFmtHeader(handler));
    return handler;
}

KvlObject *KvlFileHandlerFProcess(KvlObject *handler, KvlEvent *event) noexcept {
    return kvl::handleEvent(handler, event);
}

KvlObject *KvlFileHandlerFClose(KvlObject *handler) noexcept {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen == 0) return handler;
    writeOwnedText(*vars, kvlIntlHandlerGetFmtTrailer(handler));
    closeDescriptor(*vars);
    return handler;
}

int kvlMultiProcFileHandlerInitSem(void *record) noexcept {
    auto *vars = static_cast<FileVars *>(record);
    if (vars == nullptr) return 0;
    if (vars->semReady == 1) return 1;
    const CxPlatformErr status = CxSemOpen(&vars->semaphore, vars->semKey);
    if (status.kind != CX_PLATFORM_ERR_OK) {
        KvlReportPlatformErr(status);
        return 0;
    }
    vars->semReady = 1;
    return 1;
}

// Waits at most "MPFileSemTimeout" milliseconds. A timeout is no error of
// the system: the caller counts what it drops and reports the count.
int kvlMultiProcFileHandlerLockSem(void *record) noexcept {
    auto *vars = static_cast<FileVars *>(record);
    const CxPlatformErr status = CxSemLockWithin(&vars->semaphore, vars->semTimeout);
    if (status.kind == CX_PLATFORM_ERR_OK) {
        cleared(*vars, kLocking);
        return 1;
    }
    if (status.code != ETIMEDOUT) reportOnce(*vars, kLocking, status);
    return 0;
}

void kvlMultiProcFileHandlerUnlockSem(void *record) noexcept {
    auto *vars = static_cast<FileVars *>(record);
    KvlReportPlatformErr(CxSemUnlock(&vars->semaphore));
}

void kvlMultiProcFileHandlerRollActiveLog(void *record) noexcept {
    if (auto *vars = static_cast<FileVars *>(record)) rollActiveLog(*vars);
}

// Backups shift inside the copy (between writing the temporary and renaming
// it onto file 1), so the whole rollover is this one step.
void kvlMultiProcFileHandlerDoRollover(void *record) noexcept {
    kvlMultiProcFileHandlerRollActiveLog(record);
}

KvlObject *KvlMultiProcFileHandlerFOpen(KvlObject *handler) noexcept {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr || vars->fileName == nullptr || vars->isOpen == 1) return handler;
    if (kvlMultiProcFileHandlerInitSem(vars) != 1) return handler;
    makeDirectories(*vars);
    openShared(*vars);
    return handler;
}

KvlObject *KvlMultiProcFileHandlerFProcess(KvlObject *handler, KvlEvent *event) noexcept {
    return kvl::handleEvent(handler, event);
}

KvlObject *KvlMultiProcFileHandlerFClose(KvlObject *handler) noexcept {
    FileVars *vars = varsOf(handler);
    if (vars == nullptr || vars->isOpen == 0) return handler;
    closeDescriptor(*vars);
    reportDropped(*vars);
    return handler;
}

}  // extern "C"
