// Messages and parameters.
//
// A message is bound by formatting its catalog text (or default text) with
// its parameters through the runtime layer's printf engine. The format is
// text from outside (a catalog found through NLSPATH), so nothing here
// trusts it: every parameter reaches the engine with the type that follows
// from its own type, and the engine refuses a conversion of the wrong kind
// (a "%s" of a number) instead of reading memory it was not given; binding
// then falls back to the default text. An integer under an unsigned
// conversion ("%o", "%x", "%u") is handed over as the unsigned type of its
// width, as C reinterprets it.

#include <charconv>
#include <cstring>
#include <string>

#include "CxPrintUtil.h"
#include "CxStringBuff.h"
#include "KvlContainer.h"
#include "KvlFormat.h"
#include "KvlMessage.h"
#include "KvlRecordFields.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

struct ParmValue {
    using In = KvlParm *;
    using Out = KvlParm *;
    using Stored = KvlParm *;
    using Borrowed = KvlParm *;
    [[maybe_unused]] static constexpr bool kNullAllowed = false;
    static bool takeIn(In value, Stored &stored) noexcept {
        stored = KvlCopyParm(value);
        return stored != nullptr;
    }
    static size_t copySize(In value) noexcept;
    static Stored placeCopy(void *at, In value) noexcept;
    static Out handOut(Stored stored) noexcept { return KvlCopyParm(stored); }
    static In asIn(Stored stored) noexcept { return stored; }
    static void dispose(Stored stored) noexcept { KvlFreeParm(stored); }
    static bool equal(Stored stored, In value) noexcept { return KvlCmpParms(stored, value) == 1; }
};

uc_ch_t *utf8Handle = nullptr;  // KVL_CS_UTF8

bool isUnsignedArg(uint8_t type) {
    switch (type) {
        case CX_PA_UINT:
        case CX_PA_USHORT:
        case CX_PA_ULONG:
        case CX_PA_ULLONG:
        case CX_PA_UINTMAX:
        case CX_PA_UCHAR:
        case CX_PA_SIZE:
            return true;
        default:
            return false;
    }
}

// The engine's argument for a parameter; `asUnsigned` when its conversion
// is unsigned. False for a parameter of no known type.
bool toArgument(const KvlParm &parm, bool asUnsigned, CxPrintfArg &arg) {
    switch (parm.type) {
        case KVL_ARG_BOOLEAN:
            arg.type = asUnsigned ? CX_PA_UINT : CX_PA_INT;
            arg.value.i = static_cast<signed char>(parm.value.b);
            return true;
        case KVL_ARG_CHAR:
            arg.type = asUnsigned ? CX_PA_UINT : CX_PA_INT;
            arg.value.i = static_cast<signed char>(parm.value.c);
            return true;
        case KVL_ARG_INT:
            arg.type = asUnsigned ? CX_PA_UINT : CX_PA_INT;
            arg.value.i = parm.value.i;
            return true;
        case KVL_ARG_LONG:
            arg.type = asUnsigned ? CX_PA_ULONG : CX_PA_LONG;
            arg.value.i = parm.value.l;
            return true;
        case KVL_ARG_FLOAT:
            arg.type = CX_PA_LDOUBLE;
            arg.value.f = parm.value.f;
            return true;
        case KVL_ARG_DOUBLE:
            arg.type = CX_PA_LDOUBLE;
            arg.value.f = parm.value.d;
            return true;
        case KVL_ARG_STRING:
            arg.type = CX_PA_STRING;
            arg.value.p = parm.value.s;
            return true;
        default:
            return false;
    }
}

// Cuts the text back to its first `length` bytes.
void cutBack(CxStringBuff *buffer, uint32_t length) {
    if (buffer->data != nullptr) buffer->data[buffer->length = length] = '\0';
}

// The usual shape of a log message, formatted without the general engine:
// text, "%%", and "%s" and "%d" taking a string and an int parameter in
// order. The engine writes these the same way; any other shape (flags, a
// width, a position, another conversion or parameter type, too few
// parameters) returns false with the buffer as it was, and goes through
// the engine.
bool appendSimple(const char *format, KvlParmList *parms, CxStringBuff *buffer) {
    const uint32_t start = buffer->length;
    const auto refuse = [&] {
        cutBack(buffer, start);
        return false;
    };
    KvlParmListIter next = kvlIntlParmListIterator(parms);
    for (const char *p = format;;) {
        const char *percent = std::strchr(p, '%');
        const size_t n = percent != nullptr ? static_cast<size_t>(percent - p) : std::strlen(p);
        if (!cxStringBuffAppendBytes(buffer, p, n)) return refuse();
        if (percent == nullptr) return true;
        p = percent + 2;
        if (percent[1] == '%') {
            if (!cxStringBuffAppendBytes(buffer, "%", 1)) return refuse();
            continue;
        }
        const KvlParm *parm = kvlIntlParmListIterPeek(next);
        if (parm == nullptr) return refuse();
        next = kvlIntlParmListIterNext(next);
        if (percent[1] == 's' && parm->type == KVL_ARG_STRING && parm->value.s != nullptr) {
            if (!cxStringBuffAppendBytes(buffer, parm->value.s, std::strlen(parm->value.s)))
                return refuse();
        } else if (percent[1] == 'd' && parm->type == KVL_ARG_INT) {
            char digits[16];
            const char *end = std::to_chars(digits, digits + sizeof digits, parm->value.i).ptr;
            if (!cxStringBuffAppendBytes(buffer, digits, static_cast<size_t>(end - digits)))
                return refuse();
        } else {
            return refuse();
        }
    }
}

// Formats `format` with the parameters onto the end of `buffer`. False,
// with the buffer as it was, when the format or a parameter is refused.
bool appendFormatted(const char *format, KvlParmList *parms, CxStringBuff *buffer) {
    if (appendSimple(format, parms, buffer)) return true;
    CxPrintfFormatList formats;
    CxPrintfArgList args;
    CxPrintfInitLists(&formats, &args);
    bool ok = CxPrintfProcessFmts(format, &formats, &args) == 0;
    for (int32_t i = 0; ok && i < args.count; ++i) {
        const KvlParm *parm = KvlParmListGetIndex(parms, i);  // too few parameters: null
        ok = parm != nullptr &&
             toArgument(*parm, isUnsignedArg(args.entries[i].type), args.entries[i]);
    }
    if (ok) {
        const uint32_t start = buffer->length;
        int error = 0;
        cxPrintfEmitAll(nullptr, buffer, &formats, &args, &error);
        ok = error == 0 && cxStringBuffHasCapacity(buffer, 0);
        if (!ok) cutBack(buffer, start);
    }
    CxPrintfFreeLists(&formats, &args);
    return ok;
}

// Calls `use` with the message's format: the text its catalog has for it
// (the default text when the catalog has none), or its default text.
template <class Use>
auto withFormat(KvlI18Msg *message, Use use) {
    if (message->catalog == nullptr) return use(message->text);
    zil_catd catalog = zil_catopen(message->catalog, 0, message->locale);
    auto result = use(zil_catgets(catalog, message->set, message->key, message->text, utf8Handle));
    zil_catclose(catalog);
    return result;
}

// The area a message is bound in on its way into a record, kept with its
// capacity from record to record. A message bound while another is (a
// toolkit message reported from inside) uses an area of its own.
struct BindArea {
    CxStringBuff buffer{};
    bool busy = false;
    ~BindArea() { CxStringBuffDiscard(&buffer); }
};
thread_local BindArea bindArea;

// Whether a text field is one of the copies made in the message's area.
bool inArea(const KvlI18Msg *message, const char *text) {
    const auto at = reinterpret_cast<uintptr_t>(text);
    const auto area = reinterpret_cast<uintptr_t>(message->area);
    return message->area != nullptr && at >= area && at < area + message->areaSize;
}

void freeField(const KvlI18Msg *message, char *text) {
    if (!inArea(message, text)) OxsMemoryFree(text);
}

void replaceField(const KvlI18Msg *message, char *&field, const char *text) {
    char *copy = OxsStringDup(text);
    if (text != nullptr && copy == nullptr) return;
    freeField(message, field);
    field = copy;
}

// Copies a text into the area; null stays null.
char *placeText(const char *text, char *&area) {
    if (text == nullptr) return nullptr;
    const size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::memcpy(area, text, size));
    area += size;
    return copy;
}

int addParm(KvlI18Msg *message, const KvlParm &parm) {
    ++message->changes;
    KvlParmList *list = kvlGetI18MsgParmList(message);
    return list != nullptr ? kvlIntlParmListAppend(list, const_cast<KvlParm *>(&parm)) : 0;
}

}  // namespace

KVL_DEFINE_LIST(ParmList, ParmValue)
static_assert(sizeof(KvlI18Msg::parmsRoom) >= sizeof(KvlParmList),
              "a message's parameter list is made in its parmsRoom");

extern "C" {

const KvlParm *kvlIntlParmListIterPeek(KvlParmListIter iter) noexcept {
    return iter != nullptr ? iter->value : nullptr;
}

// A string parameter's copy carries its text right after the record, in
// the same allocation: every logged string parameter is copied into its
// event.
size_t ParmValue::copySize(In parm) noexcept {
    const bool text = parm->type == KVL_ARG_STRING && parm->value.s != nullptr;
    return sizeof(KvlParm) + (text ? std::strlen(parm->value.s) + 1 : 0);
}

KvlParm *ParmValue::placeCopy(void *at, In parm) noexcept {
    auto *copy = new (at) KvlParm{};
    copy->type = parm->type;
    if (parm->type == KVL_ARG_STRING && parm->value.s != nullptr) {
        copy->value.s = reinterpret_cast<char *>(copy + 1);
        std::strcpy(copy->value.s, parm->value.s);
    } else if (parm->type >= KVL_ARG_BOOLEAN && parm->type < KVL_ARG_STRING) {
        copy->value = parm->value;
    }
    return copy;
}

KvlParm *KvlCopyParm(const KvlParm *parm) noexcept {
    if (parm == nullptr) return nullptr;
    void *block = OxsMemoryMalloc(ParmValue::copySize(const_cast<KvlParm *>(parm)));
    return block != nullptr ? ParmValue::placeCopy(block, const_cast<KvlParm *>(parm)) : nullptr;
}

void KvlFreeParm(KvlParm *parm) noexcept {
    if (parm == nullptr) return;
    if (parm->type == KVL_ARG_STRING && parm->value.s != reinterpret_cast<char *>(parm + 1))
        OxsMemoryFree(parm->value.s);
    OxsMemoryFree(parm);
}

int KvlCmpParms(const KvlParm *a, const KvlParm *b) noexcept {
    if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
    if (a->type != b->type) return 0;
    switch (a->type) {
        case KVL_ARG_BOOLEAN:
            return a->value.b == b->value.b ? 1 : 0;
        case KVL_ARG_CHAR:
            return a->value.c == b->value.c ? 1 : 0;
        case KVL_ARG_INT:
            return a->value.i == b->value.i ? 1 : 0;
        case KVL_ARG_LONG:
            return a->value.l == b->value.l ? 1 : 0;
        case KVL_ARG_FLOAT:
            return a->value.f == b->value.f ? 1 : 0;
        case KVL_ARG_DOUBLE:
            return a->value.d == b->value.d ? 1 : 0;
        case KVL_ARG_STRING:
            return OxsStringCmp(a->value.s, b->value.s) == 0 ? 1 : 0;
        default:
            return 0;
    }
}

char *KvlAprintf(const char *format, KvlParmList *parms) noexcept {
    if (format == nullptr) return nullptr;
    CxStringBuff buffer{};
    char *text = appendFormatted(format, parms, &buffer) ? CxStringBuffTakeStr(&buffer) : nullptr;
    CxStringBuffDiscard(&buffer);
    return text;
}

KvlI18Msg *kvlIntlAllocI18Msg(const char *catalog, int32_t set, int32_t key,
                              const char *text) noexcept {
    auto *message = static_cast<KvlI18Msg *>(OxsMemoryCalloc(1, sizeof(KvlI18Msg)));
    if (message == nullptr) return nullptr;
    message->catalog = OxsStringDup(catalog);
    message->text = OxsStringDup(text);
    message->set = set;
    message->key = key;
    if ((catalog != nullptr && message->catalog == nullptr) ||
        (text != nullptr && message->text == nullptr)) {
        kvlIntlFreeI18Msg(message);
        return nullptr;
    }
    return message;
}

size_t kvlI18MsgAreaSize(const char *catalog, const char *text) noexcept {
    return (catalog != nullptr ? std::strlen(catalog) + 1 : 0) +
           (text != nullptr ? std::strlen(text) + 1 : 0);
}

void kvlIntlInitI18MsgIn(KvlI18Msg *message, const char *catalog, int32_t set, int32_t key,
                         const char *text, char *area, KvlRoom *room) noexcept {
    *message = KvlI18Msg{};
    message->room = room;
    message->area = area;
    message->areaSize = kvlI18MsgAreaSize(catalog, text);
    message->catalog = placeText(catalog, area);
    message->text = placeText(text, area);
    message->set = set;
    message->key = key;
}

KvlI18Msg *kvlIntlCopyI18Msg(KvlI18Msg *message) noexcept {
    if (message == nullptr) return nullptr;
    KvlI18Msg *copy =
        kvlIntlAllocI18Msg(message->catalog, message->set, message->key, message->text);
    if (copy == nullptr) return nullptr;
    copy->locale = message->locale;
    for (auto parm = kvlIntlParmListIterator(message->parms); parm != nullptr;
         parm = kvlIntlParmListIterNext(parm)) {
        if (kvlIntlParmListAppend(kvlGetI18MsgParmList(copy), parm->value) == 0) {
            kvlIntlFreeI18Msg(copy);
            return nullptr;
        }
    }
    return copy;
}

void kvlIntlFreeI18Msg(KvlI18Msg *message) noexcept {
    if (message == nullptr) return;
    freeField(message, message->catalog);
    freeField(message, message->text);
    KvlParmListCore::clear(message->parms);
    if (message->area == nullptr) OxsMemoryFree(message);
}

KvlParmList *kvlGetI18MsgParmList(KvlI18Msg *message) noexcept {
    if (message == nullptr) return nullptr;
    if (message->parms == nullptr)
        message->parms =
            KvlParmListCore::makeIn(message->parmsRoom, sizeof message->parmsRoom, message->room);
    return message->parms;
}

void kvlSetI18MsgLocale(KvlI18Msg *message, const char *locale) noexcept {
    if (message != nullptr) message->locale = locale;
}

int kvlIntlAddI18MsgParmBool(KvlI18Msg *message, int value) noexcept {
    KvlParm parm{KVL_ARG_BOOLEAN, {}};
    parm.value.b = static_cast<unsigned char>(value);
    return addParm(message, parm);
}
int kvlIntlAddI18MsgParmChar(KvlI18Msg *message, char value) noexcept {
    KvlParm parm{KVL_ARG_CHAR, {}};
    parm.value.c = value;
    return addParm(message, parm);
}
int kvlIntlAddI18MsgParmInt(KvlI18Msg *message, int32_t value) noexcept {
    KvlParm parm{KVL_ARG_INT, {}};
    parm.value.i = value;
    return addParm(message, parm);
}
int kvlIntlAddI18MsgParmLong(KvlI18Msg *message, int64_t value) noexcept {
    KvlParm parm{KVL_ARG_LONG, {}};
    parm.value.l = value;
    return addParm(message, parm);
}
int kvlIntlAddI18MsgParmFloat(KvlI18Msg *message, float value) noexcept {
    KvlParm parm{KVL_ARG_FLOAT, {}};
    parm.value.f = value;
    return addParm(message, parm);
}
int kvlIntlAddI18MsgParmDouble(KvlI18Msg *message, double value) noexcept {
    KvlParm parm{KVL_ARG_DOUBLE, {}};
    parm.value.d = value;
    return addParm(message, parm);
}
int kvlIntlAddI18MsgParmString(KvlI18Msg *message, const char *value) noexcept {
    if (value == nullptr) return 0;
    KvlParm parm{KVL_ARG_STRING, {}};
    parm.value.s = const_cast<char *>(value);  // copied by the list
    return addParm(message, parm);
}

char *kvlIntlBindI18Msg(KvlI18Msg *message) noexcept {
    if (message == nullptr) return nullptr;
    char *formatted =
        withFormat(message, [&](const char *format) { return KvlAprintf(format, message->parms); });
    return formatted != nullptr ? formatted : OxsStringDup(message->text);
}

}  // extern "C"

// What kvlIntlBindI18Msg hands out, appended to `out` without the copy.
bool kvl::appendBoundMessage(KvlI18Msg *message, std::string &out) {
    if (message == nullptr) return false;
    CxStringBuff own{};
    const bool nested = bindArea.busy;
    CxStringBuff *buffer = nested ? &own : &bindArea.buffer;
    bindArea.busy = true;
    buffer->length = 0;
    const bool formatted = withFormat(message, [&](const char *format) {
        return format != nullptr && appendFormatted(format, message->parms, buffer);
    });
    if (formatted)
        out.append(buffer->data, buffer->length);
    else if (message->text != nullptr)
        out += message->text;
    if (nested)
        CxStringBuffDiscard(&own);
    else
        bindArea.busy = false;
    return formatted || message->text != nullptr;
}

extern "C" {

KvlI18Msg *KvlAllocI18Msg(const char *catalog, int32_t set, int32_t key, const char *text) noexcept
    KVL_LOCKED(nullptr, kvlIntlAllocI18Msg(catalog, set, key, text))
KvlI18Msg *KvlCopyI18Msg(KvlI18Msg *message) noexcept
    KVL_LOCKED(nullptr, kvlIntlCopyI18Msg(message))
void KvlFreeI18Msg(KvlI18Msg *message) noexcept KVL_LOCKED(, kvlIntlFreeI18Msg(message))
int KvlAddI18MsgParmBool(KvlI18Msg *message, int value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmBool(message, value))
int KvlAddI18MsgParmChar(KvlI18Msg *message, char value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmChar(message, value))
int KvlAddI18MsgParmInt(KvlI18Msg *message, int32_t value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmInt(message, value))
int KvlAddI18MsgParmLong(KvlI18Msg *message, int64_t value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmLong(message, value))
int KvlAddI18MsgParmFloat(KvlI18Msg *message, float value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmFloat(message, value))
int KvlAddI18MsgParmDouble(KvlI18Msg *message, double value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmDouble(message, value))
int KvlAddI18MsgParmString(KvlI18Msg *message, const char *value) noexcept
    KVL_LOCKED(0, kvlIntlAddI18MsgParmString(message, value))
char *KvlBindI18Msg(KvlI18Msg *message) noexcept KVL_LOCKED(nullptr, kvlIntlBindI18Msg(message))

void KvlSetI18MsgCat(KvlI18Msg *message, const char *catalog) noexcept {
    if (message == nullptr) return;
    replaceField(message, message->catalog, catalog);
    ++message->changes;
}
void KvlSetI18MsgSet(KvlI18Msg *message, int32_t set) noexcept {
    if (message == nullptr) return;
    message->set = set;
    ++message->changes;
}
void KvlSetI18MsgKey(KvlI18Msg *message, int32_t key) noexcept {
    if (message == nullptr) return;
    message->key = key;
    ++message->changes;
}
void KvlSetI18MsgTxt(KvlI18Msg *message, const char *text) noexcept {
    if (message == nullptr) return;
    replaceField(message, message->text, text);
    ++message->changes;
}

char *kvlParmToUTF8Str(const char *format, const KvlParm *parm) noexcept {
    if (parm == nullptr) return nullptr;
    if (format == nullptr) {
        switch (parm->type) {
            case KVL_ARG_BOOLEAN:  // "%c" of 1 or 0 would be a control character
                return OxsStringDup(parm->value.b == 1 ? "true" : "false");
            case KVL_ARG_INT:
                format = "%d";
                break;
            case KVL_ARG_LONG:
                format = "%ld";
                break;
            case KVL_ARG_FLOAT:
            case KVL_ARG_DOUBLE:
                format = "%f";
                break;
            case KVL_ARG_CHAR:
                format = "%c";
                break;
            case KVL_ARG_STRING:
                format = "%s";
                break;
            default:
                return nullptr;
        }
    }
    KvlParmList *one = kvlIntlAllocParmList();
    if (one == nullptr || kvlIntlParmListAppend(one, const_cast<KvlParm *>(parm)) == 0) {
        kvlIntlFreeParmList(one);
        return nullptr;
    }
    char *text = KvlAprintf(format, one);
    kvlIntlFreeParmList(one);
    return text;
}

char *kvlParmToLocalStr(const char *format, const KvlParm *parm) noexcept {
    return kvlParmToUTF8Str(format, parm);
}

void kvlI18InitZil(void) noexcept {
    zil_init();
    if (utf8Handle == nullptr) utf8Handle = zil_cs_new("UTF8");
}

void kvlI18UninitZil(void) noexcept {
    zil_cs_free(utf8Handle);
    utf8Handle = nullptr;
    zil_uninit();
}

uc_ch_t *kvlI18Utf8Codeset(void) noexcept { return utf8Handle; }

int kvlI18PrintUTF8AsLocal(FILE *stream, const char *text) noexcept {
    return text != nullptr ? kvlI18PrintUTF8AsLocalN(stream, text, std::strlen(text)) : 0;
}

int kvlI18PrintUTF8AsLocalN(FILE *stream, const char *text, size_t length) noexcept {
    if (stream == nullptr || text == nullptr) return 0;
    const char *in = text;
    size_t left = length;
    bool written = true;
    char buffer[4095];
    for (bool flushing = false;;) {
        char *out = buffer;
        size_t room = sizeof buffer;
        const char *none = nullptr;  // a null input closes the shift state
        size_t nothing = 0;
        const int result = flushing ? zil_from_utf8_r(nullptr, &none, &nothing, &out, &room)
                                    : zil_from_utf8_r(nullptr, &in, &left, &out, &room);
        const size_t produced = static_cast<size_t>(out - buffer);
        if (produced > 0 && std::fwrite(buffer, 1, produced, stream) != produced) written = false;
        if (result == ZIL_CONV_OUTPUT_FULL) continue;  // the next piece
        if (flushing) break;
        flushing = true;  // close a shift state the text left open
    }
    return written ? 1 : 0;
}

}  // extern "C"
