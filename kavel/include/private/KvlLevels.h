/*
 * Levels in words, in one place: the words a "level" property or a level
 * text may use, and the word a record shows for a level (the XML and trace
 * formats). C++ only.
 */
#ifndef KVL_LEVELS_H
#define KVL_LEVELS_H

#include <cstdint>
#include <string_view>

#include "kavel.h"

namespace kvl {

struct LevelWord {
    std::string_view word;
    int32_t level;
};

// The words a level may be written with, tried in this order, each as a
// prefix of the text in any case (so "WARNING" is WARN and "debug_max" is
// DEBUG_MAX).
inline constexpr LevelWord kLevelWords[] = {
    {"FATAL", KVL_LEVEL_FATAL},
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
    {"OFF", KVL_LEVEL_OFF},
};

// Whether a typed list's level marker (or an event) may carry the value.
constexpr bool isEventLevel(int32_t value) {
    switch (value) {
        case KVL_LEVEL_DEBUG_MAX:
        case KVL_LEVEL_DEBUG_MID:
        case KVL_LEVEL_DEBUG_MIN:
        case KVL_LEVEL_INFO:
        case KVL_LEVEL_WARN:
        case KVL_LEVEL_ERROR:
        case KVL_LEVEL_FATAL:
        case KVL_LEVEL_OFF:
        case KVL_LEVEL_NONE:
            return true;
        default:
            return false;
    }
}

// The word a record shows for a level: MIN, MID, MAX, INFO, WARN, ERROR
// (FATAL shows as ERROR), and OTHER for anything else.
constexpr std::string_view shownLevel(int32_t level) {
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

}  // namespace kvl

#endif /* KVL_LEVELS_H */
