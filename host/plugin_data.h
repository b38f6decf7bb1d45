// The blocks the host keeps for the plug-in between calls: plain values only.
#pragma once

#include <cstdint>

#include "core/frame_params.h"
#include "host_api/suites.h"

namespace mst {

// Per plug-in, in the host's global data handle.
struct GlobalData {
    uint8_t initialized;  // 1 after Global Setup and after every UI update without error
    AEGP_PluginID aegpPluginId;
};

// Per effect instance, in the host's sequence data handle: the host's snapshot of the
// parameter values at the last UI update.
struct SequenceData {
    PF_State state;
};

// The pre-render data handle's block. The frame's record comes first, where the render reads
// it in place; the host's dispose function travels with it, so the function the host calls to
// delete the pre-render data can give the handle back.
struct PreRenderBlock {
    FrameParams params;
    void (*disposeHandle)(PF_Handle handle);
};

}  // namespace mst
