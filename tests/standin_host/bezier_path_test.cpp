#include "standin_host/bezier_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace mst {
namespace {

constexpr int32_t FREQUENCY = 100;

// Prepares one segment, reads its length and gives the table back.
double measure(BezierPath& path, int32_t index, int32_t frequency = FREQUENCY) {
    SegmentPrep prep = nullptr;
    EXPECT_EQ(path.prepareSegment(index, frequency, prep), ERR_NONE) << "segment " << index;
    double length = -1.0;
    EXPECT_EQ(path.segmentLength(index, prep, length), ERR_NONE) << "segment " << index;
    EXPECT_EQ(path.releaseSegment(index, prep), ERR_NONE) << "segment " << index;
    return length;
}

double measureAll(BezierPath& path, int32_t frequency = FREQUENCY) {
    int32_t count = 0;
    EXPECT_EQ(path.segmentCount(count), ERR_NONE);
    double total = 0.0;
    for (int32_t i = 0; i < count; ++i)
        total += measure(path, i, frequency);
    return total;
}

struct Sample {
    double x, y, dx, dy;
};

Sample evaluate(BezierPath& path, int32_t index, double distance) {
    SegmentPrep prep = nullptr;
    Sample s{};
    EXPECT_EQ(path.prepareSegment(index, FREQUENCY, prep), ERR_NONE);
    EXPECT_EQ(path.evaluateSegment(prep, index, distance, s.x, s.y, s.dx, s.dy), ERR_NONE)
        << "segment " << index << " distance " << distance;
    EXPECT_EQ(path.releaseSegment(index, prep), ERR_NONE);
    return s;
}

TEST(BezierPathTest, StraightCubicsMeasureTheirChord) {
    struct Case {
        const char* name;
        PathPoint start;
        CubicSegment segment;
        double length;
    };
    const Case cases[] = {
        {"controls at thirds", {0, 0}, {{2, 8.0 / 3}, {4, 16.0 / 3}, {6, 8}}, 10.0},
        // The speed varies along this one (x = 10 t^3), the chords still add up to the line.
        {"controls on the start", {0, 0}, {{0, 0}, {0, 0}, {10, 0}}, 10.0},
        {"controls on the ends", {5, -3}, {{5, -3}, {5, 7}, {5, 7}}, 10.0},
        {"zero length", {4, 4}, {{4, 4}, {4, 4}, {4, 4}}, 0.0},
    };
    for (const Case& c : cases) {
        BezierPath path(c.start, {c.segment}, false);
        EXPECT_NEAR(measure(path, 0), c.length, 1e-9) << c.name;
    }
}

TEST(BezierPathTest, CircleLengthFromQuarterArcs) {
    constexpr double R = 50.0;
    const double circumference = 2.0 * std::numbers::pi * R;
    auto circle = makeCirclePath(100.0, 80.0, R);
    // Four cubic arcs are 1.403e-4 longer than the circle; 100 chords per quarter lose
    // about (pi/200)^2 / 24 = 1.028e-5 of that (the cubic's speed is not quite uniform), so
    // frequency 100 lands 1.300e-4 above 2 pi r.
    const double fine = measureAll(*circle, 100000) / circumference - 1.0;
    const double coarse = measureAll(*circle) / circumference - 1.0;
    EXPECT_NEAR(fine, 1.403e-4, 0.001e-4);
    EXPECT_NEAR(coarse, 1.300e-4, 0.001e-4);
    EXPECT_NEAR(fine - coarse, std::numbers::pi * std::numbers::pi / 40000.0 / 24.0, 0.003e-5);
    // Frequency 1 is the single chord of each quarter.
    EXPECT_NEAR(measure(*circle, 0, 1), R * std::numbers::sqrt2, 1e-12);
}

TEST(BezierPathTest, EvaluatesAlongALine) {
    // (0,0) -> (6,8): length 10, direction (0.6, 0.8), dB/dt = (6, 8) everywhere.
    auto line = makePolylinePath({{0, 0}, {6, 8}}, false);
    struct Case {
        const char* name;
        double distance;
        double x, y;
    };
    const Case cases[] = {
        {"start", 0.0, 0.0, 0.0},        {"inside", 2.5, 1.5, 2.0},
        {"end", 10.0, 6.0, 8.0},         {"before start", -5.0, -3.0, -4.0},
        {"beyond end", 12.5, 7.5, 10.0},
    };
    for (const Case& c : cases) {
        const Sample s = evaluate(*line, 0, c.distance);
        EXPECT_NEAR(s.x, c.x, 1e-9) << c.name << " at " << c.distance;
        EXPECT_NEAR(s.y, c.y, 1e-9) << c.name << " at " << c.distance;
        EXPECT_NEAR(s.dx, 6.0, 1e-9) << c.name << " at " << c.distance;
        EXPECT_NEAR(s.dy, 8.0, 1e-9) << c.name << " at " << c.distance;
    }
}

TEST(BezierPathTest, InvertsTheArcLengthTable) {
    // x = 10 t^3: a parameter taken as distance / length would land far from x = distance.
    BezierPath path({0, 0}, {{{0, 0}, {0, 0}, {10, 0}}}, false);
    for (double d : {0.5, 1.0, 2.7, 5.0, 9.9}) {
        const Sample s = evaluate(path, 0, d);
        EXPECT_NEAR(s.x, d, 1e-3) << "distance " << d;
        EXPECT_EQ(s.y, 0.0) << "distance " << d;
        EXPECT_GT(s.dx, 0.0) << "distance " << d;
    }
}

TEST(BezierPathTest, ExtrapolatesAlongEndTangentsWhenTheDerivativeVanishes) {
    // Controls on their end points: dB/dt is zero at both ends, the direction is not.
    BezierPath path({0, 0}, {{{0, 0}, {10, 0}, {10, 0}}}, false);
    const Sample before = evaluate(path, 0, -2.0);
    EXPECT_NEAR(before.x, -2.0, 1e-12);
    EXPECT_EQ(before.dx, 0.0);
    const Sample beyond = evaluate(path, 0, 13.0);
    EXPECT_NEAR(beyond.x, 13.0, 1e-9);
    EXPECT_EQ(beyond.y, 0.0);
    // A point-sized segment has no direction: it stays on its point.
    BezierPath dot({3, 4}, {{{3, 4}, {3, 4}, {3, 4}}}, false);
    const Sample off = evaluate(dot, 0, -1.0);
    EXPECT_EQ(off.x, 3.0);
    EXPECT_EQ(off.y, 4.0);
}

TEST(BezierPathTest, QuarterArcMidpointAndTangent) {
    constexpr double R = 20.0;
    auto circle = makeCirclePath(0.0, 0.0, R);
    const double half = measure(*circle, 0) / 2.0;
    const Sample s = evaluate(*circle, 0, half);
    // By symmetry the middle of the first arc is t = 0.5, on the circle at 45 degrees, and
    // the path runs from east towards south (down on screen): direction (-1, 1).
    EXPECT_NEAR(s.x, R / std::numbers::sqrt2, 1e-9);
    EXPECT_NEAR(s.y, R / std::numbers::sqrt2, 1e-9);
    EXPECT_LT(s.dx, 0.0);
    EXPECT_NEAR(s.dx, -s.dy, 1e-9);
}

TEST(BezierPathTest, SegmentNumbering) {
    struct Case {
        const char* name;
        std::vector<PathPoint> points;
        bool closed;
        int32_t segments;
    };
    const Case cases[] = {
        {"open polyline", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false, 3},
        {"closed square adds its closing side", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true, 4},
        {"closed square ending on its start",
         {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}},
         true,
         4},
        {"single point", {{1, 1}}, true, 0},
        {"no points", {}, false, 0},
    };
    for (const Case& c : cases) {
        auto path = makePolylinePath(c.points, c.closed);
        bool open = !c.closed;
        int32_t count = -1;
        EXPECT_EQ(path->isOpen(open), ERR_NONE);
        EXPECT_EQ(open, !c.closed) << c.name;
        EXPECT_EQ(path->segmentCount(count), ERR_NONE);
        EXPECT_EQ(count, c.segments) << c.name;
    }

    // The closing side is the last segment: from (0, 10) back to (0, 0), length 10.
    auto square = makePolylinePath({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);
    EXPECT_NEAR(measureAll(*square), 40.0, 1e-9);
    const Sample from = evaluate(*square, 3, 0.0);
    const Sample to = evaluate(*square, 3, 10.0);
    EXPECT_NEAR(from.x, 0.0, 1e-12);
    EXPECT_NEAR(from.y, 10.0, 1e-12);
    EXPECT_NEAR(to.x, 0.0, 1e-12);
    EXPECT_NEAR(to.y, 0.0, 1e-12);
    EXPECT_LT(to.dy, 0.0);

    // A caller's own curved closing segment is kept, nothing is added after it.
    auto circle = makeCirclePath(5.0, 5.0, 2.0);
    int32_t count = 0;
    EXPECT_EQ(circle->segmentCount(count), ERR_NONE);
    EXPECT_EQ(count, 4);
    const Sample closing = evaluate(*circle, 3, measure(*circle, 3));
    EXPECT_NEAR(closing.x, 7.0, 1e-12);
    EXPECT_NEAR(closing.y, 5.0, 1e-12);
}

TEST(BezierPathTest, PrepLedgerAndHandleChecks) {
    auto path = makePolylinePath({{0, 0}, {10, 0}, {10, 10}}, false);
    auto other = makePolylinePath({{0, 0}, {10, 0}}, false);
    SegmentPrep first = nullptr;
    SegmentPrep second = nullptr;
    SegmentPrep foreign = nullptr;
    ASSERT_EQ(path->prepareSegment(0, FREQUENCY, first), ERR_NONE);
    ASSERT_EQ(path->prepareSegment(1, FREQUENCY, second), ERR_NONE);
    ASSERT_EQ(other->prepareSegment(0, FREQUENCY, foreign), ERR_NONE);
    EXPECT_EQ(path->livePreps(), 2);
    EXPECT_EQ(other->livePreps(), 1);

    double length = 0.0, x = 0.0, y = 0.0, dx = 0.0, dy = 0.0;
    struct Misuse {
        const char* name;
        SegmentPrep prep;
        int32_t index;
    };
    const Misuse misuses[] = {
        {"null prep", nullptr, 0},
        {"prep of another segment", second, 0},
        {"prep of another path", foreign, 0},
        {"index outside the path", first, 2},
    };
    for (const Misuse& m : misuses) {
        EXPECT_EQ(path->segmentLength(m.index, m.prep, length), ERR_BAD_CALLBACK_PARAM) << m.name;
        EXPECT_EQ(path->evaluateSegment(m.prep, m.index, 1.0, x, y, dx, dy), ERR_BAD_CALLBACK_PARAM)
            << m.name;
        EXPECT_EQ(path->releaseSegment(m.index, m.prep), ERR_BAD_CALLBACK_PARAM) << m.name;
    }
    // A refused release keeps the table live, so the ledger still shows it.
    EXPECT_EQ(path->livePreps(), 2);

    EXPECT_EQ(path->releaseSegment(0, first), ERR_NONE);
    EXPECT_EQ(path->livePreps(), 1);
    EXPECT_EQ(path->releaseSegment(0, first), ERR_BAD_CALLBACK_PARAM) << "released twice";
    EXPECT_EQ(path->segmentLength(0, first, length), ERR_BAD_CALLBACK_PARAM) << "after release";
    EXPECT_EQ(path->releaseSegment(1, second), ERR_NONE);
    EXPECT_EQ(other->releaseSegment(0, foreign), ERR_NONE);
    EXPECT_EQ(path->livePreps(), 0);
    EXPECT_EQ(other->livePreps(), 0);
}

TEST(BezierPathTest, PrepareRefusesBadArguments) {
    auto path = makePolylinePath({{0, 0}, {10, 0}}, false);
    auto empty = makePolylinePath({}, true);
    struct Case {
        const char* name;
        BezierPath* path;
        int32_t index;
        int32_t frequency;
    };
    const Case cases[] = {
        {"negative index", path.get(), -1, FREQUENCY},
        {"index past the end", path.get(), 1, FREQUENCY},
        {"frequency 0", path.get(), 0, 0},
        {"negative frequency", path.get(), 0, -100},
        {"frequency too large", path.get(), 0, MAX_ARC_LENGTH_FREQUENCY + 1},
        {"path without segments", empty.get(), 0, FREQUENCY},
    };
    int sentinel = 0;
    for (const Case& c : cases) {
        SegmentPrep prep = &sentinel;
        EXPECT_EQ(c.path->prepareSegment(c.index, c.frequency, prep), ERR_BAD_CALLBACK_PARAM)
            << c.name;
        EXPECT_EQ(prep, nullptr) << c.name;
        EXPECT_EQ(c.path->livePreps(), 0) << c.name;
    }
}

TEST(BezierPathTest, NonFiniteInputsStayDefined) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    BezierPath broken({0, 0}, {{{nan, 1}, {inf, 2}, {10, -inf}}, {{1, 1}, {2, 2}, {nan, nan}}},
                      true);
    int32_t count = 0;
    ASSERT_EQ(broken.segmentCount(count), ERR_NONE);
    ASSERT_EQ(count, 3);  // NaN never equals the start: a closing line is added
    for (int32_t index = 0; index < count; ++index) {
        for (double d : {-1.0, 0.0, 3.0, 1e300, nan, inf, -inf}) {
            double x = 0.0, y = 0.0, dx = 0.0, dy = 0.0;
            SegmentPrep prep = nullptr;
            ASSERT_EQ(broken.prepareSegment(index, FREQUENCY, prep), ERR_NONE);
            EXPECT_EQ(broken.evaluateSegment(prep, index, d, x, y, dx, dy), ERR_NONE)
                << "segment " << index << " distance " << d;
            EXPECT_EQ(broken.releaseSegment(index, prep), ERR_NONE);
        }
    }
    EXPECT_EQ(broken.livePreps(), 0);

    // On a finite path a NaN distance reads the start; infinite ones run off along the ends.
    auto line = makePolylinePath({{0, 0}, {10, 0}}, false);
    const Sample atNan = evaluate(*line, 0, nan);
    EXPECT_EQ(atNan.x, 0.0);
    EXPECT_EQ(atNan.y, 0.0);
    const Sample far = evaluate(*line, 0, inf);
    EXPECT_EQ(far.x, inf);
    EXPECT_EQ(far.y, 0.0);
}

}  // namespace
}  // namespace mst
