// The multi-process file handler (many writers sharing one set are the
// reliability test's): the active file is emptied in place (never
// renamed), a rollover interrupted before its truncation is finished
// without duplicating, a blocked backup is reported once and costs no
// record, and a dead holder or another key blocks nobody. Both file
// handlers on a full file system keep only whole records.
#include <sys/mount.h>

#include "CxFile.h"
#include "KvlClasses.h"
#include "sem_holder.h"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

// An open toolkit with a logger "app" feeding a handler of `handlerClass`
// (the multi-process one unless said) on `file` ("x.log" in the working
// directory unless said), with `key`, `maxFileSize` and `maxFiles`.
class SharedLog {
public:
    SharedLog(int32_t key, int maxFileSize, int maxFiles, const std::string &file = "x.log",
              const char *handlerClass = "kvl_multiproc_filehandler") {
        KvlOpenToolkit(nullptr);
        vrxtest::addPlainFormatterClass();
        formatter_ = KvlGetObject("app.plain", "test_plain");
        logger_ = KvlGetObject("app", "kvl_basiclogger");
        KvlSetObjProp(logger_, "level", "ALL");
        handler_ = KvlGetObject("app.shared", handlerClass);
        KvlSetObjProp(handler_, "formatterName", "app.plain");
        KvlSetObjProp(handler_, "MPFileSemKey", std::to_string(key).c_str());
        KvlSetObjProp(handler_, "maxFileSize", std::to_string(maxFileSize).c_str());
        KvlSetObjProp(handler_, "maxFiles", std::to_string(maxFiles).c_str());
        KvlSetObjProp(handler_, "fileName", file.c_str());
        KvlAddListener(logger_, handler_);
    }
    ~SharedLog() {
        KvlReleaseObject(handler_);
        KvlReleaseObject(logger_);
        KvlReleaseObject(formatter_);
        KvlCloseToolkit();
    }
    void log(const std::string &text) {
        KvlLogText(logger_, "%s", KVL_ARG_STRING, text.c_str(), KVL_ARG_END);
    }
    // Record `n` of 1000 bytes: "rec-1NNN", dots and the line feed.
    void record(int n) {
        std::string text(999, '.');
        log(text.replace(0, 8, "rec-" + std::to_string(1000 + n)));
    }
    void set(const char *property, const char *value) { KvlSetObjProp(handler_, property, value); }

private:
    KvlObject *formatter_ = nullptr;
    KvlObject *logger_ = nullptr;
    KvlObject *handler_ = nullptr;
};

using KvlMpFileHandlerTest = vrxtest::ToolkitTest;

// What the active file and the synced copy hold when the copy is synced.
std::vector<std::pair<off_t, off_t>> &syncs() {
    static std::vector<std::pair<off_t, off_t>> seen;
    return seen;
}
void recordSync(int fd) {
    struct stat active {
    }, copy{};
    stat("x.log", &active);
    fstat(fd, &copy);
    syncs().emplace_back(active.st_size, copy.st_size);
}

// The active file keeps its inode: it is emptied in place, after the copy
// holding its content was synced, file 1 gets its old content, and with
// two files nothing else moves.
TEST_F(KvlMpFileHandlerTest, RolloverEmptiesTheActiveFileInPlace) {
    PrivateKey key(2);
    SharedLog log(key.key(), 100, 2);
    for (int n = 1; n <= 4; ++n)
        log.log(paddedRecord(n));
    struct stat before {};
    stat("x.log", &before);
    syncs().clear();
    cxSetFileFlushHookForTest(recordSync);
    log.log(paddedRecord(5));
    cxSetFileFlushHookForTest(nullptr);
    const off_t full = static_cast<off_t>(paddedRecords(1, 4).size());
    EXPECT_EQ(syncs(), (std::vector<std::pair<off_t, off_t>>{{full, full}}));
    log.log(paddedRecord(6));
    struct stat after {};
    stat("x.log", &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(contentOf("x.log"), paddedRecords(5, 6));
    EXPECT_EQ(contentOf("x1.log"), paddedRecords(1, 4));
    EXPECT_FALSE(fs::exists("x2.log"));
    EXPECT_TRUE(key.exists()) << "the configured key names the set";
}

TEST_F(KvlMpFileHandlerTest, OneFileNeverRolls) {
    PrivateKey key(3);
    SharedLog log(key.key(), 10, 1);
    for (int n = 1; n <= 5; ++n)
        log.log(paddedRecord(n));
    EXPECT_EQ(contentOf("x.log"), paddedRecords(1, 5));
}

// A roller killed after placing file 1 but before truncating left file 1
// equal to the active file: the next rollover only truncates.
TEST_F(KvlMpFileHandlerTest, AnInterruptedRolloverIsFinishedWithoutDuplicates) {
    PrivateKey key(4);
    const std::string here = fs::current_path().string();
    writeFile(here + "/x.log", paddedRecords(1, 4));
    writeFile(here + "/x1.log", paddedRecords(1, 4));
    SharedLog log(key.key(), 100, 3);
    log.log(paddedRecord(5));
    EXPECT_EQ(contentOf("x.log"), paddedRecords(5, 5));
    EXPECT_EQ(contentOf("x1.log"), paddedRecords(1, 4));
    EXPECT_FALSE(fs::exists("x2.log")) << "nothing shifted";
}

// File 1 cannot be made (a directory has its name): the active file keeps
// its records and grows, the failure is reported once however many records
// try the rollover, and the rollover happens once file 1 can be made.
TEST_F(KvlMpFileHandlerTest, ABlockedBackupIsReportedOnceAndCostsNoRecord) {
    PrivateKey key(5);
    fs::create_directory("x1.log");
    writeFile(fs::current_path().string() + "/x1.log/keep", "");
    RaisedMessages raised;
    OutputCapture out(1);
    {
        SharedLog log(key.key(), 100, 2);
        // The warning is written by a file handler of its own while the
        // record that caused it waits to be written on the same thread.
        KvlObject *errors = KvlGetObject("kavel.errorLogger", nullptr);
        KvlObject *errorFile = KvlGetObject("errors.file", "kvl_filehandler");
        KvlSetObjProp(errorFile, "fileName", "errors.log");
        KvlAddListener(errors, errorFile);
        for (int n = 1; n <= 7; ++n)
            log.log(paddedRecord(n));
        EXPECT_EQ(contentOf("x.log"), paddedRecords(1, 7));
        fs::remove_all("x1.log");
        log.log(paddedRecord(8));
        KvlRemListener(errors, errorFile);
        KvlReleaseObject(errorFile);
        KvlReleaseObject(errors);
    }
    const std::string printed = out.text();
    const std::string line =
        "ERR opening " + fs::current_path().string() + "/x1.log pre rollover\n";
    EXPECT_NE(printed.find(line), std::string::npos) << printed;
    EXPECT_EQ(printed.find(line), printed.rfind(line)) << printed;
    const auto keys = raised.take();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), 73), 1);
    EXPECT_EQ(contentOf("x1.log"), paddedRecords(1, 7));
    EXPECT_EQ(contentOf("x.log"), paddedRecords(8, 8));
    const std::string errors = contentOf("errors.log");
    EXPECT_NE(errors.find("KVLMP0073W"), std::string::npos);
    EXPECT_EQ(errors.find("KVLMP0073W"), errors.rfind("KVLMP0073W")) << errors;
}

// The name is checked against the open file under the lock: a log deleted,
// moved away or replaced is reopened at the next record, and whatever is
// put at the name that is not a regular file (a link, a directory) is
// refused, once, with nothing written through it.
TEST_F(KvlMpFileHandlerTest, TheNameIsCheckedAgainstTheOpenFile) {
    const std::string here = fs::current_path().string();
    const struct {
        const char *name;
        void (*change)(const std::string &here);
        std::string active, moved;  // what x.log and moved.log hold at the end
        int refusals;
        // clang-format off
    } cases[] = {
        {"deleted", [](const std::string &) { fs::remove("x.log"); }, "b\nc\n", "<missing>", 0},
        {"moved", [](const std::string &) {fs::rename("x.log", "moved.log"); }, "b\nc\n", "a\n", 0},
        {"replaced by a link", [](const std::string &h) { fs::remove("x.log"); fs::create_symlink(h + "/victim", "x.log"); }, "secret\n", "<missing>", 1},
        {"replaced by a directory", [](const std::string &) { fs::remove("x.log"); fs::create_directory("x.log"); }, "", "<missing>", 1},  // a directory reads as nothing
    };
    // clang-format on
    int32_t n = 10;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        PrivateKey key(n++);
        writeFile(here + "/victim", "secret\n");
        RaisedMessages raised;
        {
            SharedLog log(key.key(), 1000, 3);
            log.log("a");
            c.change(here);
            log.log("b");
            log.log("c");
        }
        const auto keys = raised.take();
        EXPECT_EQ(std::count(keys.begin(), keys.end(), 32), c.refusals);
        EXPECT_EQ(contentOf("victim"), "secret\n");
        EXPECT_EQ(contentOf("x.log"), c.active);
        EXPECT_EQ(contentOf("moved.log"), c.moved);
        for (const char *name : {"x.log", "moved.log", "victim"})
            fs::remove_all(name);
    }
}

// A lock held longer than "MPFileSemTimeout" costs the records that wait
// for it: each is dropped after the timeout, and their number is reported
// once, when the lock is had again.
TEST_F(KvlMpFileHandlerTest, ALockHeldTooLongDropsCountedRecords) {
    PrivateKey key(20);
    Holder holder(key.key());
    ASSERT_TRUE(holder.locked());
    RaisedMessages raised;
    OutputCapture out(1);
    {
        SharedLog log(key.key(), 1000, 3);
        log.set("MPFileSemTimeout", "100");
        for (const char *text : {"a", "b", "c"})
            log.log(text);
        holder.release();
        EXPECT_EQ(holder.wait(), 0);
        log.log("d");
        log.log("e");
    }
    EXPECT_EQ(contentOf("x.log"), "d\ne\n");
    const auto keys = raised.take();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), 132), 1);
    EXPECT_NE(out.text().find("KVLMP0132W 3 records for the log file " +
                              fs::current_path().string() + "/x.log were dropped"),
              std::string::npos)
        << out.text();
}

TEST_F(KvlMpFileHandlerTest, NeitherADeadHolderNorAnotherKeyBlocks) {
    PrivateKey key(6), other(7);
    Holder dead(key.key());
    ASSERT_TRUE(dead.locked());
    dead.kill9();
    dead.wait();
    Holder alive(other.key());
    ASSERT_TRUE(alive.locked());
    {
        SharedLog log(key.key(), 1000, 3);
        log.log("through");
    }
    EXPECT_EQ(contentOf("x.log"), "through\n");
    alive.release();
    EXPECT_EQ(alive.wait(), 0);
}

// Whether `content` is nothing but whole "rec-NN" records of `size` bytes.
bool wholeRecords(const std::string &content, size_t size) {
    if (content.size() % size != 0) return false;
    for (size_t at = 0; at < content.size(); at += size)
        if (content.compare(at, 4, "rec-") != 0 || content[at + size - 1] != '\n') return false;
    return true;
}

// Runs `body` in a child process with a 64 KiB tmpfs mounted at `mount` in a
// private mount namespace (root only); its exit status, or 77 when the
// namespace cannot be made.
template <class Body>
int inSmallFileSystem(const fs::path &mount, Body body) {
    fs::create_directory(mount);
    return waitChild(startChild([&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=64k") != 0)
            return 77;
        return body();
    }));
}

// Both handlers on a 64 KiB file system: writing past full reports the
// error and leaves only whole records, and writing resumes once space is
// freed.
TEST_F(KvlMpFileHandlerTest, AFullFileSystemLeavesWholeRecordsAndWritingResumes) {
    PrivateKey key(8);
    const fs::path mount = fs::current_path() / "small";
    const int status = inSmallFileSystem(mount, [&] {
        int failures = 0;
        for (const char *handlerClass : {"kvl_filehandler", "kvl_multiproc_filehandler"}) {
            const std::string log = (mount / handlerClass).string() + ".log";
            const std::string filler = (mount / "filler").string();
            writeFile(filler, std::string(24 * 1024, 'f'));
            SharedLog writer(key.key(), 1048576, 1, log, handlerClass);
            RaisedMessages raised;
            for (int n = 0; n < 80; ++n)
                writer.record(n);
            const auto keys = raised.take();
            if (std::count(keys.begin(), keys.end(), 0) == 0) failures |= 1;
            const std::string full = readFile(log).value_or("");
            if (!wholeRecords(full, 1000)) failures |= 2;
            fs::remove(filler);
            writer.record(80);
            const std::string resumed = readFile(log).value_or("");
            if (!wholeRecords(resumed, 1000) || resumed.size() != full.size() + 1000) failures |= 4;
            fs::remove(log);
        }
        return failures;
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace (needs root)";
    EXPECT_EQ(status, 0) << "1: no error reported; 2: a part record; 4: writing did not resume";
}

// The multi-process handler rolling over on a 64 KiB file system: once the
// copy into file 1 no longer fits, the active file keeps its records, so
// the set holds one unbroken run of records up to the last that fitted.
TEST_F(KvlMpFileHandlerTest, ARolloverThatCannotCopyKeepsEveryRecord) {
    PrivateKey key(21);
    const fs::path mount = fs::current_path() / "small";
    const int status = inSmallFileSystem(mount, [&] {
        const std::string log = (mount / "x.log").string();
        {
            SharedLog writer(key.key(), 20000, 3, log);
            for (int n = 0; n < 80; ++n)
                writer.record(n);
        }
        std::vector<int> present;
        for (const char *name : {"x2.log", "x1.log", "x.log"}) {
            const std::string content = readFile((mount / name).string()).value_or("");
            if (!wholeRecords(content, 1000)) return 1;
            for (size_t at = 0; at < content.size(); at += 1000)
                present.push_back(std::stoi(content.substr(at + 4, 4)) - 1000);
        }
        for (size_t i = 1; i < present.size(); ++i)
            if (present[i] != present[i - 1] + 1) return 2;
        return present.size() >= 40 ? 0 : 3;
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace (needs root)";
    EXPECT_EQ(status, 0) << "1: a part record; 2: records lost between others; 3: too few kept";
}

}  // namespace
