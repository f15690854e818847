// The agent's logging configuration: the toolkit objects every agent
// program shares, built in code rather than read from a file.
//
// Default objects are made through the log manager's configurations, so
// the dotted children ("agentLogger.agentTraceLogger.INSTALL") take over
// their parents' properties (organization, product, level). Only the
// fourteen loggers the agent's code logs on are kept as handles; handlers
// and formatters live as long as a logger lists them, and the setters below
// look them up by name. Where each program kind's files go:
//
//   installer (2): D/QAG/logs/install/trace/<trace>.log, one process
//   tool (0):      D/QAG/logs/agent/{trace,message}/<name>.log, shared by
//                  processes under the multi-process handler's semaphore
//   daemon (1):    the same files through the single-process handler
//
// Sizes and counts out of range fall back to 1 MiB and 6 files, without a
// message: a bad ini value must not stop a program from tracing.

#include "logger.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "OxsMemory.h"
#include "agent_trace.h"

namespace {

constexpr size_t kDirSize = 1024;
constexpr size_t kCaptureListSize = 71680;
constexpr int kDefaultFiles = 6;
constexpr long kDefaultBytes = 1048576;

constexpr const char *kTraceLoggerBase = "agentLogger.agentTraceLogger";
constexpr const char *kComponentSuffixes[TRACE_COMPONENT_COUNT] = {
    ".3RDPARTY",  ".NETWORK", ".SERVICES", ".START_STOP", ".CATALOG",   ".LICENSE",
    ".INVENTORY", ".SYSTEM",  ".CORE",     ".MESSAGE",    ".AGENT_CLI", ".INSTALL"};
constexpr const char *kDaemonTrace = "agentHandler.agentDaemonTraceHandler";
constexpr const char *kDaemonMessage = "agentHandler.agentDaemonMessageHandler";
constexpr const char *kCliTrace = "agentHandler.agentCliTraceHandler";
constexpr const char *kCliMessage = "agentHandler.agentCliMessageHandler";
constexpr const char *kErrorTrace = "agentErrorHandler.agentErrorTraceHandler";
constexpr const char *kCopyHandler = "filecopyhandler";

struct Property {
    const char *name;
    const char *value;
};

// The default objects in the order they are made, formatters first.
struct DefaultObject {
    const char *name;
    const char *className;
    Property properties[3];
};
constexpr DefaultObject kDefaults[] = {
    {"agentFormatter", "kvl_xmlformatter", {}},
    {"agentConsoleFormatter", "vrxFormatter", {}},
    {"agentErrorHandler", "kvl_filehandler", {{"formatterName", "agentFormatter"}}},
    {"agentHandler",
     "kvl_filehandler",
     {{"formatterName", "agentFormatter"}, {"appending", "true"}}},
    {kDaemonTrace, "kvl_filehandler", {}},
    {kDaemonMessage, "kvl_filehandler", {}},
    {kCliTrace, "kvl_multiproc_filehandler", {}},
    {kCliMessage, "kvl_multiproc_filehandler", {}},
    {"agentHandler.agentConsoleHandler",
     "kvl_consolehandler",
     {{"formatterName", "agentConsoleFormatter"}}},
    {"agentLogger",
     "kvl_pdlogger",
     {{"description", "OVKA agent logger"}, {"organization", "NUV"}, {"product", "QAG"}}},
    {kTraceLoggerBase, "kvl_pdlogger", {{"level", "DEBUG_MIN"}, {"isInherited", "false"}}},
    {"agentLogger.agentMessageLogger", "kvl_pdlogger", {{"level", "INFO"}}},
    {"agentLogger.agentConsoleLogger", "kvl_pdlogger", {{"level", "INFO"}}},
};

constexpr const char *kScannerFiles[] = {"zemhscan.mif",           "signatures.xml",
                                         "matched_signatures.xml", "wscanner_hw.xml",
                                         "wscanner_sw.xml",        "driver_list.mif",
                                         "warnings_sw.xml",        "native_scan_results.xml",
                                         "native_scan_config.xml", "wscanner_hw_full.xml",
                                         "zemhscan.xml",           "zemhscan_virt.xml"};
constexpr const char *kCacheFiles[] = {"licsref.dat",   "unkref.dat",
                                       "inventory.dat", "agent.dat",
                                       "sys.dat",       "apx.dat",
                                       "uat.dat",       "offlic.dat",
                                       "off_id.dat",    "catcomp.dat",
                                       "catfile.dat",   "cmds.dat",
                                       "pid.dat",       "topology.dat",
                                       "pkt_id.dat",    "measure.dat",
                                       "measure22.dat", "catmod.dat",
                                       "catrel.dat",    "comps.dat",
                                       "catmodule",     "mods.dat",
                                       "abs_time.dat",  "APX_Cloning.dat",
                                       "nativeinv.dat", "updateinventory.txt",
                                       "updatelat.txt", "multiinstance.txt"};

HostNameSource hostNameSource = gethostname;
char errorTraceFile[kDirSize] = "";  // the toolkit's error trace, when configured

void copyInto(char (&field)[kDirSize], const std::string &text) {
    std::snprintf(field, sizeof field, "%s", text.c_str());
}

// The object of that name (made from its configuration when it does not
// exist yet), released at the end of the scope.
class Named {
public:
    explicit Named(const char *name, const char *className = nullptr)
        : object_(KvlGetObject(name, className)) {}
    ~Named() { KvlReleaseObject(object_); }
    Named(const Named &) = delete;
    Named &operator=(const Named &) = delete;
    KvlObject *get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    KvlObject *object_;
};

// Sets a property on an object's configuration and on the object: a
// handler no logger lists is freed after its last release, and the next
// one made under that name starts from the configuration.
void setOn(const char *objectName, const char *property, const char *value) {
    if (KvlObjCfg *cfg = KvlLogMgrGetCfg(objectName)) {
        KvlSetObjCfgProp(cfg, property, value);
        KvlReleaseObjCfg(cfg);
    }
    if (Named object{objectName}) KvlSetObjProp(object.get(), property, value);
}

// Points a handler at a file: closed, renamed, opened again.
void pointAt(const char *handlerName, const char *fileName) {
    Named handler{handlerName};
    if (!handler) return;
    KvlHandlerClose(handler.get());
    setOn(handlerName, "fileName", fileName);
    KvlHandlerOpen(handler.get());
}

// The decimal value of the whole text, or `fallback` when it is not one or
// lies outside [low, high].
long boundedValue(const char *text, long low, long high, long fallback) {
    if (text == nullptr || *text == '\0') return fallback;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= low && value <= high ? value : fallback;
}

// Every default object's configuration names its class, formatters'
// included: an object nothing holds is freed, and made again from its
// configuration when a handler or logger names it later.
bool makeDefaultObject(const DefaultObject &made) {
    KvlObjCfg *cfg = KvlLogMgrGetCfg(made.name);
    if (cfg == nullptr) return false;
    KvlSetObjCfgProp(cfg, "className", made.className);
    for (const Property &property : made.properties)
        if (property.name != nullptr) KvlSetObjCfgProp(cfg, property.name, property.value);
    KvlReleaseObjCfg(cfg);
    const Named object{made.name, made.className};
    return static_cast<bool>(object);
}

// Whether the object is configured (its configuration names a class): a
// name a logger merely lists has a configuration without one.
bool isConfigured(const char *name) {
    if (KvlLogMgrHasCfg(name) != 1) return false;
    KvlObjCfg *cfg = KvlLogMgrGetCfg(name);
    unsigned char found = 0;
    OxsMemoryFree(KvlGetObjCfgProp(cfg, "className", &found));
    KvlReleaseObjCfg(cfg);
    return found == 1;
}

std::string directoryOf(const char *path) {
    const std::string_view text = path;
    const size_t slash = text.rfind('/');
    return std::string(slash == std::string_view::npos ? text : text.substr(0, slash));
}

// Appends an entry (a blank and the double-quoted path) when it fits whole
// in the capture list with its terminator; a cut entry would be a
// malformed list.
void appendEntry(std::string &list, const std::string &entry) {
    if (list.size() + entry.size() + 1 <= kCaptureListSize) list += entry;
}

void appendQuoted(std::string &list, const std::string &path) {
    appendEntry(list, " \"" + path + "\"");
}

// The files of a rolling set: dir/base.log, dir/base1.log ... up to
// count - 1, dir being `path` up to its last "/".
void appendLoggerFiles(std::string &list, int count, const char *path, const char *base) {
    if (path == nullptr || base == nullptr || count < 1) return;
    const std::string directory = directoryOf(path);
    appendQuoted(list, directory + "/" + base + ".log");
    for (int i = 1; i < count; ++i)
        appendQuoted(list, directory + "/" + base + std::to_string(i) + ".log");
}

void appendFilesIn(std::string &list, const char *directory, const char *const *names,
                   size_t count) {
    for (size_t i = 0; i < count; ++i)
        appendQuoted(list, std::string(directory) + "/" + names[i]);
}

}  // namespace

extern "C" {

KvlObject *traceLoggers[TRACE_COMPONENT_COUNT] = {};
KvlObject *messageLogger = nullptr;
KvlObject *consoleLogger = nullptr;

char zemlor_common_dir_for_trace[kDirSize] = "";
char zemlor_common_dir_for_message[kDirSize] = "";
char zemlor_common_dir_for_ffdc[kDirSize] = "";
char scannerDir[kDirSize] = "";
char cacheDir[kDirSize] = "";
int traceNumberOfFiles = kDefaultFiles;
int messageNumberOfFiles = kDefaultFiles;

char *VrxFormat(KvlObject *formatter, KvlEvent *event) {
    const KvlFBindMsg bind = KvlGetFormatterBindMsg(formatter);
    if (event == nullptr || bind == nullptr) return nullptr;
    char *text = KvlBindEventMsg(event, bind);
    const std::string line = std::string(text != nullptr ? text : "") + "\n";
    OxsMemoryFree(text);
    auto *copy = static_cast<char *>(OxsMemoryMalloc(line.size() + 1));
    if (copy != nullptr) std::memcpy(copy, line.c_str(), line.size() + 1);
    return copy;
}

void assignAgentComponentHandlers(void) {
    KvlReleaseObject(consoleLogger);
    KvlReleaseObject(messageLogger);
    consoleLogger = KvlGetObject("agentLogger.agentConsoleLogger", "kvl_pdlogger");
    messageLogger = KvlGetObject("agentLogger.agentMessageLogger", "kvl_pdlogger");
    for (int i = 0; i < TRACE_COMPONENT_COUNT; ++i) {
        KvlReleaseObject(traceLoggers[i]);
        const std::string name = std::string(kTraceLoggerBase) + kComponentSuffixes[i];
        traceLoggers[i] = KvlGetObject(name.c_str(), "kvl_pdlogger");
    }
}

void setAgentLoggerListeners(int kind) {
    const char *traceHandler = kind == AGENT_KIND_CLI ? kCliTrace : kDaemonTrace;
    const char *messageHandlers =
        kind == AGENT_KIND_CLI         ? "agentHandler.agentCliMessageHandler "
                                         "agentHandler.agentConsoleHandler filecopyhandler"
        : kind == AGENT_KIND_INSTALLER ? ""
                                       : "agentHandler.agentDaemonMessageHandler filecopyhandler";
    const char *consoleHandlers = kind == AGENT_KIND_CLI ? "agentHandler.agentConsoleHandler" : "";
    for (KvlObject *logger : traceLoggers)
        KvlSetObjProp(logger, "listenerNames", traceHandler);
    KvlSetObjProp(messageLogger, "listenerNames", messageHandlers);
    KvlSetObjProp(consoleLogger, "listenerNames", consoleHandlers);
}

const AgentLogSettings *agentLogSettings(int kind) {
    static constexpr AgentLogSettings kCli{"trace_CLI", "msg_CLI", nullptr, nullptr, nullptr};
    static constexpr AgentLogSettings kDaemon{"trace", "msg", nullptr, nullptr, nullptr};
    static constexpr AgentLogSettings kInstaller{"traceAgentController", nullptr, "MAX", "100000",
                                                 "3"};
    return kind == AGENT_KIND_CLI ? &kCli : kind == AGENT_KIND_INSTALLER ? &kInstaller : &kDaemon;
}

const char *const agentObjectProperties[] = {"isInherited", "fileEnabled", nullptr};

void registerAgentFormatterClass(void) {
    KvlI18Msg *description = KvlAllocI18Msg(nullptr, 0, 0, "vrxformatterclass");
    KvlAddFormatterClass("vrxFormatter", description, nullptr, nullptr, nullptr, VrxFormat, nullptr,
                         nullptr, nullptr);
    KvlFreeI18Msg(description);
}

int loggerConfiguration(const char *properties, int kind) {
    registerAgentFormatterClass();
    KvlInitFFDCExtensions();
    if (KvlOpenToolkit(properties) != 1) return -1;
    // The agent's programs show no toolkit problems of their own.
    setOn("kavel.errorLogger", "level", "ERROR");
    setOn("kavel.errorLogger", "logging", "FALSE");
    if (properties == nullptr) {
        for (const DefaultObject &made : kDefaults)
            if (!makeDefaultObject(made)) return -1;
    }
    assignAgentComponentHandlers();
    setAgentLoggerListeners(kind);
    char host[1024] = "";
    if (hostNameSource(host, sizeof host - 1) != 0) {
        TRACE_MIN(TRACE_START_STOP,
                  "Trace initialization: Impossible to identify the hostname. Trace files will "
                  "miss a parameter.");
        host[0] = '\0';
    }
    host[sizeof host - 1] = '\0';  // a cut name is not terminated
    for (KvlObject *logger : traceLoggers)
        KvlSetObjProp(logger, "client", host);
    KvlSetObjProp(messageLogger, "client", host);
    return 0;
}

int loggerCustomConfiguration(const char *properties) {
    KvlInitFFDCExtensions();
    if (KvlOpenToolkit(properties) != 1) return -1;
    assignAgentComponentHandlers();
    setAgentLoggerListeners(AGENT_KIND_DAEMON);
    return 0;
}

void setAgentLogPaths(const char *commonDir, const char *traceName, const char *messageName,
                      int kind) {
    const std::string base = std::string(commonDir != nullptr ? commonDir : "") + "/QAG/";
    const std::string trace = traceName != nullptr ? traceName : "";
    const std::string message = messageName != nullptr ? messageName : "";
    const std::string logs =
        base + (kind == AGENT_KIND_INSTALLER ? "logs/install/" : "logs/agent/");
    copyInto(zemlor_common_dir_for_trace, logs + "trace/" + trace + ".log");
    copyInto(zemlor_common_dir_for_message,
             kind == AGENT_KIND_INSTALLER ? std::string() : logs + "message/" + message + ".log");
    copyInto(zemlor_common_dir_for_ffdc, base + "ffdc/agent");
    copyInto(errorTraceFile, logs + "trace/traceKAVELErrs.log");
}

const char *agentTraceHandlerName(int kind) {
    return kind == AGENT_KIND_CLI ? kCliTrace : kDaemonTrace;
}

const char *agentMessageHandlerName(int kind) {
    return kind == AGENT_KIND_CLI         ? kCliMessage
           : kind == AGENT_KIND_INSTALLER ? nullptr
                                          : kDaemonMessage;
}

int setZemlorCommonDir(const char *commonDir, const char *traceName, const char *messageName,
                       int kind) {
    setAgentLogPaths(commonDir, traceName, messageName, kind);
    pointAt(agentTraceHandlerName(kind), zemlor_common_dir_for_trace);
    if (const char *message = agentMessageHandlerName(kind))
        pointAt(message, zemlor_common_dir_for_message);
    Named errorHandler{kErrorTrace, "kvl_filehandler"};
    unsigned char found = 0;
    OxsMemoryFree(KvlGetObjProp(errorHandler.get(), "fileEnabled", &found));
    if (found == 1) pointAt(kErrorTrace, errorTraceFile);
    return found == 1 ? 1 : 0;
}

void confTraceLevel(const char *level) {
    const std::string_view given = level != nullptr ? level : "";
    const char *mapped = given == "MID" ? "DEBUG_MID" : given == "MAX" ? "DEBUG_MAX" : "DEBUG_MIN";
    for (KvlObject *logger : traceLoggers) {
        char *inherited = KvlGetObjProp(logger, "isInherited", nullptr);
        char *own = KvlGetObjProp(logger, "level", nullptr);
        if (inherited != nullptr && std::strcmp(inherited, "false") == 0)
            KvlSetObjProp(logger, "level", mapped);
        else if (own != nullptr && std::strcmp(own, "DEBUG_NULL") == 0)
            KvlSetObjProp(logger, "logging", "FALSE");
        OxsMemoryFree(inherited);
        OxsMemoryFree(own);
    }
}

static void setOnBoth(const char *first, const char *second, const char *property, long value) {
    const std::string text = std::to_string(value);
    setOn(first, property, text.c_str());
    setOn(second, property, text.c_str());
}

void confTraceSize(const char *size) {
    setOnBoth(kDaemonTrace, kCliTrace, "maxFileBytes",
              boundedValue(size, 65536, 16777216, kDefaultBytes));
}

void confTraceNumber(const char *count) {
    traceNumberOfFiles = static_cast<int>(boundedValue(count, 1, 10, kDefaultFiles));
    setOnBoth(kDaemonTrace, kCliTrace, "maxFiles", traceNumberOfFiles);
}

void confMsgLogSize(const char *size) {
    setOnBoth(kDaemonMessage, kCliMessage, "maxFileBytes",
              boundedValue(size, 65536, 16777216, kDefaultBytes));
}

void confMsgLogNumber(const char *count) {
    messageNumberOfFiles = static_cast<int>(boundedValue(count, 1, 10, kDefaultFiles));
    setOnBoth(kDaemonMessage, kCliMessage, "maxFiles", messageNumberOfFiles);
}

int loggerReload(const char *level, const char *traceSize, const char *msglogSize) {
    confTraceLevel(level);
    confTraceSize(traceSize);
    confMsgLogSize(msglogSize);
    return 0;
}

KvlObject *logCustomComponent(const char *name) { return KvlGetObject(name, "kvl_pdlogger"); }

// The handles are released after the close: code that traces after this
// (the child layer's shutdown) finds null loggers, and the detached objects
// are freed by these last releases.
void shutDownLogger(void) {
    KvlCloseToolkit();
    for (KvlObject *&logger : traceLoggers) {
        KvlReleaseObject(logger);
        logger = nullptr;
    }
    KvlReleaseObject(messageLogger);
    KvlReleaseObject(consoleLogger);
    messageLogger = consoleLogger = nullptr;
}

void computeLoggerFiles(KvlObject *, char *list, int count, const char *path, const char *base) {
    if (list == nullptr) return;
    std::string text = list;
    appendLoggerFiles(text, count, path, base);
    std::memcpy(list, text.c_str(), text.size() + 1);
}

int setFFDCProperties(const char *extra) {
    if (!isConfigured(kCopyHandler) || !isConfigured(kTraceLoggerBase)) return 1;
    std::string list;
    appendLoggerFiles(list, traceNumberOfFiles, zemlor_common_dir_for_trace, "trace");
    appendLoggerFiles(list, traceNumberOfFiles, zemlor_common_dir_for_trace, "trace_CLI");
    appendFilesIn(list, cacheDir, kCacheFiles, std::size(kCacheFiles));
    appendFilesIn(list, scannerDir, kScannerFiles, std::size(kScannerFiles));
    if (consoleLogger != nullptr)
        appendLoggerFiles(list, messageNumberOfFiles, zemlor_common_dir_for_message, "msg_CLI");
    if (messageLogger != nullptr)
        appendLoggerFiles(list, messageNumberOfFiles, zemlor_common_dir_for_message, "msg");
    if (extra != nullptr) appendEntry(list, std::string(" ") + extra);
    setOn(kCopyHandler, "baseDir", zemlor_common_dir_for_ffdc);
    setOn(kCopyHandler, "filesToCopy", list.c_str());
    return 0;
}

void loggerSetHostNameSourceForTest(HostNameSource source) {
    hostNameSource = source != nullptr ? source : gethostname;
}

}  // extern "C"
