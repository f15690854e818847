// The agent's configuration keys and file.
//
// Locks: the file lock (slm_conf_file_mtx) is taken before a key's lock,
// the only order in which both are ever held.

#include "slm_conf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "agent_trace.h"
#include "file_replace.h"
#include "int64.h"
#include "os_utils.h"
#include "zil.h"

namespace {

uint8_t slm_conf_init_done = 0;
char *slm_conf_file_name = nullptr;
slm_mutex *slm_conf_file_mtx = nullptr;
char slm_default_temp_dir[1024] = {};

// What a key's value must be.
enum class Check {
    Any,            // every text
    Integer,        // a whole-text decimal integer from low to high
    SecurityLevel,  // 0 to 2, or 1 to 4 in check mode 2
    YesNo,          // "y", "n", "Y" or "N"
    Words,          // one of `words`
    AbsolutePath,   // begins with "/"
    Id64,           // digits, an unsigned 64-bit value not zero unless written with a leading 0
};

constexpr const char *kNoWords[] = {nullptr};
constexpr const char *kTraceLevels[] = {"MIN", "MID", "MAX", nullptr};
constexpr const char *kFileSystems[] = {"local", "remote", "other", "none", nullptr};

// Check modes of checkConf (0 to 3) as bits.
constexpr uint8_t modes(std::initializer_list<int> list) {
    uint8_t bits = 0;
    for (int mode : list)
        bits = static_cast<uint8_t>(bits | 1u << mode);
    return bits;
}

// Every rule of one key, in one row: the key table below is the only place
// that says what a key is.
struct KeyRule {
    const char *name;
    bool critical = false;  // missing or invalid is an error, never defaulted
    int32_t type = 0;       // 0 always checked; 1 or 2 only with that communication_type
    Check check = Check::Any;
    int64_t low = 0, high = 0;            // Check::Integer
    const char *const *words = kNoWords;  // Check::Words
    const char *defaultValue = nullptr;   // null: none (agent_temp_dir: the temporary directory)
    bool acceptsReload = false;           // the reload callback accepts a new value
    bool reloadable = false;              // may change while the agent runs
    bool reloadOptional = false;          // an empty value on reload restores the default
    bool quietDefault = false;            // missing: the default with result 1, not -12
    uint8_t skippedIn = 0;                // check modes in which checkConf passes it over
    bool checkedByCheckConf = true;
    const char *comment = nullptr;  // written before the key when it is appended
};

constexpr int64_t kPortLow = 1, kPortHigh = 65535;
constexpr int64_t kSizeLow = 65536, kSizeHigh = 16777216;

const KeyRule kRules[SLM_CONF_KEY_COUNT] = {
    {.name = "communication_type",
     .critical = true,
     .check = Check::Integer,
     .low = 1,
     .high = 2,
     .checkedByCheckConf = false},
    {.name = "agentid",
     .critical = true,
     .check = Check::Id64,
     .comment = "\n\n# Agent Identifier\n"},
    {.name = "division", .critical = true, .comment = "\n\n# Division Name\n"},
    {.name = "tag", .skippedIn = modes({0, 2, 3}), .comment = "\n\n# Node TAG\n"},
    {.name = "organization", .critical = true},
    {.name = "server", .critical = true, .type = 1},
    {.name = "port",
     .critical = true,
     .type = 1,
     .check = Check::Integer,
     .low = kPortLow,
     .high = kPortHigh},
    {.name = "path", .critical = true, .type = 1},
    {.name = "security_level",
     .type = 1,
     .check = Check::SecurityLevel,
     .low = 0,
     .high = 2,
     .defaultValue = "0"},
    {.name = "secure_port",
     .type = 1,
     .check = Check::Integer,
     .low = kPortLow,
     .high = kPortHigh,
     .defaultValue = "443"},
    {.name = "fips_enabled",
     .critical = true,
     .type = 1,
     .check = Check::YesNo,
     .skippedIn = modes({1, 2})},
    {.name = "use_proxy",
     .critical = true,
     .type = 1,
     .check = Check::YesNo,
     .skippedIn = modes({1})},
    {.name = "proxy", .type = 1, .defaultValue = "none"},
    {.name = "proxy_port",
     .type = 1,
     .check = Check::Integer,
     .low = kPortLow,
     .high = kPortHigh,
     .defaultValue = "3128"},
    {.name = "trace_level",
     .critical = true,
     .check = Check::Words,
     .words = kTraceLevels,
     .acceptsReload = true,
     .reloadable = true,
     .skippedIn = modes({1})},
    {.name = "trace_size",
     .critical = true,
     .check = Check::Integer,
     .low = kSizeLow,
     .high = kSizeHigh,
     .acceptsReload = true,
     .reloadable = true},
    {.name = "trace_files",
     .check = Check::Integer,
     .low = 1,
     .high = 10,
     .defaultValue = "6",
     .acceptsReload = true},
    {.name = "tcpip_port",
     .critical = true,
     .check = Check::Integer,
     .low = kPortLow,
     .high = kPortHigh,
     .skippedIn = modes({1})},
    {.name = "driver_conf_file", .skippedIn = modes({0, 2, 3})},
    {.name = "msglog_size",
     .critical = true,
     .check = Check::Integer,
     .low = kSizeLow,
     .high = kSizeHigh,
     .acceptsReload = true,
     .reloadable = true,
     .skippedIn = modes({1})},
    {.name = "msglog_files",
     .check = Check::Integer,
     .low = 1,
     .high = 10,
     .defaultValue = "6",
     .acceptsReload = true},
    {.name = "agent_base_dir", .critical = true, .skippedIn = modes({1, 2, 3})},
    {.name = "zemlor_common_dir"},
    {.name = "apx_agent_conf_file", .type = 1},
    {.name = "max_cache_size",
     .check = Check::Integer,
     .low = 50,
     .high = 15728640,
     .defaultValue = "2097152",
     .skippedIn = modes({1, 2})},
    {.name = "unknown_files_enabled",
     .check = Check::YesNo,
     .defaultValue = "y",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .skippedIn = modes({1, 2})},
    {.name = "agent_temp_dir", .check = Check::AbsolutePath, .skippedIn = modes({1, 2, 3})},
    {.name = "usage_file_lines_threshold",
     .type = 2,
     .check = Check::Integer,
     .low = 100,
     .high = 1048576,
     .defaultValue = "400",
     .acceptsReload = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 2})},
    {.name = "apx_registry_users",
     .defaultValue = "",
     .acceptsReload = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 2})},
    {.name = "scan_exclude_dirs",
     .defaultValue = "",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 3})},
    {.name = "assume_auto_fs",
     .check = Check::Words,
     .words = kFileSystems,
     .defaultValue = "none",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 2})},
    {.name = "dsd_enabled",
     .check = Check::YesNo,
     .defaultValue = "n",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .checkedByCheckConf = false,
     .comment = "# Enable specific node detection algorithm to support Sun DSD machines\n"},
    {.name = "native_scan_enabled",
     .check = Check::YesNo,
     .defaultValue = "n",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .checkedByCheckConf = false,
     .comment = "# Enable/disable native scan feature (overrides setting received thru "
                "DownloadParameters)\n"},
    {.name = "userdata1",
     .defaultValue = "",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 2, 3})},
    {.name = "userdata2",
     .defaultValue = "",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 2, 3})},
    {.name = "userdata3",
     .defaultValue = "",
     .acceptsReload = true,
     .reloadable = true,
     .reloadOptional = true,
     .quietDefault = true,
     .skippedIn = modes({1, 2, 3})},
};

bool validKey(int key) { return key >= 0 && key < SLM_CONF_KEY_COUNT; }

struct KeyLock {
    explicit KeyLock(int key) : lock(tagValues[key].lock) { lockMutex(lock); }
    ~KeyLock() { unlockMutex(lock); }
    slm_mutex *lock;
};

bool oneOf(const char *value, const char *const *words) {
    for (; *words != nullptr; ++words)
        if (std::strcmp(value, *words) == 0) return true;
    return false;
}

bool integerIn(const char *value, int64_t low, int64_t high) {
    long number = 0;
    return checkInteger(value, &number) && checkRange(number, low, high);
}

bool satisfies(const KeyRule &rule, const char *value, int mode) {
    static constexpr const char *kYesNo[] = {"y", "n", "Y", "N", nullptr};
    switch (rule.check) {
        case Check::Any:
            return true;
        case Check::Integer:
            return integerIn(value, rule.low, rule.high);
        case Check::SecurityLevel:
            return mode == 2 ? integerIn(value, 1, 4) : integerIn(value, rule.low, rule.high);
        case Check::YesNo:
            return oneOf(value, kYesNo);
        case Check::Words:
            return oneOf(value, rule.words);
        case Check::AbsolutePath:
            return isAbsolutePath(value) == 1;
        case Check::Id64:
            return checkID64(value, nullptr) == 1;
    }
    return false;
}

constexpr slm_conf_entry entryFor(const KeyRule &rule) {
    return {rule.name,    nullptr,       rule.acceptsReload ? reload_cb_func : default_cb_func,
            rule.comment, rule.critical, rule.type,
            nullptr};
}

// Replaces a key's value with a copy (null clears it).
void storeValue(int key, const char *value) {
    char *copy = value != nullptr ? strdup(value) : nullptr;
    std::free(tagValues[key].value);
    tagValues[key].value = copy;
}

bool isSpace(zil_ucs2_t ch) { return zil_iswspace(ch) != 0; }

const char *messageFor(int code) {
    switch (code) {
        case SLM_CONF_COMMENT:
        case SLM_CONF_NO_SEPARATOR:
            return "Missing separator in expression '%s'\n";
        case SLM_CONF_OUT_OF_RANGE:
            return "Value '%s' is out of range for parameter '%s'\n";
        case SLM_CONF_INVALID_VALUE:
            return "Value '%s' is not valid for parameter '%s'\n";
        case SLM_CONF_NOT_RELOADABLE:
            return "Parameter '%s' is not reloadable\n";
        case SLM_CONF_NO_VALUE:
            return "Missing value for parameter '%s' in expression '%s'\n";
        case SLM_CONF_UNKNOWN_KEY:
            return "Cannot find valid configuration parameter in expression '%s'\n";
        case 1:
            return "Parameter '%s' successfully set to requested value '%s'\n";
        default:
            return "Internal error while parsing\n";
    }
}

// The message of a code with its texts in place of the "%s" markers, whole
// however long the texts are.
std::string messageText(const char *format, std::initializer_list<const std::string *> texts) {
    std::string text;
    auto next = texts.begin();
    for (const char *p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's' && next != texts.end()) {
            text += **next++;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

void report(slm_conf_sink *sink, int code, const std::string &key, const std::string &value,
            const std::string &expression) {
    if (sink == nullptr || sink->write == nullptr) return;
    const char *format = messageFor(code);
    std::string text;
    switch (code) {
        case SLM_CONF_COMMENT:
        case SLM_CONF_NO_SEPARATOR:
        case SLM_CONF_UNKNOWN_KEY:
            text = messageText(format, {&expression});
            break;
        case SLM_CONF_OUT_OF_RANGE:
        case SLM_CONF_INVALID_VALUE:
            text = messageText(format, {&value, &key});
            break;
        case SLM_CONF_NOT_RELOADABLE:
            text = messageText(format, {&key});
            break;
        case SLM_CONF_NO_VALUE:
            text = messageText(format, {&key, &expression});
            break;
        case 1:
            text = messageText(format, {&key, &value});
            break;
        default:
            text = format;
    }
    sink->write(sink->context, text.data(), text.size(), 0);
}

// One line: its code, reported to the sink with the key, value and line.
int parseLine(std::string_view line, int reload, slm_conf_sink *sink) {
    const std::string expression = trimmedText(line);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        if (expression.empty() || expression[0] == '#') return SLM_CONF_COMMENT;
        report(sink, SLM_CONF_NO_SEPARATOR, "", "", expression);
        return SLM_CONF_NO_SEPARATOR;
    }
    const std::string key = trimmedText(line.substr(0, equals));
    const std::string value = trimmedText(line.substr(equals + 1));
    if (key.empty() || key[0] == '#') return SLM_CONF_COMMENT;
    const int number = keyFromString(key.c_str());
    if (number >= SLM_CONF_KEY_COUNT) {
        report(sink, SLM_CONF_UNKNOWN_KEY, key, value, expression);
        return SLM_CONF_UNKNOWN_KEY;
    }
    int code;
    if (value.empty()) {
        code = SLM_CONF_NO_VALUE;
        if (reload == 1 && isReloadableAndOptional(number)) setDefaultValue(number);
    } else {
        KeyLock guard(number);
        code = reload_parm(number, reload, value.c_str(), sink);
        if (code == 1) storeValue(number, value.c_str());
    }
    report(sink, code, key, value, expression);
    return code;
}

bool hasLineEnd(const char *value) { return std::strpbrk(value, "\r\n") != nullptr; }

// Holds the file lock; the name of the file last loaded is read only under it.
struct FileLock {
    FileLock() {
        if (slm_conf_file_mtx != nullptr) lockMutex(slm_conf_file_mtx);
    }
    ~FileLock() {
        if (slm_conf_file_mtx != nullptr) unlockMutex(slm_conf_file_mtx);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    const char *fileName() const { return slm_conf_file_name; }
};

// Changes the key's last line in `file`: 1, -2 (unreadable or not
// rewritten), -3 (no line for the key, or an empty file), -8 (a value that
// would end its line).
int modifyParamInFile(const char *file, int key, const char *value) {
    if (!validKey(key) || value == nullptr || file == nullptr) return SLM_CONF_ERROR;
    if (hasLineEnd(value)) return SLM_CONF_INVALID_VALUE;
    std::string content;
    if (!slm::readWholeFile(file, content)) return SLM_CONF_ERROR;
    if (content.empty()) return SLM_CONF_NO_LINE;
    // The last line for the key: loading keeps the last value.
    size_t valueStart = std::string::npos, valueEnd = 0;
    for (size_t start = 0; start < content.size();) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) end = content.size();
        const size_t equals = content.find('=', start);
        if (equals != std::string::npos && equals < end &&
            trimmedText(std::string_view(content).substr(start, equals - start)) ==
                tagValues[key].name) {
            valueStart = equals + 1;
            valueEnd = end;
        }
        start = end + 1;
    }
    if (valueStart == std::string::npos) return SLM_CONF_NO_LINE;
    const size_t oldLength = valueEnd - valueStart;
    const size_t newLength = std::strlen(value);
    std::string replacement = std::string(" ") + value;
    if (oldLength >= newLength + 1)
        replacement.resize(oldLength, ' ');  // the line keeps its length
    content.replace(valueStart, oldLength, replacement);
    return slm::replaceFile(file, content) ? SLM_CONF_OK : SLM_CONF_ERROR;
}

// Appends the key, with its comment, to `file`: 1, -1 (unreadable), -2 (not
// rewritten), -8.
int addParamToFile(const char *file, int key, const char *value) {
    if (!validKey(key) || value == nullptr || file == nullptr) return SLM_CONF_NO_FILE;
    if (hasLineEnd(value)) return SLM_CONF_INVALID_VALUE;
    std::string content;
    if (!slm::readWholeFile(file, content)) return SLM_CONF_NO_FILE;
    content += "\n";
    if (tagValues[key].comment != nullptr) content += tagValues[key].comment;
    content += std::string(tagValues[key].name) + " = " + value + "\n";
    return slm::replaceFile(file, content) ? SLM_CONF_OK : SLM_CONF_ERROR;
}

}  // namespace

extern "C" {

// Made from the key rules, in key order.
#define SLM_CONF_ENTRY(key) entryFor(kRules[key])
slm_conf_entry tagValues[SLM_CONF_KEY_COUNT] = {
    SLM_CONF_ENTRY(0),  SLM_CONF_ENTRY(1),  SLM_CONF_ENTRY(2),  SLM_CONF_ENTRY(3),
    SLM_CONF_ENTRY(4),  SLM_CONF_ENTRY(5),  SLM_CONF_ENTRY(6),  SLM_CONF_ENTRY(7),
    SLM_CONF_ENTRY(8),  SLM_CONF_ENTRY(9),  SLM_CONF_ENTRY(10), SLM_CONF_ENTRY(11),
    SLM_CONF_ENTRY(12), SLM_CONF_ENTRY(13), SLM_CONF_ENTRY(14), SLM_CONF_ENTRY(15),
    SLM_CONF_ENTRY(16), SLM_CONF_ENTRY(17), SLM_CONF_ENTRY(18), SLM_CONF_ENTRY(19),
    SLM_CONF_ENTRY(20), SLM_CONF_ENTRY(21), SLM_CONF_ENTRY(22), SLM_CONF_ENTRY(23),
    SLM_CONF_ENTRY(24), SLM_CONF_ENTRY(25), SLM_CONF_ENTRY(26), SLM_CONF_ENTRY(27),
    SLM_CONF_ENTRY(28), SLM_CONF_ENTRY(29), SLM_CONF_ENTRY(30), SLM_CONF_ENTRY(31),
    SLM_CONF_ENTRY(32), SLM_CONF_ENTRY(33), SLM_CONF_ENTRY(34), SLM_CONF_ENTRY(35),
};
#undef SLM_CONF_ENTRY

int default_cb_func(const char *, const char *, slm_conf_sink *, slm_conf_sink *,
                    slm_conf_entry *) {
    return SLM_CONF_NOT_RELOADABLE;
}

int reload_cb_func(const char *, const char *, slm_conf_sink *, slm_conf_sink *, slm_conf_entry *) {
    return 1;
}

int checkInteger(const char *text, long *out) {
    if (text == nullptr) return 0;
    char *end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (out != nullptr) *out = number;
    // Out of range, strtol gives LONG_MIN or LONG_MAX and the range check
    // that follows refuses it.
    return *end == '\0' ? 1 : 0;
}

int checkID64(const char *text, uint64_t *out) {
    if (text == nullptr) return 0;
    for (const char *c = text; *c != '\0'; ++c)
        if (*c < '0' || *c > '9') return 0;
    const uint64_t number = aToSlmUInt64(text);
    if (out != nullptr) *out = number;
    return number != 0 || text[0] == '0' ? 1 : 0;
}

int checkRange(int64_t value, int64_t low, int64_t high) {
    return low <= value && value <= high ? 1 : 0;
}

int isAbsolutePath(const char *text) { return text != nullptr && text[0] == '/' ? 1 : 0; }

int isValidValue(int key, int mode) {
    if (!validKey(key) || tagValues[key].value == nullptr) return 0;
    return satisfies(kRules[key], tagValues[key].value, mode) ? 1 : 0;
}

void setDefaultValue(int key) {
    if (!validKey(key)) return;
    const char *value = key == agent_temp_dir ? slm_default_temp_dir : kRules[key].defaultValue;
    if (value == nullptr) return;
    KeyLock guard(key);
    char *copy = strdup(value);
    if (copy == nullptr) TRACE_MIN(TRACE_SYSTEM, "setDefaultValue - malloc failed");
    std::free(tagValues[key].value);
    tagValues[key].value = copy;
}

int isMissingValue(int key) { return validKey(key) && tagValues[key].value == nullptr ? 1 : 0; }
int isCriticalValue(int key) { return validKey(key) && tagValues[key].critical ? 1 : 0; }
int parameterType(int key) { return validKey(key) ? tagValues[key].type : -1; }

int absoluteCheckValue(int key, int mode) {
    if (!validKey(key)) return SLM_CONF_ERROR;
    const bool missing = isMissingValue(key);
    if (!missing && isValidValue(key, mode)) return 1;
    if (isCriticalValue(key)) return SLM_CONF_ERROR;
    setDefaultValue(key);
    if (missing && kRules[key].quietDefault) return 1;
    return SLM_CONF_DEFAULTED;
}

int checkValue(int key, int mode) {
    if (!validKey(key)) return SLM_CONF_NOT_APPLICABLE;
    long type = 0;
    const int kind = parameterType(key);
    if (kind == 0) return absoluteCheckValue(key, mode);
    if (kind != 1 && kind != 2) return SLM_CONF_NOT_APPLICABLE;
    checkInteger(tagValues[communication_type].value, &type);
    if (mode != 0 || type == kind) return absoluteCheckValue(key, mode);
    return SLM_CONF_NOT_APPLICABLE;
}

int isKeyReloadable(int key) {
    if (validKey(key) && kRules[key].reloadable) return 1;
    TRACE_MIN(TRACE_CORE, "the passed key %d is not reloadable.", key);
    return 0;
}

int isReloadableAndOptional(int key) { return validKey(key) && kRules[key].reloadOptional ? 1 : 0; }

int acceptReloadableVal(const char *value, int key) {
    if (value == nullptr) {
        TRACE_MIN(TRACE_CORE, "the passed value for the key %d is null.", key);
        return 0;
    }
    if (!validKey(key)) {
        TRACE_MIN(TRACE_CORE, "the passed key %d is not a possible configuration key.", key);
        return 0;
    }
    if (!kRules[key].reloadable) {
        TRACE_MIN(TRACE_CORE, "the passed key %d is not reloadable.", key);
        return 0;
    }
    return satisfies(kRules[key], value, 0) ? 1 : 0;
}

int discardAllButUnsupported(const char *text) {
    if (text == nullptr) return 0;
    if (std::strcmp(text, "unk") == 0) return 1;
    if (std::strncmp(text, "userdata", 8) == 0) return 2;
    if (std::strcmp(text, "afs") == 0) return 3;
    if (std::strcmp(text, "dsd") == 0) return 4;
    if (std::strcmp(text, "nscan") == 0) return 5;
    return 0;
}

void slm_conf_make_1_0_compatible(void) {
    tagValues[division].name = "divisionid";
    tagValues[organization].name = "customer";
}

char *trimString(char *text) {
    if (text == nullptr) return nullptr;
    const size_t length = std::strlen(text);
    // Walk the characters to find the first and last that are not white
    // space; the bytes between them stay exactly as they were.
    size_t first = length, last = 0, pos = 0;
    uc_ch_t *cs = utf8_codeset;
    while (pos < length) {
        zil_ucs2_t ch = 0;
        int used = zil_mbtowc(cs, &ch, text + pos, length - pos);
        if (used <= 0) {
            used = 1;
            ch = '?';
        }
        if (!isSpace(ch)) {
            if (first == length) first = pos;
            last = pos + static_cast<size_t>(used);
        }
        pos += static_cast<size_t>(used);
    }
    if (first == length) {
        text[0] = '\0';
        return text;
    }
    std::memmove(text, text + first, last - first);
    text[last - first] = '\0';
    return text;
}

}  // extern "C"

std::string trimmedText(std::string_view text) {
    std::string copy(text);
    trimString(copy.data());
    return std::string(copy.c_str());
}

extern "C" {

int slm_conf_init(const char *tempDir) {
    slm_default_temp_dir[0] = '\0';
    if (slm_conf_file_mtx == nullptr) {
        for (slm_conf_entry &entry : tagValues) {
            if (entry.lock == nullptr) entry.lock = createMutex();
            if (entry.lock == nullptr) return SLM_CONF_ERROR;
        }
        slm_conf_file_mtx = createMutex();
        if (slm_conf_file_mtx == nullptr) return SLM_CONF_ERROR;
    }
    if (tempDir != nullptr) {
        std::strncpy(slm_default_temp_dir, tempDir, sizeof slm_default_temp_dir - 1);
        slm_default_temp_dir[sizeof slm_default_temp_dir - 1] = '\0';
    }
    slm_conf_init_done = 1;
    return 1;
}

int reload_parm(int key, int reload, const char *value, slm_conf_sink *sink) {
    if (!validKey(key)) return SLM_CONF_UNKNOWN_KEY;
    if (reload != 1 || tagValues[key].callback == nullptr) return 1;
    return tagValues[key].callback(tagValues[key].name, value, sink, sink, tagValues);
}

int parseBuffer(const char *buffer, int reload, slm_conf_sink *sink) {
    const std::string_view text = buffer != nullptr ? buffer : "";
    if (!slm_conf_init_done) return text.empty() ? SLM_CONF_COMMENT : SLM_CONF_ERROR;
    int code = SLM_CONF_COMMENT;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        code = parseLine(text.substr(start, end - start), reload, sink);
        start = end + 1;
    }
    if (code != 1) report(sink, code, "", "", std::string(text));
    return code;
}

int checkConf(int mode) {
    if (mode == 0) {
        const char *type = tagValues[communication_type].value;
        long number = 0;
        if (type == nullptr) {
            TRACE_MIN(TRACE_CORE, "Critical error, missing communication_type");
            return SLM_CONF_NO_COMMUNICATION_TYPE;
        }
        if (!checkInteger(type, &number)) {
            TRACE_MIN(TRACE_CORE, "Critical error, communication_type not integer");
            return SLM_CONF_ERROR;
        }
        if (number != 1 && number != 2) {
            TRACE_MIN(TRACE_CORE, "Critical error, communication_type out of range");
            return SLM_CONF_ERROR;
        }
        if (number == 2) {
            KeyLock guard(security_level);
            storeValue(security_level, "0");
        }
    }
    bool critical = false, defaulted = false;
    for (int key = 1; key < SLM_CONF_KEY_COUNT; ++key) {
        const KeyRule &rule = kRules[key];
        if (!rule.checkedByCheckConf) continue;
        if (mode >= 0 && mode <= 3 && (rule.skippedIn & modes({mode})) != 0) continue;
        const int result = checkValue(key, mode);
        if (result == SLM_CONF_ERROR) {
            TRACE_MIN(TRACE_CORE, "Critical error loading attribute %d", key);
            critical = true;
        } else if (result == SLM_CONF_DEFAULTED) {
            TRACE_MIN(TRACE_CORE, "Failed loading attribute %d value. Using default", key);
            defaulted = true;
        }
    }
    return critical ? SLM_CONF_ERROR : defaulted ? SLM_CONF_DEFAULTED : SLM_CONF_OK;
}

int loadConfFile(const char *path, int reload, int mode) {
    if (!slm_conf_init_done) {
        TRACE_MAX(TRACE_CORE, "loadConfFile: the access to the file has not been initialized.");
        return SLM_CONF_ERROR;
    }
    if (path == nullptr) return SLM_CONF_NO_FILE;
    lockMutex(slm_conf_file_mtx);
    FILE *file = std::fopen(path, "re");
    if (file == nullptr) {
        unlockMutex(slm_conf_file_mtx);
        TRACE_MAX(TRACE_CORE, "loadConfFile: the configuration file not found.");
        return SLM_CONF_NO_FILE;
    }
    TRACE_MAX(TRACE_CORE,
              "loadConfFile: starts reading and parsing the configuration file buffer.");
    char *line = nullptr;
    size_t capacity = 0;
    while (getline(&line, &capacity, file) >= 0)
        parseBuffer(line, reload, nullptr);
    TRACE_MAX(TRACE_CORE, "loadConfFile: all the configuration file buffer has been read.");
    std::free(line);
    std::fclose(file);
    char *name = strdup(path);
    if (name == nullptr) {
        unlockMutex(slm_conf_file_mtx);
        TRACE_MAX(TRACE_CORE, "loadConfFile: error allocating the configuration file name.");
        return SLM_CONF_ERROR;
    }
    std::free(slm_conf_file_name);
    slm_conf_file_name = name;
    TRACE_MAX(TRACE_CORE, "loadConfFile: copying the configuration file name %s.", path);
    unlockMutex(slm_conf_file_mtx);
    TRACE_MAX(TRACE_CORE, "loadConfFile: starting the checkConf function.");
    return checkConf(mode);
}

int getConfigurationValue(int key, char *buffer, int length) {
    if (!slm_conf_init_done) return SLM_CONF_ERROR;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return SLM_CONF_UNKNOWN_KEY;
    if (buffer == nullptr || length <= 0) return SLM_CONF_UNKNOWN_KEY;
    KeyLock guard(key);
    const char *value = tagValues[key].value;
    if (value == nullptr) {
        buffer[0] = '\0';
        return SLM_CONF_NO_VALUE;
    }
    std::strncpy(buffer, value, static_cast<size_t>(length));
    buffer[length - 1] = '\0';
    return 1;
}

int getConfigurationKey(int key, char *buffer, int length) {
    if (!slm_conf_init_done) return SLM_CONF_ERROR;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT || buffer == nullptr || length <= 0)
        return SLM_CONF_UNKNOWN_KEY;
    KeyLock guard(key);
    std::strncpy(buffer, tagValues[key].name, static_cast<size_t>(length));
    buffer[length - 1] = '\0';
    return 1;
}

int slm_modify_param_in_file(int key, const char *value) {
    FileLock guard;
    return modifyParamInFile(guard.fileName(), key, value);
}

int slm_add_param_to_file(int key, const char *value) {
    FileLock guard;
    return addParamToFile(guard.fileName(), key, value);
}

int setConfigurationValue(int key, const char *value) {
    if (!slm_conf_init_done) return SLM_CONF_ERROR;
    FileLock file;
    if (file.fileName() == nullptr) return SLM_CONF_ERROR;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return SLM_CONF_UNKNOWN_KEY;
    if (value == nullptr) return SLM_CONF_ERROR;
    if (hasLineEnd(value)) return SLM_CONF_INVALID_VALUE;
    KeyLock guard(key);
    int result = modifyParamInFile(file.fileName(), key, value);
    if (result == SLM_CONF_NO_LINE) result = addParamToFile(file.fileName(), key, value);
    if (result == 1) {
        char *copy = strdup(value);
        if (copy == nullptr) return SLM_CONF_ERROR;
        std::free(tagValues[key].value);
        tagValues[key].value = copy;
    }
    return result;
}

int registerCallback(int key, const char *value, slm_conf_callback callback) {
    if (!slm_conf_init_done) return SLM_CONF_ERROR;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return SLM_CONF_UNKNOWN_KEY;
    KeyLock guard(key);
    storeValue(key, value);
    tagValues[key].callback = callback;
    return 1;
}

void deleteConfigurationVariables(void) {
    if (!slm_conf_init_done) return;
    for (int key = 0; key < SLM_CONF_KEY_COUNT; ++key) {
        KeyLock guard(key);
        storeValue(key, nullptr);
    }
}

void printConfig(slm_conf_sink *sink) {
    if (sink == nullptr || sink->write == nullptr) return;
    const auto put = [sink](const std::string &text) {
        sink->write(sink->context, text.data(), text.size(), 0);
    };
    put("# VRX Agent Configuration\n\n");
    for (int key = 0; key < SLM_CONF_KEY_COUNT; ++key) {
        std::string text;
        if (tagValues[key].comment != nullptr) text += tagValues[key].comment;
        {
            KeyLock guard(key);
            const char *value = tagValues[key].value;
            text += std::string(tagValues[key].name) + "=" + (value != nullptr ? value : "<nil>") +
                    "\n";
        }
        put(text);
    }
}

int keyFromString(const char *text) {
    if (text != nullptr)
        for (int key = 0; key < SLM_CONF_KEY_COUNT; ++key)
            if (std::strcmp(tagValues[key].name, text) == 0) return key;
    TRACE_MIN(TRACE_CORE, "key: %s is not part of the configuration.", text != nullptr ? text : "");
    return 37;
}

}  // extern "C"
