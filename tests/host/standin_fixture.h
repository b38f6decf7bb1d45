// A stand-in host driving the plug-in's entry point, with a gradient source and a square mask.
#pragma once

#include <memory>

#include "host/entry_point.h"
#include "standin_host/standin_host.h"

namespace mst::test {

constexpr uint32_t SQUARE_MASK = 7;
constexpr uint32_t OPEN_MASK = 8;

template <class P>
P rampPixel(int32_t x, int32_t y);
template <>
inline Pixel8 rampPixel<Pixel8>(int32_t x, int32_t y) {
    return {255, static_cast<uint8_t>(x * 7 + 20), static_cast<uint8_t>(y * 11 + 40),
            static_cast<uint8_t>((x + y) * 5)};
}

inline void fillRamp(OwnedImage& image) {
    for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
            const Pixel8 p = rampPixel<Pixel8>(x, y);
            switch (image.depth()) {
                case PixelDepth::Depth8:
                    image.at<Pixel8>(x, y) = p;
                    break;
                case PixelDepth::Depth16:
                    image.at<Pixel16>(x, y) = convert8To16(p);
                    break;
                case PixelDepth::DepthFloat:
                    image.at<PixelFloat>(x, y) = convert8ToFloat(p);
                    break;
            }
        }
    }
}

inline std::unique_ptr<StandinHost> makeStandin(PixelDepth depth = PixelDepth::Depth8,
                                                int32_t width = 40, int32_t height = 30) {
    auto host = std::make_unique<StandinHost>(EntryPointFunc);
    host->input = OwnedImage(depth, width, height);
    fillRamp(host->input);
    const double m = 8.0;
    host->masks[SQUARE_MASK] =
        makePolylinePath({{m, m}, {width - m, m}, {width - m, height - m}, {m, height - m}}, true);
    host->masks[OPEN_MASK] = makePolylinePath({{2, 3}, {width - 4.0, height - 5.0}}, false);
    return host;
}

}  // namespace mst::test
