// A child process that takes a System V semaphore lock and holds it until
// told to let go (or until it is killed), for tests of cross-process locking.
#ifndef VRX_SEM_HOLDER_H
#define VRX_SEM_HOLDER_H

#include "CxMutex.h"
#include "toolkit_test.h"

namespace vrxtest {

// A child process that holds the lock until told to let go.
class Holder {
public:
    explicit Holder(int32_t key) {
        if (pipe(toChild_) != 0 || pipe(fromChild_) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            CxSem sem = -1;
            char c = ok(CxSemOpen(&sem, key)) && ok(CxSemLock(&sem)) ? 'L' : 'E';
            if (write(fromChild_[1], &c, 1) != 1) _exit(2);
            if (read(toChild_[0], &c, 1) != 1) _exit(3);
            _exit(ok(CxSemUnlock(&sem)) ? 0 : 4);
        }
        char c = 0;
        locked_ = read(fromChild_[0], &c, 1) == 1 && c == 'L';
    }
    ~Holder() {
        for (int fd : {toChild_[0], toChild_[1], fromChild_[0], fromChild_[1]})
            close(fd);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool locked() const { return locked_; }
    void release() {
        const char c = 'R';
        if (write(toChild_[1], &c, 1) != 1) std::abort();
    }
    void kill9() { kill(pid_, SIGKILL); }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    int toChild_[2] = {-1, -1};
    int fromChild_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool locked_ = false;
};

}  // namespace vrxtest

#endif  // VRX_SEM_HOLDER_H
