// Child processes.
//
// TEMPORARY STAND-IN: a minimal implementation to be replaced by the full
// child-process layer (registry, reaper, pipes, detached children). It runs
// one command at a time and always waits on the child's pid, which is all the
// controller needs; its results are those of the real layer.
//
// What the child gets, and why:
// - descriptors 1 and up are closed (the agent's commands must not inherit
//   the controller's files) and 1 and 2 reopened on /dev/null, so a command
//   that writes to them, or opens a file, cannot land on a stray descriptor;
// - an empty LD_LIBRARY_PATH, as the agent's children always get;
// - all signals unblocked; a failed exec ends the child with SIGKILL so it
//   never returns into the caller's code.

#include "system_unix.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "agent_trace.h"
#include "slm_paths.h"

namespace {

bool initialized = false;
bool enabled = false;

[[noreturn]] void runChild(const char *command, const char *directory, unsigned int flags) {
    sigset_t all;
    sigemptyset(&all);
    close_range(1, ~0U, 0);
    const int devNull = open(SLM_DEV_NULL, O_RDWR);  // lowest free: 1, or 0 if stdin was closed
    if (devNull >= 0) {
        if (devNull != 1) dup2(devNull, 1);
        dup2(devNull, 2);
    }
    if (directory != nullptr && chdir(directory) != 0) kill(getpid(), SIGKILL);
    putenv(const_cast<char *>("LD_LIBRARY_PATH="));
    if (flags & SLM_DETACH_PROCESS) setsid();
    sigprocmask(SIG_SETMASK, &all, nullptr);
    execl(SLM_SHELL_PATH, "sh", "-c", command, static_cast<char *>(nullptr));
    kill(getpid(), SIGKILL);
    _exit(127);
}

}  // namespace

extern "C" {

int slm_system_init(void) {
    initialized = true;
    enabled = true;
    return 0;
}

void slm_system_shutdown(void) {
    if (initialized) enabled = false;
}

int slm_system(int, const char *command, const char *directory, unsigned int flags,
               int *exitCodeOut) {
    if (command == nullptr || !initialized || !enabled) return 0;

    // Whatever stdio holds must not be written a second time by the child.
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        TRACE_MIN(TRACE_SYSTEM,
                  "slm_spawn_process: failure executing fork() system call - errno: %d", errno);
        return 0;
    }
    if (pid == 0) runChild(command, directory, flags);
    if (flags & SLM_DETACH_PROCESS) return 1;

    for (;;) {
        int status = 0;
        const pid_t got = waitpid(pid, &status, WUNTRACED);
        if (got < 0) {
            if (errno == EINTR) continue;
            return 0;  // the child is gone from under us: no status to report
        }
        if (WIFSTOPPED(status)) {
            if (!(flags & SLM_KEEP_STOPPED)) kill(pid, SIGKILL);
            continue;
        }
        if (WIFEXITED(status)) {
            if (exitCodeOut != nullptr) *exitCodeOut = WEXITSTATUS(status);
            return 1;
        }
        if (exitCodeOut != nullptr) *exitCodeOut = WTERMSIG(status);
        return 0;
    }
}

}  // extern "C"
