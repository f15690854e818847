// The agent's file utilities.
//
// Every write is checked and completed (short writes are resumed); a file
// that is replaced is written in full under another name, synced, and
// renamed over the original.

#include "slm_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "agent_trace.h"
#include "file_replace.h"
#include "os_utils.h"
#include "zil.h"

namespace {

using slm::readSome;
using slm::writeAll;

constexpr size_t kBlock = 2048;
int32_t usageLinesThreshold = 400;

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The text in the agent's default codeset as UTF-8; false when nothing converts.
bool toUtf8(const char *text, char *out, size_t size) {
    if (size == 0) return false;
    const int n = zil_to_utf8(default_codeset, text, -1, out,
                              static_cast<int>(std::min<size_t>(size, INT32_MAX)), nullptr);
    return n > 1;
}

// Lists `directory`, calling visit(fullPath, isDirectory, isRegular) for every
// entry but "." and "..": 0, or -1 when the directory cannot be read.
template <class Visit>
int forEachEntry(const char *directory, Visit visit, bool &opened) {
    DIR *dir = opendir(directory);
    opened = dir != nullptr;
    if (dir == nullptr) return -1;
    int result = 0;
    errno = 0;
    while (const dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const std::string full = std::string(directory) + "/" + entry->d_name;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {  // the file system does not say: ask, without following links
            struct stat info {};
            if (lstat(full.c_str(), &info) != 0) {
                result = -1;
                break;
            }
            type = S_ISDIR(info.st_mode)   ? DT_DIR
                   : S_ISREG(info.st_mode) ? DT_REG
                   : S_ISLNK(info.st_mode) ? DT_LNK
                                           : DT_UNKNOWN;
        }
        if (!visit(full, type)) {
            result = -1;
            break;
        }
        errno = 0;
    }
    if (errno != 0) result = -1;
    closedir(dir);
    return result;
}

bool appendPath(slm_list *list, const std::string &path) {
    if (path.size() >= SLM_PATH_SIZE) return false;
    char value[SLM_PATH_SIZE] = {};
    std::memcpy(value, path.c_str(), path.size());
    return append(list, value) == 0;
}

}  // namespace

std::pair<std::string, std::string> slmSplitPath(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

extern "C" {

int slm_chmod(const char *path, mode_t mode) {
    if (path == nullptr) return -1;
    const int fd = open(path, O_RDONLY | O_CREAT | O_CLOEXEC, 0400);
    if (fd < 0) {
        TRACE_MIN(TRACE_SYSTEM, "slm_chmod: failure opening file %s - errno: %d", path, errno);
        return -1;
    }
    const int rc = fchmod(fd, mode);
    const int error = errno;
    close(fd);
    if (rc != 0) {
        TRACE_MIN(TRACE_SYSTEM,
                  "slm_chmod: failure changing file permissions on file %s - errno: %d", path,
                  error);
        return -1;
    }
    return 0;
}

int slm_fcopy(const char *from, const char *to, int overwrite) {
    if (from == nullptr || to == nullptr) return 1;
    struct stat source {};
    if (stat(from, &source) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "error stat-ing file %s (%d)", from, errno);
        return 1;
    }
    struct stat target {};
    if (overwrite && stat(to, &target) == 0 && sameFile(source, target)) return 0;  // onto itself
    const int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        TRACE_MIN(TRACE_SYSTEM, "error opening file %s (%d)", from, errno);
        return 2;
    }
    const int out = overwrite ? open(to, O_WRONLY | O_CREAT | O_CLOEXEC, 0600)
                              : open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        TRACE_MIN(TRACE_SYSTEM, "error opening file %s (%d)", to, errno);
        close(in);
        return overwrite ? 2 : 3;
    }
    int result = 0;
    off_t copied = 0;
    char block[kBlock];
    for (;;) {
        const ssize_t got = readSome(in, block, sizeof block);
        if (got < 0) {
            TRACE_MIN(TRACE_SYSTEM, "error reading file %s (%d)", from, errno);
            result = 4;
            break;
        }
        if (got == 0) break;
        if (!writeAll(out, block, static_cast<size_t>(got))) {
            TRACE_MIN(TRACE_SYSTEM, "error writing file %s (%d)", to, errno);
            result = 5;
            break;
        }
        copied += got;
    }
    // An older, longer destination is cut back to what was copied.
    if (result == 0 && ftruncate(out, copied) != 0) result = 5;
    if (close(out) != 0 && result == 0) result = 5;
    close(in);
    if (result == 0 && chmod(to, source.st_mode & 07777) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "error executing chmod on file %s (%d)", to, errno);
        result = 6;
    }
    return result;
}

int stringReplaceInFile(const char *path, const char *oldText, const char *newText) {
    if (path == nullptr || oldText == nullptr || newText == nullptr) return 2;
    const std::string original = path;
    // The sibling replaces the last three characters with "new"; a path that
    // already ends so would be its own sibling.
    if (original.size() < 3 || original.compare(original.size() - 3, 3, "new") == 0) return 3;
    const std::string sibling = original.substr(0, original.size() - 3) + "new";
    struct stat info {};
    if (stat(path, &info) != 0) return 1;
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) return 2;
    slm::FileReplacement out(original, sibling);
    if (!out.open()) {
        close(in);
        return 3;
    }
    const std::string_view from(oldText), to(newText);
    int result = 0;
    char block[kBlock];
    for (;;) {
        const ssize_t got = readSome(in, block, sizeof block);
        if (got < 0) {
            result = 4;
            break;
        }
        if (got == 0) break;
        std::string text(block, static_cast<size_t>(got));
        const size_t at = from.empty() ? std::string::npos : text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
        if (!out.write(text)) {
            result = 5;
            break;
        }
    }
    close(in);
    if (result != 0) return result;
    if (!out.sync()) return 6;
    return out.install() ? 0 : 9;
}

int slm_fremove(const char *path) {
    if (path == nullptr) return -3;
    chmod(path, 0700);
    return std::remove(path) == 0 ? 0 : -3;
}

int slm_frename(const char *oldPath, const char *newPath) {
    if (oldPath == nullptr || newPath == nullptr) return -3;
    if (rename(oldPath, newPath) != 0) return -3;  // over the target: never removed first
    chmod(newPath, 0777);
    return 0;
}

int slm_fopen(slm_file_state *state) {
    if (state == nullptr || state->path == nullptr) return -3;
    if (state->mode == 0) {
        state->fd = open(state->path, O_RDWR | O_CLOEXEC);
        if (state->fd < 0) return errno == ENOENT ? -15 : errno;
    } else if (state->mode == 2) {
        unlink(state->path);
        state->fd = open(state->path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0777);
        if (state->fd < 0) return -3;
    } else {
        return -3;
    }
    fchmod(state->fd, 0777);
    return 0;
}

long slm_fread(slm_file_state *state, void *buffer, size_t length) {
    if (state == nullptr || buffer == nullptr) return -3;
    const ssize_t got = readSome(state->fd, buffer, length);
    if (got < 0) return -3;
    return got == 0 ? -6 : static_cast<long>(got);
}

long slm_fwrite(slm_file_state *state, const void *buffer, size_t length) {
    if (state == nullptr || buffer == nullptr) return -3;
    if (!writeAll(state->fd, buffer, length)) return -3;
    state->bytesWritten += static_cast<int64_t>(length);
    return static_cast<long>(length);
}

int slm_fclose(slm_file_state *state) {
    if (state == nullptr) return -3;
    const int rc = state->fd >= 0 ? close(state->fd) : 0;
    state->fd = -1;
    return rc == 0 ? 0 : -3;
}

slm_file_stream *newFileStream(const char *path, size_t pathLength, int mode) {
    if (path == nullptr) return nullptr;
    auto *stream = static_cast<slm_file_stream *>(std::calloc(1, sizeof(slm_file_stream)));
    auto *state = static_cast<slm_file_state *>(std::calloc(1, sizeof(slm_file_state)));
    char *copy = static_cast<char *>(std::malloc(pathLength + 1));
    if (stream == nullptr || state == nullptr || copy == nullptr) {
        std::free(stream);
        std::free(state);
        std::free(copy);
        return nullptr;
    }
    std::memcpy(copy, path, pathLength);
    copy[pathLength] = '\0';
    state->path = copy;
    state->mode = mode;
    state->fd = -1;
    *stream = slm_file_stream{state, slm_fopen, slm_fread, slm_fwrite, slm_fclose, closeFileStream};
    return stream;
}

void closeFileStream(slm_file_stream *stream) {
    if (stream == nullptr) return;
    if (stream->state != nullptr) std::free(stream->state->path);
    std::free(stream->state);
    std::free(stream);
}

void setUsageFileLinesThreshold(int32_t lines) { usageLinesThreshold = lines; }

int getFileStream(slm_usage_file *usage, slm_file_stream **streamOut, int lines) {
    if (usage == nullptr || streamOut == nullptr) return -3;
    *streamOut = nullptr;
    if (usage->setBytes + SLM_USAGE_HEADROOM > SLM_USAGE_SET_LIMIT) return 7;
    const bool fits = usage->currentBytes + SLM_USAGE_HEADROOM < SLM_USAGE_FILE_LIMIT + 1 &&
                      usage->lines + lines <= usageLinesThreshold;
    if (!fits) {
        // The next file is opened before the current one is closed, and the
        // set's total changes only once the rollover is complete: a rollover
        // that fails leaves the record as it was, ready to be tried again.
        const std::string current = usage->path;
        if (current.size() < 9) return -3;  // no place for the "_"
        std::string next =
            current.substr(0, current.size() - 9) + "_" + current.substr(current.size() - 9);
        if (next.size() > 255) next.resize(255);
        const int fd = open(next.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return -3;
        if (!writeAll(usage->fd, "END\r\n", 5)) {
            close(fd);
            return -3;
        }
        close(usage->fd);
        usage->setBytes += usage->currentBytes;
        usage->fd = fd;
        std::memcpy(usage->path, next.c_str(), next.size() + 1);
        usage->currentBytes = 0;
        usage->lines = 0;
    }
    slm_file_stream *stream = newFileStream(usage->path, std::strlen(usage->path), 2);
    if (stream == nullptr) return -3;
    stream->state->fd = usage->fd;
    stream->state->bytesWritten = usage->currentBytes;
    usage->lines += lines;
    *streamOut = stream;
    return 0;
}

size_t slm_get_page_size(void) { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

size_t slm_page_off(uint64_t value) { return static_cast<size_t>(value % slm_get_page_size()); }

uint64_t slm_page_align(uint64_t value, int down) {
    const uint64_t page = slm_get_page_size();
    const uint64_t below = value - value % page;
    return down || below == value ? below : below + page;
}

uint64_t slm_get_file_size(const char *path) {
    struct stat info {};
    return path != nullptr && stat(path, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

void *slm_file_mmap(const char *path, uint64_t offset, size_t length, int align, int writable,
                    slm_mmap_handle **handleOut) {
    if (path == nullptr || handleOut == nullptr || length == 0) return MAP_FAILED;
    uint64_t start = offset;
    size_t span = length;
    if (align == 1) {
        start = slm_page_align(offset, 1);
        span = static_cast<size_t>(slm_page_align(offset + length - start, 0));
    }
    const int fd = open(path, (writable ? O_RDWR : O_RDONLY) | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) return MAP_FAILED;
    void *address = mmap(nullptr, span, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
                         fd, static_cast<off_t>(start));
    auto *handle = static_cast<slm_mmap_handle *>(std::malloc(sizeof(slm_mmap_handle)));
    if (address == MAP_FAILED || handle == nullptr) {
        if (address != MAP_FAILED) munmap(address, span);
        std::free(handle);
        close(fd);
        return MAP_FAILED;
    }
    *handle = slm_mmap_handle{address, span, fd};
    *handleOut = handle;
    return address;
}

int slm_file_munmap(slm_mmap_handle *handle) {
    if (handle == nullptr) return -1;
    const int unmapped = handle->address != nullptr ? munmap(handle->address, handle->length) : 0;
    const int closed = handle->fd >= 0 ? close(handle->fd) : 0;
    std::free(handle);
    return unmapped == 0 && closed == 0 ? 0 : -1;
}

void *slm_grow_mapped_file(const char *path, size_t extra, slm_mmap_handle *handle) {
    if (path == nullptr || handle == nullptr) return MAP_FAILED;
    struct stat info {};
    const bool grown = fstat(handle->fd, &info) == 0 &&
                       ftruncate(handle->fd, info.st_size + static_cast<off_t>(extra)) == 0;
    const size_t size = static_cast<size_t>(info.st_size) + extra;
    if (grown && size <= handle->length) return handle->address;
    munmap(handle->address, handle->length);
    handle->address = nullptr;
    handle->length = 0;
    if (!grown) return MAP_FAILED;
    const size_t span = static_cast<size_t>(slm_page_align(size, 0));
    void *address = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_SHARED, handle->fd, 0);
    if (address == MAP_FAILED) return MAP_FAILED;
    handle->address = address;
    handle->length = span;
    return address;
}

int getSubDirectories(slm_list *list, const char *directory) {
    if (list == nullptr || directory == nullptr) return -1;
    int count = 0;
    bool opened = false;
    const int rc = forEachEntry(
        directory,
        [&](const std::string &path, unsigned char type) {
            if (type != DT_DIR) return true;
            ++count;
            return appendPath(list, path);
        },
        opened);
    if (!opened) return 0;
    return rc == 0 ? count : -1;
}

int getFiles(slm_list *list, const char *directory, const char *suffix) {
    if (list == nullptr || directory == nullptr) return -1;
    const std::string_view ending = suffix != nullptr ? suffix : "";
    int count = 0;
    bool opened = false;
    const int rc = forEachEntry(
        directory,
        [&](const std::string &path, unsigned char type) {
            if (type != DT_REG || path.size() < ending.size() ||
                path.compare(path.size() - ending.size(), ending.size(), ending) != 0)
                return true;
            ++count;
            return appendPath(list, path);
        },
        opened);
    if (!opened) return 0;
    return rc == 0 ? count : -1;
}

int getDirectorySize(const char *directory, uint64_t *total) {
    if (directory == nullptr || total == nullptr) return -1;
    bool opened = false;
    const int rc = forEachEntry(
        directory,
        [&](const std::string &path, unsigned char type) {
            struct stat info {};
            if (lstat(path.c_str(), &info) != 0) return false;
            *total += static_cast<uint64_t>(info.st_blocks) / 2;  // 512-byte blocks in KiB
            return type != DT_DIR || getDirectorySize(path.c_str(), total) == 0;
        },
        opened);
    return rc;
}

int slm_mkdir(const char *path) {
    if (path == nullptr || *path == '\0') return 1;
    struct stat info {};
    if (stat(path, &info) == 0) return S_ISDIR(info.st_mode) ? 0 : 1;
    std::string parent = path;
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    const size_t slash = parent.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        parent.resize(slash);
        if (slm_mkdir(parent.c_str()) != 0) return 1;
    }
    if (mkdir(path, 0700) == 0) return 0;
    return errno == EEXIST && stat(path, &info) == 0 && S_ISDIR(info.st_mode) ? 0 : 1;
}

int slm_rmdir(const char *path) {
    if (path == nullptr) return 1;
    if (rmdir(path) == 0) return 0;
    if (errno != ENOTEMPTY && errno != EEXIST) return 1;
    bool opened = false;
    const int rc = forEachEntry(
        path,
        [](const std::string &entry, unsigned char type) {
            return type == DT_DIR ? slm_rmdir(entry.c_str()) == 0 : unlink(entry.c_str()) == 0;
        },
        opened);
    return rc == 0 && rmdir(path) == 0 ? 0 : 1;
}

int slm_ke_fill_file_info(const char *path, slm_file_info *info, char *directory, size_t size) {
    if (path == nullptr || info == nullptr) return -1;
    struct stat status {};
    if (stat(path, &status) != 0 || S_ISDIR(status.st_mode)) return -1;
    info->size = static_cast<uint64_t>(status.st_size);
    info->mtime = status.st_mtime;
    const auto [dir, base] = slmSplitPath(path);
    if (directory != nullptr && !toUtf8(dir.c_str(), directory, size) && !dir.empty()) {
        TRACE_MIN(TRACE_LICENSE, "executable path conversion to UTF8 failed");
        return -1;
    }
    if (!toUtf8(base.c_str(), info->name, sizeof info->name)) {
        TRACE_MIN(TRACE_LICENSE, "executable name conversion to UTF8 failed");
        return -1;
    }
    return 0;
}

int isFileOnDisk(int known, const char *directory, const char *name) {
    if (known) return 1;
    if (directory == nullptr || name == nullptr) return 0;
    char *localDir = zil_u2s(default_codeset, directory, nullptr);
    char *localName = zil_u2s(default_codeset, name, nullptr);
    int result = 1;  // no memory: taken as present
    if (localDir != nullptr && localName != nullptr) {
        const std::string full = std::string(localDir) + "/" + localName;
        struct stat info {};
        result = stat(full.c_str(), &info) == 0 ? 1 : 0;
    }
    zil_free(localDir);
    zil_free(localName);
    return result;
}

int slm_get_file_record_info(void) { return -1; }

}  // extern "C"
