// The agent's trace call when its level turns it off: the typed helper
// must cost no more than writing the toolkit call and its typed list by
// hand. The INSTALL logger is configured as the controller configures it,
// with a level (INFO) below which both calls are disabled.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "agent_trace.h"

namespace {

// The controller's configuration in a scratch directory, for the whole run.
struct Configured {
    Configured() {
        char dir[] = "/tmp/trace_call_bench.XXXXXX";
        if (mkdtemp(dir) == nullptr) std::abort();
        directory = dir;
        loggerConfiguration(nullptr, AGENT_KIND_INSTALLER);
        setZemlorCommonDir(directory.c_str(), "traceBench", nullptr, AGENT_KIND_INSTALLER);
        KvlSetObjProp(traceLoggers[TRACE_INSTALL], "level", "INFO");
    }
    ~Configured() {
        shutDownLogger();
        std::system(("rm -rf " + directory).c_str());
    }
    std::string directory;
};

void configure() { static Configured configured; }

void BM_TraceHelper(benchmark::State &state) {
    configure();
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        TRACE_MIN(TRACE_INSTALL, "Invoking command %s rc=%d", command, 12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TraceHelper);

void BM_TraceByHand(benchmark::State &state) {
    configure();
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        KvlLogDebugMin(traceLoggers[TRACE_INSTALL], __FILE__, __func__, __LINE__,
                       "Invoking command %s rc=%d", KVL_ARG_STRING, command.c_str(), KVL_ARG_INT,
                       12, KVL_ARG_END);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TraceByHand);

}  // namespace
