/*
 * The agent's configuration: 36 keys read from a configuration file,
 * validated, queried and rewritten in place.
 *
 * File syntax: one "key = value" per line, split at the first "=", both
 * sides trimmed of white space; "#" starts a comment; keys are compared
 * exactly; a later line for a key replaces an earlier value; an empty value
 * keeps what the key had.
 *
 * Rewrites never lose the file: the new contents are written to a
 * temporary file beside it, synced, given the original's mode and owner,
 * and renamed over it.
 */
#ifndef SLM_CONF_H
#define SLM_CONF_H

#include <stddef.h>
#include <stdint.h>

#include "mutex.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Key numbers: the index of each key in the key table. */
enum {
    communication_type = 0,
    agentid = 1,
    division = 2,
    tag = 3,
    organization = 4,
    server = 5,
    port = 6,
    path = 7,
    security_level = 8,
    secure_port = 9,
    fips_enabled = 10,
    use_proxy = 11,
    proxy = 12,
    proxy_port = 13,
    trace_level = 14,
    trace_size = 15,
    trace_files = 16,
    tcpip_port = 17,
    driver_conf_file = 18,
    msglog_size = 19,
    msglog_files = 20,
    agent_base_dir = 21,
    zemlor_common_dir = 22,
    apx_agent_conf_file = 23,
    max_cache_size = 24,
    unknown_files_enabled = 25,
    agent_temp_dir = 26,
    usage_file_lines_threshold = 27,
    apx_registry_users = 28,
    scan_exclude_dirs = 29,
    assume_auto_fs = 30,
    dsd_enabled = 31,
    native_scan_enabled = 32,
    userdata1 = 33,
    userdata2 = 34,
    userdata3 = 35,
    SLM_CONF_KEY_COUNT = 36
};

/* Results of the configuration functions (each function says which it
 * gives). */
enum {
    SLM_CONF_OK = 1,
    SLM_CONF_NO_FILE = -1,      /* the file cannot be opened or read */
    SLM_CONF_ERROR = -2,        /* critical error, not initialised, or not rewritten */
    SLM_CONF_NO_LINE = -3,      /* the file has no line for the key */
    SLM_CONF_UNKNOWN_KEY = -4,  /* no such key (or a bad argument) */
    SLM_CONF_NO_SEPARATOR = -5, /* a line without "=" */
    SLM_CONF_NO_VALUE = -6,     /* a key without a value */
    SLM_CONF_NOT_RELOADABLE = -7,
    SLM_CONF_INVALID_VALUE = -8, /* also a value that would end its line */
    SLM_CONF_OUT_OF_RANGE = -9,
    SLM_CONF_COMMENT = -10,   /* a comment or blank line */
    SLM_CONF_DEFAULTED = -12, /* a default replaced a value, or an optional key has none */
    SLM_CONF_NOT_APPLICABLE = -13,
    SLM_CONF_NO_COMMUNICATION_TYPE = -14
};

/* Where parse and print messages go: write(context, text, length, 0). */
typedef struct slm_conf_sink {
    void *context;
    void (*write)(void *context, const char *text, size_t length, int zero);
} slm_conf_sink;

struct slm_conf_entry;
/* Decides whether a value read during a reload is accepted: 1, or -7. */
typedef int (*slm_conf_callback)(const char *key, const char *value, slm_conf_sink *sink,
                                 slm_conf_sink *sink2, struct slm_conf_entry *table);

typedef struct slm_conf_entry {
    const char *name;
    char *value; /* owned; null when absent */
    slm_conf_callback callback;
    const char *comment;
    uint8_t critical;
    int32_t type; /* 0 always checked; 1 / 2: only for that communication_type */
    slm_mutex *lock;
} slm_conf_entry;

extern slm_conf_entry tagValues[SLM_CONF_KEY_COUNT];

int default_cb_func(const char *key, const char *value, slm_conf_sink *sink, slm_conf_sink *sink2,
                    slm_conf_entry *table);
int reload_cb_func(const char *key, const char *value, slm_conf_sink *sink, slm_conf_sink *sink2,
                   slm_conf_entry *table);

/* Key checks (Part of the key table's rules). */
int isValidValue(int key, int mode);
void setDefaultValue(int key);
int isMissingValue(int key);
int isCriticalValue(int key);
int parameterType(int key);
/* 1, -12 (a default was used or an optional key has no value) or -2. */
int absoluteCheckValue(int key, int mode);
/* As absoluteCheckValue, or -13 when the key does not apply. */
int checkValue(int key, int mode);
int isKeyReloadable(int key);
int isReloadableAndOptional(int key);
int acceptReloadableVal(const char *value, int key);
int discardAllButUnsupported(const char *text);
int isAbsolutePath(const char *text);
int checkInteger(const char *text, long *out);
int checkID64(const char *text, uint64_t *out);
int checkRange(int64_t value, int64_t low, int64_t high);
void slm_conf_make_1_0_compatible(void);

/* 1 success, -2 the locks could not be created. */
int slm_conf_init(const char *tempDir);
/* 1 all valid, -12 defaults used, -2 critical error or not initialised,
 * -14 no communication_type, -1 the file cannot be opened. */
int loadConfFile(const char *path, int reload, int mode);
/* The code of the last line: 1, -10, -5, -4, -6, -7 (or -2). */
int parseBuffer(const char *buffer, int reload, slm_conf_sink *sink);
int reload_parm(int key, int reload, const char *value, slm_conf_sink *sink);
int checkConf(int mode);

/* 1 copied; -6 no value (buffer emptied); -4 bad key; -2 not initialised. */
int getConfigurationValue(int key, char *buffer, int length);
int getConfigurationKey(int key, char *buffer, int length);
/* 1; -2, -3, -4, or -8 for a value holding a line end. */
int setConfigurationValue(int key, const char *value);
int slm_modify_param_in_file(int key, const char *value);
int slm_add_param_to_file(int key, const char *value);
int registerCallback(int key, const char *value, slm_conf_callback callback);
void deleteConfigurationVariables(void);
void printConfig(slm_conf_sink *sink);
/* The key number, or 37 for an unknown name. */
int keyFromString(const char *text);
/* Trims leading and trailing white space in place; returns text. */
char *trimString(char *text);

#ifdef __cplusplus
}

#include <string>
#include <string_view>

/* A trimmed copy, by trimString's rule. */
std::string trimmedText(std::string_view text);
#endif

#endif /* SLM_CONF_H */
