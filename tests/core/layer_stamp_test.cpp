#include "core/layer_stamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/render_frame.h"
#include "pixel/pixel_printing.h"
#include "scene.h"
#include "stamp_dump.h"
#include "standin_host/samplers.h"

namespace mst::test {
namespace {

const char* depthName(PixelDepth depth) {
    return depth == PixelDepth::Depth8    ? "8-bit"
           : depth == PixelDepth::Depth16 ? "16-bit"
                                          : "float";
}

constexpr PixelDepth ALL_DEPTHS[] = {PixelDepth::Depth8, PixelDepth::Depth16,
                                     PixelDepth::DepthFloat};

struct SamplePosition {
    int32_t x, y, radius;
};

// A test host that keeps every area-sample position and box it is asked for.
class SampleRecordingHost : public TestHost {
  public:
    using TestHost::TestHost;
    std::vector<SamplePosition> samples;

    int32_t areaSample(const PixelImage& l, int32_t x, int32_t y, int32_t r, Pixel8& out) override {
        samples.push_back({x, y, r});
        return TestHost::areaSample(l, x, y, r, out);
    }
    int32_t areaSample(const PixelImage& l, int32_t x, int32_t y, int32_t r,
                       Pixel16& out) override {
        samples.push_back({x, y, r});
        return TestHost::areaSample(l, x, y, r, out);
    }
    int32_t areaSample(const PixelImage& l, int32_t x, int32_t y, int32_t r,
                       PixelFloat& out) override {
        samples.push_back({x, y, r});
        return TestHost::areaSample(l, x, y, r, out);
    }
};

// A smooth, half-transparent-at-the-bottom gradient: red across, green down, alpha fading.
Pixel8 smoothPixel(int32_t x, int32_t y, int32_t w, int32_t h) {
    const auto ramp = [](int32_t v, int32_t n) {
        return static_cast<uint8_t>(n > 1 ? v * 255 / (n - 1) : 0);
    };
    return {static_cast<uint8_t>(255 - ramp(y, h) / 2), ramp(x, w), ramp(y, h), 160};
}

OwnedImage smoothLayer(PixelDepth depth, int32_t w, int32_t h) {
    OwnedImage layer(depth, w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const Pixel8 p = smoothPixel(x, y, w, h);
            switch (depth) {
                case PixelDepth::Depth8:
                    layer.at<Pixel8>(x, y) = p;
                    break;
                case PixelDepth::Depth16:
                    layer.at<Pixel16>(x, y) = convert8To16(p);
                    break;
                case PixelDepth::DepthFloat:
                    layer.at<PixelFloat>(x, y) = convert8ToFloat(p);
                    break;
            }
        }
    }
    return layer;
}

struct SampledStamp {
    OwnedImage image;
    std::vector<SamplePosition> samples;
    int32_t err = 0;
};

// Sizes and fills a stamp from `layer` as the driver does, recording each sample.
SampledStamp sampleStamp(OwnedImage& layer, double stampWidth) {
    const MathFunctions& math = standardMath();
    const StampSize size = layerStampSize(stampWidth, layer.width(), layer.height(), math);
    SampledStamp out{OwnedImage(layer.depth(), size.width, size.height), {}, 0};
    std::memset(out.image.data(), 0x5A, out.image.bytes().size());
    const Stamp stamp{out.image.view(), size.width / 2, size.height / 2};
    SampleRecordingHost host(layer.depth(), 1, 1);
    sampleLayerStamp(stamp, layer.view(),
                     makeLayerSampling(stampWidth, layer.width(), layer.height()), host, out.err);
    out.samples = std::move(host.samples);
    return out;
}

// Every stamp pixel holds the sampler's answer at its recorded position, unchanged.
template <class P>
void expectStoredUnchanged(const SampledStamp& s, OwnedImage& layer) {
    int mismatches = 0;
    std::ostringstream first;
    for (int32_t j = 0; j < s.image.height(); ++j) {
        for (int32_t i = 0; i < s.image.width(); ++i) {
            const SamplePosition& at = s.samples[static_cast<size_t>(j * s.image.width() + i)];
            const P want = sampleArea<P>(layer.view(), at.x, at.y, at.radius);
            if (!(s.image.at<P>(i, j) == want) && mismatches++ == 0)
                first << "(" << i << ", " << j << ") is "
                      << ::testing::PrintToString(s.image.at<P>(i, j)) << ", sampler gave "
                      << ::testing::PrintToString(want);
        }
    }
    EXPECT_EQ(mismatches, 0) << depthName(layer.depth()) << "; first " << first.str();
}

void expectStoredUnchanged(const SampledStamp& s, OwnedImage& layer) {
    switch (layer.depth()) {
        case PixelDepth::Depth8:
            expectStoredUnchanged<Pixel8>(s, layer);
            break;
        case PixelDepth::Depth16:
            expectStoredUnchanged<Pixel16>(s, layer);
            break;
        case PixelDepth::DepthFloat:
            expectStoredUnchanged<PixelFloat>(s, layer);
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Size, scale and sample positions

TEST(LayerStampSize, KeepsTheLayersAspectAndIsOdd) {
    struct Case {
        double stampWidth;
        int32_t layerWidth, layerHeight;
        int32_t width, height;
    } cases[] = {
        {50.0, 100, 200, 51, 103},  // 51 x 2 = 102 made odd
        {50.0, 50, 30, 51, 31},     // 30.6 rounded up
        {3.5, 4, 3, 5, 5},          // 3.75 rounded up to 4, made odd
        {100.3, 10, 10, 101, 101},  // ceil(100.3) is already odd
        {20.0, 200, 1, 21, 1},      // a one-row layer
        {-50.0, 100, 200, 1, 3},    // a damaged negative Width: one pixel wide
    };
    for (const Case& c : cases) {
        const StampSize s =
            layerStampSize(c.stampWidth, c.layerWidth, c.layerHeight, standardMath());
        EXPECT_TRUE(s.width == c.width && s.height == c.height)
            << "width " << c.stampWidth << ", layer " << c.layerWidth << " x " << c.layerHeight
            << " gave " << s.width << " x " << s.height;
    }
}

TEST(LayerStampSize, IsNeverEven) {
    for (int32_t lw : {1, 2, 3, 7, 64, 99}) {
        for (int32_t lh : {1, 2, 5, 8, 77, 300}) {
            for (double width = 0.3; width < 30.0; width += 0.55) {
                const StampSize s = layerStampSize(width, lw, lh, standardMath());
                EXPECT_TRUE(s.width % 2 == 1 && s.height % 2 == 1)
                    << "width " << width << ", layer " << lw << " x " << lh << " gave " << s.width
                    << " x " << s.height;
            }
        }
    }
}

TEST(LayerSampling, ScaleRadiusAndCentre) {
    struct Case {
        double stampWidth;
        int32_t layerWidth, layerHeight;
        double scale;
        int32_t radius;
        double cx, cy;
    } cases[] = {
        {50.0, 100, 200, 2.0, 65536, 50.0, 100.0},
        {50.0, 50, 30, 1.0, 32768, 25.0, 15.0},
        {3.5, 4, 3, 4 / 3.5, 37449, 2.0, 1.5},
        {40.0, 10, 7, 0.25, 8192, 5.0, 3.5},  // a narrower layer is enlarged
    };
    for (const Case& c : cases) {
        const LayerSampling s = makeLayerSampling(c.stampWidth, c.layerWidth, c.layerHeight);
        EXPECT_TRUE(s.layerScale == c.scale && s.sampleRadius == c.radius && s.centerX == c.cx &&
                    s.centerY == c.cy)
            << "width " << c.stampWidth << ", layer " << c.layerWidth << " x " << c.layerHeight
            << " gave scale " << s.layerScale << ", radius " << s.sampleRadius << ", centre ("
            << s.centerX << ", " << s.centerY << ")";
    }
}

// Layer 100 x 200 at width 50: scale 2, so stamp pixel (i, j) samples at layer position
// (2i + 1, 2j - 1), row by row, with a box of one layer pixel each way.
TEST(LayerStamp, SamplesATallLayerAtTheWorkedPositions) {
    for (PixelDepth depth : ALL_DEPTHS) {
        OwnedImage layer = smoothLayer(depth, 100, 200);
        const SampledStamp s = sampleStamp(layer, 50.0);
        ASSERT_EQ(s.err, 0);
        ASSERT_EQ(s.image.width(), 51);
        ASSERT_EQ(s.image.height(), 103);
        ASSERT_EQ(s.samples.size(), size_t{51 * 103}) << depthName(depth);
        const auto at = [&](int32_t i, int32_t j) {
            return s.samples[static_cast<size_t>(j * 51 + i)];
        };
        const struct {
            int32_t i, j, x, y;
        } pins[] = {
            {25, 51, 3342336, 6619136},    // the centre: (51.0, 101.0)
            {0, 0, 65536, -65536},         // (1.0, -1.0)
            {50, 102, 6619136, 13303808},  // (101.0, 203.0)
        };
        for (const auto& p : pins) {
            EXPECT_TRUE(at(p.i, p.j).x == p.x && at(p.i, p.j).y == p.y)
                << depthName(depth) << ", stamp pixel (" << p.i << ", " << p.j << ") sampled at ("
                << at(p.i, p.j).x << ", " << at(p.i, p.j).y << ")";
        }
        int wrong = 0;
        for (int32_t j = 0; j < 103; ++j)
            for (int32_t i = 0; i < 51; ++i)
                wrong += at(i, j).x != (2 * i + 1) * 65536 || at(i, j).y != (2 * j - 1) * 65536 ||
                         at(i, j).radius != 65536;
        EXPECT_EQ(wrong, 0) << depthName(depth) << ": samples off the grid or out of order";
        expectStoredUnchanged(s, layer);
    }
}

// A non-integer scale: positions rounded to 16.16 half away from zero, also above the layer
// (a negative position). Layer 4 x 3 at width 3.5: scale 8/7, stamp 5 x 5, centre (2, 1.5).
TEST(LayerStamp, RoundsFractionalPositionsToFixedPoint) {
    OwnedImage layer = smoothLayer(PixelDepth::Depth16, 4, 3);
    const SampledStamp s = sampleStamp(layer, 3.5);
    ASSERT_EQ(s.samples.size(), size_t{25});
    const struct {
        int32_t i, j, x, y;
    } pins[] = {
        {0, 0, 18725, -14043},   // (0.285714..., -0.214285...)
        {2, 2, 168521, 135753},  // (2.571428..., 2.071428...)
    };
    for (const auto& p : pins) {
        const SamplePosition& at = s.samples[static_cast<size_t>(p.j * 5 + p.i)];
        EXPECT_TRUE(at.x == p.x && at.y == p.y && at.radius == 37449)
            << "stamp pixel (" << p.i << ", " << p.j << ") sampled at (" << at.x << ", " << at.y
            << ") radius " << at.radius;
    }
}

// A layer exactly as wide as the stamp: one layer pixel per stamp pixel, sampled at its centre
// with a box of exactly that pixel, so the stamp is the layer itself, and the spare column and
// row beyond it are the sampler's transparent black.
TEST(LayerStamp, ALayerAsWideAsTheStampIsCopiedPixelForPixel) {
    for (PixelDepth depth : ALL_DEPTHS) {
        OwnedImage layer = smoothLayer(depth, 50, 30);
        const SampledStamp s = sampleStamp(layer, 50.0);
        ASSERT_EQ(s.image.width(), 51);
        ASSERT_EQ(s.image.height(), 31);
        ASSERT_FALSE(s.samples.empty());
        EXPECT_EQ(s.samples.front().radius, 32768);
        EXPECT_TRUE(s.samples.front().x == 32768 && s.samples.front().y == 32768)
            << "first sample at (" << s.samples.front().x << ", " << s.samples.front().y << ")";
        const size_t px = static_cast<size_t>(pixelSize(depth));
        int wrong = 0;
        for (int32_t j = 0; j < 31; ++j) {
            for (int32_t i = 0; i < 51; ++i) {
                const std::byte* got = s.image.bytes().data() +
                                       (static_cast<size_t>(j) * 51 + static_cast<size_t>(i)) * px;
                std::vector<std::byte> want(px, std::byte{0});
                if (i < 50 && j < 30)
                    std::memcpy(want.data(),
                                layer.bytes().data() +
                                    (static_cast<size_t>(j) * 50 + static_cast<size_t>(i)) * px,
                                px);
                wrong += std::memcmp(got, want.data(), px) != 0;
            }
        }
        EXPECT_EQ(wrong, 0) << depthName(depth) << ": pixels differing from the layer";
    }
}

// ---------------------------------------------------------------------------------------------
// Through the frame driver

bool sameBytes(const OwnedImage& a, const OwnedImage& b) {
    return a.bytes() == b.bytes();
}

std::unique_ptr<TestHost> sceneWith(PixelDepth depth, int32_t shape, bool withLayer,
                                    double width = 9.0, int32_t edge = 1,
                                    int32_t innerPercent = 0) {
    RawParamValues raw = defaultRaw();
    raw.shape = shape;
    raw.width = width;
    raw.edgeThickness = edge;
    raw.inner = fixed(innerPercent);
    auto host = makeSceneHost(depth, 64, 48, raw);
    if (withLayer)
        host->layer = smoothLayer(depth, 80, 50);
    return host;
}

TEST(LayerStampFrame, EdgeAndInnerDoNotChangeALayerStamp) {
    for (PixelDepth depth : ALL_DEPTHS) {
        auto plain = sceneWith(depth, 3, true, 60.0, 0, 0);
        ASSERT_EQ(renderFrame(*plain), 0) << depthName(depth);
        ASSERT_TRUE(plain->lastStamp.has_value());
        const StampSize size = layerStampSize(60.0, 80, 50, standardMath());
        EXPECT_TRUE(plain->lastStamp->width() == size.width &&
                    plain->lastStamp->height() == size.height)
            << depthName(depth) << " stamp is " << plain->lastStamp->width() << " x "
            << plain->lastStamp->height();
        EXPECT_EQ(plain->callCount(Op::AreaSample), size.width * size.height) << depthName(depth);
        dumpStampIfAsked("layer", *plain->lastStamp);

        const struct {
            int32_t edge, innerPercent;
        } variants[] = {{1, 0}, {5, 60}, {0, 100}, {12, 100}};
        for (const auto& v : variants) {
            auto host = sceneWith(depth, 3, true, 60.0, v.edge, v.innerPercent);
            ASSERT_EQ(renderFrame(*host), 0);
            ASSERT_TRUE(host->lastStamp.has_value());
            EXPECT_TRUE(sameBytes(*host->lastStamp, *plain->lastStamp) &&
                        host->lastStamp->width() == plain->lastStamp->width())
                << depthName(depth) << ", edge " << v.edge << ", inner " << v.innerPercent
                << " %: the stamp changed";
            EXPECT_TRUE(sameBytes(host->output, plain->output))
                << depthName(depth) << ", edge " << v.edge << ", inner " << v.innerPercent
                << " %: the frame changed";
        }
    }
}

TEST(LayerStampFrame, ASampleFailureEndsTheFrameAndStillDisposesTheStamp) {
    for (PixelDepth depth : ALL_DEPTHS) {
        auto host = sceneWith(depth, 3, true);
        host->failOn(Op::AreaSample, 77, 5);
        EXPECT_EQ(renderFrame(*host), 77) << depthName(depth);
        EXPECT_EQ(host->callCount(Op::AreaSample), 5) << depthName(depth);
        EXPECT_EQ(host->callCount(Op::CheckinLayer), 1) << depthName(depth);
        EXPECT_EQ(host->callCount(Op::DisposeStamp), 1) << depthName(depth);
        EXPECT_EQ(host->callCount(Op::CheckoutPath), 0) << depthName(depth);
        EXPECT_EQ(host->callCount(Op::SubpixelSample), 0) << depthName(depth);
        EXPECT_TRUE(sameBytes(host->output, host->input)) << depthName(depth);
        EXPECT_EQ(host->held(), "") << depthName(depth);
    }
}

TEST(LayerStampFrame, LayerShapeWithoutALayerDrawsTheCircle) {
    for (PixelDepth depth : ALL_DEPTHS) {
        for (int32_t edge : {0, 2}) {
            auto layerShape = sceneWith(depth, 3, false, 9.0, edge, 30);
            auto circle = sceneWith(depth, 1, false, 9.0, edge, 30);
            ASSERT_EQ(renderFrame(*layerShape), 0);
            ASSERT_EQ(renderFrame(*circle), 0);
            EXPECT_FALSE(sameBytes(circle->output, circle->input)) << "nothing was drawn";
            EXPECT_EQ(layerShape->callCount(Op::CheckoutLayer), 1);
            EXPECT_EQ(layerShape->callCount(Op::AreaSample), 0);
            EXPECT_TRUE(sameBytes(layerShape->output, circle->output))
                << depthName(depth) << ", edge " << edge;
            ASSERT_TRUE(layerShape->lastStamp && circle->lastStamp);
            EXPECT_TRUE(sameBytes(*layerShape->lastStamp, *circle->lastStamp) &&
                        layerShape->lastStamp->width() == circle->lastStamp->width())
                << depthName(depth) << ", edge " << edge;
            EXPECT_EQ(layerShape->held(), "");
        }
    }
}

TEST(LayerStampFrame, ACircleOrPolygonIgnoresAChosenLayer) {
    for (PixelDepth depth : ALL_DEPTHS) {
        for (int32_t shape : {1, 2}) {
            auto withLayer = sceneWith(depth, shape, true);
            auto without = sceneWith(depth, shape, false);
            ASSERT_EQ(renderFrame(*withLayer), 0);
            ASSERT_EQ(renderFrame(*without), 0);
            EXPECT_EQ(withLayer->callCount(Op::CheckoutLayer), 1);
            EXPECT_EQ(withLayer->callCount(Op::CheckinLayer), 1);
            EXPECT_EQ(withLayer->callCount(Op::AreaSample), 0);
            EXPECT_TRUE(sameBytes(withLayer->output, without->output))
                << depthName(depth) << ", shape " << shape;
            EXPECT_EQ(withLayer->held(), "");
        }
    }
}

}  // namespace
}  // namespace mst::test
