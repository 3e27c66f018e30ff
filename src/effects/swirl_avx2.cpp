// AVX2 variant of the swirl's rows.
#include <immintrin.h>

#include "effects/swirl_terms.h"

namespace gf::avx2 {

namespace {

constexpr int kHalfWidth = kSwirlHalfWidth;
constexpr int kHalfHeight = kSwirlHalfHeight;
constexpr int kSampleFractionBits = kSwirlSampleFractionBits;

inline __m256i add_if_negative(__m256i v, int32_t amount) {
    return _mm256_add_epi32(v, _mm256_and_si256(_mm256_srai_epi32(v, 31), _mm256_set1_epi32(amount)));
}

}  // namespace

// Tables within ±256. Each row goes in three loops: the table
// lookups (plain loads: on this kind of processor gathers are slower), the
// arithmetic and the wrap eight pixels at a time, and the picture reads.
void draw_swirl_bounded(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& terms) {
    constexpr int kLanes = 8;
    const __m256i lane_offsets = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i zero = _mm256_setzero_si256();
    alignas(32) int32_t sources[kScreenWidth]{};  // picture index of each pixel of the row
    alignas(32) int32_t packed_row[kScreenWidth]{};
    alignas(32) int32_t cb_row[kScreenWidth]{};
    for (int r = -kHalfHeight; r < kHalfHeight; ++r) {
        const __m256i sa_r =
            _mm256_set1_epi32(terms.sine[(static_cast<uint32_t>(r + kHalfHeight) + p) & kSwirlAngleMask] * r);
        const __m256i row_vector = _mm256_set1_epi32(r);
        const int row = (r + kHalfHeight) * kScreenWidth;
        const int32_t* radius_row = swirl_radius + row;
        for (int i = 0; i < kScreenWidth; ++i) {
            const uint32_t word = terms.radius_packed[radius_row[i]];
            packed_row[i] = static_cast<int32_t>(word);
            cb_row[i] = terms.cosine[(word + static_cast<uint32_t>(i - kHalfWidth)) & kSwirlAngleMask];
        }
        for (int c0 = -kHalfWidth; c0 < kHalfWidth; c0 += kLanes) {
            const __m256i packed = _mm256_load_si256(reinterpret_cast<const __m256i*>(packed_row + c0 + kHalfWidth));
            const __m256i ca = _mm256_srai_epi32(packed, 16);
            const __m256i c = _mm256_add_epi32(_mm256_set1_epi32(c0), lane_offsets);
            const __m256i cb = _mm256_load_si256(reinterpret_cast<const __m256i*>(cb_row + c0 + kHalfWidth));
            __m256i y = _mm256_srai_epi32(_mm256_sub_epi32(sa_r, _mm256_mullo_epi32(cb, c)), kSampleFractionBits);
            const __m256i column_term =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(terms.column_term + c0 + kHalfWidth));
            // Negate first, then shift.
            __m256i x = _mm256_srai_epi32(
                _mm256_sub_epi32(zero, _mm256_add_epi32(column_term, _mm256_mullo_epi32(ca, row_vector))),
                kSampleFractionBits);
            // Unsigned wrap: a negative x is x + 2^32 ≡ x + 256 (mod 320); a negative y is y + 96 (mod 200).
            x = add_if_negative(add_if_negative(x, 256), kScreenWidth);
            y = add_if_negative(add_if_negative(y, 96), kScreenHeight);
            y = _mm256_sub_epi32(y, _mm256_and_si256(_mm256_cmpgt_epi32(y, _mm256_set1_epi32(kScreenHeight - 1)),
                                                     _mm256_set1_epi32(kScreenHeight)));
            const __m256i source =
                _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(y, 8), _mm256_slli_epi32(y, 6)), x);  // y·320 + x
            _mm256_store_si256(reinterpret_cast<__m256i*>(sources + c0 + kHalfWidth), source);
        }
        uint32_t* dst_row = dst + row;
        for (int i = 0; i < kScreenWidth; ++i) {
            dst_row[i] = image[sources[i]];
        }
    }
}

}  // namespace gf::avx2
