// The controller's trace as an administrator finds it after a run:
// D/QAG/logs/install/trace/traceAgentController.log under the common log
// directory D, one XML record per trace call, well-formed as a whole, with
// the place of each call, the thread and process, the product and the
// host; hostile base directories, a common directory moved by its record,
// a /var too small to trace in (the run is unchanged), a link at the
// trace's name never written through, and the 100000-byte three-file
// rollover across many runs.

#include "controller_fixture.h"

namespace {

using namespace vrxe2e;

const std::string kTraceDir = "var/nuv/zemlor/common/QAG/logs/install/trace/";

struct Record {
    std::string level, text, file, method, line, thread, process, product, principal;
    bool hasTime = false;
};

std::string firstMatch(const std::string &text, const std::regex &pattern) {
    std::smatch match;
    return std::regex_search(text, match, pattern) ? match[1].str() : "<none>";
}

// The trace records of a file, in order: each field is the first group of
// its pattern.
std::vector<Record> recordsOf(const std::string &content) {
    static const std::pair<std::string Record::*, std::regex> fields[] = {
        {&Record::level, std::regex("^<Trace Level=\"([A-Z]+)\">")},
        {&Record::text, std::regex("<LogText><!\\[CDATA\\[([^]*?)\\]\\]></LogText>")},
        {&Record::file, std::regex(" <Source FileName=\"([^\"]*)\"")},
        {&Record::method, std::regex(" Method=\"([^\"]*)\"")},
        {&Record::line, std::regex(" Line=\"([0-9]+)\"")},
        {&Record::thread, std::regex(" <Thread>([0-9]+)</Thread>")},
        {&Record::process, std::regex(" <Process>([0-9]+)</Process>")},
        {&Record::product, std::regex(" <ProductId>([^<]*)</ProductId>")},
        {&Record::principal, std::regex(" <Principal>([^<]*)</Principal>")}};
    static const std::regex time(" <Time Millis=\"[0-9]+\">[^<]+</Time>\n");
    std::vector<Record> records;
    for (size_t at = 0; at < content.size();) {
        const size_t end = content.find("</Trace>\n", at);
        if (end == std::string::npos) break;
        const std::string body = content.substr(at, end - at);
        Record r;
        for (const auto &[field, pattern] : fields)
            r.*field = firstMatch(body, pattern);
        r.text = std::regex_replace(r.text, std::regex("\\]\\]\\]\\]><!\\[CDATA\\[>"), "]]>");
        r.hasTime = std::regex_search(body, time);
        records.push_back(r);
        at = end + 9;
    }
    return records;
}

// Whether a record of the content has exactly this text.
bool hasRecord(const std::string &content, const std::string &text) {
    const std::vector<Record> records = recordsOf(content);
    return std::any_of(records.begin(), records.end(),
                       [&](const Record &r) { return r.text == text; });
}

bool haveXmllint() { return std::system("xmllint --version >/dev/null 2>&1") == 0; }

// Whether the file's records, wrapped in one root element, are well-formed.
bool wellFormed(const std::string &content, const std::string &scratch) {
    writeFile(scratch, "<log>\n" + content + "</log>\n");
    return std::system(("xmllint --noout " + scratch + " 2>/dev/null").c_str()) == 0;
}

std::string hostName() {
    char name[1025] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

class ControllerTraceE2E : public ControllerE2E {
protected:
    std::string trace(const std::string &name = "traceAgentController.log") {
        return readFile(work_ / (kTraceDir + name)).value_or("");
    }
};

TEST_F(ControllerTraceE2E, EveryRunLeavesItsRecords) {
    const struct {
        const char *what;
        std::vector<std::string> args;
        std::map<std::string, std::string> agent;
        std::vector<std::pair<std::string, std::string>> expected;  // level, text, in order
        bool exits;                                                 // ends with "main : exit"
        // clang-format off
    } cases[] = {
        {"a usage error", {}, {}, {{"MAX", "main : entry"}}, false},
        {"a start", {"@ERR@", "start", "-i"}, {{"vrxagent.sh", "0"}}, {{"MAX", "main : entry"}, {"MAX", "Invoking command \"/usr/sbin/vrxagent.sh\" -g"}, {"MIN", "vrxagent.sh successfully started"}}, true},
        {"a missing prerequisite", {"@ERR@", "start", "-i"}, {{"vrxagent.sh", "58"}}, {{"MIN", "Error: vrxagent.sh service cannot start because of missing secpack prereq. Start Failed\n"}}, false},
        {"a stop", {"@ERR@", "stop", "-i"}, {{"vrxagent", "5"}}, {{"MAX", "Invoking command \"/usr/sbin/vrxagent\" -e "}}, true},
    };
    // clang-format on
    const std::string host = hostName();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene{c.agent};
        scene.keepVar = true;
        runController(c.args, scene);
        const std::vector<Record> records = recordsOf(trace());
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front().level, "MAX");
        EXPECT_EQ(records.front().text, "main : entry");
        EXPECT_EQ(records.back().text == "main : exit", c.exits) << records.back().text;
        std::set<std::string> processes;
        for (const Record &r : records) {
            EXPECT_TRUE(r.hasTime) << r.text;
            EXPECT_TRUE(r.file.rfind("agent/", 0) == 0) << r.file;  // relative to the sources
            EXPECT_NE(r.method, "<none>");
            EXPECT_NE(r.line, "<none>");
            EXPECT_NE(r.thread, "<none>");
            EXPECT_EQ(r.product, "QAG");
            EXPECT_EQ(r.principal, host);
            processes.insert(r.process);
        }
        EXPECT_EQ(processes.size(), 1u);
        size_t at = 0;
        for (const auto &[level, text] : c.expected) {
            while (at < records.size() && records[at].text != text)
                ++at;
            ASSERT_LT(at, records.size()) << "missing in order: " << text;
            EXPECT_EQ(records[at].level, level) << text;
        }
        if (haveXmllint()) {
            EXPECT_TRUE(wellFormed(trace(), work_ / "wrapped.xml"));
        }
    }
}

// Where the run's scene leaves the trace, and a record it must hold: the
// ini file's content traced, a hostile base directory (still well-formed),
// and a common directory moved by its record.
TEST_F(ControllerTraceE2E, TheSceneIsTraced) {
    const struct {
        const char *what;
        std::vector<std::string> args;
        std::map<std::string, std::string> agent;
        std::string agentDir, ini, commonRecord, file, record;
        // clang-format off
    } cases[] = {
        {"the ini file", {"@ERR@", "stop", "-u"}, {{"vrxagent", "5"}}, "", "agent_base_dir = /usr/sbin\n", "", kTraceDir, "Critical error, missing communication_type"},
        {"a hostile base directory", {"@ERR@", "start", "-i"}, {{"vrxagent.sh", "0"}}, "odd]]>dir<&", kCompleteIni + "agent_base_dir = @WORK@/odd]]>dir<&\n", "", kTraceDir, "Invoking command \"" + work_.path() + "/odd]]>dir<&/vrxagent.sh\" -g"},
        {"a moved common directory", {"@ERR@", "stop", "-u"}, {{"vrxagent", "5"}}, "", "", "zemlor_common_dir = @WORK@/scratch/logs \n", "scratch/logs/QAG/logs/install/trace/", "main : entry"},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene{c.agent};
        scene.keepVar = true;
        if (!c.agentDir.empty()) scene.agentDir = c.agentDir;
        if (!c.ini.empty()) scene.ini = c.ini;
        if (!c.commonRecord.empty()) scene.commonRecord = c.commonRecord;
        runController(c.args, scene);
        const std::string content =
            readFile(work_ / (c.file + "traceAgentController.log")).value_or("");
        EXPECT_TRUE(hasRecord(content, c.record)) << content.substr(0, 4000);
        if (haveXmllint()) {
            EXPECT_TRUE(wellFormed(content, work_ / "wrapped.xml"));
        }
    }
}

TEST_F(ControllerTraceE2E, NoRoomToTraceChangesNothingElse) {
    const std::vector<std::string> args = {"@ERR@", "start", "-i"};
    Scene traced{{{"vrxagent.sh", "1"}}};
    const Outcome withTrace = runController(args, traced);
    const auto errWithTrace = readFile(errPath());
    Scene small{{{"vrxagent.sh", "1"}}};
    small.varSizeMiB = 8;
    const Outcome withoutTrace = runController(args, small);
    EXPECT_EQ(withoutTrace.out, withTrace.out);
    EXPECT_EQ(withoutTrace.err, withTrace.err);
    EXPECT_EQ(withoutTrace.status, withTrace.status);
    EXPECT_EQ(readFile(errPath()), errWithTrace);
}

// The controller runs as root and traces into a directory others may write
// (0771): a link put at the trace's name is never written through, be it
// to /etc/passwd or to a file of the same directory tree; the run itself
// is unchanged.
TEST_F(ControllerTraceE2E, ALinkAtTheTraceNameIsNeverWrittenThrough) {
    const struct {
        const char *target;  // as the namespace sees it
        std::string untouched;
        std::string before;  // its content before the run; "" for none to make
    } cases[] = {
        {"/etc/passwd", work_ / "etc.upper/passwd", ""},
        {"/var/victim", work_ / "var/victim", "secret\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target);
        Scene scene{{{"vrxagent", "5"}}};
        scene.keepVar = true;
        scene.reuseVar = true;  // the link planted below stays
        fs::remove_all(work_ / "var");
        fs::create_directories(work_ / kTraceDir);
        if (!c.before.empty()) writeFile(c.untouched, c.before);
        fs::create_symlink(c.target, work_ / (kTraceDir + "traceAgentController.log"));
        const Outcome run = runController({"@ERR@", "stop", "-u"}, scene);
        EXPECT_EQ(run.out, "vrxagent successfully stopped");
        EXPECT_EQ(run.status, 0);
        if (c.before.empty())
            EXPECT_FALSE(fs::exists(c.untouched)) << "no copy-up: nothing was written there";
        else
            EXPECT_EQ(readFile(c.untouched).value_or("<none>"), c.before);
        EXPECT_TRUE(fs::is_symlink(work_ / (kTraceDir + "traceAgentController.log")));
    }
}

// 100000 bytes per file, three files: runs roll the set and never make a
// fourth; a file passes the limit by one record at most.
TEST_F(ControllerTraceE2E, RunsRollTheTraceOver) {
    Scene scene{{{"vrxagent", "5"}}};
    scene.keepVar = true;
    scene.reuseVar = true;
    constexpr size_t kLimit = 100000, kRecordAtMost = 2000;
    const auto checkSet = [&](const char *when) {
        SCOPED_TRACE(when);
        EXPECT_FALSE(fs::exists(work_ / (kTraceDir + "traceAgentController3.log")));
        for (const char *name : {"traceAgentController.log", "traceAgentController1.log",
                                 "traceAgentController2.log"}) {
            const std::string content = trace(name);
            EXPECT_LT(content.size(), kLimit + kRecordAtMost) << name;
            if (haveXmllint() && !content.empty()) {
                EXPECT_TRUE(wellFormed(content, work_ / "wrapped.xml")) << name;
            }
        }
    };
    for (int run = 0; run < 60; ++run)
        runController({"@ERR@", "stop", "-u"}, scene);
    EXPECT_TRUE(fs::exists(work_ / (kTraceDir + "traceAgentController1.log")));
    checkSet("after 60 runs");

    // Seeded nearly full with marked records, further runs rotate the set:
    // the oldest file's record is dropped, the others move up.
    const char *names[] = {"traceAgentController.log", "traceAgentController1.log",
                           "traceAgentController2.log"};
    for (int n = 0; n < 3; ++n) {
        const std::string head =
            "<Trace Level=\"MIN\">\n <LogText><![CDATA[seed-" + std::to_string(n) + " ";
        const std::string tail = "]]></LogText>\n</Trace>\n";
        writeFile(work_ / (kTraceDir + names[n]),
                  head + std::string(kLimit - 200 - head.size() - tail.size(), 'x') + tail);
    }
    for (int run = 0; run < 3; ++run)
        runController({"@ERR@", "stop", "-u"}, scene);
    std::string all;
    for (const char *name : names)
        all += trace(name);
    EXPECT_TRUE(all.find("seed-2 ") == std::string::npos) << "the oldest file was dropped";
    EXPECT_TRUE(trace(names[2]).find("seed-1 ") != std::string::npos) << "file 1 became file 2";
    checkSet("after seeding");
}

}  // namespace
