#include "host/smart_pre_render.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/frame_params.h"
#include "host/param_ids.h"
#include "host/plugin_data.h"
#include "standin_fixture.h"

namespace mst::test {
namespace {

bool operator==(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(UnionRect, Cases) {
    struct Case {
        const char* name;
        PF_LRect source, target, expected;
    } cases[] = {
        {"empty target takes the source", {10, 20, 110, 220}, {0, 0, 0, 0}, {10, 20, 110, 220}},
        {"bounding rectangle", {50, 50, 200, 150}, {0, 0, 100, 100}, {0, 0, 200, 150}},
        {"empty source changes nothing", {5, 5, 5, 50}, {0, 0, 100, 100}, {0, 0, 100, 100}},
        {"two empties: the source's", {3, 4, 1, 2}, {0, 0, 0, 0}, {3, 4, 1, 2}},
    };
    for (Case c : cases) {
        unionRect(c.source, c.target);
        EXPECT_TRUE(c.target == c.expected) << c.name;
    }
}

struct PreRender {
    PF_PreRenderInput input{};
    PF_PreRenderOutput output{};
    PF_PreRenderCallbacks callbacks{};
    PF_PreRenderExtra extra{&input, &output, &callbacks};
};

// The stand-in's own pre-render callbacks come with renderFrame; here the test supplies a
// layer check-out that records the request.
PF_RenderRequest gRequest;
PF_Err recordingCheckout(PF_ProgPtr, int32_t index, int32_t id, const PF_RenderRequest* req,
                         int32_t, int32_t, uint32_t, PF_CheckoutResult* result) {
    EXPECT_EQ(index, 0);
    EXPECT_EQ(id, 0);
    gRequest = *req;
    result->result_rect = {10, 20, 110, 220};
    result->max_result_rect = {0, 0, 300, 300};
    return PF_Err_NONE;
}

TEST(SmartPreRender, BuildsTheRecordAndWidensTheExtent) {
    auto host = makeStandin();
    ASSERT_EQ(host->setUp(), PF_Err_NONE);
    host->param(PATH).u.path_d.path_id = SQUARE_MASK;
    host->param(TIME).u.fd.value = 35 * 65536;
    host->param(WIDTH).u.fs_d.value = 100;
    host->downsample = {1, 2};
    PreRender pr;
    pr.callbacks.checkout_layer = recordingCheckout;
    pr.input.output_request.rect = {1, 2, 3, 4};
    pr.input.output_request.field = 5;
    pr.input.output_request.channel_mask = 6;
    pr.input.output_request.reserved[2] = 7;
    pr.output.result_rect = {0, 0, 0, 0};
    pr.output.max_result_rect = {0, 0, 100, 100};

    host->checkedOutParams.clear();
    ASSERT_EQ(host->smartPreRender(pr.extra), PF_Err_NONE);
    const std::vector<int32_t> order = {1,  2,  19, 6, 7,  8,  3,  9,  11,
                                        13, 10, 5,  4, 15, 12, 18, 17, 14};
    EXPECT_EQ(host->checkedOutParams, order);

    EXPECT_EQ(gRequest.preserve_rgb_of_zero_alpha, 1);
    EXPECT_TRUE(gRequest.rect == pr.input.output_request.rect);
    EXPECT_EQ(gRequest.field, 5);
    EXPECT_EQ(gRequest.channel_mask, 6u);
    EXPECT_EQ(gRequest.reserved[2], 7);

    EXPECT_TRUE(pr.output.result_rect == (PF_LRect{10, 20, 110, 220}));
    EXPECT_TRUE(pr.output.max_result_rect == (PF_LRect{0, 0, 300, 300}));
    ASSERT_NE(pr.output.pre_render_data, nullptr);
    ASSERT_NE(pr.output.delete_pre_render_data_func, nullptr);
    const FrameParams& p = static_cast<const PreRenderBlock*>(*pr.output.pre_render_data)->params;
    EXPECT_EQ(p.pathId, SQUARE_MASK);
    EXPECT_EQ(p.timeFraction, 0.35000000000000003);
    EXPECT_EQ(p.stampWidth, 50.0);
    EXPECT_EQ(p.edgeLightness, 1.2000000476837158);
    EXPECT_EQ(p.blendMode, 5);

    host->deletePreRenderData(pr.output);
    EXPECT_EQ(host->held(), "");
    EXPECT_EQ(host->liveHandles(), 2u) << "only the global and sequence blocks remain";
}

TEST(SmartPreRender, AFailingCheckoutStopsTheSeries) {
    auto host = makeStandin();
    ASSERT_EQ(host->setUp(), PF_Err_NONE);
    // Calls: suite, new handle, lock, then one per parameter: Width is the fourth.
    host->resetCallCount();
    host->failCall(7, 66);
    PreRender pr;
    pr.callbacks.checkout_layer = recordingCheckout;
    pr.output.result_rect = {0, 0, 9, 9};
    host->checkedOutParams.clear();
    gRequest = {};
    EXPECT_EQ(host->smartPreRender(pr.extra), 66);
    EXPECT_EQ(host->checkedOutParams, (std::vector<int32_t>{1, 2, 19}));
    EXPECT_EQ(gRequest.preserve_rgb_of_zero_alpha, 0) << "the layer is not checked out";
    EXPECT_TRUE(pr.output.result_rect == (PF_LRect{0, 0, 9, 9}));
    // The unfilled record reads as nothing to draw, and the host can still free it.
    ASSERT_NE(pr.output.pre_render_data, nullptr);
    const FrameParams& p = static_cast<const PreRenderBlock*>(*pr.output.pre_render_data)->params;
    EXPECT_EQ(p.pathId, 0u);
    host->deletePreRenderData(pr.output);
    EXPECT_EQ(host->held(), "");
}

TEST(SmartPreRender, HandleFailuresAreOutOfMemoryAndLeaveNothing) {
    for (int64_t call : {2, 3}) {
        auto host = makeStandin();
        ASSERT_EQ(host->setUp(), PF_Err_NONE);
        host->resetCallCount();
        host->failCall(call);
        PreRender pr;
        pr.callbacks.checkout_layer = recordingCheckout;
        EXPECT_EQ(host->smartPreRender(pr.extra), PF_Err_OUT_OF_MEMORY) << call;
        EXPECT_EQ(pr.output.pre_render_data, nullptr) << call;
        EXPECT_EQ(host->liveHandles(), 2u) << call;
        EXPECT_EQ(host->held(), "") << call;
    }
}

TEST(SmartPreRender, AThousandFramesLeaveNoHandleBehind) {
    auto host = makeStandin(PixelDepth::Depth8, 24, 16);
    ASSERT_EQ(host->setUp(), PF_Err_NONE);
    host->param(PATH).u.path_d.path_id = SQUARE_MASK;
    host->param(WIDTH).u.fs_d.value = 5;
    OwnedImage output;
    for (int frame = 0; frame < 1000; ++frame) {
        host->param(TIME).u.fd.value = (frame % 99 + 1) * 65536;
        ASSERT_EQ(host->renderFrame(output), PF_Err_NONE) << frame;
    }
    EXPECT_EQ(host->liveHandles(), 2u);
    EXPECT_EQ(host->held(), "");
}

}  // namespace
}  // namespace mst::test
