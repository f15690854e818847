// Property tables: finding a property's entry, reading its value by kind,
// and applying it (KvlPropertyTable.h says why classes describe their
// properties this way). Runs with the API mutex held, inside a class's
// configuration-change operation.

#include "KvlPropertyTable.h"

#include "KvlContainers.h"
#include "KvlNumberText.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr kvl::NumberRule kPermissionRule{kvl::NumberForm::kLeading, 8, 4};

// The index of the word the text is, or -1.
int64_t wordIndex(const kvl::PropertyDef &def, const char *text) {
    for (size_t i = 0; i < def.words.size(); ++i) {
        const std::string_view word = def.words[i];
        const bool same = def.exactCase ? text == word
                                        : OxsStringNICmp(text, word.data(), word.size()) == 0 &&
                                              text[word.size()] == '\0';
        if (same) return static_cast<int64_t>(i);
    }
    return -1;
}

// Closes a handler's output before a change that needs it closed.
void closeOutput(KvlObject *object) {
    if (kvlObjectIsKind(object, KVL_KIND_HANDLER) && object->klass->close != nullptr)
        object->klass->close(object);
}

}  // namespace

namespace kvl {

const PropertyDef *findProperty(const PropertyTable &table, std::string_view name) {
    for (const PropertyTable *at = &table; at != nullptr; at = at->base)
        for (const PropertyDef &def : at->properties)
            if (def.name == name) return &def;
    return nullptr;
}

PropertyValue readProperty(const PropertyDef &def, const char *text) {
    PropertyValue value;
    value.text = text;
    if (text == nullptr) {
        // An absent level stands for none: the logger accepts everything.
        if (def.kind == PropertyKind::kLevel) value.integer = KVL_LEVEL_NONE;
        return value;
    }
    unsigned char ok = 0;
    switch (def.kind) {
        case PropertyKind::kInteger:
            value.integer = kvlPropStrToInt32(text, &ok);
            value.readable = ok == 1;
            break;
        case PropertyKind::kLong:
            value.integer = kvlPropStrToInt64(text, &ok);
            value.readable = ok == 1;
            break;
        case PropertyKind::kFraction:
            value.fraction = kvlPropStrToFloat64(text, &ok);
            value.readable = ok == 1;
            break;
        case PropertyKind::kBoolean:
            value.integer = kvlPropStrToBool(text, &ok);
            value.readable = ok == 1;
            break;
        case PropertyKind::kPermission: {
            int32_t mode = 0;
            value.readable = readNumber(text, mode, kPermissionRule);
            value.integer = mode;
            break;
        }
        case PropertyKind::kLevel:
            value.integer = KvlGetLevelFromString(text);
            value.readable = value.integer != KVL_LEVEL_NONE;
            break;
        case PropertyKind::kEnumeration:
            value.integer = wordIndex(def, text);
            value.readable = value.integer >= 0;
            break;
        default:  // the text kinds
            value.readable = true;
    }
    return value;
}

void configure(KvlObject *object, const char *name, const PropertyTable &table) {
    KVL_ASSERT_LOCKED();
    if (object == nullptr || object->klass == nullptr || name == nullptr) return;
    const PropertyDef *def = findProperty(table, name);
    if (def == nullptr || def->apply == nullptr) return;
    char *text = kvlIntlGetObjProp(object, name, nullptr);
    if (def->closes == Closes::kYes || (def->closes == Closes::kWhenPresent && text != nullptr))
        closeOutput(object);
    if (text != nullptr || def->whenAbsent != WhenAbsent::kKeeps) {
        std::string defaultText;
        const char *used = text;
        if (used == nullptr && def->whenAbsent == WhenAbsent::kDefault) {
            defaultText = def->defaultText;
            used = defaultText.c_str();
        }
        def->apply(object, readProperty(*def, used));
    }
    OxsMemoryFree(text);
}

const PropertyTable kNoProperties = {{}, nullptr};

}  // namespace kvl
