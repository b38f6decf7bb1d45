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
    fillFrom8(image, rampPixel<Pixel8>);
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
