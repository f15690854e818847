// How a Unicode character's general properties become the class bits of the
// zil character-type records. Shared by the table generator and the test
// that checks the generated tables against the same source (ICU).
//
// The classes follow the way glibc classifies characters where the two could
// differ: digit and xdigit are ASCII only; space is the white-space
// separators without the no-break ones, the ASCII controls tab to carriage
// return, and the line and paragraph separators (U+3000 is space); blank is
// tab and those separators; punct is graph that is not alnum.
#ifndef ZIL_CTYPE_RULES_H
#define ZIL_CTYPE_RULES_H

#include <unicode/uchar.h>

#include <cstdint>

#include "zil.h"

inline UniCharType zilCharTypeFromIcu(UChar32 c) {
    const int8_t category = u_charType(c);
    const bool noBreak = c == 0x00A0 || c == 0x2007 || c == 0x202F;
    const bool separator = category == U_SPACE_SEPARATOR && !noBreak;
    const bool lineOrParagraph = category == U_LINE_SEPARATOR || category == U_PARAGRAPH_SEPARATOR;
    const bool letter = category == U_UPPERCASE_LETTER || category == U_LOWERCASE_LETTER ||
                        category == U_TITLECASE_LETTER || category == U_MODIFIER_LETTER ||
                        category == U_OTHER_LETTER;
    const bool asciiDigit = c >= '0' && c <= '9';

    uint16_t bits = 0;
    if (category == U_UPPERCASE_LETTER || category == U_TITLECASE_LETTER) bits |= ZIL_CT_UPPER;
    if (category == U_LOWERCASE_LETTER) bits |= ZIL_CT_LOWER;
    if (asciiDigit) bits |= ZIL_CT_DIGIT;
    if (separator || (c >= 0x09 && c <= 0x0D) || lineOrParagraph) bits |= ZIL_CT_SPACE;
    if (category == U_CONTROL_CHAR || lineOrParagraph) bits |= ZIL_CT_CNTRL;
    if (separator || c == 0x09) bits |= ZIL_CT_BLANK;
    if (asciiDigit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) bits |= ZIL_CT_XDIGIT;
    const bool alpha = letter || category == U_LETTER_NUMBER ||
                       (category == U_DECIMAL_DIGIT_NUMBER && !asciiDigit);
    if (alpha) bits |= ZIL_CT_ALPHA;
    if (alpha || asciiDigit) bits |= ZIL_CT_ALNUM;
    const bool graph =
        !(category == U_CONTROL_CHAR || category == U_SURROGATE || category == U_UNASSIGNED ||
          category == U_SPACE_SEPARATOR || lineOrParagraph);
    if (graph) bits |= ZIL_CT_GRAPH;
    if (graph || category == U_SPACE_SEPARATOR) bits |= ZIL_CT_PRINT;
    if (graph && !(bits & ZIL_CT_ALNUM)) bits |= ZIL_CT_PUNCT;

    UniCharType type{};
    type.attributes = bits;
    type.type1 = static_cast<uint8_t>(category);
    type.value =
        category == U_DECIMAL_DIGIT_NUMBER ? static_cast<uint16_t>(u_charDigitValue(c)) : 0;
    return type;
}

#endif  // ZIL_CTYPE_RULES_H
