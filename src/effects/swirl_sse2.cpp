// SSE2 variant of the swirl's rows. The browser compiles this file for
// WebAssembly SIMD, where rows written for it replace the SSE2 ones.
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#else
#include <emmintrin.h>
#endif

#include "effects/swirl_terms.h"

namespace gf::sse2 {

namespace {

constexpr int kHalfWidth = kSwirlHalfWidth;
constexpr int kHalfHeight = kSwirlHalfHeight;
constexpr int kSampleFractionBits = kSwirlSampleFractionBits;

#if defined(__wasm_simd128__)
// The working arrays of a row, side by side in one buffer: one pointer walks
// them all and every access is a fixed offset from it, which the browser's
// code folds into the load or store.
enum RowArray : int {
    kPackedRow = 0,                          // the radius terms of each pixel
    kCosineRow = kPackedRow + kScreenWidth,  // its cb
    kColumnRow = kCosineRow + kScreenWidth,  // its column c
    kXTermRow = kColumnRow + kScreenWidth,   // −sb·c
    kSourceRow = kXTermRow + kScreenWidth,   // the picture address it reads
    // cos[(index + c) & 0x1FF] for the pixel in column c at
    // kCosineRun + (c + 160) + index, for every index 0 … 511: the pixel's
    // cosine is an offset from its own place in the row, with no mask.
    kCosineRun = kSourceRow + kScreenWidth,
    kRowBufferSize = kCosineRun + kSwirlAngleSteps + kScreenWidth,
};
#else
// The low 32 bits of each lane's product, wrapping as the scalar code does.
// SSE2 has no 32-bit multiply that keeps the low halves, so the even and odd
// lanes are multiplied as 64-bit products and put back together.
inline __m128i multiply_low(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

inline __m128i add_if_negative(__m128i v, int32_t amount) {
    return _mm_add_epi32(v, _mm_and_si128(_mm_srai_epi32(v, 31), _mm_set1_epi32(amount)));
}
#endif

}  // namespace

#if defined(__wasm_simd128__)
// Tables within ±256. WebAssembly has no gather, and the browser's code pays
// an instruction for every address it works out, so a row goes in three loops
// over one buffer: the two table lookups a pixel at a time, the arithmetic
// four pixels at a time (16-bit multiply-adds, the wrap in 16-bit lanes) into
// each pixel's picture address, and the picture reads.
void draw_swirl_bounded(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& terms) {
    constexpr int kLanes = 4;
    constexpr int kUnroll = 8;
    alignas(16) int32_t rows[kRowBufferSize];
    for (int i = 0; i < kScreenWidth; i += kLanes) {
        // c in the low 16 bits and 0 in the high ones: one multiply-add gives cb·c.
        const v128_t c = wasm_i32x4_add(wasm_i32x4_splat(i - kHalfWidth), wasm_i32x4_make(0, 1, 2, 3));
        wasm_v128_store(rows + kColumnRow + i, wasm_v128_and(c, wasm_i32x4_splat(0xFFFF)));
        wasm_v128_store(rows + kXTermRow + i, wasm_i32x4_neg(wasm_v128_load(terms.column_term + i)));
    }
    for (int j = 0; j < kSwirlAngleSteps + kScreenWidth; ++j) {
        rows[kCosineRun + j] = terms.cosine[static_cast<uint32_t>(j - kHalfWidth) & kSwirlAngleMask];
    }
    const v128_t image_address = wasm_i32x4_splat(static_cast<int32_t>(reinterpret_cast<uintptr_t>(image)));
    for (int r = -kHalfHeight; r < kHalfHeight; ++r) {
        const int row = (r + kHalfHeight) * kScreenWidth;
        // The lookups, pixel i's cosine run starting i entries further on.
        const int32_t* radius = swirl_radius + row;
        for (int32_t* at = rows; at != rows + kScreenWidth; at += kUnroll, radius += kUnroll) {
            for (int k = 0; k < kUnroll; ++k) {
                const uint32_t word = terms.radius_packed[radius[k]];
                at[kPackedRow + k] = static_cast<int32_t>(word);
                at[kCosineRow + k] = at[kCosineRun + k + (word & kSwirlAngleMask)];
            }
        }
        const v128_t sa_r = wasm_i32x4_splat(static_cast<int32_t>(
            static_cast<uint32_t>(terms.sine[(static_cast<uint32_t>(r + kHalfHeight) + p) & kSwirlAngleMask]) *
            static_cast<uint32_t>(r)));
        // −r in the high 16 bits: one multiply-add with the packed words (ca
        // in their high half, the index in the low one) gives −ca·r.
        const v128_t negated_r = wasm_i32x4_splat(static_cast<int32_t>(static_cast<uint32_t>(-r) << 16));
        // Each lane's wrap, x in the low 16 bits and y in the high ones; see below.
        const v128_t step_a =
            wasm_i16x8_make(256, -kScreenHeight, 256, -kScreenHeight, 256, -kScreenHeight, 256, -kScreenHeight);
        const v128_t step_b = wasm_i16x8_make(576, 96, 576, 96, 576, 96, 576, 96);
        const v128_t step_c = wasm_i16x8_make(0, 296, 0, 296, 0, 296, 0, 296);
        const v128_t scale =
            wasm_i16x8_make(4, kScreenWidth * 4, 4, kScreenWidth * 4, 4, kScreenWidth * 4, 4, kScreenWidth * 4);
        for (int32_t* at = rows; at != rows + kScreenWidth; at += kLanes) {
            const v128_t cb_c = wasm_i32x4_dot_i16x8(wasm_v128_load(at + kCosineRow), wasm_v128_load(at + kColumnRow));
            const v128_t y_raw = wasm_i32x4_sub(sa_r, cb_c);
            // −sb·c − ca·r: negated before the shift.
            const v128_t x_raw = wasm_i32x4_add(wasm_v128_load(at + kXTermRow),
                                                wasm_i32x4_dot_i16x8(wasm_v128_load(at + kPackedRow), negated_r));
            // x and y are within −260 … 260: x >> 8 in the low 16 bits, y >> 8 in the high ones.
            const v128_t xy =
                wasm_i16x8_shuffle(wasm_i32x4_shr(x_raw, kSampleFractionBits),
                                   wasm_i32x4_shl(y_raw, 16 - kSampleFractionBits), 0, 9, 2, 11, 4, 13, 6, 15);
            // The unsigned wrap: x taken as unsigned and reduced mod 320 is the
            // smallest of x, x + 256 and x + 576 as unsigned numbers (2^32 ≡ 256
            // mod 320); y's is the smallest of y − 200, y, y + 96 and y + 296
            // (2^32 ≡ 96 mod 200). In 16 bits the same holds.
            const v128_t wrapped =
                wasm_u16x8_min(wasm_u16x8_min(xy, wasm_i16x8_add(xy, step_a)),
                               wasm_u16x8_min(wasm_i16x8_add(xy, step_b), wasm_i16x8_add(xy, step_c)));
            wasm_v128_store(at + kSourceRow, wasm_i32x4_add(wasm_i32x4_dot_i16x8(wrapped, scale), image_address));
        }
        uint32_t* out = dst + row;
        for (const int32_t* at = rows; at != rows + kScreenWidth; at += kUnroll, out += kUnroll) {
            for (int k = 0; k < kUnroll; ++k) {
                out[k] = *reinterpret_cast<const uint32_t*>(
                    static_cast<uintptr_t>(static_cast<uint32_t>(at[kSourceRow + k])));
            }
        }
    }
}
#else
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
#endif

}  // namespace gf::sse2
