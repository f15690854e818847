// The formatted-output engine.
//
// Numbers are written straight into the output buffer; padding is added
// afterwards where it belongs (before, after the sign, or after), so no
// conversion needs a work area of its own. Formats of up to 16 items and
// arguments use the lists' inline arrays and allocate nothing.
//
// Floating digits come from std::to_chars (exact for a double, correctly
// rounded), or from snprintf("%Le") for a long double that is not a double.

#include "CxPrintUtil.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CxListUtil.h"
#include "OxsMemory.h"

namespace {

constexpr int32_t kMaxPosition = 4096;
constexpr int32_t kMaxNumber = 1000000;
constexpr int kMaxDigits = 34;

// Grows an inline-backed array: the first growth copies out of the inline part.
template <class T>
bool ensure(T *&items, int32_t &capacity, int32_t count, int32_t needed, T *inlineItems) {
    if (needed <= capacity) return true;
    if (items == inlineItems) {
        int32_t fresh = 0, used = 0;
        T *heap = nullptr;
        if (!CxListEnsureCapacity(reinterpret_cast<void **>(&heap), &fresh, &used, needed * 2,
                                  sizeof(T)))
            return false;
        std::memcpy(static_cast<void *>(heap), inlineItems, sizeof(T) * static_cast<size_t>(count));
        items = heap;
        capacity = fresh;
        return true;
    }
    int32_t c = count;
    return CxListEnsureCapacity(reinterpret_cast<void **>(&items), &capacity, &c, needed,
                                sizeof(T)) != 0;
}

bool isDigit19(char c) { return c >= '1' && c <= '9'; }

// A number that starts with 1-9; -1 when it is too large.
int32_t readNumber(const char *&p) {
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > kMaxNumber) value = kMaxNumber + 1;
    }
    return value > kMaxNumber ? -1 : static_cast<int32_t>(value);
}

// The argument type of a conversion with a length modifier.
uint8_t typeFor(char conv, int32_t length) {
    const auto column = [length](uint8_t none, uint8_t h, uint8_t hh, uint8_t l, uint8_t ll,
                                 uint8_t j, uint8_t t, uint8_t z, uint8_t L) -> uint8_t {
        switch (length) {
            case CX_PL_H:
                return h;
            case CX_PL_HH:
                return hh;
            case CX_PL_L:
                return l;
            case CX_PL_LL:
            case CX_PL_I64:
            case CX_PL_Q:
                return ll;
            case CX_PL_J:
                return j;
            case CX_PL_T:
                return t;
            case CX_PL_Z:
                return z;
            case CX_PL_LD:
                return L;
            default:
                return none;
        }
    };
    switch (conv) {
        case 'd':
            return column(CX_PA_INT, CX_PA_SHORT, CX_PA_SCHAR, CX_PA_LONG, CX_PA_LLONG,
                          CX_PA_INTMAX, CX_PA_PTRDIFF, CX_PA_SSIZE, CX_PA_INT);
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return column(CX_PA_UINT, CX_PA_USHORT, CX_PA_UCHAR, CX_PA_ULONG, CX_PA_ULLONG,
                          CX_PA_UINTMAX, CX_PA_PTRDIFF, CX_PA_SIZE, CX_PA_UINT);
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            return length == CX_PL_LD ? CX_PA_LDOUBLE : CX_PA_DOUBLE;
        case 'c':
            return length == CX_PL_L ? CX_PA_WCHAR : CX_PA_INT;
        case 'C':
            return CX_PA_WCHAR;
        case 's':
            return length == CX_PL_L ? CX_PA_WSTRING : CX_PA_STRING;
        case 'S':
            return CX_PA_WSTRING;
        case 'p':
            return CX_PA_POINTER;
        case 'n':
            return length == CX_PL_H                           ? CX_PA_NPTR_SHORT
                   : length == CX_PL_HH                        ? CX_PA_STRING
                   : length == CX_PL_L || length == CX_PL_Q    ? CX_PA_NPTR_LONG
                   : length == CX_PL_LL || length == CX_PL_I64 ? CX_PA_NPTR_LLONG
                                                               : CX_PA_NPTR;
        default:
            return CX_PA_NONE;
    }
}

bool typeArg(CxPrintfArgList *al, int32_t index, uint8_t type) {
    if (index < 0 || index >= kMaxPosition) return false;
    if (!ensure(al->entries, al->capacity, al->count, index + 1, al->inlineEntries)) return false;
    for (int32_t i = al->count; i <= index; ++i)
        al->entries[i] = CxPrintfArg{};
    if (index >= al->count) al->count = index + 1;
    al->entries[index].type = type;
    return true;
}

bool addItem(CxPrintfFormatList *fl, const CxPrintfItem &item) {
    if (!ensure(fl->items, fl->capacity, fl->count, fl->count + 1, fl->inlineItems)) return false;
    fl->items[fl->count++] = item;
    return true;
}

// "*" or "*N$": the argument giving a width or precision.
bool readStarArg(const char *&p, CxPrintfFormatList *fl, int32_t &arg) {
    const char *q = p;
    if (isDigit19(*q)) {
        const int32_t n = readNumber(q);
        if (*q == '$') {
            if (n < 1 || n > kMaxPosition) return false;
            arg = n - 1;
            fl->positional = 1;
            p = q + 1;
            return true;
        }
    }
    arg = fl->nextArg++;
    return true;
}

// Plain text up to the next "%", or "%%" as one "%": one text item.
bool parseText(const char *&p, CxPrintfFormatList *fl) {
    CxPrintfItem item{};
    item.kind = 1;
    if (*p == '%') {
        item.textStart = item.textEnd = p + 1;
        p += 2;
    } else {
        item.textStart = p;
        p = strchrnul(p, '%');  // the library's word-at-a-time search: long texts are common
        item.textEnd = p - 1;
    }
    return addItem(fl, item);
}

// "N$" after the "%": the argument's position (1 up), or 0 when there is none.
bool parsePosition(const char *&p, CxPrintfFormatList *fl, int32_t &position) {
    position = 0;
    const char *q = p;
    if (!isDigit19(*q)) return true;
    const int32_t n = readNumber(q);
    if (*q != '$') return true;  // a width, read again later
    if (n < 1 || n > kMaxPosition) return false;
    position = n;
    fl->positional = 1;
    p = q + 1;
    return true;
}

uint32_t parseFlags(const char *&p) {
    uint32_t flags = 0;
    for (;; ++p) {
        switch (*p) {
            case '-':
                flags |= CX_PF_MINUS;
                break;
            case '0':
                flags |= CX_PF_ZERO;
                break;
            case '+':
                flags |= CX_PF_PLUS;
                break;
            case ' ':
                flags |= CX_PF_BLANK;
                break;
            case '#':
                flags |= CX_PF_ALT;
                break;
            case '\'':
                flags |= CX_PF_GROUP;
                break;
            default:
                return flags;
        }
    }
}

// A width or precision: digits, or "*" with its argument. A "0" is no
// number and stays for the conversion character.
bool parseNumberOrStar(const char *&p, CxPrintfFormatList *fl, CxPrintfArgList *al, int32_t &number,
                       int32_t &arg) {
    if (*p == '*') {
        ++p;
        return readStarArg(p, fl, arg) && typeArg(al, arg, CX_PA_INT);
    }
    if (isDigit19(*p)) {
        number = readNumber(p);
        return number >= 0;
    }
    return true;
}

int32_t parseLength(const char *&p) {
    const auto take = [&p](size_t n, int32_t code) {
        p += n;
        return code;
    };
    switch (*p) {
        case 'h':
            return p[1] == 'h' ? take(2, CX_PL_HH) : take(1, CX_PL_H);
        case 'l':
            return p[1] == 'l' ? take(2, CX_PL_LL) : take(1, CX_PL_L);
        case 'L':
            return take(1, CX_PL_LD);
        case 'j':
            return take(1, CX_PL_J);
        case 'q':
            return take(1, CX_PL_Q);
        case 't':
            return take(1, CX_PL_T);
        case 'z':
        case 'Z':
            return take(1, CX_PL_Z);
        case 'I':  // "I" alone is no modifier
            return p[1] == '6' && p[2] == '4' ? take(3, CX_PL_I64) : CX_PL_NONE;
        default:
            return CX_PL_NONE;
    }
}

// One conversion, from its "%": position, flags, width, precision, length
// modifier and conversion character, in that order.
bool parseConversion(const char *&p, CxPrintfFormatList *fl, CxPrintfArgList *al) {
    CxPrintfItem item{};
    item.argIndex = item.widthArg = item.width = item.precArg = item.precision = -1;
    item.convChar = '?';
    ++p;
    int32_t position = 0;
    if (!parsePosition(p, fl, position)) return false;
    item.flags = parseFlags(p);
    if (!parseNumberOrStar(p, fl, al, item.width, item.widthArg)) return false;
    if (*p == '.') {
        ++p;
        if (!parseNumberOrStar(p, fl, al, item.precision, item.precArg)) return false;
    }
    item.lengthCode = parseLength(p);
    char conv = *p;
    if (conv == 'i') conv = 'd';
    const uint8_t type = conv != '\0' ? typeFor(conv, item.lengthCode) : uint8_t{CX_PA_NONE};
    if (type == CX_PA_NONE) return false;
    ++p;
    item.convChar = conv;
    item.argType = type;
    item.argIndex = position > 0 ? position - 1 : fl->nextArg++;
    return typeArg(al, item.argIndex, type) && addItem(fl, item);
}

// --- emitting ---

struct Out {
    CxStringBuff *buffer;
    bool ok = true;

    void bytes(const char *b, size_t n) {
        if (!ok || n == 0) return;
        if (!cxStringBuffHasCapacity(buffer, n)) {
            ok = false;
            return;
        }
        std::memcpy(buffer->data + buffer->length, b, n);
        buffer->length += static_cast<uint32_t>(n);
        buffer->data[buffer->length] = '\0';
    }
    void repeat(char c, size_t n) {
        if (!ok || n == 0) return;
        if (!cxStringBuffHasCapacity(buffer, n)) {
            ok = false;
            return;
        }
        std::memset(buffer->data + buffer->length, c, n);
        buffer->length += static_cast<uint32_t>(n);
        buffer->data[buffer->length] = '\0';
    }
    void insertRepeat(uint32_t at, char c, size_t n) {
        if (!ok || n == 0) return;
        if (!cxStringBuffHasCapacity(buffer, n)) {
            ok = false;
            return;
        }
        std::memmove(buffer->data + at + n, buffer->data + at, buffer->length - at + 1);
        std::memset(buffer->data + at, c, n);
        buffer->length += static_cast<uint32_t>(n);
    }
    uint32_t length() const { return buffer->length; }
};

// Pads what was written since `start` to `width`: blanks after it ("-"),
// zeros after its `prefix` bytes ("0"), else blanks before it.
void pad(Out &out, uint32_t start, int32_t width, uint32_t flags, size_t prefix,
         bool zerosAllowed) {
    const int64_t written = out.length() - start;
    if (width <= written) return;
    const size_t n = static_cast<size_t>(width - written);
    if (flags & CX_PF_MINUS)
        out.repeat(' ', n);
    else if ((flags & CX_PF_ZERO) && zerosAllowed)
        out.insertRepeat(start + static_cast<uint32_t>(prefix), '0', n);
    else
        out.insertRepeat(start, ' ', n);
}

struct Locale {
    bool loaded = false;
    const char *point = ".";
    const char *separator = "";
    const char *grouping = "";
    void load() {
        if (loaded) return;
        const lconv *lc = std::localeconv();
        if (lc != nullptr) {
            if (lc->decimal_point != nullptr && *lc->decimal_point != '\0')
                point = lc->decimal_point;
            if (lc->thousands_sep != nullptr) separator = lc->thousands_sep;
            if (lc->grouping != nullptr) grouping = lc->grouping;
        }
        loaded = true;
    }
};

// Writes digits (most significant first), with the locale's separator after
// every full group counted from the right.
void groupedDigits(Out &out, const char *digits, size_t n, Locale &locale) {
    locale.load();
    const unsigned char first = static_cast<unsigned char>(locale.grouping[0]);
    if (*locale.separator == '\0' || first == 0 || first == CHAR_MAX ||
        static_cast<signed char>(first) < 0) {
        out.bytes(digits, n);
        return;
    }
    // The digits before each separator, from the right: the last group size
    // repeats; CHAR_MAX or -1 ends grouping (the rest is one group).
    std::string groups;  // sizes of the groups from the right, as bytes
    size_t left = n;
    const char *g = locale.grouping;
    unsigned char size = first;
    while (size != 0 && size != CHAR_MAX && static_cast<signed char>(size) > 0 && left > size) {
        groups += static_cast<char>(size);
        left -= size;
        if (g[1] != '\0') size = static_cast<unsigned char>(*++g);
    }
    const size_t sepLength = std::strlen(locale.separator);
    out.bytes(digits, left);
    for (size_t i = groups.size(); i-- > 0;) {
        const auto length = static_cast<unsigned char>(groups[i]);
        out.bytes(locale.separator, sepLength);
        out.bytes(digits + left, length);
        left += length;
    }
}

bool isSignedType(uint8_t t) {
    return t == CX_PA_INT || t == CX_PA_SHORT || t == CX_PA_LONG || t == CX_PA_LLONG ||
           t == CX_PA_INTMAX || t == CX_PA_SCHAR || t == CX_PA_SSIZE || t == CX_PA_PTRDIFF;
}
bool isUnsignedType(uint8_t t) {
    return t == CX_PA_UINT || t == CX_PA_USHORT || t == CX_PA_ULONG || t == CX_PA_ULLONG ||
           t == CX_PA_UINTMAX || t == CX_PA_UCHAR || t == CX_PA_SIZE || t == CX_PA_PTRDIFF;
}

int64_t narrowSigned(int64_t v, uint8_t t) {
    switch (t) {
        case CX_PA_INT:
            return static_cast<int32_t>(v);
        case CX_PA_SHORT:
            return static_cast<int16_t>(v);
        case CX_PA_SCHAR:
            return static_cast<int8_t>(v);
        default:
            return v;
    }
}

uint64_t narrowUnsigned(int64_t v, uint8_t t) {
    switch (t) {
        case CX_PA_UINT:
            return static_cast<uint32_t>(v);
        case CX_PA_USHORT:
            return static_cast<uint16_t>(v);
        case CX_PA_UCHAR:
            return static_cast<uint8_t>(v);
        default:
            return static_cast<uint64_t>(v);
    }
}

bool emitInteger(Out &out, const CxPrintfItem &it, const CxPrintfArg &arg, int32_t width,
                 int32_t precision, Locale &locale) {
    const char conv = it.convChar;
    uint64_t magnitude = 0;
    bool negative = false;
    if (conv == 'p') {
        if (arg.type != CX_PA_POINTER) return false;
        magnitude = reinterpret_cast<uintptr_t>(arg.value.p);
    } else if (conv == 'd') {
        if (!isSignedType(arg.type)) return false;
        const int64_t v = narrowSigned(arg.value.i, arg.type);
        negative = v < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    } else {
        if (!isUnsignedType(arg.type)) return false;
        magnitude = narrowUnsigned(arg.value.i, arg.type);
    }
    uint32_t flags = it.flags;
    if (precision >= 0) flags &= ~CX_PF_ZERO;
    if (precision == 0 && magnitude == 0) return true;  // nothing at all, not even padding
    const int32_t minDigits = precision < 0 ? 1 : precision;
    const unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X' || conv == 'p') ? 16 : 10;
    const char *alphabet = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];
    size_t n = 0;
    for (uint64_t m = magnitude; m != 0; m /= base)
        digits[sizeof digits - 1 - n++] = alphabet[m % base];
    const char *first = digits + sizeof digits - n;

    char prefix[2];
    size_t prefixLength = 0;
    if (conv == 'd') {
        if (negative)
            prefix[prefixLength++] = '-';
        else if (flags & CX_PF_PLUS)
            prefix[prefixLength++] = '+';
        else if (flags & CX_PF_BLANK)
            prefix[prefixLength++] = ' ';
    }
    int64_t zeros = minDigits > static_cast<int32_t>(n) ? minDigits - static_cast<int64_t>(n) : 0;
    if ((flags & CX_PF_ALT) && n > 0) {
        if (conv == 'o' && zeros == 0) zeros = 1;
        if (conv == 'x' || conv == 'X') {
            prefix[0] = '0';
            prefix[1] = conv;
            prefixLength = 2;
        }
    }
    const uint32_t start = out.length();
    out.bytes(prefix, prefixLength);
    out.repeat('0', static_cast<size_t>(zeros));
    if ((flags & CX_PF_GROUP) && (conv == 'd' || conv == 'u'))
        groupedDigits(out, first, n, locale);
    else
        out.bytes(first, n);
    pad(out, start, width, flags, prefixLength, true);
    return out.ok;
}

// Significant digits of a positive finite value, correctly rounded, with
// the position of the decimal point; zero gives zeros and position 0.
void significantDigits(long double value, int n, char *digits, int &decpt) {
    if (value == 0) {
        std::memset(digits, '0', static_cast<size_t>(n));
        decpt = 0;
        return;
    }
    char text[128];
    const double d = static_cast<double>(value);
    char *end;
    if (static_cast<long double>(d) == value) {
        end = std::to_chars(text, text + sizeof text, d, std::chars_format::scientific, n - 1).ptr;
    } else {
        end = text + std::snprintf(text, sizeof text, "%.*Le", n - 1, value);
    }
    *end = '\0';
    size_t k = 0;
    for (const char *c = text; *c != 'e' && *c != '\0'; ++c)
        if (*c >= '0' && *c <= '9') digits[k++] = *c;
    const char *e = std::strchr(text, 'e');
    decpt = (e != nullptr ? std::atoi(e + 1) : 0) + 1;
}

void exponentText(Out &out, char letter, int exponent) {
    char text[8];
    size_t k = 0;
    text[k++] = letter;
    text[k++] = exponent < 0 ? '-' : '+';
    const int e = exponent < 0 ? -exponent : exponent;
    if (e >= 1000) text[k++] = static_cast<char>('0' + e / 1000 % 10);
    if (e >= 100) text[k++] = static_cast<char>('0' + e / 100 % 10);
    text[k++] = static_cast<char>('0' + e / 10 % 10);
    text[k++] = static_cast<char>('0' + e % 10);
    out.bytes(text, k);
}

// Rounds a digit string half up at `keep` digits; true when the carry ran
// out of the first digit (the caller then puts a "1" in front).
bool roundHalfUp(char *digits, size_t keep, char dropped) {
    if (dropped < '5') return false;
    for (size_t i = keep; i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    return true;
}

// What the floating forms share: the output, the locale's point, the "#"
// flag and whether the integer digits are grouped.
struct FloatContext {
    Out &out;
    Locale &locale;
    bool alt;
    bool group;

    void point() const { out.bytes(locale.point, std::strlen(locale.point)); }
    void integerDigits(const char *digits, size_t n) const {
        if (group)
            groupedDigits(out, digits, n, locale);
        else
            out.bytes(digits, n);
    }
};

// "d.ddde+XX" from the digits in d (at least fractionDigits + 1 of them,
// padded with zeros); `trim` drops trailing fraction zeros ("g" without "#").
void exponentForm(const FloatContext &c, const char *d, int exponent, int fractionDigits,
                  char letter, bool trim) {
    const int available = std::min(fractionDigits, kMaxDigits - 1);
    int shown = available;
    if (trim)
        while (shown > 0 && d[shown] == '0')
            --shown;
    c.out.bytes(d, 1);
    if ((trim ? shown > 0 : fractionDigits > 0) || c.alt) c.point();
    c.out.bytes(d + 1, static_cast<size_t>(shown));
    if (!trim && fractionDigits > available)
        c.out.repeat('0', static_cast<size_t>(fractionDigits - available));
    exponentText(c.out, letter, exponent);
}

// "e", "E": P + 1 significant digits (34 at most), then zeros.
void emitExponent(const FloatContext &c, long double value, int32_t P, char letter) {
    char d[kMaxDigits + 2];
    int decpt = 0;
    significantDigits(value, P > 32 ? kMaxDigits : P + 1, d, decpt);
    exponentForm(c, d, value == 0 ? 0 : decpt - 1, P, letter, false);
}

// "f" for a double below 1e34 when the decision is clear: P + 1 correctly
// rounded fraction digits, at most 34 of them significant, whose last one is
// not 5 round half up to the same P digits as the 34-digit expansion does. A
// last digit of 5 (a possible tie), more than 34 significant digits and
// everything else take the general path. False: not handled.
bool fixedFastPath(const FloatContext &c, long double value, int32_t P) {
    const double d = static_cast<double>(value);
    if (static_cast<long double>(d) != value || d >= 1e34 || P > 60) return false;
    char text[128];
    char *const begin = text + 1;  // room for a carry digit
    char *end = std::to_chars(begin, text + sizeof text, d, std::chars_format::fixed, P + 1).ptr;
    if (end[-1] == '5') return false;
    // The general path knows 34 significant digits and zeros after them;
    // where the exact digits run longer, its result is the one that counts.
    const char *point = std::find(begin, end, '.');
    const char *significant =
        std::find_if(begin, end, [](char ch) { return ch >= '1' && ch <= '9'; });
    if (end - significant - (significant < point ? 1 : 0) > kMaxDigits) return false;
    const bool up = end[-1] > '5';
    --end;  // drop the extra digit
    char *first = begin;
    if (up) {
        char *q = end;
        for (;;) {
            if (q == first) {
                *--first = '1';
                break;
            }
            --q;
            if (*q == '.') continue;
            if (*q != '9') {
                ++*q;
                break;
            }
            *q = '0';
        }
    }
    c.integerDigits(first, static_cast<size_t>(point - first));
    if (P > 0 || c.alt) c.point();
    if (P > 0) c.out.bytes(point + 1, static_cast<size_t>(end - point - 1));
    return true;
}

// "f", "F": the 34 significant digits placed around the point: the integer
// digits, then P fraction digits and one more, rounded half up on it.
void emitFixed(const FloatContext &c, long double value, int32_t P) {
    if (fixedFastPath(c, value, P)) return;
    char d[kMaxDigits + 2];
    int decpt = 0;
    significantDigits(value, kMaxDigits, d, decpt);
    const size_t intLength = decpt > 0 ? static_cast<size_t>(decpt) : 1;
    const size_t total = intLength + static_cast<size_t>(P) + 1;
    char stack[512];
    std::string heap;
    char *num = stack + 1;  // room for a carry digit in front
    if (total + 1 > sizeof stack) {
        heap.assign(total + 1, '0');
        num = heap.data() + 1;
    }
    const auto digitAt = [&](int64_t index) {
        return index >= 0 && index < kMaxDigits ? d[index] : '0';
    };
    for (size_t i = 0; i < intLength; ++i)
        num[i] = decpt > 0 ? digitAt(static_cast<int64_t>(i)) : '0';
    for (int64_t j = 0; j <= P; ++j)
        num[intLength + static_cast<size_t>(j)] = digitAt(decpt + j);
    size_t intDigits = intLength;
    if (roundHalfUp(num, intLength + static_cast<size_t>(P),
                    num[intLength + static_cast<size_t>(P)])) {
        --num;
        num[0] = '1';
        ++intDigits;
    }
    c.integerDigits(num, intDigits);
    if (P > 0 || c.alt) c.point();
    c.out.bytes(num + intDigits, static_cast<size_t>(P));
}

// "g", "G": P significant digits, in the exponent form for very large or
// small values, else around the point; without "#" trailing fraction zeros
// go.
void emitGeneral(const FloatContext &c, long double value, int32_t P, char letter) {
    if (P == 0) P = 1;
    const int n = P > 33 ? kMaxDigits : P;
    char d[kMaxDigits + 2];
    int decpt = 0;
    significantDigits(value, n, d, decpt);
    for (int i = n; i < kMaxDigits + 1; ++i)
        d[i] = '0';
    if (value != 0 && (decpt > P || decpt <= -4)) {
        exponentForm(c, d, decpt - 1, P - 1, letter, !c.alt);
        return;
    }
    const auto digitAt = [&](int64_t i) { return i < n ? d[i] : '0'; };
    int64_t fractionDigits = decpt <= 0 ? P : P - decpt;
    const int64_t leading = decpt <= 0 ? -decpt : 0;
    if (!c.alt) {  // drop trailing zeros of the fraction
        const int64_t firstFrac = decpt <= 0 ? 0 : decpt;
        int64_t lastSignificant = P - 1;
        while (lastSignificant >= firstFrac && digitAt(lastSignificant) == '0')
            --lastSignificant;
        fractionDigits = lastSignificant - firstFrac + 1;
    }
    if (decpt <= 0) {
        c.out.bytes("0", 1);
    } else {
        const int64_t k = std::min<int64_t>(decpt, n);
        c.integerDigits(d, static_cast<size_t>(k));
        c.out.repeat('0', static_cast<size_t>(decpt - k));
    }
    if (fractionDigits <= 0 && !c.alt) return;
    c.point();
    if (fractionDigits <= 0) return;
    c.out.repeat('0', static_cast<size_t>(leading));
    const int64_t from = decpt <= 0 ? 0 : decpt;
    for (int64_t i = 0; i < fractionDigits; ++i) {
        const char ch = digitAt(from + i);
        c.out.bytes(&ch, 1);
    }
}

bool emitDouble(Out &out, const CxPrintfItem &it, const CxPrintfArg &arg, int32_t width,
                int32_t precision, Locale &locale) {
    if (arg.type != CX_PA_DOUBLE && arg.type != CX_PA_LDOUBLE) return false;
    const char conv = it.convChar;
    const bool upper = conv == 'E' || conv == 'F' || conv == 'G' || conv == 'A';
    long double value = arg.value.f;
    const uint32_t flags = it.flags;
    char sign = 0;
    if (std::signbit(value)) {  // a NaN too: C prints "-nan" for it
        sign = '-';
        value = -value;
    } else if (flags & CX_PF_PLUS) {
        sign = '+';
    } else if (flags & CX_PF_BLANK) {
        sign = ' ';
    }
    const uint32_t start = out.length();
    if (sign != 0) out.bytes(&sign, 1);
    const size_t signLength = sign != 0 ? 1 : 0;
    if (std::isinf(value) || std::isnan(value)) {
        out.bytes(std::isnan(value) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf"), 3);
        pad(out, start, width, flags, signLength, false);
        return out.ok;
    }
    locale.load();
    const FloatContext c{out, locale, (flags & CX_PF_ALT) != 0,
                         (flags & CX_PF_GROUP) != 0 && conv != 'F'};
    const int32_t P = precision < 0 ? 6 : precision;
    switch (conv) {
        case 'e':
        case 'E':
            emitExponent(c, value, P, conv);
            break;
        case 'f':
        case 'F':
            emitFixed(c, value, P);
            break;
        case 'g':
        case 'G':
            emitGeneral(c, value, P, conv == 'g' ? 'e' : 'E');
            break;
        default:  // "a", "A": no digits
            break;
    }
    pad(out, start, width, flags, signLength, true);
    return out.ok;
}

bool emitBytes(Out &out, const CxPrintfItem &it, const CxPrintfArg &arg, int32_t width,
               int32_t precision) {
    const uint32_t start = out.length();
    if (it.convChar == 'c') {
        if (!isSignedType(arg.type) && !isUnsignedType(arg.type)) return false;
        const char c = static_cast<char>(arg.value.i);
        out.bytes(&c, 1);
    } else {
        if (arg.type != CX_PA_STRING) return false;
        const char *text =
            arg.value.p != nullptr ? static_cast<const char *>(arg.value.p) : "(null)";
        out.bytes(text, precision >= 0 ? strnlen(text, static_cast<size_t>(precision))
                                       : std::strlen(text));
    }
    pad(out, start, width, it.flags & CX_PF_MINUS, 0, false);
    return out.ok;
}

bool emitWide(Out &out, uc_ch_t *cs, const CxPrintfItem &it, const CxPrintfArg &arg, int32_t width,
              int32_t precision) {
    uint16_t single[2] = {0, 0};
    const uint16_t *text;
    if (arg.type == CX_PA_WCHAR) {
        single[0] = static_cast<uint16_t>(arg.value.i);
        text = single;
    } else if (arg.type == CX_PA_WSTRING && arg.value.p != nullptr) {
        text = static_cast<const uint16_t *>(arg.value.p);
    } else if (arg.type == CX_PA_WSTRING) {  // as "%s" does
        CxPrintfArg bytes = arg;
        bytes.type = CX_PA_STRING;
        return emitBytes(out, it, bytes, width, precision);
    } else {
        return false;
    }
    const uint32_t start = out.length();
    if (!CxStringBuffAppendWStrN(cs, out.buffer, text, precision)) return false;
    pad(out, start, width, it.flags & CX_PF_MINUS, 0, false);
    return out.ok;
}

int32_t intArg(const CxPrintfArgList *al, int32_t index, bool &ok) {
    if (index < 0 || index >= al->count || al->entries[index].type != CX_PA_INT) {
        ok = false;
        return 0;
    }
    return static_cast<int32_t>(al->entries[index].value.i);
}

}  // namespace

extern "C" {

void CxPrintfInitLists(CxPrintfFormatList *fl, CxPrintfArgList *al) {
    if (fl != nullptr) {
        fl->nextArg = 0;
        fl->positional = 0;
        fl->count = 0;
        fl->capacity = CX_PRINTF_INLINE;
        fl->items = fl->inlineItems;
    }
    if (al != nullptr) {
        al->count = 0;
        al->capacity = CX_PRINTF_INLINE;
        al->entries = al->inlineEntries;
    }
}

void CxPrintfFreeLists(CxPrintfFormatList *fl, CxPrintfArgList *al) {
    if (fl != nullptr && fl->items != fl->inlineItems) OxsMemoryFree(fl->items);
    if (al != nullptr && al->entries != al->inlineEntries) OxsMemoryFree(al->entries);
    CxPrintfInitLists(fl, al);
}

int CxPrintfProcessFmts(const char *format, CxPrintfFormatList *fl, CxPrintfArgList *al) {
    if (fl == nullptr || al == nullptr || format == nullptr) return 0;
    for (const char *p = format; *p != '\0';) {
        const bool ok = *p != '%' || p[1] == '%' ? parseText(p, fl) : parseConversion(p, fl, al);
        if (!ok) return 1;
    }
    return 0;
}

void cxPrintfCollectArgs(va_list *args, CxPrintfArgList *al, int *error) {
    if (args == nullptr || al == nullptr) return;
    for (int32_t i = 0; i < al->count; ++i) {
        CxPrintfArg &a = al->entries[i];
        switch (a.type) {
            case CX_PA_INT:
            case CX_PA_SHORT:
            case CX_PA_SCHAR:
                a.value.i = va_arg(*args, int);
                break;
            case CX_PA_UINT:
            case CX_PA_USHORT:
            case CX_PA_UCHAR:
            case CX_PA_WCHAR:
                a.value.i = va_arg(*args, unsigned int);
                break;
            case CX_PA_LONG:
            case CX_PA_SSIZE:
            case CX_PA_PTRDIFF:
                a.value.i = va_arg(*args, long);
                break;
            case CX_PA_ULONG:
            case CX_PA_SIZE:
                a.value.i = static_cast<int64_t>(va_arg(*args, unsigned long));
                break;
            case CX_PA_LLONG:
            case CX_PA_INTMAX:
                a.value.i = va_arg(*args, long long);
                break;
            case CX_PA_ULLONG:
            case CX_PA_UINTMAX:
                a.value.i = static_cast<int64_t>(va_arg(*args, unsigned long long));
                break;
            case CX_PA_DOUBLE:
                a.value.f = va_arg(*args, double);
                break;
            case CX_PA_LDOUBLE:
                a.value.f = va_arg(*args, long double);
                break;
            case CX_PA_POINTER:
            case CX_PA_NPTR:
            case CX_PA_NPTR_SHORT:
            case CX_PA_NPTR_LONG:
            case CX_PA_NPTR_LLONG:
            case CX_PA_STRING:
            case CX_PA_WSTRING:
                a.value.p = va_arg(*args, const void *);
                break;
            default:  // an index no conversion typed: nothing further can be read
                if (error != nullptr) *error = 1;
                return;
        }
    }
}

int cxPrintfEmitAll(uc_ch_t *cs, CxStringBuff *buffer, const CxPrintfFormatList *fl,
                    const CxPrintfArgList *al, int *error) {
    if (buffer == nullptr || fl == nullptr || al == nullptr) return 0;
    if (!cxStringBuffHasCapacity(buffer, 0)) {
        if (error != nullptr) *error = 1;
        return 0;
    }
    Out out{buffer};
    Locale locale;
    const uint32_t start = buffer->length;
    for (int32_t i = 0; i < fl->count; ++i) {
        const CxPrintfItem &it = fl->items[i];
        if (it.kind == 1) {
            out.bytes(it.textStart, static_cast<size_t>(it.textEnd - it.textStart + 1));
            if (!out.ok) break;
            continue;
        }
        bool ok = true;
        int32_t width = it.width, precision = it.precision;
        uint32_t flagsOverride = 0;
        if (it.widthArg >= 0) {
            width = intArg(al, it.widthArg, ok);
            if (width < 0) {  // a negative width: left alignment with its magnitude
                flagsOverride = CX_PF_MINUS;
                width = width == INT32_MIN ? -1 : -width;
            }
            if (width > kMaxNumber) ok = false;
        }
        if (it.precArg >= 0) {
            precision = intArg(al, it.precArg, ok);
            if (precision < 0) precision = -1;  // a negative precision: none
            if (precision > kMaxNumber) ok = false;
        }
        if (ok && (it.argIndex < 0 || it.argIndex >= al->count)) ok = false;
        if (ok) {
            CxPrintfItem item = it;
            item.flags |= flagsOverride;
            const CxPrintfArg &arg = al->entries[it.argIndex];
            switch (it.convChar) {
                case 'd':
                case 'u':
                case 'o':
                case 'x':
                case 'X':
                case 'p':
                    ok = emitInteger(out, item, arg, width, precision, locale);
                    break;
                case 'c':
                case 's':
                    ok = it.lengthCode == CX_PL_L ? emitWide(out, cs, item, arg, width, precision)
                                                  : emitBytes(out, item, arg, width, precision);
                    break;
                case 'C':
                case 'S':
                    ok = emitWide(out, cs, item, arg, width, precision);
                    break;
                case 'e':
                case 'E':
                case 'f':
                case 'F':
                case 'g':
                case 'G':
                case 'a':
                case 'A':
                    ok = emitDouble(out, item, arg, width, precision, locale);
                    break;
                default:
                    ok = false;
            }
        }
        if (!ok || !out.ok) {
            if (error != nullptr) *error = 1;
            break;
        }
    }
    return static_cast<int>(buffer->length - start);
}

int CxStringBuffPrintfV(uc_ch_t *cs, CxStringBuff *buffer, const char *format, va_list args) {
    if (buffer == nullptr || format == nullptr) return 0;
    CxPrintfFormatList fl;
    CxPrintfArgList al;
    CxPrintfInitLists(&fl, &al);
    int error = CxPrintfProcessFmts(format, &fl, &al);
    int written = 0;
    if (error == 0) {
        va_list copy;
        va_copy(copy, args);
        cxPrintfCollectArgs(&copy, &al, &error);
        va_end(copy);
        if (error == 0) written = cxPrintfEmitAll(cs, buffer, &fl, &al, &error);
    }
    CxPrintfFreeLists(&fl, &al);
    return written;
}

int CxStringBuffPrintf(uc_ch_t *cs, CxStringBuff *buffer, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int written = CxStringBuffPrintfV(cs, buffer, format, args);
    va_end(args);
    return written;
}

}  // extern "C"
