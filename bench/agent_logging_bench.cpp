// The agent's logging set-up as the controller uses it: building and
// tearing down its configuration (host name through the test seam, files
// in a scratch directory), and one enabled TRACE_MAX record into the trace
// file, beside the same record through a bare file handler with the XML
// formatter: what the agent's configuration adds to the record path.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "agent_trace.h"

namespace {

int benchHost(char *buffer, size_t size) {
    std::snprintf(buffer, size, "node1");
    return 0;
}

std::string scratch() {
    char dir[] = "/tmp/agent_logging_bench.XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    return dir;
}

void removeAll(const std::string &dir) { std::system(("rm -rf " + dir).c_str()); }

void BM_ControllerSetupAndShutdown(benchmark::State &state) {
    loggerSetHostNameSourceForTest(benchHost);
    const std::string dir = scratch();
    for (auto _ : state) {
        loggerConfiguration(nullptr, AGENT_KIND_INSTALLER);
        setZemlorCommonDir(dir.c_str(), "traceBench", nullptr, AGENT_KIND_INSTALLER);
        confTraceLevel("MAX");
        confTraceSize("100000");
        confTraceNumber("3");
        shutDownLogger();
    }
    loggerSetHostNameSourceForTest(nullptr);
    removeAll(dir);
}
BENCHMARK(BM_ControllerSetupAndShutdown)->Unit(benchmark::kMicrosecond);

// Both record paths write into 16 MiB files of a 3-file set, so they roll
// over equally often.
void BM_TraceMaxRecord(benchmark::State &state) {
    loggerSetHostNameSourceForTest(benchHost);
    const std::string dir = scratch();
    loggerConfiguration(nullptr, AGENT_KIND_INSTALLER);
    setZemlorCommonDir(dir.c_str(), "traceBench", nullptr, AGENT_KIND_INSTALLER);
    confTraceLevel("MAX");
    confTraceSize("16777216");
    confTraceNumber("3");
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state)
        TRACE_MAX(TRACE_INSTALL, "Invoking command %s", command);
    shutDownLogger();
    loggerSetHostNameSourceForTest(nullptr);
    removeAll(dir);
}
BENCHMARK(BM_TraceMaxRecord);

void BM_Floor_BareXmlFileHandler(benchmark::State &state) {
    const std::string dir = scratch();
    KvlOpenToolkit(nullptr);
    KvlObject *logger = KvlGetObject("bench", "kvl_pdlogger");
    KvlObject *formatter = KvlGetObject("bench.xml", "kvl_xmlformatter");
    KvlObject *handler = KvlGetObject("bench.file", "kvl_filehandler");
    KvlSetObjProp(logger, "level", "ALL");
    KvlSetObjProp(handler, "fileName", (dir + "/bare.log").c_str());
    KvlSetObjProp(handler, "maxFileSize", "16777216");
    KvlSetObjProp(handler, "maxFiles", "3");
    KvlSetObjProp(handler, "formatterName", "bench.xml");
    KvlAddListener(logger, handler);
    const std::string command = "\"/usr/sbin/vrxagent.sh\" -g";
    for (auto _ : state)
        kvl::debugMax(logger, __FILE__, __func__, __LINE__, "Invoking command %s", command);
    KvlReleaseObject(handler);
    KvlReleaseObject(formatter);
    KvlReleaseObject(logger);
    KvlCloseToolkit();
    removeAll(dir);
}
BENCHMARK(BM_Floor_BareXmlFileHandler);

}  // namespace
