// The zil tests' common ground: a clean library state per test, with the
// environment the library reads set the way the test says.
#ifndef ZIL_TEST_ENV_H
#define ZIL_TEST_ENV_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "zil.h"
#include "zil_internal.h"

namespace ziltest {

// ZILDIR points at the build tree, whose codeset/ holds the built tables.
class ZilTest : public ::testing::Test {
protected:
    void SetUp() override {
        zil_uninit();
        for (const char *name : {"ZIL_CODESET", "NLSPATH", "BINDIR", "ZILDIR"})
            unsetenv(name);
        setenv("LC_ALL", "C", 1);
        setenv("ZILDIR", ZIL_TEST_BUILD_DIR, 1);
    }
    void TearDown() override {
        zil_uninit();
        zil::setLanginfoSource(nullptr);
        unsetenv("ZILDIR");
    }
};

// A table the build ships, as data/codesets.txt lists it: the tests that
// cover every codeset read this list, so a new line there is tested at once.
struct Shipped {
    std::string file, name, iconvName;
    int family = 0;
    std::vector<std::string> aliases;
};

inline std::vector<Shipped> shippedCodesets() {
    std::vector<Shipped> list;
    std::ifstream in(ZIL_TEST_MANIFEST);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Shipped s;
        std::string subst, substUnicode, scheme, aliases;
        fields >> s.file >> s.name >> s.family >> s.iconvName >> subst >> substUnicode >> scheme >>
            aliases;
        std::istringstream names(aliases);
        for (std::string alias; std::getline(names, alias, ',');)
            s.aliases.push_back(alias);
        list.push_back(s);
    }
    return list;
}

// A handle freed at the end of its scope; it converts to the library's
// pointer, so calls take it as they are.
class Codeset {
public:
    explicit Codeset(const char *name) : h_(zil_cs_new(name)) {}
    explicit Codeset(const std::string &name) : Codeset(name.c_str()) {}
    Codeset(const Codeset &) = delete;
    Codeset &operator=(const Codeset &) = delete;
    ~Codeset() { zil_cs_free(h_); }
    operator uc_ch_t *() const { return h_; }
    uc_ch_t *operator->() const { return h_; }

private:
    uc_ch_t *h_;
};

// One call of the one-shot conversions, for a character or a short text.
inline std::string utf8From(uc_ch_t *h, std::string_view local) {
    char out[64];
    return std::string(
        out, static_cast<size_t>(zil_to_utf8(h, local.data(), static_cast<int>(local.size()), out,
                                             sizeof out, nullptr)));
}
inline std::string localFrom(uc_ch_t *h, std::string_view utf8) {
    char out[64];
    return std::string(
        out, static_cast<size_t>(zil_from_utf8(h, utf8.data(), static_cast<int>(utf8.size()), out,
                                               sizeof out, nullptr)));
}

enum class Way { kToUtf8, kFromUtf8, kToUcs2 };

// One restartable call with `room` bytes of output (units' bytes into UCS-2):
// its result, what it wrote and how much input it left.
struct Step {
    int result;
    std::string bytes;
    size_t inputLeft;
};
inline Step step(uc_ch_t *h, Way way, std::string_view input, size_t room = 64) {
    std::string out(room, '\0');
    const char *p = input.data();
    size_t left = input.size(), outLeft = room;
    int result;
    if (way == Way::kToUcs2) {
        auto *units = reinterpret_cast<zil_ucs2_t *>(out.data());
        zil_ucs2_t *u = units;
        outLeft = room / sizeof(zil_ucs2_t);
        result = zil_to_ucs2_r(h, &p, &left, &u, &outLeft);
        out.resize(sizeof(zil_ucs2_t) * static_cast<size_t>(u - units));
    } else {
        char *o = out.data();
        result = way == Way::kToUtf8 ? zil_to_utf8_r(h, &p, &left, &o, &outLeft)
                                     : zil_from_utf8_r(h, &p, &left, &o, &outLeft);
        out.resize(static_cast<size_t>(o - out.data()));
    }
    return {result, out, left};
}

// `input` through the restartable call the way a streaming caller feeds it:
// pieces of 1..maxPiece bytes, output room of 1..4 bytes at a time, and the
// bytes of a character cut at a piece's end carried into the next piece.
// What is still cut when the input ends stays unconverted.
inline std::string convertInPieces(uc_ch_t *h, Way way, const std::string &input,
                                   std::mt19937 &random, size_t maxPiece) {
    std::string converted, pending;
    size_t pos = 0;
    while (pos < input.size()) {
        const size_t take = std::min<size_t>(1 + random() % maxPiece, input.size() - pos);
        const std::string piece = pending + input.substr(pos, take);
        pos += take;
        const char *p = piece.data();
        size_t left = piece.size();
        int result;
        do {
            char out[4];
            char *o = out;
            size_t room = 1 + random() % 4;
            if (way == Way::kToUcs2) {  // the units' bytes
                zil_ucs2_t units[4];
                zil_ucs2_t *u = units;
                room = 1 + room / 2;
                result = zil_to_ucs2_r(h, &p, &left, &u, &room);
                converted.append(reinterpret_cast<const char *>(units),
                                 sizeof(zil_ucs2_t) * static_cast<size_t>(u - units));
                continue;
            }
            result = way == Way::kToUtf8 ? zil_to_utf8_r(h, &p, &left, &o, &room)
                                         : zil_from_utf8_r(h, &p, &left, &o, &room);
            converted.append(out, static_cast<size_t>(o - out));
        } while (result == ZIL_CONV_OUTPUT_FULL);
        pending.assign(p, left);
    }
    return converted;
}

}  // namespace ziltest

#endif  // ZIL_TEST_ENV_H
