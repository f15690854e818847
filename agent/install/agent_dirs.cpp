// The controller's directories.
//
// The base directory comes from the agent's ini file, a file in the agent's
// configuration syntax. Paths here are held in std::string rather than the
// fixed 1024- and 128-byte buffers of the older agents: a path that does not
// fit a caller's buffer is refused, never cut, because a cut path names some
// other directory and the controller would run programs from it.

#include "agent_dirs.h"

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "agent_trace.h"
#include "slm_conf.h"
#include "slm_paths.h"

extern "C" {
int conf_file_loaded = 0;
char baseDir[AGENT_DIR_BUFFER_SIZE] = {};
}

namespace {

// Copies text into a caller's buffer; refuses (false) when it does not fit.
bool copyOut(const char *text, char *buffer, int size) {
    if (buffer == nullptr || size <= 0) return false;
    const size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(size)) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, text, length + 1);
    return true;
}

// A fixed directory into the caller's buffer; one that does not fit whole
// is refused (1, buffer emptied), never cut into another path.
int fixedDir(const char *value, char *buffer, int size) {
    if (buffer == nullptr || size <= 0) return 1;
    std::memset(buffer, 0, static_cast<size_t>(size));
    if (std::strlen(value) >= static_cast<size_t>(size)) return 1;
    std::strcpy(buffer, value);
    return 0;
}

// Room for the longest path the system accepts, and one more byte so that a
// value that filled the buffer can be told from one that was cut.
constexpr int kValueBufferSize = 4096 + 2;

}  // namespace

int loadIniFileFrom(const char *iniPath, const char *tempDir) {
    if (slm_conf_init(tempDir) != 1) return 1;
    const int rc = loadConfFile(iniPath, 0, 0);
    if (rc == -1) return 2;
    if (rc == 1 || rc == -12) {
        conf_file_loaded = 1;
        return 0;
    }
    return 1;
}

extern "C" {

int getOldServiceDir(char *buffer, int size) { return fixedDir(SLM_OLD_SERVICE_DIR, buffer, size); }
int getOldBaseDir(char *buffer, int size) { return fixedDir(SLM_OLD_BASE_DIR, buffer, size); }
int getConfDir(char *buffer, int size) { return fixedDir(SLM_CONF_DIR, buffer, size); }
int defaultTempDir(char *buffer, int size) { return fixedDir(SLM_DEFAULT_TEMP_DIR, buffer, size); }
int getBaseDir(void) { return fixedDir(SLM_ROOT_DIR, baseDir, sizeof baseDir); }

int loadIniFile(void) {
    char confDir[AGENT_DIR_BUFFER_SIZE];
    char tempDir[AGENT_DIR_BUFFER_SIZE];
    if (getConfDir(confDir, sizeof confDir) != 0) return 1;
    const std::string iniPath = std::string(confDir) + "/" + SLM_INI_FILE_NAME;
    defaultTempDir(tempDir, sizeof tempDir);
    return loadIniFileFrom(iniPath.c_str(), tempDir);
}

int readAgentBaseDir(char *buffer, int size) {
    if (conf_file_loaded == 0) {
        const int rc = loadIniFile();
        if (rc != 0) return rc;
    }
    std::string value(kValueBufferSize, '\0');
    if (getConfigurationValue(agent_base_dir, value.data(), kValueBufferSize) != 1) return 1;
    value.resize(std::strlen(value.c_str()));
    if (value.size() >= static_cast<size_t>(kValueBufferSize) - 2) {
        TRACE_MIN(TRACE_INSTALL, "The agent base directory is too long: %s", value);
        return 1;
    }
    std::string resolved = value;
    if (resolvePath(resolved.data()) == 0)
        resolved.resize(std::strlen(resolved.c_str()));
    else
        resolved = value;
    if (!copyOut(resolved.c_str(), buffer, size)) {
        TRACE_MIN(TRACE_INSTALL, "The agent base directory is too long: %s", resolved);
        return 1;
    }
    return 0;
}

int checkPath(const char *candidate) {
    if (candidate == nullptr) return 0;
    TRACE_MAX(TRACE_INSTALL, "Checking path %s", candidate);
    struct stat info;
    if (stat(candidate, &info) == 0) {
        TRACE_MIN(TRACE_INSTALL, "Path %s found", candidate);
        return 1;
    }
    TRACE_MIN(TRACE_INSTALL, "The path %s is not present", candidate);
    return 0;
}

// Removes one "/.." step per pass. A step is "/.." followed by "/" or by the
// end of the text: "/opt/agent/..data" names a real directory and is kept
// (treating it as a step would turn it into "/opt/" and run another program).
int resolvePath(char *candidate) {
    if (candidate == nullptr) return 1;
    std::string text = candidate;
    for (;;) {
        if (!text.empty() && text[0] == '.') {
            TRACE_MIN(TRACE_INSTALL, "resolvePath - the path starts with a .");
            return 1;
        }
        size_t step = text.find("/..");
        while (step != std::string::npos && step + 3 < text.size() && text[step + 3] != '/')
            step = text.find("/..", step + 1);
        if (step == std::string::npos) {
            TRACE_MIN(TRACE_INSTALL, "resolvePath - anything to resolve");
            return 0;
        }
        // The step begins the text: there is no parent to go up to.
        if (step == 0) {
            TRACE_MIN(TRACE_INSTALL, "resolvePath - the path is wrong");
            return 1;
        }
        const std::string tail = step + 3 < text.size() ? text.substr(step + 4) : std::string();
        // The component to drop runs back to the previous "/"; it is empty
        // when the step follows a "/" directly.
        const size_t previous = text[step - 1] == '/' ? step - 1 : text.rfind('/', step - 1);
        if (previous == std::string::npos) {
            TRACE_MIN(TRACE_INSTALL, "resolvePath - the path is wrong");
            return 1;
        }
        text = text.substr(0, previous + 1) + tail;
        std::memcpy(candidate, text.c_str(), text.size() + 1);  // never longer than before
        TRACE_MIN(TRACE_INSTALL, "resolvePath - the absolute path now is %s", text);
    }
}

void correctWinPath(char *candidate) {
    if (candidate == nullptr) return;
    for (char *c = candidate; *c != '\0'; ++c)
        if (*c == '\\') *c = '/';
}

}  // extern "C"
