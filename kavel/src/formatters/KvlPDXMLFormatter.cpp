// The XML formatter ("kvl_xmlformatter"): one element per event, a message
// record (<Message>) or a trace record (<Trace>), written one after another
// into a log file that other tools read. There is no XML declaration, no
// enclosing element and no header or trailer text; the layout (element
// order, one blank before each child, a line feed after each) is fixed:
//
//   <Trace Level="MIN">
//    <Time Millis="1709629447045">2024-03-05 09:04:07.045+00:00</Time>
//    <LogText><![CDATA[text]]></LogText>
//    <Source FileName="init.c" Method="main" Line="120"/>
//    <Thread>1</Thread>
//    <Process>4711</Process>
//   </Trace>
//
// Product elements (Server, ProductId, Component, ProductInstance) stand in
// every record, or, with their "single..." flag, once before the first
// record after each header request (each time a handler opens its output).
//
// Every piece of event text goes through the escaping of KvlXmlText, so a
// message, a parameter or a property value can neither break a record nor
// forge one; text without markup, "]]>" or bytes XML cannot carry comes out
// unchanged. A record is built in the formatter's per-thread buffer and
// copied out once.

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "CxZMSID.h"
#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlLevels.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlToolkit.h"
#include "KvlXmlText.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

using namespace std::literals;

// The private record: seven flags in this order.
struct XmlFlags {
    uint8_t firstRecord = 1;
    uint8_t singleComponent = 0;
    uint8_t singleProduct = 0;
    uint8_t singleProductId = 0;
    uint8_t singleServer = 0;
    uint8_t forceAsMessage = 0;
    uint8_t forceAsTrace = 0;
};

XmlFlags *flagsOf(KvlObject *formatter) { return static_cast<XmlFlags *>(formatter->vars); }

// A flag property: "true" sets the flag; absent or anything else clears it.
template <uint8_t XmlFlags::*Flag>
void applyFlag(KvlObject *formatter, const kvl::PropertyValue &value) {
    if (XmlFlags *flags = flagsOf(formatter))
        flags->*Flag = value.readable && value.integer == 1 ? 1 : 0;
}

constexpr kvl::PropertyDef flagDef(std::string_view name,
                                   void (*apply)(KvlObject *, const kvl::PropertyValue &)) {
    return {name, kvl::PropertyKind::kBoolean, "false", kvl::WhenAbsent::kDefault, kvl::Closes::kNo,
            apply};
}

constexpr kvl::PropertyDef kXmlFormatterDefs[] = {
    flagDef("singleComponent", applyFlag<&XmlFlags::singleComponent>),
    flagDef("singleProduct", applyFlag<&XmlFlags::singleProduct>),
    flagDef("singleProductId", applyFlag<&XmlFlags::singleProductId>),
    flagDef("singleServer", applyFlag<&XmlFlags::singleServer>),
    flagDef("forceAsMessage", applyFlag<&XmlFlags::forceAsMessage>),
    flagDef("forceAsTrace", applyFlag<&XmlFlags::forceAsTrace>),
};

// Event properties with an element of their own (never repeated under
// LogAttribs). A record reads them in one pass over the event's properties
// rather than with a lookup each.
enum Field : uint8_t {
    kSrcFile,
    kSrcFunction,
    kSrcLine,
    kThreadId,
    kProcessId,
    kCorrelationId,
    kClient,
    kServer,
    kServerFormat,
    kProduct,
    kComponent,
    kProductInstance,
    kFieldCount,
    kNotReserved = kFieldCount,
};

struct ReservedKey {
    std::string_view name;
    Field field;
};
constexpr ReservedKey kReservedKeys[] = {
    {"threadId", kThreadId},
    {"correlationId", kCorrelationId},
    {"client", kClient},
    {KVL_PROP_SRCFILE, kSrcFile},
    {KVL_PROP_SRCLINE, kSrcLine},
    {KVL_PROP_SRCFUNCTION, kSrcFunction},
    {"server", kServer},
    {"serverFormat", kServerFormat},
    {"product", kProduct},
    {"component", kComponent},
    {"productInstance", kProductInstance},
    {"processId", kProcessId},
};

Field fieldOf(std::string_view key) {
    for (const ReservedKey &reserved : kReservedKeys)
        if (reserved.name == key) return reserved.field;
    return kNotReserved;
}

struct EventFields {
    const char *value[kFieldCount] = {};
    bool hasAttributes = false;  // some key is not reserved
};

EventFields readFields(KvlEvent *event) {
    EventFields fields;
    for (KvlStringToStringMapIter entry = kvlIntlStringToStringMapIterator(event->properties);
         entry != nullptr; entry = kvlIntlStringToStringMapIterNext(entry)) {
        const char *key = nullptr, *value = nullptr;
        kvlIntlStringToStringMapIterPeek(entry, &key, &value);
        if (key == nullptr) continue;
        const Field field = fieldOf(key);
        if (field == kNotReserved)
            fields.hasAttributes = true;
        else
            fields.value[field] = value;
    }
    return fields;
}

// " <Name>" + escaped value + "</Name>\n" when there is a value.
void appendElement(std::string &record, const char *value, std::string_view element) {
    if (value == nullptr) return;
    record += " <"sv;
    record += element;
    record += '>';
    kvl::xml::appendText(record, value);
    record += "</"sv;
    record += element;
    record += ">\n"sv;
}

// The product elements whose single-flag equals `single`, in their order.
void appendProductBlock(std::string &record, const EventFields &fields, const XmlFlags &flags,
                        uint8_t single) {
    if (flags.singleServer == single && fields.value[kServer] != nullptr) {
        record += " <Server Format=\""sv;
        kvl::xml::appendAttribute(record, fields.value[kServerFormat]);
        record += "\">"sv;
        kvl::xml::appendText(record, fields.value[kServer]);
        record += "</Server>\n"sv;
    }
    if (flags.singleProduct == single) appendElement(record, fields.value[kProduct], "ProductId");
    if (flags.singleComponent == single)
        appendElement(record, fields.value[kComponent], "Component");
    if (flags.singleProductId == single)
        appendElement(record, fields.value[kProductInstance], "ProductInstance");
}

void appendTime(std::string &record, KvlObject *formatter, uint64_t milliseconds) {
    kvl::ThreadText<struct XmlDateKind> date;
    record += " <Time Millis=\""sv;
    kvl::appendDecimal(record, milliseconds);
    record += "\">"sv;
    if (kvl::appendDate(formatter, milliseconds, date.text()))
        kvl::xml::appendText(record, date.text());
    else
        kvl::toolkitReport(KVL_LEVEL_ERROR, kvlmsg::KVLBC0020E);
    record += "</Time>\n"sv;
}

void appendAttributes(std::string &record, KvlEvent *event, const EventFields &fields) {
    if (!fields.hasAttributes) return;
    record += " <LogAttribs>"sv;
    for (KvlStringToStringMapIter entry = kvlIntlStringToStringMapIterator(event->properties);
         entry != nullptr; entry = kvlIntlStringToStringMapIterNext(entry)) {
        const char *key = nullptr, *value = nullptr;
        kvlIntlStringToStringMapIterPeek(entry, &key, &value);
        if (key == nullptr || fieldOf(key) != kNotReserved) continue;
        record += "<Key>"sv;
        kvl::xml::appendText(record, key);
        record += "</Key><Value>"sv;
        kvl::xml::appendText(record, value);
        record += "</Value>"sv;
    }
    record += "</LogAttribs>\n"sv;
}

// The source element, when the event has a source file.
bool appendSource(std::string &record, const EventFields &fields) {
    if (fields.value[kSrcFile] == nullptr) return false;
    record += " <Source FileName=\""sv;
    kvl::xml::appendAttribute(record, fields.value[kSrcFile]);
    if (fields.value[kSrcFunction] != nullptr) {
        record += "\" Method=\""sv;
        kvl::xml::appendAttribute(record, fields.value[kSrcFunction]);
    }
    if (int64_t line = 0; kvl::readNumber(fields.value[kSrcLine], line, kvl::kFieldNumber)) {
        record += "\" Line=\""sv;
        kvl::appendDecimal(record, line);
    }
    record += "\"/>\n"sv;
    return true;
}

// A parameter as its UTF-8 text (the same as kvlParmToUTF8Str gives);
// strings and integers are written directly, without a formatting pass.
void appendParameter(std::string &record, const KvlParm *parm) {
    record += "<Param><![CDATA["sv;
    switch (parm != nullptr ? parm->type : 0) {
        case KVL_ARG_INT:
            kvl::appendDecimal(record, static_cast<int64_t>(parm->value.i));
            break;
        case KVL_ARG_LONG:
            kvl::appendDecimal(record, parm->value.l);
            break;
        case KVL_ARG_BOOLEAN:
            record += parm->value.b == 1 ? "true" : "false";
            break;
        case KVL_ARG_STRING:
            if (parm->value.s != nullptr) {
                kvl::xml::appendCData(record, parm->value.s);
                break;
            }
            [[fallthrough]];
        default: {
            char *text = kvlParmToUTF8Str(nullptr, parm);
            kvl::xml::appendCData(record, text);
            OxsMemoryFree(text);
        }
    }
    record += "]]></Param>"sv;
}

// The translation element, for a message from a catalog.
void appendTranslation(std::string &record, const KvlI18Msg *message) {
    if (message == nullptr || message->catalog == nullptr) return;
    record += " <TranslationInfo Type=\"XPG4\" Catalog=\""sv;
    kvl::xml::appendAttribute(record, message->catalog);
    record += "\" MsgKey=\""sv;
    kvl::appendDecimal(record, static_cast<int64_t>(message->key));
    record += "\" SetId=\""sv;
    kvl::appendDecimal(record, static_cast<int64_t>(message->set));
    record += "\">"sv;
    for (KvlParmListIter parm = kvlIntlParmListIterator(message->parms); parm != nullptr;
         parm = kvlIntlParmListIterNext(parm))
        appendParameter(record, kvlIntlParmListIterPeek(parm));
    record += "</TranslationInfo>\n"sv;
}

void appendTraceOrigin(std::string &record, const EventFields &fields) {
    int64_t id = 0;
    if (kvl::readNumber(fields.value[kThreadId], id, kvl::kFieldNumber)) {
        record += " <Thread>"sv;
        kvl::appendDecimal(record, static_cast<uint64_t>(id));
        record += "</Thread>\n"sv;
    }
    if (kvl::readNumber(fields.value[kProcessId], id, kvl::kFieldNumber)) {
        record += " <Process>"sv;
        kvl::appendDecimal(record, id);
        record += "</Process>\n"sv;
    }
}

// The message id a record shows: the event's own, else the one at the
// start of the bound text (parsed into `parsed`), else "None". An empty
// id, the cached "none found", counts as absent.
const char *shownMessageId(const KvlEvent *event, const char *boundText, CxZMSID &parsed) {
    if (event->messageId != nullptr && event->messageId[0] != '\0') return event->messageId;
    parsed = CxParseZMSID(boundText);
    return parsed.length > 0 ? parsed.id : "None";
}

}  // namespace

// The XML formatter: its flags, then the formatters' properties.
constexpr kvl::PropertyTable kvl::kXmlFormatterProperties = {kXmlFormatterDefs,
                                                             &kvl::kFormatterProperties};

bool kvl::xmlFormatInto(KvlObject *formatter, KvlEvent *event, std::string &record) {
    if (event == nullptr || !kvlObjectIsKind(formatter, KVL_KIND_FORMATTER) ||
        formatter->vars == nullptr)
        return false;
    XmlFlags &flags = *flagsOf(formatter);
    const bool isMessage = flags.forceAsMessage == flags.forceAsTrace ? event->isMessage == 1
                                                                      : flags.forceAsMessage == 1;
    if (formatter->locale != nullptr) kvlSetEventLocale(event, formatter->locale);
    std::string_view bound;
    const char *text = kvl::eventText(event, bound) ? bound.data() : nullptr;
    record.reserve(512 + bound.size());

    const EventFields fields = readFields(event);
    if (flags.firstRecord == 1) {
        appendProductBlock(record, fields, flags, 1);
        flags.firstRecord = 0;
    }
    const bool hasLevel = event->level != KVL_LEVEL_NONE;
    if (isMessage) {
        CxZMSID parsed{};
        record += "<Message Id=\""sv;
        kvl::xml::appendAttribute(record, shownMessageId(event, text, parsed));
        if (hasLevel) {
            record += "\" Severity=\""sv;
            record += kvlPDXMLEmitLevel(event->level);
        }
        record += "\">\n"sv;
    } else if (hasLevel) {
        record += "<Trace Level=\""sv;
        record += kvlPDXMLEmitLevel(event->level);
        record += "\">\n"sv;
    } else {
        record += "<Trace>\n"sv;
    }
    appendTime(record, formatter, event->time);
    appendProductBlock(record, fields, flags, 0);
    record += " <LogText><![CDATA["sv;
    kvl::xml::appendCData(record, bound);
    record += "]]></LogText>\n"sv;
    appendAttributes(record, event, fields);
    if (isMessage) {
        appendSource(record, fields);
        appendTranslation(record, event->message);
    } else {
        if (!appendSource(record, fields))
            record += " <Source FileName=\"None\" Method=\"None\"/>\n"sv;
        appendTraceOrigin(record, fields);
    }
    appendElement(record, fields.value[kCorrelationId], "CorrelationId");
    appendElement(record, fields.value[kClient], "Principal");
    record += isMessage ? "</Message>\n"sv : "</Trace>\n"sv;
    return true;
}

extern "C" {

const char *kvlPDXMLEmitLevel(int32_t level) noexcept { return kvl::shownLevel(level).data(); }

void kvlPDXMLFormatterCacheMessageID(KvlObject *formatter, KvlEvent *event) noexcept {
    if (event == nullptr || event->messageId != nullptr) return;
    if (formatter != nullptr && formatter->locale != nullptr)
        kvlSetEventLocale(event, formatter->locale);
    std::string_view text;
    const CxZMSID id = CxParseZMSID(kvl::eventText(event, text) ? text.data() : nullptr);
    KvlSetEventMessageId(event, id.length > 0 ? id.id : "");
}

void *KvlPDXMLFormatterFAllocVars(void) noexcept {
    void *memory = OxsMemoryMalloc(sizeof(XmlFlags));
    return memory != nullptr ? new (memory) XmlFlags{} : nullptr;
}

void KvlPDXMLFormatterFFreeVars(void *vars) noexcept { OxsMemoryFree(vars); }

void KvlPDXMLFormatterFCfgChange(KvlObject *formatter, const char *name) noexcept {
    kvl::configure(formatter, name, kvl::kXmlFormatterProperties);
}

char *KvlPDXMLFormatterFFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    return kvl::formatAndHandOut(kvl::xmlFormatInto, formatter, event);
}

char *KvlPDXMLFormatterFGetHeader(KvlObject *formatter) noexcept {
    if (formatter != nullptr && formatter->vars != nullptr) flagsOf(formatter)->firstRecord = 1;
    return nullptr;
}

char *KvlPDXMLFormatterFGetTrailer(KvlObject *) noexcept { return nullptr; }

}  // extern "C"
