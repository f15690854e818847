// The records of the multi-process writer: "W<writer> <sequence> <padding>
// <checksum>", the padding's length varying with the sequence so records
// straddle rollovers at every offset, and the checksum (FNV-1a of what
// comes before it) telling a whole record from a fragment.
#ifndef VRX_MP_RECORD_H
#define VRX_MP_RECORD_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace vrxtest {

inline uint32_t fnv1a(const std::string &text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

inline std::string mpRecord(int writer, int sequence) {
    char head[32];
    std::snprintf(head, sizeof head, "W%d %d ", writer, sequence);
    const std::string body = head + std::string(static_cast<size_t>(sequence % 37), '.');
    char tail[16];
    std::snprintf(tail, sizeof tail, " %08x", fnv1a(body));
    return body + tail;
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
