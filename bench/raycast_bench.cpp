// Ray grid renderer and tunnel camera, measured against a plain copy of one
// 320 × 200 frame in the same run: divide each time by BM_RayFrameCopy's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "common/types.h"
#include "platform/clock.h"
#include "raycast/ray_grid.h"
#include "raycast/tunnel_camera.h"

namespace {

// A 256 × 256 texture with every texel different, so no load is trivially cached.
std::vector<uint32_t> bench_texture() {
    std::vector<uint32_t> texture(gf::kTextureSize * gf::kTextureSize);
    for (uint32_t i = 0; i < texture.size(); ++i) {
        texture[i] = (i * 2654435761u) & 0x00FFFFFFu;
    }
    return texture;
}

void BM_RayFrameCopy(benchmark::State& state) {
    auto src = std::make_unique<gf::PixelBuffer>();
    auto dst = std::make_unique<gf::PixelBuffer>();
    for (uint32_t i = 0; i < static_cast<uint32_t>(gf::kScreenPixels); ++i) {
        src->pixels[i] = i;
    }
    for (auto _ : state) {
        std::memcpy(dst->data(), src->data(), gf::kFrameBytes);
        benchmark::DoNotOptimize(dst->data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gf::kFrameBytes));
}
BENCHMARK(BM_RayFrameCopy);

// The camera of a tunnel frame (mode 4) or planes frame (mode 3), advanced
// by 20 ms per frame so the rays differ from frame to frame. Setting the
// camera costs well under a thousandth of a render, so it stays in the loop.
void render_frames(benchmark::State& state, int mode) {
    const std::vector<uint32_t> texture = bench_texture();
    auto frame = std::make_unique<gf::PixelBuffer>();
    gf::use_virtual_clock(5'000'000);
    for (auto _ : state) {
        gf::advance_virtual_clock(20);
        gf::animate_tunnel_camera(0, mode);
        gf::render_ray_grid(frame->data(), texture.data());
        benchmark::DoNotOptimize(frame->data());
        benchmark::ClobberMemory();
    }
    gf::use_system_clock();
}

void BM_RenderRayGridTunnel(benchmark::State& state) { render_frames(state, 4); }
BENCHMARK(BM_RenderRayGridTunnel);

void BM_RenderRayGridPlanes(benchmark::State& state) { render_frames(state, 3); }
BENCHMARK(BM_RenderRayGridPlanes);

void BM_AnimateTunnelCamera(benchmark::State& state) {
    gf::use_virtual_clock(5'000'000);
    int mode = 1;
    for (auto _ : state) {
        gf::advance_virtual_clock(1);
        gf::animate_tunnel_camera(5'000'000, mode);
        mode = mode % 4 + 1;
        benchmark::DoNotOptimize(gf::cam_z);
    }
    gf::use_system_clock();
}
BENCHMARK(BM_AnimateTunnelCamera);

}  // namespace
