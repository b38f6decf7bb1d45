#include "core/render_frame.h"

#include <gtest/gtest.h>

#include <cstring>

#include "scene.h"

namespace mst::test {
namespace {

bool sameBytes(const OwnedImage& a, const OwnedImage& b) {
    return a.bytes() == b.bytes();
}

bool allZero(const OwnedImage& image) {
    for (std::byte b : image.bytes())
        if (b != std::byte{0})
            return false;
    return true;
}

void fillMarker(OwnedImage& image) {
    std::memset(image.data(), 0x5A, image.bytes().size());
}

TEST(RenderFrame, OnOriginalCopiesTheInputBeforeDrawing) {
    auto host = makeSceneHost(PixelDepth::Depth8, 40, 30);
    host->params.timeFraction = 1.0;  // nothing drawn: the background alone
    EXPECT_EQ(renderFrame(*host), 0);
    EXPECT_TRUE(sameBytes(host->output, host->input));
    EXPECT_EQ(host->callCount(Op::Copy), 1);
    EXPECT_EQ(host->callCount(Op::Clear), 0);
    EXPECT_EQ(host->held(), "");
}

TEST(RenderFrame, OnTransparentClearsTheOutput) {
    auto host = makeSceneHost(PixelDepth::DepthFloat, 40, 30);
    host->params.background = static_cast<int32_t>(BackgroundMode::OnTransparent);
    host->params.stampCount = 0;
    fillMarker(host->output);
    EXPECT_EQ(renderFrame(*host), 0);
    EXPECT_TRUE(allZero(host->output));
    EXPECT_EQ(host->held(), "");
}

TEST(RenderFrame, NothingToDrawLeavesTheBackgroundAndTouchesNoPath) {
    struct Case {
        const char* name;
        void (*change)(FrameParams&);
    } cases[] = {
        {"Time exactly 0", [](FrameParams& p) { p.timeFraction = 0.0; }},
        {"Time exactly 100 %", [](FrameParams& p) { p.timeFraction = 1.0; }},
        {"Number 0", [](FrameParams& p) { p.stampCount = 0; }},
        {"negative Number", [](FrameParams& p) { p.stampCount = -4; }},
        {"no path", [](FrameParams& p) { p.pathId = 0; }},
    };
    for (const Case& c : cases) {
        auto host = makeSceneHost(PixelDepth::Depth16, 40, 30);
        c.change(host->params);
        EXPECT_EQ(renderFrame(*host), 0) << c.name;
        EXPECT_TRUE(sameBytes(host->output, host->input)) << c.name;
        EXPECT_EQ(host->callCount(Op::CheckoutLayer), 0) << c.name;
        EXPECT_EQ(host->callCount(Op::CheckoutPath), 0) << c.name;
        EXPECT_EQ(host->callCount(Op::ReleaseWorld), 1) << c.name;
        EXPECT_EQ(host->held(), "") << c.name;
    }
}

TEST(RenderFrame, DrawsStampsOverTheBackground) {
    auto host = makeSceneHost(PixelDepth::Depth8, 40, 30);
    EXPECT_EQ(renderFrame(*host), 0);
    EXPECT_FALSE(sameBytes(host->output, host->input));
    EXPECT_EQ(host->callCount(Op::Copy), 1);
    EXPECT_EQ(host->calls.front(), Op::FrameParams);
    EXPECT_EQ(host->held(), "");
}

TEST(RenderFrame, UnknownPixelFormatIs516WithTheOutputUntouched) {
    auto host = makeSceneHost(PixelDepth::Depth8, 20, 10);
    host->formatCode = 0x12345678;
    fillMarker(host->output);
    const OwnedImage before = host->output;
    EXPECT_EQ(renderFrame(*host), ERR_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(sameBytes(host->output, before));
    EXPECT_EQ(host->held(), "");
}

TEST(RenderFrame, MissingRecordIs516AndNothingElseHappens) {
    auto host = makeSceneHost(PixelDepth::Depth8, 20, 10);
    host->hasParams = false;
    EXPECT_EQ(renderFrame(*host), ERR_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host->calls.size(), 1u);
}

TEST(RenderFrame, OutputThatDoesNotFitIsASurfaceMismatch) {
    struct Case {
        const char* name;
        int32_t outWidth, outHeight;
        int32_t expected;
    } cases[] = {
        {"one row taller", 20, 11, ERR_SURFACE_MISMATCH},
        {"one row shorter", 20, 9, ERR_SURFACE_MISMATCH},
        {"rows one pixel short", 19, 10, ERR_SURFACE_MISMATCH},
        {"longer rows are fine", 25, 10, 0},
    };
    for (const Case& c : cases) {
        auto host = makeSceneHost(PixelDepth::Depth16, 20, 10);
        host->output = OwnedImage(PixelDepth::Depth16, c.outWidth, c.outHeight);
        fillMarker(host->output);
        const OwnedImage before = host->output;
        EXPECT_EQ(renderFrame(*host), c.expected) << c.name;
        if (c.expected != 0) {
            EXPECT_TRUE(sameBytes(host->output, before)) << c.name;
        }
        EXPECT_EQ(host->held(), "") << c.name;
    }
}

TEST(RenderFrame, CancelAtThePollKeepsTheBackgroundAndChecksTheLayerIn) {
    auto host = makeSceneHost(PixelDepth::Depth8, 40, 30);
    host->layer = OwnedImage(PixelDepth::Depth8, 4, 4);
    host->abortCode = 1234;
    EXPECT_EQ(renderFrame(*host), 1234);
    EXPECT_TRUE(sameBytes(host->output, host->input));
    EXPECT_EQ(host->callCount(Op::CheckinLayer), 1);
    EXPECT_EQ(host->callCount(Op::CreateStamp), 0);
    EXPECT_EQ(host->held(), "");
}

// Every operation of a drawing frame, failed in turn: the frame returns the code the failure
// should produce and gives back everything it held.
struct FailureCase {
    Op op;
    int32_t expected;  // for an injected code of 77
};

class RenderFrameFailure : public ::testing::TestWithParam<FailureCase> {};

std::unique_ptr<TestHost> layerScene() {
    RawParamValues raw = defaultRaw();
    raw.shape = 3;
    auto host = makeSceneHost(PixelDepth::Depth8, 40, 30, raw);
    host->layer = OwnedImage(PixelDepth::Depth8, 6, 4);
    fillGradient(*host->layer);
    return host;
}

TEST_P(RenderFrameFailure, ReturnsItsCodeAndReleasesEverything) {
    const FailureCase c = GetParam();
    // Shape stamps exercise the colour service; the layer scene the area sampler.
    for (bool withLayer : {false, true}) {
        auto host = withLayer ? layerScene() : makeSceneHost(PixelDepth::Depth8, 40, 30);
        host->failOn(c.op, 77);
        const int32_t rc = renderFrame(*host);
        if (host->callCount(c.op) == 0)
            continue;  // this scene never makes the call
        EXPECT_EQ(rc, c.expected) << opName(c.op) << (withLayer ? " (layer)" : "");
        EXPECT_EQ(host->held(), "") << opName(c.op) << (withLayer ? " (layer)" : "");
    }
}

TEST_P(RenderFrameFailure, AThrownCodeStillReleasesEverything) {
    const FailureCase c = GetParam();
    for (bool withLayer : {false, true}) {
        auto host = withLayer ? layerScene() : makeSceneHost(PixelDepth::Depth16, 40, 30);
        host->throwOn(c.op, ERR_BAD_CALLBACK_PARAM);
        try {
            renderFrame(*host);
        } catch (int32_t code) {
            EXPECT_EQ(code, ERR_BAD_CALLBACK_PARAM);
        }
        EXPECT_EQ(host->held(), "") << opName(c.op) << (withLayer ? " (layer)" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryOperation, RenderFrameFailure,
    ::testing::Values(FailureCase{Op::FrameParams, ERR_BAD_CALLBACK_PARAM},
                      FailureCase{Op::CheckoutInput, ERR_BAD_CALLBACK_PARAM},
                      FailureCase{Op::CheckoutOutput, ERR_BAD_CALLBACK_PARAM},
                      FailureCase{Op::AcquireWorld, ERR_BAD_CALLBACK_PARAM},
                      FailureCase{Op::PixelFormat, ERR_BAD_CALLBACK_PARAM},
                      FailureCase{Op::Copy, 77}, FailureCase{Op::CheckoutLayer, 77},
                      FailureCase{Op::PollAbort, 77}, FailureCase{Op::CreateStamp, 77},
                      FailureCase{Op::AreaSample, 77}, FailureCase{Op::CheckinLayer, 0},
                      FailureCase{Op::CheckoutPath, 77}, FailureCase{Op::PathIsOpen, 77},
                      FailureCase{Op::PathSegmentCount, 77}, FailureCase{Op::PathPrepare, 77},
                      FailureCase{Op::PathLength, 77}, FailureCase{Op::PathEvaluate, 77},
                      FailureCase{Op::PathRelease, 77}, FailureCase{Op::AcquireColor, 77},
                      FailureCase{Op::RgbToHls, 77}, FailureCase{Op::HlsToRgb, 77},
                      FailureCase{Op::SubpixelSample, 77}, FailureCase{Op::Progress, 77},
                      FailureCase{Op::ReleaseColor, 77}, FailureCase{Op::DisposeStamp, 77},
                      FailureCase{Op::CheckinPath, 77}, FailureCase{Op::ReleaseWorld, 77}),
    [](const auto& info) { return std::string(opName(info.param.op)); });

TEST(RenderFrame, FailedClearEndsTheFrameWithItsCode) {
    auto host = makeSceneHost(PixelDepth::Depth8, 40, 30);
    host->params.background = static_cast<int32_t>(BackgroundMode::OnTransparent);
    host->failOn(Op::Clear, 91);
    EXPECT_EQ(renderFrame(*host), 91);
    EXPECT_EQ(host->callCount(Op::CheckoutPath), 0);
    EXPECT_EQ(host->held(), "");
}

}  // namespace
}  // namespace mst::test
