#include "core/stamp_rasteriser.h"

#include "pixel/blend_operators.h"

namespace mst {

PolygonConstants makePolygonConstants(int32_t sides, const MathFunctions& math) {
    // The panel offers 3..18 sides. A damaged record's count is kept to that range: 0 sides
    // would divide by zero and turn every polygon distance (and float stamp alpha) into NaN.
    if (sides < MIN_POLYGON_SIDES)
        sides = MIN_POLYGON_SIDES;
    if (sides > MAX_POLYGON_SIDES)
        sides = MAX_POLYGON_SIDES;
    PolygonConstants c;
    c.halfSector = PI_DOUBLE / sides;
    c.sector = c.halfSector + c.halfSector;
    c.secHalfSector = 1 / math.cos(c.halfSector);
    return c;
}

StampSize shapeStampSize(double stampWidth, int32_t edgeThickness, const MathFunctions& math) {
    // Widened so a hostile thickness cannot overflow; in range this is the plain int32 sum.
    const int64_t w = int64_t{truncToInt(math.ceil(stampWidth))} + 2 * int64_t{edgeThickness} + 2;
    const int32_t size = oddStampSize(w);
    return {size, size};
}

double coverageRamp(double d, double r) {
    const double t = d - r + 1;
    if (t > 1)
        return 0.0;
    if (r < 0.5)
        return 0.0;
    if (t < 0)
        return 1.0;
    return 1 - t;
}

double polygonDistance(int32_t dx, int32_t dy, const PolygonConstants& polygon,
                       const MathFunctions& math) {
    // phi in [-halfSector, halfSector): the angle from the normal of the nearest side.
    const double theta = math.atan2(dy, dx);
    const double phi = math.fmod(theta + ANGLE_LIFT, polygon.sector) - polygon.halfSector;
    const double d2 = static_cast<double>(int64_t{dx} * dx + int64_t{dy} * dy);
    return math.sqrt(d2) * (math.cos(phi) * polygon.secHalfSector);
}

namespace {

template <class P>
typename PixelTraits<P>::Channel alphaFromCoverage(double c) {
    if constexpr (std::is_same_v<P, Pixel8>) {
        return floatToChannel8(c);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return floatToChannel16(c);
    } else {
        return static_cast<float>(c);
    }
}

// True when a coverage ramp of radius r gives one value for every distance in [low, high]: 1
// below r - 1, 0 above r, and 0 everywhere for r under half a pixel. The margin keeps the test
// clear of the rounding of t = d - r + 1.
bool rampConstantOver(double low, double high, double r) {
    constexpr double MARGIN = 1e-6;
    return r < 0.5 || high < r - 1 - MARGIN || low > r + MARGIN;
}

template <class P, bool SETTLE>
void rasteriseTyped(const Stamp& stamp, const FrameParams& params, const PolygonConstants& polygon,
                    const MathFunctions& math) {
    using Channel = typename PixelTraits<P>::Channel;
    const Channel full = static_cast<Channel>(PixelTraits<P>::MAX);
    const double radius = 0.5 * params.stampWidth;
    const double edge = params.edgeThickness;
    const double inner = params.innerFraction;
    const bool polygonShape = params.shape == static_cast<int32_t>(ShapeKind::Polygon);
    const bool noEdge = params.edgeThickness == 0;
    const bool noFill = params.innerFraction == 1.0;
    const double outerRadius = edge + radius;
    const double innerEdgeRadius = inner * radius - edge;
    const double holeRadius = inner * radius;

    for (int32_t j = 0; j < stamp.image.height; ++j) {
        P* row = stamp.image.row<P>(j);
        for (int32_t i = 0; i < stamp.image.width; ++i) {
            const int32_t dx = i - stamp.halfWidth;
            const int32_t dy = j - stamp.halfHeight;
            const double euclidean =
                math.sqrt(static_cast<double>(int64_t{dx} * dx + int64_t{dy} * dy));
            double d = euclidean;
            if (polygonShape && !SETTLE) {
                d = polygonDistance(dx, dy, polygon, math);
            } else if (polygonShape) {
                // The polygon distance lies between the Euclidean one (towards a vertex) and
                // sec(pi / n) times it (towards a side). Where no ramp changes over that span
                // the exact distance cannot change the pixel, and its trigonometry is skipped.
                const double low = euclidean * (1 - 1e-9);
                const double high = euclidean * polygon.secHalfSector * (1 + 1e-9);
                const bool settled = rampConstantOver(low, high, radius) &&
                                     rampConstantOver(low, high, holeRadius) &&
                                     rampConstantOver(low, high, outerRadius) &&
                                     rampConstantOver(low, high, innerEdgeRadius);
                if (!settled)
                    d = polygonDistance(dx, dy, polygon, math);
            }
            // The ring spans [kR - e, R + e] and lies under the fill, which spans [kR, R].
            const double edgeCoverage =
                (1 - coverageRamp(d, innerEdgeRadius)) * coverageRamp(d, outerRadius);
            const double fillCoverage = (1 - coverageRamp(d, holeRadius)) * coverageRamp(d, radius);
            P edgePixel{alphaFromCoverage<P>(edgeCoverage), 0, 0, 0};
            if (noEdge)
                edgePixel.alpha = 0;
            P fillPixel{alphaFromCoverage<P>(fillCoverage), full, full, full};
            if (noFill)
                fillPixel.alpha = 0;
            row[i] = compositeOver(edgePixel, fillPixel);
        }
    }
}

template <bool SETTLE>
void rasteriseInDepth(const Stamp& stamp, const FrameParams& params,
                      const PolygonConstants& polygon, const MathFunctions& math) {
    switch (stamp.image.depth) {
        case PixelDepth::Depth8:
            rasteriseTyped<Pixel8, SETTLE>(stamp, params, polygon, math);
            break;
        case PixelDepth::Depth16:
            rasteriseTyped<Pixel16, SETTLE>(stamp, params, polygon, math);
            break;
        case PixelDepth::DepthFloat:
            rasteriseTyped<PixelFloat, SETTLE>(stamp, params, polygon, math);
            break;
    }
}

}  // namespace

void rasteriseStamp(const Stamp& stamp, const FrameParams& params, const PolygonConstants& polygon,
                    const MathFunctions& math) {
    rasteriseInDepth<true>(stamp, params, polygon, math);
}

void rasteriseStampPlain(const Stamp& stamp, const FrameParams& params,
                         const PolygonConstants& polygon, const MathFunctions& math) {
    rasteriseInDepth<false>(stamp, params, polygon, math);
}

}  // namespace mst
