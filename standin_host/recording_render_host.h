// The render core's host operations over plain buffers, for the core's tests and benchmarks. It
// records every host operation, keeps a ledger of what is held, and can be told to fail any one
// operation with a chosen code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/render_host.h"
#include "standin_host/owned_image.h"

namespace mst {

enum class Op {
    FrameParams,
    CheckoutInput,
    CheckoutOutput,
    AcquireWorld,
    PixelFormat,
    Copy,
    Clear,
    CheckoutLayer,
    PollAbort,
    CreateStamp,
    AreaSample,
    CheckinLayer,
    DisposeStamp,
    CheckinPath,
    ReleaseWorld,
    CheckoutPath,
    PathIsOpen,
    PathSegmentCount,
    PathPrepare,
    PathLength,
    PathEvaluate,
    PathRelease,
    AcquireColor,
    ReleaseColor,
    RgbToHls,
    HlsToRgb,
    SubpixelSample,
    Progress,
};
const char* opName(Op op);

class RecordingRenderHost : public RenderHost {
  public:
    RecordingRenderHost(PixelDepth depth, int32_t width, int32_t height);
    ~RecordingRenderHost() override;

    // --- what the frame sees -----------------------------------------------------------
    FrameParams params{};
    bool hasParams = true;
    OwnedImage input;
    OwnedImage output;
    std::optional<OwnedImage> layer;   // the Layer parameter; none = no layer chosen
    uint32_t formatCode;               // reported by the pixel format query
    std::unique_ptr<PathSource> path;  // checked out for any non-zero path id
    MathFunctions mathFunctions = standardMath();
    int32_t abortCode = 0;  // returned by the cancel poll
    int64_t maxStampBytes = int64_t{1} << 30;

    // --- failure injection: the nth call (1-based) of `op` returns `code` ----------------
    void failOn(Op op, int32_t code, int nth = 1) { failure_ = Failure{op, code, nth}; }
    // Throws `code` (as a missing service does) from the nth call of `op`.
    void throwOn(Op op, int32_t code, int nth = 1) { failure_ = Failure{op, code, nth, true}; }

    // --- the ledger ---------------------------------------------------------------------
    std::vector<Op> calls;
    std::vector<std::pair<int32_t, int32_t>> progress;
    int callCount(Op op) const;
    int worldServices = 0;
    int colorServices = 0;
    int layersOut = 0;
    int pathsOut = 0;
    int stampImages = 0;
    int livePreps = 0;
    // Empty when nothing is held; otherwise what is.
    std::string held() const;
    // The last stamp image made, kept after disposal for inspection.
    std::optional<OwnedImage> lastStamp;

    // --- RenderHost ---------------------------------------------------------------------
    const MathFunctions& math() const override { return mathFunctions; }
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
    // One sample; the rows above call it per position, so a test can watch every sample.
    virtual int32_t subpixelSample(const PixelImage& stamp, int32_t u, int32_t v, Pixel8& out);
    virtual int32_t subpixelSample(const PixelImage& stamp, int32_t u, int32_t v, Pixel16& out);
    virtual int32_t subpixelSample(const PixelImage& stamp, int32_t u, int32_t v, PixelFloat& out);
    int32_t checkoutPath(uint32_t pathId, PathSource*& path) override;
    int32_t checkinPath(uint32_t pathId) override;
    int32_t acquireColorService() override;
    int32_t releaseColorService() override;
    int32_t rgbToHls(const PixelFloat& rgb, HlsPixel& hls) override;
    int32_t hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) override;
    int32_t reportProgress(int32_t current, int32_t total) override;

    // Records the call; returns the injected code for it, or 0.
    int32_t record(Op op);

  private:
    struct Failure {
        Op op;
        int32_t code;
        int nth;
        bool thrown = false;
    };
    std::optional<Failure> failure_;
    std::vector<std::unique_ptr<OwnedImage>> stamps_;
    std::unique_ptr<PathSource> recordingPath_;
};

}  // namespace mst
