// The FFDC file copy handler: which zip settings it keeps, copies that are
// byte-exact, private, synced and replace an earlier copy whole (links
// included), only of regular files and no larger than the quota counted,
// the zip command line seen by a fake zip program (quoted paths, option
// injection, failures that leave an old archive behind), a real zip
// archive, refusals by quota and by a disabled handler, a capture chain
// read from a properties file, and the registration of the capture classes.

#include "CxFile.h"
#include "ffdc_capture.h"

namespace {

using vrxtest::Prop;

const std::string kDay = "ffdc/2024.03.05/";

std::string binary(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    return bytes;
}

std::vector<std::string> splitNul(const std::string &text) {
    std::vector<std::string> parts;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\0', at);
        parts.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

class KvlFileCopyTest : public vrxtest::CaptureTest {
protected:
    KvlObject *copier(const std::vector<Prop> &props) {
        return handler("copy", "kvl_ffdc_filecopy_handler", props);
    }
    // Logs one trigger event at the next millisecond.
    void trigger() {
        ++clock();
        logError();
    }
    static std::string text(KvlObject *handler, char *(*get)(KvlObject *)) {
        return vrxtest::take(get(handler));
    }
};

TEST_F(KvlFileCopyTest, ZipSettingsKeptAndRefused) {
    const struct {
        const char *value;  // null: the property set without a value
        const char *stored;
    } names[] = {
        // clang-format off
        {"capture", "capture.zip"}, {"capture.ZIP", "capture.ZIP"}, {"a.zip.bak", "a.zip.bak.zip"},
        {"x.", "x..zip"}, {"", "<null>"},
        // clang-format on
    };
    KvlObject *made = copier({});
    for (const auto &c : names) {
        KvlSetObjProp(made, "zipFileName", "earlier");
        KvlSetObjProp(made, "zipFileName", c.value);
        EXPECT_EQ(text(made, KvlFileCopyHandlerGetZipFile), c.stored) << c.value;
    }
    KvlFileCopyHandlerSetZipFile(made, "kept");
    KvlSetObjProp(made, "unrelated", "x");
    EXPECT_EQ(text(made, KvlFileCopyHandlerGetZipFile), "kept.zip") << "absent changes nothing";

    KvlSetObjProp(made, "zipCmdPath", FAKE_ZIP_PATH);
    messages();
    for (const char *refused : {"/usr/bin/zip;rm", "/no/such/zip"}) {
        KvlSetObjProp(made, "zipCmdPath", refused);
        EXPECT_EQ(messages(), std::vector<std::string>{
                                  "65: KVLFF0065E The specified zip command '" +
                                  std::string(refused) + "'. does not exist or cannot be run."});
        EXPECT_EQ(text(made, KvlFileCopyHandlerGetZipCmdPath), FAKE_ZIP_PATH) << refused;
    }
}

TEST(KvlFileNameSafety, OnlyTheAllowedCharacters) {
    std::string allowed = "_ \"'%+,-./:=@\\~0123456789";
    for (char c = 'a'; c <= 'z'; ++c)
        allowed += {c, static_cast<char>(c - 'a' + 'A')};
    EXPECT_EQ(kvlIsFilenameUnsafe(allowed.c_str()), 0);
    EXPECT_EQ(kvlIsFilenameUnsafe(""), 0);
    for (const char *refused : {";", "|", "$", "`", "&", "*", "\n", "\xC3\xA9", "(", "<"})
        EXPECT_EQ(kvlIsFilenameUnsafe((std::string("/usr/bin/zip") + refused).c_str()), 1)
            << refused;
}

TEST_F(KvlFileCopyTest, CopiesAreExactPrivateAndReplaceWhole) {
    const std::vector<size_t> sizes = {0, 1, 8192, 100000};
    std::string list;
    for (size_t size : sizes) {
        const std::string name = "src/f" + std::to_string(size);
        vrxtest::writeFile(name, binary(size));
        list += name + " ";
    }
    list += "src/missing";
    copier({{"filesToCopy", list}});
    messages();
    trigger();
    EXPECT_EQ(messages(), std::vector<std::string>{"62: KVLFF0062W Could not find the file "
                                                   "src/missing to be copied by the file copying "
                                                   "handler copy."});
    for (size_t size : sizes) {
        const std::string copy = kDay + "f" + std::to_string(size);
        EXPECT_TRUE(vrxtest::readFile(copy) == binary(size)) << copy;
        struct stat status {};
        ASSERT_EQ(stat(copy.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u) << copy;
    }

    // The same day again, from a shorter source and over a link: exactly
    // the new copy, synced before it replaces the old one, the link's
    // target untouched, no temporary file left.
    vrxtest::writeFile("src/f100000", "short");
    vrxtest::writeFile("outside", "target");
    fs::remove(kDay + "f1");
    fs::create_symlink("../../outside", kDay + "f1");
    static std::vector<size_t> destinationAtSync;
    cxSetFileFlushHookForTest([](int fd) {
        struct stat synced {};
        fstat(fd, &synced);
        if (synced.st_size == 5)
            destinationAtSync.push_back(vrxtest::contentOf(kDay + "f100000").size());
    });
    trigger();
    cxSetFileFlushHookForTest(nullptr);
    EXPECT_EQ(destinationAtSync, std::vector<size_t>{100000})
        << "the old copy, until the new is synced";
    EXPECT_EQ(vrxtest::contentOf(kDay + "f100000"), "short");
    EXPECT_FALSE(fs::is_symlink(kDay + "f1"));
    EXPECT_EQ(vrxtest::contentOf(kDay + "f1"), binary(1));
    EXPECT_EQ(vrxtest::contentOf("outside"), "target");
    size_t files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(kDay))
        ++files;
    EXPECT_EQ(files, sizes.size());
    for (const auto &entry : fs::directory_iterator("ffdc"))  // nothing but day directories
        EXPECT_TRUE(entry.is_directory() && entry.path().filename() == "2024.03.05")
            << entry.path();
}

// Only regular files are copied, each at most to the size counted for the
// quota: a FIFO (which must not hold the call), a device and a directory
// are reported and skipped, a file that reads on past its size (a /proc
// file reads 0) is cut there and reported.
TEST_F(KvlFileCopyTest, OnlyRegularFilesAndOnlyWhatWasCounted) {
    fs::create_directories("src");
    ASSERT_EQ(mkfifo("src/fifo", 0600), 0);
    fs::create_directories("src/dir");
    vrxtest::writeFile("src/plain", "plain");
    copier({{"filesToCopy", "src/fifo /dev/zero src/plain /proc/self/status"}});
    messages();
    trigger();
    EXPECT_EQ(messages(),
              (std::vector<std::string>{
                  "141: KVLFF0141W The file src/fifo was not copied by the file copying handler "
                  "copy, because it is not a regular file.",
                  "141: KVLFF0141W The file /dev/zero was not copied by the file copying handler "
                  "copy, because it is not a regular file.",
                  "142: KVLFF0142W The file /proc/self/status grew while the file copying handler "
                  "copy copied it: only its first 0 bytes were copied."}));
    EXPECT_FALSE(fs::exists(kDay + "fifo"));
    EXPECT_FALSE(fs::exists(kDay + "zero"));
    EXPECT_EQ(vrxtest::contentOf(kDay + "plain"), "plain");
    EXPECT_EQ(vrxtest::contentOf(kDay + "status"), "");
}

TEST_F(KvlFileCopyTest, CopiesThatCannotBeMadeAreReported) {
    const std::string longName(240, 'n');
    vrxtest::writeFile("src/" + longName, "x");
    fs::create_directories("src/dir");
    messages();
    {
        KvlApiLock lock;  // as the handler holds it
        kvlFCHDoFileCopy("src/dir/", "ffdc", "copy");
        fs::create_directories("ffdc");
        kvlFCHDoFileCopy(("src/" + longName).c_str(), "ffdc/sub/deeper", "copy");
    }
    EXPECT_EQ(messages(),
              (std::vector<std::string>{
                  "62: KVLFF0062W Could not find the file src/dir/ to be copied by the file "
                  "copying handler copy.",
                  "63: KVLFF0063W The file copying handler copy could not copy the file "
                  "ffdc/sub/deeper/" +
                      longName + "."}));
    EXPECT_FALSE(fs::exists("ffdc/sub"));
}

TEST_F(KvlFileCopyTest, TheZipCommandLine) {
    vrxtest::writeFile("src/a b.log", "A");
    vrxtest::writeFile("-T", "T");
    vrxtest::writeFile("src/c.log", "C");
    ASSERT_EQ(mkfifo("src/fifo", 0600), 0);
    vrxtest::EnvGuard log{"FAKE_ZIP_LOG", "zip.args"};
    copier({{"zipFileName", "capture"},
            {"zipCmdPath", FAKE_ZIP_PATH},
            {"filesToCopy", "\"src/a b.log\" -T src/missing src/fifo src/c.log"}});
    messages();
    trigger();
    EXPECT_EQ(splitNul(vrxtest::contentOf("zip.args")),
              (std::vector<std::string>{" ", "-q", "-j", kDay + "capture.zip", "src/a b.log",
                                        "./-T", "src/c.log"}));
    const auto reported = messages();
    ASSERT_EQ(reported.size(), 2u) << "the missing file and the FIFO are reported";
    EXPECT_EQ(reported[1].substr(0, 5), "141: ");
    EXPECT_TRUE(fs::exists(kDay + "capture.zip"));

    // An archive from the capture before is there: failures still count.
    for (const char *mode : {"omit", "fail", "signal"}) {
        vrxtest::EnvGuard behaviour{"FAKE_ZIP_MODE", mode};
        trigger();
        const auto raised = messages();
        ASSERT_FALSE(raised.empty()) << mode;
        EXPECT_EQ(raised.back(),
                  "64: KVLFF0064E Could not create the zip file " + kDay + "capture.zip.")
            << mode;
    }
}

TEST_F(KvlFileCopyTest, AMissingZipCommandIsReported) {
    vrxtest::writeFile("src/a.log", "A");
    fs::copy_file(FAKE_ZIP_PATH, "myzip");
    const std::string command = (fs::current_path() / "myzip").string();
    KvlObject *made = copier({{"zipFileName", "capture"}, {"filesToCopy", "src/a.log"}});
    messages();
    trigger();  // no command set
    EXPECT_EQ(
        messages(),
        std::vector<std::string>{
            "65: KVLFF0065E The specified zip command 'NULL'. does not exist or cannot be run."});
    KvlSetObjProp(made, "zipCmdPath", command.c_str());
    fs::remove("myzip");
    trigger();
    const auto raised = messages();
    ASSERT_FALSE(raised.empty());
    EXPECT_EQ(raised.back(), "65: KVLFF0065E The specified zip command '" + command +
                                 "'. does not exist or cannot be run.");
}

TEST_F(KvlFileCopyTest, ARealZipArchive) {
    if (std::system("command -v zip >/dev/null && command -v unzip >/dev/null") != 0)
        GTEST_SKIP() << "zip and unzip are not installed";
    vrxtest::writeFile("src/a b.log", binary(5000));
    vrxtest::writeFile("src/c.bin", binary(70000));
    copier({{"zipFileName", "capture"},
            {"zipCmdPath", "/usr/bin/zip"},
            {"filesToCopy", "\"src/a b.log\" src/c.bin"}});
    trigger();
    const std::string archive = kDay + "capture.zip";
    EXPECT_EQ(vrxtest::commandOutput("unzip -Z1 " + archive), "a b.log\nc.bin\n");
    EXPECT_TRUE(vrxtest::commandOutput("unzip -p " + archive + " 'a b.log'") == binary(5000));
    EXPECT_TRUE(vrxtest::commandOutput("unzip -p " + archive + " c.bin") == binary(70000));
}

TEST_F(KvlFileCopyTest, NothingIsCopiedWhenRefused) {
    vrxtest::writeFile("src/a.log", "A");
    vrxtest::sparseFile("ffdc/old", 10485760);  // the whole quota
    KvlObject *made = copier({{"filesToCopy", "src/a.log"}, {"quotaPolicy", "QUOTA_SUSPEND"}});
    trigger();
    EXPECT_FALSE(fs::exists(kDay + "a.log")) << "suspended by the quota";
    fs::remove("ffdc/old");
    KvlSetObjectEnabled(made, 0);
    trigger();
    EXPECT_FALSE(fs::exists(kDay + "a.log")) << "disabled";
    KvlSetObjectEnabled(made, 1);
    trigger();
    EXPECT_TRUE(fs::exists(kDay + "a.log"));
}

// The agent's way: a properties file naming a pd logger whose listener is a
// copy handler with a message-id trigger and a quoted list.
class KvlFileCopyChain : public vrxtest::ToolkitTest {};

TEST_F(KvlFileCopyChain, FromAPropertiesFile) {
    vrxtest::writeFile("logs/trace one.log", "trace");
    vrxtest::writeFile("log.properties",
                       "agent.className=kvl_pdlogger\n"
                       "agent.level=ALL\n"
                       "agent.listenerNames=agent.ffdc\n"
                       "agent.ffdc.className=kvl_ffdc_filecopy_handler\n"
                       "agent.ffdc.baseDir=ffdc\n"
                       "agent.ffdc.triggerFilter=agent.trigger\n"
                       "agent.ffdc.filesToCopy=\"logs/trace one.log\"\n"
                       "agent.trigger.className=kvl_msgidfilter\n");
    ASSERT_EQ(KvlOpenToolkit("log.properties"), 1);
    KvlInitFFDCExtensions();  // before the objects are made
    KvlObject *agent = KvlGetObject("agent", nullptr);
    KvlLogWarn(agent, nullptr, 0, 0, "KVLAG0001W only a warning", KVL_ARG_END);
    const std::string day = [] {
        const time_t now = time(nullptr);
        struct tm local {};
        localtime_r(&now, &local);  // TZ is UTC in tests
        char text[16];
        strftime(text, sizeof text, "%Y.%m.%d", &local);
        return std::string(text);
    }();
    EXPECT_FALSE(fs::exists("ffdc/" + day + "/trace one.log"));
    KvlLogError(agent, nullptr, 0, 0, "KVLAG0002E a failure", KVL_ARG_END);
    EXPECT_EQ(vrxtest::contentOf("ffdc/" + day + "/trace one.log"), "trace");
    KvlReleaseObject(agent);
    KvlCloseToolkit();
}

TEST_F(KvlFileCopyTest, CaptureClassesRegisterOncePerOpenToolkit) {
    const auto handlerClasses = [] {
        std::vector<std::string> names;
        for (KvlStringGroupIter it = KvlGetHandlerClasses(); it != nullptr;
             it = KvlStringGroupIterNext(it)) {
            names.push_back(vrxtest::take(KvlStringGroupIterGet(it)));
        }
        return names;
    };
    KvlInitFFDCExtensions();
    const std::vector<std::string> before = handlerClasses();
    EXPECT_EQ(std::count(before.begin(), before.end(), "kvl_ffdc_trigger_handler"), 1);
    EXPECT_EQ(std::count(before.begin(), before.end(), "kvl_ffdc_filecopy_handler"), 1);
    KvlObject *oldLogger = kvlFFDCLogger();
    KvlCloseToolkit();
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    KvlInitFFDCExtensions();
    const std::vector<std::string> after = handlerClasses();
    EXPECT_EQ(std::count(after.begin(), after.end(), "kvl_ffdc_filecopy_handler"), 1);
    KvlObject *newLogger = kvlFFDCLogger();
    ASSERT_NE(newLogger, nullptr);
    EXPECT_EQ(vrxtest::take(KvlGetObjectName(newLogger)), "kavel.errorLogger");
    (void)oldLogger;

    vrxtest::addRecordingHandlerClass();
    KvlObject *errors = KvlGetObject("kavel.errorLogger", nullptr);
    KvlObject *recorder = KvlGetObject("errors.recorder2", "test_recordinghandler");
    KvlAddListener(errors, recorder);
    int value = 0;
    {
        KvlApiLock lock;  // its callers hold it
        EXPECT_EQ(kvlFFDCCheckPtr(&value), &value);
        EXPECT_TRUE(messages().empty());
        EXPECT_EQ(kvlFFDCCheckPtr(nullptr), nullptr);
    }
    const auto events = vrxtest::RecordingStore::instance().snapshot();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].key, 10);
    EXPECT_EQ(events[0].level, KVL_LEVEL_ERROR);
    EXPECT_EQ(events[0].boundText, "KVLFF0010E Out of memory.");
    KvlReleaseObject(recorder);
    KvlReleaseObject(errors);
}

}  // namespace
