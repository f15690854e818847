// Reading a model: from a file through the toolkit's reader and log
// manager, or from live objects (check_model.h says why).

#include "check_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <set>

#include "KvlPropertyTable.h"
#include "KvlPropsFile.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"

namespace kvlcheck {

namespace {

// A property table's order: an existing key keeps its place.
struct OwnSettings {
    std::vector<std::string> order;
    std::map<std::string, Setting> byName;
    void put(const std::string &name, Setting setting) {
        if (byName.find(name) == byName.end()) order.push_back(name);
        byName[name] = std::move(setting);
    }
};

// The text of a string the toolkit handed out, freed.
std::string adopt(char *text) {
    std::string copy = text != nullptr ? text : "";
    OxsMemoryFree(text);
    return copy;
}

// The configuration's ancestors by the log manager's rule, nearest first
// (recording them as the manager does when it applies one).
std::vector<std::string> ancestorsOf(const std::string &name) {
    KvlApiLock lock;
    std::vector<std::string> chain;
    std::string at = name;
    while (lock) {
        KvlObjCfg *cfg = kvlIntlLogMgrGetCfg(at.c_str());
        if (cfg == nullptr) break;
        std::string parent = adopt(kvlLogMgrGetParentConfigName(cfg));
        kvlIntlReleaseObjCfg(cfg);
        if (parent.empty() || parent == "/" ||
            std::find(chain.begin(), chain.end(), parent) != chain.end())
            break;
        chain.push_back(parent);
        at = parent;
    }
    return chain;
}

// Whether the configuration of that name sets the property itself.
bool configurationSets(const std::string &name, const std::string &property) {
    if (KvlLogMgrHasCfg(name.c_str()) != 1) return false;
    KvlObjCfg *cfg = KvlLogMgrGetCfg(name.c_str());
    KvlStringToStringMap *own = nullptr;
    {
        KvlApiLock lock;
        if (lock && cfg != nullptr) own = cfg->properties;
    }
    const bool sets = KvlStringToStringMapHasKey(own, property.c_str()) == 1;
    KvlReleaseObjCfg(cfg);
    return sets;
}

// The key a live object's property came from: its own configuration's or
// the object's own, else the nearest dotted ancestor configuration's that
// sets it (so a property meant for the ancestor's class is seen as such).
std::string sourceKey(const std::string &name, const std::string &property) {
    if (!configurationSets(name, property))
        for (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0;
             dot = name.rfind('.', dot - 1)) {
            const std::string ancestor = name.substr(0, dot);
            if (configurationSets(ancestor, property)) return ancestor + "." + property;
        }
    return name + "." + property;
}

const KvlObjClass *classNamed(const std::string &name) {
    KvlApiLock lock;
    return lock ? kvlToolkitGetClassDef(name.c_str()) : nullptr;
}

// What an object is given from its configuration and its ancestors':
// theirs first, farthest first, so its own values are the ones that stay.
void settle(Object &object, const Configuration &configuration,
            const std::map<std::string, OwnSettings> &own) {
    uint32_t order = 0;
    std::vector<std::string> applied(configuration.chain.rbegin(), configuration.chain.rend());
    applied.push_back(configuration.name);
    for (const std::string &name : applied) {
        const auto found = own.find(name);
        if (found == own.end()) continue;
        for (const std::string &property : found->second.order) {
            Setting setting = found->second.byName.at(property);
            setting.order = order++;
            object.settings[property] = std::move(setting);
        }
    }
}

// Loggers, filters and handlers have listeners (a handler passes each
// event on to its own after writing it); formatters have none. A handler
// whose class reads no "formatterName" (the asynchronous one: it formats
// with its target's) shows none.
void linkObject(Object &object) {
    const Setting *names = object.find("listenerNames");
    if (names != nullptr && object.klass != nullptr && object.kind() != KVL_KIND_FORMATTER)
        object.listeners = splitNames(names->value);
    const kvl::PropertyTable *table =
        object.klass != nullptr ? object.klass->internals.properties : nullptr;
    if (object.kind() == KVL_KIND_HANDLER && table != nullptr &&
        kvl::findProperty(*table, "formatterName") != nullptr) {
        const Setting *formatter = object.find("formatterName");
        object.formatter = formatter != nullptr ? formatter->value : KVL_DEFAULT_FORMATTER_NAME;
    }
}

}  // namespace

const Setting *Object::find(const std::string &property) const {
    const auto found = settings.find(property);
    return found != settings.end() ? &found->second : nullptr;
}

const Setting *Object::last(std::initializer_list<const char *> names) const {
    const Setting *last = nullptr;
    for (const char *property : names)
        if (const Setting *setting = find(property))
            if (last == nullptr || setting->order > last->order) last = setting;
    return last;
}

const char *kindWord(int32_t kind) {
    switch (kind) {
        case KVL_KIND_LOGGER:
            return "logger";
        case KVL_KIND_FILTER:
            return "filter";
        case KVL_KIND_HANDLER:
            return "handler";
        case KVL_KIND_FORMATTER:
            return "formatter";
    }
    return "unknown";
}

int32_t Object::line() const {
    const Setting *own = find("className");
    return own != nullptr ? own->line : 0;
}

const Object *Model::object(const std::string &name) const {
    for (const Object &object : objects)
        if (object.name == name) return &object;
    return nullptr;
}

const Configuration *Model::configuration(const std::string &name) const {
    for (const Configuration &configuration : configurations)
        if (configuration.name == name) return &configuration;
    return nullptr;
}

void Model::add(int32_t line, std::string key, Severity severity, std::string message) {
    findings.push_back({file, line, std::move(key), severity, std::move(message)});
}

std::vector<std::string> splitNames(const std::string &text) {
    std::vector<std::string> names;
    size_t at = 0;
    constexpr const char *kBlanks = " \t\r\n\f\v";
    while ((at = text.find_first_not_of(kBlanks, at)) != std::string::npos) {
        const size_t end = text.find_first_of(kBlanks, at);
        names.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return names;
}

Model readFileModel(const std::string &path) {
    Model model;
    model.file = path;
    std::vector<std::string> names;
    std::map<std::string, OwnSettings> own;
    const kvl::PropsSink sink = [&](const kvl::PropsPair &pair) {
        std::string_view configuration, property;
        const kvl::PropsError split = kvl::splitConfigKey(pair.key, configuration, property);
        if (split != kvl::PropsError::kNone) return split;
        const std::string name(configuration), key(property), value(pair.value);
        {
            KvlApiLock lock;
            if (!lock || kvlLogMgrAddCfgFromFile(name.c_str(), key.c_str(), value.c_str()) != 1)
                return kvl::PropsError::kNoMemory;
        }
        if (own.find(name) == own.end()) names.push_back(name);
        own[name].put(key, {value, std::string(pair.key), pair.line, 0});
        return kvl::PropsError::kNone;
    };
    kvl::PropsFailure failure;
    if (!kvl::readPropsFile(path.c_str(), sink, failure)) {
        const std::string reason(kvl::propsErrorText(failure.error));
        if (failure.error == kvl::PropsError::kCannotOpen ||
            failure.error == kvl::PropsError::kCannotRead) {
            model.unreadable = true;
            model.add(0, "", Severity::kError, reason + ": " + std::strerror(failure.errnum));
            return model;
        }
        model.add(failure.line, failure.key, Severity::kError,
                  "the toolkit rejects the file here (" + reason +
                      "); opening the toolkit with it fails with KVL0051E");
    }
    for (const std::string &name : names) {
        Configuration configuration{name, ancestorsOf(name), own[name].byName};
        Object object;
        object.name = name;
        settle(object, configuration, own);
        if (const Setting *className = object.find("className")) {
            object.className = className->value;
            object.klass = classNamed(object.className);
            object.parent = configuration.chain.empty() ? "" : configuration.chain.front();
            linkObject(object);
            model.objects.push_back(std::move(object));
        }
        model.configurations.push_back(std::move(configuration));
    }
    return model;
}

Model liveModel(const std::string &label, const std::vector<KvlObject *> &loggers) {
    Model model;
    model.file = label;
    model.live = true;
    std::set<std::string> seen;
    std::deque<KvlObject *> pending;
    for (KvlObject *logger : loggers)
        if (logger != nullptr) pending.push_back(KvlAcquireObject(logger));
    while (!pending.empty()) {
        KvlObject *live = pending.front();
        pending.pop_front();
        Object object;
        object.name = adopt(KvlGetObjectName(live));
        if (!seen.insert(object.name).second) {
            KvlReleaseObject(live);
            continue;
        }
        KvlObject *formatter = nullptr;
        KvlStringToStringMap *properties = nullptr;
        {
            KvlApiLock lock;
            object.klass = live->klass;
            object.className = live->klass != nullptr ? live->klass->name : "";
            formatter = kvlIntlAcquireObject(live->formatter);
            properties = live->properties;
        }
        uint32_t order = 0;
        for (KvlStringToStringMapIter it = KvlStringToStringMapIterator(properties);
             KvlStringToStringMapIterHasNext(it) == 1; it = KvlStringToStringMapIterNext(it)) {
            const std::string key = adopt(KvlStringToStringMapIterGetKey(it));
            object.settings[key] = {adopt(KvlStringToStringMapIterGetVal(it)),
                                    sourceKey(object.name, key), 0, order++};
        }
        for (KvlListenerGroupIter it = KvlGetListeners(live); KvlListenerGroupIterHasNext(it) == 1;
             it = KvlListenerGroupIterNext(it)) {
            KvlObject *listener = KvlListenerGroupIterGet(it);
            object.listeners.push_back(adopt(KvlGetObjectName(listener)));
            pending.push_back(listener);
        }
        if (formatter != nullptr) {
            object.formatter = adopt(KvlGetObjectName(formatter));
            pending.push_back(formatter);
        }
        model.objects.push_back(std::move(object));
        KvlReleaseObject(live);
    }
    return model;
}

}  // namespace kvlcheck
