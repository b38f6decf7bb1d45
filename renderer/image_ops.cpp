#include "renderer/image_ops.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace mst {
namespace {

float clamp01(float x) {
    // NaN fails both comparisons and becomes 0.
    if (!(x > 0.0f))
        return 0.0f;
    return x < 1.0f ? x : 1.0f;
}

uint8_t channel16To8(uint16_t v) {
    const uint32_t f = v > 32768u ? 32768u : v;
    return static_cast<uint8_t>((f * 255u + 16384u) / 32768u);
}

template <class From, class To, class F>
OwnedImage mapPixels(const OwnedImage& image, F channel) {
    OwnedImage out(depthOf<To>(), image.width(), image.height());
    for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
            const From& p = image.at<From>(x, y);
            out.at<To>(x, y) =
                To{channel(p.alpha), channel(p.red), channel(p.green), channel(p.blue)};
        }
    }
    return out;
}

// Channel value of a pixel type as a double, and back with rounding and clamping.
template <class P>
double maxOf() {
    if constexpr (std::is_same_v<P, Pixel8>)
        return CHANNEL_MAX_8;
    if constexpr (std::is_same_v<P, Pixel16>)
        return CHANNEL_MAX_16;
    return 1.0;
}
template <class P>
auto fromAverage(double v) {
    if constexpr (std::is_same_v<P, PixelFloat>) {
        return static_cast<float>(v);
    } else {
        using C = decltype(P{}.alpha);
        const double r = std::floor(std::clamp(v, 0.0, maxOf<P>()) + 0.5);
        return static_cast<C>(r);
    }
}

template <class P>
OwnedImage downsampleTyped(const OwnedImage& image, int32_t factor) {
    const int32_t w = (image.width() + factor - 1) / factor;
    const int32_t h = (image.height() + factor - 1) / factor;
    OwnedImage out(image.depth(), w, h);
    for (int32_t oy = 0; oy < h; ++oy) {
        for (int32_t ox = 0; ox < w; ++ox) {
            double a = 0, r = 0, g = 0, b = 0;  // alpha-weighted sums
            double pr = 0, pg = 0, pb = 0;      // plain sums, for an all-transparent box
            int32_t n = 0;
            const int32_t x1 = std::min(image.width(), (ox + 1) * factor);
            const int32_t y1 = std::min(image.height(), (oy + 1) * factor);
            for (int32_t y = oy * factor; y < y1; ++y) {
                for (int32_t x = ox * factor; x < x1; ++x) {
                    const P& p = image.at<P>(x, y);
                    const double pa = p.alpha;
                    a += pa;
                    r += pa * p.red;
                    g += pa * p.green;
                    b += pa * p.blue;
                    pr += p.red;
                    pg += p.green;
                    pb += p.blue;
                    ++n;
                }
            }
            P& q = out.at<P>(ox, oy);
            q.alpha = fromAverage<P>(a / n);
            if (a != 0.0) {
                q.red = fromAverage<P>(r / a);
                q.green = fromAverage<P>(g / a);
                q.blue = fromAverage<P>(b / a);
            } else {
                q.red = fromAverage<P>(pr / n);
                q.green = fromAverage<P>(pg / n);
                q.blue = fromAverage<P>(pb / n);
            }
        }
    }
    return out;
}

}  // namespace

uint8_t floatTo8(float x) {
    return static_cast<uint8_t>(std::floor(clamp01(x) * 255.0 + 0.5));
}
uint16_t floatTo16(float x) {
    return static_cast<uint16_t>(std::floor(clamp01(x) * 32768.0 + 0.5));
}
uint16_t floatToFile16(float x) {
    return static_cast<uint16_t>(std::floor(clamp01(x) * 65535.0 + 0.5));
}

OwnedImage convertDepth(const OwnedImage& image, PixelDepth depth) {
    using D = PixelDepth;
    const D from = image.depth();
    if (from == D::Depth8) {
        if (depth == D::Depth8)
            return mapPixels<Pixel8, Pixel8>(image, [](uint8_t v) { return v; });
        if (depth == D::Depth16) {
            return mapPixels<Pixel8, Pixel16>(image, convertChannel8To16);
        }
        return mapPixels<Pixel8, PixelFloat>(
            image, [](uint8_t v) { return static_cast<float>(static_cast<double>(v) / 255.0); });
    }
    if (from == D::Depth16) {
        if (depth == D::Depth8)
            return mapPixels<Pixel16, Pixel8>(image, channel16To8);
        if (depth == D::Depth16) {
            return mapPixels<Pixel16, Pixel16>(image, [](uint16_t v) { return v; });
        }
        return mapPixels<Pixel16, PixelFloat>(
            image, [](uint16_t v) { return static_cast<float>(static_cast<double>(v) / 32768.0); });
    }
    if (depth == D::Depth8)
        return mapPixels<PixelFloat, Pixel8>(image, floatTo8);
    if (depth == D::Depth16)
        return mapPixels<PixelFloat, Pixel16>(image, floatTo16);
    return mapPixels<PixelFloat, PixelFloat>(image, [](float v) { return v; });
}

OwnedImage downsampleImage(const OwnedImage& image, int32_t factor) {
    if (factor < 1)
        throw std::invalid_argument("downsample factor below 1");
    switch (image.depth()) {
        case PixelDepth::Depth8:
            return downsampleTyped<Pixel8>(image, factor);
        case PixelDepth::Depth16:
            return downsampleTyped<Pixel16>(image, factor);
        case PixelDepth::DepthFloat:
            break;
    }
    return downsampleTyped<PixelFloat>(image, factor);
}

OwnedImage sideBySide(const std::vector<OwnedImage>& frames) {
    if (frames.empty())
        return OwnedImage();
    int32_t width = 0;
    for (const OwnedImage& f : frames) {
        if (f.depth() != frames[0].depth() || f.height() != frames[0].height()) {
            throw std::invalid_argument("frames of different depth or height");
        }
        width += f.width();
    }
    OwnedImage out(frames[0].depth(), width, frames[0].height());
    const size_t pixel = static_cast<size_t>(pixelSize(out.depth()));
    int32_t left = 0;
    for (const OwnedImage& f : frames) {
        for (int32_t y = 0; y < f.height(); ++y) {
            const std::byte* src = f.bytes().data() + static_cast<size_t>(y) * f.rowBytes();
            std::byte* dst = static_cast<std::byte*>(out.data()) +
                             static_cast<size_t>(y) * out.rowBytes() + left * pixel;
            std::copy(src, src + f.width() * pixel, dst);
        }
        left += f.width();
    }
    return out;
}

}  // namespace mst
