// The agent's logging set-up as a model, made by the agent's own code
// (check_model.h): a program kind's objects, with its files named under a
// common log directory but never opened.

#include <string>
#include <vector>

#include "OxsMemory.h"
#include "check_model.h"
#include "logger.h"
#include "tcd.h"

namespace kvlcheck {

// Each file starts from a log manager holding no configuration.
void forgetConfigurations() {
    std::vector<std::string> names;
    for (KvlStringGroupIter it = KvlLogMgrConfigNames(); KvlStringGroupIterHasNext(it) == 1;
         it = KvlStringGroupIterNext(it)) {
        char *name = KvlStringGroupIterGet(it);
        if (name != nullptr) names.emplace_back(name);
        OxsMemoryFree(name);
    }
    for (const std::string &name : names) {
        KvlObjCfg *cfg = KvlLogMgrGetCfg(name.c_str());
        KvlLogMgrRemCfg(cfg);
        KvlReleaseObjCfg(cfg);
    }
}

Model agentModel(int kind, std::string logDir) {
    loggerConfiguration(nullptr, kind);
    if (logDir.empty()) {
        char recorded[ZEMLOR_COMMON_DIR_SIZE] = "";
        logDir = OpenLogPropFile(recorded) == 0 ? recorded : ZEMLOR_DEFAULT_COMMON_DIR;
    }
    const AgentLogSettings *settings = agentLogSettings(kind);
    setAgentLogPaths(logDir.c_str(), settings->traceName, settings->messageName, kind);
    // Named only: a checker opens no file.
    auto name = [](const char *handler, const char *file) {
        if (handler == nullptr) return;
        KvlObject *object = KvlGetObject(handler, nullptr);
        KvlSetObjProp(object, "fileName", file);
        KvlReleaseObject(object);
    };
    name(agentTraceHandlerName(kind), zemlor_common_dir_for_trace);
    name(agentMessageHandlerName(kind), zemlor_common_dir_for_message);
    confTraceLevel(settings->traceLevel);
    confTraceSize(settings->traceSize);
    confTraceNumber(settings->traceFiles);
    if (agentMessageHandlerName(kind) != nullptr) {
        confMsgLogSize(nullptr);
        confMsgLogNumber(nullptr);
    }
    std::vector<KvlObject *> loggers(std::begin(traceLoggers), std::end(traceLoggers));
    loggers.push_back(messageLogger);
    loggers.push_back(consoleLogger);
    Model model = liveModel("agent kind " + std::to_string(kind) + " (" + logDir + ")", loggers);
    for (const char *const *property = agentObjectProperties; *property != nullptr; ++property)
        model.programProperties.emplace_back(*property);
    return model;
}

}  // namespace kvlcheck
