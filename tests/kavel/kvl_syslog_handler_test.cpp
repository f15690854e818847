// The syslog handler through the toolkit to a real rsyslogd: every
// transport and format, sending itself or behind the asynchronous handler,
// each field of the record as the collector parses it back; a collector
// that cannot be reached, or whose certificate is not trusted, is reported
// once; records the collector could not take are reported once it takes
// them again; a collector restart loses nothing over RELP and only what is
// reported over TCP (and what TCP cannot know).

#include "kavel_ext.h"
#include "kavelnet.h"
#include "kvlmsg_keys.h"
#include "syslog_collector.h"
#include "syslog_parse.h"

// librelp 1.11 loses one frame (its buffer and text) when a send fails at
// a particular moment of a broken session, inside the library and out of
// the handler's reach: at most one record's bytes per lost session.
extern "C" const char *__lsan_default_suppressions() { return "leak:librelp.so\n"; }

namespace {

using vrxtest::SyslogCollector;
constexpr int kRecords = 100000;

class KvlSyslogHandlerTest : public vrxtest::CollectorTest {
protected:
    void TearDown() override { close(); }

    // Logger "s" sends through "s.net", or through "s.q" to it. The port
    // is the collector's UDP and TCP one unless the settings give one; the
    // toolkit's own messages go to the file errors().
    void open(const std::string &settings, bool async) {
        KvlInitNetExtensions();
        const std::string props = dir_.path() + "/log.properties";
        const std::string port = settings.find("s.net.port=") == std::string::npos
                                     ? "s.net.port=" + std::to_string(SyslogCollector::kPort) + "\n"
                                     : "";
        vrxtest::writeFile(props, "s.className=kvl_basiclogger\ns.level=ALL\ns.listenerNames=" +
                                      std::string(async ? "s.q" : "s.net") +
                                      "\ns.q.className=kvl_asynchandler\ns.q.targetName=s.net\n"
                                      "s.q.queueDir=" +
                                      dir_.path() + "\ns.net.className=kvl_sysloghandler\n" + port +
                                      "s.net.socketPath=" + collector_->socketPath() +
                                      "\nkavel.errorLogger.listenerNames=errors\n"
                                      "errors.className=kvl_filehandler\nerrors.fileName=" +
                                      errors() + "\n" + settings);
        ASSERT_EQ(KvlOpenToolkit(props.c_str()), 1);
        logger_ = KvlGetObject("s", nullptr);
    }
    void close() {
        KvlReleaseObject(logger_);
        logger_ = nullptr;
        KvlCloseToolkit();
    }
    void logError(const std::string &text) {
        KvlLogError(logger_, nullptr, 0, 0, "%s", KVL_STR(text.c_str()), KVL_ARG_END);
    }
    std::string errors() const { return dir_.path() + "/errors.log"; }
    // Settings for TLS to the collector, its CA trusted.
    std::string tls() const {
        return "s.net.transport=tls\ns.net.host=localhost\ns.net.port=" +
               std::to_string(SyslogCollector::kTlsPort) +
               "\ns.net.caFile=" + collector_->caFile() + "\n";
    }
    std::string relp() const {
        return "s.net.transport=relp\ns.net.port=" + std::to_string(SyslogCollector::kRelpPort) +
               "\n";
    }
    // Logs 100,000 records "<tag>-<n>", with `restart` the collector killed
    // at the 30,000th and started again at the 60,000th; returns the
    // numbers of the records that arrived, in the order they did, and the
    // count of dropped records reported.
    std::pair<std::vector<int>, long> send(const std::string &settings, const std::string &tag,
                                           bool restart);

    vrxtest::TempDir dir_;
    KvlObject *logger_ = nullptr;
};

TEST_F(KvlSyslogHandlerTest, EveryFieldReadsBackOverEveryTransportAndWay) {
    struct Row {
        std::string settings;
        bool async, rfc5424;
    };
    // clang-format off
    const Row rows[] = {
        {tls(), false, true},
        {tls() + "s.net.framing=lf\n", true, true},
        // a collector nothing vouches for, taken on trust
        {"s.net.transport=tls\ns.net.host=127.0.0.2\ns.net.port=5516\ns.net.verifyPeer=false\n", false, true},
        {relp(), false, true},
        {relp() + "s.net.format=RFC3164\n", true, false},
        {"s.net.transport=unix\n", false, true},
        {"s.net.transport=udp\n", false, true},
        {"s.net.transport=tcp\n", false, true},
        {"s.net.transport=tcp\ns.net.framing=lf\n", false, true},
        {"s.net.transport=tcp\n", true, true},
        {"s.net.transport=udp\n", true, true},
        {"s.net.transport=tcp\ns.q.drainOnCrash=false\n", true, true},
        {"s.net.transport=unix\ns.net.format=RFC3164\n", false, false},
        {"s.net.transport=tcp\ns.net.format=RFC3164\n", true, false},
        // the message made by a formatter of its own: the basic one's line
        {"s.net.transport=tcp\ns.net.formatterName=line\nline.className=kvl_basicformatter\n", true, true},
    };
    // clang-format on
    char host[1025] = "";
    kvlIntlHostName(host, sizeof host);
    const std::string hostile = "a ] \" \\ | \x01\x7F \xC3\xA9 end";
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.settings + (row.async ? "async" : "sync"));
        const std::string app = "app" + std::to_string(i);
        open(row.settings + "s.net.appName=" + app + "\ns.net.facility=local4\n", row.async);
        logError(hostile);
        KVL_DEBUG_MIN(logger_, "%s", KVL_STR("traced"));
        close();  // everything sent
        const auto got = collector_->records(2 * (i + 1));
        std::vector<nlohmann::json> mine;
        std::copy_if(got.begin(), got.end(), std::back_inserter(mine),
                     [&](const nlohmann::json &r) { return r.value("app", "") == app; });
        ASSERT_EQ(mine.size(), 2u);
        EXPECT_EQ(mine[0].value("pri", ""), "163");  // local4 (20), error (3)
        EXPECT_EQ(mine[1].value("pri", ""), "167");  // debug (7)
        EXPECT_EQ(mine[0].value("host", ""), host);
        EXPECT_EQ(mine[0].value("procid", ""), std::to_string(getpid()));
        const std::string msg = mine[0].value("msg", "");
        if (row.settings.find("formatterName") != std::string::npos) {
            EXPECT_TRUE(msg.ends_with(" " + hostile) && msg.size() > hostile.size() + 20) << msg;
            EXPECT_NE(mine[1].value("msg", "").find(" TestBody "), std::string::npos);
        } else if (row.rfc5424) {
            EXPECT_EQ(msg, hostile);
            EXPECT_EQ(mine[0].value("msgid", ""), "-");
            const auto parsed = vrxtest::parse5424("<1>1 - - - - - " + mine[1].value("sd", ""));
            ASSERT_TRUE(parsed.has_value()) << mine[1].value("sd", "");
            ASSERT_EQ(parsed->params.size(), 3u);
            EXPECT_EQ(parsed->sdId, "kvl@32473");
            EXPECT_EQ(parsed->params[0].first, "file");
            EXPECT_TRUE(parsed->params[0].second.ends_with("/kvl_syslog_handler_test.cpp"));
            EXPECT_EQ(parsed->params[1],
                      (std::pair<std::string, std::string>{"function", "TestBody"}));
            EXPECT_EQ(parsed->params[2].first, "line");
        } else {
            EXPECT_EQ(msg, " " + hostile);
        }
    }
    EXPECT_EQ(vrxtest::readFile(errors()).value_or(""), "") << "nothing to report";
}

// A collector that cannot be reached is reported once; the records it could
// not take are counted in one message, raised once a connection takes
// records again; the rest arrive.
TEST_F(KvlSyslogHandlerTest, DroppedRecordsAreReportedOnceTheCollectorIsBack) {
    vrxtest::RaisedMessages raised;
    collector_->stop();
    open("s.net.transport=tcp\ns.net.queueSize=400\ns.net.appName=drops\n", false);
    for (int n = 0; n < 20; ++n) {
        if (n == 10) std::this_thread::sleep_for(std::chrono::milliseconds(250));  // tries again
        logError("m" + std::to_string(n));
    }
    EXPECT_EQ(raised.take(), std::vector<int32_t>{kvlmsg::KVLSY0141W}) << "once, not per attempt";
    EXPECT_NE(vrxtest::readFile(errors()).value_or("").find(
                  "KVLSY0141W The syslog handler s.net could not connect to its collector "
                  "tcp:127.0.0.1:5514: Connection refused."),
              std::string::npos);
    collector_->start();
    ASSERT_TRUE(collector_->running());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // past the backoff
    logError("after");
    EXPECT_EQ(raised.take(), std::vector<int32_t>{kvlmsg::KVLSY0140W}) << "when it is back";
    close();
    EXPECT_TRUE(raised.take().empty()) << "nothing left to report at the close";
    const auto got = collector_->records(1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().value("msg", ""), "after");
}

// A collector whose certificate the CA given did not sign, or that was not
// made for the name asked for, gets nothing: the failed handshake is
// reported once, and the records waiting when the toolkit closes are
// reported dropped (on stderr: the error logger has gone by then).
TEST_F(KvlSyslogHandlerTest, AnUntrustedCollectorIsRefusedAndReported) {
    const struct {
        std::string settings, where, why;
    } kCases[] = {
        {"s.net.caFile=" + collector_->otherCaFile() + "\n", "localhost",
         "The certificate issuer is unknown."},
        {"s.net.host=127.0.0.2\n", "127.0.0.2",
         "The name in the certificate does not match the expected."},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.where);
        vrxtest::RaisedMessages raised;
        open(tls() + c.settings + "s.net.appName=untrusted\n", false);
        for (int n = 0; n < 3; ++n)
            logError("secret" + std::to_string(n));
        testing::internal::CaptureStderr();
        close();
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(raised.take(), (std::vector<int32_t>{kvlmsg::KVLSY0141W, kvlmsg::KVLSY0140W}));
        const std::string log = vrxtest::readFile(errors()).value_or("");
        EXPECT_NE(log.find("could not connect to its collector tls:" + c.where +
                           ":5516: The certificate is NOT trusted. " + c.why + "\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(printed,
                  "KVLSY0140W 3 records for the syslog handler s.net were dropped because its "
                  "collector could not take them.\n");
        std::remove(errors().c_str());
    }
    collector_->stop();  // everything it received written
    EXPECT_TRUE(collector_->records(0).empty());
}

std::pair<std::vector<int>, long> KvlSyslogHandlerTest::send(const std::string &settings,
                                                             const std::string &tag, bool restart) {
    open(settings + "s.net.appName=" + tag + "\n", false);
    constexpr int kKilled = 30000, kBack = 60000;
    using Clock = std::chrono::steady_clock;
    Clock::time_point killed;
    for (int n = 0; n < kRecords; ++n) {
        if (restart && n == kKilled) {
            collector_->stop(SIGKILL);
            killed = Clock::now();
        }
        if (restart && n == kBack) {
            // The backoff doubles from 100 ms after each failed attempt, so
            // the next is due at most twice the time down, and 100 ms, after
            // the first.
            const Clock::time_point due = killed + 2 * (Clock::now() - killed);
            collector_->start();
            EXPECT_TRUE(collector_->running());
            std::this_thread::sleep_until(due + std::chrono::milliseconds(300));
        }
        logError(tag + "-" + std::to_string(n));
    }
    KvlObject *handler = KvlGetObject("s.net", nullptr);
    KvlHandlerClose(handler);  // what it could not send reported into errors()
    KvlReleaseObject(handler);
    close();
    std::vector<int> got;
    std::vector<std::string> others;
    const std::regex number(tag + "-([0-9]+)");
    for (const nlohmann::json &r :
         collector_->records("\"" + tag + "-" + std::to_string(kRecords - 1) + "\"")) {
        // (a line the killed rsyslogd left cut is not JSON)
        if (!r.is_object() || r.value("app", "") != tag) continue;
        const std::string msg = r.value("msg", "");
        std::smatch n;
        if (std::regex_match(msg, n, number))
            got.push_back(std::stoi(n[1]));
        else
            others.push_back(msg);
    }
    EXPECT_TRUE(others.empty()) << others.size() << " records cut, the first: " << others[0];
    const std::string log = vrxtest::readFile(errors()).value_or("");
    std::smatch reported;
    const long dropped = std::regex_search(log, reported, std::regex("KVLSY0140W ([0-9]+) records"))
                             ? std::stol(reported[1])
                             : 0;
    return {got, dropped};
}

TEST_F(KvlSyslogHandlerTest, AHundredThousandRecordsArriveInOrderOverEveryStream) {
    for (const auto &[settings, tag] : {std::pair{"s.net.transport=tcp\n" + std::string(), "tcp"},
                                        {tls(), "tls"},
                                        {relp(), "relp"}}) {
        // A collector slow to read (on a busy machine) is waited for at the close.
        const auto [got, dropped] = send(settings + "s.net.connectTimeout=10000\n", tag, false);
        EXPECT_EQ(dropped, 0) << tag;
        ASSERT_EQ(got.size(), static_cast<size_t>(kRecords)) << tag;
        for (int n = 0; n < kRecords; ++n)
            ASSERT_EQ(got[static_cast<size_t>(n)], n) << tag;
    }
}

// Over TCP what arrives keeps its order with nothing twice, every record
// logged once the connection is back arrives, and the records dropped while
// it was down are reported. (Records the dead collector's kernel or its
// own queue had taken are lost without a count: that is TCP's limit.)
TEST_F(KvlSyslogHandlerTest, ACollectorRestartOverTcpLosesOnlyWhatIsReportedAndWhatTcpCannotKnow) {
    const auto [got, dropped] = send("s.net.transport=tcp\n", "tcp", true);
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()) &&
                std::adjacent_find(got.begin(), got.end()) == got.end())
        << "out of order or twice";
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](int n) { return n >= 60000; }), 40000);
    EXPECT_GT(dropped, 0) << "the 1 MiB queue cannot hold 30,000 records";
    EXPECT_LE(static_cast<long>(got.size()) + dropped, kRecords);
    std::printf("tcp restart: %zu arrived, %ld reported dropped, %ld lost without a count\n",
                got.size(), dropped, kRecords - static_cast<long>(got.size()) - dropped);
}

// Over RELP, with a queue that holds what waits while the collector is
// down, every record arrives: what the dead collector had not acknowledged
// is sent again. A record it had written but not acknowledged may come
// twice, never out of order otherwise.
TEST_F(KvlSyslogHandlerTest, ACollectorRestartOverRelpLosesNothing) {
    const auto [got, dropped] = send(relp() + "s.net.queueSize=67108864\n", "relp", true);
    EXPECT_EQ(dropped, 0);
    std::vector<int> unique = got;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    ASSERT_EQ(unique.size(), static_cast<size_t>(kRecords)) << "lost";
    EXPECT_EQ(unique.back(), kRecords - 1);
    std::printf("relp restart: %zu arrived, %zu twice\n", got.size(), got.size() - unique.size());
}

}  // namespace
