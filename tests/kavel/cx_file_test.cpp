// Files, paths and directories of the runtime layer: the file cycle and its
// error numbers, parents, directory trees made concurrently, listings.

#include "CxFile.h"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

TEST(CxFileTest, TheFileCycle) {
    TempDir tmp;
    const std::string name = tmp / "log.txt";
    CxFile file = -1;
    ASSERT_TRUE(ok(CxFileOpen(&file, name.c_str(), O_CREAT | O_RDWR)));
    struct stat info {};
    stat(name.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(fcntl(file, F_GETFD) & FD_CLOEXEC);

    int32_t count = -5;
    EXPECT_TRUE(ok(CxFileWrite(&file, "hello world", 11, &count)));
    EXPECT_EQ(count, 11);
    uint64_t size = 0;
    EXPECT_TRUE(ok(CxFileGetSize(&file, &size)));
    EXPECT_EQ(size, 11u);
    EXPECT_TRUE(ok(CxFileFlush(&file)));
    EXPECT_TRUE(ok(CxFileSeek(&file, 6, SEEK_SET)));
    char buffer[16] = {};
    EXPECT_TRUE(ok(CxFileRead(&file, buffer, sizeof buffer, &count)));
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)), "world");
    EXPECT_TRUE(ok(CxFileRead(&file, buffer, sizeof buffer, &count)));
    EXPECT_EQ(count, 0) << "end of file";
    EXPECT_TRUE(ok(CxFileTrunc(&file)));
    EXPECT_TRUE(ok(CxFileGetSize(&file, &size)));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(ok(CxFileClose(&file)));
    EXPECT_EQ(file, -1);
    EXPECT_EQ(code(CxFileClose(&file)), EBADF)
        << "a second close reports, never closes a reused descriptor";
    EXPECT_EQ(file, -1);

    // Rename over an existing target, then remove.
    writeFile(tmp / "target.txt", "old");
    writeFile(name, "new");
    EXPECT_TRUE(ok(CxFileNameRename(name.c_str(), (tmp / "target.txt").c_str())));
    EXPECT_EQ(readFile(tmp / "target.txt").value_or(""), "new");
    EXPECT_TRUE(ok(CxFileNameGetSize((tmp / "target.txt").c_str(), &size)));
    EXPECT_EQ(size, 3u);
    CxFileInfo fileInfo{};
    EXPECT_TRUE(ok(CxFileNameGetInfo(&fileInfo, (tmp / "target.txt").c_str())));
    EXPECT_EQ(fileInfo.size, 3u);
    EXPECT_GT(fileInfo.mtime, 0);
    EXPECT_TRUE(ok(CxFileNameRemove((tmp / "target.txt").c_str())));
    EXPECT_EQ(code(CxFileNameRemove((tmp / "target.txt").c_str())), ENOENT);
}

TEST(CxFileTest, FailuresAndTheirErrorNumbers) {
    TempDir tmp;
    CxFile file = 7;
    uint64_t size = 99;
    int32_t count = 0;
    CxFileInfo info{1, 2, 3, 4};
    const std::string longName = tmp / std::string(300, 'n');
    const struct {
        const char *call;
        CxPlatformErr result;
        int expected;
    } cases[] = {
        {"open missing", CxFileOpen(&file, (tmp / "missing/x").c_str(), O_RDONLY), ENOENT},
        {"open null name", CxFileOpen(&file, nullptr, O_RDONLY), EINVAL},
        {"open null handle", CxFileOpen(nullptr, "x", O_RDONLY), EINVAL},
        {"open too long", CxFileOpen(&file, longName.c_str(), O_CREAT | O_RDWR), ENAMETOOLONG},
        {"rename too long", CxFileNameRename((tmp / "a").c_str(), longName.c_str()), ENAMETOOLONG},
        {"remove too long", CxFileNameRemove(longName.c_str()), ENAMETOOLONG},
        {"read closed", CxFileRead(&file, &size, 1, &count), EBADF},
        {"size of missing", CxFileNameGetSize((tmp / "missing").c_str(), &size), ENOENT},
        {"info empty name", CxFileNameGetInfo(&info, ""), EINVAL},
        {"info null record", CxFileNameGetInfo(nullptr, "x"), EINVAL},
        {"trunc closed", CxFileTrunc(&file), EBADF},
    };
    for (const auto &c : cases)
        EXPECT_EQ(code(c.result), c.expected) << c.call;
    EXPECT_EQ(file, -1) << "a failed open stores -1";
    EXPECT_EQ(size, 99u) << "out-arguments are written only on success";
    EXPECT_EQ(info.size, 1u);
    EXPECT_FALSE(std::filesystem::exists(longName.substr(0, tmp.path().size() + 256)))
        << "nothing was made under a cut name";
}

TEST(CxFilePathTest, PathsAndParents) {
    const struct {
        const char *text;
        int ok;
        const char *path;
        int length, lastSep;
    } cases[] = {
        // clang-format off
        {"D:\\logs\\app", 1, "D:/logs/app", 11, 7}, {"/var/log", 1, "/var/log", 8, 4},
        {"app.log", 1, "app.log", 7, -1}, {"", 1, "", 0, -1}, {nullptr, 0, "", -1, -1},
        // clang-format on
    };
    for (const auto &c : cases) {
        CxFilePath p;
        EXPECT_EQ(CxInitFilePath(&p, c.text), c.ok) << (c.text ? c.text : "null");
        EXPECT_STREQ(p.path, c.path);
        EXPECT_EQ(p.length, c.length);
        EXPECT_EQ(p.last_sep, c.lastSep);
    }
    CxFilePath longPath;
    EXPECT_EQ(CxInitFilePath(&longPath, std::string(256, 'x').c_str()), 0);
    EXPECT_EQ(CxInitFilePath(&longPath, std::string(255, 'x').c_str()), 1);

    const struct {
        const char *text;
        int ok;
        const char *parent;
        int lastSep;
    } parents[] = {{"/var/log", 1, "/var", 0},
                   {"/var", 1, "", -1},
                   {"app.log", 0, "", -1},
                   {"/a/b/c", 1, "/a/b", 2}};
    for (const auto &c : parents) {
        CxFilePath p, parent;
        CxInitFilePath(&p, c.text);
        parent.path[0] = '\0';
        parent.last_sep = -1;
        EXPECT_EQ(CxFilePathParent(&p, &parent), c.ok) << c.text;
        if (c.ok) {
            EXPECT_STREQ(parent.path, c.parent) << c.text;
            EXPECT_EQ(parent.last_sep, c.lastSep) << c.text;
        }
    }
}

TEST(CxFilePathTest, MkdirsNestedIdempotentAndBlocked) {
    TempDir tmp;
    CxFilePath p;
    CxInitFilePath(&p, (tmp / "x/y/z").c_str());
    EXPECT_EQ(CxFilePathMkdirs(&p, 0750), 0);
    EXPECT_EQ(CxFilePathIsDir(&p), 0);
    struct stat info {};
    stat((tmp / "x/y").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0750u) << "the mode is set, whatever the creation mask";
    EXPECT_EQ(CxFilePathMkdirs(&p, 0750), 0) << "again: nothing to do";

    writeFile(tmp / "file", "in the way");
    CxInitFilePath(&p, (tmp / "file/y").c_str());
    EXPECT_EQ(CxFilePathMkdirs(&p, 0750), ENOTDIR);
    CxInitFilePath(&p, (tmp / "file").c_str());
    EXPECT_EQ(CxFilePathIsDir(&p), ENOTDIR);
    EXPECT_EQ(CxFilePathExists(&p), 0);
    CxInitFilePath(&p, (tmp / "none").c_str());
    EXPECT_EQ(CxFilePathExists(&p), ENOENT);
    CxInitFilePath(&p, "");
    EXPECT_EQ(CxFilePathIsDir(&p), EINVAL);
    EXPECT_EQ(CxFilePathMkdirs(nullptr, 0750), EINVAL);

    // "t/u/.." did not exist when first asked, and does once "t/u" is made:
    // a directory that appears meanwhile, as another process's would.
    CxInitFilePath(&p, (tmp / "t/u/../../s").c_str());
    EXPECT_EQ(CxFilePathMkdirs(&p, 0750), 0);
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "s"));
}

TEST(CxFilePathTest, ProcessesMakingTheSameTreeAllSucceed) {
    TempDir tmp;
    const std::string deep = tmp / "a/b/c/d/e/f/g/h";
    std::vector<pid_t> children;
    for (int i = 0; i < 6; ++i) {
        children.push_back(vrxtest::startChild([&] {
            CxFilePath p;
            CxInitFilePath(&p, deep.c_str());
            return CxFilePathMkdirs(&p, 0755);
        }));
    }
    for (pid_t pid : children)
        EXPECT_EQ(vrxtest::waitChild(pid), 0);
    EXPECT_TRUE(std::filesystem::is_directory(deep));
}

TEST(CxDirectoryTest, Listings) {
    TempDir tmp;
    writeFile(tmp / "list/one", "1");
    writeFile(tmp / "list/two", "2");
    std::filesystem::create_directories(tmp / "empty");
    const struct {
        std::string dir;
        std::vector<std::string> names;
    } cases[] = {{tmp / "empty", {".", ".."}}, {tmp / "list", {".", "..", "one", "two"}}};
    for (const auto &c : cases) {
        CxDirectory dir = nullptr;
        ASSERT_TRUE(ok(CxDirectoryOpen(&dir, c.dir.c_str())));
        std::vector<std::string> names;
        char name[CX_FILE_NAME_SIZE];
        for (int guard = 0; guard < 100; ++guard) {
            ASSERT_TRUE(ok(CxDirectoryGetNext(&dir, name, sizeof name)));
            if (name[0] == '\0') break;
            names.emplace_back(name);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.names);
        EXPECT_TRUE(ok(CxDirectoryClose(&dir)));
        EXPECT_EQ(dir, nullptr);
    }
    CxDirectory dir = nullptr;
    EXPECT_EQ(code(CxDirectoryOpen(&dir, (tmp / "list/one").c_str())), EINVAL) << "a file";
    EXPECT_EQ(code(CxDirectoryOpen(&dir, (tmp / "missing").c_str())), EINVAL);
    ASSERT_TRUE(ok(CxDirectoryOpen(&dir, (tmp / "list").c_str())));
    char small[3];
    CxPlatformErr result = cxPlatformOk();
    for (int i = 0; i < 4 && ok(result); ++i)
        result = CxDirectoryGetNext(&dir, small, sizeof small);
    EXPECT_EQ(code(result), ENAMETOOLONG) << "a name longer than the buffer is refused, not cut";
    EXPECT_STREQ(small, "");
    CxDirectoryClose(&dir);
}

// A gathered write stops where the file's size limit stops it and says how
// much it wrote, whatever piece the limit falls in; empty pieces are no
// pieces.
TEST(CxFileTest, AGatheredWriteCountsWhatItWrote) {
    const std::vector<std::string> texts = {"first ", "", "second piece ", "3"};
    std::string whole;
    for (const std::string &text : texts)
        whole += text;
    for (const size_t limit :
         {size_t{0}, size_t{4}, size_t{6}, size_t{10}, whole.size(), size_t{99}}) {
        TempDir dir;
        const std::string name = dir.path() + "/f";
        CxFile file = open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        std::vector<iovec> pieces;
        for (const std::string &text : texts)
            pieces.push_back({const_cast<char *>(text.data()), text.size()});
        size_t done = 99;
        CxPlatformErr status{};
        {
            FileSizeLimit full(limit);
            status = CxFileWriteAllV(&file, pieces.data(), static_cast<int>(pieces.size()), &done);
        }
        close(file);
        const size_t expected = std::min(limit, whole.size());
        EXPECT_EQ(status.kind == CX_PLATFORM_ERR_OK, expected == whole.size()) << limit;
        EXPECT_EQ(done, expected) << limit;
        EXPECT_EQ(*readFile(name), whole.substr(0, expected)) << limit;
    }
}

}  // namespace
