// Filters: objects between a logger and its handlers that pass an event on
// to their own listeners only when their class's verdict is exactly 1.
//
// - The level filter ("kvl_levelfilter") passes events at or above its
//   "level", events without a level, and everything at level 0 or with no
//   readable level (-9999).
// - The message-id filter ("kvl_msgidfilter") matches the event's message
//   id (taken from the text through its "msgFormatter" when the event has
//   none) against "*"-patterns: BLOCK stops matching events, PASSTHRU lets
//   only them through. With "msgIdRepeatTime" an id that passed is
//   suppressed for that many milliseconds of event time; a suppressed
//   event does not move the reference.
//
// Patterns match left to right without backtracking: each token after the
// first is taken at its leftmost occurrence, and the last must end the
// text, so "*W" does not match "ABWXYZ0001W". The FFDC trigger relies on
// exactly this behaviour, quirk included.

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "KvlClasses.h"
#include "KvlLogging.h"
#include "KvlMsgTables.h"
#include "KvlNumberText.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlRecordFields.h"
#include "KvlStrTok.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"

namespace {

// The modes, each the index of its word plus one.
constexpr int32_t kBlock = 1;
constexpr int32_t kPassThru = 2;
constexpr std::string_view kModeWords[] = {"BLOCK", "PASSTHRU"};
constexpr const char *kListSeparators = " \t\n\r";
constexpr const char kDefaultMsgIds[] = "*W *I";

// The message-id filter's private record, fields in this order.
struct MsgIdFilterVars {
    int32_t mode = kBlock;
    KvlStringList *msgIds = nullptr;
    KvlObject *formatter = nullptr;
    int64_t msgIdRepeatTime = 0;
    KvlStringToStringMap *lastSeen = nullptr;
};

MsgIdFilterVars *varsOf(KvlObject *filter) {
    return filter != nullptr ? static_cast<MsgIdFilterVars *>(filter->vars) : nullptr;
}

KvlStringList *splitList(const char *text) {
    KvlStringList *list = kvlIntlAllocStringList();
    if (list == nullptr) return list;
    for (KvlStrTokIter it = KvlStrTokIterator(text, kListSeparators); KvlStrTokIterHasNext(&it);
         KvlStrTokIterNext(&it)) {
        char *token = KvlStrTokIterGet(&it);
        if (token != nullptr) kvlIntlStringListAppend(list, token);
        OxsMemoryFree(token);
    }
    return list;
}

int matchAny(KvlStringList *patterns, const char *id) {
    for (KvlStringListIter it = kvlIntlStringListIterator(patterns); it != nullptr;
         it = kvlIntlStringListIterNext(it)) {
        char *pattern = kvlIntlStringListIterGet(it);
        const int matched = KvlPatternMatch(pattern, id);
        OxsMemoryFree(pattern);
        if (matched == 1) return 1;
    }
    return 0;
}

// Whether the id passed within the repeat window before `now`; if not, it
// is noted as passing now.
bool suppressedRepeat(MsgIdFilterVars &vars, const char *id, int64_t now) {
    if (vars.lastSeen == nullptr) vars.lastSeen = kvlIntlAllocStringToStringMap();
    if (const char *seen = kvlIntlStringToStringMapPeek(vars.lastSeen, id)) {
        int64_t last = 0;
        if (!kvl::readNumber(seen, last)) last = 0;
        if (kvl::saturatingAdd(last, vars.msgIdRepeatTime) > now) return true;
    }
    const std::string text = std::to_string(now);
    kvlIntlStringToStringMapPut(vars.lastSeen, id, text.c_str());
    return false;
}

// "mode": BLOCK or PASSTHRU in any case; another word is warned about and
// blocks. "msgIds": the patterns, when the list can be made.
// "msgIdRepeatTime": milliseconds, when the value is a number.
void applyMode(KvlObject *filter, const kvl::PropertyValue &value) {
    MsgIdFilterVars *vars = varsOf(filter);
    if (vars == nullptr) return;
    if (!value.readable)
        kvl::toolkitReport(KVL_LEVEL_WARN, kvlmsg::KVLFF0020W, KVL_ARG_STRING, filter->name,
                           KVL_ARG_STRING, value.text, KVL_ARG_END);
    vars->mode = value.readable ? static_cast<int32_t>(value.integer) + 1 : kBlock;
}
void applyMsgIds(KvlObject *filter, const kvl::PropertyValue &value) {
    MsgIdFilterVars *vars = varsOf(filter);
    if (vars == nullptr) return;
    if (KvlStringList *list = splitList(value.text)) {
        kvlIntlFreeStringList(vars->msgIds);
        vars->msgIds = list;
    }
}
void applyRepeatTime(KvlObject *filter, const kvl::PropertyValue &value) {
    MsgIdFilterVars *vars = varsOf(filter);
    if (vars != nullptr && value.readable) vars->msgIdRepeatTime = value.integer;
}

using kvl::Closes;
using kvl::PropertyKind;
using kvl::WhenAbsent;

constexpr kvl::PropertyDef kMsgIdFilterDefs[] = {
    {"mode", PropertyKind::kEnumeration, kModeWords[0], WhenAbsent::kKeeps, Closes::kNo, applyMode,
     kModeWords},
    {"msgIds", PropertyKind::kList, kDefaultMsgIds, WhenAbsent::kKeeps, Closes::kNo, applyMsgIds},
    {"msgIdRepeatTime", PropertyKind::kLong, "0", WhenAbsent::kKeeps, Closes::kNo, applyRepeatTime},
};

}  // namespace

// The message-id filter: its mode, patterns and window, then the common
// properties (no level).
constexpr kvl::PropertyTable kvl::kMsgIdFilterProperties = {kMsgIdFilterDefs,
                                                            &kvl::kObjectProperties};

extern "C" {

KvlObject *KvlBasicFilterFProcess(KvlObject *filter, KvlEvent *event) noexcept {
    if (filter == nullptr || filter->enabled != 1 || !kvlObjectIsKind(filter, KVL_KIND_FILTER))
        return filter;
    KvlObjClass *klass = filter->klass;
    if (klass->isLoggable != nullptr && klass->log != nullptr &&
        klass->isLoggable(filter, event) == 1)
        klass->log(filter, event);
    return filter;
}

// "level" is read as a logger reads it; the rest are common properties.
void KvlLevelFilterFCfgChange(KvlObject *filter, const char *name) noexcept {
    KvlBasicLoggerFCfgChange(filter, name);
}

int KvlLevelFilterFIsLoggable(KvlObject *filter, KvlEvent *event) noexcept {
    if (filter == nullptr || event == nullptr) return 0;
    return filter->level == 0 || event->level == KVL_LEVEL_NONE || event->level >= filter->level
               ? 1
               : 0;
}

void *KvlMsgIdFilterFAllocVars(void) noexcept {
    void *memory = OxsMemoryMalloc(sizeof(MsgIdFilterVars));
    if (memory == nullptr) return nullptr;
    auto *vars = new (memory) MsgIdFilterVars{};
    vars->msgIds = splitList(kDefaultMsgIds);
    vars->formatter = kvlIntlGetObject("msgFormatter", "kvl_xmlformatter");
    vars->lastSeen = kvlIntlAllocStringToStringMap();
    return vars;
}

void KvlMsgIdFilterFFreeVars(void *record) noexcept {
    auto *vars = static_cast<MsgIdFilterVars *>(record);
    if (vars == nullptr) return;
    kvlIntlFreeStringList(vars->msgIds);
    kvlIntlReleaseObject(vars->formatter);
    kvlIntlFreeStringToStringMap(vars->lastSeen);
    OxsMemoryFree(vars);
}

void KvlMsgIdFilterFCfgChange(KvlObject *filter, const char *name) noexcept {
    kvl::configure(filter, name, kvl::kMsgIdFilterProperties);
}

int KvlMsgIdFilterFIsLoggable(KvlObject *filter, KvlEvent *event) noexcept {
    MsgIdFilterVars *vars = varsOf(filter);
    if (vars == nullptr || event == nullptr) return 0;
    if (event->messageId == nullptr) kvlPDXMLFormatterCacheMessageID(vars->formatter, event);
    const char *id = event->messageId != nullptr ? event->messageId : "";
    const bool matched = matchAny(vars->msgIds, id) == 1;
    const bool passes = vars->mode == kPassThru ? matched : !matched;
    if (!passes) return 0;
    if (id[0] != '\0' && vars->msgIdRepeatTime > 0 &&
        suppressedRepeat(*vars, id, static_cast<int64_t>(event->time)))
        return 0;
    return 1;
}

KvlStringList *KvlMsgIdFilterGetStringList(const char *text) noexcept
    KVL_LOCKED(nullptr, splitList(text))

int KvlMsgIdFilterMatchMsgId(KvlStringList *list, const char *id) noexcept
    KVL_LOCKED(0, matchAny(list, id))

int KvlPatternMatch(const char *pattern, const char *text) noexcept {
    if (pattern == nullptr || text == nullptr) return 0;
    const std::string_view whole = pattern, subject = text;
    std::vector<std::string_view> tokens;
    for (size_t at = 0; at <= whole.size();) {
        const size_t star = std::min(whole.find('*', at), whole.size());
        if (star > at) tokens.push_back(whole.substr(at, star - at));
        at = star + 1;
    }
    if (tokens.empty()) return 1;  // "" or only stars
    size_t position = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string_view token = tokens[i];
        if (i == 0 && whole.front() != '*') {
            if (subject.substr(0, token.size()) == token &&
                (tokens.size() > 1 || whole.size() > token.size())) {
                position = token.size();
                continue;
            }
            if (subject != token || whole != token) return 0;
            position = token.size();
            continue;
        }
        const size_t found = subject.find(token, position);
        if (found == std::string_view::npos) return 0;
        position = found + token.size();
        if (i + 1 == tokens.size() && position != subject.size()) return 0;
    }
    return 1;
}

}  // extern "C"
