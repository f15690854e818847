// One enabled record through the file handler and through the
// multi-process file handler, each beside the floor of its design measured
// in the same run: for the file handler a stat of the path and one write
// of the same line; for the multi-process handler the semaphore lock (with
// undo), an fstat, the write and the unlock. Peers when installed:
// log4cxx's FileAppender with ImmediateFlush writing the same line (as a
// ready message: its layout does no formatting), and spdlog's basic file
// sink flushing every record (a reference: it checks nothing per record).
//
// Files go to a temporary directory under VRX_BENCH_DIR (default /var/tmp,
// a disk rather than memory) and are removed at the end. Every file is
// rolled over or cut back at 64 MiB, so long runs stay bounded.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "CxMutex.h"
#include "kavel.h"

#ifdef VRX_BENCH_WITH_LOG4CXX
#include <log4cxx/fileappender.h>
#include <log4cxx/logger.h>
#include <log4cxx/patternlayout.h>
#endif
#ifdef VRX_BENCH_WITH_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr off_t kBound = 64 << 20;
const char *const kCommand = "\"/usr/sbin/vrxagent.sh\" -g";
// What the basic formatter writes for the benchmark's record.
const std::string kLine =
    "2026-12-07 02:45:46.234+00:00 kvl_file_bench.cpp record 120 Invoking command "
    "\"/usr/sbin/vrxagent.sh\" -g rc=12\n";

// The path is never destroyed: the removal is registered with atexit while
// the static is being made, so it runs after the static's own destructor.
const fs::path &directory() {
    static const fs::path *const dir = [] {
        const char *base = std::getenv("VRX_BENCH_DIR");
        std::string pattern =
            std::string(base != nullptr ? base : "/var/tmp") + "/kvl_file_bench.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] { fs::remove_all(directory()); });
        return new fs::path(pattern);
    }();
    return *dir;
}

std::string pathOf(const char *name) { return (directory() / name).string(); }

KvlObject *loggerTo(const char *name, const char *handlerClass, int32_t key) {
    KvlOpenToolkit(nullptr);
    const std::string handlerName = std::string(name) + ".file";
    KvlObject *handler = KvlGetObject(handlerName.c_str(), handlerClass);
    if (key != 0) KvlSetObjProp(handler, "MPFileSemKey", std::to_string(key).c_str());
    KvlSetObjProp(handler, "maxFileSize", std::to_string(kBound).c_str());
    KvlSetObjProp(handler, "maxFiles", "2");
    KvlSetObjProp(handler, "fileName", pathOf(name).append(".log").c_str());
    KvlObject *logger = KvlGetObject(name, "kvl_basiclogger");
    KvlSetObjProp(logger, "level", "ALL");
    KvlAddListener(logger, handler);
    KvlReleaseObject(handler);
    return logger;
}

// Reports the user-space CPU time per iteration beside the benchmark's
// time: the kernel's share (the floor) varies far more between runs on a
// VM than the library's own share does.
class UserTime {
  public:
    explicit UserTime(benchmark::State &state) : state_(state), start_(now()) {}
    ~UserTime() {
        state_.counters["user_ns"] = benchmark::Counter(
            now() - start_, benchmark::Counter::kAvgIterations);
    }
    UserTime(const UserTime &) = delete;
    UserTime &operator=(const UserTime &) = delete;

  private:
    static double now() {
        struct rusage usage {};
        getrusage(RUSAGE_THREAD, &usage);
        return 1e9 * static_cast<double>(usage.ru_utime.tv_sec) +
               1e3 * static_cast<double>(usage.ru_utime.tv_usec);
    }
    benchmark::State &state_;
    double start_;
};

void record(KvlObject *logger) {
    KvlLogDebugMin(logger, "kvl_file_bench.cpp", "record", 120, "Invoking command %s rc=%d",
                   KVL_STR(kCommand), KVL_INT(12), KVL_ARG_END);
}

void BM_FileHandlerRecord(benchmark::State &state) {
    static KvlObject *logger = loggerTo("plain", "kvl_filehandler", 0);
    const UserTime user(state);
    for (auto _ : state)
        record(logger);
}
BENCHMARK(BM_FileHandlerRecord);

void BM_Floor_StatAndWrite(benchmark::State &state) {
    const std::string path = pathOf("floor.log");
    const int fd = open(path.c_str(), O_CREAT | O_RDWR | O_APPEND | O_CLOEXEC, 0644);
    const UserTime user(state);
    for (auto _ : state) {
        struct stat info {};
        stat(path.c_str(), &info);
        if (info.st_size >= kBound && ftruncate(fd, 0) != 0) std::abort();
        benchmark::DoNotOptimize(write(fd, kLine.data(), kLine.size()));
    }
    close(fd);
}
BENCHMARK(BM_Floor_StatAndWrite);

// The handler's key; the floor uses the key next to it. Both sets are
// removed at exit.
int32_t benchKey() {
    static const int32_t key = [] {
        std::atexit([] {
            for (int32_t k : {benchKey(), benchKey() ^ 1}) {
                const int id = semget(k, 1, 0);
                if (id >= 0) semctl(id, 0, IPC_RMID);
            }
        });
        return static_cast<int32_t>(0x4C000000 ^ (getpid() << 6));
    }();
    return key;
}

void BM_MultiProcessHandlerRecord(benchmark::State &state) {
    static KvlObject *logger = loggerTo("shared", "kvl_multiproc_filehandler", benchKey());
    const UserTime user(state);
    for (auto _ : state)
        record(logger);
}
BENCHMARK(BM_MultiProcessHandlerRecord);

void BM_Floor_LockFstatWriteUnlock(benchmark::State &state) {
    const std::string path = pathOf("mpfloor.log");
    const int fd = open(path.c_str(), O_CREAT | O_RDWR | O_APPEND | O_CLOEXEC, 0644);
    CxSem sem = -1;
    CxSemOpen(&sem, benchKey() ^ 1);
    const UserTime user(state);
    for (auto _ : state) {
        CxSemLock(&sem);
        struct stat info {};
        fstat(fd, &info);
        if (info.st_size >= kBound && ftruncate(fd, 0) != 0) std::abort();
        benchmark::DoNotOptimize(write(fd, kLine.data(), kLine.size()));
        CxSemUnlock(&sem);
    }
    close(fd);
}
BENCHMARK(BM_Floor_LockFstatWriteUnlock);

#ifdef VRX_BENCH_WITH_LOG4CXX
void BM_Peer_Log4cxxFileAppenderImmediateFlush(benchmark::State &state) {
    static log4cxx::LoggerPtr logger = [] {
        log4cxx::LoggerPtr l = log4cxx::Logger::getLogger("bench.file");
        log4cxx::LayoutPtr layout(new log4cxx::PatternLayout(LOG4CXX_STR("%m%n")));
        log4cxx::FileAppenderPtr appender(
            new log4cxx::FileAppender(layout, pathOf("log4cxx.log"), true));
        appender->setImmediateFlush(true);
        l->addAppender(appender);
        l->setLevel(log4cxx::Level::getDebug());
        l->setAdditivity(false);
        return l;
    }();
    const std::string message = kLine.substr(0, kLine.size() - 1);
    for (auto _ : state)
        LOG4CXX_DEBUG(logger, message);
}
BENCHMARK(BM_Peer_Log4cxxFileAppenderImmediateFlush);
#endif

#ifdef VRX_BENCH_WITH_SPDLOG
void BM_Reference_SpdlogBasicFileSinkFlushEach(benchmark::State &state) {
    static auto logger = [] {
        auto l = spdlog::basic_logger_mt("bench_file", pathOf("spdlog.log"), true);
        l->set_pattern("%v");
        l->flush_on(spdlog::level::trace);
        l->set_level(spdlog::level::trace);
        return l;
    }();
    const std::string message = kLine.substr(0, kLine.size() - 1);
    for (auto _ : state)
        logger->debug(message);
}
BENCHMARK(BM_Reference_SpdlogBasicFileSinkFlushEach);
#endif

}  // namespace
