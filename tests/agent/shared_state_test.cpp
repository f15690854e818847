// Agent state that one thread changes while another uses it: the trace
// writer's file and the name of the configuration file last loaded. Run
// under ThreadSanitizer, these catch an access outside the owning lock.

#include "slm_conf.h"
#include "test_support.h"
#include "trace.h"

namespace {

using namespace vrxtest;

TEST(SharedStateTest, TraceFileSwappedWhileWriting) {
    TempDir tmp;
    ASSERT_EQ(startTrace((tmp / "a").c_str()), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            traceWrite("f", i, 0, 0, "record %d", i);
            ++written;
        }
    });
    for (int i = 0; i < 200; ++i) {
        const int before = written;
        while (written == before)  // a record or more in each file
            std::this_thread::yield();
        EXPECT_EQ(setTraceFile((tmp / (i % 2 ? "a" : "b")).c_str()), 0);
    }
    stop = true;
    writer.join();
    stopTrace();
    EXPECT_NE(readFile(tmp / "a.log").value_or("").find("record"), std::string::npos);
    EXPECT_NE(readFile(tmp / "b.log").value_or("").find("record"), std::string::npos);
}

TEST(SharedStateTest, ConfigurationRewrittenWhileAnotherFileLoads) {
    TempDir tmp;
    ASSERT_EQ(slm_conf_init(tmp.path().c_str()), 1);
    for (const char *name : {"one.ini", "two.ini"})
        writeFile(tmp / name, "trace_size=70000\n");
    ASSERT_EQ(loadConfFile((tmp / "one.ini").c_str(), 0, 0), -14);
    std::atomic<bool> stop{false};
    std::thread loader([&] {
        for (int i = 0; !stop; ++i)
            loadConfFile((tmp / (i % 2 ? "one.ini" : "two.ini")).c_str(), 0, 0);
    });
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(slm_modify_param_in_file(trace_size, "80000"), 1);
        EXPECT_EQ(slm_add_param_to_file(userdata1, "x"), 1);
    }
    stop = true;
    loader.join();
    deleteConfigurationVariables();
}

}  // namespace
