#include "core/path_walk.h"

#include <algorithm>

namespace mst {

namespace {

int32_t saturate32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// One prepared segment table, released on every way out. A failed release becomes the running
// code only when none was recorded before.
class PreparedSegment {
  public:
    PreparedSegment(PathSource& path, int32_t index, int32_t& err)
        : path_(path), index_(index), err_(err) {
        if (err_ == 0) {
            err_ = path_.prepareSegment(index_, ARC_LENGTH_FREQUENCY, prep_);
            made_ = err_ == 0;
        }
    }
    ~PreparedSegment() {
        if (!made_)
            return;
        try {
            const int32_t rc = path_.releaseSegment(index_, prep_);
            if (err_ == 0)
                err_ = rc;
        } catch (...) {
            // A release that throws while another code unwinds must not end the process.
        }
    }
    PreparedSegment(const PreparedSegment&) = delete;
    PreparedSegment& operator=(const PreparedSegment&) = delete;

    double length() {
        double len = 0.0;
        if (err_ == 0)
            err_ = path_.segmentLength(index_, prep_, len);
        return len;
    }
    void evaluate(double distance, StampInstance& out) {
        if (err_ == 0) {
            err_ = path_.evaluateSegment(prep_, index_, distance, out.x, out.y, out.tangentX,
                                         out.tangentY);
        }
    }

  private:
    PathSource& path_;
    int32_t index_;
    int32_t& err_;
    SegmentPrep prep_ = nullptr;
    bool made_ = false;
};

}  // namespace

VisibleWindow computeVisibleWindow(int32_t stampCount, double lengthFraction, double timeFraction,
                                   const MathFunctions& math) {
    VisibleWindow w;
    w.visibleCount = truncToInt(math.floor(stampCount * lengthFraction + 0.5));
    // visibleCount + N - 1 is an int32 sum in range; widened so no input can overflow it.
    const int64_t span = int64_t{w.visibleCount} + stampCount - 1;
    const int64_t f = truncToInt(math.floor(static_cast<double>(span) * timeFraction + 0.5));
    w.firstIndex = saturate32(f + 1 - w.visibleCount);
    w.lastIndex = saturate32(f + 1);
    return w;
}

double instanceAngle(double tangentX, double tangentY, double stampAngle, int32_t fixedAngle,
                     const MathFunctions& math) {
    constexpr double DEGREES_TO_RADIANS = 0.017453292519943295;
    constexpr double HALF_PI = 1.5707963267948966;
    if (fixedAngle != 0)
        return stampAngle * DEGREES_TO_RADIANS;
    // atan2(-tx, ty) + pi/2 is the tangent's direction up to a whole turn.
    return (math.atan2(-tangentX, tangentY) + stampAngle * DEGREES_TO_RADIANS) + HALF_PI;
}

void walkPathInstances(const FrameParams& params, RenderHost& host, InstanceSink& sink,
                       InstanceStageHoldings& held, int32_t& err) {
    const MathFunctions& math = host.math();
    const int32_t count = params.stampCount;

    PathSource* path = nullptr;
    if (err == 0) {
        err = host.checkoutPath(params.pathId, path);
        held.pathCheckedOut = err == 0;
    }
    // A host that checks out no outline for the mask leaves nothing to walk.
    if (err != 0 || path == nullptr)
        return;

    bool open = true;
    int32_t segments = 0;
    if (err == 0)
        err = path->isOpen(open);
    if (err == 0)
        err = path->segmentCount(segments);

    // Measuring: lengths added in segment order from 0.0.
    double total = 0.0;
    for (int32_t i = 0; i < segments && err == 0; ++i) {
        PreparedSegment segment(*path, i, err);
        const double len = segment.length();
        if (err == 0)
            total += len;
    }

    double spacing;
    if (count == 1) {
        spacing = 2.0 * total;
    } else if (open) {
        spacing = total / (static_cast<double>(count) - 1);  // ends at the path's end
    } else {
        spacing = total / count;  // once round the loop
    }

    double startOffset = (1 - params.offsetFraction) * (total - START_OFFSET_MARGIN);
    int32_t startSegment = 0;
    if (open) {
        startOffset = 0.0;
    } else {
        double sum = 0.0;
        for (int32_t i = 0; i < segments && err == 0; ++i) {
            PreparedSegment segment(*path, i, err);
            const double len = segment.length();
            if (err != 0)
                break;
            sum += len;
            if (startOffset <= sum) {
                startSegment = i;
                startOffset = len - (sum - startOffset);
                break;
            }
        }
    }

    if (err == 0)
        err = host.reportProgress(0, count);
    const VisibleWindow window =
        computeVisibleWindow(count, params.lengthFraction, params.timeFraction, math);
    if (err != 0)
        return;

    sink.beginInstances(err);
    if (err != 0)
        return;

    // n + 1 passes: the last revisits the start segment, so positions continue across the
    // closing point, and an open path's end position is still reached.
    double position = startOffset;
    int64_t reached = 0;
    bool done = false;
    for (int32_t pass = 0; pass <= segments && err == 0; ++pass) {
        int32_t seg = startSegment + pass;
        if (seg >= segments)
            seg -= segments;
        {
            PreparedSegment segment(*path, seg, err);
            const double len = segment.length();
            if (err != 0)
                break;

            // A position equal to the segment's length belongs to the next segment.
            while (len > position) {
                ++reached;
                if (reached < window.firstIndex) {
                    position += spacing;
                    continue;
                }
                if (reached > window.lastIndex) {
                    done = true;
                    break;
                }
                StampInstance instance;
                instance.index = saturate32(reached);
                if (open && reached == count) {
                    // The last stamp of an open path sits exactly at the path's end.
                    PreparedSegment last(*path, segments - 1, err);
                    const double lastLength = last.length();
                    last.evaluate(lastLength, instance);
                } else {
                    segment.evaluate(position, instance);
                }
                if (err != 0)
                    return;
                instance.angle = instanceAngle(instance.tangentX, instance.tangentY,
                                               params.stampAngle, params.fixedAngle, math);
                sink.drawInstance(instance, err);
                if (err != 0)
                    return;
                position += spacing;
                err = host.reportProgress(instance.index, count);
                if (err != 0)
                    return;
                if (reached >= count)
                    break;
            }
            position -= len;
        }  // the pass's table is released here, before the report
        if (err == 0)
            err = host.reportProgress(saturate32(reached), count);
        if (reached >= count || done)
            break;
    }
}

namespace {

// Colours and splats each instance in the frame's depth.
template <class P>
class SplatSink final : public InstanceSink {
  public:
    // `surfaces` is copied: the sink fills in whether the output has any transparent pixel.
    SplatSink(const FrameParams& params, const FrameSurfaces& surfaces, const Stamp& stamp,
              bool layerStampActive, RenderHost& host, InstanceStageHoldings& held)
        : params_(params),
          surfaces_(surfaces),
          stamp_(stamp),
          layer_(layerStampActive),
          host_(host),
          held_(held) {}

    void beginInstances(int32_t& err) override {
        colors_ = prepareFrameColors<P>(params_, host_, held_.colorServiceHeld, err);
        // The background is in place and nothing is drawn yet; only a frame with instances
        // to draw pays for the look.
        if (err == 0)
            surfaces_.outputVisible = noTransparentPixel<P>(surfaces_.output, surfaces_.input.width,
                                                            surfaces_.input.height);
    }
    void drawInstance(const StampInstance& instance, int32_t& err) override {
        splatInstance(instance, stamp_, surfaces_, colors_, params_, layer_, host_, err);
    }

  private:
    const FrameParams& params_;
    FrameSurfaces surfaces_;
    const Stamp& stamp_;
    bool layer_;
    RenderHost& host_;
    InstanceStageHoldings& held_;
    ColorState<P> colors_;
};

template <class P>
void walkTyped(const FrameParams& params, const FrameSurfaces& surfaces, const Stamp& stamp,
               bool layerStampActive, RenderHost& host, InstanceStageHoldings& held, int32_t& err) {
    SplatSink<P> sink(params, surfaces, stamp, layerStampActive, host, held);
    walkPathInstances(params, host, sink, held, err);
}

}  // namespace

void walkPath(const FrameParams& params, const FrameSurfaces& surfaces, const Stamp& stamp,
              bool layerStampActive, RenderHost& host, InstanceStageHoldings& held, int32_t& err) {
    switch (surfaces.depth) {
        case PixelDepth::Depth8:
            walkTyped<Pixel8>(params, surfaces, stamp, layerStampActive, host, held, err);
            break;
        case PixelDepth::Depth16:
            walkTyped<Pixel16>(params, surfaces, stamp, layerStampActive, host, held, err);
            break;
        case PixelDepth::DepthFloat:
            walkTyped<PixelFloat>(params, surfaces, stamp, layerStampActive, host, held, err);
            break;
    }
}

}  // namespace mst
