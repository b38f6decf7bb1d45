// A small reader of Windows PE images (DLLs and programs): the headers, the export table, the
// imported DLL names and the resource tree, read straight from the file's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mst::test {

struct PeExport {
    std::string name;  // empty for an export by ordinal only
    uint32_t ordinal = 0;
    uint32_t rva = 0;
};

struct PeResource {
    // A directory entry is named by a string or an integer id; `typeName` / `name` are empty
    // when the id is used.
    std::string typeName;
    uint32_t typeId = 0;
    std::string name;
    uint32_t id = 0;
    uint32_t language = 0;
    std::vector<uint8_t> data;
};

struct PeImage {
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    uint16_t optionalMagic = 0;  // 0x10B for 32-bit images
    std::string exportModuleName;
    uint32_t ordinalBase = 0;
    uint32_t exportAddressCount = 0;
    std::vector<PeExport> exports;
    std::vector<std::string> importedDlls;  // ordinary and delay-loaded
    std::vector<PeResource> resources;
};

// Reads the image at `path`; nullopt with `error` set when the file is not a readable image.
std::optional<PeImage> readPeImage(const std::string& path, std::string& error);

}  // namespace mst::test
