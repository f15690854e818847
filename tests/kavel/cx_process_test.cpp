// Processes, threads, the clock and host name of the runtime layer.

#include "toolkit_test.h"

namespace {

using namespace vrxtest;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(CxProcessTest, ExitStatuses) {
    const struct {
        const char *program;
        const char *script;
        CxProcessStatus expected;
    } cases[] = {
        {"/bin/sh", "exit 3", {1, 3, 0, 0}},
        {"/bin/sh", "kill -9 $$", {1, 0, 1, 9}},
        // A program that cannot run ends the child; it never returns here.
        {"/nonexistent/program", "", {1, 127, 0, 0}},
    };
    for (const auto &c : cases) {
        char *argv[] = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                        const_cast<char *>(c.script), nullptr};
        int32_t pid = 0;
        ASSERT_TRUE(ok(CxProcessCreate(&pid, c.program, argv)));
        ASSERT_GT(pid, 0);
        CxProcessStatus status{9, 9, 9, 9};
        ASSERT_TRUE(ok(CxProcessWaitFor(&pid, &status, 1)));
        EXPECT_EQ(status.ended, c.expected.ended) << c.script;
        EXPECT_EQ(status.exit_code, c.expected.exit_code) << c.script;
        EXPECT_EQ(status.signalled, c.expected.signalled) << c.script;
        EXPECT_EQ(status.signal, c.expected.signal) << c.script;
    }
}

TEST(CxProcessTest, NonBlockingWaitAndBadArguments) {
    char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("30"), nullptr};
    int32_t pid = 0;
    ASSERT_TRUE(ok(CxProcessCreate(&pid, "/bin/sleep", argv)));
    CxProcessStatus status{};
    EXPECT_TRUE(ok(CxProcessWaitFor(&pid, &status, 0)));
    EXPECT_EQ(status.ended, 0) << "still running";
    kill(pid, SIGKILL);
    EXPECT_TRUE(ok(CxProcessWaitFor(&pid, &status, 0x100 | 1)));
    EXPECT_EQ(status.signal, 9);

    // Ids that name no single process are refused, and the child's status
    // stays there for the wait that names it.
    char *trueArgv[] = {const_cast<char *>("true"), nullptr};
    int32_t child = 0;
    ASSERT_TRUE(ok(CxProcessCreate(&child, "/bin/true", trueArgv)));
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    for (int32_t bad : {-1, 0, -child}) {
        int32_t id = bad;
        EXPECT_EQ(code(CxProcessWaitFor(&id, &status, 1)), EINVAL) << bad;
    }
    EXPECT_TRUE(ok(CxProcessWaitFor(&child, &status, 1)));
    EXPECT_EQ(status.ended, 1);
    EXPECT_EQ(status.exit_code, 0);

    int32_t none = -1;
    EXPECT_EQ(code(CxProcessCreate(&none, "", argv)), EINVAL);
    EXPECT_EQ(code(CxProcessCreate(nullptr, "/bin/true", argv)), EINVAL);
    EXPECT_EQ(code(CxProcessRelease(0)), EINVAL);
    EXPECT_TRUE(ok(CxProcessRelease(pid)));
    EXPECT_EQ(CxProcessGetCurrentID(), getpid());
}

TEST(CxProcessTest, WorkingDirectory) {
    char buffer[4096];
    EXPECT_TRUE(ok(CxProcessGetCwd(buffer, sizeof buffer)));
    EXPECT_EQ(buffer[0], '/');
    char small[2] = "x";
    EXPECT_EQ(code(CxProcessGetCwd(small, sizeof small)), ERANGE);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(code(CxProcessGetCwd(nullptr, 10)), EINVAL);
}

// The host name services, replaced for the test.
const char *fakeShortName = "alpha";
bool resolverCalled = false;
int fakeHostName(char *buffer, size_t size) {
    if (std::strlen(fakeShortName) >= size) return -1;
    std::strcpy(buffer, fakeShortName);
    return 0;
}
const char *fakeCanonical = "alpha.example.test";
bool fakeResolve(const char *, char *canonical, size_t size) {
    resolverCalled = true;
    if (fakeCanonical == nullptr || std::strlen(fakeCanonical) >= size) return false;
    std::strcpy(canonical, fakeCanonical);
    return true;
}

TEST(CxSystemTest, FullyQualifiedHostName) {
    vrxtest::HostNameGuard fake(fakeHostName, fakeResolve);
    const struct {
        const char *shortName;
        const char *canonical;  // null: no answer
        size_t size;
        const char *expected;
        int errorCode;
        bool lookedUp;
    } cases[] = {
        {"alpha", "alpha.example.test", 256, "alpha.example.test", 0, true},
        {"beta.example.test", "ignored.example", 256, "beta.example.test", 0, false},
        {"gamma", nullptr, 256, "gamma", ENOSYS, true},
        {"delta", "delta", 256, "delta", 0, true},  // no dot in the answer: the short name
        {"alpha", "alpha.example.test", 10, "alpha", 0, true},  // does not fit: the short name
        {"a-very-long-host-name", "x", 8, "", ENOSYS, false},   // the name itself does not fit
    };
    for (const auto &c : cases) {
        fakeShortName = c.shortName;
        fakeCanonical = c.canonical;
        resolverCalled = false;
        char buffer[256] = "junk";
        const CxPlatformErr result = CxSystemGetFQHostname(buffer, c.size);
        EXPECT_STREQ(buffer, c.expected) << c.shortName;
        EXPECT_EQ(code(result), c.errorCode) << c.shortName;
        EXPECT_EQ(resolverCalled, c.lookedUp) << c.shortName;
    }
    EXPECT_EQ(code(CxSystemGetFQHostname(nullptr, 10)), EINVAL);
}

TEST(CxSystemTest, TimestampIsMillisecondsSinceTheEpoch) {
    const auto before = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const int64_t stamp = CxSystemGetTimestamp();
    EXPECT_GE(stamp, before - 1);
    EXPECT_LT(stamp, before + 60000);
    {
        vrxtest::ClockGuard fixed([] { return int64_t{1234567}; });
        EXPECT_EQ(CxSystemGetTimestamp(), 1234567);
    }
    EXPECT_GE(CxSystemGetTimestamp(), stamp) << "the guard restores the system clock";
}

void *addOne(void *arg) {
    ++*static_cast<std::atomic<int> *>(arg);
    return nullptr;
}

TEST(CxThreadTest, CreateJoinAndSleep) {
    std::atomic<int> counter{0};
    for (size_t stack : {size_t{0}, size_t{256 * 1024}}) {
        CxThreadId id{};
        ASSERT_TRUE(ok(CxThreadCreate(&id, stack, addOne, &counter)));
        EXPECT_TRUE(ok(CxThreadJoin(&id)));
    }
    EXPECT_EQ(counter, 2);
    CxThreadId id{};
    EXPECT_EQ(code(CxThreadCreate(&id, 16, addOne, &counter)), EINVAL) << "stack below the minimum";
    EXPECT_EQ(code(CxThreadCreate(nullptr, 0, addOne, &counter)), EINVAL);
    EXPECT_EQ(code(CxThreadCreate(&id, 0, nullptr, &counter)), EINVAL) << "nothing to run";
    EXPECT_EQ(CxHasThreadSupport(), 1);
    EXPECT_EQ(CxThreadGetCurrentID(), static_cast<int64_t>(gettid()));

    // The nearest whole second: 499 ms does not sleep, 500 ms and 1400 ms sleep one second.
    const struct {
        int32_t ms;
        bool sleeps;
    } sleeps[] = {{499, false}, {0, false}, {-5, false}, {500, true}};
    for (const auto &c : sleeps) {
        const auto start = Clock::now();
        CxThreadSleep(c.ms);
        const auto took = Clock::now() - start;
        if (c.sleeps)
            EXPECT_GE(took, 900ms) << c.ms;
        else
            EXPECT_LT(took, 400ms) << c.ms;
    }
}

TEST(CxInternalTraceTest, IndentsNestedCalls) {
    testing::internal::CaptureStderr();
    cxIntlTraceEnter("outer %d\n", 1);
    cxIntlTraceEnter("inner\n");
    cxIntlTracePoint("point %s\n", "x");
    cxIntlTraceLeave("inner\n");
    cxIntlTraceLeave("outer\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ENTER outer 1\n"
              "   ENTER inner\n"
              "      ... point x\n"
              "   LEAVE inner\n"
              "LEAVE outer\n");
    EXPECT_EQ(CX_INTERNAL_TRACE_INDENT, 0);
}

}  // namespace
