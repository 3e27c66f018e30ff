// The flash analyser on hand-made frame sequences: what counts as a transition
// (step, darker state, saturated red, area) and when a second fails.
#include "flashcheck/flash_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/types.h"

namespace gf {
namespace {

constexpr uint64_t kFps = 30;
constexpr uint64_t kFrames = 3 * kFps;

// Frames of `base` with a `width` × `height` block at (x, y) that switches
// between `off` and `on` every `period` frames.
struct Strobe {
    const char* name;
    uint32_t base;
    uint32_t off;
    uint32_t on;
    int x, y, width, height;
    int period;
    bool passes;
    int most_general;  // most transitions of one area in one second
    int most_red;
};

void run(const Strobe& s, FlashAnalyser& analyser) {
    std::vector<uint32_t> frame(kScreenPixels);
    for (uint64_t i = 0; i < kFrames; ++i) {
        std::fill(frame.begin(), frame.end(), s.base);
        const uint32_t block = (i / s.period) % 2 == 0 ? s.off : s.on;
        for (int y = s.y; y < s.y + s.height; ++y) {
            std::fill_n(frame.begin() + y * kScreenWidth + s.x, s.width, block);
        }
        analyser.add_frame(frame.data(), i * 1000 / kFps, 0);
    }
}

TEST(FlashAnalyser, CountsTransitionsByTheFlashRules) {
    const Strobe cases[] = {
        // Black and white every 4 frames at 30 fps: 7.5 transitions a second, four flashes.
        {"whole-frame strobe", 0, 0x000000, 0xFFFFFF, 0, 0, 320, 200, 4, false, 8, 0},
        // Every 5 frames: six transitions, three flashes, the most that passes.
        {"three flashes a second", 0, 0x000000, 0xFFFFFF, 0, 0, 320, 200, 5, true, 6, 0},
        // Luminance 0.014 to 0.030: below the 0.1 step.
        {"small change", 0, 0x202020, 0x303030, 0, 0, 320, 200, 2, true, 0, 0},
        // 1.0 to 0.807: a whole step, but the darker state is not below 0.8.
        {"both states bright", 0, 0xFFFFFF, 0xE8E8E8, 0, 0, 320, 200, 2, true, 0, 0},
        // Saturated red of luminance 0.046: no general flash, but (R - G - B) × 320 swings by 69.
        {"saturated red", 0, 0x000000, 0x800000, 0, 0, 320, 200, 2, false, 0, 15},
        // The same red swing in a colour whose red share is 0.68: not saturated red.
        {"unsaturated red", 0, 0x000000, 0x804040, 0, 0, 320, 200, 2, true, 0, 0},
        // A white block of 1/36 of the frame, across the areas' grid.
        {"area of a quarter field", 0x000000, 0x000000, 0xFFFFFF, 101, 57, 54, 34, 2, false, 15, 0},
        // An 8 × 8 block: 64 pixels, too small to flash an area by a step.
        {"small block", 0x000000, 0x000000, 0xFFFFFF, 150, 90, 8, 8, 2, true, 0, 0},
    };
    for (const Strobe& s : cases) {
        FlashAnalyser analyser;
        run(s, analyser);
        const FlashOrderSummary& o = analyser.orders().at(0);
        EXPECT_EQ(analyser.passes(), s.passes) << s.name;
        EXPECT_EQ(o.most_general, s.most_general) << s.name;
        EXPECT_EQ(o.most_red, s.most_red) << s.name;
        EXPECT_EQ(analyser.seconds(), 3u) << s.name;
        // A failing strobe fails from the second in which its fourth flash completes.
        EXPECT_EQ(analyser.failing_seconds(), s.passes ? 0u : 3u) << s.name;
    }
}

// A slow fade of a whole step is one transition, however many frames it takes;
// small steps back on the way do not split it.
TEST(FlashAnalyser, AFadeIsOneTransition) {
    FlashAnalyser analyser;
    std::vector<uint32_t> frame(kScreenPixels);
    const int levels[] = {0, 40, 30, 80, 70, 120, 110, 160, 255, 250, 255};
    for (uint64_t i = 0; i < std::size(levels); ++i) {
        const uint32_t v = static_cast<uint32_t>(levels[i]);
        std::fill(frame.begin(), frame.end(), v * 0x010101u);
        analyser.add_frame(frame.data(), i * 33, 0);
    }
    EXPECT_EQ(analyser.orders().at(0).most_general, 1);
}

TEST(FlashAnalyser, AFolderThatIsNotAFrameCaptureIsRefusedByName) {
    FlashAnalyser analyser;
    const Status status = analyse_frame_folder("/nonexistent-frames", analyser);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("/nonexistent-frames/frames.csv"), std::string::npos) << status.message;
}

}  // namespace
}  // namespace gf
