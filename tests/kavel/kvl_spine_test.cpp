// The toolkit's spine: opening and closing, the class registry, objects
// with their references, properties and listeners, configurations and the
// log manager, the unlocked level test, and objects a caller still holds
// when the toolkit closes.

#include "KvlClasses.h"
#include "toolkit_test.h"

namespace {

using namespace vrxtest;

class KvlSpineTest : public vrxtest::ToolkitTest {
protected:
    ~KvlSpineTest() override { KvlCloseToolkit(); }
};

std::vector<std::string> names(KvlStringGroupIter it) {
    std::vector<std::string> out;
    for (; KvlStringGroupIterHasNext(it); it = KvlStringGroupIterNext(it))
        out.push_back(take(KvlStringGroupIterGet(it)));
    return out;
}

// The name of a configuration's parent ("<none>" when it has none).
std::string parentOf(KvlObjCfg *cfg) {
    KvlObjCfg *parent = KvlObjCfgGetParent(cfg);
    const std::string name = parent != nullptr ? take(KvlObjCfgGetName(parent)) : "<none>";
    KvlReleaseObjCfg(parent);
    return name;
}

// A handler class that counts its close and free-vars calls, in order.
std::vector<std::string> handlerCalls;
int varsMarker = 0;
void *countingAlloc() { return &varsMarker; }
void countingFree(void *) { handlerCalls.push_back("free"); }
KvlObject *countingClose(KvlObject *handler) {
    handlerCalls.push_back("close");
    return handler;
}
void addCountingClass() {
    KvlAddHandlerClass("test_counting", nullptr, countingAlloc, countingFree,
                       KvlBasicHandlerFCfgChange, nullptr, nullptr, countingClose);
}

int customCalls = 0;
void customLog(KvlObject *, KvlEvent *) { ++customCalls; }

TEST_F(KvlSpineTest, OpenCloseAndReopen) {
    EXPECT_EQ(kvlToolkitLogger(), nullptr) << "closed";
    EXPECT_EQ(KvlOpenToolkit(nullptr), 1);
    KvlObject *logger = kvlToolkitLogger();
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(KvlOpenToolkit(nullptr), 1) << "again: nothing changes";
    EXPECT_EQ(kvlToolkitLogger(), logger);
    KvlObject *found = KvlGetObject("kavel.errorLogger", nullptr);
    EXPECT_EQ(found, logger) << "one error logger";
    EXPECT_EQ(listenerNames(found), std::vector<std::string>{"kavel.defaultConsole"});
    KvlObject *console = KvlGetObject("kavel.defaultConsole", nullptr);
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(take(KvlGetObjectName(console->formatter)), "kavel.defaultFormatter");
    KvlReleaseObject(console);
    KvlReleaseObject(found);
    kvlFFDCSetRegistered(1);
    KvlCloseToolkit();
    EXPECT_EQ(kvlToolkitLogger(), nullptr);
    EXPECT_EQ(kvlFFDCIsRegistered(), 0) << "capture classes must be registered again";
    KvlCloseToolkit();  // closing a closed toolkit is harmless
    EXPECT_EQ(KvlOpenToolkit(nullptr), 1);
    EXPECT_NE(kvlToolkitLogger(), nullptr);
}

// Builds with assertions know which thread holds the API mutex, so the
// internal twins can check their callers; release builds do not keep
// track.
TEST_F(KvlSpineTest, EachThreadKnowsWhetherItHoldsTheApiMutex) {
#ifdef NDEBUG
    GTEST_SKIP() << "a build without assertions";
#else
    EXPECT_EQ(kvlAPIMutexHeld(), 0);
    {
        KvlApiLock lock;
        ASSERT_TRUE(lock);
        EXPECT_EQ(kvlAPIMutexHeld(), 1);
        int other = -1;
        std::thread([&] { other = kvlAPIMutexHeld(); }).join();
        EXPECT_EQ(other, 0) << "only the holder";
    }
    EXPECT_EQ(kvlAPIMutexHeld(), 0);
#endif
}

TEST_F(KvlSpineTest, ClassesInOrderAndBuiltInsNeverReplaced) {
    const std::vector<std::string> builtIns = {"kvl_consolehandler", "kvl_filehandler",
                                               "kvl_multiproc_filehandler", "kvl_asynchandler"};
    customCalls = 0;
    KvlAddLoggerClass("kvl_basiclogger", nullptr, nullptr, nullptr, nullptr, customLog);  // before
    addCountingClass();
    std::vector<std::string> expected = builtIns;
    expected.push_back("test_counting");
    EXPECT_EQ(names(KvlGetHandlerClasses()), expected);
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    KvlAddLoggerClass("kvl_basiclogger", nullptr, nullptr, nullptr, nullptr, customLog);  // after
    KvlAddFilterClass("kvl_filehandler", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr);  // a taken name, whatever the kind
    EXPECT_EQ(names(KvlGetHandlerClasses()), expected);
    EXPECT_EQ(names(KvlGetFilterClasses()),
              (std::vector<std::string>{"kvl_levelfilter", "kvl_msgidfilter"}));
    EXPECT_EQ(names(KvlGetLoggerClasses()),
              (std::vector<std::string>{"kvl_basiclogger", "kvl_pdlogger"}));
    KvlObject *logger = KvlGetObject("app", "kvl_basiclogger");
    {
        KvlApiLock lock;  // class operations run under it
        KvlBasicObjectFLog(logger, nullptr);
        logger->klass->log(logger, nullptr);
    }
    EXPECT_EQ(customCalls, 0) << "the built-in's operations stay";
    KvlReleaseObject(logger);
    KvlCloseToolkit();
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    EXPECT_EQ(names(KvlGetHandlerClasses()), builtIns) << "added classes go with a close";
    EXPECT_EQ(names(KvlGetFormatterClasses()),
              (std::vector<std::string>{"kvl_basicformatter", "kvl_xmlformatter",
                                        "kvl_zemtraceformatter"}));
}

TEST_F(KvlSpineTest, AnUnreadablePropertiesFileIsReportedOnStderr) {
    std::string err;
    {
        vrxtest::OutputCapture capture(2);
        EXPECT_EQ(KvlOpenToolkit("/no/such/app.properties"), 0);
        err = capture.text();
    }
    EXPECT_EQ(err,
              "KVL0051E The log manager could not read the properties file "
              "/no/such/app.properties.\n");
    EXPECT_EQ(kvlToolkitLogger(), nullptr) << "closed again";
    EXPECT_EQ(KvlOpenToolkit(nullptr), 1);
}

TEST_F(KvlSpineTest, ObjectsByNameAndClass) {
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    RaisedMessages raised;
    KvlObject *first = KvlGetObject("a.b", "kvl_filehandler");
    KvlObject *second = KvlGetObject("a.b", "kvl_filehandler");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second) << "one object per name";
    EXPECT_EQ(first->refCount, 3u) << "the registry's and two callers'";
    const struct {
        const char *name, *className;
        bool found;
        std::vector<int32_t> messages;
    } cases[] = {
        {"a.b", "kvl_consolehandler", false, {61}},  // another class
        {"a.b", nullptr, true, {}},                  // any class
        {"x", nullptr, false, {63}},                 // none configured
        {"y", "no_such_class", false, {62}},
        {nullptr, "kvl_filehandler", false, {}},
    };
    for (const auto &c : cases) {
        KvlObject *object = KvlGetObject(c.name, c.className);
        EXPECT_EQ(object != nullptr, c.found) << (c.name ? c.name : "<null>");
        EXPECT_EQ(raised.take(), c.messages) << (c.name ? c.name : "<null>");
        KvlReleaseObject(object);
    }
    {
        KvlApiLock lock;  // its callers hold it
        KvlReportPlatformErr(cxPlatformFail(ENOENT));
        KvlReportPlatformErr(cxPlatformOk());
    }
    EXPECT_EQ(raised.take(), std::vector<int32_t>{0}) << "a platform error, once";
    KvlObjCfg *configured = KvlLogMgrGetCfg("z");
    KvlSetObjCfgProp(configured, "className", "kvl_basiclogger");
    KvlSetObjCfgProp(configured, "level", "WARN");
    KvlReleaseObjCfg(configured);
    KvlObject *z = KvlGetObject("z", nullptr);
    ASSERT_NE(z, nullptr) << "the configured class";
    EXPECT_EQ(z->level, KVL_LEVEL_WARN) << "configuration applied";
    KvlSetObjProp(z, "level", "ERROR");
    KvlReleaseObject(z);  // nothing else holds it: destroyed
    z = KvlGetObject("z", nullptr);
    EXPECT_EQ(z->level, KVL_LEVEL_WARN) << "a fresh object, configured again";
    KvlReleaseObject(z);
    KvlReleaseObject(second);
    KvlReleaseObject(first);
}

TEST_F(KvlSpineTest, HandlersAreClosedThenFreedAtTheLastRelease) {
    addCountingClass();
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    handlerCalls.clear();
    KvlObject *handler = KvlGetObject("h", "test_counting");
    KvlObject *again = KvlGetObject("h", nullptr);
    KvlReleaseObject(again);
    EXPECT_TRUE(handlerCalls.empty()) << "still held";
    KvlReleaseObject(handler);
    EXPECT_EQ(handlerCalls, (std::vector<std::string>{"close", "free"}));
    handlerCalls.clear();
    handler = KvlGetObject("h2", "test_counting");
    KvlCloseToolkit();
    EXPECT_EQ(handlerCalls, (std::vector<std::string>{"close", "free"})) << "at close";
    handlerCalls.clear();
    // Held across the close: detached, it does nothing and is freed by the
    // caller's release.
    EXPECT_EQ(KvlIsLoggable(handler, KVL_LEVEL_FATAL), 0);
    KvlSetObjProp(handler, "logging", "off");
    EXPECT_EQ(KvlIsObjectEnabled(handler), 0);
    KvlReleaseObject(handler);
    EXPECT_TRUE(handlerCalls.empty()) << "nothing twice";
}

TEST_F(KvlSpineTest, CommonProperties) {
    vrxtest::addRecordingHandlerClass();
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    KvlObject *logger = KvlGetObject("app", "kvl_basiclogger");
    const struct {
        const char *value;
        int enabled;
    } logging[] = {{"OFF", 0}, {"maybe", 0}, {"On", 1}, {"FALSE", 0}, {"true", 1}, {"", 1}};
    for (const auto &c : logging) {
        KvlSetObjProp(logger, "logging", c.value);
        EXPECT_EQ(KvlIsObjectEnabled(logger), c.enabled) << c.value;
    }
    for (const char *name : {"h1", "h2", "h3"}) {
        KvlObjCfg *cfg = KvlLogMgrGetCfg(name);
        KvlSetObjCfgProp(cfg, "className", "test_recordinghandler");
        KvlReleaseObjCfg(cfg);
    }
    KvlSetObjProp(logger, "listenerNames", "h1  h2\th1");
    EXPECT_EQ(listenerNames(logger), (std::vector<std::string>{"h1", "h2"}));
    RecordingStore::instance().clear();
    {
        KvlApiLock lock;
        KvlBasicObjectFLog(logger, nullptr);
    }
    std::vector<std::string> delivered;
    for (const auto &event : RecordingStore::instance().snapshot())
        delivered.push_back(event.handlerName);
    EXPECT_EQ(delivered, (std::vector<std::string>{"h1", "h2"})) << "in the order added";
    KvlSetObjProp(logger, "listenerNames", "h3");
    EXPECT_EQ(listenerNames(logger), std::vector<std::string>{"h3"});

    KvlObject *f1 = KvlGetObject("f1", "kvl_xmlformatter");
    KvlObject *f2 = KvlGetObject("f2", "kvl_xmlformatter");
    KvlSetObjProp(f1, "description", "my formatter");
    EXPECT_EQ(take(KvlGetObjectDesc(f2)), "my formatter") << "the class's description";
    KvlObject *basic = KvlGetObject("f3", "kvl_basicformatter");
    EXPECT_EQ(take(KvlGetObjectDesc(basic)), "Formats a basic message summary.");
    for (KvlObject *object : {logger, f1, f2, basic})
        KvlReleaseObject(object);
}

TEST_F(KvlSpineTest, AListenerCycleDeliversOnce) {
    vrxtest::addRecordingHandlerClass();
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    KvlObject *logger = KvlGetObject("cycle", "kvl_basiclogger");
    KvlObject *f1 = KvlGetObject("f1", "kvl_levelfilter");
    KvlObject *f2 = KvlGetObject("f2", "kvl_levelfilter");
    KvlObject *sink = KvlGetObject("sink", "test_recordinghandler");
    KvlAddListener(logger, f1);
    KvlAddListener(f1, f2);
    KvlAddListener(f2, f1);  // a cycle
    KvlAddListener(f2, sink);
    KvlSetObjProp(logger, "level", "ALL");
    RecordingStore::instance().clear();
    KvlLogText(logger, "once", KVL_ARG_END);
    EXPECT_EQ(RecordingStore::instance().snapshot().size(), 1u);
    for (KvlObject *object : {logger, f1, f2, sink})
        KvlReleaseObject(object);

    // Handlers pass the event on to their listeners too: in a cycle of
    // handlers each writes the record once.
    vrxtest::addPlainFormatterClass();
    KvlObject *plain = KvlGetObject("cycle.plain", "test_plain");
    const struct {
        const char *name;
        std::vector<std::pair<int, int>> edges;  // listener of, listener
    } graphs[] = {
        {"two handlers", {{0, 1}, {1, 0}}},
        {"a handler listening to itself", {{0, 0}, {0, 1}}},
        {"three in a ring", {{0, 1}, {1, 2}, {2, 0}}},
    };
    int round = 0;
    for (const auto &g : graphs) {
        SCOPED_TRACE(g.name);
        const std::string tag = "r" + std::string(1, static_cast<char>('a' + round++));
        KvlObject *source = KvlGetObject(("cycle." + tag).c_str(), "kvl_basiclogger");
        KvlSetObjProp(source, "level", "ALL");
        std::vector<KvlObject *> handlers;
        for (const char *file : {"x", "y", "z"}) {
            const std::string name = tag + file;
            KvlObject *h = KvlGetObject(("cycle." + name).c_str(), "kvl_filehandler");
            KvlSetObjProp(h, "formatterName", "cycle.plain");
            KvlSetObjProp(h, "fileName", (name + ".log").c_str());
            handlers.push_back(h);
        }
        KvlAddListener(source, handlers[0]);
        for (const auto &[from, to] : g.edges)
            KvlAddListener(handlers[from], handlers[to]);
        KvlLogText(source, "once", KVL_ARG_END);
        for (int h = 0; h < 3; ++h) {
            const bool reached =
                h == 0 || std::any_of(g.edges.begin(), g.edges.end(),
                                      [h](const auto &e) { return e.second == h; });
            const std::string file = tag + "xyz"[h] + ".log";
            EXPECT_EQ(vrxtest::readFile(file).value_or(""), reached ? "once\n" : "") << file;
        }
        for (KvlObject *h : handlers) {
            KvlHandlerClose(h);
            KvlReleaseObject(h);
        }
        KvlReleaseObject(source);
    }
    KvlReleaseObject(plain);
}

TEST_F(KvlSpineTest, LevelsAndTheUnlockedTest) {
    const struct {
        const char *text;
        int32_t level;
    } texts[] = {
        // clang-format off
        {"FATAL", 7000}, {"ERROR", 6000}, {"WARN", 5000}, {"INFO", 4000},
        {"DEBUG_MIN", 3000}, {"MIN", 3000}, {"DEBUG_MID", 2000}, {"MID", 2000},
        {"DEBUG_MAX", 1000}, {"MAX", 1000}, {"ALL", 0}, {"OFF", 9999},
        {"WARNING", 5000}, {"Information", 4000}, {"debug_max", 1000}, {"off", 9999},
        {" -12x", -12}, {"", 0}, {"  ", 0}, {"DEBUGMIN", -9999}, {"verbose", -9999},
        {nullptr, -9999},
        // clang-format on
    };
    for (const auto &c : texts)
        EXPECT_EQ(KvlGetLevelFromString(c.text), c.level) << (c.text ? c.text : "<null>");

    KvlGetLoggerClasses();  // makes the class registry: objects can be made while closed
    KvlObject *early = KvlGetObject("early", "kvl_basiclogger");
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(KvlIsLoggable(early, KVL_LEVEL_FATAL), 0) << "closed: the gate is shut";
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    EXPECT_EQ(KvlIsLoggable(early, KVL_LEVEL_FATAL), 1) << "opening opens it";
    KvlObject *logger = KvlGetObject("gate", "kvl_basiclogger");
    const struct {
        const char *levelProperty;
        int enabled;
        int32_t level;
        int loggable;
    } gates[] = {
        {"INFO", 1, 3000, 0},  {"INFO", 1, 4000, 1}, {"INFO", 1, -9999, 1},
        {"INFO", 0, -9999, 0}, {"-9999", 1, 1, 1},   {"OFF", 1, 7000, 0},
    };
    for (const auto &c : gates) {
        KvlSetObjProp(logger, "level", c.levelProperty);
        KvlSetObjectEnabled(logger, c.enabled);
        EXPECT_EQ(KvlIsLoggable(logger, c.level), c.loggable)
            << c.levelProperty << " " << c.enabled << " " << c.level;
    }
    EXPECT_EQ(KvlIsLoggable(nullptr, 1), 0);
    KvlReleaseObject(logger);
    KvlReleaseObject(early);
}

TEST_F(KvlSpineTest, ConfigurationsAndParents) {
    ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    EXPECT_EQ(KvlLogMgrGetCfg("/"), nullptr);
    EXPECT_EQ(KvlLogMgrGetCfg(nullptr), nullptr);
    EXPECT_EQ(KvlLogMgrHasCfg("x"), 0);
    KvlReleaseObjCfg(KvlLogMgrGetCfg("x"));
    EXPECT_EQ(KvlLogMgrHasCfg("x"), 1) << "made and registered by the get";

    KvlObjCfg *a = KvlLogMgrGetCfg("a");
    KvlSetObjCfgProp(a, "level", "WARN");
    KvlObjCfg *abc = KvlLogMgrGetCfg("a.b.c");
    KvlObjCfg *ab = KvlLogMgrGetCfg("a.b");
    KvlSetObjCfgProp(ab, "level", "ERROR");
    EXPECT_EQ(parentOf(ab), "a");
    EXPECT_EQ(parentOf(abc), "a") << "a.b.c keeps its first parent";
    unsigned char found = 0;
    EXPECT_EQ(take(KvlGetObjCfgProp(abc, "level", &found)), "WARN") << "inherited from a";
    EXPECT_EQ(found, 1);
    EXPECT_EQ(names(KvlObjCfgChildrenNames(a)), (std::vector<std::string>{"a.b.c", "a.b"}));

    KvlObjCfg *abe = KvlLogMgrGetCfg("a.b.e");
    EXPECT_EQ(parentOf(abe), "a.b");
    EXPECT_EQ(take(KvlGetObjCfgProp(abe, "level", nullptr)), "ERROR");
    KvlLogMgrRemCfg(ab);  // its children move to its parent
    EXPECT_EQ(parentOf(abe), "a") << "and forget the removed parent";
    EXPECT_EQ(names(KvlObjCfgChildrenNames(a)), (std::vector<std::string>{"a.b.c", "a.b.e"}));
    EXPECT_EQ(take(KvlGetObjCfgProp(abe, "level", nullptr)), "WARN");
    KvlLogMgrAddCfg(ab);
    KvlReleaseObjCfg(abe);

    // Applying: ancestors first, the object's own value last.
    std::vector<std::string> seen;
    static std::vector<std::string> *changes;
    changes = &seen;
    KvlAddLoggerClass(
        "test_watching", nullptr, nullptr, nullptr,
        [](KvlObject *object, const char *name) {
            char *value = kvlIntlGetObjProp(object, name, nullptr);
            changes->push_back(std::string(name) + "=" + (value ? value : ""));
            OxsMemoryFree(value);
            KvlBasicLoggerFCfgChange(object, name);
        },
        nullptr);
    KvlSetObjCfgProp(ab, "className", "test_watching");
    KvlObject *object = KvlGetObject("a.b", nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"level=WARN", "level=ERROR", "className=test_watching"}));
    EXPECT_EQ(object->level, KVL_LEVEL_ERROR);
    KvlReleaseObject(object);
    for (KvlObjCfg *cfg : {a, ab, abc})
        KvlReleaseObjCfg(cfg);
}

}  // namespace
