#include "renderer/svg_path.h"

#include <2geom/bezier-curve.h>
#include <2geom/elliptical-arc.h>
#include <2geom/path-sink.h>
#include <2geom/path.h>
#include <2geom/pathvector.h>
#include <2geom/svg-path-parser.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>

#include "renderer/errors.h"

namespace mst {
namespace {

constexpr double HALF_PI = 1.5707963267948966;

PathPoint toPoint(const Geom::Point& p) {
    return {p[Geom::X], p[Geom::Y]};
}

// The same arithmetic as the stand-in host's straight segments, so a polygon typed as path
// data and one built in code are the same mask to the last bit.
CubicSegment straight(PathPoint from, PathPoint to) {
    const double ex = to.x - from.x;
    const double ey = to.y - from.y;
    return {{from.x + ex / 3.0, from.y + ey / 3.0},
            {from.x + 2.0 * ex / 3.0, from.y + 2.0 * ey / 3.0},
            to};
}

void appendArc(const Geom::EllipticalArc& arc, std::vector<CubicSegment>& out) {
    const PathPoint from = toPoint(arc.initialPoint());
    const PathPoint to = toPoint(arc.finalPoint());
    if (arc.isChord()) {  // a zero radius: SVG draws the straight line
        out.push_back(straight(from, to));
        return;
    }
    // Pieces of the unit circle, mapped onto the arc's ellipse.
    const Geom::Affine unit = arc.unitCircleTransform();
    const double sweep = arc.sweepAngle();
    // At most a full turn, four pieces. An arc between coordinates too large to measure has
    // a NaN sweep: one piece, whose NaN points refuse the path below.
    const double quarters = std::fabs(sweep) / HALF_PI;
    const int pieces =
        quarters > 1 ? static_cast<int>(std::ceil(std::min(quarters, 4.0) - 1e-9)) : 1;
    const double step = sweep / pieces;
    const double h = 4.0 / 3.0 * std::tan(step / 4.0);
    double a0 = arc.initialAngle().radians();
    for (int i = 0; i < pieces; ++i) {
        const double a1 = a0 + step;
        const Geom::Point p0(std::cos(a0), std::sin(a0));
        const Geom::Point p3(std::cos(a1), std::sin(a1));
        const Geom::Point c1 = p0 + h * Geom::Point(-p0[Geom::Y], p0[Geom::X]);
        const Geom::Point c2 = p3 - h * Geom::Point(-p3[Geom::Y], p3[Geom::X]);
        // The last piece ends exactly on the arc's end point, so segments stay joined.
        const PathPoint end = i + 1 == pieces ? to : toPoint(p3 * unit);
        out.push_back({toPoint(c1 * unit), toPoint(c2 * unit), end});
        a0 = a1;
    }
}

void appendCurve(const Geom::Curve& curve, std::vector<CubicSegment>& out) {
    if (const auto* arc = dynamic_cast<const Geom::EllipticalArc*>(&curve)) {
        appendArc(*arc, out);
        return;
    }
    const auto* bezier = dynamic_cast<const Geom::BezierCurve*>(&curve);
    if (bezier == nullptr)
        throw UsageError("the path data holds a segment of an unknown kind");
    const PathPoint p0 = toPoint(bezier->controlPoint(0));
    switch (bezier->order()) {
        case 1:
            out.push_back(straight(p0, toPoint(bezier->controlPoint(1))));
            return;
        case 2: {
            // Degree raising: exact, the same curve with the same timing.
            const PathPoint q = toPoint(bezier->controlPoint(1));
            const PathPoint p2 = toPoint(bezier->controlPoint(2));
            out.push_back({{p0.x + 2.0 / 3.0 * (q.x - p0.x), p0.y + 2.0 / 3.0 * (q.y - p0.y)},
                           {p2.x + 2.0 / 3.0 * (q.x - p2.x), p2.y + 2.0 / 3.0 * (q.y - p2.y)},
                           p2});
            return;
        }
        case 3:
            out.push_back({toPoint(bezier->controlPoint(1)), toPoint(bezier->controlPoint(2)),
                           toPoint(bezier->controlPoint(3))});
            return;
        default:
            throw UsageError("the path data holds a segment of an unknown kind");
    }
}

// lib2geom says only "parse error"; point at the likeliest cause.
std::string parseHint(const std::string& data) {
    static const std::string ALLOWED = "MmLlHhVvCcSsQqTtAaZz0123456789+-.eE,";
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (!std::isspace(c) && ALLOWED.find(static_cast<char>(c)) == std::string::npos) {
            return "unexpected '" + std::string(1, data[i]) + "' at character " +
                   std::to_string(i + 1);
        }
    }
    const size_t first = data.find_first_not_of(" \t\r\n,");
    if (first != std::string::npos && data[first] != 'M' && data[first] != 'm') {
        return "it must begin with a moveto (M or m)";
    }
    return "a command lacks numbers or has too many (M, L, T take x y; H, V one number; "
           "S, Q two points; C three; A rx ry rotation large-arc sweep x y)";
}

bool finite(PathPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

const char* const TOO_LARGE = "the path data has a coordinate too large to be a number";

// Hands the parser's commands on to lib2geom's path builder until a number is not finite (one
// beyond double, or a relative coordinate that overflows), and drops the rest: the builder
// throws at the next segment (no path joins at infinity), and lib2geom 1.2 leaks the curves in
// flight when its sink throws. Such a path is refused for the coordinate anyway.
class FiniteSink final : public Geom::PathSink {
  public:
    explicit FiniteSink(Geom::PathSink& next) : next_(next) {}
    bool overflowed() const { return overflowed_; }

    void moveTo(Geom::Point const& p) override {
        if (pass({p}))
            next_.moveTo(p);
    }
    void lineTo(Geom::Point const& p) override {
        if (pass({p}))
            next_.lineTo(p);
    }
    void curveTo(Geom::Point const& c0, Geom::Point const& c1, Geom::Point const& p) override {
        if (pass({c0, c1, p}))
            next_.curveTo(c0, c1, p);
    }
    void quadTo(Geom::Point const& c, Geom::Point const& p) override {
        if (pass({c, p}))
            next_.quadTo(c, p);
    }
    void arcTo(Geom::Coord rx, Geom::Coord ry, Geom::Coord angle, bool largeArc, bool sweep,
               Geom::Point const& p) override {
        if (pass({p, Geom::Point(rx, ry), Geom::Point(angle, 0)}))
            next_.arcTo(rx, ry, angle, largeArc, sweep, p);
    }
    void closePath() override {
        if (!overflowed_)
            next_.closePath();
    }
    void flush() override {
        if (!overflowed_)
            next_.flush();
    }
    bool backspace() override { return !overflowed_ && next_.backspace(); }

  private:
    bool pass(std::initializer_list<Geom::Point> points) {
        for (const Geom::Point& p : points)
            overflowed_ = overflowed_ || !finite(toPoint(p));
        return !overflowed_;
    }

    Geom::PathSink& next_;
    bool overflowed_ = false;
};

}  // namespace

MaskPath parseSvgPath(const std::string& data) {
    if (data.find_first_not_of(" \t\r\n") == std::string::npos) {
        throw UsageError("the path data is empty");
    }
    Geom::PathVector paths;
    Geom::PathBuilder builder(paths);
    FiniteSink sink(builder);
    try {
        Geom::parse_svg_path(data.c_str(), sink);
    } catch (const Geom::SVGPathParseError&) {
        throw UsageError("cannot parse the path data: " + parseHint(data));
    } catch (const std::exception& e) {
        throw UsageError(std::string("cannot parse the path data: ") + e.what());
    }
    if (sink.overflowed())
        throw UsageError(TOO_LARGE);

    // A moveto with nothing after it draws nothing and is not counted as a subpath.
    const Geom::Path* drawn = nullptr;
    int count = 0;
    for (const Geom::Path& p : paths) {
        if (p.size_open() > 0) {
            drawn = &p;
            ++count;
        }
    }
    if (count == 0)
        throw UsageError("the path data draws nothing: it needs a segment after its M");
    if (count > 1) {
        throw UsageError("the path data holds " + std::to_string(count) +
                         " subpaths; a mask is exactly one (one M, then segments, Z only at "
                         "the end)");
    }

    MaskPath mask;
    mask.start = toPoint(drawn->initialPoint());
    mask.closed = drawn->closed();
    for (size_t i = 0; i < drawn->size_open(); ++i)
        appendCurve((*drawn)[i], mask.segments);
    bool ok = finite(mask.start);
    for (const CubicSegment& s : mask.segments) {
        ok = ok && finite(s.control1) && finite(s.control2) && finite(s.end);
    }
    if (!ok)
        throw UsageError(TOO_LARGE);
    return mask;
}

MaskPath scaledPath(const MaskPath& path, double sx, double sy) {
    auto scale = [sx, sy](PathPoint p) { return PathPoint{p.x * sx, p.y * sy}; };
    MaskPath out;
    out.start = scale(path.start);
    out.closed = path.closed;
    for (const CubicSegment& s : path.segments) {
        out.segments.push_back({scale(s.control1), scale(s.control2), scale(s.end)});
    }
    return out;
}

std::unique_ptr<BezierPath> makeMask(const MaskPath& path) {
    return std::make_unique<BezierPath>(path.start, path.segments, path.closed);
}

}  // namespace mst
