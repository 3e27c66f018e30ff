// The browser's sound is rendered ahead of the audio clock; the position and
// the syncs must follow the clock, not the renderer.
#include "platform/web/audio_timeline.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<uint32_t, uint32_t>> g_fired;  // (handle, data) in firing order

void record(uint32_t handle, uint32_t data) { g_fired.emplace_back(handle, data); }

TEST(AudioTimeline, PositionAndSyncsWaitForTheClockThenFireInOrderWithTheirLateness) {
    g_fired.clear();
    gf::AudioTimeline timeline;
    timeline.rendered(0, 0x00000000u);    // order 0 row 0
    timeline.rendered(512, 0x00010000u);  // row 1
    timeline.rendered(1024, 0x00020000u);
    timeline.queue({600, record, 1, 6});
    timeline.queue({700, record, 2, 1});
    timeline.queue({1500, record, 3, 1});

    timeline.reach(100);
    EXPECT_EQ(timeline.position(), 0u);
    EXPECT_TRUE(g_fired.empty());

    timeline.reach(750);
    EXPECT_EQ(timeline.position(), 0x00010000u);
    EXPECT_EQ(g_fired, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 6}, {2, 1}}));
    EXPECT_EQ(timeline.worst_late_frames(), 150u);

    timeline.reach(1510);
    EXPECT_EQ(timeline.position(), 0x00020000u);
    EXPECT_EQ(g_fired.size(), 3u);
    EXPECT_EQ(timeline.worst_late_frames(), 150u);  // the largest so far, not the latest
    EXPECT_EQ(timeline.fired(), 3u);
    EXPECT_EQ(timeline.fired_later_than(10), 2u);  // 150 and 50 frames late; the last only 10

    timeline.clear();
    timeline.queue({10, record, 4, 1});
    timeline.reach(5);
    EXPECT_EQ(g_fired.size(), 3u);
}

}  // namespace
