#include "standin_host/hls_color.h"

namespace mst {

namespace {

// Into 0 … 1; NaN becomes 0.
float clampUnit(double v) {
    if (!(v >= 0.0))
        return 0.0f;
    if (v > 1.0)
        return 1.0f;
    return static_cast<float>(v);
}

// One channel of the HLS model: t is the hue in turns, shifted by the channel's third, and
// p, q the channel's minimum and maximum.
double hueToChannel(double p, double q, double t) {
    if (t < 0.0)
        t += 1.0;
    if (t >= 1.0)
        t -= 1.0;
    if (t < 1.0 / 6.0)
        return p + (q - p) * 6.0 * t;
    if (t < 0.5)
        return q;
    if (t < 2.0 / 3.0)
        return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

}  // namespace

// L = (max + min) / 2
// S = (max − min) / (max + min)      for L ≤ 0.5
//     (max − min) / (2 − max − min)  otherwise
// H = the sextant of the largest channel plus the offset of the other two, in turns × 360.
int32_t rgbToHls(const PixelFloat& rgb, HlsPixel& hls) {
    const double r = rgb.red;
    const double g = rgb.green;
    const double b = rgb.blue;
    double high = r;
    if (g > high)
        high = g;
    if (b > high)
        high = b;
    double low = r;
    if (g < low)
        low = g;
    if (b < low)
        low = b;

    const double lightness = (high + low) * 0.5;
    const double chroma = high - low;
    double saturation = 0.0;
    double turns = 0.0;
    // Greys (and NaN channels) have no hue. Colours outside 0 … 1 can make the denominator
    // negative: the formulas still invert exactly (hlsToRgb rebuilds max = L + chroma / 2), so
    // an over-bright red stays red rather than turning grey. Only a zero denominator (lightness
    // exactly 0 or 1 with chroma) has no saturation; it is taken as 0, a grey.
    if (chroma > 0.0) {
        const double denominator = lightness <= 0.5 ? high + low : 2.0 - high - low;
        if (denominator != 0.0)
            saturation = chroma / denominator;
        double sextant;
        if (r == high) {
            sextant = (g - b) / chroma;
        } else if (g == high) {
            sextant = 2.0 + (b - r) / chroma;
        } else {
            sextant = 4.0 + (r - g) / chroma;
        }
        turns = sextant / 6.0;
        if (turns < 0.0)
            turns += 1.0;
    }
    int32_t hue = toFixed(turns * 360.0);
    if (hue >= HLS_HUE_TURN)
        hue -= HLS_HUE_TURN;
    hls.hue = hue;
    hls.lightness = toFixed(lightness);
    hls.saturation = toFixed(saturation);
    return ERR_NONE;
}

// q = L × (1 + S)       for L < 0.5
//     L + S − L × S     otherwise
// p = 2L − q; each channel runs between p and q by the hue, red a third of a turn ahead.
int32_t hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) {
    int32_t hue = hls.hue % HLS_HUE_TURN;
    if (hue < 0)
        hue += HLS_HUE_TURN;
    const double t = static_cast<double>(hue) / static_cast<double>(HLS_HUE_TURN);
    const double l = static_cast<double>(hls.lightness) / HLS_UNIT;
    const double s = static_cast<double>(hls.saturation) / HLS_UNIT;
    if (s == 0.0) {
        rgb.red = rgb.green = rgb.blue = clampUnit(l);
        return ERR_NONE;
    }
    const double q = l < 0.5 ? l * (1.0 + s) : l + s - l * s;
    const double p = 2.0 * l - q;
    rgb.red = clampUnit(hueToChannel(p, q, t + 1.0 / 3.0));
    rgb.green = clampUnit(hueToChannel(p, q, t));
    rgb.blue = clampUnit(hueToChannel(p, q, t - 1.0 / 3.0));
    return ERR_NONE;
}

}  // namespace mst
