// The message catalog file: a 28-byte header, a chain of 28-byte set
// records in ascending set id, per set an array of 12-byte message records
// in ascending message id and a block of NUL-terminated UTF-8 texts. Every
// integer is 4 bytes, big-endian; offsets count from the start of the file.
// The reader and the catalog compiler (tools/zil_mkcat) share this header,
// so the two can never disagree on the layout.
#ifndef ZIL_CATFILE_H
#define ZIL_CATFILE_H

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

namespace zil::catfile {

constexpr char kMagic[8] = {'*', 'n', 'a', 'z', 'g', 'u', 'l', '*'};
constexpr uint32_t kMajorVersion = 1;
constexpr size_t kHeaderSize = 28;
constexpr size_t kSetSize = 28;
constexpr size_t kMessageSize = 12;

struct MCHeaderT {
    char magic[8];
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t flags;
    uint32_t numSets;
    uint32_t firstSet;
};

struct MCSetTDisk {
    uint32_t setId;
    uint32_t nextSet;
    uint32_t messages;
    uint32_t data;
    uint32_t dataLength;
    uint32_t numMessages;
    uint32_t invalid;
};

struct MCMsgTDisk {
    uint32_t msgId;
    uint32_t text;
    uint32_t invalid;
};

// Field by field between host and file order (the magic is bytes).
inline void hton_MCHeaderT(MCHeaderT &h) {
    h.majorVersion = htonl(h.majorVersion);
    h.minorVersion = htonl(h.minorVersion);
    h.flags = htonl(h.flags);
    h.numSets = htonl(h.numSets);
    h.firstSet = htonl(h.firstSet);
}
inline void ntoh_MCHeaderT(MCHeaderT &h) { hton_MCHeaderT(h); }  // the same swap both ways

inline void hton_MCSetTDisk(MCSetTDisk &s) {
    for (uint32_t *field :
         {&s.setId, &s.nextSet, &s.messages, &s.data, &s.dataLength, &s.numMessages, &s.invalid})
        *field = htonl(*field);
}
inline void ntoh_MCSetTDisk(MCSetTDisk &s) { hton_MCSetTDisk(s); }

inline void hton_MCMsgTDisk(MCMsgTDisk &m) {
    m.msgId = htonl(m.msgId);
    m.text = htonl(m.text);
    m.invalid = htonl(m.invalid);
}
inline void ntoh_MCMsgTDisk(MCMsgTDisk &m) { hton_MCMsgTDisk(m); }

// The records as file bytes and back (no padding assumptions: field by
// field through memcpy, in file order).
template <typename Record>
void toBytes(Record record, unsigned char *out) {
    static_assert(sizeof(Record) % 4 == 0);
    std::memcpy(out, &record, sizeof record);
}
template <typename Record>
Record fromBytes(const unsigned char *in) {
    Record record;
    std::memcpy(&record, in, sizeof record);
    return record;
}
static_assert(sizeof(MCHeaderT) == kHeaderSize && sizeof(MCSetTDisk) == kSetSize &&
              sizeof(MCMsgTDisk) == kMessageSize);

}  // namespace zil::catfile

#endif  // ZIL_CATFILE_H
