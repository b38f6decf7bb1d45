// A frame driven through the entry point on the stand-in host equals, byte for byte, the
// render core's own render of the same record on its test host.
#include <gtest/gtest.h>

#include "core/render_frame.h"
#include "core/test_host.h"
#include "host/param_ids.h"
#include "host/plugin_data.h"
#include "standin_fixture.h"

namespace mst::test {
namespace {

struct Scene {
    const char* name;
    PixelDepth depth;
    int32_t shape;
    int32_t edgeMode;
    int32_t blendMode;
    int32_t background;
    bool withLayer;
    uint32_t mask;
};

std::string sceneName(const ::testing::TestParamInfo<Scene>& info) {
    return info.param.name;
}

class EndToEnd : public ::testing::TestWithParam<Scene> {};

TEST_P(EndToEnd, EntryPointRenderEqualsTheCoreRender) {
    const Scene s = GetParam();
    auto host = makeStandin(s.depth, 48, 36);
    if (s.withLayer) {
        host->layer = OwnedImage(s.depth, 10, 6);
        fillRamp(*host->layer);
    }
    ASSERT_EQ(host->setUp(), PF_Err_NONE);
    PanelValues v;
    v.path = s.mask;
    v.number = 7;
    v.width = 11.5;
    v.shape = s.shape;
    v.sides = 5;
    v.inner = 30;
    v.edgeThickness = 2;
    v.edgeMode = s.edgeMode;
    v.edgeColor = {255, 200, 40, 90};
    v.blendMode = s.blendMode;
    v.colorOpacity = 70;
    v.background = s.background;
    v.angle = 15;
    applyPanelValues(*host, v);

    OwnedImage viaHost;
    ASSERT_EQ(host->renderFrame(viaHost), PF_Err_NONE);
    EXPECT_EQ(host->held(), "");

    // The same record, straight from a pre-render.
    PF_PreRenderInput input{};
    PF_PreRenderOutput output{};
    PF_PreRenderCallbacks callbacks{[](PF_ProgPtr, int32_t, int32_t, const PF_RenderRequest*,
                                       int32_t, int32_t, uint32_t,
                                       PF_CheckoutResult*) { return PF_Err_NONE; }};
    PF_PreRenderExtra extra{&input, &output, &callbacks};
    ASSERT_EQ(host->smartPreRender(extra), PF_Err_NONE);
    const FrameParams record = static_cast<const PreRenderBlock*>(*output.pre_render_data)->params;
    host->deletePreRenderData(output);

    TestHost core(s.depth, 48, 36);
    core.input = host->input;
    core.params = record;
    core.layer = host->layer;
    const double m = 8.0;
    core.path = s.mask == SQUARE_MASK
                    ? makePolylinePath({{m, m}, {48 - m, m}, {48 - m, 36 - m}, {m, 36 - m}}, true)
                    : makePolylinePath({{2, 3}, {48 - 4.0, 36 - 5.0}}, false);
    ASSERT_EQ(renderFrame(core), PF_Err_NONE);

    EXPECT_NE(viaHost.bytes(), host->input.bytes()) << "the scene draws something";
    EXPECT_EQ(viaHost.bytes(), core.output.bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, EndToEnd,
    ::testing::Values(
        Scene{"Circle8", PixelDepth::Depth8, 1, 1, 5, 1, false, SQUARE_MASK},
        Scene{"Polygon16", PixelDepth::Depth16, 2, 2, 5, 2, false, SQUARE_MASK},
        Scene{"CircleFloatOpen", PixelDepth::DepthFloat, 1, 1, 5, 1, false, OPEN_MASK},
        Scene{"Layer8Overlay", PixelDepth::Depth8, 3, 1, 6, 1, true, SQUARE_MASK},
        Scene{"Layer16Tritone", PixelDepth::Depth16, 3, 1, 2, 2, true, OPEN_MASK},
        Scene{"LayerFloatColorBurn", PixelDepth::DepthFloat, 3, 1, 8, 1, true, SQUARE_MASK},
        Scene{"PolygonFloatLayerChosen", PixelDepth::DepthFloat, 2, 1, 5, 1, true, SQUARE_MASK}),
    sceneName);

}  // namespace
}  // namespace mst::test
