// What a property list must hold, checked property by property against the documented
// layout: used on the list built in memory and on the one inside the built DLL.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "host/entry_point.h"
#include "host/plugin_info.h"
#include "resources/pipl_reader.h"
#include "standin_host/standin_host.h"

namespace mst::test {

// Version and flags as Global Setup reports them, run natively on the stand-in host.
struct GlobalSetupReport {
    uint32_t version;
    uint32_t flags;
    uint32_t flags2;
};
inline GlobalSetupReport runGlobalSetup() {
    StandinHost host(EntryPointFunc);
    EXPECT_EQ(host.command(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    return {host.outData().my_version, static_cast<uint32_t>(host.outData().out_flags),
            static_cast<uint32_t>(host.outData().out_flags2)};
}

inline std::string bytesAt(const uint8_t* data, size_t offset, size_t length) {
    return std::string(reinterpret_cast<const char*>(data + offset), length);
}

inline void expectPiplLayout(const uint8_t* data, size_t size) {
    ASSERT_EQ(size, 310u);
    const PiplList list = readPipl(data, size);
    EXPECT_EQ(list.error, "");
    EXPECT_EQ(list.formatVersion, 1);
    EXPECT_EQ(bytesAt(data, 2, 4), std::string(4, '\0')) << "reserved";
    EXPECT_EQ(list.declaredCount, 12u);
    ASSERT_EQ(list.properties.size(), 12u);
    EXPECT_EQ(list.end, 310u);

    // Offset of each property, its key as the bytes appear in the file (reversed), its length
    // and its data.
    struct Expected {
        size_t offset;
        const char* storedKey;
        uint32_t length;
        std::string data;
    };
    const std::string z(1, '\0');
    const Expected expected[] = {
        {10, "dnik", 4, "TKFe"},
        {30, "eman", 20,
         "\x11"
         "MiravoStampTrails" +
             z + z},
        {66, "gtac", 8,
         "\x06"
         "Miravo" +
             z},
        {90, "68xw", 16, "EntryPointFunc" + z + z},
        {122, "RVPe", 4, std::string("\x02\x00\x00\x00", 4)},
        {142, "RVSe", 4, std::string("\x0c\x00\x0a\x00", 4)},
        {162, "REVe", 4, std::string("\x00\x86\x08\x00", 4)},
        {182, "FNIe", 2, std::string("\x00\x00", 2)},
        {202, "OLGe", 4, std::string("\x40\x00\x00\x06", 4)},
        {222, "2LGe", 4, std::string("\x00\x14\x00\x00", 4)},
        {242, "ANMe", 32,
         "\x1e"
         "MiravoStampTrails by Brevaloth" +
             z},
        {290, "LFea", 4, std::string("\x08\x00\x00\x00", 4)},
    };
    for (size_t i = 0; i < 12; ++i) {
        const PiplProperty& p = list.properties[i];
        const Expected& e = expected[i];
        SCOPED_TRACE("property " + std::to_string(i + 1) + " " + e.storedKey);
        EXPECT_EQ(p.offset, e.offset);
        EXPECT_EQ(bytesAt(data, p.offset, 4), "MIB8");
        EXPECT_EQ(bytesAt(data, p.offset + 4, 4), e.storedKey);
        EXPECT_EQ(p.id, 0u);
        EXPECT_EQ(p.length, e.length);
        EXPECT_EQ(bytesAt(data, p.dataOffset, e.data.size()), e.data);
    }

    // Property 8 is the one whose length is not a multiple of 4: two zero bytes of padding,
    // and the next property 4 bytes after its data.
    const PiplProperty& info = list.properties[7];
    EXPECT_EQ(info.length, 2u);
    EXPECT_EQ(list.properties[8].offset, info.dataOffset + 4);
    EXPECT_EQ(bytesAt(data, info.dataOffset + 2, 2), std::string(2, '\0'));

    // Version and flags: the constants, and what Global Setup actually reports.
    const GlobalSetupReport report = runGlobalSetup();
    EXPECT_EQ(piplU32(data, list.properties[6]), PLUGIN_VERSION);
    EXPECT_EQ(piplU32(data, list.properties[8]), static_cast<uint32_t>(PLUGIN_OUT_FLAGS));
    EXPECT_EQ(piplU32(data, list.properties[9]), static_cast<uint32_t>(PLUGIN_OUT_FLAGS2));
    EXPECT_EQ(piplU32(data, list.properties[6]), report.version);
    EXPECT_EQ(piplU32(data, list.properties[8]), report.flags);
    EXPECT_EQ(piplU32(data, list.properties[9]), report.flags2);
}

}  // namespace mst::test
