// The asynchronous handler ("kvl_asynchandler"): records formatted on the
// caller's thread with the formatter of another handler, its target, then
// copied into a queue file mapped shared (KvlQueueFile.h) and written to the
// target by a thread of its own. A record whose logging call has returned is
// in the page cache: if the process dies, the next process that opens a
// handler of the same name finds the queue by its lock and writes what it
// holds before anything else; a process that has one open looks every five
// seconds.
//
// Every queue operation, the caller's and the writer thread's, happens with
// the toolkit's API mutex held, so the queue has one producer and one
// consumer at any moment and the target is never written by two threads.
// The writer takes the mutex for one batch (at most 64 KiB) at a time, with
// a bounded wait, so that whoever holds the mutex to stop it (a close, a
// change of its properties, the toolkit's close) can join it. After a
// batch it looks again 0.2 ms later before it sleeps, so a caller rarely
// pays for waking it.
//
// Each write of a batch into a file target is claimed in the queue before
// it is made and consumed as soon as it is made (DrainJournal): a queue
// left by a process killed in the middle says what may already be in the
// file, and its recoverer skips that (KvlQueueFile.h); a write the target
// refuses (a full disk) leaves its records queued, tried again every
// 0.1 s.
//
// When the queue is full a caller either writes the queue out itself (it
// holds the mutex: "BLOCK", the default) or drops the record and counts it
// ("DROP"), reported once as soon as a record is queued again. A record at
// or above "syncLevel" is written out, with everything queued before it,
// before its call returns. Without a usable queue the handler writes
// through its target at once, and says so once.
//
// A forked child inherits the parent's mapping but not its thread: it
// leaves both to the parent and opens a queue of its own.
//
// A fatal signal ("drainOnCrash") writes what is queued straight into the
// target's descriptor before the process dies: the handler (installed at
// each open where it is not already, chaining the actions it replaced) keeps the writer threads
// out, appends each queue's records with write(2) alone, removes the queues it emptied, puts the
// previous action back and raises the signal again. A target without such a path (a console, a file
// that converts its texts) leaves its queue to the next opener.

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "CxFile.h"
#include "KvlClasses.h"
#include "KvlHandlerSeam.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlQueueFile.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "kvlmsg_keys.h"

namespace {

using kvl::queue::ClaimBoard;
using kvl::queue::QueueFile;

constexpr int64_t kDefaultQueueSize = 4 * 1024 * 1024;
constexpr size_t kBatchBytes = 64 * 1024;
constexpr int kLockWaitMs = 10;
constexpr auto kRecoveryPeriod = std::chrono::seconds(5);
constexpr auto kRetryPause = std::chrono::milliseconds(100);
constexpr auto kLinger = std::chrono::microseconds(200);

struct AsyncVars {
    // Settings (properties).
    std::string targetName;
    std::string queueDir;
    int64_t queueSize = kDefaultQueueSize;
    bool dropWhenFull = false;
    int32_t syncLevel = KVL_LEVEL_OFF;
    int32_t maxDelay = 0;
    bool drainOnCrash = true;
    // State, under the API mutex.
    bool isOpen = false;
    pid_t owner = 0;              // the process that opened it
    KvlObject *target = nullptr;  // acquired
    std::unique_ptr<QueueFile> queue;
    std::unique_ptr<ClaimBoard> board;  // of the multi-process set it writes, once seen
    // A batch's texts and read positions, made room for at open by the
    // opening thread: the writer thread allocates nothing per batch, so it
    // never grows a malloc arena of its own.
    std::vector<std::string_view> batchTexts;
    std::vector<uint64_t> batchEnds;
    std::string name;             // the handler's object name, and its queue directory,
    std::string dir;              // for the writer's look for dead processes' queues
    bool synchronous = false;     // no queue: records go straight to the target
    bool targetReported = false;  // a missing target is said once
    bool syncThis = false;        // the event in hand is at syncLevel or above
    int64_t dropped = 0;
    // The writer thread.
    std::thread writer;
    std::mutex mutex;
    std::condition_variable wake;
    bool pending = false;
    std::atomic<bool> idle{false};  // the writer waits for a wake-up
    std::atomic<bool> stop{false};
    std::atomic<bool> writing{false};  // a batch is being handed to the target
};

// The process's pid, asked once and again in a forked child (pthread_atfork
// forgets it): getpid is a system call, and every record asks whether it
// is still in the process that opened the handler.
std::atomic<pid_t> knownPid{0};

pid_t currentPid() {
    pid_t pid = knownPid.load(std::memory_order_relaxed);
    if (pid == 0) {
        static const bool hooked = pthread_atfork(nullptr, nullptr, [] {
                                       knownPid.store(0, std::memory_order_relaxed);
                                   }) == 0;
        (void)hooked;
        pid = getpid();
        knownPid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

AsyncVars *varsOf(KvlObject *handler) {
    return handler != nullptr ? static_cast<AsyncVars *>(handler->vars) : nullptr;
}

// The open asynchronous handlers, for the toolkit's close and exit.
std::vector<AsyncVars *> &openHandlers() {
    static auto *handlers = new std::vector<AsyncVars *>;  // outlives exit's destructors
    return *handlers;
}

// Writes texts to the target: false when it cannot take them now.
bool writeThrough(AsyncVars &v, std::span<const std::string_view> texts) {
    return v.target != nullptr && kvl::writeTexts(v.target, texts);
}

// Set by the first fatal signal: from then on no batch is handed over.
std::atomic<bool> crashing{false};

// Follows a batch into a file target write by write: each write of whole
// records is claimed in the queue before it is made and consumed as soon
// as it is made, so a process killed in the middle leaves a queue that
// says what may already be in the file, and records a write did not take
// (a full disk) stay queued.
//
// Into a multi-process set it also names the queue on the set's claim
// board while it holds the set's lock, and settles the claim of a
// consumer that died holding it (see ClaimBoard).
class DrainJournal final : public kvl::WriteJournal {
public:
    DrainJournal(QueueFile &queue, std::unique_ptr<ClaimBoard> &board,
                 std::span<const std::string_view> texts, std::span<const uint64_t> ends)
        : queue_(queue), board_(board), texts_(texts), ends_(ends) {}

    void willWrite(uint64_t device, uint64_t inode, uint64_t offset, size_t bytes) override {
        size_t sum = 0, n = 0;
        while (next_ + n < texts_.size() && sum < bytes)
            sum += texts_[next_ + n++].size();
        pieceRecords_ = sum == bytes ? n : 0;  // not whole records: a header
        if (pieceRecords_ != 0) queue_.claim(device, inode, offset, bytes);
    }
    void wrote(bool whole) override {
        if (pieceRecords_ == 0) return;
        used_ = true;
        if (whole) {
            next_ += pieceRecords_;
            queue_.consume(ends_[next_ - 1]);
        } else {
            failed_ = true;
        }
        queue_.unclaim();
        pieceRecords_ = 0;
    }
    bool lockTaken(const char *activeFile, int fd) override {
        if (board_ == nullptr || board_->activeFile() != activeFile)
            board_ = ClaimBoard::open(activeFile, fd);
        if (board_ == nullptr) return false;
        const bool wrote = kvl::queue::settleClaim(board_->left(currentPid()), fd);
        board_->post(currentPid(), queue_.path());
        return wrote;
    }
    void lockReleasing() override {
        if (board_ != nullptr) board_->clear();
    }
    // Whether the target wrote through the journal, and then whether every
    // record was written.
    bool used() const { return used_; }
    bool allWritten() const { return !failed_ && next_ == texts_.size(); }

private:
    QueueFile &queue_;
    std::unique_ptr<ClaimBoard> &board_;
    std::span<const std::string_view> texts_;
    std::span<const uint64_t> ends_;
    size_t next_ = 0;
    size_t pieceRecords_ = 0;
    bool used_ = false;
    bool failed_ = false;
};

// One batch from the queue to the target: whether all of it was written.
bool drainBatch(AsyncVars &v) {
    if (v.queue == nullptr) return false;
    v.writing.store(true);
    if (crashing.load()) {
        v.writing.store(false);
        return false;
    }
    std::vector<std::string_view> &texts = v.batchTexts;
    std::vector<uint64_t> &ends = v.batchEnds;
    texts.clear();
    ends.clear();
    const uint64_t next = v.queue->peek(kBatchBytes, texts, &ends);
    DrainJournal journal(*v.queue, v.board, texts, ends);
    kvl::setWriteJournal(&journal);
    bool written = texts.empty() || writeThrough(v, texts);
    kvl::setWriteJournal(nullptr);
    if (journal.used()) written = journal.allWritten();
    if (written) v.queue->consume(next);  // a wrap marker after the last record too
    v.writing.store(false);
    return written;
}

// Whether the queue was written out.
bool drainAll(AsyncVars &v) {
    while (v.queue != nullptr && !v.queue->empty())
        if (!drainBatch(v)) return false;
    return true;
}

void recoverOrphans(AsyncVars &v);

// Drains the queue whenever records come, and every kRecoveryPeriod
// writes the queues of processes that died meanwhile. A target that does
// not take a batch (a full disk) is tried again every kRetryPause, the
// records waiting in the queue.
void writerLoop(AsyncVars *v, int32_t maxDelay) {
    auto nextLook = std::chrono::steady_clock::now() + kRecoveryPeriod;
    bool refused = false;
    for (;;) {
        if (refused) {
            std::unique_lock<std::mutex> lock(v->mutex);
            v->wake.wait_for(lock, kRetryPause, [v] { return v->stop.load(); });
        }
        {
            // Idle, then a look at the queue: a record published before the
            // flag was seen is found here, one published after it is told.
            std::unique_lock<std::mutex> lock(v->mutex);
            v->idle.store(true);
            if (!v->pending && v->queue->empty())
                v->wake.wait_until(lock, nextLook, [v] { return v->pending || v->stop.load(); });
            v->idle.store(false);
            if (v->stop) return;
            if (std::chrono::steady_clock::now() >= nextLook) {
                lock.unlock();
                if (kvlAPIMutexLockFor(kLockWaitMs) == 1) {
                    if (!v->stop) recoverOrphans(*v);
                    kvlAPIMutexUnlock();
                }
                nextLook = std::chrono::steady_clock::now() + kRecoveryPeriod;
                lock.lock();
            }
            v->pending = false;
            if (maxDelay > 0)  // let records gather, unless told to stop
                v->wake.wait_for(lock, std::chrono::milliseconds(maxDelay),
                                 [v] { return v->stop.load(); });
        }
        refused = false;
        for (bool more = true; more;) {
            if (v->stop) return;
            if (kvlAPIMutexLockFor(kLockWaitMs) != 1) continue;
            if (!v->stop) {
                refused = !drainBatch(*v) && !v->queue->empty();
                more = !refused && !v->queue->empty();
            }
            kvlAPIMutexUnlock();
        }
        // Records that come soon after a batch are taken in the next one:
        // the writer looks again after kLinger rather than being woken for
        // each (a wake-up costs the caller a system call).
        std::unique_lock<std::mutex> lock(v->mutex);
        v->wake.wait_for(lock, kLinger, [v] { return v->stop.load(); });
    }
}

void stopWriter(AsyncVars &v) {
    if (!v.writer.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(v.mutex);
        v.stop = true;
    }
    v.wake.notify_one();
    v.writer.join();
    v.stop = false;
    v.pending = false;
}

void report(int32_t key, auto... args) { kvl::toolkitReport(KVL_LEVEL_WARN, key, args...); }

// Where the queue goes: "queueDir", else the target's log directory, else
// the working directory.
std::string queueDirectory(const AsyncVars &v, const std::string &targetFile) {
    if (!v.queueDir.empty()) return v.queueDir;
    const size_t slash = targetFile.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : targetFile.substr(0, slash);
}

// Writes the queues dead processes left for this handler to the target,
// oldest first, and removes them. A queue the target does not take stays
// for the next opener.
void recoverOrphans(AsyncVars &v) {
    for (kvl::queue::OrphanQueue &orphan : kvl::queue::orphanQueues(v.dir, v.name)) {
        const kvl::queue::Recovery got = orphan.read();
        std::vector<std::string_view> batch;
        size_t bytes = 0;
        bool written = true;
        for (size_t i = 0; i < got.texts.size() && written; ++i) {
            batch.push_back(got.texts[i]);
            bytes += got.texts[i].size();
            if (bytes >= kBatchBytes || i + 1 == got.texts.size()) {
                written = writeThrough(v, batch);
                batch.clear();
                bytes = 0;
            }
        }
        if (!written) return;  // written again, whole, next time
        if (got.damaged)
            report(kvlmsg::KVLAQ0135W, KVL_ARG_STRING, orphan.path().c_str(), KVL_ARG_STRING,
                   got.problem.c_str(), KVL_ARG_INT, static_cast<int>(got.texts.size()),
                   KVL_ARG_LONG, static_cast<long>(got.lostBytes));
        orphan.remove();
    }
}

// ---- The crash drain ---------------------------------------------------------

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kCrashSlots = 32;
struct sigaction previousActions[std::size(kCrashSignals)];
std::atomic<AsyncVars *> crashSlots[kCrashSlots];
std::atomic<bool> crashDrained{false};

void sleepMillisecond() {
    const timespec span{0, 1000000};
    nanosleep(&span, nullptr);
}

// Each queue of this process into its target's descriptor. A writer
// thread in the middle of a batch is given 200 ms to finish it (it hands
// over no other); one that does not (the crash is in its own write) has
// its batch written again.
void drainForCrash() {
    const pid_t self = getpid();
    for (std::atomic<AsyncVars *> &slot : crashSlots) {
        AsyncVars *v = slot.load();
        if (v == nullptr || v->owner != self || v->queue == nullptr || v->target == nullptr)
            continue;
        for (int waited = 0; v->writing.load() && waited < 200; ++waited)
            sleepMillisecond();
        const KvlHandlerWriter *writer = v->target->klass->internals.writer;
        const int fd = writer->crashBegin != nullptr ? writer->crashBegin(v->target) : -1;
        if (fd < 0) continue;
        const bool emptied = v->queue->drainTo(fd);
        if (writer->crashEnd != nullptr) writer->crashEnd(v->target);
        if (emptied) v->queue->unlinkName();
    }
}

size_t signalIndex(int signal) {
    size_t i = 0;
    while (i + 1 < std::size(kCrashSignals) && kCrashSignals[i] != signal)
        ++i;
    return i;
}

// The first thread to crash drains; one crashing meanwhile waits for it
// (at most two seconds). Then the action we replaced comes back and the
// signal is raised again: a fault repeats when the handler returns, a
// signal sent or raised is sent again.
void onFatalSignal(int signal, siginfo_t *info, void *) {
    const int savedErrno = errno;
    if (!crashing.exchange(true)) {
        drainForCrash();
        crashDrained.store(true);
    } else {
        for (int waited = 0; !crashDrained.load() && waited < 2000; ++waited)
            sleepMillisecond();
    }
    sigaction(signal, &previousActions[signalIndex(signal)], nullptr);
    if (info == nullptr || info->si_code <= 0 || signal == SIGABRT) raise(signal);
    errno = savedErrno;
}

// Ours on each fatal signal, the action found there kept for the chain;
// done at every open, so an action the program set since is chained too.
void installCrashHandler() {
    struct sigaction ours {};
    ours.sa_sigaction = onFatalSignal;
    ours.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&ours.sa_mask);
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        struct sigaction current {};
        if (sigaction(kCrashSignals[i], nullptr, &current) != 0 ||
            ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == onFatalSignal))
            continue;
        previousActions[i] = current;
        sigaction(kCrashSignals[i], &ours, nullptr);
    }
}

// A queue for the crash drain; none when every slot is taken (the queue
// then waits for the next opener).
void watchForCrash(AsyncVars &v) {
    installCrashHandler();
    for (std::atomic<AsyncVars *> &slot : crashSlots) {
        AsyncVars *empty = nullptr;
        if (slot.compare_exchange_strong(empty, &v)) return;
    }
}

void unwatch(AsyncVars &v) {
    for (std::atomic<AsyncVars *> &slot : crashSlots) {
        AsyncVars *mine = &v;
        slot.compare_exchange_strong(mine, nullptr);
    }
}

void closeAsync(AsyncVars &v) {
    if (!v.isOpen) return;
    unwatch(v);
    if (v.owner == currentPid()) {
        stopWriter(v);
        drainAll(v);
        if (v.queue != nullptr && v.queue->empty()) v.queue->remove();
    } else {
        // The parent's thread, which does not run here: its handle is
        // forgotten, not joined or detached, and its mutex and condition
        // made anew (the thread may have held the mutex at the fork).
        new (&v.writer) std::thread();
        new (&v.mutex) std::mutex();
        new (&v.wake) std::condition_variable();
        v.pending = false;
        v.idle = false;
    }
    v.queue.reset();  // a queue not written out stays for the next opener
    kvlIntlReleaseObject(v.target);
    v.target = nullptr;
    v.isOpen = false;
    v.synchronous = false;
    auto &open = openHandlers();
    open.erase(std::remove(open.begin(), open.end(), &v), open.end());
}

void closeAll() {
    for (AsyncVars *v : std::vector<AsyncVars *>(openHandlers()))
        closeAsync(*v);
}

void closeAllAtExit() {
    KvlApiLock lock;
    if (lock) closeAll();
}

void openAsync(KvlObject *handler, AsyncVars &v) {
    v.isOpen = true;
    v.owner = currentPid();
    openHandlers().push_back(&v);
    static const bool atExit = std::atexit(closeAllAtExit) == 0;
    (void)atExit;
    KvlObject *target =
        v.targetName.empty() ? nullptr : kvlIntlGetObject(v.targetName.c_str(), nullptr);
    if (!kvlObjectIsKind(target, KVL_KIND_HANDLER) || target == handler ||
        target->klass->internals.writer == nullptr) {
        kvlIntlReleaseObject(target);
        if (!v.targetReported)
            report(kvlmsg::KVLAQ0137W, KVL_ARG_STRING, handler->name, KVL_ARG_STRING,
                   v.targetName.c_str());
        v.targetReported = true;
        return;
    }
    v.target = target;
    const std::string targetFile = kvl::activeFileName(target);
    const std::string dir = queueDirectory(v, targetFile);
    CxFilePath path{};
    if (CxInitFilePath(&path, dir.c_str()) == 1) CxFilePathMkdirs(&path, 0771);
    v.name = handler->name;
    v.dir = dir;
    recoverOrphans(v);
    std::string error;
    v.queue = QueueFile::create(dir, handler->name, targetFile, static_cast<uint64_t>(v.queueSize),
                                error);
    if (v.queue == nullptr) {
        v.synchronous = true;
        report(kvlmsg::KVLAQ0136W, KVL_ARG_STRING, handler->name, KVL_ARG_STRING, dir.c_str(),
               KVL_ARG_STRING, error.c_str());
        return;
    }
    kvlAPIMutexGuardForks();
    v.batchTexts.reserve(kvl::queue::kPeekRecords);
    v.batchEnds.reserve(kvl::queue::kPeekRecords);
    // Ready before the first record: its formatter is the one records are
    // made with (a handler may put its own in place when first made ready),
    // and its output is open for a crash before the first batch.
    v.target->klass->internals.writer->prepare(v.target);
    if (v.drainOnCrash) watchForCrash(v);
    v.writer = std::thread(writerLoop, &v, v.maxDelay);
}

KvlPrepared prepareAsync(KvlObject *handler) {
    AsyncVars *v = varsOf(handler);
    if (v == nullptr) return KvlPrepared::kSkip;
    if (v->isOpen && v->owner != currentPid()) closeAsync(*v);  // a forked child
    if (!v->isOpen) openAsync(handler, *v);
    if (v->target == nullptr) return KvlPrepared::kClosed;
    // The text is the target's: made with its formatter.
    KvlObject *formatter = kvlIntlHandlerGetFormatter(v->target);
    if (formatter != handler->formatter) kvlIntlHandlerSetFormatter(handler, formatter);
    kvlIntlReleaseObject(formatter);
    return KvlPrepared::kReady;
}

void queueText(KvlObject *handler, std::string_view text) {
    AsyncVars &v = *varsOf(handler);
    if (v.synchronous || !v.queue->fits(text.size())) {
        drainAll(v);  // what is queued goes first
        writeThrough(v, {&text, 1});
        return;
    }
    if (!v.queue->push(text)) {
        if (!v.dropWhenFull) drainAll(v);
        if (v.dropWhenFull || !v.queue->push(text)) {  // dropped, or the target refuses
            ++v.dropped;
            return;
        }
    }
    if (v.dropped > 0) {
        report(kvlmsg::KVLAQ0134W, KVL_ARG_LONG, static_cast<long>(v.dropped), KVL_ARG_STRING,
               handler->name);
        v.dropped = 0;
    }
    if (v.syncThis) {
        drainAll(v);
        return;
    }
    if (!v.idle.load()) return;  // the writer will look at the queue anyway
    {
        std::lock_guard<std::mutex> lock(v.mutex);
        v.pending = true;
    }
    v.wake.notify_one();
}

// ---- Properties -------------------------------------------------------------

template <std::string AsyncVars::*Field>
void applyText(KvlObject *handler, const kvl::PropertyValue &value) {
    if (AsyncVars *v = varsOf(handler)) v->*Field = value.text != nullptr ? value.text : "";
}
void applyQueueSize(KvlObject *handler, const kvl::PropertyValue &value) {
    if (AsyncVars *v = varsOf(handler); v != nullptr && value.readable)
        v->queueSize = static_cast<int64_t>(kvl::queue::ringSizeFor(value.integer));
}
void applyOverflow(KvlObject *handler, const kvl::PropertyValue &value) {
    if (AsyncVars *v = varsOf(handler); v != nullptr && value.readable)
        v->dropWhenFull = value.integer == 1;
}
void applySyncLevel(KvlObject *handler, const kvl::PropertyValue &value) {
    if (AsyncVars *v = varsOf(handler); v != nullptr && value.readable)
        v->syncLevel = static_cast<int32_t>(value.integer);
}
void applyDrainOnCrash(KvlObject *handler, const kvl::PropertyValue &value) {
    if (AsyncVars *v = varsOf(handler); v != nullptr && value.readable)
        v->drainOnCrash = value.integer == 1;
}
void applyMaxDelay(KvlObject *handler, const kvl::PropertyValue &value) {
    if (AsyncVars *v = varsOf(handler); v != nullptr && value.readable)
        v->maxDelay = static_cast<int32_t>(std::clamp<int64_t>(value.integer, 0, 60000));
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

constexpr std::string_view kOverflowWords[] = {"BLOCK", "DROP"};

// A change to the target, the queue or the writer closes the handler first
// (its queue written out); the next record opens it with the new settings.
constexpr kvl::PropertyDef kAsyncHandlerDefs[] = {
    {"targetName", PropertyKind::kObject, "", WhenAbsent::kClears, Closes::kYes,
     applyText<&AsyncVars::targetName>},
    {"queueDir", PropertyKind::kString, "", WhenAbsent::kClears, Closes::kYes,
     applyText<&AsyncVars::queueDir>},
    {"queueSize", PropertyKind::kLong, kvl::kDecimalText<kDefaultQueueSize>.data(),
     WhenAbsent::kDefault, Closes::kYes, applyQueueSize},
    {"overflow", PropertyKind::kEnumeration, kOverflowWords[0], WhenAbsent::kDefault, Closes::kNo,
     applyOverflow, kOverflowWords},
    {"syncLevel", PropertyKind::kLevel, "OFF", WhenAbsent::kDefault, Closes::kNo, applySyncLevel},
    {"maxDelay", PropertyKind::kInteger, "0", WhenAbsent::kDefault, Closes::kYes, applyMaxDelay},
    {"drainOnCrash", PropertyKind::kBoolean, "true", WhenAbsent::kDefault, Closes::kYes,
     applyDrainOnCrash},
};

}  // namespace

const KvlHandlerWriter kvl::kAsyncHandlerWriter = {prepareAsync, queueText, nullptr, nullptr,
                                                   nullptr};
constexpr kvl::PropertyTable kvl::kAsyncHandlerProperties = {kAsyncHandlerDefs,
                                                             &kvl::kObjectProperties};

void kvl::closeAsyncHandlers() noexcept { closeAll(); }

extern "C" {

void *KvlAsyncHandlerFAllocVars(void) noexcept { return new (std::nothrow) AsyncVars; }

void KvlAsyncHandlerFFreeVars(void *vars) noexcept {
    auto *v = static_cast<AsyncVars *>(vars);
    if (v != nullptr) closeAsync(*v);  // normally closed already, with its object
    delete v;
}

void KvlAsyncHandlerFCfgChange(KvlObject *handler, const char *name) noexcept {
    kvl::configure(handler, name, kvl::kAsyncHandlerProperties);
}

KvlObject *KvlAsyncHandlerFProcess(KvlObject *handler, KvlEvent *event) noexcept {
    AsyncVars *v = varsOf(handler);
    if (v == nullptr) return handler;
    const int32_t level = KvlGetEventLevel(event);
    v->syncThis = v->syncLevel != KVL_LEVEL_OFF && level != KVL_LEVEL_NONE && level >= v->syncLevel;
    return kvl::handleEvent(handler, event);
}

KvlObject *KvlAsyncHandlerFOpen(KvlObject *handler) noexcept {
    if (AsyncVars *v = varsOf(handler); v != nullptr && !v->isOpen) openAsync(handler, *v);
    return handler;
}

KvlObject *KvlAsyncHandlerFClose(KvlObject *handler) noexcept {
    if (AsyncVars *v = varsOf(handler)) closeAsync(*v);
    return handler;
}

}  // extern "C"
