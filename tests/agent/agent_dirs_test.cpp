// The agent's directories: "/.." steps resolved in place, fixed directories
// whole or refused, and the ini file that names the base directory.

#include "agent_dirs.h"
#include "test_support.h"

namespace {

TEST(ResolvePathTest, RewritesInPlace) {
    const struct {
        std::string input;
        int result;
        std::string output;  // what the buffer holds afterwards
    } cases[] = {
        // clang-format off
        // Nothing to resolve.
        {"/opt/agent", 0, "/opt/agent"}, {"", 0, ""}, {"/", 0, "/"},
        // One step, with a tail, with a trailing slash, at the end.
        {"/opt/a/../b", 0, "/opt/b"}, {"/opt/agent/bin/../", 0, "/opt/agent/"}, {"/a/b/..", 0, "/a/"}, {"/a/..", 0, "/"},
        // Several steps, one per pass.
        {"/a/b/c/../../d", 0, "/a/d"}, {"/a/b/../c/../d/", 0, "/a/d/"},
        // An empty component before the step is dropped as such.
        {"/a//../b", 0, "/a/b"},
        // Names that merely begin with ".." are directories, not steps.
        {"/opt/agent/..data", 0, "/opt/agent/..data"}, {"/opt/..x/../y", 0, "/opt/y"}, {"/opt/...", 0, "/opt/..."},
        // Refused: kept as read by the caller.
        {"../agent", 1, "../agent"}, {"./x", 1, "./x"}, {"/../x", 1, "/../x"}, {"a/../b", 1, "a/../b"},
        // A later step that climbs above the root is refused after the
        // earlier steps were applied.
        {"/a/../../b", 1, "/../b"},
        // Longer than the 127 characters older agents could hold: resolved whole.
        {"/" + std::string(300, 'p') + "/q/../r", 0, "/" + std::string(300, 'p') + "/r"},
        // clang-format on
    };
    for (const auto &c : cases) {
        std::string buffer = c.input;
        EXPECT_EQ(resolvePath(buffer.data()), c.result) << c.input;
        EXPECT_EQ(buffer.c_str(), c.output) << c.input;
    }
}

TEST(AgentDirsTest, FixedDirectoriesAreWholeOrRefused) {
    char small[10];  // one short of "/usr/sbin/" and its terminator
    EXPECT_EQ(getOldServiceDir(small, sizeof small), 1);
    EXPECT_STREQ(small, "") << "never a shorter path";
    char full[64];
    getOldServiceDir(full, sizeof full);
    EXPECT_STREQ(full, "/usr/sbin/");
    getOldBaseDir(full, sizeof full);
    EXPECT_STREQ(full, "/var/ovka/");
    getConfDir(full, sizeof full);
    EXPECT_STREQ(full, "/etc");
    defaultTempDir(full, sizeof full);
    EXPECT_STREQ(full, "/tmp/ovka");
}

TEST(AgentDirsTest, MissingIniFileIsReportedAsNotFound) {
    char buffer[1024] = "untouched";
    EXPECT_EQ(loadIniFileFrom("/nonexistent/vrxagent.ini", "/tmp/ovka"), 2);
    EXPECT_EQ(conf_file_loaded, 0);
    EXPECT_NE(readAgentBaseDir(buffer, sizeof buffer), 0);
}

TEST(AgentDirsTest, CorrectWinPath) {
    std::string text = "C:\\agent\\bin";
    correctWinPath(text.data());
    EXPECT_EQ(text, "C:/agent/bin");
    correctWinPath(nullptr);
}

}  // namespace
