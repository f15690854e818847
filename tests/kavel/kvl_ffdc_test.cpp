// The FFDC trigger handler: which property values it accepts, its
// messages at open, the quota policies over sparse files (exact message
// texts with their byte counts), the repeat time across close and open,
// the day's capture directory in two time zones, a cleanup that never
// follows links or cuts long paths, and a trigger filter replaced while
// the handler is open.

#include "ffdc_capture.h"

namespace {

using namespace vrxtest;

class KvlFFDCTest : public vrxtest::CaptureTest {
protected:
    // A capture handler of the test class fed by the logger.
    KvlObject *capture(const std::vector<vrxtest::Prop> &props) {
        return handler("cap", "test_ffdc_capture", props);
    }
    static std::vector<std::string> actions() {
        std::vector<std::string> taken = CaptureLog::instance().actions;
        CaptureLog::instance().actions.clear();
        return taken;
    }
};

TEST_F(KvlFFDCTest, PropertiesKeepOnlyAcceptedValues) {
    const struct {
        const char *name, *value;
        int64_t maxDisk, interval;
        double first, second;
        const char *policy, *baseDir;
    } cases[] = {
        {"maxDiskSpace", "5000", 5000, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"maxDiskSpace", "0", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"maxDiskSpace", "-1", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"triggerRepeatTime", "60000", 10485760, 60000, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"triggerRepeatTime", "0", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"firstWarning", "0.5", 10485760, 0, 0.5, 0.9, "QUOTA_IGNORE", "<null>"},
        {"firstWarning", "75", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"firstWarning", "0", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"secondWarning", "1", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"secondWarning", "0.95", 10485760, 0, 0.75, 0.95, "QUOTA_IGNORE", "<null>"},
        {"quotaPolicy", "QUOTA_SUSPEND", 10485760, 0, 0.75, 0.9, "QUOTA_SUSPEND", "<null>"},
        {"quotaPolicy", "quota_suspend", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "<null>"},
        {"baseDir", "logs\\ffdc\\x", 10485760, 0, 0.75, 0.9, "QUOTA_IGNORE", "logs/ffdc/x"},
    };
    for (const auto &c : cases) {
        KvlObject *handler =
            object(std::string("t.") + c.name + c.value, "kvl_ffdc_trigger_handler");
        KvlSetObjProp(handler, c.name, c.value);
        const std::string what = std::string(c.name) + "=" + c.value;
        EXPECT_EQ(KvlFFDCTriggerHandlerGetMaxDisk(handler), c.maxDisk) << what;
        EXPECT_EQ(KvlFFDCTriggerHandlerGetInterval(handler), c.interval) << what;
        EXPECT_EQ(KvlFFDCTriggerHandlerGetFirstWarning(handler), c.first) << what;
        EXPECT_EQ(KvlFFDCTriggerHandlerGetSecondWarning(handler), c.second) << what;
        EXPECT_EQ(take(KvlFFDCTriggerHandlerGetQuotaPolicy(handler)), c.policy) << what;
        EXPECT_EQ(take(KvlFFDCTriggerHandlerGetBaseDir(handler)), c.baseDir) << what;
    }
    // Getters of anything but a trigger handler give nothing.
    for (KvlObject *other :
         {static_cast<KvlObject *>(nullptr), object("con", "kvl_consolehandler")}) {
        EXPECT_EQ(KvlFFDCTriggerHandlerGetMaxDisk(other), 0);
        EXPECT_EQ(KvlFFDCTriggerHandlerGetFirstWarning(other), 0);
        EXPECT_EQ(KvlFFDCTriggerHandlerGetBaseDir(other), nullptr);
        EXPECT_EQ(KvlFFDCTriggerHandlerGetFilter(other), nullptr);
        KvlFFDCTriggerHandlerSetMaxDisk(other, 5);  // no effect, no crash
    }
}

TEST_F(KvlFFDCTest, OpeningWithoutFilterOrDirectoryIsReported) {
    KvlObject *handler = object("bare", "kvl_ffdc_trigger_handler");
    KvlHandlerOpen(handler);
    EXPECT_EQ(messages(),
              (std::vector<std::string>{
                  "11: KVLFF0011E No triggering filter has been specified for the First Failure "
                  "Data Capture handler bare.",
                  "12: KVLFF0012E The First Failure Data Capture base directory has not been "
                  "specified for the handler bare."}));
    KvlHandlerOpen(handler);
    EXPECT_TRUE(messages().empty()) << "an open handler does not open again";
}

TEST_F(KvlFFDCTest, QuotaPolicies) {
    const std::string day = "capture ffdc/2024.03.05/";
    // The quota warning at `percent` of the 10485760 bytes, with what is used
    // and what the capture needs.
    const auto warning = [](const char *percent, int64_t used, int64_t needed) {
        return "60: KVLFF0060W The First Failure Data Capture (FFDC) disk space requested has "
               "exceeded " +
               std::string(percent) +
               " percent of the maximum disk space, 10485760 bytes. The current space used is " +
               std::to_string(used) +
               " bytes, and the estimated space needed to complete the FFDC action is " +
               std::to_string(needed) + " bytes for handler, cap.";
    };
    const std::string warn75 = warning("75.00", 8000000, 100000);
    const std::string warn90 = warning("90.00", 10400000, 100000);
    const std::string warnAtTarget = warning("75.00", 7864320, 3000000);
    const struct {
        const char *policy;
        std::vector<int64_t> files;  // sizes, oldest first
        std::vector<std::string> messages, actions;
        std::vector<bool> remaining;
        int64_t requested = 100000;
    } cases[] = {
        {"QUOTA_IGNORE", {8000000}, {warn75}, {"trigger", day}, {true}},
        // Exactly at the cleanup target (75 %): nothing to delete, nothing said.
        {"QUOTA_AUTODELETE", {7864320}, {warnAtTarget}, {"trigger", day}, {true}, 3000000},
        // clang-format off
        {"QUOTA_SUSPEND", {10400000},
         {warn90, "61: KVLFF0061E First Failure Data Capture (FFDC) actions cannot be peformed since the maximum disk space allocated for FFDC will be exceeded and "
                  "quota policy is QUOTA_SUSPEND. The disk space used by directory, ffdc is 10400000 bytes and the maximum disk space specified for FFDC for handler, cap, is 10485760 bytes."},
         {"trigger", "no space"}, {true}},
        {"QUOTA_AUTODELETE", {1000000, 1000000, 1000000, 7400000},
         {warn90, "15: KVLFF0015I Attempting to delete the oldest files in the FFDC directory, ffdc, to reduce it below the first warning limit, 75.00, percent of "
                  "the maximum disk space, 10485760. This is approximately 2535680 bytes being deleted by handler, cap."},
         {"trigger", day}, {false, false, false, true}},
        // clang-format on
    };
    for (const auto &c : cases) {
        fs::remove_all("ffdc");
        for (size_t n = 0; n < c.files.size(); ++n)
            sparseFile("ffdc/old/f" + std::to_string(n), c.files[n],
                       static_cast<int>(c.files.size() - n));
        KvlObject *handler = capture({{"quotaPolicy", c.policy}});  // the same handler each time
        CaptureLog::instance().requested = c.requested;
        ++clock();  // a trigger apart from the last one
        messages();
        logError();
        EXPECT_EQ(messages(), c.messages) << c.policy;
        EXPECT_EQ(actions(), c.actions) << c.policy;
        for (size_t n = 0; n < c.files.size(); ++n)
            EXPECT_EQ(fs::exists("ffdc/old/f" + std::to_string(n)), c.remaining[n])
                << c.policy << n;
        EXPECT_TRUE(fs::is_directory("ffdc/old")) << "directories are never removed";
        KvlRemListener(logger_, handler);
        KvlHandlerClose(handler);
    }
}

TEST_F(KvlFFDCTest, AFailedRemovalRefusesTheCapture) {
    if (geteuid() == 0) GTEST_SKIP() << "root may remove from any directory";
    sparseFile("ffdc/locked/old", 10400000);
    fs::permissions("ffdc/locked", fs::perms::owner_read | fs::perms::owner_exec);
    capture({{"quotaPolicy", "QUOTA_AUTODELETE"}});
    CaptureLog::instance().requested = 100000;
    messages();
    logError();
    const auto raised = messages();
    fs::permissions("ffdc/locked", fs::perms::owner_all);
    ASSERT_EQ(raised.size(), 3u);
    EXPECT_EQ(raised[2],
              "14: KVLFF0014W Could not delete all the oldest files in the FFDC directory ffdc to "
              "reduce the disk space below the first warning limit, 75.00 percent of the maxiumum "
              "disk space, 10485760 bytes, for handler, cap.");
    EXPECT_EQ(actions(), (std::vector<std::string>{"trigger", "no space"}));
    EXPECT_TRUE(fs::exists("ffdc/locked/old"));
}

// A trigger acts only after the repeat time has passed: not at exactly the
// last trigger plus the repeat time, and with 0 not twice in one millisecond.
TEST_F(KvlFFDCTest, RepeatTimeSurvivesCloseAndOpen) {
    const struct {
        const char *repeat;
        std::vector<int64_t> times;
        std::vector<size_t> actions;
    } cases[] = {
        {"60000", {1000, 30000, 61000, 61001, 61002}, {2, 0, 0, 2, 0}},
        {"0", {5000, 5000, 5001}, {2, 0, 2}},
    };
    for (const auto &c : cases) {
        const std::string name = std::string("cap") + c.repeat;
        KvlObject *handler =
            this->handler(name.c_str(), "test_ffdc_capture", {{"triggerRepeatTime", c.repeat}});
        std::vector<size_t> triggers;
        for (int64_t time : c.times) {
            clock() = time;
            if (time == 30000) {  // the last trigger time outlives a close
                KvlHandlerClose(handler);
                KvlHandlerOpen(handler);
            }
            logError();
            triggers.push_back(actions().size());
        }
        EXPECT_EQ(triggers, c.actions) << c.repeat;
        KvlRemListener(logger_, handler);
        KvlHandlerClose(handler);
    }
}

TEST_F(KvlFFDCTest, CaptureDirectoryIsTheLocalDay) {
    const struct {
        const char *zone;
        std::string directory;
    } cases[] = {{"UTC0", "ffdc/2024.03.05/"}, {"JST-9", "ffdc/2024.03.06/"}};
    KvlObject *handler = capture({});
    clock() = 1709681400000;
    for (const auto &c : cases) {
        vrxtest::EnvGuard zone{"TZ", c.zone};
        tzset();
        clock() += 1000;  // from 2024-03-05 23:30 UTC, 08:30 the next day in Tokyo
        logError();
        EXPECT_EQ(actions(), (std::vector<std::string>{"trigger", "capture " + c.directory}));
        EXPECT_TRUE(fs::is_directory(c.directory)) << c.zone;
    }
    tzset();
    // An event that already names its directory keeps it.
    KvlEvent *event = vrxtest::makeEvent(KVL_LEVEL_ERROR, nullptr, 0, 0, "x", KVL_ARG_END);
    KvlSetEventProp(event, "ffdcDir", "elsewhere/");
    char *directory = kvlMakeFFDCDir(handler, event);
    EXPECT_STREQ(directory, "elsewhere/");
    EXPECT_FALSE(fs::exists("elsewhere"));
    OxsMemoryFree(directory);
    KvlFreeEvent(event);
}

// AUTODELETE over a tree holding links (to a big file outside, to a
// directory outside, to itself) and a file whose path is longer than 255
// bytes, next to a file named by the path's first 255 bytes.
TEST_F(KvlFFDCTest, CleanupNeverFollowsLinksOrCutsPaths) {
    sparseFile("outside/big", 8000000);
    fs::create_directories("ffdc");
    fs::create_symlink("../outside/big", "ffdc/link-to-big");
    fs::create_symlink("../outside", "ffdc/link-to-dir");
    fs::create_symlink(".", "ffdc/loop");
    std::string deep = "ffdc";
    while (deep.size() < 240)
        deep += "/" + std::string(40, 'd');
    const std::string longPath = deep + "/" + std::string(40, 'f');
    ASSERT_GT(longPath.size(), 255u);
    const std::string cutPath = longPath.substr(0, 255);
    sparseFile(longPath, 800000, 100);  // old: removed first
    sparseFile(cutPath, 100000, 0);     // new: kept
    EXPECT_EQ(kvlCountFFDCSpaceUsed("ffdc"), 900000);

    capture({{"quotaPolicy", "QUOTA_AUTODELETE"}, {"maxDiskSpace", "1000000"}});
    CaptureLog::instance().requested = 200000;
    logError();
    EXPECT_EQ(actions(), (std::vector<std::string>{"trigger", "capture ffdc/2024.03.05/"}));
    EXPECT_FALSE(fs::exists(longPath));
    EXPECT_TRUE(fs::exists(cutPath));
    EXPECT_TRUE(fs::exists("outside/big"));
    EXPECT_TRUE(fs::is_symlink("ffdc/link-to-big"));
    EXPECT_TRUE(fs::is_symlink("ffdc/loop"));
}

TEST_F(KvlFFDCTest, ANewTriggerFilterTakesEffectWhileOpen) {
    KvlObject *first = object("only.aa", "kvl_msgidfilter");
    KvlSetObjProp(first, "mode", "PASSTHRU");
    KvlSetObjProp(first, "msgIds", "KVLAA*");
    KvlObject *second = object("only.bb", "kvl_msgidfilter");
    KvlSetObjProp(second, "mode", "PASSTHRU");
    KvlSetObjProp(second, "msgIds", "KVLBB*");
    KvlObject *handler = capture({{"triggerFilter", "only.aa"}});
    std::vector<size_t> triggers;
    for (const char *text : {"KVLAA0001E a", "switch", "KVLAA0002E a", "KVLBB0001E b"}) {
        ++clock();
        if (std::string(text) == "switch") {
            KvlSetObjProp(handler, "triggerFilter", "only.bb");
            continue;
        }
        logError(text);
        triggers.push_back(actions().size());
    }
    EXPECT_EQ(triggers, (std::vector<size_t>{2, 0, 2}));
    KvlObject *held = KvlFFDCTriggerHandlerGetFilter(handler);
    EXPECT_EQ(held, second);
    KvlReleaseObject(held);
}

}  // namespace
