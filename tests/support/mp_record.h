// The records of the multi-process writer: "W<writer> <sequence> <padding>",
// the padding's length varying with the sequence so records straddle
// rollovers at every offset. A record is whole when it equals the one its
// writer and sequence make: a fragment, or two run together, never does.
#ifndef VRX_MP_RECORD_H
#define VRX_MP_RECORD_H

#include <cstdio>
#include <optional>
#include <string>

namespace vrxtest {

inline std::string mpRecord(int writer, int sequence) {
    char head[32];
    std::snprintf(head, sizeof head, "W%d %d ", writer, sequence);
    return head + std::string(static_cast<size_t>(sequence % 37), '.');
}

struct MpRecordId {
    int writer;
    int sequence;
};

// The writer and sequence of a whole record line (without its line feed).
inline std::optional<MpRecordId> parseMpRecord(const std::string &line) {
    MpRecordId id{};
    if (std::sscanf(line.c_str(), "W%d %d ", &id.writer, &id.sequence) != 2) return std::nullopt;
    if (id.sequence < 0 || line != mpRecord(id.writer, id.sequence)) return std::nullopt;
    return id;
}

}  // namespace vrxtest

#endif  // VRX_MP_RECORD_H
