// Library state and codeset handles: name normalisation, the table search
// path, aliases, damaged tables refused, and the environment read at start.
#include <malloc.h>

#include "zil_test_env.h"

namespace {

using namespace vrxtest;
using ziltest::ZilTest;

const std::string kTables = std::string(ZIL_TEST_BUILD_DIR) + "/codeset/";

std::string table(const std::string &name) { return readFile(kTables + name).value(); }

std::string nameOf(uc_ch_t *handle) { return handle != nullptr ? handle->name : "<null>"; }

class ZilStateTest : public ZilTest {};

TEST_F(ZilStateTest, NormalisesNames) {
    zil::setLanginfoSource([] { return "ANSI_X3.4-1968"; });
    const struct {
        const char *name;
        size_t size;
        const char *expected;
        // clang-format off
    } cases[] = {
        {"iso8859-1", 128, "ISO88591"}, {"NUV-1047", 128, "1047"}, {"utf-8", 128, "UTF8"}, {"dos", 128, "ANSIX341968"},
        {"WIN", 128, "ANSIX341968"}, {"OS", 128, "ANSIX341968"}, {"Os2", 128, "OS2"}, {"nuv", 128, ""},
        {"a b_c.d\xC3\xA9", 128, "ABCD"}, {"iso8859-1", 4, "ISO"}, {"", 128, ""},
    };
    // clang-format on
    for (const auto &c : cases) {
        char output[128];
        EXPECT_EQ(zil::normalizeName(c.name, output, c.size), 0) << c.name;
        EXPECT_STREQ(output, c.expected) << c.name;
    }
    char untouched[4] = "xyz";
    EXPECT_EQ(zil::normalizeName("abc", untouched, 0), 1);
    EXPECT_STREQ(untouched, "xyz");

    zil::setLanginfoSource([] { return ""; });
    char os[32];
    zil_os_cs_name(os, sizeof os);
    EXPECT_STREQ(os, "ISO88591") << "an empty platform answer means ISO 8859-1";
}

TEST_F(ZilStateTest, SearchesTheDirectoriesInOrder) {
    TempDir tmp;
    const std::string zildir = tmp / "zildir", bindir = tmp / "prod/bin", cwd = tmp / "cwd";
    writeFile(zildir + "/codeset/ZZTEST", table("ISO88591"));
    writeFile(zildir + "/ZZTEST", table("CP1252"));
    writeFile(tmp / "prod/generic/codeset/ZZTEST", table("IBM037"));
    writeFile(cwd + "/ZZTEST", table("IBM1047"));
    std::filesystem::create_directories(bindir);
    setenv("ZILDIR", zildir.c_str(), 1);
    setenv("BINDIR", bindir.c_str(), 1);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(cwd);

    const char *expected[] = {"ISO88591", "CP1252", "IBM037", "IBM1047"};
    const std::string removed[] = {zildir + "/codeset/ZZTEST", zildir + "/ZZTEST",
                                   tmp / "prod/generic/codeset/ZZTEST", cwd + "/ZZTEST"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(nameOf(ziltest::Codeset("zztest")), expected[i]) << "step " << i;
        std::filesystem::remove(removed[i]);
    }
    EXPECT_EQ(zil_cs_new("ZZTEST"), nullptr);
    std::filesystem::current_path(previous);
}

// Every alias the build ships opens its table, and so do the names users
// and glibc's locales (nl_langinfo(CODESET)) write, through normalisation.
TEST_F(ZilStateTest, ShippedAliasesAndWrittenNamesOpenTheirTables) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"ISO-8859-2", "ISO88592"},   {"iso8859-2", "ISO88592"},
        {"Latin2", "ISO88592"},       {"WINDOWS-1250", "CP1250"},
        {"IBM-1047", "IBM1047"},      {"ibm-1141", "IBM1141"},
        {"KOI8-R", "KOI8R"},          {"KOI8-U", "KOI8U"},
        {"CP1251", "CP1251"},         {"ISO-8859-5", "ISO88595"},
        {"ISO-8859-7", "ISO88597"},   {"ISO-8859-8", "ISO88598"},
        {"ISO-8859-9", "ISO88599"},   {"ISO-8859-13", "ISO885913"},
        {"ISO-8859-14", "ISO885914"}, {"ISO-8859-3", "ISO88593"},
        {"ISO-8859-6", "ISO88596"},   {"GB2312", "EUCCN"},
        {"EUC-CN", "EUCCN"},          {"UHC", "CP949"},
        {"IBM-850", "CP850"},         {"EUC-JP-MS", "EUCJPMS"},
        {"eucJP-ms", "EUCJPMS"},      {"EUC-JP", "EUCJP"},
    };
    for (const ziltest::Shipped &shipped : ziltest::shippedCodesets()) {
        cases.emplace_back(shipped.file, shipped.name);
        for (const std::string &alias : shipped.aliases)
            cases.emplace_back(alias, shipped.name);
    }
    for (const auto &[written, table] : cases) {
        EXPECT_EQ(nameOf(ziltest::Codeset(written)), table) << written;
    }
}

TEST_F(ZilStateTest, FollowsAliasFiles) {
    TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    const std::string dir = tmp / "codeset/";
    writeFile(dir + "ISO88591", table("ISO88591"));
    writeFile(dir + "ONESTEP", "ISO88591\n");
    writeFile(dir + "SPACED", " \tISO 8859 1\r\n");
    // Chains: A1 -> A2 -> ... -> ISO88591.
    for (int i = 1; i <= 5; ++i)
        writeFile(dir + "CHAIN" + std::to_string(i),
                  i == 5 ? std::string("ISO88591") : "CHAIN" + std::to_string(i + 1));
    writeFile(dir + "LOOP", "LOOP");
    writeFile(dir + "DANGLING", "NOSUCHTABLE");
    // Right magic, one byte short of a table: an alias naming the file
    // "ISO88591ucv" (blanks and control characters dropped).
    std::string shortFile = "ISO88591ucv";
    shortFile.resize(1759, ' ');
    writeFile(dir + "SHORT", shortFile);
    writeFile(dir + "ISO88591ucv", table("CP1252"));

    const struct {
        const char *name;
        const char *expected;
    } cases[] = {
        {"onestep", "ISO88591"}, {"spaced", "ISO88591"}, {"chain2", "ISO88591"},
        {"chain1", "<null>"},  // five alias steps, the table would be the sixth file
        {"loop", "<null>"},      {"dangling", "<null>"}, {"short", "CP1252"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(nameOf(ziltest::Codeset(c.name)), c.expected) << c.name;
    }
    // A path names its file directly, and aliases stay in its directory.
    EXPECT_EQ(nameOf(ziltest::Codeset(dir + "ONESTEP")), "ISO88591");
}

TEST_F(ZilStateTest, RefusesDamagedTables) {
    TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    const std::string good = table("ISO88591");
    std::string rowOutside = good;
    rowOutside[224] = '\xFF';  // row value 0x..FF: far beyond the file
    rowOutside[225] = '\x7F';
    std::string areaOutside = good;
    areaOutside[3] = '\x7F';
    std::string unterminated = good;
    for (int i = 16; i < 48; ++i)
        unterminated[i] = 'N';
    std::string truncated = good.substr(0, 1800);
    const struct {
        const char *file;
        const std::string &content;
    } cases[] = {{"ROWOUT", rowOutside},
                 {"AREAOUT", areaOutside},
                 {"NONUL", unterminated},
                 {"TRUNCATED", truncated}};
    for (const auto &c : cases) {
        writeFile(tmp / "codeset/" + c.file, c.content);
        EXPECT_EQ(zil_cs_new(c.file), nullptr) << c.file;
    }
    std::string unknownFamily = good;
    unknownFamily[48] = 77;
    writeFile(tmp / "codeset/FAMILY77", unknownFamily);
    ziltest::Codeset handle("FAMILY77");
    ASSERT_NE(handle, nullptr) << "unknown families convert byte for byte";
    EXPECT_EQ(handle->kind, 77);
}

// Bytes appended to a table (100 MB here, sparse) are never read into
// memory: the image holds what the table's layout reaches.
TEST_F(ZilStateTest, BytesAppendedToATableAreNotLoaded) {
    TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    const struct {
        const char *name, *roundTrip;  // of "A" and U+4E00
        // clang-format off
    } cases[] = {{"GB18030", "A\xE4\xB8\x80"}, {"EUCJP", "A\xE4\xB8\x80"}, {"SJIS", "A\xE4\xB8\x80"}, {"IBM939", "A\xE4\xB8\x80"}, {"CP1252", "A?"}};
    // clang-format on
    for (const auto &[name, roundTrip] : cases) {
        const std::string original = table(name);
        const std::string path = tmp / "codeset/ZZBIG";
        writeFile(path, original);
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(original.size()) + (100 << 20)), 0);
        const size_t before = mallinfo2().uordblks;
        ziltest::Codeset handle("ZZBIG");
        ASSERT_NE(handle, nullptr) << name;
        EXPECT_LT(mallinfo2().uordblks - before, size_t{4} << 20) << name;
        EXPECT_LE(handle->table_size, original.size()) << name;
        EXPECT_EQ(ziltest::utf8From(handle, ziltest::localFrom(handle, "A\xE4\xB8\x80")), roundTrip)
            << name;
    }
}

TEST_F(ZilStateTest, InitialisesFromTheEnvironment) {
    const struct {
        const char *zilCodeset;  // null: unset
        const char *langinfo;    // null: the platform's, under LC_ALL=C
        const char *defaultName;
        const char *osName;
    } cases[] = {
        {"nuv-1047", nullptr, "IBM1047", "OS"},
        {nullptr, nullptr, "OS", "OS"},  // ANSI_X3.4-1968 has no table: byte copy
        {"", "", "ISO88591", "ISO88591"},
        {"NOSUCH", "ISO-8859-15", "OS", "ISO885915"},
        {nullptr, "UTF-8", "UTF8", "UTF8"},
    };
    for (const auto &c : cases) {
        zil_uninit();
        if (c.zilCodeset != nullptr)
            setenv("ZIL_CODESET", c.zilCodeset, 1);
        else
            unsetenv("ZIL_CODESET");
        static const char *langinfo;
        langinfo = c.langinfo;
        zil::setLanginfoSource(c.langinfo != nullptr ? +[] { return langinfo; } : nullptr);
        EXPECT_EQ(zil_init(), 0);
        EXPECT_EQ(nameOf(zil_get_def_cs()), c.defaultName) << (c.zilCodeset ? c.zilCodeset : "-");
        char os[64];
        zil_os_cs_name(os, sizeof os);
        ziltest::Codeset osHandle(os);
        EXPECT_EQ(osHandle != nullptr ? nameOf(osHandle) : "OS", c.osName);
    }
}

TEST_F(ZilStateTest, HandleLifecycle) {
    uc_ch_t *utf8 = zil_cs_new("utf-8");
    EXPECT_EQ(utf8, utf8_cs);
    EXPECT_EQ(zil_cs_free(utf8), 0);
    EXPECT_STREQ(utf8_cs->name, "UTF8") << "the shared handle survives a free";
    uint32_t size = 99;
    EXPECT_EQ(zil_cs_table(utf8_cs, &size), nullptr);
    EXPECT_EQ(size, 0u);

    ziltest::Codeset internal("INTERNAL37");
    ASSERT_NE(internal, nullptr);
    EXPECT_EQ(internal->kind, ZIL_KIND_OS);
    EXPECT_STREQ(internal->name, "");

    uc_ch_t *handle = zil_cs_new("ISO88591");
    ASSERT_NE(handle, nullptr);
    handle->subst_count = 5;
    uc_ch_t *dup = zil_dup_handle(handle);
    EXPECT_EQ(dup->table, handle->table);
    EXPECT_EQ(dup->shared, 1);
    EXPECT_EQ(dup->subst_count, 0);
    EXPECT_EQ(zil_cs_table(dup, &size), handle->table);
    EXPECT_EQ(size, handle->table_size);
    zil_cs_free(dup);  // must not free the shared table
    EXPECT_STREQ(zil_get_cs_name(handle), "ISO88591");

    zil_set_def_cs(handle);
    EXPECT_EQ(zil_get_def_cs(), handle);
    EXPECT_STREQ(zil_get_cs_name(nullptr), "ISO88591");
    zil_cs_free(handle);
    EXPECT_EQ(zil_get_def_cs(), os_cs) << "freeing the default falls back to the byte copy";
}

// Every handle of one table file shares one image with its derived data:
// a second handle costs a handle, not another table, and the image lives
// until the last handle on it is freed, whatever the order.
TEST_F(ZilStateTest, HandlesOfOneTableShareItsImage) {
    const char *const names[] = {"GB18030", "SJIS", "EUCJP", "IBM1047"};
    const int orders[][3] = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}};  // first, second, duplicate
    for (const char *name : names) {
        for (const auto &order : orders) {
            uc_ch_t *handles[3] = {zil_cs_new(name)};
            ASSERT_NE(handles[0], nullptr) << name;
            const size_t before = mallinfo2().uordblks;
            handles[1] = zil_cs_new(name);
            EXPECT_LT(mallinfo2().uordblks - before, 4096u) << name << ": the second handle";
            handles[2] = zil_dup_handle(handles[0]);
            EXPECT_EQ(handles[1]->table, handles[0]->table) << name;
            for (int i = 0; i < 3; ++i) {
                zil_cs_free(handles[order[i]]);
                handles[order[i]] = nullptr;
                for (uc_ch_t *left : handles) {  // still converts (ASan: nothing freed early)
                    if (left == nullptr) continue;
                    EXPECT_EQ(ziltest::utf8From(left, ziltest::localFrom(left, "abc")), "abc")
                        << name;
                }
            }
        }
    }
    // A table replaced on disk is read afresh; the old handle keeps its image.
    TempDir tmp;
    setenv("ZILDIR", tmp.path().c_str(), 1);
    writeFile(tmp / "codeset/ZZTEST", table("ISO88591"));
    ziltest::Codeset old("ZZTEST");
    writeFile(tmp / "codeset/ZZTEST", table("IBM037"));
    ziltest::Codeset replaced("ZZTEST");
    EXPECT_EQ(nameOf(old), "ISO88591");
    EXPECT_EQ(nameOf(replaced), "IBM037");
    EXPECT_EQ(ziltest::localFrom(old, "A"), "A");
    EXPECT_EQ(ziltest::localFrom(replaced, "A"), "\xC1");
}

TEST_F(ZilStateTest, UninitLeavesTheCallersDefaultAlone) {
    setenv("ZIL_CODESET", "IBM037", 1);
    zil_init();
    uc_ch_t *mine = zil_cs_new("CP1252");
    zil_set_def_cs(mine);
    zil_uninit();  // frees the IBM037 handle it opened, not mine
    EXPECT_STREQ(mine->name, "CP1252");
    EXPECT_EQ(zil_cs_free(mine), 0);
    EXPECT_EQ(zil_get_def_cs()->kind, ZIL_KIND_EBCDIC_SBCS) << "a new init opens IBM037 again";
}

TEST_F(ZilStateTest, EnvironmentSetters) {
    EXPECT_STREQ(zil_get_nlspath(), "");
    EXPECT_EQ(zil_prepend_nlspath("/a/%N"), 0);
    EXPECT_STREQ(zil_get_nlspath(), "/a/%N:");
    EXPECT_EQ(zil_prepend_nlspath("/b/%N"), 0);
    EXPECT_STREQ(zil_get_nlspath(), "/b/%N:/a/%N:");
    EXPECT_EQ(zil_set_nlspath("/c/%L/%N"), 0);
    EXPECT_STREQ(std::getenv("NLSPATH"), "/c/%L/%N");
    EXPECT_EQ(zil_set_dir("/opt/zil"), 0);
    EXPECT_STREQ(zil_get_dir(), "/opt/zil");
    zil_init();
    zil_uninit();
    EXPECT_STREQ(zil_get_nlspath(), "");
    EXPECT_STREQ(zil_get_dir(), "");
}

}  // namespace
