// The real program, build/stamptrails, run on small files: its frames equal the plug-in's own
// render in process, and every bad input gives one message, its status, and no file.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "renderer/image_io.h"
#include "renderer/image_ops.h"
#include "renderer/panel.h"
#include "renderer_fixture.h"

namespace mst::test {
namespace {

constexpr int32_t W = 48;
constexpr int32_t H = 36;
const char* const SQUARE = "M 8 8 L 40 8 L 40 28 L 8 28 Z";
const char* const DIAGONAL = "M 2 3 L 44 31";

std::unique_ptr<BezierPath> squareMask() {
    return makePolylinePath({{8, 8}, {40, 8}, {40, 28}, {8, 28}}, true);
}
std::unique_ptr<BezierPath> diagonalMask() {
    return makePolylinePath({{2, 3}, {44, 31}}, false);
}

std::string text(double v) {
    return numberText(v);
}

// The command line that asks for `v`, written independently of the program's own mapping.
std::vector<std::string> optionsFor(const PanelValues& v) {
    static const char* const SHAPES[] = {"", "circle", "polygon", "layer"};
    static const char* const EDGE_MODES[] = {"", "lightness", "color"};
    static const char* const BLENDS[] = {"",        "normal",      "tritone",
                                         "add",     "multiply",    "screen",
                                         "overlay", "color-dodge", "color-burn"};
    static const char* const BACKGROUNDS[] = {"", "original", "transparent"};
    char color[8];
    std::snprintf(color, sizeof color, "%02x%02x%02x", v.edgeColor.red, v.edgeColor.green,
                  v.edgeColor.blue);
    std::vector<std::string> args{"--offset",         text(v.offset),
                                  "--number",         std::to_string(v.number),
                                  "--length",         text(v.length),
                                  "--time",           text(v.time),
                                  "--width",          text(v.width),
                                  "--angle",          text(v.angle),
                                  "--shape",          SHAPES[v.shape],
                                  "--inner",          text(v.inner),
                                  "--sides",          std::to_string(v.sides),
                                  "--edge-thickness", std::to_string(v.edgeThickness),
                                  "--edge-mode",      EDGE_MODES[v.edgeMode],
                                  "--edge-lightness", text(v.edgeLightness),
                                  "--edge-color",     color,
                                  "--blend-mode",     BLENDS[v.blendMode],
                                  "--color-opacity",  text(v.colorOpacity),
                                  "--background",     BACKGROUNDS[v.background]};
    if (v.fixedAngle)
        args.push_back("--fixed-angle");
    return args;
}

struct SceneCase {
    const char* name;
    PixelDepth depth;
    const char* inputFile;   // the input's file; its type sets the frame's depth
    const char* outputFile;  // the output's file; must hold the frame's depth exactly
    int32_t shape;
    int32_t blendMode;
    int32_t background;
    bool square;
};

class RenderedFile : public ::testing::TestWithParam<SceneCase> {};

TEST_P(RenderedFile, EqualsTheInProcessRender) {
    const SceneCase c = GetParam();
    ScratchDir dir, logs;
    const OwnedImage input = testPicture(c.depth, W, H);
    writeImage(dir / c.inputFile, input, *fileTypeForName(c.inputFile));
    // The layer file is 8-bit and of its own size: the program brings it to the frame's depth.
    const OwnedImage layerFile = testPicture(PixelDepth::Depth8, 13, 9);
    writeImage(dir / "layer.png", layerFile, ImageFileType::Png);

    PanelValues v;
    v.number = 6;
    v.width = 11.5;
    v.angle = 15;
    v.offset = 10;
    v.shape = c.shape;
    v.sides = 5;
    v.inner = 30;
    v.edgeThickness = 2;
    v.edgeColor = {255, 200, 40, 90};
    v.blendMode = c.blendMode;
    v.colorOpacity = 70;
    v.background = c.background;
    v.time = 60;
    std::vector<std::string> args{
        "render",           "--input", dir / c.inputFile,           "--out",
        dir / c.outputFile, "--path",  c.square ? SQUARE : DIAGONAL};
    if (c.shape == 3)
        args.insert(args.end(), {"--layer", dir / "layer.png"});
    const std::vector<std::string> options = optionsFor(v);
    args.insert(args.end(), options.begin(), options.end());

    const ProgramRun run = runProgram(args, logs);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "quiet when stderr is not a terminal";

    std::optional<OwnedImage> layer;
    if (c.shape == 3)
        layer = convertDepth(layerFile, c.depth);
    const OwnedImage expected =
        renderInProcess(input, layer, c.square ? squareMask() : diagonalMask(), v);
    EXPECT_NE(pixelBytes(expected),
              pixelBytes(c.background == 1 ? input : OwnedImage(c.depth, W, H)))
        << "the scene draws stamps";
    EXPECT_TRUE(sameImage(readImage(dir / c.outputFile), expected));
}

INSTANTIATE_TEST_SUITE_P(
    ShapesAndDepths, RenderedFile,
    ::testing::Values(
        SceneCase{"Circle8Png", PixelDepth::Depth8, "in.png", "out.png", 1, 5, 2, true},
        SceneCase{"Polygon8Png", PixelDepth::Depth8, "in.png", "out.png", 2, 5, 1, false},
        SceneCase{"Layer8Overlay", PixelDepth::Depth8, "in.png", "out.png", 3, 6, 1, true},
        SceneCase{"Circle16Png", PixelDepth::Depth16, "in.png", "out.png", 1, 5, 1, false},
        SceneCase{"Polygon16Png", PixelDepth::Depth16, "in.png", "out.png", 2, 5, 2, true},
        SceneCase{"Layer16Tritone", PixelDepth::Depth16, "in.png", "out.png", 3, 2, 1, false},
        // Opaque over the original: OpenEXR's premultiplied colour comes back exactly.
        SceneCase{"CircleFloatExr", PixelDepth::DepthFloat, "in.exr", "out.exr", 1, 5, 1, true},
        SceneCase{"PolygonFloatExr", PixelDepth::DepthFloat, "in.exr", "out.exr", 2, 5, 1, false},
        SceneCase{"LayerFloatColorBurn", PixelDepth::DepthFloat, "in.exr", "out.exr", 3, 8, 1,
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Program, DefaultsRenderThePanelsDefaultFrame) {
    ScratchDir dir, logs;
    const OwnedImage input = testPicture(PixelDepth::Depth8, W, H);
    writeImage(dir / "in.png", input, ImageFileType::Png);
    const ProgramRun run = runProgram(
        {"render", "--input", dir / "in.png", "--path", SQUARE, "--out", dir / "o.png"}, logs);
    ASSERT_EQ(run.status, 0) << run.err;
    PanelValues defaults;  // the panel's defaults, as the stand-in host's tests know them
    EXPECT_TRUE(sameImage(readImage(dir / "o.png"),
                          renderInProcess(input, std::nullopt, squareMask(), defaults)));
}

TEST(Program, TheDemoNeedsNoFiles) {
    ScratchDir dir, logs;
    const ProgramRun run = runProgram({"render", "--out", dir / "demo.png"}, logs);
    ASSERT_EQ(run.status, 0) << run.err;
    const OwnedImage demo = readImage(dir / "demo.png");
    EXPECT_EQ(demo.depth(), PixelDepth::Depth8);
    EXPECT_EQ(demo.width(), 960);
    EXPECT_EQ(demo.height(), 540);
    int64_t opaque = 0;
    for (int32_t y = 0; y < demo.height(); ++y) {
        for (int32_t x = 0; x < demo.width(); ++x)
            opaque += demo.at<Pixel8>(x, y).alpha == 255;
    }
    EXPECT_GT(opaque, 5 * 2000) << "five stamps of width 100 are drawn";
}

TEST(Program, DepthFollowsTheInputOrTheDepthOption) {
    ScratchDir dir, logs;
    writeImage(dir / "in16.png", testPicture(PixelDepth::Depth16, W, H), ImageFileType::Png);
    writeImage(dir / "in.exr", testPicture(PixelDepth::DepthFloat, W, H), ImageFileType::Exr);
    const std::pair<std::vector<std::string>, PixelDepth> cases[] = {
        {{"--input", dir / "in16.png", "--out", dir / "a.png"}, PixelDepth::Depth16},
        {{"--input", dir / "in.exr", "--out", dir / "b.exr"}, PixelDepth::DepthFloat},
        {{"--input", dir / "in16.png", "--depth", "32", "--out", dir / "c.exr"},
         PixelDepth::DepthFloat},
        {{"--input", dir / "in.exr", "--depth", "8", "--out", dir / "d.png"}, PixelDepth::Depth8},
    };
    for (const auto& [options, depth] : cases) {
        std::vector<std::string> args{"render", "--path", SQUARE};
        args.insert(args.end(), options.begin(), options.end());
        const ProgramRun run = runProgram(args, logs);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readImage(options.back()).depth(), depth) << options.back();
    }
}

// A frame file of the sequence equals the in-process render at that Time.
void expectFrameAtTime(const std::string& file, const OwnedImage& input, double timePercent) {
    PanelValues v;
    v.number = 9;
    v.width = 7;
    v.length = 40;
    v.time = timePercent;
    EXPECT_TRUE(sameImage(readImage(file), renderInProcess(input, std::nullopt, squareMask(), v)))
        << file << " at Time " << timePercent;
}

struct SequenceCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::pair<std::string, double>> frames;  // file and its Time
};

TEST(Program, FramesAreWrittenWithTheirTime) {
    const SequenceCase cases[] = {
        {"whole",
         {"--frames", "4", "--time-from", "10", "--time-to", "70"},
         {{"t_0001.png", 10}, {"t_0002.png", 30}, {"t_0003.png", 50}, {"t_0004.png", 70}}},
        {"range",
         {"--frames", "4", "--time-from", "10", "--time-to", "70", "--frame-range", "2-3"},
         {{"t_0002.png", 30}, {"t_0003.png", 50}}},
        {"two jobs",
         {"--frames", "3", "--jobs", "2"},
         {{"t_0001.png", 0}, {"t_0002.png", 50}, {"t_0003.png", 100}}},
    };
    for (const SequenceCase& c : cases) {
        ScratchDir dir, logs;
        const OwnedImage input = testPicture(PixelDepth::Depth8, W, H);
        writeImage(dir / "in.png", input, ImageFileType::Png);
        std::vector<std::string> args{"render",   "--input", dir / "in.png", "--path", SQUARE,
                                      "--number", "9",       "--width",      "7",      "--length",
                                      "40",       "--out",   dir / "t.png"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProgramRun run = runProgram(args, logs);
        ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
        std::vector<std::string> expectedFiles{"in.png"};
        for (const auto& [file, time] : c.frames) {
            expectedFiles.push_back(file);
            expectFrameAtTime(dir / file, input, time);
        }
        std::sort(expectedFiles.begin(), expectedFiles.end());
        EXPECT_EQ(dir.files(), expectedFiles) << c.name;
    }
}

TEST(Program, AStripHoldsTheFramesSideBySide) {
    ScratchDir dir, logs;
    const OwnedImage input = testPicture(PixelDepth::Depth8, W, H);
    writeImage(dir / "in.png", input, ImageFileType::Png);
    const ProgramRun run = runProgram({"render",
                                       "--input",
                                       dir / "in.png",
                                       "--path",
                                       SQUARE,
                                       "--number",
                                       "9",
                                       "--width",
                                       "7",
                                       "--length",
                                       "40",
                                       "--frames",
                                       "3",
                                       "--time-from",
                                       "20",
                                       "--time-to",
                                       "80",
                                       "--strip",
                                       "--out",
                                       dir / "strip.png"},
                                      logs);
    ASSERT_EQ(run.status, 0) << run.err;
    const OwnedImage strip = readImage(dir / "strip.png");
    ASSERT_EQ(strip.width(), 3 * W);
    std::vector<OwnedImage> expected;
    for (double t : {20.0, 50.0, 80.0}) {
        PanelValues v;
        v.number = 9;
        v.width = 7;
        v.length = 40;
        v.time = t;
        expected.push_back(renderInProcess(input, std::nullopt, squareMask(), v));
    }
    EXPECT_TRUE(sameImage(strip, sideBySide(expected)));
}

TEST(Program, DownsampleTwoMatchesTheFullFrameReducedByTwo) {
    ScratchDir dir, logs;
    // A smooth picture, so the stamps' sampled colours agree between the resolutions and
    // what differs is how their edges fall on the pixels.
    const int32_t w = 192, h = 144;
    OwnedImage input(PixelDepth::Depth8, w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            input.at<Pixel8>(x, y) =
                Pixel8{255, static_cast<uint8_t>(x * 255 / w), static_cast<uint8_t>(y * 255 / h),
                       static_cast<uint8_t>(255 - (x + y) * 255 / (w + h))};
        }
    }
    writeImage(dir / "in.png", input, ImageFileType::Png);
    const std::vector<std::string> common{"render",
                                          "--input",
                                          dir / "in.png",
                                          "--path",
                                          "M 20 30 C 80 -20 150 40 170 120 L 30 120 Z",
                                          "--number",
                                          "10",
                                          "--width",
                                          "24",
                                          "--edge-thickness",
                                          "2",
                                          "--inner",
                                          "30",
                                          "--time",
                                          "55",
                                          "--length",
                                          "80",
                                          "--background",
                                          "original"};
    std::vector<std::string> full = common, half = common;
    full.insert(full.end(), {"--out", dir / "full.png"});
    half.insert(half.end(), {"--out", dir / "half.png", "--downsample", "2"});
    ASSERT_EQ(runProgram(full, logs).status, 0);
    ASSERT_EQ(runProgram(half, logs).status, 0);
    const OwnedImage reduced = downsampleImage(readImage(dir / "full.png"), 2);
    const OwnedImage draft = readImage(dir / "half.png");
    ASSERT_EQ(draft.width(), w / 2);
    ASSERT_EQ(draft.height(), h / 2);

    double sum = 0;
    int64_t far = 0;
    const int64_t pixels = int64_t{draft.width()} * draft.height();
    for (int32_t y = 0; y < draft.height(); ++y) {
        for (int32_t x = 0; x < draft.width(); ++x) {
            const Pixel8 a = draft.at<Pixel8>(x, y), b = reduced.at<Pixel8>(x, y);
            const int dr = std::abs(a.red - b.red), dg = std::abs(a.green - b.green),
                      db = std::abs(a.blue - b.blue);
            sum += (dr + dg + db) / 3.0;
            far += std::max({dr, dg, db}) > 32;
        }
    }
    // Tolerance. The draft's stamps (12 px, ring 1 px) are anti-aliased on their own pixels,
    // not averaged from the full frame's, so pixels along stamp edges differ; measured: mean
    // 1.3/255 per channel, 1 % of pixels off by more than 32/255. Allowed: mean 2/255 and
    // 2.5 %. A draft whose path is not scaled gives 3.3/255 and 5.7 %, one whose stamps keep
    // their full width 10.5/255 and 17 %.
    EXPECT_LE(sum / pixels, 2.0);
    EXPECT_LE(far, pixels * 25 / 1000);
}

struct BadInput {
    const char* name;
    std::vector<std::string> args;  // "@" is replaced by the scratch folder
    int status;
    const char* message;
};

TEST(Program, BadInputGivesOneMessageItsStatusAndNoFile) {
    const BadInput cases[] = {
        {"missing input", {"--input", "@/nope.png"}, 1, "cannot open '@/nope.png': No such file"},
        {"unreadable input", {"--input", "@/folder"}, 1, "cannot read '@/folder': Is a directory"},
        {"not an image", {"--input", "@/text.png"}, 1, "not a PNG or OpenEXR file"},
        {"truncated PNG", {"--input", "@/truncated.png"}, 1, "damaged PNG file"},
        {"PNG with a bad checksum", {"--input", "@/crc.png"}, 1, "damaged PNG file"},
        {"truncated OpenEXR", {"--input", "@/truncated.exr"}, 1, "as OpenEXR"},
        {"OpenEXR of an unknown version", {"--input", "@/version.exr"}, 1, "as OpenEXR"},
        {"missing layer", {"--shape", "layer", "--layer", "@/nope.exr"}, 1, "cannot open"},
        {"missing path file", {"--path-file", "@/nope.txt"}, 1, "cannot open '@/nope.txt'"},
        {"unreadable path file",
         {"--path-file", "@/folder"},
         1,
         "cannot read '@/folder': Is a directory"},
        {"unparsable path", {"--path", "M 0 0 L 5 x"}, 2, "--path: cannot parse the path data"},
        {"unparsable path file", {"--path-file", "@/bad-path.txt"}, 2, "cannot parse"},
        {"two subpaths", {"--path", "M 0 0 L 5 5 M 9 9 L 1 1"}, 2, "holds 2 subpaths"},
        {"unknown option", {"--colour", "red"}, 2, "--colour"},
        {"unknown value", {"--blend-mode", "darken"}, 2, "'darken' is not a choice"},
        {"out of range", {"--sides", "19"}, 2, "\"n Sides\" takes 3 to 18"},
        {"missing value", {"--number"}, 2, "--number"},
        {"output folder missing", {"--out", "@/no/out.png"}, 1, "cannot write '@/no/out.png'"},
        {"no command", {}, 2, "subcommand"},
    };
    for (const BadInput& c : cases) {
        ScratchDir dir, logs;
        auto at = [&dir](std::string s) {
            for (size_t p = s.find('@'); p != std::string::npos; p = s.find('@', p + 1)) {
                s.replace(p, 1, dir.path().string());
            }
            return s;
        };
        fs::create_directory(dir / "folder");
        writeText(dir / "text.png", "just text\n");
        writeText(dir / "bad-path.txt", "M 1 1 Q 2");
        OwnedImage picture = testPicture(PixelDepth::DepthFloat, 64, 64);
        writeImage(dir / "good.png", picture, ImageFileType::Png);
        writeImage(dir / "good.exr", picture, ImageFileType::Exr);
        const std::string png = readText(dir / "good.png");
        writeText(dir / "truncated.png", png.substr(0, png.size() / 2));
        std::string crc = png;
        crc[45] = static_cast<char>(crc[45] ^ 0x55);  // inside IDAT's data: its checksum fails
        writeText(dir / "crc.png", crc);
        const std::string exr = readText(dir / "good.exr");
        writeText(dir / "truncated.exr", exr.substr(0, exr.size() / 2));
        std::string version = exr;
        version[4] = 9;
        writeText(dir / "version.exr", version);
        const std::vector<std::string> before = dir.files();

        std::vector<std::string> args;
        if (c.name != std::string("no command")) {
            args = {"render"};
            if (std::find(c.args.begin(), c.args.end(), "--out") == c.args.end()) {
                args.insert(args.end(), {"--out", dir / "out.png"});
            }
        }
        for (const std::string& a : c.args)
            args.push_back(at(a));
        const ProgramRun run = runProgram(args, logs);
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(at(c.message)), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ": " << run.err;
        EXPECT_EQ(run.err.rfind("stamptrails: ", 0), 0u) << c.name << ": " << run.err;
        EXPECT_EQ(dir.files(), before) << c.name << ": no output, no temporary file";
    }
}

// --- hostile inputs ----------------------------------------------------------------------

// Less than the images claimed here would take (3.6 GB for 30000 x 30000 8-bit RGBA, 14.4 GB
// as float); more than the largest honest case here needs: the million-segment path takes
// 260 MB, 1.2 GB under the address sanitizer.
constexpr long MEMORY_BOUND_KB = 2048L * 1024;

// A PNG declaring width x height 8-bit RGBA pixels whose data stops within its first row, as a
// file cut short in a copy. The row is noise, so libpng writes it out in small IDAT chunks as
// it compresses (about 80 KB for 30000 pixels).
void writePngClaiming(const std::string& path, png_uint_32 width, png_uint_32 height) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_buffer_size(png, 1024);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(width) * 4);
    uint32_t noise = 1;
    for (png_byte& b : row) {
        noise = noise * 1103515245u + 12345u;
        b = static_cast<png_byte>(noise >> 24);
    }
    png_write_row(png, row.data());
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// Calls `visit(name, at)` for every header attribute of a single-part OpenEXR file, `at` being
// the offset of its 4-byte size, the value following; returns the offset of the offset
// table. Sizes and offsets are little-endian, as on the machines this runs on.
template <class Visit>
size_t forEachExrAttribute(std::string& file, Visit visit) {
    size_t at = 8;  // magic number and version
    for (;;) {
        const size_t nameEnd = file.find('\0', at);
        const std::string name = file.substr(at, nameEnd - at);
        if (name.empty())
            return nameEnd + 1;
        const size_t sizeAt = file.find('\0', nameEnd + 1) + 1;
        int32_t size = 0;
        std::memcpy(&size, file.data() + sizeAt, sizeof size);
        visit(name, sizeAt);
        at = sizeAt + sizeof size + static_cast<size_t>(std::max(size, 0));
    }
}

// The OpenEXR file `good` (at most 16 rows, ZIP: one chunk) with its windows made
// width x height and an offset table of one entry per 16 rows, every entry pointing at the
// good file's one chunk: a few kilobytes that read as a whole file.
std::string exrClaiming(const std::string& good, int32_t width, int32_t height) {
    std::string header = good;
    const size_t table = forEachExrAttribute(header, [&](const std::string& name, size_t at) {
        if (name == "dataWindow" || name == "displayWindow") {
            const int32_t box[4] = {0, 0, width - 1, height - 1};
            std::memcpy(header.data() + at + sizeof(int32_t), box, sizeof box);
        }
    });
    uint64_t chunkAt = 0;
    std::memcpy(&chunkAt, good.data() + table, sizeof chunkAt);
    const uint64_t chunks = (static_cast<uint64_t>(height) + 15) / 16;
    const uint64_t first = table + chunks * sizeof chunkAt;
    std::string file = header.substr(0, table);
    for (uint64_t i = 0; i < chunks; ++i)
        file.append(reinterpret_cast<const char*>(&first), sizeof first);
    return file + good.substr(chunkAt);
}

// The OpenEXR file `good` with the attribute `name` declaring `size` bytes.
std::string exrWithAttributeSize(std::string good, const std::string& name, int32_t size) {
    forEachExrAttribute(good, [&](const std::string& attribute, size_t at) {
        if (attribute == name)
            std::memcpy(good.data() + at, &size, sizeof size);
    });
    return good;
}

// A float picture with NaN and infinite channels where the square path's stamps sit and
// sample, alpha included.
OwnedImage pictureWithNanAndInfinity() {
    OwnedImage image = testPicture(PixelDepth::DepthFloat, W, H);
    const float nan = std::nanf(""), inf = INFINITY;
    for (int32_t x = 6; x < 42; x += 3) {
        image.at<PixelFloat>(x, 8).red = nan;
        image.at<PixelFloat>(x + 1, 8).green = inf;
        image.at<PixelFloat>(x, 9).blue = -inf;
        image.at<PixelFloat>(x + 1, 9).alpha = nan;
        image.at<PixelFloat>(x + 2, 28).alpha = inf;
    }
    return image;
}

// One million straight segments zigzagging over the demo image, about 10 MB of path data.
std::string millionSegments() {
    std::string data = "M 0 0";
    for (int32_t i = 0; i < 1000000; ++i) {
        data += " L " + std::to_string(i * 7 % 960) + " " + std::to_string(i * 13 % 540);
    }
    return data;
}

struct HostileInput {
    const char* name;
    std::function<void(const ScratchDir&)> make;  // writes the case's files into the folder
    std::vector<std::string> args;                // "@" is replaced by the folder
    int status;
    const char* message;  // in the one line on stderr; null when the frame is rendered
    // For a rendered frame: checks the output against what the plug-in makes of the input.
    std::function<void(const ScratchDir&)> checkFrame = nullptr;
};

// Every case ends as it should (one message, its status and no file; or a frame, when the
// input holds values the effect takes) in memory that follows what the files really hold,
// not what their headers claim. Nothing here is timed: each way through is bounded by how it
// is made (a claim checked against the file before memory is taken, linear passes over the
// path).
TEST(Program, HostileInputsEndInTheirMessageOrFrameInBoundedMemory) {
    const HostileInput cases[] = {
        {"PNG declaring 30000 x 30000 with one row of data",
         [](const ScratchDir& dir) { writePngClaiming(dir / "claim.png", 30000, 30000); },
         {"--input", "@/claim.png"},
         1,
         "cannot hold the 30000 x 30000 pixels its header declares"},
        {"OpenEXR declaring 30000 x 30000 over chunks that are not there",
         [](const ScratchDir& dir) {
             writeImage(dir / "good.exr", testPicture(PixelDepth::DepthFloat, 4, 4),
                        ImageFileType::Exr);
             writeText(dir / "claim.exr", exrClaiming(readText(dir / "good.exr"), 30000, 30000));
         },
         {"--input", "@/claim.exr"},
         1,
         "cannot read '@/claim.exr' as OpenEXR: "},
        {"OpenEXR header attribute declaring 2 GB",
         [](const ScratchDir& dir) {
             writeImage(dir / "good.exr", testPicture(PixelDepth::DepthFloat, 4, 4),
                        ImageFileType::Exr);
             writeText(dir / "attribute.exr", exrWithAttributeSize(readText(dir / "good.exr"),
                                                                   "screenWindowWidth", INT32_MAX));
         },
         {"--input", "@/attribute.exr"},
         1,
         "cannot read '@/attribute.exr' as OpenEXR: its header attribute 'screenWindowWidth' "
         "declares 2147483647 bytes, more than the file holds"},
        {"empty path",
         [](const ScratchDir&) {},
         {"--path", ""},
         2,
         "--path: the path data is empty"},
        {"empty path file",
         [](const ScratchDir& dir) { writeText(dir / "empty.txt", ""); },
         {"--path-file", "@/empty.txt"},
         2,
         "--path-file '@/empty.txt': the path data is empty"},
        {"output folder not writable",
         [](const ScratchDir& dir) {
             fs::create_directory(dir / "read-only");
             fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::owner_exec |
                                                    fs::perms::group_read | fs::perms::group_exec |
                                                    fs::perms::others_read |
                                                    fs::perms::others_exec);
         },
         {"--out", "@/read-only/out.png"},
         1,
         "cannot write '@/read-only/out.png': Permission denied"},
        // NaN and infinities are values a float frame can hold: the program renders them as
        // the plug-in does in the host.
        {"OpenEXR with NaN and infinite pixels",
         [](const ScratchDir& dir) {
             writeImage(dir / "in.exr", pictureWithNanAndInfinity(), ImageFileType::Exr);
         },
         {"--input", "@/in.exr", "--path", SQUARE, "--number", "9", "--width", "7", "--out",
          "@/out.exr"},
         0,
         nullptr,
         [](const ScratchDir& dir) {
             PanelValues v;
             v.number = 9;
             v.width = 7;
             ScratchDir other;
             writeImage(other / "expected.exr",
                        renderInProcess(readImage(dir / "in.exr"), std::nullopt, squareMask(), v),
                        ImageFileType::Exr);
             EXPECT_TRUE(sameImage(readImage(dir / "out.exr"), readImage(other / "expected.exr")));
         }},
        // Walked in linear passes: rendered, not refused.
        {"path of a million segments",
         [](const ScratchDir& dir) { writeText(dir / "million.txt", millionSegments()); },
         {"--path-file", "@/million.txt", "--downsample", "8", "--out", "@/out.png"},
         0,
         nullptr,
         [](const ScratchDir& dir) {
             const OwnedImage frame = readImage(dir / "out.png");
             int64_t drawn = 0;
             for (int32_t y = 0; y < frame.height(); ++y) {
                 for (int32_t x = 0; x < frame.width(); ++x)
                     drawn += frame.at<Pixel8>(x, y).alpha != 0;
             }
             EXPECT_GT(drawn, 0) << "stamps on the transparent background";
         }},
    };
    for (const HostileInput& c : cases) {
        ScratchDir dir, logs;
        auto at = [&dir](std::string s) {
            for (size_t p = s.find('@'); p != std::string::npos; p = s.find('@', p + 1)) {
                s.replace(p, 1, dir.path().string());
            }
            return s;
        };
        c.make(dir);
        const std::vector<std::string> before = dir.files();
        std::vector<std::string> args{"render"};
        if (std::find(c.args.begin(), c.args.end(), "--out") == c.args.end())
            args.insert(args.end(), {"--out", dir / "out.png"});
        for (const std::string& a : c.args)
            args.push_back(at(a));

        const ProgramRun run = runProgram(args, logs);
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
        EXPECT_LT(run.maxResidentKb, MEMORY_BOUND_KB) << c.name;
        if (c.message == nullptr) {
            EXPECT_EQ(run.err, "") << c.name;
            if (run.status == 0)
                c.checkFrame(dir);
            continue;
        }
        EXPECT_NE(run.err.find(at(c.message)), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ": " << run.err;
        EXPECT_EQ(dir.files(), before) << c.name << ": no output, no temporary file";
    }
}

TEST(Program, AFailedRenderLeavesAnExistingFileAlone) {
    ScratchDir dir, logs;
    writeText(dir / "out.png", "a good frame from an earlier run");
    writeText(dir / "broken.png", "\x89PNG\r\n\x1a\n and then nothing useful");
    const ProgramRun run =
        runProgram({"render", "--input", dir / "broken.png", "--out", dir / "out.png"}, logs);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readText(dir / "out.png"), "a good frame from an earlier run");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"broken.png", "out.png"}));
}

TEST(Program, ParamsPrintsThePanelAsDeclared) {
    ScratchDir logs;
    const ProgramRun run = runProgram({"params"}, logs);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, panelTable(Panel::declare()));
    EXPECT_NE(run.out.find("Color Blend Mode"), std::string::npos);
}

TEST(Program, HelpShowsDefaultsAndRanges) {
    ScratchDir logs;
    const ProgramRun run = runProgram({"render", "--help"}, logs);
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--number N"), std::string::npos);
    EXPECT_NE(run.out.find("[default 5, 0 to 10000]"), std::string::npos);
    EXPECT_NE(run.out.find("[default transparent]"), std::string::npos);
}

}  // namespace
}  // namespace mst::test
