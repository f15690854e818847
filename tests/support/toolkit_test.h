// What the toolkit's tests share: a fixture that applies the toolkit's test
// rules at once, guards for the runtime layer's clock and host-name seams,
// the recording handler class and its store, and the toolkit messages a
// test raised.
//
// The rules: no NLSPATH (the toolkit's texts come from its built-in
// tables), the working directory a fresh temporary directory (so no stray
// "kvlmsg.cat" is found there), LC_ALL=C.UTF-8, umask 022 and an explicit
// time zone, whatever the machine running the tests has.
#ifndef VRX_TOOLKIT_TEST_H
#define VRX_TOOLKIT_TEST_H

#include "CxProcess.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "kavel.h"
#include "test_support.h"

namespace vrxtest {

class ToolkitTest : public ::testing::Test {
protected:
    ToolkitTest() { applyLocale(); }
    ~ToolkitTest() override {
        std::setlocale(LC_ALL, "C");
        tzset();
    }

private:
    static void applyLocale() {
        std::setlocale(LC_ALL, "C.UTF-8");
        tzset();
    }
    EnvGuard nlspath_{"NLSPATH", nullptr};
    EnvGuard codeset_{"ZIL_CODESET", nullptr};
    EnvGuard lcAll_{"LC_ALL", "C.UTF-8"};
    EnvGuard tz_{"TZ", "UTC0"};
    UmaskGuard umask_{022};
    CwdGuard cwd_;
};

// The same with the toolkit open, and the objects a test made released at
// its end (before the toolkit closes).
class OpenToolkitTest : public ToolkitTest {
protected:
    OpenToolkitTest() { KvlOpenToolkit(nullptr); }
    ~OpenToolkitTest() override {
        for (KvlObject *made : objects_)
            KvlReleaseObject(made);
        KvlCloseToolkit();
    }
    // The object of that name (made with the class when it does not exist).
    KvlObject *object(const std::string &name, const char *className) {
        KvlObject *made = KvlGetObject(name.c_str(), className);
        objects_.push_back(made);
        return made;
    }
    size_t objectCount() const { return objects_.size(); }

private:
    std::vector<KvlObject *> objects_;
};

// Makes the runtime layer's clock read `source` for a scope.
class ClockGuard {
public:
    explicit ClockGuard(CxClockSource source) { cxSetClockSource(source); }
    ~ClockGuard() { cxSetClockSource(nullptr); }
    ClockGuard(const ClockGuard &) = delete;
    ClockGuard &operator=(const ClockGuard &) = delete;
};

// Makes the host name come from `source` and `resolver` for a scope.
class HostNameGuard {
public:
    HostNameGuard(CxHostNameSource source, CxHostResolver resolver) {
        cxSetHostNameServices(source, resolver);
    }
    ~HostNameGuard() { cxSetHostNameServices(nullptr, nullptr); }
    HostNameGuard(const HostNameGuard &) = delete;
    HostNameGuard &operator=(const HostNameGuard &) = delete;
};

// One event as a recording handler received it.
struct RecordedEvent {
    int level = 0;
    bool isMessage = false;  // a catalog message rather than a plain text
    std::string catalog;
    int set = 0;
    int key = 0;
    std::string boundText;
    std::string messageId;
    std::map<std::string, std::string> properties;
    size_t propertyLinks = 0;  // links of the event's map (a key twice counts twice)
    std::string handlerName;
};

// Where recording handlers put what they receive, in delivery order; safe
// to use from several threads.
class RecordingStore {
public:
    static RecordingStore &instance() {
        static RecordingStore store;
        return store;
    }
    void add(RecordedEvent event) {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.push_back(std::move(event));
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.clear();
    }
    std::vector<RecordedEvent> snapshot() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedEvent> events_;
};

// The recording handler class, "test_recordinghandler": each event it is
// given is put into the RecordingStore with the handler's name. Adding it
// again (after a close) is harmless.
inline KvlObject *recordEvent(KvlObject *handler, KvlEvent *event) noexcept {
    RecordedEvent recorded;
    if (handler != nullptr && handler->name != nullptr) recorded.handlerName = handler->name;
    if (event != nullptr) {
        recorded.level = event->level;
        recorded.isMessage = event->isMessage == 1;
        const KvlI18Msg *message = event->message;
        if (message != nullptr && message->catalog != nullptr) recorded.catalog = message->catalog;
        recorded.set = message != nullptr ? message->set : 0;
        recorded.key = message != nullptr ? message->key : 0;
        char *bound = kvlIntlBindI18Msg(event->message);
        if (bound != nullptr) recorded.boundText = bound;
        OxsMemoryFree(bound);
        if (event->messageId != nullptr) recorded.messageId = event->messageId;
        for (auto it = kvlIntlStringToStringMapIterator(event->properties); it != nullptr;
             it = kvlIntlStringToStringMapIterNext(it)) {
            char *key = kvlIntlStringToStringMapIterGetKey(it);
            char *value = kvlIntlStringToStringMapIterGetVal(it);
            recorded.properties[key] = value != nullptr ? value : "";
            ++recorded.propertyLinks;
            OxsMemoryFree(key);
            OxsMemoryFree(value);
        }
    }
    RecordingStore::instance().add(std::move(recorded));
    return handler;
}
inline void addRecordingHandlerClass() {
    KvlAddHandlerClass("test_recordinghandler", nullptr, nullptr, nullptr, nullptr, recordEvent,
                       nullptr, nullptr);
}

// The formatter class "test_plain": a record is the bound text and a line
// feed, so file tests can predict every byte and size.
inline char *plainFormat(KvlObject *, KvlEvent *event) noexcept {
    char *bound = KvlBindEventMsg(event, kvlIntlBindI18Msg);
    const std::string text = std::string(bound != nullptr ? bound : "") + "\n";
    OxsMemoryFree(bound);
    return OxsStringDup(text.c_str());
}
inline void addPlainFormatterClass() {
    KvlAddFormatterClass("test_plain", nullptr, nullptr, nullptr, nullptr, plainFormat, nullptr,
                         nullptr, kvlIntlBindI18Msg);
}

// Whether a runtime-layer call succeeded, and the error number it failed
// with (0 for success or a failure of another kind).
inline bool ok(const CxPlatformErr &e) { return e.kind == CX_PLATFORM_ERR_OK && e.code == 0; }
inline int code(const CxPlatformErr &e) { return e.kind == CX_PLATFORM_ERR_PLATFORM ? e.code : 0; }

// A property to set, by name and value.
struct Prop {
    const char *name;
    std::string value;
};

// The text of a string the toolkit handed out ("<null>" for none), freed.
inline std::string take(char *text) {
    std::string copy = text != nullptr ? text : "<null>";
    OxsMemoryFree(text);
    return copy;
}

// An event as a logging call makes it: its level, catalog, set and key
// (null, 0 and 0 for a plain text), and the text with its typed arguments
// ended by KVL_ARG_END. Its properties, time and id are the caller's to set.
inline KvlEvent *makeEvent(int32_t level, const char *catalog, int32_t set, int32_t key,
                           const char *text, ...) {
    va_list args;
    va_start(args, text);
    KvlEvent *made = KvlVaAllocEvent(level, catalog, set, key, text, args);
    va_end(args);
    return made;
}

// 2024-03-05 09:04:07.045 UTC, the time the formatter tests stamp events with.
constexpr uint64_t kMarch5 = 1709629447045ull;

// `made` at `time` with these properties.
inline KvlEvent *stamped(KvlEvent *made, const std::vector<Prop> &props, uint64_t time = kMarch5) {
    made->time = time;
    for (const Prop &p : props)
        KvlSetEventProp(made, p.name, p.value.c_str());
    return made;
}

// The names of an object's listeners, in the order they were added.
inline std::vector<std::string> listenerNames(KvlObject *object) {
    std::vector<std::string> out;
    for (auto it = KvlGetListeners(object); KvlListenerGroupIterHasNext(it);
         it = KvlListenerGroupIterNext(it)) {
        KvlObject *listener = KvlListenerGroupIterGet(it);
        out.push_back(take(KvlGetObjectName(listener)));
        KvlReleaseObject(listener);
    }
    return out;
}

// A file's content, or "<missing>".
inline std::string contentOf(const std::string &path) {
    return readFile(path).value_or("<missing>");
}

// Record N of a file test: "rec-NN" padded to 30 bytes with its line feed
// (without it when `lineFeed` is false); records(first, last) their text.
inline std::string paddedRecord(int n, bool lineFeed = false) {
    std::string text = "rec-" + std::to_string(100 + n).substr(1);
    text.resize(29, '.');
    return lineFeed ? text + "\n" : text;
}
inline std::string paddedRecords(int first, int last) {
    std::string text;
    for (int n = first; n <= last; ++n)
        text += paddedRecord(n, true);
    return text;
}

// The toolkit messages raised while it lives, as (catalog, key) pairs.
class RaisedMessages {
public:
    RaisedMessages() {
        raised().clear();
        kvlSetToolkitMsgObserver(observe);
    }
    ~RaisedMessages() { kvlSetToolkitMsgObserver(nullptr); }
    RaisedMessages(const RaisedMessages &) = delete;
    RaisedMessages &operator=(const RaisedMessages &) = delete;
    // The keys raised from "kvlmsg" since the last call.
    std::vector<int32_t> take() {
        std::vector<int32_t> keys;
        for (const auto &[catalog, key] : raised())
            if (catalog == "kvlmsg") keys.push_back(key);
        raised().clear();
        return keys;
    }

private:
    static std::vector<std::pair<std::string, int32_t>> &raised() {
        static std::vector<std::pair<std::string, int32_t>> list;
        return list;
    }
    static void observe(const char *catalog, int32_t key, int32_t) {
        raised().emplace_back(catalog != nullptr ? catalog : "", key);
    }
};

}  // namespace vrxtest

#endif  // VRX_TOOLKIT_TEST_H
