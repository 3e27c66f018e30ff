// Holding the music: on the real-time silent output, the position stands still
// while held and moves on once released.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/music.h"

namespace {

// Waits (at most 10 s) for the playing position to differ from `from`.
bool moves_on_from(uint32_t from) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (gf::music_position() == from) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(MusicPause, HeldMusicStandsStillAndGoesOnWhenReleased) {
    ASSERT_TRUE(gf::init_music(gf::AudioOutput::Silent).ok);
    const gf::Status loaded = gf::load_module(GF_DATA_DIR "/xmas.it");
    ASSERT_TRUE(loaded.ok) << loaded.message;
    gf::play_music(0, 0);
    ASSERT_TRUE(moves_on_from(0));
    gf::pause_music(true);
    const uint32_t held = gf::music_position();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // several rows' worth of playing time
    EXPECT_EQ(gf::music_position(), held);
    gf::pause_music(false);
    EXPECT_TRUE(moves_on_from(held));
    gf::free_music();
}

}  // namespace
