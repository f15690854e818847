// Directory listings.

#include <cerrno>
#include <cstring>

#include "CxFile.h"

extern "C" {

CxPlatformErr CxDirectoryOpen(CxDirectory *directory, const char *path) {
    if (directory == nullptr || path == nullptr) return cxPlatformFail(EINVAL);
    CxFilePath checked;
    if (!CxInitFilePath(&checked, path) || CxFilePathIsDir(&checked) != 0)
        return cxPlatformFail(EINVAL);
    *directory = opendir(checked.path);  // glibc opens it close-on-exec
    return *directory == nullptr ? cxPlatformFail(errno) : cxPlatformOk();
}

CxPlatformErr CxDirectoryGetNext(CxDirectory *directory, char *buffer, int size) {
    if (directory == nullptr || *directory == nullptr || buffer == nullptr || size <= 0)
        return cxPlatformFail(EINVAL);
    buffer[0] = '\0';
    errno = 0;
    const dirent *entry = readdir(*directory);
    if (entry == nullptr) return errno != 0 ? cxPlatformFail(errno) : cxPlatformOk();
    const size_t length = std::strlen(entry->d_name);
    if (length >= static_cast<size_t>(size)) return cxPlatformFail(ENAMETOOLONG);
    std::memcpy(buffer, entry->d_name, length + 1);
    return cxPlatformOk();
}

CxPlatformErr CxDirectoryClose(CxDirectory *directory) {
    if (directory == nullptr || *directory == nullptr) return cxPlatformFail(EINVAL);
    DIR *stream = *directory;
    *directory = nullptr;
    return closedir(stream) != 0 ? cxPlatformFail(errno) : cxPlatformOk();
}

}  // extern "C"
