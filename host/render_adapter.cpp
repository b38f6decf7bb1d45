#include "host/render_adapter.h"

#include <cstdint>
#include <cstring>

#include "core/render_frame.h"
#include "host/entry_point.h"
#include "host/param_ids.h"
#include "host/plugin_data.h"

namespace mst {
namespace {

constexpr const char* LOAD_MESSAGE = "Couldn't load suite.";
constexpr const char* RELEASE_MESSAGE = "Couldn't release suite.";

HostImage imageOf(const PF_EffectWorld& world) {
    return HostImage{world.data, world.width, world.height, world.rowbytes};
}

// Whether a stamp of width x height pixels can exist in this process: its row must fit the
// world's signed 32-bit row bytes and its whole size a pointer difference (2 GiB in the 32-bit
// DLL). Formed in 64 bits, row first, so neither product can wrap. A stamp that cannot exist
// is out of memory before the host is asked; the host judges everything else.
bool stampFitsProcess(PixelDepth depth, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        return true;  // not a size question: the host answers
    const uint64_t rowBytes =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(pixelSize(depth));
    if (rowBytes > static_cast<uint64_t>(INT32_MAX))
        return false;
    return rowBytes * static_cast<uint64_t>(height) <= static_cast<uint64_t>(PTRDIFF_MAX);
}

}  // namespace

// --- path -------------------------------------------------------------------------------

int32_t HostPathSource::isOpen(bool& open) {
    PF_Boolean value = 1;
    const PF_Err err = suites_.pathDataSuite().PF_PathIsOpen(effect_, outline_, &value);
    if (err == PF_Err_NONE)
        open = value != 0;
    return err;
}

int32_t HostPathSource::segmentCount(int32_t& count) {
    return suites_.pathDataSuite().PF_PathNumSegments(effect_, outline_, &count);
}

int32_t HostPathSource::prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) {
    PF_PathSegPrepPtr p = nullptr;
    const PF_Err err =
        suites_.pathDataSuite().PF_PathPrepareSegLength(effect_, outline_, index, frequency, &p);
    prep = p;
    return err;
}

int32_t HostPathSource::segmentLength(int32_t index, SegmentPrep prep, double& length) {
    PF_PathSegPrepPtr p = prep;
    return suites_.pathDataSuite().PF_PathGetSegLength(effect_, outline_, index, &p, &length);
}

int32_t HostPathSource::evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x,
                                        double& y, double& dx, double& dy) {
    PF_PathSegPrepPtr p = prep;
    return suites_.pathDataSuite().PF_PathEvalSegLengthDeriv1(effect_, outline_, &p, index,
                                                              distance, &x, &y, &dx, &dy);
}

int32_t HostPathSource::releaseSegment(int32_t index, SegmentPrep prep) {
    PF_PathSegPrepPtr p = prep;
    return suites_.pathDataSuite().PF_PathCleanupSegLength(effect_, outline_, index, &p);
}

// --- frame --------------------------------------------------------------------------------

HostRenderAdapter::HostRenderAdapter(PF_InData* in, PF_OutData* out, PF_SmartRenderExtra* extra,
                                     SuiteCache& suites)
    : in_(in), out_(out), extra_(extra), suites_(suites), path_(suites, in->effect_ref) {
    // The host's math, so the host decides the last bits of every transcendental result.
    const PF_ANSICallbacks& ansi = in->utils->ansi;
    math_ = MathFunctions{ansi.atan2, ansi.cos,  ansi.sin,   ansi.pow,
                          ansi.fmod,  ansi.ceil, ansi.floor, ansi.sqrt};
}

const FrameParams* HostRenderAdapter::frameParams() {
    PF_Handle handle = extra_->input->pre_render_data;
    if (handle == nullptr)
        return nullptr;
    const void* block = suites_.handleSuite().host_lock_handle(handle);
    return block == nullptr ? nullptr : &static_cast<const PreRenderBlock*>(block)->params;
}

int32_t HostRenderAdapter::checkoutInput(HostImage& image) {
    const PF_Err err = extra_->cb->checkout_layer_pixels(in_->effect_ref, 0, &input_);
    if (err == PF_Err_NONE && input_ == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (err == PF_Err_NONE)
        image = imageOf(*input_);
    return err;
}

int32_t HostRenderAdapter::checkoutOutput(HostImage& image) {
    const PF_Err err = extra_->cb->checkout_output(in_->effect_ref, &output_);
    if (err == PF_Err_NONE && output_ == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (err == PF_Err_NONE)
        image = imageOf(*output_);
    return err;
}

int32_t HostRenderAdapter::acquireWorldService() {
    const void* suite = nullptr;
    const PF_Err err = acquireSuiteWithMessage(in_, out_, kPFWorldSuite, 2, LOAD_MESSAGE, &suite);
    world2_ = static_cast<const PF_WorldSuite2*>(suite);
    return err;
}

int32_t HostRenderAdapter::releaseWorldService() {
    world2_ = nullptr;
    return releaseSuiteWithMessage(in_, out_, kPFWorldSuite, 2, RELEASE_MESSAGE);
}

int32_t HostRenderAdapter::inputPixelFormat(uint32_t& formatCode) {
    return world2_->PF_GetPixelFormat(input_, &formatCode);
}

int32_t HostRenderAdapter::copyInputToOutput() {
    return in_->utils->copy(in_->effect_ref, input_, output_, nullptr, nullptr);
}

int32_t HostRenderAdapter::clearOutput() {
    const PF_Pixel8 transparent{0, 0, 0, 0};
    return in_->utils->fill(in_->effect_ref, &transparent, nullptr, output_);
}

int32_t HostRenderAdapter::checkoutLayer(HostImage& image) {
    std::memset(&layer_, 0, sizeof layer_);
    const PF_Err err = in_->inter.checkout_param(in_->effect_ref, LAYER, in_->current_time,
                                                 in_->time_step, in_->time_scale, &layer_);
    if (err == PF_Err_NONE)
        image = imageOf(layer_.u.ld.world);
    return err;
}

int32_t HostRenderAdapter::checkinLayer() {
    return in_->inter.checkin_param(in_->effect_ref, &layer_);
}

int32_t HostRenderAdapter::pollAbort() {
    return in_->inter.abort(in_->effect_ref);
}

int32_t HostRenderAdapter::createStampImage(PixelDepth depth, int32_t width, int32_t height,
                                            HostImage& image) {
    std::memset(&stamp_, 0, sizeof stamp_);
    if (!stampFitsProcess(depth, width, height))
        return PF_Err_OUT_OF_MEMORY;
    // Every stamp goes back through this service, so it is taken before a float stamp is made
    // through the other one: refused later, it would strand the stamp.
    const PF_WorldSuite1& world1 = suites_.worldSuite();
    PF_Err err;
    switch (depth) {
        case PixelDepth::Depth8:
            err = world1.new_world(in_->effect_ref, width, height, PF_NewWorldFlag_CLEAR_PIXELS,
                                   &stamp_);
            break;
        case PixelDepth::Depth16:
            err = world1.new_world(in_->effect_ref, width, height,
                                   PF_NewWorldFlag_CLEAR_PIXELS | PF_NewWorldFlag_DEEP_PIXELS,
                                   &stamp_);
            break;
        default:
            err = world2_->PF_NewWorld(in_->effect_ref, width, height, 1, PF_PixelFormat_ARGB128,
                                       &stamp_);
            break;
    }
    if (err == PF_Err_NONE) {
        image = imageOf(stamp_);
        std::memset(&stampBlock_, 0, sizeof stampBlock_);
        stampBlock_.src = &stamp_;
    }
    return err;
}

int32_t HostRenderAdapter::disposeStampImage(HostImage&) {
    return suites_.worldSuite().dispose_world(in_->effect_ref, &stamp_);
}

PF_SampPB HostRenderAdapter::areaBlock(int32_t radius) {
    PF_SampPB block;
    std::memset(&block, 0, sizeof block);
    block.src = &layer_.u.ld.world;
    block.x_radius = radius;
    block.y_radius = radius;
    return block;
}

int32_t HostRenderAdapter::areaSample(const PixelImage&, int32_t x, int32_t y, int32_t radius,
                                      Pixel8& out) {
    const PF_SampPB block = areaBlock(radius);
    return suites_.sampling8Suite().area_sample(in_->effect_ref, x, y, &block, &out);
}
int32_t HostRenderAdapter::areaSample(const PixelImage&, int32_t x, int32_t y, int32_t radius,
                                      Pixel16& out) {
    const PF_SampPB block = areaBlock(radius);
    return suites_.sampling16Suite().area_sample16(in_->effect_ref, x, y, &block, &out);
}
int32_t HostRenderAdapter::areaSample(const PixelImage&, int32_t x, int32_t y, int32_t radius,
                                      PixelFloat& out) {
    const PF_SampPB block = areaBlock(radius);
    return suites_.samplingFloatSuite().area_sample_float(in_->effect_ref, x, y, &block, &out);
}

namespace {

// One host sample per position, through the suite's function taken once per row.
template <class P, class SampleFunction>
PF_Err sampleRow(SampleFunction sample, PF_ProgPtr effect, const PF_SampPB* block, const int32_t* u,
                 const int32_t* v, int32_t count, P* out) {
    for (int32_t k = 0; k < count; ++k) {
        if (const PF_Err err = sample(effect, u[k], v[k], block, &out[k]))
            return err;
    }
    return PF_Err_NONE;
}

}  // namespace

int32_t HostRenderAdapter::subpixelSampleRow(const PixelImage&, const int32_t* u, const int32_t* v,
                                             int32_t count, Pixel8* out) {
    return sampleRow(suites_.sampling8Suite().subpixel_sample, in_->effect_ref, &stampBlock_, u, v,
                     count, out);
}
int32_t HostRenderAdapter::subpixelSampleRow(const PixelImage&, const int32_t* u, const int32_t* v,
                                             int32_t count, Pixel16* out) {
    return sampleRow(suites_.sampling16Suite().subpixel_sample16, in_->effect_ref, &stampBlock_, u,
                     v, count, out);
}
int32_t HostRenderAdapter::subpixelSampleRow(const PixelImage&, const int32_t* u, const int32_t* v,
                                             int32_t count, PixelFloat* out) {
    return sampleRow(suites_.samplingFloatSuite().subpixel_sample_float, in_->effect_ref,
                     &stampBlock_, u, v, count, out);
}

int32_t HostRenderAdapter::checkoutPath(uint32_t pathId, PathSource*& path) {
    PF_PathOutlinePtr outline = nullptr;
    const PF_Err err = suites_.pathQuerySuite().PF_CheckoutPath(
        in_->effect_ref, pathId, in_->current_time, in_->time_step, in_->time_scale, &outline);
    path_.attach(outline);
    path = &path_;
    return err;
}

int32_t HostRenderAdapter::checkinPath(uint32_t pathId) {
    return suites_.pathQuerySuite().PF_CheckinPath(in_->effect_ref, pathId, 0, path_.outline());
}

int32_t HostRenderAdapter::acquireColorService() {
    const void* suite = nullptr;
    const PF_Err err =
        acquireSuiteWithMessage(in_, out_, kPFColorFloatSuite, 1, LOAD_MESSAGE, &suite);
    color_ = static_cast<const PF_ColorCallbacksFloatSuite1*>(suite);
    return err;
}

int32_t HostRenderAdapter::releaseColorService() {
    color_ = nullptr;
    return releaseSuiteWithMessage(in_, out_, kPFColorFloatSuite, 1, RELEASE_MESSAGE);
}

int32_t HostRenderAdapter::rgbToHls(const PixelFloat& rgb, HlsPixel& hls) {
    PF_PixelFloat pixel = rgb;
    PF_HLS_PixelFloat value{};
    const PF_Err err = color_->RGBtoHLS(in_->effect_ref, &pixel, value);
    hls = HlsPixel{value[0], value[1], value[2]};
    return err;
}

int32_t HostRenderAdapter::hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) {
    PF_HLS_PixelFloat value{hls.hue, hls.lightness, hls.saturation};
    return color_->HLStoRGB(in_->effect_ref, value, &rgb);
}

int32_t HostRenderAdapter::reportProgress(int32_t current, int32_t total) {
    return in_->inter.progress(in_->effect_ref, current, total);
}

PF_Err handleSmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
    SuiteCache suites(in_data->pica_basicP);
    HostRenderAdapter host(in_data, out_data, extra, suites);
    return renderFrame(host);
}

}  // namespace mst
