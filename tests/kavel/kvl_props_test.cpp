// Typed properties: what each getter accepts, clamps and refuses, and what
// each setter writes, the same in a comma-decimal locale as in C.UTF-8.

#include "KvlContainers.h"
#include "KvlNumberText.h"
#include "toolkit_test.h"

namespace {

class KvlPropsTest : public vrxtest::ToolkitTest {
protected:
    // Runs `check` in C.UTF-8 and in de_DE.UTF-8 (comma decimal point).
    template <class Check>
    void inEveryLocale(Check check) {
        vrxtest::TempDir locales;
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8") + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "localedef (package locales) is needed";
        vrxtest::EnvGuard path("LOCPATH", locales.path().c_str());
        for (const char *locale : {"C.UTF-8", "de_DE.UTF-8"}) {
            ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
            SCOPED_TRACE(locale);
            check();
        }
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    // Reads `text` (null: no such property) with `get`.
    template <class T>
    std::pair<T, int> read(T (*get)(KvlStringToStringMap *, const char *, unsigned char *),
                           const char *text) {
        KvlStringToStringMap *map = kvlIntlAllocStringToStringMap();
        if (text != nullptr) KvlSetMapProp(map, "p", text);
        unsigned char ok = 9;
        const T value = get(map, "p", &ok);
        kvlIntlFreeStringToStringMap(map);
        return {value, ok};
    }
};

constexpr float kInf = std::numeric_limits<float>::infinity();

TEST_F(KvlPropsTest, GettersAcceptClampAndRefuse) {
    inEveryLocale([&] {
        const struct {
            const char *text;
            int value, ok;
        } bools[] = {{"TRUE", 1, 1},  {"False", 0, 1}, {"yes", 0, 0},  {"1", 0, 0},
                     {"true ", 0, 0}, {"", 0, 0},      {nullptr, 0, 0}};
        for (const auto &c : bools)
            EXPECT_EQ(read(KvlGetMapPropBool, c.text), std::make_pair(c.value, c.ok))
                << (c.text ? c.text : "<missing>");
        const struct {
            const char *text;
            char value;
            int ok;
        } chars[] = {{"xyz", 'x', 1}, {"", 0, 1}, {nullptr, 0, 0}};
        for (const auto &c : chars)
            EXPECT_EQ(read(KvlGetMapPropChar, c.text), std::make_pair(c.value, c.ok));
        const struct {
            const char *text;
            int64_t asInt, asLong;
            int ok;
        } integers[] = {
            // clang-format off
            {" 12abc", 12, 12, 1}, {"+7", 7, 7, 1}, {"-42", -42, -42, 1}, {"abc", 0, 0, 0},
            {"", 0, 0, 0}, {"-", 0, 0, 0},
            // clang-format on
            {"5000000000", INT32_MAX, 5000000000, 1},  // clamped as int
            {"-5000000000", INT32_MIN, -5000000000, 1},
            {"99999999999999999999", INT32_MAX, INT64_MAX, 1},
            {"1.9", 1, 1, 1},
            {nullptr, 0, 0, 0},
        };
        for (const auto &c : integers) {
            const char *shown = c.text ? c.text : "<missing>";
            EXPECT_EQ(read(KvlGetMapPropInt, c.text),
                      std::make_pair(static_cast<int32_t>(c.asInt), c.ok))
                << shown;
            EXPECT_EQ(read(KvlGetMapPropLong, c.text), std::make_pair(c.asLong, c.ok)) << shown;
        }
        const struct {
            const char *text;
            double value;
            int ok;
        } reals[] = {{"0.75", 0.75, 1}, {" -1.5e3x", -1500, 1}, {"1,5", 1, 1}, {"x", 0, 0},
                     {"", 0, 0},        {nullptr, 0, 0}};
        for (const auto &c : reals) {
            const char *shown = c.text ? c.text : "<missing>";
            EXPECT_EQ(read(KvlGetMapPropDouble, c.text), std::make_pair(c.value, c.ok)) << shown;
            EXPECT_EQ(read(KvlGetMapPropFloat, c.text),
                      std::make_pair(static_cast<float>(c.value), c.ok))
                << shown;
        }
        EXPECT_EQ(read(KvlGetMapPropFloat, "1e39"), std::make_pair(kInf, 1)) << "overflow";
    });
}

TEST_F(KvlPropsTest, SettersWriteWhatGettersReadBack) {
    inEveryLocale([&] {
        KvlStringToStringMap *map = kvlIntlAllocStringToStringMap();
        const auto text = [map] { return vrxtest::take(KvlGetMapProp(map, "p", nullptr)); };
        unsigned char ok = 0;
        KvlSetMapPropBool(map, "p", 1);
        EXPECT_EQ(text(), "true");
        KvlSetMapPropBool(map, "p", 2);
        EXPECT_EQ(text(), "false") << "only 1 is true";
        KvlSetMapPropChar(map, "p", 0);
        EXPECT_EQ(text(), "");
        EXPECT_EQ(KvlGetMapPropChar(map, "p", &ok), 0);
        EXPECT_EQ(ok, 1);
        KvlSetMapPropInt(map, "p", -42);
        EXPECT_EQ(text(), "-42");
        KvlSetMapPropLong(map, "p", 5000000000);
        EXPECT_EQ(text(), "5000000000");
        EXPECT_EQ(KvlGetMapPropLong(map, "p", &ok), 5000000000);
        KvlSetMapPropFloat(map, "p", 0.1f);
        EXPECT_EQ(text(), "0.100000");
        KvlSetMapPropFloat(map, "p", 1.5f);
        EXPECT_EQ(text(), "1.500000");
        EXPECT_EQ(KvlGetMapPropFloat(map, "p", &ok), 1.5f);
        KvlSetMapPropDouble(map, "p", 0.25);
        EXPECT_EQ(text(), "0.250000");
        KvlSetMapPropDouble(map, "p", -1e300);
        EXPECT_EQ(KvlGetMapPropDouble(map, "p", &ok), -1e300);
        unsigned char found = 9;
        EXPECT_EQ(KvlGetMapProp(map, "missing", &found), nullptr);
        EXPECT_EQ(found, 0);
        kvlIntlFreeStringToStringMap(map);
    });
    KvlSetMapPropInt(nullptr, "p", 1);  // a null map: nothing
    unsigned char ok = 9;
    EXPECT_EQ(KvlGetMapPropInt(nullptr, "p", &ok), 0);
    EXPECT_EQ(ok, 0);
}

// The text each typed setter stores, and what the typed getters make of a
// text, are the same for maps, objects and configurations.
TEST_F(KvlPropsTest, EveryOwnerOfPropertiesStoresAndReadsTheSameText) {
    KvlOpenToolkit(nullptr);
    KvlObject *object = KvlGetObject("typed.owner", "kvl_basiclogger");
    KvlObjCfg *cfg = KvlAllocObjCfg("typed.cfg");
    KvlStringToStringMap *map = kvlIntlAllocStringToStringMap();
    // Every owner's typed functions are made by one macro from the same
    // readers and writers: one setter and one getter show the wiring.
    struct Owner {
        const char *name;
        std::function<void(const char *)> setText;
        std::function<std::string()> text;
        std::function<void(int64_t)> setLong;
        std::function<int32_t(unsigned char *)> getInt;
    };
    const Owner owners[] = {
        {"map", [&](const char *t) { KvlSetMapProp(map, "p", t); },
         [&] { return vrxtest::take(KvlGetMapProp(map, "p", nullptr)); },
         [&](int64_t v) { KvlSetMapPropLong(map, "p", v); },
         [&](unsigned char *ok) { return KvlGetMapPropInt(map, "p", ok); }},
        {"object", [&](const char *t) { KvlSetObjProp(object, "p", t); },
         [&] { return vrxtest::take(KvlGetObjProp(object, "p", nullptr)); },
         [&](int64_t v) { KvlSetObjPropLong(object, "p", v); },
         [&](unsigned char *ok) { return KvlGetObjPropInt(object, "p", ok); }},
        {"configuration", [&](const char *t) { KvlSetObjCfgProp(cfg, "p", t); },
         [&] { return vrxtest::take(KvlGetObjCfgProp(cfg, "p", nullptr)); },
         [&](int64_t v) { KvlSetObjCfgPropLong(cfg, "p", v); },
         [&](unsigned char *ok) { return KvlGetObjCfgPropInt(cfg, "p", ok); }},
    };
    for (const Owner &owner : owners) {
        SCOPED_TRACE(owner.name);
        owner.setLong(5000000000);
        EXPECT_EQ(owner.text(), "5000000000");
        unsigned char ok = 9;
        owner.setText(" 5000000000ms");
        EXPECT_EQ(owner.getInt(&ok), INT32_MAX);
        EXPECT_EQ(ok, 1);
        owner.setText("x");
        EXPECT_EQ(owner.getInt(&ok), 0);
        EXPECT_EQ(ok, 0);
    }
    kvlIntlFreeStringToStringMap(map);
    KvlReleaseObjCfg(cfg);
    KvlReleaseObject(object);
    KvlCloseToolkit();
}

// The two other forms of the number reader: a record field is the number
// alone, and a permission is at most four characters of octal.
TEST(KvlNumberTextTest, FieldsAreWholeNumbersAndWidthsCountTheSign) {
    const struct {
        const char *text;
        kvl::NumberRule rule;
        bool read;
        int32_t value;
    } cases[] = {
        // clang-format off
        {"123", kvl::kFieldNumber, true, 123}, {"-123", kvl::kFieldNumber, true, -123},
        {"+123", kvl::kFieldNumber, false, 0}, {" 123", kvl::kFieldNumber, false, 0},
        {"123 ", kvl::kFieldNumber, false, 0}, {"12x", kvl::kFieldNumber, false, 0},
        {"", kvl::kFieldNumber, false, 0}, {"2147483648", kvl::kFieldNumber, false, 0},
        // clang-format on
        {"-2147483648", kvl::kFieldNumber, true, INT32_MIN},
        {"2147483648", {}, true, INT32_MAX},
        {"-99999999999999999999", {}, true, INT32_MIN},
        {"0640", {kvl::NumberForm::kLeading, 8, 4}, true, 0640},
        {"07555", {kvl::NumberForm::kLeading, 8, 4}, true, 0755},
        {" -7", {kvl::NumberForm::kLeading, 8, 4}, true, -7},
        {"+7777", {kvl::NumberForm::kLeading, 8, 4}, true, 0777},
        {"8", {kvl::NumberForm::kLeading, 8, 4}, false, 0},
        {"rw", {kvl::NumberForm::kLeading, 8, 4}, false, 0},
    };
    for (const auto &c : cases) {
        int32_t value = 0;
        EXPECT_EQ(kvl::readNumber(c.text, value, c.rule), c.read) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

}  // namespace
