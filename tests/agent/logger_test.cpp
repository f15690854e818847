// The agent's logging configuration in process: the setters' ranges and
// fallbacks, the objects, listeners and files of each program kind, the
// capture list (order, whole entries only), the console formatter, typed
// trace calls reaching a handler, a host without a name, shutting down and
// configuring again, and reloads while threads trace.

#include "logger.h"
#include "agent_trace.h"
#include "toolkit_test.h"

namespace {

using vrxtest::RecordingStore;
using vrxtest::take;

int namedHost(char *buffer, size_t size) {
    std::snprintf(buffer, size, "node1");
    return 0;
}
int namelessHost(char *, size_t) { return -1; }

std::string property(const char *object, const char *name) {
    KvlObject *made = KvlGetObject(object, nullptr);
    unsigned char found = 0;
    char *value = KvlGetObjProp(made, name, &found);
    std::string text = found == 1 ? (value != nullptr ? value : "") : "<absent>";
    OxsMemoryFree(value);
    KvlReleaseObject(made);
    return text;
}

std::string property(KvlObject *object, const char *name) {
    return take(KvlGetObjProp(object, name, nullptr));
}

std::string className(const char *object) {
    KvlObject *made = KvlGetObject(object, nullptr);
    std::string name = made != nullptr && made->klass != nullptr ? made->klass->name : "<none>";
    KvlReleaseObject(made);
    return name;
}

class LoggerTest : public vrxtest::ToolkitTest {
protected:
    LoggerTest() { loggerSetHostNameSourceForTest(namedHost); }
    ~LoggerTest() override {
        shutDownLogger();
        loggerSetHostNameSourceForTest(nullptr);
    }
    // The multi-process handlers get a key of this run's own: the agent's
    // default would leave a set on the machine.
    void configure(int kind) {
        ASSERT_EQ(loggerConfiguration(nullptr, kind), 0);
        const std::string key = std::to_string(semKey_.key());
        for (const char *name :
             {"agentHandler.agentCliTraceHandler", "agentHandler.agentCliMessageHandler"}) {
            KvlObjCfg *cfg = KvlLogMgrGetCfg(name);  // for a handler made again
            KvlSetObjCfgProp(cfg, "MPFileSemKey", key.c_str());
            KvlReleaseObjCfg(cfg);
            KvlObject *handler = KvlGetObject(name, nullptr);
            KvlSetObjProp(handler, "MPFileSemKey", key.c_str());
            KvlReleaseObject(handler);
        }
        vrxtest::addRecordingHandlerClass();
        RecordingStore::instance().clear();
    }
    std::string dir() const { return here_.dir().path(); }
    vrxtest::PrivateKey semKey_{12};
    vrxtest::CwdGuard here_;
};

TEST_F(LoggerTest, SettersKeepValuesInRangeAndFallBack) {
    configure(AGENT_KIND_CLI);
    // A setter writes the value, or its fall-back, on both handlers of its
    // kind (and, for counts, the module's counter).
    enum Set { kTraceSize, kTraceNumber, kMsgSize, kMsgNumber };
    constexpr void (*kSetters[])(const char *) = {confTraceSize, confTraceNumber, confMsgLogSize,
                                                  confMsgLogNumber};
    const struct {
        Set set;
        const char *value, *expected;
    } cases[] = {
        // clang-format off
        {kTraceSize, "65535", "1048576"}, {kTraceSize, "16777217", "1048576"}, {kTraceSize, "", "1048576"},
        {kTraceSize, "12x", "1048576"}, {kTraceSize, "65536", "65536"}, {kTraceSize, "16777216", "16777216"},
        {kTraceNumber, "0", "6"}, {kTraceNumber, "11", "6"}, {kTraceNumber, "1", "1"}, {kTraceNumber, "10", "10"},
        {kMsgSize, "65535", "1048576"}, {kMsgSize, "70000", "70000"},
        {kMsgNumber, "11", "6"}, {kMsgNumber, "3", "3"},
        // clang-format on
    };
    for (const auto &c : cases) {
        const bool trace = c.set == kTraceSize || c.set == kTraceNumber;
        const bool count = c.set == kTraceNumber || c.set == kMsgNumber;
        const std::vector<const char *> handlers =
            trace ? std::vector{"agentHandler.agentDaemonTraceHandler",
                                "agentHandler.agentCliTraceHandler"}
                  : std::vector{"agentHandler.agentDaemonMessageHandler",
                                "agentHandler.agentCliMessageHandler"};
        const char *name = count ? "maxFiles" : "maxFileBytes";
        int *counter = !count ? nullptr : trace ? &traceNumberOfFiles : &messageNumberOfFiles;
        kSetters[c.set](c.value);
        for (const char *handler : handlers)
            EXPECT_EQ(property(handler, name), c.expected) << handler << " " << c.value;
        if (counter != nullptr) {
            EXPECT_EQ(std::to_string(*counter), c.expected) << c.value;
        }
    }
}

TEST_F(LoggerTest, TraceLevelOnEveryLoggerThatDoesNotInherit) {
    configure(AGENT_KIND_INSTALLER);
    for (const auto &[given, level] : {std::pair{"MID", "DEBUG_MID"}, std::pair{"MAX", "DEBUG_MAX"},
                                       std::pair{"min", "DEBUG_MIN"}, std::pair{"", "DEBUG_MIN"}}) {
        confTraceLevel(given);
        for (KvlObject *logger : traceLoggers)
            EXPECT_EQ(property(logger, "level"), level) << given;
    }
    KvlObject *inheriting = traceLoggers[TRACE_CATALOG];
    KvlSetObjProp(inheriting, "isInherited", "true");
    KvlSetObjProp(inheriting, "level", "DEBUG_NULL");
    confTraceLevel("MAX");
    EXPECT_EQ(property(inheriting, "level"), "DEBUG_NULL");
    EXPECT_EQ(property(inheriting, "logging"), "FALSE");
    EXPECT_EQ(property(traceLoggers[TRACE_INSTALL], "level"), "DEBUG_MAX");
}

TEST_F(LoggerTest, ObjectsListenersAndFilesByKind) {
    const struct {
        int kind;
        const char *traceListener, *messageListeners, *consoleListeners;
        std::vector<std::pair<const char *, std::string>> files;  // handler, fileName
        std::string errorFile;
    } cases[] = {
        // clang-format off
        {AGENT_KIND_CLI, "agentHandler.agentCliTraceHandler", "agentHandler.agentCliMessageHandler agentHandler.agentConsoleHandler filecopyhandler", "agentHandler.agentConsoleHandler",
         {{"agentHandler.agentCliTraceHandler", "/QAG/logs/agent/trace/t.log"}, {"agentHandler.agentCliMessageHandler", "/QAG/logs/agent/message/m.log"}}, "/QAG/logs/agent/trace/traceKAVELErrs.log"},
        {AGENT_KIND_DAEMON, "agentHandler.agentDaemonTraceHandler", "agentHandler.agentDaemonMessageHandler filecopyhandler", "",
         {{"agentHandler.agentDaemonTraceHandler", "/QAG/logs/agent/trace/t.log"}, {"agentHandler.agentDaemonMessageHandler", "/QAG/logs/agent/message/m.log"}}, "/QAG/logs/agent/trace/traceKAVELErrs.log"},
        {AGENT_KIND_INSTALLER, "agentHandler.agentDaemonTraceHandler", "", "", {{"agentHandler.agentDaemonTraceHandler", "/QAG/logs/install/trace/t.log"}}, "/QAG/logs/install/trace/traceKAVELErrs.log"},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind));
        configure(c.kind);
        // clang-format off
        const std::vector<std::pair<const char *, std::string>> defaults = {
            {"agentFormatter", "kvl_xmlformatter"}, {"agentConsoleFormatter", "vrxFormatter"},
            {"agentErrorHandler", "kvl_filehandler"}, {"agentHandler", "kvl_filehandler"},
            {"agentHandler.agentDaemonTraceHandler", "kvl_filehandler"}, {"agentHandler.agentCliTraceHandler", "kvl_multiproc_filehandler"},
            {"agentHandler.agentConsoleHandler", "kvl_consolehandler"}, {"agentLogger.agentTraceLogger.INSTALL", "kvl_pdlogger"}};
        // clang-format on
        for (const auto &[object, klass] : defaults)
            EXPECT_EQ(className(object), klass) << object;
        EXPECT_EQ(property("agentHandler.agentCliTraceHandler", "formatterName"), "agentFormatter");
        EXPECT_EQ(property("agentHandler.agentDaemonMessageHandler", "appending"), "true");
        EXPECT_EQ(property("agentHandler.agentConsoleHandler", "formatterName"),
                  "agentConsoleFormatter");
        EXPECT_EQ(property(traceLoggers[TRACE_SYSTEM], "product"), "QAG");
        EXPECT_EQ(property(traceLoggers[TRACE_SYSTEM], "client"), "node1");
        EXPECT_EQ(property(messageLogger, "client"), "node1");
        EXPECT_EQ(property(messageLogger, "level"), "INFO");
        EXPECT_EQ(property("kavel.errorLogger", "logging"), "FALSE");
        for (KvlObject *logger : traceLoggers)
            EXPECT_EQ(property(logger, "listenerNames"), c.traceListener);
        EXPECT_EQ(property(messageLogger, "listenerNames"), c.messageListeners);
        EXPECT_EQ(property(consoleLogger, "listenerNames"), c.consoleListeners);

        EXPECT_EQ(setZemlorCommonDir(dir().c_str(), "t", "m", c.kind), 0);
        for (const auto &[handler, file] : c.files)
            EXPECT_EQ(property(handler, "fileName"), dir() + file) << handler;
        EXPECT_EQ(std::string(zemlor_common_dir_for_ffdc), dir() + "/QAG/ffdc/agent");
        EXPECT_EQ(property("agentErrorHandler.agentErrorTraceHandler", "fileName"), "<absent>");
        KvlObjCfg *cfg = KvlLogMgrGetCfg("agentErrorHandler.agentErrorTraceHandler");
        KvlSetObjCfgProp(cfg, "fileEnabled", "true");
        KvlReleaseObjCfg(cfg);
        EXPECT_EQ(setZemlorCommonDir(dir().c_str(), "t", "m", c.kind), 1);
        EXPECT_EQ(property("agentErrorHandler.agentErrorTraceHandler", "fileName"),
                  dir() + c.errorFile);
        shutDownLogger();
    }
}

TEST_F(LoggerTest, CaptureListOrderAndWholeEntries) {
    configure(AGENT_KIND_DAEMON);
    EXPECT_EQ(setFFDCProperties("extra"), 1) << "no capture handler configured";
    KvlObjCfg *cfg = KvlLogMgrGetCfg("filecopyhandler");
    KvlSetObjCfgProp(cfg, "className", "kvl_ffdc_filecopy_handler");
    KvlReleaseObjCfg(cfg);
    setZemlorCommonDir("/c", "x", "y", AGENT_KIND_DAEMON);
    confTraceNumber("3");
    confMsgLogNumber("1");
    std::strcpy(cacheDir, "/cache");
    std::strcpy(scannerDir, "/scan");
    ASSERT_EQ(setFFDCProperties("\"/etc/extra.ini\""), 0);
    KvlObject *copier = KvlGetObject("filecopyhandler", nullptr);
    const std::string list = take(KvlFileCopyHandlerGetFiles(copier));
    const std::string trace = " \"/c/QAG/logs/agent/trace/";
    EXPECT_EQ(list.find(trace + "trace.log\"" + trace + "trace1.log\"" + trace + "trace2.log\"" +
                        trace + "trace_CLI.log\""),
              0u)
        << list.substr(0, 200);
    const std::vector<std::string> order = {"trace_CLI2.log",           "/cache/licsref.dat",
                                            "/cache/multiinstance.txt", "/scan/zemhscan.mif",
                                            "/scan/zemhscan_virt.xml",  "message/msg_CLI.log",
                                            "message/msg.log",          "/etc/extra.ini"};
    size_t at = 0;
    for (const std::string &entry : order) {
        const size_t found = list.find(entry, at);
        EXPECT_NE(found, std::string::npos) << entry;
        at = found;
    }
    const std::string tail = " \"/etc/extra.ini\"";
    EXPECT_EQ(list.substr(list.size() - tail.size()), tail);
    EXPECT_EQ(property(copier, "baseDir"), "/c/QAG/ffdc/agent");

    // Far too many names: whole entries only, and no room for the extra.
    std::string longDir(1000, 'd');
    std::snprintf(cacheDir, sizeof cacheDir, "/%s", longDir.c_str());
    std::snprintf(scannerDir, sizeof scannerDir, "/%s", longDir.c_str());
    setZemlorCommonDir(("/" + std::string(900, 'c')).c_str(), "x", "y", AGENT_KIND_DAEMON);
    confTraceNumber("10");
    confMsgLogNumber("10");
    ASSERT_EQ(setFFDCProperties(std::string(5000, 'e').c_str()), 0);
    const std::string full = take(KvlFileCopyHandlerGetFiles(copier));
    EXPECT_LT(full.size(), 71680u);
    EXPECT_GT(full.size(), 60000u);
    EXPECT_EQ(full.back(), '"');
    EXPECT_EQ(std::count(full.begin(), full.end(), '"') % 2, 0);
    EXPECT_EQ(full.find("eeee"), std::string::npos);
    KvlReleaseObject(copier);
    cacheDir[0] = scannerDir[0] = '\0';
}

TEST_F(LoggerTest, ConsoleFormatterAddsALineEnd) {
    configure(AGENT_KIND_CLI);
    KvlObject *formatter = KvlGetObject("agentConsoleFormatter", nullptr);
    const auto format = [](KvlObject *with, const char *text) {
        KvlEvent *event = vrxtest::makeEvent(KVL_LEVEL_INFO, nullptr, 0, 0, text, KVL_ARG_END);
        std::string result = take(VrxFormat(with, event));
        KvlFreeEvent(event);
        return result;
    };
    EXPECT_EQ(format(formatter, "Agent started"), "Agent started\n");
    EXPECT_EQ(format(formatter, nullptr), "\n");
    EXPECT_EQ(format(traceLoggers[TRACE_CORE], "x"), "<null>") << "not a formatter";
    EXPECT_EQ(VrxFormat(formatter, nullptr), nullptr);
    KvlReleaseObject(formatter);
}

TEST_F(LoggerTest, TypedTraceCallsReachTheHandlers) {
    configure(AGENT_KIND_INSTALLER);
    KvlObject *recorder = KvlGetObject("test.recorder", "test_recordinghandler");
    KvlAddListener(traceLoggers[TRACE_INSTALL], recorder);
    confTraceLevel("MID");
    const std::string owned = "owned";
    TRACE_MIN(TRACE_INSTALL, "min %s %s %d %ld", "c", owned, 7, 8L);
    TRACE_MID(TRACE_INSTALL, "mid %.1f %d %c", 1.5, true, 'x');
    TRACE_MAX(TRACE_INSTALL, "max is below the level");
    const auto events = RecordingStore::instance().snapshot();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].boundText, "min c owned 7 8");
    EXPECT_EQ(events[0].level, KVL_LEVEL_DEBUG_MIN);
    EXPECT_EQ(events[0].properties.at("client"), "node1");
    EXPECT_EQ(events[1].boundText, "mid 1.5 1 x");
    EXPECT_EQ(events[1].level, KVL_LEVEL_DEBUG_MID);
    KvlReleaseObject(recorder);
}

// With a properties file of its own (no default objects), the trace of
// step 7 has a file to go to before the common directory is known.
TEST_F(LoggerTest, AHostWithoutANameIsTracedAndLeftEmpty) {
    loggerSetHostNameSourceForTest(namelessHost);
    vrxtest::writeFile("log.properties",
                       "agentLogger.className=kvl_pdlogger\n"
                       "agentLogger.agentTraceLogger.isInherited=false\n"
                       "agentLogger.agentTraceLogger.level=ALL\n"
                       "agentHandler.agentDaemonTraceHandler.className=kvl_filehandler\n"
                       "agentHandler.agentDaemonTraceHandler.fileName=early.log\n"
                       "agentHandler.agentDaemonTraceHandler.formatterName=plain\n"
                       "plain.className=kvl_basicformatter\n");
    ASSERT_EQ(loggerConfiguration("log.properties", AGENT_KIND_INSTALLER), 0);
    EXPECT_EQ(property(traceLoggers[TRACE_INSTALL], "client"), "");
    EXPECT_EQ(property(messageLogger, "client"), "");
    shutDownLogger();
    EXPECT_NE(vrxtest::contentOf("early.log")
                  .find(" Trace initialization: Impossible to identify the hostname. Trace files "
                        "will miss a parameter.\n"),
              std::string::npos)
        << vrxtest::contentOf("early.log");
}

TEST_F(LoggerTest, ShutDownThenConfigureAgain) {
    configure(AGENT_KIND_INSTALLER);
    shutDownLogger();
    for (KvlObject *logger : traceLoggers)
        EXPECT_EQ(logger, nullptr);
    TRACE_MIN(TRACE_INSTALL, "after shutdown");  // nothing happens
    shutDownLogger();
    configure(AGENT_KIND_INSTALLER);
    setZemlorCommonDir(dir().c_str(), "again", nullptr, AGENT_KIND_INSTALLER);
    TRACE_MIN(TRACE_INSTALL, "second cycle");
    shutDownLogger();
    EXPECT_NE(vrxtest::contentOf(dir() + "/QAG/logs/install/trace/again.log").find("second cycle"),
              std::string::npos);
}

TEST_F(LoggerTest, ReloadWhileThreadsTrace) {
    configure(AGENT_KIND_INSTALLER);
    setZemlorCommonDir(dir().c_str(), "mt", nullptr, AGENT_KIND_INSTALLER);
    std::vector<std::thread> threads;
    for (int component : {TRACE_CORE, TRACE_SYSTEM, TRACE_INSTALL, TRACE_NETWORK})
        threads.emplace_back([component] {
            for (int n = 0; n < 200; ++n)
                TRACE_MIN(component, "record %d", n);
        });
    threads.emplace_back([] {
        for (int n = 0; n < 50; ++n)
            loggerReload(n % 2 == 0 ? "MAX" : "MIN", "65536", "70000");
    });
    for (auto &thread : threads)
        thread.join();
    shutDownLogger();
    std::string log;
    for (const char *file : {"mt.log", "mt1.log", "mt2.log"})
        log += vrxtest::contentOf(dir() + "/QAG/logs/install/trace/" + file);
    EXPECT_NE(log.find("record 199"), std::string::npos);
}

}  // namespace
