// The capture's --benchmark: every frame drawn into memory and timed, the cost
// of each music order printed as a multiple of one frame copy.
#include "driver/capture_benchmark.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"

namespace gf {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitInterrupted = 130;
constexpr uint32_t kOrderCount = 17;  // orders 0..16 have scenes
constexpr int kMemcpyBatches = 31;
constexpr int kMemcpyPerBatch = 100;

void report(const std::string& message) { std::cerr << "glimmerfrost: " << message << '\n'; }

double wall_now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Seconds for one 256000-byte memcpy between two frames, the median of batches.
double time_frame_copy() {
    std::vector<PixelBuffer> frames(2);
    for (int i = 0; i < kScreenPixels; ++i) {
        frames[0].pixels[i] = static_cast<uint32_t>(i) * 2654435761u;
    }
    std::array<double, kMemcpyBatches> batches{};
    for (double& batch : batches) {
        const double started = wall_now();
        for (int i = 0; i < kMemcpyPerBatch; ++i) {
            std::memcpy(frames[(i + 1) & 1].pixels, frames[i & 1].pixels, kFrameBytes);
            // Keeps the copies from being folded away.
            asm volatile("" : : "r"(frames[0].pixels), "r"(frames[1].pixels) : "memory");
        }
        batch = (wall_now() - started) / kMemcpyPerBatch;
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

struct OrderCost {
    uint64_t frames = 0;
    double seconds = 0;
};

}  // namespace

int run_benchmark(const DemoOptions& demo, const FrameRate& rate, uint64_t max_frames,
                  const std::atomic<bool>* interrupt, uint64_t max_show_ms) {
    const double copy_seconds = time_frame_copy();
    std::array<OrderCost, kOrderCount + 1> orders{};  // the last: positions with no scene
    CaptureSink sink;
    bool limit_reached = false;
    sink.frame = [&](const CapturedFrame& frame) {
        if (frame.ms >= max_show_ms) {
            limit_reached = true;  // a module that never ends: stop as a capture does
            return false;
        }
        OrderCost& cost = orders[std::min(frame.order, kOrderCount)];
        ++cost.frames;
        cost.seconds += frame.draw_seconds;
        return true;
    };
    CapturePlatform platform(rate, sink, max_frames, interrupt);
    const double started = wall_now();
    const int result = demo_main(platform, demo);
    const double elapsed = wall_now() - started;
    if (result != kExitOk) {
        return result;
    }
    const bool interrupted = platform.stop_reason() == CaptureStop::Interrupted;
    const uint64_t timed_frames = limit_reached ? platform.frames() - 1 : platform.frames();

    // The table of what ran, also when the run was cut short.
    std::printf("Glimmerfrost benchmark: %llu frames at %s fps; one 256000-byte memcpy takes %.1f us\n",
                static_cast<unsigned long long>(timed_frames), rate_text(rate).c_str(), copy_seconds * 1e6);
    std::printf("%6s %8s %12s %12s %14s\n", "order", "frames", "ms/frame", "frames/s", "memcpys/frame");
    OrderCost total;
    uint32_t heaviest = 0;
    double heaviest_cost = -1;
    for (uint32_t order = 0; order < orders.size(); ++order) {
        const OrderCost& cost = orders.at(order);
        if (cost.frames == 0) {
            continue;
        }
        const double per_frame = cost.seconds / static_cast<double>(cost.frames);
        const double copies = per_frame / copy_seconds;
        if (order < kOrderCount && copies > heaviest_cost) {
            heaviest_cost = copies;
            heaviest = order;
        }
        total.frames += cost.frames;
        total.seconds += cost.seconds;
        const std::string label = order < kOrderCount ? std::to_string(order) : "none";
        std::printf("%6s %8llu %12.3f %12.0f %14.1f\n", label.c_str(), static_cast<unsigned long long>(cost.frames),
                    per_frame * 1e3, per_frame > 0 ? 1.0 / per_frame : 0.0, copies);
    }
    if (total.frames > 0) {
        const double per_frame = total.seconds / static_cast<double>(total.frames);
        std::printf("%6s %8llu %12.3f %12.0f %14.1f\n", "all", static_cast<unsigned long long>(total.frames),
                    per_frame * 1e3, per_frame > 0 ? 1.0 / per_frame : 0.0, per_frame / copy_seconds);
        std::printf("heaviest: order %u at %.1f memcpys a frame; music mixing %.3f ms a frame; whole run %.2f s\n",
                    heaviest, heaviest_cost, platform.mixing_seconds() * 1e3 / static_cast<double>(total.frames),
                    elapsed);
    }
    if (interrupted) {
        report("benchmark interrupted; the table holds the frames that ran");
        return kExitInterrupted;
    }
    if (limit_reached) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%llu:%02llu", static_cast<unsigned long long>(max_show_ms / 60000),
                      static_cast<unsigned long long>(max_show_ms / 1000 % 60));
        report(std::string("the show did not end within ") + limit + " (the music plays on); the benchmark stops there");
        return kExitFailure;
    }
    if (platform.stop_reason() == CaptureStop::MusicEnded) {
        report("the music ended without the closing fade; stopped one second after its end");
    }
    return kExitOk;
}

std::string rate_text(const FrameRate& rate) {
    if (rate.den == 1) {
        return std::to_string(rate.num);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(rate.num) / rate.den);
    return text;
}

}  // namespace gf
