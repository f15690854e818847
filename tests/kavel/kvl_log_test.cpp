// Logging calls and events: which calls a threshold takes, what a typed
// list puts into the event (parameters, properties, levels, and the
// warnings for a list without markers or without its end), source
// locations; and the properties file reader, row by row, into the log
// manager and into a property list, and end to end through opening.

#include "CxPropList.h"
#include "KvlClasses.h"
#include "kavel.hpp"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

class KvlLogTest : public vrxtest::ToolkitTest {
protected:
    KvlLogTest() {
        vrxtest::addRecordingHandlerClass();
        RecordingStore::instance().clear();
    }
    ~KvlLogTest() override {
        KvlReleaseObject(logger_);
        KvlCloseToolkit();
    }
    // An open toolkit and a logger "app" at `level` feeding a recorder.
    KvlObject *openWithLogger(const char *level) {
        EXPECT_EQ(KvlOpenToolkit(nullptr), 1);  // the calls below take a null logger
        logger_ = KvlGetObject("app", "kvl_basiclogger");
        KvlSetObjProp(logger_, "level", level);
        KvlObject *recorder = KvlGetObject("recorder", "test_recordinghandler");
        KvlAddListener(logger_, recorder);
        KvlReleaseObject(recorder);
        return logger_;
    }
    static std::vector<RecordedEvent> events() { return RecordingStore::instance().snapshot(); }
    KvlObject *logger_ = nullptr;
};

TEST_F(KvlLogTest, TheThresholdDecides) {
    KvlObject *logger = openWithLogger("INFO");
    KvlLogInfo(logger, nullptr, 0, 0, "info", KVL_ARG_END);
    KvlLogError(logger, nullptr, 0, 0, "error", KVL_ARG_END);
    KvlLogDebugMin(logger, nullptr, nullptr, 0, "dropped", KVL_ARG_END);
    KvlLogMsg(logger, "cat", 1, 2, "msg", KVL_ARG_END);
    KvlLogText(logger, "text", KVL_ARG_END);
    kvl::debugMax(logger, __FILE__, __func__, __LINE__, "dropped too");
    KVL_DEBUG_MIN(logger, "dropped as well %d", KVL_INT(1));
    std::vector<std::pair<std::string, int32_t>> got;
    for (const RecordedEvent &e : events())
        got.emplace_back(e.boundText, e.level);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, int32_t>>{
                       {"info", 4000}, {"error", 6000}, {"msg", -9999}, {"text", -9999}}));
    EXPECT_TRUE(events()[2].isMessage);
    EXPECT_FALSE(events()[3].isMessage);
    EXPECT_EQ(events()[2].catalog, "cat");
    EXPECT_EQ(events()[2].key, 2);

    KvlSetObjectEnabled(logger, 0);
    KvlLogError(logger, nullptr, 0, 0, "disabled", KVL_ARG_END);
    KvlSetObjectEnabled(logger, 1);
    KvlCloseToolkit();
    KvlLogError(logger, nullptr, 0, 0, "closed", KVL_ARG_END);
    EXPECT_EQ(events().size(), 4u) << "no event for a disabled logger or a closed toolkit";
}

TEST_F(KvlLogTest, TypedListsFillTheEvent) {
    KvlObject *logger = openWithLogger("ALL");
    RaisedMessages raised;
    KvlLogMsg(logger, nullptr, 0, 0, "%s", 6000, KVL_STR("text"), KVL_ARG_END);
    KvlLogMsg(logger, nullptr, 0, 0, "none", KVL_PROP("user"), KVL_STR("ann"), KVL_PROP("n"),
              KVL_INT(3), KVL_ARG_END);
    const char *second = "second";
    KvlLogMsg(logger, nullptr, 0, 0, "%s %s", KVL_STR("first"), second, KVL_ARG_END);
    KvlLogMsg(logger, nullptr, 0, 0, "%ld|%d|%ld", KVL_LONG(5000000000L), KVL_LONG(5000000000L),
              KVL_LONG(LONG_MIN), KVL_ARG_END);
    KvlLogMsg(logger, nullptr, 0, 0, "%s|%.1f|%c|%d", KVL_STR(nullptr), KVL_FLOAT(2.5f),
              KVL_CHAR('x'), KVL_BOOL(1), KVL_ARG_END);
    kvl::logMsg(logger, nullptr, 0, 0, "%s=%d", std::string("k"), 5, kvl::level(5000),
                kvl::prop("p", 1.5));
    const std::string_view view = std::string_view("[view]tail").substr(0, 6);  // no NUL after it
    kvl::logText(logger, "%zu|%u|%lld|%s|%hu", SIZE_MAX, 4000000000u, LLONG_MIN, view,
                 static_cast<unsigned short>(65535), kvl::prop("user", "ann"));
    const auto got = events();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0].level, 6000);
    EXPECT_EQ(got[0].boundText, "text");
    EXPECT_EQ(got[1].boundText, "none") << "properties are no parameters";
    EXPECT_EQ(got[1].properties, (std::map<std::string, std::string>{{"user", "ann"}, {"n", "3"}}));
    EXPECT_EQ(got[2].boundText, "%s %s") << "the second string lost its marker";
    EXPECT_EQ(got[3].boundText, "5000000000|5000000000|-9223372036854775808");
    EXPECT_EQ(got[4].boundText, "(null)|2.5|x|1");
    EXPECT_EQ(got[5].boundText, "k=5");
    EXPECT_EQ(got[5].level, 5000);
    EXPECT_EQ(got[5].properties.at("p"), "1.500000");
    EXPECT_EQ(got[6].boundText,
              "18446744073709551615|4000000000|-9223372036854775808|[view]|65535");
    EXPECT_EQ(got[6].properties.at("user"), "ann");
    EXPECT_EQ(raised.take(), std::vector<int32_t>{71});
}

TEST_F(KvlLogTest, SixtyTwoEntriesAndNoMore) {
    KvlObject *logger = openWithLogger("ALL");
    RaisedMessages raised;
    // 62 string entries and 0: read whole, silently.
    std::string format62, format63;
    for (int i = 0; i < 62; ++i)
        format62 += "%s";
    for (int i = 0; i < 63; ++i)
        format63 += "%s";
    const auto call = [logger](const std::string &format, auto... entries) {
        KvlLogMsg(logger, nullptr, 0, 0, format.c_str(), entries...);
    };
#define S1 KVL_STR("a")
#define S8 S1, S1, S1, S1, S1, S1, S1, S1
#define S62 S8, S8, S8, S8, S8, S8, S8, S1, S1, S1, S1, S1, S1
    call(format62, S62, KVL_ARG_END);
    EXPECT_TRUE(raised.take().empty());
    call(format63, S62, S1, KVL_ARG_END, KVL_ARG_END);  // no end after 63: read 63, then warn
    EXPECT_EQ(raised.take(), std::vector<int32_t>{70});
#undef S62
#undef S8
#undef S1
    const auto got = events();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].boundText, std::string(62, 'a'));
    EXPECT_EQ(got[1].boundText, std::string(63, 'a')) << "the 63 entries stay";
}

TEST_F(KvlLogTest, SourceLocations) {
    KvlObject *logger = openWithLogger("ALL");
    KvlLogDebugMin(logger, nullptr, "fn", 12, "no file", KVL_ARG_END);
    KvlLogDebugMax(logger, "f.c", nullptr, 34, "no function", KVL_ARG_END);
    // The call's source replaces what the typed list put under its names.
    KvlLogDebugMid(logger, "g.c", "gn", 56, "typed", KVL_PROP(KVL_PROP_SRCLINE), KVL_STR("1"),
                   KVL_PROP("user"), KVL_STR("ann"), KVL_ARG_END);
    const int line = __LINE__ + 1;  // the trace helpers take the place of their call
    kvl::traceMid(logger, "here %d", 1);
    const auto got = events();
    ASSERT_EQ(got.size(), 4u);
    using Map = std::map<std::string, std::string>;
    // clang-format off
    EXPECT_EQ(got[3].properties, (Map{{"kvl_prop_srcfile", __FILE__}, {"kvl_prop_srcfunction", __func__}, {"kvl_prop_srcline", std::to_string(line)}}));
    EXPECT_EQ(got[3].level, KVL_LEVEL_DEBUG_MID);
    EXPECT_EQ(got[2].properties, (Map{{"kvl_prop_srcfile", "g.c"}, {"kvl_prop_srcfunction", "gn"}, {"kvl_prop_srcline", "56"}, {"user", "ann"}}));
    EXPECT_EQ(got[2].propertyLinks, 4u) << "each name once";
    EXPECT_EQ(got[0].properties, (Map{{"kvl_prop_srcfunction", "fn"}}));
    EXPECT_EQ(got[1].properties, (Map{{"kvl_prop_srcfile", "f.c"}, {"kvl_prop_srcline", "34"}}));
    // clang-format on
    EXPECT_EQ(got[0].level, 3000);
}

// The reader, row by row: with LF and with CR LF line ends, into the log
// manager and into a property list.
TEST_F(KvlLogTest, PropertiesFileRows) {
    const struct {
        std::string content;  // "\n" line ends; the CR LF run replaces them
        bool accepted;
        std::map<std::string, std::string> pairs;  // key -> value
        bool keysNeedNoDot = false;                // a list takes keys the log manager refuses
        // clang-format off
    } rows[] = {
        {"app.out.level = WARN\n", true, {{"app.out.level", "WARN"}}},
        {"app.out.level WARN\n", true, {{"app.out.level", "WARN"}}},
        {"app.out.level:WARN\n", true, {{"app.out.level", "WARN"}}},
        {"\n   \napp.out.level=WARN\n\n", true, {{"app.out.level", "WARN"}}},
        {"app.out.fileName = D:\\\\logs\\\\x.log\n", true, {{"app.out.fileName", "D:\\logs\\x.log"}}},
        {"abc.d = x \\\n   def\n", true, {{"abc.d", "x def"}}},
        {"abc.d = x \\\n\n   def\n", true, {{"abc.d", "x def"}}},
        {"a.v=\\u00e9\\u00E9\n", true, {{"a.v", "\xC3\xA9\xC3\xA9"}}},
        {"a.v=\\ud83d\\ude00!\n", true, {{"a.v", "\xF0\x9F\x98\x80!"}}},
        {"a.v=\\ud83d!\n", false, {}},
        {"a.v=\\ude00\n", false, {}},
        {"a.v=x\\u0000y\n", false, {}},
        {"level=WARN\n", false, {{"level", "WARN"}}, true},
        {"app.out\nx.y=1\n", false, {}},
        {"x.y=1\napp.out", true, {{"x.y", "1"}, {"app.out", ""}}},
        {"#x=1\n  ! comment\nx.y=1 # not a comment\n", true, {{"x.y", "1 # not a comment"}}},
        {"a\\=b.p=1\n", true, {{"a=b.p", "1"}}},
        {"x.y=1\nbad.value=\\q\nz.w=2\n", false, {{"x.y", "1"}}},  // pairs before the error stay
        {"x.y = 1  \n", true, {{"x.y", "1  "}}},
        {"q.v=\\'a\\\" \\ b\\\\\n", true, {{"q.v", "'a\"  b\\"}}},  // the quote, blank and backslash escapes
        {"x.y=1\nx.y=2\n", true, {{"x.y", "2"}}},
    };
    // clang-format on
    vrxtest::TempDir tmp;
    for (const auto &row : rows)
        for (const bool crlf : {false, true}) {
            std::string content = row.content;
            if (crlf)
                for (size_t at = 0; (at = content.find('\n', at)) != std::string::npos; at += 2)
                    content.insert(at, "\r");
            const std::string path = tmp / "app.properties";
            writeFile(path, content);
            const std::string shown = row.content + (crlf ? " (CR LF)" : "");
            CxPropList list{};
            std::string err;
            {
                vrxtest::OutputCapture capture(2);
                EXPECT_EQ(CxPropListRead(path.c_str(), &list),
                          row.accepted || row.keysNeedNoDot ? 1 : 0)
                    << shown;
                err = capture.text();
            }
            std::map<std::string, std::string> read;
            for (CxPropListIter it = CxPropListIterator(&list);
                 CxPropListIterPeekKey(&it) != nullptr; CxPropListIterNext(&it))
                read[CxPropListIterPeekKey(&it)] = CxPropListIterPeekVal(&it);
            EXPECT_EQ(read, row.pairs) << shown;
            CxPropListDiscard(&list);
            if (row.content.find("\\q") != std::string::npos) {
                EXPECT_EQ(err,
                          "KVL0052E The value of property 'bad.value' in the properties "
                          "file could not be parsed, because it contains a backslash "
                          "character that is not part of a valid escape sequence.\n");
            }

            // The same file into the log manager.
            KvlCloseToolkit();
            ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
            {
                vrxtest::OutputCapture quiet(2);
                KvlApiLock lock;  // as opening holds it
                EXPECT_EQ(KvlLogMgrReadProps(path.c_str()), row.accepted ? 1 : 0) << shown;
            }
            for (const auto &[key, value] : row.pairs) {
                if (row.keysNeedNoDot) break;
                const size_t dot = key.rfind('.');
                KvlObjCfg *cfg = KvlLogMgrGetCfg(key.substr(0, dot).c_str());
                char *got = KvlGetObjCfgProp(cfg, key.substr(dot + 1).c_str(), nullptr);
                EXPECT_EQ(std::string(got != nullptr ? got : "<none>"), value) << shown;
                EXPECT_EQ(KvlObjCfgIsFromFile(cfg), 1);
                OxsMemoryFree(got);
                KvlReleaseObjCfg(cfg);
            }
        }
    CxPropList list{};
    EXPECT_EQ(CxPropListRead((tmp / "missing").c_str(), &list), 0);
    EXPECT_EQ(CxPropListRead((tmp / "app.properties").c_str(), nullptr), 0);
}

TEST_F(KvlLogTest, OpeningWithAFile) {
    vrxtest::TempDir tmp;
    const std::string path = tmp / "app.properties";
    writeFile(path,
              "app.log.className = kvl_basiclogger\n"
              "app.log.level = WARN\n"
              "app.log.listenerNames = app.out\n"
              "app.out.className = test_recordinghandler\n"
              "kavel.errorLogger.level = ERROR\n"
              "kavel.errorLogger.listenerNames = errors\n"
              "errors.className = test_recordinghandler\n");
    ASSERT_EQ(KvlOpenToolkit(path.c_str()), 1);
    KvlObject *logger = KvlGetObject("app.log", nullptr);
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->level, KVL_LEVEL_WARN);
    KvlLogWarn(logger, nullptr, 0, 0, "to app.out", KVL_ARG_END);
    KvlLogInfo(logger, nullptr, 0, 0, "below WARN", KVL_ARG_END);
    KvlReleaseObject(logger);
    KvlObject *errors = KvlGetObject("kavel.errorLogger", nullptr);
    EXPECT_EQ(errors->level, KVL_LEVEL_ERROR);
    EXPECT_EQ(listenerNames(errors), (std::vector<std::string>{"errors", "kavel.defaultConsole"}))
        << "the default console is added as well";
    KvlReleaseObject(errors);
    // A toolkit message reaches the recorder on the error logger.
    KvlObject *nameless = KvlGetObject("nothing", "no_such_class");
    EXPECT_EQ(nameless, nullptr);
    const auto got = events();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].handlerName, "app.out");
    EXPECT_EQ(got[0].boundText, "to app.out");
    EXPECT_EQ(got[1].handlerName, "errors");
    EXPECT_EQ(got[1].catalog, "kvlmsg");
    EXPECT_EQ(got[1].key, 62);
    EXPECT_EQ(got[1].boundText,
              "KVLBC0062W Class 'no_such_class' must be defined before object 'nothing' can be "
              "created.");
}

}  // namespace
