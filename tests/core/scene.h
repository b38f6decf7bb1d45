// Small scenes shared by the render-core tests: panel-default parameters, a colourful source,
// and a host ready to draw.
#pragma once

#include <memory>

#include "core/frame_params.h"
#include "standin_host/bezier_path.h"
#include "test_host.h"

namespace mst::test {

constexpr int32_t fixed(double v) {
    return static_cast<int32_t>(v * 65536.0);
}

// The panel's defaults, except a small Width and On Original so small frames show stamps.
inline RawParamValues defaultRaw() {
    RawParamValues r;
    r.path = 1;
    r.number = 5;
    r.length = fixed(100);
    r.time = fixed(50);
    r.width = 9;
    r.shape = 1;
    r.inner = 0;
    r.sides = 4;
    r.edgeThickness = 1;
    r.edgeMode = 1;
    r.edgeLightness = 1.2000000476837158;
    r.edgeColor = {255, 255, 255, 255};
    r.blendMode = 5;
    r.colorOpacity = fixed(100);
    r.background = 1;
    return r;
}

inline FrameParams paramsOf(const RawParamValues& raw) {
    return buildFrameParams(raw, 1, 1, nullptr);
}

// A deterministic gradient: every pixel differs from its neighbours, alpha opaque.
template <class P>
P gradientPixel(int32_t x, int32_t y);
template <>
inline Pixel8 gradientPixel<Pixel8>(int32_t x, int32_t y) {
    return {255, static_cast<uint8_t>(x * 7 + 20), static_cast<uint8_t>(y * 11 + 40),
            static_cast<uint8_t>((x + y) * 5)};
}
template <>
inline Pixel16 gradientPixel<Pixel16>(int32_t x, int32_t y) {
    return convert8To16(gradientPixel<Pixel8>(x, y));
}
template <>
inline PixelFloat gradientPixel<PixelFloat>(int32_t x, int32_t y) {
    return convert8ToFloat(gradientPixel<Pixel8>(x, y));
}

template <class P>
void fillGradient(OwnedImage& image) {
    for (int32_t y = 0; y < image.height(); ++y)
        for (int32_t x = 0; x < image.width(); ++x)
            image.at<P>(x, y) = gradientPixel<P>(x, y);
}

inline void fillGradient(OwnedImage& image) {
    switch (image.depth()) {
        case PixelDepth::Depth8:
            fillGradient<Pixel8>(image);
            break;
        case PixelDepth::Depth16:
            fillGradient<Pixel16>(image);
            break;
        case PixelDepth::DepthFloat:
            fillGradient<PixelFloat>(image);
            break;
    }
}

// A host with a gradient source, a closed square path inside the frame, and `raw`'s record.
inline std::unique_ptr<TestHost> makeSceneHost(PixelDepth depth, int32_t width, int32_t height,
                                               const RawParamValues& raw = defaultRaw()) {
    auto host = std::make_unique<TestHost>(depth, width, height);
    fillGradient(host->input);
    host->params = paramsOf(raw);
    const double m = 8.0;
    host->path =
        makePolylinePath({{m, m}, {width - m, m}, {width - m, height - m}, {m, height - m}}, true);
    return host;
}

}  // namespace mst::test
