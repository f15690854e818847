// A capture handler for tests, "test_ffdc_capture": a trigger handler whose
// FProcess runs the capture sequence of a real capture class (open, the
// trigger decision, the quota check for a chosen size, the day's capture
// directory) without copying anything, and notes each step, so tests can
// watch the trigger handler's operations through the logging path.
#ifndef VRX_FFDC_CAPTURE_H
#define VRX_FFDC_CAPTURE_H

#include <string>
#include <vector>

#include "KvlFFDC.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"

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
}

}  // namespace vrxtest

#endif  // VRX_FFDC_CAPTURE_H
