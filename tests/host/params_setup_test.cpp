#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/param_ids.h"
#include "standin_fixture.h"

namespace mst::test {
namespace {

// Every byte of a declaration not named by its kind must be zero: compare against a cleared
// record with only the expected fields set.
PF_ParamDef cleared(PF_ParamType type, int32_t id, const char* name) {
    PF_ParamDef d;
    std::memset(&d, 0, sizeof d);
    d.param_type = type;
    d.id = id;
    std::strcpy(d.name, name);
    return d;
}

PF_ParamDef slider(int32_t id, const char* name, int32_t vmin, int32_t vmax, int32_t smin,
                   int32_t smax, int32_t dflt) {
    PF_ParamDef d = cleared(PF_Param_SLIDER, id, name);
    d.u.sd = {};
    d.u.sd.valid_min = vmin;
    d.u.sd.valid_max = vmax;
    d.u.sd.slider_min = smin;
    d.u.sd.slider_max = smax;
    d.u.sd.value = d.u.sd.dephault = dflt;
    return d;
}
PF_ParamDef percent(int32_t id, const char* name, int32_t dflt) {
    PF_ParamDef d = cleared(PF_Param_FIX_SLIDER, id, name);
    d.u.fd.valid_max = d.u.fd.slider_max = 0x640000;
    d.u.fd.value = d.u.fd.dephault = dflt * 65536;
    d.u.fd.precision = 1;
    d.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    return d;
}
PF_ParamDef floatSlider(int32_t id, const char* name, float vmin, float vmax, float smin,
                        float smax, float dflt) {
    PF_ParamDef d = cleared(PF_Param_FLOAT_SLIDER, id, name);
    d.u.fs_d.valid_min = vmin;
    d.u.fs_d.valid_max = vmax;
    d.u.fs_d.slider_min = smin;
    d.u.fs_d.slider_max = smax;
    d.u.fs_d.value = dflt;
    d.u.fs_d.dephault = dflt;
    d.u.fs_d.precision = 2;
    d.u.fs_d.curve_tolerance = 0.05f;
    return d;
}
PF_ParamDef popup(int32_t id, const char* name, int16_t n, int16_t dflt) {
    PF_ParamDef d = cleared(PF_Param_POPUP, id, name);
    d.u.pd.num_choices = n;
    d.u.pd.dephault = dflt;
    d.u.pd.value = dflt;
    return d;
}

TEST(ParamsSetup, DeclaresTheNineteenParametersExactly) {
    auto host = makeStandin();
    ASSERT_EQ(host->command(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->outData().num_params, 20);
    ASSERT_EQ(host->declared.size(), 19u);

    PF_ParamDef checkbox = cleared(PF_Param_CHECKBOX, FIXED_ANGLE, "Fixed Angle");
    PF_ParamDef color = cleared(PF_Param_COLOR, EDGE_COLOR, "Edge Color");
    color.u.cd.value = color.u.cd.dephault = PF_Pixel8{255, 255, 255, 255};
    PF_ParamDef layer = cleared(PF_Param_LAYER, LAYER, "Layer");
    layer.u.ld.dephault = PF_LayerDefault_NONE;
    const PF_ParamDef expected[] = {
        cleared(PF_Param_PATH, PATH, "Path"),
        cleared(PF_Param_ANGLE, OFFSET, "Offset"),
        slider(NUMBER, "Number", 0, 10000, 0, 20, 5),
        percent(LENGTH, "Length", 100),
        percent(TIME, "Time", 50),
        floatSlider(WIDTH, "Width", 2, 2000, 2, 100, 100),
        cleared(PF_Param_ANGLE, ANGLE, "Angle"),
        checkbox,
        popup(SHAPE, "Shape", 3, 1),
        percent(INNER, "Inner", 0),
        slider(N_SIDES, "n Sides", 3, 18, 3, 8, 4),
        slider(EDGE_THICKNESS, "Edge Thickness", 0, 1000, 0, 5, 1),
        popup(EDGE_MODE, "Edge Mode", 2, 1),
        floatSlider(EDGE_LIGHTNESS, "Edge Lightness", 0, 5, 0, 2, 1.2f),
        color,
        layer,
        popup(COLOR_BLEND_MODE, "Color Blend Mode", 8, 5),
        percent(COLOR_OPACITY, "Color Opacity", 100),
        popup(BACKGROUND, "Background", 2, 2),
    };
    const char* texts[20] = {};
    texts[SHAPE] = "Circle|Polygon|Layer";
    texts[EDGE_MODE] = "Lightness|Color";
    texts[COLOR_BLEND_MODE] = "Normal|Tritone|Add|Multiply|Screen|Overlay|Color Dodge|Color Burn";
    texts[BACKGROUND] = "On Original|On Transparent";

    for (size_t i = 0; i < 19; ++i) {
        PF_ParamDef got = host->declared[i];
        SCOPED_TRACE(got.name);
        // Pointers to the texts are compared by content, then set aside for the byte check.
        if (got.param_type == PF_Param_POPUP) {
            ASSERT_NE(got.u.pd.namesptr, nullptr);
            EXPECT_STREQ(got.u.pd.namesptr, texts[got.id]);
            got.u.pd.namesptr = nullptr;
        }
        if (got.param_type == PF_Param_CHECKBOX) {
            ASSERT_NE(got.u.bd.nameptr, nullptr);
            EXPECT_STREQ(got.u.bd.nameptr, "");
            got.u.bd.nameptr = nullptr;
        }
        EXPECT_EQ(std::memcmp(&got, &expected[i], sizeof got), 0);
        EXPECT_EQ(got.id, static_cast<int32_t>(i + 1));
    }
    EXPECT_EQ(host->declared[EDGE_LIGHTNESS - 1].u.fs_d.value, 1.2000000476837158);
}

TEST(ParamsSetup, ARefusalEndsTheDeclarationsWithItsCode) {
    struct Case {
        const char* name;
        int64_t failingCall;  // add_param calls are the command's only host calls
        size_t declaredBefore;
    } cases[] = {
        {"Path refused", 1, 0},
        {"Number refused", 3, 2},
        {"Background refused", 19, 18},
    };
    for (const Case& c : cases) {
        auto host = makeStandin();
        host->outData().num_params = 0;
        host->failCall(c.failingCall, 33);
        EXPECT_EQ(host->command(PF_Cmd_PARAMS_SETUP), 33) << c.name;
        EXPECT_EQ(host->callCount(), c.failingCall) << c.name;
        EXPECT_EQ(host->declared.size(), c.declaredBefore) << c.name;
        EXPECT_EQ(host->outData().num_params, 0) << c.name;
    }
}

}  // namespace
}  // namespace mst::test
