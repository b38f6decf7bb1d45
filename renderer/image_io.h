// Image files: PNG (8-bit and 16-bit) through libpng and OpenEXR (float) through OpenEXR's
// C++ interface, read into and written from the effect's frame depths.
#pragma once

#include <optional>
#include <string>

#include "standin_host/owned_image.h"

namespace mst {

enum class ImageFileType { Png, Exr };

// The largest image side read: the host's own limit for a layer. A damaged header claiming
// more is refused before memory is taken for it.
constexpr int32_t MAX_IMAGE_SIDE = 30000;

// The type an output name asks for, by its extension (.png, .exr; any letter case).
std::optional<ImageFileType> fileTypeForName(const std::string& path);

// Reads a PNG or OpenEXR file, recognised by its content, not its name. An 8-bit PNG (any
// colour type, palette and grey included) gives a Depth8 image, a 16-bit PNG a Depth16 image
// (0..65535 taken to 0..32768), an OpenEXR file a DepthFloat image with straight colour (the
// file's premultiplied colour divided by alpha). Throws RunError naming the file and the
// problem.
OwnedImage readImage(const std::string& path);

// Writes `image` as `type`: PNG keeps 8-bit frames 8-bit and writes 16-bit and float frames
// as 16-bit; OpenEXR writes 32-bit float RGBA, premultiplied as the format expects. The file
// is written under a temporary name beside `path` and renamed over it only when complete, so
// a failure leaves no partial file and an existing file untouched. Throws RunError.
void writeImage(const std::string& path, const OwnedImage& image, ImageFileType type);

}  // namespace mst
