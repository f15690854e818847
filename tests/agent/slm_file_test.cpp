// The agent's file utilities: copies, in-place replacement, streams, usage
// files that roll over without losing count, mappings and directories.

#include "slm_file.h"
#include "list.h"
#include "test_support.h"

namespace {

using namespace vrxtest;

TEST(SlmFileTest, Copy) {
    TempDir tmp;
    const std::string from = tmp / "from", to = tmp / "to";
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += static_cast<char>('a' + i % 26);
    writeFile(from, content, 0640);

    EXPECT_EQ(slm_fcopy(from.c_str(), to.c_str(), 0), 0);
    EXPECT_EQ(readFile(to).value_or(""), content);
    EXPECT_EQ(modeOf(to), 0640u) << "the source's mode";
    writeFile(to, "keep me");
    EXPECT_EQ(slm_fcopy(from.c_str(), to.c_str(), 0), 3) << "exists";
    EXPECT_EQ(readFile(to).value_or(""), "keep me");

    // Overwriting a longer file leaves exactly the new contents.
    writeFile(to, std::string(9000, 'z'));
    writeFile(from, "short");
    EXPECT_EQ(slm_fcopy(from.c_str(), to.c_str(), 1), 0);
    EXPECT_EQ(readFile(to).value_or(""), "short");
    EXPECT_EQ(slm_fcopy(from.c_str(), from.c_str(), 1), 0) << "onto itself";
    EXPECT_EQ(readFile(from).value_or(""), "short");
    const std::string alias = tmp / "alias";
    fs::create_hard_link(from, alias);
    EXPECT_EQ(slm_fcopy(from.c_str(), alias.c_str(), 1), 0);
    EXPECT_EQ(readFile(from).value_or(""), "short") << "through another name, still itself";

    EXPECT_EQ(slm_fcopy((tmp / "missing").c_str(), to.c_str(), 1), 1);
    EXPECT_EQ(slm_fcopy(from.c_str(), (tmp / "no/dir").c_str(), 1), 2);
    EXPECT_EQ(slm_fcopy(from.c_str(), (tmp / "no/dir").c_str(), 0), 3);
}

TEST(SlmFileTest, ReplaceInFile) {
    TempDir tmp;
    const struct {
        std::string content;
        std::string oldText, newText;
        std::string expected;
        // clang-format off
    } cases[] = {
        {"agent_base_dir=/old/path\nx=/old/path\n", "/old/path", "/new/place", "agent_base_dir=/new/place\nx=/old/path\n"},  // first occurrence per block only
        {std::string("a\0b\0old", 7), "old", "new", std::string("a\0b\0new", 7)},  // bytes after a NUL are searched
        // A block grows past 2048 bytes; the second one is in a later block.
        {std::string(2040, 'x') + "OLD" + std::string(5000, 'y') + "OLD", "OLD", std::string(3000, 'N'),
         std::string(2040, 'x') + std::string(3000, 'N') + std::string(5000, 'y') + std::string(3000, 'N')},
        {"no match", "zzz", "q", "no match"},
    };
    // clang-format on
    for (const auto &c : cases) {
        const std::string path = tmp / "vrxagent.ini";
        writeFile(path, c.content);
        EXPECT_EQ(stringReplaceInFile(path.c_str(), c.oldText.c_str(), c.newText.c_str()), 0);
        EXPECT_EQ(readFile(path).value_or("<gone>"), c.expected);
        EXPECT_FALSE(fs::exists(tmp / "vrxagent.new"));
    }
    writeFile(tmp / "file.new", "x");
    EXPECT_EQ(stringReplaceInFile((tmp / "file.new").c_str(), "x", "y"), 3) << "its own sibling";
    EXPECT_EQ(readFile(tmp / "file.new").value_or(""), "x");
    EXPECT_EQ(stringReplaceInFile("ab", "a", "b"), 3);
    EXPECT_EQ(stringReplaceInFile((tmp / "missing.ini").c_str(), "a", "b"), 1);
    // When the sibling cannot be made, the original stays as it was.
    fs::create_directories(tmp / "locked");
    writeFile(tmp / "locked/conf.ini", "value=1");
    fs::create_directories(tmp / "locked/conf.new");  // a directory in the sibling's place
    EXPECT_EQ(stringReplaceInFile((tmp / "locked/conf.ini").c_str(), "1", "2"), 3);
    EXPECT_EQ(readFile(tmp / "locked/conf.ini").value_or(""), "value=1");
}

TEST(SlmFileTest, RenameReplacesAtomicallyAndStreams) {
    TempDir tmp;
    writeFile(tmp / "a", "new");
    writeFile(tmp / "b", "old");
    EXPECT_EQ(slm_frename((tmp / "a").c_str(), (tmp / "b").c_str()), 0);
    EXPECT_EQ(readFile(tmp / "b").value_or(""), "new");
    EXPECT_EQ(modeOf(tmp / "b"), 0777u);
    EXPECT_EQ(slm_frename((tmp / "missing").c_str(), (tmp / "b").c_str()), -3);
    EXPECT_EQ(readFile(tmp / "b").value_or(""), "new") << "a failed rename removes nothing";
    EXPECT_EQ(slm_fremove((tmp / "b").c_str()), 0);
    EXPECT_EQ(slm_fremove((tmp / "b").c_str()), -3);

    const std::string path = tmp / "stream";
    slm_file_stream *stream = newFileStream(path.c_str(), path.size(), 0);
    EXPECT_EQ(stream->open(stream->state), -15) << "mode 0 needs the file";
    stream->state->mode = 2;
    ASSERT_EQ(stream->open(stream->state), 0);
    EXPECT_EQ(stream->write(stream->state, "hello", 5), 5);
    EXPECT_EQ(stream->state->bytesWritten, 5);
    stream->close(stream->state);
    stream->state->mode = 0;
    ASSERT_EQ(stream->open(stream->state), 0);
    char buffer[16];
    EXPECT_EQ(stream->read(stream->state, buffer, sizeof buffer), 5);
    EXPECT_EQ(stream->read(stream->state, buffer, sizeof buffer), -6);
    stream->close(stream->state);
    EXPECT_EQ(stream->state->fd, -1);
    stream->state->mode = 5;
    EXPECT_EQ(stream->open(stream->state), -3);
    stream->destroy(stream);
}

TEST(SlmFileTest, UsageFilesRollOver) {
    TempDir tmp;
    setUsageFileLinesThreshold(10);
    slm_usage_file usage{};
    const std::string first = tmp / "usage.dat.txt";
    std::strcpy(usage.path, first.c_str());
    usage.fd = open(first.c_str(), O_RDWR | O_CREAT | O_APPEND, 0600);

    const auto use = [&](int lines, const std::string &text) {
        slm_file_stream *stream = nullptr;
        const int rc = getFileStream(&usage, &stream, lines);
        if (rc == 0) {
            stream->write(stream->state, text.data(), text.size());
            usage.currentBytes = stream->state->bytesWritten;
            closeFileStream(stream);
        }
        return rc;
    };
    EXPECT_EQ(use(6, "six lines\n"), 0);
    EXPECT_EQ(use(4, "four lines\n"), 0) << "exactly at the line limit";
    EXPECT_STREQ(usage.path, first.c_str());
    EXPECT_EQ(use(1, "next\n"), 0) << "over the limit: rolls over";
    // "_" goes before the last nine characters ("e.dat.txt").
    const std::string second = tmp / "usag_e.dat.txt";
    EXPECT_STREQ(usage.path, second.c_str());
    EXPECT_EQ(readFile(first).value_or(""), "six lines\nfour lines\nEND\r\n");
    EXPECT_EQ(readFile(second).value_or(""), "next\n");
    EXPECT_EQ(usage.setBytes, 21);

    // By size: a file past 2 MB (less the headroom) rolls over.
    usage.currentBytes = SLM_USAGE_FILE_LIMIT - SLM_USAGE_HEADROOM + 1;
    EXPECT_EQ(use(1, "x"), 0);
    EXPECT_STREQ(usage.path, (tmp / "usag__e.dat.txt").c_str());
    // The whole set is refused past 20 MB.
    usage.setBytes = SLM_USAGE_SET_LIMIT - SLM_USAGE_HEADROOM + 1;
    EXPECT_EQ(use(1, "refused"), 7);
    close(usage.fd);

    slm_usage_file shortName{};
    std::strcpy(shortName.path, "u.txt");
    shortName.lines = 100;
    slm_file_stream *stream = nullptr;
    EXPECT_EQ(getFileStream(&shortName, &stream, 1), -3) << "no room for the underscore";
    setUsageFileLinesThreshold(400);
}

TEST(SlmFileTest, SplitsPathsForFileInformation) {
    const struct {
        const char *path, *directory, *base;
        // clang-format off
    } cases[] = {{"/opt/agent/bin/x", "/opt/agent/bin", "x"}, {"/vmlinuz", "/", "vmlinuz"}, {"bare", "", "bare"}, {"rel/x", "rel", "x"}};
    // clang-format on
    for (const auto &c : cases) {
        const auto [directory, base] = slmSplitPath(c.path);
        EXPECT_EQ(directory, c.directory) << c.path;
        EXPECT_EQ(base, c.base) << c.path;
    }
    TempDir tmp;
    writeFile(tmp / "prog", "12345");
    slm_file_info info{};
    char directory[SLM_PATH_SIZE];
    ASSERT_EQ(slm_ke_fill_file_info((tmp / "prog").c_str(), &info, directory, sizeof directory), 0);
    EXPECT_STREQ(directory, tmp.path().c_str());
    EXPECT_STREQ(info.name, "prog");
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(slm_ke_fill_file_info(tmp.path().c_str(), &info, directory, sizeof directory), -1)
        << "a directory has no file information";
}

TEST(SlmFileTest, FailedUsageRolloverChangesNothing) {
    TempDir tmp;
    slm_usage_file usage{};
    const std::string first = tmp / "usage.dat.txt";
    const std::string second = tmp / "usag_e.dat.txt";
    std::strcpy(usage.path, first.c_str());
    usage.fd = open(first.c_str(), O_RDWR | O_CREAT | O_APPEND, 0600);
    ASSERT_EQ(write(usage.fd, "0123456789", 10), 10);
    usage.currentBytes = SLM_USAGE_FILE_LIMIT;  // full: the next call rolls over
    usage.setBytes = 1000;
    std::filesystem::create_directory(second);  // the next file cannot be opened
    slm_file_stream *stream = nullptr;
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(getFileStream(&usage, &stream, 1), -3);
        EXPECT_EQ(usage.setBytes, 1000) << "nothing counted for a rollover that failed";
        EXPECT_STREQ(usage.path, first.c_str());
    }
    EXPECT_EQ(readFile(first).value_or(""), "0123456789") << "no end marker yet";
    std::filesystem::remove(second);
    ASSERT_EQ(getFileStream(&usage, &stream, 1), 0);
    closeFileStream(stream);
    EXPECT_EQ(usage.setBytes, 1000 + SLM_USAGE_FILE_LIMIT);
    EXPECT_STREQ(usage.path, second.c_str());
    EXPECT_EQ(readFile(first).value_or(""), "0123456789END\r\n");
    close(usage.fd);
}

TEST(SlmFileTest, MappingWithUnalignedOffsets) {
    TempDir tmp;
    const size_t page = slm_get_page_size();
    std::string content(3 * page, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i % 251);
    writeFile(tmp / "map", content);
    const struct {
        uint64_t offset;
        size_t length;
    } cases[] = {{100, 50}, {page - 10, 20}, {page + 7, page}, {0, 3 * page}, {2 * page, 1}};
    for (const auto &c : cases) {
        slm_mmap_handle *handle = nullptr;
        void *address = slm_file_mmap((tmp / "map").c_str(), c.offset, c.length, 1, 0, &handle);
        ASSERT_NE(address, MAP_FAILED);
        const uint64_t start = slm_page_align(c.offset, 1);
        ASSERT_GE(handle->length, c.offset + c.length - start) << "the whole range is mapped";
        const char *bytes = static_cast<const char *>(address) + (c.offset - start);
        EXPECT_EQ(std::string(bytes, c.length),
                  content.substr(c.offset, c.length));  // reads the end too
        EXPECT_EQ(slm_file_munmap(handle), 0);
    }
    slm_mmap_handle *handle = nullptr;
    ASSERT_NE(slm_file_mmap((tmp / "map").c_str(), 0, 10, 1, 1, &handle), MAP_FAILED);
    void *grown = slm_grow_mapped_file((tmp / "map").c_str(), 2 * page, handle);
    ASSERT_NE(grown, MAP_FAILED);
    EXPECT_EQ(slm_get_file_size((tmp / "map").c_str()), 5 * page);
    static_cast<char *>(grown)[5 * page - 1] = 'Z';
    slm_file_munmap(handle);
    EXPECT_EQ(readFile(tmp / "map").value_or("").back(), 'Z');

    EXPECT_EQ(slm_page_align(2 * page, 1), 2 * page);
    EXPECT_EQ(slm_page_align(2 * page, 0), 2 * page);
    EXPECT_EQ(slm_page_align(2 * page + 1, 0), 3 * page);
    EXPECT_EQ(slm_page_off(page + 5), 5u);
}

std::vector<std::string> paths(slm_list *list) {
    std::vector<std::string> out;
    for (void *v = getNext(list, nullptr); v != nullptr; v = getNext(list, v))
        out.emplace_back(static_cast<const char *>(v));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SlmFileTest, DirectoriesListedSizedMadeAndRemoved) {
    TempDir tmp;
    const std::string root = tmp / "tree";
    EXPECT_EQ(slm_mkdir((root + "/a/b/c").c_str()), 0) << "missing parents";
    EXPECT_EQ(slm_mkdir((root + "/a/b/c").c_str()), 0) << "exists";
    EXPECT_EQ(modeOf(root + "/a/b"), 0700u);
    writeFile(root + "/file", std::string(10000, 'x'));
    EXPECT_EQ(slm_mkdir((root + "/file").c_str()), 1) << "a file in the way";
    EXPECT_EQ(slm_mkdir((root + "/file/sub").c_str()), 1);
    writeFile(root + "/a/one.log", "1");
    writeFile(root + "/a/two.log", "2");
    writeFile(root + "/a/three.txt", "3");

    slm_list *list = createList(SLM_PATH_SIZE);
    EXPECT_EQ(getFiles(list, (root + "/a").c_str(), ".log"), 2);
    EXPECT_EQ(paths(list), (std::vector<std::string>{root + "/a/one.log", root + "/a/two.log"}));
    deleteList(list);
    list = createList(SLM_PATH_SIZE);
    EXPECT_EQ(getSubDirectories(list, (root + "/a").c_str()), 1);
    EXPECT_EQ(paths(list), (std::vector<std::string>{root + "/a/b"}));
    EXPECT_EQ(getSubDirectories(list, (root + "/none").c_str()), 0);
    deleteList(list);

    // A link to a directory outside the tree: counted and removed as itself.
    const std::string outside = tmp / "outside";
    writeFile(outside + "/precious", std::string(50000, 'p'));
    fs::create_directory_symlink(outside, root + "/a/link");
    fs::create_directory_symlink(root, root + "/a/b/loop");  // would never end if followed
    uint64_t total = 0;
    EXPECT_EQ(getDirectorySize(root.c_str(), &total), 0);
    EXPECT_GE(total, 10u);  // the 10000-byte file
    EXPECT_LT(total, 48u);  // not the 50000 bytes outside
    EXPECT_EQ(slm_rmdir(root.c_str()), 0);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(readFile(outside + "/precious").value_or("").size(), 50000u);
}

}  // namespace
