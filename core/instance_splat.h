// Draws one stamp instance: turned by its angle, centred on a whole output pixel, sampled at
// sub-pixel precision and painted pixel by pixel over the output.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "core/frame_params.h"
#include "core/instance_color.h"
#include "core/render_host.h"
#include "core/stamp.h"

namespace mst {

// The frame's images as every stage after validation sees them. All writes are bounded by the
// input's width and height; the output has at least that many pixels per row and rows.
struct FrameSurfaces {
    PixelDepth depth = PixelDepth::Depth8;
    PixelImage input;
    PixelImage output;
    // Set when, before the first stamp, no output pixel in the frame has alpha 0 (8 and
    // 16-bit only). It stays true through every stamp: over(D, X) with D.a > 0 is X when
    // X.a = MAX, D when X.a = 0, and otherwise has alpha min(X.a + t, MAX) with t the share
    // of D showing through: t >= 0 for X.a in range, and for a 16-bit X.a above full scale
    // X.a + t still stays at least 1 (the tests check every X.a). A stamp's transparent
    // samples then leave the output as it is, unread.
    bool outputVisible = false;
};

// True when no pixel of the first `width` x `height` of an 8 or 16-bit image has alpha 0; false
// for float, whose alphas may be negative and so may mix to 0. Stops after the first row
// holding a transparent pixel, so a cleared output costs one row.
template <class P>
bool noTransparentPixel(const PixelImage& image, int32_t width, int32_t height) {
    if constexpr (std::is_same_v<P, PixelFloat>) {
        return false;
    } else {
        for (int32_t y = 0; y < height; ++y) {
            const P* row = image.row<P>(y);
            bool transparent = false;
            for (int32_t x = 0; x < width; ++x) {
                transparent |= row[x].alpha == 0;
            }
            if (transparent)
                return false;
        }
        return true;
    }
}

// One stamp position along the path.
struct StampInstance {
    int32_t index = 0;  // 1-based
    double x = 0.0;
    double y = 0.0;
    double tangentX = 0.0;
    double tangentY = 0.0;
    double angle = 0.0;  // radians
};

// A 16.16 point or matrix column.
struct FixedPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// point = [firstColumn secondColumn] * point with the coefficients pre-shifted right by 4 and
// the coordinates by 12 (arithmetic shifts), so each product is again 16.16. Both inputs are
// read before either output is written. The sums wrap in unsigned arithmetic: identical to the
// 32-bit result in range, and defined for a footprint beyond 32767 pixels.
inline void rotatePointFixed(FixedPoint firstColumn, FixedPoint secondColumn, FixedPoint& point) {
    const int32_t px = point.x >> 12;
    const int32_t py = point.y >> 12;
    const uint32_t u = static_cast<uint32_t>(firstColumn.x >> 4) * static_cast<uint32_t>(px) +
                       static_cast<uint32_t>(secondColumn.x >> 4) * static_cast<uint32_t>(py);
    const uint32_t v = static_cast<uint32_t>(firstColumn.y >> 4) * static_cast<uint32_t>(px) +
                       static_cast<uint32_t>(secondColumn.y >> 4) * static_cast<uint32_t>(py);
    point.x = static_cast<int32_t>(u);
    point.y = static_cast<int32_t>(v);
}

// Per-instance geometry: footprint half extents, rotation, centre pixel.
struct SplatGeometry {
    int32_t hx = 0;
    int32_t hy = 0;
    int32_t cosFixed = 0;
    int32_t sinFixed = 0;
    int32_t cx = 0;
    int32_t cy = 0;
};
SplatGeometry splatGeometry(const StampInstance& instance, const Stamp& stamp,
                            const MathFunctions& math);

namespace detail {

// Footprint pixels are sampled and painted a run of CHUNK at a time: the positions of a run
// go to the host's sampler in one row, then each sample is composited with the frame's rule.
constexpr int32_t SPLAT_CHUNK = 128;

template <CompositeRule RULE, class P>
void splatRows(const Stamp& stamp, const FrameSurfaces& surfaces, const ColorState<P>& colors,
               const FrameParams& params, RenderHost& host, FixedPoint firstColumn,
               FixedPoint secondColumn, int64_t cx, int64_t cy, int64_t dxFirst, int64_t dxLast,
               int64_t dyFirst, int64_t dyLast, int32_t& err) {
    const uint32_t centreU = static_cast<uint32_t>(stamp.halfWidth) * 65536u;
    const uint32_t centreV = static_cast<uint32_t>(stamp.halfHeight) * 65536u;
    // For -32768 <= dx <= 32767, (dx x 65536) >> 12 is dx x 16, so along a row the rotation
    // adds the same (wrapping) step for each pixel: a run's positions are its first position
    // plus multiples of the step, the same bits as rotating each point. Wider footprints rotate
    // every point.
    const bool stepAlongRows = dxFirst >= -32768 && dxLast <= 32767;
    const uint32_t stepU = static_cast<uint32_t>(firstColumn.x >> 4) * 16u;
    const uint32_t stepV = static_cast<uint32_t>(firstColumn.y >> 4) * 16u;
    InstanceCompositor<RULE, P> compositor(colors, params.colorOpacity, surfaces.outputVisible);
    int32_t us[SPLAT_CHUNK];
    int32_t vs[SPLAT_CHUNK];
    P samples[SPLAT_CHUNK];
    for (int64_t dy = dyFirst; dy <= dyLast; ++dy) {
        P* row = surfaces.output.row<P>(static_cast<int32_t>(cy + dy)) + cx;
        const int32_t fixedY = static_cast<int32_t>(static_cast<uint32_t>(dy) * 65536u);
        for (int64_t runStart = dxFirst; runStart <= dxLast; runStart += SPLAT_CHUNK) {
            const int32_t count =
                static_cast<int32_t>(std::min<int64_t>(SPLAT_CHUNK, dxLast - runStart + 1));
            if (stepAlongRows) {
                FixedPoint point{static_cast<int32_t>(static_cast<uint32_t>(runStart) * 65536u),
                                 fixedY};
                rotatePointFixed(firstColumn, secondColumn, point);
                uint32_t u = static_cast<uint32_t>(point.x) + centreU;
                uint32_t v = static_cast<uint32_t>(point.y) + centreV;
                for (int32_t k = 0; k < count; ++k) {
                    us[k] = static_cast<int32_t>(u);
                    vs[k] = static_cast<int32_t>(v);
                    u += stepU;
                    v += stepV;
                }
            } else {
                for (int32_t k = 0; k < count; ++k) {
                    const int64_t dx = runStart + k;
                    FixedPoint point{static_cast<int32_t>(static_cast<uint32_t>(dx) * 65536u),
                                     fixedY};
                    rotatePointFixed(firstColumn, secondColumn, point);
                    us[k] = static_cast<int32_t>(static_cast<uint32_t>(point.x) + centreU);
                    vs[k] = static_cast<int32_t>(static_cast<uint32_t>(point.y) + centreV);
                }
            }
            if (err == 0)
                err = host.subpixelSampleRow(stamp.image, us, vs, count, samples);
            if (err != 0)
                return;
            P* out = row + runStart;
            for (int32_t k = 0; k < count;) {
                int32_t end = k + 1;
                while (end < count && samePixel(samples[end], samples[k]))
                    ++end;
                compositor.paintRun(samples[k], out + k, end - k);
                k = end;
            }
        }
    }
}

}  // namespace detail

// Draws one instance over the output. Reads the centre colour from the source (clamped into
// it), hands it to the colour state, then composites every footprint pixel inside the frame.
// A sampler failure becomes `err` and ends the instance. A NaN position draws nothing but, like
// every instance, still takes its colour.
template <class P>
void splatInstance(const StampInstance& instance, const Stamp& stamp, const FrameSurfaces& surfaces,
                   ColorState<P>& colors, const FrameParams& params, bool layerStampActive,
                   RenderHost& host, int32_t& err) {
    const int32_t width = surfaces.input.width;
    const int32_t height = surfaces.input.height;
    // An empty source has no centre colour to read and no pixel to draw.
    if (width <= 0 || height <= 0)
        return;

    const SplatGeometry g = splatGeometry(instance, stamp, host.math());
    const P center =
        surfaces.input.at<P>(std::clamp(g.cx, 0, width - 1), std::clamp(g.cy, 0, height - 1));
    prepareInstanceColor(colors, center, layerStampActive, params, host, err);
    // A NaN position is nowhere: its colour step ran, there is no pixel to draw.
    if (std::isnan(instance.x) || std::isnan(instance.y))
        return;

    // Only the footprint rows and columns inside the frame are visited; offsets are formed
    // in 64 bits so a centre far outside the frame cannot overflow.
    const int64_t cx = g.cx;
    const int64_t cy = g.cy;
    const int64_t dyFirst = std::max<int64_t>(-g.hy, -cy);
    const int64_t dyLast = std::min<int64_t>(g.hy, height - 1 - cy);
    const int64_t dxFirst = std::max<int64_t>(-g.hx, -cx);
    const int64_t dxLast = std::min<int64_t>(g.hx, width - 1 - cx);
    if (dyFirst > dyLast || dxFirst > dxLast)
        return;

    const FixedPoint firstColumn{g.cosFixed, -g.sinFixed};
    const FixedPoint secondColumn{g.sinFixed, g.cosFixed};
    switch (compositeRuleFor(params, layerStampActive)) {
        case CompositeRule::LayerUntinted:
            detail::splatRows<CompositeRule::LayerUntinted>(stamp, surfaces, colors, params, host,
                                                            firstColumn, secondColumn, cx, cy,
                                                            dxFirst, dxLast, dyFirst, dyLast, err);
            break;
        case CompositeRule::LayerTint:
            detail::splatRows<CompositeRule::LayerTint>(stamp, surfaces, colors, params, host,
                                                        firstColumn, secondColumn, cx, cy, dxFirst,
                                                        dxLast, dyFirst, dyLast, err);
            break;
        case CompositeRule::ShapeFill:
            detail::splatRows<CompositeRule::ShapeFill>(stamp, surfaces, colors, params, host,
                                                        firstColumn, secondColumn, cx, cy, dxFirst,
                                                        dxLast, dyFirst, dyLast, err);
            break;
        case CompositeRule::ShapeEdgeMix:
            detail::splatRows<CompositeRule::ShapeEdgeMix>(stamp, surfaces, colors, params, host,
                                                           firstColumn, secondColumn, cx, cy,
                                                           dxFirst, dxLast, dyFirst, dyLast, err);
            break;
    }
}

}  // namespace mst
