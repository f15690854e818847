// Arbitrary bytes as the text, one parameter and one attribute value of an
// event (split at the first two NUL bytes): the XML formatter's record for
// it, as a message and as a trace, must be well-formed XML to libxml2.
#include <libxml/parser.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "KvlClasses.h"
#include "KvlLogging.h"
#include "OxsMemory.h"
#include "kavel.h"

namespace {

KvlEvent *allocEvent(const char *catalog, const char *text, ...) {
    va_list args;
    va_start(args, text);
    KvlEvent *event = KvlVaAllocEvent(KVL_LEVEL_ERROR, catalog, 1, 1, text, args);
    va_end(args);
    return event;
}

void checkWellFormed(const char *record) {
    if (record == nullptr) return;
    xmlDocPtr document = xmlReadMemory(
        record, static_cast<int>(std::char_traits<char>::length(record)), "record.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    if (document == nullptr) std::abort();  // a record a parser cannot read
    xmlFreeDoc(document);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static KvlObject *formatter = [] {
        KvlOpenToolkit(nullptr);
        return KvlGetObject("fuzz.xml", "kvl_xmlformatter");
    }();
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t first = input.find('\0');
    const size_t second = first == std::string::npos ? first : input.find('\0', first + 1);
    const std::string text = input.substr(0, first);
    const std::string parameter =
        first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
    const std::string value = second == std::string::npos ? "" : input.substr(second + 1);
    // The text is the format: "%1$s" in it takes the parameter.
    for (const char *catalog : {"fuzz.cat", static_cast<const char *>(nullptr)}) {
        KvlEvent *event = allocEvent(
            catalog, text.c_str(), KVL_PROP(value.c_str()), KVL_STR(value.c_str()),
            KVL_PROP("client"), KVL_STR(value.c_str()), KVL_STR(parameter.c_str()), KVL_ARG_END);
        KvlSetEventProp(event, KVL_PROP_SRCFILE, value.c_str());
        KvlSetEventProp(event, "server", parameter.c_str());
        KvlSetEventProp(event, "serverFormat", value.c_str());
        char *record = KvlPDXMLFormatterFFormat(formatter, event);
        checkWellFormed(record);
        OxsMemoryFree(record);
        KvlFreeEvent(event);
    }
    return 0;
}
