// Multibyte and wide characters, whole texts and time texts in a handle's
// codeset, and what each answers for what does not convert.

#include "zil_test_env.h"

namespace {

using ziltest::ZilTest;

class ZilMbTest : public ZilTest {};

TEST_F(ZilMbTest, EveryByteOfEveryShippedSingleByteCodeset) {
    for (const ziltest::Shipped &shipped : ziltest::shippedCodesets()) {
        if (shipped.family != ZIL_KIND_ASCII_SBCS && shipped.family != ZIL_KIND_EBCDIC_SBCS)
            continue;
        const char *name = shipped.file.c_str();
        ziltest::Codeset h(name);
        ASSERT_NE(h, nullptr) << name;
        for (int b = 1; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            zil_ucs2_t expected = 0;
            zil_to_ucs2(h, &byte, 1, &expected, 1, nullptr);
            zil_ucs2_t wc = 0;
            ASSERT_EQ(zil_mbtowc(h, &wc, &byte, 1), 1) << name << " " << b;
            ASSERT_EQ(wc, expected) << name << " " << b;
            ASSERT_EQ(zil_mblen(h, &byte, 4), 1);
            uint32_t wide = 0;
            ASSERT_EQ(zil_mbtowc32(h, &wide, &byte, 1), 1);
            ASSERT_EQ(wide, expected);
            char back[4];
            ASSERT_EQ(zil_wctomb(h, back, wc), 1) << name << " " << b;
            const bool newLine = h->kind == ZIL_KIND_EBCDIC_SBCS && b == 0x15;  // reads as 0x25
            if (expected != '?' && !newLine) {
                ASSERT_EQ(back[0], byte) << name << " " << b;
            }
            ASSERT_EQ(zil_mbsbtype(h, "xyz", 1), 0);  // single-byte: always a whole character
        }
        const char nul = '\0';
        zil_ucs2_t wc = 7;
        EXPECT_EQ(zil_mbtowc(h, &wc, &nul, 1), 0);
        EXPECT_EQ(wc, 0);
        EXPECT_EQ(zil_mbtowc(h, nullptr, nullptr, 0), 0) << "not stateful";
        EXPECT_EQ(zil_wctomb(h, nullptr, 0), 0);
    }
}

TEST_F(ZilMbTest, Utf8Characters) {
    uc_ch_t *u = utf8_cs;
    const struct {
        const char *bytes;
        size_t n;
        int used;
        uint32_t value32;
        int used16;  // zil_mbtowc: one unit only
    } cases[] = {
        // clang-format off
        {"A", 1, 1, 'A', 1}, {"\xC3\xA9", 2, 2, 0xE9, 2}, {"\xE2\x82\xAC", 3, 3, 0x20AC, 3},
        {"\xF0\x9F\x98\x80", 4, 4, 0x1F600, -1},
        // clang-format on
        {"\xC3", 1, -1, 0, -1},  // cut
        {"\xE2\x82", 2, -1, 0, -1},
    };
    for (const auto &c : cases) {
        uint32_t value = 0;
        EXPECT_EQ(zil_mbtowc32(u, &value, c.bytes, c.n), c.used) << c.bytes;
        if (c.used > 0) {
            EXPECT_EQ(value, c.value32);
        }
        zil_ucs2_t unit = 0;
        EXPECT_EQ(zil_mbtowc(u, &unit, c.bytes, c.n), c.used16) << c.bytes;
        EXPECT_EQ(zil_mblen(u, c.bytes, c.n), c.used) << c.bytes;
    }
    char out[4];
    EXPECT_EQ(zil_wctomb(u, out, 0x20AC), 3);
    EXPECT_EQ(std::string(out, 3), "\xE2\x82\xAC");
    EXPECT_EQ(zil_wctomb(u, out, 0xD800), -1) << "half a pair does not convert whole";

    // Roles of bytes: a, then the two bytes of e-acute, then the euro sign.
    const char *text = "a\xC3\xA9\xE2\x82\xAC";
    const int roles[] = {0, 1, 2, 1, 2, 2, -1};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(zil_mbsbtype(u, text, static_cast<size_t>(i)), roles[i]) << i;
    EXPECT_EQ(zil_ismbs1st(u, text, text + 3), 1);
    EXPECT_EQ(zil_ismbs1st(u, text, text + 4), 0);
    EXPECT_EQ(zil_mbsbtype(u, "\x80\xC3\xA9", 1), 1) << "an invalid byte is stepped over";
    EXPECT_EQ(zil_mbsbtype(u, "\x80\xC3\xA9", 0), -1) << "and is no character itself";
}

TEST_F(ZilMbTest, StringsOfCharacters) {
    ziltest::Codeset latin("ISO88591");
    const std::vector<zil_ucs2_t> wide = {'c', 'a', 'f', 0xE9, 0x20AC, 0};
    EXPECT_EQ(zil_wcstombs(latin, nullptr, wide.data(), 0), -1) << "the euro sign does not convert";
    EXPECT_EQ(zil_wcstombs(latin, nullptr, wide.data() + 1, 0), -1);
    EXPECT_EQ(zil_wcstombs(latin, nullptr, std::vector<zil_ucs2_t>{'c', 0xE9, 0}.data(), 0), 2);
    char bytes[8] = "zzzzzzz";
    zil_check_subs(latin);
    EXPECT_EQ(zil_wcstombs(latin, bytes, wide.data(), sizeof bytes), 5);
    EXPECT_STREQ(bytes, "caf\xE9?");
    EXPECT_EQ(zil_check_subs(latin), 1);
    EXPECT_EQ(zil_check_subs(latin), 0);
    EXPECT_EQ(zil_wcstombs(latin, bytes, wide.data(), 3), 3) << "cut at the room, no terminator";

    zil_ucs2_t units[8];
    EXPECT_EQ(zil_mbstowcs(latin, nullptr, "caf\xE9", 0), 4);
    EXPECT_EQ(zil_mbstowcs(latin, units, "caf\xE9", 8), 4);
    EXPECT_EQ(units[3], 0xE9);
    EXPECT_EQ(units[4], 0);
    EXPECT_EQ(zil_mbstowcs(latin, units, "caf\xE9", 2), 2) << "the output filled up";
    EXPECT_EQ(zil_mbstowcs(utf8_cs, nullptr, "ab\xC3", 0), -1) << "a cut sequence";

    char *s = zil_u2s(latin, "caf\xC3\xA9 \xE2\x82\xAC\xE2\x82\xAC", nullptr);
    EXPECT_STREQ(s, "caf\xE9 ??");
    EXPECT_EQ(zil_check_subs(latin), 2);
    char *u = zil_s2u(latin, s, nullptr);
    EXPECT_STREQ(u, "caf\xC3\xA9 ??");
    char own[64];
    char *ownPtr = own;
    EXPECT_EQ(zil_s2u(latin, "\xE9", &ownPtr), own) << "an existing buffer is used";
    EXPECT_STREQ(own, "\xC3\xA9");
    ziltest::Codeset ebcdic("IBM1047");
    char *converted = nullptr;
    EXPECT_EQ(zil_strconv(latin, ebcdic, "A\xE9", &converted), converted);
    EXPECT_STREQ(converted, "\xC1\x51");
    char *empty = zil_u2s(latin, nullptr, nullptr);
    EXPECT_STREQ(empty, "");
    for (char *p : {s, u, converted, empty})
        zil_free(p);
}

// A German locale in ISO 8859-1, made with localedef in a private folder.
// Counting calls and single characters answer -1 for what does not convert.
TEST_F(ZilMbTest, WhatDoesNotConvertIsMinusOne) {
    ziltest::Codeset latin("ISO88591");
    ziltest::Codeset sjis("SJIS");
    char bytes[4];
    EXPECT_EQ(zil_wctomb(latin, bytes, 0x20AC), -1);
    EXPECT_EQ(zil_wctomb(latin, bytes, 0xE9), 1);
    EXPECT_EQ(zil_check_subs(latin), 0) << "a refused character is not counted";
    // clang-format off
    EXPECT_EQ(zil_mbstowcs(sjis, nullptr, "a\x80" "b", 0), -1) << "0x80 is no character in SJIS";
    EXPECT_EQ(zil_mbstowcs(sjis, nullptr, "a\x93\xFA" "b", 0), 3);
    // clang-format on
}

// A time text that does not fit whole is no text: cut, it could end inside
// a character or inside a double-byte run.
TEST_F(ZilMbTest, TimeTextsThatDoNotFitGiveNothing) {
    setenv("LC_ALL", "C.UTF-8", 1);
    zil_uninit();
    setenv("ZILDIR", ZIL_TEST_BUILD_DIR, 1);
    zil_init();
    std::tm any{};
    for (const char *name : {"SJIS", "IBM939"}) {
        ziltest::Codeset h(name);
        ASSERT_NE(h, nullptr) << name;
        const std::string format = ziltest::localFrom(h, "ab\xE6\x97\xA5");
        char out[32];
        EXPECT_EQ(zil_strftime(h, out, format.size(), format.c_str(), &any), 0u) << name;
        EXPECT_EQ(zil_strftime(h, out, format.size() + 1, format.c_str(), &any), format.size())
            << name;
        EXPECT_EQ(std::string(out), format) << name;
    }
    zil_uninit();
    setenv("LC_ALL", "C", 1);
    std::setlocale(LC_ALL, "C");
}

TEST_F(ZilMbTest, TimeTextsInTheLocaleCodesetAndAnother) {
    vrxtest::TempDir locales;
    const std::string command =
        "localedef -i de_DE -f ISO-8859-1 '" + (locales / "de_DE.ISO-8859-1") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "localedef (package locales) is needed";
    setenv("LOCPATH", locales.path().c_str(), 1);
    setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
    zil_uninit();
    setenv("ZILDIR", ZIL_TEST_BUILD_DIR, 1);
    zil_init();

    std::tm march{};
    march.tm_year = 126;
    march.tm_mon = 2;
    march.tm_mday = 4;
    march.tm_wday = 3;
    char out[64];
    ziltest::Codeset local("ISO88591");  // the same codeset, another handle
    const struct {
        uc_ch_t *cs;
        const char *expected;
    } cases[] = {{utf8_cs, "Mittwoch, 04. M\xC3\xA4rz"}, {local, "Mittwoch, 04. M\xE4rz"}};
    for (const auto &c : cases) {
        const size_t n = zil_strftime(c.cs, out, sizeof out, "%A, %d. %B", &march);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(n, std::string(c.expected).size());
    }
    char platform[64];
    std::strftime(platform, sizeof platform, "%A, %d. %B", &march);
    zil_strftime(nullptr, out, sizeof out, "%A, %d. %B", &march);
    EXPECT_STREQ(out, platform) << "the default codeset is the locale's here";

    std::tm parsed{};
    const char *text = "04. M\xC3\xA4rz 2026";
    EXPECT_EQ(zil_strptime(utf8_cs, text, "%d. %B %Y", &parsed), text + std::strlen(text));
    EXPECT_EQ(parsed.tm_mon, 2);
    EXPECT_EQ(parsed.tm_year, 126);
    EXPECT_EQ(zil_strptime(utf8_cs, "kein Datum", "%d. %B %Y", &parsed), nullptr);

    zil_uninit();
    unsetenv("LOCPATH");
    setenv("LC_ALL", "C", 1);
    std::setlocale(LC_ALL, "C");
}

}  // namespace
