// The property list: replacement, removal order, growth and iteration.

#include "CxPropList.h"
#include "OxsMemory.h"
#include "test_support.h"

namespace {

std::map<std::string, std::string> contents(CxPropList *list) {
    std::map<std::string, std::string> seen;
    for (CxPropListIter it = CxPropListIterator(list); CxPropListIterPeekKey(&it) != nullptr;
         CxPropListIterNext(&it))
        seen[CxPropListIterPeekKey(&it)] = CxPropListIterPeekVal(&it);
    return seen;
}

TEST(CxPropListTest, PutGetReplaceRemove) {
    CxPropList list{};
    EXPECT_EQ(CxPropListPutStr(&list, "level", "INFO"), 1);
    EXPECT_EQ(CxPropListPutStr(&list, "level", "DEBUG"), 1);
    EXPECT_EQ(list.count, 1) << "the same key twice keeps one entry";
    EXPECT_STREQ(CxPropListPeekStr(&list, "level", nullptr), "DEBUG");
    EXPECT_EQ(CxPropListPutStr(&list, "Level", "x"), 1) << "keys are case-sensitive";
    EXPECT_EQ(list.count, 2);

    EXPECT_EQ(CxPropListPutStr(&list, "level", nullptr), 0);
    EXPECT_EQ(CxPropListPutStr(&list, nullptr, "v"), 0);
    EXPECT_EQ(CxPropListPutStr(nullptr, "k", "v"), 0);
    EXPECT_STREQ(CxPropListPeekStr(&list, "level", nullptr), "DEBUG")
        << "a null value removes nothing";

    unsigned char found = 9;
    EXPECT_EQ(CxPropListPeekStr(&list, "absent", &found), nullptr);
    EXPECT_EQ(found, 0);
    char *copy = CxPropListCopyStr(&list, "level", &found);
    EXPECT_EQ(found, 1);
    EXPECT_STREQ(copy, "DEBUG");
    OxsMemoryFree(copy);
    EXPECT_EQ(CxPropListCopyStr(&list, "absent", nullptr), nullptr);
    EXPECT_EQ(CxPropListHasKey(&list, "Level"), 1);
    EXPECT_EQ(CxPropListHasKey(nullptr, "Level"), 0);
    CxPropListDiscard(&list);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.capacity, 0);
    EXPECT_EQ(list.entries, nullptr);
    EXPECT_EQ(CxPropListPutStr(&list, "again", "usable"), 1)
        << "a discarded list is empty, not dead";
    CxPropListDiscard(&list);
    CxPropListDiscard(nullptr);
}

TEST(CxPropListTest, RemovalMovesTheLastEntryIntoTheHole) {
    CxPropList list{};
    CxPropListPutStr(&list, "a", "1");
    CxPropListPutStr(&list, "b", "2");
    CxPropListPutStr(&list, "c", "3");
    EXPECT_EQ(CxPropListRemove(&list, "b"), 1);
    EXPECT_EQ(list.count, 2);
    EXPECT_STREQ(list.entries[1].key, "c");
    EXPECT_EQ(list.entries[2].key, nullptr);
    EXPECT_EQ(CxPropListRemove(&list, "b"), 0);
    EXPECT_EQ(CxPropListRemove(&list, "c"), 1);
    EXPECT_EQ(contents(&list), (std::map<std::string, std::string>{{"a", "1"}}));
    CxPropListDiscard(&list);
}

TEST(CxPropListTest, GrowthKeepsASpareSlot) {
    CxPropList list{};
    const struct {
        int inserted;
        int capacity;
    } steps[] = {{1, 32}, {31, 32}, {32, 64}, {63, 64}, {64, 128}};
    int done = 0;
    for (const auto &step : steps) {
        for (; done < step.inserted; ++done)
            ASSERT_EQ(CxPropListPutStr(&list, ("k" + std::to_string(done)).c_str(), "v"), 1);
        EXPECT_EQ(list.capacity, step.capacity) << step.inserted;
        EXPECT_EQ(list.count, step.inserted);
    }
    EXPECT_EQ(contents(&list).size(), 64u);
    CxPropListDiscard(&list);
}

TEST(CxPropListTest, IteratorProtocol) {
    CxPropList empty{};
    CxPropListIter it = CxPropListIterator(&empty);
    EXPECT_EQ(CxPropListIterPeekKey(&it), nullptr) << "an empty list yields nothing";
    EXPECT_EQ(CxPropListIterHasNext(&it), 0);

    CxPropList list{};
    CxPropListPutStr(&list, "only", "one");
    it = CxPropListIterator(&list);
    EXPECT_EQ(CxPropListIterHasNext(&it), 0) << "at the last entry";
    EXPECT_STREQ(CxPropListIterPeekVal(&it), "one") << "which can still be read";
    char *key = CxPropListIterCopyKey(&it);
    EXPECT_STREQ(key, "only");
    OxsMemoryFree(key);
    CxPropListIterNext(&it);
    EXPECT_EQ(it.list, nullptr);
    EXPECT_EQ(it.index, 0);
    EXPECT_EQ(CxPropListIterPeekKey(&it), nullptr);
    EXPECT_EQ(CxPropListIterCopyVal(&it), nullptr);
    CxPropListIterNext(nullptr);
    EXPECT_EQ(CxPropListIterHasNext(nullptr), 0);
    CxPropListDiscard(&list);
}

}  // namespace
