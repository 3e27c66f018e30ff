// The block pass's shared pieces: the interpolation set-up of one 8 × 8 block
// from its four grid corners, and the pass itself with the traced-shade row
// left to the variant (ray_blocks.cpp, ray_blocks_sse2.cpp, ray_blocks_avx2.cpp).
// The functions are static: each file gets its own copy, built with its own
// instruction set.
#pragma once

#include <cstdint>

#include "raycast/ray_grid.h"

namespace gf {

// The difference of two 16.16 values over 8 pixels, in 32-bit two's complement
// with an arithmetic (flooring) shift, so wrapped coordinates step without a seam.
static inline uint32_t block_step(uint32_t from, uint32_t to) {
    return static_cast<uint32_t>(static_cast<int32_t>(to - from) >> kRayBlockShift);
}

// Shades the tracers produce: a level 0..256 shifted left by 11.
constexpr int32_t kFullShade = 256 << kShadeShift;
constexpr int32_t kShadeLevelMask = (1 << kShadeShift) - 1;

static inline bool is_traced_shade(int32_t shade) {
    return shade >= 0 && shade <= kFullShade && (shade & kShadeLevelMask) == 0;
}

// Between four traced corner shades every interpolated shade is a multiple
// of 32 in 0..2^19 (the corner differences are multiples of 2048, so both
// shifts divide exactly). Then X · s >> 19 = X · (s >> 5) >> 14, where
// s >> 5 fits 16 bits and the product can be formed in 16-bit lanes.
constexpr int kShadeWeightShift = 5;

// u, v and shade where the current pixel row of a block meets its left and
// right edges, and how much each moves per row. All interpolation is in
// uint32_t so that wrapped coordinates add modulo 2^32; only the steps are
// taken as signed, for the arithmetic shift.
struct BlockEdges {
    uint32_t left_u, left_v, left_s;
    uint32_t right_u, right_v, right_s;
    uint32_t left_u_step, left_v_step, left_s_step;
    uint32_t right_u_step, right_v_step, right_s_step;
    bool traced;  // all four corner shades came from the tracers
};

// The edges at the top row of block (bx, by).
static inline BlockEdges block_edges(const RayGrid& grid, int bx, int by) {
    const auto at = [](const int32_t(&values)[kRayGridColumns][kRayGridRows], int x, int y) {
        return static_cast<uint32_t>(values[x][y]);
    };
    BlockEdges e;
    e.left_u = at(grid.u, bx, by);
    e.left_v = at(grid.v, bx, by);
    e.left_s = at(grid.shade, bx, by);
    e.right_u = at(grid.u, bx + 1, by);
    e.right_v = at(grid.v, bx + 1, by);
    e.right_s = at(grid.shade, bx + 1, by);
    e.left_u_step = block_step(e.left_u, at(grid.u, bx, by + 1));
    e.left_v_step = block_step(e.left_v, at(grid.v, bx, by + 1));
    e.left_s_step = block_step(e.left_s, at(grid.shade, bx, by + 1));
    e.right_u_step = block_step(e.right_u, at(grid.u, bx + 1, by + 1));
    e.right_v_step = block_step(e.right_v, at(grid.v, bx + 1, by + 1));
    e.right_s_step = block_step(e.right_s, at(grid.shade, bx + 1, by + 1));
    e.traced = is_traced_shade(grid.shade[bx][by]) && is_traced_shade(grid.shade[bx + 1][by]) &&
               is_traced_shade(grid.shade[bx][by + 1]) && is_traced_shade(grid.shade[bx + 1][by + 1]);
    return e;
}

static inline void next_block_row(BlockEdges& e) {
    e.left_u += e.left_u_step;
    e.left_v += e.left_v_step;
    e.left_s += e.left_s_step;
    e.right_u += e.right_u_step;
    e.right_v += e.right_v_step;
    e.right_s += e.right_s_step;
}

// Eight pixels of one block row: texels already fetched, shades starting at
// `shade` and advancing by `shade_step`.
using ShadeRowFn = void(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step);

// One channel (at bit `shift`) of a texel scaled by a shade: X · s >> 19.
static inline uint32_t shade_channel(uint32_t texel, int shift, uint32_t shade) {
    const uint32_t product = ((texel >> shift) & 0xFFu) * shade;
    return (static_cast<uint32_t>(static_cast<int32_t>(product) >> kShadeProductShift) & 0xFFu) << shift;
}

// Any shades: each channel's product formed in 32 bits.
static inline void shade_row_exact(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step) {
    for (int px = 0; px < kRayBlockSize; ++px) {
        const uint32_t texel = texels[px];
        out[px] = shade_channel(texel, 16, shade) | shade_channel(texel, 8, shade) | shade_channel(texel, 0, shade);
        shade += shade_step;
    }
}

// The rows of one block, from its edges, each shaded by `kShadeRow`.
template <ShadeRowFn* kShadeRow>
void draw_block_rows(uint32_t* out, const uint32_t* texture, BlockEdges e) {
    for (int py = 0; py < kRayBlockSize; ++py) {
        const uint32_t u_step = block_step(e.left_u, e.right_u);
        const uint32_t v_step = block_step(e.left_v, e.right_v);
        uint32_t u = e.left_u;
        uint32_t v = e.left_v;
        alignas(16) uint32_t texels[kRayBlockSize];
        for (int px = 0; px < kRayBlockSize; ++px) {
            // Bits 16–23 of v pick the row, bits 16–23 of u the column.
            texels[px] = texture[((v >> (kTexCoordShift - 8)) & 0xFF00u) | ((u >> kTexCoordShift) & 0xFFu)];
            u += u_step;
            v += v_step;
        }
        kShadeRow(out, texels, e.left_s, block_step(e.left_s, e.right_s));
        next_block_row(e);
        out += kScreenWidth;
    }
}

// The block pass, with `kShadeTraced` shading the rows of blocks whose
// corners all have traced shades.
template <ShadeRowFn* kShadeTraced>
void draw_blocks(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    for (int by = 0; by < kRayBlocksY; ++by) {
        for (int bx = 0; bx < kRayBlocksX; ++bx) {
            uint32_t* out = dst + (by * kRayBlockSize) * kScreenWidth + bx * kRayBlockSize;
            const BlockEdges e = block_edges(grid, bx, by);
            if (e.traced) {
                draw_block_rows<kShadeTraced>(out, texture, e);
            } else {
                draw_block_rows<shade_row_exact>(out, texture, e);
            }
        }
    }
}

namespace sse2 {
void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid);
}  // namespace sse2
namespace avx2 {
void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid);
}  // namespace avx2

}  // namespace gf
