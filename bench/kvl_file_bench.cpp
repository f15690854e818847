// One enabled record through the file handler and through the
// multi-process file handler, each beside the floor of its design measured
// in the same run: for the file handler a stat of the path and one write
// of the same line; for the multi-process handler the semaphore lock (with
// undo), an lstat of the name and an fstat, the write and the unlock. Peers
// when installed:
// log4cxx's FileAppender with ImmediateFlush, and spdlog's basic file sink
// flushing every record (a reference: it checks nothing per record), each
// formatting the same record through its own layout, and again writing
// our finished line (labelled so).
// The paired benchmarks run each handler and its floor in alternating
// batches and report their ratio, the figure to quote on a VM.
// The asynchronous handler: the caller's cost over the file handler and
// over the multi-process one, beside the peers' asynchronous front ends,
// and records per second into the file from one and from four threads.
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
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "CxMutex.h"
#include "kavel.h"

#ifdef VRX_BENCH_WITH_LOG4CXX
#include <log4cxx/asyncappender.h>
#include <log4cxx/fileappender.h>
#include <log4cxx/logger.h>
#include <log4cxx/patternlayout.h>
#endif
#ifdef VRX_BENCH_WITH_SPDLOG
#include <spdlog/async.h>
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

// The file handler NAME.file of `handlerClass` on the benchmark directory's
// NAME.log (with semaphore `key` when not 0), held by the caller.
KvlObject *fileHandler(const char *name, const char *handlerClass, int32_t key) {
    KvlOpenToolkit(nullptr);
    const std::string handlerName = std::string(name) + ".file";
    KvlObject *handler = KvlGetObject(handlerName.c_str(), handlerClass);
    if (key != 0) KvlSetObjProp(handler, "MPFileSemKey", std::to_string(key).c_str());
    KvlSetObjProp(handler, "maxFileSize", std::to_string(kBound).c_str());
    KvlSetObjProp(handler, "maxFiles", "2");
    KvlSetObjProp(handler, "fileName", pathOf(name).append(".log").c_str());
    return handler;
}

KvlObject *loggerTo(const char *name, const char *handlerClass, int32_t key) {
    KvlObject *handler = fileHandler(name, handlerClass, key);
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

// The file handler's floor: an lstat of the path and one write of the line.
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
        lstat(path_.c_str(), &info);
        if (info.st_size >= kBound && ftruncate(fd_, 0) != 0) std::abort();
        benchmark::DoNotOptimize(write(fd_, kLine.data(), kLine.size()));
    }

private:
    std::string path_;
    int fd_;
};

// The handler's key; the floor uses the key next to it, the multi-process
// handler behind an asynchronous one the key after. Every set is removed at
// exit.
int32_t benchKey() {
    static const int32_t key = [] {
        std::atexit([] {
            for (int32_t k : {benchKey(), benchKey() ^ 1, benchKey() ^ 2}) {
                const int id = semget(k, 1, 0);
                if (id >= 0) semctl(id, 0, IPC_RMID);
            }
        });
        return static_cast<int32_t>(0x4C000000 ^ (getpid() << 6));
    }();
    return key;
}

// The multi-process handler's floor: the semaphore lock (with undo), an
// lstat of the name and an fstat of the open file, the write and the unlock.
class LockFstatWriteUnlock {
public:
    LockFstatWriteUnlock()
        : path_(pathOf("mpfloor.log")),
          fd_(open(path_.c_str(), O_CREAT | O_RDWR | O_APPEND | O_CLOEXEC, 0644)) {
        CxSemOpen(&sem_, benchKey() ^ 1);
    }
    ~LockFstatWriteUnlock() { close(fd_); }
    LockFstatWriteUnlock(const LockFstatWriteUnlock &) = delete;
    LockFstatWriteUnlock &operator=(const LockFstatWriteUnlock &) = delete;
    void operator()() {
        CxSemLock(&sem_);
        struct stat named {
        }, info{};
        lstat(path_.c_str(), &named);
        fstat(fd_, &info);
        if (info.st_size >= kBound && ftruncate(fd_, 0) != 0) std::abort();
        benchmark::DoNotOptimize(write(fd_, kLine.data(), kLine.size()));
        CxSemUnlock(&sem_);
    }

private:
    std::string path_;
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

// The asynchronous handler over a file handler like the plain one (or a
// multi-process one like the shared one): the caller formats and queues; a
// thread of the handler's writes.
KvlObject *asyncLoggerOver(const char *name, const char *targetClass, int32_t key) {
    const std::string prefix = name;
    fileHandler(name, targetClass, key);  // kept: the target
    KvlObject *queue = KvlGetObject((prefix + ".queue").c_str(), "kvl_asynchandler");
    KvlSetObjProp(queue, "targetName", (prefix + ".file").c_str());
    KvlSetObjProp(queue, "queueDir", directory().c_str());
    if (const char *delay = std::getenv("VRX_BENCH_ASYNC_DELAY"))
        KvlSetObjProp(queue, "maxDelay", delay);
    KvlObject *made = KvlGetObject(name, "kvl_basiclogger");
    KvlSetObjProp(made, "level", "ALL");
    KvlAddListener(made, queue);
    KvlReleaseObject(queue);
    return made;
}

KvlObject *asyncLogger() {
    static KvlObject *logger = asyncLoggerOver("async", "kvl_filehandler", 0);
    return logger;
}

void BM_AsyncOverMultiProcessHandlerRecord(benchmark::State &state) {
    static KvlObject *logger =
        asyncLoggerOver("asyncshared", "kvl_multiproc_filehandler", benchKey() ^ 2);
    for (auto _ : state)
        record(logger);
}
BENCHMARK(BM_AsyncOverMultiProcessHandlerRecord);

void BM_AsyncHandlerRecord(benchmark::State &state) {
    KvlObject *logger = asyncLogger();
    for (auto _ : state)
        record(logger);
}
BENCHMARK(BM_AsyncHandlerRecord);

// The caller's cost of a record through the asynchronous handler against
// the same record written by the file handler on the caller's thread, in
// alternating batches: "ratio" is asynchronous over synchronous.
void BM_Paired_AsyncHandlerAndFileHandler(benchmark::State &state) {
    KvlObject *plain = plainLogger();
    auto synchronous = [plain] { record(plain); };
    pairedWithFloor(state, asyncLogger(), synchronous);
}
BENCHMARK(BM_Paired_AsyncHandlerAndFileHandler);

void BM_Paired_MultiProcessHandlerAndFloor(benchmark::State &state) {
    LockFstatWriteUnlock floor;
    pairedWithFloor(state, sharedLogger(), floor);
}
BENCHMARK(BM_Paired_MultiProcessHandlerAndFloor);

// The peers in two rows each: "Formats" does the work our record does (the
// time stamp with milliseconds and zone, the source file, function and
// line, and a message made from a string and an int by the peer's own
// formatting); "FinishedLine" is handed our finished line and formats
// nothing, which shows what their write path alone costs.
#ifdef VRX_BENCH_WITH_LOG4CXX
log4cxx::LoggerPtr log4cxxLogger(const char *name, const char *pattern) {
    log4cxx::LoggerPtr l = log4cxx::Logger::getLogger(name);
    log4cxx::LayoutPtr layout(new log4cxx::PatternLayout(pattern));
    log4cxx::FileAppenderPtr appender(
        new log4cxx::FileAppender(layout, pathOf(name) + ".log", true));
    appender->setImmediateFlush(true);
    l->addAppender(appender);
    l->setLevel(log4cxx::Level::getDebug());
    l->setAdditivity(false);
    return l;
}

// log4cxx writes the zone as +0000, one byte shorter than ours.
void BM_Peer_Log4cxxFileAppenderImmediateFlush_Formats(benchmark::State &state) {
    static log4cxx::LoggerPtr logger =
        log4cxxLogger("log4cxx_formats", "%d{yyyy-MM-dd HH:mm:ss.SSSZ} %F %M %L %m%n");
    const log4cxx::spi::LocationInfo place("kvl_file_bench.cpp", "kvl_file_bench.cpp", "record",
                                           120);
    for (auto _ : state) {
        if (!logger->isDebugEnabled()) continue;
        log4cxx::helpers::MessageBuffer text;
        logger->forcedLog(log4cxx::Level::getDebug(),
                          text.str(text << "Invoking command " << kCommand << " rc=" << 12), place);
    }
}
BENCHMARK(BM_Peer_Log4cxxFileAppenderImmediateFlush_Formats);

void BM_Peer_Log4cxxFileAppenderImmediateFlush_FinishedLine(benchmark::State &state) {
    static log4cxx::LoggerPtr logger = log4cxxLogger("log4cxx_line", "%m%n");
    const std::string message = kLine.substr(0, kLine.size() - 1);
    for (auto _ : state)
        LOG4CXX_DEBUG(logger, message);
}
BENCHMARK(BM_Peer_Log4cxxFileAppenderImmediateFlush_FinishedLine);
#endif

#ifdef VRX_BENCH_WITH_SPDLOG
std::shared_ptr<spdlog::logger> spdlogLogger(const char *name, const char *pattern) {
    auto l = spdlog::basic_logger_mt(name, pathOf(name) + ".log", true);
    l->set_pattern(pattern);
    l->flush_on(spdlog::level::trace);
    l->set_level(spdlog::level::trace);
    return l;
}

void BM_Reference_SpdlogBasicFileSinkFlushEach_Formats(benchmark::State &state) {
    static auto logger = spdlogLogger("spdlog_formats", "%Y-%m-%d %H:%M:%S.%e%z %s %! %# %v");
    const spdlog::source_loc place{"kvl_file_bench.cpp", 120, "record"};
    for (auto _ : state)
        logger->log(place, spdlog::level::debug, "Invoking command {} rc={}", kCommand, 12);
}
BENCHMARK(BM_Reference_SpdlogBasicFileSinkFlushEach_Formats);

void BM_Reference_SpdlogBasicFileSinkFlushEach_FinishedLine(benchmark::State &state) {
    static auto logger = spdlogLogger("spdlog_line", "%v");
    const std::string message = kLine.substr(0, kLine.size() - 1);
    for (auto _ : state)
        logger->debug(message);
}
BENCHMARK(BM_Reference_SpdlogBasicFileSinkFlushEach_FinishedLine);
#endif

// ---- Asynchronous: the caller's cost, and records per second ----------------
//
// The peers' asynchronous front ends as their users set them up: spdlog's
// async logger (a queue of 8192, blocking when full) over its basic file
// sink, and log4cxx's AsyncAppender (a buffer of 8192, blocking) over a
// FileAppender (ImmediateFlush, its default). Each formats the record as
// the "Formats" rows above. Neither keeps a queued record when the process
// dies; ours does.
#ifdef VRX_BENCH_WITH_SPDLOG
std::shared_ptr<spdlog::logger> &spdlogAsync() {
    static std::shared_ptr<spdlog::logger> logger = [] {
        spdlog::init_thread_pool(8192, 1);
        auto made = spdlog::create_async<spdlog::sinks::basic_file_sink_mt>(
            "spdlog_async", pathOf("spdlog_async") + ".log", true);
        made->set_pattern("%Y-%m-%d %H:%M:%S.%e%z %s %! %# %v");
        made->set_level(spdlog::level::trace);
        return made;
    }();
    return logger;
}

void spdlogRecord() {
    static const spdlog::source_loc place{"kvl_file_bench.cpp", 120, "record"};
    spdlogAsync()->log(place, spdlog::level::debug, "Invoking command {} rc={}", kCommand, 12);
}

void BM_Peer_SpdlogAsyncLogger(benchmark::State &state) {
    for (auto _ : state)
        spdlogRecord();
}
BENCHMARK(BM_Peer_SpdlogAsyncLogger);
#endif

#ifdef VRX_BENCH_WITH_LOG4CXX
log4cxx::LoggerPtr log4cxxAsync() {
    static log4cxx::LoggerPtr logger = [] {
        log4cxx::LoggerPtr made = log4cxx::Logger::getLogger("log4cxx_async");
        log4cxx::LayoutPtr layout(
            new log4cxx::PatternLayout("%d{yyyy-MM-dd HH:mm:ss.SSSZ} %F %M %L %m%n"));
        log4cxx::FileAppenderPtr file(
            new log4cxx::FileAppender(layout, pathOf("log4cxx_async") + ".log", true));
        log4cxx::AsyncAppenderPtr async(new log4cxx::AsyncAppender());
        async->setBufferSize(8192);
        async->setBlocking(true);
        async->addAppender(file);
        made->addAppender(async);
        made->setLevel(log4cxx::Level::getDebug());
        made->setAdditivity(false);
        return made;
    }();
    return logger;
}

void log4cxxRecord() {
    static const log4cxx::spi::LocationInfo place("kvl_file_bench.cpp", "kvl_file_bench.cpp",
                                                  "record", 120);
    static const log4cxx::LoggerPtr logger = log4cxxAsync();
    log4cxx::helpers::MessageBuffer text;
    logger->forcedLog(log4cxx::Level::getDebug(),
                      text.str(text << "Invoking command " << kCommand << " rc=" << 12), place);
}

void BM_Peer_Log4cxxAsyncAppender(benchmark::State &state) {
    for (auto _ : state)
        log4cxxRecord();
}
BENCHMARK(BM_Peer_Log4cxxAsyncAppender);
#endif

// Sustained: range(0) threads log 40000 records between them, and the
// clock stops when the last byte is in the file (its size polled), so a
// queue that is fast to fill but slow to write gains nothing. The file is
// emptied between iterations, with nothing queued.
constexpr int kSustainedRecords = 40000;

struct Sink {
    std::string file;
    std::function<void()> record;
    std::function<void()> flush;  // what makes the last records reach the file
};

off_t sizeOf(const std::string &file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 ? info.st_size : -1;
}

void waitForSize(const std::string &file, off_t size) {
    while (sizeOf(file) < size)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void sustained(benchmark::State &state, const Sink &sink) {
    const int threads = static_cast<int>(state.range(0));
    sink.record();  // the line's length, as this sink writes it
    sink.flush();
    waitForSize(sink.file, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (truncate(sink.file.c_str(), 0) != 0) std::abort();
    sink.record();
    sink.flush();
    waitForSize(sink.file, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const off_t line = sizeOf(sink.file);
    for (auto _ : state) {
        state.PauseTiming();
        if (truncate(sink.file.c_str(), 0) != 0) std::abort();
        state.ResumeTiming();
        std::vector<std::thread> loggers;
        for (int t = 0; t < threads; ++t)
            loggers.emplace_back([&sink, threads] {
                for (int i = 0; i < kSustainedRecords / threads; ++i)
                    sink.record();
            });
        for (std::thread &logger : loggers)
            logger.join();
        sink.flush();
        waitForSize(sink.file, line * kSustainedRecords);
    }
    state.SetItemsProcessed(state.iterations() * kSustainedRecords);
}

void BM_Sustained_AsyncHandler(benchmark::State &state) {
    static KvlObject *logger = asyncLoggerOver("sustained_async", "kvl_filehandler", 0);
    sustained(state, {pathOf("sustained_async") + ".log", [] { record(logger); }, [] {}});
}
BENCHMARK(BM_Sustained_AsyncHandler)->Arg(1)->Arg(4)->Iterations(20)->UseRealTime();

void BM_Sustained_FileHandler(benchmark::State &state) {
    static KvlObject *logger = loggerTo("sustained_sync", "kvl_filehandler", 0);
    sustained(state, {pathOf("sustained_sync") + ".log", [] { record(logger); }, [] {}});
}
BENCHMARK(BM_Sustained_FileHandler)->Arg(1)->Arg(4)->Iterations(20)->UseRealTime();

#ifdef VRX_BENCH_WITH_SPDLOG
void BM_Sustained_Peer_SpdlogAsyncLogger(benchmark::State &state) {
    sustained(state,
              {pathOf("spdlog_async") + ".log", spdlogRecord, [] { spdlogAsync()->flush(); }});
}
BENCHMARK(BM_Sustained_Peer_SpdlogAsyncLogger)->Arg(1)->Arg(4)->Iterations(20)->UseRealTime();
#endif

#ifdef VRX_BENCH_WITH_LOG4CXX
void BM_Sustained_Peer_Log4cxxAsyncAppender(benchmark::State &state) {
    sustained(state, {pathOf("log4cxx_async") + ".log", log4cxxRecord, [] {}});
}
BENCHMARK(BM_Sustained_Peer_Log4cxxAsyncAppender)->Arg(1)->Arg(4)->Iterations(20)->UseRealTime();
#endif

}  // namespace
