// Our declarations of the host's effect interface: the command selectors, error codes, flags,
// and the records and callbacks passed with every command. The names are the host's; the
// layout is ours, shared by the plug-in and the stand-in host.
#pragma once

#include <cstdint>

#include "pixel/pixel_types.h"

extern "C" {

using PF_Err = int32_t;
using A_long = int32_t;
using A_u_long = uint32_t;
using PF_Boolean = uint8_t;
using PF_Fixed = int32_t;  // 16.16
using PF_ProgPtr = void*;  // the host's reference to one effect instance
// Relocatable host memory: a pointer to the host's master pointer to the block. Locked through
// the handle suite; while locked, *handle is the block.
using PF_Handle = void**;

// --- error codes ------------------------------------------------------------------------
constexpr PF_Err PF_Err_NONE = 0;
constexpr PF_Err PF_Err_OUT_OF_MEMORY = 4;
constexpr PF_Err PF_Err_INTERNAL_STRUCT_DAMAGED = 512;
constexpr PF_Err PF_Err_BAD_CALLBACK_PARAM = 516;

// --- command selectors --------------------------------------------------------------------
enum PF_Cmd : int32_t {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_RENDER = 11,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24,
};

// --- output flags -----------------------------------------------------------------------
constexpr int32_t PF_OutFlag_USE_OUTPUT_EXTENT = 1 << 6;
constexpr int32_t PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1 << 8;
constexpr int32_t PF_OutFlag_REFRESH_UI = 1 << 17;
constexpr int32_t PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25;
constexpr int32_t PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1 << 26;
constexpr int32_t PF_OutFlag2_SUPPORTS_SMART_RENDER = 1 << 10;
constexpr int32_t PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12;

constexpr int32_t PF_Stage_RELEASE = 3;

// --- pixels, rectangles, images --------------------------------------------------------
using PF_Pixel8 = mst::Pixel8;
using PF_Pixel16 = mst::Pixel16;
using PF_PixelFloat = mst::PixelFloat;
using PF_PixelFormat = uint32_t;
constexpr PF_PixelFormat PF_PixelFormat_ARGB32 = mst::PIXEL_FORMAT_CODE_8;
constexpr PF_PixelFormat PF_PixelFormat_ARGB64 = mst::PIXEL_FORMAT_CODE_16;
constexpr PF_PixelFormat PF_PixelFormat_ARGB128 = mst::PIXEL_FORMAT_CODE_FLOAT;
constexpr PF_PixelFormat PF_PixelFormat_INVALID = mst::PIXEL_FORMAT_CODE_INVALID;

struct PF_LRect {
    int32_t left, top, right, bottom;
};

struct PF_RationalScale {
    int32_t num;
    uint32_t den;
};

// An image the host lends: pixels, row length in bytes, size, and its pixel format.
struct PF_EffectWorld {
    void* data;
    int32_t rowbytes;
    int32_t width;
    int32_t height;
    PF_PixelFormat pixel_format;
};

// --- parameters ----------------------------------------------------------------------
enum PF_ParamType : int32_t {
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POPUP = 7,
    PF_Param_FLOAT_SLIDER = 10,
    PF_Param_PATH = 11,
};

constexpr int32_t PF_ValueDisplayFlag_PERCENT = 1;
constexpr int32_t PF_PUI_DISABLED = 0x20;
constexpr int32_t PF_LayerDefault_NONE = -1;
// Index that asks about the parameters as a whole.
constexpr int32_t PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE = -3;
constexpr int32_t PF_MAX_EFFECT_PARAM_NAME_LEN = 31;
constexpr int32_t PF_MAX_PARAM_DESCRIPTION_LEN = 31;
constexpr int32_t PF_MAX_PARAM_VALUE_LEN = 31;

struct PF_SliderDef {
    int32_t value;
    char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    int32_t valid_min, valid_max;
    int32_t slider_min, slider_max;
    int32_t dephault;
};

struct PF_FixedSliderDef {
    PF_Fixed value;
    char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    int16_t precision;
    int16_t display_flags;
};

constexpr int32_t PF_FSliderFlag_WANT_PHASE = 1;

struct PF_FloatSliderDef {
    double value;
    double phase;
    char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    float valid_min, valid_max;
    float slider_min, slider_max;
    float dephault;
    int16_t precision;
    int16_t display_flags;
    int32_t fs_flags;
    float curve_tolerance;
};

struct PF_AngleDef {
    PF_Fixed value;
    PF_Fixed dephault;
};

struct PF_CheckBoxDef {
    int32_t value;
    int32_t dephault;
    const char* nameptr;  // the text beside the box
};

struct PF_PopupDef {
    int32_t value;
    int16_t num_choices;
    int16_t dephault;
    const char* namesptr;  // choices separated by '|'
};

struct PF_ColorDef {
    PF_Pixel8 value;
    PF_Pixel8 dephault;
};

struct PF_PathDef {
    uint32_t path_id;
    int32_t dephault;
};

// A layer parameter: the layer's image at the checked-out time (no pixels when none chosen).
struct PF_LayerDef {
    PF_EffectWorld world;
    int32_t dephault;
};

union PF_ParamDefUnion {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_FloatSliderDef fs_d;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_PopupDef pd;
    PF_ColorDef cd;
    PF_PathDef path_d;
};

struct PF_ParamDef {
    PF_ParamType param_type;
    char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    int32_t flags;
    int32_t ui_flags;
    int16_t ui_width;
    int16_t ui_height;
    int32_t id;
    PF_ParamDefUnion u;
};
using PF_ParamList = PF_ParamDef**;

// --- callbacks in the in-data -------------------------------------------------------------
struct PF_InteractCallbacks {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, int32_t index, int32_t what_time,
                             int32_t time_step, uint32_t time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, int32_t index, PF_ParamDef* def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, int32_t current, int32_t total);
};

// The standard C functions, as the host supplies them.
struct PF_ANSICallbacks {
    double (*atan2)(double y, double x);
    double (*ceil)(double x);
    double (*cos)(double x);
    double (*floor)(double x);
    double (*fmod)(double x, double y);
    double (*pow)(double x, double y);
    double (*sin)(double x);
    double (*sqrt)(double x);
    int (*sprintf)(char* buffer, const char* format, ...);
    char* (*strcpy)(char* dest, const char* src);
};

struct PF_UtilCallbacks {
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst,
                   const PF_LRect* src_rect, const PF_LRect* dst_rect);
    PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel8* color, const PF_LRect* rect,
                   PF_EffectWorld* world);
    PF_Handle (*host_new_handle)(uint64_t size);
    void (*host_dispose_handle)(PF_Handle handle);
    PF_ANSICallbacks ansi;
};

struct SPBasicSuite;

struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    int32_t current_time;
    int32_t time_step;
    uint32_t time_scale;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_Handle global_data;
    PF_Handle sequence_data;
    const SPBasicSuite* pica_basicP;
};

constexpr int32_t PF_MAX_RETURN_MSG_LEN = 255;

struct PF_OutData {
    uint32_t my_version;
    PF_Handle global_data;
    int32_t num_params;
    PF_Handle sequence_data;
    int32_t out_flags;
    int32_t out_flags2;
    char return_msg[PF_MAX_RETURN_MSG_LEN + 1];
};

// --- smart pre-render and render ---------------------------------------------------------
struct PF_RenderRequest {
    PF_LRect rect;
    int32_t field;
    uint32_t channel_mask;
    PF_Boolean preserve_rgb_of_zero_alpha;
    uint8_t unused[3];
    int32_t reserved[4];
};

struct PF_CheckoutResult {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    int32_t par_num, par_den;
    int32_t solid;
    int32_t ref_width, ref_height;
};

struct PF_PreRenderInput {
    PF_RenderRequest output_request;
    int16_t bitdepth;
};

using PF_DeletePreRenderDataFunc = void (*)(void* pre_render_data);

struct PF_PreRenderOutput {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_Boolean solid;
    int32_t flags;
    PF_Handle pre_render_data;
    PF_DeletePreRenderDataFunc delete_pre_render_data_func;
};

struct PF_PreRenderCallbacks {
    PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, int32_t index, int32_t checkout_id,
                             const PF_RenderRequest* request, int32_t what_time, int32_t time_step,
                             uint32_t time_scale, PF_CheckoutResult* result);
};

struct PF_PreRenderExtra {
    PF_PreRenderInput* input;
    PF_PreRenderOutput* output;
    PF_PreRenderCallbacks* cb;
};

struct PF_SmartRenderInput {
    PF_RenderRequest output_request;
    int16_t bitdepth;
    PF_Handle pre_render_data;
};

struct PF_SmartRenderCallbacks {
    PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, int32_t checkout_id,
                                    PF_EffectWorld** pixels);
    PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
};

struct PF_SmartRenderExtra {
    PF_SmartRenderInput* input;
    PF_SmartRenderCallbacks* cb;
};

// The one exported function.
using PF_EntryPointFunc = PF_Err (*)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                     PF_ParamList params, PF_EffectWorld* output, void* extra);

}  // extern "C"
