// kvlcheck: checks logging properties files before they lose records, and
// shows where the agent's programs trace. See kvlcheck(1).

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "check_model.h"
#include "check_report.h"
#include "check_rules.h"
#include "kavelnet.h"
#include "logger.h"

namespace {

constexpr const char *kUsage =
    "Usage: kvlcheck [--format=text|json] [--strict] FILE...\n"
    "       kvlcheck [--format=text|json] [--strict] --agent KIND [--log-dir DIR]\n"
    "       kvlcheck --help | --version\n"
    "Checks logging properties files: prints each configuration's object tree and\n"
    "what it does not do as written (errors), what is legal but probably not meant\n"
    "(warnings) and, with --strict, every property left at its default (notes).\n"
    "--agent prints the set-up of an agent program kind: 0 command-line tool,\n"
    "1 daemon, 2 installer; its files lie under DIR (default: the recorded common\n"
    "log directory). Exit status: 0 no error, 1 errors, 2 a file could not be\n"
    "read or the command line is wrong.\n";

struct Options {
    bool json = false;
    bool strict = false;
    int agentKind = -1;
    std::string logDir;
    std::vector<std::string> files;
};

// 0 on success, else the exit status to give.
int parse(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsage;
            return -1;
        }
        if (arg == "--version") {
            std::cout << "kvlcheck (" VRX_PACKAGE_NAME ") " VRX_PACKAGE_VERSION "\n";
            return -1;
        }
        if (arg == "--format=text" || arg == "--format=json") {
            options.json = arg == "--format=json";
        } else if (arg == "--strict") {
            options.strict = true;
        } else if ((arg == "--agent" || arg == "--log-dir") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--log-dir") {
                options.logDir = value;
            } else if (value == "0" || value == "1" || value == "2") {
                options.agentKind = value[0] - '0';
            } else {
                std::cerr << "kvlcheck: the agent kind is 0, 1 or 2, not '" << value << "'\n";
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::cerr << "kvlcheck: unknown option '" << arg << "'\n" << kUsage;
            return 2;
        } else {
            options.files.push_back(arg);
        }
    }
    if ((options.agentKind >= 0) == !options.files.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status != 0) return status < 0 ? 0 : status;
    std::vector<kvlcheck::Model> models;
    if (options.agentKind >= 0) {
        models.push_back(kvlcheck::agentModel(options.agentKind, options.logDir));
    } else {
        registerAgentFormatterClass();
        KvlInitFFDCExtensions();
        KvlInitNetExtensions();
        if (KvlOpenToolkit(nullptr) != 1) {
            std::cerr << "kvlcheck: the logging toolkit cannot be opened\n";
            return 2;
        }
        for (const std::string &file : options.files) {
            kvlcheck::forgetConfigurations();
            models.push_back(kvlcheck::readFileModel(file));
        }
    }
    bool unreadable = false, errors = false;
    for (kvlcheck::Model &model : models) {
        unreadable |= model.unreadable;
        if (!model.unreadable) kvlcheck::checkModel(model, options.strict);
    }
    kvlcheck::checkAcross(models);
    for (const kvlcheck::Model &model : models)
        for (const kvlcheck::Finding &finding : model.findings)
            errors |= finding.severity == kvlcheck::Severity::kError;
    if (options.json)
        kvlcheck::writeJson(std::cout, models);
    else
        kvlcheck::writeText(std::cout, models);
    models.clear();
    if (options.agentKind >= 0)
        shutDownLogger();
    else
        KvlCloseToolkit();
    std::cout.flush();
    if (!std::cout) return 2;
    return unreadable ? 2 : errors ? 1 : 0;
}
