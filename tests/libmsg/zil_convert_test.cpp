// Conversions of the codeset library: UTF-8 decoding, whole characters,
// substitution counts, UCS-2 surrogates, the string and allocating
// operations, and input fed in pieces.

#include "zil_test_env.h"

namespace {

using ziltest::ZilTest;
using U16 = std::vector<zil_ucs2_t>;

class ZilConvertTest : public ZilTest {
protected:
    void SetUp() override {
        ZilTest::SetUp();
        latin1_ = zil_cs_new("ISO88591");
        ebcdic_ = zil_cs_new("IBM1047");
        ASSERT_NE(latin1_, nullptr);
        ASSERT_NE(ebcdic_, nullptr);
    }
    void TearDown() override {
        zil_cs_free(latin1_);
        zil_cs_free(ebcdic_);
        ZilTest::TearDown();
    }

    using Out = ziltest::Step;
    static Out fromUtf8(uc_ch_t *h, const std::string &in, size_t room = 64) {
        return ziltest::step(h, ziltest::Way::kFromUtf8, in, room);
    }
    static Out toUtf8(uc_ch_t *h, const std::string &in, size_t room = 64) {
        return ziltest::step(h, ziltest::Way::kToUtf8, in, room);
    }

    uc_ch_t *latin1_ = nullptr;
    uc_ch_t *ebcdic_ = nullptr;
};

TEST_F(ZilConvertTest, Utf8DecodingIntoSingleByteCodesets) {
    const struct {
        const char *what;
        std::string input;
        std::string latin1;
        int substitutions;
        int result;
        // clang-format off
    } cases[] = {
        {"ASCII", "plain", "plain", 0, 0},
        {"two-byte", "caf\xC3\xA9", "caf\xE9", 0, 0},
        {"unmappable", "\xC4\x80", "?", 1, 0},
        {"the substitution byte's own character", "\x1A", "\x1A", 0, 0},
        {"stray continuation", "\x80", "?", 1, 0},
        {"lead without its continuation keeps what follows", "\xC3" "A", "?A", 1, 0},
        {"overlong two-byte", "\xC0\x80", "??", 2, 0},
        {"overlong two-byte before more text", "\xC0\x80" "ab", "??ab", 2, 0},
        {"overlong three-byte", "\xE0\x80\x80", "???", 3, 0},
        {"four-byte character is one substitution", "a\xF0\x9F\x98\x80z", "a?z", 1, 0},
        {"encoded surrogate", "\xED\xA0\x80", "???", 3, 0},
        {"a second byte out of its range", "\xE1\xC0\x80z", "???z", 3, 0},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????", 4, 0},
        {"cut after the lead", "ab\xC3", "ab", 0, 2},
        {"cut inside a three-byte", "ab\xE2\x82", "ab", 0, 2},
        {"cut but already invalid", "ab\xE2" "A", "ab?A", 1, 0},
    };
    // clang-format on
    for (const auto &c : cases) {
        latin1_->subst_count = 0;
        const Out out = fromUtf8(latin1_, c.input);
        EXPECT_EQ(out.bytes, c.latin1) << c.what;
        EXPECT_EQ(latin1_->subst_count, c.substitutions) << c.what;
        EXPECT_EQ(out.result, c.result) << c.what;
        if (c.result == ZIL_CONV_INCOMPLETE) {
            EXPECT_EQ(out.inputLeft, c.input.size() - c.latin1.size()) << c.what;
        }
    }
}

TEST_F(ZilConvertTest, WholeCharactersOnly) {
    // U+00E9 needs two bytes: with one byte of room nothing is written.
    const Out full = toUtf8(latin1_, "\xE9", 1);
    EXPECT_EQ(full.result, ZIL_CONV_OUTPUT_FULL);
    EXPECT_EQ(full.bytes, "");
    EXPECT_EQ(full.inputLeft, 1u);
    const Out fits = toUtf8(latin1_, "a\xE9", 2);
    EXPECT_EQ(fits.bytes, "a");
    EXPECT_EQ(fits.inputLeft, 1u);
    // Input at its end with no room: done, not full.
    EXPECT_EQ(toUtf8(latin1_, "", 0).result, ZIL_CONV_DONE);
}

// Unmapped bytes are counted however much room the output has: with less
// than four bytes of room each byte goes through the careful tail of the
// single-byte conversion.
TEST_F(ZilConvertTest, SubstitutionsCountedWithLittleRoom) {
    ziltest::Codeset cp1252("CP1252");
    ASSERT_NE(cp1252, nullptr);
    for (int room = 1; room <= 8; ++room) {
        cp1252->subst_count = 0;
        char out[8];
        const int n = zil_to_utf8(cp1252, "\x81\x8D\x8F", 3, out, room, nullptr);
        EXPECT_EQ(std::string(out, static_cast<size_t>(n)), std::string("???").substr(0, room))
            << room;
        EXPECT_EQ(cp1252->subst_count, std::min(room, 3)) << room;
    }
}

TEST_F(ZilConvertTest, EbcdicSingleByte) {
    const struct {
        std::string ebcdic;
        std::string utf8;
    } roundTrips[] = {{"\xC1\x81\xF0", "Aa0"}, {"\x25", "\n"}, {"\x40", " "}, {"\x51", "\xC3\xA9"}};
    for (const auto &c : roundTrips) {
        EXPECT_EQ(toUtf8(ebcdic_, c.ebcdic).bytes, c.utf8);
        EXPECT_EQ(fromUtf8(ebcdic_, c.utf8).bytes, c.ebcdic);
    }
    EXPECT_EQ(toUtf8(ebcdic_, "\x15").bytes, "\n") << "NL reads as line feed";
    EXPECT_EQ(fromUtf8(ebcdic_, "\xC2\x85").bytes, "\x15") << "U+0085 still has its byte";
    ebcdic_->subst_count = 0;
    EXPECT_EQ(fromUtf8(ebcdic_, "\xC4\x80\x1A").bytes, "\x6F\x3F");
    EXPECT_EQ(ebcdic_->subst_count, 1) << "U+001A maps to the substitution byte legitimately";
}

TEST_F(ZilConvertTest, Ucs2AndSurrogates) {
    uc_ch_t *utf8 = zil_cs_new("UTF-8");
    U16 units(8);
    EXPECT_EQ(zil_to_ucs2(utf8, "\xF0\x90\x80\x80", 4, units.data(), 8, nullptr), 2);
    EXPECT_EQ(units[0], 0xD800);
    EXPECT_EQ(units[1], 0xDC00);
    char bytes[16];
    const zil_ucs2_t pair[] = {0xD800, 0xDC00};
    EXPECT_EQ(zil_from_ucs2(utf8, pair, 2, bytes, sizeof bytes, nullptr), 4);
    EXPECT_EQ(std::string(bytes, 4), "\xF0\x90\x80\x80");

    utf8_cs->subst_count = 0;
    const zil_ucs2_t broken[] = {0xD800, 'A', 0xDC00, 'B'};
    EXPECT_EQ(zil_from_ucs2(utf8, broken, 4, bytes, sizeof bytes, nullptr), 3);
    EXPECT_EQ(std::string(bytes, 3), "??B");
    EXPECT_EQ(utf8_cs->subst_count, 2);

    // A high surrogate at the end of the input waits for its partner.
    const zil_ucs2_t *p = pair;
    size_t inLen = 1, outLen = sizeof bytes;
    char *o = bytes;
    EXPECT_EQ(zil_from_ucs2_r(utf8, &p, &inLen, &o, &outLen), ZIL_CONV_INCOMPLETE);
    EXPECT_EQ(inLen, 1u);

    // The pair needs both units of room.
    const Out cut = ziltest::step(utf8, ziltest::Way::kToUcs2, "\xF0\x90\x80\x80", 2);
    EXPECT_EQ(cut.result, ZIL_CONV_OUTPUT_FULL);
    EXPECT_EQ(cut.inputLeft, 4u);

    // The byte copy: bytes are their own values, and only values to 0xFF fit.
    os_cs->subst_count = 0;
    const zil_ucs2_t wide[] = {'a', 0xE9, 0x100};
    EXPECT_EQ(zil_from_ucs2(os_cs, wide, 3, bytes, sizeof bytes, nullptr), 3);
    EXPECT_EQ(std::string(bytes, 3), "a\xE9?");
    EXPECT_EQ(os_cs->subst_count, 1);
    EXPECT_EQ(zil_to_ucs2(os_cs, "\xFF", 1, units.data(), 8, nullptr), 1);
    EXPECT_EQ(units[0], 0xFF);
}

TEST_F(ZilConvertTest, StringOperations) {
    char out[10];
    EXPECT_EQ(zil_to_utf8(latin1_, "abc", -1, out, 10, nullptr), 4);
    EXPECT_EQ(std::string(out, 4), std::string("abc\0", 4));
    EXPECT_EQ(zil_to_utf8(latin1_, "abc", -1, out, 0, nullptr), 0);
    // The terminator always fits; a character that does not is cut.
    EXPECT_EQ(zil_to_utf8(latin1_, "a\xE9", -1, out, 3, nullptr), 2);
    EXPECT_STREQ(out, "a");
    EXPECT_EQ(zil_to_utf8(latin1_, "a\xE9", 2, out, 10, nullptr), 3) << "no terminator";
    EXPECT_EQ(zil_from_utf8(latin1_, "\xC3\xA9t\xC3\xA9", -1, out, 10, nullptr), 4);
    EXPECT_STREQ(out, "\xE9t\xE9");

    zil_ucs2_t units[8];
    EXPECT_EQ(zil_to_ucs2(ebcdic_, "\xC1\xC2", -1, units, 8, nullptr), 3);
    EXPECT_EQ(units[0], 'A');
    EXPECT_EQ(units[2], 0);
    const zil_ucs2_t ab[] = {'A', 'B', 0};
    EXPECT_EQ(zil_from_ucs2(ebcdic_, ab, -1, out, 10, nullptr), 3);
    EXPECT_STREQ(out, "\xC1\xC2");

    // A null handle is the default codeset.
    zil_set_def_cs(latin1_);
    EXPECT_EQ(zil_to_utf8(nullptr, "\xE9", -1, out, 10, nullptr), 3);
    EXPECT_STREQ(out, "\xC3\xA9");
    zil_set_def_cs(nullptr);
}

TEST_F(ZilConvertTest, AllocatingOperations) {
    int length = -1;
    char *utf8 = zil_tou_alloc(latin1_, "\xE9\xE8", -1, &length);
    ASSERT_NE(utf8, nullptr);
    EXPECT_EQ(length, 5);
    EXPECT_STREQ(utf8, "\xC3\xA9\xC3\xA8");
    char *back = zil_fromu_alloc(latin1_, utf8, 4, &length);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(std::string(back, 2), "\xE9\xE8");
    zil_free(utf8);
    zil_free(back);
    char *empty = zil_tou_alloc(latin1_, nullptr, -1, &length);
    EXPECT_EQ(length, 1);
    zil_free(empty);
}

// Feeding input and output in random pieces gives the bytes of one call, in
// both directions, for every shipped codeset: characters cut at a piece's
// end, shift runs of the EBCDIC double-byte codeset split anywhere (closed
// by the final flush), substitutions counted once.
TEST_F(ZilConvertTest, ChunkedConversionMatchesOneShot) {
    std::mt19937 random(12345);
    const char *const pieces[] = {"a",
                                  "Z",
                                  " ",
                                  "\xC3\xA9" /* é */,
                                  "\xE2\x82\xAC" /* € */,
                                  "\xE4\xB8\x80" /* 一 */,
                                  "\xE6\x97\xA5" /* 日 */,
                                  "\xED\x95\x9C" /* 한 */,
                                  "\xF0\x90\x80\x80" /* U+10000 */};
    std::string utf8;
    for (int i = 0; i < 3000; ++i)
        utf8 += pieces[random() % std::size(pieces)];
    utf8 += "\xE6\x97\xA5";  // ends inside a double-byte run: the flush must close it
    std::vector<std::string> names = {"UTF8"};
    for (const ziltest::Shipped &shipped : ziltest::shippedCodesets())
        names.push_back(shipped.file);
    for (const std::string &nameText : names) {
        const char *name = nameText.c_str();
        ziltest::Codeset h(name);
        ASSERT_NE(h, nullptr) << name;
        std::string local(utf8.size() * 2, '\0');
        h->subst_count = 0;
        local.resize(static_cast<size_t>(zil_from_utf8(h, utf8.data(),
                                                       static_cast<int>(utf8.size()), local.data(),
                                                       static_cast<int>(local.size()), nullptr)));
        const int substitutions = h->subst_count;
        std::string back(local.size() * 4, '\0');
        back.resize(
            static_cast<size_t>(zil_to_utf8(h, local.data(), static_cast<int>(local.size()),
                                            back.data(), static_cast<int>(back.size()), nullptr)));
        for (int round = 0; round < 10; ++round) {
            h->from_state = 0;
            h->to_state = 0;
            h->subst_count = 0;
            std::string chunked =
                ziltest::convertInPieces(h, ziltest::Way::kFromUtf8, utf8, random, 7);
            chunked += ziltest::step(h, ziltest::Way::kFromUtf8, {}, 4).bytes;  // the flush
            EXPECT_EQ(chunked, local) << name << " round " << round;
            EXPECT_EQ(h->subst_count, substitutions) << name;
            EXPECT_EQ(ziltest::convertInPieces(h, ziltest::Way::kToUtf8, local, random, 5), back)
                << name << " round " << round;
        }
    }
}

// Text with many non-ASCII bytes is decoded a block at a time; the blocks
// must give what one character at a time gives, on any bytes: lead bytes
// without a trail, bytes below 0x40 after a lead, unmapped pairs, runs of
// lead bytes of either length. One call over the whole text against pieces
// too short for a block, into UCS-2 and into UTF-8, substitutions counted.
TEST_F(ZilConvertTest, BlocksOfMixedBytesDecodeAsCharactersDo) {
    std::mt19937 random(2027);
    std::string bytes;
    for (int i = 0; i < 20000; ++i) {
        const unsigned kind = random() % 100;
        bytes += static_cast<char>(kind < 25   ? 'a' + random() % 26
                                   : kind < 30 ? "\n\t 0123456789@"[random() % 14]
                                               : 0x80 + random() % 128);
    }
    for (const ziltest::Shipped &shipped : ziltest::shippedCodesets()) {
        SCOPED_TRACE(shipped.file);
        ziltest::Codeset h(shipped.file);
        ASSERT_NE(h, nullptr);
        for (const ziltest::Way way : {ziltest::Way::kToUcs2, ziltest::Way::kToUtf8}) {
            h->to_state = 0;
            h->subst_count = 0;
            const std::string whole = ziltest::step(h, way, bytes, bytes.size() * 4).bytes;
            const int substitutions = h->subst_count;
            h->to_state = 0;
            h->subst_count = 0;
            EXPECT_EQ(ziltest::convertInPieces(h, way, bytes, random, 7), whole);
            EXPECT_EQ(h->subst_count, substitutions);
        }
    }
}

}  // namespace
