// The frame's stamp: the shape (or layer copy) rendered once per frame, sampled by every
// instance.
#pragma once

#include <cstdint>

#include "pixel/pixel_types.h"

namespace mst {

// Width and height are always odd, so (halfWidth, halfHeight) is the exact centre pixel.
struct Stamp {
    PixelImage image;
    int32_t halfWidth = 0;
    int32_t halfHeight = 0;
};

struct StampSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The next odd size at or above `size`, kept within 1 ... INT32_MAX (both odd): an absurd
// size then fails as out of memory at the host instead of overflowing, and one below a pixel
// (a negative Width or Edge Thickness, which only a damaged project holds) is one pixel, so
// the host is never asked for an image without pixels.
inline int32_t oddStampSize(int64_t size) {
    if (size % 2 == 0)
        size += 1;
    return size > INT32_MAX ? INT32_MAX : size < 1 ? 1 : static_cast<int32_t>(size);
}

}  // namespace mst
