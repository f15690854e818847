// The asynchronous handler: every record reaches the target's file whole
// and in each thread's order; a full queue blocks or drops (and reports the
// drops once); a record at the sync level is in the file, after everything
// before it, when its call returns; a crashing process writes its queue
// before it dies, and the queue of one killed with SIGKILL is written by
// the next opener before its own records, or by a process that has the
// handler open within seconds; records a full disk refuses wait in the
// queue; a queue that cannot be made, or a target that does not exist, is
// reported once; no queue file is left behind.

#include "kvlmsg_keys.h"
#include "toolkit_test.h"

namespace {

class KvlAsyncHandlerTest : public vrxtest::ToolkitTest {
protected:
    // Opens the toolkit with logger "a" writing through the asynchronous
    // handler "a.q" to the file handler "a.file" (one line per record).
    void open(const std::string &extra) {
        const std::string props = dir.path() + "/log.properties";
        vrxtest::writeFile(props,
                           "a.className=kvl_basiclogger\na.level=ALL\na.listenerNames=a.q\n"
                           "a.q.className=kvl_asynchandler\na.q.targetName=a.file\n"
                           "a.file.className=kvl_filehandler\na.file.fileName=" +
                               log() +
                               "\na.file.maxFileSize=100000000\n"
                               "a.fmt.className=kvl_zemtraceformatter\n"
                               "a.file.formatterName=a.fmt\n" +
                               extra);
        ASSERT_EQ(KvlOpenToolkit(props.c_str()), 1);
        logger = KvlGetObject("a", nullptr);
    }
    void close() {
        KvlReleaseObject(logger);
        logger = nullptr;
        KvlCloseToolkit();
    }
    void logText(const std::string &text, int32_t level = KVL_LEVEL_INFO) {
        KvlLogText(logger, "%s", level, KVL_ARG_STRING, text.c_str(), KVL_ARG_END);
    }
    std::string log() const { return dir.path() + "/a.log"; }
    // The record texts in the log, in order.
    std::vector<std::string> records() const {
        std::vector<std::string> out;
        const std::string text = vrxtest::readFile(log()).value_or("");
        static const std::regex record("<([^<>]*)>");
        for (std::sregex_iterator it(text.begin(), text.end(), record), end; it != end; ++it)
            out.push_back((*it)[1]);
        return out;
    }
    // How many records the log holds once it holds `count` (or 10 s later).
    size_t recordsOnceThere(size_t count) const {
        for (int waited = 0; records().size() < count && waited < 400; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return records().size();
    }
    // Forks once the writer thread has written `count` records and gone
    // idle: the sanitizers' allocator is not locked around a fork, so a
    // child forked while that thread allocates can hang in its first malloc.
    template <class Body>
    pid_t forkOnceWritten(size_t count, Body body) const {
        EXPECT_EQ(recordsOnceThere(count), count);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return vrxtest::startChild(body);
    }
    size_t queueFiles() const {
        size_t n = 0;
        for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
            n += entry.path().extension() == ".kvlq";
        return n;
    }

    vrxtest::TempDir dir;
    KvlObject *logger = nullptr;
};

std::string tagged(int thread, int n) {
    return "<t" + std::to_string(thread) + "-" + std::to_string(n) + ">";
}

TEST_F(KvlAsyncHandlerTest, EveryRecordArrivesWholeAndInEachThreadsOrder) {
    open("");
    constexpr int kThreads = 4, kRecords = 3000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this, t] {
            for (int n = 0; n < kRecords; ++n)
                logText(tagged(t, n) + std::string(static_cast<size_t>(n % 200), 'x'));
        });
    for (std::thread &thread : threads)
        thread.join();
    close();
    std::vector<int> next(kThreads, 0);
    const std::vector<std::string> got = records();
    ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kRecords));
    for (const std::string &record : got) {
        const int t = record[1] - '0';
        ASSERT_EQ(record, tagged(t, next[t]).substr(1, tagged(t, next[t]).size() - 2));
        ++next[t];
    }
    EXPECT_EQ(queueFiles(), 0u);
}

// Batches roll the set over as records one by one would: no record is
// split, a file exceeds its limit by at most one record, and the set holds
// every record in order (the file handler, and the multi-process one under
// its semaphore).
TEST_F(KvlAsyncHandlerTest, BatchesRollOverAsRecordsWould) {
    vrxtest::PrivateKey key(0x51);
    for (const char *handlerClass : {"kvl_filehandler", "kvl_multiproc_filehandler"}) {
        for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().extension() == ".log") std::filesystem::remove(entry.path());
        open("a.q.maxDelay=20\na.file.maxFileSize=2000\na.file.maxFiles=60\na.file.className=" +
             std::string(handlerClass) + "\na.file.MPFileSemKey=" + std::to_string(key.key()) +
             "\n");
        for (int n = 0; n < 600; ++n)
            logText("<" + std::to_string(n) + ">" + std::string(static_cast<size_t>(n % 50), '-'));
        close();
        std::vector<std::string> got;
        for (int file = 59; file >= 0; --file) {
            const std::string name =
                dir.path() + "/a" + (file == 0 ? std::string() : std::to_string(file)) + ".log";
            const auto text = vrxtest::readFile(name);
            if (!text) continue;
            EXPECT_LE(text->size(), 2000u + 200u) << handlerClass << " " << name;
            std::regex record("<([0-9]+)>");
            for (std::sregex_iterator it(text->begin(), text->end(), record), end; it != end; ++it)
                got.push_back((*it)[1]);
        }
        ASSERT_EQ(got.size(), 600u) << handlerClass;
        for (int n = 0; n < 600; ++n)
            ASSERT_EQ(got[static_cast<size_t>(n)], std::to_string(n)) << handlerClass;
    }
}

// The writer thread waits a minute before it writes: what is in the file
// is what the callers wrote themselves. 100 records of about 1 KiB go into
// a 64 KiB queue.
TEST_F(KvlAsyncHandlerTest, AFullQueueBlocksOrDropsAndTheSyncLevelWritesThrough) {
    enum class In { kNone, kSome, kAll };
    const struct {
        const char *settings;
        In beforeClose;  // of the 100 (and the error record)
        In atEnd;        // of the 100 and the last record
        int dropReports;
    } rows[] = {
        {"", In::kSome, In::kAll, 0},  // a call finding the queue full writes it out
        {"a.q.overflow=DROP\n", In::kNone, In::kSome, 1},  // said once, at the next record queued
        {"a.q.syncLevel=ERROR\n", In::kAll, In::kAll, 0},  // the error writes all before it
    };
    constexpr size_t kRecords = 100;
    const auto check = [](In in, size_t count, size_t all, const char *what) {
        const size_t low = in == In::kAll ? all : in == In::kSome ? 1 : 0;
        const size_t high = in == In::kAll ? all : in == In::kSome ? all - 1 : 0;
        EXPECT_TRUE(count >= low && count <= high) << what << ": " << count;
    };
    for (const auto &row : rows) {
        vrxtest::RaisedMessages raised;
        std::filesystem::remove(log());
        open(std::string("a.q.queueSize=65536\na.q.maxDelay=60000\n") + row.settings);
        for (size_t n = 0; n < kRecords; ++n)
            logText("<" + std::to_string(n) + ">" + std::string(1000, '.'));
        logText("<last>", KVL_LEVEL_ERROR);
        check(row.beforeClose, records().size(), kRecords + 1, row.settings);
        close();
        const std::vector<std::string> got = records();
        check(row.atEnd, got.size(), kRecords + 1, row.settings);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), "last") << row.settings;
        const auto keys = raised.take();
        EXPECT_EQ(std::count(keys.begin(), keys.end(), kvlmsg::KVLAQ0134W), row.dropReports)
            << row.settings;
        EXPECT_EQ(queueFiles(), 0u);
    }
}

// The chained action of the crash rows: it leaves a mark and dies by the
// signal.
std::string chainedMark;
void markAndDie(int signal) {
    const int fd = ::open(chainedMark.c_str(), O_CREAT | O_WRONLY, 0600);
    if (fd >= 0) ::close(fd);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// A process that dies with records queued: a fatal signal writes them
// into the target's file before the process goes (a raised signal and a
// real fault take the two ways back to the previous action), unless the
// crash drain is off; SIGKILL, or a crash without the drain, leaves the
// queue to the next opener, which writes it before its own records.
TEST_F(KvlAsyncHandlerTest, AProcessThatDiesLosesNoQueuedRecord) {
    enum class Death { kKill, kRaiseSegv, kFault, kAbort };
    const struct {
        const char *name;
        Death death;
        const char *settings;
        bool chained;  // an action installed before the handler opened
        int signal;
        bool drained;  // the records are in the file before the next opener
    } rows[] = {
        {"SIGKILL", Death::kKill, "", false, SIGKILL, false},
        {"raised SIGSEGV", Death::kRaiseSegv, "", false, SIGSEGV, true},
        {"fault", Death::kFault, "", false, SIGSEGV, true},
        {"abort", Death::kAbort, "", false, SIGABRT, true},
        {"chained", Death::kRaiseSegv, "", true, SIGSEGV, true},
        {"drain off", Death::kRaiseSegv, "a.q.drainOnCrash=false\n", false, SIGSEGV, false},
    };
    chainedMark = dir.path() + "/chained";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(log());
        std::filesystem::remove(chainedMark);
        // A page that may not be written: a real fault, not a raised signal.
        auto *const noAccess = static_cast<volatile char *>(
            mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        const pid_t child = vrxtest::startChild([&] {
            for (int signal : {SIGSEGV, SIGABRT})  // not the sanitizers' own
                std::signal(signal, row.chained ? markAndDie : SIG_DFL);
            open(std::string("a.q.maxDelay=60000\n") + row.settings);
            for (int n = 0; n < 500; ++n)
                logText("<k" + std::to_string(n) + ">");
            switch (row.death) {
                case Death::kKill:
                    raise(SIGKILL);
                    break;
                case Death::kRaiseSegv:
                    raise(SIGSEGV);
                    break;
                case Death::kFault:
                    *noAccess = 1;
                    break;
                case Death::kAbort:
                    std::abort();
            }
            return 0;
        });
        ASSERT_EQ(vrxtest::waitChild(child), 128 + row.signal);
        EXPECT_EQ(std::filesystem::exists(chainedMark), row.chained);
        EXPECT_EQ(records().size(), row.drained ? 500u : 0u);
        EXPECT_EQ(queueFiles(), row.drained ? 0u : 1u);
        open("");
        logText("<after>");
        close();
        const std::vector<std::string> got = records();
        ASSERT_EQ(got.size(), 501u);
        for (int n = 0; n < 500; ++n)
            ASSERT_EQ(got[static_cast<size_t>(n)], "k" + std::to_string(n));
        EXPECT_EQ(got.back(), "after");
        EXPECT_EQ(queueFiles(), 0u);
    }
}

// A child forked while the handler runs leaves the parent's queue and
// thread alone and queues its records in a queue of its own, written out
// when it exits.
TEST_F(KvlAsyncHandlerTest, AForkedChildQueuesItsOwnRecords) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start a thread in the child of a threaded process";
#endif
    open("");
    logText("<parent0>");
    const pid_t child = forkOnceWritten(1, [this] {
        for (int n = 0; n < 100; ++n)
            logText("<child" + std::to_string(n) + ">");
        std::exit(0);  // the exit hook writes the queue out
        return 0;
    });
    EXPECT_EQ(vrxtest::waitChild(child), 0);
    logText("<parent1>");
    close();
    const std::vector<std::string> got = records();
    EXPECT_EQ(got.size(), 102u);
    EXPECT_EQ(std::count(got.begin(), got.end(), "parent1"), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), "child99"), 1);
    EXPECT_EQ(queueFiles(), 0u);
}

// A process that keeps the handler open writes the queue of one that died
// meanwhile within a few seconds.
TEST_F(KvlAsyncHandlerTest, AnOpenHandlerWritesTheQueuesOfProcessesThatDie) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start a thread in the child of a threaded process";
#endif
    open("");
    logText("<parent>");
    const pid_t child = forkOnceWritten(1, [this] {
        KvlSetObjProp(KvlGetObject("a.q", nullptr), "maxDelay", "60000");
        for (int n = 0; n < 50; ++n)
            logText("<child" + std::to_string(n) + ">");
        raise(SIGKILL);
        return 0;
    });
    ASSERT_EQ(vrxtest::waitChild(child), 128 + SIGKILL);
    EXPECT_EQ(recordsOnceThere(51), 51u);
    EXPECT_EQ(queueFiles(), 1u) << "the parent's own";
    close();
    EXPECT_EQ(queueFiles(), 0u);
}

// A target that cannot write (its file at the size limit, as on a full
// disk) leaves the records in the queue, in order, and they are written
// once it can again.
TEST_F(KvlAsyncHandlerTest, RecordsWaitInTheQueueWhileTheTargetCannotWrite) {
    open("");
    logText("<r0>");
    ASSERT_EQ(recordsOnceThere(1), 1u);
    {
        // room for a record and a half: what a batch wrote is cut back
        vrxtest::FileSizeLimit full(std::filesystem::file_size(log()) * 3 / 2 + 10);
        for (int n = 1; n <= 200; ++n)
            logText("<r" + std::to_string(n) + ">");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // refused, tried again
        EXPECT_EQ(records().size(), 1u);
        EXPECT_EQ(vrxtest::readFile(log())->back(), '\n');
    }
    EXPECT_EQ(recordsOnceThere(201), 201u);
    close();
    const std::vector<std::string> got = records();
    ASSERT_EQ(got.size(), 201u);
    for (int n = 0; n <= 200; ++n)
        EXPECT_EQ(got[static_cast<size_t>(n)], "r" + std::to_string(n));
    EXPECT_EQ(queueFiles(), 0u);
}

// Without a queue the records are written at once; without a target they
// go nowhere; each is said once.
TEST_F(KvlAsyncHandlerTest, NoQueueOrNoTargetIsReportedOnce) {
    const struct {
        const char *settings;
        int32_t key;
        size_t inFile;
    } rows[] = {
        {"a.q.queueDir=/proc/self/no/such\n", kvlmsg::KVLAQ0136W, 3},
        {"a.q.targetName=nothing\n", kvlmsg::KVLAQ0137W, 0},
    };
    for (const auto &row : rows) {
        vrxtest::RaisedMessages raised;
        std::filesystem::remove(log());
        open(row.settings);
        for (int n = 0; n < 3; ++n)
            logText("<" + std::to_string(n) + ">");
        EXPECT_EQ(records().size(), row.inFile) << row.settings;
        close();
        const auto keys = raised.take();
        EXPECT_EQ(std::count(keys.begin(), keys.end(), row.key), 1) << row.settings;
    }
}

}  // namespace
