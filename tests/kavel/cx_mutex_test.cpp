// The mutex, the semaphore lock across real processes, and the toolkit's API
// mutex shared by threads. Every semaphore test uses a key private to this
// run and removes its set at the end.
#include <pthread.h>
#include <sys/ipc.h>

#include "sem_holder.h"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

// Whether the set under `key` opens, locks and unlocks now.
bool usable(int32_t key) {
    CxSem sem = -1;
    return ok(CxSemOpen(&sem, key)) && ok(CxSemLock(&sem)) && ok(CxSemUnlock(&sem));
}

TEST(CxMutexTest, LifecycleAndNullHandles) {
    CxMutex mutex = nullptr;
    ASSERT_TRUE(ok(CxMutexCreate(&mutex)));
    EXPECT_TRUE(ok(CxMutexLock(&mutex)));
    EXPECT_TRUE(ok(CxMutexUnlock(&mutex)));
    EXPECT_TRUE(ok(CxMutexDestroy(&mutex)));
    EXPECT_EQ(mutex, nullptr);

    const struct {
        const char *call;
        CxPlatformErr result;
    } cases[] = {
        {"Create(null)", CxMutexCreate(nullptr)},
        {"Lock(null mutex)", CxMutexLock(&mutex)},
        {"Unlock(null mutex)", CxMutexUnlock(&mutex)},
        {"Destroy(null mutex)", CxMutexDestroy(&mutex)},
        // clang-format off
        {"Destroy(null)", CxMutexDestroy(nullptr)}, {"Lock(null)", CxMutexLock(nullptr)},
        {"SemOpen(null)", CxSemOpen(nullptr, 1)}, {"SemLock(null)", CxSemLock(nullptr)},
        {"SemUnlock(null)", CxSemUnlock(nullptr)}, {"SemClose(null)", CxSemClose(nullptr)},
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.result.kind, CX_PLATFORM_ERR_PLATFORM) << c.call;
        EXPECT_EQ(c.result.code, EINVAL) << c.call;
    }
}

TEST(CxSemTest, CreatorAndAttacherShareOneSet) {
    PrivateKey key(1);
    CxSem sem = -1;
    ASSERT_TRUE(ok(CxSemOpen(&sem, key.key())));
    EXPECT_EQ(key.value(), 1) << "created free";
    EXPECT_EQ(waitChild(startChild([&] {
                  CxSem other = -1;
                  return ok(CxSemOpen(&other, key.key())) && other == sem ? 0 : 1;
              })),
              0)
        << "another process attaches to the same set";

    const CxSem id = sem;
    EXPECT_TRUE(ok(CxSemClose(&sem)));
    EXPECT_EQ(sem, -1);
    EXPECT_EQ(semget(key.key(), 1, 0), id) << "the set outlives its users";
    CxSem again = -1;
    EXPECT_TRUE(ok(CxSemOpen(&again, key.key()))) << "a later opener attaches at once";
    EXPECT_EQ(again, id);
}

TEST(CxSemTest, ProcessesIncrementASharedCounterExactly) {
    PrivateKey key(2);
    TempDir tmp;
    const std::string counter = tmp / "counter";
    vrxtest::writeFile(counter, "0");
    constexpr int kProcesses = 4;
    constexpr int kRounds = 250;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(vrxtest::startChild([&] {
            // All open at once: one creates, the others attach and wait.
            CxSem sem = -1;
            if (!ok(CxSemOpen(&sem, key.key()))) return 1;
            for (int i = 0; i < kRounds; ++i) {
                if (!ok(CxSemLock(&sem))) return 2;
                FILE *f = std::fopen(counter.c_str(), "r+");
                long value = 0;
                if (f == nullptr || std::fscanf(f, "%ld", &value) != 1) return 3;
                std::rewind(f);
                std::fprintf(f, "%ld", value + 1);
                std::fclose(f);
                if (!ok(CxSemUnlock(&sem))) return 4;
            }
            return 0;
        }));
    }
    for (pid_t pid : children)
        EXPECT_EQ(vrxtest::waitChild(pid), 0);
    EXPECT_EQ(vrxtest::readFile(counter).value_or(""), std::to_string(kProcesses * kRounds));
    EXPECT_EQ(key.value(), 1);
}

TEST(CxSemTest, AHolderKilledWithSigkillReleasesTheLock) {
    PrivateKey key(3);
    Holder holder(key.key());
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(key.value(), 0);
    holder.kill9();
    holder.wait();
    EXPECT_EQ(key.value(), 1) << "the undo gave it back";
    EXPECT_TRUE(usable(key.key()));
}

std::atomic<int> interruptions{0};
void countInterruption(int) { ++interruptions; }

// A lock attempt on a set another process holds, on a thread of its own
// whose waits SIGUSR1 interrupts (no SA_RESTART: semop fails with EINTR).
class InterruptedLocker {
public:
    explicit InterruptedLocker(int32_t key) {
        struct sigaction action {};
        action.sa_handler = countInterruption;
        sigemptyset(&action.sa_mask);
        sigaction(SIGUSR1, &action, &previous_);
        interruptions = 0;
        opened_ = ok(CxSemOpen(&sem_, key));
        thread_ = std::thread([this] {
            result_ = CxSemLock(&sem_);
            done_ = true;
        });
    }
    ~InterruptedLocker() {
        if (thread_.joinable()) thread_.join();
        sigaction(SIGUSR1, &previous_, nullptr);
    }
    bool opened() const { return opened_; }
    bool done() const { return done_; }
    void interrupt() { pthread_kill(thread_.native_handle(), SIGUSR1); }
    CxPlatformErr join() {
        thread_.join();
        return result_;
    }
    CxSem &sem() { return sem_; }

private:
    struct sigaction previous_ {};
    CxSem sem_ = -1;
    bool opened_ = false;
    std::atomic<bool> done_{false};
    CxPlatformErr result_{};
    std::thread thread_;
};

TEST(CxSemTest, AnInterruptedLockIsRetried) {
    PrivateKey key(4);
    Holder holder(key.key());
    ASSERT_TRUE(holder.locked());
    InterruptedLocker locker(key.key());
    ASSERT_TRUE(locker.opened());
    // Interrupt the blocked semop, then let the holder go.
    for (int i = 0; i < 500 && semctl(locker.sem(), 0, GETNCNT) < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    locker.interrupt();
    for (int i = 0; i < 500 && interruptions == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    holder.release();
    const CxPlatformErr result = locker.join();
    EXPECT_GE(interruptions, 1);
    EXPECT_TRUE(ok(result)) << result.kind << " " << result.code;
    EXPECT_TRUE(ok(CxSemUnlock(&locker.sem())));
    EXPECT_EQ(holder.wait(), 0);
}

TEST(CxSemTest, ALockInterruptedAtEveryTryGivesUp) {
    PrivateKey key(7);
    Holder holder(key.key());
    ASSERT_TRUE(holder.locked());
    InterruptedLocker locker(key.key());
    ASSERT_TRUE(locker.opened());
    // Signals cut both the waits and the pauses between them short.
    while (!locker.done()) {
        locker.interrupt();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const CxPlatformErr result = locker.join();
    EXPECT_EQ(result.kind, CX_PLATFORM_ERR_PLATFORM) << "not reported as a lock";
    EXPECT_EQ(result.code, ETIME);
    EXPECT_EQ(key.value(), 0) << "still the holder's";
    holder.release();
    EXPECT_EQ(holder.wait(), 0);
}

TEST(CxSemTest, ASetNobodyOperatedOnTimesOut) {
    PrivateKey key(5);
    // Made directly, as a creator that died before initialising would leave it.
    const int id = semget(key.key(), 1, IPC_CREAT | IPC_EXCL | 0666);
    ASSERT_GE(id, 0);
    CxSem sem = -1;
    const CxPlatformErr result = CxSemOpen(&sem, key.key());
    EXPECT_EQ(result.kind, CX_PLATFORM_ERR_PLATFORM);
    EXPECT_EQ(result.code, ETIME);
    EXPECT_EQ(sem, id) << "the identifier stays stored";
}

TEST(CxSemTest, ACreatorThatExitsBeforeLockingLeavesAUsableSet) {
    PrivateKey key(6);
    ASSERT_EQ(waitChild(startChild([&] {
                  CxSem sem = -1;
                  return ok(CxSemOpen(&sem, key.key())) ? 0 : 1;
              })),
              0);
    EXPECT_TRUE(usable(key.key()));
}

// The containers' public functions serialise on the API mutex: threads
// putting into one map lose nothing (and, under ThreadSanitizer, race on
// nothing).
TEST(KvlApiMutexTest, ThreadsShareOneMap) {
    KvlStringToStringMap *map = KvlAllocStringToStringMap();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([map, t] {
            for (int i = 0; i < 500; ++i) {
                const std::string key = std::to_string(t) + "." + std::to_string(i);
                KvlStringToStringMapPut(map, key.c_str(), "v");
            }
        });
    for (auto &thread : threads)
        thread.join();
    int entries = 0;
    for (auto it = KvlStringToStringMapIterator(map); it != nullptr;
         it = KvlStringToStringMapIterNext(it))
        ++entries;
    EXPECT_EQ(entries, 2000);
    KvlFreeStringToStringMap(map);
}

// Threads getting, configuring and releasing shared and private objects
// while another closes and reopens the toolkit: handles held across a close
// are detached, never freed under their holder.
TEST(KvlApiMutexTest, ObjectsSurviveCloseAndReopenUnderThreads) {
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t)
        workers.emplace_back([t, &stop] {
            for (int i = 0; !stop && i < 2000; ++i) {
                KvlObject *shared = KvlGetObject("shared", "kvl_basiclogger");
                KvlSetObjProp(shared, "level", i % 2 ? "INFO" : "WARN");
                KvlIsLoggable(shared, KVL_LEVEL_ERROR);
                const std::string own = "own." + std::to_string(t) + "." + std::to_string(i);
                KvlObject *mine = KvlGetObject(own.c_str(), "kvl_filehandler");
                KvlAddListener(shared, mine);
                KvlReleaseObject(mine);
                KvlReleaseObject(shared);
            }
        });
    for (int round = 0; round < 20; ++round) {
        KvlCloseToolkit();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        KvlOpenToolkit(nullptr);
    }
    stop = true;
    for (auto &worker : workers)
        worker.join();
    KvlCloseToolkit();
}

// Four threads logging while another changes the logger's level, its
// "logging" switch and its listeners: the gate is read without the mutex,
// everything else happens under it.
TEST(KvlApiMutexTest, LoggingWhileTheLoggerChanges) {
    vrxtest::addRecordingHandlerClass();
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    KvlObject *logger = KvlGetObject("busy", "kvl_basiclogger");
    KvlObject *recorder = KvlGetObject("busy.recorder", "test_recordinghandler");
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([logger, &stop] {
            while (!stop) {
                KvlLogError(logger, nullptr, 0, 0, "%d", KVL_INT(1), KVL_ARG_END);
                KVL_DEBUG_MIN(logger, "debug %s", KVL_STR("x"));
            }
        });
    for (int i = 0; i < 300; ++i) {
        KvlSetObjProp(logger, "level", i % 2 ? "ERROR" : "ALL");
        KvlSetObjProp(logger, "logging", i % 3 ? "on" : "off");
        if (i % 2)
            KvlAddListener(logger, recorder);
        else
            KvlRemListener(logger, recorder);
    }
    stop = true;
    for (auto &thread : threads)
        thread.join();
    KvlReleaseObject(recorder);
    KvlReleaseObject(logger);
    KvlCloseToolkit();
    vrxtest::RecordingStore::instance().clear();
}

}  // namespace
