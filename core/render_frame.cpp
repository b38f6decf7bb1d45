#include "core/render_frame.h"

#include "core/layer_stamp.h"
#include "core/path_walk.h"
#include "core/stamp_rasteriser.h"

namespace mst {
namespace {

// What the frame holds from the host. release() gives it back in the fixed order (layer,
// colour service, stamp image, path, world service); the destructor does the same when a
// thrown code unwinds through the driver.
class FrameHoldings {
  public:
    explicit FrameHoldings(RenderHost& host) : host_(host) {}
    ~FrameHoldings() {
        try {
            release(ERR_NONE);
        } catch (...) {
            // Nothing more can be given back; the thrown code is already on its way out.
        }
    }
    FrameHoldings(const FrameHoldings&) = delete;
    FrameHoldings& operator=(const FrameHoldings&) = delete;

    // Gives the Layer parameter back, if it is out; its result is not examined.
    void checkinLayer() {
        if (layerCheckedOut) {
            layerCheckedOut = false;
            host_.checkinLayer();
        }
    }

    // Releases everything still held. A failure becomes the result only when `err` is 0.
    int32_t release(int32_t err) {
        auto record = [&err](int32_t rc) {
            if (err == 0)
                err = rc;
        };
        checkinLayer();
        if (instances.colorServiceHeld) {
            instances.colorServiceHeld = false;
            record(host_.releaseColorService());
        }
        if (stampCreated) {
            stampCreated = false;
            record(host_.disposeStampImage(stampImage));
        }
        if (instances.pathCheckedOut) {
            instances.pathCheckedOut = false;
            record(host_.checkinPath(pathId));
        }
        if (worldServiceHeld) {
            worldServiceHeld = false;
            record(host_.releaseWorldService());
        }
        return err;
    }

    bool worldServiceHeld = false;
    bool layerCheckedOut = false;
    bool stampCreated = false;
    HostImage stampImage;
    uint32_t pathId = 0;
    InstanceStageHoldings instances;

  private:
    RenderHost& host_;
};

PixelImage viewOf(const HostImage& image, PixelDepth depth) {
    return viewOfRows(image.data, image.width, image.height, image.rowBytes, depth);
}

bool nothingToDraw(const FrameParams& p) {
    // Time is exactly 0 or 1 at the ends of its range. A negative Number is no count at all:
    // walking it would visit billions of empty positions.
    return p.pathId == 0 || p.stampCount <= 0 || p.timeFraction == 0.0 || p.timeFraction == 1.0;
}

}  // namespace

int32_t renderFrame(RenderHost& host) {
    const FrameParams* record = host.frameParams();
    if (record == nullptr)
        return ERR_BAD_CALLBACK_PARAM;
    const FrameParams params = *record;
    const MathFunctions& math = host.math();

    FrameHoldings held(host);
    held.pathId = params.pathId;
    int32_t err = ERR_NONE;

    HostImage input;
    HostImage output;
    uint32_t format = PIXEL_FORMAT_CODE_INVALID;
    if (err == 0)
        err = host.checkoutInput(input);
    if (err == 0)
        err = host.checkoutOutput(output);
    if (err == 0) {
        err = host.acquireWorldService();
        held.worldServiceHeld = err == 0;
    }
    if (err == 0)
        err = host.inputPixelFormat(format);

    FrameSurfaces surfaces;
    if (!depthFromFormatCode(format, surfaces.depth)) {
        return held.release(ERR_BAD_CALLBACK_PARAM);
    }
    surfaces.input = viewOf(input, surfaces.depth);
    surfaces.output = viewOf(output, surfaces.depth);
    if (surfaces.input.pixelsPerRow - surfaces.input.width < 0 ||
        surfaces.output.pixelsPerRow - surfaces.input.width < 0 ||
        surfaces.output.height != surfaces.input.height) {
        return held.release(ERR_SURFACE_MISMATCH);
    }

    if (params.background == static_cast<int32_t>(BackgroundMode::OnOriginal)) {
        err = host.copyInputToOutput();
    } else {
        // A failed clear ends the frame like a failed copy: stamps drawn over an output that
        // was never cleared would be a wrong picture reported as success.
        err = host.clearOutput();
    }
    if (err != 0 || nothingToDraw(params))
        return held.release(err);

    // The frame's stamp: both size rules start from ceil(stampWidth).
    HostImage layer;
    if (err == 0) {
        err = host.checkoutLayer(layer);
        held.layerCheckedOut = err == 0;
    }
    if (err == 0)
        err = host.pollAbort();

    // A layer with no pixels (or no area) is no layer: the circle is drawn instead.
    const bool layerStampActive = layer.data != nullptr && layer.width > 0 && layer.height > 0 &&
                                  params.shape == static_cast<int32_t>(ShapeKind::Layer);
    StampSize size;
    LayerSampling sampling;
    if (layerStampActive) {
        if (err == 0) {
            size = layerStampSize(params.stampWidth, layer.width, layer.height, math);
            sampling = makeLayerSampling(params.stampWidth, layer.width, layer.height);
        }
    } else {
        size = shapeStampSize(params.stampWidth, params.edgeThickness, math);
    }
    const PolygonConstants polygon = makePolygonConstants(params.polygonSides, math);

    Stamp stamp;
    if (err == 0) {
        err = host.createStampImage(surfaces.depth, size.width, size.height, held.stampImage);
        held.stampCreated = err == 0;
        stamp.image = viewOf(held.stampImage, surfaces.depth);
        stamp.halfWidth = size.width / 2;
        stamp.halfHeight = size.height / 2;
    }
    if (err == 0) {
        if (layerStampActive) {
            sampleLayerStamp(stamp, viewOf(layer, surfaces.depth), sampling, host, err);
        } else {
            rasteriseStamp(stamp, params, polygon, math);
        }
    }
    held.checkinLayer();

    walkPath(params, surfaces, stamp, layerStampActive, host, held.instances, err);
    return held.release(err);
}

}  // namespace mst
