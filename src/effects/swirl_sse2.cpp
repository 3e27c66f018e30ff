// SSE2 variant of the swirl's rows; in the browser the same code runs on
// WebAssembly SIMD.
#include <emmintrin.h>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "effects/swirl_terms.h"

namespace gf::sse2 {

namespace {

constexpr int kHalfWidth = kSwirlHalfWidth;
constexpr int kHalfHeight = kSwirlHalfHeight;
constexpr int kSampleFractionBits = kSwirlSampleFractionBits;

// The low 32 bits of each lane's product, wrapping as the scalar code does.
// SSE2 has no 32-bit multiply that keeps the low halves, so the even and odd
// lanes are multiplied as 64-bit products and put back together; WebAssembly
// has the instruction itself.
inline __m128i multiply_low(__m128i a, __m128i b) {
#if defined(__wasm_simd128__)
    return wasm_i32x4_mul(a, b);
#else
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
#endif
}

inline __m128i add_if_negative(__m128i v, int32_t amount) {
    return _mm_add_epi32(v, _mm_and_si128(_mm_srai_epi32(v, 31), _mm_set1_epi32(amount)));
}

}  // namespace

// Tables within ±256. The same three loops a row as the AVX2 variant: table
// lookups, the arithmetic and the wrap four pixels at a time, picture reads.
void draw_swirl_bounded(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& terms) {
    constexpr int kLanes = 4;
    const __m128i lane_offsets = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i zero = _mm_setzero_si128();
    alignas(16) int32_t sources[kScreenWidth]{};  // picture index of each pixel of the row
    alignas(16) int32_t packed_row[kScreenWidth]{};
    alignas(16) int32_t cb_row[kScreenWidth]{};
    for (int r = -kHalfHeight; r < kHalfHeight; ++r) {
        const __m128i sa_r = _mm_set1_epi32(static_cast<int32_t>(
            static_cast<uint32_t>(terms.sine[(static_cast<uint32_t>(r + kHalfHeight) + p) & kSwirlAngleMask]) *
            static_cast<uint32_t>(r)));
        const __m128i row_vector = _mm_set1_epi32(r);
        const int row = (r + kHalfHeight) * kScreenWidth;
        const int32_t* radius_row = swirl_radius + row;
        for (int i = 0; i < kScreenWidth; ++i) {
            const uint32_t word = terms.radius_packed[radius_row[i]];
            packed_row[i] = static_cast<int32_t>(word);
            cb_row[i] = terms.cosine[(word + static_cast<uint32_t>(i - kHalfWidth)) & kSwirlAngleMask];
        }
        for (int c0 = -kHalfWidth; c0 < kHalfWidth; c0 += kLanes) {
            const __m128i packed = _mm_load_si128(reinterpret_cast<const __m128i*>(packed_row + c0 + kHalfWidth));
            const __m128i ca = _mm_srai_epi32(packed, 16);
            const __m128i c = _mm_add_epi32(_mm_set1_epi32(c0), lane_offsets);
            const __m128i cb = _mm_load_si128(reinterpret_cast<const __m128i*>(cb_row + c0 + kHalfWidth));
            __m128i y = _mm_srai_epi32(_mm_sub_epi32(sa_r, multiply_low(cb, c)), kSampleFractionBits);
            const __m128i column_term =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms.column_term + c0 + kHalfWidth));
            // Negate first, then shift.
            __m128i x = _mm_srai_epi32(_mm_sub_epi32(zero, _mm_add_epi32(column_term, multiply_low(ca, row_vector))),
                                       kSampleFractionBits);
            // Unsigned wrap: a negative x is x + 2^32 ≡ x + 256 (mod 320); a negative y is y + 96 (mod 200).
            x = add_if_negative(add_if_negative(x, 256), kScreenWidth);
            y = add_if_negative(add_if_negative(y, 96), kScreenHeight);
            y = _mm_sub_epi32(
                y, _mm_and_si128(_mm_cmpgt_epi32(y, _mm_set1_epi32(kScreenHeight - 1)), _mm_set1_epi32(kScreenHeight)));
            const __m128i source = _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(y, 8), _mm_slli_epi32(y, 6)), x);
            _mm_store_si128(reinterpret_cast<__m128i*>(sources + c0 + kHalfWidth), source);
        }
        uint32_t* dst_row = dst + row;
        for (int i = 0; i < kScreenWidth; ++i) {
            dst_row[i] = image[sources[i]];
        }
    }
}

}  // namespace gf::sse2
