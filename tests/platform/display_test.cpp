// The window under SDL's dummy video driver: sizing and placement of the frame,
// the pixels that reach the window, keys, failures, quit signals.
#include "platform/display.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/types.h"

namespace {

gf::DisplayOptions options(gf::Aspect aspect, int scale = 0) {
    gf::DisplayOptions o;
    o.aspect = aspect;
    o.scale = scale;
    return o;
}

TEST(WindowGeometry, WindowSizeAndFramePlacement) {
    const auto four_three = gf::Aspect::FourThree;
    const auto square = gf::Aspect::Square;
    struct Size {
        gf::DisplayOptions o;
        int desktop_w, desktop_h, w, h;
        bool reduced;
    };
    for (const Size& c : {Size{options(four_three), 1920, 1050, 1280, 960, false},  // ×5 would need 1200 rows
                          Size{options(square), 1920, 1050, 1600, 1000, false},
                          Size{options(four_three), 2560, 1440, 1920, 1440, false},  // fits exactly
                          Size{options(four_three), 300, 150, 320, 240, false},      // never below ×1
                          Size{options(four_three, 2), 800, 600, 640, 480, false},   // --scale wins
                          Size{options(square, 3), 960, 600, 960, 600, false},
                          Size{options(square, 3), 800, 600, 640, 400, true},  // too large: the largest that fits
                          Size{options(four_three, 16), 1920, 1050, 1280, 960, true}}) {
        const gf::WindowSize s = gf::initial_window_size(320, 200, c.desktop_w, c.desktop_h, c.o);
        EXPECT_EQ(s.width, c.w) << c.desktop_w << "x" << c.desktop_h;
        EXPECT_EQ(s.height, c.h) << c.desktop_w << "x" << c.desktop_h;
        EXPECT_EQ(s.reduced, c.reduced) << c.desktop_w << "x" << c.desktop_h;
    }
    struct Place {
        int out_w, out_h;
        gf::Aspect aspect;
        int x, y, w, h;
    };
    for (const Place& c :
         {Place{1280, 960, four_three, 0, 0, 1280, 960}, Place{1920, 1080, four_three, 240, 0, 1440, 1080},   // pillars
          Place{1920, 1080, square, 96, 0, 1728, 1080}, Place{1000, 1000, four_three, 0, 125, 1000, 750}}) {  // bars
        const gf::FrameRect r = gf::frame_rect(320, 200, c.out_w, c.out_h, c.aspect);
        EXPECT_EQ(r.x, c.x);
        EXPECT_EQ(r.y, c.y);
        EXPECT_EQ(r.width, c.w);
        EXPECT_EQ(r.height, c.h);
    }
}

class DummyVideo : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
    void TearDown() override { gf::destroy_display(display_); }
    gf::Display* open(const gf::DisplayOptions& o) {
        display_ = gf::create_display(o);
        const gf::Status status = gf::open_display(display_, "Glimmerfrost", 320, 200, 0);
        EXPECT_TRUE(status.ok) << status.message;
        return display_;
    }
    // Draws with `pixel(x, y)`, presents, and reads the window back.
    template <typename F>
    std::vector<uint32_t> show(F pixel, int& w, int& h) {
        uint32_t* surface = gf::lock_frame(display_);
        for (int y = 0; y < gf::kScreenHeight; ++y) {
            for (int x = 0; x < gf::kScreenWidth; ++x) {
                surface[y * gf::kScreenWidth + x] = pixel(x, y);
            }
        }
        gf::unlock_frame(display_);
        gf::present_frame(display_);
        std::vector<uint32_t> out;
        EXPECT_TRUE(gf::read_window_pixels(display_, out, w, h));
        return out;
    }
    gf::Display* display_ = nullptr;
};

TEST_F(DummyVideo, OpensATitledWindowWithAnAlignedBlackSurface) {
    gf::Display* d = open(options(gf::Aspect::FourThree, 1));
    EXPECT_EQ(gf::display_title(d), "Glimmerfrost");
    EXPECT_TRUE(gf::display_resizable(d));
    const uint32_t* surface = gf::lock_frame(d);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(surface) % 64, 0u);
    EXPECT_EQ(std::count(surface, surface + gf::kScreenPixels, 0u), gf::kScreenPixels);
    gf::unlock_frame(d);
}

// Square pixels at ×2: each frame pixel is a 2 × 2 block of its colour; the top byte is ignored.
TEST_F(DummyVideo, PresentedPixelsReachTheWindowScaledAndInOrder) {
    open(options(gf::Aspect::Square, 2));
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> out =
        show([](int x, int y) { return 0xAB000000u | (x & 0xFF) << 16 | y << 8 | ((x + y) & 0xFF); }, w, h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 400);
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t fx = x / 2;
            const uint32_t fy = y / 2;
            wrong += out[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] !=
                     ((fx & 0xFF) << 16 | fy << 8 | ((fx + fy) & 0xFF));
        }
    }
    EXPECT_EQ(wrong, 0);
}

// 4:3 at ×1 is 320 × 240: rows stretch by 1.2; flat areas keep their exact colour.
TEST_F(DummyVideo, FourThreeStretchKeepsFlatColoursExact) {
    open(options(gf::Aspect::FourThree, 1));
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> out = show(
        [](int x, int y) {
            return x < 160 ? (y < 100 ? 0x00FF0000u : 0x00FFFFFFu) : (y < 100 ? 0x0000FF00u : 0x000000FFu);
        },
        w, h);
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 240);
    auto at = [&](int x, int y) {
        return out[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)];
    };
    EXPECT_EQ(at(0, 0), 0x00FF0000u);
    EXPECT_EQ(at(240, 60), 0x0000FF00u);
    EXPECT_EQ(at(319, 239), 0x000000FFu);
    EXPECT_EQ(at(80, 117), 0x00FF0000u);  // the seam lies at row 120
    EXPECT_EQ(at(80, 122), 0x00FFFFFFu);
}

TEST_F(DummyVideo, AnyKeyOrClosingEndsButFullscreenTogglesDoNot) {
    gf::Display* d = open(gf::DisplayOptions{});
    EXPECT_FALSE(gf::key_pressed(d));
    const bool was_fullscreen = gf::display_fullscreen(d);
    gf::post_input_event(d, gf::InputEvent::F11);
    EXPECT_FALSE(gf::key_pressed(d));
    EXPECT_NE(gf::display_fullscreen(d), was_fullscreen);
    gf::post_input_event(d, gf::InputEvent::AltKey);  // Alt goes down before Enter
    gf::post_input_event(d, gf::InputEvent::AltEnter);
    EXPECT_FALSE(gf::key_pressed(d));
    EXPECT_EQ(gf::display_fullscreen(d), was_fullscreen);
    gf::post_key_event(d, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT);
    gf::post_key_event(d, SDL_SCANCODE_VOLUMEUP, SDLK_VOLUMEUP, KMOD_NONE);
    EXPECT_FALSE(gf::key_pressed(d));
    gf::post_input_event(d, gf::InputEvent::EnterKey);  // without Alt it is an ordinary key
    EXPECT_TRUE(gf::key_pressed(d));
    EXPECT_TRUE(gf::key_pressed(d));  // not consumed

    gf::destroy_display(d);
    d = open(gf::DisplayOptions{});
    gf::post_input_event(d, gf::InputEvent::CloseWindow);
    gf::update_display(d);  // events are handled here too
    EXPECT_TRUE(gf::key_pressed(d));
}

TEST(KeyRoles, ModifierLockSystemAndMediaKeysNeverEndTheShowAndTheViewerHasItsOwnKeys) {
    using gf::KeyRole;
    struct Case {
        SDL_Keycode key;
        unsigned mod;
        KeyRole show, viewer;
    };
    const KeyRole end = KeyRole::EndShow;
    const KeyRole ignore = KeyRole::Ignore;
    const KeyRole toggle = KeyRole::ToggleFullscreen;
    for (const Case& c : {
             Case{SDLK_a, KMOD_NONE, end, ignore},
             Case{SDLK_c, KMOD_LCTRL, end, ignore},  // Ctrl+C in the window is a key like any other
             Case{SDLK_RETURN, KMOD_NONE, end, ignore},
             Case{SDLK_SPACE, KMOD_NONE, end, KeyRole::Pause},
             Case{SDLK_LEFT, KMOD_NONE, end, KeyRole::PreviousOrder},
             Case{SDLK_RIGHT, KMOD_NONE, end, KeyRole::NextOrder},
             Case{SDLK_PERIOD, KMOD_NONE, end, KeyRole::NextFrame},
             Case{SDLK_COMMA, KMOD_NONE, end, KeyRole::PreviousFrame},
             Case{SDLK_HOME, KMOD_NONE, end, KeyRole::ToStart},
             Case{SDLK_ESCAPE, KMOD_NONE, end, end},
             Case{SDLK_q, KMOD_NONE, end, end},
             Case{SDLK_RETURN, KMOD_RALT, toggle, toggle},
             Case{SDLK_KP_ENTER, KMOD_LALT, toggle, toggle},
             Case{SDLK_F11, KMOD_NONE, toggle, toggle},
             Case{SDLK_LSHIFT, KMOD_LSHIFT, ignore, ignore},
             Case{SDLK_RCTRL, KMOD_RCTRL, ignore, ignore},
             Case{SDLK_LALT, KMOD_LALT, ignore, ignore},
             Case{SDLK_RALT, KMOD_RALT, ignore, ignore},
             Case{SDLK_MODE, KMOD_MODE, ignore, ignore},
             Case{SDLK_LGUI, KMOD_LGUI, ignore, ignore},
             Case{SDLK_RGUI, KMOD_RGUI, ignore, ignore},
             Case{SDLK_CAPSLOCK, KMOD_NONE, ignore, ignore},
             Case{SDLK_NUMLOCKCLEAR, KMOD_NONE, ignore, ignore},
             Case{SDLK_SCROLLLOCK, KMOD_NONE, ignore, ignore},
             Case{SDLK_AUDIOPLAY, KMOD_NONE, ignore, ignore},
             Case{SDLK_AUDIONEXT, KMOD_NONE, ignore, ignore},
             Case{SDLK_AUDIOMUTE, KMOD_NONE, ignore, ignore},
             Case{SDLK_VOLUMEUP, KMOD_NONE, ignore, ignore},
             Case{SDLK_VOLUMEDOWN, KMOD_NONE, ignore, ignore},
             Case{SDLK_MUTE, KMOD_NONE, ignore, ignore},
             Case{SDLK_BRIGHTNESSUP, KMOD_NONE, ignore, ignore},
             Case{SDLK_AUDIOFASTFORWARD, KMOD_NONE, ignore, ignore},
             Case{SDLK_APPLICATION, KMOD_NONE, ignore, ignore},
             Case{SDLK_PRINTSCREEN, KMOD_NONE, ignore, ignore},
             Case{SDLK_PAUSE, KMOD_NONE, ignore, ignore},
             Case{SDLK_SYSREQ, KMOD_LALT, ignore, ignore},
             Case{SDLK_MENU, KMOD_NONE, ignore, ignore},
             Case{SDLK_POWER, KMOD_NONE, ignore, ignore},
         }) {
        const int scancode = SDL_GetScancodeFromKey(c.key);
        EXPECT_EQ(gf::key_role(scancode, c.key, c.mod, false), c.show) << SDL_GetKeyName(c.key);
        EXPECT_EQ(gf::key_role(scancode, c.key, c.mod, true), c.viewer) << SDL_GetKeyName(c.key);
    }
    // A remapped key counts by either code; a vendor key SDL cannot name at all is ignored.
    EXPECT_EQ(gf::key_role(SDL_SCANCODE_CAPSLOCK, SDLK_LCTRL, KMOD_NONE, false), ignore);
    EXPECT_EQ(gf::key_role(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN, KMOD_NONE, false), ignore);
    EXPECT_EQ(gf::key_role(SDL_SCANCODE_UNKNOWN, 0xE9, KMOD_NONE, false), end);  // é on a layout SDL does not know
}

TEST_F(DummyVideo, TheViewerQueuesItsKeysAndOnlyEscOrQEndsIt) {
    gf::DisplayOptions o;
    o.interactive = true;
    gf::Display* d = open(o);
    const auto press = [d](SDL_Keycode key) { gf::post_key_event(d, SDL_GetScancodeFromKey(key), key, KMOD_NONE); };
    for (SDL_Keycode key : {SDLK_SPACE, SDLK_a, SDLK_RIGHT, SDLK_RETURN, SDLK_LEFT}) press(key);
    EXPECT_FALSE(gf::key_pressed(d));
    for (gf::KeyRole want :
         {gf::KeyRole::Pause, gf::KeyRole::NextOrder, gf::KeyRole::PreviousOrder, gf::KeyRole::Ignore}) {
        EXPECT_EQ(gf::take_viewer_key(d), want);
    }
    press(SDLK_q);
    EXPECT_TRUE(gf::key_pressed(d));
}

// At a very slow rate (one frame in 100 s) a quit request (a signal, the window's close)
// still ends the wait for the next frame almost at once.
TEST_F(DummyVideo, ASlowRateStillAnswersAQuitRequest) {
    gf::DisplayOptions slow;
    slow.fps = 0.01;
    gf::Display* d = open(slow);
    gf::present_frame(d);  // the first frame starts the pacing
    std::thread requester([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    });
    const auto started = std::chrono::steady_clock::now();
    gf::present_frame(d);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    requester.join();
    EXPECT_LT(waited, 50.0) << "the wait ran to the next frame time";
    gf::update_display(d);
    EXPECT_TRUE(gf::key_pressed(d));
}

TEST_F(DummyVideo, FailuresAreRefusedWithAReason) {
    display_ = gf::create_display(gf::DisplayOptions{});
    for (auto [w, h] : {std::pair{0, 200}, std::pair{320, -1}, std::pair{100000, 200}}) {
        const gf::Status status = gf::open_display(display_, "Glimmerfrost", w, h, 0);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.message.find(std::to_string(w) + " x " + std::to_string(h)), std::string::npos);
    }
    gf::present_frame(display_);  // nothing opened: the per-frame calls are harmless
    gf::update_display(display_);
    EXPECT_FALSE(gf::key_pressed(display_));

    EXPECT_TRUE(gf::display_available());
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(gf::display_available());
    const gf::Status status = gf::open_display(display_, "Glimmerfrost", 320, 200, 0);
    EXPECT_EQ(status.message.rfind("no display available (", 0), 0u) << status.message;
    EXPECT_EQ(status.message.find('\n'), std::string::npos);
}

// The cases below run in child processes: they change the environment or the signal state.
TEST(NoDisplayServer, InvisibleFallbackIsNotADisplay) {
    EXPECT_EXIT(
        {
            unsetenv("SDL_VIDEODRIVER");
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            gf::Display* d = gf::create_display(gf::DisplayOptions{});
            const gf::Status status = gf::open_display(d, "Glimmerfrost", 320, 200, 0);
            const bool said_so = !status.ok && status.message.rfind("no display available (", 0) == 0;
            gf::destroy_display(d);
            std::exit(said_so && !gf::display_available() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(QuitSignals, TerminateAndInterruptReadAsAKeyAndASecondOneKills) {
    for (int sig : {SIGTERM, SIGINT}) {
        EXPECT_EXIT(
            {
                setenv("SDL_VIDEODRIVER", "dummy", 1);
                gf::Display* d = gf::create_display(gf::DisplayOptions{});
                const bool before = gf::key_pressed(d);
                std::raise(sig);
                std::exit(!before && gf::key_pressed(d) && gf::quit_signal_received() ? 0 : 3);
            },
            ::testing::ExitedWithCode(0), "")
            << sig;
    }
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
