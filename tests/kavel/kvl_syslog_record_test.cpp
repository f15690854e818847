// The syslog record: the RFC 5424 and RFC 3164 texts to the byte, every
// hostile field (spaces, control bytes, ill-formed UTF-8, '"', '\', ']',
// lengths past the limits) read back by a reader of the grammar as what
// went in or as the NILVALUE, never as another field; severities,
// facilities and the two framings.

#include "KvlSyslogRecord.h"
#include "kavel.h"
#include "syslog_parse.h"
#include "test_support.h"

namespace {

using namespace kvl::net;

// 2026-12-08 13:20:01.123 UTC, told at one hour east of it.
SyslogFields sample() {
    // clang-format off
    return {.facility = 16, .severity = 3, .time = {1796736001, 123456789}, .utcOffset = 3600, .hostName = "node1.example.org",
            .appName = "agent", .procId = "4242", .msgId = "KVLFF0010E", .sdId = "kvl@32473", .message = "KVLFF0010E Out of memory."};
    // clang-format on
}

std::string record(SyslogFormat format, const SyslogFields &fields) {
    std::string out;
    appendRecord(format, fields, out);
    return out;
}

TEST(KvlSyslogRecordTest, TheTwoFormatsToTheByte) {
    const std::vector<SyslogParam> params = {{"file", "a.cpp"}, {"line", "12"}};
    SyslogFields fields = sample();
    fields.params = params;
    EXPECT_EQ(record(SyslogFormat::kRfc5424, fields),
              "<131>1 2026-12-08T14:20:01.123+01:00 node1.example.org agent 4242 KVLFF0010E "
              "[kvl@32473 file=\"a.cpp\" line=\"12\"] KVLFF0010E Out of memory.");
    EXPECT_EQ(record(SyslogFormat::kRfc3164, fields),
              "<131>Dec  8 14:20:01 node1.example.org agent[4242]: KVLFF0010E Out of memory.");
    fields.utcOffset = -(5 * 3600 + 30 * 60);
    fields.params = {};
    fields.message = {};
    fields.facility = 99;  // out of range: user
    EXPECT_EQ(record(SyslogFormat::kRfc5424, fields),
              "<11>1 2026-12-08T07:50:01.123-05:30 node1.example.org agent 4242 KVLFF0010E -");
}

// Each row changes one part of the sample; the record must read back whole,
// with that part as expected and every other part as it went in.
TEST(KvlSyslogRecordTest, HostileFieldsReadBackAsSentOrAsNil) {
    const std::string longMessage(64 * 1024, 'm');
    const std::string ill = "a\xC3(b\xED\xA0\x80z\xF8";
    // One U+FFFD per maximal subpart: a cut pair, each byte of a surrogate,
    // a byte no sequence starts with.
    const std::string illRead = "a\xEF\xBF\xBD(b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz\xEF\xBF\xBD";
    struct Row {
        const char *what;
        std::string hostName = "node1.example.org";
        std::string appName = "agent";
        std::string msgId = "KVLFF0010E";
        std::string sdId = "kvl@32473";
        std::vector<std::pair<std::string, std::string>> params;  // sent
        std::vector<std::pair<std::string, std::string>> read;    // read back
        std::string message = "text", messageRead = "text";
        bool bom = false;
    };
    // clang-format off
    const std::vector<Row> rows = {
        {.what = "a host with a space", .hostName = "node 1"},
        {.what = "a host of 256 bytes", .hostName = std::string(256, 'h')},
        {.what = "an application of 49 bytes", .appName = std::string(49, 'a')},
        {.what = "a message id above ASCII", .msgId = "KVL\xC3\xA9"},
        {.what = "an empty message id", .msgId = ""},
        {.what = "values that need escaping", .params = {{"v", "a]b\"c\\d"}}, .read = {{"v", "a]b\"c\\d"}}},
        {.what = "new lines and control bytes", .params = {{"v", "1\n2\r\x01\x7F"}}, .read = {{"v", "1\n2\r\x01\x7F"}}},
        {.what = "ill-formed UTF-8 in a value", .params = {{"v", ill}}, .read = {{"v", illRead}}},
        {.what = "names outside SD-NAME", .params = {{"a b=c]\"d", "1"}, {" =", "2"}, {std::string(40, 'n'), "3"}}, .read = {{"abcd", "1"}, {std::string(32, 'n'), "3"}}},
        {.what = "no parameter left", .params = {{"]", "x"}}},
        {.what = "an SD-ID with a space", .sdId = "kvl 1", .params = {{"v", "x"}}},
        {.what = "a message with ']' and new lines", .message = "a]\n\"b", .messageRead = "a]\n\"b"},
        {.what = "ill-formed UTF-8 after the BOM", .message = ill, .messageRead = "\xEF\xBB\xBF" + illRead, .bom = true},
        {.what = "a 64 KiB message", .message = longMessage, .messageRead = longMessage},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<SyslogParam> params;
        for (const auto &[name, value] : row.params)
            params.emplace_back(name, value);
        SyslogFields fields = sample();
        fields.hostName = row.hostName;
        fields.appName = row.appName;
        fields.msgId = row.msgId;
        fields.sdId = row.sdId;
        fields.params = params;
        fields.message = row.message;
        fields.utf8Bom = row.bom;
        const auto got = vrxtest::parse5424(record(SyslogFormat::kRfc5424, fields));
        ASSERT_TRUE(got.has_value()) << record(SyslogFormat::kRfc5424, fields);
        EXPECT_EQ(got->pri, 131);
        EXPECT_EQ(got->timestamp, "2026-12-08T14:20:01.123+01:00");
        const auto asSent = [](const std::string &text, size_t limit) {
            return std::string(headerField(text, limit));
        };
        EXPECT_EQ(got->hostName, asSent(row.hostName, kHostNameMax));
        EXPECT_EQ(got->appName, asSent(row.appName, kAppNameMax));
        EXPECT_EQ(got->procId, "4242");
        EXPECT_EQ(got->msgId, asSent(row.msgId, kMsgIdMax));
        EXPECT_EQ(got->sdId, row.read.empty() ? "" : row.sdId);
        EXPECT_EQ(got->params, row.read);
        EXPECT_EQ(got->message, row.messageRead);
    }
    EXPECT_EQ(headerField("node 1", kHostNameMax), "-");
    EXPECT_EQ(headerField(std::string(255, 'h'), kHostNameMax), std::string(255, 'h'));
}

TEST(KvlSyslogRecordTest, SeveritiesFacilitiesAndFraming) {
    const struct {
        int32_t level;
        int severity;
    } levels[] = {{KVL_LEVEL_FATAL, 2},     {KVL_LEVEL_OFF, 2},      {KVL_LEVEL_ERROR, 3},
                  {KVL_LEVEL_WARN, 4},      {KVL_LEVEL_INFO, 6},     {KVL_LEVEL_DEBUG_MIN, 7},
                  {KVL_LEVEL_DEBUG_MAX, 7}, {KVL_LEVEL_ALL, 7},      {KVL_LEVEL_NONE, 5},
                  {KVL_LEVEL_INFO - 1, 7},  {KVL_LEVEL_ERROR - 1, 4}};
    for (const auto &c : levels)
        EXPECT_EQ(severityOf(c.level), c.severity) << c.level;
    const struct {
        const char *text;
        int facility;
    } facilities[] = {{"kern", 0},  {"user", 1}, {"authpriv", 10}, {"local7", 23},
                      {"0", 0},     {"23", 23},  {"24", -1},       {"-1", -1},
                      {"USER", -1}, {"", -1},    {"1x", -1},       {"local8", -1}};
    for (const auto &c : facilities)
        EXPECT_EQ(facilityOf(c.text), c.facility) << c.text;

    std::string counted = "<11>1 - - - - - a\nb";
    frame(SyslogFraming::kOctetCounting, counted);
    EXPECT_EQ(counted, "19 <11>1 - - - - - a\nb");
    std::string lines = "<11>1 - - - - - a\nb";
    frame(SyslogFraming::kLineFeed, lines);
    EXPECT_EQ(lines, "<11>1 - - - - - a b\n");
}

}  // namespace
