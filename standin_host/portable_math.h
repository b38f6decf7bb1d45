// sin, cos, atan2 and pow built from IEEE additions, multiplications, divisions and square
// roots alone, so they give the same bits on every platform and compiler that does double
// arithmetic in SSE2 (or any strict IEEE double unit) without contraction. The C libraries
// differ in the last bit of these functions (glibc and the Windows runtime disagree on roughly
// one argument in a thousand); a stand-in host that must render identically on both uses these.
//
// Accuracy against glibc: sin and cos within 1 unit in the last place for |x| <= 1000 and 2
// up to 1e5 (the reduction by pi/2 loses a little as |x| grows), atan2 within 2, pow within 1
// where the result is a normal number. Special values follow the C standard.
#pragma once

namespace mst {

double portableSin(double x);
double portableCos(double x);
double portableAtan2(double y, double x);
double portablePow(double x, double y);

}  // namespace mst
