#include "pixel/pixel_types.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "pixel_printing.h"

namespace mst {
namespace {

// --- Channel conversions --------------------------------------------------------------------

struct Channel8To16Case {
    uint8_t in;
    uint16_t expected;
};
constexpr Channel8To16Case CHANNEL_8_TO_16[] = {
    {0, 0},       {1, 129},     {2, 257},     {127, 16320},
    {128, 16448}, {200, 25700}, {254, 32640}, {255, 32768},
};

TEST(Convert8To16, RoundsToNearestAndIsExactAtBothEnds) {
    for (const auto& c : CHANNEL_8_TO_16) {
        const Pixel16 out = convert8To16(Pixel8{c.in, c.in, c.in, c.in});
        EXPECT_EQ(out, (Pixel16{c.expected, c.expected, c.expected, c.expected}))
            << "input " << int{c.in};
    }
}

TEST(Convert8To16, ConvertsEachChannelOnItsOwn) {
    EXPECT_EQ(convert8To16(Pixel8{0, 1, 127, 255}), (Pixel16{0, 129, 16320, 32768}));
}

TEST(Convert8To16, NeverExceedsFullScaleAndNeverDecreases) {
    uint16_t previous = 0;
    for (int v = 0; v <= 255; ++v) {
        const uint16_t out = convert8To16(Pixel8{0, static_cast<uint8_t>(v), 0, 0}).red;
        EXPECT_LE(out, CHANNEL_MAX_16) << "input " << v;
        EXPECT_GE(out, previous) << "input " << v;
        previous = out;
    }
}

TEST(Convert8ToFloat, DividesInDoubleThenStoresFloat) {
    const PixelFloat out = convert8ToFloat(Pixel8{255, 0, 128, 1});
    EXPECT_EQ(out.alpha, 1.0f);
    EXPECT_EQ(out.red, 0.0f);
    // The float nearest 128/255.
    EXPECT_EQ(out.green, 0.50196081f);
    EXPECT_EQ(out.green, static_cast<float>(128.0 / 255.0));
    EXPECT_EQ(out.blue, static_cast<float>(1.0 / 255.0));
}

TEST(Convert16ToFloat, DividesByFullScale32768) {
    const PixelFloat out = convert16ToFloat(Pixel16{32768, 16384, 1, 0});
    EXPECT_EQ(out, (PixelFloat{1.0f, 0.5f, 0x1p-15f, 0.0f}));
}

struct RealToChannelCase {
    const char* name;
    double in;
    uint32_t expected;
};

TEST(FloatToChannel8, TruncatesAndKeepsTheLowEightBits) {
    constexpr RealToChannelCase CASES[] = {
        {"0.999 truncates to 254", 0.999, 254},
        {"1.0 is full scale", 1.0, 255},
        {"0 is 0", 0.0, 0},
        {"0.5 truncates 127.5", 0.5, 127},
        {"2.0 wraps: 510 & 0xFF", 2.0, 254},
    };
    for (const auto& c : CASES) {
        EXPECT_EQ(floatToChannel8(c.in), c.expected) << c.name << ", input " << c.in;
    }
}

TEST(FloatToChannel16, TruncatesAndKeepsTheLowSixteenBits) {
    constexpr RealToChannelCase CASES[] = {
        {"0.5 is half scale", 0.5, 16384},
        {"1.0 is full scale", 1.0, 32768},
        {"just below 1 truncates", 0.99999, 32767},
        {"2.0 wraps: 65536 & 0xFFFF", 2.0, 0},
    };
    for (const auto& c : CASES) {
        EXPECT_EQ(floatToChannel16(c.in), c.expected) << c.name << ", input " << c.in;
    }
}

// --- Real to integer ------------------------------------------------------------------------

struct RealToIntCase {
    const char* name;
    double in;
    int32_t expected;
};

TEST(TruncToInt, RoundsTowardZero) {
    const RealToIntCase cases[] = {
        {"-0.7 toward zero", -0.7, 0},
        {"-1.5 toward zero, not floor", -1.5, -1},
        {"2.9 down", 2.9, 2},
        {"largest int32", 2147483647.9, INT32_MAX},
        {"smallest int32", -2147483648.9, INT32_MIN},
        // Out of range saturates and NaN gives 0 rather than undefined behaviour.
        {"above int32 saturates", 1e10, INT32_MAX},
        {"below int32 saturates", -1e10, INT32_MIN},
        {"NaN gives 0", std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(truncToInt(c.in), c.expected) << c.name << ", input " << c.in;
    }
}

TEST(ToFixed, RoundsHalfAwayFromZero) {
    const RealToIntCase cases[] = {
        {"0.5", 0.5, 32768},
        {"-0.5", -0.5, -32768},
        {"1.0", 1.0, 65536},
        {"2^1.2 - 1", std::pow(2.0, 1.2) - 1.0, 85026},
        {"half a step up rounds away", 1.5 / 65536.0, 2},
        {"half a step down rounds away", -1.5 / 65536.0, -2},
        {"just under half a step", 0.49 / 65536.0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toFixed(c.in), c.expected) << c.name << ", input " << c.in;
    }
}

// --- Depths and format codes ----------------------------------------------------------------

TEST(PixelDepth, NumericValuesAndFormatCodes) {
    static_assert(std::endian::native == std::endian::little);
    struct Case {
        PixelDepth depth;
        int numeric;
        const char* bytes;
        int32_t pixelBytes;
    };
    constexpr Case CASES[] = {
        {PixelDepth::Depth8, 0, "argb", 4},
        {PixelDepth::Depth16, 1, "ae16", 8},
        {PixelDepth::DepthFloat, 2, "ae32", 16},
    };
    for (const auto& c : CASES) {
        const uint32_t code = formatCodeOf(c.depth);
        char bytes[4];
        std::memcpy(bytes, &code, sizeof bytes);
        EXPECT_EQ(std::string(bytes, 4), c.bytes);
        EXPECT_EQ(static_cast<int>(c.depth), c.numeric) << c.bytes;
        EXPECT_EQ(pixelSize(c.depth), c.pixelBytes) << c.bytes;
        PixelDepth back = PixelDepth::Depth8;
        EXPECT_TRUE(depthFromFormatCode(code, back)) << c.bytes;
        EXPECT_EQ(back, c.depth) << c.bytes;
    }
}

TEST(PixelDepth, OtherFormatCodesAreNoDepth) {
    PixelDepth depth = PixelDepth::Depth16;
    EXPECT_FALSE(depthFromFormatCode(PIXEL_FORMAT_CODE_INVALID, depth));
    EXPECT_FALSE(depthFromFormatCode(0, depth));
    EXPECT_EQ(depth, PixelDepth::Depth16) << "a rejected code leaves the depth alone";
}

TEST(PixelDepth, RowBytesShiftToPixelsPerRow) {
    EXPECT_EQ(160 >> pixelSizeShift(PixelDepth::Depth8), 40);
    EXPECT_EQ(160 >> pixelSizeShift(PixelDepth::Depth16), 20);
    EXPECT_EQ(160 >> pixelSizeShift(PixelDepth::DepthFloat), 10);
}

// --- Image view -----------------------------------------------------------------------------

template <class P>
class PixelImageTest : public testing::Test {};
using PixelTypes = testing::Types<Pixel8, Pixel16, PixelFloat>;
TYPED_TEST_SUITE(PixelImageTest, PixelTypes);

// Rows are padded: 3 pixels wide, 5 pixels apart. Pixel (x, y) is element y * 5 + x.
TYPED_TEST(PixelImageTest, RowsStartPixelsPerRowApartNotWidthApart) {
    using P = TypeParam;
    constexpr int32_t WIDTH = 3, HEIGHT = 2, PIXELS_PER_ROW = 5;
    P buffer[PIXELS_PER_ROW * HEIGHT];
    for (int i = 0; i < PIXELS_PER_ROW * HEIGHT; ++i) {
        buffer[i] = P{static_cast<decltype(P{}.alpha)>(i), 0, 0, 0};
    }
    const PixelImage image{depthOf<P>(), WIDTH, HEIGHT, PIXELS_PER_ROW, buffer};

    EXPECT_EQ(image.row<P>(1), buffer + PIXELS_PER_ROW);
    EXPECT_EQ(&image.at<P>(0, 1), &buffer[PIXELS_PER_ROW]);
    EXPECT_EQ(image.at<P>(2, 1).alpha, 7);
    EXPECT_EQ(image.at<P>(2, 0).alpha, 2);

    image.at<P>(1, 1).red = 9;
    EXPECT_EQ(buffer[6].red, 9);
}

}  // namespace
}  // namespace mst
