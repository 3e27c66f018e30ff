// SSE2 variants of the saturating add and the five-point blur; in the browser
// the same code runs on WebAssembly SIMD.
#include <emmintrin.h>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "common/types.h"
#include "effects/primitives_simd.h"

namespace gf::sse2 {

namespace {

// Unsigned 32-bit division by 5 in each lane, exact for every 32-bit x.
#if defined(__wasm_simd128__)
// WebAssembly has no 32 × 32 → 64-bit lane multiply the browser runs as one
// instruction (a widened product becomes a full 64-bit multiply, three
// multiplies a lane pair), so the division stays in 32-bit lanes: with
// x = h·2^16 + l, x / 5 = 13107·h + (h + l) / 5 as 2^16 = 5 · 13107 + 1, and
// the same split once more brings the remainder term to at most 2^16, where
// r / 5 = (r · 52429) >> 18 holds for every r and the product fits 32 bits.
inline __m128i divide_by_5(__m128i x) {
    const v128_t low_half = wasm_i32x4_splat(0xFFFF);
    const v128_t r = wasm_i32x4_add(wasm_u32x4_shr(x, 16), wasm_v128_and(x, low_half));  // < 2^17
    const v128_t r_high = wasm_u32x4_shr(r, 16);                                         // 0 or 1
    const v128_t r2 = wasm_i32x4_add(r_high, wasm_v128_and(r, low_half));                // <= 2^16
    const v128_t whole = wasm_i32x4_mul(wasm_i32x4_add(wasm_u32x4_shr(x, 16), r_high), wasm_i32x4_splat(13107));
    return wasm_i32x4_add(whole, wasm_u32x4_shr(wasm_i32x4_mul(r2, wasm_i32x4_splat(52429)), 18));
}
#else
// x / 5 = (x · 0xCCCCCCCD) >> 34. SSE2 multiplies only the even lanes to 64
// bits, so the odd lanes are shifted down and done in a second multiply.
inline __m128i divide_by_5(__m128i x) {
    const __m128i magic = _mm_set1_epi32(static_cast<int>(0xCCCCCCCDu));
    const __m128i even = _mm_srli_epi64(_mm_mul_epu32(x, magic), 34);
    const __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), magic), 34);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}
#endif

inline __m128i load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

}  // namespace

void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    constexpr int kStep = 4;  // pixels per 128-bit register; 64000 is a multiple of 4
    for (int i = 0; i < kScreenPixels; i += kStep) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epu8(load(a + i), load(b + i)));
    }
}

void blur5(const uint32_t* src, uint32_t* dst) {
    constexpr int kStep = 4;
    constexpr int kLastColumn = kScreenWidth - 2;  // 318, the last column written
    for (int y = 1; y < kScreenHeight - 1; ++y) {
        const uint32_t* row = src + y * kScreenWidth;
        uint32_t* out = dst + y * kScreenWidth;
        int x = 1;
        for (; x + kStep - 1 <= kLastColumn; x += kStep) {
            __m128i sum = _mm_add_epi32(load(row + x - kScreenWidth), load(row + x + kScreenWidth));
            sum = _mm_add_epi32(sum, load(row + x));
            sum = _mm_add_epi32(sum, load(row + x - 1));
            sum = _mm_add_epi32(sum, load(row + x + 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), divide_by_5(sum));
        }
        for (; x <= kLastColumn; ++x) {
            const uint32_t sum = row[x - kScreenWidth] + row[x + kScreenWidth] + row[x] + row[x - 1] + row[x + 1];
            out[x] = sum / 5u;
        }
    }
}

}  // namespace gf::sse2
