// The scene timeline against scripted music positions, with every effect call
// recorded: the chain of each order and row, fresh position queries, the
// two-chain pass, the latched fade origin, snow speed, the scene handshake and
// the closing fade's arithmetic.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>

#include "common/frame_globals.h"
#include "common/random.h"
#include "driver/beat_state.h"
#include "driver/timeline.h"
#include "platform/clock.h"
#include "recorder.h"

namespace gf::test {
namespace {

using Log = std::vector<std::string>;

// The two recurring sequences, written out by hand.
Log snow(int fast) {
    return {"draw_snow(snow)", "fall_snow(" + std::to_string(fast) + ")", "zoom_blur(snow)", "set_zoom_preset(0,346)",
            "add_saturate(screen,screen,snow)"};
}
Log band(int index) {
    return {"blit_scrolled(scroll,goodboy,1)", "blit_band(band,finalgrtz," + std::to_string(index) + ")",
            "set_zoom_preset(0,2)",           "zoom_blur(band)",
            "add_saturate(screen,scroll,band)", "update_scroll_offsets(0)"};
}
Log join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        call_log.clear();
        mesh_problem.clear();
        reset_beat_state();
        reset_timeline();
        use_virtual_clock(kVirtualClockStart);
        frame_time = 0;
        exit_requested = 0;
        const char* picture_names[kSceneSlots] = {"glimzz", "muur", "credits", "presents",
                                                   "goodboy", "finalgrtz", "boem", "kerst"};
        for (int slot = 0; slot < kSceneSlots; ++slot) {
            images_[slot].pixels = picture_pixels_[slot].data();
            name_pointer(images_[slot].pixels, picture_names[slot]);
            objects_.pictures[slot] = &images_[slot];
        }
        const char* buffer_names[6] = {"scroll", "band", "cube", "glow", "snow", "flash"};
        PixelBuffer** slots[6] = {&objects_.scroll_buffer, &objects_.band_buffer,     &objects_.cube_buffer,
                                  &objects_.cube_glow_buffer, &objects_.snow_buffer, &objects_.flash_buffer};
        for (int i = 0; i < 6; ++i) {
            buffers_[i] = std::make_unique<PixelBuffer>();
            *slots[i] = buffers_[i].get();
            name_pointer(buffers_[i]->data(), buffer_names[i]);
        }
        screen = platform_.surface.data();
    }
    void TearDown() override {
        use_system_clock();
        screen = nullptr;
        clear_pointer_names();
    }

    // One pass at a fixed position; returns the calls it made.
    Log pass_at(uint32_t order, uint32_t row) {
        platform_.positions = {position(order, row)};
        platform_.position_queries = 0;
        call_log.clear();
        run_timeline(platform_, objects_, recording_effects());
        return call_log;
    }

    FakePlatform platform_;
    SceneObjects objects_;
    std::array<Image, kSceneSlots> images_ {};
    std::array<std::array<uint32_t, 4>, kSceneSlots> picture_pixels_ {};
    std::array<std::unique_ptr<PixelBuffer>, 6> buffers_;
};

TEST_F(TimelineTest, EachOrderRunsItsChain) {
    frame_time = 4242;
    beat.flash_time = 777;
    beat.instrument6_time = 555;
    beat.band_index = 3;

    EXPECT_EQ(pass_at(0, 63), join({{"fill_flash(flash,777)", "add_saturate(screen,presents,flash)",
                                     "set_zoom_preset(0,1)", "zoom_blur(screen)"},
                                    snow(0)}));
    EXPECT_EQ(pass_at(0, 64), (Log {"draw_swirl(screen,presents)", "set_zoom_preset(4242,3485)", "zoom_blur(screen)",
                                    "animate_swirl()"}));
    EXPECT_EQ(pass_at(1, 0), (Log {"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(555,1)",
                                   "set_zoom_preset(4242,3485)", "zoom_blur(screen)"}));
    EXPECT_EQ(pass_at(2, 5), (Log {"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(555,2)"}));
    EXPECT_EQ(pass_at(3, 5), (Log {"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(555,3)"}));
    const Log tunnel = {"animate_tunnel_camera(4242,4)", "render_ray_grid(screen,muur)", "clear_frame(cube)",
                        "draw_cubes(cube)",              "blur5(cube,glow)",             "add_saturate(screen,screen,glow)"};
    EXPECT_EQ(pass_at(4, 0), tunnel);
    EXPECT_EQ(pass_at(5, 63), tunnel);
    // Orders 1 to 5 leave snow_fast at 1 for the next snow pass.
    EXPECT_EQ(pass_at(6, 0), join({band(3), snow(1)}));
    EXPECT_EQ(pass_at(6, 1), join({band(3), snow(0)}));
    EXPECT_EQ(pass_at(7, 64), (Log {"draw_noise(screen)", "add_saturate(screen,screen,flash)"}));
    EXPECT_EQ(pass_at(8, 1), join({{"copy_frame(screen,credits,256000)"}, snow(0)}));
    EXPECT_EQ(pass_at(8, 4), join({{"copy_frame(screen,credits,256000)", "invert_frame(screen)"}, snow(0)}));
    const Log cubes = {"clear_frame(screen)", "clear_frame(cube)", "draw_cubes(cube)", "blur5(cube,screen)"};
    EXPECT_EQ(pass_at(12, 3), cubes);
    EXPECT_EQ(pass_at(13, 8), join({cubes, {"copy_frame(screen,boem,256000)"}}));
    EXPECT_EQ(pass_at(14, 0), (Log {"copy_frame(screen,kerst,256000)", "fill_flash(flash,777)",
                                    "add_saturate(screen,screen,flash)"}));
    EXPECT_EQ(pass_at(15, 1),
              (Log {"clear_frame(screen)", "fill_flash(flash,777)", "add_saturate(screen,screen,flash)"}));
    EXPECT_TRUE(pass_at(17, 0).empty());
    EXPECT_TRUE(pass_at(0xFFFF, 0).empty());
}

TEST_F(TimelineTest, OrderSevenFlashesOnlyOnBeatRowsFromNinetyTwo) {
    beat.flash_time = 31;
    for (uint32_t row : {91u, 93u, 95u}) {
        beat.scene_pending = 1;
        EXPECT_EQ(pass_at(7, row), (Log {"draw_noise(screen)", "add_saturate(screen,screen,flash)"})) << row;
        EXPECT_EQ(beat.scene_pending.load(), 1u) << row;
    }
    for (uint32_t row : {92u, 96u}) {
        beat.scene_pending = 1;
        EXPECT_EQ(pass_at(7, row),
                  (Log {"draw_noise(screen)", "fill_flash(flash,31)", "add_saturate(screen,screen,flash)"}))
            << row;
        EXPECT_EQ(beat.scene_pending.load(), 0u) << row;
    }
}

TEST_F(TimelineTest, OrderSevenNoiseFollowsTheSharedGenerator) {
    // Find two generator states by stepping the generator by hand: one whose
    // next value is a multiple of 4 and one whose next value is not.
    uint32_t state = 12345;
    uint32_t noisy = 0;
    uint32_t quiet = 0;
    bool have_noisy = false;
    bool have_quiet = false;
    while (!have_noisy || !have_quiet) {
        const uint32_t next = state * 214013u + 2531011u;
        const uint32_t value = (next >> 16) & 0x7FFFu;
        if (value % 4 == 0 && !have_noisy) {
            noisy = state;
            have_noisy = true;
        } else if (value % 4 != 0 && !have_quiet) {
            quiet = state;
            have_quiet = true;
        }
        state = next;
    }
    seed_rand(noisy);
    EXPECT_EQ(pass_at(7, 10), join({band(0), {"draw_noise(screen)"}, snow(0)}));
    EXPECT_EQ(rand_state(), noisy * 214013u + 2531011u);  // exactly one draw
    seed_rand(quiet);
    EXPECT_EQ(pass_at(7, 63), join({band(0), snow(0)}));
    seed_rand(kRandInitialState);
}

TEST_F(TimelineTest, EveryTestQueriesThePositionAfresh) {
    // The order is asked first: order 0 then, by the time the row is asked,
    // the music is at order 1 row 70. Test 1 fails on the row, test 2 sees
    // order 1, and test 3 runs the planes.
    platform_.positions = {position(0, 10), position(1, 70)};
    platform_.position_queries = 0;
    call_log.clear();
    run_timeline(platform_, objects_, recording_effects());
    EXPECT_EQ(call_log, (Log {"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(0,1)",
                              "set_zoom_preset(0,3485)", "zoom_blur(screen)"}));
    EXPECT_GE(platform_.position_queries, 17);  // at least one query per test
}

TEST_F(TimelineTest, MusicMovingOnDuringAPassRunsBothChainsInOrder) {
    beat.band_index = 1;
    platform_.positions = {position(5, 63)};
    platform_.move_after = "add_saturate(screen,screen,glow)";
    platform_.moved_position = position(6, 0);
    platform_.position_queries = 0;
    call_log.clear();
    run_timeline(platform_, objects_, recording_effects());
    EXPECT_EQ(call_log, join({{"animate_tunnel_camera(0,4)", "render_ray_grid(screen,muur)", "clear_frame(cube)",
                               "draw_cubes(cube)", "blur5(cube,glow)", "add_saturate(screen,screen,glow)"},
                              band(1),
                              snow(1)}));

    // Order 0 at row 63 moving to row 64 after the intro: test 2 is not
    // evaluated because test 1 held, so only the intro runs.
    platform_.positions = {position(0, 63)};
    platform_.move_after = "add_saturate(screen,screen,snow)";
    platform_.moved_position = position(0, 64);
    platform_.position_queries = 0;
    call_log.clear();
    run_timeline(platform_, objects_, recording_effects());
    EXPECT_EQ(call_log.back(), "add_saturate(screen,screen,snow)");
    EXPECT_EQ(zoom_fade_started, 0u);
}

TEST_F(TimelineTest, FadeOriginIsLatchedOnceForTheSwirlAndThePlanes) {
    frame_time = 1000;
    pass_at(0, 100);
    frame_time = 9000;
    EXPECT_EQ(pass_at(0, 101)[1], "set_zoom_preset(1000,3485)");
    EXPECT_EQ(pass_at(1, 0)[2], "set_zoom_preset(1000,3485)");
    // Going back to order 0 later does not take a new origin.
    pass_at(0, 64);
    EXPECT_EQ(zoom_fade_start, 1000u);
}

TEST_F(TimelineTest, SceneHandshakeIsClearedOnlyWhereTheChainsSayAndSubScenesFollowThePick) {
    beat.flash_time = 64;
    set_virtual_clock(2'000'000);
    const Log subscenes[6] = {
        {"draw_swirl(screen,presents)", "animate_swirl()"},
        {"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(2000000,2)"},
        {"render_ray_grid(screen,muur)", "animate_tunnel_camera(2000000,4)"},
        join({band(0), snow(0)}),
        {"draw_noise(screen)"},
        join({{"copy_frame(screen,credits,256000)"}, snow(0), {"add_saturate(screen,screen,flash)"}}),
    };
    for (int pick = 0; pick < 6; ++pick) {
        for (uint32_t order : {9u, 10u, 11u}) {
            beat.scene_pick = pick;
            beat.scene_pending = 1;
            EXPECT_EQ(pass_at(order, 1), subscenes[pick]) << "pick " << pick << " order " << order;
            EXPECT_EQ(beat.scene_pending.load(), 0u);
        }
    }
    // Sub-scene 4 refills the flash on its beat rows from 92 but shows nothing of it.
    beat.scene_pick = 4;
    EXPECT_EQ(pass_at(10, 96), (Log {"draw_noise(screen)", "fill_flash(flash,64)"}));
    EXPECT_EQ(pass_at(10, 97), (Log {"draw_noise(screen)"}));
    EXPECT_EQ(pass_at(10, 88), (Log {"draw_noise(screen)"}));
    // Sub-scene 5 inverts the credits on the beat.
    beat.scene_pick = 5;
    EXPECT_EQ(pass_at(9, 8)[1], "invert_frame(screen)");

    // Chains that clear the flag: intro, 14, 15; chains that leave it: all others.
    for (const auto& [order, row, clears] : std::vector<std::tuple<uint32_t, uint32_t, bool>> {
             {0, 0, true},   {0, 64, false}, {1, 0, false},  {2, 0, false},  {3, 0, false},  {4, 0, false},
             {5, 0, false},  {6, 0, false},  {7, 0, false},  {7, 64, false}, {8, 0, false},  {12, 0, false},
             {13, 0, false}, {14, 0, true},  {15, 0, true},  {16, 0, false}, {17, 0, false}}) {
        beat.scene_pending = 1;
        pass_at(order, row);
        EXPECT_EQ(beat.scene_pending.load(), clears ? 0u : 1u) << "order " << order << " row " << row;
    }
}

TEST_F(TimelineTest, SnowSpeedIsSetByTheFastScenesAndUsedOnce) {
    for (uint32_t order : {0u, 1u, 2u, 3u, 4u, 5u}) {
        snow_fast = 0;
        pass_at(order, 64);
        EXPECT_EQ(snow_fast, 1u) << order;
    }
    // The flags left by orders 7 (row 64+), 12 to 15 and sub-scenes 0–2 and 4 stand.
    for (const auto& [order, pick] : std::vector<std::pair<uint32_t, int>> {
             {7, 0}, {12, 0}, {13, 0}, {14, 0}, {15, 0}, {9, 0}, {9, 1}, {9, 2}, {9, 4}}) {
        snow_fast = 1;
        beat.scene_pick = pick;
        pass_at(order, 64);
        EXPECT_EQ(snow_fast, 1u) << order << " pick " << pick;
    }
    snow_fast = 1;
    pass_at(8, 1);
    EXPECT_EQ(snow_fast, 0u);
    snow_fast = 1;
    EXPECT_EQ(pass_at(16, 0)[4], "fall_snow(1)");
    EXPECT_EQ(snow_fast, 0u);
}

TEST_F(TimelineTest, ClosingFadeLowersTheVolumeOnOddFramesAndEndsAtSilence) {
    const Log snow_only = {"clear_frame(screen)", "clear_frame(snow)", "draw_snow(snow)", "fall_snow(0)",
                           "add_saturate(screen,screen,snow)"};
    platform_.volume = 7;
    frame_time = 101;
    EXPECT_EQ(pass_at(16, 0), join({{"set_music_volume(5)"}, snow_only}));
    frame_time = 102;  // even: the volume is written again unchanged
    EXPECT_EQ(pass_at(16, 1)[0], "set_music_volume(5)");
    EXPECT_EQ(exit_requested, 0u);

    // From 5: odd frames take it to 3, 1, then -1 which is clamped to 0.
    for (int expected : {3, 1}) {
        frame_time += 1 + (frame_time & 1u);  // the next odd value
        EXPECT_EQ(pass_at(16, 2)[0], "set_music_volume(" + std::to_string(expected) + ")");
        EXPECT_EQ(exit_requested, 0u);
    }
    frame_time = 4294967295u;
    EXPECT_EQ(pass_at(16, 3)[0], "set_music_volume(0)");
    EXPECT_EQ(exit_requested, 1u);

    // A volume already at 0, or a negative answer, is written as 0 at once, even on an even frame.
    for (int start : {0, -3}) {
        exit_requested = 0;
        platform_.volume = start;
        frame_time = 200;
        EXPECT_EQ(pass_at(16, 0)[0], "set_music_volume(0)");
        EXPECT_EQ(exit_requested, 1u);
    }
}

}  // namespace
}  // namespace gf::test
