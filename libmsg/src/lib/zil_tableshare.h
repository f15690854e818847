// Table images shared by every handle opened on the same file.
//
// A table with its derived look-up data takes from a few KiB to about
// 1 MiB (GB18030), and a program opens one handle per log file that names
// a codeset, so every handle of one file holds one image: the first open
// reads, checks and derives it, later ones only count a reference, and the
// last release frees it. A file is known by its device, inode, size and
// modification time, so a table replaced on disk is read afresh. The file
// is mapped to be checked, and only the bytes the table's layout reaches
// are copied: whatever is appended to a table costs no memory. Only
// opening and freeing take the registry's lock; conversions read the image
// and never touch the registry.
#ifndef ZIL_TABLESHARE_H
#define ZIL_TABLESHARE_H

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace zil {

// The image of the table file open on `fd` (described by `info`), with one
// more reference, and the table's size; null when the file is not a table (its
// first bytes, at most `aliasLimit` of them, are then in `alias`) or is a
// damaged one (`alias` stays empty).
const unsigned char *acquireTable(int fd, const struct stat &info, uint32_t &size,
                                  std::string &alias, size_t aliasLimit);
// One more reference to an image acquireTable handed out.
void retainTable(const unsigned char *image);
// Drops a reference; the last one frees the image.
void releaseTable(const unsigned char *image);

}  // namespace zil

#endif  // ZIL_TABLESHARE_H
