// Pixel work on whole images outside the effect: depth changes, the draft-resolution
// reduction, and frames set side by side.
#pragma once

#include <cstdint>
#include <vector>

#include "standin_host/owned_image.h"

namespace mst {

// 16-bit files hold 0..65535, 16-bit frames 0..32768. Both directions round to nearest, so a
// frame value written and read back is the value it was (65535 / 32768 is almost 2, so each
// frame value owns a file value that rounds back to it). Ties cannot occur from file to frame
// (65535 is odd); from frame to file the one tie (16384 -> 32767.5) rounds up. Frame values
// above 32768 are clamped: they are not valid 16-bit channels.
constexpr uint16_t fileToFrame16(uint16_t v) {
    return static_cast<uint16_t>((uint32_t{v} * 32768u + 32767u) / 65535u);
}
constexpr uint16_t frameToFile16(uint16_t v) {
    const uint32_t f = v > 32768u ? 32768u : v;
    return static_cast<uint16_t>((f * 65535u + 16384u) / 32768u);
}

// A float channel as an 8-bit or 16-bit frame value (0..255, 0..32768) or a 16-bit file value
// (0..65535): clamped to 0..1 (NaN is 0) and rounded to nearest. Image conversion rounds,
// unlike the effect's own coverage conversion, which truncates by design.
uint8_t floatTo8(float x);
uint16_t floatTo16(float x);
uint16_t floatToFile16(float x);

// The same picture in another depth: 8 -> 16 and 8/16 -> float are the effect's own
// conversions; the way down rounds to nearest. The result has no row padding.
OwnedImage convertDepth(const OwnedImage& image, PixelDepth depth);

// The picture reduced by `factor` in both directions, as the host's draft resolutions see a
// layer: ceil(width / factor) x ceil(height / factor), each pixel the box average of the
// source pixels it covers (edge boxes average what lies inside the image). Colour is averaged
// weighted by alpha, so transparent pixels lend no colour to their neighbours.
OwnedImage downsampleImage(const OwnedImage& image, int32_t factor);

// Frames of one depth and height side by side, left to right, in a single image.
OwnedImage sideBySide(const std::vector<OwnedImage>& frames);

}  // namespace mst
