// Message catalogs as the toolkit uses them: per message, a cached open of
// "kvlmsg" through an NLSPATH template, one text in UTF-8 and the close,
// against glibc's catopen + catgets + catclose on a catalog gencat made
// from the same source; each lookup alone; and the first open with its set
// load, reported apart.
#include <benchmark/benchmark.h>
#include <nl_types.h>

#include <cstdlib>
#include <string>

#include "zil.h"

namespace {

const std::string kNls = std::string(VRX_BENCH_BUILD_DIR) + "/nls/%L/%N.cat";
const std::string kGlibcCatalog = std::string(VRX_BENCH_BUILD_DIR) + "/bench/kvlmsg.glibc.cat";

void BM_CachedCycle(benchmark::State &state) {
    setenv("NLSPATH", kNls.c_str(), 1);
    zil_catd warm = zil_catopen("kvlmsg", 0, "C");  // cached and loaded
    for (auto _ : state) {
        zil_catd catalog = zil_catopen("kvlmsg", 0, "C");
        benchmark::DoNotOptimize(zil_catgets(catalog, 1, 61, "default", utf8_cs));
        zil_catclose(catalog);
    }
    zil_catclose(warm);
}
BENCHMARK(BM_CachedCycle);

void BM_Peer_GlibcCycle(benchmark::State &state) {
    for (auto _ : state) {
        nl_catd catalog = catopen(kGlibcCatalog.c_str(), 0);
        benchmark::DoNotOptimize(catgets(catalog, 1, 61, "default"));
        catclose(catalog);
    }
}
BENCHMARK(BM_Peer_GlibcCycle);

void BM_Gets(benchmark::State &state) {
    setenv("NLSPATH", kNls.c_str(), 1);
    zil_catd catalog = zil_catopen("kvlmsg", 0, "C");
    for (auto _ : state)
        benchmark::DoNotOptimize(zil_catgets(catalog, 1, 61, "default", utf8_cs));
    zil_catclose(catalog);
}
BENCHMARK(BM_Gets);

void BM_Peer_GlibcGets(benchmark::State &state) {
    nl_catd catalog = catopen(kGlibcCatalog.c_str(), 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(catgets(catalog, 1, 61, "default"));
    catclose(catalog);
}
BENCHMARK(BM_Peer_GlibcGets);

// A first open: the file read and checked, the set loaded on the first
// lookup, all released again.
void BM_FirstOpenAndSetLoad(benchmark::State &state) {
    setenv("NLSPATH", kNls.c_str(), 1);
    for (auto _ : state) {
        zil_catd catalog = zil_catopen("kvlmsg", 0, "C");
        benchmark::DoNotOptimize(zil_catgets(catalog, 1, 61, "default", utf8_cs));
        zil_catclose_fully(catalog);
    }
}
BENCHMARK(BM_FirstOpenAndSetLoad);

}  // namespace
