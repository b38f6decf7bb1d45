#include "core/frame_params.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mst {
namespace {

constexpr int32_t fixed(double v) {
    return static_cast<int32_t>(v * 65536.0);
}

FrameParams build(const RawParamValues& raw, int32_t num = 1, uint32_t den = 1) {
    return buildFrameParams(raw, num, den, nullptr);
}

TEST(FrameParams, AnglesNormaliseIntoOneTurn) {
    struct Case {
        const char* name;
        double offsetDegrees;
        double expectedFraction;
    } cases[] = {
        {"-90 is three quarters", -90, 0.75},
        {"450 is a quarter", 450, 0.25},
        {"360 is zero", 360, 0.0},
        {"0 is zero", 0, 0.0},
    };
    for (const Case& c : cases) {
        RawParamValues raw;
        raw.offset = fixed(c.offsetDegrees);
        EXPECT_EQ(build(raw).offsetFraction, c.expectedFraction) << c.name;
    }
    RawParamValues raw;
    raw.offset = fixed(-360);
    const double minusTurn = build(raw).offsetFraction;
    EXPECT_EQ(minusTurn, 0.0);
    EXPECT_TRUE(std::signbit(minusTurn)) << "fmod(-360, 360) is -0.0, which is not below zero";

    raw.angle = fixed(720);
    EXPECT_EQ(build(raw).stampAngle, 0.0);
    raw.angle = fixed(-45);
    EXPECT_EQ(build(raw).stampAngle, 315.0);
}

TEST(FrameParams, PercentagesDivideThenScale) {
    RawParamValues raw;
    raw.time = fixed(35);
    raw.length = fixed(100);
    raw.inner = 0;
    raw.colorOpacity = fixed(50);
    const FrameParams p = build(raw);
    EXPECT_EQ(p.timeFraction, 0.35000000000000003);
    EXPECT_NE(p.timeFraction, 0.35);
    EXPECT_EQ(p.lengthFraction, 1.0);
    EXPECT_EQ(p.innerFraction, 0.0);
    EXPECT_EQ(p.colorOpacity, 0.5);
}

TEST(FrameParams, ResolutionScalesWidthAndThickness) {
    struct Case {
        const char* name;
        int32_t num;
        uint32_t den;
        int32_t thickness;
        double width;
        int32_t expectedThickness;
        double expectedWidth;
    } cases[] = {
        {"1 at 1/4 truncates to 0, raised to 1", 1, 4, 1, 100, 1, 25.0},
        {"5 at 1/2 truncates 2.5", 1, 2, 5, 100, 2, 50.0},
        {"5 at full resolution", 1, 1, 5, 100, 5, 100.0},
        {"0 stays 0 at 1/2", 1, 2, 0, 100, 0, 50.0},
        {"0 stays 0 at full", 1, 1, 0, 7.5, 0, 7.5},
        {"negative is stored unchanged", 1, 2, -3, 2, -3, 1.0},
        {"no lower bound on width", 1, 8, 2, 2, 1, 0.25},
    };
    for (const Case& c : cases) {
        RawParamValues raw;
        raw.edgeThickness = c.thickness;
        raw.width = c.width;
        const FrameParams p = build(raw, c.num, c.den);
        EXPECT_EQ(p.edgeThickness, c.expectedThickness) << c.name;
        EXPECT_EQ(p.stampWidth, c.expectedWidth) << c.name;
    }
}

TEST(FrameParams, ZeroDenominatorIsFullResolution) {
    RawParamValues raw;
    raw.width = 100;
    raw.edgeThickness = 3;
    const FrameParams p = build(raw, 1, 0);
    EXPECT_EQ(p.downsampleScale, 1.0);
    EXPECT_EQ(p.stampWidth, 100.0);
    EXPECT_EQ(p.edgeThickness, 3);
}

TEST(FrameParams, PlainValuesPassUnchanged) {
    RawParamValues raw;
    raw.path = 77;
    raw.number = 12;
    raw.fixedAngle = 1;
    raw.shape = 3;
    raw.sides = 7;
    raw.edgeMode = 2;
    raw.edgeLightness = 1.2000000476837158;
    raw.edgeColor = {255, 10, 20, 30};
    raw.blendMode = 6;
    raw.background = 2;
    const FrameParams p = build(raw, 3, 4);
    EXPECT_EQ(p.downsampleScale, 0.75);
    EXPECT_EQ(p.pathId, 77u);
    EXPECT_EQ(p.stampCount, 12);
    EXPECT_EQ(p.fixedAngle, 1);
    EXPECT_EQ(p.shape, 3);
    EXPECT_EQ(p.polygonSides, 7);
    EXPECT_EQ(p.edgeMode, 2);
    EXPECT_EQ(p.edgeLightness, 1.2000000476837158);
    EXPECT_EQ(p.edgeColor, (Pixel8{255, 10, 20, 30}));
    EXPECT_EQ(p.blendMode, 6);
    EXPECT_EQ(p.background, 2);
}

TEST(FrameParams, NumberIsHeldToThePanelsLargest) {
    const std::pair<int32_t, int32_t> cases[] = {{10000, 10000},     {10001, 10000},
                                                 {INT32_MAX, 10000}, {0, 0},
                                                 {-4, -4},           {INT32_MIN, INT32_MIN}};
    for (const auto& [number, count] : cases) {
        RawParamValues raw;
        raw.number = number;
        EXPECT_EQ(build(raw, 1, 1).stampCount, count) << "Number " << number;
    }
}

TEST(FrameParams, UsesTheGivenRemainder) {
    // The plug-in passes the host's fmod; the record must come from it.
    RawParamValues raw;
    raw.angle = fixed(90);
    const FrameParams p = buildFrameParams(raw, 1, 1, [](double, double) { return -10.0; });
    EXPECT_EQ(p.stampAngle, 350.0);
}

}  // namespace
}  // namespace mst
