// Escaping for the XML records (see KvlXmlText.h for the rules).
//
// One pass per text: a byte class table per context says which bytes need
// attention; runs of the others are copied in one append. Where the
// processor has SSE2 (every x86-64), runs are found 16 bytes at a time, so
// plain ASCII costs about what a copy does. Non-ASCII bytes
// are checked as UTF-8 with the bounds of Unicode's well-formed sequences
// (so overlong forms, surrogates and values past U+10FFFF fail at the byte
// that makes them ill-formed), and each maximal ill-formed subpart becomes
// one U+FFFD, as a converter following Unicode's recommendation does.

#include "KvlXmlText.h"

#include "KvlUtf8.h"

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum ByteClass : uint8_t {
    kPlain = 0,
    kMarkup,     // & < > ": an entity in element text and attributes
    kWhite,      // tab, LF, CR: a character reference in attributes
    kForbidden,  // other C0 controls: U+FFFD
    kBracket,    // ']': may start "]]>" inside CDATA
    kNonAscii,   // 0x80 and above: checked as UTF-8
};

enum class Context { kText, kAttribute, kCData };

using ClassTable = std::array<uint8_t, 256>;

constexpr ClassTable makeTable(Context context) {
    ClassTable table{};
    for (int b = 0; b < 0x20; ++b)
        table[b] = kForbidden;
    for (int b = 0x80; b < 0x100; ++b)
        table[b] = kNonAscii;
    if (context == Context::kAttribute) table['\t'] = table['\n'] = table['\r'] = kWhite;
    if (context != Context::kAttribute) table['\t'] = table['\n'] = table['\r'] = kPlain;
    if (context == Context::kCData) {
        table[']'] = kBracket;
    } else {
        table['&'] = table['<'] = table['>'] = table['"'] = kMarkup;
    }
    return table;
}

constexpr ClassTable kTextTable = makeTable(Context::kText);
constexpr ClassTable kAttributeTable = makeTable(Context::kAttribute);
constexpr ClassTable kCDataTable = makeTable(Context::kCData);

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string_view entityOf(unsigned char byte) {
    switch (byte) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\t':
            return "&#9;";
        case '\n':
            return "&#10;";
        default:
            return "&#13;";
    }
}

// The length of the XML character at `text[at]` (well-formed UTF-8 that
// is not U+FFFE or U+FFFF), or 0; then `subpart` bytes are replaced.
size_t wellFormedLength(std::string_view text, size_t at, size_t &subpart) {
    const size_t length = kvl::utf8::wellFormedLength(text, at, subpart);
    // U+FFFE and U+FFFF are well-formed UTF-8 but no XML character.
    if (length == 3 && static_cast<unsigned char>(text[at]) == 0xEF &&
        static_cast<unsigned char>(text[at + 1]) == 0xBF &&
        static_cast<unsigned char>(text[at + 2]) >= 0xBE) {
        subpart = 3;
        return 0;
    }
    return length;
}

// The first position at or after `at` whose byte may need attention in
// `context`, found 16 bytes at a time (control bytes and every byte from
// 0x80 compare below blank as signed bytes); the scalar loop looks closer.
template <Context context>
size_t skipPlain(std::string_view text, size_t at) {
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(0x20);
    for (; at + 16 <= text.size(); at += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + at));
        __m128i special = _mm_cmplt_epi8(v, blank);
        if constexpr (context == Context::kCData) {
            special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8(']')));
        } else {
            special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
            special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
            special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
            special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
        }
        if (const int mask = _mm_movemask_epi8(special); mask != 0)
            return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    return at;
}

template <Context context>
void append(std::string &out, std::string_view text, const ClassTable &table) {
    size_t runStart = 0, at = 0;
    const size_t size = text.size();
    const auto flush = [&] { out.append(text.data() + runStart, at - runStart); };
    while ((at = skipPlain<context>(text, at)) < size) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const uint8_t kind = table[byte];
        if (kind == kPlain) {
            ++at;
            continue;
        }
        if (kind == kNonAscii) {
            size_t subpart = 0;
            if (const size_t length = wellFormedLength(text, at, subpart); length != 0) {
                at += length;
                continue;
            }
            flush();
            out += kReplacement;
            at += subpart;
        } else if (kind == kBracket) {
            if (text.substr(at, 3) != "]]>") {
                ++at;
                continue;
            }
            at += 2;  // "]]" stays in this section, ">" opens the next
            flush();
            out += "]]><![CDATA[";
        } else {
            flush();
            if (kind == kForbidden)
                out += kReplacement;
            else
                out += entityOf(byte);
            ++at;
        }
        runStart = at;
    }
    at = size;
    flush();
}

}  // namespace

namespace kvl::xml {

void appendText(std::string &out, std::string_view text) {
    append<Context::kText>(out, text, kTextTable);
}
void appendAttribute(std::string &out, std::string_view text) {
    append<Context::kAttribute>(out, text, kAttributeTable);
}
void appendCData(std::string &out, std::string_view text) {
    append<Context::kCData>(out, text, kCDataTable);
}

}  // namespace kvl::xml
