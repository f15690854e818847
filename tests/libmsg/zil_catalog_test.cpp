// Message catalogs: the compiler's refusals and output, the reader's
// search (templates, locale forms, flags), its cache (same descriptor on
// reopen, counted opens, least-recently-used eviction), codesets, and
// hostile files that must neither crash it nor change any answer but to
// the caller's default text, nor take memory out of proportion to their
// size. Threads open, read and close at once.
#include <malloc.h>

#include "catalog_builder.h"
#include "zil_test_env.h"

namespace {

using vrxtest::CatalogBytes;

const std::string kMkcat = ZIL_MKCAT_PATH;

struct MkcatRun {
    int status;
    std::string err;
};

MkcatRun mkcat(const std::vector<std::string> &args, const std::string &dir) {
    std::string command = kMkcat;
    for (const std::string &a : args)
        command += " '" + a + "'";
    command += " 2>" + dir + "/mkcat.err";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
            vrxtest::readFile(dir + "/mkcat.err").value_or("")};
}

std::string textOf(zil_catd catalog, int set, int key, uc_ch_t *cs = utf8_cs) {
    const char *text = zil_catgets(catalog, set, key, "<default>", cs);
    return text != nullptr ? text : "<null>";
}

class ZilCatalogTest : public ziltest::ZilTest {
protected:
    void TearDown() override {
        flushCache();
        ZilTest::TearDown();
    }
    std::string dir() const { return tmp_.path(); }
    // A one-message catalog file whose text names it.
    std::string catalog(const std::string &path, const std::string &text = "") {
        vrxtest::writeFile(
            path, CatalogBytes::wellFormed({{1, {{1, text.empty() ? path : text}}}}).bytes());
        return path;
    }
    // Releases every cached catalog nobody holds open.
    void flushCache() {
        const std::string path = catalog(dir() + "/flush.cat");
        zil_catclose_fully(zil_catopen(path.c_str(), 0, "C"));
    }
    // Whether the reader still has the catalog `name` (dir/name.cat)
    // cached: its file is gone, so only the cache can answer a search.
    bool cached(const std::string &name) const {
        setenv("NLSPATH", (dir() + "/%N.cat").c_str(), 1);
        fs::remove(dir() + "/" + name + ".cat");
        zil_catd again = zil_catopen(name.c_str(), 0, "C");
        unsetenv("NLSPATH");
        if (again == nullptr) return false;
        zil_catclose(again);
        return true;
    }
    vrxtest::TempDir tmp_;
};

TEST_F(ZilCatalogTest, CompilerRefusalsAndOutput) {
    const std::string defaults = dir() + "/default.msg";
    vrxtest::writeFile(defaults, "$set 1\n1 Disk %s has %d blocks\n2 No arguments\n3 %.2f%%\n");
    const struct {
        const char *what;
        std::string source;
        bool asTranslation;
        std::string refusal;  // "" when accepted; else the start of "FILE:LINE: reason"
        // clang-format off
    } cases[] = {
        {"a plain catalog", "$ comment\n$set 1\n1 one\n\n2 two\\n\\t\\\\ \\\nmore\n5\n$set 3\n1 x\n", false, ""},
        {"a reordering", "$set 1\n1 %2$d blocks on %1$s\n", true, ""},
        {"swapped kinds", "$set 1\n1 %d blocks on %s\n", true, ":2: argument 1 has another kind"},
        {"one argument fewer", "$set 1\n1 Disk %s\n", true, ":2: takes 1 arguments"},
        {"floating for integer", "$set 1\n1 Disk %s has %f\n", true, ":2: argument 2"},
        {"a key the default lacks", "$set 1\n9 x\n", true, ":2: the default catalog has no such key"},
        {"%n", "$set 1\n1 %n\n", false, ":2: %n is not allowed"},
        {"%p", "$set 1\n1 %p\n", false, ":2: %p is not allowed"},
        {"%ls", "$set 1\n1 %ls\n", false, ":2: %ls is not allowed"},
        {"malformed", "$set 1\n1 100%\n", false, ":2: malformed format"},
        {"invalid UTF-8", "$set 1\n1 \xC0\xAF\n", false, ":2: not valid UTF-8"},
        {"sets out of order", "$set 2\n1 a\n$set 1\n1 b\n", false, ":3: set ids must be unique"},
        {"keys out of order", "$set 1\n2 a\n2 b\n", false, ":3: message keys must be unique"},
        {"key 0", "$set 1\n0 a\n", false, ":2: a message key must be a positive number"},
        {"unknown escape", "$set 1\n1 a\\x\n", false, ":2: unknown escape"},
        {"no set", "1 a\n", false, ":1: a message before the first $set"},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string source = dir() + "/source.msg", out = dir() + "/out.cat";
        vrxtest::writeFile(source, c.source);
        fs::remove(out);
        const MkcatRun run = c.asTranslation ? mkcat({"--default", defaults, source, out}, dir())
                                             : mkcat({source, out}, dir());
        if (c.refusal.empty()) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(fs::exists(out));
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err.rfind(source + c.refusal, 0), 0u) << run.err;
            EXPECT_FALSE(fs::exists(out)) << "nothing written";
        }
    }

    // Deterministic, and every text reads back as written.
    const std::string source = dir() + "/plain.msg";
    // Set 1's ids are dense (looked up by index), set 3's far apart (bisected).
    vrxtest::writeFile(source,
                       "$set 1\n1 one\n2 two\\n\\t\\\\ \\\nmore\n5\n$set 3\n1 x\n100000 far\n");
    ASSERT_EQ(mkcat({source, dir() + "/a.cat"}, dir()).status, 0);
    ASSERT_EQ(mkcat({source, dir() + "/b.cat"}, dir()).status, 0);
    EXPECT_EQ(vrxtest::readFile(dir() + "/a.cat"), vrxtest::readFile(dir() + "/b.cat"));
    zil_catd read = zil_catopen((dir() + "/a.cat").c_str(), 0, "C");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(textOf(read, 1, 1), "one");
    EXPECT_EQ(textOf(read, 1, 2), "two\n\t\\ more");
    EXPECT_EQ(textOf(read, 1, 5), "");
    EXPECT_EQ(textOf(read, 3, 1), "x");
    EXPECT_EQ(textOf(read, 3, 100000), "far");
    EXPECT_EQ(textOf(read, 3, 99999), "<default>");
    EXPECT_EQ(textOf(read, 1, 6), "<default>") << "past the dense index";
    EXPECT_EQ(textOf(read, 2, 1), "<default>");
    EXPECT_EQ(textOf(read, 1, 3), "<default>");
    zil_catclose(read);
}

TEST_F(ZilCatalogTest, TemplatesAndTheSearchOrder) {
    setenv("NLSPATH", (dir() + "/%N_%L_%l_%t_%c_%x.cat").c_str(), 1);
    catalog(dir() + "/m_de_DE_de_DE__%x.cat");
    zil_catd found = zil_catopen("m", 0, "de_DE");
    EXPECT_EQ(textOf(found, 1, 1), dir() + "/m_de_DE_de_DE__%x.cat");
    zil_catclose(found);

    setenv("NLSPATH", (dir() + "/none/%N.cat;" + dir() + "/%L/%N.cat").c_str(), 1);
    for (const char *form : {"fr_CA", "fr", "fr_FR", "C"})
        catalog(dir() + "/" + form + "/n.cat", form);
    const struct {
        int flags;
        const char *expected;
        const char *removeAfter;  // the form whose file goes next
    } order[] = {{0, "fr_CA", "fr_CA"}, {0, "fr", nullptr}, {2, "fr_FR", "fr_FR"},
                 {2, "C", nullptr},     {8, "fr", "fr"},    {8, "<none>", nullptr}};
    for (const auto &step : order) {
        flushCache();  // a cached path would answer for a removed file
        zil_catd opened = zil_catopen("n", step.flags, "fr_CA");
        EXPECT_EQ(opened != nullptr ? textOf(opened, 1, 1) : "<none>", step.expected)
            << "flags " << step.flags;
        if (opened != nullptr) zil_catclose(opened);
        if (step.removeAfter != nullptr) fs::remove(dir() + "/" + step.removeAfter + "/n.cat");
    }
    // Flag 4 skips the canonical language; flag 1 takes the locale from
    // LC_ALL when no locale is given (LANG otherwise).
    catalog(dir() + "/fr_FR/n.cat", "fr_FR");
    catalog(dir() + "/C/n.cat", "C");
    flushCache();
    zil_catd noLanguage = zil_catopen("n", 4, "fr_CA");
    EXPECT_EQ(textOf(noLanguage, 1, 1), "C");
    zil_catclose(noLanguage);
    setenv("LC_ALL", "fr_CA", 1);
    zil_catd fromEnvironment = zil_catopen("n", 1, nullptr);
    zil_catd fromLang = zil_catopen("n", 0, nullptr);
    EXPECT_EQ(textOf(fromEnvironment, 1, 1), "fr_FR");
    EXPECT_EQ(textOf(fromLang, 1, 1), "C");
    zil_catclose(fromEnvironment);
    zil_catclose(fromLang);
    EXPECT_EQ(zil_catopen("", 0, "C"), nullptr);
    EXPECT_EQ(zil_catopen(nullptr, 0, "C"), nullptr);

    // A locale that would climb out of the template's directory is never
    // put into it, whether given or read from LANG: the template is skipped.
    setenv("NLSPATH", (dir() + "/nls/%L/%N.cat").c_str(), 1);
    catalog(dir() + "/evil/x.cat", "evil");
    catalog(dir() + "/nls/C/x.cat", "C");
    flushCache();
    for (const char *locale : {"../evil", "..", "de/../../evil"}) {
        zil_catd opened = zil_catopen("x", 8, locale);  // 8: no "C" fallback
        EXPECT_EQ(opened, nullptr) << locale;
        if (opened != nullptr) zil_catclose(opened);
    }
    setenv("LANG", "../evil", 1);
    unsetenv("LC_ALL");
    zil_catd climbing = zil_catopen("x", 0, nullptr);
    EXPECT_EQ(textOf(climbing, 1, 1), "C") << "the C catalog, not ../evil's";
    zil_catclose(climbing);
}

TEST_F(ZilCatalogTest, TheCacheCountsOpensAndEvictsTheLeastRecentlyUsed) {
    flushCache();
    const std::string held = catalog(dir() + "/held.cat");
    zil_catd first = zil_catopen(held.c_str(), 0, "C");
    zil_catd second = zil_catopen(held.c_str(), 0, "C");
    EXPECT_EQ(first, second) << "a reopen is the cached catalog";
    EXPECT_EQ(zil_catclose(first), 0);  // still held once

    const std::string recent = catalog(dir() + "/recent.cat"), old = catalog(dir() + "/old.cat");
    zil_catclose(zil_catopen(old.c_str(), 0, "C"));
    for (int n = 0; n < 300; ++n) {
        zil_catclose(zil_catopen(recent.c_str(), 0, "C"));
        const std::string other = catalog(dir() + "/churn" + std::to_string(n) + ".cat");
        zil_catclose(zil_catopen(other.c_str(), 0, "C"));
    }
    EXPECT_TRUE(cached("recent")) << "used all along";
    EXPECT_FALSE(cached("old")) << "the least recently used goes first";
    EXPECT_TRUE(cached("held")) << "an open catalog is never evicted";
    EXPECT_EQ(textOf(first, 1, 1), held);
    EXPECT_EQ(zil_catclose(first), 0);
    EXPECT_EQ(zil_catclose(first), -1) << "one close too many";
    EXPECT_EQ(zil_catclose(nullptr), -1);

    // Eleven catalogs open at once: the cache grows past its first ten slots.
    std::vector<zil_catd> open;
    for (int n = 0; n < 11; ++n) {
        open.push_back(
            zil_catopen(catalog(dir() + "/open" + std::to_string(n) + ".cat").c_str(), 0, "C"));
        ASSERT_NE(open.back(), nullptr) << n;
    }
    for (zil_catd c : open)
        EXPECT_EQ(zil_catclose(c), 0);
}

TEST_F(ZilCatalogTest, Codesets) {
    const std::string path = catalog(dir() + "/cs.cat", "caf\xC3\xA9");
    zil_catd c = zil_catopen(path.c_str(), 0, "C");
    ziltest::Codeset ebcdic("IBM1047");
    ASSERT_NE(ebcdic, nullptr);
    EXPECT_EQ(textOf(c, 1, 1, utf8_cs), "caf\xC3\xA9");
    EXPECT_EQ(textOf(c, 1, 1, ebcdic), "\x83\x81\x86\x51");
    char local[8];
    char *into = local;
    zil_u2s(nullptr, "caf\xC3\xA9", &into);
    EXPECT_EQ(textOf(c, 1, 1, nullptr), local) << "the local codeset";
    zil_catclose(c);
}

// Files the compiler would never write: none may crash the reader, and
// every message they spoil answers the default text.
TEST_F(ZilCatalogTest, HostileFiles) {
    // A header for `sets` sets at offset 28, then the fields (a set record
    // is 7: id, next, array, data, length, count, deleted; a message 3: id,
    // offset, 0) and the data.
    const auto build = [](uint32_t sets, const std::vector<uint32_t> &fields,
                          const std::string &data) {
        CatalogBytes c(sets, 28);
        for (uint32_t field : fields)
            c.fields({field});
        c.raw(data);
        return c;
    };
    const std::string a("a\0", 2);
    std::vector<std::pair<std::string, CatalogBytes>> files = {
        // clang-format off
        {"offset past the data", build(1, {1, 0, 56, 68, 2, 1, 0, 1, 7, 0}, a)},
        {"no terminator", build(1, {1, 0, 56, 68, 3, 1, 0, 1, 0, 0}, "abc")},
        {"huge counts", build(1, {1, 0, 56, 68, 0xFFFFFFF0u, 0xFFFFFFF0u, 0}, "")},
        {"set past the end", build(2, {1, 4000, 56, 68, 2, 1, 0, 1, 0, 0}, a)},
        {"cyclic chain", build(3, {1, 28, 0, 0, 0, 0, 1}, "")},  // deleted sets, then nothing
        {"descending sets", build(2, {5, 56, 84, 84, 0, 0, 0, 2, 0, 84, 84, 0, 0, 0}, "")},
        {"descending messages", build(1, {1, 0, 56, 80, 4, 2, 0, 2, 0, 0, 1, 2, 0}, std::string("a\0b\0", 4))},
        {"an empty set", CatalogBytes::wellFormed({{1, {}}})},
        {"huge set count", CatalogBytes(0x7FFFFFFF, 28)},
        {"bad magic", CatalogBytes(1, 28, "*nazgun*")},
        {"major version 2", CatalogBytes(1, 28, "*nazgul*", 2)},
        // clang-format on
    };
    for (const auto &[what, bytes] : files) {
        SCOPED_TRACE(what);
        const std::string path = dir() + "/hostile.cat";
        flushCache();
        vrxtest::writeFile(path, bytes.bytes());
        zil_catd c = zil_catopen(path.c_str(), 0, "C");
        for (int setId = 0; setId < 4; ++setId)
            for (int key = 0; key < 4; ++key)
                EXPECT_EQ(textOf(c, setId, key), "<default>") << setId << "/" << key;
        if (c != nullptr) zil_catclose(c);
    }

    // Shared and overlapping texts are fine: each message reads its own.
    const std::string path = dir() + "/shared.cat";
    vrxtest::writeFile(path, build(1, {1, 0, 56, 92, 6, 3, 0, 1, 0, 0, 2, 0, 0, 3, 2, 0},
                                   std::string("abcde\0", 6))
                                 .bytes());
    zil_catd c = zil_catopen(path.c_str(), 0, "C");
    EXPECT_EQ(textOf(c, 1, 1), "abcde");
    EXPECT_EQ(textOf(c, 1, 2), "abcde");
    EXPECT_EQ(textOf(c, 1, 3), "cde");
    EXPECT_EQ(textOf(c, 1, 3, nullptr), "cde");
    zil_catclose(c);

    // A deleted set is skipped: its messages are not found.
    vrxtest::writeFile(path + "2", build(1, {1, 56, 0, 0, 0, 0, 1, 2, 0, 84, 96, 2, 1, 0, 1, 0, 0},
                                         "b" + a.substr(1))
                                       .bytes());
    c = zil_catopen((path + "2").c_str(), 0, "C");
    EXPECT_EQ(textOf(c, 1, 1), "<default>");
    EXPECT_EQ(textOf(c, 2, 1), "b");
    zil_catclose(c);
}

// A catalog that points many messages into one long text must not be
// amplified into memory: messages that share a text share its conversions,
// offsets into the middle of a text beyond what distinct texts could need
// refuse the set, and a refused set is not read again (it stays refused
// even when the file is mended in place).
TEST_F(ZilCatalogTest, ManyMessagesOnOneTextCostOneText) {
    const auto build = [](uint32_t count, uint32_t step, size_t textSize) {
        CatalogBytes c(1, 28);
        const uint32_t array = 56, data = array + 12 * count;
        c.fields({1, 0, array, data, static_cast<uint32_t>(textSize + 1), count, 0});
        for (uint32_t m = 0; m < count; ++m)
            c.fields({m + 1, m * step, 0});
        c.raw(std::string(textSize, 'x') + '\0');
        return c;
    };
    const std::string path = dir() + "/amplified.cat";
    vrxtest::writeFile(path, build(1000, 0, 20000).bytes());  // one text, 1000 messages
    const size_t before = mallinfo2().uordblks;
    zil_catd c = zil_catopen(path.c_str(), 0, "C");
    EXPECT_EQ(textOf(c, 1, 1000).size(), 20000u);
    EXPECT_EQ(textOf(c, 1, 1, nullptr).size(), 20000u);
    EXPECT_LT(mallinfo2().uordblks - before, size_t{1} << 20) << "one text's areas, not 1000";
    zil_catclose(c);

    flushCache();
    vrxtest::writeFile(path, build(1000, 20, 20000).bytes());  // 1000 tails of one text
    c = zil_catopen(path.c_str(), 0, "C");
    EXPECT_EQ(textOf(c, 1, 1), "<default>") << "refused";
    vrxtest::writeFile(path, build(1000, 0, 20000).bytes());  // the same file, mended
    EXPECT_EQ(textOf(c, 1, 1), "<default>") << "not read again";
    zil_catclose(c);
}

TEST_F(ZilCatalogTest, ThreadsOpenReadAndClose) {
    std::vector<std::string> paths;
    for (int n = 0; n < 12; ++n)
        paths.push_back(catalog(dir() + "/t" + std::to_string(n) + ".cat"));
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < 200; ++n) {
                const std::string &path = paths[static_cast<size_t>((n + t) % 12)];
                zil_catd c = zil_catopen(path.c_str(), 0, "C");
                if (c == nullptr || textOf(c, 1, 1) != path) ++wrong;
                if (c != nullptr) zil_catclose(c);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
