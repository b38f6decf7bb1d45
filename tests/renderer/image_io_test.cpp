// Image files and depth conversions: what goes out comes back, in the depth it had.
#include <gtest/gtest.h>
#include <png.h>

#include <ImfChannelList.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <cmath>

#include "renderer/errors.h"
#include "renderer/image_io.h"
#include "renderer/image_ops.h"
#include "renderer_fixture.h"

namespace mst::test {
namespace {

TEST(Depth16Conversion, EveryFrameValueSurvivesTheFile) {
    for (uint32_t f = 0; f <= 32768; ++f) {
        const uint16_t v = frameToFile16(static_cast<uint16_t>(f));
        ASSERT_EQ(fileToFrame16(v), f) << "frame value " << f << " via file value " << v;
    }
    EXPECT_EQ(frameToFile16(32768), 65535);
    EXPECT_EQ(frameToFile16(0), 0);
}

TEST(Depth16Conversion, BothDirectionsRoundToNearest) {
    for (uint32_t v = 0; v <= 65535; ++v) {
        const double exact = v * 32768.0 / 65535.0;
        ASSERT_LE(std::fabs(fileToFrame16(static_cast<uint16_t>(v)) - exact), 0.5) << v;
    }
    for (uint32_t f = 0; f <= 32768; ++f) {
        const double exact = f * 65535.0 / 32768.0;
        ASSERT_LE(std::fabs(frameToFile16(static_cast<uint16_t>(f)) - exact), 0.5) << f;
    }
    EXPECT_EQ(frameToFile16(40000), 65535) << "values above full scale are clamped";
}

TEST(DepthConversion, EightBitValuesComeBackFromEveryDepth) {
    OwnedImage image(PixelDepth::Depth8, 256, 1);
    for (int32_t x = 0; x < 256; ++x) {
        const auto v = static_cast<uint8_t>(x);
        image.at<Pixel8>(x, 0) = Pixel8{v, v, static_cast<uint8_t>(255 - v), v};
    }
    for (PixelDepth via : {PixelDepth::Depth16, PixelDepth::DepthFloat}) {
        const OwnedImage up = convertDepth(image, via);
        EXPECT_TRUE(sameImage(convertDepth(up, PixelDepth::Depth8), image)) << int(via);
    }
    EXPECT_EQ(convertDepth(image, PixelDepth::Depth16).at<Pixel16>(128, 0).red,
              convert8To16(Pixel8{0, 128, 0, 0}).red);
}

struct FloatCase {
    const char* name;
    float value;
    uint8_t as8;
    uint16_t as16;
};

TEST(DepthConversion, FloatChannelsClampAndRoundToNearest) {
    const FloatCase cases[] = {
        {"zero", 0.0f, 0, 0},
        {"half", 0.5f, 128, 16384},
        {"one", 1.0f, 255, 32768},
        {"above one", 1.7f, 255, 32768},
        {"negative", -0.2f, 0, 0},
        {"not a number", std::nanf(""), 0, 0},
        {"just below half a step", 0.5f / 255.0f - 1e-6f, 0, 64},
    };
    for (const FloatCase& c : cases) {
        OwnedImage image(PixelDepth::DepthFloat, 1, 1);
        image.at<PixelFloat>(0, 0) = PixelFloat{c.value, c.value, c.value, c.value};
        EXPECT_EQ(convertDepth(image, PixelDepth::Depth8).at<Pixel8>(0, 0).green, c.as8) << c.name;
        EXPECT_EQ(convertDepth(image, PixelDepth::Depth16).at<Pixel16>(0, 0).green, c.as16)
            << c.name;
    }
}

TEST(Downsample, AveragesBoxesAndKeepsEdgeBoxesInsideTheImage) {
    OwnedImage image(PixelDepth::Depth8, 3, 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            image.at<Pixel8>(x, y) = Pixel8{255, static_cast<uint8_t>(10 * (x + 3 * y)), 0, 7};
        }
    }
    const OwnedImage half = downsampleImage(image, 2);
    ASSERT_EQ(half.width(), 2);
    ASSERT_EQ(half.height(), 2);
    EXPECT_EQ(half.at<Pixel8>(0, 0).red, 20);  // (0 + 10 + 30 + 40) / 4
    EXPECT_EQ(half.at<Pixel8>(1, 0).red, 35);  // (20 + 50) / 2
    EXPECT_EQ(half.at<Pixel8>(0, 1).red, 65);  // (60 + 70) / 2
    EXPECT_EQ(half.at<Pixel8>(1, 1).red, 80);
    EXPECT_EQ(half.at<Pixel8>(1, 1).blue, 7);
}

TEST(Downsample, TransparentPixelsLendNoColour) {
    OwnedImage image(PixelDepth::DepthFloat, 2, 1);
    image.at<PixelFloat>(0, 0) = PixelFloat{0.0f, 1.0f, 0.0f, 0.0f};  // invisible red
    image.at<PixelFloat>(1, 0) = PixelFloat{1.0f, 0.0f, 0.0f, 1.0f};  // opaque blue
    const PixelFloat p = downsampleImage(image, 2).at<PixelFloat>(0, 0);
    EXPECT_FLOAT_EQ(p.alpha, 0.5f);
    EXPECT_FLOAT_EQ(p.red, 0.0f);
    EXPECT_FLOAT_EQ(p.blue, 1.0f);
}

TEST(SideBySide, PutsFramesLeftToRight) {
    OwnedImage a(PixelDepth::Depth16, 2, 2), b(PixelDepth::Depth16, 3, 2);
    a.fill(Pixel16{1, 1, 1, 1});
    b.fill(Pixel16{2, 2, 2, 2});
    const OwnedImage s = sideBySide({a, b});
    ASSERT_EQ(s.width(), 5);
    EXPECT_EQ(s.at<Pixel16>(1, 1).red, 1);
    EXPECT_EQ(s.at<Pixel16>(2, 1).red, 2);
    EXPECT_EQ(s.at<Pixel16>(4, 0).red, 2);
}

// A picture with every kind of alpha: opaque, partial, and zero with colour.
OwnedImage alphaPicture(PixelDepth depth) {
    OwnedImage image = testPicture(depth, 9, 7);
    OwnedImage eight = testPicture(PixelDepth::Depth8, 9, 7);
    for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 9; ++x)
            eight.at<Pixel8>(x, y).alpha = static_cast<uint8_t>(x * 31);
    }
    const OwnedImage alpha = convertDepth(eight, depth);
    for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 9; ++x) {
            switch (depth) {
                case PixelDepth::Depth8:
                    image.at<Pixel8>(x, y).alpha = alpha.at<Pixel8>(x, y).alpha;
                    break;
                case PixelDepth::Depth16:
                    image.at<Pixel16>(x, y).alpha = alpha.at<Pixel16>(x, y).alpha;
                    break;
                case PixelDepth::DepthFloat:
                    image.at<PixelFloat>(x, y).alpha = alpha.at<PixelFloat>(x, y).alpha;
                    break;
            }
        }
    }
    return image;
}

struct FileCase {
    const char* name;
    PixelDepth depth;
    const char* file;
};

class FileRoundTrip : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileRoundTrip, ComesBackInItsDepth) {
    const FileCase c = GetParam();
    ScratchDir dir;
    const OwnedImage image = alphaPicture(c.depth);
    const std::string path = dir / c.file;
    writeImage(path, image, *fileTypeForName(path));
    EXPECT_EQ(dir.files(), std::vector<std::string>{c.file}) << "no temporary file is left";
    const OwnedImage back = readImage(path);
    if (c.depth != PixelDepth::DepthFloat) {
        EXPECT_TRUE(sameImage(back, image));
        return;
    }
    // OpenEXR stores colour premultiplied: where alpha is 1 the values come back exactly, where
    // it is 0 the colour is gone (0), elsewhere dividing by alpha again is within 4 ulps.
    ASSERT_EQ(back.depth(), PixelDepth::DepthFloat);
    for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
            const PixelFloat p = image.at<PixelFloat>(x, y);
            const PixelFloat q = back.at<PixelFloat>(x, y);
            ASSERT_EQ(q.alpha, p.alpha);
            if (p.alpha == 0.0f) {
                EXPECT_EQ(q.red, 0.0f);
            } else if (p.alpha == 1.0f) {
                EXPECT_EQ(q.red, p.red);
                EXPECT_EQ(q.green, p.green);
            } else {
                EXPECT_FLOAT_EQ(q.red, p.red) << x << "," << y;
                EXPECT_FLOAT_EQ(q.green, p.green) << x << "," << y;
                EXPECT_FLOAT_EQ(q.blue, p.blue) << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FileRoundTrip,
                         ::testing::Values(FileCase{"Png8", PixelDepth::Depth8, "a.png"},
                                           FileCase{"Png16", PixelDepth::Depth16, "b.png"},
                                           FileCase{"ExrFloat", PixelDepth::DepthFloat, "c.exr"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageFiles, FloatFramesBecomeSixteenBitPngAndFloatExr) {
    ScratchDir dir;
    const OwnedImage image = testPicture(PixelDepth::DepthFloat, 5, 4);
    writeImage(dir / "f.png", image, ImageFileType::Png);
    writeImage(dir / "f.exr", image, ImageFileType::Exr);
    const std::string png = readText(dir / "f.png");
    EXPECT_EQ(static_cast<int>(png.at(24)), 16) << "the PNG's bit depth";
    EXPECT_EQ(readImage(dir / "f.png").depth(), PixelDepth::Depth16);
    Imf::InputFile exr((dir / "f.exr").c_str());
    for (const char* name : {"R", "G", "B", "A"}) {
        const Imf::Channel* channel = exr.header().channels().findChannel(name);
        ASSERT_NE(channel, nullptr) << name;
        EXPECT_EQ(channel->type, Imf::FLOAT) << name;
    }
}

TEST(ImageFiles, EightBitFramesWriteEightBitPng) {
    ScratchDir dir;
    writeImage(dir / "e.png", testPicture(PixelDepth::Depth8, 3, 3), ImageFileType::Png);
    EXPECT_EQ(static_cast<int>(readText(dir / "e.png").at(24)), 8);
}

// PNGs of other colour types, written by libpng itself, read as RGBA.
struct ColourTypeCase {
    const char* name;
    uint32_t format;
    std::vector<uint8_t> bytes;  // 2 x 1 pixels in `format`
    Pixel8 first;
    Pixel8 second;
    std::vector<uint8_t> colormap = {};  // for palette images
};

TEST(ImageFiles, ReadsEveryEightBitColourTypeAsRgba) {
    const ColourTypeCase cases[] = {
        {"grey", PNG_FORMAT_GRAY, {40, 200}, {255, 40, 40, 40}, {255, 200, 200, 200}},
        {"grey and alpha", PNG_FORMAT_GA, {40, 128, 200, 0}, {128, 40, 40, 40}, {0, 200, 200, 200}},
        {"rgb", PNG_FORMAT_RGB, {1, 2, 3, 250, 251, 252}, {255, 1, 2, 3}, {255, 250, 251, 252}},
        {"bgra", PNG_FORMAT_BGRA, {3, 2, 1, 9, 6, 5, 4, 99}, {9, 1, 2, 3}, {99, 4, 5, 6}},
        {"palette with transparency",
         PNG_FORMAT_RGBA_COLORMAP,
         {1, 0},
         {200, 7, 8, 9},
         {255, 90, 80, 70},
         {90, 80, 70, 255, 7, 8, 9, 200}},
    };
    for (const ColourTypeCase& c : cases) {
        ScratchDir dir;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = 2;
        image.height = 1;
        image.format = c.format;
        image.colormap_entries = static_cast<png_uint_32>(c.colormap.size() / 4);
        ASSERT_NE(png_image_write_to_file(&image, (dir / "t.png").c_str(), 0, c.bytes.data(), 0,
                                          c.colormap.empty() ? nullptr : c.colormap.data()),
                  0)
            << c.name;
        const OwnedImage read = readImage(dir / "t.png");
        ASSERT_EQ(read.depth(), PixelDepth::Depth8) << c.name;
        EXPECT_EQ(read.at<Pixel8>(0, 0), c.first) << c.name;
        EXPECT_EQ(read.at<Pixel8>(1, 0), c.second) << c.name;
    }
}

TEST(ImageFiles, ImagesBeyondTheHostsLimitAreRefused) {
    ScratchDir dir;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = MAX_IMAGE_SIDE + 1;
    image.height = 1;
    image.format = PNG_FORMAT_GRAY;
    const std::vector<uint8_t> row(image.width, 128);
    ASSERT_NE(
        png_image_write_to_file(&image, (dir / "wide.png").c_str(), 0, row.data(), 0, nullptr), 0);
    try {
        readImage(dir / "wide.png");
        ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("30001 x 1 pixels; the largest the host takes is "
                                             "30000 x 30000"),
                  std::string::npos)
            << e.what();
    }
}

TEST(ImageFiles, AFailedWriteLeavesNoFileAndNoTemporary) {
    ScratchDir dir;
    const std::string path = dir / "missing-folder/out.png";
    EXPECT_THROW(writeImage(path, testPicture(PixelDepth::Depth8, 2, 2), ImageFileType::Png),
                 RunError);
    EXPECT_TRUE(dir.files().empty());
}

TEST(ImageFiles, TypeFollowsTheExtension) {
    EXPECT_EQ(fileTypeForName("a/b.PNG"), ImageFileType::Png);
    EXPECT_EQ(fileTypeForName("shot.v2.exr"), ImageFileType::Exr);
    EXPECT_EQ(fileTypeForName("a.png/b"), std::nullopt);
    EXPECT_EQ(fileTypeForName("a.jpg"), std::nullopt);
}

}  // namespace
}  // namespace mst::test
