// The standalone trace writer: the record layout, numbered rotation that
// loses nothing, range guards and the lock with its timeout.

#include "trace.h"
#include "mutex.h"
#include "test_support.h"

namespace {

using namespace vrxtest;

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(startTrace(base().c_str()), 0); }
    void TearDown() override {
        stopTrace();
        setTraceLockTimeoutForTest(20);
    }
    std::string base() const { return tmp_ / "agent"; }
    std::string live() const { return base() + ".log"; }
    TempDir tmp_;
};

TEST_F(TraceTest, RecordHeaderAndText) {
    traceWrite("src/x.c", 42, 8, 13, "value %d of %s", 7, "seven");
    outputTrace("src/y.c", 9, "plain");
    traceWrite("src/z.c", 1, 99, 99, "out of the tables");
    const std::string text = readFile(live()).value_or("");
    const std::regex record(
        "Time: \\w{3} \\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d \\d{4} \\*\\* Thread: \\d+ \\*\\* "
        "File: src/x.c "
        "\\*\\* Line: 42\\n Component: CORE - \\[DEBUG\\]\\n  value 7 of seven\\n\\n"
        "Time: .{24} \\*\\* Thread: \\d+ \\*\\* File: src/y.c \\*\\* Line: 9\\n Component:  - "
        "\\[TBR\\]\\n  plain\\n\\n"
        "Time: .{24} \\*\\* Thread: \\d+ \\*\\* File: src/z.c \\*\\* Line: 1\\n Component:  - "
        "\\[\\]\\n  out of the tables\\n\\n");
    EXPECT_TRUE(std::regex_match(text, record)) << text;
}

TEST_F(TraceTest, RotatesThroughNumberedCopies) {
    setNumFiles(3);
    setTraceSize(65536);
    const std::string big(70000, 'x');
    // Each record over the limit makes the next write rotate: 1, 2, 1, 2.
    for (int i = 0; i < 5; ++i)
        traceWrite("f", i, 0, 0, "%d %s", i, big.c_str());
    EXPECT_TRUE(fs::exists(base() + "-1.log"));
    EXPECT_TRUE(fs::exists(base() + "-2.log"));
    EXPECT_FALSE(fs::exists(base() + "-3.log"));
    EXPECT_NE(readFile(live()).value_or("").find("\n  4 x"), std::string::npos);
    EXPECT_NE(readFile(base() + "-2.log").value_or("").find("\n  3 x"), std::string::npos);
    EXPECT_NE(readFile(base() + "-1.log").value_or("").find("\n  2 x"), std::string::npos);
}

TEST_F(TraceTest, ALiveFileThatCannotBeSetAsideIsKept) {
    setNumFiles(3);
    setTraceSize(65536);
    // A non-empty directory where the first copy goes: the rename fails.
    fs::create_directories(base() + "-1.log/in-the-way");
    const std::string big(70000, 'x');
    traceWrite("f", 1, 0, 0, "first %s", big.c_str());
    traceWrite("f", 2, 0, 0, "second");
    const std::string text = readFile(live()).value_or("");
    EXPECT_NE(text.find("first x"), std::string::npos) << "nothing lost";
    EXPECT_NE(text.find("second"), std::string::npos);
    fs::remove_all(base() + "-1.log");
    traceWrite("f", 3, 0, 0, "third");
    EXPECT_NE(readFile(base() + "-1.log").value_or("").find("second"), std::string::npos)
        << "the next rotation uses copy 1 again";
    EXPECT_NE(readFile(live()).value_or("").find("third"), std::string::npos);
}

TEST_F(TraceTest, RangeGuards) {
    setNumFiles(4);
    setNumFiles(0);
    setNumFiles(11);
    EXPECT_EQ(traceNumFilesForTest(), 4);
    setTraceSize(65535);
    EXPECT_EQ(traceMaxSizeForTest(), 1048576);
    setTraceSize(16777217);
    EXPECT_EQ(traceMaxSizeForTest(), 1048576);
    setTraceSize(16777216);
    EXPECT_EQ(traceMaxSizeForTest(), 16777216);
    setTraceLevel(5);
    for (unsigned int component = 9; component < 14; ++component)
        setComponentTraceLevel(component, 2);
    setComponentTraceLevel(3, 18);
    for (unsigned int component = 0; component < 14; ++component)
        EXPECT_EQ(traceComponentLevelForTest(component), 5u) << component;
    setComponentTraceLevel(3, 2);
    EXPECT_EQ(traceComponentLevelForTest(3), 2u);
}

TEST_F(TraceTest, ARecordIsDroppedWhenTheLockCannotBeHad) {
    setTraceLockTimeoutForTest(1);
    ASSERT_EQ(lockMutexTimeout(traceLockForTest(), 1), 0);
    traceWrite("f", 1, 0, 0, "lost");
    unlockTOMutex(traceLockForTest());
    traceWrite("f", 2, 0, 0, "kept");
    const std::string text = readFile(live()).value_or("");
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_NE(text.find("kept"), std::string::npos);
}

TEST_F(TraceTest, StopAndRestart) {
    stopTrace();
    traceWrite("f", 1, 0, 0, "while stopped");
    EXPECT_EQ(restartTrace(), 0);
    EXPECT_EQ(restartTrace(), -1) << "a file is open already";
    traceWrite("f", 2, 0, 0, "after restart");
    const std::string text = readFile(live()).value_or("");
    EXPECT_EQ(text.find("while stopped"), std::string::npos);
    EXPECT_NE(text.find("after restart"), std::string::npos);
    EXPECT_EQ(startTrace(base().c_str()), 0) << "starting again closes the open file first";
}

}  // namespace
