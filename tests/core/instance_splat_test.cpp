#include "core/instance_splat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/path_walk.h"
#include "pixel/pixel_printing.h"
#include "scene.h"
#include "standin_host/samplers.h"

namespace mst::test {
namespace {

// --- rotatePointFixed --------------------------------------------------------------------------

TEST(SplatRotatePointFixed, PreShiftedProducts) {
    const struct {
        const char* name;
        FixedPoint first, second, point, expected;
    } cases[] = {
        {"angle 0 keeps whole pixels",
         {65536, 0},
         {0, 65536},
         {3 * 65536, -2 * 65536},
         {3 * 65536, -2 * 65536}},
        {"angle pi/2 reads both inputs before writing: (X, Y) -> (Y, -X)",
         {0, -65536},
         {65536, 0},
         {65536, 2 * 65536},
         {2 * 65536, -65536}},
        {"angle pi/4: coefficients 2896 and -2897 after the pre-shift",
         {46341, -46341},
         {46341, 46341},
         {65536, 0},
         {2896 * 16, -2897 * 16}},
        {"-sinFixed is negated before its shift: (-17) >> 4 is -2",
         {65536, -17},
         {17, 65536},
         {65536, 0},
         {65536, -2 * 16}},
        {"coordinates shift arithmetically: -1 >> 12 is -1",
         {65536, 0},
         {0, 65536},
         {-1, -4097},
         {-4096, -8192}},
    };
    for (const auto& c : cases) {
        FixedPoint p = c.point;
        rotatePointFixed(c.first, c.second, p);
        EXPECT_EQ(p.x, c.expected.x)
            << c.name << ": point (" << c.point.x << ", " << c.point.y << ")";
        EXPECT_EQ(p.y, c.expected.y)
            << c.name << ": point (" << c.point.x << ", " << c.point.y << ")";
    }
}

// --- splatGeometry -----------------------------------------------------------------------------

// The angle a Fixed Angle of `degrees` gives.
double fixedAngle(double degrees) {
    return instanceAngle(0.0, 0.0, degrees, 1, standardMath());
}

TEST(SplatGeometry, ExtentsRotationAndCentre) {
    constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double INF = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        double x, y, angle;
        int32_t halfWidth, halfHeight;
        SplatGeometry expected;
    } cases[] = {
        {"angle 0: the stamp's own extents", 4.0, 5.0, 0.0, 3, 1, {3, 1, 65536, 0, 4, 5}},
        {"angle pi/2 swaps the extents", 4.0, 5.0, fixedAngle(90), 3, 1, {1, 3, 0, 65536, 4, 5}},
        {"angle pi/4, half sizes 50",
         4.0,
         5.0,
         fixedAngle(45),
         50,
         50,
         {70, 70, 46341, 46341, 4, 5}},
        {"angle pi", 4.0, 5.0, fixedAngle(180), 3, 1, {3, 1, -65536, 0, 4, 5}},
        {"centre truncates toward zero", -0.7, 10.2, 0.0, 3, 1, {3, 1, 65536, 0, 0, 10}},
        {"centre truncates toward zero, not down", -1.5, 0.7, 0.0, 3, 1, {3, 1, 65536, 0, -1, 0}},
        {"centre outside the frame is not clamped",
         25.5,
         -3.0,
         0.0,
         3,
         1,
         {3, 1, 65536, 0, 25, -3}},
        {"huge and infinite centres saturate",
         1e300,
         -INF,
         0.0,
         3,
         1,
         {3, 1, 65536, 0, INT32_MAX, INT32_MIN}},
        {"NaN centre gives 0", NaN, NaN, 0.0, 3, 1, {3, 1, 65536, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        StampInstance instance;
        instance.x = c.x;
        instance.y = c.y;
        instance.angle = c.angle;
        Stamp stamp;
        stamp.halfWidth = c.halfWidth;
        stamp.halfHeight = c.halfHeight;
        const SplatGeometry g = splatGeometry(instance, stamp, standardMath());
        const std::string in = std::string(c.name) + ": (" + std::to_string(c.x) + ", " +
                               std::to_string(c.y) + ") angle " + std::to_string(c.angle);
        EXPECT_EQ(g.hx, c.expected.hx) << in;
        EXPECT_EQ(g.hy, c.expected.hy) << in;
        EXPECT_EQ(g.cosFixed, c.expected.cosFixed) << in;
        EXPECT_EQ(g.sinFixed, c.expected.sinFixed) << in;
        EXPECT_EQ(g.cx, c.expected.cx) << in;
        EXPECT_EQ(g.cy, c.expected.cy) << in;
    }
}

// --- splatInstance -----------------------------------------------------------------------------

struct DepthNames {
    template <class P>
    static std::string GetName(int) {
        if constexpr (std::is_same_v<P, Pixel8>)
            return "Depth8";
        if constexpr (std::is_same_v<P, Pixel16>)
            return "Depth16";
        return "DepthFloat";
    }
};
using Depths = ::testing::Types<Pixel8, Pixel16, PixelFloat>;

// Records where the stamp is sampled, in call order.
class SampleLogHost : public TestHost {
  public:
    using TestHost::TestHost;
    std::vector<std::pair<int32_t, int32_t>> samples;

    int32_t subpixelSample(const PixelImage& s, int32_t u, int32_t v, Pixel8& out) override {
        samples.emplace_back(u, v);
        return TestHost::subpixelSample(s, u, v, out);
    }
    int32_t subpixelSample(const PixelImage& s, int32_t u, int32_t v, Pixel16& out) override {
        samples.emplace_back(u, v);
        return TestHost::subpixelSample(s, u, v, out);
    }
    int32_t subpixelSample(const PixelImage& s, int32_t u, int32_t v, PixelFloat& out) override {
        samples.emplace_back(u, v);
        return TestHost::subpixelSample(s, u, v, out);
    }
};

// A W x H frame with a gradient source, an output of transparent marker pixels and a stamp of
// distinct pixels. By default it paints like a layer stamp at Color Opacity 0, which composites
// each sample unchanged, so the output shows exactly which stamp pixel landed where.
template <class P>
struct SplatBench {
    SplatBench(int32_t width, int32_t height, int32_t stampWidth, int32_t stampHeight,
               Pixel8 stampAlpha = {255, 0, 0, 0})
        : host(depthOf<P>(), width, height), stampImage(depthOf<P>(), stampWidth, stampHeight) {
        fillGradient<P>(host.input);
        host.output.fill(MARKER);
        for (int32_t y = 0; y < stampHeight; ++y)
            for (int32_t x = 0; x < stampWidth; ++x) {
                P p = gradientPixel<P>(x, y);
                p.alpha = convert8To<P>(stampAlpha).alpha;
                stampImage.at<P>(x, y) = p;
            }
        stamp = {stampImage.view(), stampWidth / 2, stampHeight / 2};
        params.blendMode = static_cast<int32_t>(BlendMode::Normal);
        params.colorOpacity = 0.0;
        params.edgeMode = static_cast<int32_t>(EdgeMode::Lightness);
        params.edgeLightness = 1.2;
        params.edgeThickness = 1;
        bool held = false;
        colors = prepareFrameColors<P>(params, host, held, err);
    }

    void splat(double x, double y, double angle) {
        StampInstance instance;
        instance.index = 1;
        instance.x = x;
        instance.y = y;
        instance.angle = angle;
        const FrameSurfaces surfaces{depthOf<P>(), host.input.view(), host.output.view(),
                                     outputVisible};
        splatInstance(instance, stamp, surfaces, colors, params, layer, host, err);
    }

    // The stamp pixel at (x, y), transparent black outside it (the sampler's choice there).
    P stampOrClear(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || x >= stampImage.width() || y >= stampImage.height())
            return P{};
        return stampImage.at<P>(x, y);
    }

    static inline const P MARKER = convert8To<P>({0, 1, 2, 3});
    SampleLogHost host;
    OwnedImage stampImage;
    Stamp stamp;
    FrameParams params{};
    bool layer = true;
    bool outputVisible = false;
    ColorState<P> colors;
    int32_t err = 0;
};

template <class P>
class SplatInstance : public ::testing::Test {};
TYPED_TEST_SUITE(SplatInstance, Depths, DepthNames);

TYPED_TEST(SplatInstance, RightAnglesMapOutputPixelsOntoWholeStampPixels) {
    using P = TypeParam;
    using Map = std::pair<int32_t, int32_t> (*)(int32_t dx, int32_t dy, int32_t hw, int32_t hh);
    const struct {
        const char* name;
        double degrees;
        Map map;  // output offset -> stamp pixel
    } cases[] = {
        {"angle 0", 0,
         [](int32_t dx, int32_t dy, int32_t hw, int32_t hh) {
             return std::pair{hw + dx, hh + dy};
         }},
        {"angle pi/2", 90,
         [](int32_t dx, int32_t dy, int32_t hw, int32_t hh) {
             return std::pair{hw + dy, hh - dx};
         }},
        {"angle pi: point mirror", 180,
         [](int32_t dx, int32_t dy, int32_t hw, int32_t hh) {
             return std::pair{hw - dx, hh - dy};
         }},
        {"angle 3 pi/2", 270,
         [](int32_t dx, int32_t dy, int32_t hw, int32_t hh) {
             return std::pair{hw - dy, hh + dx};
         }},
    };
    constexpr int32_t W = 21, H = 15, CX = 10, CY = 7;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SplatBench<P> bench(W, H, 7, 3);
        const int32_t hw = bench.stamp.halfWidth, hh = bench.stamp.halfHeight;
        const bool turned = c.degrees == 90 || c.degrees == 270;
        const int32_t hx = turned ? hh : hw, hy = turned ? hw : hh;
        bench.splat(CX + 0.6, CY + 0.3, fixedAngle(c.degrees));
        ASSERT_EQ(bench.err, 0);

        std::vector<std::pair<int32_t, int32_t>> expectedSamples;
        for (int32_t dy = -hy; dy <= hy; ++dy)
            for (int32_t dx = -hx; dx <= hx; ++dx) {
                const auto [sx, sy] = c.map(dx, dy, hw, hh);
                expectedSamples.emplace_back(sx * 65536, sy * 65536);
            }
        EXPECT_EQ(bench.host.samples, expectedSamples);

        for (int32_t oy = 0; oy < H; ++oy)
            for (int32_t ox = 0; ox < W; ++ox) {
                const int32_t dx = ox - CX, dy = oy - CY;
                P expected = SplatBench<P>::MARKER;
                if (std::abs(dx) <= hx && std::abs(dy) <= hy) {
                    const auto [sx, sy] = c.map(dx, dy, hw, hh);
                    expected = bench.stampOrClear(sx, sy);
                }
                ASSERT_EQ(bench.host.output.template at<P>(ox, oy), expected)
                    << "output (" << ox << ", " << oy << ")";
            }
    }
}

TYPED_TEST(SplatInstance, LaterInstancesCompositeOverEarlierOnes) {
    using P = TypeParam;
    constexpr int32_t W = 16, H = 12;
    SplatBench<P> bench(W, H, 5, 5, {128, 0, 0, 0});
    OwnedImage expected = bench.host.output;
    const struct { int32_t cx, cy; } centres[] = {{6, 5}, {8, 6}};
    for (const auto& centre : centres) {
        for (int32_t dy = -2; dy <= 2; ++dy)
            for (int32_t dx = -2; dx <= 2; ++dx) {
                P& out = expected.at<P>(centre.cx + dx, centre.cy + dy);
                out = compositeOver(out, bench.stampOrClear(2 + dx, 2 + dy));
            }
        bench.splat(centre.cx, centre.cy, 0.0);
    }
    ASSERT_EQ(bench.err, 0);
    // The second centre lies under the first stamp: its colour still comes from the source.
    EXPECT_EQ(bench.colors.centerColor, bench.host.input.template at<P>(8, 6));
    EXPECT_EQ(bench.host.output.bytes(), expected.bytes());
}

TEST(SplatInstance, EighthTurnSamplesThroughThePreShiftedCoefficients) {
    SplatBench<Pixel8> bench(141, 141, 101, 101);
    bench.splat(70, 70, fixedAngle(45));
    ASSERT_EQ(bench.err, 0);
    // Footprint 141 x 141 (hx = hy = 70), every pixel inside the frame.
    ASSERT_EQ(bench.host.samples.size(), 141u * 141u);
    auto sampleAt = [&](int32_t dx, int32_t dy) {
        return bench.host.samples[static_cast<size_t>((dy + 70) * 141 + dx + 70)];
    };
    const int32_t centre = 50 * 65536;
    EXPECT_EQ(sampleAt(1, 0), std::pair(centre + 2896 * 16, centre - 2897 * 16));
    EXPECT_EQ(sampleAt(0, 1), std::pair(centre + 2896 * 16, centre + 2896 * 16));
    // The corner's v is not the centre: -2897 and 2896 differ by one unit, times 70 x 16.
    EXPECT_EQ(sampleAt(-70, -70), std::pair(centre - 2896 * 16 * 140, centre + 70 * 16));
}

TEST(SplatInstance, FootprintPartlyOutsideDrawsOnlyInsideAndTakesTheNearestEdgeColour) {
    constexpr int32_t W = 20, H = 12;
    SplatBench<Pixel8> bench(W, H, 15, 15);
    bench.splat(W + 5.5, -3.0, 0.0);
    ASSERT_EQ(bench.err, 0);
    EXPECT_EQ(bench.colors.centerColor, bench.host.input.at<Pixel8>(W - 1, 0));
    // Centre (25, -3), half size 7: columns 18, 19 and rows 0 to 4 are inside.
    EXPECT_EQ(bench.host.samples.size(), 10u);
    for (int32_t oy = 0; oy < H; ++oy)
        for (int32_t ox = 0; ox < W; ++ox) {
            const bool inside = ox >= W - 2 && oy <= 4;
            const Pixel8 expected = inside ? bench.stampOrClear(7 + ox - (W + 5), 7 + oy + 3)
                                           : SplatBench<Pixel8>::MARKER;
            ASSERT_EQ(bench.host.output.at<Pixel8>(ox, oy), expected)
                << "output (" << ox << ", " << oy << ")";
        }
}

TEST(SplatInstance, FootprintOutsideOrUnplaceableDrawsNothingButStillTakesItsColour) {
    constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double INF = std::numeric_limits<double>::infinity();
    constexpr int32_t W = 20, H = 12;
    const struct {
        const char* name;
        double x, y;
    } cases[] = {
        {"wholly right of the frame", W + 100.0, 5.0},
        {"wholly above the frame", 5.0, -9.0},
        {"NaN x", NaN, 5.0},
        {"NaN y", 5.0, NaN},
        {"huge x", 1e300, 5.0},
        {"minus infinity x", -INF, 5.0},
        {"infinity y", 5.0, INF},
        {"beyond int32 both ways", -3e9, 3e9},
    };
    for (const auto& c : cases) {
        // A shape stamp in the Lightness edge mode: its colour step calls the colour service.
        SplatBench<Pixel8> bench(W, H, 15, 15);
        bench.layer = false;
        const OwnedImage before = bench.host.output;
        bench.splat(c.x, c.y, 0.0);
        EXPECT_EQ(bench.err, 0) << c.name;
        EXPECT_EQ(bench.host.callCount(Op::SubpixelSample), 0) << c.name;
        EXPECT_EQ(bench.host.callCount(Op::RgbToHls), 1) << c.name;
        EXPECT_EQ(bench.host.output.bytes(), before.bytes()) << c.name;
    }
}

TEST(SplatInstance, WhollyOutsideTakesTheClampedSourcePixel) {
    SplatBench<Pixel8> bench(20, 12, 15, 15);
    bench.splat(120.0, 5.9, 0.0);
    EXPECT_EQ(bench.colors.centerColor, bench.host.input.at<Pixel8>(19, 5));
}

// The drawing loop takes shortcuts: row positions by a constant step, runs of equal samples
// painted by their case of over. The plain loop rotates every point, samples it with the
// plain sampler and composites pixel by pixel; the two must agree bit for bit, for every rule
// and depth, over random turns, centres (some partly outside the frame), stamps made of flat
// patches and noise, and outputs with transparent holes.
TYPED_TEST(SplatInstance, MatchesThePlainPixelLoop) {
    using P = TypeParam;
    using C = decltype(P::alpha);
    constexpr int32_t W = 48, H = 40;
    std::mt19937 random(7);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto channel = [&] {
        // Full, empty or any value: flat regions and the over's three cases all occur.
        const int pick = below(4);
        return pick == 0   ? C{}
               : pick == 1 ? static_cast<C>(PixelTraits<P>::MAX)
                           : convert8To<P>({static_cast<uint8_t>(below(256)), 0, 0, 0}).alpha;
    };
    auto pixel = [&] { return P{channel(), channel(), channel(), channel()}; };
    const struct {
        const char* name;
        bool layer;
        double colorOpacity;
        int32_t edgeThickness;
    } rules[] = {{"layer untinted", true, 0.0, 1},
                 {"layer tinted", true, 0.6, 1},
                 {"shape fill", false, 0.0, 0},
                 {"shape edge mix", false, 0.0, 2}};
    for (const auto& rule : rules) {
        for (int trial = 0; trial < 12; ++trial) {
            SCOPED_TRACE(std::string(rule.name) + ", trial " + std::to_string(trial));
            const int32_t sw = 3 + below(14), sh = 3 + below(14);
            SplatBench<P> bench(W, H, sw, sh);
            // Patches of one pixel with noise between them.
            const P patch[3] = {pixel(), pixel(), P{}};
            for (int32_t y = 0; y < sh; ++y)
                for (int32_t x = 0; x < sw; ++x)
                    bench.stampImage.template at<P>(x, y) =
                        below(5) == 0 ? pixel() : patch[(x / 4 + y / 3) % 3];
            // Odd trials: an output without a transparent pixel, which transparent samples
            // then leave unread (integer depths).
            const bool visible = trial % 2 == 1;
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x) {
                    P& out = bench.host.output.template at<P>(x, y);
                    if (visible) {
                        out.alpha = std::max(out.alpha, static_cast<C>(1));
                        if (below(3) == 0)
                            out.alpha = std::max(pixel().alpha, static_cast<C>(1));
                    } else if (below(3) == 0) {
                        out = below(2) ? P{} : pixel();
                    }
                }
            bench.outputVisible = noTransparentPixel<P>(bench.host.output.view(), W, H);
            ASSERT_EQ(bench.outputVisible, (visible && !std::is_same_v<P, PixelFloat>));
            bench.layer = rule.layer;
            bench.params.colorOpacity = rule.colorOpacity;
            bench.params.edgeThickness = rule.edgeThickness;
            bench.params.blendMode = 1 + below(8);
            bool held = false;
            bench.colors = prepareFrameColors<P>(bench.params, bench.host, held, bench.err);

            StampInstance instance;
            instance.x = -6.0 + below(W + 12) + below(100) / 100.0;
            instance.y = -6.0 + below(H + 12) + below(100) / 100.0;
            instance.angle = (below(20001) - 10000) * 0.00063;
            OwnedImage expected = bench.host.output;
            ColorState<P> plainColors = bench.colors;
            int32_t plainErr = 0;
            const SplatGeometry g = splatGeometry(instance, bench.stamp, standardMath());
            prepareInstanceColor(plainColors,
                                 bench.host.input.template at<P>(std::clamp(g.cx, 0, W - 1),
                                                                 std::clamp(g.cy, 0, H - 1)),
                                 bench.layer, bench.params, bench.host, plainErr);
            std::vector<std::pair<int32_t, int32_t>> positions;
            for (int32_t dy = -g.hy; dy <= g.hy; ++dy) {
                for (int32_t dx = -g.hx; dx <= g.hx; ++dx) {
                    const int32_t ox = g.cx + dx, oy = g.cy + dy;
                    if (ox < 0 || ox >= W || oy < 0 || oy >= H)
                        continue;
                    FixedPoint point{dx * 65536, dy * 65536};
                    rotatePointFixed({g.cosFixed, -g.sinFixed}, {g.sinFixed, g.cosFixed}, point);
                    const int32_t u = point.x + bench.stamp.halfWidth * 65536;
                    const int32_t v = point.y + bench.stamp.halfHeight * 65536;
                    positions.emplace_back(u, v);
                    P& out = expected.at<P>(ox, oy);
                    out = compositeStampPixel(
                        plainColors, bench.params, bench.layer,
                        sampleBilinearReference<P>(bench.stampImage.view(), u, v), out);
                }
            }
            bench.host.samples.clear();
            bench.splat(instance.x, instance.y, instance.angle);
            ASSERT_EQ(bench.err, 0);
            EXPECT_EQ(bench.host.samples, positions);
            ASSERT_EQ(bench.host.output.bytes(), expected.bytes());
        }
    }
}

// Drawing skips transparent samples over an output without transparent pixels, on the grounds
// that over never turns a visible pixel transparent. Every top alpha against the extreme
// bottoms, 16-bit alphas above full scale included (there the share of the bottom is
// negative, and smallest with the largest bottom).
TEST(SplatInstance, OverNeverMakesAVisiblePixelTransparent) {
    for (int top = 1; top <= 255; ++top)
        for (int bottom = 1; bottom <= 255; ++bottom) {
            const Pixel8 d{static_cast<uint8_t>(bottom), 10, 20, 30};
            const Pixel8 x{static_cast<uint8_t>(top), 40, 50, 60};
            ASSERT_NE(compositeOver(d, x).alpha, 0) << top << " over " << bottom;
        }
    for (int32_t top = 1; top <= 65535; ++top)
        for (int32_t bottom : {1, 2, 255, 32767, 32768, 32769, 65534, 65535}) {
            const Pixel16 d{static_cast<uint16_t>(bottom), 1000, 2000, 3000};
            const Pixel16 x{static_cast<uint16_t>(top), 4000, 5000, 6000};
            ASSERT_NE(compositeOver(d, x).alpha, 0) << top << " over " << bottom;
        }
}

TEST(SplatInstance, SamplerFailureEndsTheInstanceWithItsCode) {
    SplatBench<Pixel8> bench(20, 12, 5, 5);
    bench.host.failOn(Op::SubpixelSample, 61, 3);
    bench.splat(10, 6, 0.0);
    EXPECT_EQ(bench.err, 61);
    EXPECT_EQ(bench.host.callCount(Op::SubpixelSample), 3);
}

}  // namespace
}  // namespace mst::test
