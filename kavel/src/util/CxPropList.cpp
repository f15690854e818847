// Property list.
//
// Growth keeps one spare slot after every insertion: the array starts at 32
// slots and doubles until it is strictly larger than the entries it must
// hold plus one. Slot sizes come from sizeof (two pointers).

#include "CxPropList.h"

#include <climits>

#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr int32_t kInitialSlots = 32;

int32_t findKey(const CxPropList *list, const char *key) {
    if (list == nullptr || key == nullptr || list->count <= 0) return -1;
    for (int32_t i = 0; i < list->count; ++i)
        if (OxsStringCmp(list->entries[i].key, key) == 0) return i;
    return -1;
}

bool hasCapacity(CxPropList *list, int32_t adding) {
    if (list == nullptr) return false;
    if (list->entries == nullptr) {
        auto *entries =
            static_cast<CxPropEntry *>(OxsMemoryCalloc(kInitialSlots, sizeof(CxPropEntry)));
        if (entries == nullptr) return false;
        list->entries = entries;
        list->capacity = kInitialSlots;
        list->count = 0;
    }
    const int64_t needed = static_cast<int64_t>(list->count) + adding + 1;
    if (list->capacity >= needed) return true;
    int64_t capacity = list->capacity;
    while (capacity <= needed)
        capacity *= 2;
    if (capacity > INT32_MAX) return false;
    auto *grown = static_cast<CxPropEntry *>(
        OxsMemoryRealloc(list->entries, static_cast<size_t>(capacity) * sizeof(CxPropEntry)));
    if (grown == nullptr) return false;
    list->entries = grown;
    list->capacity = static_cast<int32_t>(capacity);
    return true;
}

bool indexValid(const CxPropListIter *it) {
    return it != nullptr && it->list != nullptr && it->index >= 0 && it->index < it->list->count;
}

}  // namespace

extern "C" {

const char *CxPropListPeekStr(const CxPropList *list, const char *key, unsigned char *found) {
    const int32_t index = findKey(list, key);
    if (found != nullptr) *found = index >= 0 ? 1 : 0;
    return index >= 0 ? list->entries[index].value : nullptr;
}

char *CxPropListCopyStr(const CxPropList *list, const char *key, unsigned char *found) {
    return OxsStringDup(CxPropListPeekStr(list, key, found));
}

int CxPropListPutStr(CxPropList *list, const char *key, const char *value) {
    if (list == nullptr || key == nullptr || value == nullptr) return 0;
    const int32_t index = findKey(list, key);
    if (index < 0 && !hasCapacity(list, 1)) return 0;
    char *valueCopy = OxsStringDup(value);
    char *keyCopy = index < 0 ? OxsStringDup(key) : nullptr;
    if (valueCopy == nullptr || (index < 0 && keyCopy == nullptr)) {
        OxsMemoryFree(valueCopy);
        OxsMemoryFree(keyCopy);
        return 0;
    }
    if (index >= 0) {
        OxsMemoryFree(list->entries[index].value);
        list->entries[index].value = valueCopy;
    } else {
        list->entries[list->count++] = CxPropEntry{keyCopy, valueCopy};
    }
    return 1;
}

int CxPropListRemove(CxPropList *list, const char *key) {
    const int32_t index = findKey(list, key);
    if (index < 0) return 0;
    OxsMemoryFree(list->entries[index].value);
    OxsMemoryFree(list->entries[index].key);
    const int32_t last = list->count - 1;
    if (index != last) list->entries[index] = list->entries[last];
    list->entries[last] = CxPropEntry{nullptr, nullptr};
    --list->count;
    return 1;
}

int CxPropListHasKey(const CxPropList *list, const char *key) {
    return findKey(list, key) >= 0 ? 1 : 0;
}

void CxPropListDiscard(CxPropList *list) {
    if (list == nullptr) return;
    for (int32_t i = 0; i < list->count; ++i) {
        OxsMemoryFree(list->entries[i].key);
        OxsMemoryFree(list->entries[i].value);
    }
    OxsMemoryFree(list->entries);
    *list = CxPropList{0, 0, nullptr};
}

CxPropListIter CxPropListIterator(CxPropList *list) { return CxPropListIter{list, 0}; }

int CxPropListIterHasNext(const CxPropListIter *it) {
    if (it == nullptr || it->list == nullptr || it->index < 0) return 0;
    return it->index + 1 < it->list->count ? 1 : 0;
}

const char *CxPropListIterPeekKey(const CxPropListIter *it) {
    return indexValid(it) ? it->list->entries[it->index].key : nullptr;
}

const char *CxPropListIterPeekVal(const CxPropListIter *it) {
    return indexValid(it) ? it->list->entries[it->index].value : nullptr;
}

char *CxPropListIterCopyKey(const CxPropListIter *it) {
    return OxsStringDup(CxPropListIterPeekKey(it));
}

char *CxPropListIterCopyVal(const CxPropListIter *it) {
    return OxsStringDup(CxPropListIterPeekVal(it));
}

void CxPropListIterNext(CxPropListIter *it) {
    if (it == nullptr || it->index < 0) return;
    ++it->index;
    if (!indexValid(it)) *it = CxPropListIter{nullptr, 0};
}

}  // extern "C"
