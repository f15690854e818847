// The character-type tables (generated into zil_ctype_tables.cpp by
// tools/zil_mkctype): see that tool for the layout.
#ifndef ZIL_CTYPE_TABLES_H
#define ZIL_CTYPE_TABLES_H

#include <cstdint>

#include "zil.h"

extern const uint8_t UniCharTypeBase[512];
extern const UniCharType UniCharTypeTableB[];
extern const uint16_t UniCharTypeIndex[256];
extern const uint8_t UniCharTypeData[];
extern const UniCharType UniCharTypeTable[];

#endif  // ZIL_CTYPE_TABLES_H
