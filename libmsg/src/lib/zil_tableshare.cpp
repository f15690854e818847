// Table images shared by every handle opened on the same file; see the
// header for why.
#include "zil_tableshare.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "zil_table.h"

namespace zil {
namespace {

struct FileIdentity {
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;

    bool operator==(const FileIdentity &other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

struct SharedImage {
    FileIdentity file;
    unsigned char *image;
    uint32_t size;
    size_t references;
};

// Few distinct tables are open at once, so a list searched in order will do.
std::mutex registryLock;
std::vector<SharedImage> registry;

bool readAt(int fd, unsigned char *buffer, size_t length, off_t offset) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got =
            pread(fd, buffer + done, length - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Checks the table file of `fileSize` bytes, mapped rather than read, and
// copies only the bytes its layout reaches into the image, followed by the
// data derived from them; `size` becomes the table's size. Null when the
// file is not a sound table.
unsigned char *loadImage(int fd, size_t fileSize, uint32_t &size) {
    void *mapped = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto *file = static_cast<const unsigned char *>(mapped);
    const size_t extent = zilTableExtent(file, fileSize);
    const uint16_t kind = extent != 0 ? tableKind(file) : 0;
    const size_t derived = derivedSize(kind);
    unsigned char *image = nullptr;
    if (extent != 0 && extent <= UINT32_MAX)
        image = static_cast<unsigned char *>(
            std::malloc(derived == 0 ? extent : derivedOffset(extent) + derived));
    if (image != nullptr) {
        std::memcpy(image, file, extent);
        if (derived != 0) buildDerived(kind, image, extent);
        size = static_cast<uint32_t>(extent);
    }
    munmap(mapped, fileSize);
    return image;
}

SharedImage *findByImage(const unsigned char *image) {
    for (SharedImage &entry : registry)
        if (entry.image == image) return &entry;
    return nullptr;
}

}  // namespace

const unsigned char *acquireTable(int fd, const struct stat &info, uint32_t &size,
                                  std::string &alias, size_t aliasLimit) {
    alias.clear();
    const FileIdentity file{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
    std::lock_guard<std::mutex> hold(registryLock);
    for (SharedImage &entry : registry) {
        if (entry.file == file) {
            ++entry.references;
            size = entry.size;
            return entry.image;
        }
    }
    const auto fileSize = static_cast<size_t>(info.st_size);
    unsigned char head[kMagicOffset + sizeof kMagic];
    const bool table = fileSize >= kMinTableSize && readAt(fd, head, sizeof head, 0) &&
                       std::memcmp(head + kMagicOffset, kMagic, sizeof kMagic) == 0;
    if (!table) {
        alias.resize(std::min(fileSize, aliasLimit));
        if (!readAt(fd, reinterpret_cast<unsigned char *>(alias.data()), alias.size(), 0))
            alias.clear();
        return nullptr;
    }
    uint32_t imageSize = 0;
    unsigned char *image = loadImage(fd, fileSize, imageSize);
    if (image == nullptr) return nullptr;
    try {
        registry.push_back({file, image, imageSize, 1});
    } catch (const std::bad_alloc &) {
        std::free(image);
        return nullptr;
    }
    size = imageSize;
    return image;
}

void retainTable(const unsigned char *image) {
    std::lock_guard<std::mutex> hold(registryLock);
    if (SharedImage *entry = findByImage(image)) ++entry->references;
}

void releaseTable(const unsigned char *image) {
    std::lock_guard<std::mutex> hold(registryLock);
    SharedImage *entry = findByImage(image);
    if (entry == nullptr || --entry->references > 0) return;
    std::free(entry->image);
    *entry = registry.back();
    registry.pop_back();
}

}  // namespace zil
