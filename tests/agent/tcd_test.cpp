// The common log directory: its record (read once, another product's lines
// never overwritten), the directory tree, and the free-space check.

#include "tcd.h"
#include "test_support.h"

namespace {

using namespace vrxtest;

unsigned long long freeBlocks = 1ull << 30;
unsigned long fragment = 4096;
int fakeSpace(const char *, struct statvfs *info) {
    std::memset(info, 0, sizeof *info);
    info->f_bfree = freeBlocks;
    info->f_frsize = fragment;
    info->f_bsize = 512;
    return 0;
}

TEST(CommonDirTest, ReadsTheRecord) {
    TempDir tmp;
    const std::string record = tmp / "cfg/log.properties";
    const std::string longValue(512, 'd');
    const struct {
        std::string content;
        int result;
        const char *directory;
    } cases[] = {
        {"zemlor_common_dir=/srv/logs", 0, "/srv/logs"},
        {"# other\n  zemlor_common_dir  =  /srv/logs \n", 0, "/srv/logs"},
        {"zemlor_common_dir_old=/srv/old\nzemlor_common_dir=/x", 0, "/srv/old"},  // a longer key
        {"zemlor_common_dir=" + longValue, 5, ""},
        {"zemlor_common_dir=", 5, ""},
        {"something_else=1", 5, ""},
    };
    for (const auto &c : cases) {
        writeFile(record, c.content);
        char buffer[ZEMLOR_COMMON_DIR_SIZE];
        EXPECT_EQ(openLogPropFileAt(record, buffer), c.result) << c.content;
        EXPECT_STREQ(buffer, c.directory) << c.content;
    }
}

TEST(CommonDirTest, CreatesTheRecordOnlyWhenItIsOursToWrite) {
    TempDir tmp;
    const std::string record = tmp / "etc/cfg/log.properties";
    char buffer[ZEMLOR_COMMON_DIR_SIZE];
    // Absent: written, with the default directory and no line end.
    EXPECT_EQ(createLogPropFileAt(record, buffer), 0);
    EXPECT_EQ(readFile(record).value_or(""), "zemlor_common_dir=/var/nuv/zemlor/common");
    EXPECT_EQ(modeOf(record), 0700u);
    EXPECT_STREQ(buffer, "/var/nuv/zemlor/common");

    // The whole run, on a tree of our own: the value points into tmp.
    const std::string tree = tmp / "common";
    writeFile(record, "\nzemlor_common_dir=" + tree + "\n");
    EXPECT_EQ(zemlorCommonDirAt(record, buffer, fakeSpace), 0);
    EXPECT_STREQ(buffer, tree.c_str());
    for (const char *sub : {"/QAG/logs/agent/trace", "/QAG/logs/agent/message",
                            "/QAG/logs/install/trace", "/QAG/ffdc/agent", "/QAG/scripts/agent"}) {
        EXPECT_TRUE(fs::is_directory(tree + sub)) << sub;
        EXPECT_EQ(modeOf(tree + sub), 0771u) << sub;
    }

    // Another product's lines, before or after an unusable line of ours:
    // left alone, 5.
    for (const std::string shared :
         {"other_product=1\nzemlor_common_dir=\n", "zemlor_common_dir=\nother_product=1\n"}) {
        writeFile(record, shared);
        EXPECT_EQ(zemlorCommonDirAt(record, buffer, fakeSpace), 5);
        EXPECT_EQ(readFile(record).value_or(""), shared);
    }
    // Only an unusable line of ours: rewritten with the default.
    writeFile(record, "\n  \nzemlor_common_dir=" + std::string(600, 'x') + "\n");
    char recreated[ZEMLOR_COMMON_DIR_SIZE];
    createLogPropFileAt(record, recreated);
    EXPECT_EQ(readFile(record).value_or(""), "zemlor_common_dir=/var/nuv/zemlor/common");
}

// The record is read once: a record that changes while the directory is being
// set up (here a pipe that yields a different record to each reader) cannot
// make the tree land somewhere else.
TEST(CommonDirTest, TheTreeGoesWhereTheRecordFirstSaid) {
    TempDir tmp;
    const std::string record = tmp / "log.properties";
    ASSERT_EQ(mkfifo(record.c_str(), 0600), 0);
    std::atomic<bool> finished{false};
    std::thread writer([&] {
        for (const std::string &directory : {tmp / "first", tmp / "second"}) {
            int fd = -1;
            while (fd < 0 && !finished) {
                fd = open(record.c_str(), O_WRONLY | O_NONBLOCK);  // fails until a reader comes
                if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (fd < 0) return;
            const std::string text = "zemlor_common_dir=" + directory + "\n";
            if (write(fd, text.data(), text.size()) < 0) std::abort();
            close(fd);
        }
    });
    char buffer[ZEMLOR_COMMON_DIR_SIZE];
    EXPECT_EQ(zemlorCommonDirAt(record, buffer, fakeSpace), 0);
    finished = true;
    writer.join();
    EXPECT_STREQ(buffer, (tmp / "first").c_str());
    EXPECT_TRUE(fs::is_directory(tmp / "first/QAG/logs/install/trace"));
    EXPECT_FALSE(fs::exists(tmp / "second"));
}

TEST(CommonDirTest, SpaceCheck) {
    const struct {
        unsigned long long blocks;
        unsigned long fragmentSize;
        int result;
    } cases[] = {
        {31457280 / 4096, 4096, 0},
        {31457280 / 4096 - 1, 4096, 6},
        {31457280 / 512, 0, 0},  // no fragment size: the block size serves
        {1, 0, 6},
    };
    for (const auto &c : cases) {
        freeBlocks = c.blocks;
        fragment = c.fragmentSize;
        EXPECT_EQ(checkCommonSpaceWith("/", fakeSpace), c.result) << c.blocks;
    }
    EXPECT_EQ(checkCommonSpaceWith("/", [](const char *, struct statvfs *) { return -1; }), 6);
    freeBlocks = 1ull << 30;
    fragment = 4096;
}

TEST(CommonDirTest, MkdirP) {
    TempDir tmp;
    const struct {
        std::string path;
        int result;
    } cases[] = {
        {tmp / "a", 3}, {tmp / "a", 4}, {tmp / "b/c/d/", 3}, {tmp / "file/x", 2}, {tmp / "file", 2},
    };
    writeFile(tmp / "file", "in the way");
    for (const auto &c : cases) {
        std::string path = c.path;
        EXPECT_EQ(mkdir_p(path.data(), 0771), c.result) << c.path;
    }
    EXPECT_EQ(modeOf(tmp / "b/c"), 0771u);
}

}  // namespace
