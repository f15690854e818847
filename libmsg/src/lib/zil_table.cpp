// Table validation at load.
//
// Table names come from configuration files and the environment, so a
// corrupt or hostile file must be refused here rather than read out of
// bounds later. Families whose layout this library does not know yet are
// refused too; unknown family numbers are converted byte for byte and use
// no mapping array.

#include "zil_table.h"

#include "zil_codec.h"

namespace zil {
namespace {

bool nameTerminated(const unsigned char *table) {
    return std::memchr(table + kNameOffset, '\0', ZIL_CS_NAME_SIZE) != nullptr;
}

// Single-byte families: every from-Unicode row is 256 result bytes.
bool singleByteRowsFit(const unsigned char *table, TableBounds &bounds) {
    if (readU32(table, kAreaOffset) > bounds.size) return false;
    for (size_t high = 0; high < 256; ++high)
        if (!bounds.within(rowOffset(table, readU16(table, kFromRowsOffset + 2 * high)), 256))
            return false;
    return true;
}

bool familyFits(const unsigned char *table, TableBounds &bounds) {
    switch (tableKind(table)) {
        case ZIL_KIND_ASCII_SBCS:
        case ZIL_KIND_EBCDIC_SBCS:
            return singleByteRowsFit(table, bounds);
        case ZIL_KIND_ASCII_DBCS:
            return dbcsRowsFit(table, bounds);
        case ZIL_KIND_EBCDIC_DBCS:
            return ebcdicDbcsRowsFit(table, bounds);
        case ZIL_KIND_GB18030:
            return gb18030Fits(table, bounds);
        case ZIL_KIND_ASCII_MBCS:
            return mbcsFits(table, bounds);
        default:  // converted byte for byte: nothing past the header is read
            return true;
    }
}

}  // namespace

size_t zilTableExtent(const unsigned char *table, size_t size) {
    if (table == nullptr || !hasTableMagic(table, size) || !nameTerminated(table)) return 0;
    TableBounds bounds{size, kMinTableSize};
    return familyFits(table, bounds) ? bounds.reached : 0;
}

size_t derivedSize(uint16_t kind) {
    if (kind == ZIL_KIND_ASCII_SBCS || kind == ZIL_KIND_EBCDIC_SBCS) return sbcsDerivedSize();
    if (kind == ZIL_KIND_GB18030) return gb18030DerivedSize();
    if (kind == ZIL_KIND_ASCII_DBCS) return dbcsDerivedSize();
    if (kind == ZIL_KIND_ASCII_MBCS) return mbcsDerivedSize();
    return 0;
}

void buildDerived(uint16_t kind, unsigned char *table, size_t tableSize) {
    unsigned char *derived = table + derivedOffset(tableSize);
    if (kind == ZIL_KIND_ASCII_SBCS || kind == ZIL_KIND_EBCDIC_SBCS)
        buildSbcsDerived(kind, table, derived);
    if (kind == ZIL_KIND_GB18030) buildGb18030Derived(table, derived);
    if (kind == ZIL_KIND_ASCII_DBCS) buildDbcsDerived(table, derived);
    if (kind == ZIL_KIND_ASCII_MBCS) buildMbcsDerived(table, derived);
}

}  // namespace zil
