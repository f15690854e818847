// The null-tolerant memory and string primitives.

#include "OxsMemory.h"
#include "OxsString.h"
#include "test_support.h"

namespace {

// Each row calls one primitive with a null argument and states the
// toolkit's rule for it.
TEST(OxsTest, NullRules) {
    char buffer[16] = "abc";
    const auto reset = [&] { std::strcpy(buffer, "abc"); };
    const struct {
        const char *call;
        bool holds;
        // clang-format off
    } rules[] = {
        {"Cmp(null, null) == 1", OxsStringCmp(nullptr, nullptr) == 1},
        {"Cmp(null, x) == 1", OxsStringCmp(nullptr, "x") == 1},
        {"Cmp(x, null) == -1", OxsStringCmp("x", nullptr) == -1},
        {"NCmp(null, null, 3) == 1", OxsStringNCmp(nullptr, nullptr, 3) == 1},
        {"NCmp(x, null, 3) == -1", OxsStringNCmp("x", nullptr, 3) == -1},
        {"ICmp(null, x) == 1", OxsStringICmp(nullptr, "x") == 1},
        {"ICmp(x, null) == -1", OxsStringICmp("x", nullptr) == -1},
        {"NICmp(null, null, 1) == 1", OxsStringNICmp(nullptr, nullptr, 1) == 1},
        {"NICmp(x, null, 1) == -1", OxsStringNICmp("x", nullptr, 1) == -1},
        {"Cat(null, x) == null", OxsStringCat(nullptr, "x") == nullptr},
        {"Cat(d, null) == d, unchanged", (reset(), OxsStringCat(buffer, nullptr) == buffer && std::strcmp(buffer, "abc") == 0)},
        {"NCat(null, x, 1) == null", OxsStringNCat(nullptr, "x", 1) == nullptr},
        {"NCat(d, null, 1) == d", (reset(), OxsStringNCat(buffer, nullptr, 1) == buffer)},
        {"Cpy(null, x) == null", OxsStringCpy(nullptr, "x") == nullptr},
        {"Cpy(d, null) empties d", (reset(), OxsStringCpy(buffer, nullptr) == buffer && !*buffer)},
        {"NCpy(null, x, 1) == null", OxsStringNCpy(nullptr, "x", 1) == nullptr},
        {"NCpy(d, null, 2) empties d", (reset(), OxsStringNCpy(buffer, nullptr, 2) == buffer && !*buffer)},
        {"Dup(null) == null", OxsStringDup(nullptr) == nullptr},
        {"Len(null) == 0", OxsStringLen(nullptr) == 0},
        {"Chr(null, a) == null", OxsStringChr(nullptr, 'a') == nullptr},
        {"RChr(null, a) == null", OxsStringRChr(nullptr, 'a') == nullptr},
        {"Str(null, x) == null", OxsStringStr(nullptr, "x") == nullptr},
        {"Str(x, null) == null", OxsStringStr("x", nullptr) == nullptr},
        {"Strpbrk(null, x) == null", OxsStringStrpbrk(nullptr, "x") == nullptr},
        {"Strpbrk(x, null) == null", OxsStringStrpbrk("x", nullptr) == nullptr},
        {"Strcspn(null, x) == SIZE_MAX", OxsStringStrcspn(nullptr, "x") == SIZE_MAX},
        {"Strcspn(abc, null) == 3", OxsStringStrcspn("abc", nullptr) == 3},
        {"Strspn(null, x) == SIZE_MAX", OxsStringStrspn(nullptr, "x") == SIZE_MAX},
        {"Strspn(abc, null) == 0", OxsStringStrspn("abc", nullptr) == 0},
        {"Malloc(0) == null", OxsMemoryMalloc(0) == nullptr},
        {"Calloc(0, 4) == null", OxsMemoryCalloc(0, 4) == nullptr},
        {"Calloc(4, 0) == null", OxsMemoryCalloc(4, 0) == nullptr},
        {"Realloc(null, 0) == null", OxsMemoryRealloc(nullptr, 0) == nullptr},
    };
    // clang-format on
    for (const auto &rule : rules)
        EXPECT_TRUE(rule.holds) << rule.call;
    OxsMemoryFree(nullptr);
}

TEST(OxsTest, ReallocToZeroLeavesTheBlockValid) {
    auto *p = static_cast<char *>(OxsMemoryMalloc(8));
    std::strcpy(p, "kept");
    EXPECT_EQ(OxsMemoryRealloc(p, 0), nullptr);
    EXPECT_STREQ(p, "kept");  // still ours: AddressSanitizer would object otherwise
    OxsMemoryFree(p);
}

TEST(OxsTest, ComparisonsAndCopies) {
    EXPECT_LT(OxsStringCmp("abc", "abd"), 0);
    EXPECT_EQ(OxsStringNCmp("abcx", "abcy", 3), 0);
    EXPECT_EQ(OxsStringICmp("HeLLo", "hello"), 0);
    EXPECT_LT(OxsStringICmp("a", "B"), 0);
    EXPECT_EQ(OxsStringNICmp("ABCx", "abcy", 3), 0);
    EXPECT_NE(OxsStringICmp("\xC9", "\xE9"), 0) << "only ASCII letters fold";

    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    OxsStringNCpy(buffer, "abcdef", 3);
    EXPECT_EQ(std::string(buffer, 4), "abcz") << "no terminator when src is n or longer";
    OxsStringNCpy(buffer, "ab", 5);
    EXPECT_STREQ(buffer, "ab");
    std::strcpy(buffer, "ab");
    OxsStringNCat(buffer, "cdef", 2);
    EXPECT_STREQ(buffer, "abcd");

    char *copy = OxsStringDup("text");
    EXPECT_STREQ(copy, "text");
    OxsMemoryFree(copy);
    EXPECT_EQ(OxsStringStrcspn("ab,c", ","), 2u);
    EXPECT_EQ(OxsStringStrspn("  x", " "), 2u);
}

}  // namespace
