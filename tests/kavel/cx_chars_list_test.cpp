// Character classes independent of the locale, and list capacity growth.

#include "CxChars.h"
#include "CxListUtil.h"
#include "OxsMemory.h"
#include "test_support.h"

namespace {

TEST(CxCharsTest, ClassesIgnoreTheLocale) {
    for (const char *locale : {"C", "C.UTF-8"}) {
        std::setlocale(LC_ALL, locale);
        for (int ch = 0; ch < 256; ++ch) {
            const bool digit = ch >= '0' && ch <= '9';
            const bool alpha = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
            EXPECT_EQ(CxIsASCIIDigit(ch), digit ? 1 : 0) << ch;
            EXPECT_EQ(CxIsLocalDigit(ch), digit ? 1 : 0) << ch;
            EXPECT_EQ(CxIsASCIIAlpha(ch), alpha ? 1 : 0) << ch;
        }
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(CxIsASCIIAlpha(0xE9), 0);
    EXPECT_EQ(CxIsASCIIAlpha(-1), 0);
    char text[] = "unchanged";
    CxETOA(text, sizeof text - 1);
    EXPECT_STREQ(text, "unchanged");
}

TEST(CxListTest, CapacityGrowth) {
    const struct {
        int capacity;
        int needed;
        int result;
        int newCapacity;
    } cases[] =
        {
            {16, 16, 1, 16},      {16, 17, 1, 32}, {16, 32, 1, 64}, {4, 5, 1, 16},
            {4, 15, 1, 16},       {16, 0, 1, 16},  {16, -3, 1, 16}, {64, 100, 1, 128},
            {16, INT_MAX, 0, 16},  // no power of two above it fits
        };
    for (const auto &c : cases) {
        void *array = OxsMemoryMalloc(static_cast<size_t>(c.capacity) * 4);
        int capacity = c.capacity;
        int count = 3;
        EXPECT_EQ(CxListEnsureCapacity(&array, &capacity, &count, c.needed, 4), c.result)
            << c.capacity << " " << c.needed;
        EXPECT_EQ(capacity, c.newCapacity) << c.capacity << " " << c.needed;
        EXPECT_EQ(count, 3) << "the count is the caller's";
        CxListDiscard(&array, &capacity, &count);
        EXPECT_EQ(array, nullptr);
        EXPECT_EQ(capacity, 0);
        EXPECT_EQ(count, 0);
    }
}

TEST(CxListTest, FirstAllocationAndOverflow) {
    void *array = nullptr;
    int capacity = 99;
    int count = 7;
    EXPECT_EQ(CxListEnsureCapacity(&array, &capacity, &count, 5, 8), 1);
    EXPECT_NE(array, nullptr);
    EXPECT_EQ(capacity, 5) << "exactly what was asked";
    EXPECT_EQ(count, 0);
    // 2^30 elements of 2^40 bytes: the byte count overflows and must be
    // refused, not wrapped into a small allocation.
    EXPECT_EQ(CxListEnsureCapacity(&array, &capacity, &count, 1 << 30, size_t{1} << 40), 0);
    EXPECT_EQ(capacity, 5);
    CxListDiscard(&array, &capacity, &count);

    array = nullptr;
    EXPECT_EQ(CxListEnsureCapacity(&array, &capacity, &count, INT_MAX, SIZE_MAX / 2), 0);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(CxListEnsureCapacity(&array, &capacity, &count, 0, 8), 1);
    EXPECT_EQ(array, nullptr) << "nothing needed, nothing allocated";
    EXPECT_EQ(CxListEnsureCapacity(nullptr, &capacity, &count, 1, 8), 0);
    EXPECT_EQ(CxListEnsureCapacity(&array, nullptr, &count, 1, 8), 0);
    EXPECT_EQ(CxListEnsureCapacity(&array, &capacity, nullptr, 1, 8), 0);
    CxListDiscard(nullptr, &capacity, &count);
}

}  // namespace
