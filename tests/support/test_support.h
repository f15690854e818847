// Helpers shared by the tests: a private temporary directory removed at the
// end, whole-file read and write, guards that restore what a test changes
// (environment, working directory, umask), capture of what the code under
// test prints on standard output and standard error, a command's output,
// child processes, and a private network (loopback only) for tests that run
// daemons.
#ifndef VRX_TEST_SUPPORT_H
#define VRX_TEST_SUPPORT_H

// Everything the tests take from the system, the C++ library and GoogleTest
// is included here, once: a test file includes this (or a helper that
// does) and the headers of the code it tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sem.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

// Every test file says "fs" for the file system library.
namespace fs = std::filesystem;

namespace vrxtest {

// A child process running `body`, which exits with what the body returns.
template <class Body>
pid_t startChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

// How a child ended: its exit status, or 128 and the signal that killed it.
inline int waitChild(pid_t pid) {
    int status = -1;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class TempDir {
public:
    TempDir() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vrxtest.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string &path, const std::string &content, mode_t mode = 0644) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    chmod(path.c_str(), mode);
}

inline std::optional<std::string> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The permission bits of a path (0 when it cannot be examined).
inline mode_t modeOf(const std::string &path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

// Sets (or, with null, unsets) an environment variable for a scope.
class EnvGuard {
public:
    EnvGuard(const char *name, const char *value) : name_(name) {
        const char *old = std::getenv(name);
        if (old != nullptr) old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    EnvGuard(const EnvGuard &) = delete;
    EnvGuard &operator=(const EnvGuard &) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Works in a fresh temporary directory for a scope, so no file left in the
// caller's working directory is found and nothing is left behind.
class CwdGuard {
public:
    CwdGuard() {
        char old[4096];
        if (getcwd(old, sizeof old) == nullptr || chdir(dir_.path().c_str()) != 0) std::abort();
        old_ = old;
    }
    ~CwdGuard() {
        if (chdir(old_.c_str()) != 0) std::abort();
    }
    CwdGuard(const CwdGuard &) = delete;
    CwdGuard &operator=(const CwdGuard &) = delete;
    const TempDir &dir() const { return dir_; }

private:
    TempDir dir_;
    std::string old_;
};

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : old_(umask(mask)) {}
    ~UmaskGuard() { umask(old_); }
    UmaskGuard(const UmaskGuard &) = delete;
    UmaskGuard &operator=(const UmaskGuard &) = delete;

private:
    mode_t old_;
};

// Files may grow to `bytes` while it lives; a write past that fails with
// EFBIG (SIGXFSZ is ignored) instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previous_(signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        if (setrlimit(RLIMIT_FSIZE, &limited) != 0) std::abort();
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    sighandler_t previous_;
};

// What is written to a standard descriptor (1 or 2) during its lifetime,
// C stdio included: stdio is flushed on both sides of the capture.
class OutputCapture {
public:
    explicit OutputCapture(int fd) : fd_(fd) {
        std::fflush(nullptr);
        saved_ = dup(fd);
        const int file = open(file_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (saved_ < 0 || file < 0 || dup2(file, fd) < 0) std::abort();
        close(file);
    }
    ~OutputCapture() { restore(); }
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    // Ends the capture (once) and returns everything captured.
    std::string text() {
        restore();
        return readFile(file_).value_or("");
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(nullptr);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    int fd_;
    int saved_ = -1;
    TempDir dir_;
    std::string file_ = dir_ / "captured";
};

// A System V semaphore key no other run uses (derived from the pid and a
// salt), with its set removed before and after the test.
class PrivateKey {
public:
    explicit PrivateKey(int salt)
        : key_(static_cast<int32_t>(0x4B000000 ^ (getpid() << 6) ^ salt)) {
        remove();
    }
    ~PrivateKey() { remove(); }
    PrivateKey(const PrivateKey &) = delete;
    PrivateKey &operator=(const PrivateKey &) = delete;
    int32_t key() const { return key_; }
    int value() const { return semctl(semget(key_, 1, 0), 0, GETVAL); }
    bool exists() const { return semget(key_, 1, 0) >= 0; }

private:
    void remove() const {
        const int id = semget(key_, 1, 0);
        if (id >= 0) semctl(id, 0, IPC_RMID);
    }
    int32_t key_;
};

// `text` with each name replaced by its value, everywhere it stands (a
// value is never searched again for names).
inline std::string filled(std::string text,
                          const std::vector<std::pair<std::string, std::string>> &values) {
    for (const auto &[name, value] : values)
        for (size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + value.size()))
            text.replace(at, name.size(), value);
    return text;
}

// What `command` (run by the shell) writes on standard output; `ok`, when
// given, says whether it exited 0.
inline std::string commandOutput(const std::string &command, bool *ok = nullptr) {
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    char chunk[65536];
    for (size_t n; pipe != nullptr && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, n);
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    if (ok != nullptr) *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return output;
}

// Moves this process into a new network namespace with its loopback up.
// False when that cannot be had.
inline bool enterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) return false;
    const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    loopback.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    const bool up = control >= 0 && ioctl(control, SIOCSIFFLAGS, &loopback) == 0;
    if (control >= 0) close(control);
    return up;
}

}  // namespace vrxtest

#endif  // VRX_TEST_SUPPORT_H
