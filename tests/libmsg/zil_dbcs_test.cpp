// The double- and multi-byte codesets: lead bytes, cut input, bytes that
// never continue a character, the EBCDIC double-byte shift states, GB18030
// codes and ranges, EUC-JP lengths, and tables that lie. (Input fed in
// pieces is covered for every codeset in zil_convert_test.)

#include "zil_test_env.h"

namespace {

using ziltest::Codeset;
using ziltest::step;
using ziltest::Way;
using ziltest::ZilTest;

class ZilDbcsTest : public ZilTest {};

TEST_F(ZilDbcsTest, LeadBytesAndCutInput) {
    Codeset sjis("shift-jis");
    ASSERT_NE(sjis, nullptr);
    EXPECT_EQ(sjis->kind, ZIL_KIND_ASCII_DBCS);
    char out[32];
    // 0x93 0xFA is U+65E5; 0x5C stays a backslash; 0xB1 is a half-width katakana.
    EXPECT_EQ(std::string(out, zil_to_utf8(sjis, "\x93\xFA\x5C\xB1", 4, out, sizeof out, nullptr)),
              "\xE6\x97\xA5\\\xEF\xBD\xB1");
    const ziltest::Step cut = step(sjis, Way::kToUtf8, "a\x93");
    EXPECT_EQ(cut.result, ZIL_CONV_INCOMPLETE);
    EXPECT_EQ(cut.inputLeft, 1u) << "the lead byte stays";
    const ziltest::Step full = step(sjis, Way::kFromUtf8, "\xE6\x97\xA5", 1);
    EXPECT_EQ(full.result, ZIL_CONV_OUTPUT_FULL) << "two-byte results need two bytes of room";
    EXPECT_EQ(full.inputLeft, 3u);

    zil_ucs2_t wc = 0;
    EXPECT_EQ(zil_mbtowc(sjis, &wc, "\x93\xFA", 2), 2);
    EXPECT_EQ(wc, 0x65E5);
    EXPECT_EQ(zil_mbtowc(sjis, &wc, "\x93", 1), -1);
    char bytes[4];
    EXPECT_EQ(zil_wctomb(sjis, bytes, 0x65E5), 2);
    EXPECT_EQ(std::string(bytes, 2), "\x93\xFA");
    // clang-format off
    const char *text = "a\x93\xFA" "b";
    // clang-format on
    const int roles[] = {0, 1, 2, 0};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(zil_mbsbtype(sjis, text, static_cast<size_t>(i)), roles[i]) << i;
}

// A byte below 0x40 never continues a character: after a lead byte it
// makes that one "?" and is read afresh, so no line end is swallowed.
TEST_F(ZilDbcsTest, NoByteBelow0x40IsATrail) {
    for (const char *name : {"SJIS", "GBK", "BIG5", "EUCKR", "EUCJP"}) {
        Codeset h(name);
        ASSERT_NE(h, nullptr) << name;
        int leads = 0;
        for (int b = 0x80; b < 0x100; ++b) {
            const uint8_t info = h->table[1248 + b];
            const bool lead = h->kind == ZIL_KIND_ASCII_DBCS ? info == 2 : info >= 2 && info < 255;
            if (!lead) continue;
            ++leads;
            for (const char low : {'\n', '\0', '0', '?'}) {
                h->subst_count = 0;
                const std::string code{static_cast<char>(b), low, 'x'};
                EXPECT_EQ(ziltest::utf8From(h, code), std::string("?") + low + "x")
                    << name << " " << b << " " << static_cast<int>(low);
                EXPECT_EQ(h->subst_count, 1);
            }
        }
        EXPECT_GT(leads, 1) << name;
    }
    Codeset eucjp("EUCJP");
    EXPECT_EQ(ziltest::utf8From(eucjp, "\x8F\xB0\n"), "?\n") << "inside a three-byte code";
    EXPECT_EQ(ziltest::utf8From(eucjp, "\x8F\n"), "?\n") << "not incomplete";
}

TEST_F(ZilDbcsTest, RefusesTablesWhoseRowsLieOutside) {
    const std::string good =
        vrxtest::readFile(std::string(ZIL_TEST_BUILD_DIR) + "/codeset/SJIS").value();
    vrxtest::TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    std::string badLead = good;
    badLead[736 + 2 * 0x93] = '\xFF';  // the row of lead byte 0x93
    badLead[736 + 2 * 0x93 + 1] = '\xFF';
    std::string badFrom = good;
    badFrom[224 + 2 * 0x65] = '\xF0';
    badFrom[224 + 2 * 0x65 + 1] = '\xFF';
    vrxtest::writeFile(tmp / "codeset/BADLEAD", badLead);
    vrxtest::writeFile(tmp / "codeset/BADFROM", badFrom);
    vrxtest::writeFile(tmp / "codeset/GOOD", good);
    EXPECT_EQ(zil_cs_new("BADLEAD"), nullptr);
    EXPECT_EQ(zil_cs_new("BADFROM"), nullptr);
    EXPECT_NE(Codeset("GOOD"), nullptr);
}

class ZilEbcdicDbcsTest : public ZilTest {};

TEST_F(ZilEbcdicDbcsTest, ShiftStates) {
    Codeset h("IBM939");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->kind, ZIL_KIND_EBCDIC_DBCS);
    char out[32];
    // 0x45 0x41 is U+4E00; after the shift-in, 0xC1 is "A".
    // clang-format off
    EXPECT_EQ(std::string(out, zil_to_utf8(h, "\x0E\x45\x41\x0F\xC1", 5, out, sizeof out, nullptr)), "\xE4\xB8\x80" "A");
    // Into the codeset: the pair opens a run, "A" closes it, the flush closes a run left open.
    EXPECT_EQ(std::string(out, zil_from_utf8(h, "\xE4\xB8\x80" "A\xE4\xB8\x80", 7, out, sizeof out, nullptr)),
              "\x0E\x45\x41\x0F\xC1\x0E\x45\x41\x0F");
    // clang-format on
    // Restartable: "A" right after a double-byte character writes 0x0F then 0xC1.
    h->from_state = 0;
    const std::string run = step(h, Way::kFromUtf8, "\xE4\xB8\x80").bytes;
    EXPECT_EQ(run + step(h, Way::kFromUtf8, "A").bytes, "\x0E\x45\x41\x0F\xC1");
    // An unmappable character inside a run is a single-byte 0x6F after a shift-in.
    h->subst_count = 0;
    EXPECT_EQ(std::string(out, zil_from_utf8(h, "\xE4\xB8\x80\xF0\x9F\x98\x80", 7, out, sizeof out,
                                             nullptr)),
              "\x0E\x45\x41\x0F\x6F");
    EXPECT_EQ(h->subst_count, 1);
    // The shift byte and the character fit together or not at all.
    h->from_state = 0;
    const ziltest::Step full = step(h, Way::kFromUtf8, "\xE4\xB8\x80", 2);
    EXPECT_EQ(full.result, ZIL_CONV_OUTPUT_FULL);
    EXPECT_EQ(full.inputLeft, 3u);
    EXPECT_EQ(h->from_state, 0);
    // A pair cut by the end of the input waits.
    h->to_state = 0;
    const ziltest::Step cut = step(h, Way::kToUtf8, "\x0E\x45");
    EXPECT_EQ(cut.result, ZIL_CONV_INCOMPLETE);
    EXPECT_EQ(cut.inputLeft, 1u) << "the shift-out is consumed, the lead byte stays";
    EXPECT_EQ(zil_mbtowc(h, nullptr, nullptr, 0), 1) << "stateful";
    // Inside a run, 0xFF is a control byte of its own, like the bytes below 0x40.
    EXPECT_EQ(ziltest::utf8From(h, "\x0E\x45\x41\xFF\x45\x41\x15\x0F"),
              "\xE4\xB8\x80\xC2\x9F\xE4\xB8\x80\n");
}

TEST_F(ZilEbcdicDbcsTest, ShiftBytesBelongToNoCharacter) {
    Codeset h("IBM939");
    const char *text = "\xC1\x0E\x45\x41\x0F\xC2";
    const int roles[] = {0, -1, 1, 2, -1, 0};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(zil_mbsbtype(h, text, i), roles[i]) << i;
    EXPECT_EQ(zil_ismbs1st(h, text, text + 2), 1);
    EXPECT_EQ(zil_ismbs1st(h, text, text + 1), 0) << "the shift-out";
    // A call that finds no character leaves the shift state alone.
    zil_ucs2_t wc = 0;
    h->to_state = 0;
    EXPECT_EQ(zil_mbtowc(h, &wc, "\x0E", 1), -1);
    EXPECT_EQ(h->to_state, 0);
    EXPECT_EQ(zil_mbtowc(h, &wc, "\x0E\x45\x41", 3), 3);
    EXPECT_EQ(wc, 0x4E00);
}

// The string operations end every result in single-byte mode, however little
// room there is: a double-byte run cut by the end of the output is closed.
TEST_F(ZilEbcdicDbcsTest, StringResultsAreAlwaysClosed) {
    Codeset h("IBM939");
    // clang-format off
    const std::string utf8 = "a\xE4\xB8\x80\xE6\x97\xA5" "b\xE4\xB8\x80";
    // clang-format on
    const std::vector<zil_ucs2_t> ucs2 = {'a', 0x4E00, 0x65E5, 'b', 0x4E00, 0};
    const std::string full = ziltest::localFrom(h, utf8);
    for (int size = 1; size <= static_cast<int>(full.size()) + 1; ++size) {
        char out[32];
        for (int way = 0; way < 2; ++way) {
            const int n = way == 0 ? zil_from_utf8(h, utf8.data(), static_cast<int>(utf8.size()),
                                                   out, size, nullptr)
                                   : zil_from_ucs2(h, ucs2.data(), 5, out, size, nullptr);
            const std::string result(out, static_cast<size_t>(n));
            ASSERT_LE(n, size);
            const size_t lastShift = result.find_last_of("\x0E\x0F");
            EXPECT_TRUE(lastShift == std::string::npos || result[lastShift] == '\x0F')
                << "size " << size << " way " << way;
            const std::string back = ziltest::utf8From(h, result);
            EXPECT_EQ(utf8.compare(0, back.size(), back), 0) << "a prefix, size " << size;
        }
    }
    char out[32];
    EXPECT_EQ(zil_from_utf8(h, utf8.data(), static_cast<int>(utf8.size()), out,
                            static_cast<int>(full.size()), nullptr),
              static_cast<int>(full.size()))
        << "exactly enough room needs no second try";
}

class ZilGb18030Test : public ZilTest {};

TEST_F(ZilGb18030Test, CodesAndIndexes) {
    Codeset h("gb18030");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->kind, ZIL_KIND_GB18030);
    EXPECT_EQ(ziltest::utf8From(h, "\x81\x40"), "\xE4\xB8\x82") << "index 1";
    EXPECT_EQ(ziltest::utf8From(h, "\x90\x30\x81\x30"), "\xF0\x90\x80\x80");
    EXPECT_EQ(ziltest::localFrom(h, "\xF0\x90\x80\x80"), "\x90\x30\x81\x30");
    EXPECT_EQ(ziltest::localFrom(h, "\xF4\x8F\xBF\xBF"), "\xE3\x32\x9A\x35");
    zil_ucs2_t units[4];
    EXPECT_EQ(zil_to_ucs2(h, "\x90\x30\x81\x30", 4, units, 4, nullptr), 2);
    EXPECT_EQ(units[0], 0xD800);
    EXPECT_EQ(units[1], 0xDC00);
    // U+FFFF is a real GB18030 character, not a substitution.
    h->subst_count = 0;
    EXPECT_EQ(ziltest::utf8From(h, "\x84\x31\xA4\x39"), "\xEF\xBF\xBF");
    EXPECT_EQ(h->subst_count, 0);
    // Cut input waits; a lead byte that cannot start a code keeps the byte after it.
    const ziltest::Step cut = step(h, Way::kToUtf8, "\x81\x30");
    EXPECT_EQ(cut.result, ZIL_CONV_INCOMPLETE);
    EXPECT_EQ(cut.inputLeft, 2u);
    h->subst_count = 0;
    EXPECT_EQ(ziltest::utf8From(h, "\x81\n\x81\x30\x20x"), "?\n?0 x");
    EXPECT_EQ(h->subst_count, 2);
    // clang-format off
    EXPECT_EQ(ziltest::utf8From(h, "\x80\xFF" "a"), "??a");
    // clang-format on
}

TEST(ZilGb18030TableTest, RefusesListsThatRunOutside) {
    const std::string good =
        vrxtest::readFile(std::string(ZIL_TEST_BUILD_DIR) + "/codeset/GB18030").value();
    vrxtest::TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    const size_t sub = static_cast<uint8_t>(good[38]) | static_cast<uint8_t>(good[39]) << 8;
    std::string badHeader = good;
    badHeader[38] = '\xF0';
    badHeader[39] = '\xFF';
    std::string badPage = good;  // the first to-Unicode page entry points far away
    const size_t toPages = sub + 20;
    const uint32_t first = static_cast<uint8_t>(good[toPages]) |
                           static_cast<uint8_t>(good[toPages + 1]) << 8 |
                           static_cast<uint8_t>(good[toPages + 2]) << 16;
    badPage[sub + 32 + 2 * first] = '\xFF';
    badPage[sub + 32 + 2 * first + 1] = '\x7F';
    vrxtest::writeFile(tmp / "codeset/BADHEADER", badHeader);
    vrxtest::writeFile(tmp / "codeset/BADPAGE", badPage);
    EXPECT_EQ(zil_cs_new("BADHEADER"), nullptr);
    EXPECT_EQ(zil_cs_new("BADPAGE"), nullptr);
    unsetenv("ZILDIR");
}

class ZilMbcsTest : public ZilTest {};

TEST_F(ZilMbcsTest, EucJpLengthsAndPrefixes) {
    Codeset h("euc-jp");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->kind, ZIL_KIND_ASCII_MBCS);
    // Two bytes (JIS X 0208), 0x8E with a half-width katakana, 0x8F with JIS X 0212.
    const struct {
        std::string euc, utf8;
    } cases[] = {{"\xC6\xFC", "\xE6\x97\xA5"},
                 {"\x8E\xB1", "\xEF\xBD\xB1"},
                 {"\x8F\xB0\xA1", "\xE4\xB8\x82"}};
    for (const auto &c : cases) {
        EXPECT_EQ(ziltest::utf8From(h, c.euc), c.utf8);
        EXPECT_EQ(ziltest::localFrom(h, c.utf8), c.euc);
    }
    const ziltest::Step cut = step(h, Way::kToUtf8, "\x8F\xB0");
    EXPECT_EQ(cut.result, ZIL_CONV_INCOMPLETE);
    EXPECT_EQ(cut.inputLeft, 2u);
    const ziltest::Step full = step(h, Way::kFromUtf8, "\xE4\xB8\x82", 2);
    EXPECT_EQ(full.result, ZIL_CONV_OUTPUT_FULL) << "three bytes of output or nothing";
    EXPECT_EQ(full.inputLeft, 3u);
    // An unmapped trail still consumes the whole character; a byte below
    // 0x40 is no trail and is read afresh.
    h->subst_count = 0;
    EXPECT_EQ(ziltest::utf8From(h, "\xC6\x41x"), "?x");
    EXPECT_EQ(ziltest::utf8From(h, "\xC6\x21x"), "?!x");
    EXPECT_EQ(h->subst_count, 2);
    zil_ucs2_t wc = 0;
    EXPECT_EQ(zil_mbtowc(h, &wc, "\x8F\xB0\xA1", 3), 3);
    EXPECT_EQ(wc, 0x4E02);
    EXPECT_EQ(zil_mbsbtype(h, "a\x8F\xB0\xA1", 3), 2);

    // A node tree that points outside the file is refused.
    std::string bad = vrxtest::readFile(std::string(ZIL_TEST_BUILD_DIR) + "/codeset/EUCJP").value();
    bad[736 + 2 * 0x8F] = '\xFF';
    bad[736 + 2 * 0x8F + 1] = '\xFE';
    vrxtest::TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    vrxtest::writeFile(tmp / "codeset/BADTREE", bad);
    EXPECT_EQ(zil_cs_new("BADTREE"), nullptr);
}

// Every entry of a three-byte code's middle node is a node in the table: a
// middle byte without characters walks to an empty node, never to a number
// the format does not define.
TEST_F(ZilMbcsTest, MiddleNodesHoldOnlyNodes) {
    Codeset h("EUCJP");
    const auto u16 = [&h](size_t at) {
        return static_cast<uint16_t>(h->table[at] | h->table[at + 1] << 8);
    };
    const size_t area =
        h->table[0] | h->table[1] << 8 | h->table[2] << 16 | static_cast<size_t>(h->table[3]) << 24;
    int middles = 0;
    for (int b = 0; b < 256; ++b) {
        if (h->table[1248 + b] != 3) continue;
        const size_t node = area + 4 * static_cast<size_t>(u16(736 + 2 * b));
        const uint16_t count = u16(node);
        for (uint16_t i = 0; i < count; ++i) {
            const uint16_t next = u16(node + 4 + 2 * i);
            ASSERT_NE(next, 0xFFFF) << b << " " << i;
            ASSERT_LE(area + 4 * static_cast<size_t>(next) + 4, h->table_size);
            ++middles;
        }
    }
    EXPECT_GT(middles, 50);
}

// Found by fuzzing: a middle byte without a node of its own must not be
// followed into the "no node" number.
TEST_F(ZilMbcsTest, ThreeByteCodeWithoutAMiddleNode) {
    Codeset h("EUCJP");
    char out[16];
    h->subst_count = 0;
    // clang-format off
    EXPECT_EQ(std::string(out, zil_to_utf8(h, "\x8F\xAC\xA1" "a", 4, out, sizeof out, nullptr)), "?a");
    // clang-format on
    EXPECT_EQ(h->subst_count, 1);
}

}  // namespace
