// A stamp no host can hold ends the frame with out of memory and nothing else: no stamp, no
// leftover, the output exactly its background. The Windows harness renders the same frames
// from the 32-bit DLL.
#include "standin_host/oversized_frames.h"

#include <gtest/gtest.h>

#include "host/entry_point.h"

namespace mst::test {
namespace {

TEST(OversizedFrames, EndWithOutOfMemoryFromTheHostAndNothingElse) {
    for (const OversizedFrame& frame : oversizedFrames()) {
        const OversizedOutcome outcome = renderOversizedFrame(EntryPointFunc, frame);
        EXPECT_EQ(oversizedProblem(outcome), "") << frame.name;
        // In a 64-bit process every one of these stamps could be addressed: the host is asked
        // and refuses.
        EXPECT_EQ(outcome.refusals, 1) << frame.name;
    }
}

TEST(OversizedFrames, AStampRowBeyond32BitsIsRefusedBeforeTheHostIsAsked) {
    // Width 2e8 (a record no panel gives) in float: 16 bytes a pixel make a row of 3.2e9
    // bytes, which no world's 32-bit row bytes can describe.
    OversizedFrame frame;
    frame.name = "wide_float";
    frame.depth = PixelDepth::DepthFloat;
    frame.values.path = 1;
    frame.values.number = 2;
    frame.values.width = 2e8;
    frame.values.background = 1;
    frame.hostImageLimit = UINT64_MAX;
    const OversizedOutcome outcome = renderOversizedFrame(EntryPointFunc, frame);
    EXPECT_EQ(oversizedProblem(outcome), "");
    EXPECT_EQ(outcome.refusals, 0) << "the host must not be asked for it";
}

}  // namespace
}  // namespace mst::test
