// The vector variants of the whole-frame primitives, for primitives.cpp's
// variant lists. Each namespace's functions live in primitives_<set>.cpp and
// run only on processors with that instruction set.
#pragma once

#include <cstdint>

namespace gf {

namespace sse2 {
void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b);
void blur5(const uint32_t* src, uint32_t* dst);
}  // namespace sse2

namespace avx2 {
void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b);
void invert_frame(uint32_t* buffer);
}  // namespace avx2

}  // namespace gf
