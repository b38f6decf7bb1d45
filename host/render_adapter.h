// Backs the render core's host operations with the host's calls for one smart render.
#pragma once

#include "core/render_host.h"
#include "host/suite_cache.h"
#include "host_api/suites.h"

namespace mst {

// The mask path as the host's path data service sees it.
class HostPathSource final : public PathSource {
  public:
    HostPathSource(SuiteCache& suites, PF_ProgPtr effect) : suites_(suites), effect_(effect) {}
    void attach(PF_PathOutlinePtr outline) { outline_ = outline; }
    PF_PathOutlinePtr outline() const { return outline_; }
    int32_t isOpen(bool& open) override;
    int32_t segmentCount(int32_t& count) override;
    int32_t prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) override;
    int32_t segmentLength(int32_t index, SegmentPrep prep, double& length) override;
    int32_t evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x, double& y,
                            double& dx, double& dy) override;
    int32_t releaseSegment(int32_t index, SegmentPrep prep) override;

  private:
    SuiteCache& suites_;
    PF_ProgPtr effect_;
    PF_PathOutlinePtr outline_ = nullptr;
};

class HostRenderAdapter final : public RenderHost {
  public:
    HostRenderAdapter(PF_InData* in, PF_OutData* out, PF_SmartRenderExtra* extra,
                      SuiteCache& suites);

    const MathFunctions& math() const override { return math_; }
    const FrameParams* frameParams() override;
    int32_t checkoutInput(HostImage& image) override;
    int32_t checkoutOutput(HostImage& image) override;
    int32_t acquireWorldService() override;
    int32_t releaseWorldService() override;
    int32_t inputPixelFormat(uint32_t& formatCode) override;
    int32_t copyInputToOutput() override;
    int32_t clearOutput() override;
    int32_t checkoutLayer(HostImage& image) override;
    int32_t checkinLayer() override;
    int32_t pollAbort() override;
    int32_t createStampImage(PixelDepth depth, int32_t width, int32_t height,
                             HostImage& image) override;
    int32_t disposeStampImage(HostImage& image) override;
    int32_t areaSample(const PixelImage& layer, int32_t x, int32_t y, int32_t radius,
                       Pixel8& out) override;
    int32_t areaSample(const PixelImage& layer, int32_t x, int32_t y, int32_t radius,
                       Pixel16& out) override;
    int32_t areaSample(const PixelImage& layer, int32_t x, int32_t y, int32_t radius,
                       PixelFloat& out) override;
    int32_t subpixelSampleRow(const PixelImage& stamp, const int32_t* u, const int32_t* v,
                              int32_t count, Pixel8* out) override;
    int32_t subpixelSampleRow(const PixelImage& stamp, const int32_t* u, const int32_t* v,
                              int32_t count, Pixel16* out) override;
    int32_t subpixelSampleRow(const PixelImage& stamp, const int32_t* u, const int32_t* v,
                              int32_t count, PixelFloat* out) override;
    int32_t checkoutPath(uint32_t pathId, PathSource*& path) override;
    int32_t checkinPath(uint32_t pathId) override;
    int32_t acquireColorService() override;
    int32_t releaseColorService() override;
    int32_t rgbToHls(const PixelFloat& rgb, HlsPixel& hls) override;
    int32_t hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) override;
    int32_t reportProgress(int32_t current, int32_t total) override;

  private:
    PF_SampPB areaBlock(int32_t radius);

    PF_InData* in_;
    PF_OutData* out_;
    PF_SmartRenderExtra* extra_;
    SuiteCache& suites_;
    MathFunctions math_;
    PF_EffectWorld* input_ = nullptr;
    PF_EffectWorld* output_ = nullptr;
    const PF_WorldSuite2* world2_ = nullptr;
    const PF_ColorCallbacksFloatSuite1* color_ = nullptr;
    PF_ParamDef layer_{};
    PF_EffectWorld stamp_{};
    PF_SampPB stampBlock_{};
    HostPathSource path_;
};

}  // namespace mst
