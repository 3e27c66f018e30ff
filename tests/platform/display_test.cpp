// The SDL2 window under SDL's dummy video driver: window sizing and placement
// of the frame, the pixels that reach the window, keys and fullscreen toggles,
// frame_time, failures, and the quit signals.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"
#include "platform/clock.h"
#include "platform/display.h"

namespace {

class DummyVideo : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
    void TearDown() override {
        if (display_ != nullptr) {
            gf::destroy_display(display_);
        }
    }
    gf::Display* open(const gf::DisplayOptions& options) {
        display_ = gf::create_display(options);
        const gf::DisplayStatus status = gf::open_display(display_, "Glimmerfrost", 320, 200, 0);
        EXPECT_TRUE(status.ok) << status.message;
        return display_;
    }
    gf::Display* display_ = nullptr;
};

TEST(WindowSize, LargestWholeScaleThatFitsTheDesktop) {
    gf::DisplayOptions four_three;
    gf::WindowSize s = gf::initial_window_size(320, 200, 1920, 1050, four_three);
    EXPECT_EQ(s.width, 1280);  // ×4: 1280 × 960; ×5 would need 1200 rows
    EXPECT_EQ(s.height, 960);

    gf::DisplayOptions square;
    square.aspect = gf::Aspect::Square;
    s = gf::initial_window_size(320, 200, 1920, 1050, square);
    EXPECT_EQ(s.width, 1600);  // ×5: 1600 × 1000
    EXPECT_EQ(s.height, 1000);

    s = gf::initial_window_size(320, 200, 2560, 1440, four_three);
    EXPECT_EQ(s.width, 1920);  // ×6: 1920 × 1440 fits exactly
    EXPECT_EQ(s.height, 1440);

    // A desktop smaller than the frame still gets scale 1.
    s = gf::initial_window_size(320, 200, 300, 150, four_three);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 240);
}

TEST(WindowSize, ExplicitScaleWins) {
    gf::DisplayOptions options;
    options.scale = 2;
    gf::WindowSize s = gf::initial_window_size(320, 200, 800, 600, options);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    options.aspect = gf::Aspect::Square;
    options.scale = 3;
    s = gf::initial_window_size(320, 200, 800, 600, options);
    EXPECT_EQ(s.width, 960);
    EXPECT_EQ(s.height, 600);
}

TEST(FrameRect, KeepsTheAspectAndCentres) {
    gf::FrameRect r = gf::frame_rect(320, 200, 1280, 960, gf::Aspect::FourThree);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 1280);
    EXPECT_EQ(r.height, 960);
    // Wide window: pillars left and right.
    r = gf::frame_rect(320, 200, 1920, 1080, gf::Aspect::FourThree);
    EXPECT_EQ(r.width, 1440);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.x, 240);
    EXPECT_EQ(r.y, 0);
    r = gf::frame_rect(320, 200, 1920, 1080, gf::Aspect::Square);
    EXPECT_EQ(r.width, 1728);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.x, 96);
    // Tall window: bars top and bottom.
    r = gf::frame_rect(320, 200, 1000, 1000, gf::Aspect::FourThree);
    EXPECT_EQ(r.width, 1000);
    EXPECT_EQ(r.height, 750);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 125);
}

TEST_F(DummyVideo, OpensATitledWindowAndAnAlignedBlackSurface) {
    gf::DisplayOptions options;
    options.scale = 1;
    gf::Display* d = open(options);
    EXPECT_EQ(gf::display_title(d), "Glimmerfrost");
    EXPECT_TRUE(gf::display_resizable(d));

    gf::screen = nullptr;
    gf::lock_frame(d);
    ASSERT_NE(gf::screen, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(gf::screen) % 64, 0u);
    for (int i = 0; i < gf::kScreenPixels; ++i) {
        ASSERT_EQ(gf::screen[i], 0u) << i;
    }
    gf::screen[gf::kScreenPixels - 1] = 0x00123456;  // the whole 256000 bytes are writable
    gf::unlock_frame(d);
}

// Square pixels at scale 2: every frame pixel becomes a 2 × 2 block of the same colour.
TEST_F(DummyVideo, PresentedPixelsReachTheWindowScaledAndInOrder) {
    gf::DisplayOptions options;
    options.aspect = gf::Aspect::Square;
    options.scale = 2;
    gf::Display* d = open(options);
    gf::lock_frame(d);
    for (int y = 0; y < gf::kScreenHeight; ++y) {
        for (int x = 0; x < gf::kScreenWidth; ++x) {
            gf::screen[y * gf::kScreenWidth + x] =
                0xAB000000u | static_cast<uint32_t>(x) << 16 | static_cast<uint32_t>(y) << 8 | ((x + y) & 0xFF);
        }
    }
    gf::unlock_frame(d);
    gf::present_frame(d);
    std::vector<uint32_t> out;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(gf::read_window_pixels(d, out, w, h));
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 400);
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int fx = x / 2;
            const int fy = y / 2;
            const uint32_t want = static_cast<uint32_t>(fx & 0xFF) << 16 | static_cast<uint32_t>(fy) << 8 |
                                  ((fx + fy) & 0xFF);
            wrong += out[static_cast<std::size_t>(y) * w + x] != want;
        }
    }
    EXPECT_EQ(wrong, 0);
    gf::update_display(d);
}

// 4:3 at scale 1 is 320 × 240: rows are stretched by 1.2 through the sharp-bilinear
// stage. Flat areas keep their exact colour; only the seams between them blend.
TEST_F(DummyVideo, FourThreeStretchKeepsFlatColoursExact) {
    gf::DisplayOptions options;
    options.scale = 1;
    gf::Display* d = open(options);
    gf::lock_frame(d);
    for (int y = 0; y < gf::kScreenHeight; ++y) {
        for (int x = 0; x < gf::kScreenWidth; ++x) {
            const bool right = x >= 160;
            const bool bottom = y >= 100;
            gf::screen[y * gf::kScreenWidth + x] = right ? (bottom ? 0x000000FFu : 0x0000FF00u)
                                                         : (bottom ? 0x00FFFFFFu : 0x00FF0000u);
        }
    }
    gf::unlock_frame(d);
    gf::present_frame(d);
    std::vector<uint32_t> out;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(gf::read_window_pixels(d, out, w, h));
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 240);
    auto at = [&](int x, int y) { return out[static_cast<std::size_t>(y) * w + x]; };
    EXPECT_EQ(at(0, 0), 0x00FF0000u);
    EXPECT_EQ(at(80, 60), 0x00FF0000u);
    EXPECT_EQ(at(240, 60), 0x0000FF00u);
    EXPECT_EQ(at(80, 180), 0x00FFFFFFu);
    EXPECT_EQ(at(240, 180), 0x000000FFu);
    EXPECT_EQ(at(319, 239), 0x000000FFu);
    // The seam sits at row 120 of 240 (row 100 of 200).
    EXPECT_EQ(at(80, 117), 0x00FF0000u);
    EXPECT_EQ(at(80, 122), 0x00FFFFFFu);
}

TEST_F(DummyVideo, AnyKeyEndsButFullscreenTogglesDoNot) {
    gf::Display* d = open(gf::DisplayOptions {});
    EXPECT_FALSE(gf::key_pressed(d));
    const bool was_fullscreen = gf::display_fullscreen(d);
    gf::post_input_event(d, gf::InputEvent::F11);
    EXPECT_FALSE(gf::key_pressed(d));
    EXPECT_NE(gf::display_fullscreen(d), was_fullscreen);
    gf::post_input_event(d, gf::InputEvent::AltKey);  // Alt goes down before Enter
    gf::post_input_event(d, gf::InputEvent::AltEnter);
    EXPECT_FALSE(gf::key_pressed(d));
    EXPECT_EQ(gf::display_fullscreen(d), was_fullscreen);  // toggled twice
    gf::post_input_event(d, gf::InputEvent::EnterKey);  // Enter without Alt is an ordinary key
    EXPECT_TRUE(gf::key_pressed(d));
    EXPECT_TRUE(gf::key_pressed(d));  // not consumed
}

TEST_F(DummyVideo, ClosingTheWindowCountsAsAKey) {
    gf::Display* d = open(gf::DisplayOptions {});
    EXPECT_FALSE(gf::key_pressed(d));
    gf::post_input_event(d, gf::InputEvent::CloseWindow);
    gf::update_display(d);  // events are also handled here
    EXPECT_TRUE(gf::key_pressed(d));
}

TEST_F(DummyVideo, FrameTimeIsReadAfterTheUpdate) {
    gf::Display* d = open(gf::DisplayOptions {});
    gf::use_virtual_clock(1'234'567);
    gf::frame_time = 0;
    gf::lock_frame(d);
    gf::unlock_frame(d);
    gf::present_frame(d);
    EXPECT_EQ(gf::frame_time, 0u);
    gf::update_display(d);
    EXPECT_EQ(gf::frame_time, 1'234'567u);
    gf::advance_virtual_clock(17);
    gf::update_display(d);
    EXPECT_EQ(gf::frame_time, 1'234'584u);
    gf::use_system_clock();
}

TEST_F(DummyVideo, DestroyingForgetsTheScreenPointer) {
    gf::Display* d = open(gf::DisplayOptions {});
    gf::lock_frame(d);
    EXPECT_NE(gf::screen, nullptr);
    gf::destroy_display(d);
    display_ = nullptr;
    EXPECT_EQ(gf::screen, nullptr);
}

TEST_F(DummyVideo, ImpossibleSizesAreRefusedWithAMessage) {
    display_ = gf::create_display(gf::DisplayOptions {});
    for (auto [w, h] : {std::pair {0, 200}, std::pair {320, -1}, std::pair {100000, 200}}) {
        const gf::DisplayStatus status = gf::open_display(display_, "Glimmerfrost", w, h, 0);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.message.find(std::to_string(w) + " x " + std::to_string(h)), std::string::npos)
            << status.message;
    }
    // Nothing was opened: the per-frame calls are harmless.
    gf::present_frame(display_);
    gf::update_display(display_);
    EXPECT_FALSE(gf::key_pressed(display_));
}

TEST_F(DummyVideo, NoVideoDriverMeansNoDisplayWithAReason) {
    EXPECT_TRUE(gf::display_available());
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(gf::display_available());
    display_ = gf::create_display(gf::DisplayOptions {});
    const gf::DisplayStatus status = gf::open_display(display_, "Glimmerfrost", 320, 200, 0);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("no display available (", 0), 0u) << status.message;
    EXPECT_EQ(status.message.find('\n'), std::string::npos);
}

// Without a display server SDL would fall back to an invisible output; that is no display.
TEST(NoDisplayServer, InvisibleFallbackIsNotADisplay) {
    EXPECT_EXIT(
        {
            unsetenv("SDL_VIDEODRIVER");
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            gf::Display* d = gf::create_display(gf::DisplayOptions {});
            const gf::DisplayStatus status = gf::open_display(d, "Glimmerfrost", 320, 200, 0);
            const bool said_so = !status.ok && status.message.rfind("no display available (", 0) == 0;
            std::exit(said_so && !gf::display_available() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

// SIGTERM and SIGINT end the run through the normal shutdown: key_pressed reports
// them. Each case runs in a child process, since the flag stays set.
TEST(QuitSignals, TerminateAndInterruptReadAsAKey) {
    for (int sig : {SIGTERM, SIGINT}) {
        EXPECT_EXIT(
            {
                setenv("SDL_VIDEODRIVER", "dummy", 1);
                gf::Display* d = gf::create_display(gf::DisplayOptions {});
                const bool before = gf::key_pressed(d);
                std::raise(sig);
                std::exit(!before && gf::key_pressed(d) && gf::quit_signal_received() ? 0 : 3);
            },
            ::testing::ExitedWithCode(0), "")
            << sig;
    }
}

TEST(QuitSignals, ASecondSignalEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            gf::install_quit_signal_handlers();
            std::raise(SIGTERM);
            std::raise(SIGTERM);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
