// The agent's service commands.
//
// The controller runs as root and takes the base directory from a file, so
// the directory must reach the shell as one word whatever it contains: it is
// double-quoted and the four characters the shell still reads inside double
// quotes are escaped. Paths are built without a length limit; a path the
// system cannot use fails its existence check as the system reports it.

#include "agent_command.h"

#include <optional>
#include <string>

#include "agent_dirs.h"
#include "agent_trace.h"
#include "system_unix.h"

namespace {

constexpr const char *kStartScript = "vrxagent.sh";
constexpr const char *kAgentProgram = "vrxagent";
constexpr const char *kApxDirectory = "apxagent";
constexpr const char *kApxClient = "apxagent/APXAgentClient.sh";

// Exit codes of the agent's commands.
constexpr int kStartedCodes[] = {0, 12};
constexpr int kMissingPrereqCode = 58;
constexpr int kStoppedCodes[] = {5, 6};

struct Outcome {
    bool exited;  // slm_system returned 1: the command ended by exiting
    int code;     // exit code, or the signal number when it did not exit
};

Outcome runCommand(const std::string &command) {
    int code = 0;
    const bool exited = slm_system(0, command.c_str(), nullptr, SLM_WAIT_DIRECT, &code) == 1;
    return {exited, code};
}

// Runs the start script with one argument word; nothing when the script is
// not there.
std::optional<Outcome> runStartScript(const char *baseDirectory, const char *word) {
    const std::string script = std::string(baseDirectory) + kStartScript;
    if (!checkPath(script.c_str())) {
        TRACE_MIN(TRACE_INSTALL, "Warning: file %s is not present", script);
        return std::nullopt;
    }
    const std::string command = buildAgentCommand(script, word);
    TRACE_MAX(TRACE_INSTALL, "Invoking command %s", command);
    return runCommand(command);
}

template <size_t N>
bool isOneOf(int code, const int (&codes)[N]) {
    for (int c : codes)
        if (c == code) return true;
    return false;
}

}  // namespace

std::string buildAgentCommand(const std::string &filePath, const char *word) {
    std::string command = "\"";
    command.reserve(filePath.size() + 16);
    for (char c : filePath) {
        if (c == '$' || c == '`' || c == '\\' || c == '"') command += '\\';
        command += c;
    }
    command += "\" ";
    command += word;
    return command;
}

extern "C" {

int startService(const char *baseDirectory) {
    if (baseDirectory == nullptr) return AGENT_CMD_NOT_INSTALLED;
    const std::optional<Outcome> outcome = runStartScript(baseDirectory, "-g");
    if (!outcome) return AGENT_CMD_NOT_INSTALLED;
    if (outcome->exited && isOneOf(outcome->code, kStartedCodes)) return AGENT_CMD_DONE;
    const std::string script = std::string(baseDirectory) + kStartScript;
    // 58 means the prerequisite is missing even when the command did not exit.
    if (outcome->code == kMissingPrereqCode) {
        TRACE_MIN(TRACE_INSTALL, "Error starting %s missing secpack prereq", script);
        return AGENT_CMD_MISSING_PREREQ;
    }
    TRACE_MIN(TRACE_INSTALL, "Error starting %s", script);
    return AGENT_CMD_FAILED;
}

int stopService(const char *baseDirectory) {
    if (baseDirectory == nullptr) return AGENT_CMD_NOT_INSTALLED;
    const std::string base = baseDirectory;
    const std::string program = base + kAgentProgram;
    if (!checkPath(program.c_str())) {
        TRACE_MIN(TRACE_INSTALL, "File %s is not present: don't need to stop", program);
        return AGENT_CMD_NOT_INSTALLED;
    }
    const std::string command = buildAgentCommand(program, "-e");
    TRACE_MAX(TRACE_INSTALL, "Invoking command %s ", command);
    const Outcome outcome = runCommand(command);
    if (!outcome.exited || !isOneOf(outcome.code, kStoppedCodes)) {
        TRACE_MIN(TRACE_INSTALL, "Error stopping %s", program);
        return AGENT_CMD_FAILED;
    }

    // The application-server agent's client goes down with the agent; its
    // outcome does not change ours.
    const std::string client = buildAgentCommand(base + kApxClient, "shutdown");
    if (!checkPath((base + kApxDirectory).c_str())) {
        TRACE_MIN(TRACE_INSTALL, "APXAgent is not present: don't need to stop");
        return AGENT_CMD_DONE;
    }
    TRACE_MIN(TRACE_INSTALL, "Invoking command %s ", client);
    runCommand(client);
    return AGENT_CMD_DONE;
}

int pluginAgent(const char *baseDirectory) {
    if (baseDirectory == nullptr) return AGENT_CMD_NOT_INSTALLED;
    const std::optional<Outcome> outcome = runStartScript(baseDirectory, "-p");
    if (!outcome) return AGENT_CMD_NOT_INSTALLED;
    if (outcome->exited && outcome->code == 0) return AGENT_CMD_DONE;
    TRACE_MIN(TRACE_INSTALL, "Error invoking command (rc=%d)", outcome->code);
    return AGENT_CMD_FAILED;
}

}  // extern "C"
