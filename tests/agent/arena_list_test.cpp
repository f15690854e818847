// The arena and list containers: slot sizes, reuse of freed slots, block
// growth, order and byte-for-byte comparison.

#include "arena.h"
#include "list.h"
#include "test_support.h"

namespace {

std::vector<int64_t> valuesOf(const slm_list *list) {
    std::vector<int64_t> values;
    for (void *v = getNext(list, nullptr); v != nullptr; v = getNext(list, v))
        values.push_back(*static_cast<int64_t *>(v));
    return values;
}

TEST(ArenaTest, SlotsAreRoundedToPointerSize) {
    const struct {
        uint32_t requested, expected;
    } cases[] = {{1, 8}, {8, 8}, {9, 16}, {20, 24}, {24, 24}};
    for (const auto &c : cases) {
        slm_arena *arena = initArena(c.requested, 4);
        ASSERT_NE(arena, nullptr);
        EXPECT_EQ(arena->elementSize, c.expected) << c.requested;
        deleteArena(arena);
    }
    EXPECT_EQ(initArena(0, 4), nullptr);
    EXPECT_EQ(initArena(8, 0), nullptr);
    EXPECT_EQ(initArena(UINT32_MAX, UINT32_MAX), nullptr);
}

TEST(ArenaTest, FreedSlotsAreReusedLastFreedFirstAndOnlyOnce) {
    slm_arena *arena = initArena(12, 3);
    void *a = newArenaElement(arena);
    void *b = newArenaElement(arena);
    void *c = newArenaElement(arena);
    std::memset(b, 0xAB, 12);
    deleteArenaElement(arena, a);
    deleteArenaElement(arena, b);
    deleteArenaElement(arena, b);  // already free: must not enter the chain twice
    EXPECT_EQ(newArenaElement(arena), b);
    EXPECT_EQ(newArenaElement(arena), a);
    void *d = newArenaElement(arena);  // chain empty: the block is full, so a second block
    EXPECT_NE(d, nullptr);
    EXPECT_NE(arena->currentBlock, arena->firstBlock);
    EXPECT_TRUE(d != a && d != b && d != c);
    const unsigned char zero[12] = {};
    EXPECT_EQ(std::memcmp(b, zero, sizeof zero), 0) << "a reused slot comes zero-filled";
    deleteArena(arena);
}

TEST(ArenaTest, IterationVisitsSlotsInUseBlockByBlock) {
    slm_arena *arena = initArena(8, 2);
    std::vector<void *> slots;
    for (int i = 0; i < 5; ++i)
        slots.push_back(newArenaElement(arena));
    deleteArenaElement(arena, slots[1]);
    deleteArenaElement(arena, slots[4]);
    std::vector<void *> seen;
    for (void *p = findArenaNextActiveElement(arena, arena); p != nullptr;
         p = findArenaNextActiveElement(arena, nullptr))
        seen.push_back(p);
    EXPECT_EQ(seen, (std::vector<void *>{slots[0], slots[2], slots[3]}));
    EXPECT_EQ(findArenaNextActiveElement(arena, nullptr), nullptr) << "stays at the end";
    EXPECT_EQ(findArenaNextActiveElement(arena, arena), slots[0]) << "restart";

    cleanArenaSpace(arena);
    EXPECT_EQ(findArenaNextActiveElement(arena, arena), nullptr);
    EXPECT_EQ(arena->currentBlock, arena->firstBlock);
    EXPECT_EQ(newArenaElement(arena), slots[0]) << "the first block is used again from its start";
    deleteArena(arena);
}

TEST(ListTest, SecondBlockAtTheFiftyFirstValueAndFreedSlotReuse) {
    slm_list *list = createList(sizeof(int64_t));
    ASSERT_NE(list, nullptr);
    for (int64_t i = 0; i < 50; ++i)
        ASSERT_EQ(append(list, &i), 0);
    EXPECT_EQ(list->arena->currentBlock, list->arena->firstBlock);
    int64_t fiftyFirst = 50;
    ASSERT_EQ(append(list, &fiftyFirst), 0);
    EXPECT_NE(list->arena->currentBlock, list->arena->firstBlock);
    EXPECT_EQ(entries(list), 51u);

    int64_t seven = 7;
    void *sevenSlot = getNext(list, nullptr);
    for (int i = 0; i < 7; ++i)
        sevenSlot = getNext(list, sevenSlot);
    ASSERT_EQ(listRemove(list, &seven), 0);
    int64_t added = 99;
    ASSERT_EQ(append(list, &added), 0);
    void *last = nullptr;
    for (void *v = getNext(list, nullptr); v != nullptr; v = getNext(list, v))
        last = v;
    EXPECT_EQ(last, sevenSlot) << "the freed slot is reused";
    EXPECT_EQ(valuesOf(list).back(), 99);
    EXPECT_EQ(entries(list), 51u);
    deleteList(list);
}

TEST(ListTest, RemovalKeepsHeadTailAndOrder) {
    const struct {
        std::vector<int64_t> initial;
        int64_t removed;
        int result;
        std::vector<int64_t> afterAppendingNine;
    } cases[] = {
        {{1, 2, 3}, 3, 0, {1, 2, 9}},  // the tail: the previous node becomes the tail
        {{1, 2, 3}, 1, 0, {2, 3, 9}},  // the head
        {{1, 2, 3}, 2, 0, {1, 3, 9}},  // the middle
        {{5}, 5, 0, {9}},              // the only node
        {{1, 2}, 7, 4, {1, 2, 9}},     // no match
        {{}, 1, 4, {9}},               // empty list
        {{4, 5, 4}, 4, 0, {5, 4, 9}},  // equal values: the one nearer the head
    };
    for (const auto &c : cases) {
        slm_list *list = createList(sizeof(int64_t));
        for (int64_t v : c.initial)
            append(list, &v);
        EXPECT_EQ(listRemove(list, &c.removed), c.result);
        const int64_t nine = 9;
        append(list, &nine);
        EXPECT_EQ(valuesOf(list), c.afterAppendingNine);
        EXPECT_EQ(entries(list), c.afterAppendingNine.size());
        deleteList(list);
    }
}

TEST(ListTest, ValuesAreComparedByteForByte) {
    struct Record {
        int32_t id;
        char tag;  // followed by padding
    };
    slm_list *list = createList(sizeof(Record));
    Record stored;
    std::memset(&stored, 0, sizeof stored);
    stored.id = 1;
    stored.tag = 'x';
    append(list, &stored);
    Record probe;
    std::memset(&probe, 0xFF, sizeof probe);  // same fields, other padding
    probe.id = 1;
    probe.tag = 'x';
    EXPECT_EQ(listRemove(list, &probe), 4);
    EXPECT_EQ(listRemove(list, &stored), 0);
    deleteList(list);
}

TEST(ListTest, NullArgumentsAreHarmless) {
    EXPECT_EQ(createList(0), nullptr);
    EXPECT_EQ(entries(nullptr), 0u);
    EXPECT_EQ(append(nullptr, "x"), 2);
    EXPECT_EQ(getNext(nullptr, nullptr), nullptr);
    EXPECT_EQ(listRemove(nullptr, "x"), 4);
    deleteList(nullptr);
    deleteArena(nullptr);
}

}  // namespace
