// The block pass: each 8 × 8 block's texture coordinates and shade are
// interpolated in fixed point from the grid values at its four corners. On
// x86-64 the widest variant the processor has runs (ray_blocks_sse2.cpp,
// ray_blocks_avx2.cpp); all give the same pixels.
#include "raycast/ray_blocks.h"

#include <cassert>

#include "common/cpu_features.h"

namespace gf {

namespace {

constexpr std::array kDrawRayGridVariants = {
    Variant<DrawRayGridFn>{InstructionSet::kPortable, portable::draw_ray_grid},
#if defined(__x86_64__) || defined(__wasm_simd128__)
    Variant<DrawRayGridFn>{InstructionSet::kSse2, sse2::draw_ray_grid},
#endif
#if defined(__x86_64__)
    Variant<DrawRayGridFn>{InstructionSet::kAvx2, avx2::draw_ray_grid},
#endif
};

}  // namespace

namespace portable {

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    draw_blocks<shade_row_exact>(dst, texture, grid);
}

}  // namespace portable

std::vector<Variant<DrawRayGridFn>> draw_ray_grid_variants() { return runnable_variants(kDrawRayGridVariants); }

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    assert(dst != nullptr && texture != nullptr);
    static DrawRayGridFn* const run = widest_variant(kDrawRayGridVariants);
    run(dst, texture, grid);
}

void render_ray_grid(uint32_t* dst, const uint32_t* texture) {
    RayGrid grid;
    trace_ray_grid(grid);
    draw_ray_grid(dst, texture, grid);
}

}  // namespace gf
