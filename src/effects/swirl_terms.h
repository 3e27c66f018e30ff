// The swirl's per-frame terms, worked out once per call before the rows are
// drawn, and the vector variants that draw with them (swirl_sse2.cpp, swirl_avx2.cpp).
#pragma once

#include <cstdint>

#include "common/types.h"
#include "effects/swirl.h"

namespace gf {

constexpr int kSwirlHalfWidth = kScreenWidth / 2;
constexpr int kSwirlHalfHeight = kScreenHeight / 2;
constexpr int kSwirlSampleFractionBits = 8;  // sine values carry 8 fraction bits

// What depends on the radius alone, once per radius value and call:
// tw = (twist · 80) >> 16, a = p + tw, ca = cos[a], and the part p + a + 160
// of cb's index, to which the pixel's column c is added. And sb·c, which
// depends on the column alone.
struct SwirlTerms {
    const int32_t* sine;  // swirl_sin and swirl_cos, read through plain pointers
    const int32_t* cosine;
    int32_t radius_ca[kSwirlTwistEntries];
    uint32_t radius_cb_index[kSwirlTwistEntries];
    int32_t column_term[kScreenWidth];
    // Both radius terms in one word, for tables within ±256: ca in the high
    // half, cb's index in the low 9 bits (only they survive the & 0x1FF after
    // c is added, and the low bits of a sum depend only on the low bits of
    // its terms). Half the cache footprint and one load instead of two.
    uint32_t radius_packed[kSwirlTwistEntries];
};

// Draws all rows for the phase `p` when every sine and cosine is within ±256.
namespace sse2 {
void draw_swirl_bounded(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& terms);
}  // namespace sse2
namespace avx2 {
void draw_swirl_bounded(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& terms);
}  // namespace avx2

}  // namespace gf
