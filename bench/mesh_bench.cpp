// The wireframe cubes, measured against a plain copy of one 320 × 200 frame
// in the same run. BM_DrawCubes* report their time as a multiple of
// BM_MeshFrameCopy's in the counter "x_frame_copy", both taken as the
// thread's CPU time so that time spent descheduled on a busy machine does not
// count.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/types.h"
#include "mesh/mesh_object.h"
#include "mesh/wireframe.h"
#include "platform/clock.h"
#include "thread_time.h"

namespace {

double s_mesh_copy_ns = 0.0;  // per frame copy, from BM_MeshFrameCopy

double thread_cpu_ns() { return thread_seconds() * 1e9; }

void BM_MeshFrameCopy(benchmark::State& state) {
    auto src = std::make_unique<gf::PixelBuffer>();
    auto dst = std::make_unique<gf::PixelBuffer>();
    for (uint32_t i = 0; i < static_cast<uint32_t>(gf::kScreenPixels); ++i) {
        src->pixels[i] = i;
    }
    const double start = thread_cpu_ns();
    for (auto _ : state) {
        std::memcpy(dst->data(), src->data(), gf::kFrameBytes);
        benchmark::DoNotOptimize(dst->data());
        benchmark::ClobberMemory();
    }
    s_mesh_copy_ns = (thread_cpu_ns() - start) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gf::kFrameBytes));
}
BENCHMARK(BM_MeshFrameCopy);

// The data set's cube when it has been generated; otherwise the same cube
// built here: corners ±40, twelve triangles.
void load_bench_cubes() {
    const std::string path = std::string(GF_DATA_DIR) + "/kubus.3ds";
    if (gf::validate_mesh_file(path).ok) {
        gf::load_cubes(path);
        return;
    }
    static const gf::MeshFace kFaces[12] = {{0, 2, 3}, {3, 1, 0}, {4, 5, 7}, {7, 6, 4}, {0, 1, 5}, {5, 4, 0},
                                            {2, 6, 7}, {7, 3, 2}, {0, 4, 6}, {6, 2, 0}, {1, 3, 7}, {7, 5, 1}};
    for (gf::MeshObject& cube : gf::cubes) {
        gf::init_mesh(cube, "Object", 8, 12);
        for (int i = 0; i < 8; ++i) {
            cube.source_vertices[static_cast<std::size_t>(i)] =
                gf::Vec3{(i & 1) ? 40.0f : -40.0f, (i & 4) ? 40.0f : -40.0f, (i & 2) ? 40.0f : -40.0f};
        }
        std::memcpy(cube.faces.data(), kFaces, sizeof kFaces);
    }
}

void draw_cube_frames(benchmark::State& state, bool virtual_clock) {
    load_bench_cubes();
    auto frame = std::make_unique<gf::PixelBuffer>();
    if (virtual_clock) {
        gf::use_virtual_clock(5'000'000);
    }
    const double start = thread_cpu_ns();
    for (auto _ : state) {
        if (virtual_clock) {
            gf::advance_virtual_clock(20);  // a new pose every frame
        }
        gf::draw_cubes(frame->data());
        benchmark::DoNotOptimize(frame->data());
        benchmark::ClobberMemory();
    }
    const double draw_ns = (thread_cpu_ns() - start) / static_cast<double>(state.iterations());
    gf::use_system_clock();
    gf::free_cubes();
    if (s_mesh_copy_ns > 0.0) {
        state.counters["x_frame_copy"] = draw_ns / s_mesh_copy_ns;
    }
}

// Poses advanced 20 ms a frame on the virtual clock.
void BM_DrawCubes(benchmark::State& state) { draw_cube_frames(state, true); }
BENCHMARK(BM_DrawCubes);

// As the program runs it: 35 reads of the system clock a call.
void BM_DrawCubesSystemClock(benchmark::State& state) { draw_cube_frames(state, false); }
BENCHMARK(BM_DrawCubesSystemClock);

}  // namespace
