// Opening the toolkit with a large properties file: many configurations of
// one property each (the shape of a fleet-wide file with an entry per
// component), and many properties of one configuration. Opening should
// grow linearly with the file: the `per_line_ns` counter stays flat from
// one size to the next when it does.
//
// Files go to a temporary directory under VRX_BENCH_DIR (default /var/tmp)
// and are removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kavel.h"

namespace {

namespace fs = std::filesystem;

const fs::path &directory() {
    static const fs::path *const dir = [] {
        const char *base = std::getenv("VRX_BENCH_DIR");
        std::string pattern =
            std::string(base != nullptr ? base : "/var/tmp") + "/kvl_props_bench.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] { fs::remove_all(directory()); });
        return new fs::path(pattern);
    }();
    return *dir;
}

// A file of `lines` lines: one property per configuration, or all of one.
std::string makeFile(bool oneConfiguration, int64_t lines) {
    const std::string path =
        (directory() / ((oneConfiguration ? "one" : "many") + std::to_string(lines))).string();
    if (fs::exists(path)) return path;
    std::ofstream out(path);
    for (int64_t i = 0; i < lines; ++i) {
        if (oneConfiguration)
            out << "fleet.collector.property" << i << "=a value of some length\n";
        else
            out << "fleet.site.component" << i << ".description=a value of some length\n";
    }
    return path;
}

void openWith(benchmark::State &state, bool oneConfiguration) {
    const std::string path = makeFile(oneConfiguration, state.range(0));
    for (auto _ : state) {
        if (KvlOpenToolkit(path.c_str()) != 1) state.SkipWithError("the file did not open");
        KvlCloseToolkit();
    }
    state.counters["per_line_ns"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}

void BM_OpenManyConfigurations(benchmark::State &state) { openWith(state, false); }
BENCHMARK(BM_OpenManyConfigurations)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_OpenOneConfigurationManyProperties(benchmark::State &state) { openWith(state, true); }
BENCHMARK(BM_OpenOneConfigurationManyProperties)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
