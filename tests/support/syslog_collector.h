// A real rsyslogd (or syslog-ng) for a test, out of everyone's way: the
// test process enters a network namespace of its own (loopback only,
// nothing outside sees it), and the collector runs there on a
// configuration written into a private directory, every record it receives
// written as one JSON object a line with each field apart.
//
// rsyslogd takes the local socket, UDP and TCP on loopback, TLS on every
// local address (with a CA and a certificate for "localhost" and 127.0.0.1
// made for the test by certtool, and a second CA that signed nothing) and
// RELP. It writes each record before it takes the next (a direct queue),
// so a record RELP acknowledged is in the file even if rsyslogd is killed.
//
// syslog-ng, the second opinion on what a record means, takes the local
// socket, UDP and TCP, one port and socket per format and framing (it does
// not tell them apart by itself). It conflicts with rsyslog as a package,
// so scripts/test.sh unpacks it under kSyslogNgRoot instead of installing it.
//
// Stopped, and its files removed, when the collector goes, pass or fail
// (killed with the test process should that die).
// Needs root, the daemon (rsyslogd with its TLS and RELP modules, and
// certtool); skipReason() says what is missing.
#ifndef VRX_TEST_SYSLOG_COLLECTOR_H
#define VRX_TEST_SYSLOG_COLLECTOR_H

#include <netinet/in.h>
#include <sys/prctl.h>

#include <nlohmann/json.hpp>

#include "toolkit_test.h"

namespace vrxtest {

class SyslogCollector {
public:
    enum class Daemon { kRsyslog, kSyslogNg };
    static constexpr const char *kRsyslogd = "/usr/sbin/rsyslogd";
    static constexpr const char *kSyslogNgRoot = "/var/cache/vrxagent-tests/syslog-ng";
    static constexpr int kPort = 5514;  // UDP and TCP; syslog-ng: RFC 5424, octet-counted
    static constexpr int kRelpPort = 5515;
    static constexpr int kTlsPort = 5516;
    static constexpr int kNg3164Port = 5517;    // syslog-ng: RFC 3164 over UDP and TCP
    static constexpr int kNgLf5424Port = 5518;  // syslog-ng: RFC 5424 over TCP, a line each

    // Why no collector can run here, or "".
    static std::string skipReason(Daemon daemon = Daemon::kRsyslog) {
        if (geteuid() != 0) return "needs root for a private network namespace";
        if (daemon == Daemon::kSyslogNg)
            return access(syslogNg().c_str(), X_OK) == 0
                       ? ""
                       : syslogNg() + " is not there (scripts/test.sh unpacks it)";
        for (const char *needed : {kRsyslogd, "/usr/bin/certtool"})
            if (access(needed, X_OK) != 0) return std::string(needed) + " is not installed";
        for (const char *module : {"lmnsd_gtls.so", "imrelp.so"})
            if (access(("/usr/lib/x86_64-linux-gnu/rsyslog/" + std::string(module)).c_str(),
                       R_OK) != 0)
                return std::string("rsyslogd's ") + module + " is not installed";
        return "";
    }

    explicit SyslogCollector(Daemon daemon = Daemon::kRsyslog) : daemon_(daemon) {
        static const bool entered = enterPrivateNetwork();
        if (!entered) return;
        if (daemon_ == Daemon::kSyslogNg) {
            writeFile(dir_ / "collector.conf", syslogNgConfiguration());
        } else {
            if (!makeCertificates()) return;
            writeFile(dir_ / "collector.conf", configuration());
        }
        start();
    }
    ~SyslogCollector() { stop(); }
    SyslogCollector(const SyslogCollector &) = delete;
    SyslogCollector &operator=(const SyslogCollector &) = delete;

    bool running() const { return pid_ > 0; }
    Daemon daemon() const { return daemon_; }
    // The local socket; syslog-ng has one for RFC 3164 apart.
    std::string socketPath(bool rfc3164 = false) const {
        return dir_ / (rfc3164 && daemon_ == Daemon::kSyslogNg ? "log3164.sock" : "log.sock");
    }
    // The CA that signed the collector's certificate, and one that did not.
    std::string caFile() const { return dir_ / "ca.pem"; }
    std::string otherCaFile() const { return dir_ / "other.pem"; }

    // Starts the daemon and waits until it takes TCP connections and its
    // sockets are there.
    void start() {
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test that dies takes its collector along
            const std::string conf = dir_ / "collector.conf", pidFile = dir_ / "collector.pid";
            // Its complaints (about the probes below, among others) kept apart.
            const int err =
                open((dir_ / "collector.err").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (err >= 0) dup2(err, 2);
            if (daemon_ == Daemon::kRsyslog)
                execl(kRsyslogd, kRsyslogd, "-n", "-f", conf.c_str(), "-i", pidFile.c_str(),
                      nullptr);
            const std::string root = kSyslogNgRoot, modules = root + "/usr/lib/syslog-ng/3.38",
                              state = dir_ / "collector.persist", control = dir_ / "collector.ctl";
            setenv("LD_LIBRARY_PATH", (root + "/usr/lib/syslog-ng").c_str(), 1);
            execl(syslogNg().c_str(), "syslog-ng", "-F", "--no-caps", "-f", conf.c_str(),
                  ("--module-path=" + modules).c_str(), "-R", state.c_str(), "-p", pidFile.c_str(),
                  "-c", control.c_str(), nullptr);
            _exit(127);
        }
        const std::vector<int> ports = daemon_ == Daemon::kRsyslog
                                           ? std::vector<int>{kPort, kRelpPort, kTlsPort}
                                           : std::vector<int>{kPort, kNg3164Port, kNgLf5424Port};
        for (int i = 0; i < 500; ++i) {
            if (std::all_of(ports.begin(), ports.end(), listening) &&
                access(socketPath().c_str(), F_OK) == 0 &&
                access(socketPath(true).c_str(), F_OK) == 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop();
    }
    // Makes rsyslogd stop reading (SIGSTOP) or go on (SIGCONT).
    void pause(bool paused) const { kill(pid_, paused ? SIGSTOP : SIGCONT); }
    // Stops rsyslogd: with SIGTERM it ends in order, with SIGKILL it dies.
    void stop(int signal = SIGTERM) {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        waitChild(pid_);
        pid_ = -1;
    }

    // The records received (each a JSON object of the fields), once there
    // are at least `count` of them or nothing more has come for ten seconds.
    std::vector<nlohmann::json> records(size_t count) const {
        return recordsOnce([count](const std::string &, size_t lines) { return lines >= count; });
    }
    // The records received once the text received holds `last` (or nothing
    // more has come for ten seconds).
    std::vector<nlohmann::json> records(const std::string &last) const {
        return recordsOnce([&last](const std::string &text, size_t) {
            return text.find(last) != std::string::npos;
        });
    }

private:
    template <class Done>
    std::vector<nlohmann::json> recordsOnce(Done done) const {
        using Clock = std::chrono::steady_clock;
        std::string text;
        off_t seen = -1;  // the file's size when last read
        for (auto quiet = Clock::now(); Clock::now() - quiet < std::chrono::seconds(10);
             std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            struct stat now {};
            const off_t size = stat((dir_ / "out").c_str(), &now) == 0 ? now.st_size : 0;
            if (size == seen) continue;
            seen = size;
            quiet = Clock::now();
            text = readFile(dir_ / "out").value_or("");
            text.resize(text.rfind('\n') + 1);  // whole lines: the daemon may be writing one
            if (done(text, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')))) break;
        }
        std::vector<nlohmann::json> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            out.push_back(nlohmann::json::parse(line, nullptr, false));
        return out;
    }

    bool makeCertificates() const {
        writeFile(dir_ / "ca.tmpl", "cn = \"collector test CA\"\nca\ncert_signing_key\n");
        writeFile(dir_ / "server.tmpl",
                  "cn = \"localhost\"\ndns_name = \"localhost\"\nip_address = \"127.0.0.1\"\n"
                  "tls_www_server\nsigning_key\nencryption_key\n");
        const std::string d = dir_.path() + "/";
        const auto key = [&d](const char *name) {
            return "--generate-privkey --key-type=ecdsa --outfile " + d + name + ".key";
        };
        const auto selfSigned = [&d](const char *name) {
            return "--generate-self-signed --load-privkey " + d + name + ".key --template " + d +
                   "ca.tmpl --outfile " + d + name + ".pem";
        };
        const std::string steps[] = {key("ca"),
                                     selfSigned("ca"),
                                     key("server"),
                                     "--generate-certificate --load-privkey " + d +
                                         "server.key --load-ca-certificate " + d +
                                         "ca.pem --load-ca-privkey " + d + "ca.key --template " +
                                         d + "server.tmpl --outfile " + d + "server.pem",
                                     key("other"),
                                     selfSigned("other")};
        for (const std::string &step : steps)
            if (std::system(("certtool " + step + " >/dev/null 2>&1").c_str()) != 0) return false;
        return true;
    }

    static std::string syslogNg() { return std::string(kSyslogNgRoot) + "/usr/sbin/syslog-ng"; }

    // `text` with the collector's directory, sockets and ports in place of
    // their names (@DIR@, @SOCKET@, @SOCKET3164@, @PORT@, @RELP@, @TLS@,
    // @NG3164@, @NGLF@).
    std::string fill(const std::string &text) const {
        // clang-format off
        return filled(text, {
            {"@DIR@", dir_.path()}, {"@SOCKET@", socketPath()}, {"@SOCKET3164@", socketPath(true)},
            {"@PORT@", std::to_string(kPort)}, {"@RELP@", std::to_string(kRelpPort)}, {"@TLS@", std::to_string(kTlsPort)},
            {"@NG3164@", std::to_string(kNg3164Port)}, {"@NGLF@", std::to_string(kNgLf5424Port)}});
        // clang-format on
    }

    std::string syslogNgConfiguration() const {
        return fill(R"(@version: 3.38
options { keep-hostname(yes); frac-digits(3); log-msg-size(131072); };
source s {
  syslog(transport(tcp) ip(127.0.0.1) port(@PORT@));
  syslog(transport(udp) ip(127.0.0.1) port(@PORT@));
  network(transport(tcp) ip(127.0.0.1) port(@NG3164@));
  network(transport(udp) ip(127.0.0.1) port(@NG3164@));
  network(transport(tcp) ip(127.0.0.1) port(@NGLF@) flags(syslog-protocol));
  unix-dgram("@SOCKET@" flags(syslog-protocol));
  unix-dgram("@SOCKET3164@" flags(expect-hostname));
};
destination d { file("@DIR@/out" template("$(format-json --scope none pri=${PRI} time=${ISODATE} host=${HOST} app=${PROGRAM} procid=${PID} msgid=${MSGID} sd=${SDATA} msg=${MSG})\n")); };
log { source(s); destination(d); };
)");
    }

    std::string configuration() const {
        return fill(
            R"(global(workDirectory="@DIR@" maxMessageSize="128k" parser.escapeControlCharactersOnReceive="off"
  DefaultNetstreamDriverCAFile="@DIR@/ca.pem" DefaultNetstreamDriverCertFile="@DIR@/server.pem" DefaultNetstreamDriverKeyFile="@DIR@/server.key")
main_queue(queue.type="Direct")
module(load="imudp")
module(load="imtcp")
module(load="imrelp")
input(type="imtcp" port="@TLS@" StreamDriver.Name="gtls" StreamDriver.Mode="1" StreamDriver.AuthMode="anon")
input(type="imrelp" address="127.0.0.1" port="@RELP@")
module(load="imuxsock" SysSock.Use="off")
input(type="imudp" address="127.0.0.1" port="@PORT@")
input(type="imtcp" address="127.0.0.1" port="@PORT@")
input(type="imuxsock" Socket="@SOCKET@" useSpecialParser="off" parseHostname="on" IgnoreTimestamp="off" Annotate="off")
template(name="fields" type="list" option.jsonf="on") {
  property(outname="pri" name="pri" format="jsonf")
  property(outname="time" name="timereported" dateFormat="rfc3339" format="jsonf")
  property(outname="host" name="hostname" format="jsonf")
  property(outname="app" name="app-name" format="jsonf")
  property(outname="procid" name="procid" format="jsonf")
  property(outname="msgid" name="msgid" format="jsonf")
  property(outname="sd" name="structured-data" format="jsonf")
  property(outname="msg" name="msg" format="jsonf")
}
*.* action(type="omfile" file="@DIR@/out" template="fields")
)");
    }
    static bool listening(int port) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        close(fd);
        return ok;
    }

    Daemon daemon_;
    TempDir dir_;
    pid_t pid_ = -1;
};

// A test with a collector running: started for each test, or the test
// skipped where none can run.
class CollectorTest : public ToolkitTest {
protected:
    void SetUp() override {
        if (const std::string reason = SyslogCollector::skipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        collector_ = std::make_unique<SyslogCollector>();
        ASSERT_TRUE(collector_->running()) << "rsyslogd did not start";
    }
    std::unique_ptr<SyslogCollector> collector_;
};

}  // namespace vrxtest

#endif  // VRX_TEST_SYSLOG_COLLECTOR_H
