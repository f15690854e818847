// Captures while the configuration changes: two threads log trigger events
// through a file copy handler while a third rewrites its "filesToCopy";
// every capture copies a whole file from one of the lists.

#include "ffdc_capture.h"

namespace {


class KvlCaptureThreadsTest : public vrxtest::CaptureTest {};

TEST_F(KvlCaptureThreadsTest, ListsChangeWhileThreadsCapture) {
    vrxtest::writeFile("src/a.log", std::string(20000, 'a'));
    vrxtest::writeFile("src/b.log", std::string(30000, 'b'));
    KvlObject *copier =
        handler("copy", "kvl_ffdc_filecopy_handler", {{"filesToCopy", "src/a.log"}});
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([this] {
            for (int n = 0; n < 50; ++n)
                logError();  // the same clock: the repeat rule lets one per millisecond through
        });
    threads.emplace_back([copier] {
        for (int n = 0; n < 200; ++n)
            KvlSetObjProp(copier, "filesToCopy",
                          n % 2 == 0 ? "src/b.log" : "\"src/a.log\" src/b.log");
    });
    for (auto &thread : threads)
        thread.join();
    for (int n = 0; n < 20; ++n) {
        ++clock();
        logError();
    }
    const std::string day = "ffdc/2024.03.05/";
    EXPECT_EQ(vrxtest::contentOf(day + "b.log"), std::string(30000, 'b'));
    if (fs::exists(day + "a.log")) {
        EXPECT_EQ(vrxtest::contentOf(day + "a.log"), std::string(20000, 'a'));
    }
}

}  // namespace
