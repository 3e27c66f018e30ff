// SSE2 building blocks of the zoom blur, shared by its SSE2 and AVX2
// variants; in the browser the SSE2 variant's pixel step is written in
// WebAssembly SIMD. The functions here are static: each file gets its own
// copy, built with its own instruction set.
#pragma once

#include <emmintrin.h>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include <cstdint>

#include "effects/zoom_blur_geometry.h"

namespace gf::sse2 {

// The four channels (and the unused top byte) of the two pixels of a pair sit
// in eight 16-bit lanes. The vertical stage stays below 65536 and so fits the
// lanes; the horizontal stage widens to 32 bits.
struct RowContext {
    const uint32_t* sample_row;
    const uint32_t* next_row;
    uint32_t* target_row;
    __m128i w_sample;
    __m128i w_next;
};

// Rows advance in groups of this many, as a staircase (see blur_pass in zoom_blur_sse2.cpp).
constexpr int kGroupRows = 8;

#if defined(__wasm_simd128__)
// The feedback blend, ((s << k) + old − s) >> k, is s + ⌊(old − s) / 2^k⌋ as
// s·2^k divides exactly. With |old − s| ≤ 255 that floor is an arithmetic
// shift of 16-bit lanes, by k, or by 15 for any larger k. The count is a
// constant of the code: a vector shift by a count held in a variable is split
// into one scalar shift per lane.
template <int kCount>
struct FeedbackShift {
    static_assert(kCount >= 0 && kCount <= 15);
};
constexpr int kMaxFeedbackCount = 15;

// Two pixels of a pair, their four channels interleaved: bytes p0.c0, p1.c0,
// p0.c1, p1.c1, … spread to 16-bit lanes. The two words go to lanes 0 and 2
// (byte 4 is zero): loaded into neighbouring lanes they would be merged into
// one 64-bit load, which cannot be forwarded from the word stored a moment
// ago and stalls the row.
static inline v128_t load_pair(const uint32_t* p) {
    const v128_t words = wasm_v128_load32_lane(p + 1, wasm_v128_load32_zero(p), 2);
    return wasm_i8x16_shuffle(words, words, 0, 4, 8, 4, 1, 4, 9, 4, 2, 4, 10, 4, 3, 4, 11, 4);
}

// Each channel's weighted sum of its pair, (first·w_first + second·w_second) >> 16,
// in the low four 32-bit lanes. The vertical stage gives up to 255·255, too
// much for the signed pairwise multiply-add; its high and low bytes, each at
// most 255, are weighted apart and the two sums put back together.
static inline v128_t horizontal_sum(const RowContext& row, int32_t pair, v128_t column_weight) {
    const v128_t v = wasm_i16x8_add(wasm_i16x8_mul(load_pair(row.sample_row + pair), row.w_sample),
                                    wasm_i16x8_mul(load_pair(row.next_row + pair), row.w_next));
    const v128_t high = wasm_i32x4_dot_i16x8(wasm_u16x8_shr(v, 8), column_weight);
    const v128_t low = wasm_i32x4_dot_i16x8(wasm_v128_and(v, wasm_i16x8_splat(0xFF)), column_weight);
    return wasm_u32x4_shr(wasm_i32x4_add(wasm_i32x4_shl(high, 8), low), kZoomSumShift);
}

// The feedback blend of the 16-bit lanes of `s` with the bytes of `old`, packed back to bytes.
template <int kCount>
static inline v128_t feedback_blend(v128_t s, v128_t old, FeedbackShift<kCount>) {
    const v128_t d = wasm_i16x8_shr(wasm_i16x8_sub(wasm_u16x8_extend_low_u8x16(old), s), kCount);
    const v128_t blended = wasm_i16x8_add(s, d);
    return wasm_u8x16_narrow_i16x8(blended, blended);
}

// In the browser the same arithmetic in WebAssembly's own operations, where
// SSE2's multiplies and shifts by a count in a register would be emulated.
template <int kCount>
static inline void blend_pixel(const RowContext& row, int32_t x, int32_t pair, v128_t column_weight,
                               FeedbackShift<kCount> shift) {
    const v128_t sum = horizontal_sum(row, pair, column_weight);
    const v128_t s = wasm_i16x8_narrow_i32x4(sum, sum);
    const v128_t packed = feedback_blend(s, wasm_v128_load32_zero(row.target_row + x), shift);
    row.target_row[x] = static_cast<uint32_t>(wasm_i32x4_extract_lane(packed, 0)) & 0x00FFFFFFu;
}

// Two pixels on neighbouring rows of a staircase step, independent of each
// other, sharing the feedback blend.
template <int kCount>
static inline void blend_two_pixels(const RowContext& row_a, int32_t x_a, int32_t pair_a, v128_t weight_a,
                                    const RowContext& row_b, int32_t x_b, int32_t pair_b, v128_t weight_b,
                                    FeedbackShift<kCount> shift) {
    const v128_t sum_a = horizontal_sum(row_a, pair_a, weight_a);
    const v128_t sum_b = horizontal_sum(row_b, pair_b, weight_b);
    const v128_t s = wasm_i16x8_narrow_i32x4(sum_a, sum_b);
    uint32_t& target_a = row_a.target_row[x_a];
    uint32_t& target_b = row_b.target_row[x_b];
    const v128_t old = wasm_v128_load32_lane(&target_b, wasm_v128_load32_zero(&target_a), 1);
    const v128_t packed = feedback_blend(s, old, shift);
    target_a = static_cast<uint32_t>(wasm_i32x4_extract_lane(packed, 0)) & 0x00FFFFFFu;
    target_b = static_cast<uint32_t>(wasm_i32x4_extract_lane(packed, 1)) & 0x00FFFFFFu;
}
#else
// The feedback shift, as SSE2's shifts take it.
using FeedbackShift = __m128i;
static inline FeedbackShift make_feedback_shift(int32_t shift) { return _mm_cvtsi32_si128(shift); }

// Two pixels loaded as two 32-bit words: a pixel written a moment ago is then
// forwarded from its store instead of waiting for it to reach the cache.
static inline __m128i load_pair(const uint32_t* p) {
    return _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(p[0])), _mm_cvtsi32_si128(static_cast<int>(p[1])));
}

static inline void blend_pixel(const RowContext& row, int32_t x, int32_t pair, __m128i column_weight,
                               FeedbackShift shift) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(load_pair(row.sample_row + pair), zero);
    const __m128i b = _mm_unpacklo_epi8(load_pair(row.next_row + pair), zero);
    // Vertical stage: at most 255·255, exact in unsigned 16-bit lanes.
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(a, row.w_sample), _mm_mullo_epi16(b, row.w_next));
    // Horizontal stage: 32-bit products, then the two pixels' halves summed.
    const __m128i lo = _mm_mullo_epi16(v, column_weight);
    const __m128i hi = _mm_mulhi_epu16(v, column_weight);
    const __m128i sum = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
    const __m128i s = _mm_srli_epi32(sum, kZoomSumShift);
    const __m128i old =
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(row.target_row[x])), zero), zero);
    const __m128i blended = _mm_srl_epi32(_mm_add_epi32(_mm_sub_epi32(_mm_sll_epi32(s, shift), s), old), shift);
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(blended, blended), zero);
    row.target_row[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(packed)) & 0x00FFFFFFu;
}
#endif

// The rows of the group starting `group` rows into the pass; returns how many there are.
int group_rows(RowContext* rows, uint32_t* buffer, const ZoomGeometry& g, const QuadrantRange& range, int32_t group);

// Each column's two horizontal weights, four lanes each (in the browser they
// alternate lane by lane, as the channels of a pair do there).
void column_weight_table(const ZoomGeometry& g, __m128i* column_weights);

}  // namespace gf::sse2
