// The toolkit's printf engine against the C library's snprintf on the
// toolkit's own formats, and string-buffer appends against std::string's,
// each pair doing the same work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>

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

// Sixteen appends of one text to a reused buffer, like with like: a text
// whose length each side measures at run time (the compiler cannot see
// through the pointer), and a text whose length each side is given.
constexpr std::string_view kPiece = "agentLogger.agentTraceLogger ";

const char *opaquePiece() {
    const char *text = kPiece.data();
    benchmark::DoNotOptimize(text);
    return text;
}

template <class Reset, class Append>
void appendSixteen(benchmark::State &state, Reset reset, Append append) {
    for (auto _ : state) {
        reset();
        for (int i = 0; i < 16; ++i)
            append(opaquePiece());
    }
}

void BM_BuffAppend_MeasuredLength(benchmark::State &state) {
    CxStringBuff buffer{};
    appendSixteen(
        state, [&] { CxStringBuffRestart(&buffer); },
        [&](const char *text) { CxStringBuffAppendStr(&buffer, text); });
    CxStringBuffDiscard(&buffer);
}
BENCHMARK(BM_BuffAppend_MeasuredLength);

void BM_StdStringAppend_MeasuredLength(benchmark::State &state) {
    std::string buffer;
    buffer.reserve(1024);
    appendSixteen(
        state, [&] { buffer.clear(); }, [&](const char *text) { buffer.append(text); });
}
BENCHMARK(BM_StdStringAppend_MeasuredLength);

void BM_BuffAppend_KnownLength(benchmark::State &state) {
    CxStringBuff buffer{};
    appendSixteen(
        state, [&] { CxStringBuffRestart(&buffer); },
        [&](const char *text) { cxStringBuffAppendBytes(&buffer, text, kPiece.size()); });
    CxStringBuffDiscard(&buffer);
}
BENCHMARK(BM_BuffAppend_KnownLength);

void BM_StdStringAppend_KnownLength(benchmark::State &state) {
    std::string buffer;
    buffer.reserve(1024);
    appendSixteen(
        state, [&] { buffer.clear(); },
        [&](const char *text) { buffer.append(text, kPiece.size()); });
}
BENCHMARK(BM_StdStringAppend_KnownLength);

}  // namespace
