// The string buffer.
//
// Capacity arithmetic is done in 64 bits and capped below 2^31, so a huge
// request fails instead of wrapping a 32-bit capacity to 0.

#include "CxStringBuff.h"

#include <cstring>
#include <string>

#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr uint64_t kInitialCapacity = 1024;
constexpr uint64_t kMaxCapacity = uint64_t{1} << 31;

// Writes the decimal digits of a magnitude, most significant first.
int decimalInto(char *out, uint64_t magnitude) {
    char digits[32];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    for (int i = 0; i < n; ++i)
        out[i] = digits[n - 1 - i];
    return n;
}

// Where `bytes` lies inside the buffer's own storage, its offset there: text
// taken from the buffer itself must be found again after the storage moves.
bool offsetInside(const CxStringBuff *buffer, const char *bytes, size_t &offset) {
    if (buffer->data == nullptr) return false;
    const auto begin = reinterpret_cast<uintptr_t>(buffer->data);
    const auto at = reinterpret_cast<uintptr_t>(bytes);
    if (at < begin || at >= begin + buffer->capacity) return false;
    offset = static_cast<size_t>(at - begin);
    return true;
}

// Makes room for n more bytes, keeping `bytes` valid when it points into
// the buffer.
bool reserveFor(CxStringBuff *buffer, const char *&bytes, uint64_t n) {
    size_t offset = 0;
    const bool inside = offsetInside(buffer, bytes, offset);
    if (!cxStringBuffHasCapacity(buffer, n)) return false;
    if (inside) bytes = buffer->data + offset;
    return true;
}

// A signed value's decimal text with `minus` before a negative one.
int signedDecimalInto(char *out, int64_t value, char minus) {
    // The magnitude as unsigned: negating INT64_MIN would overflow.
    const uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int n = 0;
    if (value < 0) out[n++] = minus;
    return n + decimalInto(out + n, magnitude);
}

bool appendBytes(CxStringBuff *buffer, const char *bytes, size_t n) {
    const bool room = buffer != nullptr && buffer->data != nullptr &&
                      static_cast<uint64_t>(buffer->length) + n + 1 <= buffer->capacity;
    if (!room && (buffer == nullptr || !reserveFor(buffer, bytes, n))) return false;
    std::memmove(buffer->data + buffer->length, bytes, n);
    buffer->length += static_cast<uint32_t>(n);
    buffer->data[buffer->length] = '\0';
    return true;
}

int changeCodeset(CxStringBuff *buffer, uint64_t factor, bool fromUtf8, uc_ch_t *cs) {
    if (buffer == nullptr) return 0;
    if (buffer->data == nullptr || buffer->length == 0) return 1;
    CxStringBuff scratch{};
    if (!cxStringBuffHasCapacity(&scratch, factor * buffer->length)) return 0;
    const int room = static_cast<int>(scratch.capacity - 1);
    const int n = fromUtf8 ? zil_from_utf8(cs, buffer->data, static_cast<int>(buffer->length),
                                           scratch.data, room, nullptr)
                           : zil_to_utf8(cs, buffer->data, static_cast<int>(buffer->length),
                                         scratch.data, room, nullptr);
    if (n < 0 || n >= static_cast<int>(scratch.capacity)) {
        CxStringBuffDiscard(&scratch);
        return 0;
    }
    scratch.data[n] = '\0';
    scratch.length = static_cast<uint32_t>(n);
    OxsMemoryFree(buffer->data);
    *buffer = scratch;
    return 1;
}

}  // namespace

extern "C" {

int cxStringBuffAppendBytes(CxStringBuff *buffer, const char *bytes, size_t n) {
    return appendBytes(buffer, bytes, n) ? 1 : 0;
}

int cxStringBuffHasCapacity(CxStringBuff *buffer, uint64_t extra) {
    if (buffer == nullptr) return 0;
    if (buffer->data == nullptr) {
        auto *data = static_cast<char *>(OxsMemoryMalloc(kInitialCapacity));
        if (data == nullptr) return 0;
        data[0] = '\0';
        *buffer = CxStringBuff{0, static_cast<uint32_t>(kInitialCapacity), data};
    }
    const uint64_t needed = static_cast<uint64_t>(buffer->length) + extra + 1;
    if (buffer->capacity >= needed) return 1;
    if (needed > kMaxCapacity) return 0;
    uint64_t capacity = buffer->capacity;
    while (capacity <= needed)
        capacity *= 2;
    if (capacity > kMaxCapacity) capacity = kMaxCapacity;
    auto *grown = static_cast<char *>(OxsMemoryRealloc(buffer->data, capacity));
    if (grown == nullptr) return 0;
    buffer->data = grown;
    buffer->capacity = static_cast<uint32_t>(capacity);
    return 1;
}

int CxStringBuffAppendChar(CxStringBuff *buffer, char ch) {
    return appendBytes(buffer, &ch, 1) ? 1 : 0;
}

int CxStringBuffAppendUTF32Char(CxStringBuff *buffer, int32_t c) {
    unsigned char bytes[6];
    int n;
    const auto u = static_cast<uint32_t>(c);
    if (c <= 0x7F) {  // compared as a signed value
        bytes[0] = static_cast<unsigned char>(c);
        n = 1;
    } else {
        n = c < 0x800 ? 2 : c < 0x10000 ? 3 : c < 0x200000 ? 4 : c < 0x4000000 ? 5 : 6;
        static const unsigned char leads[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
        static const unsigned char masks[7] = {0, 0, 0x1F, 0x0F, 0x07, 0x03, 0x01};
        bytes[0] = static_cast<unsigned char>(leads[n] | ((u >> (6 * (n - 1))) & masks[n]));
        for (int i = 1; i < n; ++i)
            bytes[i] = static_cast<unsigned char>(0x80 | ((u >> (6 * (n - 1 - i))) & 0x3F));
    }
    return appendBytes(buffer, reinterpret_cast<char *>(bytes), static_cast<size_t>(n)) ? 1 : 0;
}

int CxStringBuffAppendUCS2Char(CxStringBuff *buffer, uint16_t unit) {
    return CxStringBuffAppendUTF32Char(buffer, unit);
}

int CxStringBuffAppendInt32(CxStringBuff *buffer, int32_t value) {
    return CxStringBuffAppendInt64(buffer, value);
}

int CxStringBuffAppendInt64(CxStringBuff *buffer, int64_t value) {
    char text[24];
    const int n = signedDecimalInto(text, value, '-');
    return appendBytes(buffer, text, static_cast<size_t>(n)) ? 1 : 0;
}

int CxStringBuffAppendUInt64(CxStringBuff *buffer, uint64_t value) {
    char text[24];
    const int n = decimalInto(text, value);
    return appendBytes(buffer, text, static_cast<size_t>(n)) ? 1 : 0;
}

int CxStringBuffAppendEBCDICInt64(CxStringBuff *buffer, int64_t value) {
    char text[24];
    const int n = signedDecimalInto(text, value, '\x60');  // EBCDIC minus
    for (int i = value < 0 ? 1 : 0; i < n; ++i)
        text[i] = static_cast<char>(0xF0 + (text[i] - '0'));  // EBCDIC digits
    return appendBytes(buffer, text, static_cast<size_t>(n)) ? 1 : 0;
}

int CxStringBuffAppendStr(CxStringBuff *buffer, const char *text) {
    if (buffer == nullptr || text == nullptr) return 0;
    return appendBytes(buffer, text, std::strlen(text)) ? 1 : 0;
}

int CxStringBuffAppendStrN(CxStringBuff *buffer, const char *text, int32_t count) {
    if (buffer == nullptr || text == nullptr) return 0;
    if (count < 0) return CxStringBuffAppendStr(buffer, text);
    // Reserved for the full count even when a NUL ends the copy sooner.
    if (!reserveFor(buffer, text, static_cast<uint64_t>(count))) return 0;
    const size_t n = strnlen(text, static_cast<size_t>(count));
    return appendBytes(buffer, text, n) ? 1 : 0;
}

int CxStringBuffAppendWStrN(uc_ch_t *cs, CxStringBuff *buffer, const uint16_t *text,
                            int32_t byteLimit) {
    if (buffer == nullptr || text == nullptr) return 0;
    int64_t appended = 0;
    for (const uint16_t *p = text; *p != 0; ++p) {
        char bytes[8];
        const int n = zil_wctomb(cs, bytes, *p);
        if (n < 0) return 0;
        if (byteLimit >= 0 && appended + n > byteLimit) break;
        if (!appendBytes(buffer, bytes, static_cast<size_t>(n))) return 0;
        appended += n;
    }
    return 1;
}

int CxStringBuffInsertStr(CxStringBuff *buffer, const char *text, uint32_t position) {
    if (buffer == nullptr || text == nullptr || position > buffer->length) return 0;
    const size_t n = std::strlen(text);
    size_t offset = 0;
    if (offsetInside(buffer, text, offset)) {  // the text moves as the tail makes room
        const std::string copy(text, n);
        return CxStringBuffInsertStr(buffer, copy.c_str(), position);
    }
    if (!cxStringBuffHasCapacity(buffer, n)) return 0;
    std::memmove(buffer->data + position + n, buffer->data + position,
                 buffer->length - position + 1);
    std::memcpy(buffer->data + position, text, n);
    buffer->length += static_cast<uint32_t>(n);
    return 1;
}

char *CxStringBuffTakeStr(CxStringBuff *buffer) {
    if (buffer == nullptr) return nullptr;
    char *data = buffer->data;
    *buffer = CxStringBuff{0, 0, nullptr};
    return data;
}

char *CxStringBuffPeekStr(const CxStringBuff *buffer) {
    return buffer != nullptr ? buffer->data : nullptr;
}

char *CxStringBuffCopyStr(const CxStringBuff *buffer) {
    return buffer != nullptr ? OxsStringDup(buffer->data) : nullptr;
}

int CxStringBuffRestart(CxStringBuff *buffer) {
    if (buffer == nullptr) return 0;
    buffer->length = 0;
    if (buffer->data != nullptr) buffer->data[0] = '\0';
    return 1;
}

int CxStringBuffDiscard(CxStringBuff *buffer) {
    if (buffer == nullptr) return 0;
    OxsMemoryFree(buffer->data);
    *buffer = CxStringBuff{0, 0, nullptr};
    return 1;
}

int CxStringBuffPack(CxStringBuff *buffer) {
    if (buffer == nullptr) return 0;
    if (buffer->length == 0) return CxStringBuffDiscard(buffer);
    if (buffer->capacity == buffer->length + 1) return 0;
    auto *packed = static_cast<char *>(OxsMemoryRealloc(buffer->data, buffer->length + 1));
    if (packed == nullptr) return 0;
    buffer->data = packed;
    buffer->capacity = buffer->length + 1;
    return 1;
}

int CxStringBuffChangeFromUTF8(uc_ch_t *cs, CxStringBuff *buffer) {
    return changeCodeset(buffer, 2, true, cs);
}
int CxStringBuffChangeToUTF8(uc_ch_t *cs, CxStringBuff *buffer) {
    return changeCodeset(buffer, 3, false, cs);
}

}  // extern "C"
