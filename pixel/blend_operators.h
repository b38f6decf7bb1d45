// The over operator and the eight "Color Blend Mode" operators, once per pixel type, and the
// per-depth operator tables.
//
// Every operator takes (bottom, top) and returns a new pixel; below A is the bottom, B the top,
// MAX the depth's full scale. Integer depths compute in PixelTraits<P>::Wide and truncate every
// division; float computes and stores every step in single precision and compares exactly.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "pixel/pixel_traits.h"
#include "pixel/pixel_types.h"

namespace mst {

template <class P>
concept BlendPixel =
    std::same_as<P, Pixel8> || std::same_as<P, Pixel16> || std::same_as<P, PixelFloat>;

namespace blend_detail {

// Which weight the bottom colour gets in the shared over/Add mix.
enum class BottomWeight { Share, OwnAlpha };

// The shared body of over and Add, after their early returns:
//   t = the share of the bottom that shows through B (PixelTraits::overShare)
//   a = B.a + t, capped at MAX; float only: a <= 0 gives {0, 0, 0, 0}
//   c = (B.c B.a + A.c w) / a, w = t for over, A.a for Add; integers clamp c to 0..MAX
template <BottomWeight WEIGHT, BlendPixel P>
constexpr P mixOver(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    using Channel = typename Tr::Channel;
    const W topAlpha = top.alpha;
    const W t = Tr::overShare(topAlpha, bottom.alpha);
    W a = topAlpha + t;
    if (a > Tr::MAX)
        a = Tr::MAX;
    if constexpr (Tr::IS_FLOAT) {
        // Reached only with alphas outside 0..1.
        if (a <= 0.0f)
            return P{};
    }
    const W bottomWeight = WEIGHT == BottomWeight::Share ? t : W(bottom.alpha);
    // Float: the numerator is rounded to float before the division.
    auto channel = [&](W bottomC, W topC) {
        const W numerator = topC * topAlpha + bottomC * bottomWeight;
        return Tr::toChannel(numerator / a);
    };
    return {static_cast<Channel>(a), channel(bottom.red, top.red), channel(bottom.green, top.green),
            channel(bottom.blue, top.blue)};
}

// Float pre-step: colour channels clamped to 0..1 (both bounds) or only capped at 1.
enum class ColourClamp { Both, UpperOnly };
template <ColourClamp CLAMP>
constexpr PixelFloat clampColour(PixelFloat p) {
    auto c = [](float v) {
        if (CLAMP == ColourClamp::Both && v < 0.0f)
            return 0.0f;
        return v > 1.0f ? 1.0f : v;
    };
    return {p.alpha, c(p.red), c(p.green), c(p.blue)};
}

}  // namespace blend_detail

// Over: B painted onto A.
//   A.a == 0 or B.a == MAX: B; else B.a == 0: A
//   t = ((256 - B.a) A.a) >> 8 | ((32768 - B.a) A.a) >> 15 | (1 - B.a) A.a
//   a = min(B.a + t, MAX);  c = (B.c B.a + A.c t) / a
// 8-bit takes the complement against 256, not 255, because it scales by a shift, not by a
// division by 255. Integer colours are clamped to 0..MAX; float colours are not, and a float
// a <= 0 gives the all-zero pixel.
template <BlendPixel P>
constexpr P compositeOver(P bottom, P top) {
    if (bottom.alpha == 0 || top.alpha == PixelTraits<P>::MAX)
        return top;
    if (top.alpha == 0)
        return bottom;
    return blend_detail::mixOver<blend_detail::BottomWeight::Share>(bottom, top);
}

namespace blend_detail {

// The tinted top T = {B.a, f(A.c, B.c)} (integers clamp each T.c to 0..MAX), painted over A.
template <BlendPixel P, class ChannelFormula>
constexpr P tintOver(P bottom, P top, ChannelFormula f) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    auto c = [&](W bottomC, W topC) { return Tr::toChannel(f(bottomC, topC)); };
    const P tint{top.alpha, c(bottom.red, top.red), c(bottom.green, top.green),
                 c(bottom.blue, top.blue)};
    return compositeOver(bottom, tint);
}

}  // namespace blend_detail

// Tritone: B's colour mapped through black, itself and white by A's luminance L.
//   dark  (L < 127 | 16383 | 0.5):  T.c = (B.c L) / 127 | (B.c L) / 16383 | B.c L 2
//   light (otherwise):  T.c = B.c + ((L - 127)(255 - B.c)) / 128
//                           | B.c + ((L - 16383)(32768 - B.c)) / 16384 | (1 - B.c)(L - 0.5) 2 + B.c
// The dark branch divides by 127 / 16383 and the light by 128 / 16384: the threshold is one
// below half scale. The 16-bit luminance weights sum to 61785, not 65536, so a white bottom
// gives L = 30892 and lifts the top only 89 % of the way to white.
// Only B.a == 0 returns early (gives A): a transparent bottom still goes through, and the final
// over then returns the tinted top. Float first clamps the colours of A and B to 0..1; that
// clamped A is also the bottom of the over.
template <BlendPixel P>
constexpr P blendTritone(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    if (top.alpha == 0)
        return bottom;
    if constexpr (Tr::IS_FLOAT) {
        bottom = blend_detail::clampColour<blend_detail::ColourClamp::Both>(bottom);
        top = blend_detail::clampColour<blend_detail::ColourClamp::Both>(top);
    }
    const W lum = Tr::luminance(bottom.red, bottom.green, bottom.blue);
    return blend_detail::tintOver(bottom, top, [lum](W, W b) -> W {
        if constexpr (Tr::IS_FLOAT) {
            if (lum < Tr::TRITONE_MID)
                return b * lum * 2.0f;
            return (1.0f - b) * (lum - 0.5f) * 2.0f + b;
        } else {
            if (lum < Tr::TRITONE_MID)
                return (b * lum) / Tr::TRITONE_MID;
            return b + ((lum - Tr::TRITONE_MID) * (Tr::MAX - b)) / Tr::TRITONE_LIGHT_DIV;
        }
    });
}

// Add: both colours weighted by their own alpha, normalised by the union alpha. No over step.
//   A.a == 0: B; else B.a == 0: A
//   t, a as in over;  c = (B.c B.a + A.c A.a) / a, integers clamped to 0..MAX
// With both pixels opaque this is the clamped sum of the colours.
template <BlendPixel P>
constexpr P blendAdd(P bottom, P top) {
    if (bottom.alpha == 0)
        return top;
    if (top.alpha == 0)
        return bottom;
    return blend_detail::mixOver<blend_detail::BottomWeight::OwnAlpha>(bottom, top);
}

// Multiply:  T.c = (A.c B.c) / 255 | (A.c B.c) / 32768 | A.c B.c
template <BlendPixel P>
constexpr P blendMultiply(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    if (bottom.alpha == 0)
        return top;
    if (top.alpha == 0)
        return bottom;
    return blend_detail::tintOver(bottom, top, [](W a, W b) { return Tr::mulDivMax(a, b); });
}

// Screen, on a premultiplied bottom (which is also the bottom of the over):
//   A.c := (A.c A.a) / 255 | (A.c A.a) / 32768 | A.c A.a
//   T.c = A.c + B.c - (A.c B.c) / 255 | A.c + B.c - (A.c B.c) / 32768 | 1 - (1 - A.c)(1 - B.c)
template <BlendPixel P>
constexpr P blendScreen(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    using Channel = typename Tr::Channel;
    if (bottom.alpha == 0)
        return top;
    if (top.alpha == 0)
        return bottom;
    auto premultiply = [&](Channel c) {
        return static_cast<Channel>(Tr::mulDivMax(c, bottom.alpha));
    };
    bottom = {bottom.alpha, premultiply(bottom.red), premultiply(bottom.green),
              premultiply(bottom.blue)};
    return blend_detail::tintOver(bottom, top, [](W a, W b) -> W {
        if constexpr (Tr::IS_FLOAT) {
            return 1.0f - (1.0f - a) * (1.0f - b);
        } else {
            return a + b - Tr::mulDivMax(a, b);
        }
    });
}

// Overlay, switching on the bottom channel:
//   A.c < 128 | 16384 | 0.5:  T.c = (2 A.c B.c) / 255 | (2 A.c B.c) / 32768 | A.c B.c 2
//   otherwise:  T.c = 2 (A.c + B.c - (A.c B.c) / MAX) - MAX   (integers)
//                   | 1 - (1 - A.c) 2 (1 - B.c)                 (float)
template <BlendPixel P>
constexpr P blendOverlay(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    if (bottom.alpha == 0)
        return top;
    if (top.alpha == 0)
        return bottom;
    return blend_detail::tintOver(bottom, top, [](W a, W b) -> W {
        if constexpr (Tr::IS_FLOAT) {
            if (a < Tr::HALF)
                return a * b * 2.0f;
            return 1.0f - (1.0f - a) * 2.0f * (1.0f - b);
        } else {
            if (a < Tr::HALF)
                return Tr::mulDivMax(2 * a, b);
            return 2 * (a + b - Tr::mulDivMax(a, b)) - Tr::MAX;
        }
    });
}

// Color Dodge:  T.c = MAX when B.c == MAX, else (A.c MAX) / (MAX - B.c)
//                                         (float: A.c / (1 - B.c))
// Integers clamp the overflow to MAX. Float first caps the colours of A and B at 1 (values
// below 0 stay); that capped A is also the bottom of the over.
template <BlendPixel P>
constexpr P blendColorDodge(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    if (bottom.alpha == 0)
        return top;
    if (top.alpha == 0)
        return bottom;
    if constexpr (Tr::IS_FLOAT) {
        bottom = blend_detail::clampColour<blend_detail::ColourClamp::UpperOnly>(bottom);
        top = blend_detail::clampColour<blend_detail::ColourClamp::UpperOnly>(top);
    }
    return blend_detail::tintOver(bottom, top, [](W a, W b) -> W {
        if (b == Tr::MAX)
            return Tr::MAX;
        if constexpr (Tr::IS_FLOAT) {
            return a / (1.0f - b);
        } else {
            return (a * Tr::MAX) / (Tr::MAX - b);
        }
    });
}

// Color Burn:  T.c = 0 when B.c == 0, else MAX - ((MAX - A.c) MAX) / B.c
//                                     (float: 1 - (1 - A.c) / B.c)
// Integers clamp the negative results to 0. Float first caps the colours of A and B at 1
// (values below 0 stay); that capped A is also the bottom of the over.
template <BlendPixel P>
constexpr P blendColorBurn(P bottom, P top) {
    using Tr = PixelTraits<P>;
    using W = typename Tr::Wide;
    if (bottom.alpha == 0)
        return top;
    if (top.alpha == 0)
        return bottom;
    if constexpr (Tr::IS_FLOAT) {
        bottom = blend_detail::clampColour<blend_detail::ColourClamp::UpperOnly>(bottom);
        top = blend_detail::clampColour<blend_detail::ColourClamp::UpperOnly>(top);
    }
    return blend_detail::tintOver(bottom, top, [](W a, W b) -> W {
        if (b == 0)
            return 0;
        if constexpr (Tr::IS_FLOAT) {
            return 1.0f - (1.0f - a) / b;
        } else {
            return Tr::MAX - ((Tr::MAX - a) * Tr::MAX) / b;
        }
    });
}

// The "Color Blend Mode" popup values, 1-based in the order of its labels.
enum class BlendMode : int32_t {
    Normal = 1,
    Tritone,
    Add,
    Multiply,
    Screen,
    Overlay,
    ColorDodge,
    ColorBurn
};

template <BlendPixel P>
using BlendOperator = P (*)(P, P);
using BlendOperator8 = BlendOperator<Pixel8>;
using BlendOperator16 = BlendOperator<Pixel16>;
using BlendOperatorFloat = BlendOperator<PixelFloat>;

// Indexed by the popup value; entry 0 is never selected and holds over.
inline constexpr std::size_t BLEND_TABLE_SIZE = 9;

template <BlendPixel P>
inline constexpr BlendOperator<P> BLEND_OPS[] = {
    compositeOver<P>, compositeOver<P>, blendTritone<P>,    blendAdd<P>,       blendMultiply<P>,
    blendScreen<P>,   blendOverlay<P>,  blendColorDodge<P>, blendColorBurn<P>,
};
inline constexpr const BlendOperator8 (&BLEND_OPS_8)[BLEND_TABLE_SIZE] = BLEND_OPS<Pixel8>;
inline constexpr const BlendOperator16 (&BLEND_OPS_16)[BLEND_TABLE_SIZE] = BLEND_OPS<Pixel16>;
inline constexpr const BlendOperatorFloat (&BLEND_OPS_FLOAT)[BLEND_TABLE_SIZE] =
    BLEND_OPS<PixelFloat>;
static_assert(std::size(BLEND_OPS<Pixel8>) == BLEND_TABLE_SIZE &&
              std::size(BLEND_OPS<Pixel16>) == BLEND_TABLE_SIZE &&
              std::size(BLEND_OPS<PixelFloat>) == BLEND_TABLE_SIZE);
static_assert(static_cast<std::size_t>(BlendMode::ColorBurn) == BLEND_TABLE_SIZE - 1);

// The operator for a "Color Blend Mode" value. The popup only yields 1..8; any other value
// (a damaged or foreign record) gets over, the Normal behaviour, instead of a read outside the
// table. Chosen once per frame, not per pixel.
template <BlendPixel P>
constexpr BlendOperator<P> blendOperatorFor(int32_t blendMode) {
    if (blendMode < 1 || blendMode >= static_cast<int32_t>(BLEND_TABLE_SIZE)) {
        return compositeOver<P>;
    }
    return BLEND_OPS<P>[blendMode];
}

}  // namespace mst
