#include "pe_reader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mst::test {
namespace {

constexpr uint32_t DIRECTORY_EXPORT = 0;
constexpr uint32_t DIRECTORY_IMPORT = 1;
constexpr uint32_t DIRECTORY_RESOURCE = 2;
constexpr uint32_t DIRECTORY_DELAY_IMPORT = 13;

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
};

// Every read is checked against the file's size; a damaged image throws and becomes an error.
class Reader {
  public:
    explicit Reader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint32_t u(uint64_t offset, int size) const {
        if (offset + static_cast<uint64_t>(size) > bytes_.size()) {
            throw std::runtime_error("read past the end of the file at " + std::to_string(offset));
        }
        uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = (v << 8) | bytes_[offset + i];
        return v;
    }
    uint16_t u16(uint64_t offset) const { return static_cast<uint16_t>(u(offset, 2)); }
    uint32_t u32(uint64_t offset) const { return u(offset, 4); }

    // File offset of a relative virtual address, through the section that holds it.
    uint64_t offsetOf(uint32_t rva) const {
        for (const Section& s : sections) {
            const uint32_t size = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva - s.virtualAddress < size) {
                return uint64_t{s.rawOffset} + (rva - s.virtualAddress);
            }
        }
        throw std::runtime_error("address " + std::to_string(rva) + " is in no section");
    }
    std::string cString(uint32_t rva) const {
        std::string s;
        for (uint64_t at = offsetOf(rva);; ++at) {
            const char c = static_cast<char>(u(at, 1));
            if (c == '\0')
                return s;
            s += c;
        }
    }
    // A resource directory string: a 16-bit length, then that many UTF-16 units (ASCII here).
    std::string resourceString(uint64_t offset) const {
        const uint16_t length = u16(offset);
        std::string s;
        for (uint16_t i = 0; i < length; ++i) {
            const uint16_t unit = u16(offset + 2 + 2 * uint64_t{i});
            s += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        return s;
    }
    std::vector<uint8_t> slice(uint64_t offset, uint32_t size) const {
        if (offset + size > bytes_.size())
            throw std::runtime_error("data past the end");
        return {bytes_.begin() + static_cast<std::ptrdiff_t>(offset),
                bytes_.begin() + static_cast<std::ptrdiff_t>(offset + size)};
    }

    std::vector<Section> sections;

  private:
    std::vector<uint8_t> bytes_;
};

void readExports(const Reader& r, uint32_t rva, PeImage& image) {
    const uint64_t at = r.offsetOf(rva);
    image.exportModuleName = r.cString(r.u32(at + 12));
    image.ordinalBase = r.u32(at + 16);
    image.exportAddressCount = r.u32(at + 20);
    const uint32_t nameCount = r.u32(at + 24);
    const uint64_t functions = r.offsetOf(r.u32(at + 28));
    std::vector<std::string> names(image.exportAddressCount);
    if (nameCount > 0) {
        const uint64_t namePointers = r.offsetOf(r.u32(at + 32));
        const uint64_t nameOrdinals = r.offsetOf(r.u32(at + 36));
        for (uint32_t i = 0; i < nameCount; ++i) {
            const uint16_t index = r.u16(nameOrdinals + 2 * uint64_t{i});
            if (index >= names.size())
                throw std::runtime_error("export name past the table");
            names[index] = r.cString(r.u32(namePointers + 4 * uint64_t{i}));
        }
    }
    for (uint32_t i = 0; i < image.exportAddressCount; ++i) {
        const uint32_t address = r.u32(functions + 4 * uint64_t{i});
        if (address == 0)
            continue;  // an unused slot
        image.exports.push_back({names[i], image.ordinalBase + i, address});
    }
}

// Import descriptors are 20 bytes with the DLL name at 12; delay-load descriptors are 32 bytes
// with it at 4. Both lists end with an all-zero entry.
void readImportNames(const Reader& r, uint32_t rva, uint32_t entrySize, uint32_t nameField,
                     PeImage& image) {
    for (uint64_t at = r.offsetOf(rva);; at += entrySize) {
        const uint32_t nameRva = r.u32(at + nameField);
        if (nameRva == 0)
            return;
        image.importedDlls.push_back(r.cString(nameRva));
    }
}

// The resource tree: type, then name, then language, then the data entry.
void readResources(const Reader& r, uint32_t rva, PeImage& image) {
    const uint64_t root = r.offsetOf(rva);
    struct Entry {
        std::string name;
        uint32_t id;
        uint64_t target;  // offset of a subdirectory or data entry
        bool directory;
    };
    auto entries = [&](uint64_t dir) {
        std::vector<Entry> list;
        const uint32_t count = uint32_t{r.u16(dir + 12)} + r.u16(dir + 14);
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t e = dir + 16 + 8 * uint64_t{i};
            const uint32_t nameField = r.u32(e);
            const uint32_t targetField = r.u32(e + 4);
            Entry entry;
            const bool named = (nameField & 0x80000000u) != 0;
            entry.name = named ? r.resourceString(root + (nameField & 0x7FFFFFFFu)) : "";
            entry.id = named ? 0 : nameField;
            entry.directory = (targetField & 0x80000000u) != 0;
            entry.target = root + (targetField & 0x7FFFFFFFu);
            list.push_back(entry);
        }
        return list;
    };
    for (const Entry& type : entries(root)) {
        if (!type.directory)
            throw std::runtime_error("resource type without a directory");
        for (const Entry& name : entries(type.target)) {
            if (!name.directory)
                throw std::runtime_error("resource name without a directory");
            for (const Entry& language : entries(name.target)) {
                if (language.directory)
                    throw std::runtime_error("resource tree too deep");
                PeResource res;
                res.typeName = type.name;
                res.typeId = type.id;
                res.name = name.name;
                res.id = name.id;
                res.language = language.id;
                const uint32_t dataRva = r.u32(language.target);
                const uint32_t size = r.u32(language.target + 4);
                res.data = r.slice(r.offsetOf(dataRva), size);
                image.resources.push_back(std::move(res));
            }
        }
    }
}

}  // namespace

std::optional<PeImage> readPeImage(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    Reader r(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    PeImage image;
    try {
        if (r.u16(0) != 0x5A4D)
            throw std::runtime_error("no MZ header");
        const uint32_t pe = r.u32(0x3C);
        if (r.u32(pe) != 0x00004550)
            throw std::runtime_error("no PE signature");
        const uint64_t coff = pe + 4;
        image.machine = r.u16(coff);
        const uint16_t sectionCount = r.u16(coff + 2);
        const uint16_t optionalSize = r.u16(coff + 16);
        image.characteristics = r.u16(coff + 18);
        const uint64_t optional = coff + 20;
        image.optionalMagic = r.u16(optional);
        // The data directories follow the fixed part: 96 bytes in 32-bit images, 112 in 64-bit.
        const uint64_t fixedPart = image.optionalMagic == 0x20B ? 112 : 96;
        const uint32_t directoryCount = r.u32(optional + fixedPart - 4);
        auto directory = [&](uint32_t index) -> uint32_t {
            return index < directoryCount ? r.u32(optional + fixedPart + 8 * uint64_t{index}) : 0;
        };
        const uint64_t sectionTable = optional + optionalSize;
        for (uint16_t i = 0; i < sectionCount; ++i) {
            const uint64_t s = sectionTable + 40 * uint64_t{i};
            r.sections.push_back({r.u32(s + 12), r.u32(s + 8), r.u32(s + 20), r.u32(s + 16)});
        }
        if (uint32_t rva = directory(DIRECTORY_EXPORT))
            readExports(r, rva, image);
        if (uint32_t rva = directory(DIRECTORY_IMPORT))
            readImportNames(r, rva, 20, 12, image);
        if (uint32_t rva = directory(DIRECTORY_DELAY_IMPORT)) {
            readImportNames(r, rva, 32, 4, image);
        }
        if (uint32_t rva = directory(DIRECTORY_RESOURCE))
            readResources(r, rva, image);
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
        return std::nullopt;
    }
    return image;
}

}  // namespace mst::test
