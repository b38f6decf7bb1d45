// Adapts the parameter panel to the current values: hides what the chosen Shape does not use,
// greys out Offset on open masks, and enables Edge Lightness or Edge Color by Edge Mode.
#include <array>
#include <cstring>

#include "host/entry_point.h"
#include "host/param_ids.h"
#include "host/plugin_data.h"
#include "host/suite_cache.h"

namespace mst {
namespace {

// The streams whose hidden flag follows Shape, in the order they are taken and released.
constexpr std::array<ParamId, 9> SHAPE_STREAMS = {N_SIDES,    LAYER,          INNER,
                                                  EDGE_COLOR, EDGE_THICKNESS, EDGE_LIGHTNESS,
                                                  EDGE_MODE,  COLOR_OPACITY,  COLOR_BLEND_MODE};

// Whether `param` is hidden for the Shape popup value `shape`.
bool hiddenFor(int32_t shape, ParamId param) {
    const bool sides = param == N_SIDES;
    const bool layerGroup = param == LAYER || param == COLOR_BLEND_MODE || param == COLOR_OPACITY;
    switch (shape) {
        case 1:
            return sides || layerGroup;  // Circle
        case 2:
            return layerGroup;  // Polygon
        case 3:
            return !layerGroup;  // Layer: sides and the edge group
        default:
            return false;
    }
}

// The effect and stream references of one call, given back on every way out (a thrown code
// included). The effect goes first, then the streams in the order they were taken.
class AegpReferences {
  public:
    AegpReferences(SuiteCache& suites, PF_Err& err) : suites_(suites), err_(err) {}
    ~AegpReferences() {
        try {
            release();
        } catch (...) {
            // A suite missing while releasing: nothing more can be given back.
        }
    }
    AegpReferences(const AegpReferences&) = delete;
    AegpReferences& operator=(const AegpReferences&) = delete;

    void release() {
        auto record = [this](PF_Err rc) {
            if (err_ == PF_Err_NONE)
                err_ = rc;
        };
        if (effect != nullptr) {
            AEGP_EffectRefH e = effect;
            effect = nullptr;
            record(suites_.effectSuite().AEGP_DisposeEffect(e));
        }
        for (AEGP_StreamRefH& s : streams) {
            if (s == nullptr)
                continue;
            AEGP_StreamRefH taken = s;
            s = nullptr;
            record(suites_.streamSuite().AEGP_DisposeStream(taken));
        }
    }

    AEGP_EffectRefH effect = nullptr;
    std::array<AEGP_StreamRefH, SHAPE_STREAMS.size()> streams{};

  private:
    SuiteCache& suites_;
    PF_Err& err_;
};

void setDisabled(PF_ParamDef& def, bool disabled) {
    if (disabled) {
        def.ui_flags |= PF_PUI_DISABLED;
    } else {
        def.ui_flags &= ~PF_PUI_DISABLED;
    }
}

// Replaces the sequence block's snapshot when the parameters changed (or no snapshot was ever
// taken). A failed allocation skips the refresh without an error.
PF_Err refreshSnapshot(PF_InData* in, PF_OutData* out, SuiteCache& suites,
                       const GlobalData* global) {
    const PF_HandleSuite1& handles = suites.handleSuite();
    const PF_ParamUtilsSuite1& utils = suites.paramUtilsSuite();
    PF_Boolean changed = 1;  // without a sequence block there is nothing to compare with
    if (in->sequence_data != nullptr) {
        auto* sequence = static_cast<SequenceData*>(handles.host_lock_handle(in->sequence_data));
        PF_Err err = PF_Err_NONE;
        if (sequence != nullptr) {
            changed = 0;
            err = utils.PF_HasParamChanged(in->effect_ref, &sequence->state,
                                           PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE, &changed);
            handles.host_unlock_handle(in->sequence_data);
        }
        if (err)
            return err;
    }
    if (!changed && global != nullptr && global->initialized != 0)
        return PF_Err_NONE;

    PF_Handle fresh = in->utils->host_new_handle(sizeof(SequenceData));
    if (fresh == nullptr)
        return PF_Err_NONE;
    auto* block = static_cast<SequenceData*>(handles.host_lock_handle(fresh));
    if (block == nullptr) {
        // Like a failed allocation: no refresh this time, and the block goes back.
        handles.host_dispose_handle(fresh);
        return PF_Err_NONE;
    }
    const PF_Err err = utils.PF_GetCurrentState(
        in->effect_ref, PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE, nullptr, nullptr, &block->state);
    handles.host_unlock_handle(fresh);
    if (err) {
        // The new block never became the sequence data: give it back.
        handles.host_dispose_handle(fresh);
        return err;
    }
    if (in->sequence_data != nullptr)
        handles.host_dispose_handle(in->sequence_data);
    out->sequence_data = fresh;
    in->sequence_data = fresh;
    return PF_Err_NONE;
}

}  // namespace

PF_Err handleUpdateParamsUi(PF_InData* in_data, PF_OutData* out_data, PF_ParamList params) {
    SuiteCache suites(in_data->pica_basicP);
    const PF_HandleSuite1& handles = suites.handleSuite();
    PF_Err err = PF_Err_NONE;

    // Without global data (its block could not be locked at Global Setup) there is no AEGP
    // registration: the streams keep their hidden flags and the rest of the panel is updated.
    GlobalData* global = nullptr;
    if (in_data->global_data != nullptr) {
        global = static_cast<GlobalData*>(handles.host_lock_handle(in_data->global_data));
    }
    // Unlocked on every way out, a refused suite's thrown code included: the host keeps the
    // block between calls and a lock left on it would pin it for good.
    struct GlobalUnlock {
        const PF_HandleSuite1& handles;
        PF_Handle handle;
        bool locked;
        ~GlobalUnlock() {
            if (locked)
                handles.host_unlock_handle(handle);
        }
    } unlock{handles, in_data->global_data, global != nullptr};
    const int32_t shape = params[SHAPE]->u.pd.value;

    {
        AegpReferences refs(suites, err);
        if (global != nullptr) {
            // The suites that give the references back are taken first: one refused later
            // could not strand a reference.
            suites.effectSuite();
            suites.streamSuite();
            const AEGP_PluginID id = global->aegpPluginId;
            if (!err) {
                err = suites.pfInterfaceSuite().AEGP_GetNewEffectForEffect(id, in_data->effect_ref,
                                                                           &refs.effect);
            }
            for (size_t i = 0; i < SHAPE_STREAMS.size() && !err; ++i) {
                err = suites.streamSuite().AEGP_GetNewEffectStreamByIndex(
                    id, refs.effect, SHAPE_STREAMS[i], &refs.streams[i]);
            }
            for (size_t i = 0; i < SHAPE_STREAMS.size() && !err; ++i) {
                err = suites.dynamicStreamSuite().AEGP_SetDynamicStreamFlag(
                    refs.streams[i], AEGP_DynStreamFlag_HIDDEN, 0,
                    hiddenFor(shape, SHAPE_STREAMS[i]) ? 1 : 0);
            }
        }

        // Is the chosen mask open? Presumed open until the path says otherwise.
        PF_Boolean open = 1;
        if (!err) {
            const uint32_t pathId = params[PATH]->u.path_d.path_id;
            // Taken before the check-out, so a refused suite cannot leave the path out.
            suites.pathDataSuite();
            PF_PathOutlinePtr outline = nullptr;
            err = suites.pathQuerySuite().PF_CheckoutPath(in_data->effect_ref, pathId,
                                                          in_data->current_time, in_data->time_step,
                                                          in_data->time_scale, &outline);
            if (!err) {
                err = suites.pathDataSuite().PF_PathIsOpen(in_data->effect_ref, outline, &open);
                const PF_Err checkin =
                    suites.pathQuerySuite().PF_CheckinPath(in_data->effect_ref, pathId, 0, outline);
                if (!err)
                    err = checkin;
            }
        }

        PF_ParamDef offset = *params[OFFSET];
        PF_ParamDef lightness = *params[EDGE_LIGHTNESS];
        PF_ParamDef color = *params[EDGE_COLOR];

        if (!err) {
            // From here on an error is shown to the user.
            const PF_ParamUtilsSuite1& utils = suites.paramUtilsSuite();
            err = refreshSnapshot(in_data, out_data, suites, global);
            if (!err) {
                offset.param_type = PF_Param_ANGLE;
                in_data->utils->ansi.strcpy(offset.name, "Offset");
                setDisabled(offset, open != 0);
                err = utils.PF_UpdateParamUI(in_data->effect_ref, OFFSET, &offset);
            }
            if (!err) {
                const bool lightnessMode = params[EDGE_MODE]->u.pd.value == 1;
                lightness.param_type = PF_Param_FLOAT_SLIDER;
                in_data->utils->ansi.strcpy(lightness.name, "Edge Lightness");
                setDisabled(lightness, !lightnessMode);
                color.param_type = PF_Param_COLOR;
                in_data->utils->ansi.strcpy(color.name, "Edge Color");
                setDisabled(color, lightnessMode);
                err = utils.PF_UpdateParamUI(in_data->effect_ref, EDGE_LIGHTNESS, &lightness);
                if (!err)
                    err = utils.PF_UpdateParamUI(in_data->effect_ref, EDGE_COLOR, &color);
            }
            if (err) {
                in_data->utils->ansi.strcpy(out_data->return_msg, "ERROR");
                out_data->out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
            }
        }
        if (!err && global != nullptr)
            global->initialized = 1;
        refs.release();
    }
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return err;
}

}  // namespace mst
