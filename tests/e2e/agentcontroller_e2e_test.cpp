// The controller as installers see it: exact bytes on standard output and
// standard error, the exit status, the error-code file, and which agent
// commands ran with which argument. Each case runs the real binary in a
// private mount namespace whose /usr/sbin holds a fake agent.

#include "controller_fixture.h"

namespace {

using namespace vrxe2e;

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
        {"started, installer", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "0"}}}, kStarted, "", 0, std::nullopt, kStart},
        {"started, by hand", {"@ERR@", "start", "-u"}, {{{"vrxagent.sh", "0"}}}, kStarted, "", 0, std::nullopt, kStart},
        {"exit 12 counts as started", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "12"}}}, kStarted, "", 0, std::nullopt, kStart},
        {"success never touches the error-code file", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "0"}}, "old"}, kStarted, "", 0, "old", kStart},
        {"started with plug-in", {"@ERR@", "start", "-i", "-p"}, {{{"vrxagent.sh", "0"}}}, kStarted, "", 0, std::nullopt, kStart + kPlugin},
        {"plug-in failure is not an error", {"@ERR@", "start", "-i", "-p"}, {{{"vrxagent.sh", "0"}, {"vrxagent.sh.-p", "4"}}}, kStarted, "", 0, std::nullopt, kStart + kPlugin},
        {"script missing, installer", {"@ERR@", "start", "-i"}, {}, "", kNoScript + "Written slmerr (rc=-8)\n", 1, "-8", ""},
        {"script missing, by hand", {"@ERR@", "start", "-u"}, {}, "vrxagent.sh service doesn't seem to be installed. Start skipped\n", "", 0, std::nullopt, ""},
        {"prerequisite missing, installer", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "58"}}}, "", kPrereq + "Written slmerr (rc=31)\n", 0, "31", kStart},
        {"prerequisite missing skips the plug-in", {"@ERR@", "start", "-i", "-p"}, {{{"vrxagent.sh", "58"}}}, "", kPrereq + "Written slmerr (rc=31)\n", 0, "31", kStart},
        {"prerequisite missing, by hand", {"@ERR@", "start", "-u"}, {{{"vrxagent.sh", "58"}}}, "", "", 0, std::nullopt, kStart},
        {"start failed, installer", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "1"}}}, "", kStartFailed + "Written slmerr (rc=-8)\n", 1, "-8", kStart},
        {"start failed with plug-in asked", {"@ERR@", "start", "-i", "-p"}, {{{"vrxagent.sh", "255"}}}, "", kStartFailed + "Written slmerr (rc=-8)\n", 1, "-8", kStart},
        {"start failed, by hand, old file untouched", {"@ERR@", "start", "-u"}, {{{"vrxagent.sh", "1"}}, "old"}, "", kStartFailed, 1, "old", kStart},
        {"start killed by a signal", {"@ERR@", "start", "-i"}, {{{"vrxagent.sh", "signal 15"}}}, "", kStartFailed + "Written slmerr (rc=-8)\n", 1, "-8", kStart},
    };
    // clang-format on
    for (const Case &c : cases)
        verify(*this, c);
}

TEST_F(ControllerE2E, StopOutcomes) {
    // clang-format off
    const Case cases[] = {
        {"stopped (5), no line end", {"@ERR@", "stop", "-i"}, {{{"vrxagent", "5"}}}, "vrxagent successfully stopped", "", 0, std::nullopt, kStop},
        {"stopped (6), by hand", {"@ERR@", "stop", "-u"}, {{{"vrxagent", "6"}}}, "vrxagent successfully stopped", "", 0, std::nullopt, kStop},
        {"client shut down whatever it returns", {"@ERR@", "stop", "-i"}, {{{"vrxagent", "5"}, {"apxagent/APXAgentClient.sh", "9"}}}, "vrxagent successfully stopped", "", 0, std::nullopt, kStop + kClient},
        {"exit 0 is a failed stop", {"@ERR@", "stop", "-i"}, {{{"vrxagent", "0"}, {"apxagent/APXAgentClient.sh", "0"}}}, "", kStopFailed + "Written slmerr (rc=-201)\n", 1, "-201", kStop},
        {"stop failed, by hand", {"@ERR@", "stop", "-u"}, {{{"vrxagent", "1"}}, "old"}, "", kStopFailed, 1, "old", kStop},
        {"stop killed by a signal", {"@ERR@", "stop", "-i"}, {{{"vrxagent", "signal 9"}}}, "", kStopFailed + "Written slmerr (rc=-201)\n", 1, "-201", kStop},
        {"program missing, installer", {"@ERR@", "stop", "-i"}, {}, "vrxagent service doesn't seem to be installed. Stop skipped\n", "", 0, std::nullopt, ""},
        {"program missing, by hand", {"@ERR@", "stop", "-u"}, {}, "vrxagent service doesn't seem to be installed. Stop skipped\n", "", 0, std::nullopt, ""},
    };
    // clang-format on
    for (const Case &c : cases)
        verify(*this, c);
}

TEST_F(ControllerE2E, CommandLineErrors) {
    const Scene agent{{{"vrxagent.sh", "0"}, {"vrxagent", "5"}}};
    const std::string usage = "Usage: @PROG@ trace_dir(@ERR@)" + kUsageTail;
    // clang-format off
    const Case cases[] = {
        {"program name alone", {}, agent, "", "Usage: @PROG@ trace_dir()" + kUsageTail, 1, std::nullopt, ""},
        {"three entries", {"@ERR@", "start"}, agent, "", usage, 1, std::nullopt, ""},
        {"six entries", {"@ERR@", "start", "-i", "-p", "-x"}, agent, "", usage, 1, std::nullopt, ""},
        {"unknown mode", {"@ERR@", "start", "-x"}, agent, "", "Option '-x' not supported.\n" + usage, 1, std::nullopt, ""},
        {"mode must match exactly", {"@ERR@", "start", "-ix"}, agent, "", "Option '-ix' not supported.\n" + usage, 1, std::nullopt, ""},
        {"unknown action, installer", {"@ERR@", "restart", "-i"}, agent, "", "Option 'restart' not supported.\n" + usage + "Error opening file \n", 1, std::nullopt, ""},
        {"unknown action, by hand", {"@ERR@", "restart", "-u"}, agent, "", "Option 'restart' not supported.\n" + usage, 1, std::nullopt, ""},
        {"action must match exactly", {"@ERR@", "started", "-i"}, agent, "", "Option 'started' not supported.\n" + usage + "Error opening file \n", 1, std::nullopt, ""},
        {"plug-in needs the installer", {"@ERR@", "start", "-u", "-p"}, agent, "", "Option '-p' not supported.\n" + usage, 1, std::nullopt, ""},
        {"start takes only -p", {"@ERR@", "start", "-i", "-u"}, agent, "", "Option '-u' not supported.\n" + usage, 1, std::nullopt, ""},
        {"stop takes no fifth entry", {"@ERR@", "stop", "-i", "-p"}, agent, "", "Option '-p' not supported.\n" + usage, 1, std::nullopt, ""},
        {"empty error-code path, installer", {"", "start", "-i"}, agent, "", "Error: trace_path parameter cannot be an empty string\nError opening file \n", 1, std::nullopt, ""},
        {"empty error-code path, by hand", {"", "stop", "-u"}, agent, "", "Error: trace_path parameter cannot be an empty string\n", 1, std::nullopt, ""},
    };
    // clang-format on
    for (const Case &c : cases)
        verify(*this, c);
}

// "--help" and "--version" alone answer on standard output and run nothing:
// no common log directory, no record of it, no trace. With more arguments
// they are ordinary positional entries.
TEST_F(ControllerE2E, HelpAndVersionAloneTouchNothing) {
    const std::string help =
        "Usage: agentcontroller ERRCODE-FILE start -i [-p]\n"
        "       agentcontroller ERRCODE-FILE start -u\n"
        "       agentcontroller ERRCODE-FILE stop -i|-u\n"
        "       agentcontroller --help | --version\n"
        "Starts or stops the vrxagent host agent by running the agent's own commands\n"
        "from its base directory (agent_base_dir in /etc/vrxagent.ini, else /usr/sbin/).\n"
        "\n"
        "  -i   on behalf of an installer: a failure leaves a code in ERRCODE-FILE\n"
        "  -u   by hand or for an uninstaller: ERRCODE-FILE is never written\n"
        "  -p   after a successful start -i, also issue the agent's plug-in command\n"
        "\n"
        "Prints one outcome line and exits 0 or 1; every run is traced under the common\n"
        "log directory. See agentcontroller(8).\n";
    Scene scene{{{"vrxagent", "5"}}};
    scene.keepVar = true;
    // clang-format off
    const Case cases[] = {
        {"--help", {"--help"}, scene, help, "", 0, std::nullopt, ""},
        {"--version", {"--version"}, scene, "agentcontroller (vrxagent-controller) " VRX_PACKAGE_VERSION "\n", "", 0, std::nullopt, ""},
        {"-h is no option", {"-h"}, scene, "", "Usage: @PROG@ trace_dir(-h)" + kUsageTail, 1, std::nullopt, ""},
    };
    // clang-format on
    for (const Case &c : cases) {
        verify(*this, c);
        const bool quiet = c.status == 0;
        EXPECT_EQ(std::filesystem::exists(work_ / "var/nuv"), !quiet) << c.name;
        EXPECT_EQ(std::filesystem::exists(work_ / "etc.upper/nuv"), !quiet) << c.name;
    }
    Scene positional{{{"vrxagent", "5"}}};
    // clang-format off
    verify(*this, {"--help as the error-code file", {"--help", "stop", "-u"}, positional, "vrxagent successfully stopped", "", 0, std::nullopt, kStop});
    // clang-format on
}

TEST_F(ControllerE2E, ErrorCodeFileFailures) {
    // clang-format off
    const Case cases[] = {
        {"folder missing", {"@WORK@/missing/err", "start", "-i"}, {}, "", kNoScript + "Error opening file @WORK@/missing/err\n", 1, std::nullopt, ""},
        // The write succeeds into the stdio buffer; only the flush sees the
        // full device, and that must not be reported as written.
        {"device full", {"/dev/full", "stop", "-i"}, {{{"vrxagent", "0"}}}, "", kStopFailed + "Error writing err code -201 on file /dev/full\n", 1, std::nullopt, kStop},
        {"name too long", {"@WORK@/" + std::string(300, 'n'), "start", "-i"}, {}, "", kNoScript + "Error opening file @WORK@/" + std::string(300, 'n') + "\n", 1, std::nullopt, ""},
    };
    // clang-format on
    for (const Case &c : cases)
        verify(*this, c);
}

TEST_F(ControllerE2E, BaseDirectoryFallsBackToUsrSbin) {
    // An ini file without a usable configuration (here: no
    // communication_type) gives no base directory.
    // clang-format off
    verify(*this, {"ini without a valid configuration", {"@ERR@", "start", "-u"},
                   {{{"vrxagent.sh", "0"}}, std::nullopt, "agent_base_dir=/opt/elsewhere\n"}, kStarted, "", 0, std::nullopt, kStart});
    // clang-format on
}

TEST_F(ControllerE2E, ChildrenGetAnEmptyLibraryPath) {
    Scene scene{{{"vrxagent.sh", "0"}}};
    // clang-format off
    verify(*this, {"LD_LIBRARY_PATH", {"@ERR@", "start", "-i", "-p"}, scene, kStarted, "", 0, std::nullopt, kStart + kPlugin});
    // clang-format on
    EXPECT_EQ(readFile(callsPath() + ".env").value_or(""), "[]\n[]\n");
}

TEST_F(ControllerE2E, BaseDirectoryFromTheIniFile) {
    // Blanks around the value and a "/../" step: the agent in WORK/agent dir/.
    Scene scene{{{"vrxagent.sh", "0"}, {"vrxagent", "5"}}};
    scene.agentDir = "agent dir";
    scene.ini = kCompleteIni + "agent_base_dir =   @WORK@/agent dir/bin/..  \n";
    // clang-format off
    verify(*this, {"ini base directory", {"@ERR@", "start", "-i"}, scene, kStarted, "", 0, std::nullopt, "@WORK@/agent dir/vrxagent.sh -g\n"});
    // clang-format on

    // An agent id of 2^63 or more is a valid unsigned 64-bit id: the base
    // directory still counts.
    Scene bigId = scene;
    bigId.agentDir = "agent2";
    bigId.ini = kCompleteIni + "agentid=9223372036854775808\nagent_base_dir=@WORK@/agent2\n";
    // clang-format off
    verify(*this, {"large agent id", {"@ERR@", "start", "-i"}, bigId, kStarted, "", 0, std::nullopt, "@WORK@/agent2/vrxagent.sh -g\n"});
    // clang-format on

    // A missing ini, or one holding only agent_base_dir: /usr/sbin/.
    Scene onlyBase{{{"vrxagent", "5"}}};
    onlyBase.ini = "agent_base_dir=@WORK@/agent dir\n";
    // clang-format off
    verify(*this, {"incomplete ini", {"@ERR@", "stop", "-u"}, onlyBase, "vrxagent successfully stopped", "", 0, std::nullopt, kStop});
    // clang-format on
}

TEST_F(ControllerE2E, CreatesTheCommonLogDirectory) {
    Scene scene{{{"vrxagent", "5"}}};
    scene.keepVar = true;
    // clang-format off
    verify(*this, {"log directory", {"@ERR@", "stop", "-u"}, scene, "vrxagent successfully stopped", "", 0, std::nullopt, kStop});
    // clang-format on
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
    // clang-format off
    verify(*this, {"SIGCHLD ignored", {"@ERR@", "start", "-i", "-p"}, ignored, kStarted, "", 0, std::nullopt, kStart + kPlugin});
    // clang-format on

    // With standard output closed, files the controller opens (the
    // error-code file here, trace files too) must not become descriptor 1
    // and collect what is printed there.
    Scene closed{{{"vrxagent", "0"}}};
    closed.closeStdout = true;
    // clang-format off
    verify(*this, {"stdout closed", {"@ERR@", "stop", "-i"}, closed, "", kStopFailed + "Written slmerr (rc=-201)\n", 1, "-201", kStop});
    // clang-format on
}

// A name server that never answers must not hold an installer: the host
// name is qualified in the background and waited for about a second (the C
// library alone would wait ten), then the plain name stands.
TEST_F(ControllerE2E, ASilentNameServerDelaysTheRunBriefly) {
    Scene silent{{{"vrxagent", "5"}}};
    silent.silentResolver = true;
    const auto start = std::chrono::steady_clock::now();
    // clang-format off
    verify(*this, {"silent name server", {"@ERR@", "stop", "-u"}, silent, "vrxagent successfully stopped", "", 0, std::nullopt, kStop});
    // clang-format on
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace
