// The Windows build of the plug-in, loaded from its DLL by the Windows harness under wine,
// renders every reference frame exactly as the native build does in-process.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "host/entry_point.h"
#include "standin_host/reference_frames.h"

namespace mst::test {
namespace {

namespace fs = std::filesystem;

template <class P>
std::array<double, 4> channelsOf(const P& p) {
    return {static_cast<double>(p.alpha), static_cast<double>(p.red), static_cast<double>(p.green),
            static_cast<double>(p.blue)};
}

std::array<double, 4> channelsAt(const OwnedImage& image, int32_t x, int32_t y) {
    switch (image.depth()) {
        case PixelDepth::Depth8:
            return channelsOf(image.at<Pixel8>(x, y));
        case PixelDepth::Depth16:
            return channelsOf(image.at<Pixel16>(x, y));
        default:
            return channelsOf(image.at<PixelFloat>(x, y));
    }
}

// Where two frames of the same size and depth differ: how many channels, by how much at most,
// and the first one.
std::string describeDifference(const OwnedImage& a, const OwnedImage& b) {
    long count = 0;
    double largest = 0;
    std::ostringstream first;
    for (int32_t y = 0; y < a.height(); ++y) {
        for (int32_t x = 0; x < a.width(); ++x) {
            const std::array<double, 4> pa = channelsAt(a, x, y), pb = channelsAt(b, x, y);
            for (int c = 0; c < 4; ++c) {
                if (pa[c] == pb[c])
                    continue;
                if (count++ == 0) {
                    first.precision(9);
                    first << "first at (" << x << ", " << y << ") channel " << c << ": " << pa[c]
                          << " vs " << pb[c];
                }
                largest = std::max(largest, std::abs(pa[c] - pb[c]));
            }
        }
    }
    std::ostringstream s;
    s << count << " channels differ, by at most " << largest << "; " << first.str();
    return s.str();
}

TEST(WineHarness, EveryReferenceFrameMatchesTheNativeRender) {
    if (!fs::exists(MST_WIN_HARNESS)) {
        GTEST_SKIP() << MST_WIN_HARNESS << " is missing: scripts/build-windows.sh builds it";
    }
    const fs::path outDir = MST_WINE_FRAMES;
    fs::remove_all(outDir);
    fs::create_directories(outDir);

    const std::string command = std::string("'") + MST_RUN_WINE + "' '" + MST_WINE_PREFIX + "' '" +
                                MST_WIN_HARNESS + "' '" + outDir.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::set<std::string> expected;
    for (const ReferenceFrame& frame : referenceFrames()) {
        SCOPED_TRACE(frame.name);
        const std::string file = frame.name + ".mstframe";
        expected.insert(file);
        std::string error;
        const std::optional<OwnedImage> windows = readFrameFile((outDir / file).string(), error);
        ASSERT_TRUE(windows.has_value()) << error;

        OwnedImage native;
        ASSERT_EQ(renderReferenceFrame(EntryPointFunc, frame, native), PF_Err_NONE);
        ASSERT_EQ(windows->depth(), native.depth());
        ASSERT_EQ(windows->width(), native.width());
        ASSERT_EQ(windows->height(), native.height());
        EXPECT_TRUE(windows->bytes() == native.bytes())
            << describeDifference(*windows, native)
            << " (a build-win older than this build differs too: scripts/build-windows.sh)";
    }
    // Nothing beyond the set: a harness built from another list would show here.
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(outDir)) {
        written.insert(entry.path().filename().string());
    }
    EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace mst::test
