// The child-process layer: how commands end, what children inherit, pipes,
// the reaper, shutdown, and process and environment queries.

#include "system_unix.h"
#include "test_support.h"

namespace {

using namespace vrxtest;
using namespace std::chrono_literals;

class SlmSystemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(slm_system_init(), 0); }
    void TearDown() override { INXcfgDir[0] = '\0'; }
};

// A pid that is certainly not a process: one past the kernel's limit.
int impossiblePid() {
    const auto limit = readFile("/proc/sys/kernel/pid_max").value_or("4194304");
    return std::stoi(limit) + 1;
}

// The command line of a child once it has left the fork for its program.
// `program` is the line's start as far as it reaches past the program's
// name: in the middle of the exec the new name is there before the new
// arguments, and the name alone stands in for a line not there yet.
int cmdlineAfterExec(int pid, char *buffer, int size, const char *program) {
    for (int i = 0; i < 1000; ++i) {
        const int length = slm_get_process_cmdline(pid, buffer, size);
        if (length < 0 || std::strncmp(buffer, program, std::strlen(program)) == 0) return length;
        std::this_thread::sleep_for(5ms);
    }
    return -2;
}

// An argument vector for slm_popen, whose words the call does not change.
struct Argv {
    Argv(std::initializer_list<const char *> words) : words_(words) { words_.push_back(nullptr); }
    char *const *get() const { return const_cast<char *const *>(words_.data()); }
    std::vector<const char *> words_;
};

// Starts `words` with no pipes and closes it again; the code it ended with.
int popenAndClose(const Argv &words, slm_child &record, unsigned int flags = SLM_WAIT_DIRECT) {
    if (slm_popen(words.get(), nullptr, nullptr, &record, flags) <= 0) return -100;
    int code = -1;
    slm_pclose(-1, -1, &record, &code, flags);
    return code;
}

bool processGone(pid_t pid) {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(5ms)) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid || kill(pid, 0) != 0) return true;
    }
    return false;
}

TEST(SlmSystemLifecycleTest, NothingRunsBeforeInit) {
    // A fresh process: the layer has never been started there.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int code = -1;
            const bool refused = slm_system(0, "exit 0", nullptr, SLM_WAIT_DIRECT, &code) == 0 &&
                                 code == -1 && slm_child_exited() == -1 &&
                                 slm_popen(nullptr, nullptr, nullptr, nullptr, 0) == 0;
            std::exit(refused ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Waited for directly, and through the reaper completing waiters on the
// condition (flags 0).
TEST_F(SlmSystemTest, ReportsHowTheCommandEnded) {
    const struct {
        const char *command;
        int result;
        int code;
    } cases[] = {
        // clang-format off
        {"exit 0", 1, 0}, {"exit 58", 1, 58}, {"exit 255", 1, 255}, {"kill -15 $$", 0, 15},
        {"kill -9 $$", 0, 9},
        // clang-format on
        {"kill -STOP $$", 0, 9},           // a stopped child is killed
        {"/nonexistent/program", 1, 127},  // the shell reports it
    };
    const auto runAll = [&](unsigned int flags) {
        for (const auto &c : cases) {
            int code = -1;
            EXPECT_EQ(slm_system(0, c.command, nullptr, flags, &code), c.result) << c.command;
            EXPECT_EQ(code, c.code) << c.command << " " << flags;
        }
    };
    runAll(SLM_WAIT_DIRECT);
    std::atomic<bool> stop{false};
    std::thread reaper([&] {
        for (; !stop; std::this_thread::sleep_for(2ms))
            slm_child_exited();
    });
    runAll(0);
    slm_child record{};
    EXPECT_EQ(popenAndClose({"true"}, record, 0), 0);
    stop = true;
    reaper.join();
    EXPECT_EQ(slm_system(0, nullptr, nullptr, SLM_WAIT_DIRECT, nullptr), 0);
    EXPECT_EQ(slm_system(0, "exit 3", nullptr, SLM_WAIT_DIRECT, nullptr), 1);
}

TEST_F(SlmSystemTest, ChildGetsNullOutputsEmptyLibraryPathAndItsDirectory) {
    TempDir tmp;
    const std::string report = tmp / "report";
    // A descriptor the parent left inheritable must not reach the child.
    ASSERT_EQ(dup2(0, 50), 50);
    // Each line reaches the report through a pipe, so the shell's own
    // descriptors stay as the child got them.
    const std::string to = " | cat >> '" + report + "'; ";
    const std::string command = "readlink /proc/$$/fd/1" + to + "readlink /proc/$$/fd/2" + to +
                                "if [ -e /proc/$$/fd/50 ]; then echo leaked; else echo closed; fi" +
                                to + "echo \"[${LD_LIBRARY_PATH-unset}]\"" + to + "pwd" + to;
    ASSERT_EQ(slm_system(0, command.c_str(), tmp.path().c_str(), SLM_WAIT_DIRECT, nullptr), 1);
    close(50);
    EXPECT_EQ(readFile(report).value_or(""),
              "/dev/null\n/dev/null\nclosed\n[]\n" + tmp.path() + "\n");
}

TEST_F(SlmSystemTest, LibraryPathFollowsInxCfgDir) {
    TempDir tmp;
    std::strcpy(INXcfgDir, "/opt/inx/lib");
    setenv("LD_LIBRARY_PATH", "/parent/lib", 1);
    const struct {
        std::string command;
        const char *expected;
    } cases[] = {
        {"/opt/inx/lib/tool; echo \"$LD_LIBRARY_PATH\" > '" + (tmp / "a") + "'", "/opt/inx/lib\n"},
        {"echo \"$LD_LIBRARY_PATH\" > '" + (tmp / "a") + "'", "/parent/lib\n"},
    };
    for (const auto &c : cases) {
        slm_system(0, c.command.c_str(), nullptr, SLM_WAIT_DIRECT, nullptr);
        EXPECT_EQ(readFile(tmp / "a").value_or(""), c.expected) << c.command;
    }
    unsetenv("LD_LIBRARY_PATH");
}

TEST_F(SlmSystemTest, MissingDirectoryOrProgramNeverRunsTheCommand) {
    TempDir tmp;
    int code = -1;
    const std::string command = "touch '" + (tmp / "ran") + "'";
    EXPECT_EQ(slm_system(0, command.c_str(), "/nonexistent/dir", SLM_WAIT_DIRECT, &code), 0);
    EXPECT_EQ(code, 9) << "the child kills itself";
    EXPECT_FALSE(std::filesystem::exists(tmp / "ran"));
    EXPECT_EQ(
        slm_system(0, "/nonexistent/program arg", nullptr, SLM_WAIT_DIRECT | SLM_NO_SHELL, &code),
        0);
    EXPECT_EQ(code, 9);
    // Through popen the same: the child ends abnormally, by 9.
    const Argv missing{"no-such-program-here"};
    slm_child record{};
    EXPECT_EQ(popenAndClose(missing, record), 9);
    EXPECT_EQ(record.abnormal, 1);
    EXPECT_EQ(slm_popen(missing.get(), nullptr, nullptr, nullptr, 0), 0) << "no record";
}

TEST_F(SlmSystemTest, RunsWithoutTheShell) {
    TempDir tmp;
    const std::string target = tmp / "$(not expanded)";
    const std::string command = "/usr/bin/touch '" + target + "'";
    int code = -1;
    EXPECT_EQ(slm_system(0, command.c_str(), nullptr, SLM_WAIT_DIRECT | SLM_NO_SHELL, &code), 1);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(std::filesystem::exists(target));
}

TEST_F(SlmSystemTest, DetachedChildStartsItsOwnSessionAndIsNotWaitedFor) {
    TempDir tmp;
    const std::string report = tmp / "session";
    // Field 6 of /proc/<pid>/stat is the session id.
    const std::string command = "sleep 0.2; cut -d' ' -f6 /proc/$$/stat > '" + report +
                                ".tmp'; echo $$ >> '" + report + ".tmp'; mv '" + report +
                                ".tmp' '" + report + "'";
    int code = -7;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slm_system(0, command.c_str(), nullptr, SLM_DETACH_PROCESS, &code), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 150ms) << "returns at once";
    EXPECT_EQ(code, -7) << "no exit code for a detached child";
    for (int i = 0; i < 1000 && !std::filesystem::exists(report); ++i)
        std::this_thread::sleep_for(10ms);
    const std::string text = readFile(report).value_or("? ?");
    const size_t split = text.find('\n');
    ASSERT_NE(split, std::string::npos) << text;
    EXPECT_EQ(text.substr(0, split), text.substr(split + 1, text.size() - split - 2));
}

TEST_F(SlmSystemTest, ShutdownDisablesAndKillsChildrenNobodyWaitsFor) {
    slm_child record{};
    const int pid = slm_popen(Argv{"sleep", "30"}.get(), nullptr, nullptr, &record, 0);
    ASSERT_GT(pid, 0);
    slm_system_shutdown();
    EXPECT_TRUE(processGone(pid));
    int code = -1;
    EXPECT_EQ(slm_system(0, "exit 0", nullptr, SLM_WAIT_DIRECT, &code), 0);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(slm_child_exited(), -1);
    slm_pclose(-1, -1, &record, &code, 0);
    EXPECT_EQ(code, -1) << "disabled: pclose leaves the code alone";
    ASSERT_EQ(slm_system_init(), 0) << "the layer can be started again";
    EXPECT_EQ(slm_system(0, "exit 4", nullptr, SLM_WAIT_DIRECT, &code), 1);
    EXPECT_EQ(code, 4);
}

std::vector<int> signalled;
int recordKill(int pid, int) {
    signalled.push_back(pid);
    return 0;
}

TEST_F(SlmSystemTest, ShutdownLeavesReapedChildrenAlone) {
    slm_child reapedRecord{}, runningRecord{};
    const pid_t reaped = slm_popen(Argv{"true"}.get(), nullptr, nullptr, &reapedRecord, 0);
    const pid_t alive = slm_popen(Argv{"sleep", "30"}.get(), nullptr, nullptr, &runningRecord, 0);
    ASSERT_GT(reaped, 0);
    ASSERT_GT(alive, 0);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, reaped, &info, WEXITED | WNOWAIT), 0);
    ASSERT_EQ(slm_child_exited(), 0) << "marks the record done; its pid is free from now on";
    signalled.clear();
    slmSystemSetKillForTest(recordKill);
    slm_system_shutdown();
    slmSystemSetKillForTest(nullptr);
    EXPECT_EQ(signalled, std::vector<int>{alive});
    kill(alive, SIGKILL);
    EXPECT_TRUE(processGone(alive));
}

// Moves a descriptor above the standard ones.
int moveHigh(int fd) {
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

// Both pipes, the child's standard error on its output, whatever standard
// descriptors the caller has closed.
TEST_F(SlmSystemTest, PopenPipesWhateverTheCallerHasClosed) {
    const struct {
        std::vector<int> closed;
        bool withInput;
        const char *script;
        std::string expected;
        int code;
        // clang-format off
    } cases[] = {
        {{}, true, "tr a-z A-Z; echo err >&2; exit 3", "FED THROUGH STDIN" "err\n", 3},
        {{0}, true, "cat", "fed through stdin", 0},
        {{0, 1, 2}, true, "cat; echo err >&2", "fed through stdin" "err\n", 0},
        {{0, 1}, false, "echo out; echo err >&2", "out\nerr\n", 0},
    };
    // clang-format on
    for (const auto &c : cases) {
        int saved[3];
        for (int fd = 0; fd < 3; ++fd)
            saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        for (int fd : c.closed)
            close(fd);
        slm_child record{};
        int in = -1, out = -1;
        const int pid = slm_popen(Argv{"sh", "-c", c.script}.get(), c.withInput ? &in : nullptr,
                                  &out, &record, SLM_WAIT_DIRECT);
        if (in >= 0) in = moveHigh(in);
        if (out >= 0) out = moveHigh(out);
        for (int fd = 0; fd < 3; ++fd) {
            dup2(saved[fd], fd);
            close(saved[fd]);
        }
        ASSERT_GT(pid, 0) << c.script;
        if (in >= 0) {
            ASSERT_EQ(write(in, "fed through stdin", 17), 17);
            close(in);
        }
        std::string got;
        char chunk[64];
        for (ssize_t n; (n = read(out, chunk, sizeof chunk)) > 0;)
            got.append(chunk, static_cast<size_t>(n));
        EXPECT_EQ(record.pid, pid);
        int code = -1;
        EXPECT_EQ(slm_pclose(-1, out, &record, &code, SLM_WAIT_DIRECT), 0);
        EXPECT_EQ(got, c.expected) << c.script;
        EXPECT_EQ(code, c.code) << c.script;
        EXPECT_EQ(record.done, 1);
        EXPECT_EQ(record.abnormal, 0);
    }
}

TEST_F(SlmSystemTest, PopenWithoutPipesGetsNullStreams) {
    TempDir tmp;
    const std::string script = "cat; readlink /proc/$$/fd/1 | cat > '" + (tmp / "out") + "'";
    slm_child record{};
    EXPECT_EQ(popenAndClose({"sh", "-c", script.c_str()}, record), 0)
        << "cat ends at once on /dev/null";
    EXPECT_EQ(readFile(tmp / "out").value_or(""), "/dev/null\n");
}

TEST(SlmHandleChildStatusTest, InterpretsSyntheticStatusWords) {
    const struct {
        int status;
        int done, abnormal, code;
    } cases[] = {
        {0x0000, 1, 0, 0},    // exit 0
        {0x3A00, 1, 0, 58},   // exit 58
        {0xFF00, 1, 0, 255},  // exit 255
        {0x000F, 1, 1, 15},   // signal 15
        {0x0089, 1, 1, 9},    // signal 9 with a core dump
        {0x007F, 1, 1, 127},  // the special stopped value
        {0x010F, 1, 1, -1},   // a signal with bits 8 to 15 set
    };
    for (const auto &c : cases) {
        slm_child record{};
        record.pid = impossiblePid();
        slm_handle_child_status(&record, c.status);
        EXPECT_EQ(record.done, c.done) << std::hex << c.status;
        EXPECT_EQ(record.abnormal, c.abnormal) << std::hex << c.status;
        EXPECT_EQ(record.code, c.code) << std::hex << c.status;
    }
}

TEST(SlmHandleChildStatusTest, StoppedChildIsKilledUnlessKeptStopped) {
    for (const unsigned int flags : {0u, SLM_KEEP_STOPPED}) {
        const pid_t pid = fork();
        if (pid == 0) {
            pause();
            _exit(0);
        }
        slm_child record{};
        record.pid = pid;
        record.flags = flags;
        slm_handle_child_status(&record, 0x137F);  // stopped by SIGSTOP
        EXPECT_EQ(record.done, 0);
        int status = 0;
        if (flags & SLM_KEEP_STOPPED) {
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "left alone";
            kill(pid, SIGKILL);
        }
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
}

TEST(SlmSystemDirectWaitTest, EndsWhenNoStatusCanBeHad) {
    // With SIGCHLD ignored the kernel reaps children itself: the wait on the
    // pid fails, and the call must end instead of looping for ever.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            signal(SIGCHLD, SIG_IGN);
            slm_system_init();
            int code = 0;
            const int result = slm_system(0, "exit 3", nullptr, SLM_WAIT_DIRECT, &code);
            std::exit(result == 0 && code == -1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(SlmSplitCommandTest, SplitsIntoWords) {
    const struct {
        const char *command;
        std::vector<std::string> words;
    } cases[] = {
        {"a 'b c' \"d e\" f", {"a", "b c", "d e", "f"}},
        {"  lead  between\ttabs", {"lead", "between", "tabs"}},
        // clang-format off
        {"trailing  ", {"trailing", ""}}, {"'unclosed quote", {"unclosed quote"}},
        {"a'b c'd", {"a", "b c", "d"}}, {"'$HOME' \"`x`\"", {"$HOME", "`x`"}}, {"''", {""}},
        {"", {}},
        // clang-format on
    };
    for (const auto &c : cases) {
        std::string text = c.command;
        char *words[SLM_MAX_WORDS + 1];
        const int count = slmSplitCommand(text.data(), words);
        std::vector<std::string> got(words, words + count);
        EXPECT_EQ(got, c.words) << c.command;
        EXPECT_EQ(words[count], nullptr);
    }
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += "w ";
    char *words[SLM_MAX_WORDS + 1];
    EXPECT_EQ(slmSplitCommand(many.data(), words), SLM_MAX_WORDS);
    EXPECT_EQ(words[SLM_MAX_WORDS], nullptr);
}

TEST_F(SlmSystemTest, ProcessQueries) {
    slm_child record{};
    const int pid =
        slm_popen(Argv{"sleep", "30"}.get(), nullptr, nullptr, &record, SLM_WAIT_DIRECT);
    ASSERT_GT(pid, 0);
    char buffer[128];
    EXPECT_EQ(cmdlineAfterExec(pid, buffer, sizeof buffer, "sleep "), 8);
    EXPECT_STREQ(buffer, "sleep 30");
    EXPECT_EQ(slm_get_process_cmdline(pid, buffer, 8), -1) << "does not fit";
    EXPECT_EQ(slm_check_process(pid), 0);
    EXPECT_EQ(slm_stop_process(pid), 0);
    int code = -1;
    slm_pclose(-1, -1, &record, &code, SLM_WAIT_DIRECT);
    EXPECT_EQ(code, 15);
    EXPECT_EQ(slm_check_process(impossiblePid()), -1);
    EXPECT_EQ(slm_stop_process(impossiblePid()), -1);
    EXPECT_EQ(slm_get_process_cmdline(impossiblePid(), buffer, sizeof buffer), -1);
    EXPECT_EQ(slm_check_process(1), 0) << "exists even if it may not be signalled";

    // Cut to the 79 characters the platform's record held. (The shell stays:
    // it has a command after sleep, so it does not exec it in its place.)
    const std::string longArg(200, 'x');
    const int longPid = slm_popen(Argv{"sh", "-c", "sleep 30; :", longArg.c_str()}.get(), nullptr,
                                  nullptr, &record, SLM_WAIT_DIRECT);
    EXPECT_EQ(cmdlineAfterExec(longPid, buffer, sizeof buffer, "sh -c"), 79);
    EXPECT_EQ(std::string(buffer), ("sh -c sleep 30; : " + longArg).substr(0, 79));
    slm_stop_process(longPid);
    slm_pclose(-1, -1, &record, &code, SLM_WAIT_DIRECT);

    // An ended child not yet collected has no command line: its name serves.
    const int zombie = slm_popen(Argv{"true"}.get(), nullptr, nullptr, &record, SLM_WAIT_DIRECT);
    const std::string stat = "/proc/" + std::to_string(zombie) + "/stat";
    for (int i = 0; i < 1000 && readFile(stat).value_or("").find(") Z ") == std::string::npos; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(slm_get_process_cmdline(zombie, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "true");
    slm_pclose(-1, -1, &record, &code, SLM_WAIT_DIRECT);
}

TEST(EnvironmentTest, SetGetAndLength) {
    EXPECT_EQ(set_env_var("SLM_TEST_VAR", "value"), 0);
    char buffer[16] = "untouched";
    EXPECT_EQ(get_env_var("SLM_TEST_VAR", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "value");
    EXPECT_EQ(get_env_var("SLM_TEST_VAR", buffer, 4), 0);
    EXPECT_STREQ(buffer, "val");
    int length = -1;
    EXPECT_EQ(get_env_var_len("SLM_TEST_VAR", &length), 0);
    EXPECT_EQ(length, 5);

    std::strcpy(buffer, "untouched");
    EXPECT_EQ(get_env_var("SLM_UNSET_VAR", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(get_env_var_len("SLM_UNSET_VAR", &length), 0);
    EXPECT_EQ(length, 0);

    EXPECT_EQ(set_env_var(nullptr, "x"), 1);
    EXPECT_EQ(set_env_var("x", nullptr), 1);
    EXPECT_EQ(get_env_var(nullptr, buffer, sizeof buffer), 1);
    EXPECT_EQ(get_env_var_len("x", nullptr), 1);
}

}  // namespace
