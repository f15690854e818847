// Messages: message identifiers, the built-in tables byte for byte, binding
// with parameters of every type (and falling back to the default text when
// they do not fit), parameter comparison and text, copies, console output
// in the local codeset, and the toolkit's own messages.

#include "CxZMSID.h"
#include "KvlMessage.h"
#include "KvlMsgTables.h"
#include "toolkit_test.h"

namespace {

using vrxtest::take;

class KvlMessageTest : public vrxtest::ToolkitTest {};

TEST_F(KvlMessageTest, MessageIdentifiers) {
    const struct {
        const char *text;
        const char *format;  // null: no identifier
        int32_t version, length;
        const char *id;
        char severity;
    } cases[] = {
        {"KVLFF0010E Out of memory.", "NUV5.4.1", 541, 10, "KVLFF0010E", 'E'},
        {"KVLLG01E No listeners", "NUV5.2.1", 521, 8, "KVLLG01E", 'E'},
        {"KVL0034E A negative value", "NUV3.4.1", 341, 8, "KVL0034E", 'E'},
        {"ABC123I", "NUV3.3.1", 331, 7, "ABC123I", 'I'},
        {"ABC123456W", "NUV3.6.1", 361, 10, "ABC123456W", 'W'},
        {"ABCD12345E", "NUV4.5.1", 451, 10, "ABCD12345E", 'E'},
        {"ABCDE123W tail", "NUV5.3.1", 531, 9, "ABCDE123W", 'W'},
        {"ABCDEF123I", "NUV6.3.1", 631, 10, "ABCDEF123I", 'I'},
        {"kvlff0010E", "NUV5.4.1", 541, 10, "kvlff0010E", 'E'},  // lower-case prefix
        {"KVLFF0010e", nullptr},                                 // lower-case severity
        {"KVLFF0010X", nullptr},
        {"K1LFF0010E", nullptr},
        {"unused000", nullptr},
        {"ABCDEFG001E", nullptr},  // seven letters
        {"ABCDEF1234E", nullptr},  // six letters take only three digits
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const auto &c : cases) {
        const char *shown = c.text != nullptr ? c.text : "<null>";
        const CxZMSID parsed = CxParseZMSID(c.text);
        if (c.format == nullptr) {
            EXPECT_EQ(parsed.format, nullptr) << shown;
            EXPECT_EQ(parsed.length, 0) << shown;
            EXPECT_EQ(kvlPDXMLGetMessageID(c.text), nullptr) << shown;
            continue;
        }
        EXPECT_STREQ(parsed.format, c.format) << shown;
        EXPECT_EQ(parsed.version, c.version) << shown;
        EXPECT_EQ(parsed.length, c.length) << shown;
        EXPECT_STREQ(parsed.id, c.id) << shown;
        EXPECT_EQ(parsed.severity, c.severity) << shown;
        EXPECT_EQ(take(kvlPDXMLGetMessageID(c.text)), c.id) << shown;
    }
}

// The texts themselves are checked against data/messages by the generated
// tables' test; here, that keys land on their messages and fillers.
TEST_F(KvlMessageTest, BuiltInTables) {
    const struct {
        const char *catalog;
        int32_t key;
        const char *start; /* of the text; a filler or empty entry whole */
    } cases[] = {
        // clang-format off
        {"kvlmsg", 0, "kvlmsg"}, {"kvlmsg", 1, "KVLLG01E "}, {"kvlmsg", 4, "unused000"}, {"kvlmsg", 31, "KVLBC0031E "},
        {"kvlmsg", 52, "KVL0052E "}, {"kvlmsg", 74, "KVLMP0074W "}, {"kvlmsg", 76, "KVLFF0020W "}, {"kvlmsg", 92, "unused062"},
        {"kvlmsg", 93, "KVLWH0092E "}, {"kvlmsg", 129, "unused091"}, {"kvlmsg", 131, "Formats all message data"},
        {"kvlmsg", 132, "KVLMP0132W "}, {"kvlmsg", 134, "KVLAQ0134W "}, {"kffdcmsg", 0, "kffdcmsg"}, {"kffdcmsg", 1, "unused000"},
        {"kffdcmsg", 14, "KVLFF0014W "}, {"kffdcmsg", 30, ""} /* left out: empty, not a filler */,
        {"kffdcmsg", 31, "unused022"}, {"kffdcmsg", 60, "KVLFF0060W "}, {"kffdcmsg", 64, "KVLFF0064E "},
        {"kffdcmsg", 139, "unused116"}, {"kffdcmsg", 140, "Copies local files"},
        // clang-format on
    };
    for (const auto &c : cases) {
        const std::string text = kvlMsgTableText(c.catalog, c.key);
        const bool whole = *c.start == '\0' || std::string(c.start).rfind("unused", 0) == 0;
        EXPECT_TRUE(whole ? text == c.start : text.rfind(c.start, 0) == 0)
            << c.catalog << " " << c.key << ": " << text;
    }
    // Messages added later follow the original 132 and 141 entries, whose
    // keys and fillers stay as they were.
    EXPECT_EQ(kvlMsgTableEntries("kvlmsg"), 142);
    EXPECT_EQ(kvlMsgTableEntries("kffdcmsg"), 143);
    EXPECT_EQ(kvlMsgTableText("kvlmsg", 142), nullptr);
    EXPECT_EQ(kvlMsgTableText("other", 1), nullptr);
}

// A parameter of one type, for the tables below.
KvlParm parm(int32_t type) { return KvlParm{type, {}}; }
KvlParm intParm(int32_t v) {
    KvlParm p = parm(KVL_ARG_INT);
    p.value.i = v;
    return p;
}
KvlParm longParm(int64_t v) {
    KvlParm p = parm(KVL_ARG_LONG);
    p.value.l = v;
    return p;
}
KvlParm stringParm(const char *v) {
    KvlParm p = parm(KVL_ARG_STRING);
    p.value.s = const_cast<char *>(v);
    return p;
}

TEST_F(KvlMessageTest, BindingSubstitutesOrFallsBack) {
    KvlParm floatValue = parm(KVL_ARG_FLOAT), doubleValue = parm(KVL_ARG_DOUBLE),
            charValue = parm(KVL_ARG_CHAR), boolValue = parm(KVL_ARG_BOOLEAN);
    floatValue.value.f = 2.5f;
    doubleValue.value.d = 0.125;
    charValue.value.c = 'x';
    boolValue.value.b = 1;
    const struct {
        const char *catalog;
        int32_t key;
        const char *text;
        std::vector<KvlParm> parms;
        const char *expected;
        // clang-format off
    } cases[] = {
        {"kvlmsg", 51, "KVL0051E The log manager could not read the properties file %s.", {stringParm("/etc/app.properties")}, "KVL0051E The log manager could not read the properties file /etc/app.properties."},
        {nullptr, 0, "%s and %s", {stringParm("one")}, "%s and %s"},  // too few: unchanged
        {nullptr, 0, "%2$s %1$s", {stringParm("b"), stringParm("a")}, "a b"},
        {nullptr, 0, "[%s]", {intParm(7)}, "[%s]"},  // never a number read as a pointer
        {nullptr, 0, "[%s]", {doubleValue}, "[%s]"},
        {nullptr, 0, "[%s]", {charValue}, "[%s]"},
        {nullptr, 0, "[%s]", {stringParm(nullptr)}, "[(null)]"},
        {"kvlmsg", 75, kvlMsgTableText("kvlmsg", 75), {stringParm("/var/log/a.log"), intParm(420), intParm(13)}, "KVLMP0075W Could not set file /var/log/a.log to permission mode 644. The system " "error code is  13."},  // "%3d": a width of three
        {nullptr, 0, "%2$o", {stringParm("f"), intParm(420)}, "644"},
        {nullptr, 0, "%ld|%d", {longParm(5000000000), longParm(5000000000)}, "5000000000|5000000000"},
        {nullptr, 0, "%d", {longParm(LONG_MIN)}, "-9223372036854775808"},
        {nullptr, 0, "%x", {intParm(-1)}, "ffffffff"},
        {nullptr, 0, "%.2f|%f", {floatValue, doubleValue}, "2.50|0.125000"},
        {nullptr, 0, "%c%d", {charValue, boolValue}, "x1"},
        {nullptr, 0, "%1s|%5s", {stringParm("whole"), stringParm("ab")}, "whole|   ab"},
        {nullptr, 0, "100%%", {}, "100%"},
        {nullptr, 0, "a%sb%dc%%", {stringParm("x"), intParm(-5)}, "axb-5c%"},
        {nullptr, 0, "%d%s", {intParm(INT_MIN), stringParm("")}, "-2147483648"},
        {nullptr, 0, "%s", {stringParm("one"), stringParm("extra")}, "one"},
        {nullptr, 0, "%d", {charValue}, "120"},
        {nullptr, 0, "%d", {longParm(7)}, "7"},
        {nullptr, 0, "%s|%-3d|", {stringParm("s"), intParm(4)}, "s|4  |"},
        {nullptr, 0, "trailing %", {}, "trailing %"},
        {nullptr, 0, "%q", {intParm(1)}, "%q"},  // malformed
        {nullptr, 0, nullptr, {}, "<null>"},
    };
    // clang-format on
    for (const auto &c : cases) {
        KvlI18Msg *message = KvlAllocI18Msg(c.catalog, 1, c.key, c.text);
        for (const KvlParm &p : c.parms) {
            KvlParm copy = p;
            kvlIntlParmListAppend(kvlGetI18MsgParmList(message), &copy);
        }
        EXPECT_EQ(take(KvlBindI18Msg(message)), c.expected) << (c.text ? c.text : "<null>");
        KvlFreeI18Msg(message);
    }
    EXPECT_EQ(KvlBindI18Msg(nullptr), nullptr);
}

TEST_F(KvlMessageTest, ParametersCompareAndPrint) {
    KvlParm f = parm(KVL_ARG_FLOAT), b = parm(KVL_ARG_BOOLEAN), c = parm(KVL_ARG_CHAR),
            odd = parm(999);
    f.value.f = 1.5f;
    b.value.b = 1;
    c.value.c = 'q';
    const KvlParm a5 = intParm(5), l5 = longParm(5), s1 = stringParm("same"),
                  s2 = stringParm("same"), s3 = stringParm("other");
    const struct {
        const KvlParm *a, *b;
        int equal;
    } comparisons[] = {{&s1, &s2, 1},         {&s1, &s3, 0},     {&a5, &l5, 0},  {&a5, &a5, 1},
                       {nullptr, nullptr, 1}, {&a5, nullptr, 0}, {&odd, &odd, 0}};
    for (const auto &cmp : comparisons)
        EXPECT_EQ(KvlCmpParms(cmp.a, cmp.b), cmp.equal);
    const KvlParm minus3 = intParm(-3), big = longParm(5000000000);
    const struct {
        const char *format;
        const KvlParm *parm;
        const char *text;
    } texts[] = {
        {nullptr, &f, "1.500000"},     {nullptr, &minus3, "-3"}, {nullptr, &big, "5000000000"},
        {nullptr, &b, "true"},         {nullptr, &c, "q"},       {nullptr, &s1, "same"},
        {"<%5d>", &minus3, "<   -3>"}, {"%d", &b, "1"},          {"%s", &minus3, "<null>"},
        {nullptr, &odd, "<null>"}};
    for (const auto &t : texts)
        EXPECT_EQ(take(kvlParmToUTF8Str(t.format, t.parm)), t.text) << (t.format ? t.format : "");
    EXPECT_EQ(take(kvlParmToLocalStr(nullptr, &minus3)), "-3");
}

TEST_F(KvlMessageTest, AFreedCopyLeavesTheOriginalIntact) {
    KvlI18Msg *original = KvlAllocI18Msg("kvlmsg", 1, 61, "%1$s %2$s %3$s");
    for (const char *value : {"obj", "classA", "classB"})
        KvlAddI18MsgParmString(original, value);
    KvlI18Msg *copy = KvlCopyI18Msg(original);
    KvlSetI18MsgTxt(copy, "changed %s");
    KvlFreeI18Msg(copy);
    EXPECT_EQ(take(KvlBindI18Msg(original)), "obj classA classB");
    KvlSetI18MsgCat(original, nullptr);
    KvlSetI18MsgKey(original, 3);
    KvlSetI18MsgSet(original, 2);
    EXPECT_EQ(original->catalog, nullptr);
    EXPECT_EQ(original->key, 3);
    EXPECT_EQ(take(KvlBindI18Msg(original)), "obj classA classB");
    KvlFreeI18Msg(original);
}

// Console text in the local codeset, whole however long: under UTF-8 and
// under the C locale's byte pseudo-codeset the bytes pass unchanged.
TEST_F(KvlMessageTest, PrintsUtf8InTheLocalCodeset) {
    const std::string accented = "caf\xC3\xA9\n";
    const std::string longText = std::string(20000, 'x') + "\xE2\x82\xAC" + "end\n";
    const struct {
        const char *locale;
        std::string text, expected;
    } cases[] = {
        {"C.UTF-8", accented, accented},
        {"C.UTF-8", longText, longText},
        {"C", accented, accented},  // the byte pseudo-codeset copies bytes
        {"C", longText, longText},
    };
    for (const auto &c : cases) {
        vrxtest::EnvGuard locale("LC_ALL", c.locale);
        std::setlocale(LC_ALL, c.locale);
        zil_uninit();
        kvlI18InitZil();
        FILE *stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(kvlI18PrintUTF8AsLocal(stream, c.text.c_str()), 1);
        std::rewind(stream);
        std::string written;
        for (int ch; (ch = std::fgetc(stream)) != EOF;)
            written += static_cast<char>(ch);
        std::fclose(stream);
        EXPECT_TRUE(written == c.expected)
            << c.locale << " " << c.text.size() << ": " << written.substr(0, 40) << "...";
        kvlI18UninitZil();
    }
    std::setlocale(LC_ALL, "C.UTF-8");
}

std::vector<std::tuple<std::string, int32_t, int32_t>> raised;
void observe(const char *catalog, int32_t key, int32_t level) {
    raised.emplace_back(catalog, key, level);
}

TEST_F(KvlMessageTest, ToolkitMessagesAreRaisedWithTheirCatalog) {
    raised.clear();
    kvlSetToolkitMsgObserver(observe);
    KvlApiLock lock;  // the callers of these hold it
    kvlIntlLogVA(6000, 20, kvlMsgTableText("kvlmsg", 20), 0);
    kffdcIntlLogVA(5000, 64, kvlMsgTableText("kffdcmsg", 64), KVL_ARG_STRING, "a.zip", 0);
    kvlSetToolkitMsgObserver(nullptr);
    kvlIntlLogVA(6000, 20, kvlMsgTableText("kvlmsg", 20), 0);
    EXPECT_EQ(raised, (std::vector<std::tuple<std::string, int32_t, int32_t>>{
                          {"kvlmsg", 20, 6000}, {"kffdcmsg", 64, 5000}}));
}

}  // namespace
