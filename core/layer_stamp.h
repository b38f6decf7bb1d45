// The layer stamp: the chosen layer, scaled to the stamp width, area-sampled once per stamp
// pixel.
#pragma once

#include <cstdint>

#include "core/render_host.h"
#include "core/stamp.h"

namespace mst {

// Width ceil(stampWidth) made odd; height keeps the layer's aspect ratio, made odd.
StampSize layerStampSize(double stampWidth, int32_t layerWidth, int32_t layerHeight,
                         const MathFunctions& math);

// How stamp pixels map into the layer; computed once, before the stamp image exists.
struct LayerSampling {
    double layerScale = 0.0;   // layer pixels per stamp pixel, both axes
    int32_t sampleRadius = 0;  // half-extent of the sampling box, 16.16
    double centerX = 0.0;      // layer centre, layer pixels
    double centerY = 0.0;
};
LayerSampling makeLayerSampling(double stampWidth, int32_t layerWidth, int32_t layerHeight);

// Fills every stamp pixel with the host's area sample of the layer. The first failing sample
// becomes `err` and ends the sampling.
void sampleLayerStamp(const Stamp& stamp, const PixelImage& layer, const LayerSampling& sampling,
                      RenderHost& host, int32_t& err);

}  // namespace mst
