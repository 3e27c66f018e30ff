// Speed of the screen effects on realistic frames, each reported as a ratio
// to copying one 256000-byte frame with memcpy, measured in the same run
// (counter "x_copy"). Also holds the benchmark executable's main().
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"
#include "effects/flash_limit.h"
#include "effects/noise_snow.h"
#include "effects/primitives.h"
#include "effects/swirl.h"
#include "effects/zoom_blur.h"
#include "platform/clock.h"
#include "thread_time.h"

namespace {

// A picture-like frame: smooth colour gradients with some grain and a few
// bright lines, so nothing is trivially flat or zero.
std::vector<uint32_t> make_picture(int rows, uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint32_t> picture(static_cast<std::size_t>(rows) * gf::kScreenWidth);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < gf::kScreenWidth; ++x) {
            const uint32_t grain = engine() & 0x1F;
            const uint32_t r = std::min(255u, static_cast<uint32_t>(x * 255 / 319) + grain);
            const uint32_t g = std::min(255u, static_cast<uint32_t>((y % 200) * 255 / 199) + grain);
            const uint32_t b = (y % 40 == 0 || x % 64 == 0) ? 255u : 128u - grain;
            picture[static_cast<std::size_t>(y) * gf::kScreenWidth + x] = (r << 16) | (g << 8) | b;
        }
    }
    return picture;
}

struct Frames {
    std::unique_ptr<gf::PixelBuffer> a = std::make_unique<gf::PixelBuffer>();
    std::unique_ptr<gf::PixelBuffer> b = std::make_unique<gf::PixelBuffer>();
    std::unique_ptr<gf::PixelBuffer> dst = std::make_unique<gf::PixelBuffer>();
    std::vector<uint32_t> tall = make_picture(480, 1);
    std::vector<uint32_t> banded = make_picture(400, 2);
    Frames() {
        const std::vector<uint32_t> first = make_picture(200, 3);
        const std::vector<uint32_t> second = make_picture(200, 4);
        std::copy(first.begin(), first.end(), a->pixels);
        std::copy(second.begin(), second.end(), b->pixels);
    }
};

Frames& frames() {
    static Frames f;
    return f;
}

// Seconds per 256000-byte memcpy over `count` copies.
double time_frame_copies(int count) {
    Frames& f = frames();
    const double start = thread_seconds();
    for (int i = 0; i < count; ++i) {
        std::memcpy(f.dst->pixels, f.a->pixels, gf::kFrameBytes);
        benchmark::ClobberMemory();
    }
    return (thread_seconds() - start) / count;
}

double median(std::vector<double>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Runs `body` once per iteration and reports its time as a multiple of a
// frame copy ("x_copy"). After every batch of the body a batch of frame copies
// is timed too, so both see the same machine load; the ratio is of the median
// batch of each, which shrugs off batches disturbed by other work. `batch`
// iterations are timed together; short bodies take longer batches so that
// each timed stretch is tens of microseconds.
template <class Body>
void run_as_ratio(benchmark::State& state, Body&& body, int batch = 4) {
    std::vector<double> body_times;
    std::vector<double> copy_times;
    double batch_start = thread_seconds();
    int in_batch = 0;
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
        if (++in_batch == batch) {
            body_times.push_back((thread_seconds() - batch_start) / batch);
            state.PauseTiming();
            copy_times.push_back(time_frame_copies(4));
            state.ResumeTiming();
            in_batch = 0;
            batch_start = thread_seconds();
        }
    }
    if (!body_times.empty()) {
        state.counters["x_copy"] = median(body_times) / median(copy_times);
    }
}

void BM_FrameCopy(benchmark::State& state) {
    Frames& f = frames();
    run_as_ratio(state, [&] { std::memcpy(f.dst->pixels, f.a->pixels, gf::kFrameBytes); });
}
BENCHMARK(BM_FrameCopy);

void BM_CopyFrame(benchmark::State& state) {
    Frames& f = frames();
    run_as_ratio(state, [&] { gf::copy_frame(f.dst->pixels, f.a->pixels, gf::kFrameBytes); });
}
BENCHMARK(BM_CopyFrame);

void BM_FillFlash(benchmark::State& state) {
    Frames& f = frames();
    const uint32_t hit = gf::time_get_time();
    run_as_ratio(state, [&] { gf::fill_flash(f.dst->pixels, hit); });
}
BENCHMARK(BM_FillFlash);

void BM_InvertFrame(benchmark::State& state) {
    Frames& f = frames();
    run_as_ratio(state, [&] { gf::invert_frame(f.dst->pixels); });
}
BENCHMARK(BM_InvertFrame);

void BM_AddSaturate(benchmark::State& state) {
    Frames& f = frames();
    std::copy(f.a->pixels, f.a->pixels + gf::kScreenPixels, f.dst->pixels);
    // As the timeline uses it: the screen is both destination and first layer.
    run_as_ratio(state, [&] { gf::add_saturate(f.dst->pixels, f.dst->pixels, f.b->pixels); });
}
BENCHMARK(BM_AddSaturate);

void BM_BlitScrolled(benchmark::State& state) {
    Frames& f = frames();
    gf::frame_time = 1234;
    gf::update_scroll_offsets(0);
    run_as_ratio(state, [&] { gf::blit_scrolled(f.dst->pixels, f.tall.data(), 1); });
}
BENCHMARK(BM_BlitScrolled);

void BM_BlitBand(benchmark::State& state) {
    Frames& f = frames();
    uint32_t band = 0;
    run_as_ratio(state, [&] {
        gf::blit_band(f.dst->pixels, f.banded.data(), band);
        band = (band + 1) % 5;
    });
}
BENCHMARK(BM_BlitBand);

void BM_Blur5(benchmark::State& state) {
    Frames& f = frames();
    run_as_ratio(state, [&] { gf::blur5(f.a->pixels, f.dst->pixels); });
}
BENCHMARK(BM_Blur5);

void BM_DrawNoise(benchmark::State& state) {
    Frames& f = frames();
    gf::init_noise();
    gf::frame_time = 1'000'000;
    run_as_ratio(state, [&] {
        gf::draw_noise(f.dst->pixels);
        gf::frame_time += 16;
    });
}
BENCHMARK(BM_DrawNoise);

void BM_DrawSwirl(benchmark::State& state) {
    Frames& f = frames();
    gf::frame_time = 1'000'000;
    gf::init_swirl();
    gf::animate_swirl();
    run_as_ratio(state, [&] { gf::draw_swirl(f.dst->pixels, f.a->pixels); });
}
BENCHMARK(BM_DrawSwirl);

void BM_AnimateSwirl(benchmark::State& state) {
    gf::frame_time = 1'000'000;
    gf::init_swirl();
    run_as_ratio(state, [&] {
        gf::animate_swirl();
        gf::frame_time += 16;
    });
}
BENCHMARK(BM_AnimateSwirl);

// The gentle show's flash limiter, a frame copy into the frame included: on a
// still picture, where it only measures, and on a whole-frame strobe (the
// picture and black in turn), where it darkens every other frame.
void BM_FlashLimit(benchmark::State& state) {
    Frames& f = frames();
    const bool strobe = state.range(0) != 0;
    gf::reset_flash_limit();
    uint32_t now = 1'000'000;
    uint64_t frame = 0;
    run_as_ratio(state, [&] {
        if (strobe && frame % 2 == 1) {
            std::fill_n(f.dst->pixels, gf::kScreenPixels, 0u);
        } else {
            std::copy(f.a->pixels, f.a->pixels + gf::kScreenPixels, f.dst->pixels);
        }
        gf::limit_flashes(f.dst->pixels, now);
        now += 16;
        ++frame;
    });
}
BENCHMARK(BM_FlashLimit)->Arg(0)->Arg(1);

// The blur's cost does not depend on the pixel values, so the frame may fade
// over the iterations; the preset's pull and centre are what matter.
void zoom_blur_with_preset(benchmark::State& state, int code) {
    Frames& f = frames();
    std::copy(f.a->pixels, f.a->pixels + gf::kScreenPixels, f.dst->pixels);
    gf::frame_time = 1'000'000;
    gf::set_zoom_preset(0, code);
    run_as_ratio(state, [&] { gf::zoom_blur(f.dst->pixels); });
}

void BM_ZoomBlurIntro(benchmark::State& state) { zoom_blur_with_preset(state, gf::kZoomPresetIntro); }
BENCHMARK(BM_ZoomBlurIntro);
void BM_ZoomBlurBand(benchmark::State& state) { zoom_blur_with_preset(state, gf::kZoomPresetBand); }
BENCHMARK(BM_ZoomBlurBand);
void BM_ZoomBlurSnow(benchmark::State& state) { zoom_blur_with_preset(state, gf::kZoomPresetSnow); }
BENCHMARK(BM_ZoomBlurSnow);

void BM_SnowPass(benchmark::State& state) {
    Frames& f = frames();
    gf::init_snow();
    run_as_ratio(
        state,
        [&] {
            gf::draw_snow(f.dst->pixels);
            gf::fall_snow(1);
        },
        64);
}
BENCHMARK(BM_SnowPass);

}  // namespace

BENCHMARK_MAIN();
