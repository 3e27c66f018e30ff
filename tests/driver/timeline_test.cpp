// The scene timeline against scripted music positions with every effect call
// recorded: each order's chain, fresh position queries, the two-chain pass,
// the latched fade origin, the scene handshake and the closing fade.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>

#include "common/frame_globals.h"
#include "common/random.h"
#include "recorder.h"

namespace gf::test {
namespace {

using Log = std::vector<std::string>;

Log snow(int fast) {
    return {"draw_snow(snow)", "fall_snow(" + std::to_string(fast) + ")", "zoom_blur(snow)", "set_zoom_preset(0,346)",
            "add_saturate(screen,screen,snow)"};
}
Log band(int index) {
    return {"blit_scrolled(scroll,goodboy,1)",
            "blit_band(band,finalgrtz," + std::to_string(index) + ")",
            "set_zoom_preset(0,2)",
            "zoom_blur(band)",
            "add_saturate(screen,scroll,band)",
            "update_scroll_offsets(0)"};
}
Log join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_beat_state();
        reset_timeline();
        use_virtual_clock(kVirtualClockStart);
        frame_time = 0;
        exit_requested = 0;
        for (int slot = 0; slot < kSceneSlots; ++slot) {
            // Each picture by its file name without ".jpg", as the expected calls name it.
            const std::string file = kPictureSizes[static_cast<std::size_t>(slot)].file;
            images_[slot].pixels = &picture_pixels_[slot];
            pointer_names[images_[slot].pixels] = file.substr(0, file.find('.'));
            objects_.pictures[slot] = &images_[slot];
        }
        const char* buffers[6] = {"scroll", "band", "cube", "glow", "snow", "flash"};
        PixelBuffer** slots[6] = {&objects_.scroll_buffer,    &objects_.band_buffer, &objects_.cube_buffer,
                                  &objects_.cube_glow_buffer, &objects_.snow_buffer, &objects_.flash_buffer};
        for (int i = 0; i < 6; ++i) {
            buffers_[i] = std::make_unique<PixelBuffer>();
            *slots[i] = buffers_[i].get();
            pointer_names[buffers_[i]->data()] = buffers[i];
        }
        screen = platform_.surface.data();
    }
    void TearDown() override {
        use_system_clock();
        screen = nullptr;
        clear_pointer_names();
        seed_rand(kRandInitialState);
    }

    // One pass over a scripted sequence of positions; returns the calls it made.
    Log pass(std::vector<uint32_t> positions) {
        platform_.positions = std::move(positions);
        platform_.position_queries = 0;
        call_log.clear();
        run_timeline(platform_, objects_, recording_effects());
        return call_log;
    }
    Log pass_at(uint32_t order, uint32_t row) { return pass({position(order, row)}); }

    FakePlatform platform_;
    SceneObjects objects_;
    std::array<Image, kSceneSlots> images_{};
    std::array<uint32_t, kSceneSlots> picture_pixels_{};
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
    EXPECT_EQ(pass_at(0, 64), (Log{"draw_swirl(screen,presents)", "set_zoom_preset(4242,3485)", "zoom_blur(screen)",
                                   "animate_swirl()"}));
    EXPECT_EQ(pass_at(1, 0), (Log{"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(555,1)",
                                  "set_zoom_preset(4242,3485)", "zoom_blur(screen)"}));
    EXPECT_EQ(pass_at(2, 5), (Log{"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(555,2)"}));
    EXPECT_EQ(pass_at(3, 5), (Log{"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(555,3)"}));
    const Log tunnel = {"animate_tunnel_camera(4242,4)",
                        "render_ray_grid(screen,muur)",
                        "clear_frame(cube)",
                        "draw_cubes(cube)",
                        "blur5(cube,glow)",
                        "add_saturate(screen,screen,glow)"};
    EXPECT_EQ(pass_at(4, 0), tunnel);
    EXPECT_EQ(pass_at(5, 63), tunnel);
    // Orders 0 (swirl) to 5 leave snow_fast at 1 for the next snow pass only.
    EXPECT_EQ(pass_at(6, 0), join({band(3), snow(1)}));
    EXPECT_EQ(pass_at(6, 1), join({band(3), snow(0)}));
    EXPECT_EQ(pass_at(7, 64), (Log{"draw_noise(screen)", "add_saturate(screen,screen,flash)"}));
    EXPECT_EQ(pass_at(8, 1), join({{"copy_frame(screen,credits,256000)"}, snow(0)}));
    EXPECT_EQ(pass_at(8, 4), join({{"copy_frame(screen,credits,256000)", "invert_frame(screen)"}, snow(0)}));
    const Log cubes = {"clear_frame(screen)", "clear_frame(cube)", "draw_cubes(cube)", "blur5(cube,screen)"};
    EXPECT_EQ(pass_at(12, 3), cubes);
    EXPECT_EQ(pass_at(13, 8), join({cubes, {"copy_frame(screen,boem,256000)"}}));
    EXPECT_EQ(pass_at(14, 0),
              (Log{"copy_frame(screen,kerst,256000)", "fill_flash(flash,777)", "add_saturate(screen,screen,flash)"}));
    EXPECT_EQ(pass_at(15, 1),
              (Log{"clear_frame(screen)", "fill_flash(flash,777)", "add_saturate(screen,screen,flash)"}));
    EXPECT_TRUE(pass_at(17, 0).empty());
    EXPECT_TRUE(pass_at(0xFFFF, 0).empty());  // after the module's end
}

TEST_F(TimelineTest, OrderSevenFlashesOnBeatRowsFromNinetyTwoAndDrawsNoiseOnTheGeneratorsMultiplesOfFour) {
    beat.flash_time = 31;
    for (const auto& [row, refill] : std::vector<std::pair<uint32_t, bool>>{
             {88, false}, {91, false}, {92, true}, {93, false}, {95, false}, {96, true}}) {
        beat.scene_pending = 1;
        const Log expected =
            refill ? Log{"draw_noise(screen)", "fill_flash(flash,31)", "add_saturate(screen,screen,flash)"}
                   : Log{"draw_noise(screen)", "add_saturate(screen,screen,flash)"};
        EXPECT_EQ(pass_at(7, row), expected) << row;
        EXPECT_EQ(beat.scene_pending.load(), refill ? 0u : 1u) << row;
    }
    // Generator states found by stepping the generator by hand: the next value a multiple of 4, or not.
    uint32_t state = 12345;
    uint32_t noisy = 0;
    uint32_t quiet = 0;
    while (noisy == 0 || quiet == 0) {
        const uint32_t next = state * 214013u + 2531011u;
        ((((next >> 16) & 0x7FFFu) % 4 == 0) ? noisy : quiet) = state;
        state = next;
    }
    seed_rand(noisy);
    EXPECT_EQ(pass_at(7, 10), join({band(0), {"draw_noise(screen)"}, snow(0)}));
    EXPECT_EQ(rand_state(), noisy * 214013u + 2531011u);  // exactly one draw
    seed_rand(quiet);
    EXPECT_EQ(pass_at(7, 63), join({band(0), snow(0)}));
}

TEST_F(TimelineTest, EveryTestQueriesThePositionAfreshAndAMoveRunsBothChains) {
    // Order 0 when the order is asked, order 1 row 70 when the row is asked:
    // test 1 fails on the row, test 2 sees order 1, test 3 draws the planes.
    EXPECT_EQ(pass({position(0, 10), position(1, 70)}),
              (Log{"render_ray_grid(screen,glimzz)", "animate_tunnel_camera(0,1)", "set_zoom_preset(0,3485)",
                   "zoom_blur(screen)"}));
    EXPECT_GE(platform_.position_queries, 17);

    beat.band_index = 1;
    move_after = "add_saturate(screen,screen,glow)";
    moved_position = position(6, 0);
    EXPECT_EQ(pass({position(5, 63)}),
              join({{"animate_tunnel_camera(0,4)", "render_ray_grid(screen,muur)", "clear_frame(cube)",
                     "draw_cubes(cube)", "blur5(cube,glow)", "add_saturate(screen,screen,glow)"},
                    band(1),
                    snow(1)}));
    // Test 2 is only asked when test 1 fails: moving to row 64 after the intro runs no swirl.
    move_after = "add_saturate(screen,screen,snow)";
    moved_position = position(0, 64);
    EXPECT_EQ(pass({position(0, 63)}).back(), "add_saturate(screen,screen,snow)");
    EXPECT_EQ(zoom_fade_started, 0u);
}

TEST_F(TimelineTest, FadeOriginIsLatchedOnceForTheSwirlAndThePlanes) {
    frame_time = 1000;
    pass_at(0, 100);
    frame_time = 9000;
    EXPECT_EQ(pass_at(0, 101)[1], "set_zoom_preset(1000,3485)");
    EXPECT_EQ(pass_at(1, 0)[2], "set_zoom_preset(1000,3485)");
    pass_at(0, 64);
    EXPECT_EQ(zoom_fade_start, 1000u);
}

TEST_F(TimelineTest, SubScenesFollowThePickAndTheHandshakeIsClearedOnlyWhereStated) {
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
        beat.scene_pick = pick;
        beat.scene_pending = 1;
        const uint32_t order = 9 + static_cast<uint32_t>(pick % 3);
        EXPECT_EQ(pass_at(order, 1), subscenes[pick]) << "pick " << pick;
        EXPECT_EQ(beat.scene_pending.load(), 0u);
    }
    // Sub-scene 4 refills the flash on beat rows from 92 but shows none of it; 5 inverts on the beat.
    beat.scene_pick = 4;
    EXPECT_EQ(pass_at(10, 96), (Log{"draw_noise(screen)", "fill_flash(flash,64)"}));
    EXPECT_EQ(pass_at(10, 97), (Log{"draw_noise(screen)"}));
    beat.scene_pick = 5;
    EXPECT_EQ(pass_at(9, 8)[1], "invert_frame(screen)");

    for (const auto& [order, row, clears] : std::vector<std::tuple<uint32_t, uint32_t, bool>>{{0, 0, true},
                                                                                              {0, 64, false},
                                                                                              {1, 0, false},
                                                                                              {4, 0, false},
                                                                                              {6, 0, false},
                                                                                              {7, 0, false},
                                                                                              {8, 0, false},
                                                                                              {12, 0, false},
                                                                                              {14, 0, true},
                                                                                              {15, 0, true},
                                                                                              {16, 0, false},
                                                                                              {17, 0, false}}) {
        beat.scene_pending = 1;
        pass_at(order, row);
        EXPECT_EQ(beat.scene_pending.load(), clears ? 0u : 1u) << "order " << order << " row " << row;
    }
}

TEST_F(TimelineTest, ClosingFadeLowersTheVolumeOnOddFramesAndEndsAtSilence) {
    platform_.volume = 7;
    snow_fast = 1;
    frame_time = 101;
    EXPECT_EQ(pass_at(16, 0), (Log{"set_music_volume(5)", "clear_frame(screen)", "clear_frame(snow)", "draw_snow(snow)",
                                   "fall_snow(1)", "add_saturate(screen,screen,snow)"}));
    EXPECT_EQ(snow_fast, 0u);
    frame_time = 102;  // even: written again unchanged
    EXPECT_EQ(pass_at(16, 1)[0], "set_music_volume(5)");
    for (const auto& [time, written, ends] :
         std::vector<std::tuple<uint32_t, int, bool>>{{103, 3, false}, {105, 1, false}, {4294967295u, 0, true}}) {
        frame_time = time;
        advance_virtual_clock(17);
        EXPECT_EQ(pass_at(16, 2)[0], "set_music_volume(" + std::to_string(written) + ")");
        EXPECT_EQ(exit_requested, ends ? 1u : 0u);
    }
    // A volume already 0, or a negative answer, is written as 0 at once, even on an even frame.
    for (int start : {0, -3}) {
        exit_requested = 0;
        platform_.volume = start;
        frame_time = 200;
        EXPECT_EQ(pass_at(16, 0)[0], "set_music_volume(0)");
        EXPECT_EQ(exit_requested, 1u);
    }
}

TEST_F(TimelineTest, ClosingFadeKeepsToItsLengthWhateverTheParityOfTheFrameTimes) {
    // From 100: frame times that are all even (an even interval in whole ms) would never
    // lower it, all odd ones at 4 ms a frame would silence it in 200 ms; both take 1.2-1.4 s.
    for (const auto& [interval, odd] : std::vector<std::tuple<uint32_t, uint32_t>>{{20, 0}, {42, 0}, {4, 1}, {40, 1}}) {
        reset_timeline();
        use_virtual_clock(kVirtualClockStart);
        exit_requested = 0;
        platform_.volume = 100;
        uint32_t elapsed = 0;
        while (exit_requested == 0 && elapsed < 10000) {
            frame_time = kVirtualClockStart + elapsed + odd;
            pass_at(16, 0);
            elapsed += interval;
            advance_virtual_clock(interval);
        }
        EXPECT_GE(elapsed, 1150u) << interval << " ms, odd " << odd;
        EXPECT_LE(elapsed, 1400u) << interval << " ms, odd " << odd;
    }
}

TEST_F(TimelineTest, ComingBackToTheFadeLaterStartsItAfresh) {
    // Left after one pass (a jump to another order), back five seconds later at volume 80:
    // the fade goes on from 80 rather than from where the first line would be by then.
    frame_time = 2;
    pass_at(16, 0);
    advance_virtual_clock(5000);
    platform_.volume = 80;
    frame_time = 5004;
    EXPECT_EQ(pass_at(16, 0)[0], "set_music_volume(80)");
    EXPECT_EQ(exit_requested, 0u);
}

}  // namespace
}  // namespace gf::test
