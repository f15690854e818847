// Paths and directory trees.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "CxFile.h"

namespace {

int statusError(const CxFilePath *path, struct stat &info) {
    if (path == nullptr || path->length <= 0) return EINVAL;
    return stat(path->path, &info) == 0 ? 0 : errno;
}

}  // namespace

extern "C" {

int CxInitFilePath(CxFilePath *path, const char *text) {
    if (path == nullptr) return 0;
    path->length = path->last_sep = -1;
    if (text == nullptr || !CxFileNameLocalize(text, path->path, sizeof path->path)) {
        path->path[0] = '\0';
        return 0;
    }
    path->length = static_cast<int32_t>(std::strlen(path->path));
    const char *last = std::strrchr(path->path, '/');
    path->last_sep = last != nullptr ? static_cast<int32_t>(last - path->path) : -1;
    return 1;
}

int CxFilePathIsDir(const CxFilePath *path) {
    struct stat info {};
    const int error = statusError(path, info);
    if (error != 0) return error;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

int CxFilePathExists(const CxFilePath *path) {
    struct stat info {};
    return statusError(path, info);
}

int CxFilePathParent(const CxFilePath *path, CxFilePath *parent) {
    if (path == nullptr || parent == nullptr || path->length < 0 || path->last_sep < 0) return 0;
    std::memcpy(parent->path, path->path, static_cast<size_t>(path->last_sep));
    parent->path[path->last_sep] = '\0';
    parent->length = path->last_sep;
    parent->last_sep = -1;
    for (int32_t i = parent->length - 1; i >= 0; --i) {
        if (parent->path[i] == '/') {
            parent->last_sep = i;
            break;
        }
    }
    return 1;
}

int CxFilePathMkdirs(const CxFilePath *path, int mode) {
    const int state = CxFilePathIsDir(path);
    if (state != ENOENT) return state;
    CxFilePath parent;
    if (CxFilePathParent(path, &parent) && parent.length > 0) {
        const int parentState = CxFilePathMkdirs(&parent, mode);
        if (parentState != 0) return parentState;
    }
    const int made = mkdir(path->path, 0777) == 0 ? 0 : errno;
    chmod(path->path, static_cast<mode_t>(mode));  // whatever mkdir did: the mask must not apply
    return made == 0 || made == EEXIST ? 0 : made;
}

}  // extern "C"
