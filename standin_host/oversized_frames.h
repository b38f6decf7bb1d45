// Frames whose stamp is larger than a 32-bit host can hold: each must end with out of memory
// (4) and leave nothing but the background, nothing held. The native tests and the Windows
// harness (the 32-bit DLL) render the same set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host_api/effect_api.h"
#include "standin_host/standin_host.h"

namespace mst {

// A 32-bit host shares its 2 GiB of address space with its own image cache, and after hours
// of work that space is fragmented: 32 MiB is taken as the largest single image it can still
// find room for.
constexpr uint64_t HOST_32BIT_IMAGE_LIMIT = uint64_t{32} << 20;

struct OversizedFrame {
    std::string name;
    PixelDepth depth = PixelDepth::Depth8;
    PanelValues values;
    int32_t layerWidth = 0;  // 0: no layer chosen
    int32_t layerHeight = 0;
    uint64_t hostImageLimit = HOST_32BIT_IMAGE_LIMIT;
};

const std::vector<OversizedFrame>& oversizedFrames();

struct OversizedOutcome {
    PF_Err result = PF_Err_NONE;
    std::string held;             // the ledger after the frame; empty when balanced
    bool backgroundOnly = false;  // the output is exactly its background
    int64_t refusals = 0;         // images and handles the host refused as too large
};

// Renders `frame` through `entry` on a fresh stand-in host, as the host would: Update Params
// UI, Smart Pre-Render, Smart Render, deletion of the pre-render data.
OversizedOutcome renderOversizedFrame(PF_EntryPointFunc entry, const OversizedFrame& frame);

// What is wrong with how an oversized frame ended, or empty when it ended as it must.
std::string oversizedProblem(const OversizedOutcome& outcome);

}  // namespace mst
