// Records as text: the basic formatter's lines and time stamps (zones at
// the event's date, half-hour and negative offsets, long custom formats),
// the trace formatter's fields, the console handler's header, records and
// trailer on stdout, the handler base's formatter slot, and toolkit
// messages reaching stdout through the default console.

#include "KvlClasses.h"
#include "KvlMsgTables.h"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

class KvlFormatTest : public vrxtest::OpenToolkitTest {
protected:
    // An event at `level` with the text and these properties, at `time`.
    static KvlEvent *event(int32_t level, const char *text, const std::vector<Prop> &props) {
        return stamped(makeEvent(level, nullptr, 0, 0, text, KVL_ARG_END), props);
    }
    static std::string format(KvlObject *formatter, KvlEvent *made) {
        std::string result = take(formatter->klass->format(formatter, made));
        KvlFreeEvent(made);
        return result;
    }
    static std::string date(KvlObject *formatter, uint64_t time) {
        return take(KvlBasicFormatterFormatDate(formatter, time));
    }

    // Key 3 of "kvlmsg" with its three parameters (7, 42, "kvlmsg").
    static KvlEvent *catalogEvent() {
        return makeEvent(KVL_LEVEL_ERROR, KVL_MSG_CATALOG, 1, 3,
                         kvlMsgTableText(KVL_MSG_CATALOG, 3), KVL_ARG_INT, 7, KVL_ARG_INT, 42,
                         KVL_ARG_STRING, "kvlmsg", KVL_ARG_END);
    }
};

TEST_F(KvlFormatTest, BasicRecords) {
    const std::string ts = "2024-03-05 09:04:07.045+00:00";
    const struct {
        const char *what;
        std::vector<Prop> formatterProps;
        std::vector<Prop> eventProps;
        std::string expected;
        // clang-format off
    } cases[] = {
        {"nothing but the text", {}, {}, ts + " MSG\n"},
        {"source location", {}, {{KVL_PROP_SRCLINE, "120"}, {KVL_PROP_SRCFILE, "init"}, {KVL_PROP_SRCFUNCTION, "main"}}, ts + " init main 120 MSG\n"},
        {"line 0 is written", {}, {{KVL_PROP_SRCLINE, "0"}}, ts + " 0 MSG\n"},
        {"origin fields in their order", {}, {{"server", "s"}, {"client", "c"}, {"organization", "o"}, {"component", "m"}, {"product", "p"}}, ts + " o p m c s MSG\n"},
        {"separator", {{"separator", " | "}}, {{KVL_PROP_SRCFILE, "f"}}, ts + " | f | MSG\n"},
        {"custom date, no milliseconds or zone", {{"dateTimeFormat", "%H:%M"}}, {}, "09:04 MSG\n"},
        {"custom date longer than 128 bytes", {{"dateTimeFormat", std::string(50, 'x') + "%Y" + std::string(100, 'y')}}, {}, std::string(50, 'x') + "2024" + std::string(100, 'y') + " MSG\n"},
        {"custom date beyond 4096 bytes is left empty", {{"dateTimeFormat", std::string(4200, 'z')}}, {}, " MSG\n"},
    };
    // clang-format on
    int n = 0;
    for (const auto &c : cases) {
        const std::string name = "fmt" + std::to_string(n++);
        KvlObject *formatter = object(name.c_str(), "kvl_basicformatter");
        for (const Prop &p : c.formatterProps)
            KvlSetObjProp(formatter, p.name, p.value.c_str());
        EXPECT_EQ(format(formatter, event(KVL_LEVEL_INFO, "MSG", c.eventProps)), c.expected)
            << c.what;
    }
}

// A formatter class's binding may rewrite the event's message: its text
// was made inside the event, and the replacement is the message's own.
char *rewritingBind(KvlI18Msg *message) noexcept {
    KvlSetI18MsgTxt(message, "rewritten %s");
    KvlSetI18MsgTxt(message, "rewritten twice");
    return kvlIntlBindI18Msg(message);
}

TEST_F(KvlFormatTest, ABindingMayRewriteTheEventMessage) {
    KvlAddFormatterClass("test_rewriting", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, rewritingBind);
    KvlObject *formatter = object("rewriting", "test_rewriting");
    EXPECT_EQ(format(formatter, event(KVL_LEVEL_INFO, "MSG", {})),
              "2024-03-05 09:04:07.045+00:00 rewritten twice\n");
}

// The message is bound once per event and the text shared by the formatters
// that bind it alike: a formatter in another locale gets its own, a binding
// of a class's own is never shared, and a message changed after a binding
// is bound again.
TEST_F(KvlFormatTest, TheBoundTextIsSharedOnlyWhereItIsTheSame) {
    vrxtest::EnvGuard nlspath{"NLSPATH", (std::string(VRX_TEST_NLS_DIR) + "/%L/%N.cat").c_str()};
    KvlAddFormatterClass("test_rewriting2", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, rewritingBind);
    KvlObject *plain = object("plain", "kvl_basicformatter");
    KvlObject *german = object("german", "kvl_basicformatter");
    KvlObject *rewriting = object("rewriting2", "test_rewriting2");
    for (KvlObject *f : {plain, german, rewriting})
        KvlSetObjProp(f, "separator", "|");
    KvlSetObjProp(german, "locale", "de_DE");
    const auto text = [](KvlObject *formatter, KvlEvent *e) {
        const std::string line = take(formatter->klass->format(formatter, e));
        return line.substr(line.find('|') + 1);
    };
    KvlEvent *e = catalogEvent();
    const std::string english =
        "KVLBC03E The message with set index 7 and key index 42 was not found in the message "
        "catalog kvlmsg.\n";
    const std::string deutsch =
        "KVLBC03E Die Nachricht mit dem Schl\xC3\xBCssel 42 der Gruppe 7 fehlt im Katalog "
        "kvlmsg.\n";
    EXPECT_EQ(text(plain, e), english);
    EXPECT_EQ(text(german, e), deutsch) << "its own locale, not the text kept for C";
    KvlSetI18MsgCat(e->message, nullptr);
    KvlSetI18MsgTxt(e->message, "changed %d");
    EXPECT_EQ(text(plain, e), "changed 7\n") << "a changed message is bound again";
    const std::string own = text(rewriting, e);
    EXPECT_EQ(own.substr(own.size() - 16), "rewritten twice\n");
    EXPECT_EQ(text(plain, e), "rewritten twice\n") << "after a binding of its own, bound anew";
    KvlFreeEvent(e);
}

// The zone is the one at the event's date, written with its sign, and a
// reopened toolkit reads a changed TZ (the per-thread second cache must not
// keep the old zone's text).
TEST_F(KvlFormatTest, BuiltInTimeStampZones) {
    const struct {
        const char *tz;
        uint64_t time;
        const char *expected;
    } cases[] = {
        {"UTC0", kMarch5, "2024-03-05 09:04:07.045+00:00"},
        {"<+0530>-5:30", kMarch5, "2024-03-05 14:34:07.045+05:30"},
        {"<-0030>0:30", kMarch5, "2024-03-05 08:34:07.045-00:30"},
        {"EST5EDT,M3.2.0,M11.1.0", 1705320000000ull, "2024-01-15 07:00:00.000-05:00"},
        {"EST5EDT,M3.2.0,M11.1.0", 1721044800999ull, "2024-07-15 08:00:00.999-04:00"},
    };
    for (const auto &c : cases) {
        EnvGuard tz("TZ", c.tz);
        KvlCloseToolkit();
        KvlOpenToolkit(nullptr);
        EXPECT_EQ(date(nullptr, c.time), c.expected) << c.tz;
    }
    const std::regex pattern(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    EXPECT_TRUE(
        std::regex_match(date(nullptr, static_cast<uint64_t>(time(nullptr)) * 1000), pattern));
}

TEST_F(KvlFormatTest, TraceLines) {
    const std::string head = "\x1e[2024-03-05 09:04:07.045+00:00] - ";
    const struct {
        const char *what;
        int32_t level;
        const char *text;
        std::vector<Prop> props;
        const char *messageId;
        std::string expected;
        // clang-format off
    } cases[] = {
        {"empty fields keep their separators", KVL_LEVEL_INFO, "TEXT", {}, nullptr, "INFO  -  -  -  -  - TEXT\n"},
        {"the host is the server up to its first dot", KVL_LEVEL_WARN, "t", {{"server", "node1.x.y"}}, nullptr, "WARN  - node1 -  -  -  - t\n"},
        {"a server without a dot", KVL_LEVEL_INFO, "t", {{"server", "node1"}}, nullptr, "INFO  - node1 -  -  -  - t\n"},
        {"thread id alone", KVL_LEVEL_INFO, "t", {{"threadId", "7"}}, nullptr, "INFO  -  - t7 -  -  - t\n"},
        {"ids are unsigned", KVL_LEVEL_INFO, "t", {{"processId", "-1"}}, nullptr, "INFO  -  - p18446744073709551615 -  -  - t\n"},
        {"line alone", KVL_LEVEL_DEBUG_MAX, "t", {{KVL_PROP_SRCLINE, "120"}}, nullptr, " MAX  -  -  - (120) -  - t\n"},
        {"function alone", KVL_LEVEL_DEBUG_MID, "t", {{KVL_PROP_SRCFUNCTION, "f"}}, nullptr, " MID  -  -  - f -  - t\n"},
        {"fatal shows as error", KVL_LEVEL_FATAL, "t", {}, nullptr, "ERROR -  -  -  -  - t\n"},
        {"a level without a word", 1500, "t", {}, nullptr, "OTHER -  -  -  -  - t\n"},
        {"the event's own message id first", KVL_LEVEL_ERROR, "KVLFF0010E x", {}, "KVLAB0001I", "ERROR -  -  -  - KVLAB0001I - KVLFF0010E x\n"},
        {"every field", KVL_LEVEL_DEBUG_MIN, "KVLFF0010E Out of memory.",
         {{"server", "node1.example.com"}, {"processId", "4711"}, {"threadId", "1"}, {KVL_PROP_SRCFILE, "init"}, {KVL_PROP_SRCFUNCTION, "main"}, {KVL_PROP_SRCLINE, "120"}},
         nullptr, " MIN  - node1 - p4711:t1 - init:main(120) - KVLFF0010E - KVLFF0010E Out of memory.\n"},
    };
    // clang-format on
    KvlObject *formatter = object("trace", "kvl_zemtraceformatter");
    for (const auto &c : cases) {
        KvlEvent *made = event(c.level, c.text, c.props);
        if (c.messageId != nullptr) KvlSetEventMessageId(made, c.messageId);
        EXPECT_EQ(format(formatter, made), head + c.expected) << c.what;
    }
}

// A formatter class with a header and a trailer, to watch the console.
char *testFormat(KvlObject *, KvlEvent *event) noexcept {
    char *bound = KvlBindEventMsg(event, kvlIntlBindI18Msg);
    const std::string text = std::string("R:") + (bound != nullptr ? bound : "") + "\n";
    OxsMemoryFree(bound);
    return OxsStringDup(text.c_str());
}
char *testHeader(KvlObject *) noexcept { return OxsStringDup("H\n"); }
char *testTrailer(KvlObject *) noexcept { return OxsStringDup("T\n"); }

TEST_F(KvlFormatTest, ConsoleWritesHeaderRecordsAndTrailer) {
    KvlAddFormatterClass("test_framedformatter", nullptr, nullptr, nullptr, nullptr, testFormat,
                         testHeader, testTrailer, kvlIntlBindI18Msg);
    KvlObject *logger = object("app", "kvl_basiclogger");
    KvlObject *console = object("app.console", "kvl_consolehandler");
    KvlHandlerSetFormatter(console, object("app.framed", "test_framedformatter"));
    KvlAddListener(logger, console);
    OutputCapture out(1);
    KvlLogText(logger, "one", KVL_ARG_END);
    KvlHandlerClose(console);
    KvlHandlerClose(console);
    KvlLogText(logger, "two \xC3\xA9\xE2\x82\xAC", KVL_ARG_END);
    KvlHandlerClose(console);
    KvlSetObjectEnabled(console, 0);
    KvlLogText(logger, "three", KVL_ARG_END);
    KvlHandlerClose(console);
    EXPECT_EQ(out.text(), "H\nR:one\nT\nH\nR:two \xC3\xA9\xE2\x82\xAC\nT\n");
}

TEST_F(KvlFormatTest, HandlerBaseFormatterSlot) {
    KvlObject *handler = object("h", "kvl_consolehandler");
    KvlObject *logger = object("l", "kvl_basiclogger");
    KvlEvent *made = event(KVL_LEVEL_INFO, "MSG", {});
    KvlHandlerSetFormatter(handler, nullptr);  // a new handler starts with the default one
    EXPECT_EQ(KvlHandlerDoFmt(handler, made), nullptr) << "no formatter";
    EXPECT_EQ(KvlHandlerGetFmtHeader(handler), nullptr);
    EXPECT_EQ(KvlHandlerDoFmt(logger, made), nullptr) << "not a handler";

    // "formatterName" switches the next record's format.
    object("h.basic", "kvl_basicformatter");
    object("h.trace", "kvl_zemtraceformatter");
    const auto formatted = [&] { return take(KvlHandlerDoFmt(handler, made)); };
    KvlSetObjProp(handler, "formatterName", "h.basic");
    EXPECT_EQ(formatted(), "2024-03-05 09:04:07.045+00:00 MSG\n");
    KvlSetObjProp(handler, "formatterName", "h.trace");
    EXPECT_EQ(formatted().substr(0, 2), "\x1e[");

    // Binding the formatter already bound, through a borrowed handle: the
    // handler's own reference is all that keeps it alive.
    KvlObject *borrowed = KvlHandlerGetFormatter(handler);
    KvlReleaseObject(borrowed);
    KvlHandlerSetFormatter(handler, borrowed);
    EXPECT_EQ(formatted().substr(0, 2), "\x1e[");
    KvlFreeEvent(made);
}

TEST_F(KvlFormatTest, ToolkitMessagesReachStdout) {
    OutputCapture out(1);
    EXPECT_EQ(KvlGetObject("x", "nosuch"), nullptr);
    const std::string text = out.text();
    const std::string tail = "Class 'nosuch' must be defined before object 'x' can be created.\n";
    ASSERT_GE(text.size(), tail.size()) << text;
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_NE(text.find("KVLBC0062W"), std::string::npos) << text;
}

}  // namespace
