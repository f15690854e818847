/*
 * The fixed paths of the shipped programs, in one place.
 *
 * These are compiled in on purpose: the controller runs as root for
 * installers, so neither its environment nor its options may choose which
 * files it reads or which programs it runs. Internal functions take the
 * paths they work on as parameters; only the top of each program uses these.
 */
#ifndef SLM_PATHS_H
#define SLM_PATHS_H

#define SLM_CONF_DIR "/etc"
#define SLM_INI_FILE_NAME "vrxagent.ini"
#define SLM_DEFAULT_TEMP_DIR "/tmp/ovka"
#define SLM_OLD_SERVICE_DIR "/usr/sbin/"
#define SLM_OLD_BASE_DIR "/var/ovka/"
#define SLM_ROOT_DIR "/"

/* The common log directory of the products on the host: its record, and the
 * directory a new record names. */
#define SLM_COMMON_LOG_RECORD "/etc/nuv/zemlor/common/cfg/log.properties"
#define ZEMLOR_DEFAULT_COMMON_DIR "/var/nuv/zemlor/common"

#define SLM_SHELL_PATH "/bin/sh"
#define SLM_DEV_NULL "/dev/null"

#endif /* SLM_PATHS_H */
