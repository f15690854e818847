// Logging calls and levels.
//
// The level test runs without the API mutex: it reads the logger's gate,
// one relaxed atomic that holds the logger's threshold while the toolkit is
// open and the logger enabled, and "accept nothing" otherwise (KvlObject.h).
//
// TEMPORARY STAND-IN for the calls themselves: events are not built yet,
// so a logging call that passes the level test delivers nothing; the
// signatures are final, so no call site changes when the events land.

#include <cctype>
#include <cstdlib>

#include "KvlClasses.h"
#include "KvlContainers.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "kavel.h"

extern "C" {

int KvlIsLoggable(KvlObject *logger, int32_t level) noexcept {
    if (logger == nullptr) return 0;
    const int32_t gate = logger->gate.load(std::memory_order_relaxed);
    if (gate == KVL_GATE_CLOSED) return 0;
    return level == KVL_LEVEL_NONE || gate == KVL_LEVEL_NONE || level >= gate ? 1 : 0;
}

int32_t KvlGetLevelFromString(const char *text) noexcept {
    if (text == nullptr) return KVL_LEVEL_NONE;
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0') return 0;
    unsigned char ok = 0;
    const int32_t number = kvlPropStrToInt32(text, &ok);
    if (ok == 1) return number;
    static const struct {
        const char *word;
        int32_t level;
    } kWords[] = {{"FATAL", KVL_LEVEL_FATAL},
                  {"ERROR", KVL_LEVEL_ERROR},
                  {"WARN", KVL_LEVEL_WARN},
                  {"INFO", KVL_LEVEL_INFO},
                  {"DEBUG_MIN", KVL_LEVEL_DEBUG_MIN},
                  {"MIN", KVL_LEVEL_DEBUG_MIN},
                  {"DEBUG_MID", KVL_LEVEL_DEBUG_MID},
                  {"MID", KVL_LEVEL_DEBUG_MID},
                  {"DEBUG_MAX", KVL_LEVEL_DEBUG_MAX},
                  {"MAX", KVL_LEVEL_DEBUG_MAX},
                  {"ALL", KVL_LEVEL_ALL},
                  {"OFF", KVL_LEVEL_OFF}};
    for (const auto &w : kWords)
        if (OxsStringNICmp(text, w.word, std::char_traits<char>::length(w.word)) == 0)
            return w.level;
    return KVL_LEVEL_NONE;
}

// "level" sets the threshold; the rest are the common properties.
void KvlBasicLoggerFCfgChange(KvlObject *logger, const char *name) noexcept {
    if (logger == nullptr || name == nullptr) return;
    if (OxsStringCmp(name, "level") != 0) {
        KvlBasicObjectFCfgChange(logger, name);
        return;
    }
    char *value = kvlIntlGetObjProp(logger, name, nullptr);
    if (value != nullptr) kvlSetObjectLevel(logger, KvlGetLevelFromString(value));
    OxsMemoryFree(value);
}

void kvlLogMessageEntry(KvlObject *, int32_t, const char *, int32_t, int32_t, const char *,
                        va_list) noexcept {}

void KvlLogDebugMin(KvlObject *, const char *, const char *, int, const char *, ...) noexcept {}
void KvlLogDebugMid(KvlObject *, const char *, const char *, int, const char *, ...) noexcept {}
void KvlLogDebugMax(KvlObject *, const char *, const char *, int, const char *, ...) noexcept {}
void KvlLogDebugMinVA(KvlObject *, const char *, const char *, int, const char *,
                      va_list) noexcept {}
void KvlLogDebugMidVA(KvlObject *, const char *, const char *, int, const char *,
                      va_list) noexcept {}
void KvlLogDebugMaxVA(KvlObject *, const char *, const char *, int, const char *,
                      va_list) noexcept {}

}  // extern "C"
