// The controller's view of the child runner: how a command ended, and what
// the child inherits.
#include <gtest/gtest.h>

#include <string>

#include "system_unix.h"
#include "test_support.h"

namespace {

using vrxtest::readFile;
using vrxtest::TempDir;

TEST(SlmSystemTest, ReportsHowTheCommandEnded) {
    ASSERT_EQ(slm_system_init(), 0);
    const struct {
        const char *command;
        int result;
        int code;
    } cases[] = {
        {"exit 0", 1, 0},     {"exit 58", 1, 58},
        {"exit 255", 1, 255}, {"kill -15 $$", 0, 15},
        {"kill -9 $$", 0, 9}, {"/nonexistent/program", 1, 127},  // the shell reports it
    };
    for (const auto &c : cases) {
        int code = -1;
        EXPECT_EQ(slm_system(0, c.command, nullptr, SLM_WAIT_DIRECT, &code), c.result) << c.command;
        EXPECT_EQ(code, c.code) << c.command;
    }
    EXPECT_EQ(slm_system(0, nullptr, nullptr, SLM_WAIT_DIRECT, nullptr), 0);
    EXPECT_EQ(slm_system(0, "exit 3", nullptr, SLM_WAIT_DIRECT, nullptr), 1);
}

TEST(SlmSystemTest, ChildGetsNullOutputsEmptyLibraryPathAndItsDirectory) {
    ASSERT_EQ(slm_system_init(), 0);
    TempDir tmp;
    const std::string report = tmp / "report";
    // Each line reaches the report through a pipe, so the shell's own
    // descriptors stay as the child got them: 1 and 2 on /dev/null, nothing
    // inherited above 2.
    const std::string to = " | cat >> '" + report + "'; ";
    const std::string command = "readlink /proc/$$/fd/1" + to + "readlink /proc/$$/fd/2" + to +
                                "ls /proc/$$/fd | tr '\\n' ' '" + to +
                                "echo \"[${LD_LIBRARY_PATH-unset}]\"" + to + "pwd" + to;
    ASSERT_EQ(slm_system(0, command.c_str(), tmp.path().c_str(), SLM_WAIT_DIRECT, nullptr), 1);
    EXPECT_EQ(readFile(report).value_or(""),
              "/dev/null\n/dev/null\n0 1 2 []\n" + tmp.path() + "\n");
}

TEST(SlmSystemTest, NothingRunsAfterShutdown) {
    ASSERT_EQ(slm_system_init(), 0);
    slm_system_shutdown();
    int code = -1;
    EXPECT_EQ(slm_system(0, "exit 0", nullptr, SLM_WAIT_DIRECT, &code), 0);
    EXPECT_EQ(code, -1);
    ASSERT_EQ(slm_system_init(), 0);  // leave the layer usable for other tests
}

}  // namespace
