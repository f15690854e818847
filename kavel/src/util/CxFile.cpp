// Files and file names.

#include "CxFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

CxPlatformErr fromErrno() { return cxPlatformFail(errno); }

// The name as the system gets it, or ENAMETOOLONG / EINVAL.
struct LocalName {
    char text[CX_FILE_NAME_SIZE];
    int error = 0;
    explicit LocalName(const char *name) {
        if (name == nullptr)
            error = EINVAL;
        else if (!CxFileNameLocalize(name, text, sizeof text))
            error = ENAMETOOLONG;
    }
};

CxPlatformErr openWith(CxFile *file, const char *name, int flags, int mode) {
    if (file == nullptr) return cxPlatformFail(EINVAL);
    const LocalName local(name);
    if (local.error != 0) {
        *file = -1;
        return cxPlatformFail(local.error);
    }
    *file = open(local.text, flags | O_CLOEXEC, mode);
    return *file < 0 ? fromErrno() : cxPlatformOk();
}

CxFileFlushHook flushHook = nullptr;

}  // namespace

extern "C" {

void cxSetFileFlushHookForTest(CxFileFlushHook hook) { flushHook = hook; }

int CxFileNameLocalize(const char *name, char *buffer, int size) {
    if (name == nullptr || buffer == nullptr || size <= 0) return 0;
    const size_t length = std::strlen(name);
    if (length >= static_cast<size_t>(size)) return 0;
    for (size_t i = 0; i <= length; ++i)
        buffer[i] = name[i] == '\\' ? '/' : name[i];
    return 1;
}

int CxFileNameGetNative(const char *name, char *buffer, int size) {
    return CxFileNameLocalize(name, buffer, size);
}

CxPlatformErr CxFileOpen(CxFile *file, const char *name, int flags) {
    return openWith(file, name, flags, 0600);
}

CxPlatformErr CxFileOpenMode(CxFile *file, const char *name, int flags, int mode) {
    return openWith(file, name, flags, mode);
}

CxPlatformErr CxFileOpenRegular(CxFile *file, const char *name, int flags, int mode) {
    const CxPlatformErr status = openWith(file, name, flags | O_NOFOLLOW | O_NONBLOCK, mode);
    if (status.kind != CX_PLATFORM_ERR_OK) return status;
    struct stat info {};
    if (fstat(*file, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
        close(*file);
        *file = -1;
        return cxPlatformFail(error);
    }
    // Regular files ignore O_NONBLOCK, but it is not left for later users.
    fcntl(*file, F_SETFL, fcntl(*file, F_GETFL) & ~O_NONBLOCK);
    return cxPlatformOk();
}

// ELOOP: a link; EINVAL: not a regular file; EISDIR and ENXIO: a directory
// or a FIFO the open itself turned down.
int CxFileRefused(CxPlatformErr status) {
    if (status.kind != CX_PLATFORM_ERR_PLATFORM) return 0;
    const int code = status.code;
    return code == ELOOP || code == EINVAL || code == EISDIR || code == ENXIO ? 1 : 0;
}

CxPlatformErr CxFileRead(CxFile *file, void *buffer, size_t size, int32_t *count) {
    if (file == nullptr || buffer == nullptr || count == nullptr) return cxPlatformFail(EINVAL);
    ssize_t got;
    do
        got = read(*file, buffer, size > INT32_MAX ? INT32_MAX : size);
    while (got < 0 && errno == EINTR);
    *count = static_cast<int32_t>(got);
    return got < 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileWrite(CxFile *file, const void *data, size_t size, int32_t *count) {
    if (file == nullptr || data == nullptr || count == nullptr) return cxPlatformFail(EINVAL);
    ssize_t written;
    do
        written = write(*file, data, size > INT32_MAX ? INT32_MAX : size);
    while (written < 0 && errno == EINTR);
    *count = static_cast<int32_t>(written);
    return written < 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileWriteAll(CxFile *file, const void *data, size_t size, size_t *done) {
    size_t written = 0;
    CxPlatformErr status = cxPlatformOk();
    while (written < size) {
        int32_t count = 0;
        status =
            CxFileWrite(file, static_cast<const char *>(data) + written, size - written, &count);
        if (status.kind != CX_PLATFORM_ERR_OK) break;
        if (count <= 0) {
            status = cxPlatformFail(EIO);
            break;
        }
        written += static_cast<size_t>(count);
    }
    if (done != nullptr) *done = written;
    return status;
}

CxPlatformErr CxFileWriteAllV(CxFile *file, struct iovec *pieces, int count, size_t *done) {
    if (file == nullptr || (pieces == nullptr && count > 0)) return cxPlatformFail(EINVAL);
    size_t written = 0;
    CxPlatformErr status = cxPlatformOk();
    for (;;) {
        while (count > 0 && pieces->iov_len == 0) {
            ++pieces;
            --count;
        }
        if (count == 0) break;
        const ssize_t n = writev(*file, pieces, count < IOV_MAX ? count : IOV_MAX);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            status = n < 0 ? fromErrno() : cxPlatformFail(EIO);
            break;
        }
        written += static_cast<size_t>(n);
        // Past what the write took: whole pieces, then part of the next.
        size_t left = static_cast<size_t>(n);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char *>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    if (done != nullptr) *done = written;
    return status;
}

CxPlatformErr CxFileSeek(CxFile *file, int64_t offset, int whence) {
    if (file == nullptr) return cxPlatformFail(EINVAL);
    return lseek(*file, offset, whence) < 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileTrunc(CxFile *file) {
    if (file == nullptr) return cxPlatformFail(EINVAL);
    CxPlatformErr result = cxPlatformOk();
    if (lseek(*file, 0, SEEK_SET) < 0) result = fromErrno();
    if (ftruncate(*file, 0) != 0) result = fromErrno();
    struct stat info {};
    if (fstat(*file, &info) != 0)
        result = fromErrno();
    else if (info.st_size != 0)
        result = cxPlatformFail(EINVAL);
    return result;
}

CxPlatformErr CxFileGetSize(CxFile *file, uint64_t *size) {
    if (file == nullptr || size == nullptr) return cxPlatformFail(EINVAL);
    struct stat info {};
    if (fstat(*file, &info) != 0) return fromErrno();
    *size = static_cast<uint64_t>(info.st_size);
    return cxPlatformOk();
}

CxPlatformErr CxFileFlush(CxFile *file) {
    if (file == nullptr) return cxPlatformFail(EINVAL);
    if (flushHook != nullptr) flushHook(*file);
    return fsync(*file) != 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileClose(CxFile *file) {
    if (file == nullptr) return cxPlatformFail(EINVAL);
    const int fd = *file;
    *file = -1;
    return close(fd) != 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileNameGetSize(const char *name, uint64_t *size) {
    if (name == nullptr || size == nullptr) return cxPlatformFail(EINVAL);
    struct stat info {};
    if (stat(name, &info) != 0) return fromErrno();
    *size = static_cast<uint64_t>(info.st_size);
    return cxPlatformOk();
}

CxPlatformErr CxFileNameRemove(const char *name) {
    const LocalName local(name);
    if (local.error != 0) return cxPlatformFail(local.error);
    return std::remove(local.text) != 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileNameRename(const char *oldName, const char *newName) {
    const LocalName from(oldName), to(newName);
    if (from.error != 0) return cxPlatformFail(from.error);
    if (to.error != 0) return cxPlatformFail(to.error);
    return std::rename(from.text, to.text) != 0 ? fromErrno() : cxPlatformOk();
}

CxPlatformErr CxFileNameGetInfo(CxFileInfo *info, const char *name) {
    if (info == nullptr || name == nullptr || *name == '\0') return cxPlatformFail(EINVAL);
    const LocalName local(name);
    if (local.error != 0) return cxPlatformFail(local.error);
    struct stat status {};
    if (stat(local.text, &status) != 0) return fromErrno();
    info->size = static_cast<uint64_t>(status.st_size);
    info->ctime = status.st_ctime;
    info->mtime = status.st_mtime;
    info->atime = status.st_atime;
    return cxPlatformOk();
}

}  // extern "C"
