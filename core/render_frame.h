// The frame render driver: background, draw test, the frame's stamp, the instance stage, and
// the clean-up that runs on every way out.
#pragma once

#include <cstdint>

#include "core/render_host.h"

namespace mst {

// Renders one frame through the host's operations and returns the running error code: 0, a
// host code passed through, 516 for a missing record or an unusable pixel format, or
// ERR_SURFACE_MISMATCH when the output does not fit the input. Whatever ends the call
// (including a thrown code), everything acquired is given back.
int32_t renderFrame(RenderHost& host);

}  // namespace mst
