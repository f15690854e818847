/*
 * Small rules the toolkit's records share, each in one place: replacing an
 * owned text field and adding times without overflow (a wrapped sum would let an event that is
 * still inside a window through). C++ only.
 */
#ifndef KVL_RECORD_FIELDS_H
#define KVL_RECORD_FIELDS_H

#include <cstdint>
#include <cstdlib>

#include "OxsMemory.h"
#include "OxsString.h"

namespace kvl {

// The field gets a copy of `text` (null: none); when memory is short the
// old text stays.
inline void replaceText(char *&field, const char *text) {
    char *copy = OxsStringDup(text);
    if (text != nullptr && copy == nullptr) return;
    OxsMemoryFree(field);
    field = copy;
}

// a + b, held at the 64-bit limits instead of wrapping.
inline int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

}  // namespace kvl

#endif /* KVL_RECORD_FIELDS_H */
