#include "renderer/demo_scene.h"

#include <algorithm>
#include <cmath>

#include "renderer/image_ops.h"

namespace mst {

const char* const DEMO_PATH =
    "M 140 270 C 140 80 380 60 480 210 C 580 60 820 80 820 270 "
    "C 820 460 580 480 480 330 C 380 480 140 460 140 270 Z";

namespace {

// HSV with hue in turns, saturation and value in 0..1.
PixelFloat hsv(double hue, double sat, double val) {
    hue -= std::floor(hue);
    const double h = hue * 6.0;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = val * (1.0 - sat);
    const double q = val * (1.0 - sat * f);
    const double t = val * (1.0 - sat * (1.0 - f));
    const double rgb[6][3] = {{val, t, p}, {q, val, p}, {p, val, t},
                              {p, q, val}, {t, p, val}, {val, p, q}};
    const double* c = rgb[sector];
    return {1.0f, static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])};
}

}  // namespace

OwnedImage makeDemoImage(PixelDepth depth) {
    constexpr double PI = 3.141592653589793;
    OwnedImage image(PixelDepth::DepthFloat, DEMO_WIDTH, DEMO_HEIGHT);
    for (int32_t y = 0; y < DEMO_HEIGHT; ++y) {
        for (int32_t x = 0; x < DEMO_WIDTH; ++x) {
            const double u = (x + 0.5) / DEMO_WIDTH;
            const double v = (y + 0.5) / DEMO_HEIGHT;
            // Rings around two centres, matching the path's two loops.
            const double d1 = std::hypot(x - 300.0, y - 270.0);
            const double d2 = std::hypot(x - 660.0, y - 270.0);
            const double rings = 0.5 + 0.5 * std::cos(std::min(d1, d2) / 18.0);
            const double hue = u * 0.9 + 0.08 * std::sin(v * 2.0 * PI) + 0.05 * rings;
            const double sat = 0.55 + 0.4 * rings;
            const double val = 0.45 + 0.5 * (1.0 - v) * (0.7 + 0.3 * rings);
            image.at<PixelFloat>(x, y) = hsv(hue, sat, val);
        }
    }
    return convertDepth(image, depth);
}

}  // namespace mst
