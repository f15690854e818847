// Protects kvlcheck: each finding at its line and severity, no finding on
// good configurations (the README's example, the fuzz corpus, the agent's
// set-up of each kind), agreement with the toolkit on the objects a file
// makes, the JSON output, and the exit statuses.

#include <nlohmann/json.hpp>

#include "KvlPropertyTable.h"
#include "check_model.h"
#include "check_report.h"
#include "check_rules.h"
#include "kavelnet.h"
#include "logger.h"
#include "toolkit_test.h"

using namespace kvlcheck;

namespace {

class KvlCheckTest : public ::testing::Test {
protected:
    // Added classes go with a close: each test registers them again.
    void SetUp() override {
        registerAgentFormatterClass();
        KvlInitFFDCExtensions();
        KvlInitNetExtensions();
        ASSERT_EQ(KvlOpenToolkit(nullptr), 1);
    }
    void TearDown() override { KvlCloseToolkit(); }

    // The checked models of files with these contents.
    std::vector<Model> check(const std::vector<std::string> &contents, bool strict = false) {
        std::vector<Model> models;
        for (size_t i = 0; i < contents.size(); ++i) {
            const std::string path = dir / ("f" + std::to_string(i) + ".properties");
            vrxtest::writeFile(path, contents[i]);
            forgetConfigurations();
            models.push_back(readFileModel(path));
        }
        for (Model &model : models)
            checkModel(model, strict);
        checkAcross(models);
        return models;
    }

    vrxtest::TempDir dir;
};

std::string describe(const Model &model) {
    std::ostringstream out;
    writeText(out, {model});
    return out.str();
}

const char *severityName(Severity s) {
    return s == Severity::kError ? "error" : s == Severity::kWarning ? "warning" : "note";
}

struct BadFile {
    const char *name;
    std::string content;
    int line;
    Severity severity;
    const char *message; /* a regular expression the finding's text matches */
};

TEST_F(KvlCheckTest, EachFindingAtItsLineAndSeverity) {
    const std::string logger = "a.l.className=kvl_basiclogger\na.l.listenerNames=a.h\n";
    const std::string handler = "a.h.className=kvl_consolehandler\n";
    const std::string good = logger + handler;  // lines 1-3
    const std::string fh =
        "a.l.className=kvl_basiclogger\na.l.listenerNames=a.f\n"
        "a.f.className=kvl_filehandler\n";
    const std::string in = dir.path();
    const BadFile rows[] = {
        // clang-format off
        {"key alone", good + "a.l.level\nx.y=1\n", 4, Severity::kError, "alone on its line"},
        {"key alone after CRLF and continuation", "a.l.className=kvl_basiclogger\r\na.l.description=x\\\r\n  y\r\n\r\na.l.level\r\nx.y=1\r\n", 5, Severity::kError, "alone on its line"},
        {"separator first", good + "  =x\n", 4, Severity::kError, "before any key"},
        {"bad escape", good + "a.l.description=a\\tb\n", 4, Severity::kError, "starts no escape"},
        {"no dot", good + "level=WARN\n", 4, Severity::kError, "has no \"\\.\""},
        {"empty name", good + "a.l.=WARN\n", 4, Severity::kError, "property name is empty"},
        {"unknown class", good + "a.x.className=kvl_consolhandler\n", 4, Severity::kError, "no class is named .*did you mean \"kvl_consolehandler\""},
        {"unread property", fh + "a.f.fileNmae=" + in + "/x.log\n", 4, Severity::kError, "reads no property \"fileNmae\"; did you mean \"fileName\""},
        {"level word", good + "a.l.level=DEBUGMIN\n", 4, Severity::kError, "not a level.*every level through"},
        {"integer", fh + "a.f.fileName=" + in + "/x.log\na.f.maxFiles=many\n", 5, Severity::kError, "not a whole number"},
        {"boolean", fh + "a.f.fileName=" + in + "/x.log\na.f.appending=yes\n", 5, Severity::kError, "\"true\" or \"false\""},
        {"permission", fh + "a.f.fileName=" + in + "/x.log\na.f.filePermission=rw\n", 5, Severity::kError, "octal digits"},
        {"codeset", fh + "a.f.fileName=" + in + "/x.log\na.f.fileEncoding=NO-SUCH-SET\n", 5, Severity::kError, "no codeset named"},
        {"quota policy", good + "a.t.className=kvl_ffdc_trigger_handler\na.t.quotaPolicy=quota_suspend\n", 5, Severity::kError, "QUOTA_SUSPEND.*capitals"},
        {"filter mode", "a.l.className=kvl_basiclogger\na.l.listenerNames=a.m\na.m.className=kvl_msgidfilter\na.m.mode=BLOCKED\n", 4, Severity::kError, "\"BLOCK\", \"PASSTHRU\""},
        {"logging word", good + "a.h.logging=maybe\n", 4, Severity::kError, "\"on\", \"true\", \"off\", \"false\""},
        {"listener names nothing", good + "a.l.listenerNames=a.h a.gone\n", 4, Severity::kError, "\"a.gone\" names no configured object"},
        {"listener is a logger", good + "a.k.className=kvl_basiclogger\na.l.listenerNames=a.h a.k\n", 5, Severity::kError, "\"a.k\" is a logger"},
        {"formatter names a handler", good + "a.h.formatterName=a.h\n", 4, Severity::kError, "is a handler, not a formatter"},
        {"handler without fileName", fh, 3, Severity::kError, "no \"fileName\".*default.log"},
        {"same file set", fh + "a.f.fileName=" + in + "/s.log\na.l.listenerNames=a.f a.g\na.g.className=kvl_filehandler\na.g.fileName=" + in + "/./s.log\n", 7, Severity::kError, "write the same file set"},
        {"commas", good + "a.l.listenerNames=a.h,a.h\n", 4, Severity::kWarning, "separated by blanks"},
        {"unreachable", good + "a.u.className=kvl_consolehandler\n", 4, Severity::kWarning, "reachable from no logger"},
        {"filter cycle", "a.l.className=kvl_basiclogger\na.l.listenerNames=a.p\na.p.className=kvl_levelfilter\na.p.listenerNames=a.q\na.q.className=kvl_levelfilter\na.q.listenerNames=a.p\n", 4, Severity::kWarning, "cycle of filters"},
        {"trailing blanks", good + "a.l.level=WARN \n", 4, Severity::kWarning, "ends in blanks"},
        {"digit base", fh + "a.f.fileName=" + in + "/trace1.log\n", 4, Severity::kWarning, "\"trace1_.log\""},
        {"child below parent", good + "a.l.level=WARN\na.l.c.level=DEBUG_MIN\na.l.c.listenerNames=\n", 5, Severity::kWarning, "do not pass events to their parents"},
        {"inherited listeners", "a.className=kvl_basiclogger\na.listenerNames=a.h\na.h.className=kvl_consolehandler\n", 3, Severity::kWarning, "inherits \"listenerNames\" from \"a.listenerNames\""},
        {"missing directory", fh + "a.f.fileName=" + in + "/no/such/x.log\na.f.dirPermission=0700\n", 4, Severity::kWarning, "does not exist.*mode 0700"},
        {"parent property nobody reads", "a.maxFiles=3\na.b.className=kvl_consolehandler\na.l.className=kvl_basiclogger\na.l.listenerNames=a.b\n", 1, Severity::kError, "no object configured below \"a\" reads \"maxFiles\""},
        // clang-format on
    };
    for (const BadFile &row : rows) {
        const Model model = check({row.content}).front();
        const bool found =
            std::any_of(model.findings.begin(), model.findings.end(), [&](const Finding &f) {
                return f.line == row.line && f.severity == row.severity &&
                       std::regex_search(f.message, std::regex(row.message));
            });
        EXPECT_TRUE(found) << row.name << ": wanted " << severityName(row.severity) << " at line "
                           << row.line << " /" << row.message << "/ in\n"
                           << describe(model);
    }
}

TEST_F(KvlCheckTest, StrictNotesEveryDefault) {
    const Model plain = check({"a.l.className=kvl_basiclogger\n"}).front();
    const Model strict = check({"a.l.className=kvl_basiclogger\n"}, true).front();
    EXPECT_TRUE(plain.findings.empty()) << describe(plain);
    ASSERT_FALSE(strict.findings.empty());
    EXPECT_TRUE(std::all_of(strict.findings.begin(), strict.findings.end(),
                            [](const Finding &f) { return f.severity == Severity::kNote; }));
    EXPECT_NE(describe(strict).find("\"logging\" is left at its default (\"on\")"),
              std::string::npos);
}

TEST_F(KvlCheckTest, SharedFileSetsAcrossPrograms) {
    const std::string path = dir / "mp.log";
    auto program = [&](const std::string &extra,
                       const char *className = "kvl_multiproc_filehandler") {
        return "p.l.className=kvl_basiclogger\np.l.listenerNames=p.m\np.m.className=" +
               std::string(className) + "\np.m.fileName=" + path + "\n" + extra;
    };
    struct Row {
        std::string second;
        const char *message; /* null: no finding */
    } rows[] = {
        {program(""), nullptr},
        {program("p.m.MPFileSemKey=1234\n"), "MPFileSemKey \"1234\" differs"},
        {program("p.m.maxFileBytes=4096\n"), "maxFileSize \"4096\" differs"},
        {program("p.m.maxFiles=9\n"), "maxFiles \"9\" differs"},
        {program("", "kvl_filehandler"), "only multi-process handlers may share"},
    };
    for (const Row &row : rows) {
        const std::vector<Model> models = check({program(""), row.second});
        EXPECT_TRUE(models[0].findings.empty()) << describe(models[0]);
        const std::string text = describe(models[1]);
        if (row.message == nullptr) {
            EXPECT_TRUE(models[1].findings.empty()) << text;
        } else {
            EXPECT_NE(text.find(row.message), std::string::npos) << text;
        }
    }
}

TEST_F(KvlCheckTest, GoodFilesGiveNoFinding) {
    std::vector<std::string> goods;
    const std::string text =
        vrxtest::readFile(std::string(VRX_SOURCE_DIR) + "/README.md").value_or("");
    const size_t example = text.find("myprog.main.className");
    ASSERT_NE(example, std::string::npos);
    std::string block = text.substr(example, text.find("```", example) - example);
    // Its log directory is the tester's, which need not exist.
    block = std::regex_replace(block, std::regex("/var/log/myprog"), dir.path());
    goods.push_back(block);
    // A handler passes each event on to its listeners: the second is reached.
    goods.push_back(
        "g.l.className=kvl_basiclogger\ng.l.listenerNames=g.h1\ng.h1.className="
        "kvl_consolehandler\ng.h1.listenerNames=g.h2\ng.h2.className=kvl_consolehandler\n");
    // An asynchronous handler reaches its target, a handler.
    goods.push_back(
        "q.l.className=kvl_basiclogger\nq.l.listenerNames=q.a\nq.a.className=kvl_asynchandler\n"
        "q.a.targetName=q.f\nq.a.overflow=DROP\nq.f.className=kvl_consolehandler\n");
    goods.push_back(*vrxtest::readFile(std::string(VRX_SOURCE_DIR) +
                                       "/fuzz/corpus/fuzz_props_read/readme.properties"));
    vrxtest::EnvGuard tables("ZILDIR", VRX_TEST_BUILD_DIR);  // the codeset tables the build made
    goods.push_back(
        "e.l.className=kvl_basiclogger\ne.l.listenerNames=e.f\ne.f.className=kvl_filehandler\n"
        "e.f.fileName=" +
        dir.path() + "/e.log\ne.f.fileEncoding=ISO-8859-2\n");
    for (const Model &model : check(goods))
        EXPECT_TRUE(model.findings.empty()) << describe(model);
}

// The API reference's page of classes names every toolkit class and every
// property the classes' tables hold, so a new property cannot go unnamed.
TEST_F(KvlCheckTest, TheReferenceNamesEveryClassAndProperty) {
    const std::string page =
        *vrxtest::readFile(std::string(VRX_SOURCE_DIR) + "/doc/api/toolkit_classes.md");
    for (auto classes :
         {KvlGetLoggerClasses, KvlGetFilterClasses, KvlGetHandlerClasses, KvlGetFormatterClasses}) {
        for (KvlStringGroupIter it = classes(); it != nullptr; it = KvlStringGroupIterNext(it)) {
            const std::string name = vrxtest::take(KvlStringGroupIterGet(it));
            if (name.rfind("kvl_", 0) != 0) continue;  // a program's own class
            EXPECT_NE(page.find("| `" + name + "` |"), std::string::npos) << name;
            for (const kvl::PropertyTable *table =
                     kvlToolkitGetClassDef(name.c_str())->internals.properties;
                 table != nullptr; table = table->base)
                for (const kvl::PropertyDef &def : table->properties)
                    EXPECT_NE(page.find("| `" + std::string(def.name) + "` |"), std::string::npos)
                        << name << " reads " << def.name;
        }
    }
}

TEST(KvlCheckAgentTest, EachKindGivesNoFinding) {
    vrxtest::TempDir logs;
    for (int kind : {AGENT_KIND_CLI, AGENT_KIND_DAEMON, AGENT_KIND_INSTALLER}) {
        Model model = agentModel(kind, logs.path());
        checkModel(model, false);
        const std::string text = describe(model);
        EXPECT_TRUE(model.findings.empty()) << text;
        const std::string trace = kind == AGENT_KIND_INSTALLER
                                      ? "/QAG/logs/install/trace/traceAgentController.log"
                                  : kind == AGENT_KIND_CLI ? "/QAG/logs/agent/trace/trace_CLI.log"
                                                           : "/QAG/logs/agent/trace/trace.log";
        EXPECT_NE(text.find("file " + logs.path() + trace), std::string::npos) << text;
        if (kind == AGENT_KIND_INSTALLER) {
            EXPECT_NE(text.find("maxFileSize 100000, maxFiles 3"), std::string::npos) << text;
        }
        shutDownLogger();
        EXPECT_TRUE(std::filesystem::is_empty(logs.path())) << "a checker opens no file";
    }
}

// The checker's objects are those the toolkit makes from the same file.
TEST_F(KvlCheckTest, AgreesWithTheToolkitOnTheObjectsMade) {
    const std::string file = dir / "diff.properties";
    const std::string text = R"(app.className=kvl_basiclogger
app.level=WARN
app.listenerNames=app.filter app.out
app.sub.level=INFO
app.filter.className=kvl_levelfilter
app.filter.listenerNames=app.file app.copy
app.file.className=kvl_filehandler
app.file.fileName=@DIR@/d.log
app.file.formatterName=app.xml
app.copy.className=kvl_filehandler
app.copy.fileName=@DIR@/c.log
app.xml.className=kvl_xmlformatter
app.out.className=kvl_consolehandler
app.out.formatterName=app.trace
app.trace.className=kvl_zemtraceformatter
other.className=kvl_pdlogger
other.listenerNames=app.out
deep.level=ERROR
deep.mid.level=WARN
deep.mid.leaf.className=kvl_basiclogger
deep.mid.leaf.listenerNames=app.out
)";  // app.sub is a logger by inheritance; deep.mid.leaf keeps the nearer ancestor's level
    vrxtest::writeFile(file, std::regex_replace(text, std::regex("@DIR@"), dir.path()));
    const Model checked = readFileModel(file);
    std::vector<std::string> loggerNames;
    for (const Object &object : checked.objects)
        if (object.kind() == KVL_KIND_LOGGER) loggerNames.push_back(object.name);
    KvlCloseToolkit();  // the checked model's classes go with it
    ASSERT_EQ(KvlOpenToolkit(file.c_str()), 1);
    std::vector<KvlObject *> loggers;
    for (const std::string &name : loggerNames)
        loggers.push_back(KvlGetObject(name.c_str(), nullptr));
    const Model live = liveModel("toolkit", loggers);
    for (KvlObject *logger : loggers)
        KvlReleaseObject(logger);
    auto summary = [](const Model &model) {
        std::vector<std::string> lines;
        for (const Object &o : model.objects) {
            const Setting *level = o.find("level");
            std::string line =
                o.name + " " + o.className + " " + (level != nullptr ? level->value : "") + " ->";
            for (const std::string &l : o.listeners)
                line += " " + l;
            lines.push_back(line + " / " + o.formatter);
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    std::vector<std::string> fromFile = summary(checked);
    fromFile.push_back("kavel.defaultFormatter kvl_basicformatter  -> / ");  // made for handlers
    std::sort(fromFile.begin(), fromFile.end());
    EXPECT_EQ(fromFile, summary(live));
}

TEST_F(KvlCheckTest, JsonReadsBack) {
    const std::vector<Model> models =
        check({"a.l.className=kvl_basiclogger\na.l.listenerNames=a.h\n"
               "a.h.className=kvl_consolehandler\na.l.level=LOUD\n"});
    std::ostringstream out, hostile;
    writeJson(out, models);
    // Any bytes a file holds still make a valid document.
    writeJson(hostile, check({"a\xff\x01\"\\.className=x\xc3\n\xed\xa0\x80.y=\xf4\x90\x80\x80\n"}));
    EXPECT_TRUE(nlohmann::json::accept(hostile.str())) << hostile.str();
    const nlohmann::json json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json["errors"], 1);
    const auto &file = json["files"][0];
    EXPECT_EQ(file["objects"][0]["name"], "a.l");
    EXPECT_EQ(file["objects"][0]["listeners"][0], "a.h");
    EXPECT_EQ(file["objects"][1]["output"], "standard output");
    EXPECT_EQ(file["findings"][0]["line"], 4);
    EXPECT_EQ(file["findings"][0]["key"], "a.l.level");
    EXPECT_EQ(file["findings"][0]["severity"], "error");
}

TEST(KvlCheckCommandTest, ExitStatuses) {
    vrxtest::TempDir dir;
    vrxtest::writeFile(dir / "good",
                       "a.l.className=kvl_basiclogger\na.l.listenerNames=a.h\n"
                       "a.h.className=kvl_consolehandler\n");
    vrxtest::writeFile(dir / "bad", "a.l.className=kvl_basiclogger\na.l.level=LOUD\n");
    struct Row {
        std::string arguments;
        int status;
    } rows[] = {
        // clang-format off
        {dir / "good", 0}, {dir / "bad", 1}, {dir / "good " + dir / "bad", 1}, {dir / "missing", 2},
        {"--format=json " + dir / "good", 0}, {"--help", 0}, {"--bogus " + dir / "good", 2},
        {"", 2}, {"--agent 7", 2}, {"--agent 2 --log-dir " + dir.path(), 0},
        // clang-format on
    };
    for (const Row &row : rows) {
        const std::string command =
            std::string(KVLCHECK_PATH) + " " + row.arguments + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_EQ(WEXITSTATUS(status), row.status) << row.arguments;
    }
}

}  // namespace
