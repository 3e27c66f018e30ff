// The program's own desktop platform (the SDL2 display, music player and JPEG
// loader) that also keeps a log of the start-up and shutdown calls, stamps the
// time of every display update, and can post a user input after a given number
// of frames. The fault and soak tests run demo_main on it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/desktop_platform.h"
#include "platform/display.h"
#include "platform/music.h"

namespace gf::testing {

class WatchedPlatform final : public DesktopPlatform {
public:
    using Clock = std::chrono::steady_clock;

    WatchedPlatform(const DisplayOptions& options, AudioOutput audio) : DesktopPlatform(options, audio) {}

    // Posts `event` once, during the update after `frames` frames.
    void post_after(uint64_t frames, InputEvent event) {
        post_frame_ = frames;
        post_event_ = event;
    }
    // Runs `hook` once, during the update after `frames` frames.
    void call_after(uint64_t frames, std::function<void()> hook) {
        hook_frame_ = frames;
        hook_ = std::move(hook);
    }

    const std::vector<std::string>& log() const { return log_; }
    const std::vector<Clock::time_point>& updates() const { return updates_; }
    uint64_t frames() const { return updates_.size(); }
    // Position words read during the last frame (the order the show had reached).
    uint32_t last_position() const { return last_position_; }

    Status open_display(const char* title, int width, int height, int use_options) override {
        log_.push_back("open_display");
        return DesktopPlatform::open_display(title, width, height, use_options);
    }
    void update_display() override {
        const uint64_t done = updates_.size();
        if (post_event_ && done == post_frame_) {
            post_input_event(display(), *post_event_);
            post_event_.reset();
        }
        if (hook_ && done == hook_frame_) {
            hook_();
            hook_ = nullptr;
        }
        DesktopPlatform::update_display();
        updates_.push_back(Clock::now());
    }
    void destroy_display() override {
        if (display() != nullptr) {
            log_.push_back("destroy_display");
        }
        DesktopPlatform::destroy_display();
    }
    // The show runs from its start position as it comes, with no seek to it through
    // the show's start, so that the faults reach it where each test puts them.
    bool seek_rate(int&, int&) override { return false; }

    Status init_music() override {
        log_.push_back("init_music");
        return DesktopPlatform::init_music();
    }
    Status load_module(const std::string& path) override {
        log_.push_back("load_module");
        return DesktopPlatform::load_module(path);
    }
    void play_music(uint32_t order, uint32_t row) override {
        log_.push_back("play_music");
        DesktopPlatform::play_music(order, row);
    }
    void stop_music() override {
        log_.push_back("stop_music");
        DesktopPlatform::stop_music();
    }
    void free_music() override {
        log_.push_back("free_music");
        DesktopPlatform::free_music();
    }
    uint32_t music_position() override {
        last_position_ = DesktopPlatform::music_position();
        return last_position_;
    }

    Status load_jpeg(Image& image, const std::string& path) override {
        log_.push_back("load_jpeg");
        return DesktopPlatform::load_jpeg(image, path);
    }
    void release_image(Image& image) override {
        log_.push_back("release_image");
        DesktopPlatform::release_image(image);
    }

private:
    std::vector<std::string> log_;
    std::vector<Clock::time_point> updates_;
    uint32_t last_position_ = 0;
    uint64_t post_frame_ = 0;
    std::optional<InputEvent> post_event_;
    uint64_t hook_frame_ = 0;
    std::function<void()> hook_;
};

}  // namespace gf::testing
