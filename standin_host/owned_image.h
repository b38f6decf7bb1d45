// An image that owns its pixels: the stand-in host's worlds, and test fixtures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/render_host.h"
#include "pixel/pixel_types.h"

namespace mst {

// width x height pixels of one depth, rows padded to pixelsPerRow, all channels 0 at first.
class OwnedImage {
  public:
    OwnedImage() = default;
    OwnedImage(PixelDepth depth, int32_t width, int32_t height, int32_t padPixels = 0)
        : depth_(depth),
          width_(width),
          height_(height),
          pixelsPerRow_(width + padPixels),
          bytes_(static_cast<size_t>(pixelsPerRow_) * static_cast<size_t>(height) *
                 static_cast<size_t>(pixelSize(depth))) {}

    PixelDepth depth() const { return depth_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t pixelsPerRow() const { return pixelsPerRow_; }
    int32_t rowBytes() const { return pixelsPerRow_ * pixelSize(depth_); }
    void* data() { return bytes_.empty() ? nullptr : bytes_.data(); }
    const std::vector<std::byte>& bytes() const { return bytes_; }

    PixelImage view() {
        PixelImage v;
        v.depth = depth_;
        v.width = width_;
        v.height = height_;
        v.pixelsPerRow = pixelsPerRow_;
        v.data = data();
        return v;
    }
    HostImage host() { return HostImage{data(), width_, height_, rowBytes()}; }

    template <class P>
    P& at(int32_t x, int32_t y) {
        return reinterpret_cast<P*>(bytes_.data())[static_cast<size_t>(y) * pixelsPerRow_ + x];
    }
    template <class P>
    const P& at(int32_t x, int32_t y) const {
        return reinterpret_cast<const P*>(
            bytes_.data())[static_cast<size_t>(y) * pixelsPerRow_ + x];
    }
    template <class P>
    void fill(P value) {
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < width_; ++x)
                at<P>(x, y) = value;
    }

  private:
    PixelDepth depth_ = PixelDepth::Depth8;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t pixelsPerRow_ = 0;
    std::vector<std::byte> bytes_;
};

}  // namespace mst
