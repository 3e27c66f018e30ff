// The show ends by itself at every frame rate and start position: demo_main
// runs the real scenes and music against the virtual clock, paced either the
// way a window paces presents (a whole number of ms per frame, from an even
// start) or the way a capture does (exact frame times from an odd start).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/frame_globals.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "driver/library_platform.h"
#include "platform/clock.h"
#include "platform/music.h"

namespace gf {
namespace {

constexpr uint32_t kFadeOrder = 16;
constexpr uint64_t kGiveUpFrames = 20000;  // far past the end at every rate tested

enum class Pacing { WholeMs, Capture };

struct VolumeStep {
    uint32_t frame_time = 0;  // the frame_time the fade pass saw
    int before = 0;
    int after = 0;
};

class PacedPlatform final : public LibraryPlatform {
public:
    PacedPlatform(double rate, Pacing pacing) : LibraryPlatform(AudioOutput::Offline), rate_(rate), pacing_(pacing) {
        use_virtual_clock(pacing == Pacing::Capture ? kVirtualClockStart + 1 : kVirtualClockStart);
        start_ = time_get_time();
    }
    ~PacedPlatform() override { use_system_clock(); }

    Status open_display(const char*, int, int, int) override { return {}; }
    uint32_t* lock_frame() override { return surface_.data(); }
    void unlock_frame() override {}
    void present_frame() override { ++frames_; }
    void update_display() override {
        const double interval_ms = 1000.0 / rate_;
        const uint64_t ms = pacing_ == Pacing::WholeMs
                                ? frames_ * static_cast<uint64_t>(std::lround(interval_ms))
                                : static_cast<uint64_t>(std::floor(static_cast<double>(frames_) * interval_ms));
        const uint64_t sample = ms * kMixRate / 1000;
        std::vector<int16_t> pcm(2 * (sample - samples_));
        render_music(pcm.data(), sample - samples_);
        samples_ = sample;
        set_virtual_clock(start_ + static_cast<uint32_t>(ms));
    }
    bool key_pressed() override { return frames_ >= kGiveUpFrames; }
    void destroy_display() override {}

    uint32_t music_position() override {
        last_position_ = LibraryPlatform::music_position();
        return last_position_;
    }
    void set_music_volume(int volume) override {
        if ((last_position_ & 0xFFFFu) == kFadeOrder) {
            steps.push_back({frame_time, music_volume(), volume});
        }
        LibraryPlatform::set_music_volume(volume);
    }

    uint64_t frames() const { return frames_; }
    uint32_t clock_ms() const { return time_get_time() - start_; }
    std::vector<VolumeStep> steps;

private:
    double rate_;
    Pacing pacing_;
    uint32_t start_ = 0;
    uint64_t frames_ = 0;
    uint64_t samples_ = 0;
    uint32_t last_position_ = 0;
    PixelBuffer surface_;
};

class ShowEndTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(find_data_files({GF_DATA_DIR}, options_.files).ok); }
    DemoOptions options_;
};

TEST_F(ShowEndTest, TheFadeEndsTheShowInAboutTheSameTimeAtEveryRate) {
    struct Case {
        double rate;
        Pacing pacing;
    };
    // 50 Hz paced in whole ms is 20 ms a frame: every frame time even.
    for (const Case c : {Case{24, Pacing::WholeMs}, Case{50, Pacing::WholeMs}, Case{60, Pacing::WholeMs},
                         Case{100, Pacing::WholeMs}, Case{240, Pacing::WholeMs}, Case{24, Pacing::Capture},
                         Case{59.94, Pacing::Capture}, Case{144, Pacing::Capture}, Case{240, Pacing::Capture}}) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << (c.pacing == Pacing::WholeMs ? "window" : "capture"));
        PacedPlatform platform(c.rate, c.pacing);
        options_.start_order = kFadeOrder;
        ASSERT_EQ(demo_main(platform, options_), 0);
        ASSERT_LT(platform.frames(), kGiveUpFrames) << "the show did not end";
        EXPECT_EQ(exit_requested, 1u) << "the fade did not end it";
        ASSERT_FALSE(platform.steps.empty());
        const uint32_t fade_ms = platform.clock_ms();
        EXPECT_GE(fade_ms, 1100u);
        EXPECT_LE(fade_ms, 1450u);
    }
}

TEST_F(ShowEndTest, AtSixtyFramesASecondTheVolumeDropsOnOddFrameTimesOnly) {
    PacedPlatform platform(60, Pacing::Capture);
    options_.start_order = kFadeOrder;
    ASSERT_EQ(demo_main(platform, options_), 0);
    ASSERT_GE(platform.steps.size(), 74u);
    for (const VolumeStep& s : platform.steps) {
        const int expected = std::max(0, s.before - ((s.frame_time & 1u) != 0 ? 2 : 0));
        ASSERT_EQ(s.after, expected) << "frame time " << s.frame_time;
    }
    EXPECT_EQ(platform.steps.back().after, 0);
}

TEST_F(ShowEndTest, TheShowEndsWhenTheMusicEndsBeforeTheFade) {
    // From late in the last order the module ends half a second in, before the fade is done
    // (at 10 or 50 Hz in whole ms every frame time is even); the show ends a second later.
    for (const double rate : {10.0, 50.0}) {
        SCOPED_TRACE(::testing::Message() << rate << " Hz");
        PacedPlatform platform(rate, Pacing::WholeMs);
        options_.start_order = kFadeOrder;
        options_.start_row = 120;
        ASSERT_EQ(demo_main(platform, options_), 0);
        EXPECT_LT(platform.frames(), kGiveUpFrames) << "the show did not end";
        EXPECT_EQ(exit_requested, 0u) << "the fade ended it before the music did";
        EXPECT_LE(platform.clock_ms(), 2500u);
    }
}

}  // namespace
}  // namespace gf
