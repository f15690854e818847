// The toolkit's built-in message tables. Their one source is
// data/messages/<catalog>.msg, which also makes the shipped catalogs of the
// "C" locale; zil_mkcat --table generates the arrays (kvlmsg_table.cpp,
// kffdcmsg_table.cpp, committed, checked against the generator by a test),
// fillers included, so a filler's number can never go out of step with the
// keys around it and a catalog can never disagree with the built-in text.

#include "KvlMsgTables.h"

#include <cstring>

extern const char *const kvlmsg_table[];
extern const int kvlmsg_table_size;
extern const char *const kffdcmsg_table[];
extern const int kffdcmsg_table_size;

namespace {

struct Table {
    const char *const *texts;
    int32_t size;
};

Table tableOf(const char *catalog) {
    if (catalog == nullptr) return {nullptr, 0};
    if (std::strcmp(catalog, KVL_MSG_CATALOG) == 0) return {kvlmsg_table, kvlmsg_table_size};
    if (std::strcmp(catalog, KFFDC_MSG_CATALOG) == 0) return {kffdcmsg_table, kffdcmsg_table_size};
    return {nullptr, 0};
}

}  // namespace

extern "C" {

const char *kvlMsgTableText(const char *catalog, int32_t key) {
    const Table table = tableOf(catalog);
    return key >= 0 && key < table.size ? table.texts[key] : nullptr;
}

int32_t kvlMsgTableEntries(const char *catalog) { return tableOf(catalog).size; }

}  // extern "C"
