/*
 * The agent's configuration: 36 keys read from a configuration file,
 * validated, queried and rewritten in place.
 */
#ifndef SLM_CONF_H
#define SLM_CONF_H

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

/* 1 success, -2 the key locks could not be created. */
int slm_conf_init(const char *tempDir);

/* 1 all valid, -12 some defaults used, -2 critical error or not initialised,
 * -14 no communication_type, -1 the file cannot be opened. */
int loadConfFile(const char *path, int reload, int mode);

/* 1 copied; -6 no value (buffer emptied); -4 bad key; -2 not initialised. */
int getConfigurationValue(int key, char *buffer, int length);

#ifdef __cplusplus
}
#endif

#endif /* SLM_CONF_H */
