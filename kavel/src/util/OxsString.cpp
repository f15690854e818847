// String primitives with fixed null rules.

#include "OxsString.h"

#include <cstdint>
#include <cstring>

#include "OxsMemory.h"

namespace {

int foldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// The null rule every comparison shares: null sorts after everything.
bool nullOrder(const char *a, const char *b, int &result) {
    if (a == nullptr)
        result = 1;
    else if (b == nullptr)
        result = -1;
    else
        return false;
    return true;
}

int compareFolded(const char *a, const char *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const int ca = foldAscii(static_cast<unsigned char>(a[i]));
        const int cb = foldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
        if (ca == 0) break;
    }
    return 0;
}

}  // namespace

extern "C" {

int OxsStringCmp(const char *a, const char *b) {
    int result;
    return nullOrder(a, b, result) ? result : std::strcmp(a, b);
}

int OxsStringNCmp(const char *a, const char *b, size_t n) {
    int result;
    return nullOrder(a, b, result) ? result : std::strncmp(a, b, n);
}

int OxsStringICmp(const char *a, const char *b) {
    int result;
    return nullOrder(a, b, result) ? result : compareFolded(a, b, SIZE_MAX);
}

int OxsStringNICmp(const char *a, const char *b, size_t n) {
    int result;
    return nullOrder(a, b, result) ? result : compareFolded(a, b, n);
}

char *OxsStringCat(char *dst, const char *src) {
    if (dst == nullptr) return nullptr;
    return src == nullptr ? dst : std::strcat(dst, src);
}

char *OxsStringNCat(char *dst, const char *src, size_t n) {
    if (dst == nullptr) return nullptr;
    return src == nullptr ? dst : std::strncat(dst, src, n);
}

char *OxsStringCpy(char *dst, const char *src) {
    if (dst == nullptr) return nullptr;
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    return std::strcpy(dst, src);
}

char *OxsStringNCpy(char *dst, const char *src, size_t n) {
    if (dst == nullptr) return nullptr;
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    // Like strncpy, but without padding the rest of dst with zeros.
    const size_t length = strnlen(src, n);
    std::memcpy(dst, src, length);
    if (length < n) dst[length] = '\0';
    return dst;
}

char *OxsStringDup(const char *s) {
    if (s == nullptr) return nullptr;
    const size_t size = std::strlen(s) + 1;
    auto *copy = static_cast<char *>(OxsMemoryMalloc(size));
    if (copy != nullptr) std::memcpy(copy, s, size);
    return copy;
}

size_t OxsStringLen(const char *s) { return s == nullptr ? 0 : std::strlen(s); }

char *OxsStringChr(const char *s, int ch) {
    return s == nullptr ? nullptr : const_cast<char *>(std::strchr(s, ch));
}

char *OxsStringRChr(const char *s, int ch) {
    return s == nullptr ? nullptr : const_cast<char *>(std::strrchr(s, ch));
}

char *OxsStringStr(const char *haystack, const char *needle) {
    if (haystack == nullptr || needle == nullptr) return nullptr;
    return const_cast<char *>(std::strstr(haystack, needle));
}

char *OxsStringStrpbrk(const char *s, const char *set) {
    if (s == nullptr || set == nullptr) return nullptr;
    return const_cast<char *>(std::strpbrk(s, set));
}

size_t OxsStringStrcspn(const char *s, const char *set) {
    if (s == nullptr) return SIZE_MAX;
    return set == nullptr ? std::strlen(s) : std::strcspn(s, set);
}

size_t OxsStringStrspn(const char *s, const char *set) {
    if (s == nullptr) return SIZE_MAX;
    return set == nullptr ? 0 : std::strspn(s, set);
}

}  // extern "C"
