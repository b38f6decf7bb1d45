// SVG path data as a mask: one subpath of cubic Bézier segments, as the host's masks are.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standin_host/bezier_path.h"

namespace mst {

struct MaskPath {
    PathPoint start;
    std::vector<CubicSegment> segments;
    bool closed = false;
};

// Parses SVG path data (M, L, H, V, C, S, Q, T, A, Z and their relative forms) with lib2geom.
// Every segment becomes a cubic: a line gets its controls at thirds (so time runs
// proportional to distance, as on the stand-in's polylines), a quadratic is raised exactly,
// an elliptical arc is split into pieces of at most 90° each approximated by the standard
// tangent-length cubic (endpoints on the arc, error below 3e-4 of the radius). A path ending
// in Z is closed; its closing line is left implicit, as a mask's is.
// Throws UsageError for data that does not parse, holds more or less than one subpath,
// draws no segment, or has a coordinate that is not finite.
MaskPath parseSvgPath(const std::string& data);

// The path with every point's x multiplied by sx and y by sy (a draft resolution, a
// different image size).
MaskPath scaledPath(const MaskPath& path, double sx, double sy);

// The stand-in host's mask for the path.
std::unique_ptr<BezierPath> makeMask(const MaskPath& path);

}  // namespace mst
