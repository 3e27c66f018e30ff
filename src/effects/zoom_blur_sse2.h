// SSE2 building blocks of the zoom blur, shared by its SSE2 and AVX2
// variants (the browser's SSE2 variant has its own, in WebAssembly SIMD, in
// zoom_blur_sse2.cpp). The functions here are static: each file gets its own
// copy, built with its own instruction set.
#pragma once

#include <emmintrin.h>

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

// Rows advance in groups of this many, as a staircase (see zoom_blur_sse2.cpp).
constexpr int kGroupRows = 8;

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

// The rows of the group starting `group` rows into the pass; returns how many there are.
int group_rows(RowContext* rows, uint32_t* buffer, const ZoomGeometry& g, const QuadrantRange& range, int32_t group);

// Each column's two horizontal weights, four lanes each.
void column_weight_table(const ZoomGeometry& g, __m128i* column_weights);

}  // namespace gf::sse2
