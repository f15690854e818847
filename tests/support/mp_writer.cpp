// The multi-process writer: one process of a shared-log test. It opens the
// toolkit, writes `count` records through a multi-process file handler
// (4096-byte files, four in the set) and, once each logging call has
// returned, appends the record's sequence number to its acknowledgement
// file. Backups that would be dropped are moved into `dir`/archive under
// a name that sorts in the order they were dropped, so a test sees every
// record ever written.
//
//   kvl_mp_writer DIR KEY WRITER COUNT [sync|async|segv]
//
// "async" writes through an asynchronous handler (queues in DIR/queues)
// over a set of 64 KiB files, five in the set; "segv" does too and then
// raises SIGSEGV instead of closing.
//
// A record reads "W<writer> <sequence> <padding>"; mp_record.h checks one.

#include "KvlClasses.h"
#include "mp_record.h"
#include "toolkit_test.h"

namespace {

std::string archiveDir;

int archive(const char *name) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);  // the drop runs under the semaphore: ordered
    char target[64];
    std::snprintf(target, sizeof target, "/%020lld-%d",
                  static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, getpid());
    if (rename(name, (archiveDir + target).c_str()) == 0 || errno == ENOENT) return 0;
    return -1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 5 && argc != 6) return 2;
    const std::string mode = argc == 6 ? argv[5] : "sync";
    const bool async = mode != "sync";
    if (mode == "segv") signal(SIGSEGV, SIG_DFL);  // not a sanitizer's own
    const std::string dir = argv[1];
    const int key = std::atoi(argv[2]), writer = std::atoi(argv[3]), count = std::atoi(argv[4]);
    archiveDir = dir + "/archive";
    kvlSetBackupDropHookForTest(archive);
    const std::string ackName = dir + "/ack" + std::to_string(writer);
    const int ack = open(ackName.c_str(), O_CREAT | O_WRONLY | O_APPEND | O_CLOEXEC, 0644);
    if (ack < 0 || KvlOpenToolkit(nullptr) != 1) return 3;
    vrxtest::addPlainFormatterClass();
    KvlObject *formatter = KvlGetObject("w.plain", "test_plain");
    KvlObject *logger = KvlGetObject("w", "kvl_basiclogger");
    KvlSetObjProp(logger, "level", "ALL");
    KvlObject *handler = KvlGetObject("w.shared", "kvl_multiproc_filehandler");
    KvlSetObjProp(handler, "formatterName", "w.plain");
    KvlSetObjProp(handler, "MPFileSemKey", std::to_string(key).c_str());
    KvlSetObjProp(handler, "maxFileSize", async ? "65536" : "4096");
    KvlSetObjProp(handler, "maxFiles", async ? "5" : "4");
    KvlSetObjProp(handler, "fileName", (dir + "/x.log").c_str());
    KvlObject *queue = async ? KvlGetObject("w.q", "kvl_asynchandler") : nullptr;
    if (async) {
        KvlSetObjProp(queue, "targetName", "w.shared");
        KvlSetObjProp(queue, "queueDir", (dir + "/queues").c_str());
        KvlAddListener(logger, queue);
    } else {
        KvlAddListener(logger, handler);
    }
    for (int sequence = 0; sequence < count; ++sequence) {
        const std::string text = vrxtest::mpRecord(writer, sequence);
        KvlLogText(logger, "%s", KVL_ARG_STRING, text.c_str(), KVL_ARG_END);
        if (write(ack, &sequence, sizeof sequence) != sizeof sequence) return 4;
    }
    if (mode == "segv") raise(SIGSEGV);
    KvlReleaseObject(queue);
    KvlReleaseObject(handler);
    KvlReleaseObject(logger);
    KvlReleaseObject(formatter);
    KvlCloseToolkit();
    return 0;
}
