/*
 * The toolkit's built-in message tables, "kvlmsg" and "kffdcmsg" (set 1):
 * the default text of every key, the only place these texts are written
 * down. The toolkit logs its problems with them, and message catalogs of
 * the same names are compiled from them.
 *
 * Entry 0 of a table is its catalog name; a key without a message holds a
 * filler, "unused" and a three-digit count of the fillers before it in key
 * order. The seven keys of "kffdcmsg" that belong to capture handlers this
 * system does not have are empty and are not counted as fillers.
 */
#ifndef KVL_MSG_TABLES_H
#define KVL_MSG_TABLES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KVL_MSG_CATALOG "kvlmsg"
#define KFFDC_MSG_CATALOG "kffdcmsg"
#define KVL_MSG_SET 1

/* The text of a key of one of the two tables (catalog name, set 1); null
 * for another catalog or a key outside the table. */
const char *kvlMsgTableText(const char *catalog, int32_t key);
/* The number of entries of a table (keys 0 to n - 1); 0 for another name. */
int32_t kvlMsgTableEntries(const char *catalog);

#ifdef __cplusplus
}
#endif

#endif /* KVL_MSG_TABLES_H */
