// The trigonometric functions every frame-affecting computation uses.
//
// Each returns the correctly rounded result: the exact value rounded once to
// the nearest double. A correctly rounded function has exactly one right
// answer per argument, so every build of the engine (a desktop libm, the web
// build's libm, any compiler) draws identical frames, and the answers match a
// libm that is itself correctly rounded on the arguments the show uses.
//
// The implementation (trig.cpp) uses only IEEE double +, −, ×, ÷ and integer
// operations: the argument is reduced exactly against a 1300-bit 2/π, the
// series run in double-double (about 100 bits), and only the last addition
// rounds. The exact value lies within 2^-100 of a rounding boundary for a
// vanishingly small share of arguments (about one in 2^47); there, and for
// results in the subnormal range, the answer may be one unit off, but it is
// still the same answer in every build. No long double, no fused multiply-add.
#pragma once

namespace gf {

// sin and cos of any double: NaN and infinities give NaN, sin keeps the sign of zero.
double sin(double x);
double cos(double x);

// The angle of the point (x, y) in (−π, π], with the C library's rules for
// zeros, infinities and NaN.
double atan2(double y, double x);

}  // namespace gf
