// Character classes and wide strings.

#include <cstring>

#include "zil_ctype_tables.h"

extern "C" {

const UniCharType *uniQueryCharType(zil_ucs2_t ch) {
    if (ch < 0x200) return &UniCharTypeTableB[UniCharTypeBase[ch]];
    const uint16_t entry = UniCharTypeIndex[ch >> 8];
    if (entry < 256) return &UniCharTypeTable[entry];
    return &UniCharTypeTable[UniCharTypeData[entry - 512 + (ch & 0xFF)]];
}

int uniQueryChar(zil_ucs2_t ch, uint32_t query) {
    const UniCharType *type = uniQueryCharType(ch);
    if (query & 0x80000000u) {
        const uint16_t wanted = static_cast<uint16_t>(query & 0xFFFF);
        switch (query >> 16) {
            case 0x8001:
                return type->type1 == wanted ? 1 : 0;
            case 0x8002:
                return type->type2 == wanted ? 1 : 0;
            case 0x8003:
                return type->value == wanted ? 1 : 0;
            default:
                return 0;
        }
    }
    const uint32_t bits = query > 0xFFFF
                              ? (static_cast<uint32_t>(type->extended) << 16) | type->attributes
                              : type->attributes;
    return (bits & query) == query ? 1 : 0;
}

int zil_iswupper(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_UPPER); }
int zil_iswlower(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_LOWER); }
int zil_iswdigit(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_DIGIT); }
int zil_iswspace(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_SPACE); }
int zil_iswpunct(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_PUNCT); }
int zil_iswcntrl(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_CNTRL); }
int zil_iswblank(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_BLANK); }
int zil_iswxdigit(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_XDIGIT); }
int zil_iswalpha(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_ALPHA); }
int zil_iswalnum(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_ALNUM); }
int zil_iswgraph(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_GRAPH); }
int zil_iswprint(zil_ucs2_t ch) { return uniQueryChar(ch, ZIL_CT_PRINT); }

size_t zil_wcslen(const zil_ucs2_t *s) {
    size_t n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

size_t zil_wcsnlen(const zil_ucs2_t *s, size_t max) {
    size_t n = 0;
    while (n < max && s[n] != 0)
        ++n;
    return n;
}

zil_ucs2_t *zil_wcscpy(zil_ucs2_t *dst, const zil_ucs2_t *src) {
    std::memcpy(dst, src, (zil_wcslen(src) + 1) * sizeof *src);
    return dst;
}

zil_ucs2_t *zil_wcsncpy(zil_ucs2_t *dst, const zil_ucs2_t *src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i] != 0; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = 0;
    return dst;
}

zil_ucs2_t *zil_wcscat(zil_ucs2_t *dst, const zil_ucs2_t *src) {
    zil_wcscpy(dst + zil_wcslen(dst), src);
    return dst;
}

zil_ucs2_t *zil_wcsncat(zil_ucs2_t *dst, const zil_ucs2_t *src, size_t n) {
    zil_ucs2_t *end = dst + zil_wcslen(dst);
    const size_t count = zil_wcsnlen(src, n);
    std::memcpy(end, src, count * sizeof *src);
    end[count] = 0;
    return dst;
}

zil_ucs2_t *zil_wcschr(const zil_ucs2_t *s, zil_ucs2_t ch) {
    for (;; ++s) {
        if (*s == ch) return const_cast<zil_ucs2_t *>(s);
        if (*s == 0) return nullptr;
    }
}

zil_ucs2_t *zil_wcsrchr(const zil_ucs2_t *s, zil_ucs2_t ch) {
    const zil_ucs2_t *found = nullptr;
    for (;; ++s) {
        if (*s == ch) found = s;
        if (*s == 0) return const_cast<zil_ucs2_t *>(found);
    }
}

int zil_wcsncmp(const zil_ucs2_t *a, const zil_ucs2_t *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) break;
    }
    return 0;
}

size_t zil_wcsspn(const zil_ucs2_t *s, const zil_ucs2_t *set) {
    size_t n = 0;
    while (s[n] != 0 && zil_wcschr(set, s[n]) != nullptr)
        ++n;
    return n;
}

size_t zil_wcscspn(const zil_ucs2_t *s, const zil_ucs2_t *set) {
    size_t n = 0;
    while (s[n] != 0 && zil_wcschr(set, s[n]) == nullptr)
        ++n;
    return n;
}

zil_ucs2_t *zil_wcspbrk(const zil_ucs2_t *s, const zil_ucs2_t *set) {
    s += zil_wcscspn(s, set);
    return *s != 0 ? const_cast<zil_ucs2_t *>(s) : nullptr;
}

zil_ucs2_t *zil_wcswcs(const zil_ucs2_t *haystack, const zil_ucs2_t *needle) {
    const size_t n = zil_wcslen(needle);
    for (const zil_ucs2_t *p = haystack;; ++p) {
        if (zil_wcsncmp(p, needle, n) == 0) return const_cast<zil_ucs2_t *>(p);
        if (*p == 0) return nullptr;
    }
}

zil_ucs2_t *zil_wcstok(zil_ucs2_t *s, const zil_ucs2_t *delimiters, zil_ucs2_t **saved) {
    if (s == nullptr) s = saved != nullptr ? *saved : nullptr;
    if (s == nullptr) return nullptr;
    s += zil_wcsspn(s, delimiters);
    if (*s == 0) {
        if (saved != nullptr) *saved = s;
        return nullptr;
    }
    zil_ucs2_t *end = s + zil_wcscspn(s, delimiters);
    if (*end != 0) *end++ = 0;
    if (saved != nullptr) *saved = end;
    return s;
}

}  // extern "C"
