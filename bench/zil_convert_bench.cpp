// Codeset conversion: ours against glibc's iconv and ICU, in one process on
// the same input, each the way a careful caller uses it: our handle, the
// iconv descriptor and the ICU converters are opened once, outside the
// timing (ICU through ucnv_convertEx with a pivot between two byte
// codesets, ucnv_toUChars into UTF-16).
//
// Inputs, by codeset: mostly ASCII ("ascii", a log record's shape: about 5 %
// non-ASCII characters), mixed Latin ("latin", about 10 % accented letters,
// single-byte codesets) or CJK-heavy ("cjk", about 60 % double-byte
// characters). Sizes: one 120-byte record per call, cycling through many
// records ("record"), or 4 MB at once ("bulk"). Only characters that all
// three map alike are used, and before any timing each benchmark checks
// that the three outputs are byte for byte the same: a fast wrong answer
// fails the run. Bytes per second count the input.
//
// Names: <direction>/<impl>/<codeset>/<shape>/<size>.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "zil.h"

#ifdef VRX_BENCH_WITH_ICU
#include <unicode/ucnv.h>
#endif

namespace {

struct Codeset {
    const char *zilName, *iconvName, *icuName;
    bool cjk;
};
const Codeset kCodesets[] = {
    {"ISO88591", "ISO-8859-1", "ISO-8859-1", false},
    {"CP1252", "CP1252", "windows-1252", false},
    {"IBM1047", "IBM1047", "ibm-1047", false},
    {"SJIS", "CP932", "windows-31j", true},
    {"GBK", "GBK", "GBK", true},
    {"BIG5", "BIG5", "windows-950", true},
    {"EUCKR", "EUC-KR", "EUC-KR", true},
    {"EUCJP", "EUC-JP", "EUC-JP", true},
    {"IBM939", "IBM939", "ibm-939", true},
    {"GB18030", "GB18030", "GB18030", true},
};

enum class Direction { kToUtf8, kFromUtf8, kToUcs2 };
enum class Impl { kZil, kIconv, kIcu };
constexpr size_t kRecordSize = 120;
constexpr size_t kBulkSize = 4 << 20;

std::string utf8Of(uint32_t cp) {
    std::string u;
    if (cp < 0x80) {
        u += static_cast<char>(cp);
    } else if (cp < 0x800) {
        u += static_cast<char>(0xC0 | (cp >> 6));
        u += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        u += static_cast<char>(0xE0 | (cp >> 12));
        u += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        u += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return u;
}

uc_ch_t *openZil(const Codeset &cs) {
    static const bool dirSet = (zil_set_dir(VRX_BENCH_BUILD_DIR), true);
    (void)dirSet;
    return zil_cs_new(cs.zilName);
}

// The local bytes of one UTF-8 character by each implementation; empty when
// one of them has no mapping.
std::string zilLocal(uc_ch_t *h, const std::string &u) {
    char out[16];
    h->subst_count = 0;
    const int n = zil_from_utf8(h, u.data(), static_cast<int>(u.size()), out, sizeof out, nullptr);
    return n > 0 && h->subst_count == 0 ? std::string(out, static_cast<size_t>(n)) : std::string();
}
std::string iconvLocal(const Codeset &cs, const std::string &u) {
    iconv_t cd = iconv_open(cs.iconvName, "UTF-8");
    char in[16], out[16];
    u.copy(in, u.size());
    char *ip = in, *op = out;
    size_t inLeft = u.size(), outLeft = sizeof out;
    const bool ok = iconv(cd, &ip, &inLeft, &op, &outLeft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &op, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    return ok ? std::string(out, sizeof out - outLeft) : std::string();
}

// Characters every implementation maps alike: for "latin" the Latin-1
// letters, for "cjk" a sample of the CJK block, each kept only when the
// three agree (their tables differ on a few characters, and a benchmark of
// different answers compares nothing).
std::vector<std::string> agreedCharacters(uc_ch_t *h, const Codeset &cs) {
    std::vector<std::string> agreed;
    std::mt19937 random(11);
    const int wanted = cs.cjk ? 3000 : 40;
    for (int tries = 0; tries < 20000 && static_cast<int>(agreed.size()) < wanted; ++tries) {
        const uint32_t cp = cs.cjk ? 0x4E00 + random() % 0x5000 : 0xC0 + random() % 0x40;
        const std::string u = utf8Of(cp);
        const std::string ours = zilLocal(h, u);
        if (ours.empty() || ours != iconvLocal(cs, u)) continue;
#ifdef VRX_BENCH_WITH_ICU
        UErrorCode status = U_ZERO_ERROR;
        char icu[16];
        const int32_t n = ucnv_convert(cs.icuName, "UTF-8", icu, sizeof icu, u.data(),
                                       static_cast<int32_t>(u.size()), &status);
        if (U_FAILURE(status) || std::string(icu, static_cast<size_t>(n)) != ours) continue;
#endif
        agreed.push_back(u);
    }
    return agreed;
}

// UTF-8 text of the shape: ASCII words with `percent` % of the characters
// taken from `special`.
std::string makeText(const std::vector<std::string> &special, int percent, size_t size,
                     uint32_t seed) {
    std::mt19937 random(seed);
    std::string t;
    while (t.size() < size) {
        if (!special.empty() && static_cast<int>(random() % 100) < percent)
            t += special[random() % special.size()];
        else
            t += static_cast<char>(random() % 7 == 0 ? ' ' : 'a' + random() % 26);
    }
    // Whole characters only: cut back to the last ASCII byte.
    while (!t.empty() && static_cast<unsigned char>(t.back()) >= 0x80)
        t.pop_back();
    return t;
}

// One benchmark's inputs: the texts converted, in the direction's source
// form (UTF-8 or the codeset's bytes).
struct Inputs {
    std::vector<std::string> texts;
    size_t bytes = 0;
};

std::string zilFromUtf8(uc_ch_t *h, const std::string &u) {
    std::string out(u.size() * 2 + 16, '\0');
    out.resize(
        static_cast<size_t>(zil_from_utf8(h, u.data(), static_cast<int>(u.size()), out.data(),
                                          static_cast<int>(out.size()), nullptr)));
    return out;
}

// A converter per implementation, opened once, converting one text into
// `out` (bytes, or UTF-16 units as bytes).
class Converter {
public:
    Converter(Impl impl, Direction direction, const Codeset &cs) : impl_(impl), dir_(direction) {
        if (impl == Impl::kZil) handle_ = openZil(cs);
        if (impl == Impl::kIconv) {
            const char *from = direction == Direction::kFromUtf8 ? "UTF-8" : cs.iconvName;
            const char *to = direction == Direction::kToUtf8   ? "UTF-8"
                             : direction == Direction::kToUcs2 ? "UCS-2LE"
                                                               : cs.iconvName;
            cd_ = iconv_open(to, from);
        }
#ifdef VRX_BENCH_WITH_ICU
        if (impl == Impl::kIcu) {
            UErrorCode status = U_ZERO_ERROR;
            local_ = ucnv_open(cs.icuName, &status);
            utf8_ = ucnv_open("UTF-8", &status);
        }
#endif
    }
    ~Converter() {
        if (handle_ != nullptr) zil_cs_free(handle_);
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
#ifdef VRX_BENCH_WITH_ICU
        if (local_ != nullptr) ucnv_close(local_);
        if (utf8_ != nullptr) ucnv_close(utf8_);
#endif
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // The converted length in bytes.
    size_t convert(const std::string &in, std::string &out) {
        switch (impl_) {
            case Impl::kZil:
                return zil(in, out);
            case Impl::kIconv: {
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
                char *ip = const_cast<char *>(in.data());
                char *op = out.data();
                size_t inLeft = in.size(), outLeft = out.size();
                iconv(cd_, &ip, &inLeft, &op, &outLeft);
                iconv(cd_, nullptr, nullptr, &op, &outLeft);
                return out.size() - outLeft;
            }
            case Impl::kIcu:
                return icu(in, out);
        }
        return 0;
    }

private:
    size_t zil(const std::string &in, std::string &out) {
        const int n = static_cast<int>(in.size());
        switch (dir_) {
            case Direction::kToUtf8:
                return static_cast<size_t>(zil_to_utf8(handle_, in.data(), n, out.data(),
                                                       static_cast<int>(out.size()), nullptr));
            case Direction::kFromUtf8:
                return static_cast<size_t>(zil_from_utf8(handle_, in.data(), n, out.data(),
                                                         static_cast<int>(out.size()), nullptr));
            case Direction::kToUcs2:
                return 2 * static_cast<size_t>(zil_to_ucs2(
                               handle_, in.data(), n, reinterpret_cast<zil_ucs2_t *>(out.data()),
                               static_cast<int>(out.size() / 2), nullptr));
        }
        return 0;
    }

    size_t icu(const std::string &in, std::string &out) {
#ifdef VRX_BENCH_WITH_ICU
        UErrorCode status = U_ZERO_ERROR;
        if (dir_ == Direction::kToUcs2)
            return 2 * static_cast<size_t>(
                           ucnv_toUChars(local_, reinterpret_cast<UChar *>(out.data()),
                                         static_cast<int32_t>(out.size() / 2), in.data(),
                                         static_cast<int32_t>(in.size()), &status));
        UConverter *target = dir_ == Direction::kToUtf8 ? utf8_ : local_;
        UConverter *source = dir_ == Direction::kToUtf8 ? local_ : utf8_;
        char *o = out.data();
        const char *p = in.data();
        UChar *pivotSource = pivot_, *pivotTarget = pivot_;
        ucnv_convertEx(target, source, &o, out.data() + out.size(), &p, in.data() + in.size(),
                       pivot_, &pivotSource, &pivotTarget, pivot_ + kPivot, true, true, &status);
        return static_cast<size_t>(o - out.data());
#else
        (void)in;
        (void)out;
        return 0;
#endif
    }

    Impl impl_;
    Direction dir_;
    uc_ch_t *handle_ = nullptr;
    iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
#ifdef VRX_BENCH_WITH_ICU
    static constexpr int kPivot = 1024;
    UConverter *local_ = nullptr, *utf8_ = nullptr;
    UChar pivot_[kPivot];
#endif
};

struct Case {
    Codeset cs;
    Direction direction;
    Impl impl;
    std::string shape;
    bool record;
};

// The inputs of a case, made once per (codeset, direction, shape, size).
const Inputs &inputsOf(const Case &c) {
    static std::map<std::string, Inputs> cache;
    const std::string key = std::string(c.cs.zilName) + "/" +
                            std::to_string(static_cast<int>(c.direction)) + "/" + c.shape + "/" +
                            (c.record ? "r" : "b");
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    uc_ch_t *h = openZil(c.cs);
    static std::map<std::string, std::vector<std::string>> agreed;
    if (!agreed.count(c.cs.zilName)) agreed[c.cs.zilName] = agreedCharacters(h, c.cs);
    const int percent = c.shape == "ascii" ? 5 : c.shape == "latin" ? 10 : 60;
    Inputs inputs;
    const size_t count = c.record ? 1024 : 1;
    for (size_t i = 0; i < count; ++i) {
        const std::string u =
            makeText(agreed[c.cs.zilName], percent, c.record ? kRecordSize : kBulkSize,
                     static_cast<uint32_t>(7 + i));
        inputs.texts.push_back(c.direction == Direction::kFromUtf8 ? u : zilFromUtf8(h, u));
        inputs.bytes += inputs.texts.back().size();
    }
    zil_cs_free(h);
    return cache.emplace(key, std::move(inputs)).first->second;
}

void BM_Convert(benchmark::State &state, Case c) {
    const Inputs &inputs = inputsOf(c);
    Converter converter(c.impl, c.direction, c.cs);
    size_t longest = 0;
    for (const std::string &text : inputs.texts)
        longest = std::max(longest, text.size());
    std::string out(longest * 4 + 64, '\0');

    // The same answer as the other implementations, for every input.
    for (const Impl other : {Impl::kZil, Impl::kIconv, Impl::kIcu}) {
#ifndef VRX_BENCH_WITH_ICU
        if (other == Impl::kIcu) continue;
#endif
        if (other == c.impl) continue;
        Converter reference(other, c.direction, c.cs);
        std::string expected(out.size(), '\0');
        for (const std::string &text : inputs.texts) {
            const size_t got = converter.convert(text, out);
            const size_t want = reference.convert(text, expected);
            if (got != want || out.compare(0, got, expected, 0, want) != 0) {
                state.SkipWithError("the implementations' outputs differ");
                return;
            }
        }
    }

    size_t next = 0, bytes = 0;
    for (auto _ : state) {
        const std::string &text = inputs.texts[next];
        next = next + 1 == inputs.texts.size() ? 0 : next + 1;
        benchmark::DoNotOptimize(converter.convert(text, out));
        bytes += text.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void registerAll() {
    const char *const directionNames[] = {"ToUtf8", "FromUtf8", "ToUcs2"};
    const char *const implNames[] = {"zil", "iconv", "icu"};
    for (const Codeset &cs : kCodesets) {
        for (const char *shape : {"ascii", cs.cjk ? "cjk" : "latin"}) {
            for (const bool record : {true, false}) {
                for (int d = 0; d < 3; ++d) {
                    for (int i = 0; i < 3; ++i) {
#ifndef VRX_BENCH_WITH_ICU
                        if (i == 2) continue;
#endif
                        const Case c{cs, static_cast<Direction>(d), static_cast<Impl>(i), shape,
                                     record};
                        const std::string name = std::string(directionNames[d]) + "/" +
                                                 implNames[i] + "/" + cs.zilName + "/" + shape +
                                                 (record ? "/record" : "/bulk");
                        benchmark::RegisterBenchmark(name.c_str(), BM_Convert, c);
                    }
                }
            }
        }
    }
}

const int registered = (registerAll(), 0);

}  // namespace
