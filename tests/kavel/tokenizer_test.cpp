// The two tokenisers: quotes, delimiters and iterators that stay ended.

#include "CxStringTok.h"
#include "KvlStrTok.h"
#include "toolkit_test.h"

namespace {

std::vector<std::string> cxTokens(const char *text, const char *delims, char quotes) {
    std::vector<std::string> tokens;
    for (CxStringTokIter it = CxStringTokIterator(text, delims, quotes);
         CxStringTokIterHasNext(&it); CxStringTokIterNext(&it)) {
        tokens.push_back(vrxtest::take(CxStringTokIterGet(&it)));
    }
    return tokens;
}

std::vector<std::string> kvlTokens(const char *text, const char *delims) {
    std::vector<std::string> tokens;
    KvlStrTokIter it = KvlStrTokIterator(text, delims);
    for (int guard = 0; KvlStrTokIterHasNext(&it) && guard < 100; ++guard) {
        tokens.push_back(vrxtest::take(KvlStrTokIterGet(&it)));
        KvlStrTokIterNext(&it);
    }
    return tokens;
}

using Tokens = std::vector<std::string>;

TEST(CxStringTokTest, SplitsWithAndWithoutQuotes) {
    const struct {
        const char *text;
        const char *delims;
        char quotes;
        Tokens tokens;
    } cases[] = {
        {"one \"two three\" four", " ", 1, {"one", "two three", "four"}},
        {"one \"two three\" four", " ", 0, {"one", "\"two", "three\"", "four"}},
        {"pre\"fix x\"post next", " ", 1, {"prefix xpost", "next"}},  // quotes join a word
        {"a \"unclosed b c", " ", 1, {"a", "unclosed b c"}},
        {"  a,,b  ", " ,", 1, {"a", "b"}},  // no empty tokens
        {"\"\" x", " ", 1, {"", "x"}},      // an empty quoted token
        // clang-format off
        {"", " ", 1, {}}, {"   ", " ", 1, {}}, {"abc", nullptr, 1, {"abc"}}, {nullptr, " ", 1, {}},
        // clang-format on
        {"\"/var/log/my file.log\" \"/tmp/b.log\"", " ", 1, {"/var/log/my file.log", "/tmp/b.log"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(cxTokens(c.text, c.delims, c.quotes), c.tokens) << (c.text ? c.text : "null");
}

TEST(CxStringTokTest, EndedIteratorStaysEnded) {
    CxStringTokIter it = CxStringTokIterator("x", " ", 1);
    CxStringTokIterNext(&it);
    EXPECT_EQ(CxStringTokIterHasNext(&it), 0);
    EXPECT_EQ(it.start, CX_STRING_TOK_NONE);
    CxStringTokIterNext(&it);
    EXPECT_EQ(it.end, CX_STRING_TOK_NONE);
    EXPECT_EQ(CxStringTokIterGet(&it), nullptr);
    EXPECT_EQ(CxStringTokIterHasNext(nullptr), 0);
}

TEST(KvlStrTokTest, SplitsOnDelimiters) {
    const struct {
        const char *text;
        const char *delims;
        Tokens tokens;
    } cases[] = {
        // clang-format off
        {",,a,,b,", ",", {"a", "b"}}, {"xyz", "", {"x", "y", "z"}},
        {"xyz", nullptr, {"x", "y", "z"}}, {"h1 h2\th3", " \t", {"h1", "h2", "h3"}},
        {",,,", ",", {}}, {"", ",", {}}, {nullptr, ",", {}}, {"single", ",", {"single"}},
        // clang-format on
    };
    for (const auto &c : cases)
        EXPECT_EQ(kvlTokens(c.text, c.delims), c.tokens) << (c.text ? c.text : "null");
}

TEST(KvlStrTokTest, NextAtTheEndChangesNothing) {
    KvlStrTokIter it = KvlStrTokIterator("a,", ",");
    KvlStrTokIter moved = KvlStrTokIterNext(&it);
    EXPECT_STREQ(moved.pos, ",");
    EXPECT_EQ(KvlStrTokIterHasNext(&it), 0);
    EXPECT_EQ(KvlStrTokIterGet(&it), nullptr) << "only delimiters remain";
    KvlStrTokIterNext(&it);
    KvlStrTokIterNext(&it);
    EXPECT_STREQ(it.pos, "");
    KvlStrTokIterNext(&it);
    EXPECT_STREQ(it.pos, "");
}

}  // namespace
