// A real rsyslogd for a test, out of everyone's way: the test process
// enters a network namespace of its own (loopback only, nothing outside
// sees it), and rsyslogd runs there on a configuration written into a
// private directory: the local socket, UDP and TCP on loopback, every
// record it receives written as one JSON object a line with each field
// apart. Stopped, and its files removed, when the collector goes, pass or
// fail. Needs root and rsyslogd; skipReason() says when either is missing.
#ifndef VRX_TEST_SYSLOG_COLLECTOR_H
#define VRX_TEST_SYSLOG_COLLECTOR_H

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "toolkit_test.h"

namespace vrxtest {

class SyslogCollector {
public:
    static constexpr const char *kDaemon = "/usr/sbin/rsyslogd";
    static constexpr int kPort = 5514;

    // Why no collector can run here, or "".
    static std::string skipReason() {
        if (geteuid() != 0) return "needs root for a private network namespace";
        if (access(kDaemon, X_OK) != 0) return "rsyslogd is not installed";
        return "";
    }

    SyslogCollector() {
        static const bool entered = enterPrivateNetwork();
        if (!entered) return;
        writeFile(dir_ / "rsyslog.conf", configuration());
        start();
    }
    ~SyslogCollector() { stop(); }
    SyslogCollector(const SyslogCollector &) = delete;
    SyslogCollector &operator=(const SyslogCollector &) = delete;

    bool running() const { return pid_ > 0; }
    std::string socketPath() const { return dir_ / "log.sock"; }

    // Starts rsyslogd and waits until it takes TCP connections and its
    // socket is there.
    void start() {
        pid_ = fork();
        if (pid_ == 0) {
            const std::string conf = dir_ / "rsyslog.conf", pidFile = dir_ / "rsyslogd.pid";
            execl(kDaemon, kDaemon, "-n", "-f", conf.c_str(), "-i", pidFile.c_str(), nullptr);
            _exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (listening() && access(socketPath().c_str(), F_OK) == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop();
    }
    // Stops rsyslogd: with SIGTERM it ends in order, with SIGKILL it dies.
    void stop(int signal = SIGTERM) {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        waitChild(pid_);
        pid_ = -1;
    }

    // The records received (each a JSON object of the fields), once there
    // are at least `count` of them or ten seconds have passed.
    std::vector<nlohmann::json> records(size_t count) const {
        return recordsOnce([count](const std::string &, size_t lines) { return lines >= count; });
    }
    // The records received once the text received holds `last` (or ten
    // seconds have passed).
    std::vector<nlohmann::json> records(const std::string &last) const {
        return recordsOnce([&last](const std::string &text, size_t) {
            return text.find(last) != std::string::npos;
        });
    }

private:
    template <class Done>
    std::vector<nlohmann::json> recordsOnce(Done done) const {
        std::string text;
        for (int i = 0; i < 1000; ++i) {
            text = readFile(dir_ / "out").value_or("");
            text.resize(text.rfind('\n') + 1);  // whole lines: rsyslogd may be writing one
            if (done(text, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')))) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::vector<nlohmann::json> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            out.push_back(nlohmann::json::parse(line, nullptr, false));
        return out;
    }

    std::string configuration() const {
        const std::string port = std::to_string(kPort);
        return "global(workDirectory=\"" + dir_.path() +
               "\" maxMessageSize=\"128k\" parser.escapeControlCharactersOnReceive=\"off\")\n"
               "module(load=\"imudp\")\nmodule(load=\"imtcp\")\n"
               "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
               "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" +
               port +
               "\")\n"
               "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
               port +
               "\")\n"
               "input(type=\"imuxsock\" Socket=\"" +
               socketPath() +
               "\" useSpecialParser=\"off\" parseHostname=\"on\" "
               "IgnoreTimestamp=\"off\" Annotate=\"off\")\n"
               "template(name=\"fields\" type=\"list\" option.jsonf=\"on\") {\n"
               "  property(outname=\"pri\" name=\"pri\" format=\"jsonf\")\n"
               "  property(outname=\"time\" name=\"timereported\" dateFormat=\"rfc3339\" "
               "format=\"jsonf\")\n"
               "  property(outname=\"host\" name=\"hostname\" format=\"jsonf\")\n"
               "  property(outname=\"app\" name=\"app-name\" format=\"jsonf\")\n"
               "  property(outname=\"procid\" name=\"procid\" format=\"jsonf\")\n"
               "  property(outname=\"msgid\" name=\"msgid\" format=\"jsonf\")\n"
               "  property(outname=\"sd\" name=\"structured-data\" format=\"jsonf\")\n"
               "  property(outname=\"msg\" name=\"msg\" format=\"jsonf\")\n"
               "}\n"
               "*.* action(type=\"omfile\" file=\"" +
               (dir_ / "out") + "\" template=\"fields\")\n";
    }
    bool listening() const {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        close(fd);
        return ok;
    }

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
