// The capture's --benchmark: every frame drawn into memory and timed, the cost
// of each music order printed as a multiple of one frame copy.
#include "driver/capture_benchmark.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/frame_globals.h"
#include "common/status.h"
#include "common/types.h"
#include "driver/capture.h"
#include "driver/timeline.h"

namespace gf {

namespace {

constexpr uint32_t kOrderCount = 17;  // orders 0..16 have scenes
constexpr int kMemcpyBatches = 31;
constexpr int kMemcpyPerBatch = 100;

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
    uint64_t first_frame = 0;  // the show's index of the order's first frame
    double seek_ms = -1;       // a seek to that frame from the checkpoint before it; -1: not measured
    double seek_cpu_ms = -1;
    double cold_ms = -1;  // the first seek there, with nothing kept but the start: a run from the start
};

// The thread's CPU time in seconds, or -1 where there is no such clock (a browser).
double thread_seconds() {
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) {
        return -1;
    }
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// FNV-1a over a frame's pixels: enough to tell a sought frame from the one the run drew.
uint64_t frame_hash(const uint32_t* pixels) {
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < kScreenPixels; ++i) {
        hash = (hash ^ pixels[i]) * 1099511628211ull;
    }
    return hash;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// What the benchmark gathers from the frames the run draws.
struct Tally {
    std::array<OrderCost, kOrderCount + 1> orders{};  // the last: positions with no scene
    std::vector<uint64_t> hashes;                     // of every frame shown, by its index from the first one shown
    bool limit_reached = false;
    // While a seek replays, only the frame it seeks is looked at.
    bool seeking = false;
    uint64_t sought = 0;
    uint64_t sought_hash = 0;
    double run_started = 0;  // when the run's first pass began
};

// Counts each frame shown into its order's cost, or, while seeking, hashes the sought one.
CaptureSink tally_sink(Tally& tally, uint64_t max_show_ms) {
    CaptureSink sink;
    sink.frame = [&tally, max_show_ms](const CapturedFrame& frame) {
        if (tally.seeking) {
            if (frame.index == tally.sought) {
                tally.sought_hash = frame_hash(frame.pixels);
            }
            return true;
        }
        if (frame.ms >= max_show_ms) {
            tally.limit_reached = true;  // a module that never ends: stop as a capture does
            return false;
        }
        OrderCost& cost = tally.orders[std::min(frame.order, kOrderCount)];
        if (cost.frames == 0) {
            cost.first_frame = frame.index;
            cost.cold_ms = (wall_now() - tally.run_started) * 1e3;
        }
        ++cost.frames;
        cost.seconds += frame.draw_seconds;
        tally.hashes.push_back(frame_hash(frame.pixels));
        return true;
    };
    return sink;
}

// Checkpoints of the whole run, by the frame count at which each was saved.
using Checkpoints = std::vector<std::pair<uint64_t, std::shared_ptr<const DemoRun::Checkpoint>>>;

// The whole run of a started show, keeping checkpoints as a window's table has them
// (checkpoint_due).
struct WholeRun {
    Checkpoints checkpoints;
    uint64_t presented = 0;  // frames of the whole show
    double drawing = 0;      // wall time in the passes: what filling a table ahead costs
};

WholeRun run_keeping_checkpoints(DemoRun& run, const FrameRate& rate, Tally& tally) {
    WholeRun whole;
    tally.run_started = wall_now();
    uint64_t last = 0;
    double work = 0;
    bool more = true;
    while (more) {
        if (whole.presented == 0 ||
            checkpoint_due(frame_start_ms(whole.presented, rate) - frame_start_ms(last, rate), work)) {
            const DemoRun::Checkpoint* previous =
                whole.checkpoints.empty() ? nullptr : whole.checkpoints.back().second.get();
            if (auto checkpoint = run.save(previous)) {
                whole.checkpoints.emplace_back(whole.presented, std::move(checkpoint));
                last = whole.presented;
                work = 0;
            }
        }
        ++whole.presented;
        const double pass_started = wall_now();
        const double work_started = drawing_clock();
        more = run.step();
        work += drawing_clock() - work_started;
        whole.drawing += wall_now() - pass_started;
    }
    return whole;
}

// The seeks with the table full, each checked against the frame the run drew.
struct SeekTimes {
    std::vector<double> far_wall;  // to the frame farthest from its checkpoint, in each stretch
    std::vector<double> far_cpu;
    bool all_same = true;
};

// A seek to the whole show's frame `target` from the checkpoint before it, timed into
// wall_ms and cpu_ms; false when it drew another frame than the run's.
bool seek_to(DemoRun& run, const CapturePlatform& platform, Tally& tally, const Checkpoints& checkpoints,
             uint64_t target, double& wall_ms, double& cpu_ms) {
    const uint64_t first_shown = platform.first_shown();
    auto from = std::upper_bound(checkpoints.begin(), checkpoints.end(), target,
                                 [](uint64_t frame, const auto& c) { return frame < c.first; });
    if (from == checkpoints.begin() || target < first_shown || target - first_shown >= tally.hashes.size()) {
        return true;  // not a frame shown, or no checkpoint before it (none could be kept)
    }
    --from;
    tally.sought = target - first_shown;
    tally.sought_hash = 0;
    const double wall0 = wall_now();
    const double cpu0 = thread_seconds();
    const bool ok = run.restore(*from->second);
    while (ok && !(platform.showing() && platform.frames() > tally.sought) && run.step()) {
    }
    wall_ms = (wall_now() - wall0) * 1e3;
    cpu_ms = cpu0 < 0 ? -1 : (thread_seconds() - cpu0) * 1e3;
    if (!ok || tally.sought_hash != tally.hashes.at(tally.sought)) {
        report("seek to frame " + std::to_string(target) + " drew a frame other than the whole run's");
        return false;
    }
    return true;
}

// Seeks to each order's first frame shown, and to the frame farthest from its checkpoint in
// every stretch between two (the slowest a seek to any frame can be).
SeekTimes time_seeks(DemoRun& run, const CapturePlatform& platform, Tally& tally, const WholeRun& whole) {
    SeekTimes times;
    const Checkpoints& checkpoints = whole.checkpoints;
    tally.seeking = true;
    for (OrderCost& cost : tally.orders) {
        if (cost.frames != 0) {
            times.all_same = seek_to(run, platform, tally, checkpoints, platform.first_shown() + cost.first_frame,
                                     cost.seek_ms, cost.seek_cpu_ms) &&
                             times.all_same;
        }
    }
    for (std::size_t i = 0; i < checkpoints.size(); ++i) {
        const uint64_t next = i + 1 < checkpoints.size() ? checkpoints[i + 1].first : whole.presented;
        double wall_ms = -1;
        double cpu_ms = -1;
        if (next > checkpoints[i].first + 1) {
            times.all_same = seek_to(run, platform, tally, checkpoints, next - 1, wall_ms, cpu_ms) && times.all_same;
        }
        if (wall_ms >= 0) {
            times.far_wall.push_back(wall_ms);
            times.far_cpu.push_back(cpu_ms);
        }
    }
    tally.seeking = false;
    return times;
}

// The table's rows gathered for the lines under it.
struct TableSummary {
    OrderCost total;
    std::vector<double> seek_wall;
    std::vector<double> seek_cpu;
    std::vector<double> cold;
    double worst_seek = -1;
    std::string worst_seek_order;
    uint32_t heaviest = 0;
    double heaviest_cost = -1;
};

// One row per order that drew frames: its cost a frame, and the seek to it when measured.
TableSummary print_order_rows(const Tally& tally, double copy_seconds) {
    TableSummary summary;
    for (uint32_t order = 0; order < tally.orders.size(); ++order) {
        const OrderCost& cost = tally.orders.at(order);
        if (cost.frames == 0) {
            continue;
        }
        const double per_frame = cost.seconds / static_cast<double>(cost.frames);
        const double copies = per_frame / copy_seconds;
        if (order < kOrderCount && copies > summary.heaviest_cost) {
            summary.heaviest_cost = copies;
            summary.heaviest = order;
        }
        summary.total.frames += cost.frames;
        summary.total.seconds += cost.seconds;
        const std::string label = order < kOrderCount ? std::to_string(order) : "none";
        std::printf("%6s %8llu %12.3f %12.0f %14.1f", label.c_str(), static_cast<unsigned long long>(cost.frames),
                    per_frame * 1e3, per_frame > 0 ? 1.0 / per_frame : 0.0, copies);
        if (cost.seek_ms >= 0) {
            std::printf(" %10.1f", cost.seek_ms);
            summary.seek_wall.push_back(cost.seek_ms);
            summary.seek_cpu.push_back(cost.seek_cpu_ms);
            if (cost.seek_ms > summary.worst_seek) {
                summary.worst_seek = cost.seek_ms;
                summary.worst_seek_order = label;
            }
        }
        if (cost.cold_ms >= 0) {
            summary.cold.push_back(cost.cold_ms);
        }
        std::printf("\n");
    }
    return summary;
}

// The line of all the orders together and the heaviest one.
void print_totals(const TableSummary& summary, double copy_seconds, double mixing_seconds, double elapsed) {
    if (summary.total.frames == 0) {
        return;
    }
    const double per_frame = summary.total.seconds / static_cast<double>(summary.total.frames);
    std::printf("%6s %8llu %12.3f %12.0f %14.1f\n", "all", static_cast<unsigned long long>(summary.total.frames),
                per_frame * 1e3, per_frame > 0 ? 1.0 / per_frame : 0.0, per_frame / copy_seconds);
    std::printf("heaviest: order %u at %.1f memcpys a frame; music mixing %.3f ms a frame; whole run %.2f s\n",
                summary.heaviest, summary.heaviest_cost,
                mixing_seconds * 1e3 / static_cast<double>(summary.total.frames), elapsed);
}

std::string cpu_text(const std::vector<double>& cpu) {
    char text[96] = "thread CPU not measured here";
    if (!cpu.empty() && cpu.front() >= 0) {
        std::snprintf(text, sizeof text, "thread CPU worst %.1f ms, median %.1f ms",
                      *std::max_element(cpu.begin(), cpu.end()), median(cpu));
    }
    return text;
}

// The lines of the seek table and the seeks' costs, when any was measured.
void print_seeks(const TableSummary& summary, const WholeRun& whole, const SeekTimes& times, const FrameRate& rate) {
    if (summary.seek_wall.empty()) {
        return;
    }
    std::vector<const DemoRun::Checkpoint*> table;
    table.reserve(whole.checkpoints.size());
    for (const auto& checkpoint : whole.checkpoints) {
        table.push_back(checkpoint.second.get());
    }
    const double table_mb = static_cast<double>(DemoRun::bytes(table)) / 1e6;
    std::printf(
        "seek table: %zu checkpoints (at least every %.1f s of show, sooner after %.0f ms of drawing time), "
        "%.1f MB in all, %.2f MB each on average\n",
        table.size(), static_cast<double>(kCheckpointShowMs) / 1000.0, kCheckpointWorkSeconds * 1e3, table_mb,
        table_mb / static_cast<double>(table.size()));
    std::printf(
        "first seek before the table is filled (a run from the start) to an order's first frame: "
        "worst %.1f ms, median %.1f ms\n",
        *std::max_element(summary.cold.begin(), summary.cold.end()), median(summary.cold));
    std::printf("seek with the table filled, to an order's first frame: worst %.1f ms (order %s), median %.1f ms; %s\n",
                summary.worst_seek, summary.worst_seek_order.c_str(), median(summary.seek_wall),
                cpu_text(summary.seek_cpu).c_str());
    if (!times.far_wall.empty()) {
        std::printf(
            "seek with the table filled, to the frame farthest from its checkpoint in each of %zu "
            "stretches: worst %.1f ms, median %.1f ms; %s\n",
            times.far_wall.size(), *std::max_element(times.far_wall.begin(), times.far_wall.end()),
            median(times.far_wall), cpu_text(times.far_cpu).c_str());
    }
    const double fps = static_cast<double>(rate.num) / rate.den;
    std::printf(
        "filling the table ahead takes %.2f s of drawing: at %s fps, %.0f s playing (%.0f ms a frame), "
        "%.0f s paused (%.0f ms a frame); %s\n",
        whole.drawing, rate_text(rate).c_str(), whole.drawing / (kAheadPlayingSeconds * fps),
        kAheadPlayingSeconds * 1e3, whole.drawing / (kAheadPausedSeconds * fps), kAheadPausedSeconds * 1e3,
        times.all_same ? "every sought frame equals the whole run's" : "SOME SOUGHT FRAMES DIFFER");
}

// The exit code of a finished run whose table is printed, saying why it stopped short if it did.
int finished_run_code(const CapturePlatform& platform, const Tally& tally, uint64_t max_show_ms, bool all_same) {
    if (platform.stop_reason() == CaptureStop::Interrupted) {
        report("benchmark interrupted; the table holds the frames that ran");
        return kExitInterrupted;
    }
    if (tally.limit_reached) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%llu:%02llu", static_cast<unsigned long long>(max_show_ms / 60000),
                      static_cast<unsigned long long>(max_show_ms / 1000 % 60));
        report(std::string("the show did not end within ") + limit +
               " (the music plays on); the benchmark stops there");
        return kExitFailure;
    }
    if (platform.stop_reason() == CaptureStop::MusicEnded) {
        report("the music ended without the closing fade; stopped one second after its end");
    }
    return all_same ? kExitOk : kExitFailure;
}

}  // namespace

int run_benchmark(const DemoOptions& demo, const FrameRate& rate, uint64_t max_frames,
                  const std::atomic<bool>* interrupt, std::optional<ClipEnd> end, uint64_t max_show_ms) {
    const double copy_seconds = time_frame_copy();
    Tally tally;
    CapturePlatform platform(rate, tally_sink(tally, max_show_ms), max_frames, interrupt);
    platform.keep_surface_in_state(false);  // as a window's seek table keeps its checkpoints
    if (end) {
        platform.set_end_position(*end);
    }
    platform.start_at(demo.start_order, demo.start_row);
    const DemoOptions whole = from_the_start(demo);
    DemoRun run(platform, whole, real_effect_ops());
    const double started = wall_now();
    const int result = run.start();
    if (result != kExitOk) {
        return result;  // start-up failed, and said why
    }
    const WholeRun whole_run = run_keeping_checkpoints(run, rate, tally);
    const double elapsed = wall_now() - started;

    const bool ran_to_end =
        platform.stop_reason() == CaptureStop::None || platform.stop_reason() == CaptureStop::MusicEnded;
    const SeekTimes times =
        ran_to_end && !whole_run.checkpoints.empty() ? time_seeks(run, platform, tally, whole_run) : SeekTimes{};
    run.finish();

    double drawn_seconds = 0;
    for (const OrderCost& cost : tally.orders) {
        drawn_seconds += cost.seconds;
    }
    // A clock that does not advance (a browser that freezes or coarsens its timer) makes
    // every cost zero and every ratio meaningless: say so instead of printing them.
    if (!(copy_seconds > 0) || !(drawn_seconds > 0)) {
        report("benchmark: the clock did not advance while " + std::to_string(platform.frames()) +
               " frames were drawn (a frozen or coarsened timer), so no cost can be measured");
        return kExitFailure;
    }

    // The table of what ran, also when the run was cut short.
    std::printf("Glimmerfrost benchmark: %llu frames at %s fps; one 256000-byte memcpy takes %.1f us\n",
                static_cast<unsigned long long>(tally.hashes.size()), rate_text(rate).c_str(), copy_seconds * 1e6);
    std::printf("%6s %8s %12s %12s %14s %10s\n", "order", "frames", "ms/frame", "frames/s", "memcpys/frame", "seek ms");
    const TableSummary summary = print_order_rows(tally, copy_seconds);
    print_totals(summary, copy_seconds, platform.mixing_seconds(), elapsed);
    print_seeks(summary, whole_run, times, rate);
    return finished_run_code(platform, tally, max_show_ms, times.all_same);
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
