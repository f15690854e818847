// The controller as installers see it: exact bytes on standard output and
// standard error, the exit status, the error-code file, and which agent
// commands ran with which argument. Each case runs the real binary in a
// private mount namespace whose /usr/sbin holds a fake agent.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using vrxtest::readFile;
using vrxtest::TempDir;
using vrxtest::writeFile;

const std::string kController = AGENTCONTROLLER_PATH;
const std::string kHarness = std::string(E2E_DIR) + "/agent_ns.sh";
const std::string kFakeAgent = std::string(E2E_DIR) + "/fake_agent.sh";

const std::string kUsageTail = " [[start [-i [-p]|-u]] | [stop [-i|-u]]]\n";

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
    bool keepVar = false;  // /var is WORK/var, kept for inspection
    // Fake agent files at another base directory (WORK/<agentDir>/...).
    std::string agentDir;
};

class ControllerE2E : public ::testing::Test {
public:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to make a private mount namespace";
        const Outcome probe = runRaw({"/bin/true"}, Scene{});
        ASSERT_EQ(probe.status, 0) << "the namespace harness does not work here: " << probe.err;
    }

    std::string errPath() const { return work_ / "err"; }
    std::string callsPath() const { return work_ / "calls.log"; }

    std::string expand(std::string text) const {
        for (const auto &[key, value] : {std::pair<std::string, std::string>{"@ERR@", errPath()},
                                         {"@PROG@", kController},
                                         {"@WORK@", work_.path()}}) {
            for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
                text.replace(at, key.size(), value);
        }
        return text;
    }

    void prepare(const Scene &setup) {
        std::filesystem::remove_all(work_ / "sbin");
        std::filesystem::remove_all(work_ / "etc.seed");
        std::filesystem::remove_all(work_ / "etc.upper");
        std::filesystem::remove_all(work_ / "var");
        if (setup.keepVar) std::filesystem::create_directories(work_ / "var");
        std::filesystem::remove(errPath());
        std::filesystem::remove(callsPath());
        std::filesystem::remove(callsPath() + ".env");
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
    }

    Outcome runRaw(const std::vector<std::string> &command, const Scene &setup) {
        const std::string outPath = work_ / "stdout", errOutPath = work_ / "stderr";
        std::vector<std::string> args = {kHarness, work_.path(), "--"};
        args.insert(args.end(), command.begin(), command.end());
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            if (setup.closeStdout) setenv("E2E_CLOSE_STDOUT", "1", 1);
            if (setup.ignoreSigchld) setenv("E2E_IGNORE_SIGCHLD", "1", 1);
            setenv("E2E_CALLS", callsPath().c_str(), 1);
            execv(argv[0], argv.data());
            _exit(126);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Outcome run;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

void check(ControllerE2E &fixture, const Case &c, const Outcome &run, const std::string &errFile,
           const std::string &calls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run.out, fixture.expand(c.out));
    EXPECT_EQ(run.err, fixture.expand(c.err));
    EXPECT_EQ(run.status, c.status);
    const auto file = readFile(errFile);
    if (c.errFile)
        EXPECT_EQ(file.value_or("<no file>"), *c.errFile);
    else
        EXPECT_FALSE(file.has_value()) << "error-code file holds: " << *file;
    EXPECT_EQ(readFile(calls).value_or(""), c.calls);
}

const std::string kStart = "/usr/sbin/vrxagent.sh -g\n";
const std::string kPlugin = "/usr/sbin/vrxagent.sh -p\n";
const std::string kStop = "/usr/sbin/vrxagent -e\n";
const std::string kClient = "/usr/sbin/apxagent/APXAgentClient.sh shutdown\n";
const std::string kStarted = "vrxagent.sh successfully started\n";
const std::string kStartFailed = "Error: vrxagent.sh couldn't be started\n";
const std::string kPrereq =
    "Error: vrxagent.sh service cannot start because of missing secpack prereq. Start Failed\n";
const std::string kNoScript =
    "Error: vrxagent.sh service doesn't seem to be installed. Start Failed\n";
const std::string kStopFailed = "Error: vrxagent couldn't be stopped\n";

TEST_F(ControllerE2E, StartOutcomes) {
    // clang-format off
    const Case cases[] = {
        {"started, installer", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "0"}}}, kStarted, "", 0,
         std::nullopt, kStart},
        {"started, by hand", {"@ERR@", "start", "-u"}, {{{"vrxagent.sh", "0"}}}, kStarted, "", 0,
         std::nullopt, kStart},
        {"exit 12 counts as started", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "12"}}}, kStarted,
         "", 0, std::nullopt, kStart},
        {"success never touches the error-code file", {"@ERR@", "start", "-i"},
         {{{"vrxagent.sh", "0"}}, "old"}, kStarted, "", 0, "old", kStart},
        {"started with plug-in", {"@ERR@", "start", "-i", "-p"}, {{{"vrxagent.sh", "0"}}}, kStarted,
         "", 0, std::nullopt, kStart + kPlugin},
        {"plug-in failure is not an error", {"@ERR@", "start", "-i", "-p"},
         {{{"vrxagent.sh", "0"}, {"vrxagent.sh.-p", "4"}}}, kStarted, "", 0, std::nullopt,
         kStart + kPlugin},
        {"script missing, installer", {"@ERR@", "start", "-i"}, {}, "",
         kNoScript + "Written slmerr (rc=-8)\n", 1, "-8", ""},
        {"script missing, by hand", {"@ERR@", "start", "-u"}, {},
         "vrxagent.sh service doesn't seem to be installed. Start skipped\n", "", 0, std::nullopt,
         ""},
        {"prerequisite missing, installer", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "58"}}}, "",
         kPrereq + "Written slmerr (rc=31)\n", 0, "31", kStart},
        {"prerequisite missing skips the plug-in", {"@ERR@", "start", "-i", "-p"},
         {{{"vrxagent.sh", "58"}}}, "", kPrereq + "Written slmerr (rc=31)\n", 0, "31", kStart},
        {"prerequisite missing, by hand", {"@ERR@", "start", "-u"}, {{{"vrxagent.sh", "58"}}}, "",
         "", 0, std::nullopt, kStart},
        {"start failed, installer", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "1"}}}, "",
         kStartFailed + "Written slmerr (rc=-8)\n", 1, "-8", kStart},
        {"start failed with plug-in asked", {"@ERR@", "start", "-i", "-p"},
         {{{"vrxagent.sh", "255"}}}, "", kStartFailed + "Written slmerr (rc=-8)\n", 1, "-8",
         kStart},
        {"start failed, by hand, old file untouched", {"@ERR@", "start", "-u"},
         {{{"vrxagent.sh", "1"}}, "old"}, "", kStartFailed, 1, "old", kStart},
        {"start killed by a signal", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "signal 15"}}}, "",
         kStartFailed + "Written slmerr (rc=-8)\n", 1, "-8", kStart},
    };
    // clang-format on
    for (const Case &c : cases)
        check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
}

TEST_F(ControllerE2E, StopOutcomes) {
    // clang-format off
    const Case cases[] = {
        {"stopped (5), no line end", {"@ERR@", "stop", "-i"}, {{{"vrxagent", "5"}}},
         "vrxagent successfully stopped", "", 0, std::nullopt, kStop},
        {"stopped (6), by hand", {"@ERR@", "stop", "-u"}, {{{"vrxagent", "6"}}},
         "vrxagent successfully stopped", "", 0, std::nullopt, kStop},
        {"client shut down whatever it returns", {"@ERR@", "stop", "-i"},
         {{{"vrxagent", "5"}, {"apxagent/APXAgentClient.sh", "9"}}},
         "vrxagent successfully stopped", "", 0, std::nullopt, kStop + kClient},
        {"exit 0 is a failed stop", {"@ERR@", "stop", "-i"},
         {{{"vrxagent", "0"}, {"apxagent/APXAgentClient.sh", "0"}}}, "",
         kStopFailed + "Written slmerr (rc=-201)\n", 1, "-201", kStop},
        {"stop failed, by hand", {"@ERR@", "stop", "-u"}, {{{"vrxagent", "1"}}, "old"}, "",
         kStopFailed, 1, "old", kStop},
        {"stop killed by a signal", {"@ERR@", "stop", "-i"}, {{{"vrxagent", "signal 9"}}}, "",
         kStopFailed + "Written slmerr (rc=-201)\n", 1, "-201", kStop},
        {"program missing, installer", {"@ERR@", "stop", "-i"}, {},
         "vrxagent service doesn't seem to be installed. Stop skipped\n", "", 0, std::nullopt, ""},
        {"program missing, by hand", {"@ERR@", "stop", "-u"}, {},
         "vrxagent service doesn't seem to be installed. Stop skipped\n", "", 0, std::nullopt, ""},
    };
    // clang-format on
    for (const Case &c : cases)
        check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
}

TEST_F(ControllerE2E, CommandLineErrors) {
    const Scene agent{{{"vrxagent.sh", "0"}, {"vrxagent", "5"}}};
    const std::string usage = "Usage: @PROG@ trace_dir(@ERR@)" + kUsageTail;
    // clang-format off
    const Case cases[] = {
        {"program name alone", {}, agent, "", "Usage: @PROG@ trace_dir()" + kUsageTail, 1,
         std::nullopt, ""},
        {"three entries", {"@ERR@", "start"}, agent, "", usage, 1, std::nullopt, ""},
        {"six entries", {"@ERR@", "start", "-i", "-p", "-x"}, agent, "", usage, 1, std::nullopt,
         ""},
        {"unknown mode", {"@ERR@", "start", "-x"}, agent, "",
         "Option '-x' not supported.\n" + usage, 1, std::nullopt, ""},
        {"mode must match exactly", {"@ERR@", "start", "-ix"}, agent, "",
         "Option '-ix' not supported.\n" + usage, 1, std::nullopt, ""},
        {"unknown action, installer", {"@ERR@", "restart", "-i"}, agent, "",
         "Option 'restart' not supported.\n" + usage + "Error opening file \n", 1, std::nullopt,
         ""},
        {"unknown action, by hand", {"@ERR@", "restart", "-u"}, agent, "",
         "Option 'restart' not supported.\n" + usage, 1, std::nullopt, ""},
        {"action must match exactly", {"@ERR@", "started", "-i"}, agent, "",
         "Option 'started' not supported.\n" + usage + "Error opening file \n", 1, std::nullopt,
         ""},
        {"plug-in needs the installer", {"@ERR@", "start", "-u", "-p"}, agent, "",
         "Option '-p' not supported.\n" + usage, 1, std::nullopt, ""},
        {"start takes only -p", {"@ERR@", "start", "-i", "-u"}, agent, "",
         "Option '-u' not supported.\n" + usage, 1, std::nullopt, ""},
        {"stop takes no fifth entry", {"@ERR@", "stop", "-i", "-p"}, agent, "",
         "Option '-p' not supported.\n" + usage, 1, std::nullopt, ""},
        {"empty error-code path, installer", {"", "start", "-i"}, agent, "",
         "Error: trace_path parameter cannot be an empty string\nError opening file \n", 1,
         std::nullopt, ""},
        {"empty error-code path, by hand", {"", "stop", "-u"}, agent, "",
         "Error: trace_path parameter cannot be an empty string\n", 1, std::nullopt, ""},
    };
    // clang-format on
    for (const Case &c : cases)
        check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
}

TEST_F(ControllerE2E, ErrorCodeFileFailures) {
    // clang-format off
    const Case cases[] = {
        {"folder missing", {"@WORK@/missing/err", "start", "-i"}, {}, "",
         kNoScript + "Error opening file @WORK@/missing/err\n", 1, std::nullopt, ""},
        // The write succeeds into the stdio buffer; only the flush sees the
        // full device, and that must not be reported as written.
        {"device full", {"/dev/full", "stop", "-i"}, {{{"vrxagent", "0"}}}, "",
         kStopFailed + "Error writing err code -201 on file /dev/full\n", 1, std::nullopt, kStop},
        {"name too long", {"@WORK@/" + std::string(300, 'n'), "start", "-i"}, {}, "",
         kNoScript + "Error opening file @WORK@/" + std::string(300, 'n') + "\n", 1, std::nullopt,
         ""},
    };
    // clang-format on
    for (const Case &c : cases)
        check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
}

TEST_F(ControllerE2E, BaseDirectoryFallsBackToUsrSbin) {
    // An ini file without a usable configuration (here: no
    // communication_type) gives no base directory.
    const Case c{"ini without a valid configuration",
                 {"@ERR@", "start", "-u"},
                 {{{"vrxagent.sh", "0"}}, std::nullopt, "agent_base_dir=/opt/elsewhere\n"},
                 kStarted,
                 "",
                 0,
                 std::nullopt,
                 kStart};
    check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
}

TEST_F(ControllerE2E, ChildrenGetAnEmptyLibraryPath) {
    Scene scene{{{"vrxagent.sh", "0"}}};
    const Case c{
        "LD_LIBRARY_PATH", {"@ERR@", "start", "-i", "-p"}, scene, kStarted, "", 0, std::nullopt,
        kStart + kPlugin};
    check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
    EXPECT_EQ(readFile(callsPath() + ".env").value_or(""), "[]\n[]\n");
}

const std::string kCompleteIni =
    "communication_type = 2\n"
    "agentid=0123\n"
    "division=Finance\n"
    "organization=NUV\n"
    "trace_level=MIN\n"
    "trace_size=1048576\n"
    "tcpip_port=9510\n"
    "msglog_size=1048576\n";

TEST_F(ControllerE2E, BaseDirectoryFromTheIniFile) {
    // Blanks around the value and a "/../" step: the agent in WORK/agent dir/.
    Scene scene{{{"vrxagent.sh", "0"}, {"vrxagent", "5"}}};
    scene.agentDir = "agent dir";
    scene.ini = kCompleteIni + "agent_base_dir =   @WORK@/agent dir/bin/..  \n";
    const Case start{
        "ini base directory", {"@ERR@", "start", "-i"},           scene, kStarted, "", 0,
        std::nullopt,         "@WORK@/agent dir/vrxagent.sh -g\n"};
    Outcome run = runController(start.args, start.setup);
    check(*this,
          Case{start.name, start.args, start.setup, start.out, start.err, start.status,
               start.errFile, expand(start.calls)},
          run, errPath(), callsPath());

    // An agent id of 2^63 or more is a valid unsigned 64-bit id: the base
    // directory still counts.
    Scene bigId = scene;
    bigId.agentDir = "agent2";
    bigId.ini = kCompleteIni + "agentid=9223372036854775808\nagent_base_dir=@WORK@/agent2\n";
    const Case bigIdStart{"large agent id", {"@ERR@", "start", "-i"},        bigId, kStarted, "", 0,
                          std::nullopt,     "@WORK@/agent2/vrxagent.sh -g\n"};
    check(*this,
          Case{bigIdStart.name, bigIdStart.args, bigIdStart.setup, bigIdStart.out, bigIdStart.err,
               bigIdStart.status, bigIdStart.errFile, expand(bigIdStart.calls)},
          runController(bigIdStart.args, bigIdStart.setup), errPath(), callsPath());

    // A missing ini, or one holding only agent_base_dir: /usr/sbin/.
    Scene onlyBase{{{"vrxagent", "5"}}};
    onlyBase.ini = "agent_base_dir=@WORK@/agent dir\n";
    const Case fallback{"incomplete ini",
                        {"@ERR@", "stop", "-u"},
                        onlyBase,
                        "vrxagent successfully stopped",
                        "",
                        0,
                        std::nullopt,
                        kStop};
    check(*this, fallback, runController(fallback.args, fallback.setup), errPath(), callsPath());
}

TEST_F(ControllerE2E, CreatesTheCommonLogDirectory) {
    Scene scene{{{"vrxagent", "5"}}};
    scene.keepVar = true;
    const Case c{"log directory",
                 {"@ERR@", "stop", "-u"},
                 scene,
                 "vrxagent successfully stopped",
                 "",
                 0,
                 std::nullopt,
                 kStop};
    check(*this, c, runController(c.args, c.setup), errPath(), callsPath());
    const std::string record = work_ / "etc.upper/nuv/zemlor/common/cfg/log.properties";
    EXPECT_EQ(readFile(record).value_or("<none>"), "zemlor_common_dir=/var/nuv/zemlor/common");
    struct stat info {};
    ASSERT_EQ(stat(record.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const char *sub : {"logs/agent/trace", "logs/agent/message", "logs/install/trace",
                            "ffdc/agent", "scripts/agent"}) {
        const std::string dir = work_ / "var/nuv/zemlor/common/QAG/" + sub;
        ASSERT_EQ(stat(dir.c_str(), &info), 0) << sub;
        EXPECT_EQ(info.st_mode & 0777, 0771u) << sub;
    }
}

TEST_F(ControllerE2E, StartupHygiene) {
    // Children are waited for even when SIGCHLD came in ignored.
    Scene ignored{{{"vrxagent.sh", "0"}}};
    ignored.ignoreSigchld = true;
    const Case sigchld{
        "SIGCHLD ignored", {"@ERR@", "start", "-i", "-p"}, ignored, kStarted, "", 0, std::nullopt,
        kStart + kPlugin};
    check(*this, sigchld, runController(sigchld.args, sigchld.setup), errPath(), callsPath());

    // With standard output closed, files the controller opens (the
    // error-code file here, trace files too) must not become descriptor 1
    // and collect what is printed there.
    Scene closed{{{"vrxagent", "0"}}};
    closed.closeStdout = true;
    const Case noStdout{"stdout closed",
                        {"@ERR@", "stop", "-i"},
                        closed,
                        "",
                        kStopFailed + "Written slmerr (rc=-201)\n",
                        1,
                        "-201",
                        kStop};
    check(*this, noStdout, runController(noStdout.args, noStdout.setup), errPath(), callsPath());
}

}  // namespace
