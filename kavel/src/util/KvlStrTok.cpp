// Plain delimiter tokeniser.

#include "KvlStrTok.h"

#include <cstring>

#include "OxsMemory.h"

namespace {

bool hasDelimiters(const KvlStrTokIter &it) { return it.delims != nullptr && it.delims[0] != '\0'; }

char *copyOf(const char *text, size_t length) {
    auto *copy = static_cast<char *>(OxsMemoryMalloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

}  // namespace

extern "C" {

KvlStrTokIter KvlStrTokIterator(const char *text, const char *delims) { return {text, delims}; }

int KvlStrTokIterHasNext(const KvlStrTokIter *it) {
    if (it == nullptr || it->pos == nullptr || *it->pos == '\0') return 0;
    if (!hasDelimiters(*it)) return 1;
    return it->pos[std::strspn(it->pos, it->delims)] != '\0' ? 1 : 0;
}

char *KvlStrTokIterGet(const KvlStrTokIter *it) {
    if (it == nullptr || it->pos == nullptr || *it->pos == '\0') return nullptr;
    if (!hasDelimiters(*it)) return copyOf(it->pos, 1);
    const char *token = it->pos + std::strspn(it->pos, it->delims);
    const size_t length = std::strcspn(token, it->delims);
    return length == 0 ? nullptr : copyOf(token, length);
}

KvlStrTokIter KvlStrTokIterNext(KvlStrTokIter *it) {
    if (it == nullptr) return KvlStrTokIter{nullptr, nullptr};
    if (it->pos != nullptr && *it->pos != '\0') {
        if (!hasDelimiters(*it)) {
            ++it->pos;
        } else {
            it->pos += std::strspn(it->pos, it->delims);
            it->pos += std::strcspn(it->pos, it->delims);
        }
    }
    return *it;
}

}  // extern "C"
