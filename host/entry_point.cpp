#include "host/entry_point.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "host/plugin_data.h"
#include "host/plugin_info.h"
#include "host/suite_cache.h"

namespace mst {

PF_Err handleAbout(PF_InData* in_data, PF_OutData* out_data) {
    SuiteCache suites(in_data->pica_basicP);
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s, v%u.%u\r%s", PLUGIN_NAME,
                  static_cast<unsigned>(VERSION_MAJOR), static_cast<unsigned>(VERSION_MINOR),
                  PLUGIN_DESCRIPTION);
    return PF_Err_NONE;
}

PF_Err handleGlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
    out_data->my_version = PLUGIN_VERSION;
    out_data->out_flags |= PLUGIN_OUT_FLAGS;
    out_data->out_flags2 |= PLUGIN_OUT_FLAGS2;

    SuiteCache suites(in_data->pica_basicP);
    const PF_HandleSuite1& handles = suites.handleSuite();
    PF_Handle handle = handles.host_new_handle(sizeof(GlobalData));
    if (handle == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    auto* global = static_cast<GlobalData*>(handles.host_lock_handle(handle));
    if (global == nullptr) {
        // Nobody would ever own the block: give it back.
        handles.host_dispose_handle(handle);
        return PF_Err_NONE;
    }
    global->initialized = 1;
    // A refused utility suite is thrown: the block, nobody's yet, goes back first.
    const AEGP_UtilitySuite7* utility = nullptr;
    try {
        utility = &suites.utilitySuite();
    } catch (...) {
        handles.host_unlock_handle(handle);
        handles.host_dispose_handle(handle);
        throw;
    }
    PF_Err err = utility->AEGP_RegisterWithAEGP(nullptr, "Error!", &global->aegpPluginId);
    handles.host_unlock_handle(handle);
    if (err == PF_Err_NONE) {
        out_data->global_data = handle;
    } else {
        // Not stored as global data, so the host would never free it.
        handles.host_dispose_handle(handle);
    }
    return err;
}

PF_Err handleSequenceSetdown(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data->sequence_data == nullptr)
        return PF_Err_NONE;
    SuiteCache suites(in_data->pica_basicP);
    suites.handleSuite().host_dispose_handle(in_data->sequence_data);
    // The host must not keep the block just disposed as this instance's data.
    if (out_data->sequence_data == in_data->sequence_data)
        out_data->sequence_data = nullptr;
    in_data->sequence_data = nullptr;
    return PF_Err_NONE;
}

PF_Err handleSequenceSetup(PF_InData* in_data, PF_OutData* out_data) {
    handleSequenceSetdown(in_data, out_data);
    SuiteCache suites(in_data->pica_basicP);
    const PF_HandleSuite1& handles = suites.handleSuite();
    PF_Handle handle = handles.host_new_handle(sizeof(SequenceData));
    if (handle == nullptr)
        return PF_Err_OUT_OF_MEMORY;
    void* block = handles.host_lock_handle(handle);
    if (block == nullptr) {
        handles.host_dispose_handle(handle);
        return PF_Err_NONE;
    }
    std::memset(block, 0, sizeof(SequenceData));
    out_data->sequence_data = handle;
    handles.host_unlock_handle(handle);
    return PF_Err_NONE;
}

PF_Err handleCompletelyGeneral(PF_InData* in_data, PF_OutData* out_data, void* extra) {
    SuiteCache suites(in_data->pica_basicP);
    if (extra == nullptr)
        return PF_Err_NONE;
    // Bounded first: the text comes from outside and return_msg is small.
    char text[PF_MAX_RETURN_MSG_LEN + 1];
    std::strncpy(text, static_cast<const char*>(extra), PF_MAX_RETURN_MSG_LEN);
    text[PF_MAX_RETURN_MSG_LEN] = '\0';
    suites.ansiSuite().sprintf(out_data->return_msg, "%s", text);
    return PF_Err_NONE;
}

}  // namespace mst

extern "C" MST_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                            PF_ParamList params, PF_EffectWorld* /*output*/,
                                            void* extra) {
    using namespace mst;
    try {
        switch (cmd) {
            case PF_Cmd_ABOUT:
                return handleAbout(in_data, out_data);
            case PF_Cmd_GLOBAL_SETUP:
                return handleGlobalSetup(in_data, out_data);
            case PF_Cmd_PARAMS_SETUP:
                return handleParamsSetup(in_data, out_data);
            case PF_Cmd_SEQUENCE_SETUP:
            case PF_Cmd_SEQUENCE_RESETUP:
                return handleSequenceSetup(in_data, out_data);
            case PF_Cmd_SEQUENCE_SETDOWN:
                return handleSequenceSetdown(in_data, out_data);
            case PF_Cmd_USER_CHANGED_PARAM:
            case PF_Cmd_UPDATE_PARAMS_UI:
                return handleUpdateParamsUi(in_data, out_data, params);
            case PF_Cmd_COMPLETELY_GENERAL:
                return handleCompletelyGeneral(in_data, out_data, extra);
            case PF_Cmd_SMART_PRE_RENDER:
                return handleSmartPreRender(in_data, out_data,
                                            static_cast<PF_PreRenderExtra*>(extra));
            case PF_Cmd_SMART_RENDER:
                return handleSmartRender(in_data, out_data,
                                         static_cast<PF_SmartRenderExtra*>(extra));
            default:
                return PF_Err_NONE;
        }
    } catch (PF_Err code) {
        return code;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        // Nothing may cross into the host.
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
