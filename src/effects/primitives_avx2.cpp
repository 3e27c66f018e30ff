// AVX2 variants of the saturating add and the inversion.
#include <immintrin.h>

#include "common/types.h"
#include "effects/primitives_simd.h"

namespace gf::avx2 {

void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    constexpr int kStep = 8;  // pixels per 256-bit register; 64000 is a multiple of 8
    for (int i = 0; i < kScreenPixels; i += kStep) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_adds_epu8(va, vb));
    }
}

// The portable loop, which the compiler vectorises with this file's wider registers.
void invert_frame(uint32_t* buffer) {
    for (int i = 0; i < kScreenPixels; ++i) {
        buffer[i] = ~buffer[i] & 0x00FFFFFFu;
    }
}

}  // namespace gf::avx2
