/*
 * Files, file names, paths and directories for the toolkit: thin wrappers
 * over the system calls that report failures as CxPlatformErr.
 *
 * Names use "/" as separator; a "\" in a name is turned into "/". A name
 * goes through a 256-byte buffer (255 characters and the terminator): a
 * longer one fails with ENAMETOOLONG before any system call, because a cut
 * name would make open, rename or remove act on another file. Every
 * descriptor is opened close-on-exec, so children (the archiver the
 * toolkit runs) never inherit log files.
 */
#ifndef CX_FILE_H
#define CX_FILE_H

#include <dirent.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/uio.h>

#include "CxPlatformErr.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_FILE_NAME_SIZE 256 /* name buffers: 255 characters and the terminator */

typedef int32_t CxFile;   /* a descriptor; -1 when closed */
typedef DIR *CxDirectory; /* null when closed */

typedef struct CxFilePath {
    char path[CX_FILE_NAME_SIZE];
    int32_t length;   /* index of the terminator; -1 when not valid */
    int32_t last_sep; /* index of the last "/"; -1 when none */
} CxFilePath;

typedef struct CxFileInfo {
    uint64_t size;
    int64_t ctime;
    int64_t mtime;
    int64_t atime;
} CxFileInfo;

/* Copies the name with "\" turned into "/". 1, or 0 for a null argument or
 * a name that does not fit `size` bytes (the buffer's full size). */
int CxFileNameLocalize(const char *name, char *buffer, int size);
int CxFileNameGetNative(const char *name, char *buffer, int size);

CxPlatformErr CxFileOpen(CxFile *file, const char *name, int flags);
CxPlatformErr CxFileOpenMode(CxFile *file, const char *name, int flags, int mode);
/* Opens a file the toolkit writes (a log, a backup, a temporary), which
 * must be a regular file at the name itself: a symbolic link there is
 * refused with ELOOP (never followed, so nobody can aim a privileged
 * writer at another file), anything else that is not a regular file with
 * EINVAL, and a FIFO never blocks the open. */
CxPlatformErr CxFileOpenRegular(CxFile *file, const char *name, int flags, int mode);
/* Whether a failure of CxFileOpenRegular was its refusal of the name. */
int CxFileRefused(CxPlatformErr status);
CxPlatformErr CxFileRead(CxFile *file, void *buffer, size_t size, int32_t *count);
CxPlatformErr CxFileWrite(CxFile *file, const void *data, size_t size, int32_t *count);
/* Writes all `size` bytes, continuing short writes; `done` (may be null)
 * receives how many were written when it fails. */
CxPlatformErr CxFileWriteAll(CxFile *file, const void *data, size_t size, size_t *done);
/* The same for `count` pieces in one gathered write where it can (the
 * pieces are advanced past what a short write took). */
CxPlatformErr CxFileWriteAllV(CxFile *file, struct iovec *pieces, int count, size_t *done);
CxPlatformErr CxFileSeek(CxFile *file, int64_t offset, int whence);
/* Rewinds, truncates to 0 and checks the size is 0 (EINVAL otherwise). */
CxPlatformErr CxFileTrunc(CxFile *file);
CxPlatformErr CxFileGetSize(CxFile *file, uint64_t *size);
/* Forces the data to stable storage. */
CxPlatformErr CxFileFlush(CxFile *file);
/* Tests only: called with the descriptor before every CxFileFlush, so a
 * test can see what is on disk at that moment (null: none). */
typedef void (*CxFileFlushHook)(int fd);
void cxSetFileFlushHookForTest(CxFileFlushHook hook);
/* Closes, and sets the handle to -1 even when the close fails. */
CxPlatformErr CxFileClose(CxFile *file);

CxPlatformErr CxFileNameGetSize(const char *name, uint64_t *size);
CxPlatformErr CxFileNameRemove(const char *name);
CxPlatformErr CxFileNameRename(const char *oldName, const char *newName);
CxPlatformErr CxFileNameGetInfo(CxFileInfo *info, const char *name);

/* 1 when the text fits; 0 otherwise (a null text marks the record invalid). */
int CxInitFilePath(CxFilePath *path, const char *text);
/* 0 for an existing directory; EINVAL, ENOTDIR or the status call's error. */
int CxFilePathIsDir(const CxFilePath *path);
/* 0 when the path exists; EINVAL or the status call's error. */
int CxFilePathExists(const CxFilePath *path);
/* 1 after storing the text before the last "/"; 0 without one. */
int CxFilePathParent(const CxFilePath *path, CxFilePath *parent);
/* 0 when the directory exists or was made with its missing ancestors (and
 * `mode` set on each new one); else an error number. Tolerates another
 * process making the same directories at the same time. */
int CxFilePathMkdirs(const CxFilePath *path, int mode);

CxPlatformErr CxDirectoryOpen(CxDirectory *directory, const char *path);
/* The next entry's name ("." and ".." included) into `buffer` of `size`
 * bytes (its full size); the empty string at the end of the directory.
 * ENAMETOOLONG (and the empty string) when a name does not fit. */
CxPlatformErr CxDirectoryGetNext(CxDirectory *directory, char *buffer, int size);
/* Closes, and sets the handle to null even when the close fails. */
CxPlatformErr CxDirectoryClose(CxDirectory *directory);

#ifdef __cplusplus
}
#endif

#endif /* CX_FILE_H */
