// Message catalogs: finding a catalog file through the NLSPATH templates
// for a locale, reading message texts from it, and a process-wide cache of
// opened catalogs keyed by path.
//
// The file is input from outside, so everything in it is checked before it
// is used: at open the header, and every set record, message array and text
// block lying inside the file with set ids positive and ascending along a
// chain that ends (a cycle cannot); at a set's first use the message ids
// positive and strictly ascending (the lookups bisect) and every text offset
// inside the data with a NUL before its end. A catalog that fails the first
// check does not open; a set that fails the second stays unloaded, is
// marked so that it is not read again, and its messages answer the
// caller's default text. Text areas are sized from the texts themselves
// (2 x length + 1 each), so shared or overlapping texts cannot overrun
// them, and are made once per distinct text: messages that share a text
// share its conversions. A set whose texts would take more than a catalog
// of distinct texts of its size can need (offsets pointing into the middle
// of one long text, say) is refused rather than amplified into memory,
// and loading a set is linear in its size.
//
// Opens are counted: each open adds one, each close takes one, and only a
// catalog at 0 may be evicted from the cache, so a catalog is valid from
// its open to its close. One mutex guards the cache, set loading and the
// conversions into a message's "other" area; a lookup in a loaded set takes
// no lock, so C programs may use the library from several threads and a
// text costs a bisection.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "zil.h"
#include "zil_catfile.h"
#include "zil_internal.h"

using namespace zil::catfile;

namespace {

constexpr int kFlagLocaleFromEnv = 1;
constexpr int kFlagNoTwoLetter = 2;
constexpr int kFlagNoLanguage = 4;
constexpr int kFlagNoC = 8;
constexpr size_t kLocaleSize = 32;

struct MessageEntry {
    int32_t id;
    const char *utf8;
    char *local;
    char *other;
    uint32_t textOffset;
    uint32_t invalid;
};

struct SetEntry {
    MCSetTDisk disk;     // the set record, in host order
    char *block;         // message entries, index and text areas of a loaded set
    MessageEntry *msgs;  // null until the set is loaded (published last)
    bool refused;        // its load failed: not tried again
    // For ids dense enough (the usual case): entry number + 1 by id, up to
    // maxId; null: the lookup bisects.
    uint32_t *index;
    uint32_t maxId;
};

}  // namespace

struct zil_catalog {
    int32_t flags;
    int fd;
    int32_t numSets;
    SetEntry *sets;
    uint64_t fileSize;
};

namespace {

struct CacheEntry {
    std::string path;
    zil_catalog *catalog;
    uint32_t lastUse;
    int32_t openCount;
};

std::mutex cacheMutex;
// Its size is the number of slots. Never destroyed: catalogs cached at exit
// stay reachable (a program may still look a message up in a destructor).
std::vector<CacheEntry *> &catCache = *new std::vector<CacheEntry *>;
uint32_t lookTicker = 0;

bool readAt(int fd, void *buffer, size_t size, uint64_t offset) {
    auto *bytes = static_cast<unsigned char *>(buffer);
    while (size > 0) {
        const ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool inside(uint64_t offset, uint64_t length, uint64_t fileSize) {
    return offset <= fileSize && length <= fileSize - offset;
}

void real_catclose(zil_catalog *catalog) {
    if (catalog == nullptr) return;
    if (catalog->fd >= 0) close(catalog->fd);
    for (int32_t i = 0; i < catalog->numSets; ++i)
        std::free(catalog->sets[i].block);
    std::free(catalog->sets);
    delete catalog;
}

CacheEntry *entryOf(const zil_catalog *catalog) {
    for (CacheEntry *entry : catCache)
        if (entry != nullptr && entry->catalog == catalog) return entry;
    return nullptr;
}

zil_catalog *lookupCat(const std::string &path) {
    for (CacheEntry *entry : catCache) {
        if (entry == nullptr || entry->path != path) continue;
        entry->lastUse = lookTicker++;
        ++entry->openCount;
        return entry->catalog;
    }
    return nullptr;
}

int addCat(const std::string &path, zil_catalog *catalog) {
    auto slot = std::find(catCache.begin(), catCache.end(), nullptr);
    if (slot == catCache.end()) {
        auto oldest = catCache.end();
        for (auto it = catCache.begin(); it != catCache.end(); ++it)
            if ((*it)->openCount == 0 &&
                (oldest == catCache.end() || (*it)->lastUse < (*oldest)->lastUse))
                oldest = it;
        if (oldest != catCache.end()) {
            real_catclose((*oldest)->catalog);
            delete *oldest;
            *oldest = nullptr;
            slot = oldest;
        } else {
            const size_t used = catCache.size();
            const size_t grown = used == 0 ? 10 : used * 2;
            if (grown < used || grown > static_cast<size_t>(INT32_MAX)) return -1;
            try {
                catCache.resize(grown, nullptr);
            } catch (...) {
                return -1;
            }
            slot = catCache.begin() + static_cast<std::ptrdiff_t>(used);
        }
    }
    auto *entry = new (std::nothrow) CacheEntry{path, catalog, lookTicker++, 1};
    if (entry == nullptr) return -1;
    *slot = entry;
    return 0;
}

// Reads and checks the header and the set chain; null when the file is not
// a catalog this reader can trust.
zil_catalog *readCatalog(int fd, int flags) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
    const auto fileSize = static_cast<uint64_t>(status.st_size);
    unsigned char raw[kHeaderSize];
    if (fileSize < kHeaderSize || !readAt(fd, raw, sizeof raw, 0)) return nullptr;
    auto header = fromBytes<MCHeaderT>(raw);
    ntoh_MCHeaderT(header);
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 ||
        header.majorVersion != kMajorVersion || header.numSets == 0 ||
        static_cast<uint64_t>(header.numSets) * kSetSize > fileSize)
        return nullptr;
    std::vector<SetEntry> sets;
    uint64_t offset = header.firstSet;
    uint32_t lastId = 0;
    // Every record read is a different 28 bytes of the file, or the chain
    // loops: so at most fileSize / 28 of them.
    for (uint64_t reads = 0; sets.size() < header.numSets && reads <= fileSize / kSetSize;
         ++reads) {
        unsigned char record[kSetSize];
        if (!inside(offset, kSetSize, fileSize) || !readAt(fd, record, sizeof record, offset))
            return nullptr;
        auto set = fromBytes<MCSetTDisk>(record);
        ntoh_MCSetTDisk(set);
        if (set.invalid == 0) {
            if (set.setId == 0 || set.setId > INT32_MAX || set.setId <= lastId ||
                !inside(set.messages, static_cast<uint64_t>(set.numMessages) * kMessageSize,
                        fileSize) ||
                !inside(set.data, set.dataLength, fileSize))
                return nullptr;
            lastId = set.setId;
            sets.push_back(SetEntry{set, nullptr, nullptr, false, nullptr, 0});
        }
        if (set.nextSet == 0) break;
        offset = set.nextSet;
    }
    if (sets.empty()) return nullptr;
    auto *catalog = new (std::nothrow) zil_catalog{flags, fd, 0, nullptr, fileSize};
    auto *entries = static_cast<SetEntry *>(std::calloc(sets.size(), sizeof(SetEntry)));
    if (catalog == nullptr || entries == nullptr) {
        delete catalog;
        std::free(entries);
        return nullptr;
    }
    std::copy(sets.begin(), sets.end(), entries);
    catalog->sets = entries;
    catalog->numSets = static_cast<int32_t>(sets.size());
    return catalog;
}

zil_catalog *loadCat(const std::string &path, int flags) {
    if (zil_catalog *cached = lookupCat(path)) return cached;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    zil_catalog *catalog = readCatalog(fd, flags);
    if (catalog == nullptr) {
        close(fd);
        return nullptr;
    }
    if (addCat(path, catalog) != 0) {
        real_catclose(catalog);
        return nullptr;
    }
    return catalog;
}

// The most a set's conversion areas may take: twice what distinct texts of
// its size need, with room for short sets.
uint64_t areaLimit(const MCSetTDisk &disk) {
    return 8 * static_cast<uint64_t>(disk.dataLength) +
           4 * static_cast<uint64_t>(disk.numMessages) + 4096;
}

// The length of the text at each of the sorted offsets, found in one pass
// from the end of the data; false when a text has no NUL before the end.
bool textLengths(const std::vector<unsigned char> &data, const std::vector<uint32_t> &offsets,
                 std::vector<uint32_t> &lengths) {
    lengths.assign(offsets.size(), 0);
    size_t nul = data.size();  // the first NUL at or after the position, or none
    size_t next = offsets.size();
    for (size_t pos = data.size(); pos-- > 0 && next > 0;) {
        if (data[pos] == '\0') nul = pos;
        for (; next > 0 && offsets[next - 1] == pos; --next) {
            if (nul == data.size()) return false;
            lengths[next - 1] = static_cast<uint32_t>(nul - pos);
        }
    }
    return next == 0;
}

// Loads a set's messages and texts; false (the set stays unloaded) when the
// file cannot be read, its contents cannot be trusted or its texts would
// take too much memory.
bool loadSet(const zil_catalog &catalog, SetEntry &set) {
    const MCSetTDisk &disk = set.disk;
    std::vector<unsigned char> data(disk.dataLength),
        records(static_cast<size_t>(disk.numMessages) * kMessageSize);
    if (!readAt(catalog.fd, data.data(), data.size(), disk.data) ||
        !readAt(catalog.fd, records.data(), records.size(), disk.messages))
        return false;
    std::vector<MCMsgTDisk> messages(disk.numMessages);
    std::vector<uint32_t> offsets;  // the distinct texts, sorted
    for (uint32_t i = 0; i < disk.numMessages; ++i) {
        MCMsgTDisk &m = messages[i];
        m = fromBytes<MCMsgTDisk>(records.data() + static_cast<size_t>(i) * kMessageSize);
        ntoh_MCMsgTDisk(m);
        if (m.msgId == 0 || m.msgId > INT32_MAX || (i > 0 && m.msgId <= messages[i - 1].msgId) ||
            m.text >= disk.dataLength)
            return false;
        offsets.push_back(m.text);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    std::vector<uint32_t> lengths;
    if (!textLengths(data, offsets, lengths)) return false;
    uint64_t areas = 0;  // the local and other areas of each distinct text
    for (uint32_t length : lengths)
        areas += 2 * (2 * static_cast<uint64_t>(length) + 1);
    if (areas > areaLimit(disk)) return false;
    const uint32_t maxId = disk.numMessages > 0 ? messages.back().msgId : 0;
    const bool indexed = maxId <= 4 * static_cast<uint64_t>(disk.numMessages) + 64;
    const uint64_t indexSize = indexed ? (static_cast<uint64_t>(maxId) + 1) * sizeof(uint32_t) : 0;
    const uint64_t size = static_cast<uint64_t>(disk.numMessages) * sizeof(MessageEntry) +
                          indexSize + disk.dataLength + areas;
    if (size > SIZE_MAX / 2) return false;
    auto *block = static_cast<char *>(std::malloc(static_cast<size_t>(size) + 1));
    if (block == nullptr) return false;
    auto *entries = reinterpret_cast<MessageEntry *>(block);
    auto *index = reinterpret_cast<uint32_t *>(block + static_cast<size_t>(disk.numMessages) *
                                                           sizeof(MessageEntry));
    if (indexed) std::memset(index, 0, static_cast<size_t>(indexSize));
    char *text = reinterpret_cast<char *>(index) + indexSize;
    if (!data.empty()) std::memcpy(text, data.data(), data.size());
    // Each distinct text converted once, its areas shared by its messages.
    std::vector<char *> locals(offsets.size());
    char *area = text + disk.dataLength;
    for (size_t t = 0; t < offsets.size(); ++t) {
        locals[t] = area;
        zil_u2s(nullptr, text + offsets[t], &locals[t]);  // the default codeset, at load time
        const size_t room = 2 * static_cast<size_t>(lengths[t]) + 1;
        area[room] = '\0';  // the "other" area starts empty
        area += 2 * room;
    }
    for (uint32_t i = 0; i < disk.numMessages; ++i) {
        const MCMsgTDisk &m = messages[i];
        const size_t t = static_cast<size_t>(
            std::lower_bound(offsets.begin(), offsets.end(), m.text) - offsets.begin());
        MessageEntry &entry = entries[i];
        entry.id = static_cast<int32_t>(m.msgId);
        entry.utf8 = text + m.text;
        entry.textOffset = m.text;
        entry.invalid = m.invalid;
        entry.local = locals[t];
        entry.other = locals[t] + 2 * static_cast<size_t>(lengths[t]) + 1;
        if (indexed) index[m.msgId] = i + 1;
    }
    set.block = block;
    set.index = indexed ? index : nullptr;
    set.maxId = maxId;
    __atomic_store_n(&set.msgs, entries, __ATOMIC_RELEASE);  // published whole
    return true;
}

// The set of that id, loaded when it is not yet: the loaded messages are
// published with a release store, so a lookup that finds them needs no lock.
SetEntry *MCGetSet(zil_catalog &catalog, int setId) {
    if (setId < 1) return nullptr;
    SetEntry *end = catalog.sets + catalog.numSets;
    SetEntry *found = std::lower_bound(catalog.sets, end, setId, [](const SetEntry &s, int id) {
        return static_cast<int64_t>(s.disk.setId) < id;
    });
    if (found == end || static_cast<int64_t>(found->disk.setId) != setId) return nullptr;
    if (__atomic_load_n(&found->msgs, __ATOMIC_ACQUIRE) != nullptr) return found;
    std::lock_guard<std::mutex> guard(cacheMutex);
    if (found->msgs != nullptr) return found;
    if (found->refused || !loadSet(catalog, *found)) {
        found->refused = true;  // a failed load, memory short included, is not repeated
        return nullptr;
    }
    return found;
}

MessageEntry *findMessage(SetEntry &set, int messageId) {
    MessageEntry *msgs = __atomic_load_n(&set.msgs, __ATOMIC_ACQUIRE);
    if (messageId < 1 || msgs == nullptr) return nullptr;
    if (set.index != nullptr) {
        if (static_cast<uint32_t>(messageId) > set.maxId) return nullptr;
        const uint32_t at = set.index[messageId];
        return at != 0 ? msgs + at - 1 : nullptr;
    }
    MessageEntry *end = msgs + set.disk.numMessages;
    MessageEntry *found = std::lower_bound(msgs, end, messageId,
                                           [](const MessageEntry &m, int id) { return m.id < id; });
    return found != end && found->id == messageId ? found : nullptr;
}

// The language, territory and codeset parts of a locale name.
std::string_view languageOf(std::string_view locale) {
    const size_t cut =
        locale.find('_') != std::string_view::npos ? locale.find('_') : locale.find('.');
    return locale.substr(0, cut);
}
std::string_view territoryOf(std::string_view locale) {
    const size_t underscore = locale.find('_');
    if (underscore == std::string_view::npos) return {};
    const std::string_view rest = locale.substr(underscore + 1);
    return rest.substr(0, rest.find('.'));
}
std::string_view codesetOf(std::string_view locale) {
    const size_t dot = locale.find('.');
    return dot == std::string_view::npos ? std::string_view() : locale.substr(dot + 1);
}

// A locale part that would leave the template's directory ("/" inside it,
// or a ".." component) is never put into a path: the locale comes from
// the caller or the environment, not from whoever wrote NLSPATH.
bool climbsOut(std::string_view part) {
    return part.find('/') != std::string_view::npos || part == "..";
}

// Expands one template for this attempt; true when the result is a cached
// path or an existing file. A result beyond PATH_MAX is no candidate, and
// neither is a template whose locale part would climb out (it is skipped).
bool try_path(std::string_view pathTemplate, std::string_view locale, std::string_view name,
              std::string &output) {
    output.clear();
    for (size_t i = 0; i < pathTemplate.size(); ++i) {
        const char c = pathTemplate[i];
        const char next = i + 1 < pathTemplate.size() ? pathTemplate[i + 1] : '\0';
        std::string_view part;
        bool replaced = c == '%';
        switch (c == '%' ? next : '\0') {
            case 'N':
                part = name;
                break;
            case 'L':
                part = locale;
                break;
            case 'l':
                part = languageOf(locale);
                break;
            case 't':
                part = territoryOf(locale);
                break;
            case 'c':
                part = codesetOf(locale);
                break;
            default:
                replaced = false;
        }
        if (replaced) {
            if (next != 'N' && climbsOut(part)) return false;
            output += part;
            ++i;
        } else {
            output += c;
        }
        if (output.size() >= PATH_MAX) return false;
    }
    if (output.empty()) return false;
    for (const CacheEntry *entry : catCache)
        if (entry != nullptr && entry->path == output) return true;
    struct stat status {};
    return stat(output.c_str(), &status) == 0;
}

std::vector<std::string> templatesOf(const std::string &list) {
    std::vector<std::string> templates;
    std::string current;
    const std::string text = list + ":";
    for (const char c : text) {
        // A ":" as the second character is a drive letter's, inside the template.
        if (c == ';' || (c == ':' && current.size() != 1)) {
            templates.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return templates;
}

zil_catalog *catopen2(const char *name, int flags, const std::string &pathList,
                      const std::string &locale) {
    if (name == nullptr || *name == '\0') return nullptr;
    const std::string_view given = name;
    if (given.find_first_of("/\\") != std::string_view::npos) {
        struct stat status {};
        return stat(name, &status) == 0 ? loadCat(name, flags) : nullptr;
    }
    char canonical[kLocaleSize] = "", language[kLocaleSize] = "";
    zil_canonical_loc(locale.c_str(), canonical, sizeof canonical);
    zil_canonical_lang(locale.c_str(), language, sizeof language);
    const std::string full = canonical;
    const std::string twoLetter = full.size() > 2 ? full.substr(0, 2) : std::string();
    const std::string lang = full == language ? std::string() : std::string(language);
    std::string path;
    for (const std::string &pathTemplate : templatesOf(pathList)) {
        if (try_path(pathTemplate, full, given, path)) return loadCat(path, flags);
        if (!twoLetter.empty() && (flags & kFlagNoTwoLetter) == 0 &&
            try_path(pathTemplate, twoLetter, given, path))
            return loadCat(path, flags);
        if (!lang.empty() && (flags & kFlagNoLanguage) == 0 &&
            try_path(pathTemplate, lang, given, path))
            return loadCat(path, flags);
        if ((flags & kFlagNoC) == 0 && try_path(pathTemplate, "C", given, path))
            return loadCat(path, flags);
    }
    return nullptr;
}

std::string chosenLocale(int flags, const char *locale) {
    if (locale != nullptr) return std::string(locale).substr(0, kLocaleSize - 1);
    if ((flags & kFlagLocaleFromEnv) != 0) {
        for (const char *variable : {"LC_ALL", "LC_MESSAGES"})
            if (const char *value = std::getenv(variable))
                return std::string(value).substr(0, kLocaleSize - 1);
    }
    const char *lang = std::getenv("LANG");
    return std::string(lang != nullptr && *lang != '\0' ? lang : "C").substr(0, kLocaleSize - 1);
}

}  // namespace

extern "C" {

zil_catd zil_catopen(const char *name, int flags, const char *locale) {
    const std::string chosen = chosenLocale(flags, locale);
    const char *nlspath = zil_get_nlspath();
    std::string pathList = nlspath != nullptr && *nlspath != '\0' ? nlspath : "%N.cat";
    // The installed catalogs come last, so an installed library finds them
    // with no variable set and NLSPATH still overrides them.
    const std::string installed = zil::installedDataDir();
    if (!installed.empty())
        pathList += ":" + installed + "/nls/%L/%N.cat:" + installed + "/nls/C/%N.cat";
    try {
        std::lock_guard<std::mutex> guard(cacheMutex);
        return catopen2(name, flags, pathList, chosen);
    } catch (...) {  // memory short
        return nullptr;
    }
}

const char *zil_catgets(zil_catd catalog, int set, int message, const char *defaultText,
                        uc_ch_t *cs) {
    if (catalog == nullptr) return defaultText;
    try {
        // A catalog its caller holds open is never evicted, and its set
        // table and loaded texts never change: only loading a set and the
        // conversion into a message's shared "other" area take the lock.
        SetEntry *found = MCGetSet(*catalog, set);
        MessageEntry *entry = found != nullptr ? findMessage(*found, message) : nullptr;
        if (entry == nullptr) return defaultText;
        if (cs == nullptr) return entry->local;
        if (cs == utf8_cs || std::strcmp(cs->name, utf8_cs->name) == 0) return entry->utf8;
        std::lock_guard<std::mutex> guard(cacheMutex);
        return zil_u2s(cs, entry->utf8, &entry->other);
    } catch (...) {
        return defaultText;
    }
}

int zil_catclose(zil_catd catalog) {
    if (catalog == nullptr) return -1;
    std::lock_guard<std::mutex> guard(cacheMutex);
    CacheEntry *entry = entryOf(catalog);
    if (entry == nullptr || entry->openCount == 0) return -1;
    --entry->openCount;
    return 0;
}

// Releases this catalog and every cached catalog nobody holds open; the
// open ones stay cached with their files.
int zil_catclose_fully(zil_catd catalog) {
    if (catalog == nullptr) return -1;
    std::lock_guard<std::mutex> guard(cacheMutex);
    for (CacheEntry *&entry : catCache) {
        if (entry == nullptr || (entry->catalog != catalog && entry->openCount > 0)) continue;
        real_catclose(entry->catalog);
        delete entry;
        entry = nullptr;
    }
    return 0;
}

}  // extern "C"
