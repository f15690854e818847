// Locale names: canonical forms, languages and the operating system's names.

#include "zil_test_env.h"

namespace {

using ziltest::ZilTest;

class ZilLocaleTest : public ZilTest {};

TEST_F(ZilLocaleTest, CanonicalLocalesAndLanguages) {
    const struct {
        const char *name;
        const char *locale;
        const char *language;
    } cases[] = {
        // clang-format off
        {"en_US.ISO8859-1", "en_US", "C"}, {"EN_us", "en_US", "C"}, {"de.UTF-8", "de", "de"},
        {"de-CH", "de_CH", "de"}, {"ENUS437", "en_US", "C"}, {"american", "C", "C"},
        {"POSIX", "POSIX", "POSIX"}, {"english", "english", "engli"}, {"", "", ""}, {"C", "C", "C"},
        {"pt_PT", "pt_PT", "pt_BR"}, {"zh_HK", "zh_HK", "zh_CN"}, {"zh_TW", "zh_TW", "zh_TW"},
        {"de_DE", "de_DE", "de"}, {"ja_JP.eucJP", "ja_JP", "ja_JP"}, {"cz", "cs", "cs"},
        {"Jp_JP", "ja_JP", "ja_JP"}, {"fr", "fr", "fr_FR"},
        // clang-format on
    };
    for (const auto &c : cases) {
        char out[32];
        EXPECT_EQ(zil_canonical_loc(c.name, out, sizeof out), 0);
        EXPECT_STREQ(out, c.locale) << c.name;
        zil_canonical_lang(c.name, out, sizeof out);
        EXPECT_STREQ(out, c.language) << c.name;
    }
    char small[3];
    zil_canonical_loc("en_US", small, sizeof small);
    EXPECT_STREQ(small, "en");
    char *loc = zil_loc_new("de-CH.UTF-8");
    EXPECT_STREQ(loc, "de_CH");
    EXPECT_EQ(zil_loc_free(loc), 0);
}

TEST_F(ZilLocaleTest, OsLanguageName) {
    const struct {
        const char *lang;  // null: unset
        const char *expected;
    } cases[] = {{"de_DE.UTF-8", "de_DE.UTF-8"}, {"", "C"}, {nullptr, "C"}};
    for (const auto &c : cases) {
        if (c.lang != nullptr)
            setenv("LANG", c.lang, 1);
        else
            unsetenv("LANG");
        char out[32] = "x";
        zil_os_lang_name(out, sizeof out);
        EXPECT_STREQ(out, c.expected);
    }
    unsetenv("LANG");
}

// A platform that knows a few names, and records what it was asked.
std::set<std::string> known;
std::vector<std::string> asked;
bool fakeAccepts(int, const char *name) {
    asked.emplace_back(name);
    return known.count(name) != 0;
}

TEST_F(ZilLocaleTest, SetLocaleTriesOperatingSystemNames) {
    zil::setLocaleAcceptor(fakeAccepts);
    const struct {
        const char *locale;
        std::set<std::string> platform;
        const char *result;
        std::vector<std::string> tried;
        // clang-format off
    } cases[] = {
        {"en_US.ISO8859-1", {"C", "en_US.UTF-8"}, "en_US.UTF-8", {"en_US.ISO8859-1", "en_US", "en_US.UTF-8"}},
        {"de_DE", {"C"}, "C", {"de_DE", "de", "de_AT", "de_CH", "C"}},
        {"fr_CA", {"C", "fr"}, "fr", {"fr_CA", "fr_CA", "fr"}},
        {"fr_CA", {"fr_CA"}, "fr_CA", {"fr_CA"}},
        {"su", {"su"}, "su", {"su"}},
        {"finnish_x", {"C"}, "C", {"finnish_x", "su", "C"}},  // its first letters open "fi"
        {"xyz", {"C"}, "C", {"xyz", "C"}},                    // no group: straight to C
        {"zh_TW.x", {"zh_TW.BIG5"}, "zh_TW.BIG5", {"zh_TW.x", "zh_TW", "zh_TW.big5", "zh_TW.BIG5"}},
        // The last group runs to the end of the table: only its first row.
        {"zh_HK", {"zh_TW.big5"}, "C", {"zh_HK", "zh", "C"}},
    };
    // clang-format on
    for (const auto &c : cases) {
        known = c.platform;
        asked.clear();
        EXPECT_STREQ(zil_setlocale(LC_ALL, c.locale), c.result) << c.locale;
        EXPECT_EQ(asked, c.tried) << c.locale;
    }
    zil::setLocaleAcceptor(nullptr);
    EXPECT_STREQ(zil_setlocale(LC_ALL, "C"), "C");
    EXPECT_STREQ(zil_setlocale(LC_ALL, nullptr), "C");
}

}  // namespace
