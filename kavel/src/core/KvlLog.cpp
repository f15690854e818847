// Logging calls and levels.
//
// A call tests its logger's gate first, without the mutex (KvlIsLoggable):
// a disabled call costs one load and one comparison and never reads its
// argument list. Behind the mutex the gate is tested again, so a close or
// a level change between the test and the lock logs nothing; then the
// event is built, handed to the logger class's FLog and freed.

#include <cctype>
#include <cstddef>

#include "KvlClasses.h"
#include "KvlContainers.h"
#include "KvlLevels.h"
#include "KvlLogging.h"
#include "KvlObject.h"
#include "KvlPropertyTable.h"
#include "KvlToolkit.h"
#include "OxsMemory.h"
#include "OxsString.h"
#include "kavel.h"

static_assert(offsetof(KvlObject, gate) == KVL_GATE_OFFSET, "the public gate offset");
static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t) &&
                  std::atomic<int32_t>::is_always_lock_free,
              "the gate is read as a plain 32-bit word");

namespace {

void messageCall(KvlObject *logger, int32_t level, const char *catalog, int32_t set, int32_t key,
                 const char *text, va_list args) {
    KvlApiLock lock;
    if (!lock || KvlIsLoggable(logger, level) != 1) return;
    kvlLogMessageEntry(logger, level, catalog, set, key, text, args);
}

void debugCall(KvlObject *logger, int32_t level, const char *file, const char *function, int line,
               const char *format, va_list args) {
    KvlApiLock lock;
    if (!lock || KvlIsLoggable(logger, level) != 1) return;
    kvlLogDebugEntry(logger, level, file, function, line, format, args);
}

}  // namespace

// The message and debug calls, each with its VA twin: gate first, list
// read only behind it.
#define KVL_MESSAGE_CALL(Name, level)                                                             \
    void Name(KvlObject *logger, const char *catalog, int32_t set, int32_t key, const char *text, \
              ...) noexcept {                                                                     \
        if (KvlIsLoggable(logger, level) != 1) return;                                            \
        va_list args;                                                                             \
        va_start(args, text);                                                                     \
        messageCall(logger, level, catalog, set, key, text, args);                                \
        va_end(args);                                                                             \
    }                                                                                             \
    void Name##VA(KvlObject *logger, const char *catalog, int32_t set, int32_t key,               \
                  const char *text, va_list args) noexcept {                                      \
        if (KvlIsLoggable(logger, level) != 1) return;                                            \
        messageCall(logger, level, catalog, set, key, text, args);                                \
    }

#define KVL_DEBUG_CALL(Name, level)                                                    \
    void Name(KvlObject *logger, const char *file, const char *function, int line,     \
              const char *format, ...) noexcept {                                      \
        if (KvlIsLoggable(logger, level) != 1) return;                                 \
        va_list args;                                                                  \
        va_start(args, format);                                                        \
        debugCall(logger, level, file, function, line, format, args);                  \
        va_end(args);                                                                  \
    }                                                                                  \
    void Name##VA(KvlObject *logger, const char *file, const char *function, int line, \
                  const char *format, va_list args) noexcept {                         \
        if (KvlIsLoggable(logger, level) != 1) return;                                 \
        debugCall(logger, level, file, function, line, format, args);                  \
    }

namespace {

// "level" sets the threshold; an absent level, or one that is no level,
// accepts everything.
void applyLevel(KvlObject *logger, const kvl::PropertyValue &value) {
    kvlSetObjectLevel(logger, static_cast<int32_t>(value.integer));
}

constexpr kvl::PropertyDef kLoggerDefs[] = {
    {"level", kvl::PropertyKind::kLevel, "", kvl::WhenAbsent::kClears, kvl::Closes::kNo,
     applyLevel},
};

}  // namespace

// Loggers and level filters: the level, then the common properties.
constexpr kvl::PropertyTable kvl::kLoggerProperties = {kLoggerDefs, &kvl::kObjectProperties};

extern "C" {

// The gate rule lives once, in the header's inline test.
int KvlIsLoggable(KvlObject *logger, int32_t level) noexcept {
    return kvlGateAccepts(logger, level);
}

KVL_MESSAGE_CALL(KvlLogMsg, KVL_LEVEL_NONE)
KVL_MESSAGE_CALL(KvlLogInfo, KVL_LEVEL_INFO)
KVL_MESSAGE_CALL(KvlLogWarn, KVL_LEVEL_WARN)
KVL_MESSAGE_CALL(KvlLogError, KVL_LEVEL_ERROR)
KVL_MESSAGE_CALL(KvlLogFatal, KVL_LEVEL_FATAL)
KVL_DEBUG_CALL(KvlLogDebugMin, KVL_LEVEL_DEBUG_MIN)
KVL_DEBUG_CALL(KvlLogDebugMid, KVL_LEVEL_DEBUG_MID)
KVL_DEBUG_CALL(KvlLogDebugMax, KVL_LEVEL_DEBUG_MAX)

void KvlLogText(KvlObject *logger, const char *format, ...) noexcept {
    if (KvlIsLoggable(logger, KVL_LEVEL_NONE) != 1) return;
    va_list args;
    va_start(args, format);
    debugCall(logger, KVL_LEVEL_NONE, nullptr, nullptr, 0, format, args);
    va_end(args);
}

void KvlLogTextVA(KvlObject *logger, const char *format, va_list args) noexcept {
    if (KvlIsLoggable(logger, KVL_LEVEL_NONE) != 1) return;
    debugCall(logger, KVL_LEVEL_NONE, nullptr, nullptr, 0, format, args);
}

KvlFLog kvlIntlLoggerGetFLog(KvlObject *logger) noexcept {
    if (!kvlObjectIsKind(logger, KVL_KIND_LOGGER) || logger->enabled != 1) return nullptr;
    return logger->klass->log;
}

KvlFLog KvlLoggerGetFLog(KvlObject *logger) noexcept
    KVL_LOCKED(nullptr, kvlIntlLoggerGetFLog(logger))

void kvlLogMessageEntry(KvlObject *logger, int32_t level, const char *catalog, int32_t set,
                        int32_t key, const char *defaultText, va_list args) noexcept {
    const KvlFLog log = kvlIntlLoggerGetFLog(logger);
    if (log == nullptr) return;
    KvlEvent *event = KvlVaAllocEvent(level, catalog, set, key, defaultText, args);
    if (event == nullptr) return;
    event->isMessage = 1;
    log(logger, event);
    KvlFreeEvent(event);
}

void kvlLogDebugEntry(KvlObject *logger, int32_t level, const char *sourceFile,
                      const char *sourceFunction, int sourceLine, const char *format,
                      va_list args) noexcept {
    const KvlFLog log = kvlIntlLoggerGetFLog(logger);
    if (log == nullptr) return;
    KvlEvent *event = KvlVaAllocEvent(level, nullptr, 0, 0, format, args);
    if (event == nullptr) return;
    event->isMessage = 0;
    kvlSetEventSource(event, sourceFile, sourceLine, sourceFunction);
    log(logger, event);
    KvlFreeEvent(event);
}

int32_t KvlGetLevelFromString(const char *text) noexcept {
    if (text == nullptr) return KVL_LEVEL_NONE;
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0') return KVL_LEVEL_ALL;  // empty or blank: 0
    unsigned char ok = 0;
    const int32_t number = kvlPropStrToInt32(text, &ok);  // clamped to 32 bits
    if (ok == 1) return number;
    for (const kvl::LevelWord &w : kvl::kLevelWords)
        if (OxsStringNICmp(text, w.word.data(), w.word.size()) == 0) return w.level;
    return KVL_LEVEL_NONE;
}

void KvlBasicLoggerFCfgChange(KvlObject *logger, const char *name) noexcept {
    kvl::configure(logger, name, kvl::kLoggerProperties);
}

}  // extern "C"
