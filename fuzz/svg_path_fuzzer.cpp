// The SVG path data reader on arbitrary text. Findings: a crash or sanitizer report, an
// exception other than the reader's usage error, or a path accepted that breaks the reader's
// promises (at least one segment, every coordinate finite) or that the stand-in host's mask
// does not take as given.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "renderer/errors.h"
#include "renderer/svg_path.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "svg_path fuzzer: %s\n", what);
    std::abort();
}

bool finite(mst::PathPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

bool samePoint(mst::PathPoint a, mst::PathPoint b) {
    return a.x == b.x && a.y == b.y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    mst::MaskPath path;
    try {
        path = mst::parseSvgPath(text);
    } catch (const mst::UsageError&) {
        return 0;
    }
    if (path.segments.empty())
        finding("a path without segments was accepted");
    bool ok = finite(path.start);
    for (const mst::CubicSegment& s : path.segments)
        ok = ok && finite(s.control1) && finite(s.control2) && finite(s.end);
    if (!ok)
        finding("a path with a coordinate that is not finite was accepted");

    // The mask holds the segments as given, plus the closing line when the path is closed
    // away from its start.
    const auto mask = mst::makeMask(path);
    int32_t count = 0;
    mask->segmentCount(count);
    const bool closing = path.closed && !samePoint(path.segments.back().end, path.start);
    if (count != static_cast<int32_t>(path.segments.size()) + (closing ? 1 : 0))
        finding("the mask's segment count differs from the path's");
    mst::PathPoint first[4];
    mask->segmentPoints(0, first);
    if (!samePoint(first[0], path.start) || !samePoint(first[3], path.segments[0].end))
        finding("the mask's first segment is not the path's");
    return 0;
}
