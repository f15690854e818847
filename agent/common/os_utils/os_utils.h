/*
 * The agent's operating-system utilities: user and group names (in UTF-8),
 * symbolic links, and the set-up of the codeset library for the agent.
 */
#ifndef SLM_OS_UTILS_H
#define SLM_OS_UTILS_H

#include <stddef.h>
#include <sys/types.h>

#include "zil.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The codeset library's data directory and catalog path, filled by the
 * agent's programs before slmLocalizationInit. */
extern char zilDir[1024];
extern char nlsDir[1024];
/* Null until slmLocalizationInit. */
extern uc_ch_t *default_codeset;
extern uc_ch_t *utf8_codeset;

/* The name in UTF-8, or the decimal number when there is none; -1 when
 * size is below 10, else 0. */
int slm_get_user_name(uid_t uid, char *buffer, size_t size);
int slm_get_user_group(gid_t gid, char *buffer, size_t size);
/* The user's primary group name, or "not available". 0. */
int slm_get_user_group_by_name(const char *name, char *buffer, size_t size);

/* Follows symbolic links to the final path (in buffer) and returns its kind:
 * 1 file, 2 directory, 3 device, 4 pipe, 5 socket, -1 other or error,
 * -2 a loop, -3 a path of 1024 characters or more (or one that does not fit
 * the buffer). */
int slm_resolve_symlink(const char *path, char *buffer, size_t size);

/* 1. */
int slmLocalizationInit(void);
void slmLocalizationFree(void);
int initOsUtils(void);
int closeOsUtils(void);

#ifdef __cplusplus
}
#endif

#endif /* SLM_OS_UTILS_H */
