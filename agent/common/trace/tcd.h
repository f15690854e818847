/*
 * The common log directory that several products on a host share, named
 * by the record "/etc/nuv/zemlor/common/cfg/log.properties", and this
 * product's directory tree under it.
 *
 * The record belongs to every product on the host: it is written only when
 * it is absent, or holds nothing but blank lines and an unusable
 * "zemlor_common_dir" line; a record with other products' lines is never
 * overwritten.
 */
#ifndef SLM_TCD_H
#define SLM_TCD_H

#include <sys/types.h>

#include "slm_paths.h" /* ZEMLOR_DEFAULT_COMMON_DIR */

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the buffer the functions below fill (511 characters at most). */
#define ZEMLOR_COMMON_DIR_SIZE 512
#define ZEMLOR_MIN_FREE_BYTES 31457280

/* 0 success; 2 a directory cannot be created; 5 the record cannot be read,
 * parsed or created; 6 the file system cannot be queried or is short of room. */
int ZemlorCommonDir(char *buffer);
int OpenLogPropFile(char *buffer);
int CreateLogPropFile(char *buffer);
int CreateCommonDirs(const char *directory);
int CheckCommonSpace(const char *directory);
/* 3 created, 4 exists already (as a directory), 2 failure. */
int mkdir_p(char *path, mode_t mode);
void setMaxUsageLines(int count);

#ifdef __cplusplus
}

#include <sys/statvfs.h>
#include <string>

/* The same with the record's place and the file-system query explicit, for
 * tests. */
using TcdSpaceQuery = int (*)(const char *path, struct statvfs *info);
int zemlorCommonDirAt(const std::string &record, char *buffer, TcdSpaceQuery query);
int openLogPropFileAt(const std::string &record, char *buffer);
int createLogPropFileAt(const std::string &record, char *buffer);
int checkCommonSpaceWith(const char *directory, TcdSpaceQuery query);
#endif

#endif /* SLM_TCD_H */
