#include <cmath>

#include "core/render_host.h"

namespace mst {

const MathFunctions& standardMath() {
    static const MathFunctions functions{
        [](double y, double x) { return std::atan2(y, x); },
        [](double x) { return std::cos(x); },
        [](double x) { return std::sin(x); },
        [](double x, double y) { return std::pow(x, y); },
        [](double x, double y) { return std::fmod(x, y); },
        [](double x) { return std::ceil(x); },
        [](double x) { return std::floor(x); },
        [](double x) { return std::sqrt(x); },
    };
    return functions;
}

}  // namespace mst
