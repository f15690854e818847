// The toolkit's containers: maps keep insertion order through replacement,
// long maps and groups agree with a model through their index, groups
// refuse duplicates, lists count, sort and index, a link of another
// container is refused, counted values are taken and released exactly, and
// every operation takes null arguments in its stride.

#include "KvlContainer.h"
#include "toolkit_test.h"

// A test-only member over a reference-counted value, to watch what the
// containers acquire and release.
struct Counted {
    int references = 0;
};
struct CountedValue {
    using In = Counted *;
    using Out = Counted *;
    using Stored = Counted *;
    using Borrowed = Counted *;
    static constexpr bool kNullAllowed = false;
    static bool takeIn(In value, Stored &stored) noexcept {
        ++value->references;
        stored = value;
        return true;
    }
    static Out handOut(Stored stored) noexcept {
        ++stored->references;
        return stored;
    }
    static In asIn(Stored stored) noexcept { return stored; }
    static void dispose(Stored stored) noexcept { --stored->references; }
    static bool equal(Stored stored, In value) noexcept { return stored == value; }
};

extern "C" {
KVL_DECLARE_GROUP(TestCountedGroup, Counted *, Counted *)
KVL_DECLARE_GROUP_INTL(TestCountedGroup, Counted *, Counted *)
KVL_DECLARE_MAP(TestCountedMap, Counted *, Counted *)
KVL_DECLARE_MAP_INTL(TestCountedMap, Counted *, Counted *)
}
KVL_DEFINE_GROUP(TestCountedGroup, CountedValue)
KVL_DEFINE_MAP(TestCountedMap, CountedValue)

namespace {

using vrxtest::take;

class KvlContainerTest : public vrxtest::ToolkitTest {};

std::vector<std::string> entries(KvlStringToStringMap *map) {
    std::vector<std::string> out;
    for (auto it = KvlStringToStringMapIterator(map); KvlStringToStringMapIterHasNext(it);
         it = KvlStringToStringMapIterNext(it))
        out.push_back(take(KvlStringToStringMapIterGetKey(it)) + "=" +
                      take(KvlStringToStringMapIterGetVal(it)));
    return out;
}

std::vector<std::string> values(KvlStringList *list) {
    std::vector<std::string> out;
    for (auto it = KvlStringListIterator(list); KvlStringListIterHasNext(it);
         it = KvlStringListIterNext(it))
        out.push_back(take(KvlStringListIterGet(it)));
    return out;
}

TEST_F(KvlContainerTest, MapsKeepFirstPutOrder) {
    KvlStringToStringMap *map = KvlAllocStringToStringMap();
    const struct {
        const char *key, *value;
        std::vector<std::string> after;
    } steps[] = {
        {"b", "1", {"b=1"}},
        {"a", "2", {"b=1", "a=2"}},
        {"b", "3", {"b=3", "a=2"}},  // replaced in place
        {"level", "4", {"b=3", "a=2", "level=4"}},
        {"Level", "5", {"b=3", "a=2", "level=4", "Level=5"}},  // case-sensitive
        {"a", nullptr, {"b=3", "a=<null>", "level=4", "Level=5"}},
    };
    for (const auto &step : steps) {
        EXPECT_EQ(KvlStringToStringMapPut(map, step.key, step.value), 1);
        EXPECT_EQ(entries(map), step.after) << step.key;
    }
    EXPECT_EQ(KvlStringToStringMapHasKey(map, "a"), 1) << "present with a null value";
    EXPECT_EQ(KvlStringToStringMapGet(map, "a"), nullptr);
    EXPECT_EQ(take(KvlStringToStringMapGet(map, "Level")), "5");
    EXPECT_EQ(KvlStringToStringMapHasKey(map, "LEVEL"), 0);

    KvlStringToStringMap *copy = KvlCopyStringToStringMap(map);
    KvlStringToStringMapRem(map, "b");
    EXPECT_EQ(entries(copy), steps[5].after) << "a copy is independent of its original";
    EXPECT_EQ(entries(map), (std::vector<std::string>{"a=<null>", "level=4", "Level=5"}));
    KvlStringToStringMap *empty = KvlAllocStringToStringMap();
    KvlStringToStringMap *emptyCopy = KvlCopyStringToStringMap(empty);
    ASSERT_NE(emptyCopy, nullptr);
    EXPECT_EQ(KvlStringToStringMapIterator(emptyCopy), nullptr);
    for (KvlStringToStringMap *m : {map, copy, empty, emptyCopy})
        KvlFreeStringToStringMap(m);
}

TEST_F(KvlContainerTest, GroupsRefuseDuplicatesAndEmptyThroughIterRem) {
    KvlStringGroup *group = KvlAllocStringGroup();
    const struct {
        const char *value;
        int added;
    } adds[] = {{"h1", 1}, {"h2", 1}, {"h1", 0}, {"H1", 1}, {"h3", 1}};
    for (const auto &add : adds)
        EXPECT_EQ(KvlStringGroupAdd(group, add.value), add.added) << add.value;
    EXPECT_EQ(KvlStringGroupRem(group, "h2"), 1);
    EXPECT_EQ(KvlStringGroupRem(group, "h2"), 0);
    EXPECT_NE(KvlStringGroupGetLink(group, "H1"), nullptr);
    std::vector<std::string> seen;
    auto it = KvlStringGroupIterator(group);
    while (KvlStringGroupIterHasNext(it)) {
        seen.push_back(take(KvlStringGroupIterGet(it)));
        it = KvlStringGroupIterRem(it);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"h1", "H1", "h3"}));
    EXPECT_EQ(it, nullptr);
    EXPECT_EQ(KvlStringGroupIterator(group), nullptr) << "emptied";
    EXPECT_EQ(KvlStringGroupAdd(group, "again"), 1) << "and usable";
    KvlFreeStringGroup(group);
}

// Long maps and groups answer from their index: random puts, removals,
// lookups and adds, checked step by step against a plain model (insertion
// order included), through growth, tombstones and rebuilds, and through
// phases that empty the map below the index's threshold and fill it again.
TEST_F(KvlContainerTest, LongMapsAndGroupsAgreeWithAModel) {
    std::mt19937 random(7);
    KvlStringToStringMap *map = KvlAllocStringToStringMap();
    KvlStringGroup *group = KvlAllocStringGroup();
    std::vector<std::pair<std::string, std::string>> model;  // in insertion order
    std::vector<std::string> members;
    const auto find = [&](const std::string &key) {
        return std::find_if(model.begin(), model.end(),
                            [&](const auto &e) { return e.first == key; });
    };
    size_t smallest = SIZE_MAX;  // in a phase of removals, after the map was long
    for (int step = 0; step < 24000; ++step) {
        const std::string key = "k" + std::to_string(random() % 600);
        const std::string value = std::to_string(step);
        const bool emptying = (step / 4000) % 2 == 1;
        if (emptying) smallest = std::min(smallest, model.size());
        switch (random() % 4) {
            case 0:
            case 1:
                if (emptying) {
                    KvlStringToStringMapRem(map, key.c_str());
                    if (auto at = find(key); at != model.end()) model.erase(at);
                    break;
                }
                ASSERT_EQ(KvlStringToStringMapPut(map, key.c_str(), value.c_str()), 1);
                if (auto at = find(key); at != model.end())
                    at->second = value;
                else
                    model.emplace_back(key, value);
                break;
            case 2:
                KvlStringToStringMapRem(map, key.c_str());
                if (auto at = find(key); at != model.end()) model.erase(at);
                break;
            default: {
                const bool present =
                    std::find(members.begin(), members.end(), key) != members.end();
                if (random() % 2 == 0) {
                    ASSERT_EQ(KvlStringGroupAdd(group, key.c_str()), present ? 0 : 1) << step;
                    if (!present) members.push_back(key);
                } else {
                    ASSERT_EQ(KvlStringGroupRem(group, key.c_str()), present ? 1 : 0) << step;
                    std::erase(members, key);
                }
            }
        }
        const auto at = find(key);
        ASSERT_EQ(take(KvlStringToStringMapGet(map, key.c_str())),
                  at != model.end() ? at->second : "<null>")
            << step;
    }
    EXPECT_LT(smallest, kvl::kIndexFrom);
    std::vector<std::string> expected, inGroup;
    for (const auto &[key, value] : model)
        expected.push_back(key + "=" + value);
    EXPECT_EQ(entries(map), expected) << "insertion order";
    for (auto it = KvlStringGroupIterator(group); KvlStringGroupIterHasNext(it);
         it = KvlStringGroupIterNext(it))
        inGroup.push_back(take(KvlStringGroupIterGet(it)));
    EXPECT_EQ(inGroup, members);
    KvlFreeStringToStringMap(map);
    KvlFreeStringGroup(group);
}

// The list's count, as GetIndex sees it.
uint32_t countOf(KvlStringList *list) {
    uint32_t n = 0;
    while (KvlStringListGetIndex(list, static_cast<int32_t>(n)) != nullptr)
        ++n;
    return n;
}

int compareStrings(const void *a, const void *b) {
    return std::strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
}

TEST_F(KvlContainerTest, ListsCountIndexSortAndCopy) {
    KvlStringList *list = KvlAllocStringList();
    KvlSortStringList(list, compareStrings);  // empty: nothing happens
    for (const char *value : {"b", "a", "b"})
        EXPECT_EQ(KvlStringListAppend(list, value), 1);
    KvlSortStringList(list, compareStrings);
    EXPECT_EQ(values(list), (std::vector<std::string>{"a", "b", "b"}));
    EXPECT_EQ(countOf(list), 3u);
    const struct {
        int32_t index;
        const char *value;
    } indexes[] = {{0, "a"}, {2, "b"}, {3, nullptr}, {-1, nullptr}};
    for (const auto &c : indexes) {
        const char *got = KvlStringListGetIndex(list, c.index);
        EXPECT_STREQ(got != nullptr ? got : "<null>", c.value != nullptr ? c.value : "<null>")
            << c.index;
    }
    KvlStringList *copy = KvlCopyStringList(list);
    KvlStringListRemLink(list, KvlStringListGetLink(list, "b"));  // the first "b"
    EXPECT_EQ(values(list), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(countOf(list), 2u);
    EXPECT_EQ(values(copy), (std::vector<std::string>{"a", "b", "b"}));

    // A link of another list is refused: both stay as they were.
    KvlStringListRemLink(copy, KvlStringListGetLink(list, "a"));
    EXPECT_EQ(values(list), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(values(copy), (std::vector<std::string>{"a", "b", "b"}));
    EXPECT_EQ(countOf(copy), 3u);
    for (auto it = KvlStringListIterator(copy); it != nullptr;)
        it = KvlStringListIterRem(it);
    EXPECT_EQ(countOf(copy), 0u);
    EXPECT_EQ(KvlStringListGetIndex(copy, 0), nullptr);
    KvlFreeStringList(copy);
    KvlFreeStringList(list);

    KvlStringList *one = KvlAllocStringList();
    KvlStringListAppend(one, "only");
    EXPECT_STREQ(KvlStringListGetIndex(one, 0), "only");
    EXPECT_EQ(KvlStringListGetIndex(one, 1), nullptr);
    KvlFreeStringList(one);
}

TEST_F(KvlContainerTest, CountedValuesAreTakenAndReleasedExactly) {
    Counted a, b;
    KvlTestCountedGroup *group = KvlAllocTestCountedGroup();
    EXPECT_EQ(KvlTestCountedGroupAdd(group, &a), 1);
    EXPECT_EQ(KvlTestCountedGroupAdd(group, &a), 0);
    EXPECT_EQ(a.references, 1) << "a refused duplicate takes nothing";
    Counted *handed = KvlTestCountedGroupIterGet(KvlTestCountedGroupIterator(group));
    EXPECT_EQ(handed, &a);
    EXPECT_EQ(a.references, 2) << "what is handed out is acquired";
    --a.references;  // the caller's release
    KvlTestCountedGroupAdd(group, &b);
    EXPECT_EQ(KvlTestCountedGroupRem(group, &a), 1);
    EXPECT_EQ(a.references, 0) << "removal releases exactly the group's reference";

    KvlTestCountedMap *map = KvlAllocTestCountedMap();
    KvlTestCountedMapPut(map, "x", &a);
    KvlTestCountedMapPut(map, "x", &b);  // replacing releases the old value
    EXPECT_EQ(a.references, 0);
    KvlTestCountedMap *copy = KvlCopyTestCountedMap(map);
    EXPECT_EQ(b.references, 3) << "group, map and copy";
    KvlFreeTestCountedMap(copy);
    KvlFreeTestCountedMap(map);
    KvlFreeTestCountedGroup(group);
    EXPECT_EQ(b.references, 0) << "free releases everything";
}

// Every generated operation with null arguments: nothing happens, 0 or null
// comes back (run under AddressSanitizer this also proves nothing is read).
TEST_F(KvlContainerTest, NullArgumentsDoNothing) {
    KvlStringToStringMap *map = KvlAllocStringToStringMap();
    KvlStringList *list = KvlAllocStringList();
    KvlStringGroup *group = KvlAllocStringGroup();
    KvlStringToObjClassMap *classes = KvlAllocStringToObjClassMap();
    const std::vector<std::pair<const char *, bool>> results = {
        {"map put null map", KvlStringToStringMapPut(nullptr, "k", "v") == 0},
        {"map put null key", KvlStringToStringMapPut(map, nullptr, "v") == 0},
        {"map get", KvlStringToStringMapGet(nullptr, "k") == nullptr},
        {"map get null key", KvlStringToStringMapGet(map, nullptr) == nullptr},
        {"map has", KvlStringToStringMapHasKey(nullptr, "k") == 0},
        {"map copy", KvlCopyStringToStringMap(nullptr) == nullptr},
        {"map iterator", KvlStringToStringMapIterator(nullptr) == nullptr},
        {"map has next", KvlStringToStringMapIterHasNext(nullptr) == 0},
        {"map key", KvlStringToStringMapIterGetKey(nullptr) == nullptr},
        {"map value", KvlStringToStringMapIterGetVal(nullptr) == nullptr},
        {"map next", KvlStringToStringMapIterNext(nullptr) == nullptr},
        {"map node", kvlIntlStringToStringMapGetNode(nullptr, "k") == nullptr},
        {"class put null value", KvlStringToObjClassMapPut(classes, "c", nullptr) == 0},
        {"class get", KvlStringToObjClassMapGet(classes, "c") == nullptr},
        {"group add", KvlStringGroupAdd(nullptr, "v") == 0},
        {"group add null value", KvlStringGroupAdd(group, nullptr) == 0},
        {"group rem", KvlStringGroupRem(group, nullptr) == 0},
        {"group link", KvlStringGroupGetLink(nullptr, "v") == nullptr},
        {"group iterator", KvlStringGroupIterator(nullptr) == nullptr},
        {"group has next", KvlStringGroupIterHasNext(nullptr) == 0},
        {"group get", KvlStringGroupIterGet(nullptr) == nullptr},
        {"group next", KvlStringGroupIterNext(nullptr) == nullptr},
        {"group iter rem", KvlStringGroupIterRem(nullptr) == nullptr},
        {"list append", KvlStringListAppend(nullptr, "v") == 0},
        {"list append null value", KvlStringListAppend(list, nullptr) == 0},
        {"list copy", KvlCopyStringList(nullptr) == nullptr},
        {"list link", KvlStringListGetLink(list, nullptr) == nullptr},
        {"list index", KvlStringListGetIndex(nullptr, 0) == nullptr},
        {"list iterator", KvlStringListIterator(nullptr) == nullptr},
        {"list has next", KvlStringListIterHasNext(nullptr) == 0},
        {"list get", KvlStringListIterGet(nullptr) == nullptr},
        {"list next", KvlStringListIterNext(nullptr) == nullptr},
        {"list iter rem", KvlStringListIterRem(nullptr) == nullptr},
    };
    for (const auto &[name, passed] : results)
        EXPECT_TRUE(passed) << name;
    KvlStringToStringMapRem(nullptr, "k");
    KvlStringToStringMapRem(map, nullptr);
    kvlIntlStringToStringMapRemNode(map, nullptr);
    KvlStringListRemLink(nullptr, nullptr);
    KvlStringListRemLink(list, nullptr);
    KvlSortStringList(nullptr, compareStrings);
    KvlSortStringList(list, nullptr);
    KvlFreeStringToStringMap(nullptr);
    KvlFreeStringGroup(nullptr);
    KvlFreeStringList(nullptr);
    KvlFreeStringToObjClassMap(nullptr);
    EXPECT_EQ(KvlStringToStringMapIterator(map), nullptr) << "nothing was stored";
    EXPECT_EQ(countOf(list), 0u);
    KvlFreeStringToStringMap(map);
    KvlFreeStringList(list);
    KvlFreeStringGroup(group);
    KvlFreeStringToObjClassMap(classes);
}

#ifndef NDEBUG
// In debug builds the API mutex checks errors: a public call made while it is
// held fails at once instead of hanging.
TEST_F(KvlContainerTest, APublicCallUnderTheMutexFailsInsteadOfHanging) {
    KvlApiLock held;
    ASSERT_TRUE(held);
    EXPECT_EQ(KvlAllocStringToStringMap(), nullptr);
}
#endif

TEST_F(KvlContainerTest, ClassDefinitionsAreBorrowed) {
    auto *definition = reinterpret_cast<KvlObjClass *>(0x1000);  // never dereferenced
    KvlStringToObjClassMap *classes = KvlAllocStringToObjClassMap();
    EXPECT_EQ(KvlStringToObjClassMapPut(classes, "kvl_filehandler", definition), 1);
    EXPECT_EQ(KvlStringToObjClassMapGet(classes, "kvl_filehandler"), definition);
    KvlFreeStringToObjClassMap(classes);  // nothing is done to the definition
}

}  // namespace
