// One small frame rendered through the plug-in's entry point on the stand-in host, with the
// host's real command sequence, from a scene decoded from the fuzzer's bytes: every parameter
// value the plug-in reads (panel values, values the panel never gives, NaN and infinite
// floats, any popup value), a mask of any shape (huge, tiny, degenerate, NaN coordinates), an
// input and an optional layer of the frame's depth, and the host's downsample ratio.
//
// Findings: a crash or sanitizer report, a result other than success or the host's
// out-of-memory (or the stand-in's 516 for a mask without segments), anything the host handed
// out and did not get back, and a 16-bit output channel above full scale.
//
// Layout (bytes in order, 0 past the end; a zero selector picks the panel default):
//   depth, width, height, row padding, downsample selector;
//   18 parameters (path selector first, then Offset ... Background in ParamId order, each a
//   selector byte and its value bytes; Edge Color four raw bytes);
//   the mask (closed flag, segment count, scale, origin, segments);
//   the layer (0: none, else its size);
//   input pixels, then layer pixels, each XORed over a ramp.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "fuzz_bytes.h"
#include "host/entry_point.h"
#include "host/param_ids.h"
#include "standin_host/standin_host.h"

namespace mst::fuzz {
namespace {

constexpr uint32_t MASK_ID = 1;
constexpr uint32_t UNKNOWN_MASK_ID = 9;
constexpr int32_t MAX_SIDE = 24;
constexpr int32_t MAX_LAYER_SIDE = 16;
// A mask of more segments takes longer to walk without reaching anything new.
constexpr int32_t MAX_SEGMENTS = 256;
// The host's memory: a stamp larger than this is refused as out of memory, which is how a
// host short of memory answers, and keeps huge stamps from costing seconds per input.
constexpr uint64_t HOST_MEMORY = uint64_t{1} << 20;

[[noreturn]] void finding(const char* what, long value) {
    std::fprintf(stderr, "render fuzzer: %s (%ld)\n", what, value);
    std::abort();
}

// A value the panel never gives, for selectors 4 to 7.
int32_t unusualInt(uint8_t selector, Bytes& in) {
    switch (selector) {
        case 4:
            return in.raw<int32_t>();
        case 5:
            return std::numeric_limits<int32_t>::max();
        case 6:
            return std::numeric_limits<int32_t>::min();
        default:
            return -in.in(1, 1 << 15);
    }
}

// An integer parameter: the default, a value the panel gives (lo..hi), or one it never gives.
int32_t intValue(Bytes& in, int32_t dflt, int32_t lo, int32_t hi) {
    const uint8_t selector = in.byte() % 8;
    return selector == 0 ? dflt : selector < 4 ? in.in(lo, hi) : unusualInt(selector, in);
}

// "Number": a count the panel gives, kept small so most inputs take milliseconds, or now and
// then one it never gives. Any count above the panel's 10000 costs the plug-in as much as
// 10000 stamps (most of a second here), so those are rare, not a quarter of all inputs.
int32_t numberValue(Bytes& in) {
    switch (const uint8_t selector = in.byte()) {
        case 0:
            return 5;
        case 252:
            return -in.in(1, 1 << 15);
        case 253:
            return std::numeric_limits<int32_t>::min();
        case 254:
            return in.raw<int32_t>();
        case 255:
            return std::numeric_limits<int32_t>::max();
        default:
            return selector % 41;
    }
}

// A 16.16 parameter whose panel range is lo..hi, in the same way.
int32_t fixedValue(Bytes& in, double dflt, double lo, double hi) {
    auto fixed = [](double v) { return static_cast<int32_t>(std::lround(v * 65536.0)); };
    const uint8_t selector = in.byte() % 8;
    return selector == 0  ? fixed(dflt)
           : selector < 4 ? fixed(lo + (hi - lo) * in.unit())
                          : unusualInt(selector, in);
}

double specialDouble(Bytes& in) {
    constexpr double INF = std::numeric_limits<double>::infinity();
    static const double SPECIAL[] = {std::numeric_limits<double>::quiet_NaN(),
                                     INF,
                                     -INF,
                                     1e300,
                                     -1e300,
                                     4.9e-324,
                                     -0.0,
                                     2147483648.0,
                                     -2147483649.0,
                                     1e-300};
    return SPECIAL[in.byte() % std::size(SPECIAL)];
}

// A float parameter: the default, a value in lo..hi, any bit pattern, or a special value.
double doubleValue(Bytes& in, double dflt, double lo, double hi) {
    switch (in.byte() % 6) {
        case 0:
            return dflt;
        case 4:
            return std::bit_cast<double>(in.raw<uint64_t>());
        case 5:
            return specialDouble(in);
        default:
            return lo + (hi - lo) * in.unit();
    }
}

int32_t popupValue(Bytes& in, int32_t dflt, int32_t count) {
    return intValue(in, dflt, 1, count);
}

// The mask: a polyline across the frame by default; otherwise segments decoded from the bytes
// around an origin, scaled by a factor from 0 to 1e300.
std::unique_ptr<BezierPath> decodeMask(Bytes& in, int32_t width, int32_t height) {
    const uint8_t kind = in.byte();
    const bool closed = (kind & 1) != 0;
    if ((kind & 2) == 0) {
        return makePolylinePath(
            {{1, 1}, {width - 2.0, height / 2.0}, {1, height - 1.0}, {width / 2.0, 0}}, closed);
    }
    const int32_t count = in.in(0, MAX_SEGMENTS);
    static const double SCALES[] = {1.0, 1e-9, 0.0, 1e6, 1e300, -1.0, 4.9e-324, 1e-300};
    const double scale = SCALES[in.byte() % std::size(SCALES)];
    const PathPoint origin{in.unit() * (MAX_SIDE + 16) - 8, in.unit() * (MAX_SIDE + 16) - 8};
    auto point = [&]() {
        return PathPoint{origin.x + scale * (in.unit() * 48 - 24),
                         origin.y + scale * (in.unit() * 48 - 24)};
    };
    const PathPoint start = point();
    PathPoint last = start;
    std::vector<CubicSegment> segments;
    for (int32_t i = 0; i < count; ++i) {
        CubicSegment s;
        switch (in.byte() % 8) {
            case 0: {  // a line, controls at thirds
                s.end = point();
                s.control1 = {last.x + (s.end.x - last.x) / 3, last.y + (s.end.y - last.y) / 3};
                s.control2 = {last.x + 2 * (s.end.x - last.x) / 3,
                              last.y + 2 * (s.end.y - last.y) / 3};
                break;
            }
            case 1:  // no length at all
                s = {last, last, last};
                break;
            case 2:  // a special coordinate somewhere
                s = {point(), point(), point()};
                (in.byte() & 1 ? s.control1.x : s.end.y) = specialDouble(in);
                break;
            case 3:  // a cusp: controls swapped back onto the ends
                s.end = point();
                s.control1 = s.end;
                s.control2 = last;
                break;
            default:
                s = {point(), point(), point()};
                break;
        }
        segments.push_back(s);
        last = s.end;
    }
    return std::make_unique<BezierPath>(start, std::move(segments), closed);
}

uint8_t mix8(uint8_t ramp, uint8_t bits) {
    return static_cast<uint8_t>(ramp ^ bits);
}
// The host's 16-bit pixels never exceed 32768.
uint16_t mix16(uint32_t ramp, uint16_t bits) {
    return static_cast<uint16_t>(std::min<uint32_t>(ramp ^ bits, 32768));
}
float mixFloat(float ramp, uint32_t bits) {
    return std::bit_cast<float>(std::bit_cast<uint32_t>(ramp) ^ bits);
}

// Pixels as a colour ramp with the input's bytes XORed over it: no bytes, the plain ramp;
// for float frames any bit pattern, NaN and infinities included.
void fillImage(Bytes& in, OwnedImage& image) {
    for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
            const auto r = static_cast<uint8_t>(x * 10 + 5);
            const auto g = static_cast<uint8_t>(y * 10 + 5);
            const auto b = static_cast<uint8_t>((x + y) * 5);
            switch (image.depth()) {
                case PixelDepth::Depth8:
                    image.at<Pixel8>(x, y) = {mix8(255, in.byte()), mix8(r, in.byte()),
                                              mix8(g, in.byte()), mix8(b, in.byte())};
                    break;
                case PixelDepth::Depth16:
                    image.at<Pixel16>(x, y) = {
                        mix16(32768, in.raw<uint16_t>()), mix16(r * 128u, in.raw<uint16_t>()),
                        mix16(g * 128u, in.raw<uint16_t>()), mix16(b * 128u, in.raw<uint16_t>())};
                    break;
                case PixelDepth::DepthFloat:
                    image.at<PixelFloat>(x, y) = {mixFloat(1.0f, in.raw<uint32_t>()),
                                                  mixFloat(r / 255.0f, in.raw<uint32_t>()),
                                                  mixFloat(g / 255.0f, in.raw<uint32_t>()),
                                                  mixFloat(b / 255.0f, in.raw<uint32_t>())};
                    break;
            }
        }
    }
}

void decodeParams(Bytes& in, StandinHost& host) {
    const uint8_t path = in.byte() % 4;
    host.param(PATH).u.path_d.path_id = path == 0 || path == 1 ? MASK_ID
                                        : path == 2            ? 0
                                                               : UNKNOWN_MASK_ID;
    host.param(OFFSET).u.ad.value = fixedValue(in, 0, -720, 720);
    host.param(NUMBER).u.sd.value = numberValue(in);
    host.param(LENGTH).u.fd.value = fixedValue(in, 100, 0, 100);
    host.param(TIME).u.fd.value = fixedValue(in, 50, 0, 100);
    host.param(WIDTH).u.fs_d.value = doubleValue(in, 9, 0, 40);
    host.param(ANGLE).u.ad.value = fixedValue(in, 0, -720, 720);
    host.param(FIXED_ANGLE).u.bd.value = intValue(in, 0, 0, 1);
    host.param(SHAPE).u.pd.value = popupValue(in, 1, 3);
    host.param(INNER).u.fd.value = fixedValue(in, 0, 0, 100);
    host.param(N_SIDES).u.sd.value = intValue(in, 4, 3, 18);
    host.param(EDGE_THICKNESS).u.sd.value = intValue(in, 1, 0, 6);
    host.param(EDGE_MODE).u.pd.value = popupValue(in, 1, 2);
    host.param(EDGE_LIGHTNESS).u.fs_d.value = doubleValue(in, 1.2000000476837158, 0, 5);
    host.param(EDGE_COLOR).u.cd.value = {in.byte(), in.byte(), in.byte(), in.byte()};
    host.param(COLOR_BLEND_MODE).u.pd.value = popupValue(in, 5, 8);
    host.param(COLOR_OPACITY).u.fd.value = fixedValue(in, 100, 0, 100);
    host.param(BACKGROUND).u.pd.value = popupValue(in, 2, 2);
}

PF_RationalScale decodeDownsample(Bytes& in) {
    switch (in.byte() % 8) {
        case 1:
            return {1, 2};
        case 2:
            return {1, 3};
        case 3:
            return {1, 0};
        case 4:
            return {0, 1};
        case 5:
            return {-1, 1};
        case 6:
            return {in.raw<int32_t>(), in.raw<uint32_t>()};
        default:
            return {1, 1};
    }
}

void checkSixteenBit(const OwnedImage& image) {
    if (image.depth() != PixelDepth::Depth16)
        return;
    for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
            const Pixel16 p = image.at<Pixel16>(x, y);
            if (std::max({p.alpha, p.red, p.green, p.blue}) > 32768)
                finding("a 16-bit output channel above 32768 at x + 100 y", x + 100L * y);
        }
    }
}

}  // namespace
}  // namespace mst::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mst;
    using namespace mst::fuzz;
    Bytes in(data, size);
    static const PixelDepth DEPTHS[] = {PixelDepth::Depth8, PixelDepth::Depth16,
                                        PixelDepth::DepthFloat};
    const PixelDepth depth = DEPTHS[in.byte() % 3];
    const int32_t width = MAX_SIDE - in.byte() % MAX_SIDE;
    const int32_t height = MAX_SIDE - in.byte() % MAX_SIDE;
    const int32_t pad = in.byte() % 4;

    StandinHost host(EntryPointFunc);
    host.maxImageBytes = HOST_MEMORY;
    host.downsample = decodeDownsample(in);
    if (const PF_Err err = host.setUp())
        finding("setup failed", err);
    decodeParams(in, host);
    host.masks[MASK_ID] = decodeMask(in, width, height);
    // The walk asks for segment 0 even of a path without segments; the stand-in host answers
    // 516 for it, as for a mask it does not know, and that code is the frame's.
    int32_t segments = 0;
    host.masks[MASK_ID]->segmentCount(segments);
    const bool noSegments = host.param(PATH).u.path_d.path_id == UNKNOWN_MASK_ID || segments == 0;
    const uint8_t layer = in.byte();
    const int32_t layerWidth = 1 + layer % MAX_LAYER_SIDE;
    const int32_t layerHeight = 1 + in.byte() % MAX_LAYER_SIDE;
    host.input = OwnedImage(depth, width, height, pad);
    fillImage(in, host.input);
    if (layer != 0) {
        host.layer = OwnedImage(depth, layerWidth, layerHeight);
        fillImage(in, *host.layer);
    }

    OwnedImage output;
    const PF_Err err = host.renderFrame(output);
    if (err != PF_Err_NONE && err != PF_Err_OUT_OF_MEMORY &&
        !(err == PF_Err_BAD_CALLBACK_PARAM && noSegments)) {
        finding("the frame failed", err);
    }
    if (const std::string held = host.held(); !held.empty()) {
        std::fprintf(stderr, "render fuzzer: held after the frame: %s\n", held.c_str());
        std::abort();
    }
    if (err == PF_Err_NONE)
        checkSixteenBit(output);
    if (const PF_Err setdown = host.command(PF_Cmd_SEQUENCE_SETDOWN))
        finding("sequence setdown failed", setdown);
    return 0;
}
