/*
 * The record queue of an asynchronous handler: a file mapped shared, so
 * that a record copied in and published by a logging call lives in the
 * kernel's page cache and outlives the process that wrote it, however that
 * process ends. A queue that lost its process is found by its lock (an
 * open-file-description lock the kernel drops when the last descriptor
 * goes) and read back by whoever opens the same handler next, or by hand.
 *
 * Layout (host byte order: the file is read on the machine that wrote it):
 *   header (kHeaderSize bytes): magic, version, header and ring sizes, the
 *     read and write positions (bytes consumed and published since the
 *     start, never wrapped), the writer's pid, the handler's object name,
 *     the file its target writes (for the hand-drain command), and the
 *     claim on the write the consumer is making (what a recoverer skips);
 *   ring (ringSize bytes, a multiple of 8): records, each a 16-byte head
 *     (text length, checksum of sequence and text, sequence number) and the
 *     text, padded to 8 bytes. A record never wraps: where one does not fit
 *     before the ring's end, the length kWrapMarker sends the reader to the
 *     ring's start.
 *
 * One producer at a time (the toolkit's API lock) and one consumer: the
 * producer writes a record and then publishes it with an atomic store of
 * the write position; the consumer reads up to the write position (an
 * atomic load) and gives the room back with an atomic store of the read
 * position (sequentially consistent, so the asynchronous handler's writer
 * can look at the queue without the lock). A record half-written when its process died is past the
 * write position and is never read.
 *
 * The space is reserved when the file is made (posix_fallocate), so a full
 * file system refuses the queue at once instead of killing the process
 * with SIGBUS at its first record. A queue is made, locked and filled in
 * under its name with kMakingSuffix and linked to its name only then, so a
 * recoverer never finds one unlocked or half made. C++ only.
 */
#ifndef KVL_QUEUE_FILE_H
#define KVL_QUEUE_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvl::queue {

inline constexpr char kMagic[8] = {'K', 'V', 'L', 'Q', 'U', 'E', 'U', 'E'};
inline constexpr uint32_t kVersion = 1;
inline constexpr uint64_t kHeaderSize = 4096;
inline constexpr uint64_t kMinRingSize = 64 * 1024;
inline constexpr uint64_t kMaxRingSize = uint64_t{1} << 30;
inline constexpr uint32_t kWrapMarker = 0xFFFFFFFFu;
inline constexpr size_t kNameSize = 256;    /* object name, NUL included */
inline constexpr size_t kTargetSize = 1024; /* target file, NUL included */
inline constexpr char kSuffix[] = ".kvlq";
inline constexpr size_t kPeekRecords = 256;
inline constexpr char kMakingSuffix[] = ".new"; /* after kSuffix, while it is made */

struct Header {
    char magic[8];
    uint32_t version;
    uint32_t headerSize;
    uint64_t ringSize;
    uint64_t readPos;  /* consumer's, released */
    uint64_t writePos; /* producer's, released */
    int64_t pid;
    char objectName[kNameSize];
    char targetFile[kTargetSize];
    /* The write the consumer is making, if it dies in the middle: bytes
     * [claimOffset, claimOffset + claimBytes) of the file (claimDevice,
     * claimInode) are to hold the records from read position claimStart
     * on. None unless claimBytes is non-zero and claimStart is the read
     * position. */
    uint64_t claimStart;
    uint64_t claimDevice;
    uint64_t claimInode;
    uint64_t claimOffset;
    uint64_t claimBytes; /* released last */
};
static_assert(sizeof(Header) <= kHeaderSize);

struct RecordHead {
    uint32_t length; /* of the text; kWrapMarker: go to the ring's start */
    uint32_t checksum;
    uint64_t sequence;
};
static_assert(sizeof(RecordHead) == 16);

/* The ring's size for a wanted size: clamped to [kMinRingSize,
 * kMaxRingSize] and rounded down to a multiple of 8. */
uint64_t ringSizeFor(int64_t wanted);

/* CRC-32 (the polynomial of zip and Ethernet) of the sequence number and
 * the text. */
uint32_t recordChecksum(uint64_t sequence, std::string_view text);

/* The file name of a process's queue for a handler: the object name with
 * every byte outside [A-Za-z0-9._-] written as %XX, the pid, kSuffix. */
std::string queueFileName(std::string_view objectName, int64_t pid);

/* A process's own queue, open, mapped and locked for its life. */
class QueueFile {
public:
    /* Makes DIR/queueFileName(objectName, pid) anew (never over an existing
     * file); null with the reason in `error` when it cannot. */
    static std::unique_ptr<QueueFile> create(const std::string &dir, std::string_view objectName,
                                             std::string_view targetFile, uint64_t ringSize,
                                             std::string &error);
    ~QueueFile();
    QueueFile(const QueueFile &) = delete;
    QueueFile &operator=(const QueueFile &) = delete;

    /* Copies the text in and publishes it: false when the ring has no room
     * for it now (or ever: fits() says which). */
    bool push(std::string_view text);
    /* Whether a text of that length can ever be queued. */
    bool fits(size_t length) const { return sizeof(RecordHead) + padded(length) <= ringSize_; }

    /* The texts published and not yet consumed, in order, from the first
     * up to about `maxBytes` (at least one) and at most kPeekRecords of
     * them (so a batch is one gathered write); views into the ring, valid
     * until consume(). Returns the read position after them; `ends`, when
     * given, gets the read position after each. */
    uint64_t peek(size_t maxBytes, std::vector<std::string_view> &texts,
                  std::vector<uint64_t> *ends = nullptr) const;
    /* Gives the room of everything before `position` back. */
    void consume(uint64_t position);
    /* Says that `bytes` bytes at `offset` of the file (device, inode) are
     * being written with the records from the read position on, until
     * unclaim(): if the process dies meanwhile, whoever recovers the queue
     * skips what of them reached the file. */
    void claim(uint64_t device, uint64_t inode, uint64_t offset, uint64_t bytes);
    void unclaim();
    bool empty() const;

    const std::string &path() const { return path_; }
    uint64_t ringSize() const { return ringSize_; }
    /* The mapped header, for tests that damage it. */
    Header *header() { return header_; }

    /* Removes the file (when everything is written), then closes it. */
    void remove();

    /* For a fatal signal's handler: appends every published record not yet
     * consumed to descriptor `fd`, in order, each consumed once written
     * whole; stops at the first that is not. Nothing allocated, no lock
     * taken, async-signal-safe calls only. True when the queue is empty
     * after. */
    bool drainTo(int fd) noexcept;
    /* Removes the file's name only (async-signal-safe). */
    void unlinkName() const noexcept;

private:
    QueueFile(std::string path, int fd, void *map, uint64_t ringSize);
    static size_t padded(size_t length) { return (length + 7) & ~size_t{7}; }
    template <class Visit>
    uint64_t walk(uint64_t read, Visit visit) const;

    std::string path_;
    int fd_;
    Header *header_;
    unsigned char *ring_;
    uint64_t ringSize_;
    uint64_t nextSequence_ = 0;
};

/* What a queue left by a dead process holds. */
struct Recovery {
    std::string objectName;
    std::string targetFile;
    std::vector<std::string> texts; /* the good records not yet consumed, in order */
    std::vector<uint64_t> ends;     /* the read position after each */
    uint64_t readPos = 0;           /* the read position of the first */
    bool finishing = false;         /* texts[0] is what a cut record misses */
    bool damaged = false;           /* a check failed: texts stop before it */
    size_t alreadyWritten = 0;      /* records dropped from the front: the dead
                                       consumer's last write had them whole */
    std::string problem;            /* what failed */
    uint64_t lostBytes = 0;         /* published bytes not recovered */
};

/* A write the dead consumer was making (Header's claim). */
struct Claim {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t offset = 0;
    uint64_t bytes = 0; /* 0: none */
};

/* Reads a whole queue file's bytes. Trusts nothing: every field is checked
 * and nothing outside `file` is read. `claim`, when given, gets the
 * header's claim on the first record. */
Recovery readQueueBytes(std::span<const unsigned char> file, Claim *claim = nullptr);

/* Drops from the front of `got.texts` the records the claimed write put
 * whole into `got.targetFile`, and cuts a record it began at the file's
 * end to what is missing; changes nothing when the file is not the one
 * the claim names. */
void skipWritten(Recovery &got, const Claim &claim);

/* The claim board of a multi-process set: a page beside the active file
 * (its name and kBoardSuffix) naming the queue whose consumer holds the
 * set's lock and may be writing into the set. Read and written only under
 * that lock, mapped shared like a queue (no system call per batch; what a
 * process wrote there outlives it). A consumer that takes the
 * lock and finds another process's queue named there knows that consumer
 * died holding the lock, leaving the file as its last write did: it
 * settles the dead queue's claim at once (settleClaim), before anything
 * else is written, instead of leaving it to a later recovery that may find
 * the claimed bytes cut by other writers' records or rolled out of the
 * set. Writers without a queue do not read the board. */
inline constexpr char kBoardSuffix[] = ".kvlclaim";

class ClaimBoard {
public:
    /* The board of the set whose active file is `activeFile`, open at
     * `fileFd`; made with the active file's permission bits when missing.
     * Null when it cannot be had. */
    static std::unique_ptr<ClaimBoard> open(const std::string &activeFile, int fileFd);
    ~ClaimBoard();
    ClaimBoard(const ClaimBoard &) = delete;
    ClaimBoard &operator=(const ClaimBoard &) = delete;

    /* A process's entry: its pid (0: none) and its queue. */
    struct Entry {
        int64_t pid = 0;
        std::string queuePath;
    };

    const std::string &activeFile() const { return activeFile_; }
    /* The entry another process than `self` left, or none. */
    Entry left(int64_t self) const;
    /* Names process `self`'s queue at `queuePath`, until clear(). */
    void post(int64_t self, const std::string &queuePath);
    void clear();

private:
    struct Page;
    ClaimBoard(std::string activeFile, Page *page)
        : activeFile_(std::move(activeFile)), page_(page) {}
    std::string activeFile_;
    Page *page_;
};

/* Settles the claim of a dead consumer's queue (its board entry) on the
 * active file open at `fd`, which nobody has written since that consumer
 * died: the records its claimed write put whole in the file are consumed
 * in the queue, a record it cut at the file's end is finished there, and
 * the claim is dropped, so whoever recovers the queue later writes only
 * the rest. A consumer still leaving holds its queue's lock a moment
 * after its semaphore is undone (the kernel closes its files later): the
 * lock is waited for up to kLeavingWaitMs while the process exists.
 * Nothing changes when the queue is not an orphan, is damaged, or claims
 * another file. True when it wrote to `fd`. */
inline constexpr int kLeavingWaitMs = 200;
bool settleClaim(const ClaimBoard::Entry &entry, int fd);

/* A queue file whose process is gone, locked by this one while it is read
 * and removed. */
class OrphanQueue {
public:
    ~OrphanQueue();
    OrphanQueue(const OrphanQueue &) = delete;
    OrphanQueue &operator=(const OrphanQueue &) = delete;
    OrphanQueue(OrphanQueue &&other) noexcept;

    const std::string &path() const { return path_; }
    /* The file's records (a file too large or unreadable is damaged);
     * `claim`, when given, gets the claim they were read against. */
    Recovery read(Claim *claim = nullptr) const;
    /* Removes the file, then closes it. */
    void remove();
    /* Consumes everything before read position `position` and drops the
     * claim. */
    void consumeTo(uint64_t position);
    /* The queue file at `path`, when its lock can be had and the name still
     * means the file locked (nobody recovered and removed it meanwhile). */
    static std::unique_ptr<OrphanQueue> lock(const std::string &path);

private:
    friend std::vector<OrphanQueue> orphanQueues(const std::string &, std::string_view);
    OrphanQueue(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    int fd_;
};

/* The queue files in DIR of handler `objectName` (every handler's when it
 * is empty) whose lock could be taken: their process died. Oldest first
 * (by modification time, then name). */
std::vector<OrphanQueue> orphanQueues(const std::string &dir, std::string_view objectName);

}  // namespace kvl::queue

#endif /* KVL_QUEUE_FILE_H */
