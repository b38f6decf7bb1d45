#include "core/path_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "scene.h"

namespace mst::test {
namespace {

// --- computeVisibleWindow ----------------------------------------------------------------------

// A percentage as the frame record holds it.
constexpr double pct(double percent) {
    return percent * 0.01;
}

TEST(VisibleWindow, FiveStamps) {
    const struct {
        const char* name;
        double length, time;
        VisibleWindow expected;
    } cases[] = {
        {"Length 100 %, Time 50 %: 1 to 6 allowed", pct(100), pct(50), {5, 1, 6}},
        {"Length 40 %, Time 30 %: 1 to 3", pct(40), pct(30), {2, 1, 3}},
        {"Length 0, Time 30 %: only index 2", 0.0, pct(30), {0, 2, 2}},
        {"Length 100 %, Time 1 %: only index 1 of 1..N", pct(100), pct(1), {5, -4, 1}},
        {"Length 100 %, Time 99 %: only index 5 of 1..N", pct(100), pct(99), {5, 5, 10}},
    };
    for (const auto& c : cases) {
        const VisibleWindow w = computeVisibleWindow(5, c.length, c.time, standardMath());
        EXPECT_EQ(w.visibleCount, c.expected.visibleCount) << c.name;
        EXPECT_EQ(w.firstIndex, c.expected.firstIndex) << c.name;
        EXPECT_EQ(w.lastIndex, c.expected.lastIndex) << c.name;
    }
}

TEST(VisibleWindow, LargestCountDoesNotOverflow) {
    // visibleCount + N - 1 is 2^32 - 2 here, past int32.
    const VisibleWindow w = computeVisibleWindow(INT32_MAX, 1.0, 0.5, standardMath());
    EXPECT_EQ(w.visibleCount, INT32_MAX);
    EXPECT_EQ(w.firstIndex, 1);
    EXPECT_EQ(w.lastIndex, INT32_MAX);
}

// --- instanceAngle -----------------------------------------------------------------------------

TEST(InstanceAngle, FollowsThePathOrStaysFixed) {
    constexpr double PI = std::numbers::pi;
    constexpr double DEG = 0.017453292519943295;
    const struct {
        const char* name;
        double tangentX, tangentY, stampAngle;
        int32_t fixedAngle;
        double expected;
    } cases[] = {
        {"path running right", 1.0, 0.0, 0.0, 0, 0.0},
        {"path running right, any speed", 7.5, 0.0, 0.0, 0, 0.0},
        {"path running down", 0.0, 1.0, 0.0, 0, PI / 2},
        {"path running left", -1.0, 0.0, 0.0, 0, PI},
        {"path running up: not reduced into 0..2 pi", 0.0, -1.0, 0.0, 0, -PI / 2},
        {"path running left plus 270 degrees: not reduced", -1.0, 0.0, 270.0, 0, PI + 270.0 * DEG},
        {"derivative (+0, +0) gives the stamp angle plus pi/2", 0.0, 0.0, 30.0, 0,
         30.0 * DEG + PI / 2},
        {"Fixed Angle: the stamp angle alone", 0.0, 1.0, 30.0, 1, 30.0 * DEG},
        {"Fixed Angle 90 is pi/2 whatever the direction", -3.0, 2.0, 90.0, 1, PI / 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(instanceAngle(c.tangentX, c.tangentY, c.stampAngle, c.fixedAngle, standardMath()),
                  c.expected)
            << c.name << ": tangent (" << c.tangentX << ", " << c.tangentY << "), angle "
            << c.stampAngle << ", fixed " << c.fixedAngle;
    }
}

// --- the walk ----------------------------------------------------------------------------------

// Segments of chosen lengths whose points tell where they were taken: x is the segment index
// and y the distance along it, so positions are exact rather than read off a curve. Checks
// that every table it hands out is used only for its own segment and given back once.
class FakePath final : public PathSource {
  public:
    FakePath(std::vector<double> lengths, bool closed)
        : lengths_(std::move(lengths)), closed_(closed) {}

    // What prepareSegment answers for a segment outside the path: this code, or 0 for a
    // segment of length 0.
    int32_t outsideCode = ERR_BAD_CALLBACK_PARAM;
    std::vector<std::string> misuse;
    size_t maxLive = 0;

    // Each point's derivative: unique per segment.
    static double tangentX(int32_t index) { return 1.0 + index; }
    static double tangentY(int32_t index) { return 0.5 * index; }

    size_t liveTables() const { return tables_.size(); }

    int32_t isOpen(bool& open) override {
        open = !closed_;
        return 0;
    }
    int32_t segmentCount(int32_t& count) override {
        count = static_cast<int32_t>(lengths_.size());
        return 0;
    }
    int32_t prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) override {
        if (frequency != ARC_LENGTH_FREQUENCY)
            misuse.push_back("frequency " + std::to_string(frequency));
        if (!inside(index) && outsideCode != 0)
            return outsideCode;
        tables_.push_back(std::make_unique<int32_t>(index));
        prep = tables_.back().get();
        maxLive = std::max(maxLive, tables_.size());
        return 0;
    }
    int32_t segmentLength(int32_t index, SegmentPrep prep, double& length) override {
        if (find(index, prep, "length") == tables_.end())
            return ERR_BAD_CALLBACK_PARAM;
        length = inside(index) ? lengths_[static_cast<size_t>(index)] : 0.0;
        return 0;
    }
    int32_t evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x, double& y,
                            double& dx, double& dy) override {
        if (find(index, prep, "evaluate") == tables_.end())
            return ERR_BAD_CALLBACK_PARAM;
        x = index;
        y = distance;
        dx = tangentX(index);
        dy = tangentY(index);
        return 0;
    }
    int32_t releaseSegment(int32_t index, SegmentPrep prep) override {
        auto it = find(index, prep, "release");
        if (it == tables_.end())
            return ERR_BAD_CALLBACK_PARAM;
        tables_.erase(it);
        return 0;
    }

  private:
    bool inside(int32_t index) const {
        return index >= 0 && static_cast<size_t>(index) < lengths_.size();
    }
    std::vector<std::unique_ptr<int32_t>>::iterator find(int32_t index, SegmentPrep prep,
                                                         const char* what) {
        auto it = std::find_if(tables_.begin(), tables_.end(),
                               [prep](const auto& t) { return t.get() == prep; });
        if (it == tables_.end() || **it != index)
            misuse.push_back(std::string(what) + " of segment " + std::to_string(index) +
                             " with a table not made for it");
        return it != tables_.end() && **it == index ? it : tables_.end();
    }

    std::vector<double> lengths_;
    bool closed_;
    std::vector<std::unique_ptr<int32_t>> tables_;
};

// Keeps every instance, and where in the host's call list each hand-over happened.
class RecordingSink final : public InstanceSink {
  public:
    explicit RecordingSink(const TestHost& host) : host_(host) {}
    std::vector<StampInstance> instances;
    std::vector<size_t> drawnAfterCalls;
    std::vector<size_t> begunAfterCalls;
    int32_t failIndex = 0;
    int32_t failCode = 0;

    void beginInstances(int32_t&) override { begunAfterCalls.push_back(host_.calls.size()); }
    void drawInstance(const StampInstance& instance, int32_t& err) override {
        instances.push_back(instance);
        drawnAfterCalls.push_back(host_.calls.size());
        if (instance.index == failIndex)
            err = failCode;
    }

  private:
    const TestHost& host_;
};

// Up to four segment lengths as a plain value: case tables holding vectors inside vectors
// trip a false maybe-uninitialized warning in GCC 12.
struct Lengths {
    constexpr Lengths(std::initializer_list<double> list) : count(list.size()) {
        std::copy(list.begin(), list.end(), values);
    }
    std::vector<double> vector() const { return {values, values + count}; }
    double values[4]{};
    size_t count;
};

struct WalkSetup {
    Lengths lengths;
    bool closed;
    int32_t number;
    double offset = 0.0;
    double length = 1.0;
    double time = 0.5;
};

std::string describe(const WalkSetup& s) {
    std::ostringstream os;
    os << (s.closed ? "closed" : "open") << " path {";
    for (double l : s.lengths.vector())
        os << ' ' << l;
    os << " }, Number " << s.number << ", Offset " << s.offset << ", Length " << s.length
       << ", Time " << s.time;
    return os.str();
}

// One walk over a FakePath through the recording host.
struct Walk {
    explicit Walk(const WalkSetup& s) : host(PixelDepth::Depth8, 1, 1), sink(host) {
        auto owned = std::make_unique<FakePath>(s.lengths.vector(), s.closed);
        path = owned.get();
        host.path = std::move(owned);
        host.params.pathId = 1;
        host.params.stampCount = s.number;
        host.params.offsetFraction = s.offset;
        host.params.lengthFraction = s.length;
        host.params.timeFraction = s.time;
    }
    void run() { walkPathInstances(host.params, host, sink, held, err); }

    TestHost host;
    FakePath* path;
    RecordingSink sink;
    InstanceStageHoldings held;
    int32_t err = 0;
};

struct Expected {
    int32_t index;
    int32_t segment;
    double distance;
};

struct WalkCase {
    const char* name;
    WalkSetup setup;
    double tolerance;  // 0: exact
    std::vector<Expected> expected;
};

constexpr Lengths SQUARE{10, 10, 10, 10};

const WalkCase WALK_CASES[] = {
    {"closed square, Offset 0: first stamp 0.1 before the closing point",
     {SQUARE, true, 4},
     1e-12,
     {{1, 3, 9.9}, {2, 0, 9.9}, {3, 1, 9.9}, {4, 2, 9.9}}},
    {"closed square, Offset 90 degrees: start 29.925, in segment 2",
     {SQUARE, true, 4, 0.25},
     1e-12,
     {{1, 2, 9.925}, {2, 3, 9.925}, {3, 0, 9.925}, {4, 1, 9.925}}},
    {"closed, Number 1: one stamp at the start offset", {SQUARE, true, 1}, 1e-12, {{1, 3, 9.9}}},
    {"open, Number 1: one stamp at the end of the last segment",
     {{10, 20, 5}, false, 1},
     0.0,
     {{1, 2, 5}}},
    {"open, Number 8: every total / (N - 1) from the start, the last at the end",
     {{10, 20, 5}, false, 8},
     0.0,
     {{1, 0, 0}, {2, 0, 5}, {3, 1, 0}, {4, 1, 5}, {5, 1, 10}, {6, 1, 15}, {7, 2, 0}, {8, 2, 5}}},
    {"open: Offset changes nothing",
     {{10, 20, 5}, false, 8, 0.6},
     0.0,
     {{1, 0, 0}, {2, 0, 5}, {3, 1, 0}, {4, 1, 5}, {5, 1, 10}, {6, 1, 15}, {7, 2, 0}, {8, 2, 5}}},
    {"open: a position equal to a segment's length is drawn once, at 0 of the next",
     {{10, 10}, false, 3},
     0.0,
     {{1, 0, 0}, {2, 1, 0}, {3, 1, 10}}},
    {"open, first segment of length 0: the extra pass finds no room for index N",
     {{0, 10}, false, 2},
     0.0,
     {{1, 1, 0}}},
    {"closed, total below 0.1: negative distances in segment 0",
     {{0.03, 0.02}, true, 2},
     1e-12,
     {{1, 0, -0.05}, {2, 0, -0.025}}},
    {"closed, total 0: every index at -0.1 x (1 - Offset) in segment 0",
     {{0, 0, 0}, true, 3, 0.5},
     0.0,
     {{1, 0, -0.1 * (1 - 0.5)}, {2, 0, -0.1 * (1 - 0.5)}, {3, 0, -0.1 * (1 - 0.5)}}},
    {"window Length 40 %, Time 30 %: indices 1 to 3",
     {{40}, false, 5, 0.0, pct(40), pct(30)},
     0.0,
     {{1, 0, 0}, {2, 0, 10}, {3, 0, 20}}},
    {"window Length 0, Time 30 %: index 2 alone",
     {{40}, false, 5, 0.0, 0.0, pct(30)},
     0.0,
     {{2, 0, 10}}},
    {"window Length 100 %, Time 1 %: index 1 alone",
     {{40}, false, 5, 0.0, 1.0, pct(1)},
     0.0,
     {{1, 0, 0}}},
    {"window Length 100 %, Time 99 %: index 5 alone, at the end",
     {{40}, false, 5, 0.0, 1.0, pct(99)},
     0.0,
     {{5, 0, 40}}},
};

TEST(PathWalk, PlacesStampsAlongThePath) {
    for (const WalkCase& c : WALK_CASES) {
        SCOPED_TRACE(std::string(c.name) + "\n  " + describe(c.setup));
        Walk walk(c.setup);
        walk.run();
        EXPECT_EQ(walk.err, 0);
        ASSERT_EQ(walk.sink.instances.size(), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const StampInstance& got = walk.sink.instances[i];
            const Expected& want = c.expected[i];
            EXPECT_EQ(got.index, want.index) << "instance " << i;
            EXPECT_EQ(got.x, want.segment) << "index " << want.index << ": segment";
            EXPECT_NEAR(got.y, want.distance, c.tolerance) << "index " << want.index;
            EXPECT_EQ(got.tangentX, FakePath::tangentX(want.segment)) << "index " << want.index;
            EXPECT_EQ(got.tangentY, FakePath::tangentY(want.segment)) << "index " << want.index;
            EXPECT_EQ(got.angle, instanceAngle(got.tangentX, got.tangentY, 0.0, 0, standardMath()))
                << "index " << want.index;
        }
        // Skipped positions are not evaluated; colours are prepared once; every table goes back
        // and only an open path's end needs two at once.
        EXPECT_EQ(walk.host.callCount(Op::PathEvaluate), static_cast<int>(c.expected.size()));
        EXPECT_EQ(walk.sink.begunAfterCalls.size(), 1u);
        EXPECT_EQ(walk.path->misuse, std::vector<std::string>{});
        EXPECT_EQ(walk.path->liveTables(), 0u);
        EXPECT_EQ(walk.host.livePreps, 0);
        EXPECT_LE(walk.path->maxLive, c.setup.closed ? 1u : 2u);
        EXPECT_TRUE(walk.held.pathCheckedOut);
        ASSERT_FALSE(walk.host.progress.empty());
        EXPECT_EQ(walk.host.progress.front(), std::make_pair(0, c.setup.number));
    }
}

TEST(PathWalk, ClosedSquarePreparesEachSegmentOnlyAsOftenAsNeeded) {
    Walk walk({SQUARE, true, 4});
    walk.run();
    // 4 to measure, 4 to find the start in segment 3, one per pass for 4 passes.
    EXPECT_EQ(walk.host.callCount(Op::PathPrepare), 12);
    EXPECT_EQ(walk.host.callCount(Op::PathRelease), 12);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {0, 4}, {1, 4}, {1, 4}, {2, 4}, {2, 4}, {3, 4}, {3, 4}, {4, 4}, {4, 4}};
    EXPECT_EQ(walk.host.progress, expected);
}

TEST(PathWalk, ProgressOfThreeStampsOnOneOpenSegment) {
    Walk walk({{10}, false, 3});
    walk.run();
    const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 3}, {1, 3}, {2, 3},
                                                               {2, 3}, {3, 3}, {3, 3}};
    EXPECT_EQ(walk.host.progress, expected);
    EXPECT_EQ(walk.sink.instances.size(), 3u);
}

TEST(PathWalk, FirstPositionBeyondTheWindowEndsTheWalk) {
    // Window 1 to 3 of 5 on one segment of 40: index 4 at 30 ends it, no further pass.
    Walk walk({{40}, false, 5, 0.0, pct(40), pct(30)});
    walk.run();
    EXPECT_EQ(walk.sink.instances.size(), 3u);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}};
    EXPECT_EQ(walk.host.progress, expected);
    EXPECT_EQ(walk.host.callCount(Op::PathPrepare), 2);  // measure, one pass
}

TEST(PathWalk, StartOffsetAtASegmentsEndStartsTheNextSegment) {
    // Total 10.1: the start offset 10.1 - 0.1 is exactly 10.0, the end of segment 0, so the
    // first stamp sits at distance 0 of segment 1 and the pass over segment 0 draws nothing.
    Walk walk({{10, 0.1}, true, 2});
    walk.run();
    ASSERT_EQ(walk.sink.instances.size(), 2u);
    EXPECT_EQ(walk.sink.instances[0].x, 1.0);
    EXPECT_EQ(walk.sink.instances[0].y, 0.0);
    EXPECT_EQ(walk.sink.instances[1].x, 0.0);
    EXPECT_NEAR(walk.sink.instances[1].y, 4.95, 1e-12);
    const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 2}, {0, 2}, {1, 2},
                                                               {1, 2}, {2, 2}, {2, 2}};
    EXPECT_EQ(walk.host.progress, expected);
}

TEST(PathWalk, PathWithoutSegmentsAsksForSegmentZeroOnce) {
    const struct {
        const char* name;
        int32_t outsideCode;
        int32_t expectedErr;
    } cases[] = {
        {"the source refuses segment 0", ERR_BAD_CALLBACK_PARAM, ERR_BAD_CALLBACK_PARAM},
        {"the source gives segment 0 length 0", 0, 0},
    };
    for (const auto& c : cases) {
        Walk walk({{}, false, 3});
        walk.path->outsideCode = c.outsideCode;
        walk.run();
        EXPECT_EQ(walk.err, c.expectedErr) << c.name;
        EXPECT_TRUE(walk.sink.instances.empty()) << c.name;
        EXPECT_EQ(walk.host.callCount(Op::PathPrepare), 1) << c.name;
        EXPECT_EQ(walk.path->liveTables(), 0u) << c.name;
        EXPECT_EQ(walk.path->misuse, std::vector<std::string>{}) << c.name;
    }
}

// --- failures ------------------------------------------------------------------------------------

enum class Scenario {
    ClosedSquare,
    // Open with the last stamp reached on the extra pass: prepare 8, length 8, evaluate 8 and
    // release 7 belong to the end-of-path table.
    OpenThree,
};

WalkSetup setupOf(Scenario s) {
    if (s == Scenario::ClosedSquare)
        return {SQUARE, true, 4};
    return {{10, 20, 5}, false, 8};
}

struct FailureCase {
    const char* name;
    Scenario scenario;
    Op op;
    int nth;
};

const FailureCase FAILURE_CASES[] = {
    {"path check-out", Scenario::ClosedSquare, Op::CheckoutPath, 1},
    {"open query", Scenario::ClosedSquare, Op::PathIsOpen, 1},
    {"segment count", Scenario::ClosedSquare, Op::PathSegmentCount, 1},
    {"prepare while measuring", Scenario::ClosedSquare, Op::PathPrepare, 2},
    {"length while measuring", Scenario::ClosedSquare, Op::PathLength, 3},
    {"release while measuring", Scenario::ClosedSquare, Op::PathRelease, 1},
    {"prepare in the start search", Scenario::ClosedSquare, Op::PathPrepare, 6},
    {"length in the start search", Scenario::ClosedSquare, Op::PathLength, 7},
    {"release where the start search stops", Scenario::ClosedSquare, Op::PathRelease, 8},
    {"first progress report", Scenario::ClosedSquare, Op::Progress, 1},
    {"prepare of a walk pass", Scenario::ClosedSquare, Op::PathPrepare, 10},
    {"length of a walk pass", Scenario::ClosedSquare, Op::PathLength, 10},
    {"evaluation", Scenario::ClosedSquare, Op::PathEvaluate, 2},
    {"release of a walk pass", Scenario::ClosedSquare, Op::PathRelease, 9},
    {"progress after a stamp", Scenario::ClosedSquare, Op::Progress, 2},
    {"progress at a segment end", Scenario::ClosedSquare, Op::Progress, 3},
    {"last progress report", Scenario::ClosedSquare, Op::Progress, 9},
    {"prepare of the open path's end", Scenario::OpenThree, Op::PathPrepare, 8},
    {"length of the open path's end", Scenario::OpenThree, Op::PathLength, 8},
    {"evaluation at the open path's end", Scenario::OpenThree, Op::PathEvaluate, 8},
    {"release of the open path's end table", Scenario::OpenThree, Op::PathRelease, 7},
    {"release of the pass holding the open path's end", Scenario::OpenThree, Op::PathRelease, 8},
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name << " (call " << c.nth << " of " << opName(c.op) << ")";
}

// Position in `calls` of the nth call of `op`, or calls.size().
size_t positionOf(const std::vector<Op>& calls, Op op, int nth) {
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i] == op && --nth == 0)
            return i;
    return calls.size();
}

class PathWalkFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PathWalkFailure, StopsTheWalkWithTheCodeAndReleasesEveryTable) {
    const FailureCase& c = GetParam();
    SCOPED_TRACE(describe(setupOf(c.scenario)));
    Walk walk(setupOf(c.scenario));
    walk.host.failOn(c.op, 1234, c.nth);
    walk.run();
    EXPECT_EQ(walk.err, 1234);
    const size_t failed = positionOf(walk.host.calls, c.op, c.nth);
    ASSERT_LT(failed, walk.host.calls.size()) << "the failing call was never made";
    // After the failure only clean-up: table releases.
    for (size_t i = failed + 1; i < walk.host.calls.size(); ++i)
        EXPECT_EQ(walk.host.calls[i], Op::PathRelease)
            << "call " << i << " " << opName(walk.host.calls[i]);
    for (size_t at : walk.sink.drawnAfterCalls)
        EXPECT_LE(at, failed) << "drawn after the failure";
    for (size_t at : walk.sink.begunAfterCalls)
        EXPECT_LE(at, failed) << "begun after the failure";
    EXPECT_EQ(walk.path->liveTables(), 0u);
    EXPECT_EQ(walk.path->misuse, std::vector<std::string>{});
    EXPECT_EQ(walk.held.pathCheckedOut, c.op != Op::CheckoutPath);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, PathWalkFailure, ::testing::ValuesIn(FAILURE_CASES),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST(PathWalk, FailureInTheSinkStopsTheWalk) {
    Walk walk(setupOf(Scenario::ClosedSquare));
    walk.sink.failIndex = 2;
    walk.sink.failCode = 77;
    walk.run();
    EXPECT_EQ(walk.err, 77);
    ASSERT_EQ(walk.sink.instances.size(), 2u);
    for (size_t i = walk.sink.drawnAfterCalls[1]; i < walk.host.calls.size(); ++i)
        EXPECT_EQ(walk.host.calls[i], Op::PathRelease) << opName(walk.host.calls[i]);
    EXPECT_EQ(walk.path->liveTables(), 0u);
}

TEST(PathWalk, EarlierCodeMakesNoCall) {
    Walk walk(setupOf(Scenario::ClosedSquare));
    walk.err = 33;
    walk.run();
    EXPECT_EQ(walk.err, 33);
    EXPECT_TRUE(walk.host.calls.empty());
    EXPECT_TRUE(walk.sink.begunAfterCalls.empty());
    EXPECT_FALSE(walk.held.pathCheckedOut);
}

TEST(PathWalk, ThrownCodeStillReleasesEveryTable) {
    Walk walk(setupOf(Scenario::OpenThree));
    walk.host.throwOn(Op::PathEvaluate, ERR_BAD_CALLBACK_PARAM, 8);
    EXPECT_THROW(walk.run(), int32_t);
    EXPECT_EQ(walk.path->liveTables(), 0u);
    EXPECT_TRUE(walk.held.pathCheckedOut);
}

// --- the whole instance stage -------------------------------------------------------------------

template <class P>
class WalkPathStage : public ::testing::Test {};
struct DepthNames {
    template <class P>
    static std::string GetName(int) {
        if constexpr (std::is_same_v<P, Pixel8>)
            return "Depth8";
        if constexpr (std::is_same_v<P, Pixel16>)
            return "Depth16";
        return "DepthFloat";
    }
};
using Depths = ::testing::Types<Pixel8, Pixel16, PixelFloat>;
TYPED_TEST_SUITE(WalkPathStage, Depths, DepthNames);

// A 7 x 5 stamp of partial coverage whose colour channels differ, so mix, order and position
// all show in the output.
template <class P>
OwnedImage testStamp() {
    OwnedImage image(depthOf<P>(), 7, 5);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x) {
            P p = gradientPixel<P>(x * 3, y * 5);
            p.alpha = gradientPixel<P>(x * 30, 0).red;
            image.at<P>(x, y) = p;
        }
    return image;
}

TYPED_TEST(WalkPathStage, ColoursAndSplatsEveryInstanceInIndexOrder) {
    using P = TypeParam;
    const PixelDepth depth = depthOf<P>();
    RawParamValues raw = defaultRaw();
    raw.number = 12;  // spacing 9 round a 108-pixel loop: footprints overlap
    OwnedImage stampImage = testStamp<P>();
    const Stamp stamp{stampImage.view(), 3, 2};

    auto host = makeSceneHost(depth, 40, 30, raw);
    fillGradient(host->output);
    const FrameSurfaces surfaces{depth, host->input.view(), host->output.view()};
    InstanceStageHoldings held;
    int32_t err = 0;
    walkPath(host->params, surfaces, stamp, false, *host, held, err);
    ASSERT_EQ(err, 0);

    // The same instances, coloured and splatted one by one.
    auto reference = makeSceneHost(depth, 40, 30, raw);
    fillGradient(reference->output);
    RecordingSink sink(*reference);
    InstanceStageHoldings refHeld;
    int32_t refErr = 0;
    walkPathInstances(reference->params, *reference, sink, refHeld, refErr);
    ASSERT_EQ(refErr, 0);
    ASSERT_EQ(sink.instances.size(), 12u);
    const FrameSurfaces refSurfaces{depth, reference->input.view(), reference->output.view()};
    bool refColorHeld = false;
    auto colors = prepareFrameColors<P>(reference->params, *reference, refColorHeld, refErr);
    for (const StampInstance& instance : sink.instances)
        splatInstance(instance, stamp, refSurfaces, colors, reference->params, false, *reference,
                      refErr);
    ASSERT_EQ(refErr, 0);

    EXPECT_EQ(host->output.bytes(), reference->output.bytes());
    EXPECT_EQ(host->callCount(Op::AcquireColor), 1);
    EXPECT_EQ(host->callCount(Op::RgbToHls), 12);  // Lightness edge: once per instance
    EXPECT_TRUE(held.pathCheckedOut);
    EXPECT_TRUE(held.colorServiceHeld);
    EXPECT_EQ(host->livePreps, 0);
}

}  // namespace
}  // namespace mst::test
