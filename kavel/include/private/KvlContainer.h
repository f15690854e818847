// The one implementation behind the toolkit's eight containers.
//
// A map, a group and a list are each one template over a value-traits type
// that says how the member takes a value in, hands it out, disposes of it
// and compares it:
//
//   struct Traits {
//       using In = ...;        // what Put, Add and Append take
//       using Out = ...;       // what Get and IterGet hand out
//       using Stored = ...;    // what a link holds
//       using Borrowed = ...;  // what the lists' GetIndex lends
//       static constexpr bool kNullAllowed;  // a null value may be stored
//       static bool takeIn(In, Stored &);    // false: memory short
//       static Out handOut(Stored);          // a copy, an acquired reference or the pointer
//       static In asIn(Stored);              // to take a stored value in again (copies)
//       static void dispose(Stored);
//       static bool equal(Stored, In);       // groups and lists
//   };
//
// The public C functions of a member are stamped out by one macro
// (KVL_DEFINE_MAP, KVL_DEFINE_GROUP, KVL_DEFINE_LIST): the internal kvlIntl
// twin calls the template, the public form takes the API mutex around it.
// Links are doubly linked in insertion order with their fields in the
// system's order; nothing here allocates on lookup or iteration. Maps and
// groups that grow long get an index by key beside the list
// (KvlLinkIndex.h), so a lookup stays cheap and the order stays the
// list's. A map link
// is one allocation with its key and, for text values (kInlineText), the
// text it was made with: an event's properties are made and dropped with
// every record, so each costs one allocation rather than three. Every
// allocation is nothrow: memory shortage is a 0 or null result with the
// container as it was.
#ifndef KVL_CONTAINER_H
#define KVL_CONTAINER_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <cassert>

#include "KvlContainers.h"
#include "KvlLinkIndex.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace kvl {

// `size` bytes from the room, 16-aligned; null when it has no room left.
inline void *takeFromRoom(KvlRoom *room, size_t size) noexcept {
    assert(room == nullptr || (room->begin <= room->next && room->next <= room->end));
    size = (size + 15) & ~size_t{15};
    if (room == nullptr || static_cast<size_t>(room->end - room->next) < size) return nullptr;
    void *taken = room->next;
    room->next += size;
    return taken;
}

inline bool inRoom(const KvlRoom *room, const void *p) noexcept {
    const auto at = reinterpret_cast<uintptr_t>(p);
    return room != nullptr && at >= reinterpret_cast<uintptr_t>(room->begin) &&
           at < reinterpret_cast<uintptr_t>(room->end);
}

// `size` bytes from the room while it has some, else from the heap.
inline void *allocateFrom(KvlRoom *room, size_t size) noexcept {
    void *block = takeFromRoom(room, size);
    return block != nullptr ? block : OxsMemoryMalloc(size);
}

// An empty container header made at `where` in the caller's record (null
// when it does not fit), taking its links from `room` first; emptied with
// clear and never freed.
template <class Header>
Header *makeHeaderIn(void *where, size_t size, KvlRoom *room) noexcept {
    if (size < sizeof(Header)) return nullptr;
    Header *header = new (where) Header{};
    header->room = room;
    return header;
}

// Frees what did not come from the room. Memory of the room is given back
// with the record, and only what the room handed out can be in use.
inline void giveBack(const KvlRoom *room, void *p) noexcept {
    assert(!inRoom(room, p) || static_cast<char *>(p) < room->next);
    if (!inRoom(room, p)) OxsMemoryFree(p);
}

// Unlinks `link` from its container (head and tail kept right).
template <class Header, class Link>
void detach(Header *owner, Link *link) noexcept {
    assert(link->owner == owner && "a link leaves only its own container");
    assert((link->prev == nullptr) == (owner->head == link));
    assert((link->next == nullptr) == (owner->tail == link));
    if (link->prev != nullptr) link->prev->next = link->next;
    if (link->next != nullptr) link->next->prev = link->prev;
    if (owner->head == link) owner->head = link->next;
    if (owner->tail == link) owner->tail = link->prev;
}

// Every link of a container goes at once (its index with them): nothing is
// unlinked one by one.
template <class Header, class Destroy>
void destroyAll(Header *owner, Destroy destroy) noexcept {
    freeIndex(owner->index);
    for (auto *link = owner->head, *next = link; link != nullptr; link = next) {
        next = link->next;
        destroy(owner, link);
    }
    owner->head = owner->tail = nullptr;
}

template <class Header, class Link>
void linkAtTail(Header *owner, Link *link) noexcept {
    link->owner = owner;
    link->prev = owner->tail;
    link->next = nullptr;
    if (owner->tail != nullptr)
        owner->tail->next = link;
    else
        owner->head = link;
    owner->tail = link;
}

// What every shape has: the value types, and a header made on the heap or
// in a caller's record.
template <class Traits, class Header>
struct CoreBase {
    using In = typename Traits::In;
    using Out = typename Traits::Out;
    using Stored = typename Traits::Stored;

    static Header *alloc() noexcept { return new (std::nothrow) Header{}; }
    static Header *makeIn(void *where, size_t size, KvlRoom *room) noexcept {
        return makeHeaderIn<Header>(where, size, room);
    }
};

template <class Traits, class Header, class Link>
struct MapCore : CoreBase<Traits, Header> {
    using typename CoreBase<Traits, Header>::In;
    using typename CoreBase<Traits, Header>::Out;
    using typename CoreBase<Traits, Header>::Stored;
    using CoreBase<Traits, Header>::alloc;

    static uint64_t hashOf(const Link *link) noexcept { return hashText(link->key); }

    static Link *getNode(Header *map, const char *key) noexcept {
        if (map == nullptr || key == nullptr) return nullptr;
        const auto matches = [key](const Link *link) {
            return link->key[0] == key[0] && OxsStringCmp(link->key, key) == 0;
        };
        if (map->index != nullptr) return map->index->template find<Link>(hashText(key), matches);
        for (Link *link = map->head; link != nullptr; link = link->next)
            if (matches(link)) return link;
        return nullptr;
    }

    static constexpr bool kInlineText = requires { Traits::kInlineText; };

    // The link, its key and (text values) the value's text in one block,
    // from the map's room when it has one with space left.
    static Link *newLink(Header *map, const char *key, In value) noexcept {
        const size_t keySize = std::strlen(key) + 1;
        size_t textSize = 0;
        if constexpr (kInlineText) textSize = value != nullptr ? std::strlen(value) + 1 : 0;
        const size_t size = sizeof(Link) + keySize + textSize;
        void *block = allocateFrom(map->room, size);
        if (block == nullptr) return nullptr;
        Link *link = new (block) Link{};
        link->key = static_cast<char *>(block) + sizeof(Link);
        std::memcpy(link->key, key, keySize);
        if constexpr (kInlineText) {
            if (value != nullptr) {
                link->value = link->key + keySize;
                std::memcpy(link->value, value, textSize);
            }
        } else if (!Traits::takeIn(value, link->value)) {
            giveBack(map->room, block);
            return nullptr;
        }
        return link;
    }

    // Disposes of a value unless it is the text inside the link's block.
    static void disposeValue(Link *link) noexcept {
        if constexpr (kInlineText) {
            if (link->value == link->key + std::strlen(link->key) + 1) return;
        }
        Traits::dispose(link->value);
    }

    // Disposes of an unlinked link and its value.
    static void destroyLink(Header *map, Link *link) noexcept {
        if (!inRoom(map->room, link->value)) disposeValue(link);
        link->~Link();
        giveBack(map->room, link);
    }

    static void remNode(Header *map, Link *link) noexcept {
        if (map == nullptr || link == nullptr || link->owner != map) return;
        if (map->index != nullptr) map->index->remove(link, hashOf(link));
        detach(map, link);
        assert(map->links > 0);
        --map->links;
        destroyLink(map, link);
    }

    static int put(Header *map, const char *key, In value) noexcept {
        if (map == nullptr || key == nullptr) return 0;
        if (!Traits::kNullAllowed && value == nullptr) return 0;
        if (Link *link = getNode(map, key)) {  // the key keeps its place
            Stored stored{};
            if (!Traits::takeIn(value, stored)) return 0;
            disposeValue(link);
            link->value = stored;
            return 1;
        }
        return addLink(map, key, value);
    }

    // A key the caller knows is not in the map: added without looking.
    static int putNew(Header *map, const char *key, In value) noexcept {
        if (map == nullptr || key == nullptr) return 0;
        if (!Traits::kNullAllowed && value == nullptr) return 0;
        assert(getNode(map, key) == nullptr && "the key is new");
        return addLink(map, key, value);
    }

    static int addLink(Header *map, const char *key, In value) noexcept {
        Link *link = newLink(map, key, value);
        if (link == nullptr) return 0;
        linkAtTail(map, link);
        // An index made when the map was longer is kept up however short
        // the map has become since: lookups go to it while it exists.
        ++map->links;
        if (map->index != nullptr)
            indexAdded(map->index, map->head, link, hashOf);
        else if (map->links >= kIndexFrom)
            buildIndex(map->index, map->head, hashOf);
        return 1;
    }

    static Out get(Header *map, const char *key) noexcept {
        Link *link = getNode(map, key);
        return link != nullptr ? Traits::handOut(link->value) : Out{};
    }
    static void rem(Header *map, const char *key) noexcept { remNode(map, getNode(map, key)); }
    static int hasKey(Header *map, const char *key) noexcept {
        return getNode(map, key) != nullptr ? 1 : 0;
    }

    static void clear(Header *map) noexcept {
        if (map == nullptr) return;
        destroyAll(map, destroyLink);
        map->links = 0;
    }
    static void free(Header *map) noexcept {
        clear(map);
        delete map;
    }

    // Each entry put again; a failure part way leaves the entries put so far.
    static Header *copy(Header *map) noexcept {
        if (map == nullptr) return nullptr;
        Header *copied = alloc();
        if (copied == nullptr) return nullptr;
        for (Link *link = map->head; link != nullptr; link = link->next)
            put(copied, link->key, Traits::asIn(link->value));
        return copied;
    }

    static Link *iterator(Header *map) noexcept { return map != nullptr ? map->head : nullptr; }
    static int iterHasNext(Link *iter) noexcept { return iter != nullptr ? 1 : 0; }
    static char *iterGetKey(Link *iter) noexcept {
        return iter != nullptr ? OxsStringDup(iter->key) : nullptr;
    }
    static Out iterGetVal(Link *iter) noexcept {
        return iter != nullptr ? Traits::handOut(iter->value) : Out{};
    }
    static Link *iterNext(Link *iter) noexcept { return iter != nullptr ? iter->next : nullptr; }
};

// What groups and lists share: lookup by value, removal, iteration.
// Made in a room, a link carries the value's copy in its block, for values
// that can be copied into place.
template <class Traits, class Header, class Link>
struct SequenceCore : CoreBase<Traits, Header> {
    using typename CoreBase<Traits, Header>::In;
    using typename CoreBase<Traits, Header>::Out;
    using typename CoreBase<Traits, Header>::Stored;
    using CoreBase<Traits, Header>::alloc;

    static constexpr bool kCopiesInPlace = requires(In value, void *at) {
        Traits::copySize(value);
        Traits::placeCopy(at, value);
    };

    // Groups of values that hash can be indexed.
    static constexpr bool kHashed = requires(In value) { Traits::hash(value); };
    static uint64_t hashOf(const Link *link) noexcept {
        if constexpr (kHashed)
            return Traits::hash(Traits::asIn(link->value));
        else
            return 0;
    }

    // The first link holding `value`, or null; `walked` counts the links a
    // walk passed.
    static Link *findLink(Header *owner, In value, size_t &walked) noexcept {
        walked = 0;
        if (owner == nullptr || value == nullptr) return nullptr;
        const auto matches = [value](const Link *link) {
            return Traits::equal(link->value, value);
        };
        if constexpr (kHashed) {
            if (owner->index != nullptr)
                return owner->index->template find<Link>(Traits::hash(value), matches);
        }
        for (Link *link = owner->head; link != nullptr; link = link->next, ++walked)
            if (matches(link)) return link;
        return nullptr;
    }
    static Link *getLink(Header *owner, In value) noexcept {
        size_t walked = 0;
        return findLink(owner, value, walked);
    }

    // Disposes of an unlinked link and its value. Sorting moves values among
    // links, so each is judged on its own.
    static void destroyLink(Header *owner, Link *link) noexcept {
        if (!inRoom(owner->room, link->value)) Traits::dispose(link->value);
        if (inRoom(owner->room, link)) {
            assert(reinterpret_cast<char *>(link) < owner->room->next);
            link->~Link();
        } else {
            delete link;
        }
    }

    // Unlinks and disposes of a link of `owner`; false for anyone else's.
    static bool remLink(Header *owner, Link *link) noexcept {
        if (owner == nullptr || link == nullptr || link->owner != owner) return false;
        if (owner->index != nullptr) owner->index->remove(link, hashOf(link));
        detach(owner, link);
        destroyLink(owner, link);
        return true;
    }

    // Takes the value in and links it at the tail.
    static bool append(Header *owner, In value) noexcept {
        if constexpr (kCopiesInPlace) {
            if (void *block = takeFromRoom(owner->room, sizeof(Link) + Traits::copySize(value))) {
                Link *link = new (block) Link{};
                link->value = Traits::placeCopy(static_cast<char *>(block) + sizeof(Link), value);
                linkAtTail(owner, link);
                return true;
            }
        }
        Stored stored{};
        if (!Traits::takeIn(value, stored)) return false;
        Link *link = new (std::nothrow) Link{};
        if (link == nullptr) {
            Traits::dispose(stored);
            return false;
        }
        link->value = stored;
        linkAtTail(owner, link);
        return true;
    }

    // Members made in a room are emptied instead of freed; a list's count
    // with them.
    static void clear(Header *owner) noexcept {
        if (owner == nullptr) return;
        destroyAll(owner, destroyLink);
        if constexpr (requires { owner->count; }) owner->count = 0;
    }
    static void free(Header *owner) noexcept {
        clear(owner);
        delete owner;
    }

    static Link *iterator(Header *owner) noexcept {
        return owner != nullptr ? owner->head : nullptr;
    }
    static int iterHasNext(Link *iter) noexcept { return iter != nullptr ? 1 : 0; }
    static Out iterGet(Link *iter) noexcept {
        return iter != nullptr ? Traits::handOut(iter->value) : Out{};
    }
    static Link *iterNext(Link *iter) noexcept { return iter != nullptr ? iter->next : nullptr; }
};

template <class Traits, class Header, class Link>
struct GroupCore : SequenceCore<Traits, Header, Link> {
    using Base = SequenceCore<Traits, Header, Link>;
    using typename Base::In;

    static int add(Header *group, In value) noexcept {
        size_t walked = 0;
        if (group == nullptr || value == nullptr || Base::findLink(group, value, walked) != nullptr)
            return 0;
        if (!Base::append(group, value)) return 0;
        if constexpr (Base::kHashed) {
            if (group->index != nullptr)
                indexAdded(group->index, group->head, group->tail, Base::hashOf);
            else if (walked + 1 >= kIndexFrom)
                buildIndex(group->index, group->head, Base::hashOf);
        }
        return 1;
    }
    static int rem(Header *group, In value) noexcept {
        return Base::remLink(group, Base::getLink(group, value)) ? 1 : 0;
    }
    static Link *iterRem(Link *iter) noexcept {
        if (iter == nullptr) return nullptr;
        Link *next = iter->next;
        return Base::remLink(iter->owner, iter) ? next : nullptr;
    }
};

template <class Traits, class Header, class Link>
struct ListCore : SequenceCore<Traits, Header, Link> {
    using Base = SequenceCore<Traits, Header, Link>;
    using typename Base::In;
    using Stored = typename Traits::Stored;

    static int append(Header *list, In value) noexcept {
        if (list == nullptr || value == nullptr || !Base::append(list, value)) return 0;
        ++list->count;
        return 1;
    }
    static void remLink(Header *list, Link *link) noexcept {
        if (!Base::remLink(list, link)) return;
        assert(list->count > 0);
        --list->count;
    }
    static Link *iterRem(Link *iter) noexcept {
        if (iter == nullptr) return nullptr;
        Link *next = iter->next;
        Header *list = iter->owner;
        if (!Base::remLink(list, iter)) return nullptr;
        assert(list->count > 0);
        --list->count;
        return next;
    }
    static Header *copy(Header *list) noexcept {
        if (list == nullptr) return nullptr;
        Header *copied = Base::alloc();
        if (copied == nullptr) return nullptr;
        for (Link *link = list->head; link != nullptr; link = link->next)
            append(copied, Traits::asIn(link->value));
        return copied;
    }
    static typename Traits::Borrowed getIndex(Header *list, int32_t index) noexcept {
        if (list == nullptr || index < 0 || static_cast<uint32_t>(index) >= list->count)
            return nullptr;
        Link *link = list->head;
        for (int32_t i = 0; i < index && link != nullptr; ++i)
            link = link->next;
        return link != nullptr ? link->value : nullptr;
    }
    // The values move among the links; the links keep their places.
    static void sort(Header *list, KvlCompareFn compare) noexcept {
        if (list == nullptr || compare == nullptr || list->count == 0) return;
        auto *values = static_cast<Stored *>(std::malloc(sizeof(Stored) * list->count));
        if (values == nullptr) return;
        size_t n = 0;
        for (Link *link = list->head; link != nullptr && n < list->count; link = link->next)
            values[n++] = link->value;
        std::qsort(values, n, sizeof(Stored), compare);
        n = 0;
        for (Link *link = list->head; link != nullptr && n < list->count; link = link->next)
            link->value = values[n++];
        std::free(values);
    }
};

}  // namespace kvl

// The records of a member, in the system's field order.
#define KVL_MAP_RECORDS(Name, Traits) \
    struct Kvl##Name##Link {          \
        Kvl##Name##Link *next;        \
        Kvl##Name##Link *prev;        \
        char *key;                    \
        Traits::Stored value;         \
        Kvl##Name *owner;             \
    };                                \
    struct Kvl##Name {                \
        Kvl##Name##Link *head;        \
        Kvl##Name##Link *tail;        \
        KvlRoom *room;                \
        kvl::LinkIndex *index;        \
        uint32_t links;               \
    };

#define KVL_SEQUENCE_RECORDS(Name, Traits, ...) \
    struct Kvl##Name##Link {                    \
        Kvl##Name##Link *next;                  \
        Kvl##Name##Link *prev;                  \
        Traits::Stored value;                   \
        Kvl##Name *owner;                       \
    };                                          \
    struct Kvl##Name {                          \
        Kvl##Name##Link *head;                  \
        Kvl##Name##Link *tail;                  \
        KvlRoom *room;                          \
        kvl::LinkIndex *index;                  \
        __VA_ARGS__                             \
    };

// One operation of a member: the internal kvlIntl twin calls the template
// core, the public form runs the twin under the API mutex (`none` when the
// mutex cannot be had). Hand-formatted: clang-format cannot lay out
// function definitions made by macros.
// clang-format off
#define KVL_CONTAINER_OP(Ret, none, Op, Params, Args, call)                  \
    Ret kvlIntl##Op Params noexcept { return call Args; }                     \
    Ret Kvl##Op Params noexcept KVL_LOCKED(none, kvlIntl##Op Args)

// What every member has: make, free, and walking it in order.
#define KVL_CONTAINER_COMMON_OPS(Name, Traits, Core)                                                \
    KVL_CONTAINER_OP(Kvl##Name *, nullptr, Alloc##Name, (void), (), Core::alloc)                    \
    KVL_CONTAINER_OP(void, , Free##Name, (Kvl##Name *c), (c), Core::free)                           \
    KVL_CONTAINER_OP(Kvl##Name##Iter, nullptr, Name##Iterator, (Kvl##Name *c), (c), Core::iterator) \
    KVL_CONTAINER_OP(int, 0, Name##IterHasNext, (Kvl##Name##Iter i), (i), Core::iterHasNext)        \
    KVL_CONTAINER_OP(Kvl##Name##Iter, nullptr, Name##IterNext, (Kvl##Name##Iter i), (i), Core::iterNext)

#define KVL_DEFINE_MAP(Name, Traits)                                                                 \
    KVL_MAP_RECORDS(Name, Traits)                                                                    \
    using Kvl##Name##Core = kvl::MapCore<Traits, Kvl##Name, Kvl##Name##Link>;                        \
    extern "C" {                                                                                     \
    KVL_CONTAINER_COMMON_OPS(Name, Traits, Kvl##Name##Core)                                          \
    KVL_CONTAINER_OP(Kvl##Name *, nullptr, Copy##Name, (Kvl##Name *m), (m), Kvl##Name##Core::copy)   \
    KVL_CONTAINER_OP(int, 0, Name##Put, (Kvl##Name *m, const char *k, Traits::In v), (m, k, v),     \
                     Kvl##Name##Core::put)                                                           \
    KVL_CONTAINER_OP(Traits::Out, Traits::Out{}, Name##Get, (Kvl##Name *m, const char *k), (m, k),  \
                     Kvl##Name##Core::get)                                                           \
    KVL_CONTAINER_OP(void, , Name##Rem, (Kvl##Name *m, const char *k), (m, k), Kvl##Name##Core::rem) \
    KVL_CONTAINER_OP(int, 0, Name##HasKey, (Kvl##Name *m, const char *k), (m, k),                    \
                     Kvl##Name##Core::hasKey)                                                        \
    KVL_CONTAINER_OP(char *, nullptr, Name##IterGetKey, (Kvl##Name##Iter i), (i),                    \
                     Kvl##Name##Core::iterGetKey)                                                    \
    KVL_CONTAINER_OP(Traits::Out, Traits::Out{}, Name##IterGetVal, (Kvl##Name##Iter i), (i),         \
                     Kvl##Name##Core::iterGetVal)                                                    \
    int kvlIntl##Name##PutNew(Kvl##Name *m, const char *k, Traits::In v) noexcept {                  \
        return Kvl##Name##Core::putNew(m, k, v);                                                     \
    }                                                                                                \
    Kvl##Name##Iter kvlIntl##Name##GetNode(Kvl##Name *m, const char *k) noexcept {                   \
        return Kvl##Name##Core::getNode(m, k);                                                       \
    }                                                                                                \
    void kvlIntl##Name##RemNode(Kvl##Name *m, Kvl##Name##Iter l) noexcept {                          \
        Kvl##Name##Core::remNode(m, l);                                                              \
    }                                                                                                \
    }

// Groups and lists share their walk: an iterator hands out values and can
// remove the link it stands on, and GetLink finds a value without the lock.
#define KVL_SEQUENCE_OPS(Name, Traits)                                                               \
    KVL_CONTAINER_COMMON_OPS(Name, Traits, Kvl##Name##Core)                                          \
    KVL_CONTAINER_OP(Traits::Out, Traits::Out{}, Name##IterGet, (Kvl##Name##Iter i), (i),            \
                     Kvl##Name##Core::iterGet)                                                       \
    KVL_CONTAINER_OP(Kvl##Name##Iter, nullptr, Name##IterRem, (Kvl##Name##Iter i), (i),             \
                     Kvl##Name##Core::iterRem)                                                       \
    Kvl##Name##Iter Kvl##Name##GetLink(Kvl##Name *c, Traits::In v) noexcept {                        \
        return Kvl##Name##Core::getLink(c, v);                                                       \
    }

#define KVL_DEFINE_GROUP(Name, Traits)                                                               \
    KVL_SEQUENCE_RECORDS(Name, Traits)                                                               \
    using Kvl##Name##Core = kvl::GroupCore<Traits, Kvl##Name, Kvl##Name##Link>;                      \
    extern "C" {                                                                                     \
    KVL_SEQUENCE_OPS(Name, Traits)                                                                   \
    KVL_CONTAINER_OP(int, 0, Name##Add, (Kvl##Name *g, Traits::In v), (g, v), Kvl##Name##Core::add) \
    KVL_CONTAINER_OP(int, 0, Name##Rem, (Kvl##Name *g, Traits::In v), (g, v), Kvl##Name##Core::rem) \
    }

#define KVL_DEFINE_LIST(Name, Traits)                                                                \
    KVL_SEQUENCE_RECORDS(Name, Traits, uint32_t count;)                                              \
    using Kvl##Name##Core = kvl::ListCore<Traits, Kvl##Name, Kvl##Name##Link>;                       \
    extern "C" {                                                                                     \
    KVL_SEQUENCE_OPS(Name, Traits)                                                                   \
    KVL_CONTAINER_OP(Kvl##Name *, nullptr, Copy##Name, (Kvl##Name *l), (l), Kvl##Name##Core::copy)   \
    KVL_CONTAINER_OP(int, 0, Name##Append, (Kvl##Name *l, Traits::In v), (l, v),                     \
                     Kvl##Name##Core::append)                                                        \
    Traits::Borrowed Kvl##Name##GetIndex(Kvl##Name *l, int32_t index) noexcept {                     \
        return Kvl##Name##Core::getIndex(l, index);                                                  \
    }                                                                                                \
    void Kvl##Name##RemLink(Kvl##Name *l, Kvl##Name##Iter link) noexcept {                           \
        Kvl##Name##Core::remLink(l, link);                                                           \
    }                                                                                                \
    void KvlSort##Name(Kvl##Name *l, KvlCompareFn compare) noexcept                                  \
        KVL_LOCKED(, Kvl##Name##Core::sort(l, compare))                                              \
    }
// clang-format on

#endif  // KVL_CONTAINER_H
