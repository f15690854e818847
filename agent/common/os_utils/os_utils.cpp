// Users, groups, symbolic links and the codeset set-up.
//
// The reentrant user and group look-ups start with a 16 KiB buffer and grow
// it while the system answers ERANGE.

#include "os_utils.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

extern "C" {
char zilDir[1024] = {};
char nlsDir[1024] = {};
uc_ch_t *default_codeset = nullptr;
uc_ch_t *utf8_codeset = nullptr;
}

namespace {

constexpr size_t kFirstBuffer = 16 * 1024;
constexpr size_t kMaxPath = 1024;

// Runs a reentrant look-up, growing its buffer on ERANGE; the name found.
template <class Lookup>
bool lookUp(Lookup lookup, std::string &name) {
    std::vector<char> buffer(kFirstBuffer);
    for (;;) {
        const char *found = nullptr;
        const int rc = lookup(buffer, found);
        if (rc == ERANGE && buffer.size() < (1u << 24)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || found == nullptr) return false;
        name = found;
        return true;
    }
}

bool userName(uid_t uid, std::string &name) {
    return lookUp(
        [uid](std::vector<char> &buffer, const char *&found) {
            passwd entry{}, *result = nullptr;
            const int rc = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result);
            found = result != nullptr ? result->pw_name : nullptr;
            return rc;
        },
        name);
}

bool groupName(gid_t gid, std::string &name) {
    return lookUp(
        [gid](std::vector<char> &buffer, const char *&found) {
            group entry{}, *result = nullptr;
            const int rc = getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &result);
            found = result != nullptr ? result->gr_name : nullptr;
            return rc;
        },
        name);
}

// The name in UTF-8 or, when there is none or nothing converts, the number.
int nameOrNumber(bool found, const std::string &name, unsigned long number, char *buffer,
                 size_t size) {
    if (buffer == nullptr || size < 10) return -1;
    if (found && zil_to_utf8(default_codeset, name.c_str(), -1, buffer,
                             static_cast<int>(std::min<size_t>(size, INT32_MAX)), nullptr) > 1)
        return 0;
    std::snprintf(buffer, size, "%lu", number);
    return 0;
}

int kindOf(mode_t mode) {
    if (S_ISREG(mode)) return 1;
    if (S_ISDIR(mode)) return 2;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return 3;
    if (S_ISFIFO(mode)) return 4;
    if (S_ISSOCK(mode)) return 5;
    return -1;
}

}  // namespace

extern "C" {

int slm_get_user_name(uid_t uid, char *buffer, size_t size) {
    std::string name;
    const bool found = userName(uid, name);
    return nameOrNumber(found, name, uid, buffer, size);
}

int slm_get_user_group(gid_t gid, char *buffer, size_t size) {
    std::string name;
    const bool found = groupName(gid, name);
    return nameOrNumber(found, name, gid, buffer, size);
}

int slm_get_user_group_by_name(const char *name, char *buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    gid_t gid = 0;
    std::string user;
    bool found = name != nullptr && lookUp(
                                        [name, &gid](std::vector<char> &storage, const char *&out) {
                                            passwd entry{}, *result = nullptr;
                                            const int rc = getpwnam_r(name, &entry, storage.data(),
                                                                      storage.size(), &result);
                                            if (result != nullptr) gid = result->pw_gid;
                                            out = result != nullptr ? result->pw_name : nullptr;
                                            return rc;
                                        },
                                        user);
    std::string group;
    found = found && groupName(gid, group);
    const std::string text = found ? group : "not available";
    std::snprintf(buffer, size, "%s", text.c_str());
    return 0;
}

int slm_resolve_symlink(const char *path, char *buffer, size_t size) {
    if (path == nullptr || buffer == nullptr || size == 0) return -1;
    std::string current = path;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (;;) {
        if (current.size() >= kMaxPath) return -3;
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) return -1;
        if (!seen.insert({info.st_dev, info.st_ino}).second) return -2;  // met twice: a loop
        if (!S_ISLNK(info.st_mode)) {
            if (current.size() >= size) return -3;
            std::memcpy(buffer, current.c_str(), current.size() + 1);
            return kindOf(info.st_mode);
        }
        char target[kMaxPath + 1];
        const ssize_t length = readlink(current.c_str(), target, kMaxPath);  // no terminator
        if (length < 0) return -1;
        if (static_cast<size_t>(length) >= kMaxPath) return -3;
        target[length] = '\0';
        if (target[0] == '/') {
            current = target;
        } else {
            const size_t slash = current.rfind('/');
            current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) +
                      target;
        }
    }
}

int slmLocalizationInit(void) {
    zil_init();
    if (zilDir[0] != '\0') zil_set_dir(zilDir);
    if (nlsDir[0] != '\0') zil_set_nlspath(nlsDir);
    char name[128];
    zil_os_cs_name(name, sizeof name);
    default_codeset = zil_cs_new(name);
    if (default_codeset == nullptr) default_codeset = zil_dup_handle(nullptr);
    zil_set_def_cs(default_codeset);
    utf8_codeset = zil_cs_new("utf-8");
    return 1;
}

void slmLocalizationFree(void) {
    zil_set_def_cs(nullptr);
    zil_cs_free(default_codeset);
    zil_cs_free(utf8_codeset);
    default_codeset = utf8_codeset = nullptr;
    zil_uninit();
}

int initOsUtils(void) { return 0; }
int closeOsUtils(void) { return 0; }

}  // extern "C"
