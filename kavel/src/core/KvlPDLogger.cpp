// The problem-determination logger ("kvl_pdlogger"): a logger that stamps
// the origin of each event (organization, product, component, client,
// server and its format, product instance, process and thread ids, message
// id) onto it before its handlers see it, so the XML records show where a
// message came from.
//
// The server defaults to this host's fully qualified name with the format
// "IP". The name is asked for once per process (a look-up can wait on the
// name service, and the agent makes a dozen of these loggers); a host
// whose name cannot be had is reported by every new logger and leaves the
// server unset. Thread ids are the kernel's (gettid), as `ps -L` shows them.

#include <array>
#include <new>
#include <string_view>
#include <utility>

#include "CxProcess.h"
#include "KvlClasses.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

constexpr const char *kFormatterName = "kavel.pdMsgIdFormatter";

// The private record, fields in this order.
struct PDLoggerVars {
    char *organization = nullptr;
    char *product = nullptr;
    char *component = nullptr;
    char *client = nullptr;
    char *server = nullptr;
    char *serverFormat = nullptr;
    char *productInstance = nullptr;
    KvlObject *formatter = nullptr;
};

// The origin fields with the property that sets each one (and the event
// property it sets) and the value a new logger starts with.
struct OriginField {
    std::string_view property;
    char *PDLoggerVars::*field;
    std::string_view initial;
};
constexpr OriginField kOriginFields[] = {
    {"organization", &PDLoggerVars::organization, ""},
    {"product", &PDLoggerVars::product, ""},
    {"component", &PDLoggerVars::component, ""},
    {"client", &PDLoggerVars::client, ""},
    {"server", &PDLoggerVars::server, ""},  // this host's fully qualified name
    {"serverFormat", &PDLoggerVars::serverFormat, "IP"},
    {"productInstance", &PDLoggerVars::productInstance, ""},
};

PDLoggerVars *varsOf(KvlObject *logger) { return static_cast<PDLoggerVars *>(logger->vars); }

// An origin property replaces its field; absent, the field is none.
template <size_t I>
void applyOrigin(KvlObject *logger, const kvl::PropertyValue &value) {
    PDLoggerVars *vars = varsOf(logger);
    if (vars == nullptr) return;
    char *PDLoggerVars::*field = kOriginFields[I].field;
    OxsMemoryFree(vars->*field);
    vars->*field = OxsStringDup(value.text);
}

template <size_t... I>
constexpr std::array<kvl::PropertyDef, sizeof...(I)> originDefs(std::index_sequence<I...>) {
    return {{{kOriginFields[I].property, kvl::PropertyKind::kString, kOriginFields[I].initial,
              kvl::WhenAbsent::kClears, kvl::Closes::kNo, applyOrigin<I>}...}};
}
constexpr auto kPDLoggerDefs = originDefs(std::make_index_sequence<std::size(kOriginFields)>());

}  // namespace

constexpr kvl::PropertyTable kvl::kPDLoggerProperties = {kPDLoggerDefs, &kvl::kLoggerProperties};

extern "C" {

void *KvlPDLoggerFAllocVars(void) noexcept {
    void *memory = OxsMemoryMalloc(sizeof(PDLoggerVars));
    if (memory == nullptr) return nullptr;
    auto *vars = new (memory) PDLoggerVars{};
    vars->formatter = kvlIntlGetObject(kFormatterName, "kvl_xmlformatter");
    char host[256];
    if (CxSystemGetFQHostnameOnce(host, sizeof host).code == 0) {
        vars->server = OxsStringDup(host);
    } else {
        kvl::toolkitReport(KVL_LEVEL_WARN, kvlmsg::KVLLG0035E, KVL_ARG_STRING, "kvl_pdlogger",
                           KVL_ARG_END);
    }
    for (const OriginField &origin : kOriginFields)
        if (!origin.initial.empty()) vars->*origin.field = OxsStringDup(origin.initial.data());
    return vars;
}

void KvlPDLoggerFFreeVars(void *record) noexcept {
    auto *vars = static_cast<PDLoggerVars *>(record);
    if (vars == nullptr) return;
    kvlIntlReleaseObject(vars->formatter);
    for (const OriginField &origin : kOriginFields)
        OxsMemoryFree(vars->*origin.field);
    OxsMemoryFree(vars);
}

void KvlPDLoggerFCfgChange(KvlObject *logger, const char *name) noexcept {
    kvl::configure(logger, name, kvl::kPDLoggerProperties);
}

void KvlPDLoggerFLog(KvlObject *logger, KvlEvent *event) noexcept {
    if (logger == nullptr || event == nullptr) return;
    if (PDLoggerVars *vars = varsOf(logger)) {
        for (const OriginField &origin : kOriginFields)
            if (const char *value = vars->*origin.field)
                KvlSetEventProp(event, origin.property.data(), value);
        KvlSetEventPropLong(event, "processId", CxProcessGetCurrentID());
        KvlSetEventPropLong(event, "threadId", CxThreadGetCurrentID());
        kvlPDXMLFormatterCacheMessageID(vars->formatter, event);
    }
    KvlBasicObjectFLog(logger, event);
}

}  // extern "C"
