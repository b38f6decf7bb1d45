// The circle and polygon stamp: an antialiased white fill over a black edge ring, rendered
// once per frame in the frame's depth.
#pragma once

#include <cstdint>

#include "core/frame_params.h"
#include "core/render_host.h"
#include "core/stamp.h"

namespace mst {

// 6 pi: an exact multiple of every polygon sector, added so fmod never sees a negative angle.
constexpr double ANGLE_LIFT = 18.84955592153876;
constexpr double PI_DOUBLE = 3.141592653589793;

// The panel's range of "n Sides".
constexpr int32_t MIN_POLYGON_SIDES = 3;
constexpr int32_t MAX_POLYGON_SIDES = 18;

// Derived once per frame, for every shape. A side count outside 3..18 is taken as the nearest
// end of that range.
struct PolygonConstants {
    double halfSector = 0.0;     // pi / n
    double sector = 0.0;         // 2 pi / n
    double secHalfSector = 0.0;  // 1 / cos(pi / n)
};
PolygonConstants makePolygonConstants(int32_t sides, const MathFunctions& math);

// ceil(stampWidth) plus one edge ring and one spare pixel on each side, made odd.
StampSize shapeStampSize(double stampWidth, int32_t edgeThickness, const MathFunctions& math);

// Coverage of a pixel at distance d (between pixel indices) from the centre by a disc of
// radius r: 1 at d <= r - 1, 0 at d >= r, linear between; nothing for r < 0.5.
double coverageRamp(double d, double r);

// Scaled distance to the nearest side of the regular polygon (equal to the Euclidean distance
// towards a vertex; the first vertex points along +x).
double polygonDistance(int32_t dx, int32_t dy, const PolygonConstants& polygon,
                       const MathFunctions& math);

// Writes every pixel of the stamp image (which has the frame's depth). Draws a polygon for
// Shape = Polygon and a circle otherwise.
void rasteriseStamp(const Stamp& stamp, const FrameParams& params, const PolygonConstants& polygon,
                    const MathFunctions& math);
// The same, evaluating every polygon pixel's exact distance: the plain form the fast one is
// checked against.
void rasteriseStampPlain(const Stamp& stamp, const FrameParams& params,
                         const PolygonConstants& polygon, const MathFunctions& math);

}  // namespace mst
