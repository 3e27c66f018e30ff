// AVX2 variant of the block pass: a block row of eight pixels in one vector.
#include <immintrin.h>

#include "raycast/ray_blocks.h"

namespace gf::avx2 {

namespace {

// `start + lane · step` for the eight pixels of a row.
inline __m256i ramp(uint32_t start, uint32_t step) {
    return _mm256_add_epi32(
        _mm256_set1_epi32(static_cast<int32_t>(start)),
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int32_t>(step)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
}

// One channel (at bit `shift`) of eight texels scaled by their shades: X · s >> 19.
inline __m256i shade_channels(__m256i texels, __m256i shade, int shift) {
    const __m256i byte_mask = _mm256_set1_epi32(0xFF);
    const __m256i x = _mm256_and_si256(_mm256_srli_epi32(texels, shift), byte_mask);
    const __m256i scaled = _mm256_srai_epi32(_mm256_mullo_epi32(x, shade), kShadeProductShift);
    return _mm256_slli_epi32(_mm256_and_si256(scaled, byte_mask), shift);
}

// Eight texels scaled by traced shades (multiples of 32 in 0..2^19), in
// 16-bit lanes as the portable pass does: X · 4 · (s >> 5) >> 16.
inline __m256i shade_traced(__m256i texels, __m256i shade) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i colour = _mm256_and_si256(texels, _mm256_set1_epi32(0x00FFFFFF));
    // In each 128-bit half: w0 w0 w1 w1 w2 w2 w3 w3 (pixels 0–3, then 4–7).
    const __m256i weights = _mm256_srai_epi32(shade, kShadeWeightShift);
    const __m256i paired =
        _mm256_unpacklo_epi16(_mm256_packs_epi32(weights, weights), _mm256_packs_epi32(weights, weights));
    const __m256i low = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpacklo_epi8(colour, zero), 2),
                                           _mm256_unpacklo_epi32(paired, paired));
    const __m256i high = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpackhi_epi8(colour, zero), 2),
                                            _mm256_unpackhi_epi32(paired, paired));
    return _mm256_packus_epi16(low, high);
}

}  // namespace

// The block pass with a block row in one 8 × 32-bit vector: the same 32-bit
// wrapping sums, arithmetic shifts and X · s >> 19 products as the portable
// pass, so it gives the same pixels for any grid.
void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    const __m256i byte_mask = _mm256_set1_epi32(0xFF);
    const __m256i row_mask = _mm256_set1_epi32(0xFF00);

    for (int by = 0; by < kRayBlocksY; ++by) {
        for (int bx = 0; bx < kRayBlocksX; ++bx) {
            BlockEdges e = block_edges(grid, bx, by);
            uint32_t* out = dst + (by * kRayBlockSize) * kScreenWidth + bx * kRayBlockSize;
            for (int py = 0; py < kRayBlockSize; ++py) {
                const __m256i u = ramp(e.left_u, block_step(e.left_u, e.right_u));
                const __m256i v = ramp(e.left_v, block_step(e.left_v, e.right_v));
                const __m256i shade = ramp(e.left_s, block_step(e.left_s, e.right_s));
                // Bits 16–23 of v pick the row, bits 16–23 of u the column.
                const __m256i index = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(v, 8), row_mask),
                                                      _mm256_and_si256(_mm256_srli_epi32(u, 16), byte_mask));
                const __m256i texels = _mm256_i32gather_epi32(reinterpret_cast<const int*>(texture), index, 4);
                const __m256i pixels = e.traced ? shade_traced(texels, shade)
                                                : _mm256_or_si256(_mm256_or_si256(shade_channels(texels, shade, 16),
                                                                                  shade_channels(texels, shade, 8)),
                                                                  shade_channels(texels, shade, 0));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pixels);

                next_block_row(e);
                out += kScreenWidth;
            }
        }
    }
}

}  // namespace gf::avx2
