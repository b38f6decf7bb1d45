// Our declarations of the host's named suites: the basic suite that hands them out, and each
// suite's operations as the effect uses them. Names are the host's; the layout is ours.
#pragma once

#include <cstdint>

#include "host_api/effect_api.h"

extern "C" {

// Hands out named, versioned suites; every acquired suite is released with the same name and
// version.
struct SPBasicSuite {
    PF_Err (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    PF_Err (*ReleaseSuite)(const char* name, int32_t version);
};

// --- suite names -------------------------------------------------------------------------
inline constexpr const char* kAEGPStreamSuite = "AEGP Stream Suite";
inline constexpr const char* kAEGPDynamicStreamSuite = "AEGP Dynamic Stream Suite";
inline constexpr const char* kAEGPPFInterfaceSuite = "AEGP PF Interface Suite";
inline constexpr const char* kPFPathQuerySuite = "PF Path Query Suite";
inline constexpr const char* kPFPathDataSuite = "PF Path Data Suite";
inline constexpr const char* kPFParamUtilsSuite = "PF Param Utils Suite";
inline constexpr const char* kAEGPEffectSuite = "AEGP Effect Suite";
inline constexpr const char* kAEGPUtilitySuite = "AEGP Utility Suite";
inline constexpr const char* kPFANSISuite = "PF ANSI Suite";
inline constexpr const char* kPFHandleSuite = "PF Handle Suite";
inline constexpr const char* kPFWorldSuite = "PF World Suite";
inline constexpr const char* kPFSampling8Suite = "PF Sampling8 Suite";
inline constexpr const char* kPFSampling16Suite = "PF Sampling16 Suite";
inline constexpr const char* kPFSamplingFloatSuite = "PF SamplingFloat Suite";
inline constexpr const char* kPFColorFloatSuite = "PF ColorFloat Suite";

// --- memory handles ----------------------------------------------------------------------
struct PF_HandleSuite1 {
    PF_Handle (*host_new_handle)(uint64_t size);
    void* (*host_lock_handle)(PF_Handle handle);
    void (*host_unlock_handle)(PF_Handle handle);
    void (*host_dispose_handle)(PF_Handle handle);
    uint64_t (*host_get_handle_size)(PF_Handle handle);
};

// --- images ------------------------------------------------------------------------------
constexpr int32_t PF_NewWorldFlag_CLEAR_PIXELS = 1 << 0;
constexpr int32_t PF_NewWorldFlag_DEEP_PIXELS = 1 << 1;

struct PF_WorldSuite1 {
    PF_Err (*new_world)(PF_ProgPtr effect_ref, int32_t width, int32_t height, int32_t flags,
                        PF_EffectWorld* world);
    PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
};

struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, int32_t width, int32_t height,
                          PF_Boolean clear_pixels, PF_PixelFormat format, PF_EffectWorld* world);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* world, PF_PixelFormat* format);
};

// --- sampling ----------------------------------------------------------------------------
// Sampling settings; the effect sets only the source and the box half-extents.
struct PF_SampPB {
    PF_Fixed x_radius;
    PF_Fixed y_radius;
    PF_Fixed area;
    PF_EffectWorld* src;
    int32_t samp_behave;
    int32_t allow_asynch;
    int32_t motion_blur;
    int32_t reserved[4];
};

struct PF_Sampling8Suite1 {
    PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel8* dst);
    PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_Pixel8* dst);
    PF_Err (*area_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                          PF_Pixel8* dst);
};
struct PF_Sampling16Suite1 {
    PF_Err (*nn_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                          PF_Pixel16* dst);
    PF_Err (*subpixel_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                const PF_SampPB* params, PF_Pixel16* dst);
    PF_Err (*area_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                            PF_Pixel16* dst);
};
struct PF_SamplingFloatSuite1 {
    PF_Err (*nn_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_PixelFloat* dst);
    PF_Err (*subpixel_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                    const PF_SampPB* params, PF_PixelFloat* dst);
    PF_Err (*area_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                const PF_SampPB* params, PF_PixelFloat* dst);
};

// --- mask paths --------------------------------------------------------------------------
using PF_PathOutlinePtr = void*;
using PF_PathSegPrepPtr = void*;

struct PF_PathQuerySuite1 {
    PF_Err (*PF_CheckoutPath)(PF_ProgPtr effect_ref, uint32_t unique_id, int32_t what_time,
                              int32_t time_step, uint32_t time_scale, PF_PathOutlinePtr* path);
    PF_Err (*PF_CheckinPath)(PF_ProgPtr effect_ref, uint32_t unique_id, PF_Boolean changed,
                             PF_PathOutlinePtr path);
};

struct PF_PathDataSuite1 {
    PF_Err (*PF_PathIsOpen)(PF_ProgPtr effect_ref, PF_PathOutlinePtr path, PF_Boolean* open);
    PF_Err (*PF_PathNumSegments)(PF_ProgPtr effect_ref, PF_PathOutlinePtr path,
                                 int32_t* num_segments);
    PF_Err (*PF_PathPrepareSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr path,
                                      int32_t seg_index, int32_t frequency,
                                      PF_PathSegPrepPtr* prep);
    PF_Err (*PF_PathGetSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr path, int32_t seg_index,
                                  PF_PathSegPrepPtr* prep, double* length);
    PF_Err (*PF_PathEvalSegLengthDeriv1)(PF_ProgPtr effect_ref, PF_PathOutlinePtr path,
                                         PF_PathSegPrepPtr* prep, int32_t seg_index, double length,
                                         double* x, double* y, double* deriv1x, double* deriv1y);
    PF_Err (*PF_PathCleanupSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr path,
                                      int32_t seg_index, PF_PathSegPrepPtr* prep);
};

// --- colour ------------------------------------------------------------------------------
// Hue, lightness, saturation in 16.16; lightness 65536 = 1.0.
using PF_HLS_PixelFloat = PF_Fixed[3];

struct PF_ColorCallbacksFloatSuite1 {
    PF_Err (*RGBtoHLS)(PF_ProgPtr effect_ref, PF_PixelFloat* rgb, PF_HLS_PixelFloat hls);
    PF_Err (*HLStoRGB)(PF_ProgPtr effect_ref, PF_HLS_PixelFloat hls, PF_PixelFloat* rgb);
};

// --- parameter panel -----------------------------------------------------------------------
// The host's snapshot of the parameter values.
struct PF_State {
    uint8_t opaque[64];
};

struct PF_ParamUtilsSuite1 {
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, int32_t param_index,
                               const PF_ParamDef* param);
    PF_Err (*PF_GetCurrentState)(PF_ProgPtr effect_ref, int32_t param_index, const int32_t* start,
                                 const int32_t* duration, PF_State* state);
    PF_Err (*PF_HasParamChanged)(PF_ProgPtr effect_ref, const PF_State* state, int32_t param_index,
                                 PF_Boolean* changed);
};

// --- AEGP: effects and their parameter streams -----------------------------------------------
using AEGP_PluginID = int32_t;
using AEGP_EffectRefH = void*;
using AEGP_StreamRefH = void*;
using AEGP_DynStreamFlags = int32_t;
constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_HIDDEN = 1 << 2;

struct AEGP_PFInterfaceSuite1 {
    PF_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref,
                                         AEGP_EffectRefH* effect);
};

struct AEGP_StreamSuite7 {
    PF_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID plugin_id, AEGP_EffectRefH effect,
                                             int32_t param_index, AEGP_StreamRefH* stream);
    PF_Err (*AEGP_DisposeStream)(AEGP_StreamRefH stream);
};

struct AEGP_DynamicStreamSuite2 {
    PF_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag,
                                        PF_Boolean undoable, PF_Boolean set);
};

struct AEGP_EffectSuite2 {
    PF_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effect);
};

struct AEGP_UtilitySuite7 {
    PF_Err (*AEGP_RegisterWithAEGP)(void* global_refcon, const char* plugin_name,
                                    AEGP_PluginID* plugin_id);
};

struct PF_ANSISuite1 {
    int (*sprintf)(char* buffer, const char* format, ...);
};

}  // extern "C"
