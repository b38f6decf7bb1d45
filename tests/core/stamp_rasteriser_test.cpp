#include "core/stamp_rasteriser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "pixel/pixel_printing.h"
#include "pixel/pixel_traits.h"
#include "stamp_dump.h"

namespace mst::test {
namespace {

constexpr int32_t CIRCLE = static_cast<int32_t>(ShapeKind::Circle);
constexpr int32_t POLYGON = static_cast<int32_t>(ShapeKind::Polygon);

FrameParams shapeParams(int32_t shape, int32_t sides, double width, int32_t edge, double inner) {
    FrameParams p{};
    p.shape = shape;
    p.polygonSides = sides;
    p.stampWidth = width;
    p.edgeThickness = edge;
    p.innerFraction = inner;
    return p;
}

std::string describe(const FrameParams& p) {
    std::ostringstream s;
    s << (p.shape == POLYGON ? "polygon " + std::to_string(p.polygonSides) + " sides" : "circle")
      << ", width " << p.stampWidth << ", edge " << p.edgeThickness << ", inner "
      << p.innerFraction;
    return s.str();
}

const char* depthName(PixelDepth depth) {
    return depth == PixelDepth::Depth8    ? "8-bit"
           : depth == PixelDepth::Depth16 ? "16-bit"
                                          : "float";
}

constexpr int32_t PAD_PIXELS = 3;
constexpr unsigned char MARKER = 0x5A;

// The stamp as the driver makes it, except that its rows are padded and every byte starts as
// a marker: a pixel the rasteriser leaves unwritten, or a write past a row, shows.
OwnedImage rasterise(PixelDepth depth, const FrameParams& p) {
    const MathFunctions& math = standardMath();
    const StampSize size = shapeStampSize(p.stampWidth, p.edgeThickness, math);
    OwnedImage image(depth, size.width, size.height, PAD_PIXELS);
    std::memset(image.data(), MARKER, image.bytes().size());
    const Stamp stamp{image.view(), size.width / 2, size.height / 2};
    rasteriseStamp(stamp, p, makePolygonConstants(p.polygonSides, math), math);
    return image;
}

bool paddingUntouched(const OwnedImage& image) {
    const size_t rowBytes = static_cast<size_t>(image.rowBytes());
    const size_t used = static_cast<size_t>(image.width()) * pixelSize(image.depth());
    for (size_t row = 0; row < static_cast<size_t>(image.height()); ++row)
        for (size_t b = used; b < rowBytes; ++b)
            if (image.bytes()[row * rowBytes + b] != std::byte{MARKER})
                return false;
    return true;
}

// The shape's distance for a stamp pixel at offset (dx, dy) from the centre.
double distanceOf(const FrameParams& p, int32_t dx, int32_t dy) {
    if (p.shape != POLYGON)
        return std::sqrt(static_cast<double>(dx * dx + dy * dy));
    return polygonDistance(dx, dy, makePolygonConstants(p.polygonSides, standardMath()),
                           standardMath());
}

// ---------------------------------------------------------------------------------------------
// Size

TEST(StampSize, ShapeStampSizeAddsTheEdgeAndASparePixelEachSideAndIsOdd) {
    struct Case {
        double width;
        int32_t edge;
        int32_t expected;
    } cases[] = {
        {100.0, 1, 105},  // 104 made odd
        {100.3, 1, 105},  // 101 + 4, already odd
        {100.0, 0, 103},
        {99.01, 0, 103},  // ceil, not truncation
        {9.0, 1, 13},
        {0.25, 1, 5},
        {2000.0, 1000, 4003},
        // A damaged record cannot overflow: the size saturates (odd) and the host refuses it.
        {1e12, 1, INT32_MAX},
        {100.0, INT32_MAX, INT32_MAX},
        // Nor can it ask for an image without pixels: below one pixel is one pixel.
        {9.0, -7, 1},
        {-20.0, 1, 1},
        {-1e12, INT32_MIN, 1},
    };
    for (const Case& c : cases) {
        const StampSize s = shapeStampSize(c.width, c.edge, standardMath());
        EXPECT_EQ(s.width, c.expected) << "width " << c.width << ", edge " << c.edge;
        EXPECT_EQ(s.height, c.expected) << "width " << c.width << ", edge " << c.edge;
    }
}

TEST(StampSize, ShapeStampSizeIsNeverEven) {
    for (int32_t edge = 0; edge <= 6; ++edge) {
        for (double width = 0.01; width < 40.0; width += 0.37) {
            for (double w : {width, std::floor(width)}) {
                const StampSize s = shapeStampSize(w, edge, standardMath());
                const int32_t least = static_cast<int32_t>(std::ceil(w)) + 2 * edge + 2;
                EXPECT_TRUE(s.width % 2 == 1 && s.width == s.height &&
                            (s.width == least || s.width == least + 1))
                    << "width " << w << ", edge " << edge << " gave " << s.width << " x "
                    << s.height;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Coverage ramp and distances

TEST(CoverageRamp, IsOnePixelWideInsideTheRadius) {
    struct Case {
        const char* name;
        double d, r, expected;
    } cases[] = {
        {"half way down the ramp", 49.5, 50.0, 0.5},
        {"a quarter", 49.75, 50.0, 0.25},
        {"one pixel inside", 49.0, 50.0, 1.0},
        {"deep inside", 10.0, 50.0, 1.0},
        {"on the radius", 50.0, 50.0, 0.0},
        {"outside", 50.5, 50.0, 0.0},
        {"radius under half a pixel draws nothing", 0.0, 0.4, 0.0},
        {"radius exactly half a pixel", 0.0, 0.5, 0.5},
        {"radius one: the centre is covered", 0.0, 1.0, 1.0},
        {"negative radius", 0.0, -3.0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(coverageRamp(c.d, c.r), c.expected) << c.name << ": d " << c.d << ", r " << c.r;
}

TEST(PolygonDistance, MeasuresAlongTheSideNormalWithAVertexPointingRight) {
    struct Case {
        const char* name;
        int32_t sides, dx, dy;
        double expected;
    } cases[] = {
        {"square, towards a vertex", 4, 50, 0, 50.0},
        {"square, towards the middle of a side", 4, 35, 35, 70.0},
        {"triangle, its vertex on +x", 3, 10, 0, 10.0},
        {"triangle, the middle of the left side", 3, -10, 0, 20.0},
        {"hexagon, the middle of the top side (y first in atan2)", 6, 0, -10,
         20.0 / std::sqrt(3.0)},
        {"pentagon, the centre", 5, 0, 0, 0.0},
    };
    for (const Case& c : cases) {
        const double d = polygonDistance(c.dx, c.dy, makePolygonConstants(c.sides, standardMath()),
                                         standardMath());
        EXPECT_NEAR(d, c.expected, 1e-9 * (1 + c.expected))
            << c.name << ": sides " << c.sides << ", dx " << c.dx << ", dy " << c.dy;
    }
}

// The scaled distance lies between the Euclidean one (towards a vertex) and that times
// 1 / cos(pi / n) (towards the middle of a side) in every direction, including the negative
// angles that would give fmod a negative result.
TEST(PolygonDistance, StaysBetweenTheVertexAndSideBoundsAllRound) {
    for (int32_t sides = 3; sides <= 18; ++sides) {
        const PolygonConstants c = makePolygonConstants(sides, standardMath());
        const double sec = 1.0 / std::cos(PI_DOUBLE / sides);
        for (int32_t dy = -12; dy <= 12; ++dy) {
            for (int32_t dx = -12; dx <= 12; ++dx) {
                if (dx == 0 && dy == 0)
                    continue;
                const double ratio = polygonDistance(dx, dy, c, standardMath()) /
                                     std::sqrt(static_cast<double>(dx * dx + dy * dy));
                EXPECT_TRUE(ratio >= 1.0 - 1e-12 && ratio <= sec + 1e-12)
                    << "sides " << sides << ", dx " << dx << ", dy " << dy << ": ratio " << ratio;
            }
        }
    }
}

TEST(PolygonConstants, ASideCountOutsideThePanelRangeIsClampedToIt) {
    struct Case {
        int32_t sides, usedAs;
    } cases[] = {{0, 3}, {-5, 3}, {2, 3}, {19, 18}, {INT32_MAX, 18}};
    for (const Case& c : cases) {
        const PolygonConstants got = makePolygonConstants(c.sides, standardMath());
        const PolygonConstants want = makePolygonConstants(c.usedAs, standardMath());
        EXPECT_TRUE(got.halfSector == want.halfSector && got.sector == want.sector &&
                    got.secHalfSector == want.secHalfSector)
            << "sides " << c.sides << " gave half sector " << got.halfSector;
    }
}

// ---------------------------------------------------------------------------------------------
// Worked pixels: width 100, edge 1, no hole; 105 x 105 with its centre at (52, 52).

TEST(RasteriseStamp, WorkedPixels8Bit) {
    struct Case {
        const char* name;
        int32_t shape, x, y;
        Pixel8 expected;
    } cases[] = {
        {"circle centre", CIRCLE, 52, 52, {255, 255, 255, 255}},
        {"circle, d = 49.4975: ring under half a fill", CIRCLE, 87, 87, {255, 128, 128, 128}},
        {"circle, d = 50: ring alone", CIRCLE, 102, 52, {255, 0, 0, 0}},
        {"circle, d = 52: outside", CIRCLE, 104, 52, {0, 255, 255, 255}},
        {"square towards a vertex, d = 50", POLYGON, 102, 52, {255, 0, 0, 0}},
        {"square towards a side, d = 70", POLYGON, 87, 87, {0, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        const FrameParams p = shapeParams(c.shape, 4, 100.0, 1, 0.0);
        const OwnedImage stamp = rasterise(PixelDepth::Depth8, p);
        ASSERT_EQ(stamp.width(), 105);
        ASSERT_EQ(stamp.height(), 105);
        EXPECT_EQ(stamp.at<Pixel8>(c.x, c.y), c.expected)
            << c.name << " at (" << c.x << ", " << c.y << "), " << describe(p);
    }
}

// ---------------------------------------------------------------------------------------------
// Edge cases in every depth

template <class P>
class RasteriseStampDepth : public ::testing::Test {};
using Depths = ::testing::Types<Pixel8, Pixel16, PixelFloat>;
TYPED_TEST_SUITE(RasteriseStampDepth, Depths);

template <class P>
constexpr auto FULL = static_cast<typename PixelTraits<P>::Channel>(PixelTraits<P>::MAX);

template <class P>
auto alphaFor(double coverage) {
    if constexpr (std::is_same_v<P, Pixel8>) {
        return floatToChannel8(coverage);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return floatToChannel16(coverage);
    } else {
        return static_cast<float>(coverage);
    }
}

// Compares every stamp pixel with expected(dx, dy); reports the number of mismatches and the
// first one.
template <class P, class Expected>
void expectEveryPixel(const OwnedImage& stamp, const FrameParams& p, Expected expected) {
    int mismatches = 0;
    std::ostringstream first;
    for (int32_t y = 0; y < stamp.height(); ++y) {
        for (int32_t x = 0; x < stamp.width(); ++x) {
            const P want = expected(x - stamp.width() / 2, y - stamp.height() / 2);
            const P got = stamp.at<P>(x, y);
            if (!(got == want) && mismatches++ == 0)
                first << "(" << x << ", " << y << ") is " << ::testing::PrintToString(got)
                      << ", wanted " << ::testing::PrintToString(want);
        }
    }
    EXPECT_EQ(mismatches, 0) << describe(p) << ", " << depthName(stamp.depth()) << "; first "
                             << first.str();
}

TYPED_TEST(RasteriseStampDepth, NoEdgeIsTheWhiteFillAlone) {
    using P = TypeParam;
    for (const FrameParams& p :
         {shapeParams(CIRCLE, 4, 20.0, 0, 0.0), shapeParams(POLYGON, 5, 21.5, 0, 0.4)}) {
        const OwnedImage stamp = rasterise(depthOf<P>(), p);
        EXPECT_EQ(stamp.width(), static_cast<int32_t>(std::ceil(p.stampWidth)) + 2 + 1)
            << describe(p);
        const double r = 0.5 * p.stampWidth;
        expectEveryPixel<P>(stamp, p, [&](int32_t dx, int32_t dy) {
            const double d = distanceOf(p, dx, dy);
            const double fill = (1 - coverageRamp(d, p.innerFraction * r)) * coverageRamp(d, r);
            return P{alphaFor<P>(fill), FULL<P>, FULL<P>, FULL<P>};
        });
    }
}

TYPED_TEST(RasteriseStampDepth, InnerOneIsABlackRingAroundTheRadius) {
    using P = TypeParam;
    for (const FrameParams& p :
         {shapeParams(CIRCLE, 4, 40.0, 2, 1.0), shapeParams(POLYGON, 7, 40.0, 3, 1.0)}) {
        const OwnedImage stamp = rasterise(depthOf<P>(), p);
        const double r = 0.5 * p.stampWidth;
        const double e = p.edgeThickness;
        // With no fill, the over operator yields the edge pixel where it has alpha and the
        // (transparent white) fill pixel elsewhere.
        expectEveryPixel<P>(stamp, p, [&](int32_t dx, int32_t dy) {
            const double d = distanceOf(p, dx, dy);
            const auto a = alphaFor<P>((1 - coverageRamp(d, r - e)) * coverageRamp(d, r + e));
            return a != 0 ? P{a, 0, 0, 0} : P{0, FULL<P>, FULL<P>, FULL<P>};
        });
    }
    // The circle's band along its centre row: opaque from R - e to R + e - 1, clear beyond.
    const FrameParams circle = shapeParams(CIRCLE, 4, 40.0, 2, 1.0);
    const OwnedImage stamp = rasterise(depthOf<P>(), circle);
    const int32_t c = stamp.width() / 2;
    const P black{FULL<P>, 0, 0, 0};
    const P clear{0, FULL<P>, FULL<P>, FULL<P>};
    const struct {
        int32_t dx;
        P expected;
    } band[] = {{17, clear}, {18, black}, {21, black}, {22, clear}, {0, clear}};
    for (const auto& b : band)
        EXPECT_EQ(stamp.at<P>(c + b.dx, c), b.expected)
            << "dx " << b.dx << ", " << describe(circle);
}

TYPED_TEST(RasteriseStampDepth, NoEdgeAndNoFillIsTransparentWhiteEverywhere) {
    using P = TypeParam;
    for (const FrameParams& p :
         {shapeParams(CIRCLE, 4, 30.0, 0, 1.0), shapeParams(POLYGON, 3, 30.0, 0, 1.0)}) {
        expectEveryPixel<P>(rasterise(depthOf<P>(), p), p, [](int32_t, int32_t) {
            return P{0, FULL<P>, FULL<P>, FULL<P>};
        });
    }
}

TYPED_TEST(RasteriseStampDepth, UnderOnePixelWideWithAnEdgeIsASmallBlackDisc) {
    using P = TypeParam;
    for (const FrameParams& p :
         {shapeParams(CIRCLE, 4, 0.8, 1, 0.0), shapeParams(CIRCLE, 4, 0.8, 3, 0.0),
          shapeParams(POLYGON, 5, 0.6, 2, 0.0)}) {
        const OwnedImage stamp = rasterise(depthOf<P>(), p);
        const double outer = 0.5 * p.stampWidth + p.edgeThickness;
        expectEveryPixel<P>(stamp, p, [&](int32_t dx, int32_t dy) {
            const double d = distanceOf(p, dx, dy);
            if (d <= outer - 1)
                return P{FULL<P>, 0, 0, 0};
            if (d >= outer)
                return P{0, FULL<P>, FULL<P>, FULL<P>};
            // On the ring's ramp: black with partial alpha (no fill anywhere).
            const P got = stamp.at<P>(dx + stamp.width() / 2, dy + stamp.height() / 2);
            return got.alpha == 0 ? P{0, FULL<P>, FULL<P>, FULL<P>} : P{got.alpha, 0, 0, 0};
        });
    }
}

TYPED_TEST(RasteriseStampDepth, SolidCentreIsOpaqueWhiteFromRadiusOne) {
    using P = TypeParam;
    const P white{FULL<P>, FULL<P>, FULL<P>, FULL<P>};
    for (double width : {2.0, 2.5, 9.0, 100.0}) {
        for (const FrameParams& p :
             {shapeParams(CIRCLE, 4, width, 0, 0.0), shapeParams(POLYGON, 3, width, 3, 0.0),
              shapeParams(POLYGON, 18, width, 1, 0.0)}) {
            const OwnedImage stamp = rasterise(depthOf<P>(), p);
            EXPECT_EQ(stamp.at<P>(stamp.width() / 2, stamp.height() / 2), white) << describe(p);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The three depths run the same double arithmetic; they differ only in the scale of the
// alphas (x 255 or x 32768, truncated, or rounded to float) and in the over operator's integer
// steps. Measured in units u of the integer depth (1/255 or 1/32768), from the float stamp:
//   alpha: the two truncated alphas are each up to 1 u low, the product term of over moves by
//     under 2 u (and, in 8-bit, by under 1 u more for shifting by 256 rather than dividing by
//     255), and over's own shift truncates up to 1 u: |error| < 3 u.
//   colour, compared premultiplied (colour x alpha): the fill alpha is up to 1 u low and the
//     colour division truncates by under 1 u of premultiplied colour: |error| < 2 u.
// Straight colour is not comparable where alpha is tiny (one 8-bit step of alpha can turn a
// grey into white), and premultiplied colour is what the frame shows. Float's own rounding is
// some 1e-7. So 8-bit and float agree within 3/255, 16-bit and float within 3/32768, and 8-bit
// and 16-bit within the sum.

struct Normalised {
    double alpha, red, green, blue;  // alpha and premultiplied colour, full scale 1
};

template <class P>
std::vector<Normalised> normalisedTyped(const OwnedImage& image) {
    const double full = PixelTraits<P>::MAX;
    std::vector<Normalised> out;
    for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
            const P& p = image.at<P>(x, y);
            const double a = p.alpha / full;
            out.push_back({a, a * (p.red / full), a * (p.green / full), a * (p.blue / full)});
        }
    }
    return out;
}

std::vector<Normalised> normalised(const OwnedImage& image) {
    switch (image.depth()) {
        case PixelDepth::Depth8:
            return normalisedTyped<Pixel8>(image);
        case PixelDepth::Depth16:
            return normalisedTyped<Pixel16>(image);
        case PixelDepth::DepthFloat:
            break;
    }
    return normalisedTyped<PixelFloat>(image);
}

void expectAgree(const OwnedImage& a, const OwnedImage& b, double tolerance, const FrameParams& p) {
    ASSERT_EQ(a.width(), b.width()) << describe(p);
    ASSERT_EQ(a.height(), b.height()) << describe(p);
    const std::vector<Normalised> na = normalised(a);
    const std::vector<Normalised> nb = normalised(b);
    double worst = 0.0;
    size_t worstAt = 0;
    for (size_t k = 0; k < na.size(); ++k) {
        for (double diff : {na[k].alpha - nb[k].alpha, na[k].red - nb[k].red,
                            na[k].green - nb[k].green, na[k].blue - nb[k].blue}) {
            if (std::fabs(diff) > worst) {
                worst = std::fabs(diff);
                worstAt = k;
            }
        }
    }
    const size_t w = static_cast<size_t>(a.width());
    EXPECT_LE(worst, tolerance) << describe(p) << ": " << depthName(a.depth()) << " against "
                                << depthName(b.depth()) << " differ by " << worst << " at ("
                                << worstAt % w << ", " << worstAt / w << ")";
}

TEST(RasteriseStamp, TheThreeDepthsAgree) {
    struct Case {
        const char* dumpName;  // written as a raw dump when asked, else null
        FrameParams params;
    } cases[] = {
        {"circle_ring_hole", shapeParams(CIRCLE, 4, 60.0, 3, 0.4)},
        {"polygon5", shapeParams(POLYGON, 5, 60.0, 2, 0.0)},
        {nullptr, shapeParams(CIRCLE, 4, 7.3, 0, 0.0)},
        {nullptr, shapeParams(CIRCLE, 4, 16.75, 1, 0.25)},
        {nullptr, shapeParams(POLYGON, 3, 25.5, 1, 0.5)},
        {nullptr, shapeParams(POLYGON, 7, 31.0, 4, 1.0)},
        {nullptr, shapeParams(POLYGON, 5, 0.6, 2, 0.0)},
        {nullptr, shapeParams(POLYGON, 3, 12.2, 0, 0.3)},
    };
    const double u8 = 1.0 / 255.0;
    const double u16 = 1.0 / 32768.0;
    const double floatSlack = 1e-6;
    for (const Case& c : cases) {
        const OwnedImage s8 = rasterise(PixelDepth::Depth8, c.params);
        const OwnedImage s16 = rasterise(PixelDepth::Depth16, c.params);
        const OwnedImage sf = rasterise(PixelDepth::DepthFloat, c.params);
        for (const OwnedImage* s : {&s8, &s16, &sf})
            EXPECT_TRUE(paddingUntouched(*s))
                << describe(c.params) << ", " << depthName(s->depth());
        expectAgree(s8, sf, 3 * u8 + floatSlack, c.params);
        expectAgree(s16, sf, 3 * u16 + floatSlack, c.params);
        expectAgree(s16, s8, 3 * u8 + 3 * u16 + floatSlack, c.params);
        if (c.dumpName != nullptr) {
            for (const OwnedImage* s : {&s8, &s16, &sf})
                dumpStampIfAsked(c.dumpName, *s);
        }
    }
}

}  // namespace
}  // namespace mst::test

namespace mst::test {
namespace {

// Polygon pixels whose coverages cannot change skip the exact distance: the stamp must stay,
// bit for bit, the one the plain per-pixel evaluation gives, across sides, sizes, edges and
// holes (including hole and edge radii near and under half a pixel).
TYPED_TEST(RasteriseStampDepth, SettledPolygonPixelsMatchThePlainEvaluation) {
    using P = TypeParam;
    for (int32_t sides = 3; sides <= 18; sides += 3) {
        for (double width : {0.9, 3.0, 17.5, 64.25, 151.0}) {
            for (int32_t edge : {0, 1, 4}) {
                for (double inner : {0.0, 0.013, 0.37, 1.0}) {
                    const FrameParams p = shapeParams(POLYGON, sides, width, edge, inner);
                    const StampSize size = shapeStampSize(width, edge, standardMath());
                    const PolygonConstants polygon = makePolygonConstants(sides, standardMath());
                    OwnedImage fast(depthOf<P>(), size.width, size.height);
                    OwnedImage plain(depthOf<P>(), size.width, size.height);
                    rasteriseStamp({fast.view(), size.width / 2, size.height / 2}, p, polygon,
                                   standardMath());
                    rasteriseStampPlain({plain.view(), size.width / 2, size.height / 2}, p, polygon,
                                        standardMath());
                    ASSERT_EQ(fast.bytes(), plain.bytes()) << describe(p);
                }
            }
        }
    }
}

}  // namespace
}  // namespace mst::test
