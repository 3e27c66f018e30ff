// SSE2 variant of the zoom blur: one pixel at a time, several rows in flight.
#include "effects/zoom_blur_sse2.h"

#include <algorithm>
#include <array>
#include <utility>

namespace gf::sse2 {

int group_rows(RowContext* rows, uint32_t* buffer, const ZoomGeometry& g, const QuadrantRange& range, int32_t group) {
    const int left = range.y_count - group;
    const int rows_here = left < kGroupRows ? left : kGroupRows;
    for (int m = 0; m < rows_here; ++m) {
        const int32_t y = range.y_first + (group + m) * range.y_step;
        const RowTap& tap = g.rows[y];
        rows[m] = {buffer + tap.sample_row * kScreenWidth, buffer + tap.next_row * kScreenWidth,
                   buffer + y * kScreenWidth, _mm_set1_epi16(static_cast<short>(tap.w_sample)),
                   _mm_set1_epi16(static_cast<short>(tap.w_next))};
    }
    return rows_here;
}

void column_weight_table(const ZoomGeometry& g, __m128i* column_weights) {
    for (int x = 0; x < kScreenWidth; ++x) {
        const auto first = static_cast<short>(g.columns[x].w_first);
        const auto second = static_cast<short>(g.columns[x].w_second);
#if defined(__wasm_simd128__)
        column_weights[x] = _mm_set_epi16(second, first, second, first, second, first, second, first);
#else
        column_weights[x] = _mm_set_epi16(second, second, second, second, first, first, first, first);
#endif
    }
}

namespace {

// One quadrant pass. Its result is that of visiting rows from the centre
// outward and, in each row, columns from the centre outward. A pixel reads
// only pixels of its own row nearer the centre column and of rows nearer the
// centre row, at columns no further out than its own. So a group of rows can
// advance together as a staircase, each row one column behind the row before
// it: every pixel then still finds exactly the values it would find in the
// plain order, and the rows' dependency chains overlap instead of queueing.
template <class Shift>
void blur_pass(uint32_t* buffer, const ZoomGeometry& g, const __m128i* column_weights, Shift shift,
               const QuadrantRange& range) {
    // Held in locals: the pixel stores could otherwise alias the range and force reloads.
    const int32_t x_first = range.x_first, x_count = range.x_count, x_step = range.x_step;
    for (int32_t group = 0; group < range.y_count; group += kGroupRows) {
        RowContext rows[kGroupRows];
        const int rows_here = group_rows(rows, buffer, g, range, group);
        const int32_t steps = x_count + rows_here - 1;
        for (int32_t step = 0; step < steps; ++step) {
            const int m_first = step - x_count + 1 > 0 ? step - x_count + 1 : 0;
            const int m_last = rows_here - 1 < step ? rows_here - 1 : step;
            int m = m_first;
#if defined(__wasm_simd128__)
            for (; m + 1 <= m_last; m += 2) {
                const int32_t x_a = x_first + (step - m) * x_step;
                const int32_t x_b = x_a - x_step;
                blend_two_pixels(rows[m], x_a, g.columns[x_a].pair, column_weights[x_a], rows[m + 1], x_b,
                                 g.columns[x_b].pair, column_weights[x_b], shift);
            }
#endif
            for (; m <= m_last; ++m) {
                const int32_t x = x_first + (step - m) * x_step;
                blend_pixel(rows[m], x, g.columns[x].pair, column_weights[x], shift);
            }
        }
    }
}

#if defined(__wasm_simd128__)
template <int kCount>
void blur_frame(uint32_t* buffer, const ZoomGeometry& g, const __m128i* column_weights) {
    for_each_quadrant(
        g, [&](const QuadrantRange& range) { blur_pass(buffer, g, column_weights, FeedbackShift<kCount>{}, range); });
}

// The whole blur for each feedback count.
template <int... kCounts>
constexpr auto blur_frames(std::integer_sequence<int, kCounts...>) {
    return std::array{blur_frame<kCounts>...};
}
#endif

}  // namespace

void zoom_blur_frame(uint32_t* buffer, const ZoomGeometry& g, int32_t shift) {
    alignas(16) __m128i column_weights[kScreenWidth];
    column_weight_table(g, column_weights);
#if defined(__wasm_simd128__)
    static constexpr auto kBlurFrames = blur_frames(std::make_integer_sequence<int, kMaxFeedbackCount + 1>{});
    kBlurFrames[static_cast<std::size_t>(std::min(shift, kMaxFeedbackCount))](buffer, g, column_weights);
#else
    const FeedbackShift feedback = make_feedback_shift(shift);
    for_each_quadrant(g, [&](const QuadrantRange& range) { blur_pass(buffer, g, column_weights, feedback, range); });
#endif
}

}  // namespace gf::sse2
