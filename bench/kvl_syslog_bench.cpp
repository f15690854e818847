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
// Over TLS (a GnuTLS server with a certificate made at start) and RELP (a
// librelp server, acknowledging each record as a collector does), which no
// peer speaks, the same two figures for the handler alone.
// As root the benchmark runs in a network namespace of its own (loopback
// only); otherwise on the host's loopback.
#include <benchmark/benchmark.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "kavel.h"
#include "kavelnet.h"
#include "test_support.h"

extern "C" {  // the library's header does not say it is C
#include <librelp.h>
}

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

// What a collector has received, counted a record at a time, and the
// port it takes connections on.
class Counter {
public:
    int port() const { return port_; }
    uint64_t lines() const { return lines_.load(std::memory_order_relaxed); }
    // Waits until `count` records have come (at most a minute).
    void waitFor(uint64_t count) const {
        for (int i = 0; i < 60000 && lines() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void add(uint64_t count) { lines_.fetch_add(count, std::memory_order_relaxed); }

protected:
    int port_ = 0;

private:
    std::atomic<uint64_t> lines_{0};
};

void isolate() {
    static const bool isolated = geteuid() == 0 && vrxtest::enterPrivateNetwork();
    (void)isolated;
}

// A certificate for "localhost" and its key, made at start: the handler
// sends with verifyPeer=false, so nothing needs to vouch for it.
gnutls_certificate_credentials_t serverCredentials() {
    gnutls_x509_privkey_t key = nullptr;
    gnutls_x509_crt_t certificate = nullptr;
    gnutls_certificate_credentials_t credentials = nullptr;
    const time_t now = time(nullptr);
    const unsigned char serial = 1;
    if (gnutls_x509_privkey_init(&key) != 0 ||
        gnutls_x509_privkey_generate(key, GNUTLS_PK_ECDSA,
                                     GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0) != 0 ||
        gnutls_x509_crt_init(&certificate) != 0 || gnutls_x509_crt_set_key(certificate, key) != 0 ||
        gnutls_x509_crt_set_version(certificate, 3) != 0 ||
        gnutls_x509_crt_set_serial(certificate, &serial, 1) != 0 ||
        gnutls_x509_crt_set_activation_time(certificate, now - 60) != 0 ||
        gnutls_x509_crt_set_expiration_time(certificate, now + 86400) != 0 ||
        gnutls_x509_crt_set_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, "localhost",
                                      9) != 0 ||
        gnutls_x509_crt_sign2(certificate, certificate, key, GNUTLS_DIG_SHA256, 0) != 0 ||
        gnutls_certificate_allocate_credentials(&credentials) != 0 ||
        gnutls_certificate_set_x509_key(credentials, &certificate, 1, key) != 0)
        std::abort();
    return credentials;
}

// A collector that takes every connection (in TLS when asked) and counts
// the lines it reads.
class Drain : public Counter {
public:
    explicit Drain(bool tls = false) {
        isolate();
        if (tls) credentials_ = serverCredentials();
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
        if (tls) return;
        // The same port over UDP, read and thrown away.
        const int datagrams = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (bind(datagrams, reinterpret_cast<sockaddr *>(&address), size) != 0) std::abort();
        std::thread([datagrams] {
            char buffer[1 << 16];
            while (recv(datagrams, buffer, sizeof buffer, 0) >= 0) {
            }
        }).detach();
    }

private:
    void acceptLoop() {
        for (;;) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::thread([this, fd] {
                gnutls_session_t session = nullptr;
                if (credentials_ != nullptr) {
                    int handshake = GNUTLS_E_AGAIN;
                    if (gnutls_init(&session, GNUTLS_SERVER) != 0 ||
                        gnutls_set_default_priority(session) != 0 ||
                        gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials_) != 0)
                        std::abort();
                    gnutls_transport_set_int(session, fd);
                    while (handshake < 0 && gnutls_error_is_fatal(handshake) == 0)
                        handshake = gnutls_handshake(session);
                    if (handshake < 0) std::abort();
                }
                char buffer[1 << 16];
                ssize_t got;
                while ((got = session != nullptr
                                  ? gnutls_record_recv(session, buffer, sizeof buffer)
                                  : read(fd, buffer, sizeof buffer)) > 0)
                    add(static_cast<uint64_t>(std::count(buffer, buffer + got, '\n')));
                if (session != nullptr) gnutls_deinit(session);
                close(fd);
            }).detach();
        }
    }
    gnutls_certificate_credentials_t credentials_ = nullptr;
    int listener_ = -1;
};

Drain &drain() {
    static Drain *const made = new Drain;
    return *made;
}
Drain &tlsDrain() {
    static Drain *const made = new Drain(true);
    return *made;
}

// A RELP collector: librelp's server, acknowledging each record it counts.
class RelpDrain : public Counter {
public:
    RelpDrain() {
        isolate();
        port_ = 25140;  // librelp tells no port it chose
        relpEngine_t *engine = nullptr;
        relpSrv_t *server = nullptr;
        const std::string port = std::to_string(port_);
        const auto bytes = [](const char *text) {
            return reinterpret_cast<unsigned char *>(const_cast<char *>(text));
        };
        if (relpEngineConstruct(&engine) != RELP_RET_OK ||
            relpEngineSetDbgprint(engine, noDebug) != RELP_RET_OK ||
            relpEngineSetEnableCmd(engine, bytes("syslog"), eRelpCmdState_Required) !=
                RELP_RET_OK ||
            relpEngineSetSyslogRcv2(engine, received) != RELP_RET_OK ||
            relpEngineListnerConstruct(engine, &server) != RELP_RET_OK ||
            relpSrvSetLstnPort(server, bytes(port.c_str())) != RELP_RET_OK ||
            relpSrvSetUsrPtr(server, this) != RELP_RET_OK ||
            relpEngineListnerConstructFinalize(engine, server) != RELP_RET_OK)
            std::abort();
        std::thread([engine] { relpEngineRun(engine); }).detach();
    }

private:
    static void noDebug(char *, ...) {}
    static relpRetVal received(void *self, unsigned char *, unsigned char *, unsigned char *,
                               size_t) {
        static_cast<RelpDrain *>(self)->add(1);
        return RELP_RET_OK;
    }
};

RelpDrain &relpDrain() {
    static RelpDrain *const made = new RelpDrain;
    return *made;
}

// The collector of a transport (UDP's reader shares TCP's port), listening
// from the first call.
Counter &collectorOf(const std::string &transport) {
    if (transport == "relp") return relpDrain();
    if (transport == "tls") return tlsDrain();
    return drain();
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
// handler when `async`) to the drain of its transport, one record a line.
KvlObject *syslogLogger(const char *name, bool async, const std::string &transport = "tcp") {
    KvlOpenToolkit(nullptr);
    KvlInitNetExtensions();
    const std::string base = name;
    KvlObject *net = KvlGetObject((base + ".net").c_str(), "kvl_sysloghandler");
    KvlSetObjProp(net, "transport", transport.c_str());
    KvlSetObjProp(net, "port", std::to_string(collectorOf(transport).port()).c_str());
    if (transport == "tls" || transport == "tcp") KvlSetObjProp(net, "framing", "lf");
    if (transport == "tls") KvlSetObjProp(net, "verifyPeer", "false");
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
void sustained(benchmark::State &state, Counter &collector, Log log) {
    for (auto _ : state) {
        const uint64_t before = collector.lines();
        for (uint64_t n = 0; n < kSustained; ++n)
            log();
        collector.waitFor(before + kSustained);
    }
    state.SetItemsProcessed(state.iterations() * kSustained);
}

// The handler over a stream transport, sending itself or behind the
// asynchronous handler: the caller's cost and the records per second.
template <const char *kTransport, bool kAsync>
KvlObject *streamLogger() {
    static KvlObject *const logger = syslogLogger(
        (std::string(kTransport) + (kAsync ? ".async" : ".sync")).c_str(), kAsync, kTransport);
    return logger;
}
template <const char *kTransport, bool kAsync>
void BM_Caller(benchmark::State &state) {
    callerCost(state, streamLogger<kTransport, kAsync>());
}
template <const char *kTransport, bool kAsync>
void BM_Sustained(benchmark::State &state) {
    sustained(state, collectorOf(kTransport), [] { record(streamLogger<kTransport, kAsync>()); });
}
#define VRX_STREAM_BENCHMARKS(transport)                         \
    BENCHMARK_TEMPLATE(BM_Caller, transport, false)              \
        ->Name("BM_SyslogHandler_" #transport "_Caller");        \
    BENCHMARK_TEMPLATE(BM_Caller, transport, true)               \
        ->Name("BM_AsyncSyslogHandler_" #transport "_Caller");   \
    BENCHMARK_TEMPLATE(BM_Sustained, transport, false)           \
        ->Name("BM_SyslogHandler_" #transport "_Sustained")      \
        ->Iterations(3)                                          \
        ->UseRealTime()                                          \
        ->Unit(benchmark::kMillisecond);                         \
    BENCHMARK_TEMPLATE(BM_Sustained, transport, true)            \
        ->Name("BM_AsyncSyslogHandler_" #transport "_Sustained") \
        ->Iterations(3)                                          \
        ->UseRealTime()                                          \
        ->Unit(benchmark::kMillisecond)
constexpr char tcp[] = "tcp", tls[] = "tls", relp[] = "relp";
VRX_STREAM_BENCHMARKS(tcp);
VRX_STREAM_BENCHMARKS(tls);
VRX_STREAM_BENCHMARKS(relp);

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
    sustained(state, drain(), [] { spdlogTcp()->info("Invoking command {} rc={}", kCommand, 12); });
}
BENCHMARK(BM_Peer_SpdlogTcpSink_Sustained)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
