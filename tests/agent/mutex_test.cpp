// The agent's locks: the plain mutex, the timed lock's deadline, pipe
// semaphores and the condition that must never lose a waiter.
#include <poll.h>

#include "mutex.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Whether a take would succeed right now, without taking.
bool readable(const slm_sem &s) {
    pollfd p{s.readEnd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

// Waits (bounded) until a condition holds; the bound only keeps a broken
// build from hanging.
template <class F>
bool eventually(F condition) {
    for (auto end = Clock::now() + 10s; Clock::now() < end; std::this_thread::sleep_for(1ms))
        if (condition()) return true;
    return false;
}

TEST(MutexTest, PlainMutexSerialises) {
    slm_mutex *mutex = createMutex();
    ASSERT_NE(mutex, nullptr);
    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                lockMutex(mutex);
                ++total;
                unlockMutex(mutex);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(total, 40000);
    EXPECT_EQ(lockMutex(nullptr), 1);
    EXPECT_EQ(unlockMutex(nullptr), 1);
    deleteMutex(mutex);
}

TEST(TimedLockTest, TimesOutNearItsDeadlineOrIsTakenWhenFreed) {
    slm_to_mutex *lock = createTOMutex();
    ASSERT_EQ(lockMutexTimeout(lock, 1), 0);
    const auto start = Clock::now();
    std::thread([&] { EXPECT_EQ(lockMutexTimeout(lock, 1), 2); }).join();
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 2500ms) << "a 1 s wait ends near its deadline";

    std::atomic<int> result{-1};
    std::thread waiter([&] { result = lockMutexTimeout(lock, 20); });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(result, -1) << "must wait while the lock is held";
    const auto freed = Clock::now();
    unlockTOMutex(lock);
    waiter.join();
    EXPECT_EQ(result, 0);
    EXPECT_LT(Clock::now() - freed, 5s);
    EXPECT_EQ(lockMutexTimeout(lock, 0), 2) << "the waiter holds it now";
    unlockTOMutex(lock);
    EXPECT_EQ(lockMutexTimeout(nullptr, 1), 1);
    deleteTOMutex(lock);
}

TEST(SemaphoreTest, CountsTakesAndGives) {
    const struct {
        int initial;
        int result;
    } cases[] = {{0, 0}, {1, 0}, {3, 0}, {-2, 0}, {1 << 30, 1}};
    for (const auto &c : cases) {
        slm_sem s{-1, -1};
        ASSERT_EQ(createSem(&s, c.initial), c.result) << c.initial;
        if (c.result != 0) continue;
        EXPECT_TRUE(fcntl(s.readEnd, F_GETFD) & FD_CLOEXEC) << "never inherited";
        EXPECT_TRUE(fcntl(s.writeEnd, F_GETFD) & FD_CLOEXEC);
        for (int i = 0; i < std::max(c.initial, 0); ++i) {
            ASSERT_TRUE(readable(s));
            ASSERT_EQ(waitSem(&s), 0);
        }
        EXPECT_FALSE(readable(s)) << c.initial << ": a further take would block";
        deleteSem(&s);
    }
}

TEST(SemaphoreTest, TakeBlocksUntilGive) {
    slm_sem s{-1, -1};
    ASSERT_EQ(createSem(&s, 0), 0);
    std::atomic<bool> taken{false};
    std::thread taker([&] {
        waitSem(&s);
        taken = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(taken);
    postSem(&s);
    taker.join();
    EXPECT_TRUE(taken);
    deleteSem(&s);
}

// Waiters on the condition, each holding the shared lock around the wait as
// the child-process layer does.
class ConditionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(createSem(&lock_, 1), 0);
        ASSERT_EQ(createCond(&cond_), 0);
    }
    void TearDown() override {
        for (auto &t : threads_)
            t.join();
        deleteCond(&cond_);
        deleteSem(&lock_);
    }
    void startWaiter() {
        threads_.emplace_back([this] {
            waitSem(&lock_);
            waitCond(&cond_, &lock_);
            ++woken_;
            postSem(&lock_);
        });
    }
    int waiting() {
        waitSem(&cond_.gate);
        const int n = std::atomic_ref<int>(cond_.waiters).load();
        postSem(&cond_.gate);
        return n;
    }
    void broadcast() {
        waitSem(&lock_);
        broadcastCond(&cond_);
        postSem(&lock_);
    }

    slm_sem lock_{-1, -1};
    slm_cond cond_{};
    std::vector<std::thread> threads_;
    std::atomic<int> woken_{0};
};

TEST_F(ConditionTest, ReleasesAllWaitersPresentAndNoLaterOne) {
    broadcast();  // nobody waits: lost, as every broadcast for a later waiter
    broadcast();
    for (int i = 0; i < 4; ++i)
        startWaiter();
    ASSERT_TRUE(eventually([&] { return waiting() == 4; }));
    broadcast();
    ASSERT_TRUE(eventually([&] { return woken_ == 4; }));

    startWaiter();  // arrives after the broadcast
    ASSERT_TRUE(eventually([&] { return waiting() == 1; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(woken_, 4);
    broadcast();
    EXPECT_TRUE(eventually([&] { return woken_ == 5; }));
}

TEST_F(ConditionTest, RepeatedRoundsNeverLoseAWaiter) {
    for (int round = 1; round <= 50; ++round) {
        for (int i = 0; i < 3; ++i)
            startWaiter();
        ASSERT_TRUE(eventually([&] { return waiting() == 3; })) << round;
        broadcast();
        ASSERT_TRUE(eventually([&] { return woken_ == 3 * round; })) << round;
    }
}

}  // namespace
