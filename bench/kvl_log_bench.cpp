// The disabled logging call, the one every traced line of the agent pays:
// through the C++ helper and the C gate macro (both test the gate inline),
// against the floor (a relaxed atomic load and compare) and against the
// peers' disabled calls when they are installed (log4cxx's LOG4CXX_DEBUG
// with the logger at INFO, spdlog's debug() at level info). Reported beside
// them: the plain C varargs call disabled, which cannot be inlined, and an
// enabled call delivered to a handler that does nothing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

#include "kavel.hpp"

#ifdef VRX_BENCH_WITH_LOG4CXX
#include <log4cxx/basicconfigurator.h>
#include <log4cxx/logger.h>
#endif
#ifdef VRX_BENCH_WITH_SPDLOG
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

KvlObject *disabledLogger() {
    static KvlObject *logger = [] {
        KvlOpenToolkit(nullptr);
        KvlObject *l = KvlGetObject("bench.disabled", "kvl_basiclogger");
        KvlSetObjProp(l, "level", "INFO");
        return l;
    }();
    return logger;
}

KvlObject *nothingHandler(KvlObject *handler, KvlEvent *) noexcept { return handler; }

KvlObject *enabledLogger() {
    static KvlObject *logger = [] {
        disabledLogger();
        KvlAddHandlerClass("bench_nothing", nullptr, nullptr, nullptr, nullptr, nothingHandler,
                           nullptr, nullptr);
        KvlObject *l = KvlGetObject("bench.enabled", "kvl_basiclogger");
        KvlSetObjProp(l, "level", "ALL");
        KvlObject *h = KvlGetObject("bench.nothing", "bench_nothing");
        KvlAddListener(l, h);
        KvlReleaseObject(h);
        return l;
    }();
    return logger;
}

void BM_Floor_RelaxedLoadAndCompare(benchmark::State &state) {
    static std::atomic<int32_t> gate{4000};
    int32_t level = 3000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(level);
        if (gate.load(std::memory_order_relaxed) <= level) benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Floor_RelaxedLoadAndCompare);

void BM_Disabled_CppHelper(benchmark::State &state) {
    KvlObject *logger = disabledLogger();
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        kvl::debugMin(logger, __FILE__, __func__, __LINE__, "Invoking command %s rc=%d", command,
                      12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Disabled_CppHelper);

void BM_Disabled_CGateMacro(benchmark::State &state) {
    KvlObject *logger = disabledLogger();
    const char *command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        KVL_DEBUG_MIN(logger, "Invoking command %s rc=%d", KVL_STR(command), KVL_INT(12));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Disabled_CGateMacro);

void BM_Disabled_PlainCCall(benchmark::State &state) {
    KvlObject *logger = disabledLogger();
    const char *command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        KvlLogDebugMin(logger, __FILE__, __func__, __LINE__, "Invoking command %s rc=%d",
                       KVL_STR(command), KVL_INT(12), KVL_ARG_END);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Disabled_PlainCCall);

void BM_Enabled_ToANothingHandler(benchmark::State &state) {
    KvlObject *logger = enabledLogger();
    const char *command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        KVL_DEBUG_MIN(logger, "Invoking command %s rc=%d", KVL_STR(command), KVL_INT(12));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Enabled_ToANothingHandler);

#ifdef VRX_BENCH_WITH_LOG4CXX
void BM_Peer_Log4cxxDisabled(benchmark::State &state) {
    static log4cxx::LoggerPtr logger = [] {
        log4cxx::LoggerPtr l = log4cxx::Logger::getLogger("bench");
        l->setLevel(log4cxx::Level::getInfo());
        return l;
    }();
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        LOG4CXX_DEBUG(logger, "Invoking command " << command << " rc=" << 12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Peer_Log4cxxDisabled);
#endif

#ifdef VRX_BENCH_WITH_SPDLOG
void BM_Peer_SpdlogDisabled(benchmark::State &state) {
    static auto logger = [] {
        auto l = std::make_shared<spdlog::logger>("bench",
                                                  std::make_shared<spdlog::sinks::null_sink_mt>());
        l->set_level(spdlog::level::info);
        return l;
    }();
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        logger->debug("Invoking command {} rc={}", command, 12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Peer_SpdlogDisabled);
#endif

}  // namespace
