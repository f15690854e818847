// The controller's agent commands: how each command line is built and
// quoted, and how the start, stop and plug-in exit codes are judged.

#include "agent_command.h"
#include "system_unix.h"
#include "test_support.h"

namespace {

using namespace vrxtest;

TEST(BuildAgentCommandTest, QuotesThePathAsOneShellWord) {
    const struct {
        const char *path;
        const char *expected;
    } cases[] = {
        {"/usr/sbin/vrxagent.sh", "\"/usr/sbin/vrxagent.sh\" -g"},
        {"/opt/my agent/vrxagent.sh", "\"/opt/my agent/vrxagent.sh\" -g"},
        // clang-format off
        {"/opt/$(id)/x", "\"/opt/\\$(id)/x\" -g"}, {"/opt/`id`/x", "\"/opt/\\`id\\`/x\" -g"},
        {"/opt/a\"b/x", "\"/opt/a\\\"b/x\" -g"}, {"/opt/a\\b/x", "\"/opt/a\\\\b/x\" -g"},
        // clang-format on
        {"/opt/'single'/x", "\"/opt/'single'/x\" -g"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(buildAgentCommand(c.path, "-g"), c.expected) << c.path;
}

// A fake agent in a base directory: each command records its name and
// arguments in a log outside the base directory and exits as told.
class AgentCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(slm_system_init(), 0);
        // Commands run in the test's directory, so anything a broken quoting
        // let the shell run lands there.
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(tmp_.path());
    }
    void TearDown() override { std::filesystem::current_path(oldCwd_); }

    // `behaviour` is a shell line run by the fake after logging, e.g. "exit 12".
    void installFake(const std::string &base, const std::string &name,
                     const std::string &behaviour) {
        writeFile(
            base + name,
            "#!/bin/sh\nprintf '%s %s\\n' \"$0\" \"$*\" >> '" + log() + "'\n" + behaviour + "\n",
            0755);
    }
    std::string log() const { return tmp_ / "calls.log"; }
    std::string calls() const { return readFile(log()).value_or(""); }
    std::string base(const std::string &name = "agent") const { return tmp_ / name + "/"; }
    bool injected() const { return std::filesystem::exists(tmp_ / "pwned"); }

    TempDir tmp_;
    std::filesystem::path oldCwd_;
};

// The start and the plug-in command run the same script ("-g", "-p"); the
// plug-in succeeds only on 0.
TEST_F(AgentCommandTest, StartAndPluginJudgeExitCodes) {
    const struct {
        const char *behaviour;
        int start, plugin;
    } cases[] = {
        // clang-format off
        {"exit 0", AGENT_CMD_DONE, AGENT_CMD_DONE}, {"exit 12", AGENT_CMD_DONE, AGENT_CMD_FAILED},
        {"exit 58", AGENT_CMD_MISSING_PREREQ, AGENT_CMD_FAILED}, {"exit 1", AGENT_CMD_FAILED, AGENT_CMD_FAILED},
        {"exit 255", AGENT_CMD_FAILED, AGENT_CMD_FAILED},
        // clang-format on
        // Killed: the shell and the script both die by the signal. Signal 58
        // still means the prerequisite is missing.
        {"kill -15 $PPID $$", AGENT_CMD_FAILED, AGENT_CMD_FAILED},
        {"kill -58 $PPID $$", AGENT_CMD_MISSING_PREREQ, AGENT_CMD_FAILED},
    };
    for (const auto &c : cases) {
        installFake(base(), "vrxagent.sh", c.behaviour);
        std::filesystem::remove(log());
        EXPECT_EQ(startService(base().c_str()), c.start) << c.behaviour;
        EXPECT_EQ(pluginAgent(base().c_str()), c.plugin) << c.behaviour;
        EXPECT_EQ(calls(), base() + "vrxagent.sh -g\n" + base() + "vrxagent.sh -p\n");
    }
}

// Only 5 and 6 are a stop; the client is shut down after one, whatever it
// returns.
TEST_F(AgentCommandTest, StopCountsOnlyFiveAndSixAsStopped) {
    const struct {
        const char *behaviour;
        int expected;
    } cases[] = {
        // clang-format off
        {"exit 5", AGENT_CMD_DONE}, {"exit 6", AGENT_CMD_DONE}, {"exit 0", AGENT_CMD_FAILED},
        {"exit 7", AGENT_CMD_FAILED}, {"kill -9 $PPID $$", AGENT_CMD_FAILED},
        // clang-format on
        {"kill -6 $PPID $$", AGENT_CMD_FAILED},  // killed by signal 6 is no exit with 6
    };
    installFake(base(), "apxagent/APXAgentClient.sh", "exit 3");  // its code never counts
    for (const auto &c : cases) {
        installFake(base(), "vrxagent", c.behaviour);
        std::filesystem::remove(log());
        EXPECT_EQ(stopService(base().c_str()), c.expected) << c.behaviour;
        // The client is shut down after a stop, and only then.
        const bool stopped = c.expected == AGENT_CMD_DONE;
        EXPECT_EQ(calls(), base() + "vrxagent -e\n" +
                               (stopped ? base() + "apxagent/APXAgentClient.sh shutdown\n" : ""))
            << c.behaviour;
    }
}

TEST_F(AgentCommandTest, MissingFilesAreNotInstalled) {
    std::filesystem::create_directories(base());
    EXPECT_EQ(startService(base().c_str()), AGENT_CMD_NOT_INSTALLED);
    EXPECT_EQ(stopService(base().c_str()), AGENT_CMD_NOT_INSTALLED);
    EXPECT_EQ(pluginAgent(base().c_str()), AGENT_CMD_NOT_INSTALLED);
    EXPECT_EQ(startService(nullptr), AGENT_CMD_NOT_INSTALLED);
    // A path longer than the system accepts is not present, not cut short.
    const std::string tooLong = base() + std::string(5000, 'x') + "/";
    EXPECT_EQ(startService(tooLong.c_str()), AGENT_CMD_NOT_INSTALLED);
    EXPECT_EQ(calls(), "");
}

TEST_F(AgentCommandTest, UnusualBaseDirectoriesRunTheirOwnScriptAndNothingElse) {
    const std::vector<std::string> names = {
        "my agent",
        "a $(touch pwned) b",
        "a `touch pwned` b",
        "q\"; touch pwned; \"",
        "back\\slash",
        "dollar$HOME",
        "it's",
        "semi;colon&amp|pipe",
    };
    for (const std::string &name : names) {
        installFake(base(name), "vrxagent.sh", "exit 0");
        installFake(base(name), "vrxagent", "exit 5");
        std::filesystem::remove(log());
        EXPECT_EQ(startService(base(name).c_str()), AGENT_CMD_DONE) << name;
        EXPECT_EQ(stopService(base(name).c_str()), AGENT_CMD_DONE) << name;
        EXPECT_EQ(calls(), base(name) + "vrxagent.sh -g\n" + base(name) + "vrxagent -e\n") << name;
        EXPECT_FALSE(injected()) << name;
    }
}

}  // namespace
