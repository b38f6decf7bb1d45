// Declares the effect's 19 parameters, in index order.
#include <cstring>

#include "core/frame_params.h"
#include "host/entry_point.h"
#include "host/param_ids.h"

namespace mst {
namespace {

constexpr PF_Fixed fixedOf(int32_t v) {
    return v * 65536;
}

class Declarer {
  public:
    explicit Declarer(PF_InData* in) : in_(in) {}

    PF_ParamDef& begin() {
        std::memset(&def_, 0, sizeof def_);
        return def_;
    }
    PF_Err add(ParamId id, PF_ParamType type, const char* name) {
        def_.param_type = type;
        def_.id = id;
        in_->utils->ansi.strcpy(def_.name, name);
        return in_->inter.add_param(in_->effect_ref, -1, &def_);
    }
    void clear() { std::memset(&def_, 0, sizeof def_); }

    PF_Err slider(ParamId id, const char* name, int32_t validMin, int32_t validMax,
                  int32_t sliderMin, int32_t sliderMax, int32_t dflt) {
        PF_SliderDef& s = begin().u.sd;
        s.valid_min = validMin;
        s.valid_max = validMax;
        s.slider_min = sliderMin;
        s.slider_max = sliderMax;
        s.value = s.dephault = dflt;
        return add(id, PF_Param_SLIDER, name);
    }
    // Percent sliders 0..100 with one decimal.
    PF_Err percent(ParamId id, const char* name, int32_t dflt) {
        PF_FixedSliderDef& f = begin().u.fd;
        f.valid_min = f.slider_min = 0;
        f.valid_max = f.slider_max = fixedOf(100);
        f.value = f.dephault = fixedOf(dflt);
        f.precision = 1;
        f.display_flags |= PF_ValueDisplayFlag_PERCENT;
        return add(id, PF_Param_FIX_SLIDER, name);
    }
    // The default is single precision, widened to double for the value.
    PF_Err floatSlider(ParamId id, const char* name, float validMin, float validMax,
                       float sliderMin, float sliderMax, float dflt) {
        PF_FloatSliderDef& f = begin().u.fs_d;
        f.valid_min = validMin;
        f.valid_max = validMax;
        f.slider_min = sliderMin;
        f.slider_max = sliderMax;
        f.value = dflt;
        f.dephault = dflt;
        f.precision = 2;
        f.display_flags = 0;
        f.curve_tolerance = 0.05f;
        return add(id, PF_Param_FLOAT_SLIDER, name);
    }
    PF_Err angle(ParamId id, const char* name) {
        PF_AngleDef& a = begin().u.ad;
        a.value = a.dephault = 0;
        return add(id, PF_Param_ANGLE, name);
    }
    PF_Err popup(ParamId id, const char* name, int16_t choices, int16_t dflt, const char* texts) {
        PF_PopupDef& p = begin().u.pd;
        p.num_choices = choices;
        p.dephault = dflt;
        p.value = dflt;
        p.namesptr = texts;
        return add(id, PF_Param_POPUP, name);
    }

  private:
    PF_InData* in_;
    PF_ParamDef def_;
};

}  // namespace

PF_Err handleParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
    Declarer d(in_data);
    PF_Err err = PF_Err_NONE;

    // Every refusal ends the declarations with its code, the first one's included: a panel
    // without its "Path" would shift every later index.
    d.begin().u.path_d.dephault = 0;
    err = d.add(PATH, PF_Param_PATH, "Path");
    if (!err)
        err = d.angle(OFFSET, "Offset");
    if (!err)
        err = d.slider(NUMBER, "Number", 0, MAX_STAMP_COUNT, 0, 20, 5);
    if (!err)
        err = d.percent(LENGTH, "Length", 100);
    if (!err)
        err = d.percent(TIME, "Time", 50);
    if (!err)
        err = d.floatSlider(WIDTH, "Width", 2.0f, 2000.0f, 2.0f, 100.0f, 100.0f);
    if (!err)
        err = d.angle(ANGLE, "Angle");
    if (!err) {
        PF_CheckBoxDef& b = d.begin().u.bd;
        b.value = b.dephault = 0;
        b.nameptr = "";
        err = d.add(FIXED_ANGLE, PF_Param_CHECKBOX, "Fixed Angle");
    }
    if (!err)
        err = d.popup(SHAPE, "Shape", 3, 1, "Circle|Polygon|Layer");
    if (!err)
        err = d.percent(INNER, "Inner", 0);
    if (!err)
        err = d.slider(N_SIDES, "n Sides", 3, 18, 3, 8, 4);
    if (!err)
        err = d.slider(EDGE_THICKNESS, "Edge Thickness", 0, 1000, 0, 5, 1);
    if (!err)
        err = d.popup(EDGE_MODE, "Edge Mode", 2, 1, "Lightness|Color");
    if (!err)
        err = d.floatSlider(EDGE_LIGHTNESS, "Edge Lightness", 0.0f, 5.0f, 0.0f, 2.0f, 1.2f);
    if (!err) {
        PF_ColorDef& c = d.begin().u.cd;
        c.value = PF_Pixel8{255, 255, 255, 255};
        c.dephault = c.value;
        err = d.add(EDGE_COLOR, PF_Param_COLOR, "Edge Color");
    }
    if (!err) {
        d.begin().u.ld.dephault = PF_LayerDefault_NONE;
        err = d.add(LAYER, PF_Param_LAYER, "Layer");
    }
    if (!err) {
        err = d.popup(COLOR_BLEND_MODE, "Color Blend Mode", 8, 5,
                      "Normal|Tritone|Add|Multiply|Screen|Overlay|Color Dodge|Color Burn");
    }
    if (!err)
        err = d.percent(COLOR_OPACITY, "Color Opacity", 100);
    if (!err)
        err = d.popup(BACKGROUND, "Background", 2, 2, "On Original|On Transparent");
    if (err)
        return err;

    d.clear();
    out_data->num_params = PARAM_COUNT;
    return PF_Err_NONE;
}

}  // namespace mst
