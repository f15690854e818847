// Child processes.
//
// One module-wide lock (a pipe semaphore) guards the registry and the
// enabled flag; waiters either wait on their child's pid themselves
// (SLM_WAIT_DIRECT, dropping the lock while blocked) or sleep on the
// module's condition until the embedding program's reaper marks their
// record done.
//
// Between fork and exec the child makes only async-signal-safe calls: the
// argument vector, the environment and the candidate paths of a PATH search
// are all built before the fork. What a child gets, and why:
// - descriptors 1 and up are closed (close_range, or a loop up to the
//   descriptor limit) and 1 and 2 reopened on /dev/null: left closed, they
//   would be handed to the first files the agent's scripts open, and what the
//   scripts print would end up in those files;
// - LD_LIBRARY_PATH set to INXcfgDir when the command names that directory
//   (an empty INXcfgDir is named by every command);
// - an empty signal mask; a failed change of directory or exec ends the
//   child with SIGKILL, so it never returns into the caller's code.
//
// Linux has no per-process information record; a process's command line is
// read from /proc/<pid>/cmdline (or /proc/<pid>/comm when that is empty) and
// cut to the 79 characters the record's field held.

#include "system_unix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_trace.h"
#include "list.h"
#include "mutex.h"
#include "slm_paths.h"

extern char **environ;

extern "C" {
char INXcfgDir[1024] = {};
}

namespace {

slm_list *childProcesses = nullptr;
int (*killProcess)(int, int) = kill;
slm_sem m{-1, -1};
slm_cond cv{};
bool syncCreated = false;
std::atomic<int> slm_system_initialized{0};
std::atomic<int> slm_system_enabled{0};

void lock() { waitSem(&m); }
void unlock() { postSem(&m); }

// Takes the lock when the layer is up; false (lock not held) otherwise.
bool enterLayer() {
    if (!slm_system_initialized) return false;
    lock();
    if (!slm_system_enabled) {
        unlock();
        return false;
    }
    return true;
}

slm_child *findChild(int32_t pid) {
    for (void *value = getNext(childProcesses, nullptr); value != nullptr;
         value = getNext(childProcesses, value)) {
        auto *record = static_cast<slm_child *>(value);
        if (record->pid == pid) return record;
    }
    return nullptr;
}

// Everything the child needs, made before the fork.
struct ExecPlan {
    std::vector<std::string> paths;  // tried in order
    std::vector<char *> argv;
    char **envp = environ;
    std::string directory;
    bool hasDirectory = false;
    bool detach = false;

    std::string words;  // backing store of a split command
    std::vector<char *> environment;
    std::string libraryPath;
};

long descriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<long>(limit.rlim_cur);
    return 65536;
}

void closeFrom(int first, long limit) {
    if (syscall(SYS_close_range, first, ~0U, 0) == 0) return;
    for (long fd = first; fd < limit; ++fd)
        close(static_cast<int>(fd));
}

// Points the descriptors 1 and 2 at /dev/null.
void nullOutputs() {
    const int devNull = open(SLM_DEV_NULL, O_RDWR);
    if (devNull < 0) return;
    if (devNull != 1) dup2(devNull, 1);
    if (devNull != 2) dup2(devNull, 2);
    if (devNull > 2) close(devNull);
}

// Makes `fd` the child's inheritable descriptor `target` (async-signal-safe).
void inheritAs(int fd, int target) {
    if (fd != target)
        dup2(fd, target);
    else
        fcntl(fd, F_SETFD, 0);
}

[[noreturn]] void dieInChild() {
    kill(getpid(), SIGKILL);
    _exit(127);
}

[[noreturn]] void execPlan(const ExecPlan &plan) {
    sigset_t none;
    sigemptyset(&none);
    if (plan.detach) setsid();
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const std::string &path : plan.paths) {
        execve(path.c_str(), plan.argv.data(), plan.envp);
        if (errno != ENOENT && errno != ENOTDIR && errno != EACCES) break;
    }
    dieInChild();
}

void flushStdio() {
    // Whatever stdio holds must not be written a second time by a child.
    std::fflush(stdout);
    std::fflush(stderr);
}

// The environment with LD_LIBRARY_PATH replaced, when the command names
// INXcfgDir.
void planEnvironment(ExecPlan &plan, const char *command) {
    if (std::strstr(command, INXcfgDir) == nullptr) return;
    plan.libraryPath = std::string("LD_LIBRARY_PATH=") + INXcfgDir;
    for (char **entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0) plan.environment.push_back(*entry);
    plan.environment.push_back(plan.libraryPath.data());
    plan.environment.push_back(nullptr);
    plan.envp = plan.environment.data();
}

// The places execvp would try for a program name, in its order.
std::vector<std::string> searchPath(const char *program) {
    if (std::strchr(program, '/') != nullptr) return {program};
    const char *path = std::getenv("PATH");
    const std::string list = path != nullptr ? path : "/bin:/usr/bin";
    std::vector<std::string> candidates;
    size_t start = 0;
    for (;;) {
        const size_t end = list.find(':', start);
        std::string dir = list.substr(start, end == std::string::npos ? end : end - start);
        candidates.push_back((dir.empty() ? std::string(".") : dir) + "/" + program);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return candidates;
}

slm_child *systemWait(slm_child *record, unsigned int flags) {
    if (!(flags & SLM_LISTED)) {
        record->done = 0;
        record->flags = flags;
        if (append(childProcesses, record) != 0) return nullptr;
    }
    if (flags & SLM_NO_WAIT) return nullptr;
    const int32_t pid = record->pid;

    if (!(flags & SLM_WAIT_DIRECT)) {
        if (!slm_system_enabled) return nullptr;
        slm_child *registered = findChild(pid);
        while (registered != nullptr && registered->done != 1) {
            waitCond(&cv, &m);
            if (!slm_system_enabled) return nullptr;
            registered = findChild(pid);
        }
        return registered;
    }

    slm_child *registered = findChild(pid);
    while (registered != nullptr && registered->done != 1) {
        unlock();
        int status = 0;
        pid_t got;
        do
            got = waitpid(pid, &status, WUNTRACED);
        while (got < 0 && errno == EINTR);
        const int waitError = got < 0 ? errno : 0;
        lock();
        if (!slm_system_enabled) return nullptr;
        registered = findChild(pid);
        if (registered == nullptr) return nullptr;
        if (got == pid) {
            slm_handle_child_status(registered, status);
            registered = findChild(pid);
        } else if (got < 0 && registered->done != 1) {
            // No status will ever come (the child is not ours, or was reaped
            // elsewhere): end the wait instead of looping for ever.
            TRACE_MIN(TRACE_SYSTEM, "slm_system_wait: failure waiting for pid %d - errno: %d",
                      static_cast<int>(pid), waitError);
            registered->done = 1;
            registered->abnormal = 1;
            registered->code = -1;
        }
    }
    return registered;
}

}  // namespace

void slmSystemSetKillForTest(int (*killFunction)(int, int)) {
    killProcess = killFunction != nullptr ? killFunction : kill;
}

int slmSplitCommand(char *command, char *words[]) {
    const auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto isQuote = [](char c) { return c == '\'' || c == '"'; };
    int count = 0;
    char *p = command;
    char pendingQuote = 0;  // a plain word ended at this quote, which opens the next word
    while (p != nullptr && count < SLM_MAX_WORDS) {
        char quote = pendingQuote;
        pendingQuote = 0;
        if (quote == 0) {
            bool blanks = false;
            while (isBlank(*p)) {
                *p++ = '\0';
                blanks = true;
            }
            if (*p == '\0') {
                if (blanks) words[count++] = p;  // trailing blanks: one last, empty word
                break;
            }
            if (isQuote(*p)) {
                quote = *p;
                *p++ = '\0';
            }
        }
        words[count++] = p;
        if (quote != 0) {  // runs to the closing quote, or the end of the text
            char *close = std::strchr(p, quote);
            if (close == nullptr) break;
            *close = '\0';
            p = close + 1;
            continue;
        }
        while (*p != '\0' && !isBlank(*p) && !isQuote(*p))
            ++p;
        if (isQuote(*p)) {
            pendingQuote = *p;
            *p++ = '\0';
        }
    }
    words[count] = nullptr;
    return count;
}

extern "C" {

int slm_system_init(void) {
    if (slm_system_initialized && slm_system_enabled) return 0;
    childProcesses = createList(sizeof(slm_child));
    if (childProcesses == nullptr) {
        TRACE_MIN(TRACE_START_STOP, "slm_system_init: failure creating process info list");
        return -1;
    }
    // The lock and the condition outlive a shutdown, so the layer can be
    // started again in the same process.
    if (!syncCreated) {
        if (createSem(&m, 1) != 0) {
            TRACE_MIN(TRACE_START_STOP, "slm_system_init: failure creating mutex");
            deleteList(childProcesses);
            childProcesses = nullptr;
            return -1;
        }
        if (createCond(&cv) != 0) {
            TRACE_MIN(TRACE_START_STOP, "slm_system_init: failure creating cond var");
            deleteSem(&m);
            deleteList(childProcesses);
            childProcesses = nullptr;
            return -1;
        }
        syncCreated = true;
    }
    slm_system_initialized = 1;
    slm_system_enabled = 1;
    return 0;
}

void slm_system_shutdown(void) {
    if (!slm_system_initialized) return;
    lock();
    slm_system_enabled = 0;
    std::vector<slm_child> killed;
    for (void *value = getNext(childProcesses, nullptr); value != nullptr;
         value = getNext(childProcesses, value)) {
        const auto *record = static_cast<const slm_child *>(value);
        if (!(record->flags & SLM_WAIT_DIRECT)) killed.push_back(*record);
    }
    for (const slm_child &record : killed) {
        // A reaped child's pid may already belong to another process.
        if (record.done == 1) {
            listRemove(childProcesses, &record);
            continue;
        }
        if (killProcess(record.pid, SIGKILL) != 0)
            TRACE_MIN(TRACE_START_STOP,
                      "slm_system_shutdown: failure killing process (pid = %d) - errno: %d",
                      static_cast<int>(record.pid), errno);
        listRemove(childProcesses, &record);
    }
    deleteList(childProcesses);
    childProcesses = nullptr;
    broadcastCond(&cv);
    unlock();
}

int slm_spawn_process(int, const char *command, const char *directory, unsigned int flags) {
    if (command == nullptr) return -1;
    ExecPlan plan;
    if (flags & SLM_NO_SHELL) {
        plan.words = command;
        plan.argv.assign(SLM_MAX_WORDS + 1, nullptr);
        const int count = slmSplitCommand(plan.words.data(), plan.argv.data());
        plan.paths = {count > 0 ? plan.argv[0] : ""};
    } else {
        plan.paths = {SLM_SHELL_PATH};
        plan.argv = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                     const_cast<char *>(command), nullptr};
    }
    planEnvironment(plan, command);
    plan.hasDirectory = directory != nullptr;
    if (plan.hasDirectory) plan.directory = directory;
    plan.detach = (flags & SLM_DETACH_PROCESS) != 0;
    const long limit = descriptorLimit();

    flushStdio();
    const pid_t pid = fork();
    if (pid < 0) {
        TRACE_MIN(TRACE_SYSTEM,
                  "slm_spawn_process: failure executing fork() system call - errno: %d", errno);
        return -1;
    }
    if (pid == 0) {
        closeFrom(1, limit);
        nullOutputs();
        if (plan.hasDirectory && chdir(plan.directory.c_str()) != 0) dieInChild();
        execPlan(plan);
    }
    return pid;
}

int slm_system(int, const char *command, const char *directory, unsigned int flags,
               int *exitCodeOut) {
    if (command == nullptr || !enterLayer()) return 0;
    slm_child record{};
    record.pid = slm_spawn_process(0, command, directory, flags);
    if (record.pid < 0) {
        unlock();
        return 0;
    }
    if (flags & SLM_DETACH_PROCESS) {
        unlock();
        return 1;
    }
    const slm_child *registered = systemWait(&record, flags);
    if (registered != nullptr && slm_system_enabled) {
        record = *registered;
        listRemove(childProcesses, registered);
        if (exitCodeOut != nullptr) *exitCodeOut = record.code;
        unlock();
        return record.abnormal == 0 ? 1 : 0;
    }
    unlock();
    return 0;
}

int slm_popen(char *const argv[], int *inputFdOut, int *outputFdOut, slm_child *record,
              unsigned int flags) {
    if (!enterLayer()) return 0;
    if (record == nullptr || argv == nullptr || argv[0] == nullptr) {
        TRACE_MIN(TRACE_SYSTEM, "slm_popen: Bad new_child argument");
        unlock();
        return 0;
    }
    *record = slm_child{};
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    const auto closePipes = [&] {
        for (int fd : {input[0], input[1], output[0], output[1]})
            if (fd >= 0) close(fd);
    };
    if (inputFdOut != nullptr) {
        if (pipe2(input, O_CLOEXEC) != 0) {
            TRACE_MIN(TRACE_SYSTEM, "slm_popen: failure opening pipe to command input - errno: %d",
                      errno);
            unlock();
            return 0;
        }
        TRACE_MAX(TRACE_SYSTEM,
                  "slm_popen: created the pipe to get process stdin (fdesc0=%d, fdesc1=%d)",
                  input[0], input[1]);
    }
    if (outputFdOut != nullptr) {
        if (pipe2(output, O_CLOEXEC) != 0) {
            TRACE_MIN(TRACE_SYSTEM, "slm_popen: failure opening pipe to command output - errno: %d",
                      errno);
            closePipes();
            unlock();
            return 0;
        }
        TRACE_MAX(TRACE_SYSTEM,
                  "slm_popen: created the pipe to get process stdout (fdesc0=%d, fdesc1=%d)",
                  output[0], output[1]);
    }

    ExecPlan plan;
    plan.paths = searchPath(argv[0]);
    for (char *const *arg = argv; *arg != nullptr; ++arg)
        plan.argv.push_back(*arg);
    plan.argv.push_back(nullptr);
    plan.detach = (flags & SLM_DETACH_PROCESS) != 0;

    flushStdio();
    const pid_t pid = fork();
    if (pid < 0) {
        TRACE_MIN(TRACE_SYSTEM, "slm_popen: failure on fork() system call - errno: %d", errno);
        closePipes();
        unlock();
        return 0;
    }
    if (pid == 0) {
        // The pipe ends are close-on-exec; dup2 makes the standard copies
        // inheritable. A pipe end that is a standard descriptor already (the
        // caller had it closed) keeps its number and loses the flag.
        const int in = input[0] >= 0 ? input[0] : open(SLM_DEV_NULL, O_RDONLY | O_CLOEXEC);
        if (in >= 0) inheritAs(in, 0);
        if (output[1] >= 0) {
            inheritAs(output[1], 1);
            inheritAs(output[1], 2);
        } else {
            nullOutputs();
        }
        execPlan(plan);
    }

    if (input[0] >= 0) close(input[0]);
    if (output[1] >= 0) close(output[1]);
    if (inputFdOut != nullptr) *inputFdOut = input[1];
    if (outputFdOut != nullptr) *outputFdOut = output[0];
    record->pid = pid;
    if (!(flags & SLM_DETACH_PROCESS)) systemWait(record, flags | SLM_NO_WAIT);
    unlock();
    TRACE_MAX(TRACE_SYSTEM, "slm_popen: pid = %d, new_child->pid = %d", static_cast<int>(pid),
              static_cast<int>(record->pid));
    return pid;
}

int slm_pclose(int inputFd, int outputFd, slm_child *record, int *exitCodeOut, unsigned int flags) {
    // The descriptors are the caller's to give up whatever state the layer
    // is in; left open, a child writing to them could block for ever.
    if (inputFd >= 0) close(inputFd);
    if (outputFd >= 0) close(outputFd);
    if (!enterLayer()) return 0;
    if (flags & SLM_DETACH_PROCESS) {
        TRACE_MID(TRACE_SYSTEM,
                  "Flag SLM_DETACH_PROCESS passed: child process exit code not retrieved ");
        unlock();
        return 0;
    }
    const slm_child *registered =
        record != nullptr ? systemWait(record, flags | SLM_LISTED) : nullptr;
    if (registered != nullptr) {
        *record = *registered;
        listRemove(childProcesses, registered);
        if (exitCodeOut != nullptr) *exitCodeOut = record->code;
        TRACE_MID(TRACE_SYSTEM, "Retrieved child process exit value: %d, pid : %d, state: %d",
                  static_cast<int>(record->code), static_cast<int>(record->pid),
                  static_cast<int>(record->done));
    } else {
        if (exitCodeOut != nullptr) *exitCodeOut = -1;
        TRACE_MIN(TRACE_SYSTEM, "Error: slm_pclose failed retrieving child process exit value");
    }
    unlock();
    return 0;
}

int slm_child_exited(void) {
    if (!enterLayer()) return -1;
    int result = 0;
    for (;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG | WUNTRACED);
        if (pid > 0) {
            slm_child *registered = findChild(pid);
            if (registered != nullptr) slm_handle_child_status(registered, status);
            continue;  // pids not in the registry are dropped
        }
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0 && errno != ECHILD) result = -1;
        break;
    }
    broadcastCond(&cv);
    unlock();
    return result;
}

void slm_handle_child_status(slm_child *record, int status) {
    if (record == nullptr) return;
    const int low = status & 0xFF;
    const int high = (status >> 8) & 0xFF;
    if (low == 0x7F && high != 0) {  // stopped by a signal
        if (!(record->flags & SLM_KEEP_STOPPED)) kill(record->pid, SIGKILL);
        return;
    }
    record->done = 1;
    if (status == 0x7F) {
        record->abnormal = 1;
        record->code = 127;
    } else if (low == 0) {
        record->abnormal = 0;
        record->code = high;
    } else {
        record->abnormal = 1;
        record->code = high == 0 ? (status & 0x7F) : -1;
    }
    if ((record->flags & SLM_DETACH_PROCESS) && slm_system_enabled)
        listRemove(childProcesses, record);
}

int slm_stop_process(int pid) {
    if (kill(pid, SIGTERM) == 0) return 0;
    TRACE_MIN(TRACE_SYSTEM, "slm_stop_process: failure while stopping the process - errno: %d",
              errno);
    return -1;
}

int slm_check_process(int pid) {
    if (kill(pid, 0) == 0) return 0;
    const int error = errno;
    TRACE_MIN(TRACE_SYSTEM, "slm_check_process: failure while executing kill() - errno: %d", error);
    return error == ESRCH ? -1 : 0;
}

int slm_get_process_cmdline(int pid, char *buffer, int size) {
    constexpr size_t kFieldLength = 79;  // the 80-byte field less its terminator
    const auto readProc = [pid](const char *name, std::string &text) -> int {
        const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            TRACE_MIN(TRACE_SYSTEM, "slm_get_process_cmdline: failure opening file %s - errno: %d",
                      path, errno);
            return -1;
        }
        char chunk[256];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        close(fd);
        if (got < 0) {
            TRACE_MIN(TRACE_SYSTEM, "slm_get_process_cmdline: failure reading data from psfile");
            return -1;
        }
        text.assign(chunk, static_cast<size_t>(got));
        return 0;
    };

    std::string text;
    if (readProc("cmdline", text) != 0) return -1;
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    if (text.empty()) {
        if (readProc("comm", text) != 0) return -1;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
            text.pop_back();
    }
    for (char &c : text)
        if (c == '\0') c = ' ';
    if (text.size() > kFieldLength) text.resize(kFieldLength);
    if (buffer == nullptr || static_cast<long>(text.size()) >= size) return -1;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

int set_env_var(const char *name, const char *value) {
    if (name == nullptr || value == nullptr) {
        TRACE_MIN(TRACE_SYSTEM, "Error: set_env_var bad args");
        return 1;
    }
    const size_t length = std::strlen(name) + std::strlen(value) + 2;
    auto *entry = static_cast<char *>(std::malloc(length));
    if (entry == nullptr) {
        TRACE_MIN(TRACE_SYSTEM, "Error: malloc failed");
        return 1;
    }
    std::snprintf(entry, length, "%s=%s", name, value);
    // On success the entry belongs to the environment for good.
    if (putenv(entry) != 0) {
        TRACE_MIN(TRACE_SYSTEM, "Error: error setting env var using putenv(%s) - errno: %d", entry,
                  errno);
        std::free(entry);
        return 1;
    }
    TRACE_MAX(TRACE_SYSTEM, "Env var setted: %s", entry);
    return 0;
}

int get_env_var(const char *name, char *buffer, int size) {
    if (name == nullptr || buffer == nullptr || size <= 0) {
        TRACE_MIN(TRACE_SYSTEM, "Error: get_env_var bad args");
        return 1;
    }
    const char *value = std::getenv(name);
    if (value == nullptr) return 0;
    const size_t length = std::min(std::strlen(value), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, value, length);
    buffer[length] = '\0';
    TRACE_MAX(TRACE_SYSTEM, "Env var retrieved: %s=%s", name, buffer);
    return 0;
}

int get_env_var_len(const char *name, int *lengthOut) {
    if (name == nullptr || lengthOut == nullptr) {
        TRACE_MIN(TRACE_SYSTEM, "Error: get_env_var_len bad args");
        return 1;
    }
    const char *value = std::getenv(name);
    *lengthOut = value != nullptr ? static_cast<int>(std::strlen(value)) : 0;
    return 0;
}

}  // extern "C"
