// AVX2 variant of the zoom blur: the SSE2 staircase (zoom_blur_sse2.cpp) with
// two pixels of one staircase step, on adjacent rows and so independent of
// each other, sharing each 256-bit operation, one per 128-bit half.
#include <immintrin.h>

#include "effects/zoom_blur_sse2.h"

namespace gf::avx2 {

namespace {

using sse2::kGroupRows;
using sse2::RowContext;

inline void blend_two_pixels(const RowContext& row_a, int32_t x_a, const RowContext& row_b, int32_t x_b,
                             const ZoomGeometry& g, const __m128i* column_weights, __m256i w_sample, __m256i w_next,
                             __m128i shift) {
    const int32_t pair_a = g.columns[x_a].pair;
    const int32_t pair_b = g.columns[x_b].pair;
    // Word-sized loads, so that pixels stored a moment ago are forwarded (see sse2::load_pair).
    const auto load_pairs = [](const uint32_t* p, const uint32_t* q) {
        return _mm_setr_epi32(static_cast<int>(p[0]), static_cast<int>(p[1]), static_cast<int>(q[0]),
                              static_cast<int>(q[1]));
    };
    const __m256i a = _mm256_cvtepu8_epi16(load_pairs(row_a.sample_row + pair_a, row_b.sample_row + pair_b));
    const __m256i b = _mm256_cvtepu8_epi16(load_pairs(row_a.next_row + pair_a, row_b.next_row + pair_b));
    const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(a, w_sample), _mm256_mullo_epi16(b, w_next));
    const __m256i column_weight = _mm256_set_m128i(column_weights[x_b], column_weights[x_a]);
    const __m256i lo = _mm256_mullo_epi16(v, column_weight);
    const __m256i hi = _mm256_mulhi_epu16(v, column_weight);
    const __m256i sum = _mm256_add_epi32(_mm256_unpacklo_epi16(lo, hi), _mm256_unpackhi_epi16(lo, hi));
    const __m256i s = _mm256_srli_epi32(sum, kZoomSumShift);
    uint32_t& target_a = row_a.target_row[x_a];
    uint32_t& target_b = row_b.target_row[x_b];
    const __m256i old = _mm256_cvtepu8_epi32(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(target_a)),
                                                                _mm_cvtsi32_si128(static_cast<int>(target_b))));
    const __m256i blended =
        _mm256_srl_epi32(_mm256_add_epi32(_mm256_sub_epi32(_mm256_sll_epi32(s, shift), s), old), shift);
    const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(blended, blended), blended);
    target_a = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(packed))) & 0x00FFFFFFu;
    target_b = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(packed, 1))) & 0x00FFFFFFu;
}

void blur_pass(uint32_t* buffer, const ZoomGeometry& g, const __m128i* column_weights, __m128i shift,
               const QuadrantRange& range) {
    // Held in locals: the pixel stores could otherwise alias the range and force reloads.
    const int32_t x_first = range.x_first, x_count = range.x_count, x_step = range.x_step;
    for (int32_t group = 0; group < range.y_count; group += kGroupRows) {
        RowContext rows[kGroupRows];
        const int rows_here = sse2::group_rows(rows, buffer, g, range, group);
        // Row weights of each pair of neighbouring rows (m, m + 1), one row per half.
        __m256i pair_w_sample[kGroupRows];
        __m256i pair_w_next[kGroupRows];
        for (int m = 0; m + 1 < rows_here; ++m) {
            pair_w_sample[m] = _mm256_set_m128i(rows[m + 1].w_sample, rows[m].w_sample);
            pair_w_next[m] = _mm256_set_m128i(rows[m + 1].w_next, rows[m].w_next);
        }
        const int32_t steps = x_count + rows_here - 1;
        for (int32_t step = 0; step < steps; ++step) {
            const int m_first = step - x_count + 1 > 0 ? step - x_count + 1 : 0;
            const int m_last = rows_here - 1 < step ? rows_here - 1 : step;
            int m = m_first;
            for (; m + 1 <= m_last; m += 2) {
                const int32_t x_a = x_first + (step - m) * x_step;
                blend_two_pixels(rows[m], x_a, rows[m + 1], x_a - x_step, g, column_weights, pair_w_sample[m],
                                 pair_w_next[m], shift);
            }
            if (m <= m_last) {
                const int32_t x = x_first + (step - m) * x_step;
                sse2::blend_pixel(rows[m], x, g.columns[x].pair, column_weights[x], shift);
            }
        }
    }
}

}  // namespace

void zoom_blur_frame(uint32_t* buffer, const ZoomGeometry& g, int32_t shift) {
    alignas(16) __m128i column_weights[kScreenWidth];
    sse2::column_weight_table(g, column_weights);
    const __m128i shift_count = _mm_cvtsi32_si128(shift);
    for_each_quadrant(g, [&](const QuadrantRange& range) { blur_pass(buffer, g, column_weights, shift_count, range); });
}

}  // namespace gf::avx2
