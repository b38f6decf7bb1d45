// The reference frame set itself: every frame draws, names are distinct, frame files hold
// exactly what was written.
#include "standin_host/reference_frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "host/entry_point.h"

namespace mst::test {
namespace {

namespace fs = std::filesystem;

// A frame equal to its background would compare equal however wrong the stamps were.
TEST(ReferenceFrames, EveryFrameDrawsStampsOverItsBackground) {
    for (const ReferenceFrame& frame : referenceFrames()) {
        SCOPED_TRACE(frame.name);
        OwnedImage output;
        ASSERT_EQ(renderReferenceFrame(EntryPointFunc, frame, output), PF_Err_NONE);
        const OwnedImage background =
            frame.values.background == 1 ? referenceSource(frame.depth)
                                         : OwnedImage(frame.depth, output.width(), output.height());
        EXPECT_NE(output.bytes(), background.bytes());
    }
}

TEST(ReferenceFrames, CoverEveryShapeDepthBackgroundAndBlendMode) {
    std::set<std::string> names;
    std::set<std::tuple<int32_t, PixelDepth, int32_t>> shapes;
    std::set<std::pair<PixelDepth, int32_t>> blends;
    for (const ReferenceFrame& frame : referenceFrames()) {
        EXPECT_TRUE(names.insert(frame.name).second) << "repeated name " << frame.name;
        EXPECT_EQ(frame.values.path, static_cast<uint32_t>(frame.mask)) << frame.name;
        shapes.insert({frame.values.shape, frame.depth, frame.values.background});
        if (frame.values.shape == 3)
            blends.insert({frame.depth, frame.values.blendMode});
    }
    EXPECT_EQ(shapes.size(), 3u * 3u * 2u);
    EXPECT_EQ(blends.size(), 3u * 8u);
}

TEST(ReferenceFrames, FrameFilesHoldExactlyTheImage) {
    const fs::path dir = fs::temp_directory_path() / "mst_frame_file_test";
    fs::create_directories(dir);
    const std::string path = (dir / "frame.mstframe").string();
    for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
        // Padded rows: only the visible pixels go to the file.
        OwnedImage image(depth, 5, 3, 2);
        for (size_t i = 0; i < image.bytes().size(); ++i) {
            static_cast<unsigned char*>(image.data())[i] = static_cast<unsigned char>(i * 7 + 1);
        }
        std::string error;
        ASSERT_TRUE(writeFrameFile(path, image, error)) << error;
        const std::optional<OwnedImage> back = readFrameFile(path, error);
        ASSERT_TRUE(back.has_value()) << error;
        EXPECT_EQ(back->depth(), depth);
        ASSERT_EQ(back->width(), 5);
        ASSERT_EQ(back->height(), 3);
        for (int32_t y = 0; y < 3; ++y) {
            const size_t rowBytes = 5 * static_cast<size_t>(pixelSize(depth));
            EXPECT_EQ(std::memcmp(back->bytes().data() + y * back->rowBytes(),
                                  image.bytes().data() + y * image.rowBytes(), rowBytes),
                      0);
        }
    }
    // A truncated file and one with bytes after the frame are both refused.
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    struct Damage {
        const char* name;
        std::string content;
    };
    const Damage damages[] = {
        {"truncated", bytes.substr(0, bytes.size() - 1)},
        {"trailing byte", bytes + "x"},
        {"wrong magic", "XSTF" + bytes.substr(4)},
        {"header only", bytes.substr(0, 16)},
    };
    for (const Damage& d : damages) {
        {
            std::ofstream out(path, std::ios::binary);
            out << d.content;
        }
        std::string error;
        EXPECT_FALSE(readFrameFile(path, error).has_value()) << d.name;
        EXPECT_FALSE(error.empty()) << d.name;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mst::test
