// The built-in scene rendered when no input image or no path is given.
#pragma once

#include <cstdint>

#include "standin_host/owned_image.h"

namespace mst {

constexpr int32_t DEMO_WIDTH = 960;
constexpr int32_t DEMO_HEIGHT = 540;

// SVG path data in the demo image's pixels: a closed double loop across the picture.
extern const char* const DEMO_PATH;

// A colourful opaque picture made in code: hues sweeping across, light and shade changing
// down the frame and a pattern of soft rings, so every stamp samples a different colour.
// Made in float and brought into `depth`.
OwnedImage makeDemoImage(PixelDepth depth);

}  // namespace mst
