// Records to a syslog collector over TCP: the syslog handler sending
// itself and behind the asynchronous handler, against spdlog's tcp_sink
// (when installed) sending a line of the same length, one record a line.
// The collector is a thread that reads and counts line feeds, so what is
// measured is the sender, not a collector's parsing.
//
// Two figures: the caller's cost per record, and records per second
// reaching the collector (100,000 records logged, then waited for). Over
// UDP, where nothing says what arrived, the caller's cost only, against
// log4cxx's SyslogAppender (when installed), to a reader that discards.
// As root the benchmark runs in a network namespace of its own (loopback
// only); otherwise on the host's loopback.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "kavel.h"
#include "kavelnet.h"
#include "test_support.h"

#ifdef VRX_BENCH_WITH_LOG4CXX
#include <log4cxx/logger.h>
#include <log4cxx/net/syslogappender.h>
#include <log4cxx/patternlayout.h>
#endif
#ifdef VRX_BENCH_WITH_SPDLOG
#include <spdlog/sinks/tcp_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

namespace fs = std::filesystem;

const char *const kCommand = "\"/usr/sbin/vrxagent.sh\" -g";

// A collector that takes every connection and counts the lines it reads.
class Drain {
public:
    Drain() {
        static const bool isolated = geteuid() == 0 && vrxtest::enterPrivateNetwork();
        (void)isolated;
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            std::abort();
        port_ = ntohs(address.sin_port);
        std::thread([this] { acceptLoop(); }).detach();
        // The same port over UDP, read and thrown away.
        const int datagrams = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (bind(datagrams, reinterpret_cast<sockaddr *>(&address), size) != 0) std::abort();
        std::thread([datagrams] {
            char buffer[1 << 16];
            while (recv(datagrams, buffer, sizeof buffer, 0) >= 0) {
            }
        }).detach();
    }
    int port() const { return port_; }
    uint64_t lines() const { return lines_.load(std::memory_order_relaxed); }
    // Waits until `count` lines have come (at most a minute).
    void waitFor(uint64_t count) const {
        for (int i = 0; i < 60000 && lines() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    void acceptLoop() {
        for (;;) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::thread([this, fd] {
                char buffer[1 << 16];
                ssize_t got;
                while ((got = read(fd, buffer, sizeof buffer)) > 0)
                    for (ssize_t i = 0; i < got; ++i)
                        if (buffer[i] == '\n') lines_.fetch_add(1, std::memory_order_relaxed);
                close(fd);
            }).detach();
        }
    }
    int listener_ = -1;
    int port_ = 0;
    std::atomic<uint64_t> lines_{0};
};

Drain &drain() {
    static Drain *const made = new Drain;
    return *made;
}

const fs::path &queueDirectory() {
    static const fs::path *const dir = [] {
        std::string pattern = "/var/tmp/kvl_syslog_bench.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] { fs::remove_all(queueDirectory()); });
        return new fs::path(pattern);
    }();
    return *dir;
}

// Logger NAME sending through a syslog handler (behind an asynchronous
// handler when `async`) to the drain, one record a line.
KvlObject *syslogLogger(const char *name, bool async, const char *transport = "tcp") {
    KvlOpenToolkit(nullptr);
    KvlInitNetExtensions();
    const std::string base = name;
    KvlObject *net = KvlGetObject((base + ".net").c_str(), "kvl_sysloghandler");
    KvlSetObjProp(net, "transport", transport);
    KvlSetObjProp(net, "framing", "lf");
    KvlSetObjProp(net, "port", std::to_string(drain().port()).c_str());
    KvlSetObjProp(net, "queueSize", "67108864");
    KvlObject *logger = KvlGetObject(name, "kvl_basiclogger");
    KvlSetObjProp(logger, "level", "ALL");
    if (async) {
        KvlObject *queue = KvlGetObject((base + ".q").c_str(), "kvl_asynchandler");
        KvlSetObjProp(queue, "queueDir", queueDirectory().c_str());
        KvlSetObjProp(queue, "targetName", (base + ".net").c_str());
        KvlAddListener(logger, queue);
        KvlReleaseObject(queue);  // the syslog handler stays held: the queue names it
    } else {
        KvlAddListener(logger, net);
        KvlReleaseObject(net);
    }
    return logger;
}

void record(KvlObject *logger) {
    KvlLogText(logger, "Invoking command %s rc=%d", KVL_ARG_STRING, kCommand, KVL_ARG_INT, 12,
               KVL_ARG_END);
}

void callerCost(benchmark::State &state, KvlObject *logger) {
    for (auto _ : state)
        record(logger);
    state.SetItemsProcessed(state.iterations());
}

// 100,000 records logged, then waited for at the collector.
constexpr uint64_t kSustained = 100000;
template <class Log>
void sustained(benchmark::State &state, Log log) {
    for (auto _ : state) {
        const uint64_t before = drain().lines();
        for (uint64_t n = 0; n < kSustained; ++n)
            log();
        drain().waitFor(before + kSustained);
    }
    state.SetItemsProcessed(state.iterations() * kSustained);
}

KvlObject *syncLogger() {
    static KvlObject *const logger = syslogLogger("sync", false);
    return logger;
}
KvlObject *asyncLogger() {
    static KvlObject *const logger = syslogLogger("async", true);
    return logger;
}

void BM_SyslogHandlerTcp_Caller(benchmark::State &state) { callerCost(state, syncLogger()); }
BENCHMARK(BM_SyslogHandlerTcp_Caller);
void BM_AsyncSyslogHandlerTcp_Caller(benchmark::State &state) { callerCost(state, asyncLogger()); }
BENCHMARK(BM_AsyncSyslogHandlerTcp_Caller);
void BM_SyslogHandlerTcp_Sustained(benchmark::State &state) {
    sustained(state, [] { record(syncLogger()); });
}
BENCHMARK(BM_SyslogHandlerTcp_Sustained)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
void BM_AsyncSyslogHandlerTcp_Sustained(benchmark::State &state) {
    sustained(state, [] { record(asyncLogger()); });
}
BENCHMARK(BM_AsyncSyslogHandlerTcp_Sustained)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_SyslogHandlerUdp_Caller(benchmark::State &state) {
    static KvlObject *const logger = syslogLogger("udp", false, "udp");
    callerCost(state, logger);
}
BENCHMARK(BM_SyslogHandlerUdp_Caller);

#ifdef VRX_BENCH_WITH_LOG4CXX
void BM_Peer_Log4cxxSyslogAppenderUdp_Caller(benchmark::State &state) {
    static log4cxx::LoggerPtr logger = [] {
        log4cxx::LoggerPtr made = log4cxx::Logger::getLogger("udp");
        log4cxx::LayoutPtr layout(new log4cxx::PatternLayout("%m"));
        log4cxx::net::SyslogAppenderPtr appender(
            new log4cxx::net::SyslogAppender(layout, "127.0.0.1:" + std::to_string(drain().port()),
                                             log4cxx::net::SyslogAppender::getFacility("USER")));
        made->addAppender(appender);
        made->setAdditivity(false);
        made->setLevel(log4cxx::Level::getDebug());
        return made;
    }();
    for (auto _ : state) {
        log4cxx::helpers::MessageBuffer text;
        logger->forcedLog(log4cxx::Level::getInfo(),
                          text.str(text << "Invoking command " << kCommand << " rc=" << 12),
                          LOG4CXX_LOCATION);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Peer_Log4cxxSyslogAppenderUdp_Caller);
#endif

#ifdef VRX_BENCH_WITH_SPDLOG
// spdlog's tcp_sink with a pattern giving a line as long as ours.
std::shared_ptr<spdlog::logger> &spdlogTcp() {
    static std::shared_ptr<spdlog::logger> logger = [] {
        auto sink = std::make_shared<spdlog::sinks::tcp_sink_mt>(
            spdlog::sinks::tcp_sink_config("127.0.0.1", drain().port()));
        auto made = std::make_shared<spdlog::logger>("tcp", sink);
        made->set_pattern(
            "<14>1 %Y-%m-%dT%H:%M:%S.%e%z node1.example.org kvl_syslog_bench %P - - %v");
        made->set_level(spdlog::level::trace);
        return made;
    }();
    return logger;
}
void BM_Peer_SpdlogTcpSink_Caller(benchmark::State &state) {
    for (auto _ : state)
        spdlogTcp()->info("Invoking command {} rc={}", kCommand, 12);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Peer_SpdlogTcpSink_Caller);
void BM_Peer_SpdlogTcpSink_Sustained(benchmark::State &state) {
    sustained(state, [] { spdlogTcp()->info("Invoking command {} rc={}", kCommand, 12); });
}
BENCHMARK(BM_Peer_SpdlogTcpSink_Sustained)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
