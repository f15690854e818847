// Catalog files byte by byte, for tests of the catalog reader: any header,
// any set records anywhere, any message arrays and text blocks, including
// the ones the compiler would never write (offsets past the end, cycles,
// descending ids, huge counts). Independent of the shipped compiler, so a
// fault the two shared would still show.
#ifndef VRX_CATALOG_BUILDER_H
#define VRX_CATALOG_BUILDER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vrxtest {

class CatalogBytes {
public:
    // The header; the magic and major version can be spoiled.
    CatalogBytes(uint32_t numSets, uint32_t firstSet, std::string magic = "*nazgul*",
                 uint32_t major = 1) {
        bytes_ = magic.substr(0, 8);
        bytes_.resize(8, ' ');
        for (uint32_t field : {major, 0u, 0u, numSets, firstSet})
            put(field);
    }
    size_t size() const { return bytes_.size(); }
    // Appends 4-byte big-endian fields; returns the offset they start at.
    size_t fields(std::initializer_list<uint32_t> values) {
        const size_t at = bytes_.size();
        for (uint32_t value : values)
            put(value);
        return at;
    }
    size_t raw(const std::string &text) {
        const size_t at = bytes_.size();
        bytes_ += text;
        return at;
    }
    // Rewrites the field at `offset` (patching a forward offset).
    void patch(size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes_[offset + i] = static_cast<char>(value >> (24 - 8 * i));
    }
    const std::string &bytes() const { return bytes_; }

    // A well-formed catalog of sets of (key, text) messages, laid out as the
    // compiler does.
    static CatalogBytes wellFormed(
        const std::vector<std::pair<uint32_t, std::vector<std::pair<uint32_t, std::string>>>>
            &sets) {
        CatalogBytes c(static_cast<uint32_t>(sets.size()), 28);
        for (size_t s = 0; s < sets.size(); ++s) {
            std::string data;
            std::vector<uint32_t> offsets;
            for (const auto &[key, text] : sets[s].second) {
                offsets.push_back(static_cast<uint32_t>(data.size()));
                data += text + '\0';
            }
            const auto count = static_cast<uint32_t>(sets[s].second.size());
            const auto here = static_cast<uint32_t>(c.size());
            const uint32_t array = here + 28, block = array + 12 * count;
            const uint32_t next =
                s + 1 == sets.size() ? 0 : block + static_cast<uint32_t>(data.size());
            c.fields(
                {sets[s].first, next, array, block, static_cast<uint32_t>(data.size()), count, 0});
            for (size_t m = 0; m < sets[s].second.size(); ++m)
                c.fields({sets[s].second[m].first, offsets[m], 0});
            c.raw(data);
        }
        return c;
    }

private:
    void put(uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes_ += static_cast<char>(value >> (24 - 8 * i));
    }
    std::string bytes_;
};

}  // namespace vrxtest

#endif  // VRX_CATALOG_BUILDER_H
