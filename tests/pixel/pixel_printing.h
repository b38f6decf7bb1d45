// Readable pixels in test failure messages: {alpha, red, green, blue}.
#pragma once

#include <iomanip>
#include <ostream>

#include "pixel/pixel_types.h"

namespace mst {

inline void PrintTo(const Pixel8& p, std::ostream* os) {
    *os << '{' << int{p.alpha} << ", " << int{p.red} << ", " << int{p.green} << ", " << int{p.blue}
        << '}';
}
inline void PrintTo(const Pixel16& p, std::ostream* os) {
    *os << '{' << p.alpha << ", " << p.red << ", " << p.green << ", " << p.blue << '}';
}
// Nine significant digits: enough to tell any two floats apart.
inline void PrintTo(const PixelFloat& p, std::ostream* os) {
    *os << std::setprecision(9) << '{' << p.alpha << ", " << p.red << ", " << p.green << ", "
        << p.blue << '}';
}

}  // namespace mst
