// Ten thousand frames in one process through the host's own command sequence (Update Params UI,
// Smart Pre-Render, Smart Render, deletion of the pre-render data), every parameter the user
// animates changing from frame to frame: nothing is held after any frame, and the process's
// resident memory stays flat once warmed up.
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iostream>

#include "standin_fixture.h"

namespace mst::test {
namespace {

constexpr int FRAMES = 10000;
constexpr int WARM_UP = 1000;
// A leak of one small block a frame (a pre-render record, a stamp of a few pixels, a segment
// table) adds well over this in the 9000 frames measured; allocator noise stays far below it.
constexpr long GROWTH_BOUND = 256 * 1024;

// AddressSanitizer holds freed blocks in quarantine on purpose, so resident memory there says
// nothing about the plug-in; its leak checker covers the same ground in that build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool QUARANTINED_HEAP = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool QUARANTINED_HEAP = true;
#else
constexpr bool QUARANTINED_HEAP = false;
#endif
#else
constexpr bool QUARANTINED_HEAP = false;
#endif

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// One host per depth, as a project keeps its depth; everything else varies per frame.
struct DepthHost {
    std::unique_ptr<StandinHost> host;
    OwnedImage layer;
};

DepthHost makeDepthHost(PixelDepth depth) {
    DepthHost d{makeStandin(depth, 12, 9), OwnedImage(depth, 3, 2)};
    d.host->masks[SQUARE_MASK] = makePolylinePath({{2, 2}, {10, 2}, {10, 7}, {2, 7}}, true);
    d.host->masks[OPEN_MASK] = makePolylinePath({{1, 1}, {6, 7}, {11, 2}}, false);
    fillRamp(d.layer);
    return d;
}

// Frame i's panel: strides that are prime to each other, so the combinations keep changing.
PanelValues valuesFor(int i) {
    PanelValues v;
    v.path = (i / 7) % 2 == 0 ? SQUARE_MASK : OPEN_MASK;
    v.shape = 1 + (i / 3) % 3;
    v.number = 1 + i % 4;
    v.time = (i * 7) % 101;  // 0 % and 100 % among them: frames with nothing to draw
    v.length = 40 + (i * 13) % 61;
    v.width = 2 + (i % 5) * 0.75;
    v.angle = (i * 11) % 360;
    v.offset = (i * 17) % 360;
    v.sides = 3 + i % 16;
    v.edgeThickness = i % 3;
    v.edgeMode = 1 + (i / 2) % 2;
    v.blendMode = 1 + i % 8;
    v.colorOpacity = (i * 23) % 101;
    v.background = 1 + (i / 5) % 2;
    return v;
}

TEST(LongRun, TenThousandFramesKeepMemoryFlat) {
    std::array<DepthHost, 3> hosts = {makeDepthHost(PixelDepth::Depth8),
                                      makeDepthHost(PixelDepth::Depth16),
                                      makeDepthHost(PixelDepth::DepthFloat)};
    OwnedImage output;
    long afterWarmUp = 0;
    int drawn = 0;
    for (int i = 0; i < FRAMES; ++i) {
        DepthHost& d = hosts[static_cast<size_t>(i % 3)];
        StandinHost& host = *d.host;
        if ((i / 11) % 2 == 0) {
            host.layer = d.layer;
        } else {
            host.layer.reset();
        }
        applyPanelValues(host, valuesFor(i));
        ASSERT_EQ(host.renderFrame(output), PF_Err_NONE) << "frame " << i;
        ASSERT_EQ(host.held(), "") << "frame " << i;
        ASSERT_EQ(host.liveHandles(), 2u) << "frame " << i << ": global and sequence blocks only";
        const OwnedImage transparent(output.depth(), output.width(), output.height());
        const OwnedImage& background = valuesFor(i).background == 1 ? host.input : transparent;
        if (output.bytes() != background.bytes())
            ++drawn;
        // The host's record of every frame, not the plug-in's memory.
        host.progress.clear();
        host.checkedOutParams.clear();
        if (i == WARM_UP - 1)
            afterWarmUp = residentBytes();
    }
    const long atEnd = residentBytes();
    const long growth = atEnd - afterWarmUp;
    std::cout << "[ long run ] " << FRAMES << " frames (" << drawn << " with stamps): resident "
              << afterWarmUp / 1024 << " KiB after " << WARM_UP << " frames, " << atEnd / 1024
              << " KiB at the end, growth " << growth << " bytes (bound " << GROWTH_BOUND << ")\n";
    RecordProperty("resident_growth_bytes", static_cast<int>(growth));
    EXPECT_GT(drawn, FRAMES / 2) << "most frames must draw stamps";
    if (!QUARANTINED_HEAP) {
        EXPECT_LT(growth, GROWTH_BOUND);
    }
}

}  // namespace
}  // namespace mst::test
