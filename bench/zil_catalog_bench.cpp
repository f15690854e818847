// Message catalogs as the toolkit uses them, beside glibc's catopen and
// catgets on a catalog gencat made from the same source, pair by pair
// doing the same work: one lookup on an open catalog; and a first open (the
// file opened and read, one text looked up, all released), which for glibc
// is every catopen + catgets + catclose, since it keeps nothing open. The
// toolkit's own per-message cycle (an open found in the cache, one text,
// the close) has no peer: glibc has no cache to compare it with.
#include <benchmark/benchmark.h>
#include <nl_types.h>

#include <cstdlib>
#include <string>

#include "zil.h"

namespace {

const std::string kNls = std::string(VRX_BENCH_BUILD_DIR) + "/nls/%L/%N.cat";
const std::string kGlibcCatalog = std::string(VRX_BENCH_BUILD_DIR) + "/bench/kvlmsg.glibc.cat";

void BM_CachedCycle_NoPeer(benchmark::State &state) {
    setenv("NLSPATH", kNls.c_str(), 1);
    zil_catd warm = zil_catopen("kvlmsg", 0, "C");  // cached and loaded
    for (auto _ : state) {
        zil_catd catalog = zil_catopen("kvlmsg", 0, "C");
        benchmark::DoNotOptimize(zil_catgets(catalog, 1, 61, "default", utf8_cs));
        zil_catclose(catalog);
    }
    zil_catclose(warm);
}
BENCHMARK(BM_CachedCycle_NoPeer);

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

void BM_Peer_GlibcFirstOpen(benchmark::State &state) {
    for (auto _ : state) {
        nl_catd catalog = catopen(kGlibcCatalog.c_str(), 0);
        benchmark::DoNotOptimize(catgets(catalog, 1, 61, "default"));
        catclose(catalog);
    }
}
BENCHMARK(BM_Peer_GlibcFirstOpen);

}  // namespace
