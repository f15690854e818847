// The toolkit's printf engine against the C library's snprintf on the
// toolkit's own formats, and string-buffer appends against std::string.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "CxPrintUtil.h"
#include "CxStringBuff.h"

namespace {

struct Format {
    const char *name;
    const char *format;
};

template <class... Args>
void runOurs(benchmark::State &state, const char *format, Args... args) {
    CxStringBuff buffer{};
    for (auto _ : state) {
        CxStringBuffRestart(&buffer);
        benchmark::DoNotOptimize(CxStringBuffPrintf(nullptr, &buffer, format, args...));
    }
    CxStringBuffDiscard(&buffer);
}

template <class... Args>
void runSnprintf(benchmark::State &state, const char *format, Args... args) {
    char text[256];
    for (auto _ : state)
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, format, args...));
}

#define PAIR(name, ...)                                                                   \
    void BM_Ours_##name(benchmark::State &state) { runOurs(state, __VA_ARGS__); }         \
    void BM_Snprintf_##name(benchmark::State &state) { runSnprintf(state, __VA_ARGS__); } \
    BENCHMARK(BM_Ours_##name);                                                            \
    BENCHMARK(BM_Snprintf_##name);

PAIR(StringsAndInts, "Invoking command %s (pid %d, rc=%d)", "\"/usr/sbin/vrxagent.sh\" -g", 4242, 0)
PAIR(Positional, "%2$s: %1$d files in %3$s", 17, "copy", "/var/nuv/zemlor/common")
PAIR(Fixed, "%5.2f", 3.14159)
PAIR(Exponent, "%e", 12345.678)
PAIR(FormatterTime, ".%03.3d%+02.2d:%02.2d", 123, 1, 0)

void BM_BuffAppend(benchmark::State &state) {
    CxStringBuff buffer{};
    for (auto _ : state) {
        CxStringBuffRestart(&buffer);
        for (int i = 0; i < 16; ++i)
            CxStringBuffAppendStr(&buffer, "agentLogger.agentTraceLogger ");
        benchmark::DoNotOptimize(buffer.data);
    }
    CxStringBuffDiscard(&buffer);
}
BENCHMARK(BM_BuffAppend);

void BM_StdStringAppend(benchmark::State &state) {
    std::string text;
    text.reserve(1024);
    for (auto _ : state) {
        text.clear();
        for (int i = 0; i < 16; ++i)
            text.append("agentLogger.agentTraceLogger ");
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_StdStringAppend);

}  // namespace
