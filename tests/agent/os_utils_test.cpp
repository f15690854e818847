// Operating-system utilities: symbolic links (loops, lengths), user and
// group names, and the codeset set-up.

#include "os_utils.h"
#include "int64.h"
#include "test_support.h"

namespace {

using namespace vrxtest;

TEST(Int64Test, TextRoundTrips) {
    const struct {
        const char *text;
        int64_t value;
    } cases[] = {
        // clang-format off
        {" -42 ", -42}, {"4x", 0}, {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        // clang-format on
        {"9223372036854775808", 0},  // out of range
        // clang-format off
        {"+17", 17}, {"+-1", 0}, {"", 0}, {"   ", 0}, {"\t12\t", 12}, {"1 2", 0},
        // clang-format on
    };
    for (const auto &c : cases)
        EXPECT_EQ(aToSlmInt64(c.text), c.value) << c.text;
    char buffer[24];
    for (int64_t v : {INT64_MIN, int64_t{-1}, int64_t{0}, INT64_MAX}) {
        EXPECT_EQ(aToSlmInt64(slmInt64toA(buffer, v)), v);
    }
    EXPECT_STREQ(slmUInt64toA(buffer, UINT64_MAX), "18446744073709551615");
    EXPECT_EQ(normalizeUInt64(UINT64_MAX), static_cast<uint64_t>(INT64_MAX));
}

TEST(SymlinkTest, Resolution) {
    TempDir tmp;
    writeFile(tmp / "dir/file", "x");
    fs::create_symlink("file", tmp / "dir/relative");  // relative target: same directory
    fs::create_symlink(tmp / "dir", tmp / "absolute");
    fs::create_symlink(tmp / "dir/relative", tmp / "chain");
    fs::create_symlink(tmp / "b", tmp / "a");
    fs::create_symlink(tmp / "a", tmp / "b");
    const struct {
        std::string path;
        int kind;
        std::string final;
    } cases[] = {
        // clang-format off
        {tmp / "dir/relative", 1, tmp / "dir/file"}, {tmp / "chain", 1, tmp / "dir/file"},
        {tmp / "absolute", 2, tmp / "dir"}, {"/dev/null", 3, "/dev/null"}, {tmp / "a", -2, ""},
        {tmp / "missing", -1, ""}, {"/" + std::string(1100, 'x'), -3, ""},
        // clang-format on
    };
    for (const auto &c : cases) {
        char buffer[2048] = {};
        EXPECT_EQ(slm_resolve_symlink(c.path.c_str(), buffer, sizeof buffer), c.kind) << c.path;
        if (c.kind > 0) {
            EXPECT_EQ(std::string(buffer), c.final);
        }
    }
}

TEST(UserGroupTest, NamesAndNumbers) {
    char buffer[64];
    EXPECT_EQ(slm_get_user_name(0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "root");
    EXPECT_EQ(slm_get_user_group(0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "root");
    EXPECT_EQ(slm_get_user_name(4000000001u, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "4000000001") << "no such user: the number";
    EXPECT_EQ(slm_get_user_group(4000000002u, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "4000000002");
    EXPECT_EQ(slm_get_user_name(0, buffer, 9), -1);
    EXPECT_EQ(slm_get_user_group_by_name("root", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "root");
    EXPECT_EQ(slm_get_user_group_by_name("no-such-user-here", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "not available");
}

TEST(LocalizationTest, InitialisesAndFreesTheCodesets) {
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(slmLocalizationInit(), 1);
    ASSERT_NE(default_codeset, nullptr);
    EXPECT_EQ(utf8_codeset, utf8_cs);
    EXPECT_EQ(zil_get_def_cs(), default_codeset);
    slmLocalizationFree();
    EXPECT_EQ(default_codeset, nullptr);
    EXPECT_EQ(initOsUtils(), 0);
    EXPECT_EQ(closeOsUtils(), 0);
}

}  // namespace
