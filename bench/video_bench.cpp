// The video's colour conversion at the capture sizes, measured against a plain
// copy of one 320 × 200 frame in the same run ("x_copy").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/types.h"
#include "platform/yuv_convert.h"
#include "thread_time.h"

namespace {

// Runs of equal pixels between single odd ones, as the effects draw them.
std::vector<uint32_t> busy_frame() {
    std::vector<uint32_t> pixels(gf::kScreenPixels);
    uint32_t state = 12345u;
    uint32_t run = 0;
    for (uint32_t& p : pixels) {
        state = state * 1664525u + 1013904223u;
        run = (state >> 28) < 4 ? state >> 8 : run;
        p = run & 0x00FFFFFFu;
    }
    return pixels;
}

double median(std::vector<double>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// One frame converted to width × height per iteration; after each, four frame
// copies are timed too, so both see the same machine load.
void BM_FrameToYuv420(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<uint32_t> pixels = busy_frame();
    std::vector<uint32_t> copy(pixels.size());
    std::vector<uint8_t> y(static_cast<std::size_t>(width) * height);
    std::vector<uint8_t> u(static_cast<std::size_t>(width / 2) * (height / 2));
    std::vector<uint8_t> v(u.size());
    std::vector<double> convert_times;
    std::vector<double> copy_times;
    for (auto _ : state) {
        const double start = thread_seconds();
        gf::frame_to_yuv420_sized(pixels.data(), width, height, y.data(), width, u.data(), width / 2, v.data(),
                                  width / 2);
        benchmark::ClobberMemory();
        convert_times.push_back(thread_seconds() - start);
        state.PauseTiming();
        const double copy_start = thread_seconds();
        for (int i = 0; i < 4; ++i) {
            std::memcpy(copy.data(), pixels.data(), gf::kFrameBytes);
            benchmark::ClobberMemory();
        }
        copy_times.push_back((thread_seconds() - copy_start) / 4);
        state.ResumeTiming();
    }
    state.counters["x_copy"] = median(convert_times) / median(copy_times);
}
BENCHMARK(BM_FrameToYuv420)->Args({1280, 800})->Args({1600, 1200})->Args({2880, 2160});

}  // namespace
