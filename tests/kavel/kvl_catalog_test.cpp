// The toolkit's messages through the shipped catalogs: the "C" catalogs
// hold exactly the built-in texts, binding through them changes nothing,
// and a translation found for the message's locale is bound with its
// parameters in its own order.

#include "KvlMsgTables.h"
#include "toolkit_test.h"

namespace {

using vrxtest::EnvGuard;
using vrxtest::take;

const std::string kShipped = std::string(VRX_TEST_BUILD_DIR) + "/nls/%L/%N.cat";
const std::string kGerman = std::string(VRX_TEST_NLS_DIR) + "/%L/%N.cat";

class KvlCatalogTest : public vrxtest::ToolkitTest {};

TEST_F(KvlCatalogTest, TheCatalogsHoldTheBuiltInTexts) {
    EnvGuard nlspath{"NLSPATH", kShipped.c_str()};
    for (const char *name : {KVL_MSG_CATALOG, KFFDC_MSG_CATALOG}) {
        zil_catd catalog = zil_catopen(name, 0, "C");
        ASSERT_NE(catalog, nullptr) << name;
        for (int32_t key = 1; key < kvlMsgTableEntries(name); ++key) {
            const char *builtIn = kvlMsgTableText(name, key);
            if (std::string(builtIn).rfind("unused", 0) == 0) continue;  // fillers are not shipped
            EXPECT_STREQ(zil_catgets(catalog, 1, key, "<missing>", utf8_cs), builtIn)
                << name << " " << key;
        }
        zil_catclose(catalog);
    }
}

std::string bound(const char *locale, const std::string &nlspath) {
    EnvGuard path{"NLSPATH", nlspath.empty() ? nullptr : nlspath.c_str()};
    KvlI18Msg *message = KvlAllocI18Msg(KVL_MSG_CATALOG, 1, 3, kvlMsgTableText(KVL_MSG_CATALOG, 3));
    KvlAddI18MsgParmInt(message, 7);
    KvlAddI18MsgParmInt(message, 42);
    KvlAddI18MsgParmString(message, "kvlmsg");
    if (locale != nullptr) kvlSetI18MsgLocale(message, locale);
    std::string result = take(KvlBindI18Msg(message));
    KvlFreeI18Msg(message);
    return result;
}

TEST_F(KvlCatalogTest, BindingFindsTheTranslationForTheLocale) {
    const std::string english =
        "KVLBC03E The message with set index 7 and key index 42 was not found in the message "
        "catalog kvlmsg.";
    EXPECT_EQ(bound(nullptr, ""), english) << "no catalog: the built-in text";
    EXPECT_EQ(bound("C", kShipped), english) << "the C catalog: the same text";
    EXPECT_EQ(bound("de_DE", kGerman + ":" + kShipped),
              "KVLBC03E Die Nachricht mit dem Schl\xC3\xBCssel 42 der Gruppe 7 fehlt im Katalog "
              "kvlmsg.");
    EXPECT_EQ(bound("fr_FR", kGerman + ":" + kShipped), english) << "no French: the C catalog";
}

}  // namespace
