// Codeset conversion throughput: ours against glibc's iconv and, when it is
// installed, ICU, in one process on the same text. The text is a few MB of
// generated words with about 10% non-ASCII characters that every benchmarked
// codeset can represent. Bytes per second count the input.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "zil.h"

#ifdef VRX_BENCH_WITH_ICU
#include <unicode/ucnv.h>
#endif

namespace {

// Latin-1 letters that ISO 8859-1, ISO 8859-15, CP1252 and the EBCDIC
// pages all have.
const char *const kAccented[] = {"\xC3\xA9", "\xC3\xA8", "\xC3\xBC", "\xC3\xB1", "\xC3\xA7"};

const std::string &utf8Text() {
    static const std::string text = [] {
        std::mt19937 random(7);
        std::string t;
        while (t.size() < 4 << 20) {
            if (random() % 10 == 0)
                t += kAccented[random() % 5];
            else
                t += static_cast<char>(random() % 7 == 0 ? ' ' : 'a' + random() % 26);
        }
        return t;
    }();
    return text;
}

struct Codeset {
    const char *zilName;
    const char *iconvName;
    bool cjk = false;
};
const Codeset kCodesets[] = {{"ISO88591", "ISO-8859-1"}, {"CP1252", "CP1252"},
                             {"IBM1047", "IBM1047"},     {"SJIS", "CP932", true},
                             {"GBK", "GBK", true},       {"BIG5", "BIG5", true},
                             {"EUCKR", "EUC-KR", true},  {"EUCJP", "EUC-JP", true},
                             {"IBM939", "IBM939", true}, {"GB18030", "GB18030", true}};

uc_ch_t *openHandle(const Codeset &cs) {
    static bool dirSet = false;
    if (!dirSet) {
        zil_set_dir(VRX_BENCH_BUILD_DIR);
        dirSet = true;
    }
    return zil_cs_new(cs.zilName);
}

// About 60 % CJK characters the codeset maps, the rest ASCII letters.
std::string cjkText(uc_ch_t *h) {
    std::mt19937 random(11);
    std::string t;
    while (t.size() < 4 << 20) {
        if (random() % 10 < 6) {
            const unsigned cp = 0x4E00 + random() % 0x5000;
            const char u[4] = {static_cast<char>(0xE0 | (cp >> 12)),
                               static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                               static_cast<char>(0x80 | (cp & 0x3F)), 0};
            char local[8];
            h->subst_count = 0;
            if (zil_from_utf8(h, u, 3, local, sizeof local, nullptr) >= 2 && h->subst_count == 0)
                t += u;
        } else {
            t += static_cast<char>('a' + random() % 26);
        }
    }
    return t;
}

const std::string &sampleUtf8(uc_ch_t *h, const Codeset &cs) {
    static std::map<std::string, std::string> cache;
    if (!cs.cjk) return utf8Text();
    auto found = cache.find(cs.zilName);
    if (found == cache.end()) found = cache.emplace(cs.zilName, cjkText(h)).first;
    return found->second;
}

// The text in the codeset, made with our converter.
std::string localText(uc_ch_t *h, const Codeset &cs) {
    const std::string &u = sampleUtf8(h, cs);
    std::string out(u.size(), '\0');
    out.resize(
        static_cast<size_t>(zil_from_utf8(h, u.data(), static_cast<int>(u.size()), out.data(),
                                          static_cast<int>(out.size()), nullptr)));
    return out;
}

void BM_ZilToUtf8(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    const std::string in = localText(h, cs);
    std::string out(in.size() * 3, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(zil_to_utf8(h, in.data(), static_cast<int>(in.size()), out.data(),
                                             static_cast<int>(out.size()), nullptr));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    zil_cs_free(h);
}

void BM_ZilFromUtf8(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    const std::string &in = sampleUtf8(h, cs);
    std::string out(in.size(), '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(zil_from_utf8(h, in.data(), static_cast<int>(in.size()),
                                               out.data(), static_cast<int>(out.size()), nullptr));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    zil_cs_free(h);
}

void BM_ZilToUcs2(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    const std::string in = localText(h, cs);
    std::vector<zil_ucs2_t> out(in.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(zil_to_ucs2(h, in.data(), static_cast<int>(in.size()), out.data(),
                                             static_cast<int>(out.size()), nullptr));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    zil_cs_free(h);
}

void runIconv(benchmark::State &state, const char *to, const char *from, const std::string &in,
              size_t outFactor) {
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * outFactor, '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *ip = const_cast<char *>(in.data());
        char *op = out.data();
        size_t inLeft = in.size(), outLeft = out.size();
        benchmark::DoNotOptimize(iconv(cd, &ip, &inLeft, &op, &outLeft));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    iconv_close(cd);
}

void BM_IconvToUtf8(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    runIconv(state, "UTF-8", cs.iconvName, localText(h, cs), 3);
    zil_cs_free(h);
}
void BM_IconvFromUtf8(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    runIconv(state, cs.iconvName, "UTF-8", sampleUtf8(h, cs), 1);
    zil_cs_free(h);
}
void BM_IconvToUcs2(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    runIconv(state, "UCS-2LE", cs.iconvName, localText(h, cs), 2);
    zil_cs_free(h);
}

#ifdef VRX_BENCH_WITH_ICU
void runIcu(benchmark::State &state, const char *to, const char *from, const std::string &in,
            size_t outFactor) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter *target = ucnv_open(to, &status);
    UConverter *source = ucnv_open(from, &status);
    std::string out(in.size() * outFactor + 16, '\0');
    for (auto _ : state) {
        status = U_ZERO_ERROR;
        benchmark::DoNotOptimize(ucnv_convert(to, from, out.data(),
                                              static_cast<int32_t>(out.size()), in.data(),
                                              static_cast<int32_t>(in.size()), &status));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    ucnv_close(target);
    ucnv_close(source);
}
void BM_IcuToUtf8(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    runIcu(state, "UTF-8", cs.iconvName, localText(h, cs), 3);
    zil_cs_free(h);
}
void BM_IcuFromUtf8(benchmark::State &state, Codeset cs) {
    uc_ch_t *h = openHandle(cs);
    runIcu(state, cs.iconvName, "UTF-8", sampleUtf8(h, cs), 1);
    zil_cs_free(h);
}
#endif

void registerAll() {
    for (const Codeset &cs : kCodesets) {
        const std::string n = cs.zilName;
        benchmark::RegisterBenchmark(("ToUtf8/zil/" + n).c_str(), BM_ZilToUtf8, cs);
        benchmark::RegisterBenchmark(("ToUtf8/iconv/" + n).c_str(), BM_IconvToUtf8, cs);
#ifdef VRX_BENCH_WITH_ICU
        benchmark::RegisterBenchmark(("ToUtf8/icu/" + n).c_str(), BM_IcuToUtf8, cs);
#endif
        benchmark::RegisterBenchmark(("FromUtf8/zil/" + n).c_str(), BM_ZilFromUtf8, cs);
        benchmark::RegisterBenchmark(("FromUtf8/iconv/" + n).c_str(), BM_IconvFromUtf8, cs);
#ifdef VRX_BENCH_WITH_ICU
        benchmark::RegisterBenchmark(("FromUtf8/icu/" + n).c_str(), BM_IcuFromUtf8, cs);
#endif
        benchmark::RegisterBenchmark(("ToUcs2/zil/" + n).c_str(), BM_ZilToUcs2, cs);
        benchmark::RegisterBenchmark(("ToUcs2/iconv/" + n).c_str(), BM_IconvToUcs2, cs);
    }
}

const int registered = (registerAll(), 0);

}  // namespace
