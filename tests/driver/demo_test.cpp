// demo_main over a recording platform: the start-up and shutdown order, the
// frame loop's exit rules, and start-up failures that stop before any window.
#include "driver/demo.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/frame_globals.h"
#include "recorder.h"

namespace gf::test {
namespace {

using Log = std::vector<std::string>;

// A picture's file name without ".jpg", as the recorder names its image.
std::string stem(const PictureSize& picture) {
    const std::string file = picture.file;
    return file.substr(0, file.find('.'));
}

Log startup_calls() {
    Log log = {"init_music()", "load_module(xmas.it)"};
    for (const PictureSize& picture : kPictureSizes) log.push_back(std::string("load_jpeg(") + picture.file + ")");
    const Log rest = {"validate_mesh_file(kubus.3ds)",
                      "open_display(Glimmerfrost,320,200,0)",
                      "reset_tunnel_camera()",
                      "init_swirl()",
                      "init_snow()",
                      "init_noise()",
                      "add_instrument_sync(on_music_sync,6)",
                      "add_instrument_sync(on_music_sync,1)",
                      "add_instrument_sync(on_music_sync,1)",
                      "load_cubes(kubus.3ds)",
                      "play_music(0,0)",
                      "key_pressed()"};
    log.insert(log.end(), rest.begin(), rest.end());
    return log;
}

Log shutdown_calls() {
    Log log = {"stop_music()", "free_swirl()", "free_cubes()"};
    for (const PictureSize& picture : kPictureSizes) log.push_back("release_image(" + stem(picture) + ")");
    log.insert(log.end(), {"free_music()", "destroy_display()"});
    return log;
}

std::size_t count(const std::string& entry) {
    return static_cast<std::size_t>(std::count(call_log.begin(), call_log.end(), entry));
}

class DemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        call_log.clear();
        mesh_problem.clear();
        use_virtual_clock(kVirtualClockStart);
        options_.files.module = "/data/xmas.it";
        for (int slot = 0; slot < kPictureCount; ++slot)
            options_.files.pictures[slot] = std::string("/data/") + kPictureSizes[static_cast<std::size_t>(slot)].file;
        options_.files.mesh = "/data/kubus.3ds";
    }
    void TearDown() override {
        use_system_clock();
        clear_pointer_names();
    }
    int run(FakePlatform& platform) {
        ::testing::internal::CaptureStderr();
        const int code = demo_main(platform, options_, recording_effects());
        stderr_ = ::testing::internal::GetCapturedStderr();
        return code;
    }

    DemoOptions options_;
    std::string stderr_;
};

TEST_F(DemoTest, KeyWaitingAtStartSkipsEveryFrameButShutsDownInFull) {
    FakePlatform platform;
    platform.key_from_call = 1;
    EXPECT_EQ(run(platform), 0);
    Log expected = startup_calls();
    const Log shutdown = shutdown_calls();
    expected.insert(expected.end(), shutdown.begin(), shutdown.end());
    EXPECT_EQ(call_log, expected);
    EXPECT_TRUE(stderr_.empty()) << stderr_;
    // Each registration kept its own handle, stored before playback could call the handler.
    EXPECT_EQ(platform.handles_at_play[0], 101u);
    EXPECT_EQ(platform.handles_at_play[1], 102u);
    EXPECT_EQ(platform.handles_at_play[2], 103u);
}

TEST_F(DemoTest, EachPassLocksDrawsUnlocksPresentsUpdatesThenTestsTheKey) {
    FakePlatform platform;
    platform.positions = {position(4, 0)};
    platform.key_from_call = 3;  // start-up test, pass 1, then pass 2 ends the loop
    EXPECT_EQ(run(platform), 0);
    // work1 and work2 are demo_main's cube buffer and glow buffer, named by first use.
    // The first frame sees frame_time 0; the second the clock read after the first update.
    const Log pass = {"lock_frame()",
                      "animate_tunnel_camera(0,4)",
                      "render_ray_grid(screen,muur)",
                      "clear_frame(work1)",
                      "draw_cubes(work1)",
                      "blur5(work1,work2)",
                      "add_saturate(screen,screen,work2)",
                      "unlock_frame()",
                      "present_frame()",
                      "update_display()",
                      "key_pressed()"};
    Log second = pass;
    second[1] = "animate_tunnel_camera(" + std::to_string(kVirtualClockStart + 17) + ",4)";
    Log expected = startup_calls();
    for (const Log& part : {pass, second, shutdown_calls()}) expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(call_log, expected);
    EXPECT_EQ(screen, nullptr);  // no pointer into the platform's surface is left behind
}

// The clock moves while the frame is presented, updated and after: the next frame is
// drawn at the time read right after the update.
TEST_F(DemoTest, FrameTimeIsReadAfterTheUpdate) {
    struct BusyPlatform : FakePlatform {
        void present_frame() override {
            FakePlatform::present_frame();
            advance_virtual_clock(5);
        }
        bool key_pressed() override {
            advance_virtual_clock(3);
            return FakePlatform::key_pressed();
        }
    } platform;
    platform.positions = {position(4, 0)};
    platform.key_from_call = 3;  // start-up test, pass 1, then pass 2 ends the loop
    EXPECT_EQ(run(platform), 0);
    const std::string second = "animate_tunnel_camera(" + std::to_string(kVirtualClockStart + 3 + 5 + 17) + ",4)";
    EXPECT_EQ(count("animate_tunnel_camera(0,4)"), 1u);
    EXPECT_EQ(count(second), 1u);
}

TEST_F(DemoTest, PassThatSilencesTheMusicIsShownInFullAndTheNextTopOfLoopEndsIt) {
    FakePlatform platform;
    platform.positions = {position(16, 0)};
    platform.volume = 2;  // pass 1 (frame_time 0, even) keeps 2; pass 2 (odd clock) reaches 0
    EXPECT_EQ(run(platform), 0);
    EXPECT_EQ(count("lock_frame()"), 2u);
    EXPECT_EQ(count("set_music_volume(2)"), 1u);
    EXPECT_EQ(exit_requested, 1u);
    const Log shutdown = shutdown_calls();
    const auto tail = call_log.end() - static_cast<std::ptrdiff_t>(shutdown.size());
    EXPECT_EQ(Log(tail, call_log.end()), shutdown);
    EXPECT_EQ(Log(tail - 5, tail), (Log{"add_saturate(screen,screen,work1)", "unlock_frame()", "present_frame()",
                                        "update_display()", "key_pressed()"}));
}

TEST_F(DemoTest, StartPositionIsHandedToThePlayerWithAFreshBeatState) {
    FakePlatform platform;
    platform.key_from_call = 1;
    beat.scene_pick = 3;
    snow_fast = 1;
    zoom_fade_started = 1;
    options_.start_order = 9;
    options_.start_row = 16;
    EXPECT_EQ(run(platform), 0);
    EXPECT_EQ(count("play_music(9,16)"), 1u);
    EXPECT_EQ(platform.scene_pick_at_play, 0);
    EXPECT_EQ(snow_fast, 0u);
    EXPECT_EQ(zoom_fade_started, 0u);
}

// The viewer: Space holds the picture and the clock with the music; an order
// change while paused draws one frame; on release the clock goes on from where
// it was held, so no effect jumps by the paused time.
TEST_F(DemoTest, ViewerPauseHoldsPictureClockAndMusicTogether) {
    FakePlatform platform;
    platform.positions = {position(4, 0)};
    options_.interactive = true;
    options_.order_count = 10;
    platform.viewer_keys[2] = {KeyRole::Pause};      // after pass 1
    platform.viewer_keys[3] = {KeyRole::NextOrder};  // after pass 2, paused
    platform.viewer_keys[4] = {KeyRole::Pause};      // after pass 3
    platform.key_from_call = 6;                      // pass 5 ends the show
    EXPECT_EQ(run(platform), 0);
    Log drawn;
    Log music;
    for (const std::string& call : call_log) {
        if (call.rfind("animate_tunnel_camera", 0) == 0) drawn.push_back(call);
        if (call.find("_music(") != std::string::npos && call != "init_music()" && call != "free_music()")
            music.push_back(call);
    }
    const std::string held = std::to_string(kVirtualClockStart + 17);
    EXPECT_EQ(drawn, (Log{"animate_tunnel_camera(0,4)", "animate_tunnel_camera(" + held + ",4)",
                          "animate_tunnel_camera(" + held + ",4)",
                          "animate_tunnel_camera(" + std::to_string(kVirtualClockStart + 34) + ",4)"}));
    EXPECT_EQ(music, (Log{"play_music(0,0)", "pause_music(1)", "stop_music()", "play_music(5,0)", "pause_music(1)",
                          "pause_music(0)", "stop_music()"}));
    EXPECT_EQ(count("present_frame()"), 5u);  // the paused pass still shows the window
}

TEST_F(DemoTest, ViewerStepsOrderByOrderWithAFreshBeatStateWithinTheModule) {
    struct Case {
        uint32_t at;
        KeyRole key;
        const char* restart;  // "" when the key changes nothing
    };
    for (const Case& c :
         {Case{4, KeyRole::NextOrder, "play_music(5,0)"}, Case{4, KeyRole::PreviousOrder, "play_music(3,0)"},
          Case{0, KeyRole::PreviousOrder, "play_music(0,0)"},  // the first order restarts
          Case{9, KeyRole::NextOrder, ""},                     // the last has no next
          Case{kOrderAfterEnd, KeyRole::PreviousOrder, "play_music(9,0)"}}) {
        call_log.clear();
        FakePlatform platform;
        platform.positions = {position(c.at, 0)};
        platform.volume = 40;  // the closing fade had lowered it
        options_.interactive = true;
        options_.order_count = 10;
        platform.viewer_keys[2] = {c.key};
        platform.key_from_call = 3;
        EXPECT_EQ(run(platform), 0);
        const auto first_play = std::find(call_log.begin(), call_log.end(), "play_music(0,0)");
        const bool restarted = *c.restart != '\0';
        EXPECT_EQ(std::count(first_play + 1, call_log.end(), std::string(c.restart)), restarted ? 1 : 0) << c.at;
        EXPECT_EQ(count("set_music_volume(100)"), restarted ? 1u : 0u) << c.at;
        EXPECT_EQ(inst6_sync.load(), 101u);  // the handles outlive the reset: the syncs still reach the beat state
        EXPECT_EQ(band_sync.load(), 103u);
    }
}

TEST_F(DemoTest, StartUpFailuresStopBeforeAnyWindowWithOneLineNamingTheFile) {
    {
        FakePlatform platform;
        platform.module_status = {false, "/data/xmas.it: not an Impulse Tracker module"};
        EXPECT_EQ(run(platform), 1);
        EXPECT_EQ(call_log, (Log{"init_music()", "load_module(xmas.it)", "free_music()", "destroy_display()"}));
        EXPECT_EQ(stderr_, "glimmerfrost: /data/xmas.it: not an Impulse Tracker module\n");
    }
    {
        // Too few rows for a ray texture: the pictures loaded so far are released.
        call_log.clear();
        FakePlatform platform;
        platform.picture_sizes["muur.jpg"] = {256, 200};
        EXPECT_EQ(run(platform), 1);
        EXPECT_EQ(count("open_display(Glimmerfrost,320,200,0)") + count("load_jpeg(credits.jpg)"), 0u);
        EXPECT_EQ(count("release_image(glimzz)") + count("release_image(muur)"), 2u);
        EXPECT_EQ(std::count(stderr_.begin(), stderr_.end(), '\n'), 1);
        EXPECT_EQ(stderr_.rfind("glimmerfrost: /data/muur.jpg is 256 × 200", 0), 0u) << stderr_;
    }
    {
        call_log.clear();
        mesh_problem = "no triangle mesh";
        FakePlatform platform;
        EXPECT_EQ(run(platform), 1);
        EXPECT_EQ(count("open_display(Glimmerfrost,320,200,0)"), 0u);
        EXPECT_EQ(stderr_, "glimmerfrost: /data/kubus.3ds: no triangle mesh\n");
    }
    {
        call_log.clear();
        mesh_problem.clear();
        FakePlatform platform;
        platform.display_status = {false, "cannot open a window"};
        EXPECT_EQ(run(platform), 1);
        EXPECT_EQ(count("play_music(0,0)") + count("init_swirl()"), 0u);
        EXPECT_EQ(call_log.back(), "destroy_display()");
        EXPECT_EQ(stderr_, "glimmerfrost: cannot open a window\n");
    }
}

}  // namespace
}  // namespace gf::test
