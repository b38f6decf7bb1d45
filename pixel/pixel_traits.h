// Per-depth facts the pixel operators are written against: channel type, the type their
// intermediates live in, full scale, and each depth's exact scaling steps.
#pragma once

#include <cfloat>
#include <cstdint>
#include <limits>

#include "pixel/pixel_types.h"

namespace mst {

// Float operators round every operation to single precision; an evaluation method that keeps
// wider intermediates would change last bits.
#ifdef FLT_EVAL_METHOD
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be evaluated in float");
#endif

template <class P>
struct PixelTraits;

template <>
struct PixelTraits<Pixel8> {
    using Channel = uint8_t;
    // The largest 8-bit intermediate is 2 x 255 x 255 (Add's numerator).
    using Wide = int32_t;
    static constexpr bool IS_FLOAT = false;
    static constexpr Wide MAX = CHANNEL_MAX_8;
    // Overlay switches formula at this bottom value.
    static constexpr Wide HALF = 128;
    // Tritone: luminance below this is the dark branch, which also divides by it.
    static constexpr Wide TRITONE_MID = 127;
    // Tritone light-branch divisor: the span 127..255 is 128 wide.
    static constexpr Wide TRITONE_LIGHT_DIV = 128;

    // t = ((256 - top.a) x bottom.a) >> 8. The complement is taken against 256, not 255, to
    // match the scaling by a shift instead of a division by 255.
    static constexpr Wide overShare(Wide topAlpha, Wide bottomAlpha) {
        return ((256 - topAlpha) * bottomAlpha) >> 8;
    }
    // (x y) / 255, truncated.
    static constexpr Wide mulDivMax(Wide x, Wide y) { return (x * y) / MAX; }
    // L = (77 r + 151 g + 28 b) >> 8; the weights sum to 256, so L spans 0..255.
    static constexpr Wide luminance(Wide r, Wide g, Wide b) {
        return (77 * r + 151 * g + 28 * b) >> 8;
    }
    // Integer results are clamped to 0..255.
    static constexpr Channel toChannel(Wide v) {
        return static_cast<Channel>(v < 0 ? 0 : v > MAX ? MAX : v);
    }
};

template <>
struct PixelTraits<Pixel16> {
    using Channel = uint16_t;
    // 64-bit: Add's numerator B.c B.a + A.c A.a reaches 2^31 for two opaque full-scale pixels,
    // one past int32. With 64 bits no formula can overflow for any 16-bit channel value, and
    // in-range results are exactly the formulas'.
    using Wide = int64_t;
    static constexpr bool IS_FLOAT = false;
    static constexpr Wide MAX = CHANNEL_MAX_16;
    static constexpr Wide HALF = 16384;
    static constexpr Wide TRITONE_MID = 16383;
    static constexpr Wide TRITONE_LIGHT_DIV = 16384;

    // t = ((32768 - top.a) x bottom.a) >> 15.
    static constexpr Wide overShare(Wide topAlpha, Wide bottomAlpha) {
        return ((32768 - topAlpha) * bottomAlpha) >> 15;
    }
    // (x y) / 32768, truncated.
    static constexpr Wide mulDivMax(Wide x, Wide y) { return (x * y) / MAX; }
    // L = (19222 r + 32768 g + 9795 b) >> 16, clamped to 0..32768. The weights sum to 61785,
    // not 65536, so a white bottom only reaches 30892: Tritone never maps the top fully to
    // white in 16-bit.
    static constexpr Wide luminance(Wide r, Wide g, Wide b) {
        const Wide l = (19222 * r + 32768 * g + 9795 * b) >> 16;
        return l < 0 ? 0 : l > MAX ? MAX : l;
    }
    // Integer results are clamped to 0..32768.
    static constexpr Channel toChannel(Wide v) {
        return static_cast<Channel>(v < 0 ? 0 : v > MAX ? MAX : v);
    }
};

template <>
struct PixelTraits<PixelFloat> {
    using Channel = float;
    // Every intermediate is stored as a float.
    using Wide = float;
    static constexpr bool IS_FLOAT = true;
    static constexpr Wide MAX = CHANNEL_MAX_FLOAT;
    static constexpr Wide HALF = 0.5f;
    static constexpr Wide TRITONE_MID = 0.5f;

    // t = (1 - top.a) x bottom.a.
    static constexpr Wide overShare(Wide topAlpha, Wide bottomAlpha) {
        return (1.0f - topAlpha) * bottomAlpha;
    }
    // x y: float needs no rescaling.
    static constexpr Wide mulDivMax(Wide x, Wide y) { return x * y; }
    // L = 0.299 r + 0.587 g + 0.114 b with the weights rounded to float.
    static constexpr Wide luminance(Wide r, Wide g, Wide b) {
        return 0.299f * r + 0.587f * g + 0.114f * b;
    }
    // Float results are not clamped.
    static constexpr Channel toChannel(Wide v) { return v; }
};

// The wide type holds the largest product-sum any operator forms (2 x channel limit squared),
// for every value the channel type can hold, in range or not.
template <class P>
constexpr bool WIDE_IS_WIDE_ENOUGH =
    PixelTraits<P>::IS_FLOAT ||
    2.0 * std::numeric_limits<typename PixelTraits<P>::Channel>::max() *
            std::numeric_limits<typename PixelTraits<P>::Channel>::max() <=
        static_cast<double>(std::numeric_limits<typename PixelTraits<P>::Wide>::max());
static_assert(WIDE_IS_WIDE_ENOUGH<Pixel8> && WIDE_IS_WIDE_ENOUGH<Pixel16>);

}  // namespace mst
