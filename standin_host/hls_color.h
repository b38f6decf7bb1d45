// The colour service over plain memory: conversion between RGB and the HLS model (hue,
// lightness, saturation), standing in for the host's float colour service.
#pragma once

#include <cstdint>

#include "core/render_host.h"

namespace mst {

// Hue in degrees, 16.16: 0 … HLS_HUE_TURN, one full turn. Degrees rather than turns keep the
// hue's rounding far below a float's last bit (2^-16 degree), so the round trip is limited
// only by the lightness and saturation. hlsToRgb takes any hue, reduced modulo a turn.
constexpr int32_t HLS_HUE_TURN = 360 * 65536;
// Lightness and saturation, 16.16: 65536 is 1.0.
constexpr int32_t HLS_UNIT = 65536;

// Fills hls from rgb's red, green and blue (alpha is not read). Lightness (max + min) / 2 and
// saturation follow the standard HLS model; a grey has hue 0 and saturation 0. Colours outside
// 0 … 1 give out-of-range values (a lightness above 65536, a negative saturation), saturated
// into int32, never a fault, and hlsToRgb turns them back into the colour clamped into 0 … 1
// (up to the rounding of the 16.16 values).
// Where the saturation has no finite value (lightness exactly 0 or 1 with chroma, only
// reachable from out-of-range colours) it is 0. Always returns 0.
int32_t rgbToHls(const PixelFloat& rgb, HlsPixel& hls);

// Fills rgb's red, green and blue from hls; rgb.alpha is left as it was. Each result is
// clamped into 0 … 1, so any input, in range or not, gives channels in 0 … 1 (NaN gives 0).
// For values made by rgbToHls from a colour in 0 … 1 it gives that colour back to within
// HLS_ROUND_TRIP_ERROR per channel. Always 0.
int32_t hlsToRgb(const HlsPixel& hls, PixelFloat& rgb);

// Round trip bound: lightness and saturation are each rounded by up to 2^-17, and a channel
// moves by at most 2 × the lightness error plus 0.5 × the saturation error; 2^-22 covers the
// hue's rounding (6 × 2^-17 / 360 through the middle channel) and the float result's.
constexpr double HLS_ROUND_TRIP_ERROR = 2.5 / 131072.0 + 1.0 / 4194304.0;

}  // namespace mst
