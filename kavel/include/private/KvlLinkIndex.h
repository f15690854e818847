// An index by key beside a container's list of links.
//
// The containers keep their links in insertion order, the order the toolkit
// iterates in, and find a key by walking them: cheap for the few entries
// of an event, quadratic for a properties file of thousands of
// configurations or an object of thousands of properties. A container that
// has grown to kIndexFrom links gets this index too, built from its list
// by the writer that made it that long (readers never build it), and kept
// up by every link added or removed afterwards.
//
// It is a table of link pointers, open addressing with linear probing, at
// most half full; a removed link leaves a tombstone, and the table is built
// again from the list when live links and tombstones fill half of it. The
// container says how a link's key hashes and matches. Allocation is
// nothrow: without memory the container keeps walking its list.
#ifndef KVL_LINK_INDEX_H
#define KVL_LINK_INDEX_H

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace kvl {

constexpr size_t kIndexFrom = 16;

inline uint64_t hashText(const char *text) noexcept {
    uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    if (text != nullptr)
        for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p)
            hash = (hash ^ *p) * 1099511628211ULL;
    return hash;
}

struct LinkIndex {
    size_t capacity = 0;  // a power of two
    size_t live = 0;      // links in the table
    size_t used = 0;      // live links and tombstones
    void **slots = nullptr;

    static void *tombstone() noexcept { return reinterpret_cast<void *>(uintptr_t{1}); }
    size_t start(uint64_t hash) const noexcept {
        return static_cast<size_t>(hash) & (capacity - 1);
    }

    // The link whose key `matches`, or null.
    template <class Link, class Matches>
    Link *find(uint64_t hash, Matches matches) const noexcept {
        for (size_t at = start(hash);; at = (at + 1) & (capacity - 1)) {
            void *slot = slots[at];
            if (slot == nullptr) return nullptr;
            if (slot != tombstone() && matches(static_cast<Link *>(slot)))
                return static_cast<Link *>(slot);
        }
    }
    void place(void *link, uint64_t hash) noexcept {
        assert(2 * used < capacity && "an index is never more than half full");
        size_t at = start(hash);
        while (slots[at] != nullptr && slots[at] != tombstone())
            at = (at + 1) & (capacity - 1);
        if (slots[at] == nullptr) ++used;
        slots[at] = link;
        ++live;
    }
    void remove(const void *link, uint64_t hash) noexcept {
        for (size_t at = start(hash); slots[at] != nullptr; at = (at + 1) & (capacity - 1)) {
            if (slots[at] == link) {
                slots[at] = tombstone();
                assert(live > 0);
                --live;
                return;
            }
        }
        assert(!"a removed link was in the index");
    }
};

// Builds (or builds again) the index of the links from `head`, sized for
// twice their number; false, with `index` as it was, when memory is short.
template <class Link, class HashOf>
bool buildIndex(LinkIndex *&index, Link *head, HashOf hashOf) noexcept {
    size_t links = 0;
    for (Link *link = head; link != nullptr; link = link->next)
        ++links;
    size_t capacity = 64;
    while (capacity < 4 * links)
        capacity *= 2;
    auto *built = new (std::nothrow) LinkIndex{};
    void **slots = built != nullptr ? new (std::nothrow) void *[capacity]() : nullptr;
    if (slots == nullptr) {
        delete built;
        return false;
    }
    built->capacity = capacity;
    built->slots = slots;
    for (Link *link = head; link != nullptr; link = link->next)
        built->place(link, hashOf(link));
    if (index != nullptr) delete[] index->slots;
    delete index;
    index = built;
    return true;
}

inline void freeIndex(LinkIndex *&index) noexcept {
    if (index == nullptr) return;
    delete[] index->slots;
    delete index;
    index = nullptr;
}

// After `link` joined the list: indexes it, building the table anew when
// it is half full (from the list, which already holds the link).
template <class Link, class HashOf>
void indexAdded(LinkIndex *&index, Link *head, Link *link, HashOf hashOf) noexcept {
    if (index == nullptr) return;
    if (2 * (index->used + 1) > index->capacity) {
        if (!buildIndex(index, head, hashOf)) freeIndex(index);  // the list still answers
        return;
    }
    index->place(link, hashOf(link));
}

}  // namespace kvl

#endif  // KVL_LINK_INDEX_H
