// An RFC 5424 reader written from the grammar alone, for the tests and the
// fuzz target of the syslog record: a record is good when this reads it
// whole and gives back the fields that went in.
#ifndef VRX_TEST_SYSLOG_PARSE_H
#define VRX_TEST_SYSLOG_PARSE_H

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vrxtest {

struct Syslog5424 {
    int pri = -1;
    std::string timestamp, hostName, appName, procId, msgId;
    std::string sdId;  // "" for the NILVALUE
    std::vector<std::pair<std::string, std::string>> params;
    std::string message;
};

inline std::optional<Syslog5424> parse5424(std::string_view text) {
    Syslog5424 out;
    size_t at = 0;
    const auto printable = [](char c) { return c >= 33 && c <= 126; };
    const auto sdNameChar = [&](char c) { return printable(c) && c != '=' && c != ']' && c != '"'; };
    const auto token = [&](std::string &field, size_t limit) {
        const size_t start = at;
        while (at < text.size() && printable(text[at]))
            ++at;
        field = text.substr(start, at - start);
        if (field.empty() || field.size() > limit || at >= text.size() || text[at] != ' ')
            return false;
        ++at;
        return true;
    };
    if (text.size() < 3 || text[0] != '<') return std::nullopt;
    size_t close = text.find('>');
    if (close == std::string_view::npos || close < 2 || close > 4) return std::nullopt;
    out.pri = 0;
    for (size_t i = 1; i < close; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        out.pri = out.pri * 10 + (text[i] - '0');
    }
    if (out.pri > 191 || text.substr(close + 1, 2) != "1 ") return std::nullopt;
    at = close + 3;
    if (!token(out.timestamp, 32) || !token(out.hostName, 255) || !token(out.appName, 48) ||
        !token(out.procId, 128) || !token(out.msgId, 32))
        return std::nullopt;
    if (text.substr(at, 1) == "-") {
        ++at;
    } else {
        if (text.substr(at, 1) != "[") return std::nullopt;
        ++at;
        while (at < text.size() && sdNameChar(text[at]) && out.sdId.size() < 32)
            out.sdId += text[at++];
        if (out.sdId.empty()) return std::nullopt;
        while (at < text.size() && text[at] == ' ') {
            ++at;
            std::string name, value;
            while (at < text.size() && sdNameChar(text[at]))
                name += text[at++];
            if (name.empty() || name.size() > 32 || text.substr(at, 2) != "=\"")
                return std::nullopt;
            at += 2;
            for (;; ++at) {
                if (at >= text.size()) return std::nullopt;
                if (text[at] == '"') break;
                if (text[at] == ']') return std::nullopt;  // must be escaped
                if (text[at] == '\\' && at + 1 < text.size() &&
                    std::string_view("\"\\]").find(text[at + 1]) != std::string_view::npos)
                    ++at;
                value += text[at];
            }
            ++at;
            out.params.emplace_back(name, value);
        }
        if (text.substr(at, 1) != "]") return std::nullopt;
        ++at;
    }
    if (at < text.size()) {
        if (text[at] != ' ') return std::nullopt;
        out.message = text.substr(at + 1);
    }
    return out;
}

}  // namespace vrxtest

#endif  // VRX_TEST_SYSLOG_PARSE_H
