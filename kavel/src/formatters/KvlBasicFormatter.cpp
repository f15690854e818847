// The basic formatter ("kvl_basicformatter"): one line per record, the
// time stamp, the source and origin properties the event carries and the
// bound message text, joined by the separator (one blank by default). The
// time stamp ("dateTimeFormat" or the built-in form) is the one every
// formatter shares (KvlFormatCommon.cpp).

#include <iterator>
#include <string_view>

#include "KvlClasses.h"
#include "KvlFormat.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlRecordFields.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "zil.h"

namespace {

// "separator" and "dateTimeFormat" replace their field (none when unset);
// "locale" replaces the locale the message is bound in.
void applySeparator(KvlObject *formatter, const kvl::PropertyValue &value) {
    kvl::replaceText(formatter->separator, value.text);
}
void applyDateTimeFormat(KvlObject *formatter, const kvl::PropertyValue &value) {
    kvl::replaceText(formatter->dateTimeFormat, value.text);
}
void applyLocale(KvlObject *formatter, const kvl::PropertyValue &value) {
    if (formatter->locale != nullptr) zil_loc_free(formatter->locale);
    formatter->locale = value.text != nullptr ? zil_loc_new(value.text) : nullptr;
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

constexpr kvl::PropertyDef kFormatterDefs[] = {
    {"separator", PropertyKind::kString, " ", WhenAbsent::kClears, Closes::kNo, applySeparator},
    {"dateTimeFormat", PropertyKind::kString, "", WhenAbsent::kClears, Closes::kNo,
     applyDateTimeFormat},
    {"locale", PropertyKind::kLocale, "", WhenAbsent::kClears, Closes::kNo, applyLocale},
};

// The event properties a basic line shows, in its order: the source file,
// function and line, then the origin.
constexpr std::string_view kLineFields[] = {
    KVL_PROP_SRCFILE, KVL_PROP_SRCFUNCTION, KVL_PROP_SRCLINE, "organization",
    "product",        "component",          "client",         "server"};
constexpr size_t kLineField = 2;  // written as the number it holds
constexpr size_t kFieldCount = std::size(kLineFields);

}  // namespace

// Formatters: the separator, the time stamp's format and the locale, then
// the common properties.
constexpr kvl::PropertyTable kvl::kFormatterProperties = {kFormatterDefs, &kvl::kObjectProperties};

namespace kvl {

bool basicFormatInto(KvlObject *formatter, KvlEvent *event, std::string &record) {
    if (event == nullptr || !kvlObjectIsKind(formatter, KVL_KIND_FORMATTER)) return false;
    const std::string_view separator =
        formatter->separator != nullptr ? std::string_view(formatter->separator) : " ";
    appendDate(formatter, KvlGetEventTime(event), record);
    record += separator;
    const char *fields[kFieldCount] = {};
    readEventFields(event, kLineFields, fields);
    for (size_t i = 0; i < kFieldCount; ++i) {
        int64_t line = 0;
        if (fields[i] == nullptr || (i == kLineField && !readNumber(fields[i], line, kFieldNumber)))
            continue;
        if (i == kLineField)
            appendDecimal(record, line);
        else
            record += fields[i];
        record += separator;
    }
    if (formatter->locale != nullptr) kvlSetEventLocale(event, formatter->locale);
    appendEventText(event, formatter, record);
    record += '\n';
    return true;
}

}  // namespace kvl

extern "C" {

void KvlBasicFormatterFCfgChange(KvlObject *formatter, const char *name) noexcept {
    kvl::configure(formatter, name, kvl::kFormatterProperties);
}

char *KvlBasicFormatterFFormat(KvlObject *formatter, KvlEvent *event) noexcept {
    return kvl::formatAndHandOut(kvl::basicFormatInto, formatter, event);
}

char *KvlBasicFormatterFGetHeader(KvlObject *) noexcept { return nullptr; }
char *KvlBasicFormatterFGetTrailer(KvlObject *) noexcept { return nullptr; }

// Its own text, not the record buffer: a formatter may call it while it
// builds a record there.
char *KvlBasicFormatterFormatDate(KvlObject *formatter, uint64_t milliseconds) noexcept {
    std::string date;
    return kvl::appendDate(formatter, milliseconds, date) ? kvl::handOut(date) : nullptr;
}

}  // extern "C"
