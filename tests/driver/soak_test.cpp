// The soak: long runs that the ordinary test run skips (set GF_SOAK=1; .ci/soak.sh does).
//  - The whole show rendered ten times in a row in one process, in benchmark
//    mode: resident memory must stay flat after the first pass, so nothing
//    leaks or grows from one run of demo_main to the next.
//  - One whole real-time playback in a window (under Xvfb, with the dummy
//    audio driver) that must end by itself through the closing fade; the
//    frame-time percentiles are printed for the report, not judged.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "driver/capture.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "driver/watched_platform.h"

namespace {

constexpr uint32_t kFadeOrder = 16;  // the closing fade silences the music in this order
constexpr long kFlatBytes = 1 << 20;
constexpr long kHeapSlackBytes = 64 << 10;

bool soak_enabled() {
    const char* value = std::getenv("GF_SOAK");
    return value != nullptr && value[0] != '\0' && std::string(value) != "0";
}

// Resident set size in bytes, from /proc/self/statm (pages). The allocator is
// asked first to hand back the free memory it keeps cached (glibc raises its
// mmap threshold as big blocks are freed, so later big blocks stay on the heap
// after they are freed): what remains is what the program holds.
long resident_bytes() {
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

gf::DemoOptions show_options() {
    gf::DemoOptions options;
    const gf::Status found = gf::find_data_files({GF_DATA_DIR}, options.files);
    EXPECT_TRUE(found.ok) << found.message;
    return options;
}

TEST(Soak, TenWholeShowsInOneProcessKeepMemoryFlat) {
    if (!soak_enabled()) {
        GTEST_SKIP() << "set GF_SOAK=1 to run (about ten whole shows in benchmark mode)";
    }
    const gf::DemoOptions options = show_options();
    gf::CaptureOptions capture;
    capture.benchmark = true;
    int passes = 10;
    if (const char* n = std::getenv("GF_SOAK_PASSES")) {
        passes = std::max(2, std::atoi(n));
    }
    std::vector<long> resident;
    std::vector<long> heap;  // bytes the program holds from malloc: a leak shows here first
    for (int pass = 0; pass < passes; ++pass) {
        ASSERT_EQ(gf::run_capture(options, capture), 0) << "pass " << pass + 1;
        std::fflush(stdout);
        resident.push_back(resident_bytes());
        heap.push_back(static_cast<long>(mallinfo2().uordblks));
        std::printf("soak: pass %d of %d: resident %.2f MiB, heap in use %.2f MiB\n", pass + 1, passes,
                    static_cast<double>(resident.back()) / (1 << 20), static_cast<double>(heap.back()) / (1 << 20));
    }
    for (int pass = 1; pass < passes; ++pass) {
        EXPECT_LE(resident[static_cast<size_t>(pass)] - resident[0], kFlatBytes)
            << "resident memory grew by " << (resident[static_cast<size_t>(pass)] - resident[0]) / 1024
            << " KiB between pass 1 and pass " << pass + 1;
        EXPECT_LE(heap[static_cast<size_t>(pass)] - heap[0], kHeapSlackBytes)
            << "the heap in use grew by " << (heap[static_cast<size_t>(pass)] - heap[0]) / 1024
            << " KiB between pass 1 and pass " << pass + 1;
    }
}

TEST(Soak, RealTimePlaybackEndsThroughTheFade) {
    if (!soak_enabled()) {
        GTEST_SKIP() << "set GF_SOAK=1 to run (about two minutes, needs a display: xvfb-run)";
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        GTEST_SKIP() << "no X display; run under xvfb-run";
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const gf::DemoOptions options = show_options();
    gf::DisplayOptions display_options;
    display_options.scale = 2;
    gf::testing::WatchedPlatform platform(display_options, gf::AudioOutput::Device);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(gf::demo_main(platform, options), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // It ended by itself, in the fade order, not by a key or a signal.
    EXPECT_EQ(platform.last_position() & 0xFFFFu, kFadeOrder);
    const auto& log = platform.log();
    const auto stop = std::find(log.begin(), log.end(), "stop_music");
    ASSERT_NE(stop, log.end());
    EXPECT_EQ(log.back(), "destroy_display");

    const auto& updates = platform.updates();
    ASSERT_GT(updates.size(), 100u);
    std::vector<double> gaps;
    for (size_t i = 1; i < updates.size(); ++i) {
        gaps.push_back(std::chrono::duration<double, std::milli>(updates[i] - updates[i - 1]).count());
    }
    std::sort(gaps.begin(), gaps.end());
    const auto percentile = [&gaps](double p) {
        return gaps[std::min(gaps.size() - 1, static_cast<size_t>(p / 100.0 * static_cast<double>(gaps.size())))];
    };
    std::printf(
        "soak: real-time playback: %zu frames in %.1f s (%.1f frames/s); frame time ms: "
        "p50 %.2f, p90 %.2f, p99 %.2f, p99.9 %.2f, max %.2f\n",
        updates.size(), seconds, static_cast<double>(updates.size()) / seconds, percentile(50), percentile(90),
        percentile(99), percentile(99.9), gaps.back());
    ::testing::Test::RecordProperty("frames", static_cast<int>(updates.size()));
}

}  // namespace
