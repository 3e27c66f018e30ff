// SSE2 variant of the zoom blur: one pixel at a time, several rows in flight.
// In the browser the pixel step is written in WebAssembly SIMD instead.
#include "effects/zoom_blur_sse2.h"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include <algorithm>
#include <array>
#include <utility>

namespace gf::sse2 {

// One quadrant pass, in every variant, has the result of visiting rows from
// the centre outward and, in each row, columns from the centre outward. A
// pixel reads only pixels of its own row nearer the centre column and of rows
// nearer the centre row, at columns no further out than its own. So a group
// of rows can advance together as a staircase, each row one column behind the
// row before it: every pixel then still finds exactly the values it would
// find in the plain order, and the rows' dependency chains overlap instead of
// queueing.

#if defined(__wasm_simd128__)
namespace {

// Rows advance in groups of this many in the browser. The pixel step there is
// short enough that eight rows in flight leave the processor waiting on the
// rows' chains; sixteen keep it busy (about a tenth less time in V8).
constexpr int kStairRows = 16;

// The feedback blend, ((s << k) + old − s) >> k, is s + ⌊(old − s) / 2^k⌋ as
// s·2^k divides exactly. With |old − s| ≤ 255 that floor is an arithmetic
// shift of 16-bit lanes, by k, or by 15 for any larger k. The count is a
// constant of the code: a vector shift by a count held in a variable is split
// into one scalar shift per lane.
constexpr int kMaxFeedbackCount = 15;

// A column's part of the pixel step: its two weights alternating lane by lane,
// as the channels of a pair do (see spread_pair), and where its pair starts.
struct alignas(32) ColumnStep {
    v128_t weight;
    int32_t pair;
};

// A row of a group. Its two sampled rows are neighbours: `upper` is the one
// nearer the top of the buffer, the other is kScreenWidth pixels further on, a
// constant offset that the loads carry (WebAssembly's offsets cannot be
// negative); each has its own weight in all eight lanes.
struct StairRow {
    const uint32_t* upper;
    uint32_t* target;
    v128_t w_upper;
    v128_t w_lower;
};

// Two pixels of a pair, their four channels interleaved and spread to 16-bit
// lanes: p0.c0, p1.c0, p0.c1, p1.c1, … with 0x80 as each lane's high byte, so
// that every lane holds channel + 32768. The two words are loaded apart: one
// 64-bit load could not be forwarded from a word stored a moment ago and would
// stall the row. Each shuffle is one unpack instruction.
inline v128_t spread_pair(const uint32_t* p) {
    const v128_t pair = wasm_i8x16_shuffle(wasm_v128_load32_zero(p), wasm_v128_load32_zero(p + 1), 0, 16, 1, 17, 2, 18,
                                           3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    return wasm_i8x16_shuffle(pair, wasm_i8x16_splat(static_cast<int8_t>(0x80)), 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5,
                              21, 6, 22, 7, 23);
}

// Each channel's weighted sum of its pair, (first·w_first + second·w_second) >> 16,
// in the four 32-bit lanes. The vertical stage v = a·w_upper + b·w_lower is at
// most 255·255, too much for the signed pairwise multiply-add; but with 32768
// added to a and b, and w_upper + w_lower = 255, the wrapped 16-bit result is
// v + 32768·255 ≡ v − 32768, which fits. The column weights also sum to 255,
// so the multiply-add comes out 32768·255 short, added back before the shift.
inline v128_t weighted_sum(const StairRow& row, const ColumnStep& column) {
    const uint32_t* const p = row.upper + column.pair;
    const v128_t v = wasm_i16x8_add(wasm_i16x8_mul(spread_pair(p), row.w_upper),
                                    wasm_i16x8_mul(spread_pair(p + kScreenWidth), row.w_lower));
    const v128_t sum = wasm_i32x4_add(wasm_i32x4_dot_i16x8(v, column.weight), wasm_i32x4_splat(32768 * 255));
    return wasm_u32x4_shr(sum, kZoomSumShift);
}

// The feedback blend of the 16-bit lanes of `s` with the bytes of `old`,
// packed back to bytes, each pixel's top byte 0.
template <int kCount>
inline v128_t feedback_blend(v128_t s, v128_t old) {
    static_assert(kCount >= 0 && kCount <= kMaxFeedbackCount);
    const v128_t d = wasm_i16x8_shr(wasm_i16x8_sub(wasm_u16x8_extend_low_u8x16(old), s), kCount);
    const v128_t blended = wasm_i16x8_add(s, d);
    return wasm_v128_and(wasm_u8x16_narrow_i16x8(blended, blended), wasm_i32x4_splat(0x00FFFFFF));
}

template <int kCount>
inline void blend_pixel(const StairRow& row, int32_t x, const ColumnStep& column) {
    const v128_t sum = weighted_sum(row, column);
    const v128_t s = wasm_i16x8_narrow_i32x4(sum, sum);
    const v128_t packed = feedback_blend<kCount>(s, wasm_v128_load32_zero(row.target + x));
    wasm_v128_store32_lane(row.target + x, packed, 0);
}

// Two pixels on neighbouring rows of a staircase step, independent of each
// other, sharing the feedback blend.
template <int kCount>
inline void blend_two_pixels(const StairRow& row_a, int32_t x_a, const ColumnStep& column_a, const StairRow& row_b,
                             int32_t x_b, const ColumnStep& column_b) {
    const v128_t s = wasm_i16x8_narrow_i32x4(weighted_sum(row_a, column_a), weighted_sum(row_b, column_b));
    uint32_t* const target_a = row_a.target + x_a;
    uint32_t* const target_b = row_b.target + x_b;
    const v128_t packed =
        feedback_blend<kCount>(s, wasm_v128_load32_lane(target_b, wasm_v128_load32_zero(target_a), 1));
    wasm_v128_store32_lane(target_a, packed, 0);
    wasm_v128_store32_lane(target_b, packed, 1);
}

// One quadrant pass, its columns walked in direction kStep.
template <int kCount, int kStep>
void blur_pass(uint32_t* buffer, const ZoomGeometry& g, const ColumnStep* columns, const QuadrantRange& range) {
    // Held in locals: the pixel stores could otherwise alias the range and force reloads.
    const int32_t x_first = range.x_first, x_count = range.x_count;
    for (int32_t group = 0; group < range.y_count; group += kStairRows) {
        StairRow rows[kStairRows];
        const int rows_here = std::min(range.y_count - group, kStairRows);
        for (int m = 0; m < rows_here; ++m) {
            const int32_t y = range.y_first + (group + m) * range.y_step;
            const RowTap& tap = g.rows[y];
            const bool sample_upper = tap.sample_row < tap.next_row;
            rows[m] = {buffer + std::min(tap.sample_row, tap.next_row) * kScreenWidth, buffer + y * kScreenWidth,
                       wasm_i16x8_splat(static_cast<int16_t>(sample_upper ? tap.w_sample : tap.w_next)),
                       wasm_i16x8_splat(static_cast<int16_t>(sample_upper ? tap.w_next : tap.w_sample))};
        }
        const int32_t steps = x_count + rows_here - 1;
        for (int32_t step = 0; step < steps; ++step) {
            const int m_first = std::max(step - x_count + 1, 0);
            const StairRow* row = rows + m_first;
            const StairRow* const last = rows + std::min(rows_here - 1, step);
            // x and its column step walk together, so no pixel multiplies an index.
            int32_t x = x_first + (step - m_first) * kStep;
            const ColumnStep* column = columns + x;
            for (; row < last; row += 2, x -= 2 * kStep, column -= 2 * kStep) {
                blend_two_pixels<kCount>(row[0], x, column[0], row[1], x - kStep, column[-kStep]);
            }
            if (row == last) {
                blend_pixel<kCount>(*row, x, *column);
            }
        }
    }
}

template <int kCount>
void blur_frame(uint32_t* buffer, const ZoomGeometry& g, const ColumnStep* columns) {
    for_each_quadrant(g, [&](const QuadrantRange& range) {
        if (range.x_step < 0) {
            blur_pass<kCount, -1>(buffer, g, columns, range);
        } else {
            blur_pass<kCount, 1>(buffer, g, columns, range);
        }
    });
}

// The whole blur for each feedback count.
template <int... kCounts>
constexpr auto blur_frames(std::integer_sequence<int, kCounts...>) {
    return std::array{blur_frame<kCounts>...};
}

}  // namespace

void zoom_blur_frame(uint32_t* buffer, const ZoomGeometry& g, int32_t shift) {
    ColumnStep columns[kScreenWidth];
    for (int x = 0; x < kScreenWidth; ++x) {
        const auto first = static_cast<int16_t>(g.columns[x].w_first);
        const auto second = static_cast<int16_t>(g.columns[x].w_second);
        columns[x] = {wasm_i16x8_make(first, second, first, second, first, second, first, second), g.columns[x].pair};
    }
    static constexpr auto kBlurFrames = blur_frames(std::make_integer_sequence<int, kMaxFeedbackCount + 1>{});
    kBlurFrames[static_cast<std::size_t>(std::min(shift, kMaxFeedbackCount))](buffer, g, columns);
}

#else

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
        column_weights[x] = _mm_set_epi16(second, second, second, second, first, first, first, first);
    }
}

namespace {

// One quadrant pass, as a staircase of kGroupRows rows (see above).
void blur_pass(uint32_t* buffer, const ZoomGeometry& g, const __m128i* column_weights, FeedbackShift shift,
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
            for (int m = m_first; m <= m_last; ++m) {
                const int32_t x = x_first + (step - m) * x_step;
                blend_pixel(rows[m], x, g.columns[x].pair, column_weights[x], shift);
            }
        }
    }
}

}  // namespace

void zoom_blur_frame(uint32_t* buffer, const ZoomGeometry& g, int32_t shift) {
    alignas(16) __m128i column_weights[kScreenWidth];
    column_weight_table(g, column_weights);
    const FeedbackShift feedback = make_feedback_shift(shift);
    for_each_quadrant(g, [&](const QuadrantRange& range) { blur_pass(buffer, g, column_weights, feedback, range); });
}

#endif

}  // namespace gf::sse2
