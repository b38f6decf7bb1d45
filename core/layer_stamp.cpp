#include "core/layer_stamp.h"

namespace mst {

StampSize layerStampSize(double stampWidth, int32_t layerWidth, int32_t layerHeight,
                         const MathFunctions& math) {
    const int32_t w = oddStampSize(truncToInt(math.ceil(stampWidth)));
    const double h = math.ceil(static_cast<double>(w) * layerHeight / layerWidth);
    return {w, oddStampSize(truncToInt(h))};
}

LayerSampling makeLayerSampling(double stampWidth, int32_t layerWidth, int32_t layerHeight) {
    LayerSampling s;
    s.layerScale = layerWidth / stampWidth;
    s.sampleRadius = toFixed(s.layerScale * 0.5);
    s.centerX = layerWidth / 2.0;
    s.centerY = layerHeight / 2.0;
    return s;
}

namespace {

template <class P>
void sampleTyped(const Stamp& stamp, const PixelImage& layer, const LayerSampling& s,
                 RenderHost& host, int32_t& err) {
    for (int32_t j = 0; j < stamp.image.height && err == 0; ++j) {
        P* row = stamp.image.row<P>(j);
        // Samples sit half a stamp pixel off the centred grid; y uses the x scale.
        const double v = (j - stamp.halfHeight) + 0.5;
        const int32_t y = toFixed(s.layerScale * v + s.centerY);
        for (int32_t i = 0; i < stamp.image.width; ++i) {
            const double u = (i - stamp.halfWidth) + 0.5;
            const int32_t x = toFixed(s.layerScale * u + s.centerX);
            P sample{};
            err = host.areaSample(layer, x, y, s.sampleRadius, sample);
            if (err != 0)
                return;
            row[i] = sample;
        }
    }
}

}  // namespace

void sampleLayerStamp(const Stamp& stamp, const PixelImage& layer, const LayerSampling& sampling,
                      RenderHost& host, int32_t& err) {
    if (err != 0)
        return;
    switch (stamp.image.depth) {
        case PixelDepth::Depth8:
            sampleTyped<Pixel8>(stamp, layer, sampling, host, err);
            break;
        case PixelDepth::Depth16:
            sampleTyped<Pixel16>(stamp, layer, sampling, host, err);
            break;
        case PixelDepth::DepthFloat:
            sampleTyped<PixelFloat>(stamp, layer, sampling, host, err);
            break;
    }
}

}  // namespace mst
