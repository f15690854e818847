/*
 * Whole-file replacement and the descriptor loops every file writer of the
 * agent uses.
 *
 * A file is never rewritten in place: the new contents go to a sibling file,
 * every write checked and short writes continued, then the sibling is given
 * the original's mode and owner, synced, and renamed over the original. A
 * failure at any step removes the sibling and leaves the original as it
 * was, so a reader sees the old file or the new one, never a mixture, and a
 * full disk loses nothing. Internal to the agent (C++).
 */
#ifndef SLM_FILE_REPLACE_H
#define SLM_FILE_REPLACE_H

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace slm {

/* Writes every byte, continuing after short writes and interruptions. */
bool writeAll(int fd, const void *data, size_t length);
/* One read, repeated when a signal interrupts it. */
ssize_t readSome(int fd, void *buffer, size_t length);
/* The whole file; false when it cannot be opened or read. */
bool readWholeFile(const std::string &path, std::string &content);

class FileReplacement {
public:
    /* `sibling` names the temporary file, which then replaces `path`
     * itself; without it a unique name beside the file a symbolic link
     * points at is used, and the link stays. */
    explicit FileReplacement(std::string path, std::string sibling = {});
    ~FileReplacement();  // removes the sibling unless it was installed
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    /* Creates the sibling (mode 0600); false when it cannot be made. */
    bool open();
    bool write(const void *data, size_t length);
    bool write(std::string_view text) { return write(text.data(), text.size()); }
    /* The original's mode and owner (when it exists), fsync, close. */
    bool sync();
    /* Renames the synced sibling over the target. */
    bool install();
    bool commit() { return sync() && install(); }

private:
    std::string target_;
    std::string sibling_;
    bool named_;
    int fd_ = -1;
    bool synced_ = false;
    bool installed_ = false;
};

/* Replaces the file's contents atomically; false, with the file as it was,
 * on any failure. */
bool replaceFile(const std::string &path, std::string_view content);

}  // namespace slm

#endif /* SLM_FILE_REPLACE_H */
