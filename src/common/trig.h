// The trigonometric functions every frame-affecting computation uses.
//
// Each returns the correctly rounded result: the exact value rounded once to
// the nearest double. A correctly rounded function has exactly one right
// answer per argument, so every build of the engine, whatever its compiler or
// C library, computes the same values and draws identical frames. The C
// libraries' own functions do not: they differ from one another, and from the
// exact rounding, by an ulp on a small share of arguments.
//
// The implementation (trig.cpp) uses only IEEE double +, −, ×, ÷ and integer
// operations. A quick evaluation, good to about 2^-65, settles all but a few
// arguments in a thousand: a rounding test accepts it only when no value
// within its error bound rounds differently. The rest take an exact reduction
// against 1344 bits of 2/π and double-double series good to about 2^-100; the
// exact value lies that close to a rounding boundary for about one argument
// in 2^47, and there (and for results in the subnormal range) the answer may
// be one unit off, but it is still the same answer in every build. No long
// double, no fused multiply-add.
#pragma once

namespace gf {

// sin and cos of any double: NaN and infinities give NaN, sin keeps the sign of zero.
double sin(double x);
double cos(double x);

// The angle of the point (x, y) in (−π, π], with the C library's rules for
// zeros, infinities and NaN.
double atan2(double y, double x);

}  // namespace gf
