// The built plug-in DLL (scripts/build-windows.sh), read as a file: its exports, its imports
// and its property list resource. Skipped while the DLL has not been built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "pe_reader.h"
#include "pipl_expectations.h"
#include "resources/pipl_layout.h"

namespace mst::test {
namespace {

class PluginDll : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(MST_PLUGIN_DLL)) {
            GTEST_SKIP() << MST_PLUGIN_DLL << " is missing: scripts/build-windows.sh builds it";
        }
        std::string error;
        std::optional<PeImage> read = readPeImage(MST_PLUGIN_DLL, error);
        ASSERT_TRUE(read.has_value()) << error;
        image = std::move(*read);
    }
    PeImage image;
};

TEST_F(PluginDll, IsA32BitWindowsDll) {
    EXPECT_EQ(image.machine, 0x14C) << "i386";
    EXPECT_EQ(image.optionalMagic, 0x10B) << "PE32";
    EXPECT_NE(image.characteristics & 0x2000, 0) << "DLL flag";
}

TEST_F(PluginDll, ExportsEntryPointFuncAloneAtOrdinalOne) {
    EXPECT_EQ(image.exportModuleName, "MiravoStampTrails.aex");
    EXPECT_EQ(image.ordinalBase, 1u);
    EXPECT_EQ(image.exportAddressCount, 1u);
    ASSERT_EQ(image.exports.size(), 1u);
    EXPECT_EQ(image.exports[0].name, "EntryPointFunc");
    EXPECT_EQ(image.exports[0].ordinal, 1u);
    EXPECT_NE(image.exports[0].rva, 0u);
}

// The runtime is linked in: nothing but DLLs that every Windows system has.
TEST_F(PluginDll, ImportsOnlySystemDlls) {
    EXPECT_FALSE(image.importedDlls.empty());
    for (std::string name : image.importedDlls) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const bool system = name == "kernel32.dll" || name == "msvcrt.dll" ||
                            name == "ucrtbase.dll" || name.rfind("api-ms-win-", 0) == 0;
        EXPECT_TRUE(system) << name;
    }
}

TEST_F(PluginDll, CarriesThePropertyListAsPiplResource16000InUsEnglish) {
    ASSERT_EQ(image.resources.size(), 1u);
    const PeResource& res = image.resources[0];
    EXPECT_EQ(res.typeName, "PIPL");
    EXPECT_EQ(res.name, "") << "an integer id, not a name";
    EXPECT_EQ(res.id, 16000u);
    EXPECT_EQ(res.language, 1033u);
    expectPiplLayout(res.data.data(), res.data.size());
    // Built from the constants of this source tree: an older DLL shows here.
    EXPECT_TRUE(std::equal(res.data.begin(), res.data.end(), PIPL_BYTES.begin(), PIPL_BYTES.end()));
}

}  // namespace
}  // namespace mst::test
