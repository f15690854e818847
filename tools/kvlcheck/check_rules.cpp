// The rules of kvlcheck (check_rules.h). Each finding names the line and
// key it is about; a finding about an object with no one key (a handler
// without a file name) is put at the line that names its class.

#include "check_rules.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "KvlClasses.h"
#include "KvlLevels.h"
#include "KvlPropertyTable.h"
#include "OxsMemory.h"
#include "zil.h"

namespace kvlcheck {

namespace {

using kvl::PropertyDef;
using kvl::PropertyKind;

constexpr int32_t kLoggerStartLevel = 3000;  // a logger's level before any is set

const kvl::PropertyTable *tableOf(const Object &object) {
    return object.klass != nullptr ? object.klass->internals.properties : nullptr;
}

const PropertyDef *definition(const Object &object, const std::string &property) {
    const kvl::PropertyTable *table = tableOf(object);
    return table != nullptr ? kvl::findProperty(*table, property) : nullptr;
}

std::vector<std::string> propertyNames(const kvl::PropertyTable &table) {
    std::vector<std::string> names;
    for (const kvl::PropertyTable *at = &table; at != nullptr; at = at->base)
        for (const PropertyDef &def : at->properties)
            if (std::find(names.begin(), names.end(), def.name) == names.end())
                names.emplace_back(def.name);
    return names;
}

std::vector<std::string> classNames() {
    std::vector<std::string> names;
    for (auto iterate :
         {KvlGetLoggerClasses, KvlGetFilterClasses, KvlGetHandlerClasses, KvlGetFormatterClasses})
        for (KvlStringGroupIter it = iterate(); KvlStringGroupIterHasNext(it) == 1;
             it = KvlStringGroupIterNext(it)) {
            char *name = KvlStringGroupIterGet(it);
            if (name != nullptr) names.emplace_back(name);
            OxsMemoryFree(name);
        }
    return names;
}

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

std::string suggestion(const std::string &word, const std::vector<std::string> &candidates) {
    const std::string near = nearest(word, candidates);
    return near.empty() ? "" : "; did you mean " + quoted(near) + "?";
}

std::string levelWords() {
    std::string words;
    for (const kvl::LevelWord &w : kvl::kLevelWords)
        words += (words.empty() ? "" : ", ") + std::string(w.word);
    return words + " or a number";
}

// What a value of the kind must be, for a finding.
std::string expected(const PropertyDef &def) {
    switch (def.kind) {
        case PropertyKind::kInteger:
            return "a whole number";
        case PropertyKind::kLong:
            return "a whole number";
        case PropertyKind::kFraction:
            return "a decimal number";
        case PropertyKind::kBoolean:
            return "\"true\" or \"false\"";
        case PropertyKind::kPermission:
            return "up to four octal digits";
        case PropertyKind::kLevel:
            return "a level (" + levelWords() + ")";
        case PropertyKind::kEnumeration: {
            std::string words;
            for (std::string_view word : def.words)
                words += (words.empty() ? "" : ", ") + quoted(std::string(word));
            return "one of " + words + (def.exactCase ? " (in capitals)" : "");
        }
        default:
            return "text";
    }
}

bool codesetOpens(const std::string &name) {
    uc_ch_t *handle = zil_cs_new(name.c_str());
    if (handle == nullptr) return false;
    zil_cs_free(handle);
    return true;
}

int32_t levelOf(const Object &object) {
    const Setting *level = object.find("level");
    if (level == nullptr) return kLoggerStartLevel;
    const PropertyDef *def = definition(object, "level");
    return def != nullptr
               ? static_cast<int32_t>(kvl::readProperty(*def, level->value.c_str()).integer)
               : kLoggerStartLevel;
}

// Whether the setting was written on the object's own configuration.
bool isOwn(const Object &object, const std::string &property, const Setting &setting) {
    return setting.key == object.name + "." + property;
}

class Checker {
public:
    Checker(Model &model, bool strict) : model_(model), strict_(strict) {}

    void run() {
        const std::vector<std::string> classes = classNames();
        for (const Object &object : model_.objects) {
            if (object.klass == nullptr) {
                const Setting *className = object.find("className");
                model_.add(object.line(), className->key, Severity::kError,
                           "no class is named " + quoted(object.className) +
                               suggestion(object.className, classes));
                continue;
            }
            checkProperties(object);
            checkLinks(object);
            checkFile(object);
            if (strict_) noteDefaults(object);
        }
        checkParentsOnly();
        checkBlanks();
        checkReachable();
        checkFilterCycles();
        checkChildLevels();
        checkSharedFiles();
    }

private:
    void error(const Setting &at, std::string message) {
        model_.add(at.line, at.key, Severity::kError, std::move(message));
    }
    void warn(const Setting &at, std::string message) {
        model_.add(at.line, at.key, Severity::kWarning, std::move(message));
    }
    const Setting &classSetting(const Object &object) { return *object.find("className"); }

    bool programReads(const std::string &property) const {
        const auto &own = model_.programProperties;
        return std::find(own.begin(), own.end(), property) != own.end();
    }

    void checkProperties(const Object &object) {
        const kvl::PropertyTable *table = tableOf(object);
        if (table == nullptr) return;  // a class registered by a program: its reading is its own
        for (const auto &[property, setting] : object.settings) {
            // Inherited ones are meant for the ancestor's class; every object's
            // class is read when it is made.
            if (!isOwn(object, property, setting) || property == "className") continue;
            const PropertyDef *def = kvl::findProperty(*table, property);
            if (def == nullptr) {
                if (!programReads(property))
                    error(setting, "class " + quoted(object.className) + " reads no property " +
                                       quoted(property) +
                                       suggestion(property, propertyNames(*table)));
                continue;
            }
            checkValue(object, *def, setting);
        }
    }

    void checkValue(const Object &object, const PropertyDef &def, const Setting &setting) {
        if (def.kind == PropertyKind::kCodeset) {
            if (!setting.value.empty() && !codesetOpens(setting.value))
                error(setting, "the codeset library has no codeset named " + quoted(setting.value) +
                                   (*zil_get_dir() != '\0'
                                        ? " (its tables were looked for under ZILDIR=" +
                                              std::string(zil_get_dir()) + ")"
                                        : " (its tables were looked for in the installed data "
                                          "directory; ZILDIR names another)"));
            return;
        }
        if (!kvl::readProperty(def, setting.value.c_str()).readable)
            error(setting, quoted(setting.value) + " is not " + expected(def) + ": " +
                               quoted(object.name) + " " + consequence(def));
    }

    static std::string consequence(const PropertyDef &def) {
        return def.kind == PropertyKind::kLevel ? "lets every level through"
                                                : "keeps what it had before";
    }

    void checkLinks(const Object &object) {
        if (const Setting *names = object.find("listenerNames")) {
            if (names->value.find_first_of(",;") != std::string::npos)
                warn(*names,
                     "listener names are separated by blanks: commas and semicolons "
                     "become part of a name");
            for (const std::string &name : object.listeners)
                checkListener(object, *names, name);
            // Dotted names inherit "listenerNames" like any property: a
            // handler or filter under a logger's configuration passes every
            // event back to the logger's listeners.
            if (object.kind() != KVL_KIND_LOGGER && !isOwn(object, "listenerNames", *names))
                warn(classSetting(object),
                     kindWord(object.kind()) + std::string(" ") + quoted(object.name) +
                         " inherits \"listenerNames\" from " + quoted(names->key) +
                         ": it passes every event on to those listeners too (set its own, "
                         "empty if need be)");
        }
        const kvl::PropertyTable *table = tableOf(object);
        if (table == nullptr) return;
        for (const auto &[property, setting] : object.settings) {
            const PropertyDef *def = kvl::findProperty(*table, property);
            if (def == nullptr || def->kind != PropertyKind::kObject ||
                !isOwn(object, property, setting))
                continue;
            const int32_t wanted = property == "triggerFilter" ? KVL_KIND_FILTER
                                   : property == "targetName"  ? KVL_KIND_HANDLER
                                                               : KVL_KIND_FORMATTER;
            const Object *named = model_.object(setting.value);
            if (named == nullptr && setting.value != KVL_DEFAULT_FORMATTER_NAME)
                error(setting, quoted(setting.value) + " names no configured object");
            else if (named != nullptr && named->klass != nullptr && named->kind() != wanted)
                error(setting, quoted(setting.value) + " is a " + kindWord(named->kind()) +
                                   ", not a " + kindWord(wanted));
        }
    }

    void checkListener(const Object &object, const Setting &at, const std::string &name) {
        const Object *listener = model_.object(name);
        if (listener == nullptr) {
            error(at, quoted(name) +
                          " names no configured object: no class is given for it, "
                          "so nothing is delivered to it");
            return;
        }
        if (listener->klass == nullptr) return;  // reported at its class
        if (listener->kind() == KVL_KIND_LOGGER || listener->kind() == KVL_KIND_FORMATTER)
            error(at, quoted(name) + " is a " + kindWord(listener->kind()) + ": " +
                          kindWord(object.kind()) + "s deliver only to filters and handlers");
    }

    void checkFile(const Object &object) {
        const kvl::PropertyTable *table = tableOf(object);
        if (table == nullptr || kvl::findProperty(*table, "fileName") == nullptr) return;
        const Setting *fileName = object.find("fileName");
        if (fileName == nullptr) {
            error(classSetting(object),
                  "handler " + quoted(object.name) +
                      " has no \"fileName\": its records go to \"default.log\" in the "
                      "program's working directory");
            return;
        }
        if (kvlFHTrailingBaseDigit(fileName->value.c_str()) >= 0)
            warn(*fileName,
                 "the file name's base ends in a digit: the toolkit writes " +
                     quoted(
                         std::filesystem::path(fileSetPath(fileName->value)).filename().string()) +
                     " so that it is no backup number");
        const std::filesystem::path directory =
            std::filesystem::path(fileSetPath(fileName->value)).parent_path();
        std::error_code ignored;
        if (!model_.live && !std::filesystem::is_directory(directory, ignored)) {
            const Setting *mode = object.find("dirPermission");
            warn(*fileName, "the directory " + quoted(directory.string()) +
                                " does not exist: the handler will create it with mode " +
                                (mode != nullptr ? mode->value : "0771"));
        }
    }

    void noteDefaults(const Object &object) {
        const kvl::PropertyTable *table = tableOf(object);
        if (table == nullptr) return;
        for (const std::string &name : propertyNames(*table)) {
            const PropertyDef *def = kvl::findProperty(*table, name);
            if (def->apply == nullptr || object.find(name) != nullptr) continue;
            // Another name for the same setting ("maxFileBytes") counts as set.
            const auto alias = std::find_if(
                object.settings.begin(), object.settings.end(), [&](const auto &setting) {
                    const PropertyDef *other = kvl::findProperty(*table, setting.first);
                    return other != nullptr && other->apply == def->apply;
                });
            if (alias != object.settings.end()) continue;
            model_.add(object.line(), object.name + "." + name, Severity::kNote,
                       quoted(name) + " is left at its default" +
                           (def->defaultText.empty()
                                ? std::string(" (none)")
                                : " (" + quoted(std::string(def->defaultText)) + ")"));
        }
    }

    // A configuration without a class holds properties for the objects
    // below it: each must be read by one of them.
    void checkParentsOnly() {
        for (const Configuration &configuration : model_.configurations) {
            if (model_.object(configuration.name) != nullptr) continue;
            std::vector<const Object *> heirs;
            for (const Object &object : model_.objects) {
                const Configuration *own = model_.configuration(object.name);
                if (own != nullptr && std::find(own->chain.begin(), own->chain.end(),
                                                configuration.name) != own->chain.end())
                    heirs.push_back(&object);
            }
            for (const auto &[property, setting] : configuration.own) {
                if (heirs.empty()) {
                    if (!referenced(configuration.name))
                        warn(setting, "configuration " + quoted(configuration.name) +
                                          " has no \"className\" and no object inherits from it");
                    continue;
                }
                const bool read = std::any_of(heirs.begin(), heirs.end(), [&](const Object *heir) {
                    return tableOf(*heir) == nullptr || definition(*heir, property) != nullptr ||
                           programReads(property);
                });
                if (!read)
                    error(setting, "no object configured below " + quoted(configuration.name) +
                                       " reads " + quoted(property));
            }
        }
    }

    bool referenced(const std::string &name) const {
        return std::any_of(model_.objects.begin(), model_.objects.end(), [&](const Object &o) {
            return std::find(o.listeners.begin(), o.listeners.end(), name) != o.listeners.end();
        });
    }

    void checkBlanks() {
        for (const Configuration &configuration : model_.configurations)
            for (const auto &[property, setting] : configuration.own)
                if (property != "separator" && !setting.value.empty() &&
                    (setting.value.back() == ' ' || setting.value.back() == '\t'))
                    warn(setting, "the value ends in blanks, which are part of it");
    }

    std::vector<const Object *> linked(const Object &object) const {
        std::vector<const Object *> next;
        auto add = [&](const std::string &name) {
            if (const Object *found = model_.object(name)) next.push_back(found);
        };
        for (const std::string &name : object.listeners)
            add(name);
        if (!object.formatter.empty()) add(object.formatter);
        if (const Setting *trigger = object.find("triggerFilter")) add(trigger->value);
        if (const Setting *target = object.find("targetName")) add(target->value);  // asynchronous
        return next;
    }

    void checkReachable() {
        std::set<const Object *> reached;
        std::vector<const Object *> pending;
        for (const Object &object : model_.objects)
            if (object.kind() == KVL_KIND_LOGGER || object.klass == nullptr)
                pending.push_back(&object);
        while (!pending.empty()) {
            const Object *at = pending.back();
            pending.pop_back();
            if (!reached.insert(at).second) continue;
            for (const Object *next : linked(*at))
                pending.push_back(next);
        }
        for (const Object &object : model_.objects)
            if (reached.count(&object) == 0)
                warn(classSetting(object), kindWord(object.kind()) + std::string(" ") +
                                               quoted(object.name) +
                                               " is configured but reachable from no logger");
    }

    void checkFilterCycles() {
        std::set<const Object *> reported;
        for (const Object &start : model_.objects) {
            if (start.kind() != KVL_KIND_FILTER) continue;
            // Depth-first along filter listeners, looking for the way back.
            std::set<const Object *> visited;
            std::function<bool(const Object &)> returns = [&](const Object &at) {
                for (const std::string &name : at.listeners) {
                    const Object *next = model_.object(name);
                    if (next == nullptr || next->kind() != KVL_KIND_FILTER) continue;
                    if (next == &start) return true;
                    if (visited.insert(next).second && returns(*next)) return true;
                }
                return false;
            };
            if (returns(start) && reported.insert(&start).second)
                warn(*start.find("listenerNames"),
                     "filter " + quoted(start.name) +
                         " is in a cycle of filters: the toolkit delivers each event along it "
                         "once");
        }
    }

    void checkChildLevels() {
        for (const Object &child : model_.objects) {
            if (child.kind() != KVL_KIND_LOGGER || !child.listeners.empty()) continue;
            const Object *parent = model_.object(child.parent);
            if (parent == nullptr || parent->kind() != KVL_KIND_LOGGER) continue;
            const Setting *level = child.find("level");
            if (level != nullptr && levelOf(child) < levelOf(*parent))
                warn(*level, "logger " + quoted(child.name) + " has a lower level than " +
                                 quoted(parent->name) +
                                 " but no listeners: loggers do not pass events to their "
                                 "parents, so its events are dropped");
        }
    }

    void checkSharedFiles() {
        std::map<std::string, const Object *> writers;
        for (const Object &object : model_.objects) {
            const Setting *fileName = object.find("fileName");
            if (fileName == nullptr || definition(object, "fileName") == nullptr) continue;
            const auto [at, added] = writers.emplace(fileSetPath(fileName->value), &object);
            if (!added)
                error(*fileName, "handlers " + quoted(at->second->name) + " and " +
                                     quoted(object.name) +
                                     " write the same file set: each rolls it over on its own "
                                     "and their records overwrite each other's backups");
        }
    }

    Model &model_;
    bool strict_;
};

std::string lower(std::string text) {
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

size_t distance(const std::string &a, const std::string &b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string nearest(const std::string &word, const std::vector<std::string> &candidates) {
    std::string best;
    size_t bestDistance = 0;
    for (const std::string &candidate : candidates) {
        const size_t d = distance(lower(word), lower(candidate));
        if (best.empty() || d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return !best.empty() && bestDistance <= std::max<size_t>(2, word.size() / 3) ? best : "";
}

std::string fileSetPath(const std::string &fileName) {
    const std::string name = kvl::markedFileName(fileName);
    std::error_code ignored;
    std::filesystem::path path = std::filesystem::absolute(name, ignored);
    return path.lexically_normal().string();
}

void checkModel(Model &model, bool strict) {
    Checker(model, strict).run();
    std::stable_sort(model.findings.begin(), model.findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
    // A setting inherited by several objects is reported once at its line.
    const auto same = [](const Finding &a, const Finding &b) {
        return a.line == b.line && a.key == b.key && a.severity == b.severity &&
               a.message == b.message;
    };
    std::vector<Finding> unique;
    for (Finding &finding : model.findings)
        if (std::none_of(unique.begin(), unique.end(),
                         [&](const Finding &kept) { return same(kept, finding); }))
            unique.push_back(std::move(finding));
    model.findings = std::move(unique);
}

void checkAcross(std::vector<Model> &models) {
    struct Writer {
        Model *model;
        const Object *object;
    };
    std::map<std::string, std::vector<Writer>> byFile;
    for (Model &model : models)
        for (const Object &object : model.objects) {
            const Setting *fileName = object.find("fileName");
            if (fileName != nullptr && definition(object, "fileName") != nullptr)
                byFile[fileSetPath(fileName->value)].push_back({&model, &object});
        }
    for (auto &[path, writers] : byFile) {
        for (size_t i = 1; i < writers.size(); ++i) {
            const Writer &first = writers[0], &later = writers[i];
            if (first.model == later.model) continue;  // one program's: checked with it
            const Setting &at = *later.object->find("fileName");
            const bool bothShared = first.object->className == "kvl_multiproc_filehandler" &&
                                    later.object->className == "kvl_multiproc_filehandler";
            if (!bothShared) {
                later.model->add(at.line, at.key, Severity::kError,
                                 "the file set is also written by " + quoted(first.object->name) +
                                     " of " + first.model->file +
                                     ": only multi-process handlers may share one");
                continue;
            }
            struct Agreed {
                const char *what;
                std::initializer_list<const char *> names;
            };
            for (const Agreed &rule : {Agreed{"MPFileSemKey", {"MPFileSemKey"}},
                                       Agreed{"maxFileSize", {"maxFileSize", "maxFileBytes"}},
                                       Agreed{"maxFiles", {"maxFiles"}}}) {
                const Setting *a = first.object->last(rule.names);
                const Setting *b = later.object->last(rule.names);
                const std::string fallback(definition(*first.object, rule.what)->defaultText);
                const std::string va = a != nullptr ? a->value : fallback;
                const std::string vb = b != nullptr ? b->value : fallback;
                if (va != vb)
                    later.model->add(b != nullptr ? b->line : at.line,
                                     b != nullptr ? b->key : at.key, Severity::kError,
                                     std::string(rule.what) + " " + quoted(vb) + " differs from " +
                                         quoted(va) + " of " + quoted(first.object->name) + " in " +
                                         first.model->file + ", which shares the file set");
            }
        }
    }
}

}  // namespace kvlcheck
