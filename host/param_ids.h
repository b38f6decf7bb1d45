// Parameter indices; each parameter's identifier equals its index. Index 0 is the effect's
// own input layer, which the host provides without a declaration.
#pragma once

#include <cstdint>

namespace mst {

enum ParamId : int32_t {
    INPUT = 0,
    PATH,
    OFFSET,
    NUMBER,
    LENGTH,
    TIME,
    WIDTH,
    ANGLE,
    FIXED_ANGLE,
    SHAPE,
    INNER,
    N_SIDES,
    EDGE_THICKNESS,
    EDGE_MODE,
    EDGE_LIGHTNESS,
    EDGE_COLOR,
    LAYER,
    COLOR_BLEND_MODE,
    COLOR_OPACITY,
    BACKGROUND,
    PARAM_COUNT,  // 20: the 19 parameters and the input layer
};

}  // namespace mst
