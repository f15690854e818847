// List of fixed-size values on an arena.
//
// Node layout: [link to the next node's payload][value]. The value is
// compared byte for byte by listRemove; arena slots come zero-filled, so the
// padding up to the slot size never takes part in a comparison.

#include "list.h"

#include <cstdlib>
#include <cstring>

namespace {

void *nextNode(const void *node) {
    void *link;
    std::memcpy(&link, node, listElemSize);
    return link;
}

void setNext(void *node, void *next) { std::memcpy(node, &next, listElemSize); }

unsigned char *valueOf(void *node) { return static_cast<unsigned char *>(node) + listElemSize; }

void *nodeOf(const void *value) {
    return const_cast<unsigned char *>(static_cast<const unsigned char *>(value)) - listElemSize;
}

}  // namespace

extern "C" {

slm_list *createList(uint32_t size) {
    if (size == 0 || size > UINT32_MAX - listElemSize) return nullptr;
    auto *list = static_cast<slm_list *>(std::calloc(1, sizeof(slm_list)));
    if (list == nullptr) return nullptr;
    list->size = size;
    list->arena = initArena(size + listElemSize, LIST_NODES_PER_BLOCK);
    if (list->arena == nullptr) {
        std::free(list);
        return nullptr;
    }
    return list;
}

void deleteList(slm_list *list) {
    if (list == nullptr) return;
    deleteArena(list->arena);
    std::free(list);
}

uint32_t entries(const slm_list *list) { return list != nullptr ? list->count : 0; }

int append(slm_list *list, const void *value) {
    if (list == nullptr || value == nullptr) return 2;
    void *node = newArenaElement(list->arena);
    if (node == nullptr) return 2;
    std::memcpy(valueOf(node), value, list->size);
    if (list->tail != nullptr)
        setNext(list->tail, node);
    else
        list->head = node;
    list->tail = node;
    ++list->count;
    return 0;
}

void *getNext(const slm_list *list, const void *current) {
    if (list == nullptr || list->head == nullptr) return nullptr;
    void *node = current == nullptr ? list->head : nextNode(nodeOf(current));
    return node != nullptr ? valueOf(node) : nullptr;
}

int listRemove(slm_list *list, const void *value) {
    if (list == nullptr || value == nullptr) return 4;
    void *previous = nullptr;
    for (void *node = list->head; node != nullptr; previous = node, node = nextNode(node)) {
        if (std::memcmp(valueOf(node), value, list->size) != 0) continue;
        void *next = nextNode(node);
        if (previous != nullptr)
            setNext(previous, next);
        else
            list->head = next;
        if (list->tail == node) list->tail = previous;
        --list->count;
        deleteArenaElement(list->arena, node);
        return 0;
    }
    return 4;
}

}  // extern "C"
