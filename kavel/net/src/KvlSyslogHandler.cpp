// The syslog handler and its formatter ("kvl_sysloghandler",
// "kvl_syslogformatter").
//
// The record is the formatter's, so that an asynchronous handler, which
// formats on the caller's thread with its target's formatter, queues the
// very record the handler would have sent: the handler makes a formatter of
// its own ("<handler>.syslogRecord") when it is first made ready and hands
// it the record's properties ("format", "facility", "appName", "sdId",
// "utf8Bom", and "formatterName", a formatter that makes the message part)
// as they are set on the handler. The handler itself is only
// the way out: a text handler class (kavel_ext.h) whose writer frames a
// record for the transport and gives it to its sender (KvlSyslogSender.h),
// which connects lazily and keeps what cannot go in a bounded queue.
// Records the sender had to drop are reported through the toolkit's error
// logger, in one message, once a connection takes records again or the
// handler closes (what still waits then is dropped too); a connection that
// cannot be made is reported once, when the first attempt of a run fails.
//
// The operations run with the API mutex held: they call only the internal
// twins of kavel_ext.h and the event's accessors, never a public function.

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KvlSyslogRecord.h"
#include "KvlSyslogSender.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "kavel_ext.h"
#include "kavelnet.h"

namespace {

using kvl::net::SyslogEndpoint;
using kvl::net::SyslogFormat;
using kvl::net::SyslogFraming;
using kvl::net::SyslogSender;
using kvl::net::SyslogTransport;

constexpr const char *kHandlerClass = "kvl_sysloghandler";
constexpr const char *kFormatterClass = "kvl_syslogformatter";
constexpr const char *kCatalog = "kvlmsg";
constexpr int32_t kHandlerDescription = 138;
constexpr int32_t kFormatterDescription = 139;
constexpr int32_t kDropped = 140;  // KVLSY0140W
constexpr const char *kDroppedText =
    "KVLSY0140W %1$d records for the syslog handler %2$s were dropped because its collector "
    "could not take them.";
constexpr int32_t kNoConnection = 141;  // KVLSY0141W
constexpr const char *kNoConnectionText =
    "KVLSY0141W The syslog handler %1$s could not connect to its collector %2$s: %3$s.";

// A property's text (empty when unset), the copy freed.
std::string property(KvlObject *object, const char *name, bool *found = nullptr) {
    unsigned char there = 0;
    char *value = kvlIntlGetObjProp(object, name, &there);
    std::string text = value != nullptr ? value : "";
    OxsMemoryFree(value);
    if (found != nullptr) *found = there != 0 && value != nullptr;
    return text;
}

// A whole decimal number within [low, high], or `fallback`.
long number(std::string_view text, long low, long high, long fallback) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high
               ? value
               : fallback;
}

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// --- the formatter --------------------------------------------------------

struct RecordVars {
    SyslogFormat format = SyslogFormat::kRfc5424;
    int facility = 1;  // user
    std::string appName = program_invocation_short_name;
    std::string sdId = "kvl@32473";
    bool utf8Bom = false;
    std::string hostName;
    std::string messageFormatter;  // makes the MSG part when named
};

void *allocRecordVars() noexcept {
    auto *vars = new (std::nothrow) RecordVars;
    if (vars == nullptr) return nullptr;
    char name[1025] = "";
    kvlIntlHostName(name, sizeof name);
    vars->hostName = name;
    return vars;
}
void freeRecordVars(void *vars) noexcept { delete static_cast<RecordVars *>(vars); }

// The record's properties; a value that is not one keeps what was. The
// handler passes them on, its "formatterName" as "messageFormatterName".
constexpr const char *kRecordProperties[] = {"format", "facility", "appName",
                                             "sdId",   "utf8Bom",  "formatterName"};
const char *recordPropertyName(const char *handlerProperty) {
    return std::string_view(handlerProperty) == "formatterName" ? "messageFormatterName"
                                                                : handlerProperty;
}

void recordCfgChange(KvlObject *formatter, const char *name) noexcept {
    auto *vars = static_cast<RecordVars *>(kvlIntlObjectVars(formatter));
    if (vars == nullptr || name == nullptr) return;
    bool found = false;
    const std::string value = property(formatter, name, &found);
    const std::string_view key = name;
    if (key == "format") {
        if (sameWord(value, "RFC5424") || !found) vars->format = SyslogFormat::kRfc5424;
        if (sameWord(value, "RFC3164")) vars->format = SyslogFormat::kRfc3164;
    } else if (key == "facility") {
        const int facility = found ? kvl::net::facilityOf(value) : 1;
        if (facility >= 0) vars->facility = facility;
    } else if (key == "appName") {
        vars->appName = found ? value : program_invocation_short_name;
    } else if (key == "sdId") {
        vars->sdId = found ? value : "kvl@32473";
    } else if (key == "utf8Bom") {
        vars->utf8Bom = sameWord(value, "true");
    } else if (key == "messageFormatterName") {
        vars->messageFormatter = value;
    }
}

// The event's properties that go into the record's structured data, under
// the names they have there: where the record comes from (the
// problem-determination logger's origin fields) and where in the program.
struct DataName {
    const char *property;
    const char *param;
};
constexpr DataName kDataNames[] = {
    {"organization", "organization"},
    {"product", "product"},
    {"component", "component"},
    {"productInstance", "productInstance"},
    {"client", "client"},
    {"server", "server"},
    {KVL_PROP_SRCFILE, "file"},
    {KVL_PROP_SRCFUNCTION, "function"},
    {KVL_PROP_SRCLINE, "line"},
    {"threadId", "thread"},
};

// The MSG part: the message formatter's line (without its line feed) when
// one is named, else the event's message bound.
std::string messageOf(const RecordVars &vars, KvlObject *formatter, KvlEvent *event) {
    char *text = nullptr;
    if (!vars.messageFormatter.empty()) {
        KvlObject *named = kvlIntlGetObject(vars.messageFormatter.c_str(), nullptr);
        text = kvlIntlFormatterFormat(named, event);
        kvlIntlReleaseObject(named);
    } else {
        text = KvlBindEventMsg(event, KvlGetFormatterBindMsg(formatter));
    }
    std::string message = text != nullptr ? text : "";
    OxsMemoryFree(text);
    if (!vars.messageFormatter.empty() && message.ends_with('\n')) message.pop_back();
    return message;
}

char *formatRecord(KvlObject *formatter, KvlEvent *event) noexcept {
    auto *vars = static_cast<RecordVars *>(kvlIntlObjectVars(formatter));
    if (vars == nullptr || event == nullptr) return nullptr;
    try {
        kvl::net::SyslogFields fields;
        fields.facility = vars->facility;
        fields.severity = kvl::net::severityOf(KvlGetEventLevel(event));
        const uint64_t millis = KvlGetEventTime(event);
        fields.time.tv_sec = static_cast<time_t>(millis / 1000);
        fields.time.tv_nsec = static_cast<long>(millis % 1000) * 1000000;
        tm local{};
        if (localtime_r(&fields.time.tv_sec, &local) != nullptr) fields.utcOffset = local.tm_gmtoff;
        fields.hostName = vars->hostName;
        fields.appName = vars->appName;
        const std::string procId = std::to_string(getpid());
        fields.procId = procId;
        char *messageId = KvlGetEventMessageId(event);
        const std::string msgId = messageId != nullptr ? messageId : "";
        OxsMemoryFree(messageId);
        fields.msgId = msgId;
        fields.sdId = vars->sdId;
        std::vector<std::string> values;
        std::vector<kvl::net::SyslogParam> params;
        values.reserve(std::size(kDataNames));
        for (const DataName &data : kDataNames) {
            unsigned char found = 0;
            char *value = KvlGetEventProp(event, data.property, &found);
            if (value != nullptr && found != 0) {
                values.emplace_back(value);
                params.emplace_back(data.param, values.back());
            }
            OxsMemoryFree(value);
        }
        fields.params = params;
        const std::string message = messageOf(*vars, formatter, event);
        fields.message = message;
        fields.utf8Bom = vars->utf8Bom;
        std::string record;
        kvl::net::appendRecord(vars->format, fields, record);
        auto *text = static_cast<char *>(OxsMemoryMalloc(record.size() + 1));
        if (text != nullptr) std::memcpy(text, record.c_str(), record.size() + 1);
        return text;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// --- the handler ----------------------------------------------------------

struct HandlerVars {
    SyslogEndpoint endpoint;
    std::unique_ptr<SyslogSender> sender;
    KvlObject *record = nullptr;  // its own formatter, held
};

void *allocHandlerVars() noexcept { return new (std::nothrow) HandlerVars; }
void freeHandlerVars(void *vars) noexcept { delete static_cast<HandlerVars *>(vars); }

HandlerVars *handlerVars(KvlObject *handler) {
    return static_cast<HandlerVars *>(kvlIntlObjectVars(handler));
}

bool isRecordProperty(std::string_view name) {
    for (const char *known : kRecordProperties)
        if (name == known) return true;
    return false;
}

// The handler's own formatter, made (with the record's properties set on
// the handler so far) and put in the handler's formatter slot.
void ensureRecordFormatter(KvlObject *handler, HandlerVars &vars) {
    if (vars.record != nullptr) {
        KvlObject *current = kvlIntlHandlerGetFormatter(handler);
        const bool ours = current == vars.record;
        kvlIntlReleaseObject(current);
        if (ours) return;
    } else {
        const std::string name = std::string(kvlIntlObjectName(handler)) + ".syslogRecord";
        vars.record = kvlIntlGetObject(name.c_str(), kFormatterClass);
        if (vars.record == nullptr) return;
        for (const char *key : kRecordProperties) {
            bool found = false;
            const std::string value = property(handler, key, &found);
            if (found) kvlIntlSetObjProp(vars.record, recordPropertyName(key), value.c_str());
        }
    }
    kvlIntlHandlerSetFormatter(handler, vars.record);
}

// The collector as a message names it: "tcp:host:port", "unix:/dev/log".
std::string collectorName(const SyslogEndpoint &endpoint) {
    static constexpr const char *kNames[] = {"unix", "udp", "tcp", "tls", "relp"};
    const std::string transport = kNames[static_cast<int>(endpoint.transport)];
    if (endpoint.transport == SyslogTransport::kUnix) return transport + ":" + endpoint.socketPath;
    return transport + ":" + endpoint.host + ":" + std::to_string(endpoint.portOrDefault());
}

// Reports a connection that could not be made, and the records dropped
// (once a connection takes records again, or when `closing`).
void report(KvlObject *handler, HandlerVars &vars, bool closing = false) {
    SyslogSender &sender = *vars.sender;
    if (const std::string why = sender.takeFailure(); !why.empty()) {
        const std::string collector = collectorName(vars.endpoint);
        kvlIntlLogVA(KVL_LEVEL_WARN, kNoConnection, kNoConnectionText, KVL_ARG_STRING,
                     kvlIntlObjectName(handler), KVL_ARG_STRING, collector.c_str(), KVL_ARG_STRING,
                     why.c_str(), KVL_ARG_END);
    }
    if (!sender.connected() && !closing) return;
    const uint64_t dropped = sender.takeDropped();
    if (dropped == 0) return;
    kvlIntlLogVA(KVL_LEVEL_WARN, kDropped, kDroppedText, KVL_ARG_LONG, static_cast<long>(dropped),
                 KVL_ARG_STRING, kvlIntlObjectName(handler), KVL_ARG_END);
}

// Sends what waits; what cannot go is dropped, and reported with the rest.
// The sender goes.
void closeSender(KvlObject *handler, HandlerVars &vars) {
    if (vars.sender == nullptr) return;
    vars.sender->finish();
    report(handler, vars, true);
    vars.sender.reset();
}

void handlerCfgChange(KvlObject *handler, const char *name) noexcept {
    HandlerVars *vars = handlerVars(handler);
    if (vars == nullptr || name == nullptr) return;
    const std::string_view key = name;
    if (isRecordProperty(key)) {
        if (vars->record != nullptr) {
            bool found = false;
            const std::string value = property(handler, name, &found);
            if (found) kvlIntlSetObjProp(vars->record, recordPropertyName(name), value.c_str());
        }
        return;
    }
    bool found = false;
    const std::string value = property(handler, name, &found);
    SyslogEndpoint &endpoint = vars->endpoint;
    const SyslogEndpoint before = endpoint;
    if (key == "transport") {
        if (sameWord(value, "unix") || !found) endpoint.transport = SyslogTransport::kUnix;
        if (sameWord(value, "udp")) endpoint.transport = SyslogTransport::kUdp;
        if (sameWord(value, "tcp")) endpoint.transport = SyslogTransport::kTcp;
        if (sameWord(value, "tls")) endpoint.transport = SyslogTransport::kTls;
        if (sameWord(value, "relp")) endpoint.transport = SyslogTransport::kRelp;
    } else if (key == "host") {
        endpoint.host = found && !value.empty() ? value : "127.0.0.1";
    } else if (key == "port") {
        endpoint.port = static_cast<int>(number(value, 1, 65535, 0));
    } else if (key == "caFile") {
        endpoint.tls.caFile = value;
    } else if (key == "certFile") {
        endpoint.tls.certFile = value;
    } else if (key == "keyFile") {
        endpoint.tls.keyFile = value;
    } else if (key == "verifyPeer") {
        endpoint.tls.verifyPeer = !sameWord(value, "false");
    } else if (key == "socketPath") {
        endpoint.socketPath = found && !value.empty() ? value : "/dev/log";
    } else if (key == "framing") {
        endpoint.framing =
            sameWord(value, "lf") ? SyslogFraming::kLineFeed : SyslogFraming::kOctetCounting;
    } else if (key == "connectTimeout") {
        endpoint.connectTimeoutMs = static_cast<int>(number(value, 0, 60000, 200));
    } else if (key == "queueSize") {
        endpoint.queueBytes = static_cast<size_t>(number(value, 0, 1L << 30, 1L << 20));
    } else {
        KvlBasicHandlerFCfgChange(handler, name);  // "logging" and the handler base's
        return;
    }
    if (endpoint != before) closeSender(handler, *vars);  // the next record connects anew
}

int prepareHandler(KvlObject *handler) noexcept {
    HandlerVars *vars = handlerVars(handler);
    if (vars == nullptr) return 0;
    try {
        ensureRecordFormatter(handler, *vars);
        if (vars->sender == nullptr) vars->sender = std::make_unique<SyslogSender>(vars->endpoint);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return vars->record != nullptr ? 1 : 0;
}

void writeRecords(KvlObject *handler, const char *const *texts, const size_t *lengths,
                  size_t count) noexcept {
    HandlerVars *vars = handlerVars(handler);
    if (vars == nullptr || vars->sender == nullptr) return;
    try {
        thread_local std::vector<std::string_view> records;
        records.clear();
        for (size_t i = 0; i < count; ++i)
            records.emplace_back(texts[i], lengths[i]);
        vars->sender->sendAll(records);
    } catch (const std::bad_alloc &) {
        return;
    }
    report(handler, *vars);
}

void writeRecord(KvlObject *handler, const char *text, size_t length) noexcept {
    writeRecords(handler, &text, &length, 1);
}

KvlObject *closeHandler(KvlObject *handler) noexcept {
    HandlerVars *vars = handlerVars(handler);
    if (vars == nullptr) return handler;
    closeSender(handler, *vars);
    kvlIntlReleaseObject(vars->record);
    vars->record = nullptr;
    return handler;
}

}  // namespace

extern "C" void KvlInitNetExtensions(void) noexcept {
    KvlI18Msg *record =
        KvlAllocI18Msg(kCatalog, 1, kFormatterDescription, "Formats a record as a syslog message");
    KvlAddFormatterClass(kFormatterClass, record, allocRecordVars, freeRecordVars, recordCfgChange,
                         formatRecord, nullptr, nullptr, nullptr);
    KvlFreeI18Msg(record);
    KvlI18Msg *handler =
        KvlAllocI18Msg(kCatalog, 1, kHandlerDescription, "Sends records to a syslog collector");
    KvlAddTextHandlerClass(kHandlerClass, handler, allocHandlerVars, freeHandlerVars,
                           handlerCfgChange, nullptr, closeHandler, prepareHandler, writeRecord,
                           writeRecords);
    KvlFreeI18Msg(handler);
}
