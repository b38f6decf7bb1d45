// The three pixel layouts, the image view, and the value conversions every stage shares.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace mst {

// Channels are alpha, red, green, blue in memory order, straight (not premultiplied) colour.
// The layouts are byte-for-byte the host's 8-bit, 16-bit and float pixels, so host image
// memory is read and written in place.
struct Pixel8 {
    uint8_t alpha, red, green, blue;
};
struct Pixel16 {
    uint16_t alpha, red, green, blue;
};
struct PixelFloat {
    float alpha, red, green, blue;
};
static_assert(sizeof(Pixel8) == 4 && std::is_standard_layout_v<Pixel8>);
static_assert(sizeof(Pixel16) == 8 && std::is_standard_layout_v<Pixel16>);
static_assert(sizeof(PixelFloat) == 16 && std::is_standard_layout_v<PixelFloat>);

constexpr bool operator==(const Pixel8& a, const Pixel8& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
constexpr bool operator==(const Pixel16& a, const Pixel16& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
// Exact comparison (float == float): the tests pin last bits.
constexpr bool operator==(const PixelFloat& a, const PixelFloat& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// Two pixels with the same bytes, compared as whole words: unlike ==, a float NaN equals itself
// and -0 differs from +0, which is what a cache keyed on a pixel needs.
template <class P>
inline bool samePixel(const P& a, const P& b) {
    static_assert(sizeof(P) == 4 || sizeof(P) % 8 == 0);
    if constexpr (sizeof(P) == 4) {
        uint32_t x, y;
        std::memcpy(&x, &a, sizeof x);
        std::memcpy(&y, &b, sizeof y);
        return x == y;
    } else {
        uint64_t difference = 0;
        for (size_t k = 0; k < sizeof(P); k += sizeof(uint64_t)) {
            uint64_t x, y;
            std::memcpy(&x, reinterpret_cast<const unsigned char*>(&a) + k, sizeof x);
            std::memcpy(&y, reinterpret_cast<const unsigned char*>(&b) + k, sizeof y);
            difference |= x ^ y;
        }
        return difference == 0;
    }
}

constexpr int32_t CHANNEL_MAX_8 = 255;
// 16-bit full scale is 32768, not 65535: the host's deep-colour convention.
constexpr int32_t CHANNEL_MAX_16 = 32768;
constexpr float CHANNEL_MAX_FLOAT = 1.0f;

enum class PixelDepth : uint8_t { Depth8 = 0, Depth16 = 1, DepthFloat = 2 };

// The host's 32-bit pixel format codes; little-endian, so their bytes read "argb", "ae16", "ae32".
constexpr uint32_t PIXEL_FORMAT_CODE_8 = 0x62677261;
constexpr uint32_t PIXEL_FORMAT_CODE_16 = 0x36316561;
constexpr uint32_t PIXEL_FORMAT_CODE_FLOAT = 0x32336561;
// The host's "badf": no format known yet.
constexpr uint32_t PIXEL_FORMAT_CODE_INVALID = 0x66646162;

// Maps a host format code to a depth; false for any code that is not one of the three.
constexpr bool depthFromFormatCode(uint32_t code, PixelDepth& depth) {
    switch (code) {
        case PIXEL_FORMAT_CODE_8:
            depth = PixelDepth::Depth8;
            return true;
        case PIXEL_FORMAT_CODE_16:
            depth = PixelDepth::Depth16;
            return true;
        case PIXEL_FORMAT_CODE_FLOAT:
            depth = PixelDepth::DepthFloat;
            return true;
        default:
            return false;
    }
}

constexpr uint32_t formatCodeOf(PixelDepth depth) {
    switch (depth) {
        case PixelDepth::Depth8:
            return PIXEL_FORMAT_CODE_8;
        case PixelDepth::Depth16:
            return PIXEL_FORMAT_CODE_16;
        default:
            return PIXEL_FORMAT_CODE_FLOAT;
    }
}

// log2 of the pixel size: a host row length in bytes shifted right by this is pixels per row.
constexpr int pixelSizeShift(PixelDepth depth) {
    return depth == PixelDepth::Depth8 ? 2 : depth == PixelDepth::Depth16 ? 3 : 4;
}
constexpr int32_t pixelSize(PixelDepth depth) {
    return int32_t{1} << pixelSizeShift(depth);
}

template <class P>
constexpr PixelDepth depthOf();
template <>
constexpr PixelDepth depthOf<Pixel8>() {
    return PixelDepth::Depth8;
}
template <>
constexpr PixelDepth depthOf<Pixel16>() {
    return PixelDepth::Depth16;
}
template <>
constexpr PixelDepth depthOf<PixelFloat>() {
    return PixelDepth::DepthFloat;
}

// Non-owning view of one image. Pixel (x, y) is element y * pixelsPerRow + x of data.
struct PixelImage {
    PixelDepth depth = PixelDepth::Depth8;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pixelsPerRow = 0;
    void* data = nullptr;

    template <class P>
    P* row(int32_t y) const {
        return static_cast<P*>(data) + static_cast<std::ptrdiff_t>(y) * pixelsPerRow;
    }
    template <class P>
    P& at(int32_t x, int32_t y) const {
        return row<P>(y)[x];
    }
};

// The view of an image as hosts describe one: rows `rowBytes` apart.
inline PixelImage viewOfRows(void* data, int32_t width, int32_t height, int32_t rowBytes,
                             PixelDepth depth) {
    PixelImage view;
    view.depth = depth;
    view.width = width;
    view.height = height;
    view.pixelsPerRow = rowBytes >> pixelSizeShift(depth);
    view.data = data;
    return view;
}

// --- Real to integer -------------------------------------------------------------------------

// Rounds toward zero, whatever the rounding mode. Values beyond the int32 range saturate and
// NaN gives 0, so a hostile coordinate or size never reaches undefined behaviour; in-range
// values are exactly the truncation.
inline int32_t truncToInt(double x) {
    if (!(x > -2147483649.0))
        return std::isnan(x) ? 0 : INT32_MIN;
    if (!(x < 2147483648.0))
        return INT32_MAX;
    return static_cast<int32_t>(x);
}

// 16.16 fixed point, rounded half away from zero.
inline int32_t toFixed(double x) {
    return x < 0 ? truncToInt(x * 65536.0 - 0.5) : truncToInt(x * 65536.0 + 0.5);
}

// c x 255 truncated, low 8 bits kept: callers pass 0..1 (coverages, HLS results).
inline uint8_t floatToChannel8(double x) {
    return static_cast<uint8_t>(static_cast<uint32_t>(truncToInt(x * 255.0)) & 0xFFu);
}
// c x 32768 truncated, low 16 bits kept.
inline uint16_t floatToChannel16(double x) {
    return static_cast<uint16_t>(static_cast<uint32_t>(truncToInt(x * 32768.0)) & 0xFFFFu);
}

// --- Between depths ------------------------------------------------------------------------

// (v x 32768 + 128) / 255: rounds to nearest and is exact at both ends (255 -> 32768).
constexpr uint16_t convertChannel8To16(uint8_t v) {
    return static_cast<uint16_t>((uint32_t{v} * 32768u + 128u) / 255u);
}
constexpr Pixel16 convert8To16(Pixel8 p) {
    return {convertChannel8To16(p.alpha), convertChannel8To16(p.red), convertChannel8To16(p.green),
            convertChannel8To16(p.blue)};
}
inline PixelFloat convert8ToFloat(Pixel8 p) {
    auto c = [](uint8_t v) { return static_cast<float>(static_cast<double>(v) / 255.0); };
    return {c(p.alpha), c(p.red), c(p.green), c(p.blue)};
}
inline PixelFloat convert16ToFloat(Pixel16 p) {
    auto c = [](uint16_t v) { return static_cast<float>(static_cast<double>(v) / 32768.0); };
    return {c(p.alpha), c(p.red), c(p.green), c(p.blue)};
}

// An 8-bit pixel in the depth of P: itself, convert8To16 or convert8ToFloat.
template <class P>
P convert8To(Pixel8 p) {
    if constexpr (std::is_same_v<P, Pixel8>) {
        return p;
    } else if constexpr (std::is_same_v<P, Pixel16>) {
        return convert8To16(p);
    } else {
        return convert8ToFloat(p);
    }
}

}  // namespace mst
