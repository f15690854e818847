// One record made into text by the basic and the trace formatter, with the
// source location and origin fields an agent trace record carries: the
// part of the file handler's record path that is not the write. Reported
// beside it: snprintf of the same line with a precomputed time stamp, the
// floor of formatting it at all.
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>

#include "KvlLogging.h"
#include "KvlObject.h"
#include "OxsMemory.h"
#include "kavel.h"

namespace {

KvlEvent *makeEvent(int32_t level, const char *text, ...) {
    va_list args;
    va_start(args, text);
    KvlEvent *event = KvlVaAllocEvent(level, nullptr, 0, 0, text, args);
    va_end(args);
    return event;
}

KvlEvent *traceEvent() {
    KvlEvent *event = makeEvent(KVL_LEVEL_DEBUG_MIN, "Invoking command %s rc=%d", KVL_ARG_STRING,
                                "\"/usr/sbin/vrxagent.sh\" -g", KVL_ARG_INT, 12, KVL_ARG_END);
    KvlSetEventProp(event, KVL_PROP_SRCFILE, "agent_command.cpp");
    KvlSetEventProp(event, KVL_PROP_SRCFUNCTION, "runStart");
    KvlSetEventPropInt(event, KVL_PROP_SRCLINE, 120);
    KvlSetEventProp(event, "server", "node1.example.com");
    KvlSetEventPropLong(event, "processId", 4711);
    KvlSetEventPropLong(event, "threadId", 4712);
    return event;
}

void formatWith(benchmark::State &state, const char *name, const char *className) {
    KvlOpenToolkit(nullptr);
    KvlObject *formatter = KvlGetObject(name, className);
    KvlEvent *event = traceEvent();
    for (auto _ : state) {
        event->time += 1;  // a new millisecond, the same second most of the time
        char *text = formatter->klass->format(formatter, event);
        benchmark::DoNotOptimize(text);
        OxsMemoryFree(text);
    }
    KvlFreeEvent(event);
    KvlReleaseObject(formatter);
    KvlCloseToolkit();
}

void BM_BasicFormatterRecord(benchmark::State &state) {
    formatWith(state, "bench.basic", "kvl_basicformatter");
}
BENCHMARK(BM_BasicFormatterRecord);

void BM_TraceFormatterRecord(benchmark::State &state) {
    formatWith(state, "bench.trace", "kvl_zemtraceformatter");
}
BENCHMARK(BM_TraceFormatterRecord);

void BM_Floor_SnprintfOfTheLine(benchmark::State &state) {
    const char *stamp = "2024-03-05 09:04:07.045+00:00";
    char line[256];
    int ms = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            std::snprintf(line, sizeof line, "%s.%03d %s %s %d %s Invoking command %s rc=%d\n",
                          stamp, ms++ % 1000, "agent_command.cpp", "runStart", 120,
                          "node1.example.com", "\"/usr/sbin/vrxagent.sh\" -g", 12));
    }
}
BENCHMARK(BM_Floor_SnprintfOfTheLine);

}  // namespace
