// Processes and their exit statuses.

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "CxProcess.h"

extern "C" {

const char *CxProcessGetEnv(const char *name) {
    return name != nullptr ? std::getenv(name) : nullptr;
}

int64_t CxProcessGetCurrentID(void) { return getpid(); }

CxPlatformErr CxProcessGetCwd(char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) return cxPlatformFail(EINVAL);
    if (getcwd(buffer, size) == nullptr) {
        buffer[0] = '\0';
        return cxPlatformFail(errno);
    }
    return cxPlatformOk();
}

CxPlatformErr CxProcessCreate(int32_t *pid, const char *path, char *const argv[]) {
    if (pid == nullptr || path == nullptr || *path == '\0') return cxPlatformFail(EINVAL);
    *pid = -1;
    const pid_t child = fork();
    if (child < 0) return cxPlatformFail(errno);
    if (child == 0) {
        execv(path, argv);
        _exit(127);
    }
    *pid = child;
    return cxPlatformOk();
}

CxPlatformErr CxProcessWaitFor(int32_t *pid, CxProcessStatus *status, int block) {
    // 0 and negative ids name process groups or any child: a wait on them
    // could collect another child's status and lose it.
    if (pid == nullptr || status == nullptr || *pid <= 0) return cxPlatformFail(EINVAL);
    *status = CxProcessStatus{};
    int raw = 0;
    pid_t got;
    do
        got = waitpid(*pid, &raw, (block & 0xFF) != 0 ? 0 : WNOHANG);
    while (got < 0 && errno == EINTR);
    if (got < 0) return cxPlatformFail(errno);
    if (got == *pid) {
        status->ended = 1;
        if (WIFEXITED(raw)) status->exit_code = WEXITSTATUS(raw);
        if (WIFSIGNALED(raw)) {
            status->signalled = 1;
            status->signal = WTERMSIG(raw);
        }
    }
    return cxPlatformOk();
}

CxPlatformErr CxProcessRelease(int32_t pid) {
    return pid == 0 ? cxPlatformFail(EINVAL) : cxPlatformOk();
}

}  // extern "C"
