// The smart pre-render: the frame's parameter record, the input request, the output extent.
#pragma once

#include "host_api/effect_api.h"

namespace mst {

// Widens `target` in place by `source`; an empty target becomes a copy of the source.
void unionRect(const PF_LRect& source, PF_LRect& target);

// The function the host calls to delete a frame's pre-render data: disposes its handle.
extern "C" void deletePreRenderData(void* preRenderData);

}  // namespace mst
