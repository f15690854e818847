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

#include <new>
#include <string_view>

#include "CxProcess.h"
#include "KvlClasses.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlObject.h"
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

// The origin fields with the event property each one sets.
struct OriginField {
    const char *property;
    char *PDLoggerVars::*field;
};
constexpr OriginField kOriginFields[] = {
    {"organization", &PDLoggerVars::organization},
    {"product", &PDLoggerVars::product},
    {"component", &PDLoggerVars::component},
    {"client", &PDLoggerVars::client},
    {"server", &PDLoggerVars::server},
    {"serverFormat", &PDLoggerVars::serverFormat},
    {"productInstance", &PDLoggerVars::productInstance},
};

PDLoggerVars *varsOf(KvlObject *logger) { return static_cast<PDLoggerVars *>(logger->vars); }

}  // namespace

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
    vars->serverFormat = OxsStringDup("IP");
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
    if (logger == nullptr || name == nullptr) return;
    PDLoggerVars *vars = varsOf(logger);
    const std::string_view property = name;
    for (const OriginField &origin : kOriginFields) {
        if (vars == nullptr || property != origin.property) continue;
        OxsMemoryFree(vars->*origin.field);
        vars->*origin.field = kvlIntlGetObjProp(logger, name, nullptr);  // absent: none
        return;
    }
    KvlBasicLoggerFCfgChange(logger, name);
}

void KvlPDLoggerFLog(KvlObject *logger, KvlEvent *event) noexcept {
    if (logger == nullptr || event == nullptr) return;
    if (PDLoggerVars *vars = varsOf(logger)) {
        for (const OriginField &origin : kOriginFields)
            if (const char *value = vars->*origin.field)
                KvlSetEventProp(event, origin.property, value);
        KvlSetEventPropLong(event, "processId", CxProcessGetCurrentID());
        KvlSetEventPropLong(event, "threadId", CxThreadGetCurrentID());
        kvlPDXMLFormatterCacheMessageID(vars->formatter, event);
    }
    KvlBasicObjectFLog(logger, event);
}

}  // extern "C"
