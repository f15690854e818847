// Object configurations and the log manager.
//
// A configuration's parent is found from its dotted name among the
// registered configurations ("a.b.c" under "a.b" if registered, else "a")
// and remembered once found; inherited lookups follow only remembered
// parents. A configuration is applied to its object once, at creation,
// ancestors first, so the object's own value is the one that stays.

#include <cstring>
#include <string>

#include "KvlContainer.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "KvlTypedProps.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

struct ConfigurationValue {
    using In = KvlObjCfg *;
    using Out = KvlObjCfg *;
    using Stored = KvlObjCfg *;
    using Borrowed = KvlObjCfg *;
    [[maybe_unused]] static constexpr bool kNullAllowed = false;
    static bool takeIn(In value, Stored &stored) noexcept {
        stored = kvlIntlAcquireObjCfg(value);
        return true;
    }
    static Out handOut(Stored stored) noexcept { return kvlIntlAcquireObjCfg(stored); }
    static In asIn(Stored stored) noexcept { return stored; }
    static void dispose(Stored stored) noexcept { kvlIntlReleaseObjCfg(stored); }
    static bool equal(Stored stored, In value) noexcept { return stored == value; }
};

bool managerReady = false;                // KVL_TK_LOG_MGR_INITIALIZED
KvlStringToObjCfgMap *configs = nullptr;  // KVL_TK_CFG_DATA
KvlStringGroup *configNames = nullptr;    // KVL_TK_CFG_NAMES

bool isRoot(const char *name) { return name != nullptr && std::strcmp(name, "/") == 0; }

void addChild(KvlObjCfg *parent, KvlObjCfg *child) {
    if (parent == nullptr || child == nullptr) return;
    if (parent->children == nullptr) parent->children = kvlIntlAllocStringGroup();
    kvlIntlStringGroupAdd(parent->children, child->name);
    KvlObjCfgSetParent(child, parent);
}

// The parent recorded for `cfg`, from the manager (acquired), or null.
KvlObjCfg *recordedParent(KvlObjCfg *cfg) {
    if (cfg == nullptr || cfg->parentName == nullptr || isRoot(cfg->parentName)) return nullptr;
    return kvlIntlLogMgrGetCfg(cfg->parentName);
}

void registerName(KvlObjCfg *cfg) {
    if (kvlIntlStringToObjCfgMapPut(configs, cfg->name, cfg) == 0) return;
    char *parentName = kvlLogMgrGetParentConfigName(cfg);
    KvlObjCfg *parent = isRoot(parentName) ? nullptr : kvlIntlLogMgrGetCfg(parentName);
    OxsMemoryFree(parentName);
    if (parent != nullptr) {
        KvlObjCfgSetParent(cfg, parent);
        // Children of the parent whose nearest registered ancestor is now
        // `cfg` move under it.
        for (auto it = kvlIntlStringGroupIterator(parent->children); it != nullptr;) {
            char *childName = kvlIntlStringGroupIterGet(it);
            KvlObjCfg *child = kvlIntlLogMgrGetCfg(childName);
            char *childParent = kvlLogMgrGetParentConfigName(child);
            if (child != nullptr && OxsStringCmp(childParent, parent->name) != 0) {
                it = kvlIntlStringGroupIterRem(it);
                addChild(cfg, child);
            } else {
                it = kvlIntlStringGroupIterNext(it);
            }
            OxsMemoryFree(childParent);
            OxsMemoryFree(childName);
            kvlIntlReleaseObjCfg(child);
        }
        addChild(parent, cfg);
        kvlIntlReleaseObjCfg(parent);
    }
    kvlIntlStringGroupAdd(configNames, cfg->name);
}

// Applies the configuration of `name`, its ancestors' first. Recorded
// parents may have been set by hand into a loop: the depth bounds it.
int applyConfiguration(KvlObject *object, const char *name, int depth) {
    if (object == nullptr || depth > 100) return 0;
    KvlObjCfg *cfg = kvlIntlLogMgrGetCfg(name);
    if (cfg == nullptr) return 0;
    char *parentName = kvlLogMgrGetParentConfigName(cfg);
    if (!isRoot(parentName)) applyConfiguration(object, parentName, depth + 1);
    OxsMemoryFree(parentName);
    for (auto it = kvlIntlStringToStringMapIterator(cfg->properties); it != nullptr;
         it = kvlIntlStringToStringMapIterNext(it)) {
        char *property = kvlIntlStringToStringMapIterGetKey(it);
        char *value = kvlIntlStringToStringMapIterGetVal(it);
        kvlIntlSetObjProp(object, property, value);
        OxsMemoryFree(property);
        OxsMemoryFree(value);
    }
    kvlIntlReleaseObjCfg(cfg);
    return 1;
}

}  // namespace

KVL_DEFINE_MAP(StringToObjCfgMap, ConfigurationValue)

extern "C" {

KvlObjCfg *kvlIntlAllocObjCfg(const char *name) noexcept {
    if (name == nullptr) return nullptr;
    auto *cfg = static_cast<KvlObjCfg *>(OxsMemoryCalloc(1, sizeof(KvlObjCfg)));
    char *copy = OxsStringDup(name);
    if (cfg == nullptr || copy == nullptr) {
        OxsMemoryFree(cfg);
        OxsMemoryFree(copy);
        return nullptr;
    }
    cfg->refCount = 1;
    cfg->name = copy;
    return cfg;
}

KvlObjCfg *kvlIntlAcquireObjCfg(KvlObjCfg *cfg) noexcept {
    if (cfg != nullptr) ++cfg->refCount;
    return cfg;
}

void kvlIntlReleaseObjCfg(KvlObjCfg *cfg) noexcept {
    if (cfg == nullptr || cfg->refCount == 0 || --cfg->refCount != 0) return;
    OxsMemoryFree(cfg->name);
    OxsMemoryFree(cfg->parentName);
    kvlIntlFreeStringGroup(cfg->children);
    kvlIntlFreeStringToStringMap(cfg->properties);
    OxsMemoryFree(cfg);
}

char *kvlIntlGetInheritedObjCfgProp(KvlObjCfg *cfg, const char *name,
                                    unsigned char *found) noexcept {
    if (found != nullptr) *found = 0;
    // Each configuration is visited once: a recorded parent chain that loops
    // ends the lookup.
    KvlObjCfg *current = kvlIntlAcquireObjCfg(cfg);
    for (int depth = 0; current != nullptr && depth < 1000; ++depth) {
        unsigned char here = 0;
        char *value = KvlGetMapProp(current->properties, name, &here);
        if (here == 1) {
            if (found != nullptr) *found = 1;
            kvlIntlReleaseObjCfg(current);
            return value;
        }
        KvlObjCfg *parent = recordedParent(current);
        kvlIntlReleaseObjCfg(current);
        current = parent;
    }
    kvlIntlReleaseObjCfg(current);
    return nullptr;
}

void kvlIntlSetObjCfgProp(KvlObjCfg *cfg, const char *name, const char *value) noexcept {
    if (cfg == nullptr || name == nullptr) return;
    if (cfg->properties == nullptr) cfg->properties = kvlIntlAllocStringToStringMap();
    kvlIntlStringToStringMapPut(cfg->properties, name, value);
}

char *kvlLogMgrGetParentConfigName(KvlObjCfg *cfg) noexcept {
    if (cfg == nullptr) return nullptr;
    if (cfg->parentName != nullptr) return OxsStringDup(cfg->parentName);
    std::string name = cfg->name;
    for (size_t dot; (dot = name.rfind('.')) != std::string::npos;) {
        name.resize(dot);
        if (kvlIntlLogMgrHasCfg(name.c_str()) == 1) {
            cfg->parentName = OxsStringDup(name.c_str());
            return OxsStringDup(name.c_str());
        }
    }
    return OxsStringDup("/");
}

void kvlIntlLogMgrAddCfg(KvlObjCfg *cfg) noexcept {
    KVL_ASSERT_LOCKED();
    if (!managerReady || cfg == nullptr || cfg->name == nullptr ||
        kvlIntlLogMgrHasCfg(cfg->name) == 1)
        return;
    registerName(cfg);
}

void kvlIntlLogMgrRemCfg(KvlObjCfg *cfg) noexcept {
    KVL_ASSERT_LOCKED();
    if (cfg == nullptr || kvlIntlLogMgrHasCfg(cfg->name) == 0) return;
    kvlIntlAcquireObjCfg(cfg);  // kept while it is taken apart
    kvlIntlStringToObjCfgMapRem(configs, cfg->name);
    KvlObjCfg *parent = recordedParent(cfg);
    if (parent != nullptr) kvlIntlStringGroupRem(parent->children, cfg->name);
    for (auto it = kvlIntlStringGroupIterator(cfg->children); it != nullptr;) {
        char *childName = kvlIntlStringGroupIterGet(it);
        KvlObjCfg *child = kvlIntlLogMgrGetCfg(childName);
        it = kvlIntlStringGroupIterRem(it);
        addChild(parent, child);
        kvlIntlReleaseObjCfg(child);
        OxsMemoryFree(childName);
    }
    kvlIntlReleaseObjCfg(parent);
    kvlIntlStringGroupRem(configNames, cfg->name);
    kvlIntlReleaseObjCfg(cfg);
}

KvlObjCfg *kvlIntlLogMgrGetCfg(const char *name) noexcept {
    KVL_ASSERT_LOCKED();
    if (name == nullptr || isRoot(name) || !managerReady) return nullptr;
    if (KvlObjCfg *found = kvlIntlStringToObjCfgMapGet(configs, name)) return found;
    KvlObjCfg *cfg = kvlIntlAllocObjCfg(name);
    kvlIntlLogMgrAddCfg(cfg);
    return cfg;
}

int kvlIntlLogMgrHasCfg(const char *name) noexcept {
    KVL_ASSERT_LOCKED();
    return kvlIntlStringToObjCfgMapHasKey(configs, name);
}

int kvlIntlLogMgrApplyCfg(KvlObject *object, const char *name) noexcept {
    KVL_ASSERT_LOCKED();
    return applyConfiguration(object, name, 0);
}
int kvlLogMgrAddCfgFromFile(const char *cfgName, const char *propName, const char *value) noexcept {
    if (cfgName == nullptr || propName == nullptr || value == nullptr || *cfgName == '\0' ||
        *propName == '\0')
        return 0;
    const bool registered = kvlIntlLogMgrHasCfg(cfgName) == 1;
    KvlObjCfg *cfg = kvlIntlLogMgrGetCfg(cfgName);
    if (cfg == nullptr) return 0;
    kvlIntlSetObjCfgProp(cfg, propName, value);
    if (!registered) cfg->fromFile = 1;
    kvlIntlReleaseObjCfg(cfg);
    return 1;
}

void kvlInitLogMgr(void) noexcept {
    if (managerReady) return;
    configNames = kvlIntlAllocStringGroup();
    configs = kvlIntlAllocStringToObjCfgMap();
    managerReady = configNames != nullptr && configs != nullptr;
}

void kvlCloseLogMgr(void) noexcept {
    kvlIntlFreeStringToObjCfgMap(configs);
    kvlIntlFreeStringGroup(configNames);
    configs = nullptr;
    configNames = nullptr;
    managerReady = false;
}

KvlObjCfg *KvlAllocObjCfg(const char *name) noexcept KVL_LOCKED(nullptr, kvlIntlAllocObjCfg(name))
KvlObjCfg *KvlAcquireObjCfg(KvlObjCfg *cfg) noexcept KVL_LOCKED(nullptr, kvlIntlAcquireObjCfg(cfg))
void KvlReleaseObjCfg(KvlObjCfg *cfg) noexcept KVL_LOCKED(, kvlIntlReleaseObjCfg(cfg))
char *KvlObjCfgGetName(KvlObjCfg *cfg) noexcept
    KVL_LOCKED(nullptr, cfg != nullptr ? OxsStringDup(cfg->name) : nullptr)
int KvlObjCfgIsFromFile(KvlObjCfg *cfg) noexcept KVL_LOCKED(0, cfg != nullptr ? cfg->fromFile : 0)
void KvlObjCfgSetFromFile(KvlObjCfg *cfg, int fromFile) noexcept {
    KvlApiLock lock;
    if (lock && cfg != nullptr) cfg->fromFile = static_cast<unsigned char>(fromFile);
}
KvlObjCfg *KvlObjCfgGetParent(KvlObjCfg *cfg) noexcept KVL_LOCKED(nullptr, recordedParent(cfg))

// Records the parent's name; a different name recorded earlier is replaced
// (a configuration moved to another parent must not keep the old name).
void KvlObjCfgSetParent(KvlObjCfg *cfg, KvlObjCfg *parent) noexcept {
    if (cfg == nullptr || parent == nullptr || OxsStringCmp(cfg->parentName, parent->name) == 0)
        return;
    char *copy = OxsStringDup(parent->name);
    if (copy == nullptr) return;
    OxsMemoryFree(cfg->parentName);
    cfg->parentName = copy;
}

void KvlObjCfgAddChild(KvlObjCfg *parent, KvlObjCfg *child) noexcept {
    KvlApiLock lock;
    if (lock) addChild(parent, child);
}
void KvlObjCfgRemChild(KvlObjCfg *parent, KvlObjCfg *child) noexcept {
    KvlApiLock lock;
    if (lock && parent != nullptr && child != nullptr)
        kvlIntlStringGroupRem(parent->children, child->name);
}
KvlStringGroupIter KvlObjCfgChildrenNames(KvlObjCfg *cfg) noexcept
    KVL_LOCKED(nullptr, kvlIntlStringGroupIterator(cfg != nullptr ? cfg->children : nullptr))
char *KvlGetInheritedObjCfgProp(KvlObjCfg *cfg, const char *name, unsigned char *found) noexcept
    KVL_LOCKED(nullptr, kvlIntlGetInheritedObjCfgProp(cfg, name, found))
char *KvlGetObjCfgProp(KvlObjCfg *cfg, const char *name, unsigned char *found) noexcept {
    return KvlGetInheritedObjCfgProp(cfg, name, found);
}

void KvlSetObjCfgProp(KvlObjCfg *cfg, const char *name, const char *value) noexcept
    KVL_LOCKED(, kvlIntlSetObjCfgProp(cfg, name, value))

// Typed: a getter reads the inherited text, a setter stores the text on
// this configuration (KvlTypedProps.h).
// clang-format off (a list of macro uses; clang-format runs them together)
#define KVL_CFG_TYPED(Type, Name)                                                                  \
    Type KvlGetObjCfgProp##Name(KvlObjCfg *cfg, const char *name, unsigned char *ok) noexcept {    \
        return kvl::getTyped<kvl::Typed::k##Name>(                                                 \
            [cfg](const char *key) { return KvlGetInheritedObjCfgProp(cfg, key, nullptr); }, name, \
            ok);                                                                                   \
    }                                                                                              \
    void KvlSetObjCfgProp##Name(KvlObjCfg *cfg, const char *name, Type value) noexcept {           \
        kvl::setTyped<kvl::Typed::k##Name>(                                                        \
            [cfg](const char *key, const char *text) { KvlSetObjCfgProp(cfg, key, text); }, name,  \
            value);                                                                                \
    }
KVL_TYPED_PROPERTY_TYPES(KVL_CFG_TYPED)
#undef KVL_CFG_TYPED
// clang-format on

KvlStringToStringMapIter KvlObjCfgProperties(KvlObjCfg *cfg) noexcept
    KVL_LOCKED(nullptr,
               kvlIntlStringToStringMapIterator(cfg != nullptr ? cfg->properties : nullptr))

void KvlLogMgrAddCfg(KvlObjCfg *cfg) noexcept KVL_LOCKED(, kvlIntlLogMgrAddCfg(cfg))
void KvlLogMgrRemCfg(KvlObjCfg *cfg) noexcept KVL_LOCKED(, kvlIntlLogMgrRemCfg(cfg))
void KvlLogMgrUpdateCfg(KvlObjCfg *cfg) noexcept {
    KvlApiLock lock;
    if (!lock || cfg == nullptr || kvlIntlLogMgrHasCfg(cfg->name) == 0) return;
    kvlIntlAcquireObjCfg(cfg);
    kvlIntlLogMgrRemCfg(cfg);
    kvlIntlLogMgrAddCfg(cfg);
    kvlIntlReleaseObjCfg(cfg);
}
KvlObjCfg *KvlLogMgrGetCfg(const char *name) noexcept KVL_LOCKED(nullptr, kvlIntlLogMgrGetCfg(name))
int KvlLogMgrHasCfg(const char *name) noexcept KVL_LOCKED(0, kvlIntlLogMgrHasCfg(name))
KvlStringGroupIter KvlLogMgrConfigNames(void) noexcept
    KVL_LOCKED(nullptr, kvlIntlStringGroupIterator(configNames))
int KvlLogMgrApplyCfg(KvlObject *object, const char *name) noexcept
    KVL_LOCKED(0, kvlIntlLogMgrApplyCfg(object, name))

}  // extern "C"
