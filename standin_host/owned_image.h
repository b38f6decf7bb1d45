// An image that owns its pixels: the stand-in host's worlds, and test fixtures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "core/render_host.h"
#include "pixel/pixel_types.h"

namespace mst {

// width x height pixels of one depth, rows padded to pixelsPerRow, all channels 0 at first.
class OwnedImage {
  public:
    OwnedImage() = default;
    // Throws std::bad_alloc for an image whose row bytes do not fit 32 bits or whose size this
    // process cannot address, std::invalid_argument for a negative extent.
    OwnedImage(PixelDepth depth, int32_t width, int32_t height, int32_t padPixels = 0)
        : depth_(depth),
          width_(width),
          height_(height),
          pixelsPerRow_(checkedRowPixels(depth, width, padPixels)),
          bytes_(checkedBytes(depth, pixelsPerRow_, height)) {}

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
    // Sizes are formed in 64 bits and checked before anything is allocated: on a 32-bit
    // system size_t products would wrap and allocate a fraction of the image.
    static int32_t checkedRowPixels(PixelDepth depth, int32_t width, int32_t padPixels) {
        if (width < 0 || padPixels < 0)
            throw std::invalid_argument("negative image width");
        const int64_t pixels = int64_t{width} + padPixels;
        if (pixels * pixelSize(depth) > INT32_MAX)
            throw std::bad_alloc();
        return static_cast<int32_t>(pixels);
    }
    static size_t checkedBytes(PixelDepth depth, int32_t rowPixels, int32_t height) {
        if (height < 0)
            throw std::invalid_argument("negative image height");
        // Row bytes are below 2^31, so the product stays below 2^62.
        const uint64_t bytes = static_cast<uint64_t>(rowPixels) *
                               static_cast<uint64_t>(pixelSize(depth)) *
                               static_cast<uint64_t>(height);
        if (bytes > static_cast<uint64_t>(PTRDIFF_MAX))
            throw std::bad_alloc();
        return static_cast<size_t>(bytes);
    }

    PixelDepth depth_ = PixelDepth::Depth8;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t pixelsPerRow_ = 0;
    std::vector<std::byte> bytes_;
};

// Sets every pixel to pattern(x, y), an 8-bit colour brought into the image's depth.
template <class Pattern>
void fillFrom8(OwnedImage& image, Pattern pattern) {
    auto fill = [&](auto zero) {
        using P = decltype(zero);
        for (int32_t y = 0; y < image.height(); ++y)
            for (int32_t x = 0; x < image.width(); ++x)
                image.at<P>(x, y) = convert8To<P>(pattern(x, y));
    };
    switch (image.depth()) {
        case PixelDepth::Depth8:
            fill(Pixel8{});
            break;
        case PixelDepth::Depth16:
            fill(Pixel16{});
            break;
        case PixelDepth::DepthFloat:
            fill(PixelFloat{});
            break;
    }
}

}  // namespace mst
