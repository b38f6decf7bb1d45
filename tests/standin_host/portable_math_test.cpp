#include "standin_host/portable_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

namespace mst {
namespace {

// Distance in representable doubles; a sign error or a wrong quadrant is astronomically far.
uint64_t ulpsBetween(double a, double b) {
    auto ordered = [](double d) {
        int64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        return bits < 0 ? std::numeric_limits<int64_t>::min() - bits : bits;
    };
    const int64_t x = ordered(a), y = ordered(b);
    return x > y ? static_cast<uint64_t>(x) - static_cast<uint64_t>(y)
                 : static_cast<uint64_t>(y) - static_cast<uint64_t>(x);
}

// Sampled ranges against the C library, each with the bound the header promises.
TEST(PortableMathTest, AgreesWithTheCLibraryWithinItsBounds) {
    using Fn = std::function<double(double, double)>;
    struct Case {
        const char* name;
        Fn portable, library;
        double xLow, xHigh, yLow, yHigh;
        uint64_t bound;
    };
    auto sin1 = [](double x, double) { return portableSin(x); };
    auto cos1 = [](double x, double) { return portableCos(x); };
    auto libSin = [](double x, double) { return std::sin(x); };
    auto libCos = [](double x, double) { return std::cos(x); };
    auto atan2p = [](double x, double y) { return portableAtan2(y, x); };
    auto atan2l = [](double x, double y) { return std::atan2(y, x); };
    auto powp = [](double x, double y) { return portablePow(x, y); };
    auto powl = [](double x, double y) { return std::pow(x, y); };
    const Case cases[] = {
        {"sin within a turn", sin1, libSin, -7, 7, 0, 0, 1},
        {"sin to 1000", sin1, libSin, -1000, 1000, 0, 0, 1},
        {"sin to 1e5", sin1, libSin, -1e5, 1e5, 0, 0, 2},
        {"cos within a turn", cos1, libCos, -7, 7, 0, 0, 1},
        {"cos to 1000", cos1, libCos, -1000, 1000, 0, 0, 1},
        {"cos to 1e5", cos1, libCos, -1e5, 1e5, 0, 0, 2},
        {"atan2 first quadrant", atan2p, atan2l, 0, 50, 0, 50, 2},
        {"atan2 second quadrant", atan2p, atan2l, -50, 0, 0, 50, 2},
        {"atan2 third quadrant", atan2p, atan2l, -50, 0, -50, 0, 2},
        {"atan2 fourth quadrant", atan2p, atan2l, 0, 50, -50, 0, 2},
        {"atan2 near the x axis", atan2p, atan2l, -50, 50, -1e-9, 1e-9, 2},
        {"atan2 near the y axis", atan2p, atan2l, -1e-9, 1e-9, -50, 50, 2},
        {"pow of two", powp, powl, 2, 2, -8, 8, 1},
        {"pow of fractions", powp, powl, 1e-3, 1, -60, 60, 1},
        {"pow of large bases", powp, powl, 1, 1e6, -40, 40, 1},
        {"pow near one", powp, powl, 0.999, 1.001, -1e5, 1e5, 1},
    };
    std::mt19937_64 random(20240611);
    for (const Case& c : cases) {
        std::uniform_real_distribution<double> xs(c.xLow, c.xHigh), ys(c.yLow, c.yHigh);
        uint64_t worst = 0;
        double worstX = 0, worstY = 0;
        for (int i = 0; i < 20000; ++i) {
            const double x = xs(random), y = ys(random);
            const uint64_t d = ulpsBetween(c.portable(x, y), c.library(x, y));
            if (d > worst) {
                worst = d;
                worstX = x;
                worstY = y;
            }
        }
        EXPECT_LE(worst, c.bound) << c.name << " at " << worstX << ", " << worstY;
    }
}

// Zeros, infinities, NaN and negative bases: the C standard's results, bit for bit (a NaN
// only as NaN).
TEST(PortableMathTest, SpecialValuesFollowTheCStandard) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double portable, library;
    };
    const Case cases[] = {
        {"sin +0", portableSin(0.0), std::sin(0.0)},
        {"sin -0", portableSin(-0.0), std::sin(-0.0)},
        {"sin inf", portableSin(inf), std::sin(inf)},
        {"sin nan", portableSin(nan), std::sin(nan)},
        {"cos -0", portableCos(-0.0), std::cos(-0.0)},
        {"cos -inf", portableCos(-inf), std::cos(-inf)},
        {"sin of a tiny number", portableSin(1e-300), std::sin(1e-300)},
        {"atan2 +0, +0", portableAtan2(0.0, 0.0), std::atan2(0.0, 0.0)},
        {"atan2 +0, -0", portableAtan2(0.0, -0.0), std::atan2(0.0, -0.0)},
        {"atan2 -0, -0", portableAtan2(-0.0, -0.0), std::atan2(-0.0, -0.0)},
        {"atan2 -0, 3", portableAtan2(-0.0, 3.0), std::atan2(-0.0, 3.0)},
        {"atan2 +0, -3", portableAtan2(0.0, -3.0), std::atan2(0.0, -3.0)},
        {"atan2 2, 0", portableAtan2(2.0, 0.0), std::atan2(2.0, 0.0)},
        {"atan2 -2, -0", portableAtan2(-2.0, -0.0), std::atan2(-2.0, -0.0)},
        {"atan2 1, inf", portableAtan2(1.0, inf), std::atan2(1.0, inf)},
        {"atan2 -1, -inf", portableAtan2(-1.0, -inf), std::atan2(-1.0, -inf)},
        {"atan2 inf, inf", portableAtan2(inf, inf), std::atan2(inf, inf)},
        {"atan2 -inf, -inf", portableAtan2(-inf, -inf), std::atan2(-inf, -inf)},
        {"atan2 -inf, 5", portableAtan2(-inf, 5.0), std::atan2(-inf, 5.0)},
        {"atan2 nan, 1", portableAtan2(nan, 1.0), std::atan2(nan, 1.0)},
        {"atan2 of equal sides", portableAtan2(-7.0, -7.0), std::atan2(-7.0, -7.0)},
        {"pow nan, 0", portablePow(nan, 0.0), std::pow(nan, 0.0)},
        {"pow 1, nan", portablePow(1.0, nan), std::pow(1.0, nan)},
        {"pow 2, nan", portablePow(2.0, nan), std::pow(2.0, nan)},
        {"pow -2, 3", portablePow(-2.0, 3.0), std::pow(-2.0, 3.0)},
        {"pow -2, 4", portablePow(-2.0, 4.0), std::pow(-2.0, 4.0)},
        {"pow -2, -3", portablePow(-2.0, -3.0), std::pow(-2.0, -3.0)},
        {"pow -8, 1/3", portablePow(-8.0, 1.0 / 3.0), std::pow(-8.0, 1.0 / 3.0)},
        {"pow +0, 3", portablePow(0.0, 3.0), std::pow(0.0, 3.0)},
        {"pow -0, 3", portablePow(-0.0, 3.0), std::pow(-0.0, 3.0)},
        {"pow -0, 2", portablePow(-0.0, 2.0), std::pow(-0.0, 2.0)},
        {"pow -0, -1", portablePow(-0.0, -1.0), std::pow(-0.0, -1.0)},
        {"pow +0, -2", portablePow(0.0, -2.0), std::pow(0.0, -2.0)},
        {"pow -0, -0.5", portablePow(-0.0, -0.5), std::pow(-0.0, -0.5)},
        {"pow -1, inf", portablePow(-1.0, inf), std::pow(-1.0, inf)},
        {"pow 0.5, -inf", portablePow(0.5, -inf), std::pow(0.5, -inf)},
        {"pow 2, -inf", portablePow(2.0, -inf), std::pow(2.0, -inf)},
        {"pow inf, -1", portablePow(inf, -1.0), std::pow(inf, -1.0)},
        {"pow -inf, 3", portablePow(-inf, 3.0), std::pow(-inf, 3.0)},
        {"pow -inf, -3", portablePow(-inf, -3.0), std::pow(-inf, -3.0)},
        {"pow -inf, 2.5", portablePow(-inf, 2.5), std::pow(-inf, 2.5)},
        {"pow overflow", portablePow(10.0, 400.0), std::pow(10.0, 400.0)},
        {"pow underflow", portablePow(10.0, -400.0), std::pow(10.0, -400.0)},
        {"pow smallest subnormal", portablePow(2.0, -1074.0), std::pow(2.0, -1074.0)},
        {"pow largest power of two", portablePow(2.0, 1023.0), std::pow(2.0, 1023.0)},
        {"pow of a subnormal", portablePow(0x1p-1060, 0.5), std::pow(0x1p-1060, 0.5)},
    };
    for (const Case& c : cases) {
        if (std::isnan(c.library)) {
            EXPECT_TRUE(std::isnan(c.portable)) << c.name << ": " << c.portable;
        } else {
            EXPECT_EQ(ulpsBetween(c.portable, c.library), 0u)
                << c.name << ": " << c.portable << " vs " << c.library;
        }
    }
}

}  // namespace
}  // namespace mst
