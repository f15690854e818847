// Events: what a logging call builds from its typed list and hands to its
// logger.
//
// The typed list is read with the C calling convention of this platform:
// 501, 502 and 506 and the markers as int, 503 as long, 504 and 505 as
// double, 507 and property names as const char *. At most 63 entries are
// read (the markers that start entries; the type after a 201 does not
// count), so a list that lost its closing 0 cannot make the reader run
// through the stack.

#include <algorithm>
#include <cstring>

#include "CxProcess.h"
#include "KvlContainer.h"
#include "KvlFormat.h"
#include "KvlLevels.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "KvlTypedProps.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr int kMaxMarkers = 63;
// An event's allocation is at least the largest block the C library's
// per-thread cache of freed blocks serves (glibc: 1032 bytes), the room
// taking what the event and its texts leave: with a short message about
// 750 bytes, enough for the links of the properties a logger adds (source,
// origin, process and thread) and a few parameters; more go to the heap.
// A long message gets a room of its own beyond it.
constexpr size_t kEventBlock = 1024;
constexpr size_t kLeastRoom = 256;

KvlStringToStringMap *propertiesOf(KvlEvent *event) {
    if (event->properties == nullptr)
        event->properties = kvlIntlMakeStringToStringMapIn(
            event->propertiesRoom, sizeof event->propertiesRoom, &event->room);
    return event->properties;
}

// One value of type 501 to 507: a parameter of the message, or, with a
// name, an event property.
void readValue(KvlEvent *event, int type, const char *name, va_list &args) {
    KvlI18Msg *message = event->message;
    KvlStringToStringMap *properties = name != nullptr ? propertiesOf(event) : nullptr;
    switch (type) {
        case KVL_ARG_BOOLEAN: {
            const int v = va_arg(args, int) & 0xFF;
            if (name != nullptr)
                KvlSetMapPropBool(properties, name, v);
            else
                kvlIntlAddI18MsgParmBool(message, v);
            break;
        }
        case KVL_ARG_CHAR: {
            const char v = static_cast<char>(va_arg(args, int));
            if (name != nullptr)
                KvlSetMapPropChar(properties, name, v);
            else
                kvlIntlAddI18MsgParmChar(message, v);
            break;
        }
        case KVL_ARG_INT: {
            const int v = va_arg(args, int);
            if (name != nullptr)
                KvlSetMapPropInt(properties, name, v);
            else
                kvlIntlAddI18MsgParmInt(message, v);
            break;
        }
        case KVL_ARG_LONG: {
            const long v = va_arg(args, long);
            if (name != nullptr)
                KvlSetMapPropLong(properties, name, v);
            else
                kvlIntlAddI18MsgParmLong(message, v);
            break;
        }
        case KVL_ARG_FLOAT: {
            const float v = static_cast<float>(va_arg(args, double));
            if (name != nullptr)
                KvlSetMapPropFloat(properties, name, v);
            else
                kvlIntlAddI18MsgParmFloat(message, v);
            break;
        }
        case KVL_ARG_DOUBLE: {
            const double v = va_arg(args, double);
            if (name != nullptr)
                KvlSetMapPropDouble(properties, name, v);
            else
                kvlIntlAddI18MsgParmDouble(message, v);
            break;
        }
        default: {  // KVL_ARG_STRING
            const char *v = va_arg(args, const char *);
            if (name != nullptr) {
                KvlSetMapProp(properties, name, v);
            } else {  // a null string keeps its place among the parameters
                KvlParm parm{KVL_ARG_STRING, {}};
                parm.value.s = const_cast<char *>(v);
                kvlIntlParmListAppend(kvlGetI18MsgParmList(message), &parm);
            }
        }
    }
}

void warn(int32_t key) {
    kvlIntlLogVA(KVL_LEVEL_ERROR, key, kvlMsgTableText(KVL_MSG_CATALOG, key), KVL_ARG_END);
}

// Reads the typed list into the event.
void readTypedList(KvlEvent *event, va_list &args) {
    int markers = 1;
    for (int marker = va_arg(args, int); marker != KVL_ARG_END;) {
        int type = marker;
        const char *name = nullptr;
        if (marker == KVL_ARG_PROPERTY) {
            name = va_arg(args, const char *);
            type = va_arg(args, int);
        }
        if (kvl::isEventLevel(type) || (name != nullptr && type == 0)) {
            event->level = type;  // a level entry reads no value
        } else if (type >= KVL_ARG_BOOLEAN && type <= KVL_ARG_STRING) {
            readValue(event, type, name, args);
        } else {
            warn(kvlmsg::KVLBC0071W);  // a value without its marker, or garbage: stop reading
            return;
        }
        if (markers == kMaxMarkers) {
            warn(kvlmsg::KVLBC0070W);
            return;
        }
        marker = va_arg(args, int);
        ++markers;
    }
}

}  // namespace

extern "C" {

KvlEvent *KvlVaAllocEvent(int32_t level, const char *catalog, int32_t set, int32_t key,
                          const char *text, va_list args) noexcept {
    // One allocation: the event, its message, the message's texts and the
    // room its properties and parameters are taken from.
    const size_t roomAt = (sizeof(KvlEvent) + kvlI18MsgAreaSize(catalog, text) + 15) & ~size_t{15};
    const size_t size = std::max(kEventBlock, roomAt + kLeastRoom);
    auto *event = static_cast<KvlEvent *>(OxsMemoryMalloc(size));
    if (event == nullptr) return nullptr;
    std::memset(static_cast<void *>(event), 0, sizeof(KvlEvent));
    char *const block = reinterpret_cast<char *>(event);
    event->room = KvlRoom{block + roomAt, block + roomAt, block + size};
    kvlIntlInitI18MsgIn(&event->ownMessage, catalog, set, key, text,
                        reinterpret_cast<char *>(event + 1), &event->room);
    event->message = &event->ownMessage;
    event->time = static_cast<uint64_t>(CxSystemGetTimestamp());
    event->level = level;
    event->isMessage = catalog != nullptr ? 1 : 0;
    va_list list;
    va_copy(list, args);
    readTypedList(event, list);
    va_end(list);
    return event;
}

void KvlFreeEvent(KvlEvent *event) noexcept {
    if (event == nullptr) return;
    kvl::giveBack(&event->room, event->boundText);
    kvlIntlFreeI18Msg(event->message);
    kvlIntlClearStringToStringMap(event->properties);
    kvl::giveBack(&event->room, event->messageId);
    OxsMemoryFree(event);
}

uint64_t KvlGetEventTime(KvlEvent *event) noexcept { return event != nullptr ? event->time : 0; }
int32_t KvlGetEventLevel(KvlEvent *event) noexcept {
    return event != nullptr ? event->level : KVL_LEVEL_NONE;
}
int KvlGetEventIsMessage(KvlEvent *event) noexcept {
    return event != nullptr ? event->isMessage : 0;
}
void KvlSetEventIsMessage(KvlEvent *event, int isMessage) noexcept {
    if (event != nullptr) event->isMessage = static_cast<unsigned char>(isMessage);
}
char *KvlGetEventMessageId(KvlEvent *event) noexcept {
    return event != nullptr ? OxsStringDup(event->messageId) : nullptr;
}
// An identifier is a few characters: it goes into the event's room while
// there is some.
void KvlSetEventMessageId(KvlEvent *event, const char *id) noexcept {
    if (event == nullptr) return;
    char *copy = nullptr;
    if (id != nullptr) {
        const size_t size = std::strlen(id) + 1;
        void *at = kvl::allocateFrom(&event->room, size);
        if (at == nullptr) return;
        copy = static_cast<char *>(std::memcpy(at, id, size));
    }
    kvl::giveBack(&event->room, event->messageId);
    event->messageId = copy;
}
const char *kvlGetEventLocale(KvlEvent *event) noexcept {
    return event != nullptr ? event->locale : nullptr;
}
void kvlSetEventLocale(KvlEvent *event, const char *locale) noexcept {
    if (event != nullptr) event->locale = locale;
}

KvlFBindMsg KvlGetFormatterBindMsg(KvlObject *formatter) noexcept {
    return kvlObjectIsKind(formatter, KVL_KIND_FORMATTER) ? formatter->klass->bindMsg : nullptr;
}

char *KvlBindEventMsg(KvlEvent *event, KvlFBindMsg bind) noexcept {
    if (event == nullptr || bind == nullptr) return nullptr;
    if (event->locale != nullptr) kvlSetI18MsgLocale(event->message, event->locale);
    return bind(event->message);
}

}  // extern "C"

namespace {

void forgetBound(KvlEvent *event) {
    kvl::giveBack(&event->room, event->boundText);
    event->boundText = nullptr;
}

// Keeps the text the toolkit's binding made, with what it was made from.
void keepBound(KvlEvent *event, std::string_view text) {
    forgetBound(event);
    auto *copy = static_cast<char *>(kvl::allocateFrom(&event->room, text.size() + 1));
    if (copy == nullptr) return;  // memory short: bound again next time
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    event->boundText = copy;
    event->boundLength = text.size();
    event->boundMessage = event->message;
    event->boundLocale = event->locale;
    event->boundChanges = event->message != nullptr ? event->message->changes : 0;
}

bool boundIsCurrent(const KvlEvent *event) {
    return event->boundText != nullptr && event->boundMessage == event->message &&
           event->boundLocale == event->locale && event->message != nullptr &&
           event->boundChanges == event->message->changes;
}

}  // namespace

bool kvl::eventText(KvlEvent *event, std::string_view &text) {
    if (event == nullptr) return false;
    if (event->locale != nullptr) kvlSetI18MsgLocale(event->message, event->locale);
    if (!boundIsCurrent(event)) {
        BoundText bound;
        if (!appendBoundMessage(event->message, bound.text())) return false;
        keepBound(event, bound.text());
        if (event->boundText == nullptr) {  // not kept: the caller gets it anyway
            text = {};
            return false;
        }
    }
    text = std::string_view(event->boundText, event->boundLength);
    return true;
}

// A text already kept is appended; otherwise the message is bound straight
// into `out` and not kept: a formatter appending its record is usually the
// only one (a problem-determination logger binds and keeps the text before
// any formatter sees the event).
bool kvl::appendEventText(KvlEvent *event, std::string &out) {
    if (event == nullptr) return false;
    if (event->locale != nullptr) kvlSetI18MsgLocale(event->message, event->locale);
    if (boundIsCurrent(event)) {
        out.append(event->boundText, event->boundLength);
        return true;
    }
    return appendBoundMessage(event->message, out);
}

bool kvl::appendEventText(KvlEvent *event, KvlObject *formatter, std::string &out) {
    if (event == nullptr || !kvlObjectIsKind(formatter, KVL_KIND_FORMATTER)) return false;
    if (formatter->klass->toolkitBinding) return appendEventText(event, out);
    if (formatter->klass->bindMsg == nullptr) return false;
    if (event->locale != nullptr) kvlSetI18MsgLocale(event->message, event->locale);
    char *text = formatter->klass->bindMsg(event->message);
    forgetBound(event);  // a binding of its own may have changed the message in any way
    if (text == nullptr) return false;
    out += text;
    OxsMemoryFree(text);
    return true;
}

extern "C" {

// Every debug record carries these; when the typed list set no property
// (the usual call) they are new keys and go in without a look-up.
void kvlSetEventSource(KvlEvent *event, const char *file, int line, const char *function) noexcept {
    if (event == nullptr || (file == nullptr && function == nullptr)) return;
    KvlStringToStringMap *map = propertiesOf(event);
    const auto put = kvlIntlStringToStringMapIterator(map) == nullptr
                         ? kvlIntlStringToStringMapPutNew
                         : kvlIntlStringToStringMapPut;
    if (file != nullptr) {
        put(map, KVL_PROP_SRCFILE, file);
        kvl::setTyped<kvl::Typed::kInt>(
            [&](const char *key, const char *text) { put(map, key, text); }, KVL_PROP_SRCLINE,
            line);
    }
    if (function != nullptr) put(map, KVL_PROP_SRCFUNCTION, function);
}

char *KvlGetEventProp(KvlEvent *event, const char *name, unsigned char *found) noexcept {
    return KvlGetMapProp(event != nullptr ? event->properties : nullptr, name, found);
}
int KvlGetEventPropBool(KvlEvent *event, const char *name, unsigned char *ok) noexcept {
    return KvlGetMapPropBool(event != nullptr ? event->properties : nullptr, name, ok);
}
int32_t KvlGetEventPropInt(KvlEvent *event, const char *name, unsigned char *ok) noexcept {
    return KvlGetMapPropInt(event != nullptr ? event->properties : nullptr, name, ok);
}
int64_t KvlGetEventPropLong(KvlEvent *event, const char *name, unsigned char *ok) noexcept {
    return KvlGetMapPropLong(event != nullptr ? event->properties : nullptr, name, ok);
}
float KvlGetEventPropFloat(KvlEvent *event, const char *name, unsigned char *ok) noexcept {
    return KvlGetMapPropFloat(event != nullptr ? event->properties : nullptr, name, ok);
}
double KvlGetEventPropDouble(KvlEvent *event, const char *name, unsigned char *ok) noexcept {
    return KvlGetMapPropDouble(event != nullptr ? event->properties : nullptr, name, ok);
}
void KvlSetEventProp(KvlEvent *event, const char *name, const char *value) noexcept {
    if (event != nullptr) KvlSetMapProp(propertiesOf(event), name, value);
}
void KvlSetEventPropBool(KvlEvent *event, const char *name, int value) noexcept {
    if (event != nullptr) KvlSetMapPropBool(propertiesOf(event), name, value);
}
void KvlSetEventPropInt(KvlEvent *event, const char *name, int32_t value) noexcept {
    if (event != nullptr) KvlSetMapPropInt(propertiesOf(event), name, value);
}
void KvlSetEventPropLong(KvlEvent *event, const char *name, int64_t value) noexcept {
    if (event != nullptr) KvlSetMapPropLong(propertiesOf(event), name, value);
}
void KvlSetEventPropFloat(KvlEvent *event, const char *name, float value) noexcept {
    if (event != nullptr) KvlSetMapPropFloat(propertiesOf(event), name, value);
}
void KvlSetEventPropDouble(KvlEvent *event, const char *name, double value) noexcept {
    if (event != nullptr) KvlSetMapPropDouble(propertiesOf(event), name, value);
}

char *KvlStrACat(int32_t count, const char *const *strings, const char *separator) noexcept {
    size_t length = 1;
    const size_t separatorLength = OxsStringLen(separator);
    for (int32_t i = 0; strings != nullptr && i < count; ++i)
        if (strings[i] != nullptr) length += std::strlen(strings[i]) + separatorLength;
    auto *text = static_cast<char *>(OxsMemoryMalloc(length));
    if (text == nullptr) return nullptr;
    char *end = text;
    bool first = true;
    for (int32_t i = 0; strings != nullptr && i < count; ++i) {
        if (strings[i] == nullptr) continue;
        if (!first && separatorLength > 0) {
            std::memcpy(end, separator, separatorLength);
            end += separatorLength;
        }
        const size_t n = std::strlen(strings[i]);
        std::memcpy(end, strings[i], n);
        end += n;
        first = false;
    }
    *end = '\0';
    return text;
}

}  // extern "C"
