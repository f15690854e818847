// Binding a toolkit message with two parameters (a string and an int)
// against snprintf of the same text into a stack buffer: the floor. Binding
// also opens and closes the (absent) catalog and allocates its result.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "KvlMessage.h"
#include "OxsMemory.h"

namespace {

constexpr const char *kText = "KVLBC0031E Property '%1$s' must be %2$d characters or less.";

void BM_BindMessage(benchmark::State &state) {
    KvlI18Msg *message = kvlIntlAllocI18Msg("kvlmsg", 1, 31, kText);
    kvlIntlAddI18MsgParmString(message, "fileName");
    kvlIntlAddI18MsgParmInt(message, 255);
    for (auto _ : state) {
        char *text = kvlIntlBindI18Msg(message);
        benchmark::DoNotOptimize(text);
        OxsMemoryFree(text);
    }
    kvlIntlFreeI18Msg(message);
}

void BM_Snprintf(benchmark::State &state) {
    char text[256];
    for (auto _ : state)
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, kText, "fileName", 255));
}

BENCHMARK(BM_BindMessage);
BENCHMARK(BM_Snprintf);

}  // namespace
