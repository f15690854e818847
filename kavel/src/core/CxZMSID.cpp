// Message identifiers. The layout is decided by the prefix length first
// (six letters, else five, else four, else three), then by the digits that
// follow up to the severity letter; a digit is never a severity letter, so
// the order in which digit counts are tried changes no result.

#include "CxZMSID.h"

#include <cstring>

#include "CxChars.h"
#include "OxsString.h"

namespace {

struct Layout {
    int letters, digits;
    const char *name;
    int32_t version;
};

constexpr Layout kLayouts[] = {
    {3, 3, "NUV3.3.1", 331}, {3, 4, "NUV3.4.1", 341}, {3, 5, "NUV3.5.1", 351},
    {3, 6, "NUV3.6.1", 361}, {4, 3, "NUV4.3.1", 431}, {4, 4, "NUV4.4.1", 441},
    {4, 5, "NUV4.5.1", 451}, {5, 2, "NUV5.2.1", 521}, {5, 3, "NUV5.3.1", 531},
    {5, 4, "NUV5.4.1", 541}, {6, 3, "NUV6.3.1", 631},
};

bool isSeverity(char c) { return c == 'I' || c == 'W' || c == 'E'; }

}  // namespace

extern "C" {

CxZMSID CxParseZMSID(const char *text) {
    CxZMSID result{};
    if (text == nullptr) return result;
    char head[10] = {};  // positions past the end of the text are in no class
    for (size_t i = 0; i < sizeof head && text[i] != '\0'; ++i)
        head[i] = text[i];
    const auto letter = [&head](int i) {
        return CxIsASCIIAlpha(static_cast<unsigned char>(head[i]));
    };
    const auto digit = [&head](int i) {
        return CxIsASCIIDigit(static_cast<unsigned char>(head[i]));
    };
    if (!letter(0) || !letter(1) || !letter(2)) return result;
    const int letters = letter(3) ? (letter(4) ? (letter(5) ? 6 : 5) : 4) : 3;
    for (const Layout &layout : kLayouts) {
        if (layout.letters != letters) continue;
        const int length = letters + layout.digits + 1;
        if (length > 10) continue;
        bool fits = isSeverity(head[length - 1]);
        for (int i = letters; fits && i < letters + layout.digits; ++i)
            fits = digit(i);
        if (!fits) continue;
        result.format = layout.name;
        result.version = layout.version;
        result.length = length;
        std::memcpy(result.id, head, static_cast<size_t>(length));
        result.severity = head[length - 1];
        return result;
    }
    return result;
}

char *kvlPDXMLGetMessageID(const char *text) {
    const CxZMSID parsed = CxParseZMSID(text);
    return parsed.length > 0 ? OxsStringDup(parsed.id) : nullptr;
}

}  // extern "C"
