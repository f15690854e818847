// kvldrain: writes the records that asynchronous handlers of dead
// processes left in their queue files, for a program that will not run
// again to write them itself. See kvldrain(1).
//
// Each queue names the file its target wrote; the records are appended to
// it whole, in order, and only then is the queue removed, so a drain that
// fails leaves the queue for another try. A queue still locked belongs to a
// living process and is left alone.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "CxFile.h"
#include "KvlQueueFile.h"

namespace {

constexpr const char *kUsage =
    "Usage: kvldrain [--list] QUEUEDIR\n"
    "       kvldrain --help | --version\n"
    "Writes the records that asynchronous handlers of processes that died left in\n"
    "the queue files of QUEUEDIR, each appended to the file its handler's target\n"
    "wrote (standard output for a target without one), then removes the queue.\n"
    "Queues of living processes are left alone. --list only shows what is\n"
    "pending. Exit status: 0 every queue written, 1 a queue could not be written\n"
    "(it stays), 2 the command line is wrong.\n";

// Appends the texts to the file (or standard output for ""): true when
// every byte was written.
bool append(const std::string &file, const std::vector<std::string> &texts, std::string &error) {
    const int fd =
        file.empty()
            ? STDOUT_FILENO
            : open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = true;
    CxFile out = fd;
    for (const std::string &text : texts) {
        const CxPlatformErr status = CxFileWriteAll(&out, text.data(), text.size(), nullptr);
        if (status.kind != CX_PLATFORM_ERR_OK) {
            error = std::strerror(status.code);
            ok = false;
            break;
        }
    }
    if (fd != STDOUT_FILENO && close(fd) != 0 && ok) {
        error = std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    bool list = false;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "kvldrain (" VRX_PACKAGE_NAME ") " VRX_PACKAGE_VERSION "\n";
            return 0;
        }
        if (arg == "--list") {
            list = true;
        } else if (dir.empty() && !arg.empty() && arg[0] != '-') {
            dir = arg;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (dir.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    int status = 0;
    for (kvl::queue::OrphanQueue &queue : kvl::queue::orphanQueues(dir, "")) {
        const kvl::queue::Recovery got = queue.read();
        const std::string target = got.targetFile.empty() ? "standard output" : got.targetFile;
        std::ostream &out = list ? std::cout : std::cerr;
        out << queue.path() << ": handler " << got.objectName << ", " << got.texts.size()
            << " records for " << target;
        if (got.damaged)
            out << "; damaged (" << got.problem << "): " << got.lostBytes << " bytes lost";
        out << "\n";
        if (list) continue;
        std::string error;
        if (!append(got.targetFile, got.texts, error)) {
            std::cerr << queue.path() << ": cannot write " << target << ": " << error
                      << "; the queue stays\n";
            status = 1;
            continue;
        }
        queue.remove();
    }
    return status;
}
