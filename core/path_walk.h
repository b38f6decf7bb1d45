// Places the stamps along the mask path: arc-length measuring, spacing, the start offset on
// closed paths, and the Length/Time window.
#pragma once

#include <cstdint>

#include "core/frame_params.h"
#include "core/instance_splat.h"
#include "core/render_host.h"
#include "core/stamp.h"

namespace mst {

// Every segment table is prepared with this many samples.
constexpr int32_t ARC_LENGTH_FREQUENCY = 100;
// Position 1 of a closed path at Offset 0 sits this far before the closing point.
constexpr double START_OFFSET_MARGIN = 0.1;

// Indices firstIndex..lastIndex are drawn.
struct VisibleWindow {
    int32_t visibleCount = 0;
    int32_t firstIndex = 0;
    int32_t lastIndex = 0;
};
VisibleWindow computeVisibleWindow(int32_t stampCount, double lengthFraction, double timeFraction,
                                   const MathFunctions& math);

// Rotation in radians, not reduced to any range: the tangent's direction plus the stamp angle,
// or the stamp angle alone when Fixed Angle is on.
double instanceAngle(double tangentX, double tangentY, double stampAngle, int32_t fixedAngle,
                     const MathFunctions& math);

// What the instance stage holds when it returns (or a thrown code passes through it); the
// driver's clean-up gives these back.
struct InstanceStageHoldings {
    bool pathCheckedOut = false;
    bool colorServiceHeld = false;
};

// Receives the walk's output: once before the first instance, then each visible instance in
// index order. Both may set the running error code.
class InstanceSink {
  public:
    virtual ~InstanceSink() = default;
    virtual void beginInstances(int32_t& err) = 0;
    virtual void drawInstance(const StampInstance& instance, int32_t& err) = 0;
};

// The walk alone: checks the path out, measures it and hands each visible instance to the sink.
// Every segment table it prepares is released before it returns.
void walkPathInstances(const FrameParams& params, RenderHost& host, InstanceSink& sink,
                       InstanceStageHoldings& held, int32_t& err);

// The frame's instance stage: the walk with the colouring and splatting of each instance.
void walkPath(const FrameParams& params, const FrameSurfaces& surfaces, const Stamp& stamp,
              bool layerStampActive, RenderHost& host, InstanceStageHoldings& held, int32_t& err);

}  // namespace mst
