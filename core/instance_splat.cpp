#include "core/instance_splat.h"

namespace mst {

SplatGeometry splatGeometry(const StampInstance& instance, const Stamp& stamp,
                            const MathFunctions& math) {
    SplatGeometry g;
    const double c = math.cos(instance.angle);
    const double s = math.sin(instance.angle);
    const double hw = stamp.halfWidth;
    const double hh = stamp.halfHeight;
    g.hx = truncToInt(std::fabs(hw * c) + std::fabs(hh * s));
    g.hy = truncToInt(std::fabs(hw * s) + std::fabs(hh * c));
    g.cosFixed = toFixed(c);
    g.sinFixed = toFixed(s);
    // Toward zero: the sub-pixel part of the path position is dropped. Saturates for huge or
    // infinite positions.
    g.cx = truncToInt(instance.x);
    g.cy = truncToInt(instance.y);
    return g;
}

}  // namespace mst
