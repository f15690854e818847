// The zil tests' common ground: a clean library state per test, with the
// environment the library reads set the way the test says.
#ifndef ZIL_TEST_ENV_H
#define ZIL_TEST_ENV_H

#include "test_support.h"
#include "zil_internal.h"
#include "zil_pieces.h"

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

// `input` through the restartable call in pieces of 1..maxPiece bytes and
// output rooms of 1..4 bytes or units, both drawn from `random`.
inline std::string convertInPieces(uc_ch_t *h, Way way, const std::string &input,
                                   std::mt19937 &random, size_t maxPiece) {
    return convertInPieces(
        h, way, input, [&](size_t most) { return 1 + random() % most; }, maxPiece);
}

}  // namespace ziltest

#endif  // ZIL_TEST_ENV_H
