// Seeking through checkpoints: the whole show run once, its state kept at a few
// moments, each put back later and run on. What it draws from there must be the
// whole run's frames, byte for byte: the clock, the accents counted since the
// start, the random snow, the feedback buffers and the music's positions and
// syncs all come back with it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace gf
