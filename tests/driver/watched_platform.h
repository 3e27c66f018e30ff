// A platform over the real SDL2 display, music player and JPEG loader (what
// the program itself uses) that also keeps a log of the start-up and shutdown
// calls, stamps the time of every display update, and can post a user input
// after a given number of frames. The fault and soak tests run demo_main on it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/frame_globals.h"
#include "driver/platform_ops.h"
#include "platform/display.h"
#include "platform/image_loader.h"
#include "platform/music.h"

namespace gf::testing {

class WatchedPlatform final : public Platform {
public:
    using Clock = std::chrono::steady_clock;

    WatchedPlatform(const DisplayOptions& options, AudioOutput audio)
        : display_(create_display(options)), audio_(audio) {}
    ~WatchedPlatform() override { WatchedPlatform::destroy_display(); }
    WatchedPlatform(const WatchedPlatform&) = delete;
    WatchedPlatform& operator=(const WatchedPlatform&) = delete;

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
        if (display_ == nullptr) {
            return {false, "cannot create the display"};
        }
        const Status status = gf::open_display(display_, title, width, height, use_options);
        return {status.ok, status.message};
    }
    uint32_t* lock_frame() override {
        gf::lock_frame(display_);
        return screen;
    }
    void unlock_frame() override { gf::unlock_frame(display_); }
    void present_frame() override { gf::present_frame(display_); }
    void update_display() override {
        const uint64_t done = updates_.size();
        if (post_event_ && done == post_frame_) {
            post_input_event(display_, *post_event_);
            post_event_.reset();
        }
        if (hook_ && done == hook_frame_) {
            hook_();
            hook_ = nullptr;
        }
        gf::update_display(display_);
        updates_.push_back(Clock::now());
    }
    bool key_pressed() override { return gf::key_pressed(display_); }
    void destroy_display() override {
        if (display_ != nullptr) {
            log_.push_back("destroy_display");
            gf::destroy_display(display_);
            display_ = nullptr;
        }
    }

    Status init_music() override {
        log_.push_back("init_music");
        const Status status = gf::init_music(audio_);
        return {status.ok, status.message};
    }
    Status load_module(const std::string& path) override {
        log_.push_back("load_module");
        const Status status = gf::load_module(path);
        return {status.ok, status.message};
    }
    void play_music(uint32_t order, uint32_t row) override {
        log_.push_back("play_music");
        gf::play_music(order, row);
    }
    void stop_music() override {
        log_.push_back("stop_music");
        gf::stop_music();
    }
    void free_music() override {
        log_.push_back("free_music");
        gf::free_music();
    }
    uint32_t music_position() override {
        last_position_ = gf::music_position();
        return last_position_;
    }
    uint32_t add_instrument_sync(SyncProc proc, int instrument) override {
        return gf::add_instrument_sync(proc, instrument);
    }
    int music_volume() override { return gf::music_volume(); }
    void set_music_volume(int volume) override { gf::set_music_volume(volume); }

    Status load_jpeg(Image& image, const std::string& path) override {
        log_.push_back("load_jpeg");
        const Status status = gf::load_jpeg(image, path);
        return {status.ok, status.message};
    }
    void release_image(Image& image) override {
        log_.push_back("release_image");
        gf::release_image(image);
    }

private:
    Display* display_ = nullptr;
    AudioOutput audio_;
    std::vector<std::string> log_;
    std::vector<Clock::time_point> updates_;
    uint32_t last_position_ = 0;
    uint64_t post_frame_ = 0;
    std::optional<InputEvent> post_event_;
    uint64_t hook_frame_ = 0;
    std::function<void()> hook_;
};

}  // namespace gf::testing
