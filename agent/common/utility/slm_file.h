/*
 * The agent's file utilities: permissions, copy, in-place text
 * replacement, remove and rename, a descriptor-based file stream, the
 * usage-file stream that rolls over, memory mapping, page arithmetic,
 * directory listings, sizes, creation and removal.
 *
 * Files are replaced by renaming a complete new file over them, never by
 * removing them first, so a failure leaves the original in place. Tree
 * walks never follow symbolic links: a link is counted or removed as
 * itself.
 */
#ifndef SLM_FILE_H
#define SLM_FILE_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "list.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLM_PATH_SIZE 1024 /* path values in directory listings */

int slm_chmod(const char *path, mode_t mode);
/* 0; 1 from cannot be examined; 2 from cannot be opened (or, overwriting,
 * to cannot be opened); 3 to exists or cannot be created; 4 read error;
 * 5 write error; 6 mode change failed. */
int slm_fcopy(const char *from, const char *to, int overwrite);
/* Replaces the first occurrence of `oldText` in each 2048-byte block. 0; 1 no
 * such file; 2 cannot open; 3 cannot create the sibling "...new" (or the
 * path cannot have one); 4 read error; 5, 6 write errors; 9 rename failed. */
int stringReplaceInFile(const char *path, const char *oldText, const char *newText);
/* 0 or -3. */
int slm_fremove(const char *path);
int slm_frename(const char *oldPath, const char *newPath);

/* File stream: state and operations. Modes: 0 read and write an existing
 * file; 2 create anew for reading and appending. */
typedef struct slm_file_state {
    char *path;
    int32_t mode;
    int32_t reserved;
    int32_t word1;
    int32_t word2;
    int32_t fd; /* -1 when closed */
    int64_t bytesWritten;
} slm_file_state;

typedef struct slm_file_stream slm_file_stream;
struct slm_file_stream {
    slm_file_state *state;
    int (*open)(slm_file_state *state);
    long (*read)(slm_file_state *state, void *buffer, size_t length);
    long (*write)(slm_file_state *state, const void *buffer, size_t length);
    int (*close)(slm_file_state *state);
    void (*destroy)(slm_file_stream *stream);
};

/* 0; -3 (mode 2, or an unknown mode), -15 (mode 0, no such file) or the
 * system error number. */
int slm_fopen(slm_file_state *state);
/* The count read; -3 on error; -6 at the end of the file. */
long slm_fread(slm_file_state *state, void *buffer, size_t length);
/* The count written (all of it, or -3 on error). */
long slm_fwrite(slm_file_state *state, const void *buffer, size_t length);
int slm_fclose(slm_file_state *state);
slm_file_stream *newFileStream(const char *path, size_t pathLength, int mode);
void closeFileStream(slm_file_stream *stream);

/* The usage file set: the open descriptor of the current file, its bytes
 * and line count, the bytes of the earlier files, the current path. */
typedef struct slm_usage_file {
    int32_t fd;
    int64_t currentBytes;
    int64_t setBytes;
    char path[256];
    int32_t lines;
} slm_usage_file;

#define SLM_USAGE_HEADROOM 112640
#define SLM_USAGE_FILE_LIMIT 2097152
#define SLM_USAGE_SET_LIMIT 20971520

/* Hands out a stream for writing `lines` more lines (counted in the
 * record), rolling over to the next file when the current one is full
 * ("END\r\n" closes it). 0; 7 the set is full; -3 failure, or a path too
 * short to name the next file. The record keeps the new descriptor. The
 * caller releases the stream with closeFileStream (the descriptor stays
 * the record's) and adds what it wrote to currentBytes. */
int getFileStream(slm_usage_file *usage, slm_file_stream **streamOut, int lines);
/* The line limit of a usage file (default 400). */
void setUsageFileLinesThreshold(int32_t lines);

typedef struct slm_mmap_handle {
    void *address;
    size_t length;
    int fd;
} slm_mmap_handle;

/* Maps [offset, offset + length) of the file, shared; with align 1 the
 * mapping starts at the page boundary at or below offset and covers the
 * whole requested range. Returns the start of the mapping (not of the
 * requested offset), or (void *)-1. */
void *slm_file_mmap(const char *path, uint64_t offset, size_t length, int align, int writable,
                    slm_mmap_handle **handleOut);
int slm_file_munmap(slm_mmap_handle *handle);
/* Extends the file by `extra` bytes, mapping it anew (whole, writable) when
 * the mapping became too short. The address, or (void *)-1 after unmapping. */
void *slm_grow_mapped_file(const char *path, size_t extra, slm_mmap_handle *handle);
uint64_t slm_get_file_size(const char *path);
size_t slm_get_page_size(void);
size_t slm_page_off(uint64_t value);
uint64_t slm_page_align(uint64_t value, int down);

/* Append full paths (SLM_PATH_SIZE-byte values) to `list`; the count, 0
 * when the directory cannot be opened, -1 on error. */
int getSubDirectories(slm_list *list, const char *directory);
int getFiles(slm_list *list, const char *directory, const char *suffix);
/* Adds the space of the tree in KiB to *total. 0 or -1. */
int getDirectorySize(const char *directory, uint64_t *total);
/* 0 or 1. */
int slm_mkdir(const char *path);
int slm_rmdir(const char *path);

typedef struct slm_file_info {
    uint64_t size;
    int64_t mtime;
    char name[256]; /* base name, UTF-8 */
} slm_file_info;

/* 0 or -1; `directory` receives the directory in UTF-8. */
int slm_ke_fill_file_info(const char *path, slm_file_info *info, char *directory, size_t size);
/* 1 when `known`, else whether directory/name (UTF-8) exists. */
int isFileOnDisk(int known, const char *directory, const char *name);
int slm_get_file_record_info(void);

#ifdef __cplusplus
}

#include <string>
#include <utility>

/* A path's directory ("/" for a file in the root, "" for a bare name) and
 * base name. */
std::pair<std::string, std::string> slmSplitPath(const std::string &path);
#endif

#endif /* SLM_FILE_H */
