// The file handler: rollover by size without splitting a record (the limit
// reached exactly included), the names of the set (only the last component
// is taken apart), sizes that never or always roll, creation modes,
// truncating opens, a deleted log recreated at the next record, links and
// other files at the log's name refused, output codesets, the basic
// formatter's line, refused names, a record that cannot be written whole
// leaving the file as it was, and lasting failures reported once.

#include "KvlClasses.h"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

char *header(KvlObject *) noexcept { return OxsStringDup("H\n"); }
char *trailer(KvlObject *) noexcept { return OxsStringDup("T\n"); }

class KvlFileHandlerTest : public vrxtest::ToolkitTest {
protected:
    KvlFileHandlerTest() {
        KvlOpenToolkit(nullptr);
        vrxtest::addPlainFormatterClass();
        KvlAddFormatterClass("test_framed", nullptr, nullptr, nullptr, nullptr, plainFormat, header,
                             trailer, kvlIntlBindI18Msg);
        logger_ = KvlGetObject("app", "kvl_basiclogger");
        KvlSetObjProp(logger_, "level", "ALL");
    }
    ~KvlFileHandlerTest() override {
        KvlReleaseObject(handler_);
        KvlReleaseObject(logger_);
        for (KvlObject *formatter : formatters_)
            KvlReleaseObject(formatter);
        KvlCloseToolkit();
    }
    // A file handler fed by the logger, with a formatter of `formatterClass`.
    void makeHandler(const std::vector<Prop> &props, const char *formatterClass = "test_plain") {
        const std::string name = "app.file" + std::to_string(count_++);
        const std::string formatter = name + ".format";
        formatters_.push_back(KvlGetObject(formatter.c_str(), formatterClass));
        if (handler_ != nullptr) {
            KvlRemListener(logger_, handler_);
            KvlHandlerClose(handler_);
            KvlReleaseObject(handler_);
        }
        handler_ = KvlGetObject(name.c_str(), "kvl_filehandler");
        KvlSetObjProp(handler_, "formatterName", formatter.c_str());
        for (const Prop &p : props)
            KvlSetObjProp(handler_, p.name, p.value.c_str());
        KvlAddListener(logger_, handler_);
    }
    void log(const std::string &text) {
        KvlLogText(logger_, "%s", KVL_ARG_STRING, text.c_str(), KVL_ARG_END);
    }
    KvlObject *logger_ = nullptr;
    KvlObject *handler_ = nullptr;
    std::vector<KvlObject *> formatters_;
    int count_ = 0;
};

// Rollover by size drops the oldest file and never splits a record. A file
// that reaches "maxFileSize" exactly is full: four 25-byte records
// fill 100 bytes and the fifth starts a fresh file. With the property
// removed again the limit is 1024 bytes.
TEST_F(KvlFileHandlerTest, RollsOverWholeRecordsAndTheLimitIsReachedExactly) {
    makeHandler({{"fileName", "logs/trace.log"}, {"maxFileSize", "100"}, {"maxFiles", "3"}});
    for (int n = 1; n <= 13; ++n)
        log(paddedRecord(n));
    // 100 bytes are reached after the fourth record of a file: the fifth
    // goes into a fresh one.
    EXPECT_EQ(contentOf("logs/trace.log"), paddedRecords(13, 13));
    EXPECT_EQ(contentOf("logs/trace1.log"), paddedRecords(9, 12));
    EXPECT_EQ(contentOf("logs/trace2.log"), paddedRecords(5, 8));
    EXPECT_FALSE(fs::exists("logs/trace3.log"));

    const std::string record(24, 'r');
    makeHandler({{"fileName", "e.log"}, {"maxFileSize", "100"}, {"maxFiles", "2"}});
    for (int n = 1; n <= 5; ++n)
        log(record);
    EXPECT_EQ(contentOf("e1.log").size(), 100u);
    EXPECT_EQ(contentOf("e.log").size(), 25u);
    makeHandler({{"fileName", "r.log"}, {"maxFileSize", "100"}, {"maxFiles", "2"}});
    KvlSetObjProp(handler_, "maxFileSize", nullptr);  // absent again
    for (int n = 1; n <= 42; ++n)                     // 41 x 25 = 1025: the 42nd record rolls
        log(record);
    EXPECT_EQ(contentOf("r1.log").size(), 1025u) << "rolled once 1024 bytes were reached";
    EXPECT_EQ(contentOf("r.log").size(), 25u);
}

// maxFileSize 0 with two files rolls before every record: the active file
// holds the last record, file 1 the one before.
TEST_F(KvlFileHandlerTest, NamesOfTheSet) {
    const struct {
        const char *fileName;
        const char *active;
        const char *backup;
    } cases[] = {
        {"msg2.log", "msg2_.log", "msg2_1.log"},
        {"trace", "trace", "trace1"},
        {"logs.d/trace", "logs.d/trace", "logs.d/trace1"},
        {"v1.2/trace", "v1.2/trace", "v1.2/trace1"},
        {"v1.2/msg7", "v1.2/msg7_", "v1.2/msg7_1"},
        {"7.log", "7_.log", "7_1.log"},  // a base that is one digit
        {"sub\\dir\\x.log", "sub/dir/x.log", "sub/dir/x1.log"},
    };
    for (const auto &c : cases) {
        makeHandler({{"fileName", c.fileName}, {"maxFileSize", "0"}, {"maxFiles", "2"}});
        log("first");
        log("second");
        EXPECT_EQ(contentOf(c.active), "second\n") << c.fileName;
        EXPECT_EQ(contentOf(c.backup), "first\n") << c.fileName;
    }
}

TEST_F(KvlFileHandlerTest, SizesThatNeverRollOver) {
    const struct {
        const char *name;
        const char *maxFiles;
        const char *maxFileSize;
    } cases[] = {{"one.log", "1", "10"}, {"none.log", "0", "10"}, {"negative.log", "3", "-1"}};
    for (const auto &c : cases) {
        const std::string name = c.name;
        makeHandler({{"fileName", name}, {"maxFiles", c.maxFiles}, {"maxFileSize", c.maxFileSize}});
        for (int n = 1; n <= 5; ++n)
            log(paddedRecord(n));
        EXPECT_EQ(contentOf(name), paddedRecords(1, 5)) << name;
    }
}

TEST_F(KvlFileHandlerTest, CreationModes) {
    RaisedMessages raised;
    makeHandler({{"fileName", "a.log"}, {"filePermission", "0640"}});
    log("x");
    EXPECT_EQ(modeOf("a.log"), 0640u);
    makeHandler({{"fileName", "b.log"}, {"filePermission", "rw"}});
    EXPECT_EQ(raised.take(), std::vector<int32_t>{74});
    log("x");
    EXPECT_EQ(modeOf("b.log"), 0744u) << "the default, under umask 022";
}

TEST_F(KvlFileHandlerTest, AppendingFalseTruncatesAtEveryOpen) {
    writeFile((fs::current_path() / "t.log").string(), "old content\n");
    makeHandler({{"fileName", "t.log"}, {"appending", "false"}});
    log("one");
    EXPECT_EQ(contentOf("t.log"), "one\n");
    KvlSetObjProp(handler_, "maxFiles", "3");  // closes; the next record reopens
    log("two");
    EXPECT_EQ(contentOf("t.log"), "two\n");
}

// A change to what the file is closes it first (its trailer written, the
// header again before the next record); the permissions only when they
// are set, and neither the reporting switch, the lock's wait nor the
// common properties close it.
TEST_F(KvlFileHandlerTest, ChangesThatTouchTheFileCloseItFirst) {
    RaisedMessages raised;
    const struct {
        const char *name;
        const char *value;  // null: the property removed
        bool closes;
    } cases[] = {
        // clang-format off
        {"maxFileSize", "100000", true}, {"maxFileBytes", "100000", true}, {"maxFiles", "3", true},
        {"appending", "true", true}, {"fileEncoding", "nowhere", true},
        {"MPFileSemKey", "31821", true}, {"filePermission", "0644", true},
        {"filePermission", nullptr, false}, {"dirPermission", "0755", true},
        {"dirPermission", nullptr, false}, {"logInternalErrs", "true", false},
        {"MPFileSemTimeout", "500", false}, {"description", "d", false},
        {"noSuchProperty", "x", false},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + (c.value != nullptr ? c.value : "<removed>"));
        fs::remove("c.log");
        makeHandler({{"fileName", "c.log"}, {"maxFileSize", "100000"}}, "test_framed");
        log("a");
        KvlSetObjProp(handler_, c.name, c.value);
        log("b");
        EXPECT_EQ(contentOf("c.log"), c.closes ? "H\na\nT\nH\nb\n" : "H\na\nb\n");
    }
    raised.take();
}

TEST_F(KvlFileHandlerTest, ADeletedOrMovedLogIsRecreatedWithItsHeader) {
    makeHandler({{"fileName", "d.log"}}, "test_framed");
    log("one");
    fs::remove("d.log");
    log("two");
    EXPECT_EQ(contentOf("d.log"), "H\ntwo\n");
    // Moved away and replaced by another file of the same name, as a log
    // rotator does: the next record goes to the file the name now means.
    fs::rename("d.log", "moved.log");
    writeFile((fs::current_path() / "d.log").string(), "new\n");
    log("three");
    EXPECT_EQ(contentOf("d.log"), "new\nH\nthree\n");
    EXPECT_EQ(contentOf("moved.log"), "H\ntwo\nT\n");
}

// Whatever stands at the log's name that is not a regular file (a link to
// another file, planted before or during the run, a FIFO, a directory) is
// refused: nothing is written through it, no open blocks, the refusal is
// reported once however many records come, and a regular file there again
// is written as usual.
TEST_F(KvlFileHandlerTest, OnlyARegularFileAtTheNameIsWritten) {
    const fs::path here = fs::current_path();
    const std::string victim = (here / "victim").string();
    const struct {
        const char *name;
        void (*plant)(const fs::path &log, const std::string &victim);
        bool writtenFirst;  // a record goes in before the name is replaced
        // clang-format off
    } cases[] = {
        {"link", [](const fs::path &log, const std::string &to) {fs::create_symlink(to, log); }, false},
        {"link planted mid-run", [](const fs::path &log, const std::string &to) {fs::remove(log); fs::create_symlink(to, log); }, true},
        {"fifo", [](const fs::path &log, const std::string &) {mkfifo(log.c_str(), 0644); }, false},
        {"directory", [](const fs::path &log, const std::string &) {fs::create_directory(log); }, false},
    };
    // clang-format on
    char n = 'a';
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(victim, "secret\n");
        const fs::path logFile = here / (std::string("h") + n++ + ".log");
        makeHandler({{"fileName", logFile.string()}});
        if (c.writtenFirst) log("before");
        RaisedMessages raised;
        c.plant(logFile, victim);
        for (int i = 0; i < 5; ++i)
            log("refused");
        EXPECT_EQ(raised.take(), std::vector<int32_t>{32});
        EXPECT_EQ(contentOf(victim), "secret\n");
        fs::remove_all(logFile);
        log("after");
        EXPECT_EQ(contentOf(logFile.string()), "after\n");
    }
}

TEST_F(KvlFileHandlerTest, OutputCodesets) {
    vrxtest::EnvGuard tables("ZILDIR", VRX_TEST_BUILD_DIR);
    RaisedMessages raised;
    makeHandler({{"fileName", "u.log"}, {"fileEncoding", "NOSUCH"}});
    EXPECT_EQ(raised.take(), std::vector<int32_t>{36});
    log("caf\xC3\xA9");
    EXPECT_EQ(contentOf("u.log"), "caf\xC3\xA9\n");
    makeHandler({{"fileName", "l.log"}, {"fileEncoding", "ISO88591"}});
    log("caf\xC3\xA9");
    EXPECT_EQ(contentOf("l.log"), "caf\xE9\n");
}

// The toolkit's own formatters reach the handler without the copy the
// public format call hands out: the basic line arrives whole.
// A format that refuses its parameter leaves the default text.
TEST_F(KvlFileHandlerTest, TheBasicFormatterLineArrivesWhole) {
    makeHandler({{"fileName", "b.log"}}, "kvl_basicformatter");
    KvlLogDebugMin(logger_, "src.cpp", "run", 42, "rc=%d", KVL_INT(12), KVL_ARG_END);
    KvlLogDebugMin(logger_, "src.cpp", "run", 43, "name=%s", KVL_INT(12), KVL_ARG_END);
    const std::string date = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)";
    const std::regex lines(date + R"( src\.cpp run 42 rc=12\n)" + date +
                           R"( src\.cpp run 43 name=%s\n)");
    EXPECT_TRUE(std::regex_match(contentOf("b.log"), lines)) << contentOf("b.log");
}

TEST_F(KvlFileHandlerTest, NamesThatDoNotFitAreRefused) {
    RaisedMessages raised;
    makeHandler({{"fileName", std::string(256, 'n')}});
    EXPECT_EQ(raised.take(), std::vector<int32_t>{31});
    log("x");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 0)
        << "nothing written, not even a cut name";
}

// A record the file cannot take whole is not written at all: the file is
// cut back to the records before it, and later records that fit go on.
TEST_F(KvlFileHandlerTest, ARecordThatCannotBeWrittenWholeLeavesNoPart) {
    makeHandler({{"fileName", "w.log"}});
    log(paddedRecord(1));
    {
        FileSizeLimit limit(45);  // room for half of the next record
        log(paddedRecord(2));
    }
    log(paddedRecord(3));
    EXPECT_EQ(contentOf("w.log"), paddedRecord(1) + "\n" + paddedRecord(3) + "\n");
}

// A log directory the writer may not write into (as "nobody" when the
// tests run as root): the missing directory and the failed open are
// reported once each however many records come, nothing is written,
// nothing crashes.
TEST_F(KvlFileHandlerTest, AnUnwritableDirectoryIsReportedAndNothingWritten) {
    const fs::path readOnly = fs::current_path() / "ro";
    fs::create_directory(readOnly);
    chmod(fs::current_path().c_str(), 0755);
    chmod(readOnly.c_str(), 0555);
    const std::string name = (readOnly / "sub" / "x.log").string();
    const pid_t pid = vrxtest::startChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
        RaisedMessages raised;
        makeHandler({{"fileName", name}});
        for (int i = 0; i < 100; ++i)
            log("lost");
        const auto keys = raised.take();
        const bool dirReported = std::count(keys.begin(), keys.end(), 32) == 1;
        const bool openReported = std::count(keys.begin(), keys.end(), 0) == 1;
        return dirReported && openReported ? 0 : 1;
    });
    EXPECT_EQ(vrxtest::waitChild(pid), 0) << "1: not both reported; 2: could not become nobody";
    EXPECT_FALSE(fs::exists(readOnly / "sub"));
}

}  // namespace
