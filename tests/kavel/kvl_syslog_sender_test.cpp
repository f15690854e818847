// Records sent to a real rsyslogd in a private network: over the local
// socket, UDP, TCP and TLS (both framings) and RELP, in both formats, each field as the
// collector parses it back equals what was sent, hostile texts included;
// records that find no collector wait in the queue, the oldest dropped and
// counted when it is full, and go once the collector is back.

#include "KvlSyslogRecord.h"
#include "KvlSyslogSender.h"
#include "syslog_collector.h"
#include "syslog_parse.h"

namespace {

using namespace kvl::net;
using vrxtest::SyslogCollector;

struct Way {
    const char *name;
    SyslogTransport transport;
    SyslogFraming framing;
    size_t longest;  // the longest message the transport carries here
};

const Way kWays[] = {
    {"unix", SyslogTransport::kUnix, SyslogFraming::kOctetCounting, 64 * 1024},
    {"udp", SyslogTransport::kUdp, SyslogFraming::kOctetCounting, 60000},
    {"tcp", SyslogTransport::kTcp, SyslogFraming::kOctetCounting, 64 * 1024},
    {"tcp-lf", SyslogTransport::kTcp, SyslogFraming::kLineFeed, 64 * 1024},
    {"tls", SyslogTransport::kTls, SyslogFraming::kOctetCounting, 64 * 1024},
    {"tls-lf", SyslogTransport::kTls, SyslogFraming::kLineFeed, 64 * 1024},
    {"relp", SyslogTransport::kRelp, SyslogFraming::kOctetCounting, 64 * 1024},
};

SyslogEndpoint endpointOf(const Way &way, const SyslogCollector &collector,
                          SyslogFormat format = SyslogFormat::kRfc5424) {
    SyslogEndpoint endpoint;
    endpoint.transport = way.transport;
    const bool rfc3164 = format == SyslogFormat::kRfc3164;
    const bool ng = collector.daemon() == SyslogCollector::Daemon::kSyslogNg;
    endpoint.port = way.transport == SyslogTransport::kTls          ? SyslogCollector::kTlsPort
                    : way.transport == SyslogTransport::kRelp       ? SyslogCollector::kRelpPort
                    : ng && rfc3164                                 ? SyslogCollector::kNg3164Port
                    : ng && way.framing == SyslogFraming::kLineFeed ? SyslogCollector::kNgLf5424Port
                                                                    : SyslogCollector::kPort;
    endpoint.tls.caFile = collector.caFile();
    endpoint.socketPath = collector.socketPath(rfc3164);
    endpoint.framing = way.framing;
    return endpoint;
}

// Whether everything queued went within a few seconds (a stream may take
// a long record in several goes).
bool flushed(SyslogSender &sender) {
    for (int i = 0; i < 500; ++i) {
        if (sender.flush()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The structured data's parameters as a reader of the grammar sees them,
// less the sequence number syslog-ng adds to what a local socket brings.
std::vector<std::pair<std::string, std::string>> paramsOf(const std::string &sd) {
    const auto parsed =
        vrxtest::parse5424("<1>1 - - - - - " + sd.substr(0, sd.find("[meta sequenceId=")));
    return parsed ? parsed->params : std::vector<std::pair<std::string, std::string>>{{"?", sd}};
}

// Sends plain, hostile and long messages in both formats over each way
// given, and compares each field as the collector parsed it with what was
// sent.
void expectEveryFieldReadsBack(const SyslogCollector &collector, const std::vector<Way> &ways) {
    const std::vector<SyslogParam> params = {
        {"file", "a.cpp"}, {"hostile", "]\"\\ \n\x01 \xC3("}, {"func", "main"}};
    const std::string hostile = "a ] \" \\ | \x01\x7F \xC3\xA9 \n second line";
    struct Sent {
        std::string app, message, record;
        SyslogFormat format;
        SyslogFraming framing;
    };
    std::vector<Sent> sent;
    const bool ng = collector.daemon() == SyslogCollector::Daemon::kSyslogNg;
    for (const Way &way : ways) {
        for (const SyslogFormat format : {SyslogFormat::kRfc5424, SyslogFormat::kRfc3164}) {
            // syslog-ng reads RFC 3164 over TCP a line each only.
            if (ng && format == SyslogFormat::kRfc3164 && way.transport == SyslogTransport::kTcp &&
                way.framing == SyslogFraming::kOctetCounting)
                continue;
            SyslogSender sender(endpointOf(way, collector, format));
            for (const std::string &message :
                 {std::string("plain text"), hostile, std::string(way.longest, 'L')}) {
                Sent one{"t" + std::to_string(sent.size()), message, "", format, way.framing};
                // clang-format off
                const SyslogFields fields{.facility = 16, .severity = 3, .time = {1796736001, 123000000}, .hostName = "node1.example.org",
                                          .appName = one.app, .procId = "4242", .msgId = "KVLFF0010E", .sdId = "kvl@32473", .params = params, .message = one.message};
                // clang-format on
                appendRecord(format, fields, one.record);
                sender.send(one.record);
                sent.push_back(std::move(one));
            }
            EXPECT_TRUE(flushed(sender)) << way.name;
            EXPECT_EQ(sender.takeDropped(), 0u) << way.name;
        }
    }
    const auto got = collector.records(sent.size());
    ASSERT_EQ(got.size(), sent.size());
    for (const Sent &one : sent) {
        SCOPED_TRACE(one.app);
        const auto it = std::find_if(got.begin(), got.end(), [&](const nlohmann::json &r) {
            return r.is_object() && r.value("app", "") == one.app;
        });
        ASSERT_NE(it, got.end()) << "not received";
        const nlohmann::json &r = *it;
        // Line framing makes a record's line feeds spaces.
        const auto framed = [&one](std::string text) {
            if (one.framing == SyslogFraming::kLineFeed)
                std::replace(text.begin(), text.end(), '\n', ' ');
            return text;
        };
        const std::string message = framed(one.message);
        EXPECT_EQ(r.value("pri", ""), "131");
        EXPECT_EQ(r.value("host", ""), "node1.example.org");
        EXPECT_EQ(r.value("procid", ""), "4242");
        if (one.format == SyslogFormat::kRfc5424) {
            const auto ours = vrxtest::parse5424(one.record);
            ASSERT_TRUE(ours.has_value());
            EXPECT_EQ(r.value("time", ""), "2026-12-08T13:20:01.123+00:00");
            EXPECT_EQ(r.value("msgid", ""), "KVLFF0010E");
            auto expected = ours->params;
            for (auto &param : expected)
                param.second = framed(param.second);
            EXPECT_EQ(paramsOf(r.value("sd", "")), expected);
            EXPECT_EQ(r.value("msg", ""), message);
        } else {
            EXPECT_EQ(r.value("msg", ""), (ng ? "" : " ") + message)
                << "rsyslog keeps the space after ':'";
        }
    }
}

using KvlSyslogSenderTest = vrxtest::CollectorTest;

TEST_F(KvlSyslogSenderTest, EveryFieldReadsBackOverEveryTransport) {
    expectEveryFieldReadsBack(*collector_, {std::begin(kWays), std::end(kWays)});
}

// syslog-ng reads the same records to the same fields (the ways it takes).
TEST(KvlSyslogNgTest, EveryFieldReadsBack) {
    if (const std::string reason = SyslogCollector::skipReason(SyslogCollector::Daemon::kSyslogNg);
        !reason.empty())
        GTEST_SKIP() << reason;
    const SyslogCollector collector(SyslogCollector::Daemon::kSyslogNg);
    ASSERT_TRUE(collector.running()) << "syslog-ng did not start";
    expectEveryFieldReadsBack(collector, {kWays[0], kWays[1], kWays[2], kWays[3]});
}

// With the collector down the records wait (the oldest dropped and counted
// when the queue is full); once it is back, and the backoff has passed,
// the rest go, in order.
TEST_F(KvlSyslogSenderTest, RecordsWaitForTheCollectorAndDropsAreCounted) {
    collector_->stop();
    SyslogEndpoint endpoint = endpointOf(kWays[2], *collector_);
    endpoint.queueBytes = 100;
    SyslogSender sender(endpoint);
    for (int n = 0; n < 10; ++n)
        sender.send("<14>1 - - w" + std::to_string(n) + " - - - " + std::string(6, 'x'));
    EXPECT_FALSE(sender.connected());
    EXPECT_EQ(sender.takeDropped(), 6u) << "four 25-byte records fill the 100 bytes";
    EXPECT_EQ(sender.waitingBytes(), 100u);
    collector_->start();
    ASSERT_TRUE(collector_->running());
    std::this_thread::sleep_for(SyslogSender::kFirstBackoff * 3);  // past the backoff
    EXPECT_TRUE(flushed(sender));
    EXPECT_TRUE(sender.connected());
    const auto got = collector_->records(4);
    std::vector<std::string> apps;
    for (const auto &r : got)
        apps.push_back(r.value("app", ""));
    EXPECT_EQ(apps, (std::vector<std::string>{"w6", "w7", "w8", "w9"}));
}

// A collector that stops reading fills the connection: the records wait
// (over TLS some already encrypted in the session) and all go, in order,
// once it reads again.
TEST_F(KvlSyslogSenderTest, AStalledCollectorGetsEverythingOnceItReadsAgain) {
    for (const Way &way : {kWays[2], kWays[4]}) {
        SCOPED_TRACE(way.name);
        SyslogEndpoint endpoint = endpointOf(way, *collector_);
        endpoint.queueBytes = 64 << 20;
        SyslogSender sender(endpoint);
        sender.send("<14>1 - - first - - - connects");
        collector_->pause(true);
        const std::string app = std::string("stall-") + way.name;
        constexpr int kRecords = 20000;  // 20 MB: more than the sockets hold
        for (int n = 0; n < kRecords; ++n)
            sender.send("<14>1 - - " + app + " - - - " + std::to_string(n) + " " +
                        std::string(1000, 'x'));
        EXPECT_GT(sender.waitingBytes(), 0u) << "the connection is full";
        collector_->pause(false);
        EXPECT_TRUE(flushed(sender));
        EXPECT_EQ(sender.takeDropped(), 0u);
        std::vector<int> got;
        for (const auto &r : collector_->records("\"" + std::to_string(kRecords - 1) + " "))
            if (r.is_object() && r.value("app", "") == app)
                got.push_back(std::stoi(r.value("msg", "")));
        ASSERT_EQ(got.size(), static_cast<size_t>(kRecords));
        for (int n = 0; n < kRecords; ++n)
            ASSERT_EQ(got[static_cast<size_t>(n)], n);
    }
}

}  // namespace
