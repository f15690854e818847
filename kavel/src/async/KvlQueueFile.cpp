// The asynchronous handler's queue file (see KvlQueueFile.h for the
// layout and the rules of the two positions).

#include "KvlQueueFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <utility>

#include "CxFile.h"
#include "KvlClasses.h"

namespace kvl::queue {

namespace {

// CRC-32 eight bytes at a time ("slicing by 8"): table k holds the CRC of
// a byte followed by k zero bytes, so eight lookups fold a 64-bit word.
constexpr std::array<std::array<uint32_t, 256>, 8> makeCrcTables() {
    std::array<std::array<uint32_t, 256>, 8> tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (size_t k = 1; k < 8; ++k)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    return tables;
}
constexpr auto kCrcTables = makeCrcTables();

uint32_t crcUpdate(uint32_t crc, const unsigned char *p, size_t n) {
    const auto &t = kCrcTables;
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        word ^= crc;
        crc = t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF] ^ t[5][(word >> 16) & 0xFF] ^
              t[4][(word >> 24) & 0xFF] ^ t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF] ^
              t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56];
    }
    for (; n > 0; --n, ++p)
        crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}

// The positions are read and written whole by any thread, sequentially
// consistent: a writer thread that says it is idle and then looks at the
// queue, and a caller that publishes a record and then looks whether the
// writer is idle, cannot both miss the other.
uint64_t loadPosition(const uint64_t &field) {
    return std::atomic_ref<uint64_t>(const_cast<uint64_t &>(field)).load();
}
void storePosition(uint64_t &field, uint64_t value) {
    std::atomic_ref<uint64_t>(field).store(value);
}

// An open-file-description lock on the whole file: held while the
// description is open, whatever else the process opens or closes.
bool lockWhole(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Up to `size` bytes from `offset` of descriptor `fd`: fewer at the end of
// the file or at an error.
size_t readAt(int fd, void *buffer, size_t size, uint64_t offset) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(fd, static_cast<char *>(buffer) + got, size - got,
                                static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

std::string errorText(const char *what, const std::string &path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

void copyName(char *to, size_t size, std::string_view from) {
    const size_t n = std::min(from.size(), size - 1);
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

// A NUL-terminated field of the header, or "" when it has no NUL.
std::string fieldText(const char *field, size_t size) {
    const void *end = std::memchr(field, '\0', size);
    return end != nullptr ? std::string(field, static_cast<const char *>(end)) : std::string();
}

}  // namespace

uint64_t ringSizeFor(int64_t wanted) {
    const uint64_t clamped = wanted < static_cast<int64_t>(kMinRingSize) ? kMinRingSize
                             : static_cast<uint64_t>(wanted) > kMaxRingSize
                                 ? kMaxRingSize
                                 : static_cast<uint64_t>(wanted);
    return clamped & ~uint64_t{7};
}

uint32_t recordChecksum(uint64_t sequence, std::string_view text) {
    unsigned char bytes[sizeof sequence];
    std::memcpy(bytes, &sequence, sizeof sequence);
    uint32_t crc = crcUpdate(0xFFFFFFFFu, bytes, sizeof bytes);
    crc = crcUpdate(crc, reinterpret_cast<const unsigned char *>(text.data()), text.size());
    return crc ^ 0xFFFFFFFFu;
}

namespace {

// The object name as a file name's part: every byte outside
// [A-Za-z0-9._-] as %XX.
std::string escapedName(std::string_view objectName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : objectName) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '.' || byte == '_' || byte == '-') {
            name += c;
        } else {
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 15];
        }
    }
    return name;
}

}  // namespace

std::string queueFileName(std::string_view objectName, int64_t pid) {
    return escapedName(objectName) + "." + std::to_string(pid) + kSuffix;
}

// ---- The process's own queue ---------------------------------------------

QueueFile::QueueFile(std::string path, int fd, void *map, uint64_t ringSize)
    : path_(std::move(path)),
      fd_(fd),
      header_(static_cast<Header *>(map)),
      ring_(static_cast<unsigned char *>(map) + kHeaderSize),
      ringSize_(ringSize) {}

std::unique_ptr<QueueFile> QueueFile::create(const std::string &dir, std::string_view objectName,
                                             std::string_view targetFile, uint64_t ringSize,
                                             std::string &error) {
    ringSize = ringSizeFor(static_cast<int64_t>(ringSize));
    // Made whole and locked under a name no recoverer looks at, then linked
    // to its own: a queue is never seen unlocked or half made, and never
    // replaces one a dead process with this pid left.
    const std::string path = dir + "/" + queueFileName(objectName, getpid());
    const std::string made = path + kMakingSuffix;
    unlink(made.c_str());  // a leftover of a dead process with this pid
    const int fd = open(made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errorText("cannot make", made);
        return nullptr;
    }
    const auto fail = [&](const char *what) -> std::unique_ptr<QueueFile> {
        error = errorText(what, path);
        unlink(made.c_str());
        close(fd);
        return nullptr;
    };
    if (!lockWhole(fd)) return fail("cannot lock");
    const auto size = static_cast<off_t>(kHeaderSize + ringSize);
    if (const int rc = posix_fallocate(fd, 0, size); rc != 0) {
        errno = rc;
        return fail("cannot reserve room for");
    }
    void *map = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return fail("cannot map");
    auto *header = static_cast<Header *>(map);
    header->version = kVersion;
    header->headerSize = kHeaderSize;
    header->ringSize = ringSize;
    header->readPos = header->writePos = 0;
    header->pid = getpid();
    copyName(header->objectName, kNameSize, objectName);
    copyName(header->targetFile, kTargetSize, targetFile);
    std::memcpy(header->magic, kMagic, sizeof kMagic);
    if (link(made.c_str(), path.c_str()) != 0) {
        munmap(map, static_cast<size_t>(size));
        return fail("cannot make");
    }
    unlink(made.c_str());
    return std::unique_ptr<QueueFile>(new QueueFile(path, fd, map, ringSize));
}

QueueFile::~QueueFile() {
    if (header_ != nullptr) munmap(header_, kHeaderSize + ringSize_);
    if (fd_ >= 0) close(fd_);
}

void QueueFile::remove() {
    unlink(path_.c_str());
    munmap(header_, kHeaderSize + ringSize_);
    header_ = nullptr;
    close(fd_);
    fd_ = -1;
}

bool QueueFile::push(std::string_view text) {
    const uint64_t need = sizeof(RecordHead) + padded(text.size());
    if (need > ringSize_) return false;
    uint64_t write = header_->writePos;  // ours alone
    const uint64_t read = loadPosition(header_->readPos);
    uint64_t at = write % ringSize_;
    const uint64_t toEnd = ringSize_ - at;
    const uint64_t skip = need > toEnd ? toEnd : 0;
    if (write + skip + need - read > ringSize_) return false;
    if (skip != 0) {  // at least 8 bytes remain: the marker fits
        std::memcpy(ring_ + at, &kWrapMarker, sizeof kWrapMarker);
        write += skip;
        at = 0;
    }
    const RecordHead head{static_cast<uint32_t>(text.size()), recordChecksum(nextSequence_, text),
                          nextSequence_};
    std::memcpy(ring_ + at, &head, sizeof head);
    std::memcpy(ring_ + at + sizeof head, text.data(), text.size());
    std::memset(ring_ + at + sizeof head + text.size(), 0, padded(text.size()) - text.size());
    ++nextSequence_;
    storePosition(header_->writePos, write + need);
    return true;
}

// Hands each published record from `read` on, with the read position
// after it, to `visit` until it returns false; returns where it stopped.
// Allocates nothing: the crash drain uses it.
template <class Visit>
uint64_t QueueFile::walk(uint64_t read, Visit visit) const {
    const uint64_t write = loadPosition(header_->writePos);
    while (read < write) {
        const uint64_t at = read % ringSize_;
        uint32_t length;
        std::memcpy(&length, ring_ + at, sizeof length);
        if (length == kWrapMarker) {
            read += ringSize_ - at;
            continue;
        }
        const std::string_view text(reinterpret_cast<const char *>(ring_ + at + sizeof(RecordHead)),
                                    length);
        const uint64_t after = read + sizeof(RecordHead) + padded(length);
        if (!visit(text, after)) break;
        read = after;
    }
    return read;
}

uint64_t QueueFile::peek(size_t maxBytes, std::vector<std::string_view> &texts,
                         std::vector<uint64_t> *ends) const {
    size_t taken = 0;
    const size_t limit = texts.size() + kPeekRecords;
    return walk(header_->readPos, [&](std::string_view text, uint64_t after) {
        if ((taken > 0 && taken >= maxBytes) || texts.size() >= limit) return false;
        texts.push_back(text);
        if (ends != nullptr) ends->push_back(after);
        taken += text.size();
        return true;
    });
}

bool QueueFile::drainTo(int fd) noexcept {
    bool written = true;  // the writer thread is kept out: the read position is ours
    const uint64_t end = walk(header_->readPos, [&](std::string_view text, uint64_t after) {
        CxFile out = fd;  // write(2) and errno only: safe in a signal handler
        if (CxFileWriteAll(&out, text.data(), text.size(), nullptr).kind != CX_PLATFORM_ERR_OK)
            return written = false;
        storePosition(header_->readPos, after);
        return true;
    });
    if (written) storePosition(header_->readPos, end);  // past a last wrap marker
    return written;
}

void QueueFile::unlinkName() const noexcept { unlink(path_.c_str()); }

void QueueFile::consume(uint64_t position) { storePosition(header_->readPos, position); }

void QueueFile::claim(uint64_t device, uint64_t inode, uint64_t offset, uint64_t bytes) {
    storePosition(header_->claimBytes, 0);
    header_->claimStart = header_->readPos;
    header_->claimDevice = device;
    header_->claimInode = inode;
    header_->claimOffset = offset;
    storePosition(header_->claimBytes, bytes);
}

void QueueFile::unclaim() { storePosition(header_->claimBytes, 0); }

bool QueueFile::empty() const {
    return loadPosition(header_->readPos) == loadPosition(header_->writePos);
}

// ---- Queues left behind ----------------------------------------------------

Recovery readQueueBytes(std::span<const unsigned char> file, Claim *claim) {
    Recovery out;
    const auto damaged = [&out](std::string problem) {
        out.damaged = true;
        out.problem = std::move(problem);
        return out;
    };
    Header header;
    if (file.size() < kHeaderSize) return damaged("shorter than its header");
    std::memcpy(&header, file.data(), sizeof header);
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) return damaged("not a queue file");
    if (header.version != kVersion) return damaged("version " + std::to_string(header.version));
    if (header.headerSize != kHeaderSize) return damaged("header size");
    const uint64_t ring = header.ringSize;
    if (ring < kMinRingSize || ring > kMaxRingSize || ring % 8 != 0 ||
        ring > file.size() - kHeaderSize)
        return damaged("ring size");
    out.objectName = fieldText(header.objectName, kNameSize);
    out.targetFile = fieldText(header.targetFile, kTargetSize);
    uint64_t read = header.readPos;
    const uint64_t write = header.writePos;
    if (read > write || write - read > ring || read % 8 != 0 || write % 8 != 0)
        return damaged("positions");
    out.readPos = read;
    if (claim != nullptr && header.claimBytes != 0 && header.claimStart == read)
        *claim = {header.claimDevice, header.claimInode, header.claimOffset,
                  std::min<uint64_t>(header.claimBytes, ring)};
    const unsigned char *base = file.data() + kHeaderSize;
    bool first = true;
    uint64_t expected = 0;
    while (read < write) {
        const uint64_t at = read % ring;
        uint32_t length;
        std::memcpy(&length, base + at, sizeof length);
        if (length == kWrapMarker) {  // the writer went on at the ring's start
            if (ring - at > write - read) break;
            read += ring - at;
            continue;
        }
        RecordHead head;
        const uint64_t room = std::min(ring - at, write - read);
        if (room < sizeof head) break;
        std::memcpy(&head, base + at, sizeof head);
        const uint64_t size = sizeof head + ((uint64_t{head.length} + 7) & ~uint64_t{7});
        if (head.length == kWrapMarker || size > room) break;
        const std::string_view text(reinterpret_cast<const char *>(base + at + sizeof head),
                                    head.length);
        if (head.checksum != recordChecksum(head.sequence, text)) break;
        if (!first && head.sequence != expected) break;
        first = false;
        expected = head.sequence + 1;
        out.texts.emplace_back(text);
        read += size;
        out.ends.push_back(read);
    }
    if (read < write) {
        out.lostBytes = write - read;
        return damaged("a bad record after " + std::to_string(out.texts.size()) + " good ones");
    }
    return out;
}

OrphanQueue::OrphanQueue(OrphanQueue &&other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

OrphanQueue::~OrphanQueue() {
    if (fd_ >= 0) close(fd_);
}

Recovery OrphanQueue::read(Claim *claimOut) const {
    struct stat info {};
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) > kHeaderSize + kMaxRingSize) {
        Recovery out;
        out.damaged = true;
        out.problem = "not a readable queue file";
        return out;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(info.st_size));
    bytes.resize(readAt(fd_, bytes.data(), bytes.size(), 0));
    Claim claim;
    Recovery out = readQueueBytes(bytes, &claim);
    if (claim.bytes != 0) skipWritten(out, claim);
    if (claimOut != nullptr) *claimOut = claim;
    return out;
}

void OrphanQueue::consumeTo(uint64_t position) {
    // The read position first: a claim whose start is no longer the read
    // position is void, so a death between the two writes voids it too.
    const uint64_t none = 0;
    if (pwrite(fd_, &position, sizeof position, offsetof(Header, readPos)) ==
        static_cast<ssize_t>(sizeof position))
        (void)!pwrite(fd_, &none, sizeof none, offsetof(Header, claimBytes));
}

std::unique_ptr<OrphanQueue> OrphanQueue::lock(const std::string &path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat info {
    }, named{};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !lockWhole(fd) ||
        lstat(path.c_str(), &named) != 0 || named.st_ino != info.st_ino ||
        named.st_dev != info.st_dev) {
        close(fd);  // alive, taken, or no queue
        return nullptr;
    }
    return std::unique_ptr<OrphanQueue>(new OrphanQueue(path, fd));
}

namespace {

// How far a file agrees, from the claim's offset, with the records.
struct Agreement {
    size_t whole = 0;    // records found whole
    size_t into = 0;     // bytes of the next record found after them
    bool atEnd = false;  // the file ends where the agreement ends
};

Agreement agreementIn(const std::string &name, const Claim &claim,
                      const std::vector<std::string> &texts, bool sameFile) {
    Agreement out;
    const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return out;
    struct stat info {};
    std::string found(static_cast<size_t>(claim.bytes), '\0');
    size_t have = 0;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        (!sameFile || (static_cast<uint64_t>(info.st_dev) == claim.device &&
                       static_cast<uint64_t>(info.st_ino) == claim.inode)))
        have = readAt(fd, found.data(), found.size(), claim.offset);
    close(fd);
    size_t agreed = 0;
    for (const std::string &text : texts) {
        size_t i = 0;
        while (i < text.size() && agreed < have && found[agreed] == text[i]) {
            ++i;
            ++agreed;
        }
        if (i < text.size()) {
            out.into = i;
            break;
        }
        ++out.whole;
    }
    out.atEnd = claim.offset + agreed == static_cast<uint64_t>(info.st_size);
    return out;
}

}  // namespace

void skipWritten(Recovery &got, const Claim &claim) {
    if (got.targetFile.empty() || claim.bytes == 0) return;
    // The active file, if it is still the claimed one; else the backups of
    // its set (a multi-process set's rollover copies the active file into
    // backup 1, offsets kept), where only whole records count.
    Agreement found = agreementIn(got.targetFile, claim, got.texts, true);
    for (int32_t n = 1; found.whole == 0 && found.into == 0 && n < 100; ++n) {
        const std::string backup = kvl::setMemberName(got.targetFile, n);
        if (access(backup.c_str(), F_OK) != 0) break;
        found = agreementIn(backup, claim, got.texts, false);
        found.into = 0;
    }
    // A record begun at the active file's end is finished there; one begun
    // before other writers' records is written again whole.
    if (found.whole < got.texts.size() && found.into > 0 && found.atEnd) {
        got.texts[found.whole].erase(0, found.into);
        got.finishing = true;
    }
    if (found.whole > 0) got.readPos = got.ends[found.whole - 1];
    got.texts.erase(got.texts.begin(), got.texts.begin() + static_cast<ptrdiff_t>(found.whole));
    got.ends.erase(got.ends.begin(), got.ends.begin() + static_cast<ptrdiff_t>(found.whole));
    got.alreadyWritten = found.whole;
}

void OrphanQueue::remove() {
    unlink(path_.c_str());
    close(fd_);
    fd_ = -1;
}

std::vector<OrphanQueue> orphanQueues(const std::string &dir, std::string_view objectName) {
    const std::string prefix = objectName.empty() ? std::string() : escapedName(objectName) + ".";
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *entry = readdir(d)) {
            std::string_view name = entry->d_name;
            // A queue its process was still making when it died: it holds no
            // record, and nobody else makes a queue under that pid's name.
            if (name.ends_with(kMakingSuffix)) {
                const std::string_view made =
                    name.substr(0, name.size() - std::strlen(kMakingSuffix));
                const size_t dot = made.rfind('.', made.size() - std::strlen(kSuffix) - 1);
                const std::string pid(
                    dot == std::string_view::npos
                        ? std::string_view()
                        : made.substr(dot + 1, made.size() - std::strlen(kSuffix) - dot - 1));
                if (made.ends_with(kSuffix) && !pid.empty() &&
                    std::all_of(pid.begin(), pid.end(),
                                [](char c) { return c >= '0' && c <= '9'; }) &&
                    pid.size() < 10 && kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 &&
                    errno == ESRCH)
                    unlink((dir + "/" + std::string(name)).c_str());
                continue;
            }
            if (name.size() <= std::strlen(kSuffix) || !name.ends_with(kSuffix)) continue;
            // <prefix><pid>.kvlq, the pid all digits
            const std::string_view stem = name.substr(0, name.size() - std::strlen(kSuffix));
            const size_t dot = stem.rfind('.');
            if (dot == std::string_view::npos || dot + 1 == stem.size()) continue;
            if (!std::all_of(stem.begin() + static_cast<ptrdiff_t>(dot) + 1, stem.end(),
                             [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            if (!prefix.empty() && stem.substr(0, dot + 1) != prefix) continue;
            names.emplace_back(name);
        }
        closedir(d);
    }
    std::vector<std::pair<int64_t, std::unique_ptr<OrphanQueue>>> found;
    for (const std::string &name : names) {
        std::unique_ptr<OrphanQueue> orphan = OrphanQueue::lock(dir + "/" + name);
        struct stat info {};
        if (orphan != nullptr && fstat(orphan->fd_, &info) == 0)
            found.emplace_back(
                static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                std::move(orphan));
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : a.second->path() < b.second->path();
    });
    std::vector<OrphanQueue> out;
    for (auto &[when, orphan] : found)
        out.push_back(std::move(*orphan));
    return out;
}

// ---- A multi-process set's claim board ------------------------------------

namespace {

constexpr char kBoardMagic[8] = {'K', 'V', 'L', 'C', 'L', 'A', 'I', 'M'};
constexpr size_t kBoardSize = 4096;

}  // namespace

// Who holds the set's lock through a queue, and which.
struct ClaimBoard::Page {
    char magic[8];
    uint32_t version;
    uint32_t reserved;
    int64_t pid; /* 0: nobody; stored after the path */
    char queuePath[kTargetSize];
};

std::unique_ptr<ClaimBoard> ClaimBoard::open(const std::string &activeFile, int fileFd) {
    static_assert(sizeof(Page) <= kBoardSize);
    struct stat file {};
    if (fstat(fileFd, &file) != 0) return nullptr;
    const std::string path = activeFile + kBoardSuffix;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                          file.st_mode & 0666);
    if (fd < 0) return nullptr;
    struct stat info {};
    void *map = MAP_FAILED;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_size >= static_cast<off_t>(kBoardSize) ||
         ftruncate(fd, static_cast<off_t>(kBoardSize)) == 0))
        map = mmap(nullptr, kBoardSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return nullptr;
    // Anything but a board (a new file, another program's) is made one.
    auto *page = static_cast<Page *>(map);
    if (std::memcmp(page->magic, kBoardMagic, sizeof kBoardMagic) != 0 ||
        page->version != kVersion) {
        std::memset(page, 0, sizeof *page);
        std::memcpy(page->magic, kBoardMagic, sizeof kBoardMagic);
        page->version = kVersion;
    }
    return std::unique_ptr<ClaimBoard>(new ClaimBoard(activeFile, page));
}

ClaimBoard::~ClaimBoard() { munmap(page_, kBoardSize); }

ClaimBoard::Entry ClaimBoard::left(int64_t self) const {
    const int64_t pid = std::atomic_ref<int64_t>(page_->pid).load();
    if (pid <= 0 || pid == self) return {};
    return {pid, fieldText(page_->queuePath, kTargetSize)};
}

void ClaimBoard::post(int64_t self, const std::string &queuePath) {
    if (queuePath.size() >= kTargetSize) return;
    copyName(page_->queuePath, kTargetSize, queuePath);  // never seen half: the pid comes last
    std::atomic_ref<int64_t>(page_->pid).store(self);
}

void ClaimBoard::clear() { std::atomic_ref<int64_t>(page_->pid).store(0); }

bool settleClaim(const ClaimBoard::Entry &entry, int fd) {
    std::unique_ptr<OrphanQueue> orphan;
    for (int waited = 0; entry.pid > 0 && !entry.queuePath.empty(); ++waited) {
        orphan = OrphanQueue::lock(entry.queuePath);
        if (orphan != nullptr || waited == kLeavingWaitMs ||
            (kill(static_cast<pid_t>(entry.pid), 0) != 0 && errno == ESRCH))
            break;  // settled, or held by someone alive, or by a recoverer
        usleep(1000);
    }
    if (orphan == nullptr) return false;
    Claim claim;
    const Recovery got = orphan->read(&claim);
    struct stat file {};
    if (got.damaged || claim.bytes == 0 || fstat(fd, &file) != 0 ||
        static_cast<uint64_t>(file.st_dev) != claim.device ||
        static_cast<uint64_t>(file.st_ino) != claim.inode)
        return false;
    if (!got.finishing) {
        orphan->consumeTo(got.readPos);
        return false;
    }
    CxFile out = fd;
    size_t done = 0;
    const bool whole = CxFileWriteAll(&out, got.texts[0].data(), got.texts[0].size(), &done).kind ==
                       CX_PLATFORM_ERR_OK;
    orphan->consumeTo(whole ? got.ends[0] : got.readPos);
    return done > 0;
}

}  // namespace kvl::queue
