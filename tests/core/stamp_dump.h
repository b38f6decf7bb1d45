// Raw stamp dumps for looking at stamps by eye: written only when MST_DUMP_DIR is set.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "standin_host/owned_image.h"

namespace mst::test {

// <MST_DUMP_DIR>/<name>_<8|16|float>.raw: int32 width, height, pixelsPerRow, bytes per pixel
// (little-endian), then the image's bytes row by row.
inline void dumpStampIfAsked(const std::string& name, const OwnedImage& image) {
    const char* dir = std::getenv("MST_DUMP_DIR");
    if (dir == nullptr)
        return;
    const char* depth = image.depth() == PixelDepth::Depth8    ? "8"
                        : image.depth() == PixelDepth::Depth16 ? "16"
                                                               : "float";
    std::ofstream out(std::string(dir) + "/" + name + "_" + depth + ".raw", std::ios::binary);
    const int32_t header[4] = {image.width(), image.height(), image.pixelsPerRow(),
                               pixelSize(image.depth())};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(image.bytes().data()),
              static_cast<std::streamsize>(image.bytes().size()));
}

}  // namespace mst::test
