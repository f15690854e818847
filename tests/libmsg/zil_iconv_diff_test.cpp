// Every shipped table against glibc's iconv, the source it was made from:
// every byte into UTF-8 and UCS-2, every BMP character back from both, with
// the substitutions counted. The one intended difference: EBCDIC byte 0x15
// (NL) reads as line feed.
#include <iconv.h>

#include "zil_test_env.h"

namespace {

using namespace ziltest;

// One codeset through iconv, both ways, opened for the life of the object.
class Iconv {
public:
    explicit Iconv(const std::string &name)
        : toU_(iconv_open("UTF-32LE", name.c_str())), fromU_(iconv_open(name.c_str(), "UTF-32LE")) {
        EXPECT_NE(toU_, reinterpret_cast<iconv_t>(-1)) << name;
    }
    ~Iconv() {
        iconv_close(toU_);
        iconv_close(fromU_);
    }
    // A byte sequence into one character: its value, -1 when it has no
    // mapping, -2 when the sequence is incomplete.
    long decode(const std::string &bytes) const {
        iconv(toU_, nullptr, nullptr, nullptr, nullptr);
        char in[8], out[16];
        std::memcpy(in, bytes.data(), bytes.size());
        char *ip = in, *op = out;
        size_t inLeft = bytes.size(), outLeft = sizeof out;
        const size_t rc = iconv(toU_, &ip, &inLeft, &op, &outLeft);
        if (rc == static_cast<size_t>(-1)) return errno == EINVAL ? -2 : -1;
        if (inLeft != 0 || sizeof out - outLeft != 4) return -1;
        uint32_t v;
        std::memcpy(&v, out, 4);
        return v;
    }
    // One character out of Unicode, with the shift state closed; nothing
    // when it has no mapping.
    std::optional<std::string> encode(uint32_t v) const {
        iconv(fromU_, nullptr, nullptr, nullptr, nullptr);
        char in[4], out[16];
        std::memcpy(in, &v, 4);
        char *ip = in, *op = out;
        size_t inLeft = 4, outLeft = sizeof out;
        if (iconv(fromU_, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1) ||
            iconv(fromU_, nullptr, nullptr, &op, &outLeft) == static_cast<size_t>(-1))
            return std::nullopt;
        return std::string(out, sizeof out - outLeft);
    }

private:
    iconv_t toU_, fromU_;
};

// A character in UTF-8, as iconv writes it.
std::string utf8Of(uint32_t v) {
    static const Iconv utf8("UTF-8");
    return utf8.encode(v).value_or("<none>");
}

class ZilIconvDiffTest : public ZilTest {};

// What a code iconv does not map reads as: one "?" for the bytes before
// the first byte below 0x40 after the lead (all of them when there is none),
// then that byte and the rest afresh.
std::string unmappedAs(const std::string &code) {
    for (size_t i = 1; i < code.size(); ++i)
        if (static_cast<uint8_t>(code[i]) < 0x40) return "?" + code.substr(i);
    return "?";
}

// Every BMP character from `first` out of Unicode, against iconv
// (`subst` and a count for what iconv cannot convert); with `andBack`, each
// code found back into Unicode too.
void checkBackFromUnicode(uc_ch_t *h, const Iconv &conv, uint32_t first, const char *subst,
                          bool andBack = false) {
    int unmapped = 0;
    h->subst_count = 0;
    const auto back = [&](uint32_t v) {
        const std::optional<std::string> encoded = conv.encode(v);
        if (!encoded) ++unmapped;
        const std::string want = encoded.value_or(subst);
        // GB18030: the table's results below linear index 65535 are BMP values, so the few
        // two-byte codes glibc maps to supplementary characters are left out.
        if (v > 0xFFFF && want.size() == 2) return;
        const std::string u = utf8Of(v);
        ASSERT_EQ(ziltest::localFrom(h, u), want) << std::hex << v;
        if (andBack && encoded) {
            ASSERT_EQ(ziltest::utf8From(h, want), u) << std::hex << v;
        }
    };
    for (uint32_t v = first; v <= 0xFFFF; ++v)
        if ((v < 0xD800 || v > 0xDFFF) && (v < 0xFFFF || andBack)) back(v);
    if (andBack) {  // and a sample of the supplementary planes
        for (uint32_t v = 0x10000; v < 0x110000; v += 97)
            back(v);
        back(0x10FFFF);
    }
    EXPECT_EQ(static_cast<int>(h->subst_count), unmapped & 0xFFFF);
}

// Double-byte tables, character by character: every single byte and every
// lead-trail pair iconv maps, and every BMP character back.
void checkDoubleByte(uc_ch_t *h, const Iconv &conv) {
    int mapped = 0;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const long v = conv.decode(one);
        if (v >= 0 && v < 0xFFFF) {
            ASSERT_EQ(ziltest::utf8From(h, one), utf8Of(v)) << b;
            ++mapped;
        } else if (v == -2) {
            for (int t = 0; t < 256; ++t) {
                const std::string two{static_cast<char>(b), static_cast<char>(t)};
                const long w = conv.decode(two);
                if (w == -1) {  // one "?"; a byte below 0x40 is no trail and is read afresh
                    ASSERT_EQ(ziltest::utf8From(h, two), unmappedAs(two)) << b << " " << t;
                    continue;
                }
                if (w < 0 || w >= 0xFFFF) continue;
                ASSERT_EQ(ziltest::utf8From(h, two), utf8Of(w)) << b << " " << t;
                ++mapped;
            }
        }
    }
    EXPECT_GT(mapped, 5000);
    checkBackFromUnicode(h, conv, 0x80, "?");
}

// EBCDIC double-byte tables: every single byte, every pair after a
// shift-out, and every BMP character back (iconv flushed, so a double-byte
// result ends with its shift-in like ours). 0x15 reads as line feed.
void checkEbcdicDoubleByte(uc_ch_t *h, const Iconv &conv) {
    int mapped = 0;
    for (int b = 0; b < 256; ++b) {
        if (b == 0x0E || b == 0x0F) continue;
        const std::string one(1, static_cast<char>(b));
        long v = conv.decode(one);
        if (b == 0x15) v = 0x0A;
        if (v < 0 || v >= 0xFFFF) continue;
        ASSERT_EQ(ziltest::utf8From(h, one), utf8Of(v)) << b;
        ++mapped;
    }
    for (int lead = 0x40; lead < 0xFF; ++lead)
        for (int trail = 0x40; trail < 0xFF; ++trail) {
            const std::string code{'\x0E', static_cast<char>(lead), static_cast<char>(trail)};
            const long w = conv.decode(code);
            if (w < 0 || w >= 0xFFFF) continue;
            ASSERT_EQ(ziltest::utf8From(h, code), utf8Of(w)) << lead << " " << trail;
            ++mapped;
        }
    EXPECT_GT(mapped, 5000);
    checkBackFromUnicode(h, conv, 1, "\x6F");  // '?' in EBCDIC
}

// GB18030: every two-byte code, the four-byte codes of the BMP and a sample
// of the supplementary planes, both ways; the whole BMP out of Unicode.
// (The few two-byte codes glibc maps to supplementary characters,
// GB18030-2005's replacements of private-use code points, are left out.)
void checkGb18030(uc_ch_t *h, const Iconv &conv) {
    const auto check = [&](const std::string &code) {
        const long v = conv.decode(code);
        if (v < 0 || v > 0xFFFF) return;
        ASSERT_EQ(ziltest::utf8From(h, code), utf8Of(static_cast<uint32_t>(v)))
            << std::hex << static_cast<unsigned>(static_cast<uint8_t>(code[0]));
    };
    for (int b1 = 0x81; b1 <= 0xFE; ++b1)
        for (int b2 = 0x40; b2 <= 0xFE; ++b2)
            check(std::string{static_cast<char>(b1), static_cast<char>(b2)});
    for (int offset = 0; offset < 39420; ++offset) {
        int rest = offset;
        const char b4 = static_cast<char>(rest % 10 + 0x30);
        rest /= 10;
        const char b3 = static_cast<char>(rest % 126 + 0x81);
        rest /= 126;
        check(std::string{static_cast<char>(rest / 10 + 0x81), static_cast<char>(rest % 10 + 0x30),
                          b3, b4});
    }
    checkBackFromUnicode(h, conv, 1, "?", true);
}

// Multi-byte tables: every code of one to three bytes iconv maps, and
// every BMP character back.
void checkMultiByte(uc_ch_t *h, const Iconv &conv) {
    int mapped = 0;
    const auto check = [&](const std::string &code) {
        const long v = conv.decode(code);
        if (v == -1) {
            // Shorter than its first byte's length, a code is incomplete to us.
            const uint8_t length = h->table[1248 + static_cast<uint8_t>(code[0])];
            std::string want = unmappedAs(code);
            if (want == "?" && length != 255 && code.size() < length) want = "";
            EXPECT_EQ(ziltest::utf8From(h, code), want)
                << std::hex << static_cast<unsigned>(static_cast<uint8_t>(code[0]));
            return false;
        }
        if (v < 0 || v >= 0xFFFF) return v == -2;
        EXPECT_EQ(ziltest::utf8From(h, code), utf8Of(static_cast<uint32_t>(v)))
            << std::hex << static_cast<unsigned>(static_cast<uint8_t>(code[0]));
        ++mapped;
        return false;
    };
    for (int b = 0; b < 256; ++b) {
        if (!check(std::string(1, static_cast<char>(b)))) continue;
        for (int t = 0; t < 256; ++t) {
            if (!check(std::string{static_cast<char>(b), static_cast<char>(t)})) continue;
            for (int u = 0; u < 256; ++u)
                check(
                    std::string{static_cast<char>(b), static_cast<char>(t), static_cast<char>(u)});
        }
    }
    EXPECT_GT(mapped, 10000);
    checkBackFromUnicode(h, conv, 0x80, "?");
}

TEST_F(ZilIconvDiffTest, EveryShippedTableMatchesIconv) {
    const auto shipped = ziltest::shippedCodesets();
    ASSERT_FALSE(shipped.empty());
    for (const Shipped &s : shipped) {
        SCOPED_TRACE(s.file);
        ziltest::Codeset h(s.file);
        ASSERT_NE(h, nullptr);
        const Iconv conv(s.iconvName);
        if (s.family == ZIL_KIND_ASCII_DBCS || s.family == ZIL_KIND_EBCDIC_DBCS ||
            s.family == ZIL_KIND_GB18030 || s.family == ZIL_KIND_ASCII_MBCS) {
            if (s.family == ZIL_KIND_ASCII_DBCS) checkDoubleByte(h, conv);
            if (s.family == ZIL_KIND_EBCDIC_DBCS) checkEbcdicDoubleByte(h, conv);
            if (s.family == ZIL_KIND_ASCII_MBCS) checkMultiByte(h, conv);
            if (s.family == ZIL_KIND_GB18030) checkGb18030(h, conv);
            continue;
        }
        const bool ebcdic = s.family == ZIL_KIND_EBCDIC_SBCS;
        const char subst = ebcdic ? '\x6F' : '?';

        // Every byte, into UTF-8 and UCS-2.
        std::string allBytes;
        std::string expectedUtf8;
        std::vector<zil_ucs2_t> expectedUcs2;
        int expectedSubst = 0;
        for (int b = 0; b < 256; ++b) {
            allBytes += static_cast<char>(b);
            long v = conv.decode(std::string(1, static_cast<char>(b)));
            if (ebcdic && b == 0x15) v = 0x0A;
            if (v < 0) {
                ++expectedSubst;
                v = '?';
            }
            expectedUtf8 += utf8Of(static_cast<uint32_t>(v));
            expectedUcs2.push_back(static_cast<zil_ucs2_t>(v));
        }
        std::string utf8(1024, '\0');
        h->subst_count = 0;
        utf8.resize(
            static_cast<size_t>(zil_to_utf8(h, allBytes.data(), 256, utf8.data(), 1024, nullptr)));
        EXPECT_EQ(utf8, expectedUtf8);
        EXPECT_EQ(h->subst_count, expectedSubst);
        std::vector<zil_ucs2_t> ucs2(256);
        EXPECT_EQ(zil_to_ucs2(h, allBytes.data(), 256, ucs2.data(), 256, nullptr), 256);
        EXPECT_EQ(ucs2, expectedUcs2);

        // Every BMP character but the surrogates, from UTF-8 and from UCS-2.
        std::string allUtf8;
        std::vector<zil_ucs2_t> allUnits;
        std::string expectedBytes;
        expectedSubst = 0;
        for (uint32_t v = 0; v < 0x10000; ++v) {
            if (v >= 0xD800 && v <= 0xDFFF) continue;
            allUtf8 += utf8Of(v);
            allUnits.push_back(static_cast<zil_ucs2_t>(v));
            const std::optional<std::string> b = v == 0xFFFF ? std::nullopt : conv.encode(v);
            if (!b || b->size() != 1) {
                ++expectedSubst;
                expectedBytes += subst;
            } else {
                expectedBytes += *b;
            }
        }
        std::string bytes(allUnits.size(), '\0');
        h->subst_count = 0;
        EXPECT_EQ(zil_from_utf8(h, allUtf8.data(), static_cast<int>(allUtf8.size()), bytes.data(),
                                static_cast<int>(bytes.size()), nullptr),
                  static_cast<int>(bytes.size()));
        EXPECT_EQ(bytes == expectedBytes, true);
        EXPECT_EQ(static_cast<int>(h->subst_count), expectedSubst & 0xFFFF);
        h->subst_count = 0;
        std::string fromUnits(allUnits.size(), '\0');
        zil_from_ucs2(h, allUnits.data(), static_cast<int>(allUnits.size()), fromUnits.data(),
                      static_cast<int>(fromUnits.size()), nullptr);
        EXPECT_EQ(fromUnits == expectedBytes, true);
        EXPECT_EQ(static_cast<int>(h->subst_count), expectedSubst & 0xFFFF);
    }
}

}  // namespace
