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

struct KeyRule {
    const char *defaultValue;  // null: no default (or the temporary directory for agent_temp_dir)
};

uint8_t slm_conf_init_done = 0;
char *slm_conf_file_name = nullptr;
slm_mutex *slm_conf_file_mtx = nullptr;
char slm_default_temp_dir[1024] = {};

// Defaults by key; agent_temp_dir takes the directory given to slm_conf_init.
const char *const kDefaults[SLM_CONF_KEY_COUNT] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,   nullptr, "0",
    "443",   nullptr, nullptr, "none",  "3128",  nullptr, nullptr,   "6",     nullptr,
    nullptr, nullptr, "6",     nullptr, nullptr, nullptr, "2097152", "y",     nullptr,
    "400",   "",      "",      "none",  "n",     "n",     "",        "",      ""};

bool validKey(int key) { return key >= 0 && key < SLM_CONF_KEY_COUNT; }

struct KeyLock {
    explicit KeyLock(int key) : lock(tagValues[key].lock) { lockMutex(lock); }
    ~KeyLock() { unlockMutex(lock); }
    slm_mutex *lock;
};

bool oneOf(const char *value, std::initializer_list<const char *> allowed) {
    for (const char *a : allowed)
        if (std::strcmp(value, a) == 0) return true;
    return false;
}

bool yesNo(const char *value) { return oneOf(value, {"y", "n", "Y", "N"}); }

bool integerIn(const char *value, long low, long high) {
    long number = 0;
    return checkInteger(value, &number) && checkRange(number, low, high);
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
        case -10:
        case -5:
            return "Missing separator in expression '%s'\n";
        case -9:
            return "Value '%s' is out of range for parameter '%s'\n";
        case -8:
            return "Value '%s' is not valid for parameter '%s'\n";
        case -7:
            return "Parameter '%s' is not reloadable\n";
        case -6:
            return "Missing value for parameter '%s' in expression '%s'\n";
        case -4:
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
        case -10:
        case -5:
        case -4:
            text = messageText(format, {&expression});
            break;
        case -9:
        case -8:
            text = messageText(format, {&value, &key});
            break;
        case -7:
            text = messageText(format, {&key});
            break;
        case -6:
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
        if (expression.empty() || expression[0] == '#') return -10;
        report(sink, -5, "", "", expression);
        return -5;
    }
    const std::string key = trimmedText(line.substr(0, equals));
    const std::string value = trimmedText(line.substr(equals + 1));
    if (key.empty() || key[0] == '#') return -10;
    const int number = keyFromString(key.c_str());
    if (number >= SLM_CONF_KEY_COUNT) {
        report(sink, -4, key, value, expression);
        return -4;
    }
    int code;
    if (value.empty()) {
        code = -6;
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
    if (!validKey(key) || value == nullptr || file == nullptr) return -2;
    if (hasLineEnd(value)) return -8;
    std::string content;
    if (!slm::readWholeFile(file, content)) return -2;
    if (content.empty()) return -3;
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
    if (valueStart == std::string::npos) return -3;
    const size_t oldLength = valueEnd - valueStart;
    const size_t newLength = std::strlen(value);
    std::string replacement = std::string(" ") + value;
    if (oldLength >= newLength + 1)
        replacement.resize(oldLength, ' ');  // the line keeps its length
    content.replace(valueStart, oldLength, replacement);
    return slm::replaceFile(file, content) ? 1 : -2;
}

// Appends the key, with its comment, to `file`: 1, -1 (unreadable), -2 (not
// rewritten), -8.
int addParamToFile(const char *file, int key, const char *value) {
    if (!validKey(key) || value == nullptr || file == nullptr) return -1;
    if (hasLineEnd(value)) return -8;
    std::string content;
    if (!slm::readWholeFile(file, content)) return -1;
    content += "\n";
    if (tagValues[key].comment != nullptr) content += tagValues[key].comment;
    content += std::string(tagValues[key].name) + " = " + value + "\n";
    return slm::replaceFile(file, content) ? 1 : -2;
}

}  // namespace

extern "C" {

slm_conf_entry tagValues[SLM_CONF_KEY_COUNT] = {
    {"communication_type", nullptr, default_cb_func, nullptr, 1, 0, nullptr},
    {"agentid", nullptr, default_cb_func, "\n\n# Agent Identifier\n", 1, 0, nullptr},
    {"division", nullptr, default_cb_func, "\n\n# Division Name\n", 1, 0, nullptr},
    {"tag", nullptr, default_cb_func, "\n\n# Node TAG\n", 0, 0, nullptr},
    {"organization", nullptr, default_cb_func, nullptr, 1, 0, nullptr},
    {"server", nullptr, default_cb_func, nullptr, 1, 1, nullptr},
    {"port", nullptr, default_cb_func, nullptr, 1, 1, nullptr},
    {"path", nullptr, default_cb_func, nullptr, 1, 1, nullptr},
    {"security_level", nullptr, default_cb_func, nullptr, 0, 1, nullptr},
    {"secure_port", nullptr, default_cb_func, nullptr, 0, 1, nullptr},
    {"fips_enabled", nullptr, default_cb_func, nullptr, 1, 1, nullptr},
    {"use_proxy", nullptr, default_cb_func, nullptr, 1, 1, nullptr},
    {"proxy", nullptr, default_cb_func, nullptr, 0, 1, nullptr},
    {"proxy_port", nullptr, default_cb_func, nullptr, 0, 1, nullptr},
    {"trace_level", nullptr, reload_cb_func, nullptr, 1, 0, nullptr},
    {"trace_size", nullptr, reload_cb_func, nullptr, 1, 0, nullptr},
    {"trace_files", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"tcpip_port", nullptr, default_cb_func, nullptr, 1, 0, nullptr},
    {"driver_conf_file", nullptr, default_cb_func, nullptr, 0, 0, nullptr},
    {"msglog_size", nullptr, reload_cb_func, nullptr, 1, 0, nullptr},
    {"msglog_files", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"agent_base_dir", nullptr, default_cb_func, nullptr, 1, 0, nullptr},
    {"zemlor_common_dir", nullptr, default_cb_func, nullptr, 0, 0, nullptr},
    {"apx_agent_conf_file", nullptr, default_cb_func, nullptr, 0, 1, nullptr},
    {"max_cache_size", nullptr, default_cb_func, nullptr, 0, 0, nullptr},
    {"unknown_files_enabled", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"agent_temp_dir", nullptr, default_cb_func, nullptr, 0, 0, nullptr},
    {"usage_file_lines_threshold", nullptr, reload_cb_func, nullptr, 0, 2, nullptr},
    {"apx_registry_users", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"scan_exclude_dirs", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"assume_auto_fs", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"dsd_enabled", nullptr, reload_cb_func,
     "# Enable specific node detection algorithm to support Sun DSD machines\n", 0, 0, nullptr},
    {"native_scan_enabled", nullptr, reload_cb_func,
     "# Enable/disable native scan feature (overrides setting received thru DownloadParameters)\n",
     0, 0, nullptr},
    {"userdata1", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"userdata2", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
    {"userdata3", nullptr, reload_cb_func, nullptr, 0, 0, nullptr},
};

int default_cb_func(const char *, const char *, slm_conf_sink *, slm_conf_sink *,
                    slm_conf_entry *) {
    return -7;
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
    if (!validKey(key)) return 0;
    const char *v = tagValues[key].value;
    if (v == nullptr) return 0;
    switch (key) {
        case communication_type:
            return integerIn(v, 1, 2);
        case agentid:
            return checkID64(v, nullptr);
        case port:
        case secure_port:
        case proxy_port:
        case tcpip_port:
            return integerIn(v, 1, 65535);
        case security_level:
            return mode == 2 ? integerIn(v, 1, 4) : integerIn(v, 0, 2);
        case fips_enabled:
        case use_proxy:
        case unknown_files_enabled:
        case dsd_enabled:
        case native_scan_enabled:
            return yesNo(v);
        case trace_level:
            return oneOf(v, {"MIN", "MID", "MAX"});
        case trace_size:
        case msglog_size:
            return integerIn(v, 65536, 16777216);
        case trace_files:
        case msglog_files:
            return integerIn(v, 1, 10);
        case max_cache_size:
            return integerIn(v, 50, 15728640);
        case agent_temp_dir:
            return isAbsolutePath(v);
        case usage_file_lines_threshold:
            return integerIn(v, 100, 1048576);
        case assume_auto_fs:
            return oneOf(v, {"local", "remote", "other", "none"});
        default:
            return 1;  // any text
    }
}

void setDefaultValue(int key) {
    if (!validKey(key)) return;
    const char *value = key == agent_temp_dir ? slm_default_temp_dir : kDefaults[key];
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
    if (!validKey(key)) return -2;
    const bool missing = isMissingValue(key);
    if (!missing && isValidValue(key, mode)) return 1;
    if (isCriticalValue(key)) return -2;
    setDefaultValue(key);
    if (missing && key >= usage_file_lines_threshold) return 1;  // 27 to 35: quietly
    return -12;
}

int checkValue(int key, int mode) {
    if (!validKey(key)) return -13;
    long type = 0;
    const int kind = parameterType(key);
    if (kind == 0) return absoluteCheckValue(key, mode);
    if (kind != 1 && kind != 2) return -13;
    checkInteger(tagValues[communication_type].value, &type);
    if (mode != 0 || type == kind) return absoluteCheckValue(key, mode);
    return -13;
}

int isKeyReloadable(int key) {
    switch (key) {
        case 14:
        case 15:
        case 19:
        case 25:
        case 29:
        case 30:
        case 31:
        case 32:
        case 33:
        case 34:
        case 35:
            return 1;
        default:
            TRACE_MIN(TRACE_CORE, "the passed key %d is not reloadable.", key);
            return 0;
    }
}

int isReloadableAndOptional(int key) {
    switch (key) {
        case 25:
        case 27:
        case 28:
        case 29:
        case 30:
        case 31:
        case 32:
        case 33:
        case 34:
        case 35:
            return 1;
        default:
            return 0;
    }
}

int acceptReloadableVal(const char *value, int key) {
    if (value == nullptr) {
        TRACE_MIN(TRACE_CORE, "the passed value for the key %d is null.", key);
        return 0;
    }
    if (key >= SLM_CONF_KEY_COUNT || key < 0) {
        TRACE_MIN(TRACE_CORE, "the passed key %d is not a possible configuration key.", key);
        return 0;
    }
    switch (key) {
        case trace_level:
            return oneOf(value, {"MIN", "MID", "MAX"});
        case trace_size:
        case msglog_size:
            return integerIn(value, 65536, 16777216);
        case unknown_files_enabled:
        case dsd_enabled:
        case native_scan_enabled:
            return yesNo(value);
        case assume_auto_fs:
            return oneOf(value, {"local", "remote", "other", "none"});
        case scan_exclude_dirs:
        case userdata1:
        case userdata2:
        case userdata3:
            return 1;
        default:
            TRACE_MIN(TRACE_CORE, "the passed key %d is not reloadable.", key);
            return 0;
    }
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
            if (entry.lock == nullptr) return -2;
        }
        slm_conf_file_mtx = createMutex();
        if (slm_conf_file_mtx == nullptr) return -2;
    }
    if (tempDir != nullptr) {
        std::strncpy(slm_default_temp_dir, tempDir, sizeof slm_default_temp_dir - 1);
        slm_default_temp_dir[sizeof slm_default_temp_dir - 1] = '\0';
    }
    slm_conf_init_done = 1;
    return 1;
}

int reload_parm(int key, int reload, const char *value, slm_conf_sink *sink) {
    if (!validKey(key)) return -4;
    if (reload != 1 || tagValues[key].callback == nullptr) return 1;
    return tagValues[key].callback(tagValues[key].name, value, sink, sink, tagValues);
}

int parseBuffer(const char *buffer, int reload, slm_conf_sink *sink) {
    const std::string_view text = buffer != nullptr ? buffer : "";
    if (!slm_conf_init_done) return text.empty() ? -10 : -2;
    int code = -10;
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
            return -14;
        }
        if (!checkInteger(type, &number)) {
            TRACE_MIN(TRACE_CORE, "Critical error, communication_type not integer");
            return -2;
        }
        if (number != 1 && number != 2) {
            TRACE_MIN(TRACE_CORE, "Critical error, communication_type out of range");
            return -2;
        }
        if (number == 2) {
            KeyLock guard(security_level);
            storeValue(security_level, "0");
        }
    }
    static const int skipped[4][17] = {
        {3, 18, -1},
        {10, 11, 14, 17, 19, 21, 24, 25, 26, 27, 28, 29, 30, 33, 34, 35, -1},
        {3, 10, 18, 21, 24, 25, 26, 27, 28, 30, 33, 34, 35, -1},
        {3, 18, 21, 26, 29, 33, 34, 35, -1}};
    bool critical = false, defaulted = false;
    for (int key = 1; key < SLM_CONF_KEY_COUNT; ++key) {
        if (key == dsd_enabled || key == native_scan_enabled) continue;
        bool skip = false;
        if (mode >= 0 && mode <= 3)
            for (const int *k = skipped[mode]; *k >= 0; ++k)
                skip = skip || *k == key;
        if (skip) continue;
        const int result = checkValue(key, mode);
        if (result == -2) {
            TRACE_MIN(TRACE_CORE, "Critical error loading attribute %d", key);
            critical = true;
        } else if (result == -12) {
            TRACE_MIN(TRACE_CORE, "Failed loading attribute %d value. Using default", key);
            defaulted = true;
        }
    }
    return critical ? -2 : defaulted ? -12 : 1;
}

int loadConfFile(const char *path, int reload, int mode) {
    if (!slm_conf_init_done) {
        TRACE_MAX(TRACE_CORE, "loadConfFile: the access to the file has not been initialized.");
        return -2;
    }
    if (path == nullptr) return -1;
    lockMutex(slm_conf_file_mtx);
    FILE *file = std::fopen(path, "re");
    if (file == nullptr) {
        unlockMutex(slm_conf_file_mtx);
        TRACE_MAX(TRACE_CORE, "loadConfFile: the configuration file not found.");
        return -1;
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
        return -2;
    }
    std::free(slm_conf_file_name);
    slm_conf_file_name = name;
    TRACE_MAX(TRACE_CORE, "loadConfFile: copying the configuration file name %s.", path);
    unlockMutex(slm_conf_file_mtx);
    TRACE_MAX(TRACE_CORE, "loadConfFile: starting the checkConf function.");
    return checkConf(mode);
}

int getConfigurationValue(int key, char *buffer, int length) {
    if (!slm_conf_init_done) return -2;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return -4;
    if (buffer == nullptr || length <= 0) return -4;
    KeyLock guard(key);
    const char *value = tagValues[key].value;
    if (value == nullptr) {
        buffer[0] = '\0';
        return -6;
    }
    std::strncpy(buffer, value, static_cast<size_t>(length));
    buffer[length - 1] = '\0';
    return 1;
}

int getConfigurationKey(int key, char *buffer, int length) {
    if (!slm_conf_init_done) return -2;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT || buffer == nullptr || length <= 0) return -4;
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
    if (!slm_conf_init_done) return -2;
    FileLock file;
    if (file.fileName() == nullptr) return -2;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return -4;
    if (value == nullptr) return -2;
    if (hasLineEnd(value)) return -8;
    KeyLock guard(key);
    int result = modifyParamInFile(file.fileName(), key, value);
    if (result == -3) result = addParamToFile(file.fileName(), key, value);
    if (result == 1) {
        char *copy = strdup(value);
        if (copy == nullptr) return -2;
        std::free(tagValues[key].value);
        tagValues[key].value = copy;
    }
    return result;
}

int registerCallback(int key, const char *value, slm_conf_callback callback) {
    if (!slm_conf_init_done) return -2;
    if (key < 0 || key >= SLM_CONF_KEY_COUNT) return -4;
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
