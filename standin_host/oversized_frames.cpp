#include "standin_host/oversized_frames.h"

namespace mst {
namespace {

constexpr uint32_t MASK = 1;
constexpr int32_t FRAME_WIDTH = 16;
constexpr int32_t FRAME_HEIGHT = 12;

void fillGrey(OwnedImage& image) {
    switch (image.depth()) {
        case PixelDepth::Depth8:
            image.fill(Pixel8{255, 90, 140, 200});
            break;
        case PixelDepth::Depth16:
            image.fill(convert8To16(Pixel8{255, 90, 140, 200}));
            break;
        case PixelDepth::DepthFloat:
            image.fill(convert8ToFloat(Pixel8{255, 90, 140, 200}));
            break;
    }
}

const char* depthName(PixelDepth depth) {
    return depth == PixelDepth::Depth8 ? "8" : depth == PixelDepth::Depth16 ? "16" : "float";
}

std::vector<OversizedFrame> buildFrames() {
    std::vector<OversizedFrame> frames;
    for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
        const std::string d = depthName(depth);
        PanelValues base;
        base.path = MASK;
        base.number = 3;
        base.time = 60;
        base.width = 2000;

        // 2000 + 2 x 1000 + 2: a 4003-pixel square stamp, 64 MiB even in 8 bits.
        OversizedFrame ring{"ring_" + d, depth, base};
        ring.values.shape = depth == PixelDepth::Depth16 ? 2 : 1;
        ring.values.edgeThickness = 1000;
        ring.values.background = depth == PixelDepth::Depth8 ? 2 : 1;
        frames.push_back(ring);

        // A 1 x 30000 layer at Width 2000: 2001 x 60030001 pixels, about 4.8e11 bytes in 8
        // bits, which wraps to a small size in 32-bit arithmetic. Refused even by a host with
        // 4 GiB to give.
        OversizedFrame tall{"tall_layer_" + d, depth, base};
        tall.values.shape = 3;
        tall.values.background = depth == PixelDepth::Depth16 ? 2 : 1;
        tall.layerWidth = 1;
        tall.layerHeight = 30000;
        tall.hostImageLimit = uint64_t{1} << 32;
        frames.push_back(tall);
    }
    return frames;
}

}  // namespace

const std::vector<OversizedFrame>& oversizedFrames() {
    static const std::vector<OversizedFrame> frames = buildFrames();
    return frames;
}

OversizedOutcome renderOversizedFrame(PF_EntryPointFunc entry, const OversizedFrame& frame) {
    OversizedOutcome outcome;
    StandinHost host(entry);
    host.maxImageBytes = frame.hostImageLimit;
    host.input = OwnedImage(frame.depth, FRAME_WIDTH, FRAME_HEIGHT);
    fillGrey(host.input);
    if (frame.layerWidth > 0) {
        host.layer = OwnedImage(frame.depth, frame.layerWidth, frame.layerHeight);
        fillGrey(*host.layer);
    }
    host.masks[MASK] = makePolylinePath({{3, 3}, {13, 3}, {13, 9}, {3, 9}}, true);
    if (PF_Err err = host.setUp()) {
        outcome.result = err;
        return outcome;
    }
    applyPanelValues(host, frame.values);

    OwnedImage output;
    outcome.result = host.renderFrame(output);
    outcome.held = host.held();
    // Only the blocks the host keeps for the plug-in may still be live.
    if (host.liveHandles() != 2)
        outcome.held += "live handles=" + std::to_string(host.liveHandles());
    const OwnedImage transparent(frame.depth, FRAME_WIDTH, FRAME_HEIGHT);
    const OwnedImage& background = frame.values.background == 1 ? host.input : transparent;
    outcome.backgroundOnly = output.bytes() == background.bytes();
    outcome.refusals = host.oversizeRefusals;
    return outcome;
}

std::string oversizedProblem(const OversizedOutcome& outcome) {
    std::string problem;
    if (outcome.result != PF_Err_OUT_OF_MEMORY) {
        problem += "returned " + std::to_string(outcome.result) + ", not out of memory (4); ";
    }
    if (!outcome.held.empty())
        problem += "holds " + outcome.held + "; ";
    if (!outcome.backgroundOnly)
        problem += "the output is not the background alone; ";
    return problem;
}

}  // namespace mst
