#include "standin_host/owned_image.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace mst::test {
namespace {

// Sizes are checked before anything is allocated, so a request that would wrap (in size_t on
// a 32-bit system, or in the int32 row bytes anywhere) is refused rather than allocated short.
TEST(OwnedImage, SizesThatCannotBeHeldAreRefusedBeforeAllocating) {
    struct Case {
        const char* name;
        PixelDepth depth;
        int32_t width, height, pad;
    } tooLarge[] = {
        {"float row past 2^31 bytes", PixelDepth::DepthFloat, INT32_MAX / 16 + 1, 1, 0},
        {"8-bit row past 2^31 bytes", PixelDepth::Depth8, INT32_MAX / 4, 1, 1},
        {"padding past int32 pixels", PixelDepth::Depth8, INT32_MAX, 1, INT32_MAX},
    };
    for (const Case& c : tooLarge) {
        EXPECT_THROW(OwnedImage(c.depth, c.width, c.height, c.pad), std::bad_alloc) << c.name;
    }
    EXPECT_THROW(OwnedImage(PixelDepth::Depth8, -1, 4), std::invalid_argument);
    EXPECT_THROW(OwnedImage(PixelDepth::Depth8, 4, -1), std::invalid_argument);
    EXPECT_THROW(OwnedImage(PixelDepth::Depth8, 4, 4, -1), std::invalid_argument);

    // The largest row that fits, one row high: exactly its bytes.
    const OwnedImage edge(PixelDepth::Depth16, 1 << 20, 1, 3);
    EXPECT_EQ(edge.rowBytes(), ((1 << 20) + 3) * 8);
    EXPECT_EQ(edge.bytes().size(), static_cast<size_t>(edge.rowBytes()));
}

}  // namespace
}  // namespace mst::test
