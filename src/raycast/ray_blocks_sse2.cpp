// SSE2 variant of the block pass: the rows of blocks with traced shades are
// shaded in 16-bit lanes.
#include <emmintrin.h>

#include "raycast/ray_blocks.h"

namespace gf::sse2 {

namespace {

inline void shade_row_traced(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step) {
    // Shades of pixels 0..3 and 4..7 (exact in 32 bits), reduced to 16-bit weights.
    const __m128i s0 =
        _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(shade)),
                      _mm_setr_epi32(0, static_cast<int32_t>(shade_step), static_cast<int32_t>(2 * shade_step),
                                     static_cast<int32_t>(3 * shade_step)));
    const __m128i s1 = _mm_add_epi32(s0, _mm_set1_epi32(static_cast<int32_t>(4 * shade_step)));
    const __m128i weights =
        _mm_packs_epi32(_mm_srai_epi32(s0, kShadeWeightShift), _mm_srai_epi32(s1, kShadeWeightShift));
    const __m128i w01 = _mm_unpacklo_epi16(weights, weights);  // w0 w0 w1 w1 w2 w2 w3 w3
    const __m128i w45 = _mm_unpackhi_epi16(weights, weights);  // w4 w4 w5 w5 w6 w6 w7 w7

    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);  // the top byte never reaches the frame
    const __m128i zero = _mm_setzero_si128();
    // Built from the scalars, not reloaded from memory: a 16-byte load of four
    // fresh 4-byte stores cannot be forwarded and would stall.
    const __m128i t0 = _mm_and_si128(_mm_setr_epi32(static_cast<int32_t>(texels[0]), static_cast<int32_t>(texels[1]),
                                                    static_cast<int32_t>(texels[2]), static_cast<int32_t>(texels[3])),
                                     colour);
    const __m128i t1 = _mm_and_si128(_mm_setr_epi32(static_cast<int32_t>(texels[4]), static_cast<int32_t>(texels[5]),
                                                    static_cast<int32_t>(texels[6]), static_cast<int32_t>(texels[7])),
                                     colour);

    // Channels as 16-bit lanes, two pixels a register; X · 4 · w >> 16 = X · w >> 14.
    auto scale = [&](__m128i pixels, __m128i w) { return _mm_mulhi_epu16(_mm_slli_epi16(pixels, 2), w); };
    const __m128i p0 = scale(_mm_unpacklo_epi8(t0, zero), _mm_unpacklo_epi32(w01, w01));
    const __m128i p1 = scale(_mm_unpackhi_epi8(t0, zero), _mm_unpackhi_epi32(w01, w01));
    const __m128i p2 = scale(_mm_unpacklo_epi8(t1, zero), _mm_unpacklo_epi32(w45, w45));
    const __m128i p3 = scale(_mm_unpackhi_epi8(t1, zero), _mm_unpackhi_epi32(w45, w45));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(p0, p1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_packus_epi16(p2, p3));
}

}  // namespace

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    draw_blocks<shade_row_traced>(dst, texture, grid);
}

}  // namespace gf::sse2
