// The multi-process file handler: processes sharing one file set under a
// semaphore lose and interleave nothing, the active file is emptied in
// place (never renamed), a rollover interrupted before its truncation is
// finished without duplicating, a blocked backup is reported and its
// content dropped, and a dead holder or another key blocks nobody. Both
// file handlers on a full file system keep only whole records.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "KvlClasses.h"
#include "sem_holder.h"
#include "toolkit_test.h"

namespace {

using vrxtest::contentOf;
using vrxtest::Holder;
using vrxtest::OutputCapture;
using vrxtest::paddedRecord;
using vrxtest::paddedRecords;
using vrxtest::PrivateKey;
using vrxtest::RaisedMessages;
using vrxtest::readFile;
using vrxtest::writeFile;
namespace fs = std::filesystem;

// An open toolkit with a logger "app" feeding a multi-process handler on
// "x.log" in the working directory, with `key`, `maxFileSize` and `maxFiles`.
class SharedLog {
public:
    SharedLog(int32_t key, int maxFileSize, int maxFiles) {
        KvlOpenToolkit(nullptr);
        vrxtest::addPlainFormatterClass();
        formatter_ = KvlGetObject("app.plain", "test_plain");
        logger_ = KvlGetObject("app", "kvl_basiclogger");
        KvlSetObjProp(logger_, "level", "ALL");
        handler_ = KvlGetObject("app.shared", "kvl_multiproc_filehandler");
        KvlSetObjProp(handler_, "formatterName", "app.plain");
        KvlSetObjProp(handler_, "MPFileSemKey", std::to_string(key).c_str());
        KvlSetObjProp(handler_, "maxFileSize", std::to_string(maxFileSize).c_str());
        KvlSetObjProp(handler_, "maxFiles", std::to_string(maxFiles).c_str());
        KvlSetObjProp(handler_, "fileName", "x.log");
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

private:
    KvlObject *formatter_ = nullptr;
    KvlObject *logger_ = nullptr;
    KvlObject *handler_ = nullptr;
};

class KvlMpFileHandlerTest : public vrxtest::ToolkitTest {
protected:
};

TEST_F(KvlMpFileHandlerTest, TwoProcessesLoseAndInterleaveNothing) {
    PrivateKey key(1);
    constexpr int kRecords = 60;
    std::vector<pid_t> writers;
    for (int w = 0; w < 2; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            SharedLog log(key.key(), 100, 99);
            for (int n = 0; n < kRecords; ++n)
                log.log("w" + std::to_string(w) + "-" + std::to_string(n));
            _exit(0);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Oldest backup first, the active file last: each writer's records
    // appear once, whole and in order; no file holds much over 100 bytes.
    std::map<std::string, int> next;
    for (int n = 98; n >= 0; --n) {
        const std::string name = n == 0 ? "x.log" : "x" + std::to_string(n) + ".log";
        if (!fs::exists(name)) continue;
        const std::string content = contentOf(name);
        EXPECT_LE(content.size(), 100u + 6u) << name;
        std::istringstream lines(content);
        for (std::string line; std::getline(lines, line);) {
            const std::string writer = line.substr(0, 2);
            ASSERT_TRUE(writer == "w0" || writer == "w1") << line;
            EXPECT_EQ(line, writer + "-" + std::to_string(next[writer]++)) << name;
        }
    }
    EXPECT_EQ(next["w0"], kRecords);
    EXPECT_EQ(next["w1"], kRecords);
    EXPECT_EQ(key.value(), 1) << "the lock is free afterwards";
}

// The active file keeps its inode: it is emptied in place, file 1 gets its
// old content, and with two files nothing else moves.
TEST_F(KvlMpFileHandlerTest, RolloverEmptiesTheActiveFileInPlace) {
    PrivateKey key(2);
    SharedLog log(key.key(), 100, 2);
    for (int n = 1; n <= 4; ++n)
        log.log(paddedRecord(n));
    struct stat before {};
    stat("x.log", &before);
    log.log(paddedRecord(5));
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

TEST_F(KvlMpFileHandlerTest, ABlockedBackupIsReportedAndTheActiveFileStillEmptied) {
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
        for (int n = 1; n <= 5; ++n)
            log.log(paddedRecord(n));
        KvlRemListener(errors, errorFile);
        KvlReleaseObject(errorFile);
        KvlReleaseObject(errors);
    }
    const std::string printed = out.text();
    const std::string line =
        "ERR opening " + fs::current_path().string() + "/x1.log pre rollover\n";
    EXPECT_NE(printed.find(line), std::string::npos) << printed;
    const auto keys = raised.take();
    EXPECT_NE(std::find(keys.begin(), keys.end(), 73), keys.end());
    EXPECT_EQ(contentOf("x.log"), paddedRecords(5, 5));
    EXPECT_NE(contentOf("errors.log").find("KVLMP0073W"), std::string::npos);
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

// Both handlers on a 64 KiB file system (a private mount namespace; root
// only): writing past full reports the error and leaves only whole
// records, and writing resumes once space is freed.
TEST_F(KvlMpFileHandlerTest, AFullFileSystemLeavesWholeRecordsAndWritingResumes) {
    PrivateKey key(8);
    const fs::path mount = fs::current_path() / "small";
    fs::create_directory(mount);
    const pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(77);
        int failures = 0;
        for (const char *handlerClass : {"kvl_filehandler", "kvl_multiproc_filehandler"}) {
            const std::string log = (mount / handlerClass).string() + ".log";
            const std::string filler = (mount / "filler").string();
            writeFile(filler, std::string(24 * 1024, 'f'));
            KvlOpenToolkit(nullptr);
            vrxtest::addPlainFormatterClass();
            KvlObject *logger = KvlGetObject("app", "kvl_basiclogger");
            KvlSetObjProp(logger, "level", "ALL");
            KvlObject *handler = KvlGetObject("app.full", handlerClass);
            KvlObject *formatter = KvlGetObject("app.full.plain", "test_plain");
            KvlSetObjProp(handler, "formatterName", "app.full.plain");
            KvlSetObjProp(handler, "MPFileSemKey", std::to_string(key.key()).c_str());
            KvlSetObjProp(handler, "maxFiles", "1");
            KvlSetObjProp(handler, "fileName", log.c_str());
            KvlAddListener(logger, handler);
            RaisedMessages raised;
            std::string text(999, '.');
            for (int n = 0; n < 80; ++n) {
                text.replace(0, 6, "rec-" + std::to_string(10 + n % 90));
                KvlLogText(logger, "%s", KVL_ARG_STRING, text.c_str(), KVL_ARG_END);
            }
            const auto keys = raised.take();
            if (std::count(keys.begin(), keys.end(), 0) == 0) failures |= 1;
            const std::string full = readFile(log).value_or("");
            if (!wholeRecords(full, 1000)) failures |= 2;
            fs::remove(filler);
            KvlLogText(logger, "%s", KVL_ARG_STRING, text.c_str(), KVL_ARG_END);
            const std::string resumed = readFile(log).value_or("");
            if (!wholeRecords(resumed, 1000) || resumed.size() != full.size() + 1000) failures |= 4;
            KvlReleaseObject(formatter);
            KvlReleaseObject(handler);
            KvlReleaseObject(logger);
            KvlCloseToolkit();
            fs::remove(log);
        }
        _exit(failures);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace (needs root)";
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: no error reported; 2: a part record; 4: writing did not resume";
}

}  // namespace
