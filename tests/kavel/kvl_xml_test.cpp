// The XML records and the problem-determination logger: escaping in each
// context, whole records byte for byte, the record kind flags, the product
// elements written once per output, and the origin a pd logger stamps onto
// its events (ids of the logging thread, the host name asked once).

#include "KvlClasses.h"
#include "KvlXmlText.h"
#include "toolkit_test.h"

namespace {

using vrxtest::Prop;

const std::string kTime = " <Time Millis=\"1709629447045\">2024-03-05 09:04:07.045+00:00</Time>\n";
const std::string kFFFD = "\xEF\xBF\xBD";

// A record with its Time line (the clock's) as " <Time/>".
std::string withoutTime(const std::string &record) {
    static const std::regex time(" <Time Millis=\"[0-9]+\">[-0-9 :.+]+</Time>\n");
    return std::regex_replace(record, time, " <Time/>\n");
}

// The host-name seam: "node1" resolving to "node1.example.com", counted.
std::atomic<int> lookups{0};
std::atomic<bool> resolves{true};
int shortName(char *buffer, size_t size) {
    std::snprintf(buffer, size, "node1");
    return 0;
}
bool resolve(const char *, char *canonical, size_t size) {
    ++lookups;
    if (!resolves) return false;
    std::snprintf(canonical, size, "node1.example.com");
    return true;
}

// Handlers of class "test_xmlcapture" keep each record their formatter
// makes, in order (the API mutex serialises them).
std::vector<std::string> &captured() {
    static std::vector<std::string> records;
    return records;
}
KvlObject *captureRecord(KvlObject *handler, KvlEvent *event) noexcept {
    captured().push_back(vrxtest::take(kvlIntlHandlerDoFmt(handler, event)));
    return handler;
}

class KvlXmlTest : public vrxtest::OpenToolkitTest {
protected:
    KvlXmlTest() {
        lookups = 0;
        resolves = true;
        captured().clear();
        KvlAddHandlerClass("test_xmlcapture", nullptr, nullptr, nullptr, nullptr, captureRecord,
                           nullptr, nullptr);
    }
    // A logger of `className` whose records go through `formatterClass`
    // into captured().
    KvlObject *capturingLogger(const char *name, const char *className,
                               const char *formatterClass = "kvl_xmlformatter") {
        const std::string base = name;
        KvlObject *logger = object(name, className);
        KvlObject *handler = object((base + ".capture").c_str(), "test_xmlcapture");
        KvlHandlerSetFormatter(handler, object((base + ".format").c_str(), formatterClass));
        KvlAddListener(logger, handler);
        KvlSetObjProp(logger, "level", "ALL");
        return logger;
    }
    // An event at kMarch5 with the typed list after `text` (ended by 0)
    // and these properties.
    static KvlEvent *event(int32_t level, const char *catalog, const char *text,
                           const std::vector<Prop> &props) {
        return vrxtest::stamped(vrxtest::makeEvent(level, catalog, 1, 7, text, KVL_ARG_END), props);
    }
    static std::string format(KvlObject *formatter, KvlEvent *made) {
        std::string result = vrxtest::take(KvlPDXMLFormatterFFormat(formatter, made));
        KvlFreeEvent(made);
        return result;
    }

    vrxtest::HostNameGuard hostName_{shortName, resolve};
};

TEST(KvlXmlText, EachContextEscapesWhatBreaksIt) {
    const std::string kWellFormed = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD";
    const struct {
        const char *what;
        std::string input, text, attribute, cdata;
        // clang-format off
    } cases[] = {
        {"plain text and DEL", "abc \x7f xyz", "abc \x7f xyz", "abc \x7f xyz", "abc \x7f xyz"},
        {"markup", "a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e'f", "a&amp;b&lt;c&gt;d&quot;e'f", "a&b<c>d\"e'f"},
        {"white space", "a\tb\nc\rd", "a\tb\nc\rd", "a&#9;b&#10;c&#13;d", "a\tb\nc\rd"},
        {"section end", "x]]>y", "x]]&gt;y", "x]]&gt;y", "x]]]]><![CDATA[>y"},
        {"three brackets", "]]]>", "]]]&gt;", "]]]&gt;", "]]]]]><![CDATA[>"},
        {"two section ends", "]]>]]>", "]]&gt;]]&gt;", "]]&gt;]]&gt;", "]]]]><![CDATA[>]]]]><![CDATA[>"},
        {"brackets without end", "a]]b]", "a]]b]", "a]]b]", "a]]b]"},
        {"C0 controls", "\x01\x1f", kFFFD + kFFFD, kFFFD + kFFFD, kFFFD + kFFFD},
        {"well-formed UTF-8", kWellFormed, kWellFormed, kWellFormed, kWellFormed},
        {"lone continuation", "a\x80z", "a" + kFFFD + "z", "a" + kFFFD + "z", "a" + kFFFD + "z"},
        {"overlong slash", "\xC0\xAF", kFFFD + kFFFD, kFFFD + kFFFD, kFFFD + kFFFD},
        {"encoded surrogate", "\xED\xA0\x80", kFFFD + kFFFD + kFFFD, kFFFD + kFFFD + kFFFD, kFFFD + kFFFD + kFFFD},
        {"past U+10FFFF", "\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD, kFFFD + kFFFD + kFFFD + kFFFD, kFFFD + kFFFD + kFFFD + kFFFD},
        {"never a lead", "\xF5\xFF", kFFFD + kFFFD, kFFFD + kFFFD, kFFFD + kFFFD},
        {"sequence cut by the end", "a\xE2\x82", "a" + kFFFD, "a" + kFFFD, "a" + kFFFD},
        {"sequence cut by ASCII", "\xF0\x9F\x98<", kFFFD + "&lt;", kFFFD + "&lt;", kFFFD + "<"},
        {"noncharacters", "\xEF\xBF\xBE\xEF\xBF\xBF", kFFFD + kFFFD, kFFFD + kFFFD, kFFFD + kFFFD},
        {"NUL inside", std::string("a\0b", 3), "a" + kFFFD + "b", "a" + kFFFD + "b", "a" + kFFFD + "b"},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string text = "pre:", attribute = "pre:", cdata = "pre:";
        kvl::xml::appendText(text, c.input);
        kvl::xml::appendAttribute(attribute, c.input);
        kvl::xml::appendCData(cdata, c.input);
        EXPECT_EQ(text, "pre:" + c.text) << c.what;
        EXPECT_EQ(attribute, "pre:" + c.attribute) << c.what;
        EXPECT_EQ(cdata, "pre:" + c.cdata) << c.what;
    }
}

TEST_F(KvlXmlTest, RecordsByteForByte) {
    const std::string noSource = " <Source FileName=\"None\" Method=\"None\"/>\n";
    const struct {
        const char *what;
        int32_t level;
        const char *catalog;
        const char *text;
        std::vector<Prop> props;
        const char *messageId;  // set on the event, or null
        bool threeParameters;
        std::string expected;
    } cases[] = {
        // clang-format off
        {"trace without source or level", KVL_LEVEL_NONE, nullptr, "plain", {}, nullptr, false, "<Trace>\n" + kTime + " <LogText><![CDATA[plain]]></LogText>\n" + noSource + "</Trace>\n"},
        {"trace with source, ids and origin", KVL_LEVEL_DEBUG_MIN, nullptr, "x",
         {{KVL_PROP_SRCFILE, "init.c"}, {KVL_PROP_SRCFUNCTION, "main"}, {KVL_PROP_SRCLINE, "120"}, {"threadId", "-1"},
          {"processId", "4711"}, {"server", "node1.example.com"}, {"serverFormat", "IP"}, {"product", "P"},
          {"component", "C"}, {"productInstance", "I"}, {"correlationId", "corr"}, {"client", "alice"}}, nullptr, false,
         "<Trace Level=\"MIN\">\n" + kTime + " <Server Format=\"IP\">node1.example.com</Server>\n <ProductId>P</ProductId>\n"
         " <Component>C</Component>\n <ProductInstance>I</ProductInstance>\n <LogText><![CDATA[x]]></LogText>\n"
         " <Source FileName=\"init.c\" Method=\"main\" Line=\"120\"/>\n <Thread>18446744073709551615</Thread>\n"
         " <Process>4711</Process>\n <CorrelationId>corr</CorrelationId>\n <Principal>alice</Principal>\n</Trace>\n"},
        {"file without function or line", KVL_LEVEL_INFO, nullptr, "x", {{KVL_PROP_SRCFILE, "a.c"}}, nullptr, false, "<Trace Level=\"INFO\">\n" + kTime + " <LogText><![CDATA[x]]></LogText>\n <Source FileName=\"a.c\"/>\n</Trace>\n"},
        {"message id from the event", KVL_LEVEL_WARN, "app.cat", "KVLFF0010E text", {}, "APP0001W", false,
         "<Message Id=\"APP0001W\" Severity=\"WARN\">\n" + kTime + " <LogText><![CDATA[KVLFF0010E text]]></LogText>\n"
         " <TranslationInfo Type=\"XPG4\" Catalog=\"app.cat\" MsgKey=\"7\" SetId=\"1\"></TranslationInfo>\n</Message>\n"},
        {"message id from the text, three parameters", KVL_LEVEL_ERROR, "app.cat", "APP0007E Disk %s has %ld blocks.", {}, nullptr, true,
         "<Message Id=\"APP0007E\" Severity=\"ERROR\">\n" + kTime + " <LogText><![CDATA[APP0007E Disk sda has 42 blocks.]]></LogText>\n"
         " <TranslationInfo Type=\"XPG4\" Catalog=\"app.cat\" MsgKey=\"7\" SetId=\"1\"><Param><![CDATA[sda]]></Param>"
         "<Param><![CDATA[42]]></Param><Param><![CDATA[true]]></Param></TranslationInfo>\n</Message>\n"},
        {"no id anywhere, no level", KVL_LEVEL_NONE, "app.cat", "hello", {}, nullptr, false,
         "<Message Id=\"None\">\n" + kTime + " <LogText><![CDATA[hello]]></LogText>\n"
         " <TranslationInfo Type=\"XPG4\" Catalog=\"app.cat\" MsgKey=\"7\" SetId=\"1\"></TranslationInfo>\n</Message>\n"},
        {"an empty cached id is none", KVL_LEVEL_FATAL, "app.cat", "hello", {}, "", false,
         "<Message Id=\"None\" Severity=\"ERROR\">\n" + kTime + " <LogText><![CDATA[hello]]></LogText>\n"
         " <TranslationInfo Type=\"XPG4\" Catalog=\"app.cat\" MsgKey=\"7\" SetId=\"1\"></TranslationInfo>\n</Message>\n"},
        {"message with source, attributes in map order", KVL_LEVEL_INFO, "c", "m",
         {{"zeta", "1"}, {KVL_PROP_SRCFILE, "f.c"}, {"organization", "O"}, {"alpha", "<2>"}}, "ID", false,
         "<Message Id=\"ID\" Severity=\"INFO\">\n" + kTime + " <LogText><![CDATA[m]]></LogText>\n"
         " <LogAttribs><Key>zeta</Key><Value>1</Value><Key>organization</Key><Value>O</Value>"
         "<Key>alpha</Key><Value>&lt;2&gt;</Value></LogAttribs>\n <Source FileName=\"f.c\"/>\n"
         " <TranslationInfo Type=\"XPG4\" Catalog=\"c\" MsgKey=\"7\" SetId=\"1\"></TranslationInfo>\n</Message>\n"},
        {"only reserved keys: no LogAttribs", KVL_LEVEL_INFO, nullptr, "m",
         {{"client", "c"}, {"serverFormat", "IP"}, {KVL_PROP_SRCLINE, "3"}}, nullptr, false,
         "<Trace Level=\"INFO\">\n" + kTime + " <LogText><![CDATA[m]]></LogText>\n" + noSource + " <Principal>c</Principal>\n</Trace>\n"},
        {"hostile fields", KVL_LEVEL_NONE, nullptr, "a]]>b",
         {{KVL_PROP_SRCFILE, "\"x\"\n"}, {"server", "<s>"}, {"serverFormat", "\"&"}}, nullptr, false,
         "<Trace>\n" + kTime + " <Server Format=\"&quot;&amp;\">&lt;s&gt;</Server>\n"
         " <LogText><![CDATA[a]]]]><![CDATA[>b]]></LogText>\n <Source FileName=\"&quot;x&quot;&#10;\"/>\n</Trace>\n"},
        // clang-format on
    };
    KvlObject *formatter = object("xml", "kvl_xmlformatter");
    for (const auto &c : cases) {
        KvlEvent *made = c.threeParameters
                             ? vrxtest::stamped(vrxtest::makeEvent(c.level, c.catalog, 1, 7, c.text,
                                                                   KVL_STR("sda"), KVL_LONG(42),
                                                                   KVL_BOOL(1), KVL_ARG_END),
                                                c.props)
                             : event(c.level, c.catalog, c.text, c.props);
        if (c.messageId != nullptr) KvlSetEventMessageId(made, c.messageId);
        EXPECT_EQ(format(formatter, made), c.expected) << c.what;
    }
}

TEST_F(KvlXmlTest, LevelWords) {
    const struct {
        int32_t level;
        const char *word;
        // clang-format off
    } cases[] = {{KVL_LEVEL_DEBUG_MAX, "MAX"}, {KVL_LEVEL_DEBUG_MID, "MID"}, {KVL_LEVEL_DEBUG_MIN, "MIN"},
                 {KVL_LEVEL_INFO, "INFO"}, {KVL_LEVEL_WARN, "WARN"}, {KVL_LEVEL_ERROR, "ERROR"},
                 {KVL_LEVEL_FATAL, "ERROR"}, {4500, "OTHER"}, {0, "OTHER"}};
    // clang-format on
    KvlObject *formatter = object("xml", "kvl_xmlformatter");
    for (const auto &c : cases) {
        const std::string trace = format(formatter, event(c.level, nullptr, "t", {}));
        const std::string message = format(formatter, event(c.level, "c", "t", {}));
        EXPECT_EQ(trace.substr(0, trace.find('\n')),
                  "<Trace Level=\"" + std::string(c.word) + "\">");
        EXPECT_EQ(message.substr(0, message.find('\n')),
                  "<Message Id=\"None\" Severity=\"" + std::string(c.word) + "\">");
    }
}

TEST_F(KvlXmlTest, ForceFlagsChooseTheRecordKind) {
    const struct {
        const char *forceAsMessage, *forceAsTrace;
        bool messageShowsAsMessage, textShowsAsMessage;
    } cases[] = {
        // clang-format off
        {"false", "false", true, false}, {"true", "true", true, false},
        {"true", "false", true, true}, {"false", "true", false, false},
        // clang-format on
    };
    for (const auto &c : cases) {
        KvlObject *formatter = object("xml", "kvl_xmlformatter");
        KvlSetObjProp(formatter, "forceAsMessage", c.forceAsMessage);
        KvlSetObjProp(formatter, "forceAsTrace", c.forceAsTrace);
        const std::string fromMessage = format(formatter, event(KVL_LEVEL_INFO, "c", "m", {}));
        const std::string fromText = format(formatter, event(KVL_LEVEL_INFO, nullptr, "m", {}));
        const std::string what = std::string(c.forceAsMessage) + "/" + c.forceAsTrace;
        EXPECT_EQ(fromMessage.rfind("<Message", 0) == 0, c.messageShowsAsMessage) << what;
        EXPECT_EQ(fromText.rfind("<Message", 0) == 0, c.textShowsAsMessage) << what;
        // A text event in message form has no message record to translate.
        EXPECT_EQ(fromText.find("TranslationInfo"), std::string::npos) << what;
        EXPECT_EQ(fromMessage.find("<Source FileName=\"None\""),
                  c.messageShowsAsMessage ? std::string::npos : fromMessage.find("<Source"))
            << what;
    }
}

TEST_F(KvlXmlTest, SingleFlagsWriteTheirElementOncePerOutput) {
    const struct {
        const char *flag;
        std::string element;
    } cases[] = {
        {"singleServer", " <Server Format=\"IP\">h.example.com</Server>\n"},
        {"singleProduct", " <ProductId>P</ProductId>\n"},
        {"singleComponent", " <Component>C</Component>\n"},
        {"singleProductId", " <ProductInstance>I</ProductInstance>\n"},
    };
    // clang-format off
    const std::vector<Prop> origin = {{"server", "h.example.com"}, {"serverFormat", "IP"}, {"product", "P"},
                                      {"component", "C"}, {"productInstance", "I"}};
    // clang-format on
    for (const auto &c : cases) {
        KvlObject *formatter = object(c.flag, "kvl_xmlformatter");
        KvlSetObjProp(formatter, c.flag, "true");
        std::vector<std::string> records;
        for (int output = 0; output < 2; ++output) {
            EXPECT_EQ(KvlPDXMLFormatterFGetHeader(formatter), nullptr) << "no header text";
            for (int n = 0; n < 2; ++n)
                records.push_back(format(formatter, event(KVL_LEVEL_INFO, nullptr, "t", origin)));
        }
        for (size_t n = 0; n < records.size(); ++n) {
            const bool opensOutput = n % 2 == 0;
            const std::string &record = records[n];
            EXPECT_EQ(record.rfind(c.element, 0) == 0, opensOutput) << c.flag << " record " << n;
            const std::string body = opensOutput ? record.substr(c.element.size()) : record;
            EXPECT_EQ(body.rfind("<Trace", 0), 0u) << c.flag;
            EXPECT_EQ(body.find(c.element), std::string::npos) << c.flag << " record " << n;
        }
    }
}

TEST_F(KvlXmlTest, PDLoggerStampsOriginOntoEveryRecord) {
    KvlObject *logger = capturingLogger("pd", "kvl_pdlogger");
    KvlSetObjProp(logger, "product", "Agent");
    KvlSetObjProp(logger, "organization", "Org");
    KvlSetObjProp(logger, "client", "root");
    KvlLogDebugMin(logger, "init.c", "main", 120, "KVLFF0010E Out of memory.", KVL_ARG_END);
    const std::string thread = std::to_string(gettid()), process = std::to_string(getpid());
    ASSERT_EQ(captured().size(), 1u);
    EXPECT_EQ(withoutTime(captured()[0]),
              "<Trace Level=\"MIN\">\n <Time/>\n"
              " <Server Format=\"IP\">node1.example.com</Server>\n"
              " <ProductId>Agent</ProductId>\n"
              " <LogText><![CDATA[KVLFF0010E Out of memory.]]></LogText>\n"
              " <LogAttribs><Key>organization</Key><Value>Org</Value></LogAttribs>\n"
              " <Source FileName=\"init.c\" Method=\"main\" Line=\"120\"/>\n"
              " <Thread>" +
                  thread + "</Thread>\n <Process>" + process +
                  "</Process>\n"
                  " <Principal>root</Principal>\n</Trace>\n");

    // The origin reaches the basic formatter's line too, and the id is cached.
    KvlObject *basic = capturingLogger("pdbasic", "kvl_pdlogger", "kvl_basicformatter");
    KvlSetObjProp(basic, "organization", "Org");
    KvlLogText(basic, "APP0001I hi", KVL_ARG_END);
    ASSERT_EQ(captured().size(), 2u);
    const std::string line = captured()[1];
    EXPECT_NE(line.find(" Org node1.example.com APP0001I hi\n"), std::string::npos) << line;

    // From a second thread, the Thread line is that thread's id.
    std::string otherThread;
    std::thread([&] {
        otherThread = std::to_string(gettid());
        KvlLogText(logger, "from another thread", KVL_ARG_END);
    }).join();
    ASSERT_EQ(captured().size(), 3u);
    EXPECT_NE(captured()[2].find(" <Thread>" + otherThread + "</Thread>\n"), std::string::npos);
    EXPECT_NE(otherThread, thread);

    // "server" reconfigured without a value: no Server element at all.
    KvlSetObjProp(logger, "server", nullptr);
    KvlLogText(logger, "t", KVL_ARG_END);
    ASSERT_EQ(captured().size(), 4u);
    EXPECT_EQ(captured()[3].find("<Server"), std::string::npos) << captured()[3];

    // However many pd loggers there are, the host name is asked once.
    for (int n = 0; n < 16; ++n)
        object(("pd" + std::to_string(n)).c_str(), "kvl_pdlogger");
    EXPECT_EQ(lookups, 1);
}

TEST_F(KvlXmlTest, PDLoggerWithoutHostNameWarnsAtEveryCreation) {
    resolves = false;
    vrxtest::HostNameGuard failing{shortName, resolve};  // forgets the answer the fixture had
    vrxtest::addRecordingHandlerClass();
    vrxtest::RecordingStore::instance().clear();
    KvlObject *errors = object("kavel.errorLogger", nullptr);
    KvlAddListener(errors, object("errors.recorder", "test_recordinghandler"));
    KvlObject *first = capturingLogger("pd1", "kvl_pdlogger");
    capturingLogger("pd2", "kvl_pdlogger");
    const auto events = vrxtest::RecordingStore::instance().snapshot();
    ASSERT_EQ(events.size(), 2u);
    for (const auto &e : events) {
        EXPECT_EQ(e.key, 35);
        EXPECT_EQ(e.level, KVL_LEVEL_WARN);
        EXPECT_NE(e.boundText.find("kvl_pdlogger"), std::string::npos) << e.boundText;
    }
    EXPECT_EQ(lookups, 1);
    KvlLogText(first, "t", KVL_ARG_END);
    ASSERT_FALSE(captured().empty());
    EXPECT_EQ(captured().back().find("<Server"), std::string::npos);
}

}  // namespace
