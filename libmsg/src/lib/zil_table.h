// Layout of a codeset table file, and reading it safely.
//
// All values are little-endian and may sit at odd offsets, so they are read
// through memcpy. A table is validated once when it is loaded
// (zilTableExtent): every offset a conversion of its family can follow is
// checked against the file size then, so the conversions themselves index
// without bounds checks. The same checks find how far the table reaches,
// and only that much of the file is kept: bytes appended to a table are
// never read into memory.
#ifndef ZIL_TABLE_H
#define ZIL_TABLE_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zil.h"

namespace zil {

// Header fields.
constexpr size_t kAreaOffset = 0;         // 4: offset of the secondary mapping area
constexpr size_t kMagicOffset = 8;        // 3: "ucv"
constexpr size_t kNameOffset = 16;        // up to 32, NUL-terminated
constexpr size_t kGbHeaderOffset = 38;    // 2: GB18030 sub-header (family 10)
constexpr size_t kKindOffset = 48;        // 2: conversion family
constexpr size_t kSchemeOffset = 50;      // 2: encoding scheme
constexpr size_t kSubstUniOffset = 58;    // 2: the Unicode value that maps to the substitution byte
constexpr size_t kSubstByteOffset = 60;   // 1: the codeset's substitution byte
constexpr size_t kFromRowsOffset = 224;   // 256 x 2: from-Unicode row per high byte
constexpr size_t kToUnicodeOffset = 736;  // 256 x 2: to-Unicode value per first byte
constexpr size_t kByteInfoOffset = 1248;  // 256 x 1: length or type per first byte
constexpr size_t kMinTableSize = 1760;
constexpr uint16_t kSchemeEbcdicSbcs = 0x1100;
constexpr uint16_t kUnmapped = 0xFFFF;
// No byte below this continues a double- or multi-byte character of the
// ASCII-based families: such a byte after a lead byte is read afresh.
constexpr uint8_t kLowestTrail = 0x40;
constexpr char kMagic[3] = {'u', 'c', 'v'};

inline uint16_t readU16(const unsigned char *table, size_t offset) {
    uint16_t value;
    std::memcpy(&value, table + offset, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap16(value);
    return value;
}

inline uint32_t readU32(const unsigned char *table, size_t offset) {
    uint32_t value;
    std::memcpy(&value, table + offset, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
    return value;
}

// The byte offset a row value designates: area + 4 x row.
inline size_t rowOffset(const unsigned char *table, uint16_t row) {
    return readU32(table, kAreaOffset) + 4 * static_cast<size_t>(row);
}

// The rows of the double-byte families: 256 two-byte values each, starting
// at area + 4 x row. The area offset is read once per handle, not per byte.
struct RowArea {
    const unsigned char *table;
    size_t area;
    explicit RowArea(const unsigned char *t) : table(t), area(readU32(t, kAreaOffset)) {}
    uint16_t at(uint16_t row, uint8_t index) const {
        return readU16(table, area + 4 * static_cast<size_t>(row) + 2 * index);
    }
};

// The bytes of a table file of `size` bytes that its layout reaches:
// every check of an offset goes through `within`, which also records the
// farthest byte checked.
struct TableBounds {
    size_t size;
    size_t reached = 0;
    bool within(size_t offset, size_t length) {
        if (offset > size || length > size - offset) return false;
        if (offset + length > reached) reached = offset + length;
        return true;
    }
    // A double-byte row (256 two-byte values) of the area.
    bool rowWithin(const RowArea &rows, uint16_t row) {
        return rows.area <= size && within(rows.area + 4 * static_cast<size_t>(row), 512);
    }
};

// Whether a file of `size` bytes is a table rather than an alias file.
inline bool hasTableMagic(const unsigned char *data, size_t size) {
    return size >= kMinTableSize && std::memcmp(data + kMagicOffset, kMagic, 3) == 0;
}

// The family a table's header declares.
inline uint16_t tableKind(const unsigned char *table) {
    return readU16(table, kSchemeOffset) == kSchemeEbcdicSbcs ? ZIL_KIND_EBCDIC_SBCS
                                                              : readU16(table, kKindOffset);
}

// How many bytes of the file of `size` bytes the table reaches, when every
// offset its family uses lies inside the file; 0 when one does not.
size_t zilTableExtent(const unsigned char *table, size_t size);
inline bool zilValidateTable(const unsigned char *table, size_t size) {
    return zilTableExtent(table, size) != 0;
}

// Data derived from a table once at load, kept in the same allocation right
// after the file image (at derivedOffset), so duplicates of a handle share
// it. Families that derive nothing have a size of 0.
inline size_t derivedOffset(size_t tableSize) { return (tableSize + 7) & ~size_t{7}; }
size_t derivedSize(uint16_t kind);
// Builds the derived data after the table image of `tableSize` bytes.
void buildDerived(uint16_t kind, unsigned char *table, size_t tableSize);

}  // namespace zil

#endif  // ZIL_TABLE_H
