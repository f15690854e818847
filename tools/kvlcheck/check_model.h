/*
 * What kvlcheck knows of a configuration: the objects it makes, each with
 * its class, the properties it ends up with and the line each came from,
 * and what it found wrong. A model is read from a properties file (through
 * the toolkit's own reader and log manager, so the two never disagree on
 * what a file says and which configuration inherits from which) or from
 * the objects a running set-up made (the agent's, built by the agent's own
 * code). The rules and the report work on the model alone.
 */
#ifndef KVLCHECK_MODEL_H
#define KVLCHECK_MODEL_H

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "KvlObject.h"

namespace kvlcheck {

enum class Severity : uint8_t { kError, kWarning, kNote };

struct Finding {
    std::string file;
    int32_t line = 0; /* 0: no line (a whole-file or built-in finding) */
    std::string key;
    Severity severity = Severity::kError;
    std::string message;
};

/* One property as an object ends up with it. */
struct Setting {
    std::string value;
    std::string key;    /* the key that set it: "a.b.level" */
    int32_t line = 0;   /* where, in the model's file (0: not from a file) */
    uint32_t order = 0; /* when it is applied: a later setting of an alias wins */
};

/* A configuration as the file wrote it: its own properties and lines. */
struct Configuration {
    std::string name;
    std::vector<std::string> chain; /* its ancestors, nearest first */
    std::map<std::string, Setting> own;
};

struct Object {
    std::string name;
    const KvlObjClass *klass = nullptr; /* null: no class of that name */
    std::string className;
    std::map<std::string, Setting> settings; /* what the object is given, inherited included */
    std::vector<std::string> listeners;      /* in delivery order */
    std::string formatter;                   /* handlers */
    std::string parent;                      /* the configuration it inherits from, if any */

    int32_t kind() const { return klass != nullptr ? klass->kind : 0; }
    const Setting *find(const std::string &property) const;
    /* The one that stays of a setting written under several names
     * ("maxFileSize", "maxFileBytes"): the last applied; null when none. */
    const Setting *last(std::initializer_list<const char *> names) const;
    /* Where the object is configured: its class's line. */
    int32_t line() const;
};

struct Model {
    std::string file;        /* as the user named it */
    bool unreadable = false; /* the file could not be opened or read */
    bool live = false;       /* made by a program, which makes its own directories */
    std::vector<Configuration> configurations; /* in the order first named */
    std::vector<Object> objects;               /* those with a class, in the same order */
    std::vector<Finding> findings;
    /* Properties the program itself reads on objects, beyond the classes'. */
    std::vector<std::string> programProperties;

    const Object *object(const std::string &name) const;
    const Configuration *configuration(const std::string &name) const;
    void add(int32_t line, std::string key, Severity severity, std::string message);
};

/* "logger", "filter", "handler", "formatter" or "unknown". */
const char *kindWord(int32_t kind);

/* Reads a properties file into a model. The toolkit must be open and
 * empty of configurations (a fresh open per file). */
Model readFileModel(const std::string &path);

/* The model of the objects a running set-up holds, reached from these
 * loggers through their listeners and formatters. */
Model liveModel(const std::string &label, const std::vector<KvlObject *> &loggers);

/* The model of the agent's set-up for a program kind (0 tool, 1 daemon,
 * 2 installer) with its files under `logDir` ("": the recorded common log
 * directory, else the default one). Opens the toolkit; shutDownLogger()
 * closes it. */
Model agentModel(int kind, std::string logDir);

/* Unregisters every configuration, so that the next file starts afresh. */
void forgetConfigurations();

/* The name a listener or formatter setting names, split as the toolkit
 * splits "listenerNames". */
std::vector<std::string> splitNames(const std::string &text);

}  // namespace kvlcheck

#endif /* KVLCHECK_MODEL_H */
