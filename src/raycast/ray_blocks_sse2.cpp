// SSE2 variant of the block pass: the rows of blocks with traced shades are
// shaded in 16-bit lanes. For WebAssembly SIMD the pass has a shape of its own
// (emscripten's SSE2 header would turn the 16-bit multiply-high into several
// instructions and leave the coordinates to scalar code).
#include "raycast/ray_blocks.h"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#else
#include <emmintrin.h>
#endif

namespace gf::sse2 {

#if defined(__wasm_simd128__)

namespace {

// The WebAssembly pass takes a block in two steps. The texel addresses are
// worked out down its columns: a vector holds one pixel column of four block
// rows, so the coordinates advance by one vector add per column (each row
// keeps its own step, as in the portable pass). WebAssembly has no gather, and
// moving addresses from vector lanes to scalars and texels back into lanes
// takes the same few vector ports as the arithmetic: the addresses go through
// memory instead, and plain scalar loads and stores copy the 64 texels of the
// block into a buffer row by row. The rows are then shaded and stored whole,
// the shades stepping along each row.

inline v128_t splat(uint32_t value) { return wasm_i32x4_splat(static_cast<int32_t>(value)); }

// One grid column's edge of a row of blocks: u, v and shade down the block
// rows 0–3 and 4–7, `top + row · step` with the step per row taken from the
// grid point below (wrapping in 32 bits, as in the portable pass). Each grid
// column is worked out once, the right edge of one block and the left edge of
// the next.
struct Edge {
    v128_t u[2];
    v128_t v[2];
    v128_t s[2];
    bool traced;  // both shades came from the tracers
};

inline void edge_ramps(v128_t (&ramps)[2], const int32_t* at) {
    const uint32_t top = static_cast<uint32_t>(at[0]);
    const uint32_t step = block_step(top, static_cast<uint32_t>(at[1]));
    ramps[0] = wasm_i32x4_add(splat(top), wasm_i32x4_mul(splat(step), wasm_i32x4_make(0, 1, 2, 3)));
    ramps[1] = wasm_i32x4_add(ramps[0], splat(step << 2));
}

inline void edge(Edge& e, const RayGrid& grid, int x, int by) {
    edge_ramps(e.u, &grid.u[x][by]);
    edge_ramps(e.v, &grid.v[x][by]);
    edge_ramps(e.s, &grid.shade[x][by]);
    e.traced = is_traced_shade(grid.shade[x][by]) && is_traced_shade(grid.shade[x][by + 1]);
}

// The values of one quantity in four block rows at the block's left edge, and
// their steps per pixel towards the right edge.
struct Column {
    v128_t at;
    v128_t step;
};

inline Column column(v128_t left, v128_t right) {
    return {left, wasm_i32x4_shr(wasm_i32x4_sub(right, left), kRayBlockShift)};
}

// Byte addresses of the texels: bits 16–23 of v pick the row, bits 16–23 of u
// the column.
inline v128_t texel_addresses(v128_t u, v128_t v, v128_t texture) {
    const v128_t row = wasm_v128_and(wasm_u32x4_shr(v, kTexCoordShift - 8 - 2), wasm_i32x4_splat(0xFF00 << 2));
    const v128_t column = wasm_v128_and(wasm_u32x4_shr(u, kTexCoordShift - 2), wasm_i32x4_splat(0xFF << 2));
    return wasm_i32x4_add(texture, wasm_v128_or(row, column));
}

// Any shades: bits 19–26 of each channel's 32-bit product, which is what the
// portable pass's arithmetic shift and mask keep.
inline v128_t shade_exact(v128_t texels, v128_t shade) {
    const v128_t byte_mask = wasm_i32x4_splat(0xFF);
    const auto product = [&](int shift) {
        return wasm_i32x4_mul(wasm_v128_and(wasm_u32x4_shr(texels, shift), byte_mask), shade);
    };
    const v128_t blue = wasm_v128_and(wasm_u32x4_shr(product(0), kShadeProductShift), byte_mask);
    const v128_t green = wasm_v128_and(wasm_u32x4_shr(product(8), kShadeProductShift - 8), wasm_i32x4_splat(0xFF00));
    const v128_t red = wasm_v128_and(wasm_u32x4_shr(product(16), kShadeProductShift - 16), wasm_i32x4_splat(0xFF0000));
    return wasm_v128_or(wasm_v128_or(blue, green), red);
}

// Traced shades as weights w = s >> 5 (0..2^14): X · w >> 14, each product one
// 16 × 16-bit multiply-add of a channel with w and of its neighbour with 0.
inline v128_t shade_traced(v128_t texels, v128_t weight) {
    const v128_t blue_red = wasm_v128_and(texels, wasm_i32x4_splat(0x00FF00FF));
    const v128_t green_alpha = wasm_u16x8_shr(texels, 8);
    const v128_t blue = wasm_i32x4_dot_i16x8(blue_red, weight);
    const v128_t red = wasm_i32x4_dot_i16x8(blue_red, wasm_i32x4_shl(weight, 16));
    const v128_t green = wasm_i32x4_dot_i16x8(green_alpha, weight);
    constexpr int kProductShift = kShadeProductShift - kShadeWeightShift;  // 14
    return wasm_v128_or(wasm_v128_or(wasm_u32x4_shr(blue, kProductShift),
                                     wasm_v128_and(wasm_u32x4_shr(green, kProductShift - 8), wasm_i32x4_splat(0xFF00))),
                        wasm_v128_and(wasm_i32x4_shl(red, 16 - kProductShift), wasm_i32x4_splat(0xFF0000)));
}

template <bool kTraced>
void draw_block(uint32_t* out, v128_t texture, const Edge& left, const Edge& right) {
    alignas(16) uint32_t addresses[2][kRayBlockSize][4];
    for (int half = 0; half < 2; ++half) {
        Column u = column(left.u[half], right.u[half]);
        Column v = column(left.v[half], right.v[half]);
        for (auto& column_addresses : addresses[half]) {
            wasm_v128_store(column_addresses, texel_addresses(u.at, v.at, texture));
            u.at = wasm_i32x4_add(u.at, u.step);
            v.at = wasm_i32x4_add(v.at, v.step);
        }
    }
    // The empty asms keep both buffers in memory: otherwise the compiler turns
    // the copy back into lane extracts and inserts.
    __asm__("" : : "r"(addresses) : "memory");
    alignas(16) uint32_t texels[kRayBlockSize][kRayBlockSize];
    for (int row = 0; row < kRayBlockSize; ++row) {
        for (int x = 0; x < kRayBlockSize; ++x) {
            texels[row][x] = *reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(addresses[row / 4][x][row % 4]));
        }
    }
    __asm__("" : : "r"(texels) : "memory");
    for (int half = 0; half < 2; ++half) {
        Column s = column(left.s[half], right.s[half]);
        if (kTraced) {
            // Edge shades are multiples of 256 and their steps of 32, so the
            // weights step exactly too.
            s.at = wasm_i32x4_shr(s.at, kShadeWeightShift);
            s.step = wasm_i32x4_shr(s.step, kShadeWeightShift);
        }
        // Row `row`'s shades (lane `row` of s) along pixels 0–3 and 4–7.
        const auto shade_row = [&](int row, v128_t at, v128_t step) {
            // Traced weights step by at most 2^11 a pixel, so step · (0, 1, 2, 3) is one
            // 16-bit multiply-add; other shades take the 32-bit multiply.
            const v128_t ramp = kTraced ? wasm_i32x4_dot_i16x8(step, wasm_i32x4_make(0, 1, 2, 3))
                                        : wasm_i32x4_mul(step, wasm_i32x4_make(0, 1, 2, 3));
            const v128_t first = wasm_i32x4_add(at, ramp);
            const v128_t second = wasm_i32x4_add(first, wasm_i32x4_shl(step, 2));
            uint32_t* row_out = out + row * kScreenWidth;
            const v128_t t0 = wasm_v128_load(texels[row]);
            const v128_t t1 = wasm_v128_load(texels[row] + 4);
            wasm_v128_store(row_out, kTraced ? shade_traced(t0, first) : shade_exact(t0, first));
            wasm_v128_store(row_out + 4, kTraced ? shade_traced(t1, second) : shade_exact(t1, second));
        };
        const int r = 4 * half;
        shade_row(r, wasm_i32x4_shuffle(s.at, s.at, 0, 0, 0, 0), wasm_i32x4_shuffle(s.step, s.step, 0, 0, 0, 0));
        shade_row(r + 1, wasm_i32x4_shuffle(s.at, s.at, 1, 1, 1, 1), wasm_i32x4_shuffle(s.step, s.step, 1, 1, 1, 1));
        shade_row(r + 2, wasm_i32x4_shuffle(s.at, s.at, 2, 2, 2, 2), wasm_i32x4_shuffle(s.step, s.step, 2, 2, 2, 2));
        shade_row(r + 3, wasm_i32x4_shuffle(s.at, s.at, 3, 3, 3, 3), wasm_i32x4_shuffle(s.step, s.step, 3, 3, 3, 3));
    }
}

}  // namespace

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    const v128_t texture_address = splat(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(texture)));
    Edge edges[2];
    for (int by = 0; by < kRayBlocksY; ++by) {
        edge(edges[0], grid, 0, by);
        for (int bx = 0; bx < kRayBlocksX; ++bx) {
            const Edge& left = edges[bx & 1];
            Edge& right = edges[(bx + 1) & 1];
            edge(right, grid, bx + 1, by);
            uint32_t* out = dst + (by * kRayBlockSize) * kScreenWidth + bx * kRayBlockSize;
            if (left.traced && right.traced) {
                draw_block<true>(out, texture_address, left, right);
            } else {
                draw_block<false>(out, texture_address, left, right);
            }
        }
    }
}

#else

namespace {

inline void shade_row_traced(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step) {
    // Shades of pixels 0..3 and 4..7 (exact in 32 bits), reduced to 16-bit weights.
    const __m128i s0 =
        _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(shade)),
                      _mm_setr_epi32(0, static_cast<int32_t>(shade_step), static_cast<int32_t>(2 * shade_step),
                                     static_cast<int32_t>(3 * shade_step)));
    const __m128i s1 = _mm_add_epi32(s0, _mm_set1_epi32(static_cast<int32_t>(4 * shade_step)));
    const __m128i weights =
        _mm_packs_epi32(_mm_srai_epi32(s0, kShadeWeightShift), _mm_srai_epi32(s1, kShadeWeightShift));
    const __m128i w01 = _mm_unpacklo_epi16(weights, weights);  // w0 w0 w1 w1 w2 w2 w3 w3
    const __m128i w45 = _mm_unpackhi_epi16(weights, weights);  // w4 w4 w5 w5 w6 w6 w7 w7

    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);  // the top byte never reaches the frame
    const __m128i zero = _mm_setzero_si128();
    // Built from the scalars, not reloaded from memory: a 16-byte load of four
    // fresh 4-byte stores cannot be forwarded and would stall.
    const __m128i t0 = _mm_and_si128(_mm_setr_epi32(static_cast<int32_t>(texels[0]), static_cast<int32_t>(texels[1]),
                                                    static_cast<int32_t>(texels[2]), static_cast<int32_t>(texels[3])),
                                     colour);
    const __m128i t1 = _mm_and_si128(_mm_setr_epi32(static_cast<int32_t>(texels[4]), static_cast<int32_t>(texels[5]),
                                                    static_cast<int32_t>(texels[6]), static_cast<int32_t>(texels[7])),
                                     colour);

    // Channels as 16-bit lanes, two pixels a register; X · 4 · w >> 16 = X · w >> 14.
    auto scale = [&](__m128i pixels, __m128i w) { return _mm_mulhi_epu16(_mm_slli_epi16(pixels, 2), w); };
    const __m128i p0 = scale(_mm_unpacklo_epi8(t0, zero), _mm_unpacklo_epi32(w01, w01));
    const __m128i p1 = scale(_mm_unpackhi_epi8(t0, zero), _mm_unpackhi_epi32(w01, w01));
    const __m128i p2 = scale(_mm_unpacklo_epi8(t1, zero), _mm_unpacklo_epi32(w45, w45));
    const __m128i p3 = scale(_mm_unpackhi_epi8(t1, zero), _mm_unpackhi_epi32(w45, w45));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(p0, p1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_packus_epi16(p2, p3));
}

}  // namespace

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    draw_blocks<shade_row_traced>(dst, texture, grid);
}

#endif

}  // namespace gf::sse2
