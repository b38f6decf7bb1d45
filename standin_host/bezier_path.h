// A mask path over plain memory: cubic Bézier segments measured by per-segment arc-length
// tables, standing in for the host's path query and path data services.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/render_host.h"

namespace mst {

struct PathPoint {
    double x = 0.0;
    double y = 0.0;
};

// One cubic from the previous segment's end point: two control points and its own end point.
struct CubicSegment {
    PathPoint control1;
    PathPoint control2;
    PathPoint end;
};

// Table samples per segment accepted by prepareSegment: 1 … MAX_ARC_LENGTH_FREQUENCY.
constexpr int32_t MAX_ARC_LENGTH_FREQUENCY = 1 << 20;

// Segments are numbered in the order given. A closed path whose last end point is not exactly
// its start point gets one more segment, a straight line back to the start, numbered last; when
// the data already ends on the start point (a curved closing segment given by the caller) no
// segment is added.
//
// Arc length inside a segment comes from a table of `frequency` chords between the points at
// t = 0, 1/frequency, …, 1. Evaluation finds the chord holding the distance and interpolates t
// linearly along it, then returns the cubic's point and first derivative dB/dt at that t.
// Distances outside 0 … length continue on the straight line along the segment's end tangent
// (start tangent below 0, end tangent beyond the length), with the derivative of that end; a
// segment without any direction (all four points equal) stays on its point. A NaN distance is
// evaluated at the start of the segment.
//
// Only + − × ÷ and sqrt are used, so results are the same on every IEEE double platform.
// NaN or infinite coordinates give NaN or infinite results, never a crash or an endless loop.
class BezierPath : public PathSource {
  public:
    BezierPath(PathPoint start, std::vector<CubicSegment> segments, bool closed);
    ~BezierPath() override;
    BezierPath(const BezierPath&) = delete;
    BezierPath& operator=(const BezierPath&) = delete;

    int32_t isOpen(bool& open) override;
    int32_t segmentCount(int32_t& count) override;
    // 516 for an index outside the path or a frequency outside 1 … MAX_ARC_LENGTH_FREQUENCY;
    // 4 when the table cannot be allocated. prep is null after any failure.
    int32_t prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) override;
    // 516 unless prep is a live table of this path made for segment `index`.
    int32_t segmentLength(int32_t index, SegmentPrep prep, double& length) override;
    int32_t evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x, double& y,
                            double& dx, double& dy) override;
    // 516, and the table stays live, unless prep is a live table of this path for `index`.
    int32_t releaseSegment(int32_t index, SegmentPrep prep) override;

    // Tables prepared and not yet released: 0 once every caller has given its tables back.
    int32_t livePreps() const { return static_cast<int32_t>(preps_.size()); }

    // Control points of segment `index` (start, control1, control2, end); index must be valid.
    void segmentPoints(int32_t index, PathPoint points[4]) const;

  private:
    struct Prep;
    Prep* findLive(SegmentPrep prep, int32_t index) const;

    PathPoint start_;
    std::vector<CubicSegment> segments_;
    bool closed_;
    std::vector<std::unique_ptr<Prep>> preps_;
};

// Straight lines through `points`, each a cubic with its controls at thirds (so t is
// proportional to distance). Closed: the line back to the first point is the last segment,
// unless the last point already equals the first. Fewer than two points make no segment.
std::unique_ptr<BezierPath> makePolylinePath(const std::vector<PathPoint>& points, bool closed);

// A closed circle of four cubic quarter arcs, starting at (cx + r, cy) and running towards
// +y first (clockwise on a y-down screen). The cubics lie up to 2.7e-4 r outside the true
// circle, so the curve is about 1.4e-4 longer than 2πr.
std::unique_ptr<BezierPath> makeCirclePath(double cx, double cy, double r);

}  // namespace mst
