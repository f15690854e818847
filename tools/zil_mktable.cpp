// zil_mktable: builds the codeset table files the zil library loads, from
// the mappings of glibc's iconv (part of the C library, so nothing is added
// to the product's dependencies).
//
//   zil_mktable tables MANIFEST OUTDIR     one table per manifest line, and
//                                          its alias files
//   zil_mktable ebcdic MANIFEST OUT.cpp    the library's built-in EBCDIC tables
//
// A table is written only when it keeps the rules the library relies on:
// ASCII bytes map to themselves in ASCII-based families, every row is
// addressable with a 16-bit row value, the name fits its 32-byte field.
// Whatever breaks a rule stops the build with a message.

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char *kUsage =
    "Usage: zil_mktable tables MANIFEST OUTDIR\n"
    "       zil_mktable ebcdic MANIFEST OUT.cpp\n"
    "       zil_mktable --help | --version\n"
    "Builds the codeset tables the zil library loads from glibc's iconv mappings:\n"
    "\"tables\" writes one table (and its alias files) per line of MANIFEST into\n"
    "OUTDIR; \"ebcdic\" writes the library's built-in EBCDIC tables as C++ source.\n"
    "A page that breaks a rule the library relies on is refused with the reason\n"
    "(exit status 1); a wrong command line exits 2. See zil_mktable(1).\n";

constexpr uint16_t kUnmapped = 0xFFFF;
constexpr size_t kFromRows = 224, kToUnicode = 736, kByteInfo = 1248, kArea = 1504;

[[noreturn]] void fail(const std::string &message) {
    std::fprintf(stderr, "zil_mktable: %s\n", message.c_str());
    std::exit(1);
}

struct Codeset {
    std::string file, name, iconvName;
    int family = 0;
    uint8_t substByte = 0;
    uint16_t substUnicode = 0;
    uint16_t scheme = 0;
    std::vector<std::string> aliases;
};

// Converts bytes with iconv; false when the input has no mapping.
bool convert(iconv_t cd, const std::string &input, std::string &output) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[16], out[16];
    std::memcpy(in, input.data(), input.size());
    char *inp = in, *outp = out;
    size_t inLeft = input.size(), outLeft = sizeof out;
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return false;
    output.assign(out, sizeof out - outLeft);
    return true;
}

// One codeset's two directions through iconv.
class IconvPair {
public:
    static constexpr int64_t kNoMapping = -1;
    static constexpr int64_t kIncomplete = -2;  // the bytes start a longer character
    static constexpr int64_t kHeldBack = -3;    // consumed, but kept to compose with what follows

    explicit IconvPair(const std::string &name)
        : to_(iconv_open("UTF-32LE", name.c_str())), from_(iconv_open(name.c_str(), "UTF-32LE")) {
        if (to_ == kClosed || from_ == kClosed) fail("iconv does not know " + name);
    }
    ~IconvPair() {
        iconv_close(to_);
        iconv_close(from_);
    }
    IconvPair(const IconvPair &) = delete;
    IconvPair &operator=(const IconvPair &) = delete;

    // The code point of one character's bytes, kNoMapping or kIncomplete.
    int64_t decode(const std::string &bytes) const {
        iconv(to_, nullptr, nullptr, nullptr, nullptr);
        char in[16], out[16];
        std::memcpy(in, bytes.data(), bytes.size());
        char *ip = in, *op = out;
        size_t inLeft = bytes.size(), outLeft = sizeof out;
        if (iconv(to_, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1))
            return errno == EINVAL ? kIncomplete : kNoMapping;
        if (inLeft == 0 && outLeft == sizeof out) return kHeldBack;
        if (inLeft != 0 || sizeof out - outLeft != 4) return kNoMapping;
        uint32_t value;
        std::memcpy(&value, out, 4);
        return value;
    }
    // The bytes of a code point; false when it has no mapping.
    bool encode(uint32_t value, std::string &bytes) const {
        std::string in(4, '\0');
        std::memcpy(in.data(), &value, 4);
        return convert(from_, in, bytes);
    }

private:
    static inline const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);
    iconv_t to_, from_;
};

struct Mapping {
    uint16_t toUnicode[256];
    std::vector<int> fromUnicode;  // per BMP value: the byte, or -1
    int heldBack = -1;             // the first byte iconv keeps back (a shift, a composition)
};

Mapping readMapping(const std::string &iconvName) {
    const IconvPair iconvPair(iconvName);
    Mapping m;
    for (int b = 0; b < 256; ++b) {
        const int64_t value = iconvPair.decode(std::string(1, static_cast<char>(b)));
        if (value == IconvPair::kHeldBack && m.heldBack < 0) m.heldBack = b;
        m.toUnicode[b] = kUnmapped;
        if (value < 0) continue;
        if (value >= 0xFFFF) fail(iconvName + ": byte maps outside the BMP");
        m.toUnicode[b] = static_cast<uint16_t>(value);
    }
    m.fromUnicode.assign(0x10000, -1);
    for (uint32_t value = 0; value < 0xFFFF; ++value) {
        if (value >= 0xD800 && value <= 0xDFFF) continue;
        std::string out;
        if (iconvPair.encode(value, out) && out.size() == 1)
            m.fromUnicode[value] = static_cast<uint8_t>(out[0]);
    }
    return m;
}

void put16(std::vector<uint8_t> &t, size_t at, uint16_t v) {
    t[at] = static_cast<uint8_t>(v);
    t[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t> &t, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        t[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool normalizedName(const std::string &name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// EBCDIC pages share the letters, digits and blank with code page 1047,
// which the library reads through its built-in table; a page that moves one
// of them (IBM930's katakana take the small letters' places) does not fit.
void requireEbcdicCore(const Codeset &cs, const uint16_t *toUnicode) {
    static const Mapping cp1047 = readMapping("IBM1047");
    for (int b = 0; b < 256; ++b) {
        const uint16_t c = cp1047.toUnicode[b];
        const bool core =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
        if (core && toUnicode[b] != c) {
            char where[64];
            std::snprintf(where, sizeof where, "byte 0x%02X reads U+%04X, not '%c'", b,
                          toUnicode[b], static_cast<char>(c));
            fail(cs.file + ": refused: the page moves EBCDIC's letters, digits or blank (" + where +
                 ")");
        }
    }
}

std::vector<uint8_t> buildSingleByteTable(const Codeset &cs) {
    const Mapping m = readMapping(cs.iconvName);
    if (m.heldBack >= 0)
        fail(cs.file +
             ": refused: glibc's converter holds bytes back to compose characters (from byte " +
             std::to_string(m.heldBack) + "), and a single-byte table maps each byte alone");
    if (cs.family == 8) requireEbcdicCore(cs, m.toUnicode);
    if (cs.family == 1) {
        for (int b = 0; b < 0x80; ++b)
            if (m.toUnicode[b] != b || m.fromUnicode[b] != b)
                fail(cs.file + ": ASCII bytes must map to themselves in family 1");
    }
    if (m.fromUnicode[cs.substUnicode] != cs.substByte)
        fail(cs.file + ": the substitution byte's own character does not map to it");

    std::vector<uint8_t> table(kArea, 0);
    // Rows of result bytes per high byte; identical rows are stored once.
    std::map<std::string, uint16_t> rows;
    std::vector<uint8_t> area;
    for (int high = 0; high < 256; ++high) {
        std::string row(256, static_cast<char>(cs.substByte));
        for (int low = 0; low < 256; ++low) {
            const int byte = high * 256 + low < 0xFFFF ? m.fromUnicode[high * 256 + low] : -1;
            if (byte >= 0) row[low] = static_cast<char>(byte);
        }
        auto found = rows.find(row);
        if (found == rows.end()) {
            const size_t rowValue = area.size() / 4;
            if (rowValue > 0xFFFF) fail(cs.file + ": rows beyond 16-bit addressing");
            found = rows.emplace(row, static_cast<uint16_t>(rowValue)).first;
            area.insert(area.end(), row.begin(), row.end());
        }
        put16(table, kFromRows + 2 * high, found->second);
    }
    for (int b = 0; b < 256; ++b) {
        put16(table, kToUnicode + 2 * b, m.toUnicode[b]);
        table[kByteInfo + b] = 1;
    }
    put32(table, 0, kArea);
    table.insert(table.end(), area.begin(), area.end());
    while (table.size() < 1760)
        table.push_back(0);
    return table;
}

// Places rows in the area, identical rows once; the row value
// (offset / 4) must fit 16 bits.
struct RowArea {
    std::string bytes;
    std::map<std::string, uint16_t> rows;
    const std::string &file;
    explicit RowArea(const std::string &f) : file(f) {}
    uint16_t place(const std::vector<uint16_t> &values) {
        std::string row(values.size() * 2, '\0');
        for (size_t i = 0; i < values.size(); ++i) {
            row[2 * i] = static_cast<char>(values[i] & 0xFF);
            row[2 * i + 1] = static_cast<char>(values[i] >> 8);
        }
        auto found = rows.find(row);
        if (found != rows.end()) return found->second;
        const size_t value = bytes.size() / 4;
        if (value > 0xFFFF) fail(file + ": rows beyond 16-bit addressing");
        bytes += row;
        return rows.emplace(row, static_cast<uint16_t>(value)).first->second;
    }
};

// Families 2 and 4: byte types (1 single, 2 lead), a to-Unicode row for
// the single bytes (entry 0 of the array at 736) and one per lead byte, and
// a from-Unicode row per high byte whose results below 256 are single
// bytes. Family 4 reads pairs after a shift-out, and every byte from 0x40 to
// 0xFE may lead a pair there.
std::vector<uint8_t> buildDoubleByteTable(const Codeset &cs) {
    const bool ebcdic = cs.family == 4;
    const IconvPair iconvPair(cs.iconvName);
    // A BMP value below 0xFFFF, else nothing; `incomplete` when the bytes
    // start a longer character.
    const auto decode = [&](const std::string &in, uint32_t &value, bool &incomplete) {
        const int64_t v = iconvPair.decode(in);
        incomplete = v == IconvPair::kIncomplete;
        if (v < 0 || v >= 0xFFFF) return false;
        value = static_cast<uint32_t>(v);
        return true;
    };
    std::vector<uint8_t> table(kArea, 0);
    std::vector<uint16_t> singles(256, kUnmapped);
    bool lead[256] = {};
    for (int b = 0; b < 256; ++b) {
        uint32_t value = 0;
        bool incomplete = false;
        if (decode(std::string(1, static_cast<char>(b)), value, incomplete))
            singles[b] = static_cast<uint16_t>(value);
        else if (!ebcdic)
            lead[b] = incomplete && b >= 0x80;
        if (ebcdic) lead[b] = b >= 0x40 && b != 0xFF;
        if (!ebcdic && b < 0x80 && singles[b] != b)
            fail(cs.file + ": ASCII bytes must map to themselves in family 2");
        table[kByteInfo + b] = lead[b] && !ebcdic ? 2 : 1;
    }
    if (ebcdic) requireEbcdicCore(cs, singles.data());
    RowArea area(cs.file);
    put16(table, kToUnicode, area.place(singles));
    for (int b = 0; b < 256; ++b) {
        if (!lead[b]) continue;
        std::vector<uint16_t> row(256, kUnmapped);
        for (int t = 0; t < 256; ++t) {
            uint32_t value = 0;
            bool incomplete = false;
            const std::string pair{static_cast<char>(b), static_cast<char>(t)};
            if (decode(ebcdic ? "\x0E" + pair : pair, value, incomplete))
                row[t] = static_cast<uint16_t>(value);
        }
        put16(table, kToUnicode + 2 * b, area.place(row));
    }
    for (int high = 0; high < 256; ++high) {
        std::vector<uint16_t> row(256, kUnmapped);
        for (int low = 0; low < 256; ++low) {
            const uint32_t value = static_cast<uint32_t>(high * 256 + low);
            if (value == 0xFFFF || (value >= 0xD800 && value <= 0xDFFF)) continue;
            std::string out;
            if (!iconvPair.encode(value, out)) continue;
            if (ebcdic && !out.empty() && out[0] == '\x0E') out.erase(0, 1);
            if (out.size() == 1)
                row[low] = static_cast<uint8_t>(out[0]);
            else if (out.size() == 2)
                row[low] = static_cast<uint16_t>(static_cast<uint8_t>(out[0]) << 8 |
                                                 static_cast<uint8_t>(out[1]));
        }
        put16(table, kFromRows + 2 * high, area.place(row));
    }
    put32(table, 0, kArea);
    table.insert(table.end(), area.bytes.begin(), area.bytes.end());
    return table;
}

// GB18030 (family 10): range records keyed by linear index (into Unicode)
// and by code point (out of Unicode), each with a page index per 512 keys,
// in the data area after a sub-header whose offset stands at 38. Runs of
// consecutive results are type-2 records (base + offset); the rest type-1
// records into a value array. A record with first key 0xFFFF ends each list.
struct RangeBuilder {
    std::vector<uint16_t> records, values;
    void build(const std::vector<int32_t> &map) {  // map[key] = result or -1
        size_t key = 0;
        while (key < map.size()) {
            if (map[key] < 0) {
                ++key;
                continue;
            }
            // A run of consecutive results, long enough to be worth a record.
            size_t run = 1;
            while (key + run < map.size() && map[key + run] == map[key] + static_cast<int32_t>(run))
                ++run;
            if (run >= 4) {
                add(key, key + run - 1, 2, static_cast<uint16_t>(map[key]));
                key += run;
                continue;
            }
            // Otherwise a type-1 stretch up to the next gap or long run.
            const size_t first = key;
            const size_t base = values.size();
            while (key < map.size() && map[key] >= 0) {
                size_t ahead = 1;
                while (key + ahead < map.size() &&
                       map[key + ahead] == map[key] + static_cast<int32_t>(ahead))
                    ++ahead;
                if (ahead >= 4 && key > first) break;
                values.push_back(static_cast<uint16_t>(map[key]));
                ++key;
            }
            if (base > 0xFFFF) fail("GB18030: value array beyond 16-bit addressing");
            add(first, key - 1, 1, static_cast<uint16_t>(base));
        }
        add(0xFFFF, 0xFFFF, 0, 0);  // the end
    }
    void add(size_t first, size_t last, uint16_t type, uint16_t base) {
        records.insert(records.end(),
                       {static_cast<uint16_t>(first), static_cast<uint16_t>(last), type, base});
    }
    // Per block of 512 keys: the first record whose last key reaches the block.
    std::vector<uint16_t> pages() const {
        std::vector<uint16_t> index(128, 0);
        for (size_t block = 0; block < 128; ++block) {
            size_t r = 0;
            while (records[4 * r] != 0xFFFF && records[4 * r + 1] < block * 512)
                ++r;
            index[block] = static_cast<uint16_t>(r);
        }
        return index;
    }
};

std::vector<uint8_t> buildGb18030Table(const Codeset &cs) {
    if (cs.name.size() > 21) fail(cs.file + ": the name would overlap the sub-header offset at 38");
    const IconvPair iconvPair(cs.iconvName);
    std::vector<int32_t> toMap(65535, -1), fromMap(65536, -1);
    const auto decodeTo = [&](const std::string &bytes) -> int32_t {
        const int64_t v = iconvPair.decode(bytes);
        return v >= 0 && v <= 0xFFFF ? static_cast<int32_t>(v) : -1;
    };
    for (int b1 = 0x81; b1 <= 0xFE; ++b1)
        for (int b2 = 0x40; b2 <= 0xFE; ++b2) {
            if (b2 == 0x7F) continue;
            const int key = (b1 - 0x81) * 191 + (b2 - 0x3F);
            toMap[key] = decodeTo(std::string{static_cast<char>(b1), static_cast<char>(b2)});
        }
    for (int offset = 0; offset + 24067 < 65535; ++offset) {
        int rest = offset;
        const int b4 = rest % 10 + 0x30;
        rest /= 10;
        const int b3 = rest % 126 + 0x81;
        rest /= 126;
        const int b2 = rest % 10 + 0x30;
        const int b1 = rest / 10 + 0x81;
        toMap[offset + 24067] = decodeTo(std::string{static_cast<char>(b1), static_cast<char>(b2),
                                                     static_cast<char>(b3), static_cast<char>(b4)});
    }
    for (uint32_t v = 0x80; v <= 0xFFFF; ++v) {
        if (v >= 0xD800 && v <= 0xDFFF) continue;
        std::string out;
        if (!iconvPair.encode(v, out)) continue;
        const auto b = [&](size_t i) { return static_cast<int>(static_cast<uint8_t>(out[i])); };
        if (out.size() == 2)
            fromMap[v] = (b(0) - 0x81) * 191 + (b(1) - 0x3F);
        else if (out.size() == 4)
            fromMap[v] = (((b(0) - 0x81) * 10 + (b(1) - 0x30)) * 126 + (b(2) - 0x81)) * 10 +
                         (b(3) - 0x30) + 24067;
        if (fromMap[v] > 0xFFFF) fromMap[v] = -1;
    }
    RangeBuilder fromRanges, toRanges;
    fromRanges.build(fromMap);
    toRanges.build(toMap);
    // The data area: from ranges, from pages, from values, to ranges, to pages, to values.
    std::vector<uint16_t> data;
    uint32_t firsts[6];
    const std::vector<uint16_t> *parts[6] = {&fromRanges.records, nullptr, &fromRanges.values,
                                             &toRanges.records,   nullptr, &toRanges.values};
    const std::vector<uint16_t> fromPages = fromRanges.pages(), toPages = toRanges.pages();
    parts[1] = &fromPages;
    parts[4] = &toPages;
    for (int i = 0; i < 6; ++i) {
        firsts[i] = static_cast<uint32_t>(data.size());
        data.insert(data.end(), parts[i]->begin(), parts[i]->end());
    }
    std::vector<uint8_t> table(kArea, 0);
    for (int b = 0; b < 256; ++b)
        table[kByteInfo + b] = 1;
    const size_t subHeader = kArea;
    if (subHeader > 0xFFFF) fail(cs.file + ": sub-header beyond 16-bit offset");
    put16(table, 38, static_cast<uint16_t>(subHeader));
    table.resize(subHeader + 32 + 2 * data.size(), 0);
    const size_t positions[6] = {0, 4, 8, 16, 20, 24};
    for (int i = 0; i < 6; ++i)
        put32(table, subHeader + positions[i], firsts[i]);
    for (size_t i = 0; i < data.size(); ++i)
        put16(table, subHeader + 32 + 2 * i, data[i]);
    put32(table, 0, kArea);
    return table;
}

// Family 3: per first byte a length (255 invalid); a one-byte character's
// value, or the number of the node its next byte walks. A node (count,
// first, entries) sits at area + 4 x its number. Out of Unicode, rows of
// (prefix number, last two bytes) per high byte; a prefix record (16 bytes
// at area + 16 x its number) holds the leading bytes. The prefix records
// come first, so prefix 0 (no leading bytes) is the area's first record.
class MultiByteBuilder {
public:
    MultiByteBuilder(const Codeset &cs) : cs_(cs), iconv_(cs.iconvName), table_(kArea, 0) {}

    std::vector<uint8_t> build() {
        for (int b = 0; b < 256; ++b)
            decodeFirstByte(b);
        for (int high = 0; high < 256; ++high)
            encodeRow(high);
        layOut();
        return table_;
    }

private:
    // -1 no mapping, -2 incomplete, else the BMP value.
    int32_t decode(const std::string &bytes) const {
        const int64_t v = iconv_.decode(bytes);
        if (v == IconvPair::kIncomplete) return -2;
        return v >= 0 && v < 0xFFFF ? static_cast<int32_t>(v) : -1;
    }

    // A node: count, first, the entries from first on; -1 entries map nothing.
    int addNode(const std::vector<int32_t> &byTrail) {
        int first = 0, last = -1;
        for (int t = 0; t < 256; ++t)
            if (byTrail[t] >= 0) {
                if (last < 0) first = t;
                last = t;
            }
        std::vector<uint16_t> node = {static_cast<uint16_t>(last < 0 ? 0 : last - first + 1),
                                      static_cast<uint16_t>(first)};
        for (int t = first; t <= last; ++t)
            node.push_back(byTrail[t] >= 0 ? static_cast<uint16_t>(byTrail[t]) : kUnmapped);
        nodes_.push_back(node);
        return static_cast<int>(nodes_.size() - 1);  // an index, numbered in layOut
    }

    // The character lengths a first byte starts, and its node tree.
    void decodeFirstByte(int b) {
        const int32_t one = decode(std::string(1, static_cast<char>(b)));
        if (one >= 0) {
            table_[kByteInfo + b] = 1;
            put16(table_, kToUnicode + 2 * b, static_cast<uint16_t>(one));
            return;
        }
        if (b < 0x80) fail(cs_.file + ": ASCII bytes must map to themselves in family 3");
        table_[kByteInfo + b] = 255;
        if (one != -2) return;
        std::vector<int32_t> pairs(256, -1);
        bool three = false;
        for (int t = 0; t < 256; ++t) {
            const int32_t v = decode(std::string{static_cast<char>(b), static_cast<char>(t)});
            if (v >= 0) pairs[t] = v;
            if (v == -2) three = true;
        }
        if (!three) {
            table_[kByteInfo + b] = 2;
            firstNode_[b] = addNode(pairs);
            return;
        }
        table_[kByteInfo + b] = 3;
        firstNode_[b] = addNode(middleNodes(b));
        middleNodeIndexes_.push_back(firstNode_[b]);
    }

    // For a three-byte lead: per middle byte the index of its node of last
    // bytes. A middle byte without characters between two with them walks to
    // the shared empty node: every entry of a middle node is a node.
    std::vector<int32_t> middleNodes(int b) {
        std::vector<int32_t> middles(256, -1);
        int firstMiddle = -1, lastMiddle = -1;
        for (int m = 0; m < 256; ++m) {
            std::vector<int32_t> lasts(256, -1);
            bool any = false;
            for (int t = 0; t < 256; ++t) {
                const int32_t v = decode(
                    std::string{static_cast<char>(b), static_cast<char>(m), static_cast<char>(t)});
                if (v >= 0) {
                    lasts[t] = v;
                    any = true;
                }
            }
            if (!any) continue;
            middles[m] = addNode(lasts);
            if (firstMiddle < 0) firstMiddle = m;
            lastMiddle = m;
        }
        for (int m = firstMiddle + 1; m < lastMiddle; ++m)
            if (middles[m] < 0) {
                if (emptyNode_ < 0) emptyNode_ = addNode(std::vector<int32_t>(256, -1));
                middles[m] = emptyNode_;
            }
        return middles;
    }

    // Out of Unicode, one high byte: per low byte a prefix number and the
    // last two bytes (a single byte: prefix 0 and its value).
    void encodeRow(int high) {
        auto &row = fromRows_[high];
        row.assign(512, 0);
        for (int low = 0; low < 256; ++low) {
            row[2 * low] = kUnmapped;
            const uint32_t v = static_cast<uint32_t>(high * 256 + low);
            if (v == 0xFFFF || (v >= 0xD800 && v <= 0xDFFF)) continue;
            std::string out;
            if (!iconv_.encode(v, out) || out.empty() || out.size() > 16) continue;
            if (out.size() == 1) {
                row[2 * low] = 0;
                row[2 * low + 1] = static_cast<uint8_t>(out[0]);
                continue;
            }
            const std::string lead = out.substr(0, out.size() - 2);
            auto found = prefixNumber_.find(lead);
            if (found == prefixNumber_.end()) {
                found = prefixNumber_.emplace(lead, static_cast<uint16_t>(prefixes_.size())).first;
                prefixes_.push_back(lead);
            }
            row[2 * low] = found->second;
            row[2 * low + 1] =
                static_cast<uint16_t>(static_cast<uint8_t>(out[out.size() - 2]) << 8 |
                                      static_cast<uint8_t>(out[out.size() - 1]));
        }
    }

    // The area: prefix records, rows (identical ones once), nodes.
    void layOut() {
        RowArea area(cs_.file);
        for (const std::string &p : prefixes_) {
            std::string record(16, '\0');
            std::memcpy(record.data(), p.data(), p.size());
            record[14] = static_cast<char>(p.size());
            area.bytes += record;
        }
        for (int high = 0; high < 256; ++high)
            put16(table_, kFromRows + 2 * high, area.place(fromRows_[high]));
        std::vector<uint16_t> nodeNumber(nodes_.size());
        for (size_t i = 0; i < nodes_.size(); ++i) {
            while (area.bytes.size() % 4 != 0)
                area.bytes += '\0';
            if (area.bytes.size() / 4 > 0xFFFF) fail(cs_.file + ": nodes beyond 16-bit addressing");
            nodeNumber[i] = static_cast<uint16_t>(area.bytes.size() / 4);
            area.bytes.append(2 * nodes_[i].size(), '\0');
        }
        // Middle nodes hold node indexes: they become node numbers.
        std::vector<bool> holdsNodes(nodes_.size(), false);
        for (int index : middleNodeIndexes_)
            holdsNodes[static_cast<size_t>(index)] = true;
        for (size_t i = 0; i < nodes_.size(); ++i) {
            const size_t at = static_cast<size_t>(nodeNumber[i]) * 4;
            for (size_t k = 0; k < nodes_[i].size(); ++k) {
                uint16_t v = nodes_[i][k];
                if (holdsNodes[i] && k >= 2 && v != kUnmapped) v = nodeNumber[v];
                area.bytes[at + 2 * k] = static_cast<char>(v & 0xFF);
                area.bytes[at + 2 * k + 1] = static_cast<char>(v >> 8);
            }
        }
        for (int b = 0; b < 256; ++b)
            if (firstNode_[b] >= 0)
                put16(table_, kToUnicode + 2 * b, nodeNumber[static_cast<size_t>(firstNode_[b])]);
        put32(table_, 0, kArea);
        table_.insert(table_.end(), area.bytes.begin(), area.bytes.end());
    }

    const Codeset &cs_;
    const IconvPair iconv_;
    std::vector<uint8_t> table_;
    std::vector<std::vector<uint16_t>> nodes_;
    std::vector<int> firstNode_ = std::vector<int>(256, -1);
    std::vector<int> middleNodeIndexes_;
    int emptyNode_ = -1;
    std::vector<std::string> prefixes_ = {""};  // prefix 0: no leading bytes
    std::map<std::string, uint16_t> prefixNumber_ = {{"", 0}};
    std::vector<std::vector<uint16_t>> fromRows_ = std::vector<std::vector<uint16_t>>(256);
};

std::vector<uint8_t> buildMultiByteTable(const Codeset &cs) { return MultiByteBuilder(cs).build(); }

void writeTable(const Codeset &cs, const std::string &outDir) {
    if (cs.family != 1 && cs.family != 2 && cs.family != 4 && cs.family != 8 && cs.family != 10 &&
        cs.family != 3)
        fail(cs.file + ": family not supported yet");
    if (cs.name.size() >= 32) fail(cs.file + ": name does not fit 32 bytes");
    if (!normalizedName(cs.file)) fail(cs.file + ": file names are normalised codeset names");
    std::vector<uint8_t> table = cs.family == 3                     ? buildMultiByteTable(cs)
                                 : cs.family == 10                  ? buildGb18030Table(cs)
                                 : cs.family == 2 || cs.family == 4 ? buildDoubleByteTable(cs)
                                                                    : buildSingleByteTable(cs);
    std::memcpy(&table[8], "ucv", 3);
    std::memcpy(&table[16], cs.name.c_str(), cs.name.size() + 1);
    put16(table, 48, static_cast<uint16_t>(cs.family));
    put16(table, 50, cs.scheme);
    put16(table, 58, cs.substUnicode);
    table[60] = cs.substByte;

    std::ofstream(outDir + "/" + cs.file, std::ios::binary)
        .write(reinterpret_cast<const char *>(table.data()),
               static_cast<std::streamsize>(table.size()));
    for (const std::string &alias : cs.aliases) {
        if (!normalizedName(alias)) fail(alias + ": aliases are normalised codeset names");
        std::ofstream(outDir + "/" + alias, std::ios::binary) << cs.file << "\n";
    }
}

std::vector<Codeset> readManifest(const std::string &path) {
    std::ifstream in(path);
    if (!in) fail("cannot read " + path);
    std::vector<Codeset> list;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Codeset cs;
        std::string family, subst, substUni, scheme, aliases;
        if (!(fields >> cs.file >> cs.name >> family >> cs.iconvName >> subst >> substUni >>
              scheme))
            fail("bad manifest line: " + line);
        fields >> aliases;
        cs.family = std::stoi(family);
        cs.substByte = static_cast<uint8_t>(std::stoul(subst, nullptr, 0));
        cs.substUnicode = static_cast<uint16_t>(std::stoul(substUni, nullptr, 0));
        cs.scheme = static_cast<uint16_t>(std::stoul(scheme, nullptr, 0));
        std::istringstream names(aliases);
        for (std::string alias; std::getline(names, alias, ',');)
            if (!alias.empty()) cs.aliases.push_back(alias);
        list.push_back(cs);
    }
    return list;
}

// The built-in EBCDIC tables: code page 1047, with 0x15 read as line feed;
// a byte is invariant when every shipped EBCDIC page (the single-byte half
// of the double-byte ones) maps it alike.
void writeEbcdicSource(const std::string &manifest, const std::string &outPath) {
    const Mapping cp1047 = readMapping("IBM1047");
    std::vector<Mapping> pages;
    std::string names;
    for (const Codeset &cs : readManifest(manifest)) {
        if (cs.family != 8 && cs.family != 4) continue;
        pages.push_back(readMapping(cs.iconvName));
        names += (names.empty() ? "" : ", ") + cs.iconvName;
    }
    uint16_t ebToUcs[256];
    unsigned char invariantEb[256], invariantUcs[256] = {}, ucsToEb[256] = {};
    for (int b = 0; b < 256; ++b) {
        ebToUcs[b] = b == 0x15 ? 0x000A : cp1047.toUnicode[b];
        bool shared = b != 0x0E && b != 0x0F;
        for (const Mapping &page : pages)
            shared = shared && page.toUnicode[b] == cp1047.toUnicode[b];
        invariantEb[b] = shared ? 1 : 0;
    }
    for (int u = 0; u < 256; ++u) {
        ucsToEb[u] = u == 0x0A ? 0x25
                               : static_cast<unsigned char>(
                                     cp1047.fromUnicode[u] < 0 ? 0x6F : cp1047.fromUnicode[u]);
    }
    for (int b = 0; b < 256; ++b)
        if (invariantEb[b] && ebToUcs[b] < 256 && ucsToEb[ebToUcs[b]] == b)
            invariantUcs[ebToUcs[b]] = 1;

    std::ofstream out(outPath);
    out << "// Built-in EBCDIC tables of the zil library.\n"
           "// GENERATED by `zil_mktable ebcdic` from glibc's IBM1047 and the EBCDIC pages of\n"
           "// data/codesets.txt; do not edit. Invariant bytes are those every page maps alike:\n"
           "// "
        << names
        << ".\n"
           "// Regenerate: build the project, then run\n"
           "//   build/default/tools/zil_mktable ebcdic data/codesets.txt "
           "libmsg/src/lib/zil_ebcdic_tables.cpp\n"
           "// clang-format off\n\n"
           "#include \"zil_ebcdic.h\"\n\nextern \"C\" {\n\n";
    const auto array = [&out](const char *type, const char *name, auto value, bool hex) {
        out << "const " << type << " " << name << "[256] = {";
        for (int i = 0; i < 256; ++i) {
            if (i % 16 == 0) out << "\n   ";
            char text[16];
            std::snprintf(text, sizeof text, hex ? " 0x%04X," : " %d,",
                          static_cast<unsigned>(value(i)));
            out << text;
        }
        out << "\n};\n\n";
    };
    array(
        "unsigned char", "invar_eb_to_ucs", [&](int i) { return invariantEb[i]; }, false);
    array(
        "uint16_t", "def_eb_to_ucs", [&](int i) { return ebToUcs[i]; }, true);
    array(
        "unsigned char", "invar_ucs_to_eb", [&](int i) { return invariantUcs[i]; }, false);
    array(
        "unsigned char", "def_ucs_to_eb", [&](int i) { return ucsToEb[i]; }, true);
    out << "}  // extern \"C\"\n";
}

}  // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 2 && (mode == "--help" || mode == "--version")) {
        if (mode == "--help")
            std::fputs(kUsage, stdout);
        else
            std::printf("zil_mktable (%s) %s\n", VRX_PACKAGE_NAME, VRX_PACKAGE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (mode == "tables" && argc == 4) {
        const std::vector<Codeset> manifest = readManifest(argv[2]);
        // A name given twice would leave one file standing for the other.
        std::set<std::string> names;
        for (const Codeset &cs : manifest) {
            std::vector<std::string> own = cs.aliases;
            own.push_back(cs.file);
            for (const std::string &name : own)
                if (!names.insert(name).second) fail(name + ": named twice in the manifest");
        }
        for (const Codeset &cs : manifest)
            writeTable(cs, argv[3]);
        return 0;
    }
    if (mode == "ebcdic" && argc == 4) {
        writeEbcdicSource(argv[2], argv[3]);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
