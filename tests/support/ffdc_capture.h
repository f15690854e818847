// What the capture tests share: a fixture with an open toolkit, a test
// clock and a recorder of the toolkit's messages, sparse files, and a
// capture handler for tests, "test_ffdc_capture": a trigger handler whose
// FProcess runs the capture sequence of a real capture class (open, the
// trigger decision, the quota check for a chosen size, the day's capture
// directory) without copying anything, and notes each step, so tests can
// watch the trigger handler's operations through the logging path.
#ifndef VRX_FFDC_CAPTURE_H
#define VRX_FFDC_CAPTURE_H

#include "KvlFFDC.h"
#include "toolkit_test.h"

namespace vrxtest {

// What capture handlers did, in order: "trigger", then "capture <dir>" or
// "no space". `requested` is the size each capture asks room for.
struct CaptureLog {
    std::vector<std::string> actions;
    int64_t requested = 0;
    static CaptureLog &instance() {
        static CaptureLog log;
        return log;
    }
};

inline KvlObject *captureProcess(KvlObject *handler, KvlEvent *event) noexcept {
    auto *vars = static_cast<KvlFFDCTriggerVars *>(handler->vars);
    if (vars == nullptr) return handler;
    if (vars->isOpen != 1) KvlFFDCTriggerHandlerFOpen(handler);
    CaptureLog &log = CaptureLog::instance();
    if (kvlShouldFFDCActionOccur(handler, event) == 1) {
        log.actions.push_back("trigger");
        if (kvlIsFFDCSpaceAvailable(handler, log.requested) == 1) {
            char *directory = kvlMakeFFDCDir(handler, event);
            log.actions.push_back(std::string("capture ") +
                                  (directory != nullptr ? directory : "<none>"));
            OxsMemoryFree(directory);
        } else {
            log.actions.push_back("no space");
        }
    }
    KvlBasicObjectFLog(handler, event);
    return handler;
}

// Registers the capture classes of the toolkit and "test_ffdc_capture".
inline void addCaptureHandlerClasses() {
    KvlInitFFDCExtensions();
    KvlApiLock lock;
    kvlIntlAddHandlerClass("test_ffdc_capture", nullptr, KvlFFDCTriggerHandlerFAllocVars,
                           KvlFFDCTriggerHandlerFFreeVars, KvlFFDCTriggerHandlerFCfgChange,
                           captureProcess, KvlFFDCTriggerHandlerFOpen, KvlFFDCTriggerHandlerFClose);
    kvlIntlSetClassInternals("test_ffdc_capture", {.records = KvlRecordKind::kFFDCTrigger});
}

// A file of `size` bytes that costs no disk (a hole), modified `age`
// seconds before a fixed past moment.
inline void sparseFile(const std::string &path, int64_t size, int age = 0) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(ftruncate(fd, size), 0);
    const timespec times[2] = {{1700000000 - age, 0}, {1700000000 - age, 0}};
    futimens(fd, times);
    close(fd);
}

// The capture tests' fixture: an open toolkit with the capture classes, a
// recorder on the error logger, the logger "app" (everything passes), the
// default message-id filter "trig" (errors trigger) and a clock the test
// sets, starting at 2024-03-05 09:04:07.045 UTC.
class CaptureTest : public OpenToolkitTest {
protected:
    CaptureTest() {
        addRecordingHandlerClass();
        addCaptureHandlerClasses();
        RecordingStore::instance().clear();
        CaptureLog::instance() = {};
        clock() = 1709629447045;
        KvlObject *errors = object("kavel.errorLogger", nullptr);
        KvlAddListener(errors, object("errors.recorder", "test_recordinghandler"));
        logger_ = object("app", "kvl_basiclogger");
        KvlSetObjProp(logger_, "level", "ALL");
        object("trig", "kvl_msgidfilter");
    }
    static int64_t &clock() {
        static int64_t now = 0;
        return now;
    }
    // A handler of `className` fed by the logger, triggered by "trig",
    // capturing under "ffdc", with these properties.
    KvlObject *handler(const char *name, const char *className, const std::vector<Prop> &props) {
        KvlObject *made = object(name, className);
        KvlSetObjProp(made, "baseDir", "ffdc");
        KvlSetObjProp(made, "triggerFilter", "trig");
        for (const auto &p : props)
            KvlSetObjProp(made, p.name, p.value.c_str());
        KvlAddListener(logger_, made);
        return made;
    }
    void logError(const char *text = "KVLTT0001E boom") {
        KvlLogError(logger_, nullptr, 0, 0, text, KVL_ARG_END);
    }
    // The toolkit messages raised since the last call, as "key: text".
    static std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const auto &event : RecordingStore::instance().snapshot())
            texts.push_back(std::to_string(event.key) + ": " + event.boundText);
        RecordingStore::instance().clear();
        return texts;
    }

    KvlObject *logger_ = nullptr;

private:
    static int64_t readClock() { return clock(); }
    ClockGuard clock_{readClock};
};

}  // namespace vrxtest

#endif  // VRX_FFDC_CAPTURE_H
