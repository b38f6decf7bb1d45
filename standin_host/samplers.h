// Sampling over plain memory, standing in for the host's sampling services: the sub-pixel
// sampler that draws turned stamps and the area sampler that shrinks a layer into a stamp.
// Header-inline because the sub-pixel sampler runs once per output pixel; neither allocates.
//
// Both work on premultiplied colour so that transparent neighbours (and everything outside
// the image, which reads as transparent black) weigh in through their alpha and never darken
// the colour, then hand back straight colour. A result whose alpha is 0 is transparent black.
//
// Both expect the image's depth to match the pixel type asked for; on a mismatch, or an image
// without pixels, they read nothing and return transparent black.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "pixel/pixel_types.h"

namespace mst {

namespace sampler_detail {

template <class P>
constexpr bool IS_INTEGER_PIXEL = !std::is_same_v<P, PixelFloat>;

template <class P>
inline bool usable(const PixelImage& image) {
    return image.depth == depthOf<P>() && image.data != nullptr;
}

template <class P>
inline P pixelOrClear(const PixelImage& image, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
        return P{};
    return image.at<P>(x, y);
}

// ⌊n / d⌋ for 0 < d < 2^62 and a quotient below 2^20, without a 64-bit divide (tens of cycles,
// and a library call on 32-bit x86). The double quotient is off by less than 2^-30, so its
// truncation is the quotient or one either side of it; the remainder, exact in 64-bit two's
// complement because it lies within (-d, 2d), then settles it.
inline uint64_t divideByEstimate(uint64_t n, uint64_t d) {
    uint64_t q = static_cast<uint64_t>(static_cast<double>(n) / static_cast<double>(d));
    const int64_t remainder = static_cast<int64_t>(n - q * d);
    if (remainder < 0) {
        --q;
    } else if (static_cast<uint64_t>(remainder) >= d) {
        ++q;
    }
    return q;
}

// Integer bilinear step. With weights w = (65536 − fx or fx) × (65536 − fy or fy), which sum to
// exactly 2^32:
//   A = Σ w·a,   alpha = round(A / 2^32)
//   C = Σ w·a·c, c     = round(C / A)        (round half up: (C + ⌊A/2⌋) / A)
// Every product fits 64 bits even for 16-bit channels up to 65535 (Σ w·a·c < 2^64). When the
// four alphas are equal, C / A is exactly Σ w·c / 2^32, which needs no division; that shortcut
// is taken only when `Shortcut` is set and gives bit-identical results.
// Kept out of line: the common cases (outside, whole positions, equal neighbours) then need
// no spilled registers on the way in and out of the sampler.
template <class P, bool Shortcut>
[[gnu::noinline]] inline P bilinearInteger(const P (&n)[4], uint32_t fx, uint32_t fy) {
    using Channel = decltype(P::alpha);
    const uint64_t wx0 = 65536u - fx;
    const uint64_t wy0 = 65536u - fy;
    const uint64_t w[4] = {wx0 * wy0, uint64_t{fx} * wy0, wx0 * fy, uint64_t{fx} * fy};
    constexpr uint64_t HALF = uint64_t{1} << 31;

    if (Shortcut && n[0].alpha == n[1].alpha && n[0].alpha == n[2].alpha &&
        n[0].alpha == n[3].alpha) {
        if (n[0].alpha == 0)
            return P{};
        uint64_t r = HALF, g = HALF, b = HALF;
        for (int k = 0; k < 4; ++k) {
            r += w[k] * n[k].red;
            g += w[k] * n[k].green;
            b += w[k] * n[k].blue;
        }
        return {n[0].alpha, static_cast<Channel>(r >> 32), static_cast<Channel>(g >> 32),
                static_cast<Channel>(b >> 32)};
    }

    uint64_t a = 0, r = 0, g = 0, b = 0;
    for (int k = 0; k < 4; ++k) {
        const uint64_t wa = w[k] * n[k].alpha;
        a += wa;
        r += wa * n[k].red;
        g += wa * n[k].green;
        b += wa * n[k].blue;
    }
    const uint64_t alpha = (a + HALF) >> 32;
    if (alpha == 0)
        return P{};
    const uint64_t half = a / 2;
    if constexpr (Shortcut) {
        return {static_cast<Channel>(alpha), static_cast<Channel>(divideByEstimate(r + half, a)),
                static_cast<Channel>(divideByEstimate(g + half, a)),
                static_cast<Channel>(divideByEstimate(b + half, a))};
    } else {
        return {static_cast<Channel>(alpha), static_cast<Channel>((r + half) / a),
                static_cast<Channel>((g + half) / a), static_cast<Channel>((b + half) / a)};
    }
}

// Float bilinear step, single precision, one axis after the other:
//   A = lerp_y(lerp_x(a)),  C = lerp_y(lerp_x(a·c)),  c = C / A.
[[gnu::noinline]] inline PixelFloat bilinearFloat(const PixelFloat (&n)[4], uint32_t fx,
                                                  uint32_t fy) {
    // fx / 65536 and 1 − fx / 65536 are exact in float.
    const float wx1 = static_cast<float>(fx) * (1.0f / 65536.0f);
    const float wy1 = static_cast<float>(fy) * (1.0f / 65536.0f);
    const float wx0 = 1.0f - wx1;
    const float wy0 = 1.0f - wy1;
    auto lerp2 = [&](float v00, float v01, float v10, float v11) {
        return wy0 * (wx0 * v00 + wx1 * v01) + wy1 * (wx0 * v10 + wx1 * v11);
    };
    const float a = lerp2(n[0].alpha, n[1].alpha, n[2].alpha, n[3].alpha);
    if (a == 0.0f)
        return PixelFloat{};
    const float r = lerp2(n[0].red * n[0].alpha, n[1].red * n[1].alpha, n[2].red * n[2].alpha,
                          n[3].red * n[3].alpha);
    const float g = lerp2(n[0].green * n[0].alpha, n[1].green * n[1].alpha, n[2].green * n[2].alpha,
                          n[3].green * n[3].alpha);
    const float b = lerp2(n[0].blue * n[0].alpha, n[1].blue * n[1].alpha, n[2].blue * n[2].alpha,
                          n[3].blue * n[3].alpha);
    return {a, r / a, g / a, b / a};
}

// Four equal pixels blend to themselves exactly where every weighted sum is exact. Integers:
// always (the weights sum to 2^32 and the rounding adds less than one unit), transparent ones
// to transparent black. Float: alpha 0 (transparent black), or alpha 1 with each channel 0 or
// 1 (the weights are 16-bit fractions whose two sides add up to 1 without rounding).
template <class P>
inline bool equalNeighboursBlend(const P& p, P& result) {
    if constexpr (IS_INTEGER_PIXEL<P>) {
        // Copied as one word: the pixel, or all zero when its alpha is 0.
        using Word = std::conditional_t<sizeof(P) == 4, uint32_t, uint64_t>;
        static_assert(sizeof(Word) == sizeof(P));
        Word word;
        std::memcpy(&word, &p, sizeof word);
        word = p.alpha == 0 ? Word{0} : word;
        std::memcpy(&result, &word, sizeof word);
        return true;
    } else {
        // Tested on the bits, without a branch per channel: ±0 is 0.0f, 0x3F800000 is 1.0f,
        // and a NaN is neither.
        constexpr uint32_t ONE = 0x3F800000u;
        auto bits = [](float c) {
            uint32_t b;
            std::memcpy(&b, &c, sizeof b);
            return b;
        };
        auto unit = [&](float c) {
            const uint32_t b = bits(c);
            return static_cast<int>((b & 0x7FFFFFFFu) == 0) | static_cast<int>(b == ONE);
        };
        const uint32_t alpha = bits(p.alpha);
        if ((alpha & 0x7FFFFFFFu) == 0) {
            result = PixelFloat{};
            return true;
        }
        if (alpha == ONE && (unit(p.red) & unit(p.green) & unit(p.blue)) != 0) {
            result = p;
            return true;
        }
        return false;
    }
}

// The blend of four neighbours, top-left, top-right, bottom-left, bottom-right.
template <class P, bool Shortcut>
inline P blendNeighbours(const P (&n)[4], uint32_t fx, uint32_t fy) {
    if constexpr (IS_INTEGER_PIXEL<P>) {
        return bilinearInteger<P, Shortcut>(n, fx, fy);
    } else {
        return bilinearFloat(n, fx, fy);
    }
}

// The blend of the four neighbours of (x0, y0) with fractions (fx, fy), any of them outside
// the image reading as transparent black: the plain form, and the fast form's border.
template <class P, bool Shortcut>
[[gnu::noinline]] P bilinearBlend(const PixelImage& image, int32_t x0, int32_t y0, uint32_t fx,
                                  uint32_t fy) {
    const P n[4] = {pixelOrClear<P>(image, x0, y0), pixelOrClear<P>(image, x0 + 1, y0),
                    pixelOrClear<P>(image, x0, y0 + 1), pixelOrClear<P>(image, x0 + 1, y0 + 1)};
    P same;
    if (Shortcut && samePixel(n[0], n[1]) && samePixel(n[0], n[2]) && samePixel(n[0], n[3]) &&
        equalNeighboursBlend(n[0], same))
        return same;
    return blendNeighbours<P, Shortcut>(n, fx, fy);
}

// The top-left of the four neighbours of a position inside the image, addressed in bytes.
template <class P>
inline const P* neighbourhood(const P* data, ptrdiff_t rowBytes, uint32_t x0, uint32_t y0) {
    return reinterpret_cast<const P*>(reinterpret_cast<const char*>(data) +
                                      static_cast<ptrdiff_t>(y0) * rowBytes) +
           x0;
}

// The pixel one row below `pixel`.
template <class P>
inline const P* rowBelow(const P* pixel, ptrdiff_t rowBytes) {
    return reinterpret_cast<const P*>(reinterpret_cast<const char*>(pixel) + rowBytes);
}

// True when all four neighbours of (x0, y0) lie inside the image: 0 <= x0 < width - 1 and the
// same for y. The coordinate is compared as unsigned (a negative one is huge), the limit as
// signed 64-bit (an image narrower than 2 pixels has none), so one compare does each axis.
inline bool neighboursInside(int32_t x0, int32_t y0, int32_t width, int32_t height) {
    return int64_t{static_cast<uint32_t>(x0)} < int64_t{width} - 1 &&
           int64_t{static_cast<uint32_t>(y0)} < int64_t{height} - 1;
}

// The cases of the fast sampler settled from at most four word loads: no pixels, a whole
// position or four equal neighbours wholly inside, no neighbour inside. Returns false, with
// `out` untouched, for the rest: unequal neighbours wholly inside, whose top-left pixel it
// leaves in `inside` for bilinearInside(), and the image's border, with `inside` null, for
// bilinearBorder(). Rows are `rowBytes` apart.
template <class P>
inline bool bilinearSettled(const P* data, int32_t width, int32_t height, ptrdiff_t rowBytes,
                            int32_t u, int32_t v, P& out, const P*& inside) {
    inside = nullptr;
    const int32_t x0 = u >> 16;  // floor: arithmetic shift
    const int32_t y0 = v >> 16;
    if (data == nullptr) {
        out = P{};
        return true;
    }
    if (neighboursInside(x0, y0, width, height)) {
        // Read without a bounds test each.
        const P* top =
            neighbourhood(data, rowBytes, static_cast<uint32_t>(x0), static_cast<uint32_t>(y0));
        if (((static_cast<uint32_t>(u) | static_cast<uint32_t>(v)) & 0xFFFFu) == 0) {
            out = top[0];
            return true;
        }
        const P* bottom = rowBelow(top, rowBytes);
        if (samePixel(top[0], top[1]) && samePixel(top[0], bottom[0]) &&
            samePixel(top[0], bottom[1]) && equalNeighboursBlend(top[0], out))
            return true;
        inside = top;
        return false;
    }
    // x0 < -1 or x0 >= width (and the same for y): no neighbour inside. One unsigned compare
    // each, since x0 + 1 wraps below 0.
    if (static_cast<uint32_t>(x0) + 1u > static_cast<uint32_t>(width) ||
        static_cast<uint32_t>(y0) + 1u > static_cast<uint32_t>(height)) {
        out = P{};
        return true;
    }
    return false;
}

// Unequal neighbours wholly inside, `top` the top-left one.
template <class P>
[[gnu::noinline]] P bilinearInside(const P* top, ptrdiff_t rowBytes, int32_t u, int32_t v) {
    const P* bottom = rowBelow(top, rowBytes);
    const P n[4] = {top[0], top[1], bottom[0], bottom[1]};
    return blendNeighbours<P, true>(n, static_cast<uint32_t>(u) & 0xFFFFu,
                                    static_cast<uint32_t>(v) & 0xFFFFu);
}

// A position on the image's border, left unsettled by bilinearSettled(): some of its
// neighbours inside the image, some outside.
template <class P>
[[gnu::noinline]] P bilinearBorder(const P* data, int32_t width, int32_t height, ptrdiff_t rowBytes,
                                   int32_t u, int32_t v) {
    const int32_t x0 = u >> 16;
    const int32_t y0 = v >> 16;
    const uint32_t fx = static_cast<uint32_t>(u) & 0xFFFFu;
    const uint32_t fy = static_cast<uint32_t>(v) & 0xFFFFu;
    PixelImage image;
    image.depth = depthOf<P>();
    image.width = width;
    image.height = height;
    image.pixelsPerRow = static_cast<int32_t>(rowBytes / static_cast<ptrdiff_t>(sizeof(P)));
    image.data = const_cast<P*>(data);
    if (fx == 0 && fy == 0)
        return pixelOrClear<P>(image, x0, y0);
    return bilinearBlend<P, true>(image, x0, y0, fx, fy);
}

template <class P, bool Shortcut>
inline P bilinear(const PixelImage& image, int32_t u, int32_t v) {
    if (!usable<P>(image))
        return P{};
    const P* data = static_cast<const P*>(image.data);
    if constexpr (Shortcut) {
        const ptrdiff_t rowBytes =
            static_cast<ptrdiff_t>(image.pixelsPerRow) * ptrdiff_t{sizeof(P)};
        P out;
        const P* inside;
        if (bilinearSettled<P>(data, image.width, image.height, rowBytes, u, v, out, inside))
            return out;
        if (inside != nullptr)
            return bilinearInside<P>(inside, rowBytes, u, v);
        return bilinearBorder<P>(data, image.width, image.height, rowBytes, u, v);
    }
    const int32_t x0 = u >> 16;  // floor: arithmetic shift
    const int32_t y0 = v >> 16;
    const uint32_t fx = static_cast<uint32_t>(u) & 0xFFFFu;
    const uint32_t fy = static_cast<uint32_t>(v) & 0xFFFFu;
    if (static_cast<uint32_t>(x0) + 1u > static_cast<uint32_t>(image.width) ||
        static_cast<uint32_t>(y0) + 1u > static_cast<uint32_t>(image.height))
        return P{};
    if (fx == 0 && fy == 0)
        return pixelOrClear<P>(image, x0, y0);
    return bilinearBlend<P, false>(image, x0, y0, fx, fy);
}

}  // namespace sampler_detail

// The colour at the 16.16 position (u, v). Pixel centres sit on whole positions: a position
// that is a multiple of 65536 in both axes returns the pixel (u >> 16, v >> 16) exactly, as
// stored. Between centres the four surrounding pixels are blended bilinearly on premultiplied
// colour; 8 and 16 bits in integers rounded to nearest (halves up), float in single precision.
template <class P>
inline P sampleBilinear(const PixelImage& image, int32_t u, int32_t v) {
    return sampler_detail::bilinear<P, true>(image, u, v);
}

// The same without the equal-alpha shortcut: the plain form the fast one is checked against.
template <class P>
inline P sampleBilinearReference(const PixelImage& image, int32_t u, int32_t v) {
    return sampler_detail::bilinear<P, false>(image, u, v);
}

// sampleBilinear in steps over an image's bare fields, for a caller that wants the common
// cases without a stack frame: bilinearSettled() answers those (true) and otherwise leaves the
// position to bilinearInside() or bilinearBorder(). `data` is of the pixel type's depth,
// or null for no pixels.
using sampler_detail::bilinearBorder;
using sampler_detail::bilinearInside;
using sampler_detail::bilinearSettled;

// The average colour over the box [x − radius, x + radius] × [y − radius, y + radius], all in
// 16.16. Pixel i covers [i, i + 1), so its centre is at i + 0.5 and a whole position is the
// corner between pixels: the box [0, 2] × [0, 2] covers exactly pixels 0 and 1 in each axis.
// Each pixel weighs by its overlap with the box; the part of the box outside the image counts
// as transparent black. Alpha = Σ overlap·a / box area, colour = Σ overlap·a·c / Σ overlap·a.
// A radius of 0 or less is a point sample: the pixel holding (x, y), exactly as stored.
// The sums are in double precision in a fixed order; 8 and 16 bits are rounded to nearest
// (halves up), float is the double result rounded to float.
template <class P>
inline P sampleArea(const PixelImage& image, int32_t x, int32_t y, int32_t radius) {
    using namespace sampler_detail;
    if (!usable<P>(image))
        return P{};
    if (radius <= 0)
        return pixelOrClear<P>(image, x >> 16, y >> 16);

    // 64 bits: x ± radius can leave the int32 range.
    const int64_t left = int64_t{x} - radius;
    const int64_t right = int64_t{x} + radius;
    const int64_t top = int64_t{y} - radius;
    const int64_t bottom = int64_t{y} + radius;
    const int64_t firstColumn = left >> 16 < 0 ? 0 : left >> 16;
    const int64_t lastColumn =
        (right - 1) >> 16 >= image.width ? int64_t{image.width} - 1 : (right - 1) >> 16;
    const int64_t firstRow = top >> 16 < 0 ? 0 : top >> 16;
    const int64_t lastRow =
        (bottom - 1) >> 16 >= image.height ? int64_t{image.height} - 1 : (bottom - 1) >> 16;

    // Overlap of [lo, hi) with pixel k's [k, k + 1), in 1/65536 pixel units.
    auto overlap = [](int64_t lo, int64_t hi, int64_t k) {
        const int64_t start = k * 65536 > lo ? k * 65536 : lo;
        const int64_t end = (k + 1) * 65536 < hi ? (k + 1) * 65536 : hi;
        return static_cast<double>(end - start);
    };

    double sumA = 0.0, sumR = 0.0, sumG = 0.0, sumB = 0.0;
    for (int64_t j = firstRow; j <= lastRow; ++j) {
        const double oy = overlap(top, bottom, j);
        const P* row = image.row<P>(static_cast<int32_t>(j));
        double rowA = 0.0, rowR = 0.0, rowG = 0.0, rowB = 0.0;
        for (int64_t i = firstColumn; i <= lastColumn; ++i) {
            const P& p = row[static_cast<std::ptrdiff_t>(i)];
            const double wa = overlap(left, right, i) * static_cast<double>(p.alpha);
            rowA += wa;
            rowR += wa * static_cast<double>(p.red);
            rowG += wa * static_cast<double>(p.green);
            rowB += wa * static_cast<double>(p.blue);
        }
        sumA += oy * rowA;
        sumR += oy * rowR;
        sumG += oy * rowG;
        sumB += oy * rowB;
    }
    const double side = 2.0 * static_cast<double>(radius);
    const double alpha = sumA / (side * side);

    if constexpr (IS_INTEGER_PIXEL<P>) {
        using Channel = decltype(P::alpha);
        // Averages cannot exceed the largest input; the clamp only guards the cast.
        auto round = [](double value) {
            constexpr double TOP = static_cast<double>(static_cast<Channel>(~Channel{0}));
            const double rounded = static_cast<double>(truncToInt(value + 0.5));
            return static_cast<Channel>(rounded > TOP ? TOP : rounded < 0.0 ? 0.0 : rounded);
        };
        const Channel a = round(alpha);
        if (a == 0)
            return P{};
        return {a, round(sumR / sumA), round(sumG / sumA), round(sumB / sumA)};
    } else {
        if (sumA == 0.0)
            return P{};
        return {static_cast<float>(alpha), static_cast<float>(sumR / sumA),
                static_cast<float>(sumG / sumA), static_cast<float>(sumB / sumA)};
    }
}

}  // namespace mst
