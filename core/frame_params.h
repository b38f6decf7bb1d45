// The per-frame parameter record and its derivation from the host's raw parameter values.
#pragma once

#include <cstdint>

#include "pixel/pixel_types.h"

namespace mst {

enum class ShapeKind : int32_t { Circle = 1, Polygon = 2, Layer = 3 };
enum class EdgeMode : int32_t { Lightness = 1, Color = 2 };
enum class BackgroundMode : int32_t { OnOriginal = 1, OnTransparent = 2 };

// One value per parameter, in the form the host delivers it. Fixed-point values are
// signed 16.16 (value x 65536).
struct RawParamValues {
    uint32_t path = 0;   // mask path identifier, 0 = none
    int32_t offset = 0;  // degrees, 16.16
    int32_t number = 0;
    int32_t length = 0;  // percent, 16.16
    int32_t time = 0;    // percent, 16.16
    double width = 0.0;
    int32_t angle = 0;       // degrees, 16.16
    int32_t fixedAngle = 0;  // 0 off, 1 on
    int32_t shape = 0;       // popup, 1-based
    int32_t inner = 0;       // percent, 16.16
    int32_t sides = 0;
    int32_t edgeThickness = 0;  // pixels at full resolution
    int32_t edgeMode = 0;       // popup, 1-based
    double edgeLightness = 0.0;
    Pixel8 edgeColor{};
    int32_t blendMode = 0;     // popup, 1-based
    int32_t colorOpacity = 0;  // percent, 16.16
    int32_t background = 0;    // popup, 1-based
};

// The largest "Number" the panel offers, and the largest stamp count a record holds.
constexpr int32_t MAX_STAMP_COUNT = 10000;

// Render units: fractions, normalised degrees, pixels at the current resolution. Plain values
// only: between pre-render and render it lives in a relocatable host memory block.
struct FrameParams {
    double downsampleScale;
    uint32_t pathId;
    int32_t stampCount;
    double offsetFraction;  // of a full turn, [0, 1)
    double stampWidth;      // pixels at the current resolution
    double stampAngle;      // degrees, [0, 360)
    int32_t shape;          // ShapeKind
    int32_t polygonSides;
    double innerFraction;
    int32_t fixedAngle;
    Pixel8 edgeColor;
    int32_t edgeThickness;  // pixels at the current resolution
    int32_t edgeMode;       // EdgeMode
    double edgeLightness;
    int32_t blendMode;  // BlendMode
    double colorOpacity;
    double timeFraction;
    double lengthFraction;
    int32_t background;  // BackgroundMode
};
static_assert(std::is_trivially_copyable_v<FrameParams>);

using RemainderFunction = double (*)(double, double);

// Pure; allocates nothing. `remainder` is fmod (the host's, in the plug-in). A zero
// denominator is taken as full resolution (1/1) rather than dividing by zero.
FrameParams buildFrameParams(const RawParamValues& raw, int32_t downsampleNum,
                             uint32_t downsampleDen, RemainderFunction remainder);

}  // namespace mst
