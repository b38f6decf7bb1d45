#include "core/frame_params.h"

#include <algorithm>
#include <cmath>

namespace mst {
namespace {

// Degrees in 16.16 to [0, 360). -360 gives -0.0, which is not below zero and stays.
double normaliseDegrees(int32_t fixedDegrees, RemainderFunction remainder) {
    double a = fixedDegrees / 65536.0;
    a = remainder(a, 360.0);
    if (a < 0)
        a = a + 360.0;
    return a;
}

// Divide first, then scale: 35 % must give 0.35000000000000003, as the host's own math does.
double percentToFraction(int32_t fixedPercent) {
    return (fixedPercent / 65536.0) * 0.01;
}

}  // namespace

FrameParams buildFrameParams(const RawParamValues& raw, int32_t downsampleNum,
                             uint32_t downsampleDen, RemainderFunction remainder) {
    if (remainder == nullptr)
        remainder = [](double a, double b) { return std::fmod(a, b); };
    FrameParams p{};
    // A host that reports a zero denominator gets full resolution, not infinity or NaN.
    p.downsampleScale = downsampleDen == 0 ? 1.0
                                           : static_cast<double>(downsampleNum) /
                                                 static_cast<double>(downsampleDen);
    p.pathId = raw.path;
    p.offsetFraction = normaliseDegrees(raw.offset, remainder) / 360.0;
    // Held to the panel's range: a value beyond it (a damaged project, a host that does not
    // keep a slider to its declared range) would place up to 2^31 stamps, each coloured,
    // drawn and reported, a frame that never seems to end. Zero and below draw nothing.
    p.stampCount = std::min(raw.number, MAX_STAMP_COUNT);
    p.fixedAngle = raw.fixedAngle;
    p.background = raw.background;
    p.stampWidth = raw.width * p.downsampleScale;
    p.stampAngle = normaliseDegrees(raw.angle, remainder);
    p.shape = raw.shape;
    p.polygonSides = raw.sides;
    p.innerFraction = percentToFraction(raw.inner);
    p.timeFraction = percentToFraction(raw.time);
    p.lengthFraction = percentToFraction(raw.length);
    p.edgeColor = raw.edgeColor;
    int32_t t = raw.edgeThickness;
    if (t > 0) {
        // A thin edge never vanishes at a low resolution.
        t = truncToInt(t * p.downsampleScale);
        if (t == 0)
            t = 1;
    }
    p.edgeThickness = t;
    p.edgeMode = raw.edgeMode;
    p.edgeLightness = raw.edgeLightness;
    p.blendMode = raw.blendMode;
    p.colorOpacity = percentToFraction(raw.colorOpacity);
    return p;
}

}  // namespace mst
