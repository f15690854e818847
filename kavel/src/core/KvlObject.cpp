// Objects: creation by name, reference counts, properties, listeners, and
// the two operations every class builds on (passing an event to the
// listeners, and the properties common to all objects).
//
// The registry holds one reference to every live object; an object is
// destroyed when a release leaves only that one. At close an object a
// caller still holds is detached instead (kvlDetachObject): it keeps its
// name and properties until the caller's last release frees it, and every
// other operation on it does nothing.
//
// Listener cycles ("h1" listening to "h2" listening to "h1") cannot loop:
// the objects an event is passing through are marked while it does, and
// an object already on the path is neither handed the event again nor
// passes it on again, whatever kind it is: every pass-on goes through the
// one delivery below.

#include <cstring>
#include <string_view>
#include <vector>

#include "CxStringTok.h"
#include "KvlClasses.h"
#include "KvlContainer.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlToolkit.h"
#include "KvlTypedProps.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

// Objects held by reference: acquired in, handed out acquired.
struct ObjectValue {
    using In = KvlObject *;
    using Out = KvlObject *;
    using Stored = KvlObject *;
    using Borrowed = KvlObject *;
    [[maybe_unused]] static constexpr bool kNullAllowed = false;
    static bool takeIn(In value, Stored &stored) noexcept {
        stored = kvlIntlAcquireObject(value);
        return true;
    }
    static Out handOut(Stored stored) noexcept { return kvlIntlAcquireObject(stored); }
    static In asIn(Stored stored) noexcept { return stored; }
    static void dispose(Stored stored) noexcept { kvlIntlReleaseObject(stored); }
    static bool equal(Stored stored, In value) noexcept { return stored == value; }
};

constexpr int32_t kLoggerLevel = KVL_LEVEL_DEBUG_MIN;

// Delivery runs under the API mutex, so one thread at a time marks the
// objects an event is passing through (KvlObject::delivering).
bool onDeliveryPath(const KvlObject *object) { return object->delivering != 0; }

bool isLoggerOrFilter(const KvlObject *object) {
    return object->klass != nullptr &&
           (object->klass->kind == KVL_KIND_LOGGER || object->klass->kind == KVL_KIND_FILTER);
}

bool hasListeners(const KvlObject *object) {
    return object->klass != nullptr && object->klass->kind != KVL_KIND_FORMATTER;
}

void logName(int32_t key, const char *a, const char *b = nullptr, const char *c = nullptr) {
    const char *text = kvlMsgTableText(KVL_MSG_CATALOG, key);
    if (c != nullptr)
        kvlIntlLogVA(KVL_LEVEL_ERROR, key, text, KVL_ARG_STRING, a, KVL_ARG_STRING, b,
                     KVL_ARG_STRING, c, KVL_ARG_END);
    else if (b != nullptr)
        kvlIntlLogVA(KVL_LEVEL_ERROR, key, text, KVL_ARG_STRING, a, KVL_ARG_STRING, b, KVL_ARG_END);
    else
        kvlIntlLogVA(KVL_LEVEL_ERROR, key, text, KVL_ARG_STRING, a, KVL_ARG_END);
}

// The class of a new object: the one named, or the configured one.
KvlObjClass *classForNew(const char *name, const char *className) {
    if (className != nullptr) {
        KvlObjClass *klass = kvlToolkitGetClassDef(className);
        if (klass == nullptr) logName(kvlmsg::KVLBC0062W, className, name);
        return klass;
    }
    KvlObjCfg *cfg = kvlIntlLogMgrGetCfg(name);
    unsigned char found = 0;
    char *configured = kvlIntlGetInheritedObjCfgProp(cfg, "className", &found);
    KvlObjClass *klass = nullptr;
    if (found == 1) {
        klass = kvlToolkitGetClassDef(configured);
        if (klass == nullptr)
            logName(kvlmsg::KVLBC0062W, configured != nullptr ? configured : "", name);
    } else {
        logName(kvlmsg::KVLBC0063W, name);
    }
    kvlIntlReleaseObjCfg(cfg);
    OxsMemoryFree(configured);
    return klass;
}

KvlObject *newObject(const char *name, KvlObjClass *klass) {
    auto *object = new (std::nothrow) KvlObject{};
    char *copy = OxsStringDup(name);
    if (object == nullptr || copy == nullptr) {
        delete object;
        OxsMemoryFree(copy);
        kvl::toolkitReport(KVL_LEVEL_ERROR, kvlmsg::KVLBC0020E);
        return nullptr;
    }
    object->klass = klass;
    object->name = copy;
    object->enabled = 1;
    object->level = klass->kind == KVL_KIND_LOGGER ? kLoggerLevel : 0;
    object->gate = KVL_GATE_CLOSED;
    object->vars = klass->allocVars != nullptr ? klass->allocVars() : nullptr;
    if (klass->kind == KVL_KIND_HANDLER) {
        KvlObject *formatter = kvlIntlGetObject(KVL_DEFAULT_FORMATTER_NAME, "kvl_basicformatter");
        object->formatter = formatter;  // the handler keeps this reference
    }
    return object;
}

// Frees what a destroyed or detached object still owns, and the record.
void freeRecord(KvlObject *object) {
    kvlIntlFreeStringToStringMap(object->properties);
    OxsMemoryFree(object->name);
    OxsMemoryFree(object->separator);
    OxsMemoryFree(object->dateTimeFormat);
    if (object->locale != nullptr) zil_loc_free(object->locale);
    delete object;
}

// The parts that belong to the object's class and links: handler closed,
// listeners and formatter released, variables freed.
void releaseParts(KvlObject *object) {
    KvlObjClass *klass = object->klass;
    if (klass->kind == KVL_KIND_HANDLER && klass->close != nullptr) klass->close(object);
    KvlListenerGroup *listeners = object->listeners;
    object->listeners = nullptr;
    kvlIntlFreeListenerGroup(listeners);
    if (klass->freeVars != nullptr && object->vars != nullptr) klass->freeVars(object->vars);
    object->vars = nullptr;
    KvlObject *formatter = object->formatter;
    object->formatter = nullptr;
    kvlIntlReleaseObject(formatter);
}

// "listenerNames": the listeners named, in order, replace the current ones.
void applyListenerNames(KvlObject *object, const kvl::PropertyValue &value) {
    KvlListenerGroup *old = object->listeners;
    object->listeners = nullptr;
    kvlIntlFreeListenerGroup(old);
    if (value.text == nullptr) return;
    for (CxStringTokIter tokens = CxStringTokIterator(value.text, " \t\r\n\f\v", 0);
         CxStringTokIterHasNext(&tokens); CxStringTokIterNext(&tokens)) {
        char *name = CxStringTokIterGet(&tokens);
        KvlObject *listener = kvlIntlGetObject(name, nullptr);
        if (listener != nullptr) kvlIntlAddListener(object, listener);
        kvlIntlReleaseObject(listener);
        OxsMemoryFree(name);
    }
}

// "logging": "on" and "true" enable the object, "off" and "false" disable
// it, anything else changes nothing.
constexpr std::string_view kLoggingWords[] = {"on", "true", "off", "false"};
void applyLogging(KvlObject *object, const kvl::PropertyValue &value) {
    if (value.readable) kvlIntlSetObjectEnabled(object, value.integer < 2 ? 1 : 0);
}

// The class's description (made when the class has none): the text, the
// catalog, the set and the key of its message.
KvlI18Msg *descriptionOf(KvlObject *object) {
    KvlObjClass *klass = object->klass;
    if (klass->description == nullptr)
        klass->description = kvlIntlAllocI18Msg(nullptr, 0, 0, nullptr);
    return klass->description;
}
void applyDescription(KvlObject *object, const kvl::PropertyValue &value) {
    if (KvlI18Msg *message = descriptionOf(object)) KvlSetI18MsgTxt(message, value.text);
}
void applyDescriptionFile(KvlObject *object, const kvl::PropertyValue &value) {
    if (KvlI18Msg *message = descriptionOf(object)) KvlSetI18MsgCat(message, value.text);
}
void applyDescriptionSet(KvlObject *object, const kvl::PropertyValue &value) {
    if (KvlI18Msg *message = descriptionOf(object))
        KvlSetI18MsgSet(message, static_cast<int32_t>(value.integer));
}
void applyDescriptionKey(KvlObject *object, const kvl::PropertyValue &value) {
    if (KvlI18Msg *message = descriptionOf(object))
        KvlSetI18MsgKey(message, static_cast<int32_t>(value.integer));
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

// What every class reads ("className" is read when the object is made).
constexpr kvl::PropertyDef kObjectDefs[] = {
    {"className", PropertyKind::kString, "", WhenAbsent::kKeeps, Closes::kNo, nullptr},
    {"listenerNames", PropertyKind::kList, "", WhenAbsent::kClears, Closes::kNo,
     applyListenerNames},
    {"logging", PropertyKind::kEnumeration, "on", WhenAbsent::kKeeps, Closes::kNo, applyLogging,
     kLoggingWords},
    {"description", PropertyKind::kString, "", WhenAbsent::kClears, Closes::kNo, applyDescription},
    {"descriptionFile", PropertyKind::kString, "", WhenAbsent::kClears, Closes::kNo,
     applyDescriptionFile},
    {"descriptionSet", PropertyKind::kInteger, "0", WhenAbsent::kClears, Closes::kNo,
     applyDescriptionSet},
    {"descriptionKey", PropertyKind::kInteger, "0", WhenAbsent::kClears, Closes::kNo,
     applyDescriptionKey},
};

}  // namespace

constexpr kvl::PropertyTable kvl::kObjectProperties = {kObjectDefs, nullptr};

KVL_DEFINE_MAP(StringToObjMap, ObjectValue)
KVL_DEFINE_GROUP(ListenerGroup, ObjectValue)

extern "C" {

void kvlUpdateObjectGate(KvlObject *object) noexcept {
    if (object == nullptr) return;
    const bool open = kvlToolkitIsOpen() == 1 && object->enabled == 1 && object->klass != nullptr &&
                      isLoggerOrFilter(object);
    object->gate.store(open ? object->level : KVL_GATE_CLOSED, std::memory_order_relaxed);
}

void kvlSetObjectLevel(KvlObject *object, int32_t level) noexcept {
    if (object == nullptr || object->klass == nullptr || !isLoggerOrFilter(object)) return;
    object->level = level;
    kvlUpdateObjectGate(object);
}

KvlObject *kvlIntlGetObject(const char *name, const char *className) noexcept {
    KVL_ASSERT_LOCKED();
    if (name == nullptr) return nullptr;
    if (KvlObject *found = kvlToolkitGetObjInstance(name)) {
        if (found->klass == nullptr) {
            logName(kvlmsg::KVLBC0060W, name);
            kvlIntlReleaseObject(found);
            return nullptr;
        }
        if (className == nullptr || std::strcmp(className, found->klass->name) == 0) return found;
        logName(kvlmsg::KVLBC0061W, name, found->klass->name, className);
        kvlIntlReleaseObject(found);
        return nullptr;
    }
    KvlObjClass *klass = classForNew(name, className);
    if (klass == nullptr) return nullptr;
    KvlObject *object = newObject(name, klass);
    if (object == nullptr) return nullptr;
    kvlToolkitAddObjInstance(name, object);  // count 1
    kvlUpdateObjectGate(object);
    kvlIntlAcquireObject(object);  // the caller's: count 2
    kvlIntlLogMgrApplyCfg(object, name);
    return object;
}

KvlObject *kvlIntlAcquireObject(KvlObject *object) noexcept {
    KVL_ASSERT_LOCKED();
    if (object != nullptr) ++object->refCount;
    return object;
}

void kvlIntlReleaseObject(KvlObject *object) noexcept {
    KVL_ASSERT_LOCKED();
    if (object == nullptr || object->refCount == 0) return;
    --object->refCount;
    if (object->klass == nullptr) {  // detached: freed with its last reference
        if (object->refCount == 0) freeRecord(object);
        return;
    }
    if (object->refCount != 1) return;
    // Only the registry's reference is left: destroy. Leaving the registry
    // releases that reference too (down to 0, which destroys nothing).
    kvlToolkitRemObjInstance(object->name);
    releaseParts(object);
    freeRecord(object);
}

void kvlDetachObject(KvlObject *object) noexcept {
    KVL_ASSERT_LOCKED();
    if (object == nullptr || object->klass == nullptr) return;
    releaseParts(object);
    object->klass = nullptr;
    object->gate.store(KVL_GATE_CLOSED, std::memory_order_relaxed);
}

KvlListenerGroup *kvlFetchListenerGroup(KvlObject *object, int create) noexcept {
    if (object == nullptr || !hasListeners(object)) return nullptr;
    if (object->listeners == nullptr && create == 1)
        object->listeners = kvlIntlAllocListenerGroup();
    return object->listeners;
}

int kvlIntlAddListener(KvlObject *object, KvlObject *listener) noexcept {
    KVL_ASSERT_LOCKED();
    if (listener == nullptr || listener->klass == nullptr) return 0;
    return kvlIntlListenerGroupAdd(kvlFetchListenerGroup(object, 1), listener);
}

int kvlIntlRemListener(KvlObject *object, KvlObject *listener) noexcept {
    KVL_ASSERT_LOCKED();
    return kvlIntlListenerGroupRem(kvlFetchListenerGroup(object, 0), listener);
}

void kvlNotifyObjCfgChange(KvlObject *object, const char *name) noexcept {
    if (object != nullptr && object->klass != nullptr && object->klass->cfgChange != nullptr)
        object->klass->cfgChange(object, name);
}

void kvlIntlSetObjProp(KvlObject *object, const char *name, const char *value) noexcept {
    KVL_ASSERT_LOCKED();
    if (object == nullptr || object->klass == nullptr || name == nullptr) return;
    if (object->properties == nullptr) object->properties = kvlIntlAllocStringToStringMap();
    if (kvlIntlStringToStringMapPut(object->properties, name, value) == 1)
        kvlNotifyObjCfgChange(object, name);
}

char *kvlIntlGetObjProp(KvlObject *object, const char *name, unsigned char *found) noexcept {
    return KvlGetMapProp(object != nullptr ? object->properties : nullptr, name, found);
}

void kvlIntlSetObjectEnabled(KvlObject *object, int enabled) noexcept {
    if (object == nullptr || object->klass == nullptr) return;
    object->enabled = static_cast<unsigned char>(enabled);
    kvlUpdateObjectGate(object);
}

void KvlBasicObjectFLog(KvlObject *object, KvlEvent *event) noexcept {
    if (object == nullptr || object->klass == nullptr || object->enabled != 1) return;
    if (object->listeners == nullptr || object->listeners->head == nullptr) {
        if (object->klass->kind == KVL_KIND_LOGGER) logName(kvlmsg::KVLLG01E, object->name);
        return;
    }
    if (onDeliveryPath(object)) return;  // a listener cycle: the event has been here
    // The listeners as they are now, each held for the delivery: a listener
    // may change the set while it handles the event.
    constexpr size_t kInline = 8;
    KvlObject *inlineListeners[kInline];
    std::vector<KvlObject *> moreListeners;
    size_t count = 0;
    for (auto *link = object->listeners->head; link != nullptr; link = link->next, ++count) {
        KvlObject *listener = kvlIntlAcquireObject(link->value);
        if (count < kInline)
            inlineListeners[count] = listener;
        else
            moreListeners.push_back(listener);
    }
    ++object->delivering;
    for (size_t i = 0; i < count; ++i) {
        KvlObject *listener = i < kInline ? inlineListeners[i] : moreListeners[i - kInline];
        const KvlObjClass *klass = listener->klass;
        if (onDeliveryPath(listener)) continue;  // it has had the event: a cycle back to it
        if (klass != nullptr && klass->process != nullptr &&
            (klass->kind == KVL_KIND_FILTER || klass->kind == KVL_KIND_HANDLER))
            klass->process(listener, event);
    }
    --object->delivering;
    for (size_t i = 0; i < count; ++i)
        kvlIntlReleaseObject(i < kInline ? inlineListeners[i] : moreListeners[i - kInline]);
}

void KvlBasicObjectFCfgChange(KvlObject *object, const char *name) noexcept {
    kvl::configure(object, name, kvl::kObjectProperties);
}

const char *kvlIntlObjectName(KvlObject *object) noexcept {
    return object != nullptr ? object->name : nullptr;
}
void *kvlIntlObjectVars(KvlObject *object) noexcept {
    return object != nullptr ? object->vars : nullptr;
}

KvlObject *KvlGetObject(const char *name, const char *className) noexcept
    KVL_LOCKED(nullptr, kvlIntlGetObject(name, className))
KvlObject *KvlAcquireObject(KvlObject *object) noexcept
    KVL_LOCKED(nullptr, kvlIntlAcquireObject(object))
void KvlReleaseObject(KvlObject *object) noexcept KVL_LOCKED(, kvlIntlReleaseObject(object))

char *KvlGetObjectName(KvlObject *object) noexcept
    KVL_LOCKED(nullptr, object != nullptr ? OxsStringDup(object->name) : nullptr)

char *KvlGetObjectDesc(KvlObject *object) noexcept {
    KvlApiLock lock;
    if (!lock || object == nullptr || object->klass == nullptr) return nullptr;
    return kvlIntlBindI18Msg(object->klass->description);
}

int KvlAreObjectsEqual(KvlObject *a, KvlObject *b) noexcept { return a == b ? 1 : 0; }

int KvlIsObjectEnabled(KvlObject *object) noexcept
    KVL_LOCKED(0, object != nullptr && object->klass != nullptr ? object->enabled : 0)
void KvlSetObjectEnabled(KvlObject *object, int enabled) noexcept
    KVL_LOCKED(, kvlIntlSetObjectEnabled(object, enabled & 0xFF))

int KvlIsLoggableByFilter(KvlObject *filter, KvlEvent *event) noexcept {
    KvlApiLock lock;
    if (!lock || !kvlObjectIsKind(filter, KVL_KIND_FILTER) || filter->klass->isLoggable == nullptr)
        return 0;
    return filter->klass->isLoggable(filter, event);
}

int KvlAddListener(KvlObject *object, KvlObject *listener) noexcept
    KVL_LOCKED(0, kvlIntlAddListener(object, listener))
int KvlRemListener(KvlObject *object, KvlObject *listener) noexcept
    KVL_LOCKED(0, kvlIntlRemListener(object, listener))
KvlListenerGroupIter KvlGetListeners(KvlObject *object) noexcept
    KVL_LOCKED(nullptr, kvlIntlListenerGroupIterator(kvlFetchListenerGroup(object, 0)))

char *KvlGetObjProp(KvlObject *object, const char *name, unsigned char *found) noexcept
    KVL_LOCKED(nullptr, kvlIntlGetObjProp(object, name, found))

void KvlSetObjProp(KvlObject *object, const char *name, const char *value) noexcept
    KVL_LOCKED(, kvlIntlSetObjProp(object, name, value))

// Typed (KvlTypedProps.h): a setter sets the value's text, so the class is
// told exactly as for a text property.
// clang-format off (a list of macro uses; clang-format runs them together)
#define KVL_OBJ_TYPED(Type, Name)                                                                 \
    Type KvlGetObjProp##Name(KvlObject *object, const char *name, unsigned char *ok) noexcept {   \
        return kvl::getTyped<kvl::Typed::k##Name>(                                                \
            [object](const char *key) { return KvlGetObjProp(object, key, nullptr); }, name, ok); \
    }                                                                                             \
    void KvlSetObjProp##Name(KvlObject *object, const char *name, Type value) noexcept {          \
        kvl::setTyped<kvl::Typed::k##Name>(                                                       \
            [object](const char *key, const char *text) { KvlSetObjProp(object, key, text); },    \
            name, value);                                                                         \
    }
KVL_TYPED_PROPERTY_TYPES(KVL_OBJ_TYPED)
#undef KVL_OBJ_TYPED
// clang-format on

}  // extern "C"
