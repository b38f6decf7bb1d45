#include "standin_host/samplers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace mst {
namespace {

// The samplers never use a depth's full scale: both results are ratios and weighted sums of
// the stored values. So each case is written once in 8-bit units k and stored as k, 128 k and
// k / 256, all exact; a result that is exact in 8-bit units e is then e × STEP in every depth
// before rounding.
template <class P>
struct Depth;
template <>
struct Depth<Pixel8> {
    static constexpr double STEP = 1.0;
    static constexpr double MAX = 255.0;
};
template <>
struct Depth<Pixel16> {
    static constexpr double STEP = 128.0;
    static constexpr double MAX = 32768.0;
};
template <>
struct Depth<PixelFloat> {
    static constexpr double STEP = 1.0 / 256.0;
    static constexpr double MAX = 1.0;
};

struct Units {
    double a, r, g, b;
};

template <class P>
P fromUnits(Units u) {
    using C = decltype(P::alpha);
    auto c = [](double k) { return static_cast<C>(k * Depth<P>::STEP); };
    return {c(u.a), c(u.r), c(u.g), c(u.b)};
}

template <class P>
::testing::AssertionResult matches(const P& got, Units exact) {
    const double want[4] = {exact.a * Depth<P>::STEP, exact.r * Depth<P>::STEP,
                            exact.g * Depth<P>::STEP, exact.b * Depth<P>::STEP};
    const double have[4] = {static_cast<double>(got.alpha), static_cast<double>(got.red),
                            static_cast<double>(got.green), static_cast<double>(got.blue)};
    for (int k = 0; k < 4; ++k) {
        // Integer depths round to nearest, halves up; float keeps single precision.
        const bool ok = std::is_same_v<P, PixelFloat>
                            ? std::fabs(have[k] - want[k]) <= 1e-6 * (1.0 + std::fabs(want[k]))
                            : have[k] == std::floor(want[k] + 0.5);
        if (!ok) {
            return ::testing::AssertionFailure()
                   << "channel " << k << " (a r g b) is " << have[k] << ", exact " << want[k]
                   << "; got {" << have[0] << ", " << have[1] << ", " << have[2] << ", " << have[3]
                   << "}";
        }
    }
    return ::testing::AssertionSuccess();
}

template <class P>
std::string show(const P& p) {
    std::ostringstream text;
    text << "{" << +p.alpha << ", " << +p.red << ", " << +p.green << ", " << +p.blue << "}";
    return text.str();
}

// An image whose rows are padded with opaque white, so a wrong row stride shows up.
template <class P>
struct TestImage {
    static constexpr int32_t PAD = 3;
    std::vector<P> storage;
    PixelImage view;

    TestImage(int32_t width, int32_t height)
        : storage(static_cast<std::size_t>((width + PAD) * height),
                  fromUnits<P>({255, 255, 255, 255})) {
        view = {depthOf<P>(), width, height, width + PAD, storage.data()};
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x)
                view.at<P>(x, y) = P{};
        }
    }
    P& at(int32_t x, int32_t y) { return view.at<P>(x, y); }
};

constexpr int32_t ONE = 65536;
constexpr int32_t HALF = 32768;
constexpr int32_t QUARTER = 16384;

template <class P>
class SamplerTest : public ::testing::Test {};
using PixelTypes = ::testing::Types<Pixel8, Pixel16, PixelFloat>;
TYPED_TEST_SUITE(SamplerTest, PixelTypes);

// --- Bilinear ---------------------------------------------------------------------------------

TYPED_TEST(SamplerTest, BilinearIsExactAtPixelCentres) {
    using P = TypeParam;
    using C = decltype(P::alpha);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> unit(0, 1 << 20);
    auto channel = [&] {
        return static_cast<C>(Depth<P>::MAX * unit(random) / static_cast<double>(1 << 20));
    };
    TestImage<P> image(5, 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            // Every fourth pixel transparent but coloured: it must still come back as stored.
            image.at(x, y) = {(x + y) % 4 == 0 ? C{} : channel(), channel(), channel(), channel()};
        }
    }
    for (int32_t y = -2; y <= 4; ++y) {
        for (int32_t x = -2; x <= 6; ++x) {
            const bool inside = x >= 0 && x < 5 && y >= 0 && y < 3;
            const P want = inside ? image.at(x, y) : P{};
            const P got = sampleBilinear<P>(image.view, x * ONE, y * ONE);
            EXPECT_TRUE(got == want)
                << "at (" << x << ", " << y << "): " << show(got) << " instead of " << show(want);
        }
    }
}

TYPED_TEST(SamplerTest, BilinearBlendsPremultipliedColour) {
    using P = TypeParam;
    struct Case {
        const char* name;
        Units p00, p10, p01, p11;  // 2 x 2 image
        int32_t u, v;
        Units exact;
    };
    const Units red{255, 255, 0, 0};
    const Units none{0, 0, 0, 0};
    const Case cases[] = {
        {"midpoint of two opaque reds",
         {255, 200, 0, 0},
         {255, 100, 0, 0},
         none,
         none,
         HALF,
         0,
         {255, 150, 0, 0}},
        {"a quarter of the way",
         {255, 200, 0, 0},
         {255, 100, 0, 0},
         none,
         none,
         QUARTER,
         0,
         {255, 175, 0, 0}},
        {"between rows only",
         {255, 200, 0, 0},
         none,
         {255, 100, 0, 0},
         none,
         0,
         HALF,
         {255, 150, 0, 0}},
        {"centre of four",
         {255, 0, 0, 0},
         red,
         {255, 0, 255, 0},
         {255, 0, 0, 255},
         HALF,
         HALF,
         {255, 63.75, 63.75, 63.75}},
        {"half-transparent blue beside opaque red",
         red,
         {128, 0, 0, 255},
         none,
         none,
         HALF,
         0,
         {191.5, 0.5 * 255 * 255 / 191.5, 0, 0.5 * 128 * 255 / 191.5}},
        {"a transparent neighbour does not tint",
         red,
         {0, 0, 255, 0},
         none,
         none,
         HALF,
         0,
         {127.5, 255, 0, 0}},
        {"left of the image reads transparent",
         red,
         none,
         none,
         none,
         -HALF,
         0,
         {127.5, 255, 0, 0}},
        {"above and left of the image", red, none, none, none, -HALF, -HALF, {63.75, 255, 0, 0}},
        {"nothing but transparent", none, {0, 9, 9, 9}, none, none, HALF, HALF, none},
    };
    for (const Case& c : cases) {
        TestImage<P> image(2, 2);
        image.at(0, 0) = fromUnits<P>(c.p00);
        image.at(1, 0) = fromUnits<P>(c.p10);
        image.at(0, 1) = fromUnits<P>(c.p01);
        image.at(1, 1) = fromUnits<P>(c.p11);
        const P got = sampleBilinear<P>(image.view, c.u, c.v);
        EXPECT_TRUE(matches(got, c.exact)) << c.name << " at (" << c.u << ", " << c.v << ")";
    }
}

TYPED_TEST(SamplerTest, TransparentBlackOutsideTheImage) {
    using P = TypeParam;
    TestImage<P> image(2, 2);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x)
            image.at(x, y) = fromUnits<P>({255, 10, 20, 30});
    }
    const struct {
        int32_t u, v;
    } positions[] = {{-ONE - HALF, 0},       {2 * ONE + QUARTER, 0}, {0, -ONE},
                     {HALF, 2 * ONE + HALF}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX},
                     {INT32_MAX, 0}};
    for (const auto& p : positions) {
        const P bilinear = sampleBilinear<P>(image.view, p.u, p.v);
        const P area = sampleArea<P>(image.view, p.u, p.v, QUARTER);
        EXPECT_TRUE(bilinear == P{}) << "(" << p.u << ", " << p.v << "): " << show(bilinear);
        EXPECT_TRUE(area == P{}) << "(" << p.u << ", " << p.v << "): " << show(area);
    }
    // A view of another depth is never read.
    PixelImage wrong = image.view;
    wrong.depth = depthOf<P>() == PixelDepth::Depth8 ? PixelDepth::Depth16 : PixelDepth::Depth8;
    EXPECT_TRUE(sampleBilinear<P>(wrong, 0, 0) == P{});
    EXPECT_TRUE(sampleArea<P>(wrong, HALF, HALF, HALF) == P{});
}

// The equal-alpha shortcut against the plain form, bit for bit, and the blend staying within
// its neighbours.
TYPED_TEST(SamplerTest, BilinearShortcutMatchesTheReference) {
    using P = TypeParam;
    using C = decltype(P::alpha);
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> unit(0, 1 << 20);
    auto channel = [&] {
        return static_cast<C>(Depth<P>::MAX * unit(random) / static_cast<double>(1 << 20));
    };
    TestImage<P> image(6, 5);
    for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 6; ++x) {
            // Mostly opaque, so that many 2 x 2 neighbourhoods share one alpha.
            const int pick = unit(random) % 4;
            const C alpha = pick == 0 ? C{} : pick == 1 ? channel() : static_cast<C>(Depth<P>::MAX);
            image.at(x, y) = {alpha, channel(), channel(), channel()};
        }
    }
    std::uniform_int_distribution<int32_t> position(-2 * ONE, 8 * ONE);
    for (int n = 0; n < 20000; ++n) {
        const int32_t u = position(random);
        const int32_t v = position(random);
        const P fast = sampleBilinear<P>(image.view, u, v);
        const P plain = sampleBilinearReference<P>(image.view, u, v);
        ASSERT_TRUE(fast == plain)
            << "at (" << u << ", " << v << "): " << show(fast) << " vs " << show(plain);
        // Colour of a blend lies between the colours of its visible neighbours.
        if (fast.alpha == C{})
            continue;
        double low = 1e300, high = -1e300;
        for (int32_t y = (v >> 16); y <= (v >> 16) + 1; ++y) {
            for (int32_t x = (u >> 16); x <= (u >> 16) + 1; ++x) {
                if (x < 0 || y < 0 || x >= 6 || y >= 5 || image.at(x, y).alpha == C{})
                    continue;
                low = std::min(low, static_cast<double>(image.at(x, y).green));
                high = std::max(high, static_cast<double>(image.at(x, y).green));
            }
        }
        const double green = static_cast<double>(fast.green);
        EXPECT_TRUE(green >= low - 1e-6 && green <= high + 1e-6)
            << "at (" << u << ", " << v << "): green " << green << " outside " << low << " … "
            << high;
    }
}

// Uniform patches (equal neighbours, transparent ones holding colour) and the image's own
// border, where the fast path reads without a bounds test: still the plain form's results.
TYPED_TEST(SamplerTest, BilinearShortcutMatchesTheReferenceOnUniformPatches) {
    using P = TypeParam;
    using C = decltype(P::alpha);
    const C full = static_cast<C>(Depth<P>::MAX);
    const P patches[] = {{full, full, full, full},
                         {C{}, full, full, full},
                         {C{}, C{}, C{}, C{}},
                         {full, C{}, full, C{}}};
    TestImage<P> image(9, 7);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 9; ++x)
            image.at(x, y) = patches[(x / 3 + y / 3) % 4];
    for (int32_t v = -2 * ONE; v <= 8 * ONE; v += ONE / 4 + 1) {
        for (int32_t u = -2 * ONE; u <= 10 * ONE; u += ONE / 4 + 1) {
            const P fast = sampleBilinear<P>(image.view, u, v);
            const P plain = sampleBilinearReference<P>(image.view, u, v);
            ASSERT_TRUE(fast == plain)
                << "at (" << u << ", " << v << "): " << show(fast) << " vs " << show(plain);
        }
    }
}

// The blends' division by estimate against the integer division, at exact multiples, one
// either side of them, and at random, over the ranges the blends reach (8-bit sums below 2^49,
// 16-bit ones up to 2^64 with divisors up to 2^48).
TEST(DivideByEstimate, EqualsIntegerDivision) {
    std::mt19937_64 random(11);
    auto check = [](uint64_t n, uint64_t d) {
        ASSERT_EQ(sampler_detail::divideByEstimate(n, d), n / d) << n << " / " << d;
    };
    for (int i = 0; i < 200000; ++i) {
        const int divisorBits = 1 + static_cast<int>(random() % 48);
        const uint64_t d = (random() >> (64 - divisorBits)) | 1u;
        const uint64_t q = random() % 65536;
        const uint64_t exact = q * d;
        check(exact, d);
        check(exact + d - 1, d);
        if (exact > 0)
            check(exact - 1, d);
        check(exact + random() % d, d);
    }
    check(UINT64_C(65535) * ((UINT64_C(1) << 48) - 1) + 12345, (UINT64_C(1) << 48) - 1);
    check((UINT64_C(1) << 47) * 32768, UINT64_C(1) << 47);
}

// --- Area -------------------------------------------------------------------------------------

TYPED_TEST(SamplerTest, AreaAveragesTheBoxOverlap) {
    using P = TypeParam;
    // Pixel i covers [i, i + 1): red 20 + 40 i, green 30 + 60 j, blue 7, all opaque.
    TestImage<P> gradient(4, 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            gradient.at(x, y) = fromUnits<P>({255, 20.0 + 40 * x, 30.0 + 60 * y, 7});
        }
    }
    // Opaque red beside a transparent pixel that holds green.
    TestImage<P> edge(2, 1);
    edge.at(0, 0) = fromUnits<P>({255, 255, 0, 0});
    edge.at(1, 0) = fromUnits<P>({0, 0, 255, 0});

    struct Case {
        const char* name;
        TestImage<P>* image;
        int32_t x, y, radius;  // 16.16
        Units exact;
    };
    const Case cases[] = {
        {"box [0,2] x [0,2] is pixels 0 and 1 each way",
         &gradient,
         ONE,
         ONE,
         ONE,
         {255, 40, 60, 7}},
        {"box around a pixel centre is that pixel",
         &gradient,
         2 * ONE + HALF,
         ONE + HALF,
         HALF,
         {255, 100, 90, 7}},
        {"box inside one pixel", &gradient, ONE + 19661, 39322, 13107, {255, 60, 30, 7}},
        {"half of two pixels", &gradient, ONE, HALF, HALF, {255, 40, 30, 7}},
        {"a quarter and three quarters", &gradient, ONE + QUARTER, HALF, HALF, {255, 50, 30, 7}},
        {"point sample on a corner", &gradient, ONE, 2 * ONE, 0, {255, 60, 150, 7}},
        {"point sample just before a corner", &gradient, ONE - 1, 2 * ONE - 1, 0, {255, 20, 90, 7}},
        {"negative radius is a point sample",
         &gradient,
         3 * ONE + HALF,
         0,
         -ONE,
         {255, 140, 30, 7}},
        {"half the box outside the image", &gradient, 0, HALF, HALF, {127.5, 20, 30, 7}},
        {"box around the whole image",
         &gradient,
         2 * ONE,
         ONE + HALF,
         4 * ONE,
         {255.0 * 12 / 64, 80, 90, 7}},
        {"box wholly outside", &gradient, -3 * ONE, ONE, ONE, {0, 0, 0, 0}},
        {"point sample outside", &gradient, -HALF, HALF, 0, {0, 0, 0, 0}},
        {"a transparent pixel does not tint", &edge, ONE, HALF, HALF, {127.5, 255, 0, 0}},
    };
    for (const Case& c : cases) {
        const P got = sampleArea<P>(c.image->view, c.x, c.y, c.radius);
        EXPECT_TRUE(matches(got, c.exact))
            << c.name << ": x " << c.x << ", y " << c.y << ", radius " << c.radius;
    }
}

TEST(AreaSamplerTest, LayerStampGrid) {
    // A 100 x 200 layer drawn 50 wide: scale 2, radius one layer pixel, and stamp pixels sample
    // at whole positions, so each box holds exactly 2 x 2 layer pixels.
    TestImage<Pixel8> layer(100, 200);
    for (int32_t y = 0; y < 200; ++y) {
        for (int32_t x = 0; x < 100; ++x) {
            layer.at(x, y) = {255, static_cast<uint8_t>(2 * x), static_cast<uint8_t>(y), 0};
        }
    }
    // Centre stamp pixel: columns 50, 51 and rows 100, 101.
    EXPECT_TRUE(
        matches(sampleArea<Pixel8>(layer.view, 51 * ONE, 101 * ONE, ONE), {255, 101, 100.5, 0}));
    // Stamp pixel (0, 0) at (1, -1): the top row of the box is outside the layer.
    EXPECT_TRUE(matches(sampleArea<Pixel8>(layer.view, ONE, -ONE, ONE), {0, 0, 0, 0}));
    // Stamp pixel (2, 3) at (5, 7): columns 4, 5 and rows 6, 7.
    EXPECT_TRUE(matches(sampleArea<Pixel8>(layer.view, 5 * ONE, 7 * ONE, ONE), {255, 9, 6.5, 0}));
}

TEST(SixteenBitTest, ChannelsAboveFullScaleDoNotWrap) {
    // Out-of-range 16-bit values (up to 65535) must not overflow the 64-bit sums.
    TestImage<Pixel16> image(2, 2);
    image.at(0, 0) = {65535, 65535, 65535, 0};
    image.at(1, 0) = {65535, 65535, 0, 0};
    image.at(0, 1) = {65535, 65535, 65535, 65535};
    image.at(1, 1) = {65535, 65535, 0, 65535};
    const Pixel16 mid = sampleBilinear<Pixel16>(image.view, HALF, HALF);
    const Pixel16 mixed = sampleBilinear<Pixel16>(image.view, HALF, 0);
    EXPECT_TRUE(mid == (Pixel16{65535, 65535, 32768, 32768})) << show(mid);
    EXPECT_TRUE(mixed == (Pixel16{65535, 65535, 32768, 0})) << show(mixed);
    const Pixel16 area = sampleArea<Pixel16>(image.view, ONE, ONE, ONE);
    EXPECT_TRUE(area == (Pixel16{65535, 65535, 32768, 32768})) << show(area);
}

}  // namespace
}  // namespace mst
