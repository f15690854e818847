/*
 * The common log directory that several products on a host share, found
 * through the record "/etc/nuv/zemlor/common/cfg/log.properties".
 */
#ifndef SLM_TCD_H
#define SLM_TCD_H

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the buffer ZemlorCommonDir fills. */
#define ZEMLOR_COMMON_DIR_SIZE 512

/* 0 success; 2 a directory cannot be created; 5 the record cannot be read,
 * parsed or created; 6 the file system cannot be queried or is short of room. */
int ZemlorCommonDir(char *buffer);

#ifdef __cplusplus
}
#endif

#endif /* SLM_TCD_H */
