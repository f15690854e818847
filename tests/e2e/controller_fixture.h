// The fixture of the controller's end-to-end tests: the real binary in a
// private mount namespace (agent_ns.sh) whose /usr/sbin holds a fake agent,
// with its standard streams, exit status, error-code file and the agent
// commands that ran collected for each case.
#ifndef VRX_CONTROLLER_FIXTURE_H
#define VRX_CONTROLLER_FIXTURE_H

#include <netinet/in.h>

#include "test_support.h"

namespace vrxe2e {

using namespace vrxtest;

inline const std::string kController = AGENTCONTROLLER_PATH;
inline const std::string kHarness = std::string(E2E_DIR) + "/agent_ns.sh";
inline const std::string kFakeAgent = std::string(E2E_DIR) + "/fake_agent.sh";

// An ini file every key of which is valid (add "agent_base_dir = ...").
inline const std::string kCompleteIni =
    "communication_type = 2\n"
    "agentid=0123\n"
    "division=Finance\n"
    "organization=NUV\n"
    "trace_level=MIN\n"
    "trace_size=1048576\n"
    "tcpip_port=9510\n"
    "msglog_size=1048576\n";

inline const std::string kUsageTail = " [[start [-i [-p]|-u]] | [stop [-i|-u]]]\n";

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

struct Scene {
    // Fake agent files under /usr/sbin, with what each does ("" exits 0,
    // a number, "signal N"); "vrxagent.sh.-p" sets the plug-in call alone.
    std::map<std::string, std::string> agent;
    std::optional<std::string> oldErrFile;  // content present before the run
    std::optional<std::string> ini;         // /etc/vrxagent.ini
    bool closeStdout = false;
    bool ignoreSigchld = false;
    bool keepVar = false;   // /var is WORK/var, kept for inspection
    bool reuseVar = false;  // with keepVar: WORK/var keeps what earlier runs left
    int varSizeMiB = 0;     // /var is a tmpfs of this size (0: no limit)
    // Fake agent files at another base directory (WORK/<agentDir>/...).
    std::string agentDir;
    // The common log directory record (/etc/nuv/zemlor/common/cfg/log.properties).
    std::optional<std::string> commonRecord;
    // A private network with a name server that never answers, and a hosts
    // file without this host's name, so qualifying the name waits on it.
    bool silentResolver = false;
};

// In a new network namespace: loopback up, and sockets on the name server's
// address that take queries and never answer. False when that cannot be had.
inline bool enterSilentNetwork() {
    if (!vrxtest::enterPrivateNetwork()) return false;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(53);
    server.sin_addr.s_addr = htonl(0x7F000035);  // 127.0.0.53
    for (int type : {SOCK_DGRAM, SOCK_STREAM}) {
        const int fd = socket(AF_INET, type, 0);  // inherited: they live as long as the run
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0 ||
            (type == SOCK_STREAM && listen(fd, 16) != 0))
            return false;
    }
    return true;
}

class ControllerE2E : public ::testing::Test {
public:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to make a private mount namespace";
        const Outcome probe = runRaw({"/bin/true"}, Scene{});
        ASSERT_EQ(probe.status, 0) << "the namespace harness does not work here: " << probe.err;
    }

    std::string errPath() const { return work_ / "err"; }
    std::string callsPath() const { return work_ / "calls.log"; }

    std::string expand(const std::string &text) const {
        return filled(text,
                      {{"@ERR@", errPath()}, {"@PROG@", kController}, {"@WORK@", work_.path()}});
    }

    void prepare(const Scene &setup) {
        for (const char *made : {"sbin", "etc.seed", "etc.upper"})
            std::filesystem::remove_all(work_ / made);
        if (!setup.reuseVar) std::filesystem::remove_all(work_ / "var");
        if (setup.keepVar) std::filesystem::create_directories(work_ / "var");
        for (const std::string &left : {errPath(), callsPath(), callsPath() + ".env"})
            std::filesystem::remove(left);
        std::filesystem::create_directories(work_ / "sbin");
        const std::string home =
            setup.agentDir.empty() ? work_ / "sbin/" : work_ / setup.agentDir + "/";
        for (const auto &[name, how] : setup.agent) {
            const bool rcOnly = name.find(".-") != std::string::npos;
            if (!rcOnly) {
                const std::filesystem::path target = home + name;
                std::filesystem::create_directories(target.parent_path());
                std::filesystem::copy_file(kFakeAgent, target);
            }
            if (!how.empty()) writeFile(home + name + ".rc", how);
        }
        if (setup.oldErrFile) writeFile(errPath(), *setup.oldErrFile);
        if (setup.ini) writeFile(work_ / "etc.seed/vrxagent.ini", expand(*setup.ini));
        if (setup.commonRecord)
            writeFile(work_ / "etc.seed/nuv/zemlor/common/cfg/log.properties",
                      expand(*setup.commonRecord));
        if (setup.silentResolver) {
            writeFile(work_ / "etc.seed/resolv.conf", "nameserver 127.0.0.53\n");
            writeFile(work_ / "etc.seed/hosts", "127.0.0.1 localhost\n");
        }
    }

    Outcome runRaw(const std::vector<std::string> &command, const Scene &setup) {
        const std::string outPath = work_ / "stdout", errOutPath = work_ / "stderr";
        std::vector<std::string> args = {kHarness, work_.path(), "--"};
        args.insert(args.end(), command.begin(), command.end());
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        Outcome run;
        run.status = waitChild(startChild([&] {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            if (setup.closeStdout) setenv("E2E_CLOSE_STDOUT", "1", 1);
            if (setup.ignoreSigchld) setenv("E2E_IGNORE_SIGCHLD", "1", 1);
            if (setup.varSizeMiB > 0)
                setenv("E2E_VAR_SIZE", (std::to_string(setup.varSizeMiB) + "m").c_str(), 1);
            setenv("E2E_CALLS", callsPath().c_str(), 1);
            if (setup.silentResolver && !enterSilentNetwork()) return 125;
            execv(argv[0], argv.data());
            return 126;
        }));
        run.out = readFile(outPath).value_or("");
        run.err = readFile(errOutPath).value_or("");
        return run;
    }

    Outcome runController(const std::vector<std::string> &args, const Scene &setup) {
        prepare(setup);
        std::vector<std::string> command = {kController};
        for (const auto &a : args)
            command.push_back(expand(a));
        return runRaw(command, setup);
    }

    TempDir work_;
};

struct Case {
    const char *name;
    std::vector<std::string> args;  // "@ERR@" is the error-code file
    Scene setup;
    std::string out, err;
    int status;
    std::optional<std::string> errFile;  // nullopt: no file afterwards
    std::string calls;                   // agent commands that ran
};

inline void check(ControllerE2E &fixture, const Case &c, const Outcome &run,
                  const std::string &errFile, const std::string &calls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run.out, fixture.expand(c.out));
    EXPECT_EQ(run.err, fixture.expand(c.err));
    EXPECT_EQ(run.status, c.status);
    const auto file = readFile(errFile);
    if (c.errFile)
        EXPECT_EQ(file.value_or("<no file>"), *c.errFile);
    else
        EXPECT_FALSE(file.has_value()) << "error-code file holds: " << *file;
    EXPECT_EQ(readFile(calls).value_or(""), fixture.expand(c.calls));
}

// Runs the case and checks its whole outcome, which it returns.
inline Outcome verify(ControllerE2E &fixture, const Case &c) {
    const Outcome run = fixture.runController(c.args, c.setup);
    check(fixture, c, run, fixture.errPath(), fixture.callsPath());
    return run;
}

}  // namespace vrxe2e

#endif  // VRX_CONTROLLER_FIXTURE_H
