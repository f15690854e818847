// One enabled record through the file handler and through the
// multi-process file handler, each beside the floor of its design measured
// in the same run: for the file handler a stat of the path and one write
// of the same line; for the multi-process handler the semaphore lock (with
// undo), an fstat, the write and the unlock. Peers when installed:
// log4cxx's FileAppender with ImmediateFlush writing the same line (as a
// ready message: its layout does no formatting), and spdlog's basic file
// sink flushing every record (a reference: it checks nothing per record).
// The paired benchmarks run each handler and its floor in alternating
// batches and report their ratio, the figure to quote on a VM.
//
// Files go to a temporary directory under VRX_BENCH_DIR (default /var/tmp,
// a disk rather than memory) and are removed at the end. Every file is
// rolled over or cut back at 64 MiB, so long runs stay bounded.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

void record(KvlObject *logger) {
    KvlLogDebugMin(logger, "kvl_file_bench.cpp", "record", 120, "Invoking command %s rc=%d",
                   KVL_STR(kCommand), KVL_INT(12), KVL_ARG_END);
}

// The file handler's floor: a stat of the path and one write of the line.
class StatAndWrite {
public:
    StatAndWrite()
        : path_(pathOf("floor.log")),
          fd_(open(path_.c_str(), O_CREAT | O_RDWR | O_APPEND | O_CLOEXEC, 0644)) {}
    ~StatAndWrite() { close(fd_); }
    StatAndWrite(const StatAndWrite &) = delete;
    StatAndWrite &operator=(const StatAndWrite &) = delete;
    void operator()() const {
        struct stat info {};
        stat(path_.c_str(), &info);
        if (info.st_size >= kBound && ftruncate(fd_, 0) != 0) std::abort();
        benchmark::DoNotOptimize(write(fd_, kLine.data(), kLine.size()));
    }

private:
    std::string path_;
    int fd_;
};

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

// The multi-process handler's floor: the semaphore lock (with undo), an
// fstat, the write and the unlock.
class LockFstatWriteUnlock {
public:
    LockFstatWriteUnlock()
        : fd_(open(pathOf("mpfloor.log").c_str(), O_CREAT | O_RDWR | O_APPEND | O_CLOEXEC, 0644)) {
        CxSemOpen(&sem_, benchKey() ^ 1);
    }
    ~LockFstatWriteUnlock() { close(fd_); }
    LockFstatWriteUnlock(const LockFstatWriteUnlock &) = delete;
    LockFstatWriteUnlock &operator=(const LockFstatWriteUnlock &) = delete;
    void operator()() {
        CxSemLock(&sem_);
        struct stat info {};
        fstat(fd_, &info);
        if (info.st_size >= kBound && ftruncate(fd_, 0) != 0) std::abort();
        benchmark::DoNotOptimize(write(fd_, kLine.data(), kLine.size()));
        CxSemUnlock(&sem_);
    }

private:
    int fd_;
    CxSem sem_ = -1;
};

KvlObject *plainLogger() {
    static KvlObject *logger = loggerTo("plain", "kvl_filehandler", 0);
    return logger;
}

KvlObject *sharedLogger() {
    static KvlObject *logger = loggerTo("shared", "kvl_multiproc_filehandler", benchKey());
    return logger;
}

void BM_FileHandlerRecord(benchmark::State &state) {
    KvlObject *logger = plainLogger();
    for (auto _ : state)
        record(logger);
}
BENCHMARK(BM_FileHandlerRecord);

void BM_Floor_StatAndWrite(benchmark::State &state) {
    StatAndWrite floor;
    for (auto _ : state)
        floor();
}
BENCHMARK(BM_Floor_StatAndWrite);

void BM_MultiProcessHandlerRecord(benchmark::State &state) {
    KvlObject *logger = sharedLogger();
    for (auto _ : state)
        record(logger);
}
BENCHMARK(BM_MultiProcessHandlerRecord);

void BM_Floor_LockFstatWriteUnlock(benchmark::State &state) {
    LockFstatWriteUnlock floor;
    for (auto _ : state)
        floor();
}
BENCHMARK(BM_Floor_LockFstatWriteUnlock);

// A record and its floor in alternating batches, each timed apart, so both
// see the machine as it is at that moment: on this kind of VM the cost of
// a system call drifts by a fifth from one second to the next, which moves
// separately run benchmarks more than the handler's own share of the time.
// Counters: nanoseconds per record and per floor operation, and their ratio.
template <class Floor>
void pairedWithFloor(benchmark::State &state, KvlObject *logger, Floor &floor) {
    using Clock = std::chrono::steady_clock;
    constexpr int kBatch = 64;
    Clock::duration recordTime{}, floorTime{};
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            record(logger);
        const auto middle = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            floor();
        const auto end = Clock::now();
        recordTime += middle - start;
        floorTime += end - middle;
    }
    const double operations = static_cast<double>(state.iterations()) * kBatch;
    const auto ns = [](Clock::duration d) {
        return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
    };
    state.counters["record_ns"] = ns(recordTime) / operations;
    state.counters["floor_ns"] = ns(floorTime) / operations;
    state.counters["ratio"] = ns(recordTime) / ns(floorTime);
}

void BM_Paired_FileHandlerAndFloor(benchmark::State &state) {
    StatAndWrite floor;
    pairedWithFloor(state, plainLogger(), floor);
}
BENCHMARK(BM_Paired_FileHandlerAndFloor);

void BM_Paired_MultiProcessHandlerAndFloor(benchmark::State &state) {
    LockFstatWriteUnlock floor;
    pairedWithFloor(state, sharedLogger(), floor);
}
BENCHMARK(BM_Paired_MultiProcessHandlerAndFloor);

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
