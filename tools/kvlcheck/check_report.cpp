// kvlcheck's output (check_report.h).

#include "check_report.h"

#include <set>

#include "KvlPropertyTable.h"
#include "KvlUtf8.h"
#include "check_rules.h"

namespace kvlcheck {

namespace {

const char *severityWord(Severity severity) {
    switch (severity) {
        case Severity::kError:
            return "error";
        case Severity::kWarning:
            return "warning";
        case Severity::kNote:
            return "note";
    }
    return "";
}

// The value that stays of a setting written under any of `names`; else
// `fallback`, or the class's default when that is null.
std::string valueOr(const Object &object, std::initializer_list<const char *> names,
                    const char *fallback = nullptr) {
    if (const Setting *last = object.last(names)) return last->value;
    if (fallback != nullptr) return fallback;
    const kvl::PropertyTable *table =
        object.klass != nullptr ? object.klass->internals.properties : nullptr;
    const kvl::PropertyDef *def =
        table != nullptr ? kvl::findProperty(*table, *names.begin()) : nullptr;
    return def != nullptr ? std::string(def->defaultText) : "";
}

// One node of the tree, as both outputs show it.
struct Node {
    const Object *object = nullptr;
    std::string name; /* an object the configuration does not make */
    int depth = 0;
    std::vector<std::pair<std::string, std::string>> facts; /* in showing order */
};

// The handler an asynchronous handler writes through; null for others.
const Setting *targetOf(const Object &object) {
    return object.className == "kvl_asynchandler" ? object.find("targetName") : nullptr;
}

std::vector<std::pair<std::string, std::string>> factsOf(const Object &object) {
    std::vector<std::pair<std::string, std::string>> facts;
    if (object.kind() == KVL_KIND_LOGGER || object.className == "kvl_levelfilter")
        facts.emplace_back("level", valueOr(object, {"level"}, "3000 (none set)"));
    if (const Setting *logging = object.find("logging"))
        facts.emplace_back("logging", logging->value);
    if (object.kind() != KVL_KIND_HANDLER) return facts;
    if (object.find("fileName") != nullptr || object.className == "kvl_filehandler" ||
        object.className == "kvl_multiproc_filehandler") {
        facts.emplace_back("file", object.find("fileName") != nullptr
                                       ? fileSetPath(object.find("fileName")->value)
                                       : "default.log (no fileName)");
        facts.emplace_back("maxFileSize", valueOr(object, {"maxFileSize", "maxFileBytes"}));
        facts.emplace_back("maxFiles", valueOr(object, {"maxFiles"}));
        if (object.className == "kvl_multiproc_filehandler")
            facts.emplace_back("MPFileSemKey", valueOr(object, {"MPFileSemKey"}));
    } else if (object.className == "kvl_consolehandler") {
        facts.emplace_back("output", "standard output");
    }
    if (const Setting *base = object.find("baseDir")) facts.emplace_back("baseDir", base->value);
    if (!object.formatter.empty()) facts.emplace_back("formatter", object.formatter);
    if (const Setting *target = targetOf(object)) facts.emplace_back("target", target->value);
    return facts;
}

class Tree {
public:
    explicit Tree(const Model &model) : model_(model) {
        for (const Object &object : model.objects)
            if (object.kind() == KVL_KIND_LOGGER) visit(object.name, 0);
        for (const Object &object : model.objects)
            if (shown_.count(object.name) == 0 && object.kind() != KVL_KIND_FORMATTER)
                visit(object.name, 0, true);
    }
    std::vector<Node> nodes;
    std::vector<std::string> unreached;

private:
    void visit(const std::string &name, int depth, bool orphan = false) {
        const Object *object = model_.object(name);
        Node node{object, name, depth, {}};
        const bool repeated = !shown_.insert(name).second;
        if (orphan) unreached.push_back(name);
        if (object != nullptr && !repeated) node.facts = factsOf(*object);
        if (repeated) node.facts.emplace_back("shown", "above");
        nodes.push_back(std::move(node));
        if (object == nullptr || repeated) return;
        for (const std::string &listener : object->listeners)
            visit(listener, depth + 1);
        if (const Setting *target = targetOf(*object)) visit(target->value, depth + 1);
        if (!object->formatter.empty()) shown_.insert(object->formatter);
    }
    const Model &model_;
    std::set<std::string> shown_;
};

// A JSON string: escaped, and ill-formed UTF-8 (a file may hold any bytes)
// written as U+FFFD, so the document is always valid.
std::string jsonText(const std::string &text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        size_t subpart = 0;
        const size_t length = kvl::utf8::wellFormedLength(text, at, subpart);
        if (length == 0) {
            out += "\\ufffd";
            at += subpart;
            continue;
        }
        if (length > 1) {
            out.append(text, at, length);
        } else if (c == '"' || c == '\\') {
            (out += '\\') += static_cast<char>(c);
        } else if (c < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            ((out += "\\u00") += kHex[c >> 4]) += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        at += length;
    }
    return out + "\"";
}

struct Counts {
    size_t errors = 0, warnings = 0, notes = 0;
};

Counts count(const std::vector<Model> &models) {
    Counts counts;
    for (const Model &model : models)
        for (const Finding &finding : model.findings)
            ++(finding.severity == Severity::kError     ? counts.errors
               : finding.severity == Severity::kWarning ? counts.warnings
                                                        : counts.notes);
    return counts;
}

}  // namespace

void writeText(std::ostream &out, const std::vector<Model> &models) {
    for (const Model &model : models) {
        if (model.unreadable) continue;
        out << model.file << ":\n";
        const Tree tree(model);
        for (const Node &node : tree.nodes) {
            out << std::string(2 + 2 * static_cast<size_t>(node.depth), ' ');
            if (node.object == nullptr) {
                out << node.name << " (not configured)\n";
                continue;
            }
            out << kindWord(node.object->kind()) << ' ' << node.name << " ("
                << node.object->className << ")";
            for (const auto &[what, value] : node.facts)
                out << ", " << what << ' ' << value;
            out << '\n';
        }
        if (!tree.unreached.empty()) {
            out << "  reached from no logger:";
            for (const std::string &name : tree.unreached)
                out << ' ' << name;
            out << '\n';
        }
    }
    for (const Model &model : models)
        for (const Finding &finding : model.findings) {
            out << finding.file << ':';
            if (finding.line > 0) out << finding.line << ':';
            out << ' ' << severityWord(finding.severity) << ": ";
            if (!finding.key.empty()) out << finding.key << ": ";
            out << finding.message << '\n';
        }
    const Counts counts = count(models);
    out << counts.errors << " error(s), " << counts.warnings << " warning(s)";
    if (counts.notes > 0) out << ", " << counts.notes << " note(s)";
    out << '\n';
}

void writeJson(std::ostream &out, const std::vector<Model> &models) {
    out << "{\"files\":[";
    for (size_t m = 0; m < models.size(); ++m) {
        const Model &model = models[m];
        out << (m > 0 ? "," : "") << "{\"file\":" << jsonText(model.file)
            << ",\"readable\":" << (model.unreadable ? "false" : "true") << ",\"objects\":[";
        bool first = true;
        for (const Object &object : model.objects) {
            out << (first ? "" : ",") << "{\"name\":" << jsonText(object.name)
                << ",\"class\":" << jsonText(object.className)
                << ",\"kind\":" << jsonText(kindWord(object.kind()))
                << ",\"line\":" << object.line() << ",\"listeners\":[";
            for (size_t i = 0; i < object.listeners.size(); ++i)
                out << (i > 0 ? "," : "") << jsonText(object.listeners[i]);
            out << "]";
            for (const auto &[what, value] : factsOf(object))
                out << ',' << jsonText(what) << ':' << jsonText(value);
            out << "}";
            first = false;
        }
        out << "],\"findings\":[";
        for (size_t i = 0; i < model.findings.size(); ++i) {
            const Finding &finding = model.findings[i];
            out << (i > 0 ? "," : "") << "{\"line\":" << finding.line
                << ",\"key\":" << jsonText(finding.key)
                << ",\"severity\":" << jsonText(severityWord(finding.severity))
                << ",\"message\":" << jsonText(finding.message) << "}";
        }
        out << "]}";
    }
    const Counts counts = count(models);
    out << "],\"errors\":" << counts.errors << ",\"warnings\":" << counts.warnings
        << ",\"notes\":" << counts.notes << "}\n";
}

}  // namespace kvlcheck
