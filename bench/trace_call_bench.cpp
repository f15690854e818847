// The agent's trace call when tracing is off: the typed helper must cost no
// more than writing the toolkit call and its typed list by hand.
#include <benchmark/benchmark.h>

#include <string>

#include "agent_trace.h"

namespace {

void BM_TraceHelper(benchmark::State &state) {
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state) {
        TRACE_MIN(TRACE_INSTALL, "Invoking command %s rc=%d", command, 12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TraceHelper);

void BM_TraceByHand(benchmark::State &state) {
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
