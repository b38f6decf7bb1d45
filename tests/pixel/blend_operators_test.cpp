#include "pixel/blend_operators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <type_traits>

#include "pixel_printing.h"

namespace mst {
namespace {

template <class P>
struct WorkedCase {
    const char* name;
    BlendOperator<P> op;
    P bottom;
    P top;
    P expected;
};

template <class P>
void expectWorked(std::span<const WorkedCase<P>> cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(c.op(c.bottom, c.top), c.expected)
            << c.name << "\n  bottom " << testing::PrintToString(c.bottom) << "\n  top    "
            << testing::PrintToString(c.top);
    }
}

// --- Worked numbers -------------------------------------------------------------------------

constexpr WorkedCase<Pixel8> WORKED_8[] = {
    {"over: half white onto opaque black",
     compositeOver<Pixel8>,
     {255, 0, 0, 0},
     {128, 255, 255, 255},
     {255, 128, 128, 128}},
    {"over: half onto half weights the bottom by t",
     compositeOver<Pixel8>,
     {128, 200, 0, 0},
     {128, 0, 200, 0},
     {192, 66, 133, 0}},
    {"add: same pair weights the bottom by its own alpha",
     blendAdd<Pixel8>,
     {128, 200, 0, 0},
     {128, 0, 200, 0},
     {192, 133, 133, 0}},
    {"add: opaque pair is the clamped sum",
     blendAdd<Pixel8>,
     {255, 100, 200, 50},
     {255, 100, 100, 250},
     {255, 200, 255, 255}},
    {"add: partial alphas",
     blendAdd<Pixel8>,
     {100, 200, 40, 0},
     {200, 30, 250, 0},
     {221, 117, 244, 0}},
    {"tritone: white bottom gives white",
     blendTritone<Pixel8>,
     {255, 255, 255, 255},
     {255, 10, 100, 200},
     {255, 255, 255, 255}},
    {"tritone: black bottom gives black",
     blendTritone<Pixel8>,
     {255, 0, 0, 0},
     {255, 10, 100, 200},
     {255, 0, 0, 0}},
    {"tritone: luminance 127 keeps the top",
     blendTritone<Pixel8>,
     {255, 127, 127, 127},
     {255, 10, 100, 200},
     {255, 10, 100, 200}},
    {"tritone: luminance 126 is dark, divides by 127",
     blendTritone<Pixel8>,
     {255, 126, 126, 126},
     {255, 254, 100, 0},
     {255, 252, 99, 0}},
    {"tritone: half top, light branch divides by 128",
     blendTritone<Pixel8>,
     {255, 200, 200, 200},
     {128, 0, 100, 255},
     {255, 172, 193, 227}},
    {"tritone: transparent bottom gives the tinted top",
     blendTritone<Pixel8>,
     {0, 255, 255, 255},
     {200, 0, 0, 0},
     {200, 255, 255, 255}},
    {"multiply", blendMultiply<Pixel8>, {255, 255, 128, 0}, {255, 255, 128, 77}, {255, 255, 64, 0}},
    {"screen: half white bottom premultiplied to 128",
     blendScreen<Pixel8>,
     {128, 255, 255, 255},
     {255, 0, 0, 0},
     {255, 128, 128, 128}},
    {"screen: premultiplied bottom is the bottom of the over",
     blendScreen<Pixel8>,
     {128, 255, 255, 255},
     {128, 0, 0, 0},
     {192, 128, 128, 128}},
    {"screen: half top",
     blendScreen<Pixel8>,
     {255, 100, 50, 0},
     {128, 100, 200, 255},
     {255, 130, 130, 128}},
    {"overlay", blendOverlay<Pixel8>, {255, 100, 200, 0}, {255, 200, 100, 0}, {255, 156, 189, 0}},
    {"overlay: bottom 127 is below the midpoint, 128 is not",
     blendOverlay<Pixel8>,
     {255, 127, 128, 0},
     {255, 100, 100, 100},
     {255, 99, 101, 0}},
    {"color dodge",
     blendColorDodge<Pixel8>,
     {255, 100, 100, 100},
     {255, 255, 155, 55},
     {255, 255, 255, 127}},
    {"color dodge: top 255 gives 255 even on black",
     blendColorDodge<Pixel8>,
     {255, 0, 0, 40},
     {255, 254, 255, 254},
     {255, 0, 255, 255}},
    {"color burn", blendColorBurn<Pixel8>, {255, 100, 100, 0}, {255, 0, 200, 100}, {255, 0, 58, 0}},
    {"color burn: top 0 gives 0 even on white",
     blendColorBurn<Pixel8>,
     {255, 255, 255, 10},
     {255, 0, 1, 200},
     {255, 0, 255, 0}},
};

constexpr WorkedCase<Pixel16> WORKED_16[] = {
    {"over: half white onto opaque black",
     compositeOver<Pixel16>,
     {32768, 0, 0, 0},
     {16384, 32768, 32768, 32768},
     {32768, 16384, 16384, 16384}},
    {"over: half onto half",
     compositeOver<Pixel16>,
     {16384, 32768, 0, 0},
     {16384, 0, 32768, 0},
     {24576, 10922, 21845, 0}},
    {"over: opaque top replaces",
     compositeOver<Pixel16>,
     {20000, 1, 2, 3},
     {32768, 5, 6, 7},
     {32768, 5, 6, 7}},
    {"add: half onto half",
     blendAdd<Pixel16>,
     {16384, 32768, 0, 0},
     {16384, 0, 32768, 0},
     {24576, 21845, 21845, 0}},
    // 32768 x 32768 + 32768 x 32768 = 2^31: one past the int32 range.
    {"add: two opaque full-scale pixels",
     blendAdd<Pixel16>,
     {32768, 32768, 32768, 32768},
     {32768, 32768, 32768, 32768},
     {32768, 32768, 32768, 32768}},
    {"tritone: black top onto white bottom stops at 29018",
     blendTritone<Pixel16>,
     {32768, 32768, 32768, 32768},
     {32768, 0, 0, 0},
     {32768, 29018, 29018, 29018}},
    {"tritone: dark branch divides by 16383",
     blendTritone<Pixel16>,
     {32768, 16384, 16384, 16384},
     {32768, 32768, 16384, 1000},
     {32768, 30893, 15446, 942}},
    {"tritone: luminance 16382 is dark",
     blendTritone<Pixel16>,
     {32768, 17377, 17377, 17377},
     {32768, 32768, 16384, 1000},
     {32768, 32765, 16382, 999}},
    {"tritone: luminance 16383 keeps the top",
     blendTritone<Pixel16>,
     {32768, 17378, 17378, 17378},
     {32768, 32768, 16384, 1000},
     {32768, 32768, 16384, 1000}},
    {"tritone: half top, light branch divides by 16384",
     blendTritone<Pixel16>,
     {32768, 32768, 32768, 20000},
     {16384, 0, 10000, 32768},
     {32768, 28985, 30139, 26384}},
    {"tritone: transparent bottom gives the tinted top",
     blendTritone<Pixel16>,
     {0, 32768, 32768, 32768},
     {20000, 0, 0, 0},
     {20000, 29018, 29018, 29018}},
    {"multiply",
     blendMultiply<Pixel16>,
     {32768, 32768, 16384, 100},
     {20000, 16384, 16384, 32768},
     {32768, 22768, 11384, 100}},
    {"screen: premultiplied bottom",
     blendScreen<Pixel16>,
     {16384, 32768, 20000, 0},
     {32768, 0, 16384, 32768},
     {32768, 16384, 21384, 32768}},
    {"screen: premultiplied bottom is the bottom of the over",
     blendScreen<Pixel16>,
     {16384, 32768, 20000, 0},
     {16384, 0, 16384, 32768},
     {24576, 16384, 17589, 21845}},
    {"overlay: bottom 16383 is below the midpoint, 16384 is not",
     blendOverlay<Pixel16>,
     {32768, 16383, 16384, 32768},
     {32768, 20000, 20000, 20000},
     {32768, 19998, 20000, 32768}},
    {"color dodge: top 32768 gives 32768, 32767 divides by 1",
     blendColorDodge<Pixel16>,
     {32768, 0, 0, 100},
     {32768, 32767, 32768, 16384},
     {32768, 0, 32768, 200}},
    {"color burn: top 0 gives 0, negative clamps to 0",
     blendColorBurn<Pixel16>,
     {32768, 32768, 32768, 100},
     {32768, 0, 1, 16384},
     {32768, 0, 32768, 0}},
};

constexpr WorkedCase<PixelFloat> WORKED_FLOAT[] = {
    {"over: partial alphas",
     compositeOver<PixelFloat>,
     {0.5f, 0.8f, 0.2f, 0.1f},
     {0.25f, 0.3f, 0.6f, 0.9f},
     {0.625f, 0.600000024f, 0.360000014f, 0.419999987f}},
    {"over: opaque top kept with colours outside 0..1",
     compositeOver<PixelFloat>,
     {0.5f, 0.1f, 0.1f, 0.1f},
     {1.0f, 2.5f, -0.5f, 7.0f},
     {1.0f, 2.5f, -0.5f, 7.0f}},
    // The shortcut, not the formula (whose inf x 0 would give NaN), returns an opaque top.
    {"over: opaque top replaces even an infinite bottom",
     compositeOver<PixelFloat>,
     {0.5f, INFINITY, 0.1f, 0.1f},
     {1.0f, 0.2f, 0.3f, 0.4f},
     {1.0f, 0.2f, 0.3f, 0.4f}},
    {"over: alpha above 1 is capped",
     compositeOver<PixelFloat>,
     {1.5f, 0.2f, 0.4f, 0.6f},
     {0.5f, 0.9f, 0.1f, 0.3f},
     {1.0f, 0.600000024f, 0.350000024f, 0.600000024f}},
    {"over: alphas summing to 0 give all zero",
     compositeOver<PixelFloat>,
     {2.0f, 0.3f, 0.3f, 0.3f},
     {2.0f, 0.5f, 0.5f, 0.5f},
     {0.0f, 0.0f, 0.0f, 0.0f}},
    {"over: negative top alpha gives all zero",
     compositeOver<PixelFloat>,
     {0.25f, 0.3f, 0.3f, 0.3f},
     {-0.5f, 0.5f, 0.5f, 0.5f},
     {0.0f, 0.0f, 0.0f, 0.0f}},
    {"add: partial alphas",
     blendAdd<PixelFloat>,
     {0.5f, 0.8f, 0.2f, 0.1f},
     {0.25f, 0.3f, 0.6f, 0.9f},
     {0.625f, 0.76000005f, 0.400000006f, 0.439999998f}},
    {"add: opaque sum is not clamped",
     blendAdd<PixelFloat>,
     {1.0f, 0.8f, 0.5f, 0.1f},
     {1.0f, 0.7f, 0.2f, 0.3f},
     {1.0f, 1.5f, 0.699999988f, 0.400000006f}},
    {"add: alphas summing to 0 give all zero",
     blendAdd<PixelFloat>,
     {2.0f, 0.3f, 0.3f, 0.3f},
     {2.0f, 0.5f, 0.5f, 0.5f},
     {0.0f, 0.0f, 0.0f, 0.0f}},
    {"tritone: dark",
     blendTritone<PixelFloat>,
     {1.0f, 0.2f, 0.3f, 0.1f},
     {0.75f, 0.9f, 0.5f, 0.2f},
     {1.0f, 0.383855015f, 0.26047501f, 0.0991900042f}},
    {"tritone: light",
     blendTritone<PixelFloat>,
     {1.0f, 0.9f, 0.8f, 0.7f},
     {0.75f, 0.9f, 0.5f, 0.2f},
     {1.0f, 0.947775006f, 0.81387502f, 0.70720011f}},
    {"tritone: both pixels clamped to 0..1, the clamped bottom under the over",
     blendTritone<PixelFloat>,
     {0.5f, 2.0f, -1.0f, 0.5f},
     {0.75f, -3.0f, 0.25f, 4.0f},
     {0.875f, 0.142857149f, 0.15257144f, 0.681714356f}},
    {"tritone: transparent bottom gives the tinted top",
     blendTritone<PixelFloat>,
     {0.0f, 1.0f, 1.0f, 1.0f},
     {0.5f, 0.0f, 0.0f, 0.0f},
     {0.5f, 1.0f, 1.0f, 1.0f}},
    {"multiply",
     blendMultiply<PixelFloat>,
     {0.5f, 0.8f, 0.2f, 0.1f},
     {0.25f, 0.3f, 0.6f, 0.9f},
     {0.625f, 0.576000035f, 0.168000013f, 0.0960000008f}},
    {"screen: premultiplied bottom",
     blendScreen<PixelFloat>,
     {0.5f, 0.8f, 0.2f, 0.1f},
     {0.25f, 0.3f, 0.6f, 0.9f},
     {0.625f, 0.472000033f, 0.316000044f, 0.39199999f}},
    {"overlay: both branches",
     blendOverlay<PixelFloat>,
     {0.5f, 0.3f, 0.7f, 0.5f},
     {0.6f, 0.4f, 0.4f, 0.4f},
     {0.800000012f, 0.254999995f, 0.654999971f, 0.424999952f}},
    {"color dodge: not clamped",
     blendColorDodge<PixelFloat>,
     {0.5f, 0.8f, 0.2f, 0.1f},
     {0.75f, 0.3f, 1.0f, 0.9f},
     {0.875f, 1.09387767f, 0.885714233f, 0.87142837f}},
    {"color dodge: caps at 1, keeps negatives",
     blendColorDodge<PixelFloat>,
     {1.0f, 1.5f, -0.5f, 0.3f},
     {1.0f, 0.5f, 0.5f, 2.0f},
     {1.0f, 2.0f, -1.0f, 1.0f}},
    {"color burn",
     blendColorBurn<PixelFloat>,
     {0.5f, 0.8f, 0.2f, 0.1f},
     {0.75f, 0.3f, 0.0f, 0.9f},
     {0.875f, 0.400000036f, 0.0285714287f, 0.0142857144f}},
    {"color burn: caps at 1, keeps negatives",
     blendColorBurn<PixelFloat>,
     {1.0f, 1.5f, -0.5f, 0.3f},
     {1.0f, 0.5f, 0.5f, 2.0f},
     {1.0f, 1.0f, -2.0f, 0.3f}},
};

TEST(BlendOperators, WorkedNumbers8) {
    expectWorked<Pixel8>(WORKED_8);
}
TEST(BlendOperators, WorkedNumbers16) {
    expectWorked<Pixel16>(WORKED_16);
}
TEST(BlendOperators, WorkedNumbersFloat) {
    expectWorked<PixelFloat>(WORKED_FLOAT);
}

// --- Across the three depths ----------------------------------------------------------------

template <class P>
class BlendDepthTest : public testing::Test {
  protected:
    using Tr = PixelTraits<P>;
    using Channel = typename Tr::Channel;

    // A pixel from fractions of full scale.
    static P unit(double a, double r, double g, double b) {
        auto c = [](double v) { return static_cast<Channel>(v * Tr::MAX); };
        return {c(a), c(r), c(g), c(b)};
    }

    struct NamedOperator {
        const char* name;
        BlendOperator<P> op;
    };
    static constexpr NamedOperator ALL[8] = {
        {"compositeOver", compositeOver<P>},
        {"blendTritone", blendTritone<P>},
        {"blendAdd", blendAdd<P>},
        {"blendMultiply", blendMultiply<P>},
        {"blendScreen", blendScreen<P>},
        {"blendOverlay", blendOverlay<P>},
        {"blendColorDodge", blendColorDodge<P>},
        {"blendColorBurn", blendColorBurn<P>},
    };

    static const BlendOperator<P> (&namedTable())[BLEND_TABLE_SIZE] {
        if constexpr (std::is_same_v<P, Pixel8>) {
            return BLEND_OPS_8;
        } else if constexpr (std::is_same_v<P, Pixel16>) {
            return BLEND_OPS_16;
        } else {
            return BLEND_OPS_FLOAT;
        }
    }
};
using PixelTypes = testing::Types<Pixel8, Pixel16, PixelFloat>;
TYPED_TEST_SUITE(BlendDepthTest, PixelTypes);

TYPED_TEST(BlendDepthTest, TransparentTopReturnsTheBottomUnchanged) {
    // Bottom colours a formula would change; the top's colours would show if it were used.
    const TypeParam bottoms[] = {this->unit(0.5, 0.2, 0.6, 0.9), this->unit(1.0, 0.9, 0.1, 0.4)};
    const TypeParam top = this->unit(0.0, 0.7, 0.1, 0.4);
    for (const auto& named : this->ALL) {
        for (const auto& bottom : bottoms) {
            EXPECT_EQ(named.op(bottom, top), bottom)
                << named.name << " bottom " << testing::PrintToString(bottom);
        }
    }
}

TYPED_TEST(BlendDepthTest, TransparentBottomReturnsTheTopUnchangedExceptTritone) {
    const TypeParam bottom = this->unit(0.0, 0.2, 0.6, 0.9);
    const TypeParam tops[] = {this->unit(0.5, 0.7, 0.1, 0.4), this->unit(0.0, 0.7, 0.1, 0.4)};
    for (const auto& named : this->ALL) {
        if (named.op == blendTritone<TypeParam>)
            continue;
        for (const auto& top : tops) {
            EXPECT_EQ(named.op(bottom, top), top)
                << named.name << " top " << testing::PrintToString(top);
        }
    }
}

// Tritone has no bottom test: a transparent bottom still tints the top (the tinted values are
// pinned in the worked tables); only a transparent top returns early.
TYPED_TEST(BlendDepthTest, TritoneOnTransparentBottomTintsTheTop) {
    const TypeParam whiteTransparent = this->unit(0.0, 1.0, 1.0, 1.0);
    const TypeParam blackTop = this->unit(0.5, 0.0, 0.0, 0.0);
    const TypeParam result = blendTritone(whiteTransparent, blackTop);
    EXPECT_EQ(result.alpha, blackTop.alpha);
    EXPECT_GT(result.red, blackTop.red) << testing::PrintToString(result);

    const TypeParam transparentTop = this->unit(0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(blendTritone(whiteTransparent, transparentTop), whiteTransparent);
}

// Over keeps an opaque top as it is; Add has no such shortcut and still sums.
TYPED_TEST(BlendDepthTest, OpaqueTopReplacesUnderOverButNotUnderAdd) {
    const TypeParam bottom = this->unit(1.0, 0.25, 0.25, 0.25);
    const TypeParam top = this->unit(1.0, 0.5, 0.5, 0.5);
    EXPECT_EQ(compositeOver(bottom, top), top);
    const TypeParam sum = blendAdd(bottom, top);
    EXPECT_EQ(sum.alpha, top.alpha);
    EXPECT_EQ(sum.red, static_cast<decltype(sum.red)>(bottom.red + top.red));
}

TYPED_TEST(BlendDepthTest, TablesMapEachModeToItsOperator) {
    using P = TypeParam;
    static_assert(static_cast<int32_t>(BlendMode::Normal) == 1);
    static_assert(static_cast<int32_t>(BlendMode::ColorBurn) == 8);
    const struct {
        int32_t index;
        BlendOperator<P> op;
    } expected[] = {
        {0, compositeOver<P>},
        {static_cast<int32_t>(BlendMode::Normal), compositeOver<P>},
        {static_cast<int32_t>(BlendMode::Tritone), blendTritone<P>},
        {static_cast<int32_t>(BlendMode::Add), blendAdd<P>},
        {static_cast<int32_t>(BlendMode::Multiply), blendMultiply<P>},
        {static_cast<int32_t>(BlendMode::Screen), blendScreen<P>},
        {static_cast<int32_t>(BlendMode::Overlay), blendOverlay<P>},
        {static_cast<int32_t>(BlendMode::ColorDodge), blendColorDodge<P>},
        {static_cast<int32_t>(BlendMode::ColorBurn), blendColorBurn<P>},
    };
    const auto& table = this->namedTable();
    for (const auto& e : expected) {
        EXPECT_EQ(table[e.index], e.op) << "entry " << e.index;
        if (e.index >= 1) {
            EXPECT_EQ(blendOperatorFor<P>(e.index), e.op) << "mode " << e.index;
        }
    }
}

// Values the popup cannot produce fall back to over instead of reading outside the table.
TYPED_TEST(BlendDepthTest, ModesOutsideOneToEightGiveOver) {
    for (const int32_t mode : {0, -1, 9, 100, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(blendOperatorFor<TypeParam>(mode), compositeOver<TypeParam>) << "mode " << mode;
    }
}

// --- Sweeps ---------------------------------------------------------------------------------

// Channels biased towards the values where formulas switch or overflow.
class Channel16Source {
  public:
    explicit Channel16Source(uint32_t seed) : engine_(seed) {}
    uint16_t next() {
        static constexpr uint16_t EDGES[] = {0, 1, 127, 128, 16383, 16384, 32767, 32768};
        const uint32_t r = engine_();
        if (r % 4 == 0)
            return EDGES[(r >> 8) % std::size(EDGES)];
        return static_cast<uint16_t>((r >> 8) % 32769);
    }
    Pixel16 pixel() { return {next(), next(), next(), next()}; }

  private:
    std::mt19937 engine_;
};

TEST(BlendOperators16, ResultsNeverExceedFullScale) {
    Channel16Source source(20240611);
    for (int i = 0; i < 200000; ++i) {
        const Pixel16 bottom = source.pixel();
        const Pixel16 top = source.pixel();
        for (std::size_t mode = 0; mode < BLEND_TABLE_SIZE; ++mode) {
            const Pixel16 r = BLEND_OPS_16[mode](bottom, top);
            const uint16_t highest = std::max({r.alpha, r.red, r.green, r.blue});
            if (highest > CHANNEL_MAX_16) {
                ADD_FAILURE() << "mode " << mode << " gave " << testing::PrintToString(r)
                              << "\n  bottom " << testing::PrintToString(bottom) << "\n  top    "
                              << testing::PrintToString(top);
                return;
            }
        }
    }
}

// Two opaque pixels through Add give the clamped sum of their colours. In 16-bit the
// numerator reaches 2^31 here, so an int32 formula would wrap.
TEST(BlendOperators16, AddOfOpaquePixelsIsTheClampedSum) {
    Channel16Source source(7);
    for (int i = 0; i < 100000; ++i) {
        Pixel16 bottom = source.pixel();
        Pixel16 top = source.pixel();
        bottom.alpha = top.alpha = 32768;
        auto sum = [](int a, int b) { return static_cast<uint16_t>(std::min(a + b, 32768)); };
        const Pixel16 expected{32768, sum(bottom.red, top.red), sum(bottom.green, top.green),
                               sum(bottom.blue, top.blue)};
        const Pixel16 result = blendAdd(bottom, top);
        if (result != expected) {
            ADD_FAILURE() << "gave " << testing::PrintToString(result) << ", expected "
                          << testing::PrintToString(expected) << "\n  bottom "
                          << testing::PrintToString(bottom) << "\n  top    "
                          << testing::PrintToString(top);
            return;
        }
    }
}

}  // namespace
}  // namespace mst
