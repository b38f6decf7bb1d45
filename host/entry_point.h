// The plug-in's one exported function and the handlers it dispatches to.
#pragma once

#include "host_api/suites.h"

#if defined(_WIN32)
#define MST_EXPORT __declspec(dllexport)
#else
#define MST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MST_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                            PF_ParamList params, PF_EffectWorld* output,
                                            void* extra);

namespace mst {

PF_Err handleAbout(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleGlobalSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleSequenceSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleSequenceSetdown(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleCompletelyGeneral(PF_InData* in_data, PF_OutData* out_data, void* extra);
PF_Err handleParamsSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleUpdateParamsUi(PF_InData* in_data, PF_OutData* out_data, PF_ParamList params);
PF_Err handleSmartPreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
PF_Err handleSmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

}  // namespace mst
