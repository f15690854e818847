// Library state and codeset handles.
//
// The default codeset (def_cs) and the operating system's locale codeset
// (os_loc_cs) are opened by zil_init. zil_uninit frees only the handles the
// library opened itself: a handle a caller installed with zil_set_def_cs
// stays the caller's, so the caller's own zil_cs_free cannot free it twice.
//
// A handle holds a reference to its table's image, which every handle of
// the same file shares (zil_tableshare.h); duplicates hold one too, so the
// image lives as long as any handle on it, in whatever order they are freed.
//
// Environment variables are set with setenv/unsetenv, which copy, so no
// string the environment still refers to is ever freed; nls_path and zildir
// keep the "NAME=value" texts for callers that look at them.

#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zil_internal.h"
#include "zil_table.h"
#include "zil_tableshare.h"

extern "C" {
uc_ch_t os_uc_ch_t = {nullptr, ZIL_KIND_OS, "OS", 0, 0, 0, 0, 0};
uc_ch_t utf8_uc_ch_t = {nullptr, ZIL_KIND_UTF8, "UTF8", 0, 0, 0, 0, 0};
uc_ch_t *const os_cs = &os_uc_ch_t;
uc_ch_t *const utf8_cs = &utf8_uc_ch_t;
const char zil_version[16] = "ZIL Version 2.3";
}

namespace zil {
namespace {

unsigned char zil_initialized = 0;
uc_ch_t *def_cs = &os_uc_ch_t;
uc_ch_t *os_loc_cs = &os_uc_ch_t;
// The handles the library opened itself for def_cs and os_loc_cs: freed by
// zil_uninit unless a caller freed them first, even after a caller installed
// another default.
uc_ch_t *libraryDef = nullptr;
uc_ch_t *libraryOsLoc = nullptr;
std::string nls_path;  // "NLSPATH=..." last set, empty when none
std::string zildir;    // "ZILDIR=..." last set

constexpr size_t kNameBufferSize = 128;
constexpr size_t kPathBufferSize = 256;
constexpr int kMaxLoadSteps = 5;

const char *platformLanginfo() { return nl_langinfo(CODESET); }
LanginfoSource langinfoSource = platformLanginfo;

bool isStatic(const uc_ch_t *handle) { return handle == &os_uc_ch_t || handle == &utf8_uc_ch_t; }

// The operating system's codeset name, after setting the locale from the
// environment.
void osCodesetName(char *buffer, size_t size) {
    if (size == 0) return;
    std::setlocale(LC_ALL, "");
    const char *name = langinfoSource();
    if (name == nullptr || *name == '\0') name = "ISO88591";
    std::strncpy(buffer, name, size - 1);
    buffer[size - 1] = '\0';
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool asciiAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The content of an alias file: the name of another file, without white
// space and control characters, read as UTF-8 into at most 31 bytes.
std::string aliasTarget(const std::string &content) {
    char converted[ZIL_CS_NAME_SIZE] = {};
    zil_from_utf8(nullptr, content.data(), static_cast<int>(content.size()), converted,
                  sizeof converted - 1, nullptr);
    std::string name;
    for (const char *c = converted; *c != '\0'; ++c) {
        const auto u = static_cast<unsigned char>(*c);
        if (!std::isspace(u) && !std::iscntrl(u)) name += *c;
    }
    return name;
}

// Alias files name another file in a few bytes; the first ones are all
// that can matter (the name is cut to 31 bytes after conversion anyway).
constexpr size_t kAliasReadLimit = 256;

// Loads the table for `name` from `directory`, following alias files.
// Returns a shared image the handle holds one reference to, or null.
const unsigned char *loadTable(const std::string &directory, const std::string &name,
                               uint32_t &size) {
    size = 0;
    if (directory.size() + name.size() + 2 >= kPathBufferSize) return nullptr;
    std::string path = directory + name;
    for (int step = 0; step < kMaxLoadSteps; ++step) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        struct stat info {};
        std::string alias;
        const unsigned char *table = nullptr;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            table = acquireTable(fd, info, size, alias, kAliasReadLimit);
        close(fd);
        if (table != nullptr) return table;
        const size_t slash = path.rfind('/');
        const std::string target = aliasTarget(alias);
        if (target.empty()) return nullptr;
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
        if (path.size() >= kPathBufferSize) return nullptr;  // would not fit: like a missing table
    }
    return nullptr;
}

// The search: $ZILDIR/codeset/, $ZILDIR/, $BINDIR/../generic/codeset/, the
// name itself, and last the installed data directory, so an installed
// library finds its tables with no variable set.
const unsigned char *findTable(const std::string &name, uint32_t &size) {
    const std::string dir = zil_get_dir();
    if (!dir.empty() && dir.size() + 10 < 255) {
        if (auto *table = loadTable(dir + "/codeset/", name, size)) return table;
    }
    if (!dir.empty() && dir.size() + 2 < 255) {
        if (auto *table = loadTable(dir + "/", name, size)) return table;
    }
    const char *bindir = std::getenv("BINDIR");
    if (bindir != nullptr && *bindir != '\0' && std::strlen(bindir) + 21 < 255) {
        if (auto *table = loadTable(std::string(bindir) + "/../generic/codeset/", name, size))
            return table;
    }
    if (auto *table = loadTable("", name, size)) return table;
    const std::string installed = installedDataDir();
    if (installed.empty()) return nullptr;
    return loadTable(installed + "/generic/codeset/", name, size);
}

// Puts NAME=value into the environment, remembering the text.
void publish(const char *variable, const std::string &value, std::string &remembered) {
    setenv(variable, value.c_str(), 1);
    remembered = std::string(variable) + "=" + value;
}

}  // namespace

uc_ch_t *resolveHandle(uc_ch_t *handle) {
    if (handle != nullptr) return handle;
    zil_init();
    return def_cs;
}

int normalizeName(const char *name, char *output, size_t size) {
    if (size == 0) return 1;
    std::string upper = name != nullptr ? name : "";
    for (char &c : upper)
        c = asciiUpper(c);
    if (upper == "DOS" || upper == "WIN" || upper == "OS") {
        char os[kNameBufferSize];
        osCodesetName(os, sizeof os);
        upper = os;
        for (char &c : upper)
            c = asciiUpper(c);
    }
    if (upper.rfind("NUV", 0) == 0) upper.erase(0, 3);
    size_t length = 0;
    for (char c : upper)
        if (asciiAlnum(c) && length + 1 < size) output[length++] = c;
    output[length] = '\0';
    return 0;
}

std::string installedDataDir() {
#ifdef ZIL_INSTALLED_DATA_DIR
    return ZIL_INSTALLED_DATA_DIR;
#else
    return {};
#endif
}

uc_ch_t *osLocaleHandle() {
    zil_init();
    return os_loc_cs;
}

void setLanginfoSource(LanginfoSource source) {
    langinfoSource = source != nullptr ? source : platformLanginfo;
}

}  // namespace zil

using namespace zil;

extern "C" {

int zil_init(void) {
    if (zil_initialized) return 0;
    zil_initialized = 1;  // first, so nested calls return at once

    const char *wanted = std::getenv("ZIL_CODESET");
    char name[kNameBufferSize];
    normalizeName(wanted != nullptr && *wanted != '\0' ? wanted : "OS", name, sizeof name);
    uc_ch_t *handle = zil_cs_new(name);
    if (handle == nullptr) handle = zil_cs_new("DEFAULT");
    if (handle != nullptr) {
        def_cs = handle;
        if (!isStatic(handle)) libraryDef = handle;
    }

    normalizeName("OS", name, sizeof name);
    handle = zil_cs_new(name);
    if (handle == nullptr) handle = zil_cs_new("OSDEFAULT");
    if (handle != nullptr) {
        os_loc_cs = handle;
        if (!isStatic(handle)) libraryOsLoc = handle;
    }
    return 0;
}

int zil_uninit(void) {
    if (!zil_initialized) return 0;
    zil_initialized = 0;
    uc_ch_t *defHandle = libraryDef;
    uc_ch_t *osHandle = libraryOsLoc != libraryDef ? libraryOsLoc : nullptr;
    libraryDef = libraryOsLoc = nullptr;
    def_cs = os_loc_cs = &os_uc_ch_t;
    zil_cs_free(defHandle);
    zil_cs_free(osHandle);
    if (!nls_path.empty()) unsetenv("NLSPATH");
    if (!zildir.empty()) unsetenv("ZILDIR");
    nls_path.clear();
    zildir.clear();
    return 0;
}

int zil_os_cs_name(char *buffer, size_t size) {
    if (buffer == nullptr) return 0;
    normalizeName("OS", buffer, size);
    return 0;
}

int zil_set_nlspath(const char *pathTemplate) {
    if (pathTemplate == nullptr) return 0;
    publish("NLSPATH", pathTemplate, nls_path);
    return 0;
}

int zil_prepend_nlspath(const char *pathTemplate) {
    if (pathTemplate == nullptr) return 0;
    const std::string old = zil_get_nlspath();
    publish("NLSPATH", std::string(pathTemplate) + ":" + old, nls_path);
    return 0;
}

const char *zil_get_nlspath(void) {
    const char *value = std::getenv("NLSPATH");
    return value != nullptr ? value : "";
}

int zil_set_dir(const char *directory) {
    if (directory == nullptr) return 0;
    publish("ZILDIR", directory, zildir);
    return 0;
}

const char *zil_get_dir(void) {
    const char *value = std::getenv("ZILDIR");
    return value != nullptr ? value : "";
}

uc_ch_t *zil_cs_new(const char *name) {
    if (name == nullptr) return nullptr;
    char normalized[kNameBufferSize];
    const bool isPath = std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr;
    if (isPath) {
        if (std::strlen(name) >= kPathBufferSize) return nullptr;
    } else {
        normalizeName(name, normalized, sizeof normalized);
        name = normalized;
    }
    if (std::strcmp(name, "UTF8") == 0) return &utf8_uc_ch_t;

    auto *handle = static_cast<uc_ch_t *>(std::calloc(1, sizeof(uc_ch_t)));
    if (handle == nullptr) return nullptr;
    if (std::strcmp(name, "INTERNAL37") == 0) {
        handle->kind = ZIL_KIND_OS;
        return handle;
    }
    uint32_t size = 0;
    const unsigned char *table = findTable(name, size);
    if (table == nullptr) {
        std::free(handle);
        return nullptr;
    }
    handle->table = table;
    handle->table_size = size;
    handle->kind = tableKind(table);
    std::memcpy(handle->name, table + kNameOffset, ZIL_CS_NAME_SIZE);  // NUL checked at load
    return handle;
}

int zil_cs_free(uc_ch_t *handle) {
    if (handle == nullptr || isStatic(handle)) return 0;
    if (handle == def_cs) def_cs = &os_uc_ch_t;
    if (handle == os_loc_cs) os_loc_cs = &os_uc_ch_t;
    if (handle == libraryDef) libraryDef = nullptr;
    if (handle == libraryOsLoc) libraryOsLoc = nullptr;
    if (handle->table != nullptr) releaseTable(handle->table);
    std::free(handle);
    return 0;
}

uc_ch_t *zil_dup_handle(uc_ch_t *handle) {
    handle = resolveHandle(handle);
    auto *copy = static_cast<uc_ch_t *>(std::malloc(sizeof(uc_ch_t)));
    if (copy == nullptr) return nullptr;
    *copy = *handle;
    copy->subst_count = 0;
    copy->from_state = copy->to_state = 0;
    copy->shared = 1;
    if (copy->table != nullptr) retainTable(copy->table);
    return copy;
}

const void *zil_cs_table(uc_ch_t *handle, uint32_t *size) {
    handle = resolveHandle(handle);
    if (size != nullptr) *size = handle->table != nullptr ? handle->table_size : 0;
    return handle->table;
}

int zil_set_def_cs(uc_ch_t *handle) {
    zil_init();
    def_cs = handle != nullptr ? handle : &os_uc_ch_t;
    return 0;
}

uc_ch_t *zil_get_def_cs(void) {
    zil_init();
    return def_cs;
}

const char *zil_get_cs_name(uc_ch_t *handle) { return resolveHandle(handle)->name; }

void zil_free(void *memory) { std::free(memory); }

}  // extern "C"
