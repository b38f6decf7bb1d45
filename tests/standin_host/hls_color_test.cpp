#include "standin_host/hls_color.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace mst {
namespace {

std::string show(const PixelFloat& p) {
    std::ostringstream text;
    text << "{" << p.alpha << ", " << p.red << ", " << p.green << ", " << p.blue << "}";
    return text.str();
}

TEST(HlsColorTest, KnownColours) {
    struct Case {
        const char* name;
        PixelFloat rgb;
        HlsPixel hls;
    };
    const Case cases[] = {
        {"black", {1, 0, 0, 0}, {0, 0, 0}},
        {"white", {1, 1, 1, 1}, {0, 65536, 0}},
        {"grey", {1, 0.5f, 0.5f, 0.5f}, {0, 32768, 0}},
        {"red", {1, 1, 0, 0}, {0, 32768, 65536}},
        {"green", {1, 0, 1, 0}, {120 * 65536, 32768, 65536}},
        {"blue", {1, 0, 0, 1}, {240 * 65536, 32768, 65536}},
        {"magenta", {1, 1, 0, 1}, {300 * 65536, 32768, 65536}},
        {"dark orange", {1, 0.5f, 0.25f, 0}, {30 * 65536, 16384, 65536}},
        {"pale cyan", {1, 0.5f, 1, 1}, {180 * 65536, 49152, 65536}},
        {"greyish red", {1, 0.75f, 0.25f, 0.25f}, {0, 32768, 32768}},
    };
    for (const Case& c : cases) {
        HlsPixel hls{-1, -1, -1};
        EXPECT_EQ(rgbToHls(c.rgb, hls), ERR_NONE);
        EXPECT_EQ(hls.hue, c.hls.hue) << c.name;
        EXPECT_EQ(hls.lightness, c.hls.lightness) << c.name;
        EXPECT_EQ(hls.saturation, c.hls.saturation) << c.name;
        PixelFloat back{0.25f, -1, -1, -1};
        EXPECT_EQ(hlsToRgb(c.hls, back), ERR_NONE);
        EXPECT_TRUE(back == (PixelFloat{0.25f, c.rgb.red, c.rgb.green, c.rgb.blue}))
            << c.name << ": " << show(back);
    }
}

TEST(HlsColorTest, RoundTripReturnsTheColour) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int n = 0; n < 20000; ++n) {
        // Every fourth colour from the 8-bit grid the core feeds in.
        const bool grid = n % 4 == 0;
        auto channel = [&] {
            return grid ? static_cast<float>((random() % 256) / 255.0) : unit(random);
        };
        const PixelFloat in{unit(random), channel(), channel(), channel()};
        HlsPixel hls;
        ASSERT_EQ(rgbToHls(in, hls), ERR_NONE);
        PixelFloat out{0.625f, 0, 0, 0};
        ASSERT_EQ(hlsToRgb(hls, out), ERR_NONE);
        EXPECT_EQ(out.alpha, 0.625f);
        EXPECT_NEAR(out.red, in.red, HLS_ROUND_TRIP_ERROR) << show(in);
        EXPECT_NEAR(out.green, in.green, HLS_ROUND_TRIP_ERROR) << show(in);
        EXPECT_NEAR(out.blue, in.blue, HLS_ROUND_TRIP_ERROR) << show(in);
        EXPECT_GE(hls.hue, 0) << show(in);
        EXPECT_LT(hls.hue, HLS_HUE_TURN) << show(in);
    }
}

TEST(HlsColorTest, LightnessExtremesAndRange) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int32_t> anyValue(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> lightness(0, HLS_UNIT);
    for (int n = 0; n < 5000; ++n) {
        const int32_t hue = anyValue(random);
        // Saturation in range for most, anything at all for the rest.
        const int32_t saturation = n % 2 == 0 ? lightness(random) : anyValue(random);
        const struct {
            int32_t lightness;
            float expect;  // -1: only the range is checked
        } levels[] = {{0, 0.0f}, {HLS_UNIT, 1.0f}, {lightness(random), -1.0f}};
        for (const auto& level : levels) {
            const HlsPixel hls{hue, level.lightness, saturation};
            PixelFloat rgb{0.5f, -1, -1, -1};
            ASSERT_EQ(hlsToRgb(hls, rgb), ERR_NONE);
            const float channels[3] = {rgb.red, rgb.green, rgb.blue};
            for (float c : channels) {
                if (n % 2 == 0 && level.expect >= 0.0f) {
                    EXPECT_EQ(c, level.expect)
                        << "hls " << hue << ", " << level.lightness << ", " << saturation;
                }
                EXPECT_TRUE(c >= 0.0f && c <= 1.0f) << "hls " << hue << ", " << level.lightness
                                                    << ", " << saturation << ": " << show(rgb);
            }
        }
    }
}

TEST(HlsColorTest, ColoursOutsideTheUnitRange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        PixelFloat rgb;
        int32_t lightness;
        PixelFloat back;  // alpha < 0: only the range is checked
    };
    const Case cases[] = {
        {"super-white", {1, 2, 2, 2}, 131072, {1, 1, 1, 1}},
        {"bright red stays red", {1, 3, 0, 0}, 98304, {1, 1, 0, 0}},
        {"bright orange keeps its green", {1, 1.5f, 0.5f, 0}, 49152, {1, 1, 0.5f, 0}},
        {"negative red", {1, -1, 0.5f, 0}, -16384, {1, 0, 0.5f, 0}},
        {"lightness 1 with chroma", {1, 1.5f, 0.5f, 0.5f}, 65536, {1, 1, 1, 1}},
        {"infinite", {1, inf, 0, 0}, INT32_MAX, {-1, 0, 0, 0}},
        {"NaN", {1, nan, 0.5f, 0.5f}, 0, {-1, 0, 0, 0}},
        {"all NaN", {1, nan, nan, nan}, 0, {1, 0, 0, 0}},
        {"opposite infinities", {1, inf, -inf, 0}, 0, {-1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        HlsPixel hls{-1, -1, -1};
        EXPECT_EQ(rgbToHls(c.rgb, hls), ERR_NONE) << c.name;
        EXPECT_EQ(hls.lightness, c.lightness) << c.name;
        PixelFloat back{1, -1, -1, -1};
        EXPECT_EQ(hlsToRgb(hls, back), ERR_NONE) << c.name;
        for (float v : {back.red, back.green, back.blue}) {
            EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << c.name << ": " << show(back);
        }
        if (c.back.alpha >= 0.0f) {
            EXPECT_NEAR(back.red, c.back.red, HLS_ROUND_TRIP_ERROR) << c.name;
            EXPECT_NEAR(back.green, c.back.green, HLS_ROUND_TRIP_ERROR) << c.name;
            EXPECT_NEAR(back.blue, c.back.blue, HLS_ROUND_TRIP_ERROR) << c.name;
        }
    }
}

}  // namespace
}  // namespace mst
