// The character classes against the source the tables were generated
// from, for every BMP code point; and the wide-string functions against the
// C library's on random texts.
#include <cwchar>

#include "zil_ctype_rules.h"
#include "zil_test_env.h"

namespace {

TEST(ZilCtypeTest, EveryBmpCharacterMatchesItsSource) {
    int mismatches = 0;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        const UniCharType expected = zilCharTypeFromIcu(static_cast<UChar32>(c));
        const UniCharType *got = uniQueryCharType(static_cast<zil_ucs2_t>(c));
        if (got->attributes != expected.attributes || got->type1 != expected.type1 ||
            got->value != expected.value) {
            if (++mismatches < 10) ADD_FAILURE() << std::hex << "U+" << c;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ZilCtypeTest, ClassQueries) {
    const struct {
        zil_ucs2_t ch;
        int (*query)(zil_ucs2_t);
        int expected;
    } cases[] = {
        {0x0020, zil_iswspace, 1},  {0x3000, zil_iswspace, 1},  {0x0041, zil_iswspace, 0},
        {0x00A0, zil_iswspace, 0},  {0x0020, zil_iswblank, 1},  {0x0009, zil_iswblank, 1},
        {0x000A, zil_iswblank, 0},  {0x0041, zil_iswupper, 1},  {0x00E9, zil_iswlower, 1},
        {0x0661, zil_iswdigit, 0},  {0x0661, zil_iswalnum, 1},  {0x0037, zil_iswdigit, 1},
        {0x0066, zil_iswxdigit, 1}, {0x0067, zil_iswxdigit, 0}, {0x0021, zil_iswpunct, 1},
        {0x20AC, zil_iswpunct, 1},  {0x4E2D, zil_iswalpha, 1},  {0x0007, zil_iswcntrl, 1},
        {0x0020, zil_iswgraph, 0},  {0x0020, zil_iswprint, 1},  {0xD800, zil_iswprint, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.query(c.ch), c.expected) << std::hex << c.ch;
    for (uint32_t c = 0; c < 0x10000; ++c)
        ASSERT_EQ(uniQueryChar(static_cast<zil_ucs2_t>(c), ZIL_CT_UPPER | ZIL_CT_LOWER), 0) << c;
    EXPECT_EQ(uniQueryChar(0x0035, 0x80030000u | 5), 1) << "digit value";
    EXPECT_EQ(uniQueryChar(0x0035, 0x80030000u | 4), 0);
    EXPECT_EQ(uniQueryChar(0x0041, 0x80010000u | U_UPPERCASE_LETTER), 1) << "category";
    EXPECT_EQ(uniQueryChar(0x0041, 0x80070000u), 0) << "unknown selector";
}

std::vector<zil_ucs2_t> u16(const std::wstring &w) {
    std::vector<zil_ucs2_t> v(w.begin(), w.end());
    v.push_back(0);
    return v;
}

TEST(ZilWideStringTest, MatchesTheCLibraryOnRandomTexts) {
    std::mt19937 random(99);
    const auto text = [&](size_t maxLength) {
        std::wstring w;
        const size_t n = random() % (maxLength + 1);
        for (size_t i = 0; i < n; ++i)
            w += static_cast<wchar_t>(L"ab, \u00e9\u4e2d"[random() % 6]);
        return w;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::wstring a = text(12), b = text(4), set = text(3);
        auto ua = u16(a), ub = u16(b), uset = u16(set);
        const size_t n = random() % 8;
        SCOPED_TRACE(round);
        ASSERT_EQ(zil_wcslen(ua.data()), std::wcslen(a.c_str()));
        ASSERT_EQ(zil_wcsnlen(ua.data(), n), wcsnlen(a.c_str(), n));
        const int cmp = std::wcsncmp(a.c_str(), b.c_str(), n);
        ASSERT_EQ(zil_wcsncmp(ua.data(), ub.data(), n), cmp < 0 ? -1 : cmp > 0 ? 1 : 0);
        ASSERT_EQ(zil_wcsspn(ua.data(), uset.data()), std::wcsspn(a.c_str(), set.c_str()));
        ASSERT_EQ(zil_wcscspn(ua.data(), uset.data()), std::wcscspn(a.c_str(), set.c_str()));
        const auto offset = [](const auto *found, const auto *base) {
            return found != nullptr ? found - base : -1;
        };
        ASSERT_EQ(offset(zil_wcspbrk(ua.data(), uset.data()), ua.data()),
                  offset(std::wcspbrk(a.c_str(), set.c_str()), a.c_str()));
        ASSERT_EQ(offset(zil_wcswcs(ua.data(), ub.data()), ua.data()),
                  offset(std::wcsstr(a.c_str(), b.c_str()), a.c_str()));
        const wchar_t ch = b.empty() ? L'\0' : b[0];
        ASSERT_EQ(offset(zil_wcschr(ua.data(), static_cast<zil_ucs2_t>(ch)), ua.data()),
                  offset(std::wcschr(a.c_str(), ch), a.c_str()));
        ASSERT_EQ(offset(zil_wcsrchr(ua.data(), static_cast<zil_ucs2_t>(ch)), ua.data()),
                  offset(std::wcsrchr(a.c_str(), ch), a.c_str()));

        std::vector<zil_ucs2_t> joined(64, 0xFFFF);
        std::vector<wchar_t> wjoined(64, L'\xFFFF');
        zil_wcscpy(joined.data(), ua.data());
        std::wcscpy(wjoined.data(), a.c_str());
        zil_wcsncat(joined.data(), ub.data(), n);
        std::wcsncat(wjoined.data(), b.c_str(), n);
        ASSERT_EQ(std::vector<zil_ucs2_t>(joined.begin(), joined.begin() + 32),
                  std::vector<zil_ucs2_t>(wjoined.begin(), wjoined.begin() + 32));
        zil_wcsncpy(joined.data(), ub.data(), n);
        std::wcsncpy(wjoined.data(), b.c_str(), n);
        ASSERT_EQ(std::vector<zil_ucs2_t>(joined.begin(), joined.begin() + 32),
                  std::vector<zil_ucs2_t>(wjoined.begin(), wjoined.begin() + 32));

        std::vector<wchar_t> wtok(a.begin(), a.end());
        wtok.push_back(0);
        std::vector<std::wstring> expected, got;
        wchar_t *wsave = nullptr;
        for (wchar_t *t = std::wcstok(wtok.data(), L", ", &wsave); t;
             t = std::wcstok(nullptr, L", ", &wsave))
            expected.emplace_back(t);
        const auto delims = u16(L", ");
        zil_ucs2_t *save = nullptr;
        for (zil_ucs2_t *t = zil_wcstok(ua.data(), delims.data(), &save); t;
             t = zil_wcstok(nullptr, delims.data(), &save))
            got.emplace_back(t, t + zil_wcslen(t));
        ASSERT_EQ(got, expected);
    }
    const auto empty = u16(L""), hay = u16(L"abc");
    EXPECT_EQ(zil_wcswcs(hay.data(), empty.data()), hay.data())
        << "an empty needle matches at once";
    EXPECT_EQ(zil_wcschr(hay.data(), 0), hay.data() + 3) << "the terminator is found";
}

}  // namespace
