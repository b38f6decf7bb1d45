// The plug-in's identity, version and global flags: one source for Global Setup and the
// property list resource, so the two cannot drift apart.
#pragma once

#include <cstdint>

namespace mst {

constexpr const char* PLUGIN_NAME = "MiravoStampTrails";
constexpr const char* PLUGIN_CATEGORY = "Miravo";
constexpr const char* PLUGIN_MATCH_NAME = "MiravoStampTrails by Brevaloth";
constexpr const char* PLUGIN_DESCRIPTION =
    "Draws a row of stamps along a mask path, each coloured from the image where it sits.";

constexpr uint32_t VERSION_MAJOR = 1;
constexpr uint32_t VERSION_MINOR = 1;
constexpr uint32_t VERSION_BUGFIX = 0;
constexpr uint32_t VERSION_STAGE = 3;  // release
constexpr uint32_t VERSION_BUILD = 0;

// The host's version packing: major from bit 19, minor bits 15-18, bug fix bits 11-14, stage
// bits 9-10, build bits 0-8.
constexpr uint32_t packVersion(uint32_t major, uint32_t minor, uint32_t bugfix, uint32_t stage,
                               uint32_t build) {
    return (major << 19) | (minor << 15) | (bugfix << 11) | (stage << 9) | build;
}
constexpr uint32_t PLUGIN_VERSION =
    packVersion(VERSION_MAJOR, VERSION_MINOR, VERSION_BUGFIX, VERSION_STAGE, VERSION_BUILD);
static_assert(PLUGIN_VERSION == 0x88600);

// Use output extent (bit 6), deep colour aware (bit 25), send update-params-UI (bit 26).
constexpr int32_t PLUGIN_OUT_FLAGS = (1 << 6) | (1 << 25) | (1 << 26);
// Smart render (bit 10), float colour aware (bit 12).
constexpr int32_t PLUGIN_OUT_FLAGS2 = (1 << 10) | (1 << 12);
static_assert(PLUGIN_OUT_FLAGS == 0x06000040 && PLUGIN_OUT_FLAGS2 == 0x1400);

}  // namespace mst
