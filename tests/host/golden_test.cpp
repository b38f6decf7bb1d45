// Regression: one reference frame per depth, rendered through the entry point, against the
// frame stored in tests/golden. MST_UPDATE_GOLDEN=1 rewrites the stored frames after an
// intended change; look at the difference before committing them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/entry_point.h"
#include "standin_host/reference_frames.h"

namespace mst::test {
namespace {

class Golden : public ::testing::TestWithParam<const char*> {};

TEST_P(Golden, FrameMatchesTheStoredOne) {
    const std::string name = GetParam();
    const ReferenceFrame* frame = nullptr;
    for (const ReferenceFrame& f : referenceFrames()) {
        if (f.name == name)
            frame = &f;
    }
    ASSERT_NE(frame, nullptr) << name;
    OwnedImage output;
    ASSERT_EQ(renderReferenceFrame(EntryPointFunc, *frame, output), PF_Err_NONE) << name;

    const std::string path = std::string(MST_GOLDEN_DIR) + "/" + name + ".mstf";
    std::string error;
    if (std::getenv("MST_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(writeFrameFile(path, output, error)) << error;
    }
    const std::optional<OwnedImage> stored = readFrameFile(path, error);
    ASSERT_TRUE(stored.has_value()) << error;
    ASSERT_EQ(stored->depth(), output.depth()) << name;
    ASSERT_EQ(stored->width(), output.width()) << name;
    ASSERT_EQ(stored->height(), output.height()) << name;
    size_t differing = 0;
    for (size_t i = 0; i < output.bytes().size(); ++i) {
        differing += output.bytes()[i] != stored->bytes()[i];
    }
    EXPECT_EQ(differing, 0u) << name << ": bytes differing from the stored frame";
}

INSTANTIATE_TEST_SUITE_P(OnePerDepth, Golden,
                         ::testing::Values("circle_8_original", "polygon_16_transparent",
                                           "layer_float_blend6"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace mst::test
