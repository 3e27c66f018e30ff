// Seeking through checkpoints: the whole show run once, its state kept at a few
// moments, each put back later and run on. What it draws from there must be the
// whole run's frames, byte for byte: the clock, the accents counted since the
// start, the random snow, the feedback buffers and the music's positions and
// syncs all come back with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/random.h"
#include "driver/capture_platform.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "driver/timeline.h"
#include "platform/music.h"

namespace gf {
namespace {

uint64_t frame_hash(const uint32_t* pixels) {
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < kScreenPixels; ++i) {
        hash = (hash ^ pixels[i]) * 1099511628211ull;
    }
    return hash;
}

struct Moment {
    uint32_t order;
    uint32_t row;
    std::shared_ptr<const DemoRun::Checkpoint> checkpoint;
    uint64_t frame = 0;  // the first frame drawn after the checkpoint
};

TEST(Seek, ACheckpointPutBackDrawsTheWholeRunsFramesFromThere) {
    constexpr int kAfter = 25;  // frames compared after each checkpoint
    DemoOptions options;
    ASSERT_TRUE(find_data_files({GF_DATA_DIR}, options.files).ok);
    std::vector<uint64_t> whole;
    std::vector<uint64_t> replay;
    bool replaying = false;
    CaptureSink sink;
    sink.frame = [&](const CapturedFrame& frame) {
        (replaying ? replay : whole).push_back(frame_hash(frame.pixels));
        return true;
    };
    CapturePlatform platform({10, 1}, sink);
    DemoRun run(platform, options, real_effect_ops());
    ASSERT_EQ(run.start(), 0);
    // The swirl's latched zoom, order 6's band and snow trails, a sub-scene of order 10 after
    // its accents, order 14's flashes; each kept at the pass where the music reaches it.
    std::array<Moment, 4> moments = {{{0, 80, {}}, {6, 50, {}}, {10, 40, {}}, {14, 3, {}}}};
    do {
        const uint32_t at = music_position();
        for (Moment& m : moments) {
            if (!m.checkpoint && ((at & 0xFFFFu) > m.order || ((at & 0xFFFFu) == m.order && (at >> 16) >= m.row))) {
                m.checkpoint = run.save();
                m.frame = whole.size();
                ASSERT_NE(m.checkpoint, nullptr);
            }
        }
    } while (run.step());
    // Latest first, so that each put-back undoes a state that ran past it.
    replaying = true;
    for (auto m = moments.rbegin(); m != moments.rend(); ++m) {
        ASSERT_NE(m->checkpoint, nullptr) << m->order << ":" << m->row << " never reached";
        replay.clear();
        ASSERT_TRUE(run.restore(*m->checkpoint));
        for (int i = 0; i < kAfter && run.step(); ++i) {
        }
        ASSERT_EQ(replay.size(), static_cast<std::size_t>(kAfter));
        for (int i = 0; i < kAfter; ++i) {
            EXPECT_EQ(replay[i], whole.at(m->frame + i))
                << "from " << m->order << ":" << m->row << ", frame " << i << " differs from the whole run's";
        }
    }
    run.finish();
}

// A window whose frames are a capture's: it seeks at the capture's rate, takes the
// viewer's keys from a script, and while paused neither advances the clock nor plays.
class ScriptedWindow final : public CapturePlatform {
public:
    ScriptedWindow(FrameRate rate, CaptureSink sink) : CapturePlatform(rate, std::move(sink)), rate_(rate) {}
    std::map<int, std::vector<KeyRole>> keys;  // by the pass after which they are pressed
    int end_after = 0;

    bool seek_rate(int& num, int& den) override {
        num = rate_.num;
        den = rate_.den;
        return true;
    }
    KeyRole take_viewer_key() override {
        std::vector<KeyRole>& due = keys[passes_];
        if (due.empty()) return KeyRole::Ignore;
        const KeyRole key = due.front();
        due.erase(due.begin());
        return key;
    }
    void pause_music(bool paused) override { paused_ = paused; }
    void update_display() override {
        ++passes_;
        if (!paused_) CapturePlatform::update_display();
    }
    bool key_pressed() override { return passes_ > end_after; }

private:
    FrameRate rate_;
    int passes_ = 0;
    bool paused_ = false;
};

void viewer_keys_go_to_the_shows_frames(bool gentle) {
    const FrameRate rate{10, 1};
    const uint32_t target = gentle ? 13 : 2;
    DemoOptions options;
    options.gentle = gentle;
    ASSERT_TRUE(find_data_files({GF_DATA_DIR}, options.files).ok);
    std::vector<uint64_t> whole;
    std::vector<uint32_t> positions;
    {
        CaptureSink sink;
        sink.frame = [&](const CapturedFrame& frame) {
            whole.push_back(frame_hash(frame.pixels));
            positions.push_back(frame.order | (frame.row << 16));
            return true;
        };
        seed_rand(kRandInitialState);  // each run here starts the one random sequence, as a program does
        CapturePlatform platform(rate, sink, 1200);
        ASSERT_EQ(demo_main(platform, options), 0);
    }
    const auto first_of = [&](uint32_t order) {
        return static_cast<uint64_t>(
            std::find_if(positions.begin(), positions.end(), [&](uint32_t p) { return (p & 0xFFFFu) >= order; }) -
            positions.begin());
    };
    const auto said = [&](uint64_t k) {
        return "paused at " + std::to_string(positions[k] & 0xFFFFu) + ":" + std::to_string(positions[k] >> 16);
    };

    std::vector<uint64_t> drawn;
    CaptureSink sink;
    sink.frame = [&](const CapturedFrame& frame) {
        drawn.push_back(frame_hash(frame.pixels));
        return true;
    };
    ScriptedWindow window(rate, sink);
    window.keys[3] = {KeyRole::Pause};
    window.keys[4] = std::vector<KeyRole>(target, KeyRole::NextOrder);  // from order 0 to the target
    window.keys[5] = {KeyRole::NextFrame};
    window.keys[6] = {KeyRole::NextFrame};
    window.keys[7] = {KeyRole::PreviousFrame};
    window.keys[8] = {KeyRole::PreviousOrder};
    window.keys[9] = {KeyRole::ToStart};
    window.end_after = 10;
    options.interactive = true;
    options.order_count = 17;
    seed_rand(kRandInitialState);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(demo_main(window, options), 0);
    const std::string out = ::testing::internal::GetCapturedStdout();

    const uint64_t k2 = first_of(target);
    const uint64_t k1 = first_of(target - 1);
    // The last passes draw one frame per key pass: the target order's first frame, the two
    // after it, one back, the order before's first, the start.
    // The first three passes play the show from its start; after the pause the picture stays.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(drawn.at(i), whole.at(i)) << "frame " << i;
    }
    const std::vector<uint64_t> shown = {k2, k2 + 1, k2 + 2, k2 + 1, k1, 0};
    ASSERT_EQ(drawn.size(), 4 + shown.size() + 1) << out;  // the last pass shows the start again
    const std::size_t first = 4;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(drawn[first + i], whole.at(shown[i]))
            << "key pass " << i << " did not draw the show's frame " << shown[i];
    }
    std::vector<std::string> lines;
    for (std::size_t at = 0, next; (next = out.find('\n', at)) != std::string::npos; at = next + 1) {
        lines.push_back(out.substr(at, next - at));
    }
    std::vector<std::string> expected = {said(3)};
    for (uint32_t order = 1; order <= target; ++order) {
        expected.push_back(said(first_of(order)));
    }
    for (const uint64_t k : {k2 + 1, k2 + 2, k2 + 1, k1, uint64_t{0}}) {
        expected.push_back(said(k));
    }
    EXPECT_EQ(lines, expected);
}

// The viewer's keys while paused: each goes exactly to a frame of the show run from its
// start at the window's rate, draws it as that run drew it, and says where it is. The
// gentle show goes to order 7, whose strobes keep its flash limiter busy.
TEST(Seek, ViewerKeysGoToTheFramesOfTheShowRunFromItsStart) {
    for (const bool gentle : {false, true}) {
        SCOPED_TRACE(gentle ? "gentle" : "default");
        viewer_keys_go_to_the_shows_frames(gentle);
    }
}

// The table filled ahead in idle time runs the show beside the window's with the same
// module-wide state: the window's frames and sound, playing, paused and after seeks,
// must be those it draws without it, and the table must then cover the whole show.
// (After a seek the window's sound is libopenmpt's from the row, which depends on the
// checkpoint the seek started from; here the seeks come while paused.)
TEST(Seek, FillingTheTableAheadLeavesTheWindowsShowAsItWas) {
    const FrameRate rate{10, 1};
    DemoOptions options;
    ASSERT_TRUE(find_data_files({GF_DATA_DIR}, options.files).ok);
    options.interactive = true;
    options.order_count = 17;
    options.seek_ahead = false;  // the slices are run here, between passes
    std::vector<uint64_t> shown[2];
    std::size_t kept[2] = {};
    for (const int ahead : {0, 1}) {
        CaptureSink sink;
        sink.frame = [&](const CapturedFrame& frame) {
            shown[ahead].push_back(frame_hash(frame.pixels));
            return true;
        };
        sink.audio = [&](const int16_t* samples, std::size_t frames) {
            uint64_t hash = frames;
            for (std::size_t i = 0; i < 2 * frames; ++i) {
                hash = (hash ^ static_cast<uint16_t>(samples[i])) * 1099511628211ull;
            }
            shown[ahead].push_back(hash);
            return true;
        };
        ScriptedWindow window(rate, sink);
        window.keys[4] = {KeyRole::Pause};
        window.keys[8] = {KeyRole::Pause};
        // Seeks while paused: after a seek, playing on follows the system clock.
        window.keys[12] = {KeyRole::Pause};
        window.keys[13] = {KeyRole::NextOrder, KeyRole::NextOrder, KeyRole::NextOrder};
        window.keys[14] = {KeyRole::NextFrame};
        window.end_after = 16;
        seed_rand(kRandInitialState);
        ::testing::internal::CaptureStdout();
        DemoRun run(window, options, real_effect_ops());
        ASSERT_EQ(run.start(), 0);
        for (int pass = 0; run.step(); ++pass) {
            if (ahead == 1 && pass == 2) {
                run.look_ahead(0.001);  // playing: a slice
            }
            while (ahead == 1 && pass == 6 && !run.looked_ahead()) {
                run.look_ahead(0.05);  // paused: the rest of the show
            }
        }
        kept[ahead] = run.checkpoints_kept();
        run.finish();
        ::testing::internal::GetCapturedStdout();
    }
    ASSERT_EQ(shown[1].size(), shown[0].size());
    for (std::size_t i = 0; i < shown[0].size(); ++i) {
        EXPECT_EQ(shown[1][i], shown[0][i]) << "picture or sound " << i;
    }
    // The show runs 124 s: a checkpoint at its start and at least one every 2 s of it.
    EXPECT_GE(kept[1], 63u) << "the table ahead did not cover the show (" << kept[0] << " kept without it)";
}

}  // namespace
}  // namespace gf
