// The toolkit classes' property tables: every class has one, reachable
// from its class; no name is described twice along a class's chain; every
// default and every enumeration can be read by its own kind; and a class
// that reacts to no property has an empty table.

#include "KvlFFDC.h"
#include "KvlPropertyTable.h"
#include "toolkit_test.h"

namespace {

using kvl::PropertyKind;

bool isChecked(PropertyKind kind) {
    switch (kind) {
        case PropertyKind::kInteger:
        case PropertyKind::kLong:
        case PropertyKind::kFraction:
        case PropertyKind::kBoolean:
        case PropertyKind::kPermission:
        case PropertyKind::kLevel:
        case PropertyKind::kEnumeration:
            return true;
        default:
            return false;
    }
}

class KvlPropertyTableTest : public vrxtest::OpenToolkitTest {};

TEST_F(KvlPropertyTableTest, EveryToolkitClassDescribesItsPropertiesSoundly) {
    KvlInitFFDCExtensions();
    const char *const classes[] = {
        "kvl_basiclogger",           "kvl_pdlogger",
        "kvl_levelfilter",           "kvl_msgidfilter",
        "kvl_consolehandler",        "kvl_filehandler",
        "kvl_multiproc_filehandler", "kvl_basicformatter",
        "kvl_xmlformatter",          "kvl_zemtraceformatter",
        "kvl_ffdc_trigger_handler",  "kvl_ffdc_filecopy_handler",
    };
    for (const char *name : classes) {
        SCOPED_TRACE(name);
        KvlObjClass *klass = kvlToolkitGetClassDef(name);
        ASSERT_NE(klass, nullptr);
        const kvl::PropertyTable *table = klass->internals.properties;
        ASSERT_NE(table, nullptr) << "a toolkit class without a property table";
        std::set<std::string_view> seen;
        for (const kvl::PropertyTable *at = table; at != nullptr; at = at->base) {
            for (const kvl::PropertyDef &def : at->properties) {
                SCOPED_TRACE(std::string(def.name));
                EXPECT_TRUE(seen.insert(def.name).second) << "described twice";
                EXPECT_EQ(kvl::findProperty(*table, def.name), &def);
                EXPECT_EQ(def.kind == PropertyKind::kEnumeration, !def.words.empty());
                EXPECT_EQ(def.apply == nullptr, def.name == "className");
                EXPECT_TRUE(def.whenAbsent != kvl::WhenAbsent::kDefault || !def.defaultText.empty())
                    << "an absent value stands for a default it does not give";
                if (!def.defaultText.empty() && isChecked(def.kind)) {
                    const std::string text(def.defaultText);
                    EXPECT_TRUE(kvl::readProperty(def, text.c_str()).readable)
                        << "default \"" << text << "\"";
                }
            }
        }
        EXPECT_EQ(klass->cfgChange == nullptr, seen.empty())
            << "a class reading properties has an operation that reads them";
        EXPECT_EQ(kvl::findProperty(*table, "noSuchProperty"), nullptr);
    }
}

// What each kind makes of a text: numbers as "%d", "%o" and "%f" read
// them, words by the entry's case rule, an absent level none.
TEST_F(KvlPropertyTableTest, EachKindReadsItsValue) {
    constexpr std::string_view words[] = {"ONE", "Two"};
    const struct {
        kvl::PropertyDef def;
        const char *text;
        bool readable;
        int64_t integer;
    } cases[] = {
        {{"i", PropertyKind::kInteger}, " 99999999999x", true, INT32_MAX},
        {{"l", PropertyKind::kLong}, "99999999999", true, 99999999999},
        {{"l", PropertyKind::kLong}, "x", false, 0},
        {{"b", PropertyKind::kBoolean}, "TRUE", true, 1},
        {{"b", PropertyKind::kBoolean}, "yes", false, 0},
        {{"p", PropertyKind::kPermission}, "07555", true, 0755},
        {{"p", PropertyKind::kPermission}, "rw", false, 0},
        {{"v", PropertyKind::kLevel}, "warning", true, KVL_LEVEL_WARN},
        {{"v", PropertyKind::kLevel}, "loud", false, KVL_LEVEL_NONE},
        {{"v", PropertyKind::kLevel}, nullptr, false, KVL_LEVEL_NONE},
        {{"e", PropertyKind::kEnumeration, "", {}, {}, nullptr, words}, "two", true, 1},
        {{"e", PropertyKind::kEnumeration, "", {}, {}, nullptr, words}, "ONEs", false, -1},
        {{"e", PropertyKind::kEnumeration, "", {}, {}, nullptr, words, true}, "two", false, -1},
        {{"e", PropertyKind::kEnumeration, "", {}, {}, nullptr, words, true}, "Two", true, 1},
        {{"s", PropertyKind::kString}, "", true, 0},
        {{"s", PropertyKind::kString}, nullptr, false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.def.name) + " " + (c.text != nullptr ? c.text : "<absent>"));
        const kvl::PropertyValue value = kvl::readProperty(c.def, c.text);
        EXPECT_EQ(value.readable, c.readable);
        EXPECT_EQ(value.integer, c.integer);
        EXPECT_EQ(value.text, c.text);
    }
    const kvl::PropertyDef fraction{"f", PropertyKind::kFraction};
    EXPECT_EQ(kvl::readProperty(fraction, " 0.75x").fraction, 0.75);
}

}  // namespace
