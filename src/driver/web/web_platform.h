// The Platform for the live show in a browser page. The page owns the loop: it
// calls one pass of the demo per animation frame, and pulls the music ahead of
// time in chunks that it schedules back to back on the Web Audio clock. The
// position the show sees and the instrument syncs follow the sample the audio
// clock has reached, not the sample rendered last, so the picture keeps time
// with what is heard however far ahead the sound is rendered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "common/types.h"
#include "driver/library_platform.h"
#include "platform/web/audio_timeline.h"

namespace gf {

class WebPlatform final : public LibraryPlatform {
public:
    WebPlatform();
    ~WebPlatform() override;
    WebPlatform(const WebPlatform&) = delete;
    WebPlatform& operator=(const WebPlatform&) = delete;

    Status open_display(const char* title, int width, int height, int use_options) override;
    uint32_t* lock_frame() override { return surface_.data(); }
    void unlock_frame() override {}
    void present_frame() override;
    void update_display() override {}
    bool key_pressed() override { return key_; }
    void destroy_display() override {}

    // The music is rendered ahead for Web Audio; its position and syncs follow the audio clock.
    Status init_music() override;
    void play_music(uint32_t order, uint32_t row) override;
    void stop_music() override;
    void free_music() override;
    uint32_t music_position() override { return timeline_.position(); }
    uint32_t add_instrument_sync(SyncProc proc, int instrument) override;

    // Seeking: at the page's animation rate; while a seek runs the syncs fire at once
    // (the seek keeps the clock), and afterwards the audio clock's timeline starts
    // again at the stream frame the seek left the music at.
    bool seek_rate(int& num, int& den) override;
    void pull_music(bool pulled) override;
    void pause_music(bool paused) override;
    KeyRole take_viewer_key() override;

    // The page's side.
    void press_key() { key_ = true; }
    void viewer_key(KeyRole key) { viewer_keys_.push_back(key); }
    // Seeks so far: the page starts its sound again from music_stream_frame() after each.
    int seeks() const { return seeks_; }
    // Renders `frames` stereo frames ahead into an interleaved 16-bit buffer and returns it.
    const int16_t* render_ahead(std::size_t frames);
    // The audio clock has reached stream frame `now`.
    void reach(uint64_t now) { timeline_.reach(now); }
    AudioTimeline& timeline() { return timeline_; }

private:
    PixelBuffer surface_;
    std::vector<int16_t> sound_;
    AudioTimeline timeline_;
    uint64_t rendered_ = 0;  // stream frames rendered since play_music
    bool playing_ = false;
    bool key_ = false;
    std::deque<KeyRole> viewer_keys_;
    int seeks_ = 0;
};

}  // namespace gf
