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
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlToolkit.h"
#include "KvlXmlText.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

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

// Event properties with an element of their own: never repeated under
// LogAttribs.
constexpr const char *kReservedKeys[] = {"threadId",       "correlationId",   "client",
                                         KVL_PROP_SRCFILE, KVL_PROP_SRCLINE,  KVL_PROP_SRCFUNCTION,
                                         "server",         "serverFormat",    "product",
                                         "component",      "productInstance", "processId"};

bool isReserved(const char *key) {
    for (const char *reserved : kReservedKeys)
        if (std::strcmp(key, reserved) == 0) return true;
    return false;
}

// " <Name>" + escaped value + "</Name>\n" when the event has the property.
void appendElement(std::string &record, KvlEvent *event, const char *property,
                   std::string_view element) {
    const char *value = kvl::eventText(event, property);
    if (value == nullptr) return;
    record += " <";
    record += element;
    record += '>';
    kvl::xml::appendText(record, value);
    record += "</";
    record += element;
    record += ">\n";
}

// The product elements whose single-flag equals `single`, in their order.
void appendProductBlock(std::string &record, KvlEvent *event, const XmlFlags &flags,
                        uint8_t single) {
    if (flags.singleServer == single) {
        if (const char *server = kvl::eventText(event, "server")) {
            record += " <Server Format=\"";
            kvl::xml::appendAttribute(record, kvl::eventText(event, "serverFormat"));
            record += "\">";
            kvl::xml::appendText(record, server);
            record += "</Server>\n";
        }
    }
    if (flags.singleProduct == single) appendElement(record, event, "product", "ProductId");
    if (flags.singleComponent == single) appendElement(record, event, "component", "Component");
    if (flags.singleProductId == single)
        appendElement(record, event, "productInstance", "ProductInstance");
}

void appendTime(std::string &record, KvlObject *formatter, uint64_t milliseconds) {
    thread_local std::string date;
    date.clear();
    record += " <Time Millis=\"";
    kvl::appendDecimal(record, milliseconds);
    record += "\">";
    if (kvl::appendDate(formatter, milliseconds, date))
        kvl::xml::appendText(record, date);
    else
        kvlIntlLogVA(KVL_LEVEL_ERROR, 20, kvlMsgTableText(KVL_MSG_CATALOG, 20), KVL_ARG_END);
    record += "</Time>\n";
}

void appendAttributes(std::string &record, KvlEvent *event) {
    bool opened = false;
    for (KvlStringToStringMapIter entry = kvlIntlStringToStringMapIterator(event->properties);
         entry != nullptr; entry = kvlIntlStringToStringMapIterNext(entry)) {
        const char *key = nullptr, *value = nullptr;
        kvlIntlStringToStringMapIterPeek(entry, &key, &value);
        if (key == nullptr || isReserved(key)) continue;
        if (!opened) record += " <LogAttribs>";
        opened = true;
        record += "<Key>";
        kvl::xml::appendText(record, key);
        record += "</Key><Value>";
        kvl::xml::appendText(record, value);
        record += "</Value>";
    }
    if (opened) record += "</LogAttribs>\n";
}

// The source element, when the event has a source file.
bool appendSource(std::string &record, KvlEvent *event) {
    const char *file = kvl::eventText(event, KVL_PROP_SRCFILE);
    if (file == nullptr) return false;
    record += " <Source FileName=\"";
    kvl::xml::appendAttribute(record, file);
    if (const char *function = kvl::eventText(event, KVL_PROP_SRCFUNCTION)) {
        record += "\" Method=\"";
        kvl::xml::appendAttribute(record, function);
    }
    if (int64_t line = 0; kvl::eventInteger(event, KVL_PROP_SRCLINE, line)) {
        record += "\" Line=\"";
        kvl::appendDecimal(record, line);
    }
    record += "\"/>\n";
    return true;
}

void appendParameter(std::string &record, const KvlParm *parm) {
    record += "<Param><![CDATA[";
    if (parm != nullptr && parm->type == KVL_ARG_STRING && parm->value.s != nullptr) {
        kvl::xml::appendCData(record, parm->value.s);  // its own text: no copy
    } else {
        char *text = kvlParmToUTF8Str(nullptr, parm);
        kvl::xml::appendCData(record, text);
        OxsMemoryFree(text);
    }
    record += "]]></Param>";
}

// The translation element, for a message from a catalog.
void appendTranslation(std::string &record, const KvlI18Msg *message) {
    if (message == nullptr || message->catalog == nullptr) return;
    record += " <TranslationInfo Type=\"XPG4\" Catalog=\"";
    kvl::xml::appendAttribute(record, message->catalog);
    record += "\" MsgKey=\"";
    kvl::appendDecimal(record, static_cast<int64_t>(message->key));
    record += "\" SetId=\"";
    kvl::appendDecimal(record, static_cast<int64_t>(message->set));
    record += "\">";
    for (KvlParmListIter parm = kvlIntlParmListIterator(message->parms); parm != nullptr;
         parm = kvlIntlParmListIterNext(parm))
        appendParameter(record, kvlIntlParmListIterPeek(parm));
    record += "</TranslationInfo>\n";
}

void appendTraceOrigin(std::string &record, KvlEvent *event) {
    int64_t id = 0;
    if (kvl::eventInteger(event, "threadId", id)) {
        record += " <Thread>";
        kvl::appendDecimal(record, static_cast<uint64_t>(id));
        record += "</Thread>\n";
    }
    if (kvl::eventInteger(event, "processId", id)) {
        record += " <Process>";
        kvl::appendDecimal(record, id);
        record += "</Process>\n";
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

size_t lengthOf(const char *text) { return text != nullptr ? std::strlen(text) : 0; }

}  // namespace

extern "C" {

const char *kvlPDXMLEmitLevel(int32_t level) noexcept {
    switch (level) {
        case KVL_LEVEL_DEBUG_MAX:
            return "MAX";
        case KVL_LEVEL_DEBUG_MID:
            return "MID";
        case KVL_LEVEL_DEBUG_MIN:
            return "MIN";
        case KVL_LEVEL_INFO:
            return "INFO";
        case KVL_LEVEL_WARN:
            return "WARN";
        case KVL_LEVEL_ERROR:
        case KVL_LEVEL_FATAL:
            return "ERROR";
        default:
            return "OTHER";
    }
}

void kvlPDXMLFormatterCacheMessageID(KvlObject *formatter, KvlEvent *event) noexcept {
    if (event == nullptr || event->messageId != nullptr) return;
    if (formatter != nullptr && formatter->locale != nullptr)
        kvlSetEventLocale(event, formatter->locale);
    char *text = KvlBindEventMsg(event, kvlIntlBindI18Msg);
    const CxZMSID id = CxParseZMSID(text);
    OxsMemoryFree(text);
    KvlSetEventMessageId(event, id.length > 0 ? id.id : "");
}

void *KvlPDXMLFormatterFAllocVars(void) noexcept {
    void *memory = OxsMemoryMalloc(sizeof(XmlFlags));
    return memory != nullptr ? new (memory) XmlFlags{} : nullptr;
}

void KvlPDXMLFormatterFFreeVars(void *vars) noexcept { OxsMemoryFree(vars); }

void KvlPDXMLFormatterFCfgChange(KvlObject *formatter, const char *name) noexcept {
    if (formatter == nullptr || name == nullptr) return;
    XmlFlags *flags = flagsOf(formatter);
    const std::string_view property = name;
    uint8_t *field = nullptr;
    if (property == "singleComponent")
        field = &flags->singleComponent;
    else if (property == "singleProduct")
        field = &flags->singleProduct;
    else if (property == "singleProductId")
        field = &flags->singleProductId;
    else if (property == "singleServer")
        field = &flags->singleServer;
    else if (property == "forceAsMessage")
        field = &flags->forceAsMessage;
    else if (property == "forceAsTrace")
        field = &flags->forceAsTrace;
    if (field == nullptr || flags == nullptr) {
        KvlBasicFormatterFCfgChange(formatter, name);
        return;
    }
    char *value = kvlIntlGetObjProp(formatter, name, nullptr);
    unsigned char ok = 0;
    const int parsed = kvlPropStrToBool(value, &ok);
    *field = ok == 1 && parsed == 1 ? 1 : 0;  // absent or unreadable: 0
    OxsMemoryFree(value);
}

char *KvlPDXMLFormatterFFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    if (event == nullptr || !kvlObjectIsKind(formatter, KVL_KIND_FORMATTER) ||
        formatter->vars == nullptr)
        return nullptr;
    XmlFlags &flags = *flagsOf(formatter);
    std::string &record = kvl::recordBuffer();
    const bool isMessage = flags.forceAsMessage == flags.forceAsTrace ? event->isMessage == 1
                                                                      : flags.forceAsMessage == 1;
    if (formatter->locale != nullptr) kvlSetEventLocale(event, formatter->locale);
    char *text = KvlBindEventMsg(event, kvlIntlBindI18Msg);
    record.reserve(512 + lengthOf(text) + lengthOf(event->message->text));

    if (flags.firstRecord == 1) {
        appendProductBlock(record, event, flags, 1);
        flags.firstRecord = 0;
    }
    const bool hasLevel = event->level != KVL_LEVEL_NONE;
    if (isMessage) {
        CxZMSID parsed{};
        record += "<Message Id=\"";
        kvl::xml::appendAttribute(record, shownMessageId(event, text, parsed));
        if (hasLevel) {
            record += "\" Severity=\"";
            record += kvlPDXMLEmitLevel(event->level);
        }
        record += "\">\n";
    } else if (hasLevel) {
        record += "<Trace Level=\"";
        record += kvlPDXMLEmitLevel(event->level);
        record += "\">\n";
    } else {
        record += "<Trace>\n";
    }
    appendTime(record, formatter, event->time);
    appendProductBlock(record, event, flags, 0);
    record += " <LogText><![CDATA[";
    kvl::xml::appendCData(record, text);
    record += "]]></LogText>\n";
    OxsMemoryFree(text);
    appendAttributes(record, event);
    if (isMessage) {
        appendSource(record, event);
        appendTranslation(record, event->message);
    } else {
        if (!appendSource(record, event))
            record += " <Source FileName=\"None\" Method=\"None\"/>\n";
        appendTraceOrigin(record, event);
    }
    appendElement(record, event, "correlationId", "CorrelationId");
    appendElement(record, event, "client", "Principal");
    record += isMessage ? "</Message>\n" : "</Trace>\n";
    return kvl::handOut(record);
}

char *KvlPDXMLFormatterFGetHeader(KvlObject *formatter) noexcept {
    if (formatter != nullptr && formatter->vars != nullptr) flagsOf(formatter)->firstRecord = 1;
    return nullptr;
}

char *KvlPDXMLFormatterFGetTrailer(KvlObject *) noexcept { return nullptr; }

}  // extern "C"
