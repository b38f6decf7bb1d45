// Reads a plug-in property list back the way the host walks it: the header, then each
// property's header and data, the data padded to a multiple of 4. Used to check the resource
// as it sits in the built DLL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mst {

struct PiplProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    uint32_t id = 0;
    uint32_t length = 0;
    size_t offset = 0;      // of the property's header
    size_t dataOffset = 0;  // of its data
};

struct PiplList {
    uint16_t formatVersion = 0;
    uint32_t declaredCount = 0;
    std::vector<PiplProperty> properties;
    size_t end = 0;     // where the walk stopped
    std::string error;  // empty when the list is well formed
};

namespace pipl_detail {
inline uint32_t readLe(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
}  // namespace pipl_detail

// Walks `size` bytes. A list is well formed when every declared property fits and the walk
// ends exactly at `size`.
inline PiplList readPipl(const uint8_t* data, size_t size) {
    using pipl_detail::readLe;
    PiplList list;
    constexpr size_t HEADER = 10, PROPERTY_HEADER = 16;
    if (size < HEADER) {
        list.error = "shorter than the header";
        return list;
    }
    list.formatVersion = static_cast<uint16_t>(readLe(data, 2));
    list.declaredCount = readLe(data + 6, 4);
    size_t pos = HEADER;
    for (uint32_t i = 0; i < list.declaredCount; ++i) {
        if (size - pos < PROPERTY_HEADER) {
            list.error = "property " + std::to_string(i + 1) + " header runs past the end";
            list.end = pos;
            return list;
        }
        PiplProperty p;
        p.offset = pos;
        p.vendor = readLe(data + pos, 4);
        p.key = readLe(data + pos + 4, 4);
        p.id = readLe(data + pos + 8, 4);
        p.length = readLe(data + pos + 12, 4);
        p.dataOffset = pos + PROPERTY_HEADER;
        // Compared as remaining sizes so that a huge length cannot wrap around.
        const size_t padded = (static_cast<size_t>(p.length) + 3) & ~size_t{3};
        if (padded < p.length || size - p.dataOffset < padded) {
            list.error = "property " + std::to_string(i + 1) + " data runs past the end";
            list.end = pos;
            return list;
        }
        list.properties.push_back(p);
        pos = p.dataOffset + padded;
    }
    list.end = pos;
    if (pos != size) {
        list.error = std::to_string(size - pos) + " bytes after the last property";
    }
    return list;
}

// The 32-bit value at the start of a property's data.
inline uint32_t piplU32(const uint8_t* data, const PiplProperty& p) {
    return pipl_detail::readLe(data + p.dataOffset, 4);
}

}  // namespace mst
