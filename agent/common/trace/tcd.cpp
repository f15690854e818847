// The common log directory.
//
// Nothing here is traced: this runs before tracing exists. The record is
// replaced through a temporary file and a rename, so a reader never sees a
// half-written record.

#include "tcd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "file_replace.h"
#include "slm_conf.h"
#include "slm_file.h"
#include "slm_paths.h"

namespace {

constexpr const char *kKey = "zemlor_common_dir";
constexpr size_t kKeyLength = 17;

// The usable directory of one record line, or "" when it has none.
bool directoryOf(const std::string &line, std::string &directory) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    directory = trimmedText(line.substr(equals + 1));
    return !directory.empty() && directory.size() < ZEMLOR_COMMON_DIR_SIZE;
}

enum class RecordState { Usable, Missing, Rewritable, Foreign };

// Reads the record: its directory when usable, else whether it may be
// written anew. The first line for the key decides whether the record is
// usable; whether an unusable record is ours to rewrite depends on every
// line, since another product's line may follow ours.
RecordState readRecord(const std::string &record, std::string &directory) {
    struct stat info {};
    if (stat(record.c_str(), &info) != 0)
        return errno == ENOENT ? RecordState::Missing : RecordState::Foreign;
    std::ifstream in(record);
    if (!in) return RecordState::Foreign;
    bool onlyOurs = true, keySeen = false;
    for (std::string line; std::getline(in, line);) {
        const std::string text = trimmedText(line);
        if (text.empty()) continue;
        if (text.compare(0, kKeyLength, kKey) != 0) {
            onlyOurs = false;
            continue;
        }
        if (!keySeen && directoryOf(text, directory)) return RecordState::Usable;
        keySeen = true;
    }
    return !in.bad() && onlyOurs ? RecordState::Rewritable : RecordState::Foreign;
}

int platformStatvfs(const char *path, struct statvfs *info) { return statvfs(path, info); }

bool directoryExists(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int openLogPropFileAt(const std::string &record, char *buffer) {
    if (buffer == nullptr) return 5;
    std::memset(buffer, 0, ZEMLOR_COMMON_DIR_SIZE);
    std::string directory;
    if (readRecord(record, directory) != RecordState::Usable) return 5;
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    return 0;
}

int createLogPropFileAt(const std::string &record, char *buffer) {
    if (buffer == nullptr) return 5;
    std::string folder = record.substr(0, record.rfind('/'));
    if (!directoryExists(folder) && mkdir_p(folder.data(), 0771) == 2) return 5;
    if (!slm::replaceFile(record, std::string(kKey) + "=" + ZEMLOR_DEFAULT_COMMON_DIR)) return 5;
    std::strcpy(buffer, ZEMLOR_DEFAULT_COMMON_DIR);
    return slm_chmod(record.c_str(), 0700) == 0 ? 0 : 5;
}

int checkCommonSpaceWith(const char *directory, TcdSpaceQuery query) {
    if (directory == nullptr) return 6;
    struct statvfs info {};
    if (query(directory, &info) != 0) return 6;
    const unsigned long long unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    const unsigned long long free = static_cast<unsigned long long>(info.f_bfree) * unit;
    return free < ZEMLOR_MIN_FREE_BYTES ? 6 : 0;
}

int zemlorCommonDirAt(const std::string &record, char *buffer, TcdSpaceQuery query) {
    if (buffer == nullptr) return 5;
    std::string directory;
    const RecordState state = readRecord(record, directory);
    if (state == RecordState::Usable) {
        // The directory of this one reading: the record may change meanwhile.
        std::memset(buffer, 0, ZEMLOR_COMMON_DIR_SIZE);
        std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    } else if (state == RecordState::Foreign) {
        return 5;
    } else if (createLogPropFileAt(record, buffer) != 0) {
        return 5;
    }
    if (CreateCommonDirs(buffer) != 0) return 2;
    return checkCommonSpaceWith(buffer, query);
}

extern "C" {

int ZemlorCommonDir(char *buffer) {
    return zemlorCommonDirAt(SLM_COMMON_LOG_RECORD, buffer, platformStatvfs);
}
int OpenLogPropFile(char *buffer) { return openLogPropFileAt(SLM_COMMON_LOG_RECORD, buffer); }
int CreateLogPropFile(char *buffer) { return createLogPropFileAt(SLM_COMMON_LOG_RECORD, buffer); }
int CheckCommonSpace(const char *directory) {
    return checkCommonSpaceWith(directory, platformStatvfs);
}

int CreateCommonDirs(const char *directory) {
    if (directory == nullptr) return 2;
    const std::string base = directory;
    for (const char *sub : {"/QAG/logs/agent/trace", "/QAG/logs/agent/message",
                            "/QAG/logs/install/trace", "/QAG/ffdc/agent", "/QAG/scripts/agent"}) {
        std::string path = base + sub;
        if (!directoryExists(path) && mkdir_p(path.data(), 0771) == 2) return 2;
    }
    return 0;
}

int mkdir_p(char *path, mode_t mode) {
    if (path == nullptr || *path == '\0') return 2;
    const auto existing = [path] {
        struct stat info {};
        return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
    };
    if (mkdir(path, mode) == 0) return chmod(path, mode) == 0 ? 3 : 2;
    if (errno == EEXIST) return existing() ? 4 : 2;
    if (errno != ENOENT) return 2;
    size_t length = std::strlen(path);
    while (length > 1 && path[length - 1] == '/')
        path[--length] = '\0';
    const char *slash = std::strrchr(path, '/');
    if (slash == nullptr) return 2;
    std::string parent(path, static_cast<size_t>(slash - path));
    // A parent made meanwhile by another process will do, and "/" exists.
    if (!parent.empty() && mkdir_p(parent.data(), mode) == 2) return 2;
    if (mkdir(path, mode) == 0) return chmod(path, mode) == 0 ? 3 : 2;
    return errno == EEXIST && existing() ? 4 : 2;
}

void setMaxUsageLines(int count) { setUsageFileLinesThreshold(count); }

}  // extern "C"
