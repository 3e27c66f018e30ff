// The sync handler's beat state: the scene handshake, the band rhythm, unknown handles.
#include "driver/beat_state.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace gf {
namespace {

class BeatStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_beat_state();
        use_virtual_clock(5000);
        inst6_sync = 11;
        scene_sync = 22;
        band_sync = 33;
    }
    void TearDown() override { use_system_clock(); }
};

TEST_F(BeatStateTest, SceneEventIsDroppedWhilePendingAndPickWrapsAfterFive) {
    on_music_sync(22, 1);
    EXPECT_EQ(beat.flash_time.load(), 5000u);
    EXPECT_EQ(beat.scene_pick.load(), 1);
    EXPECT_EQ(beat.scene_pending.load(), 1u);

    // A second note before the timeline clears the flag changes nothing.
    set_virtual_clock(6000);
    on_music_sync(22, 1);
    EXPECT_EQ(beat.flash_time.load(), 5000u);
    EXPECT_EQ(beat.scene_pick.load(), 1);

    for (int expected : {2, 3, 4, 5, 0}) {
        beat.scene_pending = 0;
        on_music_sync(22, 1);
        EXPECT_EQ(beat.scene_pick.load(), expected);
    }
    EXPECT_EQ(beat.flash_time.load(), 6000u);
}

TEST_F(BeatStateTest, BandAdvancesTwiceThenHoldsTwice) {
    const uint32_t expected[] = {1, 2, 2, 2, 3, 4, 4, 4, 0, 1, 1, 1};
    for (uint32_t value : expected) {
        on_music_sync(33, 1);
        EXPECT_EQ(beat.band_index.load(), value);
    }
}

TEST_F(BeatStateTest, InstrumentSixStampsTimeAndUnknownHandlesChangeNothing) {
    set_virtual_clock(123456);
    on_music_sync(11, 6);
    EXPECT_EQ(beat.instrument6_time.load(), 123456u);

    set_virtual_clock(999999);
    on_music_sync(44, 6);
    on_music_sync(0, 6);
    EXPECT_EQ(beat.instrument6_time.load(), 123456u);
    EXPECT_EQ(beat.flash_time.load(), 0u);
    EXPECT_EQ(beat.scene_pick.load(), 0);
    EXPECT_EQ(beat.band_index.load(), 0u);
}

}  // namespace
}  // namespace gf
