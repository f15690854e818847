// Locale names: canonical forms, the language used for catalogs, and the
// operating-system names tried when setting the process locale.

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zil_internal.h"

namespace zil {
namespace {

struct Pair {
    const char *key;
    const char *value;
};

const Pair to_canonical_loc[] = {{"C", "C"},         {"american", "C"}, {"ar_AA", "ar"},
                                 {"Ar_AA", "ar"},    {"cz", "cs"},      {"japanese", "ja_JP"},
                                 {"Jp_JP", "ja_JP"}, {"su", "fi"},      {nullptr, nullptr}};

const Pair to_canonical_lang[] = {{"C", "C"},      {"en", "C"},        {"fr", "fr_FR"},
                                  {"ja", "ja_JP"}, {"pt", "pt_BR"},    {"pt_BR", "pt_BR"},
                                  {"zh", "zh_CN"}, {"zh_TW", "zh_TW"}, {nullptr, nullptr}};

// Sorted by key; rows sharing a key are tried in order.
const Pair to_os_loc[] = {{"cs", "cz"},
                          {"da", "da"},
                          {"de", "de"},
                          {"de_AT", "de_AT"},
                          {"de_CH", "de_CH"},
                          {"el", "el"},
                          {"en", "C"},
                          {"en_AU", "en_AU"},
                          {"en_CA", "en_CA"},
                          {"en_IE", "en_IE"},
                          {"en_NZ", "en_NZ"},
                          {"en_UK", "en_UK"},
                          {"en_US", "en_US"},
                          {"en_US", "en_US.UTF-8"},
                          {"es", "es"},
                          {"es_AR", "es_AR"},
                          {"es_BO", "es_BO"},
                          {"es_CL", "es_CL"},
                          {"es_CO", "es_CO"},
                          {"es_CR", "es_CR"},
                          {"es_EC", "es_EC"},
                          {"es_GT", "es_GT"},
                          {"es_MX", "es_MX"},
                          {"es_NI", "es_NI"},
                          {"es_PA", "es_PA"},
                          {"es_PE", "es_PE"},
                          {"es_PY", "es_PY"},
                          {"es_SV", "es_SV"},
                          {"es_UY", "es_UY"},
                          {"es_VE", "es_VE"},
                          {"et", "et"},
                          {"fi", "su"},
                          {"fr", "fr"},
                          {"fr_BE", "fr_BE"},
                          {"fr_CA", "fr_CA"},
                          {"fr_CH", "fr_CH"},
                          {"hu", "hu"},
                          {"it", "it"},
                          {"ja", "ja"},
                          {"ja", "ja_JP.PCK"},
                          {"ja", "ja_JP.SJIS"},
                          {"ko", "ko"},
                          {"ko", "ko.UTF-8"},
                          {"lt", "lt"},
                          {"lv", "lv"},
                          {"nl", "nl"},
                          {"nl_BE", "nl_BE"},
                          {"no", "no"},
                          {"pl", "pl"},
                          {"pt", "pt"},
                          {"pt_BR", "pt_BR"},
                          {"ru", "ru"},
                          {"sv", "sv"},
                          {"tr", "tr"},
                          {"zh", "zh"},
                          {"zh", "zh_CN"},
                          {"zh_TW", "zh_TW"},
                          {"zh_TW", "zh_TW.big5"},
                          {"zh_TW", "zh_TW.BIG5"},
                          {nullptr, nullptr}};

const char *mapString(const Pair *table, const char *key) {
    for (; table->key != nullptr; ++table)
        if (std::strcmp(table->key, key) == 0) return table->value;
    return nullptr;
}

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool alnum(char c) { return letter(c) || digit(c); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string canonical(const char *name) {
    if (name == nullptr) return "";
    if (const char *value = mapString(to_canonical_loc, name)) return value;
    char c[6] = {};  // the first six characters, padded with NUL
    std::memcpy(c, name, std::min(std::strlen(name), sizeof c));
    if (c[2] == '-') c[2] = '_';
    if (letter(c[0]) && letter(c[1]) && letter(c[2]) && letter(c[3]) && digit(c[4])) {
        c[4] = c[3];
        c[3] = c[2];
        c[2] = '_';
        c[5] = '\0';
    }
    if (letter(c[0]) && letter(c[1]) && c[2] != '_' && !alnum(c[2]))
        return std::string{lower(c[0]), lower(c[1])};
    if (letter(c[0]) && letter(c[1]) && c[2] == '_' && letter(c[3]) && letter(c[4]) && !alnum(c[5]))
        return std::string{lower(c[0]), lower(c[1]), '_', upper(c[3]), upper(c[4])};
    return name;
}

void copyOut(const std::string &text, char *output, size_t size) {
    if (output == nullptr || size == 0) return;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

bool platformAccepts(int category, const char *name) {
    return std::setlocale(category, name) != nullptr;
}
LocaleAcceptor acceptor = platformAccepts;

}  // namespace

void setLocaleAcceptor(LocaleAcceptor accepts) {
    acceptor = accepts != nullptr ? accepts : platformAccepts;
}

}  // namespace zil

using namespace zil;

extern "C" {

int zil_canonical_loc(const char *name, char *output, size_t size) {
    copyOut(canonical(name), output, size);
    return 0;
}

int zil_canonical_lang(const char *name, char *output, size_t size) {
    std::string form = canonical(name).substr(0, 5);  // a 6-byte buffer
    const char *value = mapString(to_canonical_lang, form.c_str());
    if (value == nullptr && form.size() > 2 && form[2] == '_') {
        form.resize(2);
        value = mapString(to_canonical_lang, form.c_str());
    }
    copyOut(value != nullptr ? value : form, output, size);
    return 0;
}

int zil_os_lang_name(char *output, size_t size) {
    const char *lang = std::getenv("LANG");
    copyOut(lang != nullptr && *lang != '\0' ? lang : "C", output, size);
    return 0;
}

const char *zil_setlocale(int category, const char *locale) {
    if (locale == nullptr) return std::setlocale(category, nullptr);
    if (acceptor(category, locale)) return locale;
    const std::string form = canonical(locale).substr(0, 5);
    int groupStart = -1, groupEnd = -1;
    for (int i = 0; to_os_loc[i].key != nullptr; ++i) {
        const int order = std::strncmp(to_os_loc[i].key, form.c_str(), 2);
        if (order < 0) continue;
        if (order > 0) {
            groupEnd = i;
            break;
        }
        if (groupStart < 0) groupStart = i;
        if (std::strcmp(to_os_loc[i].key + 2, form.size() >= 2 ? form.c_str() + 2 : "") == 0 &&
            acceptor(category, to_os_loc[i].value))
            return to_os_loc[i].value;
    }
    if (groupStart >= 0) {
        // The whole group, or only its first row when it runs to the end.
        const int last = groupEnd >= 0 ? groupEnd : groupStart + 1;
        for (int i = groupStart; i < last; ++i)
            if (acceptor(category, to_os_loc[i].value)) return to_os_loc[i].value;
    }
    acceptor(category, "C");
    return "C";
}

char *zil_loc_new(const char *name) {
    auto *buffer = static_cast<char *>(std::malloc(32));
    if (buffer != nullptr) zil_canonical_loc(name, buffer, 32);
    return buffer;
}

int zil_loc_free(char *locale) {
    std::free(locale);
    return 0;
}

}  // extern "C"
