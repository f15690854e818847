// agentcontroller: starts or stops the agent for installers and
// administrators.
//
//   agentcontroller <error-code file> start -i [-p] | start -u | stop -i | stop -u
//
// It runs the agent's own commands, judges their exit codes, prints one
// outcome line and exits 0 or 1. When an installer calls it (-i), failures
// also leave a numeric code in the error-code file, which the installer reads
// after the run; a successful run never creates or touches that file.
//
// The outcome texts, codes and exit statuses are read by installers, so they
// are kept exactly, including the oddities callers rely on: the successful
// stop line has no line end, and code 31 comes with exit status 0.
//
// "--help" and "--version", each as the only argument, answer on standard
// output before anything else runs: no trace, no log directory, no file.
// Any other argument list is read as the installers' positional form.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "agent_command.h"
#include "agent_dirs.h"
#include "agent_trace.h"
#include "logger.h"
#include "slm_paths.h"
#include "system_unix.h"
#include "tcd.h"

namespace {

constexpr const char *kStartScriptName = "vrxagent.sh";
constexpr const char *kServiceName = "vrxagent";

// Error-code file codes.
constexpr int kCodeBadAction = -203;
constexpr int kCodeEmptyTracePath = -202;
constexpr int kCodeStartFailed = -8;
constexpr int kCodeMissingPrereq = 31;
constexpr int kCodeStopFailed = -201;

// The descriptors 0, 1 and 2 must be open before anything else opens a file:
// otherwise the error-code file could become "standard output". Children
// must see their own exits, so an inherited "ignore SIGCHLD" is undone.
void startupHygiene() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = open(SLM_DEV_NULL, fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
    struct sigaction current {};
    if (sigaction(SIGCHLD, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        sigemptyset(&defaults.sa_mask);
        sigaction(SIGCHLD, &defaults, nullptr);
    }
}

constexpr const char *kHelp =
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

// Answers "--help" or "--version" given alone; false for anything else.
bool answeredAlone(int argc, char **argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("agentcontroller (%s) %s\n", VRX_PACKAGE_NAME, VRX_PACKAGE_VERSION);
        return true;
    }
    return false;
}

int initLogging() {
    char commonDir[AGENT_DIR_BUFFER_SIZE] = {};
    if (ZemlorCommonDir(commonDir) != 0) return 1;
    if (loggerConfiguration(nullptr, AGENT_KIND_INSTALLER) != 0) return 1;
    const AgentLogSettings *settings = agentLogSettings(AGENT_KIND_INSTALLER);
    setZemlorCommonDir(commonDir, settings->traceName, settings->messageName, AGENT_KIND_INSTALLER);
    confTraceLevel(settings->traceLevel);
    confTraceSize(settings->traceSize);
    confTraceNumber(settings->traceFiles);
    return 0;
}

void printUsage(int argc, char **argv, int index) {
    if (index != 0) {
        std::fprintf(stderr, "Option '%s' not supported.\n", argv[index]);
        TRACE_MIN(TRACE_INSTALL, "Option '%s' not supported.", argv[index]);
    }
    // With the program name alone there is no slot 1 to show.
    const char *program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    const char *tracePath = argc > 1 ? argv[1] : "";
    std::fprintf(stderr, "Usage: %s trace_dir(%s) [[start [-i [-p]|-u]] | [stop [-i|-u]]]\n",
                 program, tracePath);
    TRACE_MIN(TRACE_INSTALL, "Usage: %s trace_dir(%s) {start|stop} {-i|-u}", program, tracePath);
}

// 0 when the code is in the file, 1 otherwise. Success means the write, the
// flush and the close all worked: a full disk shows up only at the flush.
int writeErrCodeFile(const char *path, int code) {
    const std::string name = path != nullptr ? path : "";
    FILE *file = std::fopen(name.c_str(), "we");
    if (file == nullptr) {
        std::fprintf(stderr, "Error opening file %s\n", name.c_str());
        return 1;
    }
    const bool written = std::fprintf(file, "%d", code) > 0 && std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "Error writing err code %d on file %s\n", code, name.c_str());
        return 1;
    }
    std::fprintf(stderr, "Written slmerr (rc=%d)\n", code);
    return 0;
}

// The successful way out: the only one that shuts the child layer down.
int finishSuccessfully() {
    TRACE_MAX(TRACE_INSTALL, "main : exit");
    shutDownLogger();
    slm_system_shutdown();
    return 0;
}

int fail() {
    shutDownLogger();
    return 1;
}

void runPluginStep(const std::string &baseDirectory) {
    if (pluginAgent(baseDirectory.c_str()) == AGENT_CMD_DONE)
        TRACE_MIN(TRACE_INSTALL, "Plugin command successfully issued");
    else
        TRACE_MIN(TRACE_INSTALL,
                  "Warning: Plugin command couldn't be issued. Go on since this is not an error");
}

int runStart(const std::string &baseDirectory, const std::string &tracePath, bool installer,
             bool plugin) {
    switch (startService(baseDirectory.c_str())) {
        case AGENT_CMD_DONE:
            std::printf("%s successfully started\n", kStartScriptName);
            TRACE_MIN(TRACE_INSTALL, "%s successfully started", kStartScriptName);
            break;
        case AGENT_CMD_NOT_INSTALLED:
            if (installer) {
                std::fprintf(stderr,
                             "Error: %s service doesn't seem to be installed. Start Failed\n",
                             kStartScriptName);
                TRACE_MIN(TRACE_INSTALL,
                          "Error: %s service doesn't seem to be installed. Start Failed",
                          kStartScriptName);
                writeErrCodeFile(tracePath.c_str(), kCodeStartFailed);
                return fail();
            }
            std::printf("%s service doesn't seem to be installed. Start skipped\n",
                        kStartScriptName);
            TRACE_MIN(TRACE_INSTALL, "%s service doesn't seem to be installed. Start skipped",
                      kStartScriptName);
            break;
        case AGENT_CMD_MISSING_PREREQ:
            if (installer) {
                std::fprintf(stderr,
                             "Error: %s service cannot start because of missing secpack prereq. "
                             "Start Failed\n",
                             kStartScriptName);
                TRACE_MIN(TRACE_INSTALL,
                          "Error: %s service cannot start because of missing secpack prereq. "
                          "Start Failed\n",
                          kStartScriptName);
                writeErrCodeFile(tracePath.c_str(), kCodeMissingPrereq);
                shutDownLogger();
                return 0;
            }
            break;
        default:
            std::fprintf(stderr, "Error: %s couldn't be started\n", kStartScriptName);
            TRACE_MIN(TRACE_INSTALL, "Error: %s couldn't be started", kStartScriptName);
            if (installer) writeErrCodeFile(tracePath.c_str(), kCodeStartFailed);
            return fail();
    }
    if (plugin) runPluginStep(baseDirectory);
    return finishSuccessfully();
}

int runStop(const std::string &baseDirectory, const std::string &tracePath, bool installer) {
    switch (stopService(baseDirectory.c_str())) {
        case AGENT_CMD_DONE:
            std::printf("%s successfully stopped", kServiceName);
            TRACE_MIN(TRACE_INSTALL, "%s successfully stopped", kServiceName);
            return finishSuccessfully();
        case AGENT_CMD_NOT_INSTALLED:
            std::printf("%s service doesn't seem to be installed. Stop skipped\n", kServiceName);
            TRACE_MIN(TRACE_INSTALL, "%s service doesn't seem to be installed. Stop skipped",
                      kServiceName);
            return finishSuccessfully();
        default:
            std::fprintf(stderr, "Error: %s couldn't be stopped\n", kServiceName);
            TRACE_MIN(TRACE_INSTALL, "Error: %s couldn't be stopped", kServiceName);
            if (installer) writeErrCodeFile(tracePath.c_str(), kCodeStopFailed);
            return fail();
    }
}

std::string agentBaseDirectory() {
    char directory[4096 + 1] = {};
    if (readAgentBaseDir(directory, sizeof directory) != 0)
        getOldServiceDir(directory, sizeof directory);
    std::string result = directory;
    if (result.empty() || result.back() != '/') result += '/';
    return result;
}

}  // namespace

int main(int argc, char **argv) {
    startupHygiene();
    if (answeredAlone(argc, argv)) return std::fflush(stdout) == 0 ? 0 : 1;
    initLogging();
    TRACE_MAX(TRACE_INSTALL, "main : entry");

    if (argc != 4 && argc != 5) {
        printUsage(argc, argv, 0);
        return fail();
    }

    bool installer = false;
    if (std::strcmp(argv[3], "-i") == 0) {
        installer = true;
    } else if (std::strcmp(argv[3], "-u") != 0) {
        printUsage(argc, argv, 3);
        return fail();
    }

    const bool start = std::strcmp(argv[2], "start") == 0;
    bool plugin = false;
    if (start) {
        if (argc == 5) {
            if (std::strcmp(argv[4], "-p") != 0 || !installer) {
                printUsage(argc, argv, 4);
                return fail();
            }
            plugin = true;
        }
    } else if (std::strcmp(argv[2], "stop") == 0) {
        if (argc == 5) {
            printUsage(argc, argv, 4);
            return fail();
        }
    } else {
        printUsage(argc, argv, 2);
        if (installer) writeErrCodeFile(nullptr, kCodeBadAction);
        return fail();
    }

    const std::string baseDirectory = agentBaseDirectory();
    slm_system_init();

    const std::string tracePath = argv[1];
    if (tracePath.empty()) {
        std::fprintf(stderr, "Error: trace_path parameter cannot be an empty string\n");
        TRACE_MIN(TRACE_INSTALL, "Error: trace_path parameter cannot be an empty string");
        if (installer) writeErrCodeFile(nullptr, kCodeEmptyTracePath);
        return fail();
    }

    return start ? runStart(baseDirectory, tracePath, installer, plugin)
                 : runStop(baseDirectory, tracePath, installer);
}
