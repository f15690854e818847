// One record made into text by the basic, the trace and the XML formatter,
// with the source location and origin fields an agent trace record
// carries: the part of the file handler's record path that is not the
// write. Reported beside it: snprintf of the same line with a precomputed
// time stamp, the floor of formatting it at all.
//
// The XML formatter is compared with the basic one on the same events: the
// trace event, a catalog message with an id and three parameters, a 4 KiB
// text without markup and the same text with 5 % markup characters (which
// the XML record escapes).
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <string>

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

KvlEvent *messageEvent() {
    KvlEvent *event = nullptr;
    event =
        [](const char *text, ...) {
            va_list args;
            va_start(args, text);
            KvlEvent *made = KvlVaAllocEvent(KVL_LEVEL_ERROR, "vrxagent.cat", 1, 17, text, args);
            va_end(args);
            return made;
        }("VRXAG0017E The command %s ended with %ld; retried: %s.", KVL_ARG_STRING,
          "\"/usr/sbin/vrxagent.sh\" -g", KVL_ARG_LONG, 12L, KVL_ARG_BOOLEAN, 1, KVL_ARG_END);
    KvlSetEventMessageId(event, "VRXAG0017E");
    KvlSetEventProp(event, "server", "node1.example.com");
    KvlSetEventProp(event, "serverFormat", "IP");
    KvlSetEventPropLong(event, "processId", 4711);
    KvlSetEventPropLong(event, "threadId", 4712);
    return event;
}

// 4 KiB of words; with `markup`, one character in twenty is < > & or ".
std::string longText(bool markup) {
    std::string text;
    for (size_t i = 0; text.size() < 4096; ++i) {
        text += markup && i % 20 == 19 ? "<>&\""[i / 20 % 4] : "abcdefghijklmnopqrs "[i % 20];
    }
    return text;
}

KvlEvent *longTextEvent(bool markup) {
    static const std::string plain = longText(false), marked = longText(true);
    KvlEvent *event =
        makeEvent(KVL_LEVEL_INFO, markup ? marked.c_str() : plain.c_str(), KVL_ARG_END);
    KvlSetEventProp(event, KVL_PROP_SRCFILE, "agent_command.cpp");
    KvlSetEventPropLong(event, "processId", 4711);
    KvlSetEventPropLong(event, "threadId", 4712);
    return event;
}

enum EventKind { kTrace, kMessage, kLongText, kLongMarkup };
constexpr const char *kEventNames[] = {"trace", "message", "text4k", "markup4k"};

KvlEvent *eventOf(int64_t kind) {
    switch (kind) {
        case kMessage:
            return messageEvent();
        case kLongText:
            return longTextEvent(false);
        case kLongMarkup:
            return longTextEvent(true);
        default:
            return traceEvent();
    }
}

void formatWith(benchmark::State &state, const char *name, const char *className,
                int64_t kind = kTrace) {
    KvlOpenToolkit(nullptr);
    KvlObject *formatter = KvlGetObject(name, className);
    KvlEvent *event = eventOf(kind);
    state.SetLabel(kEventNames[kind]);
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

// The same four events through the basic and the XML formatter.
void BM_BasicRecordOf(benchmark::State &state) {
    formatWith(state, "bench.basic", "kvl_basicformatter", state.range(0));
}
BENCHMARK(BM_BasicRecordOf)->DenseRange(kTrace, kLongMarkup);

void BM_XmlRecordOf(benchmark::State &state) {
    formatWith(state, "bench.xml", "kvl_xmlformatter", state.range(0));
}
BENCHMARK(BM_XmlRecordOf)->DenseRange(kTrace, kLongMarkup);

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
