// The containers whose values are strings or borrowed class definitions.
// The members holding objects, configurations and message parameters are
// stamped out next to the records they hold.

#include "KvlContainer.h"
#include "KvlLogging.h"

namespace {

// A private copy in, a new copy out (a null value stays null).
struct StringValue {
    using In = const char *;
    using Out = char *;
    using Stored = char *;
    using Borrowed = const char *;
    [[maybe_unused]] static constexpr bool kNullAllowed = true;
    [[maybe_unused]] static constexpr bool kInlineText = true;  // in a map link's block
    static bool takeIn(In value, Stored &stored) noexcept {
        stored = OxsStringDup(value);
        return value == nullptr || stored != nullptr;
    }
    static Out handOut(Stored stored) noexcept { return OxsStringDup(stored); }
    static In asIn(Stored stored) noexcept { return stored; }
    static void dispose(Stored stored) noexcept { OxsMemoryFree(stored); }
    static bool equal(Stored stored, In value) noexcept { return OxsStringCmp(stored, value) == 0; }
    static uint64_t hash(In value) noexcept { return kvl::hashText(value); }
};

// The registry's class definitions: shared, never copied or freed here.
struct BorrowedClass {
    using In = KvlObjClass *;
    using Out = KvlObjClass *;
    using Stored = KvlObjClass *;
    using Borrowed = KvlObjClass *;
    [[maybe_unused]] static constexpr bool kNullAllowed = false;
    static bool takeIn(In value, Stored &stored) noexcept {
        stored = value;
        return true;
    }
    static Out handOut(Stored stored) noexcept { return stored; }
    static In asIn(Stored stored) noexcept { return stored; }
    static void dispose(Stored) noexcept {}
    static bool equal(Stored stored, In value) noexcept { return stored == value; }
};

}  // namespace

KVL_DEFINE_MAP(StringToStringMap, StringValue)
static_assert(sizeof(KvlEvent::propertiesRoom) >= sizeof(KvlStringToStringMap),
              "an event's property map is made in its propertiesRoom");

extern "C" KvlStringToStringMap *kvlIntlMakeStringToStringMapIn(void *where, size_t size,
                                                                KvlRoom *room) noexcept {
    return KvlStringToStringMapCore::makeIn(where, size, room);
}
extern "C" void kvlIntlClearStringToStringMap(KvlStringToStringMap *map) noexcept {
    KvlStringToStringMapCore::clear(map);
}
extern "C" const char *kvlIntlStringToStringMapPeek(KvlStringToStringMap *map,
                                                    const char *key) noexcept {
    KvlStringToStringMapLink *link = KvlStringToStringMapCore::getNode(map, key);
    return link != nullptr ? link->value : nullptr;
}
extern "C" void kvlIntlStringToStringMapIterPeek(KvlStringToStringMapIter iter, const char **key,
                                                 const char **value) noexcept {
    if (key != nullptr) *key = iter != nullptr ? iter->key : nullptr;
    if (value != nullptr) *value = iter != nullptr ? iter->value : nullptr;
}
KVL_DEFINE_MAP(StringToObjClassMap, BorrowedClass)
KVL_DEFINE_GROUP(StringGroup, StringValue)
KVL_DEFINE_LIST(StringList, StringValue)
