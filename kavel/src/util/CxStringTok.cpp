// Tokeniser with double-quote grouping: a three-state scan (skipping
// delimiters, in a token, in quotes) that resumes just after the previous
// token.

#include "CxStringTok.h"

#include <cstring>

#include "OxsMemory.h"

namespace {

bool isDelimiter(const CxStringTokIter &it, char c) {
    return c != '\0' && it.delims != nullptr && std::strchr(it.delims, c) != nullptr;
}

void endIterator(CxStringTokIter &it) { it.start = it.end = CX_STRING_TOK_NONE; }

}  // namespace

extern "C" {

CxStringTokIter CxStringTokIterator(const char *text, const char *delims, char quotes) {
    CxStringTokIter it{text, 0, delims, quotes, -1, -1};
    if (text == nullptr) {
        endIterator(it);
        return it;
    }
    it.length = static_cast<int32_t>(std::strlen(text));
    CxStringTokIterNext(&it);
    return it;
}

int CxStringTokIterHasNext(const CxStringTokIter *it) {
    return it != nullptr && it->start != CX_STRING_TOK_NONE ? 1 : 0;
}

char *CxStringTokIterGet(const CxStringTokIter *it) {
    if (!CxStringTokIterHasNext(it)) return nullptr;
    const size_t span = static_cast<size_t>(it->end - it->start);
    auto *token = static_cast<char *>(OxsMemoryMalloc(span + 1));
    if (token == nullptr) return nullptr;
    size_t length = 0;
    for (int32_t i = it->start; i < it->end; ++i)
        if (!(it->quotes == 1 && it->str[i] == '"')) token[length++] = it->str[i];
    token[length] = '\0';
    return token;
}

void CxStringTokIterNext(CxStringTokIter *it) {
    if (it == nullptr || it->end == CX_STRING_TOK_NONE) return;
    enum class State { Skipping, InToken, InQuotes } state = State::Skipping;
    const bool quoting = it->quotes == 1;
    for (int32_t i = it->end + 1;; ++i) {
        const char c = i < it->length ? it->str[i] : '\0';
        switch (state) {
            case State::Skipping:
                if (c == '\0') {
                    endIterator(*it);
                    return;
                }
                if (isDelimiter(*it, c)) break;
                it->start = i;
                state = quoting && c == '"' ? State::InQuotes : State::InToken;
                break;
            case State::InToken:
                if (c == '\0' || isDelimiter(*it, c)) {
                    it->end = i;
                    return;
                }
                if (quoting && c == '"') state = State::InQuotes;
                break;
            case State::InQuotes:
                if (c == '\0') {  // an unclosed quote runs to the end of the text
                    it->end = i;
                    return;
                }
                if (c == '"') state = State::InToken;
                break;
        }
    }
}

}  // extern "C"
