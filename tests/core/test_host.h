// The core tests' host: the recording render host of the stand-in library.
#pragma once

#include "standin_host/recording_render_host.h"

namespace mst::test {
using TestHost = RecordingRenderHost;
using mst::Op;
using mst::opName;
}  // namespace mst::test
