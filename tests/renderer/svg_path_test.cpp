// SVG path data becomes one subpath of cubic segments, as the host's masks are.
#include <gtest/gtest.h>

#include <cmath>

#include "renderer/errors.h"
#include "renderer/svg_path.h"

namespace mst::test {
namespace {

struct Expected {
    const char* name;
    const char* data;
    PathPoint start;
    bool closed;
    std::vector<CubicSegment> segments;
};

// A line's cubic has its controls at thirds.
CubicSegment line(PathPoint a, PathPoint b) {
    return {{a.x + (b.x - a.x) / 3.0, a.y + (b.y - a.y) / 3.0},
            {a.x + 2.0 * (b.x - a.x) / 3.0, a.y + 2.0 * (b.y - a.y) / 3.0},
            b};
}

std::string describe(const CubicSegment& s) {
    std::ostringstream o;
    o << "(" << s.control1.x << "," << s.control1.y << ") (" << s.control2.x << "," << s.control2.y
      << ") (" << s.end.x << "," << s.end.y << ")";
    return o.str();
}

void expectSegment(const CubicSegment& got, const CubicSegment& want, const std::string& where) {
    const double eps = 1e-12;
    EXPECT_NEAR(got.control1.x, want.control1.x, eps) << where << describe(got);
    EXPECT_NEAR(got.control1.y, want.control1.y, eps) << where << describe(got);
    EXPECT_NEAR(got.control2.x, want.control2.x, eps) << where << describe(got);
    EXPECT_NEAR(got.control2.y, want.control2.y, eps) << where << describe(got);
    EXPECT_EQ(got.end.x, want.end.x) << where << describe(got);
    EXPECT_EQ(got.end.y, want.end.y) << where << describe(got);
}

TEST(SvgPath, EveryCommandBecomesTheCubicsItDraws) {
    const Expected cases[] = {
        {"lines",
         "M 1 2 L 7 2 L 7 11",
         {1, 2},
         false,
         {line({1, 2}, {7, 2}), line({7, 2}, {7, 11})}},
        {"relative, horizontal and vertical",
         "m 1 2 h 6 v 9 l -3 -3",
         {1, 2},
         false,
         {line({1, 2}, {7, 2}), line({7, 2}, {7, 11}), line({7, 11}, {4, 8})}},
        {"closed by Z",
         "M 0 0 L 10 0 L 10 10 Z",
         {0, 0},
         true,
         {line({0, 0}, {10, 0}), line({10, 0}, {10, 10})}},
        {"cubic", "M 0 0 C 1 2 3 4 5 6", {0, 0}, false, {{{1, 2}, {3, 4}, {5, 6}}}},
        {"smooth cubic reflects the last control",
         "M 0 0 C 0 3 6 3 6 0 S 12 -3 12 0",
         {0, 0},
         false,
         {{{0, 3}, {6, 3}, {6, 0}}, {{6, -3}, {12, -3}, {12, 0}}}},
        {"quadratic raised exactly", "M 0 0 Q 3 6 6 0", {0, 0}, false, {{{2, 4}, {4, 4}, {6, 0}}}},
        {"smooth quadratic reflects the control",
         "M 0 0 Q 3 6 6 0 T 12 0",
         {0, 0},
         false,
         {{{2, 4}, {4, 4}, {6, 0}}, {{8, -4}, {10, -4}, {12, 0}}}},
        {"arc with a zero radius is a line",
         "M 0 0 A 0 5 0 0 1 9 3",
         {0, 0},
         false,
         {line({0, 0}, {9, 3})}},
        {"commas and no blanks", "M1,2L7,2", {1, 2}, false, {line({1, 2}, {7, 2})}},
    };
    for (const Expected& c : cases) {
        const MaskPath p = parseSvgPath(c.data);
        EXPECT_EQ(p.start.x, c.start.x) << c.name;
        EXPECT_EQ(p.start.y, c.start.y) << c.name;
        EXPECT_EQ(p.closed, c.closed) << c.name;
        ASSERT_EQ(p.segments.size(), c.segments.size()) << c.name;
        for (size_t i = 0; i < c.segments.size(); ++i) {
            expectSegment(p.segments[i], c.segments[i],
                          std::string(c.name) + " segment " + std::to_string(i) + ": ");
        }
    }
}

PathPoint cubicAt(PathPoint p0, const CubicSegment& s, double t) {
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * p0.x + b * s.control1.x + c * s.control2.x + d * s.end.x,
            a * p0.y + b * s.control1.y + c * s.control2.y + d * s.end.y};
}

struct ArcCase {
    const char* name;
    const char* data;
    double cx, cy, rx, ry, rotation;  // the ellipse the arc lies on (rotation in radians)
    size_t pieces;
};

// Distance from the ellipse in units of its radius: 0 on it.
double offEllipse(const ArcCase& c, PathPoint p) {
    const double dx = p.x - c.cx, dy = p.y - c.cy;
    const double u = (dx * std::cos(c.rotation) + dy * std::sin(c.rotation)) / c.rx;
    const double v = (-dx * std::sin(c.rotation) + dy * std::cos(c.rotation)) / c.ry;
    return std::fabs(std::sqrt(u * u + v * v) - 1.0);
}

TEST(SvgPath, ArcsBecomeQuarterPiecesOnTheirEllipse) {
    const double pi = 3.141592653589793;
    const ArcCase cases[] = {
        {"half circle", "M 10 0 A 10 10 0 0 1 -10 0", 0, 0, 10, 10, 0, 2},
        {"quarter circle", "M 10 0 A 10 10 0 0 1 0 10", 0, 0, 10, 10, 0, 1},
        {"large arc, three quarters", "M 10 0 A 10 10 0 1 0 0 10", 0, 0, 10, 10, 0, 3},
        {"rotated ellipse", "M 20 10 A 20 10 90 0 1 20 50", 20, 30, 20, 10, pi / 2, 2},
    };
    for (const ArcCase& c : cases) {
        const MaskPath p = parseSvgPath(c.data);
        ASSERT_EQ(p.segments.size(), c.pieces) << c.name;
        PathPoint from = p.start;
        for (const CubicSegment& s : p.segments) {
            EXPECT_LT(offEllipse(c, s.end), 1e-12) << c.name << ": piece ends on the ellipse";
            for (double t : {0.25, 0.5, 0.75}) {
                EXPECT_LT(offEllipse(c, cubicAt(from, s, t)), 3e-4) << c.name << " t=" << t;
            }
            from = s.end;
        }
    }
}

TEST(SvgPath, ALineEqualsTheStandInHostsOwnPolyline) {
    const MaskPath p = parseSvgPath("M 8 8 L 40 8 L 40 28 L 8 28 Z");
    auto typed = makeMask(p);
    auto built = makePolylinePath({{8, 8}, {40, 8}, {40, 28}, {8, 28}}, true);
    int32_t n = 0, m = 0;
    typed->segmentCount(n);
    built->segmentCount(m);
    ASSERT_EQ(n, 4) << "the closing line is the mask's own";
    ASSERT_EQ(n, m);
    for (int32_t i = 0; i < n; ++i) {
        PathPoint a[4], b[4];
        typed->segmentPoints(i, a);
        built->segmentPoints(i, b);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(a[k].x, b[k].x) << i << "/" << k;
            EXPECT_EQ(a[k].y, b[k].y) << i << "/" << k;
        }
    }
}

TEST(SvgPath, ScalingMovesEveryPoint) {
    const MaskPath p = scaledPath(parseSvgPath("M 2 4 C 6 8 10 12 14 16"), 0.5, 0.25);
    EXPECT_EQ(p.start.x, 1);
    EXPECT_EQ(p.start.y, 1);
    EXPECT_EQ(p.segments[0].control1.x, 3);
    EXPECT_EQ(p.segments[0].control2.y, 3);
    EXPECT_EQ(p.segments[0].end.x, 7);
}

struct BadPath {
    const char* name;
    const char* data;
    const char* message;
};

TEST(SvgPath, BadDataIsAUsageErrorSayingWhy) {
    const BadPath cases[] = {
        {"empty", "  ", "empty"},
        {"stray letter", "M 0 0 L 10 x", "unexpected 'x' at character 12"},
        {"no moveto first", "L 3 3", "must begin with a moveto"},
        {"missing number", "M 0 0 L 10", "lacks numbers"},
        {"two subpaths", "M 0 0 L 1 1 M 3 3 L 4 4", "holds 2 subpaths"},
        {"drawing after Z starts a second subpath", "M 0 0 L 5 0 Z L 3 3", "holds 2 subpaths"},
        {"moveto only", "M 3 3", "draws nothing"},
        {"coordinate beyond double", "M 0 0 L 1e400 0", "too large"},
        {"arc from a coordinate beyond double", "M 1e400 5 a 1 1 8 1 0 2 1", "too large"},
        {"relative coordinates adding up beyond double", "M 1e308 0 l 1e308 0 l 1 1", "too large"},
    };
    for (const BadPath& c : cases) {
        try {
            parseSvgPath(c.data);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.name << ": " << e.what();
        }
    }
}

TEST(SvgPath, AMovetoWithNothingAfterItIsNotASubpath) {
    EXPECT_EQ(parseSvgPath("M 0 0 L 4 0 M 9 9").segments.size(), 1u);
}

}  // namespace
}  // namespace mst::test
