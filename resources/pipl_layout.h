// The plug-in property list: the resource by which the host finds the effect, its name,
// category, entry point, versions and global flags. The bytes are computed here from the same
// constants that Global Setup reports, so the resource and the running plug-in cannot disagree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/plugin_info.h"

namespace mst {

// Where the host looks for the list: a resource of the named type "PIPL", id 16000, US English.
constexpr const char* PIPL_RESOURCE_TYPE = "PIPL";
constexpr uint16_t PIPL_RESOURCE_ID = 16000;
constexpr uint16_t PIPL_RESOURCE_LANGUAGE = 1033;

// The exported function the list names; the export table must carry the same name.
constexpr const char* PLUGIN_ENTRY_POINT = "EntryPointFunc";
constexpr const char* PLUGIN_FILE_NAME = "MiravoStampTrails.aex";

constexpr uint16_t PIPL_FORMAT_VERSION = 1;
constexpr uint32_t PIPL_PROPERTY_COUNT = 12;
constexpr size_t PIPL_SIZE = 310;

// A four-character code as the host reads it: one 32-bit number, first character highest.
// Stored little-endian, its characters appear in the file in reverse order.
constexpr uint32_t fourCharCode(std::string_view code) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(code[3]));
}

constexpr uint32_t PIPL_VENDOR = fourCharCode("8BIM");
constexpr uint32_t PIPL_KIND_EFFECT = fourCharCode("eFKT");
// The property-list version (2.0) and the effect interface version (12.10) this list is for.
constexpr uint16_t PIPL_LIST_VERSION_MAJOR = 2;
constexpr uint16_t PIPL_LIST_VERSION_MINOR = 0;
constexpr uint16_t EFFECT_API_VERSION_MAJOR = 12;
constexpr uint16_t EFFECT_API_VERSION_MINOR = 10;
constexpr uint16_t PIPL_INFO_FLAGS = 0;
constexpr uint32_t PIPL_RESERVED_AE_FLAGS = 8;

namespace pipl_detail {

constexpr size_t roundUp4(size_t n) {
    return (n + 3) & ~size_t{3};
}

// Appends little-endian values and properties to a fixed-size buffer; writing past the end
// is not a constant expression, so a list that outgrows PIPL_SIZE fails to compile.
class Writer {
  public:
    constexpr void u8(uint8_t v) { bytes_.at(pos_++) = v; }
    constexpr void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    constexpr void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    constexpr void text(std::string_view s) {
        for (char c : s)
            u8(static_cast<uint8_t>(c));
    }
    constexpr void zerosTo(size_t end) {
        while (pos_ < end)
            u8(0);
    }

    // Property header; the caller then writes `length` bytes of data.
    constexpr void beginProperty(std::string_view key, uint32_t length) {
        u32(PIPL_VENDOR);
        u32(fourCharCode(key));
        u32(0);  // property identifier
        u32(length);
        dataEnd_ = pos_ + length;
        paddedEnd_ = pos_ + roundUp4(length);
    }
    // Pads the data with zeros to its length, then on to a length that is a multiple of 4
    // (that padding is not part of the length). The header is 10 bytes, so properties sit at
    // 2 modulo 4: the padding counts from the data's start, not from the file's.
    constexpr void endProperty() {
        zerosTo(dataEnd_);
        zerosTo(paddedEnd_);
    }

    constexpr void u32Property(std::string_view key, uint32_t value) {
        beginProperty(key, 4);
        u32(value);
        endProperty();
    }
    constexpr void versionProperty(std::string_view key, uint16_t major, uint16_t minor) {
        beginProperty(key, 4);
        u16(major);
        u16(minor);
        endProperty();
    }
    // Text after a length byte; the zeros up to a multiple of 4 count as data.
    constexpr void pascalTextProperty(std::string_view key, std::string_view s) {
        beginProperty(key, static_cast<uint32_t>(roundUp4(1 + s.size())));
        u8(static_cast<uint8_t>(s.size()));
        text(s);
        endProperty();
    }
    // Zero-terminated text; the zeros up to a multiple of 4 count as data.
    constexpr void cTextProperty(std::string_view key, std::string_view s) {
        beginProperty(key, static_cast<uint32_t>(roundUp4(s.size() + 1)));
        text(s);
        endProperty();
    }

    constexpr size_t position() const { return pos_; }
    constexpr const std::array<uint8_t, PIPL_SIZE>& bytes() const { return bytes_; }

  private:
    std::array<uint8_t, PIPL_SIZE> bytes_{};
    size_t pos_ = 0;
    size_t dataEnd_ = 0;
    size_t paddedEnd_ = 0;
};

}  // namespace pipl_detail

constexpr std::array<uint8_t, PIPL_SIZE> buildPipl() {
    pipl_detail::Writer w;
    w.u16(PIPL_FORMAT_VERSION);
    w.u32(0);  // reserved
    w.u32(PIPL_PROPERTY_COUNT);
    w.u32Property("kind", PIPL_KIND_EFFECT);
    w.pascalTextProperty("name", PLUGIN_NAME);
    w.pascalTextProperty("catg", PLUGIN_CATEGORY);
    w.cTextProperty("wx86", PLUGIN_ENTRY_POINT);
    w.versionProperty("ePVR", PIPL_LIST_VERSION_MAJOR, PIPL_LIST_VERSION_MINOR);
    w.versionProperty("eSVR", EFFECT_API_VERSION_MAJOR, EFFECT_API_VERSION_MINOR);
    w.u32Property("eVER", PLUGIN_VERSION);
    w.beginProperty("eINF", 2);
    w.u16(PIPL_INFO_FLAGS);
    w.endProperty();
    w.u32Property("eGLO", static_cast<uint32_t>(PLUGIN_OUT_FLAGS));
    w.u32Property("eGL2", static_cast<uint32_t>(PLUGIN_OUT_FLAGS2));
    w.pascalTextProperty("eMNA", PLUGIN_MATCH_NAME);
    w.u32Property("aeFL", PIPL_RESERVED_AE_FLAGS);
    // Every byte written, none left over.
    if (w.position() != PIPL_SIZE)
        throw "property list size";
    return w.bytes();
}

constexpr std::array<uint8_t, PIPL_SIZE> PIPL_BYTES = buildPipl();

}  // namespace mst
