// What the render core asks of its host. The core reaches the host only through these
// operations: the plug-in backs them with After Effects calls (host/), tests and the stand-in
// host back them with plain memory. Every operation returns an error code, 0 for success,
// unless it says otherwise; a missing host service may also be thrown as an int32_t code.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/frame_params.h"
#include "pixel/pixel_types.h"

namespace mst {

// Error codes the core produces itself; host codes pass through unchanged.
constexpr int32_t ERR_NONE = 0;
constexpr int32_t ERR_OUT_OF_MEMORY = 4;
constexpr int32_t ERR_INTERNAL_STRUCT_DAMAGED = 512;
constexpr int32_t ERR_BAD_CALLBACK_PARAM = 516;
constexpr int32_t ERR_SURFACE_MISMATCH = 255;

// An image as the host hands it out: its row length is in bytes.
struct HostImage {
    void* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowBytes = 0;
};

// The double-precision math the core uses where results could differ between libraries. In
// the plug-in these are the host's math callbacks, so the host decides the last bits.
struct MathFunctions {
    double (*atan2)(double, double);
    double (*cos)(double);
    double (*sin)(double);
    double (*pow)(double, double);
    double (*fmod)(double, double);
    double (*ceil)(double);
    double (*floor)(double);
    double (*sqrt)(double);
};
// The standard library's functions.
const MathFunctions& standardMath();

// The host colour service's HLS pixel: 16.16 values, lightness 0..65536 (1.0).
struct HlsPixel {
    int32_t hue = 0;
    int32_t lightness = 0;
    int32_t saturation = 0;
};

// Opaque per-segment arc-length table, owned by the path source.
using SegmentPrep = void*;

// One mask path: segments numbered from 0; a closed path's last segment ends where segment 0
// begins. Points and arc lengths are in frame pixels, x right, y down.
class PathSource {
  public:
    virtual ~PathSource() = default;
    virtual int32_t isOpen(bool& open) = 0;
    virtual int32_t segmentCount(int32_t& count) = 0;
    // Makes the arc-length table of one segment; the caller gives it back with releaseSegment.
    virtual int32_t prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) = 0;
    virtual int32_t segmentLength(int32_t index, SegmentPrep prep, double& length) = 0;
    // Point and first derivative at `distance` along the segment from its start.
    virtual int32_t evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x,
                                    double& y, double& dx, double& dy) = 0;
    virtual int32_t releaseSegment(int32_t index, SegmentPrep prep) = 0;
};

class RenderHost {
  public:
    virtual ~RenderHost() = default;

    virtual const MathFunctions& math() const = 0;

    // H1: the frame's record, or null when the host's handle yields none.
    virtual const FrameParams* frameParams() = 0;
    // H2, H3: borrowed for the call; no check-in follows.
    virtual int32_t checkoutInput(HostImage& image) = 0;
    virtual int32_t checkoutOutput(HostImage& image) = 0;
    // H4 and its H15: the world service used for the pixel format.
    virtual int32_t acquireWorldService() = 0;
    virtual int32_t releaseWorldService() = 0;
    // H5: the checked-out input's pixel format code.
    virtual int32_t inputPixelFormat(uint32_t& formatCode) = 0;
    // H6: the whole input copied into the output. H7: the whole output transparent black.
    virtual int32_t copyInputToOutput() = 0;
    virtual int32_t clearOutput() = 0;
    // H8, H12: the Layer parameter at the frame's time; no pixels when no layer is chosen.
    virtual int32_t checkoutLayer(HostImage& layer) = 0;
    virtual int32_t checkinLayer() = 0;
    // H9: 0, or the code that cancels the frame.
    virtual int32_t pollAbort() = 0;
    // H10, H13: an image of `depth` with every channel 0.
    virtual int32_t createStampImage(PixelDepth depth, int32_t width, int32_t height,
                                     HostImage& image) = 0;
    virtual int32_t disposeStampImage(HostImage& image) = 0;
    // H11: the layer's colour averaged over [x - radius, x + radius] x [y - radius, y + radius],
    // all in 16.16.
    virtual int32_t areaSample(const PixelImage& layer, int32_t x, int32_t y, int32_t radius,
                               Pixel8& out) = 0;
    virtual int32_t areaSample(const PixelImage& layer, int32_t x, int32_t y, int32_t radius,
                               Pixel16& out) = 0;
    virtual int32_t areaSample(const PixelImage& layer, int32_t x, int32_t y, int32_t radius,
                               PixelFloat& out) = 0;
    // The stamp's colour at each 16.16 position (u[k], v[k]), interpolated between pixels, into
    // out[k], in order: one host sample per position. Stops at the first failure and returns
    // its code. Rows of positions keep the per-pixel path free of a call into the host
    // interface for every pixel.
    virtual int32_t subpixelSampleRow(const PixelImage& stamp, const int32_t* u, const int32_t* v,
                                      int32_t count, Pixel8* out) = 0;
    virtual int32_t subpixelSampleRow(const PixelImage& stamp, const int32_t* u, const int32_t* v,
                                      int32_t count, Pixel16* out) = 0;
    virtual int32_t subpixelSampleRow(const PixelImage& stamp, const int32_t* u, const int32_t* v,
                                      int32_t count, PixelFloat* out) = 0;
    // The mask path at the frame's time; H14 checks it in, marked unchanged.
    virtual int32_t checkoutPath(uint32_t pathId, PathSource*& path) = 0;
    virtual int32_t checkinPath(uint32_t pathId) = 0;
    // The colour service: acquire fails with 516 (and the host shows a message).
    virtual int32_t acquireColorService() = 0;
    virtual int32_t releaseColorService() = 0;
    virtual int32_t rgbToHls(const PixelFloat& rgb, HlsPixel& hls) = 0;
    virtual int32_t hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) = 0;
    // A non-zero result ends the frame with that code.
    virtual int32_t reportProgress(int32_t current, int32_t total) = 0;
};

}  // namespace mst
