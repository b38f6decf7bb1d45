#include "host/smart_pre_render.h"

#include <array>
#include <cstring>

#include "core/frame_params.h"
#include "host/entry_point.h"
#include "host/param_ids.h"
#include "host/plugin_data.h"
#include "host/suite_cache.h"

namespace mst {
namespace {

bool isEmpty(const PF_LRect& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

// The parameters the record is built from, in the order they are checked out. "Layer" is
// checked out by the render itself.
constexpr std::array<ParamId, 18> RECORD_PARAMS = {
    PATH,           OFFSET,        BACKGROUND,       WIDTH,         ANGLE, FIXED_ANGLE, NUMBER,
    SHAPE,          N_SIDES,       EDGE_MODE,        INNER,         TIME,  LENGTH,      EDGE_COLOR,
    EDGE_THICKNESS, COLOR_OPACITY, COLOR_BLEND_MODE, EDGE_LIGHTNESS};

// Checked-out parameter definitions, indexed by ParamId, checked in again on every way out so
// the host's parameter ledger stays balanced.
class CheckedOutParams {
  public:
    explicit CheckedOutParams(PF_InData* in) : in_(in) {}
    ~CheckedOutParams() {
        for (ParamId id : RECORD_PARAMS) {
            if (out_[id])
                in_->inter.checkin_param(in_->effect_ref, &defs_[id]);
        }
    }
    CheckedOutParams(const CheckedOutParams&) = delete;
    CheckedOutParams& operator=(const CheckedOutParams&) = delete;

    PF_Err checkout(ParamId id) {
        std::memset(&defs_[id], 0, sizeof defs_[id]);
        const PF_Err err = in_->inter.checkout_param(in_->effect_ref, id, in_->current_time,
                                                     in_->time_step, in_->time_scale, &defs_[id]);
        out_[id] = err == PF_Err_NONE;
        return err;
    }
    const PF_ParamDefUnion& operator[](ParamId id) const { return defs_[id].u; }

  private:
    PF_InData* in_;
    std::array<PF_ParamDef, PARAM_COUNT> defs_{};
    std::array<bool, PARAM_COUNT> out_{};
};

RawParamValues rawValuesOf(const CheckedOutParams& p) {
    RawParamValues raw;
    raw.path = p[PATH].path_d.path_id;
    raw.offset = p[OFFSET].ad.value;
    raw.number = p[NUMBER].sd.value;
    raw.length = p[LENGTH].fd.value;
    raw.time = p[TIME].fd.value;
    raw.width = p[WIDTH].fs_d.value;
    raw.angle = p[ANGLE].ad.value;
    raw.fixedAngle = p[FIXED_ANGLE].bd.value;
    raw.shape = p[SHAPE].pd.value;
    raw.inner = p[INNER].fd.value;
    raw.sides = p[N_SIDES].sd.value;
    raw.edgeThickness = p[EDGE_THICKNESS].sd.value;
    raw.edgeMode = p[EDGE_MODE].pd.value;
    raw.edgeLightness = p[EDGE_LIGHTNESS].fs_d.value;
    raw.edgeColor = p[EDGE_COLOR].cd.value;
    raw.blendMode = p[COLOR_BLEND_MODE].pd.value;
    raw.colorOpacity = p[COLOR_OPACITY].fd.value;
    raw.background = p[BACKGROUND].pd.value;
    return raw;
}

}  // namespace

void unionRect(const PF_LRect& source, PF_LRect& target) {
    if (isEmpty(target)) {
        target = source;
    } else if (!isEmpty(source)) {
        if (source.left < target.left)
            target.left = source.left;
        if (source.top < target.top)
            target.top = source.top;
        if (source.right > target.right)
            target.right = source.right;
        if (source.bottom > target.bottom)
            target.bottom = source.bottom;
    }
}

extern "C" void deletePreRenderData(void* preRenderData) {
    auto handle = static_cast<PF_Handle>(preRenderData);
    if (handle == nullptr || *handle == nullptr)
        return;
    // The block is still locked from the pre-render, so *handle is its memory.
    const auto* block = static_cast<const PreRenderBlock*>(*handle);
    block->disposeHandle(handle);
}

PF_Err handleSmartPreRender(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
    SuiteCache suites(in_data->pica_basicP);
    PF_RenderRequest request = extra->input->output_request;

    const PF_HandleSuite1& handles = suites.handleSuite();
    PF_Handle handle = handles.host_new_handle(sizeof(PreRenderBlock));
    if (handle == nullptr)
        return PF_Err_OUT_OF_MEMORY;
    auto* block = static_cast<PreRenderBlock*>(handles.host_lock_handle(handle));
    if (block == nullptr) {
        handles.host_dispose_handle(handle);
        return PF_Err_OUT_OF_MEMORY;
    }
    // A record left unfilled by a failure below reads as "nothing to draw", never as garbage.
    std::memset(block, 0, sizeof *block);
    block->disposeHandle = handles.host_dispose_handle;
    // The record's handle goes to the host with the function that frees it, so a frame's
    // block does not outlive the frame. It stays locked: the render reads it in place.
    extra->output->pre_render_data = handle;
    extra->output->delete_pre_render_data_func = deletePreRenderData;

    PF_Err err = PF_Err_NONE;
    CheckedOutParams params(in_data);
    for (ParamId id : RECORD_PARAMS) {
        err = params.checkout(id);
        if (err)
            return err;
    }

    request.preserve_rgb_of_zero_alpha = 1;
    PF_CheckoutResult result;
    std::memset(&result, 0, sizeof result);
    err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                    in_data->time_step, in_data->time_scale, &result);
    if (err)
        return err;

    block->params = buildFrameParams(rawValuesOf(params), in_data->downsample_x.num,
                                     in_data->downsample_x.den, in_data->utils->ansi.fmod);
    unionRect(result.result_rect, extra->output->result_rect);
    unionRect(result.max_result_rect, extra->output->max_result_rect);
    return PF_Err_NONE;
}

}  // namespace mst
