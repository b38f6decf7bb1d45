#include "standin_host/reference_frames.h"

#include <cstring>
#include <fstream>
#include <utility>

#include "standin_host/portable_math.h"

namespace mst {
namespace {

constexpr char FRAME_MAGIC[4] = {'M', 'S', 'T', 'F'};

const char* depthName(PixelDepth depth) {
    switch (depth) {
        case PixelDepth::Depth8:
            return "8";
        case PixelDepth::Depth16:
            return "16";
        default:
            return "float";
    }
}

template <class Pattern>
OwnedImage imageFrom8(PixelDepth depth, int32_t width, int32_t height, Pattern pattern) {
    OwnedImage image(depth, width, height);
    fillFrom8(image, pattern);
    return image;
}

// A small layer with a transparent corner, so tinting and over both see partial alpha.
OwnedImage referenceLayer(PixelDepth depth) {
    return imageFrom8(depth, 11, 7, [](int32_t x, int32_t y) {
        const auto alpha = static_cast<uint8_t>(x + y < 3 ? 0 : 120 + 15 * y);
        return Pixel8{alpha, static_cast<uint8_t>(250 - 20 * x), static_cast<uint8_t>(30 * y),
                      static_cast<uint8_t>(90 + 13 * x)};
    });
}

std::vector<ReferenceFrame> buildFrames() {
    std::vector<ReferenceFrame> frames;
    for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
        const std::string d = depthName(depth);
        for (int32_t background : {1, 2}) {
            const std::string b = background == 1 ? "original" : "transparent";

            // Circles with a lightened edge ring and a hole, around the square.
            PanelValues circle;
            circle.path = static_cast<uint32_t>(ReferenceMask::Square);
            circle.shape = 1;
            circle.number = 9;
            circle.width = 9.5;
            circle.inner = 25;
            circle.edgeThickness = 2;
            circle.edgeMode = 1;
            circle.edgeLightness = 1.5;
            circle.length = 80;
            circle.time = 55;
            circle.offset = 30;
            circle.background = background;
            frames.push_back({"circle_" + d + "_" + b, depth, ReferenceMask::Square, circle});

            // Pentagons with a fixed edge colour, turned with the curve of the circle mask.
            PanelValues polygon;
            polygon.path = static_cast<uint32_t>(ReferenceMask::Circle);
            polygon.shape = 2;
            polygon.sides = 5;
            polygon.number = 8;
            polygon.width = 12.25;
            polygon.angle = 20;
            polygon.inner = 30;
            polygon.edgeThickness = 1;
            polygon.edgeMode = 2;
            polygon.edgeColor = {255, 40, 200, 90};
            polygon.offset = 45;
            polygon.background = background;
            frames.push_back({"polygon_" + d + "_" + b, depth, ReferenceMask::Circle, polygon});

            // Layer copies along an open zigzag, at a fixed angle.
            PanelValues layer;
            layer.path = static_cast<uint32_t>(ReferenceMask::Zigzag);
            layer.shape = 3;
            layer.number = 6;
            layer.width = 14.5;
            layer.fixedAngle = true;
            layer.angle = -35;
            layer.blendMode = 5;
            layer.colorOpacity = 70;
            layer.background = background;
            frames.push_back({"layer_" + d + "_" + b, depth, ReferenceMask::Zigzag, layer});
        }
        // Each blend mode on layer stamps turned with the circle mask.
        for (int32_t blend = 1; blend <= 8; ++blend) {
            PanelValues layer;
            layer.path = static_cast<uint32_t>(ReferenceMask::Circle);
            layer.shape = 3;
            layer.number = 7;
            layer.width = 13;
            layer.angle = 10;
            layer.blendMode = blend;
            layer.colorOpacity = 65;
            layer.background = 1;
            frames.push_back({"layer_" + d + "_blend" + std::to_string(blend), depth,
                              ReferenceMask::Circle, layer});
        }
    }
    return frames;
}

void putU32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint32_t getU32(const unsigned char* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

const std::vector<ReferenceFrame>& referenceFrames() {
    static const std::vector<ReferenceFrame> frames = buildFrames();
    return frames;
}

OwnedImage referenceSource(PixelDepth depth) {
    // Smooth ramps in every channel, with a band of partial alpha across the middle.
    return imageFrom8(depth, REFERENCE_WIDTH, REFERENCE_HEIGHT, [](int32_t x, int32_t y) {
        const auto alpha = static_cast<uint8_t>(y >= 20 && y < 28 ? 96 + 4 * x : 255);
        return Pixel8{alpha, static_cast<uint8_t>(x * 4 + 3), static_cast<uint8_t>(y * 5 + 10),
                      static_cast<uint8_t>((x + 2 * y) * 2)};
    });
}

PF_Err renderReferenceFrame(PF_EntryPointFunc entry, const ReferenceFrame& frame,
                            OwnedImage& output) {
    StandinHost host(entry);
    // The C libraries disagree in the last bit of these four now and then; math that gives
    // the same bits everywhere leaves the plug-in's own code as the only thing compared.
    // (fmod, ceil, floor and sqrt are exact in every IEEE library.)
    host.ansi().atan2 = portableAtan2;
    host.ansi().cos = portableCos;
    host.ansi().sin = portableSin;
    host.ansi().pow = portablePow;
    host.input = referenceSource(frame.depth);
    host.layer = referenceLayer(frame.depth);
    host.masks[static_cast<uint32_t>(ReferenceMask::Square)] =
        makePolylinePath({{10, 8}, {54, 8}, {54, 40}, {10, 40}}, true);
    host.masks[static_cast<uint32_t>(ReferenceMask::Circle)] = makeCirclePath(32, 24, 15);
    host.masks[static_cast<uint32_t>(ReferenceMask::Zigzag)] =
        makePolylinePath({{4, 40}, {18, 10}, {32, 38}, {46, 9}, {60, 30}}, false);
    if (PF_Err err = host.setUp())
        return err;
    applyPanelValues(host, frame.values);
    return host.renderFrame(output);
}

bool writeFrameFile(const std::string& path, const OwnedImage& image, std::string& error) {
    unsigned char header[16];
    std::memcpy(header, FRAME_MAGIC, 4);
    putU32(header + 4, static_cast<uint32_t>(image.depth()));
    putU32(header + 8, static_cast<uint32_t>(image.width()));
    putU32(header + 12, static_cast<uint32_t>(image.height()));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    const size_t rowBytes = static_cast<size_t>(image.width()) * pixelSize(image.depth());
    for (int32_t y = 0; y < image.height(); ++y) {
        const std::byte* row = image.bytes().data() + static_cast<size_t>(y) * image.rowBytes();
        out.write(reinterpret_cast<const char*>(row), static_cast<std::streamsize>(rowBytes));
    }
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::optional<OwnedImage> readFrameFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[16];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) {
        error = "cannot read the header of " + path;
        return std::nullopt;
    }
    const uint32_t depth = getU32(header + 4);
    const uint32_t width = getU32(header + 8);
    const uint32_t height = getU32(header + 12);
    // Frames are small: a size beyond a few megapixels means a damaged file.
    if (std::memcmp(header, FRAME_MAGIC, 4) != 0 || depth > 2 || width == 0 || height == 0 ||
        width > 4096 || height > 4096) {
        error = path + " is not a frame file";
        return std::nullopt;
    }
    OwnedImage image(static_cast<PixelDepth>(depth), static_cast<int32_t>(width),
                     static_cast<int32_t>(height));
    if (!in.read(static_cast<char*>(image.data()),
                 static_cast<std::streamsize>(image.bytes().size())) ||
        in.peek() != std::ifstream::traits_type::eof()) {
        error = path + " does not hold exactly one " + std::to_string(width) + "x" +
                std::to_string(height) + " frame";
        return std::nullopt;
    }
    return image;
}

}  // namespace mst
