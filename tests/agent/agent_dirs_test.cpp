#include <gtest/gtest.h>

#include <string>

#include "agent_dirs.h"

namespace {

struct ResolveCase {
    const char *input;
    int result;
    const char *output;  // what the buffer holds afterwards
};

class ResolvePathTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolvePathTest, RewritesInPlace) {
    const ResolveCase &c = GetParam();
    std::string buffer = c.input;
    EXPECT_EQ(resolvePath(buffer.data()), c.result) << c.input;
    EXPECT_STREQ(buffer.c_str(), c.output) << c.input;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ResolvePathTest,
    ::testing::Values(
        // Nothing to resolve.
        ResolveCase{"/opt/agent", 0, "/opt/agent"}, ResolveCase{"", 0, ""},
        ResolveCase{"/", 0, "/"},
        // One step, with a tail, with a trailing slash, at the end.
        ResolveCase{"/opt/a/../b", 0, "/opt/b"},
        ResolveCase{"/opt/agent/bin/../", 0, "/opt/agent/"}, ResolveCase{"/a/b/..", 0, "/a/"},
        ResolveCase{"/a/..", 0, "/"},
        // Several steps, one per pass.
        ResolveCase{"/a/b/c/../../d", 0, "/a/d"}, ResolveCase{"/a/b/../c/../d/", 0, "/a/d/"},
        // An empty component before the step is dropped as such.
        ResolveCase{"/a//../b", 0, "/a/b"},
        // Names that merely begin with ".." are directories, not steps.
        ResolveCase{"/opt/agent/..data", 0, "/opt/agent/..data"},
        ResolveCase{"/opt/..x/../y", 0, "/opt/y"}, ResolveCase{"/opt/...", 0, "/opt/..."},
        // Refused: kept as read by the caller.
        ResolveCase{"../agent", 1, "../agent"}, ResolveCase{"./x", 1, "./x"},
        ResolveCase{"/../x", 1, "/../x"}, ResolveCase{"a/../b", 1, "a/../b"},
        // A later step that climbs above the root is refused after the
        // earlier steps were applied.
        ResolveCase{"/a/../../b", 1, "/../b"}));

TEST(ResolvePathTest, LongPathsAreResolvedWhole) {
    // Longer than the 127 characters older agents could hold.
    std::string prefix = "/" + std::string(300, 'p');
    std::string buffer = prefix + "/q/../r";
    ASSERT_EQ(resolvePath(buffer.data()), 0);
    EXPECT_STREQ(buffer.c_str(), (prefix + "/r").c_str());
}

TEST(AgentDirsTest, FixedDirectoriesNeverOverflow) {
    char small[5];
    EXPECT_EQ(getOldServiceDir(small, sizeof small), 0);
    EXPECT_STREQ(small, "/usr");
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
