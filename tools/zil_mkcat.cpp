// zil_mkcat: the message catalog compiler.
//
//   zil_mkcat SOURCE OUT.cat                        a catalog file
//   zil_mkcat --default DEFAULT.msg SOURCE OUT.cat  a translation, each text
//                                                   checked against the default
//   zil_mkcat --table SOURCE OUT.cpp                the toolkit's built-in table
//   zil_mkcat --keys SOURCE OUT.h                   its keys, named by message id
//
// A source is UTF-8 in the style of gencat: "$set N" starts a set, "$ "
// (or "$" alone) a comment, "KEY text" a message (one blank or tab after
// the key; "KEY" alone is an empty text), "\n", "\t" and "\\" escape a
// line end, a tab and a backslash, and a final "\" continues the text on
// the next line. Set and key ids are positive and ascending.
//
// Every text is a printf format the toolkit binds with its parameters, so
// a text the engine refuses, or one with %n, %p or %ls, is refused; a
// translation must consume the same arguments as the default text of its
// key (count and, position by position, string, integer or floating), in
// any order. A refusal prints "FILE:LINE: reason", exits 1 and writes
// nothing. Output goes through a temporary file and a rename, and is the
// same bytes for the same source.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CxPrintUtil.h"
#include "zil_catfile.h"

namespace {

using namespace zil::catfile;

constexpr const char *kUsage =
    "Usage: zil_mkcat SOURCE OUT.cat\n"
    "       zil_mkcat --default DEFAULT.msg SOURCE OUT.cat\n"
    "       zil_mkcat --table SOURCE OUT.cpp\n"
    "       zil_mkcat --keys SOURCE OUT.h\n"
    "       zil_mkcat --help | --version\n"
    "Compiles a message source (gencat style, UTF-8) into a catalog file; with\n"
    "--default, a translation whose every text takes the same arguments as the\n"
    "default text of its key. --table and --keys write the toolkit's built-in\n"
    "table and key names as C++ source. A refusal prints FILE:LINE: reason and\n"
    "exits 1, writing nothing; a wrong command line exits 2. See zil_mkcat(1).\n";

struct Message {
    std::string text;
    int line = 0;
};
using Set = std::map<int, Message>;  // key -> message
struct Source {
    std::string file;
    std::map<int, Set> sets;
};

[[noreturn]] void refuse(const std::string &file, int line, const std::string &reason) {
    std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, reason.c_str());
    std::exit(1);
}

bool validUtf8(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        size_t length = byte < 0x80                    ? 1
                        : byte >= 0xC2 && byte <= 0xDF ? 2
                        : byte >= 0xE0 && byte <= 0xEF ? 3
                        : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0);
        if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second > 0x9F) ||
            (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F))
            return false;
        i += length;
    }
    return true;
}

// The argument kinds a format consumes, in argument order: 's' string,
// 'i' integer, 'f' floating; a refusal reason in `error`.
std::string argumentKinds(const std::string &format, std::string &error) {
    CxPrintfFormatList formats;
    CxPrintfArgList args;
    CxPrintfInitLists(&formats, &args);
    std::string kinds;
    if (CxPrintfProcessFmts(format.c_str(), &formats, &args) != 0)
        error = "malformed format";
    for (int32_t i = 0; error.empty() && i < args.count; ++i) {
        switch (args.entries[i].type) {
            case CX_PA_STRING:
                kinds += 's';
                break;
            case CX_PA_DOUBLE:
            case CX_PA_LDOUBLE:
                kinds += 'f';
                break;
            case CX_PA_POINTER:
                error = "%p is not allowed";
                break;
            case CX_PA_WSTRING:
                error = "%ls is not allowed";
                break;
            case CX_PA_NPTR:
            case CX_PA_NPTR_SHORT:
            case CX_PA_NPTR_LONG:
            case CX_PA_NPTR_LLONG:
                error = "%n is not allowed";
                break;
            default:
                kinds += 'i';
        }
    }
    CxPrintfFreeLists(&formats, &args);
    return kinds;
}

// "\n", "\t", "\\"; false for any other escape.
bool unescape(const std::string &raw, std::string &text) {
    text.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            text += raw[i];
            continue;
        }
        if (++i >= raw.size()) return false;
        switch (raw[i]) {
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case '\\':
                text += '\\';
                break;
            default:
                return false;
        }
    }
    return true;
}

bool positiveNumber(const std::string &text, int &value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::atoi(text.c_str());
    return value > 0;
}

// A final backslash that is not itself escaped continues the line.
bool continues(const std::string &line) {
    size_t backslashes = 0;
    for (auto it = line.rbegin(); it != line.rend() && *it == '\\'; ++it)
        ++backslashes;
    return backslashes % 2 == 1;
}

Source readSource(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) refuse(file, 0, "cannot be read");
    Source source{file, {}};
    Set *set = nullptr;
    int setId = 0, lineNumber = 0;
    std::string line;
    while (std::getline(in, line)) {
        const int start = ++lineNumber;
        while (continues(line)) {
            line.pop_back();
            std::string next;
            if (!std::getline(in, next)) break;
            ++lineNumber;
            line += next;
        }
        if (!validUtf8(line)) refuse(file, start, "not valid UTF-8");
        if (line.empty()) continue;
        if (line[0] == '$') {
            if (line.rfind("$set", 0) == 0 &&
                (line.size() == 4 || line[4] == ' ' || line[4] == '\t')) {
                int id = 0;
                const size_t at = line.find_first_not_of(" \t", 4);
                const std::string number =
                    at == std::string::npos
                        ? ""
                        : line.substr(at, line.find_last_not_of(" \t") - at + 1);
                if (!positiveNumber(number, id))
                    refuse(file, start, "a set id must be a positive number");
                if (id <= setId) refuse(file, start, "set ids must be unique and ascending");
                setId = id;
                set = &source.sets[id];
            } else if (line.size() > 1 && line[1] != ' ' && line[1] != '\t') {
                refuse(file, start, "unknown directive");
            }
            continue;
        }
        const size_t blank = line.find_first_of(" \t");
        int key = 0;
        if (!positiveNumber(line.substr(0, blank), key))
            refuse(file, start, "a message key must be a positive number");
        if (set == nullptr) refuse(file, start, "a message before the first $set");
        if (!set->empty() && key <= set->rbegin()->first)
            refuse(file, start, "message keys must be unique and ascending");
        std::string text;
        if (!unescape(blank == std::string::npos ? "" : line.substr(blank + 1), text))
            refuse(file, start, "unknown escape");
        std::string error;
        argumentKinds(text, error);
        if (!error.empty()) refuse(file, start, error);
        (*set)[key] = Message{text, start};
    }
    if (source.sets.empty()) refuse(file, lineNumber, "no set");
    return source;
}

// The kinds of each argument position (positional formats may consume
// them out of order; the engine lists them by position).
void checkTranslation(const Source &defaults, const Source &translation) {
    for (const auto &[setId, set] : translation.sets) {
        for (const auto &[key, message] : set) {
            const auto defaultSet = defaults.sets.find(setId);
            if (defaultSet == defaults.sets.end() || defaultSet->second.count(key) == 0)
                refuse(translation.file, message.line, "the default catalog has no such key");
            std::string error;
            const std::string want = argumentKinds(defaultSet->second.at(key).text, error);
            const std::string have = argumentKinds(message.text, error);
            if (want.size() != have.size())
                refuse(translation.file, message.line,
                       "takes " + std::to_string(have.size()) + " arguments, the default text " +
                           std::to_string(want.size()));
            for (size_t i = 0; i < want.size(); ++i)
                if (want[i] != have[i])
                    refuse(translation.file, message.line,
                           "argument " + std::to_string(i + 1) +
                               " has another kind than in the default text");
        }
    }
}

void writeThrough(const std::string &out, const std::string &bytes) {
    const std::string temporary = out + ".tmp" + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.flush();
        if (!file) {
            std::remove(temporary.c_str());
            refuse(out, 0, "cannot be written");
        }
    }
    if (std::rename(temporary.c_str(), out.c_str()) != 0) {
        std::remove(temporary.c_str());
        refuse(out, 0, "cannot be written");
    }
}

template <typename Record>
void appendRecord(std::string &bytes, Record record) {
    unsigned char raw[sizeof(Record)];
    toBytes(record, raw);
    bytes.append(reinterpret_cast<const char *>(raw), sizeof raw);
}

// Header, then per set: its record, its message array, its texts.
std::string catalogBytes(const Source &source) {
    std::string bytes;
    MCHeaderT header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.majorVersion = kMajorVersion;
    header.numSets = static_cast<uint32_t>(source.sets.size());
    header.firstSet = kHeaderSize;
    hton_MCHeaderT(header);
    appendRecord(bytes, header);
    size_t remaining = source.sets.size();
    for (const auto &[setId, set] : source.sets) {
        std::string data;
        std::vector<MCMsgTDisk> messages;
        for (const auto &[key, message] : set) {
            messages.push_back(
                MCMsgTDisk{static_cast<uint32_t>(key), static_cast<uint32_t>(data.size()), 0});
            data += message.text;
            data += '\0';
        }
        const auto here = static_cast<uint32_t>(bytes.size());
        const uint32_t arrayAt = here + kSetSize;
        const auto dataAt = static_cast<uint32_t>(arrayAt + messages.size() * kMessageSize);
        const auto next = static_cast<uint32_t>(--remaining == 0 ? 0 : dataAt + data.size());
        MCSetTDisk record{static_cast<uint32_t>(setId),
                          next,
                          arrayAt,
                          dataAt,
                          static_cast<uint32_t>(data.size()),
                          static_cast<uint32_t>(messages.size()),
                          0};
        hton_MCSetTDisk(record);
        appendRecord(bytes, record);
        for (MCMsgTDisk message : messages) {
            hton_MCMsgTDisk(message);
            appendRecord(bytes, message);
        }
        bytes += data;
    }
    return bytes;
}

std::string cLiteral(const std::string &text) {
    std::string literal = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                literal += "\\\"";
                break;
            case '\\':
                literal += "\\\\";
                break;
            case '\n':
                literal += "\\n";
                break;
            case '\t':
                literal += "\\t";
                break;
            default:
                literal += c;
        }
    }
    return literal + "\"";
}

// The toolkit's built-in table of set 1: entry 0 the catalog name (the
// source's base name), each key's text, fillers "unused000" ... for the
// keys in between, counted in key order.
std::string tableSource(const Source &source) {
    std::string name = source.file.substr(source.file.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    const auto set = source.sets.find(1);
    if (set == source.sets.end()) refuse(source.file, 0, "a built-in table needs set 1");
    const int last = set->second.rbegin()->first;
    std::ostringstream out;
    out << "// Generated by zil_mkcat --table from data/messages/" << name << ".msg; do not edit.\n"
        << "// The built-in texts of catalog \"" << name << "\", set 1, by key.\n"
        << "// clang-format off\n\n"
        << "extern const char *const " << name << "_table[];\n"
        << "extern const int " << name << "_table_size;\n\n"
        << "const char *const " << name << "_table[] = {\n"
        << "    " << cLiteral(name) << ",\n";
    int fillers = 0;
    for (int key = 1; key <= last; ++key) {
        const auto found = set->second.find(key);
        char filler[24];
        std::snprintf(filler, sizeof filler, "unused%03d", fillers);
        if (found == set->second.end()) ++fillers;
        out << "    "
            << (found != set->second.end() ? cLiteral(found->second.text) : cLiteral(filler))
            << ",  // " << key << "\n";
    }
    out << "};\n\nconst int " << name << "_table_size = " << last + 1 << ";\n";
    return out.str();
}

// The message id a text starts with ("KVLFH0036W"), or "" for a text with
// none (a class description): capitals, then digits, then the severity.
std::string messageIdOf(const std::string &text) {
    const std::string word = text.substr(0, text.find(' '));
    size_t at = 0;
    while (at < word.size() && word[at] >= 'A' && word[at] <= 'Z')
        ++at;
    const size_t letters = at;
    while (at < word.size() && word[at] >= '0' && word[at] <= '9')
        ++at;
    const bool id = letters >= 3 && at > letters && at + 1 == word.size() &&
                    std::strchr("EWI", word[at]) != nullptr;
    return id ? word : std::string();
}

// The keys of set 1 as C++ constants named after their message ids, so the
// toolkit writes KVLFH0036W where it means key 36.
std::string keysSource(const Source &source) {
    std::string name = source.file.substr(source.file.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    const auto set = source.sets.find(1);
    if (set == source.sets.end()) refuse(source.file, 0, "a built-in table needs set 1");
    std::string guard;
    for (const char c : name)
        guard += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    guard += "_KEYS_H";
    std::ostringstream out;
    out << "// Generated by zil_mkcat --keys from data/messages/" << name << ".msg; do not edit.\n"
        << "// The keys of catalog \"" << name << "\", set 1, named after their message ids.\n"
        << "// clang-format off\n"
        << "#ifndef " << guard << "\n#define " << guard << "\n\n#include <cstdint>\n\n"
        << "namespace " << name << " {\n\n";
    std::map<std::string, int> seen;
    for (const auto &[key, message] : set->second) {
        const std::string id = messageIdOf(message.text);
        if (id.empty()) continue;
        if (!seen.emplace(id, key).second)
            refuse(source.file, message.line, "message id " + id + " given twice");
        out << "constexpr int32_t " << id << " = " << key << ";\n";
    }
    out << "\n}  // namespace " << name << "\n\n#endif  // " << guard << "\n";
    return out.str();
}

}  // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
        if (args[0] == "--help")
            std::fputs(kUsage, stdout);
        else
            std::printf("zil_mkcat (%s) %s\n", VRX_PACKAGE_NAME, VRX_PACKAGE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (args.size() == 2 && args[0].rfind("--", 0) != 0) {
        writeThrough(args[1], catalogBytes(readSource(args[0])));
        return 0;
    }
    if (args.size() == 4 && args[0] == "--default") {
        const Source translation = readSource(args[2]);
        checkTranslation(readSource(args[1]), translation);
        writeThrough(args[3], catalogBytes(translation));
        return 0;
    }
    if (args.size() == 3 && args[0] == "--table") {
        writeThrough(args[2], tableSource(readSource(args[1])));
        return 0;
    }
    if (args.size() == 3 && args[0] == "--keys") {
        writeThrough(args[2], keysSource(readSource(args[1])));
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
