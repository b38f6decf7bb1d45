#include "standin_host/portable_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace mst {
namespace {

// pi/2 in three parts, the first two with 33 significant bits: k times either is exact for
// |k| < 2^20, so the reduction x - k pi/2 loses nothing there.
constexpr double PIO2_1 = 0x1.921fb544p+0;
constexpr double PIO2_2 = 0x1.0b4611a6p-34;
constexpr double PIO2_3 = 0x1.3198a2e037073p-69;
constexpr double TWO_OVER_PI = 0x1.45f306dc9c883p-1;
// pi, pi/2 and pi/4 as a double and the rest.
constexpr double PI_HI = 0x1.921fb54442d18p+1, PI_LO = 0x1.1a62633145c07p-53;
constexpr double PIO2_HI = 0x1.921fb54442d18p+0, PIO2_LO = 0x1.1a62633145c07p-54;
constexpr double PIO4_HI = 0x1.921fb54442d18p-1;
// ln 2 with a short first part (k ln2_hi exact for |k| < 2^21), and its reciprocal.
constexpr double LN2_HI = 0x1.62e42ffp-1, LN2_LO = -0x1.718432a1b0e26p-35;
constexpr double INV_LN2 = 0x1.71547652b82fep+0;
constexpr double SQRT2 = 0x1.6a09e667f3bcdp+0;

// x times 2^k, exact while the result is a normal number; steps through 2^±1000 so that
// neither factor overflows on the way to a result near the ends of the range.
double scaleByPowerOfTwo(double x, int k) {
    auto power = [](int e) {  // 2^e for -1022 <= e <= 1023
        const uint64_t bits = static_cast<uint64_t>(e + 1023) << 52;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    };
    while (k > 1000) {
        x *= power(1000);
        k -= 1000;
    }
    while (k < -1000) {
        x *= power(-1000);
        k += 1000;
    }
    return x * power(k);
}

// sin r and cos r for |r| <= pi/4: their Taylor series to the 19th and 20th power, whose next
// terms stay below 1e-19, in Horner form from the highest power down.
double sinKernel(double r) {
    // (-1)^n / (2n + 1)! for n = 9 down to 1.
    constexpr double COEFFICIENTS[] = {-1.0 / 121645100408832000.0,
                                       1.0 / 355687428096000.0,
                                       -1.0 / 1307674368000.0,
                                       1.0 / 6227020800.0,
                                       -1.0 / 39916800.0,
                                       1.0 / 362880.0,
                                       -1.0 / 5040.0,
                                       1.0 / 120.0,
                                       -1.0 / 6.0};
    const double z = r * r;
    double p = 0.0;
    for (double c : COEFFICIENTS)
        p = c + z * p;
    return r + (r * z) * p;
}
double cosKernel(double r) {
    // (-1)^n / (2n)! for n = 10 down to 2; the term -r^2/2 is added last.
    constexpr double COEFFICIENTS[] = {1.0 / 2432902008176640000.0,
                                       -1.0 / 6402373705728000.0,
                                       1.0 / 20922789888000.0,
                                       -1.0 / 87178291200.0,
                                       1.0 / 479001600.0,
                                       -1.0 / 3628800.0,
                                       1.0 / 40320.0,
                                       -1.0 / 720.0,
                                       1.0 / 24.0};
    const double z = r * r;
    double p = 0.0;
    for (double c : COEFFICIENTS)
        p = c + z * p;
    return 1.0 - (0.5 * z - (z * z) * p);
}

// x = k pi/2 + r with |r| <= pi/4 (a little more when k is large); returns k mod 4.
int reduceQuarterTurns(double x, double& r) {
    const double k = std::floor(x * TWO_OVER_PI + 0.5);
    r = ((x - k * PIO2_1) - k * PIO2_2) - k * PIO2_3;
    const double quadrant = k - 4.0 * std::floor(k * 0.25);
    return static_cast<int>(quadrant);
}

// atan t for 0 <= t <= 1: t is taken to the nearest c = k/8, atan t = atan c + atan u with
// u = (t - c) / (1 + t c), |u| <= 1/16, whose series to the 19th power is exact to 1e-25.
double atanUnit(double t) {
    // atan(k/8) for k = 0..8, each as a double and the rest.
    constexpr double ATAN_HI[] = {
        0.0,
        0x1.fd5ba9aac2f6ep-4,
        0x1.f5b75f92c80ddp-3,
        0x1.6f61941e4def1p-2,
        0x1.dac670561bb4fp-2,
        0x1.1e00babdefeb4p-1,
        0x1.4978fa3269ee1p-1,
        0x1.700a7c5784634p-1,
        0x1.921fb54442d18p-1,
    };
    constexpr double ATAN_LO[] = {
        0.0,
        -0x1.cd37686760c17p-59,
        0x1.8ab6e3cf7afbdp-57,
        -0x1.c63aae6f6e918p-56,
        0x1.a2b7f222f65e2p-56,
        -0x1.928df287a668fp-58,
        0x1.2419a87f2a458p-56,
        -0x1.8c34d25aadef6p-56,
        0x1.1a62633145c07p-55,
    };
    const int k = static_cast<int>(std::floor(t * 8.0 + 0.5));
    const double c = k * 0.125;
    const double u = (t - c) / (1.0 + t * c);  // t - c is exact: t lies within c/2 .. 2c
    const double z = u * u;
    double p = 0.0;
    for (int n = 19; n >= 3; n -= 2)
        p = ((n % 4 == 1) ? 1.0 : -1.0) / n + z * p;
    return ATAN_HI[k] + (ATAN_LO[k] + (u + (u * z) * p));
}

// A double-double value hi + lo, |lo| below half an ulp of hi.
struct Wide {
    double hi;
    double lo;
};

// a + b exactly (Knuth's two-sum).
Wide twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a b exactly (Dekker's product, splitting each factor into 26-bit halves); needs
// |a|, |b| < 2^995 and no contraction into fused multiply-adds.
Wide twoProduct(double a, double b) {
    auto split = [](double v) {
        const double c = 134217729.0 * v;  // 2^27 + 1
        const double hi = c - (c - v);
        return Wide{hi, v - hi};
    };
    const Wide sa = split(a), sb = split(b);
    const double p = a * b;
    return {p, ((sa.hi * sb.hi - p) + sa.hi * sb.lo + sa.lo * sb.hi) + sa.lo * sb.lo};
}

// ln x for finite x > 0 as a double-double: x = m 2^e with sqrt(1/2) <= m < sqrt(2),
// ln m = 2 atanh s with s = (m - 1) / (m + 1), |s| <= 0.172, its series to the 27th power.
// The quotient's rounding error is carried along, so the result is good to about 2^-60.
Wide logPositive(double x) {
    int e = 0;
    if (x < std::numeric_limits<double>::min()) {  // subnormal: make it normal first
        x *= 0x1p54;
        e -= 54;
    }
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    e += static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    bits = (bits & 0x000FFFFFFFFFFFFFull) | (uint64_t{1023} << 52);
    double m;
    std::memcpy(&m, &bits, sizeof m);
    if (m > SQRT2) {
        m *= 0.5;
        ++e;
    }
    const double f = m - 1.0;       // exact: m lies within 1/2 .. 2
    const Wide d = twoSum(m, 1.0);  // m + 1 can need one bit more than a double has
    const double s = f / d.hi;
    const Wide sd = twoProduct(s, d.hi);
    const double sLo = (((f - sd.hi) - sd.lo) - s * d.lo) / d.hi;  // s + sLo = f / (m + 1)
    const double z = s * s;
    double p = 0.0;
    for (int n = 27; n >= 3; n -= 2)
        p = 1.0 / n + z * p;
    const Wide head = twoSum(e * LN2_HI, 2.0 * s);
    const double tail = head.lo + (e * LN2_LO + (2.0 * sLo + (2.0 * s * z) * p));
    return twoSum(head.hi, tail);
}

// e^(z.hi + z.lo): z = k ln 2 + r with |r| <= 0.35, the Taylor series of e^r to the 14th
// power, times 2^k.
double expWide(Wide z) {
    if (z.hi > 709.8)
        return std::numeric_limits<double>::infinity();
    if (z.hi < -745.2)
        return 0.0;
    const double k = std::floor(z.hi * INV_LN2 + 0.5);
    const double r = (z.hi - k * LN2_HI) + (z.lo - k * LN2_LO);
    // 1/n! for n = 14 down to 1.
    constexpr double COEFFICIENTS[] = {1.0 / 87178291200.0, 1.0 / 6227020800.0,
                                       1.0 / 479001600.0,   1.0 / 39916800.0,
                                       1.0 / 3628800.0,     1.0 / 362880.0,
                                       1.0 / 40320.0,       1.0 / 5040.0,
                                       1.0 / 720.0,         1.0 / 120.0,
                                       1.0 / 24.0,          1.0 / 6.0,
                                       1.0 / 2.0,           1.0};
    double p = 0.0;
    for (double c : COEFFICIENTS)
        p = c + r * p;
    return scaleByPowerOfTwo(1.0 + r * p, static_cast<int>(k));
}

// e^(y ln x) for finite x > 0 and finite y, the product formed as a double-double.
double powPositive(double x, double y) {
    const Wide lnX = logPositive(x);
    // Past this the result is 0 or infinite anyway, and the split in twoProduct would overflow.
    const double estimate = y * lnX.hi;
    if (estimate > 1e4)
        return std::numeric_limits<double>::infinity();
    if (estimate < -1e4)
        return 0.0;
    const Wide product = twoProduct(y, lnX.hi);
    return expWide(twoSum(product.hi, product.lo + y * lnX.lo));
}

bool isInteger(double y) {
    return std::isfinite(y) && y == std::floor(y);
}
bool isOddInteger(double y) {
    // Beyond 2^53 every double is even.
    return isInteger(y) && std::fabs(y) < 0x1p53 && std::fmod(y, 2.0) != 0.0;
}

}  // namespace

double portableSin(double x) {
    if (!std::isfinite(x))
        return x - x;  // NaN, raising invalid for infinities
    if (x == 0.0)
        return x;  // keeps the sign of a zero
    if (std::fabs(x) <= PIO4_HI)
        return sinKernel(x);
    double r;
    switch (reduceQuarterTurns(x, r)) {
        case 0:
            return sinKernel(r);
        case 1:
            return cosKernel(r);
        case 2:
            return -sinKernel(r);
        default:
            return -cosKernel(r);
    }
}

double portableCos(double x) {
    if (!std::isfinite(x))
        return x - x;
    if (std::fabs(x) <= PIO4_HI)
        return cosKernel(x);
    double r;
    switch (reduceQuarterTurns(x, r)) {
        case 0:
            return cosKernel(r);
        case 1:
            return -sinKernel(r);
        case 2:
            return -cosKernel(r);
        default:
            return sinKernel(r);
    }
}

double portableAtan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y))
        return x + y;
    const bool yNegative = std::signbit(y);
    auto signed_ = [yNegative](double a) { return yNegative ? -a : a; };
    if (y == 0.0)
        return std::signbit(x) ? signed_(PI_HI) : y;
    if (x == 0.0)
        return signed_(PIO2_HI);
    if (std::isinf(x)) {
        if (std::isinf(y))
            return signed_(x > 0 ? PIO4_HI : 3.0 * PIO4_HI);
        return x > 0 ? signed_(0.0) : signed_(PI_HI);
    }
    if (std::isinf(y))
        return signed_(PIO2_HI);

    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    // The angle in the first quadrant, from the smaller over the larger side.
    double a = ay <= ax ? atanUnit(ay / ax) : PIO2_HI - (atanUnit(ax / ay) - PIO2_LO);
    if (x < 0)
        a = PI_HI - (a - PI_LO);
    return signed_(a);
}

double portablePow(double x, double y) {
    const double inf = std::numeric_limits<double>::infinity();
    if (y == 0.0 || x == 1.0)
        return 1.0;
    if (std::isnan(x) || std::isnan(y))
        return x + y;
    if (std::isinf(y)) {
        const double ax = std::fabs(x);
        if (ax == 1.0)
            return 1.0;
        return (ax > 1.0) == (y > 0) ? inf : 0.0;
    }
    const bool oddY = isOddInteger(y);
    if (x == 0.0 || std::isinf(x)) {
        // Zero and infinity: 0^y is 0 for y > 0, infinite for y < 0; infinity the other way
        // round. The sign survives only an odd integer power.
        const bool large = (x == 0.0) == (y < 0);
        const double magnitude = large ? inf : 0.0;
        return oddY && std::signbit(x) ? -magnitude : magnitude;
    }
    if (x < 0) {
        if (!isInteger(y))
            return std::numeric_limits<double>::quiet_NaN();
        const double magnitude = powPositive(-x, y);
        return oddY ? -magnitude : magnitude;
    }
    return powPositive(x, y);
}

}  // namespace mst
