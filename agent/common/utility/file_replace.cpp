// Whole-file replacement through a sibling file and a rename; see the header.

#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace slm {

bool writeAll(int fd, const void *data, size_t length) {
    const auto *p = static_cast<const char *>(data);
    while (length > 0) {
        const ssize_t written = ::write(fd, p, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        p += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

ssize_t readSome(int fd, void *buffer, size_t length) {
    ssize_t got;
    do
        got = ::read(fd, buffer, length);
    while (got < 0 && errno == EINTR);
    return got;
}

bool readWholeFile(const std::string &path, std::string &content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    content.clear();
    char block[8192];
    ssize_t got;
    while ((got = readSome(fd, block, sizeof block)) > 0)
        content.append(block, static_cast<size_t>(got));
    ::close(fd);
    return got == 0;
}

FileReplacement::FileReplacement(std::string path, std::string sibling)
    : target_(std::move(path)), sibling_(std::move(sibling)), named_(!sibling_.empty()) {
    if (!named_) {
        char resolved[PATH_MAX];
        if (realpath(target_.c_str(), resolved) != nullptr) target_ = resolved;
    }
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) ::close(fd_);
    if (!installed_ && (fd_ >= 0 || synced_)) ::unlink(sibling_.c_str());
}

bool FileReplacement::open() {
    if (named_) {
        fd_ = ::open(sibling_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    } else {
        sibling_ = target_ + ".XXXXXX";
        fd_ = mkostemp(sibling_.data(), O_CLOEXEC);
    }
    return fd_ >= 0;
}

bool FileReplacement::write(const void *data, size_t length) {
    return fd_ >= 0 && writeAll(fd_, data, length);
}

bool FileReplacement::sync() {
    if (fd_ < 0) return false;
    bool ok = true;
    struct stat original {};
    if (stat(target_.c_str(), &original) == 0) {
        ok = fchmod(fd_, original.st_mode & 07777) == 0;
        if (ok && geteuid() == 0) ok = fchown(fd_, original.st_uid, original.st_gid) == 0;
    }
    ok = ok && fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    synced_ = ok;
    if (!ok) ::unlink(sibling_.c_str());
    return ok;
}

bool FileReplacement::install() {
    if (!synced_) return false;
    installed_ = ::rename(sibling_.c_str(), target_.c_str()) == 0;
    return installed_;
}

bool replaceFile(const std::string &path, std::string_view content) {
    FileReplacement replacement(path);
    return replacement.open() && replacement.write(content) && replacement.commit();
}

}  // namespace slm
