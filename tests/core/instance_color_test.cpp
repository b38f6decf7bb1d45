#include "core/instance_color.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "pixel/pixel_printing.h"
#include "test_host.h"

namespace mst::test {
namespace {

template <class P>
constexpr auto MAX_OF = PixelTraits<P>::MAX;

template <class P>
ColorState<P> stateOf(P center, P edge, BlendMode mode = BlendMode::Normal) {
    ColorState<P> s;
    s.centerColor = center;
    s.centerAlpha = center.alpha;
    s.currentEdgeColor = edge;
    s.blendOperator = blendOperatorFor<P>(static_cast<int32_t>(mode));
    return s;
}

FrameParams shapeParams(int32_t edgeThickness) {
    FrameParams p{};
    p.edgeThickness = edgeThickness;
    p.blendMode = static_cast<int32_t>(BlendMode::Normal);
    p.colorOpacity = 1.0;
    return p;
}

FrameParams layerParams(double opacity, BlendMode mode = BlendMode::Normal) {
    FrameParams p{};
    p.blendMode = static_cast<int32_t>(mode);
    p.colorOpacity = opacity;
    return p;
}

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

// --- compositeStampPixel: worked numbers ---------------------------------------------------

template <class P>
struct CompositeCase {
    const char* name;
    bool layer;
    int32_t edgeThickness;
    double opacity;
    P center, sample, edge, destination;
    P expected;
};

template <class P>
void expectComposite(const CompositeCase<P>& c) {
    const ColorState<P> state = stateOf(c.center, c.edge);
    FrameParams params = c.layer ? layerParams(c.opacity) : shapeParams(c.edgeThickness);
    EXPECT_EQ(compositeStampPixel(state, params, c.layer, c.sample, c.destination), c.expected)
        << c.name << "\n  P " << testing::PrintToString(c.center) << "  S "
        << testing::PrintToString(c.sample) << "  E " << testing::PrintToString(c.edge) << "  D "
        << testing::PrintToString(c.destination) << "  opacity " << c.opacity;
}

const CompositeCase<Pixel8> WORKED_8[] = {
    {"shape, no edge: coverage x A0 over opaque black",
     false,
     0,
     1.0,
     {255, 200, 100, 50},
     {128, 255, 255, 255},
     {255, 0, 0, 0},
     {255, 0, 0, 0},
     {255, 100, 50, 25}},
    {"shape, no edge: onto transparent gives X itself",
     false,
     0,
     1.0,
     {255, 200, 100, 50},
     {128, 255, 255, 255},
     {255, 0, 0, 0},
     {0, 0, 0, 0},
     {128, 200, 100, 50}},
    {"shape, edge ring: the mix replaces an opaque pixel",
     false,
     2,
     1.0,
     {255, 200, 100, 50},
     {255, 128, 128, 128},
     {255, 0, 0, 0},
     {255, 9, 9, 9},
     {255, 100, 50, 25}},
    {"shape, coverage 0 onto transparent takes P's colour with alpha 0",
     false,
     0,
     1.0,
     {255, 200, 100, 50},
     {0, 255, 255, 255},
     {255, 0, 0, 0},
     {0, 7, 8, 9},
     {0, 200, 100, 50}},
    {"shape with edge, coverage 0 onto transparent takes the mix with alpha 0",
     false,
     2,
     1.0,
     {255, 200, 100, 50},
     {0, 128, 128, 128},
     {255, 0, 0, 0},
     {0, 7, 8, 9},
     {0, 100, 50, 25}},
    {"shape, coverage 0 leaves a visible pixel unchanged",
     false,
     2,
     1.0,
     {255, 200, 100, 50},
     {0, 128, 128, 128},
     {255, 0, 0, 0},
     {1, 7, 8, 9},
     {1, 7, 8, 9}},
    {"shape, transparent centre (A0 0) is invisible",
     false,
     0,
     1.0,
     {0, 200, 100, 50},
     {255, 255, 255, 255},
     {255, 0, 0, 0},
     {255, 7, 8, 9},
     {255, 7, 8, 9}},
    {"layer, Normal, opacity 0.5: tint alpha 127 over opaque black",
     true,
     0,
     0.5,
     {255, 255, 0, 0},
     {200, 0, 0, 255},
     {},
     {255, 0, 0, 0},
     {255, 99, 0, 100}},
    {"layer, Normal, opacity 0.5: onto transparent gives X {200, 127, 0, 128}",
     true,
     0,
     0.5,
     {255, 255, 0, 0},
     {200, 0, 0, 255},
     {},
     {0, 0, 0, 0},
     {200, 127, 0, 128}},
    {"layer, opacity exactly 0: a transparent sample replaces a transparent pixel's colour",
     true,
     0,
     0.0,
     {255, 255, 0, 0},
     {0, 10, 20, 30},
     {},
     {0, 1, 2, 3},
     {0, 10, 20, 30}},
    {"layer, opacity 0.5: a transparent sample leaves the pixel unchanged",
     true,
     0,
     0.5,
     {255, 255, 0, 0},
     {0, 10, 20, 30},
     {},
     {0, 1, 2, 3},
     {0, 1, 2, 3}},
    {"layer, smallest opacity step above 0 is not 0: the transparent sample is skipped",
     true,
     0,
     (1.0 / 65536.0) * 0.01,
     {255, 255, 0, 0},
     {0, 10, 20, 30},
     {},
     {0, 1, 2, 3},
     {0, 1, 2, 3}},
};

TEST(ColorComposite8, WorkedNumbers) {
    for (const auto& c : WORKED_8)
        expectComposite(c);
}

const CompositeCase<Pixel16> WORKED_16[] = {
    {"mix: S.c 16384 weighs P.c 32768 against E.c 0 to 16384",
     false,
     1,
     1.0,
     {32768, 32768, 32768, 32768},
     {32768, 16384, 16384, 16384},
     {32768, 0, 0, 0},
     {0, 0, 0, 0},
     {32768, 16384, 16384, 16384}},
    {"mix truncates by the shift: (1 x 32767) >> 15 is 0",
     false,
     1,
     1.0,
     {32768, 32767, 32767, 32767},
     {32768, 1, 1, 1},
     {32768, 0, 0, 0},
     {0, 0, 0, 0},
     {32768, 0, 0, 0}},
    {"coverage x A0 shifts by 15: (16384 x 20000) >> 15",
     false,
     0,
     1.0,
     {20000, 1, 2, 3},
     {16384, 32768, 32768, 32768},
     {32768, 0, 0, 0},
     {0, 0, 0, 0},
     {10000, 1, 2, 3}},
};

TEST(ColorComposite16, WorkedNumbers) {
    for (const auto& c : WORKED_16)
        expectComposite(c);
}

// --- compositeStampPixel: rules shared by the three depths ---------------------------------

template <class P>
class ColorCompositeRules : public ::testing::Test {};
TYPED_TEST_SUITE(ColorCompositeRules, Depths, DepthNames);

TYPED_TEST(ColorCompositeRules, FullScaleChannelGivesTheCentreColourAndZeroTheEdgeColour) {
    using P = TypeParam;
    using C = typename PixelTraits<P>::Channel;
    const P center = convert8To<P>({255, 200, 100, 50});
    const P edge = convert8To<P>({255, 10, 20, 30});
    const P sample{static_cast<C>(MAX_OF<P>), static_cast<C>(MAX_OF<P>), 0,
                   static_cast<C>(MAX_OF<P>)};
    const P expected{static_cast<C>(MAX_OF<P>), center.red, edge.green, center.blue};
    EXPECT_EQ(compositeStampPixel(stateOf(center, edge), shapeParams(1), false, sample, P{}),
              expected);
}

TYPED_TEST(ColorCompositeRules, CoverageZeroStillGoesThroughOver) {
    using P = TypeParam;
    using C = typename PixelTraits<P>::Channel;
    const P center = convert8To<P>({255, 200, 100, 50});
    const P edge = convert8To<P>({255, 10, 20, 30});
    const C full = static_cast<C>(MAX_OF<P>);
    const P uncovered{0, full, full, full};
    const P transparent = convert8To<P>({0, 7, 8, 9});
    const P visible = convert8To<P>({1, 7, 8, 9});
    for (int32_t thickness : {0, 3}) {
        const FrameParams params = shapeParams(thickness);
        EXPECT_EQ(compositeStampPixel(stateOf(center, edge), params, false, uncovered, transparent),
                  (P{0, center.red, center.green, center.blue}))
            << "edge thickness " << thickness;
        EXPECT_EQ(compositeStampPixel(stateOf(center, edge), params, false, uncovered, visible),
                  visible)
            << "edge thickness " << thickness;
    }
}

TYPED_TEST(ColorCompositeRules, TransparentCentreHidesShapesAndLeavesLayersUntinted) {
    using P = TypeParam;
    const P center = convert8To<P>({0, 200, 100, 50});
    const P sample = convert8To<P>({200, 10, 20, 30});
    const P destination = convert8To<P>({255, 90, 80, 70});
    EXPECT_EQ(compositeStampPixel(stateOf(center, P{}), shapeParams(0), false, sample, destination),
              destination);
    // A top of alpha 0 returns the bottom in every mode: the layer pixel comes through as is.
    for (int32_t mode = 1; mode <= 8; ++mode) {
        const auto blend = static_cast<BlendMode>(mode);
        EXPECT_EQ(compositeStampPixel(stateOf(center, P{}, blend), layerParams(0.5, blend), true,
                                      sample, destination),
                  compositeOver(destination, sample))
            << "blend mode " << mode;
    }
}

TYPED_TEST(ColorCompositeRules, LayerOpacityZeroPaintsTheSampleUnchanged) {
    using P = TypeParam;
    const P center = convert8To<P>({255, 255, 0, 0});
    const P clearSample = convert8To<P>({0, 10, 20, 30});
    const P clearOutput = convert8To<P>({0, 1, 2, 3});
    const P halfSample = convert8To<P>({128, 10, 20, 30});
    const P opaqueOutput = convert8To<P>({255, 90, 80, 70});
    const auto state = stateOf(center, P{}, BlendMode::Multiply);
    EXPECT_EQ(compositeStampPixel(state, layerParams(0.0, BlendMode::Multiply), true, clearSample,
                                  clearOutput),
              clearSample);
    EXPECT_EQ(compositeStampPixel(state, layerParams(0.0, BlendMode::Multiply), true, halfSample,
                                  opaqueOutput),
              compositeOver(opaqueOutput, halfSample));
    EXPECT_EQ(compositeStampPixel(state, layerParams(0.25, BlendMode::Multiply), true, clearSample,
                                  clearOutput),
              clearOutput);
}

// --- the lightness adjustment -----------------------------------------------------------------

TEST(ColorAdjustLightness, WorkedNumbers) {
    const struct {
        const char* name;
        int32_t lightness, factor, expected;
    } cases[] = {
        {"Edge Lightness 1 drops the low four bits", 12345, 65536, 12336},
        {"Edge Lightness 1.2 on half lightness", 32768, 85026, 42512},
        {"Edge Lightness 5 just below the cap", 2127, 2031616, 65472},
        {"Edge Lightness 5 at the cap", 2128, 2031616, 65536},
        {"Edge Lightness 0 is black", 50000, 0, 0},
        // 2^30 x 2031616 overflows 32 bits; the product is formed wide and capped instead.
        {"lightness far above 1.0 is capped without overflow", 1 << 30, 2031616, 65536},
        {"largest lightness, largest factor", INT32_MAX, 2031616, 65536},
        {"negative lightness from an out-of-range source is held at 0", -(1 << 30), 2031616, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(adjustLightness(c.lightness, c.factor), c.expected)
            << c.name << ": lightness " << c.lightness << ", factor " << c.factor;
    }
}

TEST(ColorAdjustLightness, FactorOneKeepsAllButTheLowFourBits) {
    for (int32_t l = 0; l <= 65536; ++l) {
        ASSERT_EQ(adjustLightness(l, 65536), l & ~15) << "lightness " << l;
    }
}

TEST(ColorAdjustLightness, FactorOfEdgeLightnessFiveCapsFrom2128On) {
    for (int32_t l = 2128; l <= 65536; ++l) {
        ASSERT_EQ(adjustLightness(l, 2031616), 65536) << "lightness " << l;
    }
}

// --- prepareFrameColors ------------------------------------------------------------------------

TEST(PrepareFrameColors, LightFactorIsTwoToTheEdgeLightnessMinusOne) {
    const struct {
        const char* name;
        double edgeLightness;
        int32_t expected;
    } cases[] = {
        {"0", 0.0, 0},
        {"1", 1.0, 65536},
        {"1.2", 1.2, 85026},
        {"panel default 1.2 as the host stores it", 1.2000000476837158, 85026},
        {"2", 2.0, 196608},
        {"5", 5.0, 2031616},
        {"0.5 rounds to nearest: 27145.9 gives 27146", 0.5, 27146},
    };
    for (const auto& c : cases) {
        TestHost host(PixelDepth::Depth8, 1, 1);
        FrameParams params{};
        params.edgeLightness = c.edgeLightness;
        params.blendMode = 1;
        int32_t err = 0;
        bool held = false;
        const auto state = prepareFrameColors<Pixel8>(params, host, held, err);
        EXPECT_EQ(state.lightFactor, c.expected) << "Edge Lightness " << c.name;
        EXPECT_EQ(err, 0);
        EXPECT_TRUE(held);
        EXPECT_EQ(host.callCount(Op::AcquireColor), 1);
    }
}

template <class P>
class PrepareFrameColorsTyped : public ::testing::Test {};
TYPED_TEST_SUITE(PrepareFrameColorsTyped, Depths, DepthNames);

TYPED_TEST(PrepareFrameColorsTyped, EdgeColourAndOperatorOfTheDepth) {
    using P = TypeParam;
    for (int32_t mode = 1; mode <= 8; ++mode) {
        TestHost host(depthOf<P>(), 1, 1);
        FrameParams params{};
        params.edgeColor = {77, 200, 100, 1};
        params.blendMode = mode;
        int32_t err = 0;
        bool held = false;
        const auto state = prepareFrameColors<P>(params, host, held, err);
        EXPECT_EQ(state.currentEdgeColor, convert8To<P>(params.edgeColor));
        EXPECT_EQ(state.blendOperator, BLEND_OPS<P>[mode]) << "blend mode " << mode;
    }
}

TEST(PrepareFrameColors, FailedAcquireIsTheRunningCode) {
    TestHost host(PixelDepth::Depth8, 1, 1);
    host.failOn(Op::AcquireColor, ERR_BAD_CALLBACK_PARAM);
    FrameParams params{};
    params.blendMode = 1;
    int32_t err = 0;
    bool held = false;
    prepareFrameColors<Pixel8>(params, host, held, err);
    EXPECT_EQ(err, ERR_BAD_CALLBACK_PARAM);
    EXPECT_FALSE(held);
}

TEST(PrepareFrameColors, AnEarlierCodeSkipsTheAcquire) {
    TestHost host(PixelDepth::Depth8, 1, 1);
    FrameParams params{};
    params.blendMode = 1;
    int32_t err = 7;
    bool held = false;
    prepareFrameColors<Pixel8>(params, host, held, err);
    EXPECT_EQ(err, 7);
    EXPECT_FALSE(held);
    EXPECT_EQ(host.callCount(Op::AcquireColor), 0);
}

// --- prepareInstanceColor ----------------------------------------------------------------------

// Sees what the core hands the colour service and can answer with chosen values instead of
// the stand-in's conversions.
class ColorServiceHost : public TestHost {
  public:
    using TestHost::TestHost;
    std::optional<HlsPixel> hlsAnswer;
    std::optional<PixelFloat> rgbAnswer;
    std::vector<PixelFloat> rgbSeen;
    std::vector<HlsPixel> hlsSeen;

    int32_t rgbToHls(const PixelFloat& rgb, HlsPixel& hls) override {
        rgbSeen.push_back(rgb);
        if (int32_t rc = TestHost::rgbToHls(rgb, hls))
            return rc;
        if (hlsAnswer)
            hls = *hlsAnswer;
        return 0;
    }
    int32_t hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) override {
        hlsSeen.push_back(hls);
        if (int32_t rc = TestHost::hlsToRgb(hls, rgb))
            return rc;
        if (rgbAnswer)
            rgb = *rgbAnswer;
        return 0;
    }
};

FrameParams lightnessParams(double edgeLightness) {
    FrameParams p{};
    p.edgeMode = static_cast<int32_t>(EdgeMode::Lightness);
    p.edgeLightness = edgeLightness;
    p.edgeColor = {77, 1, 2, 3};
    p.edgeThickness = 1;
    p.blendMode = 1;
    return p;
}

template <class P>
PixelFloat asFloat(P p) {
    if constexpr (std::is_same_v<P, Pixel8>) {
        return convert8ToFloat(p);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return convert16ToFloat(p);
    } else {
        return p;
    }
}

template <class P>
class PrepareInstanceColor : public ::testing::Test {};
TYPED_TEST_SUITE(PrepareInstanceColor, Depths, DepthNames);

TYPED_TEST(PrepareInstanceColor, LightnessModeScalesTheCentreLightnessThroughTheService) {
    using P = TypeParam;
    ColorServiceHost host(depthOf<P>(), 1, 1);
    host.hlsAnswer = HlsPixel{111, 32768, 222};
    host.rgbAnswer = PixelFloat{0.25f, 0.5f, 0.999f, 1.0f};
    const FrameParams params = lightnessParams(1.2000000476837158);
    int32_t err = 0;
    bool held = false;
    auto state = prepareFrameColors<P>(params, host, held, err);
    const P center = convert8To<P>({200, 255, 128, 0});
    prepareInstanceColor(state, center, false, params, host, err);

    ASSERT_EQ(err, 0);
    EXPECT_EQ(state.centerColor, center);
    EXPECT_EQ(state.centerAlpha, center.alpha);
    ASSERT_EQ(host.rgbSeen.size(), 1u);
    EXPECT_EQ(host.rgbSeen[0], asFloat(center));
    ASSERT_EQ(host.hlsSeen.size(), 1u);
    // Hue and saturation go back as they came; lightness 32768 at Edge Lightness 1.2.
    EXPECT_EQ(host.hlsSeen[0].hue, 111);
    EXPECT_EQ(host.hlsSeen[0].lightness, 42512);
    EXPECT_EQ(host.hlsSeen[0].saturation, 222);
    // Integer depths truncate without rounding and keep the Edge Color's alpha; float takes
    // all four channels.
    P expected;
    if constexpr (std::is_same_v<P, Pixel8>) {
        expected = {77, 127, 254, 255};
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        expected = {convertChannel8To16(77), 16384, 32735, 32768};
    } else {
        expected = {0.25f, 0.5f, 0.999f, 1.0f};
    }
    EXPECT_EQ(state.currentEdgeColor, expected);
}

TYPED_TEST(PrepareInstanceColor, EdgeLightnessZeroMakesABlackEdge) {
    using P = TypeParam;
    ColorServiceHost host(depthOf<P>(), 1, 1);
    const FrameParams params = lightnessParams(0.0);
    int32_t err = 0;
    bool held = false;
    auto state = prepareFrameColors<P>(params, host, held, err);
    const P center = convert8To<P>({200, 255, 128, 40});
    prepareInstanceColor(state, center, false, params, host, err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(host.hlsSeen.size(), 1u);
    EXPECT_EQ(host.hlsSeen[0].lightness, 0);
    const auto alpha =
        std::is_same_v<P, PixelFloat> ? center.alpha : convert8To<P>(params.edgeColor).alpha;
    EXPECT_EQ(state.currentEdgeColor, (P{alpha, 0, 0, 0}));
}

TYPED_TEST(PrepareInstanceColor, LayerStampOrColorModeKeepsTheEdgeColorWithoutServiceCalls) {
    using P = TypeParam;
    const struct {
        const char* name;
        bool layer;
        EdgeMode mode;
    } cases[] = {
        {"layer stamp in Lightness mode", true, EdgeMode::Lightness},
        {"shape stamp in Color mode", false, EdgeMode::Color},
    };
    for (const auto& c : cases) {
        ColorServiceHost host(depthOf<P>(), 1, 1);
        FrameParams params = lightnessParams(1.2);
        params.edgeMode = static_cast<int32_t>(c.mode);
        int32_t err = 0;
        bool held = false;
        auto state = prepareFrameColors<P>(params, host, held, err);
        const P center = convert8To<P>({200, 255, 128, 40});
        for (int instance = 0; instance < 3; ++instance)
            prepareInstanceColor(state, center, c.layer, params, host, err);
        EXPECT_EQ(err, 0) << c.name;
        EXPECT_EQ(host.callCount(Op::RgbToHls) + host.callCount(Op::HlsToRgb), 0) << c.name;
        EXPECT_EQ(state.currentEdgeColor, convert8To<P>(params.edgeColor)) << c.name;
        EXPECT_EQ(state.centerColor, center) << c.name;
    }
}

TEST(PrepareInstanceColor, ServiceFailureBecomesTheRunningCode) {
    const struct {
        const char* name;
        std::optional<Op> failing;
        int32_t startCode;
        int32_t expected;
        int rgbToHlsCalls, hlsToRgbCalls;
    } cases[] = {
        {"rgbToHls fails", Op::RgbToHls, 0, 9, 1, 0},
        {"hlsToRgb fails", Op::HlsToRgb, 0, 9, 1, 1},
        {"an earlier code skips both", std::nullopt, 5, 5, 0, 0},
    };
    for (const auto& c : cases) {
        TestHost host(PixelDepth::Depth8, 1, 1);
        if (c.failing)
            host.failOn(*c.failing, 9);
        const FrameParams params = lightnessParams(1.2);
        int32_t err = 0;
        bool held = false;
        auto state = prepareFrameColors<Pixel8>(params, host, held, err);
        err = c.startCode;
        prepareInstanceColor(state, Pixel8{255, 10, 20, 30}, false, params, host, err);
        EXPECT_EQ(err, c.expected) << c.name;
        EXPECT_EQ(host.callCount(Op::RgbToHls), c.rgbToHlsCalls) << c.name;
        EXPECT_EQ(host.callCount(Op::HlsToRgb), c.hlsToRgbCalls) << c.name;
    }
}

}  // namespace
}  // namespace mst::test
