// Instance colouring: the frame's colour state, each instance's centre and edge colour, and
// the per-pixel rule that paints a stamp sample into the output.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "core/frame_params.h"
#include "core/render_host.h"
#include "pixel/blend_operators.h"

namespace mst {

template <class P>
struct ColorState {
    using Channel = typename PixelTraits<P>::Channel;
    P currentEdgeColor{};
    int32_t lightFactor = 0;  // 16.16: 2^edgeLightness - 1
    BlendOperator<P> blendOperator = nullptr;
    P centerColor{};
    Channel centerAlpha{};
};

template <class P>
PixelFloat toPixelFloat(P p) {
    if constexpr (std::is_same_v<P, Pixel8>) {
        return convert8ToFloat(p);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return convert16ToFloat(p);
    } else {
        return p;
    }
}

// Lightness x (2^edgeLightness - 1) in 16.16 with each factor's low 4 bits dropped, capped at
// 65536. Formed in 64 bits: a float source outside 0..1 can report a lightness past 65536 and
// the product then passes 2^31 - 1. In range the result is the 32-bit formula's; out of range
// it is held to 0..65536.
inline int32_t adjustLightness(int32_t lightness, int32_t lightFactor) {
    const int64_t product = (int64_t{lightness >> 4} * int64_t{lightFactor >> 4}) >> 8;
    return static_cast<int32_t>(std::clamp<int64_t>(product, 0, 65536));
}

// Once per frame, before the first instance. Acquires the colour service (recorded in
// `colorServiceHeld` so the driver releases it).
template <class P>
ColorState<P> prepareFrameColors(const FrameParams& params, RenderHost& host,
                                 bool& colorServiceHeld, int32_t& err) {
    ColorState<P> state;
    if (err == 0) {
        err = host.acquireColorService();
        colorServiceHeld = err == 0;
    }
    // The Edge Color parameter is always 8-bit.
    state.currentEdgeColor = convert8To<P>(params.edgeColor);
    state.lightFactor = toFixed(host.math().pow(2.0, params.edgeLightness) - 1);
    state.blendOperator = blendOperatorFor<P>(params.blendMode);
    return state;
}

// Once per instance: keeps the centre colour and, in the Lightness edge mode of shape stamps,
// makes this instance's edge colour from it through the host's HLS conversion.
template <class P>
void prepareInstanceColor(ColorState<P>& state, P center, bool layerStampActive,
                          const FrameParams& params, RenderHost& host, int32_t& err) {
    state.centerColor = center;
    state.centerAlpha = center.alpha;
    if (layerStampActive || params.edgeMode != static_cast<int32_t>(EdgeMode::Lightness))
        return;

    PixelFloat rgb = toPixelFloat(center);
    HlsPixel hls{};
    if (err == 0)
        err = host.rgbToHls(rgb, hls);
    hls.lightness = adjustLightness(hls.lightness, state.lightFactor);
    if (err == 0)
        err = host.hlsToRgb(hls, rgb);
    if constexpr (std::is_same_v<P, Pixel8>) {
        state.currentEdgeColor.red = floatToChannel8(rgb.red);
        state.currentEdgeColor.green = floatToChannel8(rgb.green);
        state.currentEdgeColor.blue = floatToChannel8(rgb.blue);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        state.currentEdgeColor.red = floatToChannel16(rgb.red);
        state.currentEdgeColor.green = floatToChannel16(rgb.green);
        state.currentEdgeColor.blue = floatToChannel16(rgb.blue);
    } else {
        state.currentEdgeColor = rgb;
    }
}

namespace detail {

// Stamp coverage times the centre alpha: /255 in 8-bit, >>15 in 16-bit, a product in float.
// Unsigned so out-of-range 16-bit channels stay defined.
template <class P>
typename PixelTraits<P>::Channel coverageTimesAlpha(typename PixelTraits<P>::Channel coverage,
                                                    typename PixelTraits<P>::Channel alpha) {
    using Channel = typename PixelTraits<P>::Channel;
    if constexpr (std::is_same_v<P, Pixel8>) {
        return static_cast<Channel>((uint32_t{coverage} * alpha) / 255u);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return static_cast<Channel>((uint32_t{coverage} * alpha) >> 15);
    } else {
        return coverage * alpha;
    }
}

// X.c = (S.c P.c + (MAX - S.c) E.c) / MAX: the stamp channel weighs the centre colour against
// the edge colour. 8-bit divides by 255, 16-bit shifts by 15; unsigned as the formula states.
template <class P>
typename PixelTraits<P>::Channel mixChannel(typename PixelTraits<P>::Channel s,
                                            typename PixelTraits<P>::Channel p,
                                            typename PixelTraits<P>::Channel e) {
    using Channel = typename PixelTraits<P>::Channel;
    if constexpr (std::is_same_v<P, Pixel8>) {
        return static_cast<Channel>((uint32_t{s} * p + (255u - s) * e) / 255u);
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return static_cast<Channel>((uint32_t{s} * p + (32768u - s) * e) >> 15);
    } else {
        return s * p + (1 - s) * e;
    }
}

// True when the mix would give the centre colour exactly: every colour channel at full scale
// (integer depths only; in float, 0 x E is not 0 for an infinite E, nor -0 + 0 equal to -0).
template <class P>
bool isFullWeight(const P& s) {
    if constexpr (std::is_same_v<P, PixelFloat>) {
        return false;
    } else {
        constexpr auto FULL = PixelTraits<P>::MAX;
        return s.red == FULL && s.green == FULL && s.blue == FULL;
    }
}

// The centre alpha scaled by Color Opacity: low bits of the truncation in 8 and 16-bit.
template <class P>
typename PixelTraits<P>::Channel opacityAlpha(typename PixelTraits<P>::Channel alpha,
                                              double opacity) {
    using Channel = typename PixelTraits<P>::Channel;
    if constexpr (std::is_floating_point_v<Channel>) {
        return static_cast<float>(alpha * opacity);
    } else {
        return static_cast<Channel>(static_cast<uint32_t>(truncToInt(alpha * opacity)));
    }
}

}  // namespace detail

// Which of the three compositing rules a frame's stamp pixels follow: fixed for the frame.
enum class CompositeRule { LayerTint, LayerUntinted, ShapeFill, ShapeEdgeMix };

inline CompositeRule compositeRuleFor(const FrameParams& params, bool layerStampActive) {
    if (layerStampActive) {
        return params.colorOpacity == 0.0 ? CompositeRule::LayerUntinted : CompositeRule::LayerTint;
    }
    return params.edgeThickness == 0 ? CompositeRule::ShapeFill : CompositeRule::ShapeEdgeMix;
}

// The pixel X that stamp sample S paints over the output under a rule chosen once per frame. It
// depends on S and the instance's colours only, never on the output pixel. `keepDestination`
// is set where the rule leaves the output pixel as it is (a tinted layer's transparent sample).
template <CompositeRule RULE, class P>
inline P stampTop(const ColorState<P>& state, double colorOpacity, P sample,
                  bool& keepDestination) {
    using Channel = typename PixelTraits<P>::Channel;
    keepDestination = false;
    P top;
    if constexpr (RULE == CompositeRule::LayerUntinted) {
        // The layer is painted unchanged.
        top = sample;
    } else if constexpr (RULE == CompositeRule::LayerTint) {
        if (sample.alpha == 0) {
            keepDestination = true;
            return sample;
        }
        // The opaque layer pixel is the bottom, the opacity-scaled centre colour the top; the
        // layer's own alpha comes back afterwards.
        const Channel sampleAlpha = sample.alpha;
        sample.alpha = static_cast<Channel>(PixelTraits<P>::MAX);
        P tint = state.centerColor;
        tint.alpha = detail::opacityAlpha<P>(state.centerAlpha, colorOpacity);
        top = state.blendOperator(sample, tint);
        top.alpha = sampleAlpha;
    } else if constexpr (RULE == CompositeRule::ShapeFill) {
        // The stamp's alpha is coverage: the centre colour at coverage x A0.
        top = state.centerColor;
        top.alpha = detail::coverageTimesAlpha<P>(sample.alpha, state.centerAlpha);
    } else {
        // The stamp's channels weigh the centre colour against the edge colour.
        top.alpha = detail::coverageTimesAlpha<P>(sample.alpha, state.centerAlpha);
        const P& c = state.centerColor;
        const P& e = state.currentEdgeColor;
        if (detail::isFullWeight<P>(sample)) {
            // S.c at full scale gives exactly P.c.
            top.red = c.red;
            top.green = c.green;
            top.blue = c.blue;
        } else {
            top.red = detail::mixChannel<P>(sample.red, c.red, e.red);
            top.green = detail::mixChannel<P>(sample.green, c.green, e.green);
            top.blue = detail::mixChannel<P>(sample.blue, c.blue, e.blue);
        }
    }
    return top;
}

// The new value of output pixel D for stamp sample S under a rule chosen once per frame; each
// rule ends with D = over(D, X).
template <CompositeRule RULE, class P>
inline P compositeByRule(const ColorState<P>& state, double colorOpacity, P sample, P destination) {
    bool keepDestination = false;
    const P top = stampTop<RULE>(state, colorOpacity, sample, keepDestination);
    return keepDestination ? destination : compositeOver(destination, top);
}

// compositeByRule for the samples of one instance, a run of equal samples at a time. X depends
// on S alone, and a footprint is mostly long runs of one sample (outside the stamp, its flat
// inside), so the last sample's X is kept and each run is painted by the case of over it
// falls in: an opaque X replaces the run, a transparent X fills only its transparent pixels,
// and only the rest mixes pixel by pixel. Samples are matched by their bytes, so every result
// is compositeByRule's own.
template <CompositeRule RULE, class P>
class InstanceCompositor {
  public:
    // `destinationVisible`: no output pixel has alpha 0, nor will any (FrameSurfaces), so a
    // transparent X leaves every pixel as it is.
    InstanceCompositor(const ColorState<P>& state, double colorOpacity, bool destinationVisible)
        : state_(state), colorOpacity_(colorOpacity), destinationVisible_(destinationVisible) {
        remake(P{});
    }

    // Paints `sample` over out[0 .. count - 1].
    void paintRun(const P& sample, P* out, int32_t count) {
        if (!samePixel(sample, lastSample_))
            remake(sample);
        switch (paint_) {
            case Paint::Keep:
                break;
            case Paint::Replace:
                std::fill(out, out + count, top_);
                break;
            case Paint::FillTransparent:
                // over(D, X) with X.a = 0 is X where D.a = 0 and D elsewhere.
                for (int32_t k = 0; k < count; ++k) {
                    if (out[k].alpha == 0)
                        out[k] = top_;
                }
                break;
            case Paint::Over:
                for (int32_t k = 0; k < count; ++k) {
                    out[k] = compositeOver(out[k], top_);
                }
                break;
        }
    }

  private:
    enum class Paint { Keep, Replace, FillTransparent, Over };

    void remake(const P& sample) {
        lastSample_ = sample;
        bool keepDestination = false;
        top_ = stampTop<RULE>(state_, colorOpacity_, sample, keepDestination);
        if (keepDestination) {
            paint_ = Paint::Keep;
        } else if (top_.alpha == PixelTraits<P>::MAX) {
            paint_ = Paint::Replace;
        } else if (top_.alpha == 0) {
            paint_ = destinationVisible_ ? Paint::Keep : Paint::FillTransparent;
        } else {
            paint_ = Paint::Over;
        }
    }

    const ColorState<P>& state_;
    double colorOpacity_;
    bool destinationVisible_;
    P lastSample_{};
    P top_{};
    Paint paint_ = Paint::Over;
};

// The new value of output pixel D for stamp sample S: exactly one of three rules (the layer
// rule has its untinted case), each ending with D = over(D, X).
template <class P>
P compositeStampPixel(const ColorState<P>& state, const FrameParams& params, bool layerStampActive,
                      P sample, P destination) {
    switch (compositeRuleFor(params, layerStampActive)) {
        case CompositeRule::LayerUntinted:
            return compositeByRule<CompositeRule::LayerUntinted>(state, params.colorOpacity, sample,
                                                                 destination);
        case CompositeRule::LayerTint:
            return compositeByRule<CompositeRule::LayerTint>(state, params.colorOpacity, sample,
                                                             destination);
        case CompositeRule::ShapeFill:
            return compositeByRule<CompositeRule::ShapeFill>(state, params.colorOpacity, sample,
                                                             destination);
        case CompositeRule::ShapeEdgeMix:
        default:
            return compositeByRule<CompositeRule::ShapeEdgeMix>(state, params.colorOpacity, sample,
                                                                destination);
    }
}

}  // namespace mst
