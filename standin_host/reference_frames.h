// A fixed set of frames rendered through the plug-in's entry point on the stand-in host: every
// shape, every depth, both backgrounds, and a layer stamp in each blend mode. The same set is
// rendered by the Windows build of the plug-in (loaded from its DLL) and by the native build,
// so the two can be compared byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host_api/effect_api.h"
#include "standin_host/owned_image.h"
#include "standin_host/standin_host.h"

namespace mst {

// The masks a reference frame can follow.
enum class ReferenceMask : uint32_t { Square = 1, Circle = 2, Zigzag = 3 };

struct ReferenceFrame {
    std::string name;  // unique, usable as a file name
    PixelDepth depth = PixelDepth::Depth8;
    ReferenceMask mask = ReferenceMask::Square;
    PanelValues values;
};

constexpr int32_t REFERENCE_WIDTH = 64;
constexpr int32_t REFERENCE_HEIGHT = 48;

const std::vector<ReferenceFrame>& referenceFrames();

// Sets up a fresh stand-in host for `frame` (source image, layer, masks, parameter values) and
// renders it through `entry`.
PF_Err renderReferenceFrame(PF_EntryPointFunc entry, const ReferenceFrame& frame,
                            OwnedImage& output);

// The source image every reference frame starts from, in the frame's depth.
OwnedImage referenceSource(PixelDepth depth);

// A frame on disk: "MSTF", then depth, width and height as little-endian 32-bit numbers, then
// the pixels row by row without padding, as they lie in memory.
bool writeFrameFile(const std::string& path, const OwnedImage& image, std::string& error);
std::optional<OwnedImage> readFrameFile(const std::string& path, std::string& error);

}  // namespace mst
