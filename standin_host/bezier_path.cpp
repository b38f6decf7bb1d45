#include "standin_host/bezier_path.h"

#include <cfloat>
#include <cmath>
#include <new>
#include <utility>

namespace mst {

namespace {

struct Vec2 {
    double x;
    double y;
};

// B(t) = (1−t)³P0 + 3(1−t)²t P1 + 3(1−t)t² P2 + t³P3, written out in a fixed order so every
// platform rounds the same way.
Vec2 cubicPoint(const PathPoint p[4], double t) {
    const double s = 1.0 - t;
    const double w0 = s * s * s;
    const double w1 = 3.0 * s * s * t;
    const double w2 = 3.0 * s * t * t;
    const double w3 = t * t * t;
    return {w0 * p[0].x + w1 * p[1].x + w2 * p[2].x + w3 * p[3].x,
            w0 * p[0].y + w1 * p[1].y + w2 * p[2].y + w3 * p[3].y};
}

// B'(t) = 3[(1−t)²(P1−P0) + 2(1−t)t(P2−P1) + t²(P3−P2)].
Vec2 cubicDerivative(const PathPoint p[4], double t) {
    const double s = 1.0 - t;
    const double w0 = 3.0 * s * s;
    const double w1 = 6.0 * s * t;
    const double w2 = 3.0 * t * t;
    return {w0 * (p[1].x - p[0].x) + w1 * (p[2].x - p[1].x) + w2 * (p[3].x - p[2].x),
            w0 * (p[1].y - p[0].y) + w1 * (p[2].y - p[1].y) + w2 * (p[3].y - p[2].y)};
}

bool isZero(Vec2 v) {
    return v.x == 0.0 && v.y == 0.0;
}

// The direction in which the curve leaves `from`: the first of from→near, from→mid, from→far
// that is not zero (a control point on its end point still leaves a direction towards the
// next one). Unit length; zero when all three are zero.
Vec2 endDirection(PathPoint from, PathPoint near, PathPoint mid, PathPoint far) {
    Vec2 d{near.x - from.x, near.y - from.y};
    if (isZero(d))
        d = {mid.x - from.x, mid.y - from.y};
    if (isZero(d))
        d = {far.x - from.x, far.y - from.y};
    if (isZero(d))
        return d;
    // Scaled before squaring so huge coordinates do not overflow to a zero direction.
    const double scale = std::fabs(d.x) > std::fabs(d.y) ? std::fabs(d.x) : std::fabs(d.y);
    // NaN or infinite controls have no usable direction: the point then stays on its end.
    if (!(scale > 0.0) || !(scale <= DBL_MAX))
        return {0.0, 0.0};
    const double sx = d.x / scale;
    const double sy = d.y / scale;
    const double norm = std::sqrt(sx * sx + sy * sy);
    return {sx / norm, sy / norm};
}

CubicSegment straightCubic(PathPoint from, PathPoint to) {
    const double ex = to.x - from.x;
    const double ey = to.y - from.y;
    return {{from.x + ex / 3.0, from.y + ey / 3.0},
            {from.x + 2.0 * ex / 3.0, from.y + 2.0 * ey / 3.0},
            to};
}

bool samePoint(PathPoint a, PathPoint b) {
    return a.x == b.x && a.y == b.y;
}

}  // namespace

struct BezierPath::Prep {
    int32_t index;
    // cumulative[i]: chord length from t = 0 to t = i / frequency; cumulative.size() is
    // frequency + 1 and the last entry is the segment's length.
    std::vector<double> cumulative;
};

BezierPath::BezierPath(PathPoint start, std::vector<CubicSegment> segments, bool closed)
    : start_(start), segments_(std::move(segments)), closed_(closed) {
    const PathPoint last = segments_.empty() ? start_ : segments_.back().end;
    if (closed_ && !samePoint(last, start_))
        segments_.push_back(straightCubic(last, start_));
}

BezierPath::~BezierPath() = default;

int32_t BezierPath::isOpen(bool& open) {
    open = !closed_;
    return ERR_NONE;
}

int32_t BezierPath::segmentCount(int32_t& count) {
    count = static_cast<int32_t>(segments_.size());
    return ERR_NONE;
}

void BezierPath::segmentPoints(int32_t index, PathPoint points[4]) const {
    const auto i = static_cast<std::size_t>(index);
    points[0] = i == 0 ? start_ : segments_[i - 1].end;
    points[1] = segments_[i].control1;
    points[2] = segments_[i].control2;
    points[3] = segments_[i].end;
}

int32_t BezierPath::prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) {
    prep = nullptr;
    if (index < 0 || index >= static_cast<int32_t>(segments_.size()))
        return ERR_BAD_CALLBACK_PARAM;
    if (frequency < 1 || frequency > MAX_ARC_LENGTH_FREQUENCY)
        return ERR_BAD_CALLBACK_PARAM;
    PathPoint p[4];
    segmentPoints(index, p);
    try {
        auto table = std::make_unique<Prep>();
        table->index = index;
        table->cumulative.resize(static_cast<std::size_t>(frequency) + 1);
        double sum = 0.0;
        Vec2 previous{p[0].x, p[0].y};
        table->cumulative[0] = 0.0;
        for (int32_t i = 1; i <= frequency; ++i) {
            const Vec2 point =
                i == frequency
                    ? Vec2{p[3].x, p[3].y}
                    : cubicPoint(p, static_cast<double>(i) / static_cast<double>(frequency));
            const double ex = point.x - previous.x;
            const double ey = point.y - previous.y;
            sum += std::sqrt(ex * ex + ey * ey);
            table->cumulative[static_cast<std::size_t>(i)] = sum;
            previous = point;
        }
        preps_.push_back(std::move(table));
    } catch (const std::bad_alloc&) {
        return ERR_OUT_OF_MEMORY;
    }
    prep = preps_.back().get();
    return ERR_NONE;
}

// Only pointers this path handed out and has not taken back are dereferenced, so a stale,
// foreign or null handle is an error code instead of a wild read.
BezierPath::Prep* BezierPath::findLive(SegmentPrep prep, int32_t index) const {
    if (prep == nullptr)
        return nullptr;
    for (const auto& live : preps_) {
        if (live.get() == prep)
            return live->index == index ? live.get() : nullptr;
    }
    return nullptr;
}

int32_t BezierPath::segmentLength(int32_t index, SegmentPrep prep, double& length) {
    const Prep* table = findLive(prep, index);
    if (table == nullptr)
        return ERR_BAD_CALLBACK_PARAM;
    length = table->cumulative.back();
    return ERR_NONE;
}

int32_t BezierPath::evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x,
                                    double& y, double& dx, double& dy) {
    const Prep* table = findLive(prep, index);
    if (table == nullptr)
        return ERR_BAD_CALLBACK_PARAM;
    PathPoint p[4];
    segmentPoints(index, p);
    const std::vector<double>& c = table->cumulative;
    const double length = c.back();

    if (distance < 0.0 || distance > length) {
        const bool before = distance < 0.0;
        const Vec2 dir =
            before ? endDirection(p[0], p[1], p[2], p[3]) : endDirection(p[3], p[2], p[1], p[0]);
        // endDirection points into the curve at the start and back into it at the end.
        const double along = before ? distance : -(distance - length);
        const PathPoint& from = before ? p[0] : p[3];
        x = dir.x == 0.0 ? from.x : from.x + dir.x * along;
        y = dir.y == 0.0 ? from.y : from.y + dir.y * along;
        const Vec2 d = cubicDerivative(p, before ? 0.0 : 1.0);
        dx = d.x;
        dy = d.y;
        return ERR_NONE;
    }

    // Largest chord start lo with c[lo] <= distance. The loop runs on indices alone, so a
    // table or distance holding NaN still ends after log2(frequency) steps.
    const auto frequency = static_cast<int32_t>(c.size()) - 1;
    int32_t lo = 0;
    int32_t hi = frequency;
    while (hi - lo > 1) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (c[static_cast<std::size_t>(mid)] <= distance) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const double c0 = c[static_cast<std::size_t>(lo)];
    const double span = c[static_cast<std::size_t>(lo) + 1] - c0;
    double fraction = span > 0.0 ? (distance - c0) / span : 0.0;
    if (!(fraction >= 0.0))
        fraction = 0.0;  // also NaN
    if (fraction > 1.0)
        fraction = 1.0;
    const double t = (static_cast<double>(lo) + fraction) / static_cast<double>(frequency);

    const Vec2 point = cubicPoint(p, t);
    const Vec2 d = cubicDerivative(p, t);
    x = point.x;
    y = point.y;
    dx = d.x;
    dy = d.y;
    return ERR_NONE;
}

int32_t BezierPath::releaseSegment(int32_t index, SegmentPrep prep) {
    const Prep* table = findLive(prep, index);
    if (table == nullptr)
        return ERR_BAD_CALLBACK_PARAM;
    for (auto it = preps_.begin(); it != preps_.end(); ++it) {
        if (it->get() == table) {
            preps_.erase(it);
            break;
        }
    }
    return ERR_NONE;
}

std::unique_ptr<BezierPath> makePolylinePath(const std::vector<PathPoint>& points, bool closed) {
    if (points.size() < 2) {
        return std::make_unique<BezierPath>(points.empty() ? PathPoint{} : points.front(),
                                            std::vector<CubicSegment>{}, closed);
    }
    std::vector<CubicSegment> segments;
    segments.reserve(points.size());
    for (std::size_t i = 1; i < points.size(); ++i) {
        segments.push_back(straightCubic(points[i - 1], points[i]));
    }
    return std::make_unique<BezierPath>(points.front(), std::move(segments), closed);
}

std::unique_ptr<BezierPath> makeCirclePath(double cx, double cy, double r) {
    // 4(√2 − 1)/3: puts each quarter arc's midpoint exactly on the circle.
    constexpr double KAPPA = 0.5522847498307936;
    const double k = KAPPA * r;
    const PathPoint east{cx + r, cy};
    const PathPoint south{cx, cy + r};
    const PathPoint west{cx - r, cy};
    const PathPoint north{cx, cy - r};
    std::vector<CubicSegment> arcs{
        {{cx + r, cy + k}, {cx + k, cy + r}, south},
        {{cx - k, cy + r}, {cx - r, cy + k}, west},
        {{cx - r, cy - k}, {cx - k, cy - r}, north},
        {{cx + k, cy - r}, {cx + r, cy - k}, east},
    };
    return std::make_unique<BezierPath>(east, std::move(arcs), true);
}

}  // namespace mst
