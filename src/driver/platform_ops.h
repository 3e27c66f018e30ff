// What the demo driver needs from the outside world: a display, a music player
// and a picture loader. The music and the pictures are the engine's own player and
// loader for every real platform (driver/library_platform.h); the desktop run shows
// the frames in an SDL2 window, capture renders offline against the virtual clock,
// the browser hands them to its page; tests record the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/status.h"
#include "common/types.h"
#include "platform/keys.h"
#include "platform/music.h"

namespace gf {

// What a platform carries from one frame to the next (its clock, the picture on
// the surface, the music), kept at a seek's checkpoint.
class PlatformState {
public:
    virtual ~PlatformState() = default;
    virtual std::size_t bytes() const { return sizeof(*this); }  // the memory it holds
};

class Platform {
public:
    virtual ~Platform() = default;

    // A seek's checkpoint between two frames: nullptr when this platform cannot keep one.
    virtual std::unique_ptr<PlatformState> save_state() { return nullptr; }
    // Puts back what save_state kept; false, changing nothing, when it cannot.
    virtual bool restore_state(const PlatformState& state) {
        (void)state;
        return false;
    }

    // Display: the window (or offline frame sink) and its 320 × 200 frame surface.
    virtual Status open_display(const char* title, int width, int height, int use_options) = 0;
    virtual uint32_t* lock_frame() = 0;  // the frame's surface: the frame loop draws there as `screen`
    virtual void unlock_frame() = 0;
    virtual void present_frame() = 0;
    // Shows the frame and handles events. The driver reads `frame_time` from the clock right after.
    virtual void update_display() = 0;
    virtual bool key_pressed() = 0;
    virtual void destroy_display() = 0;
    // The viewer (--interactive): the oldest of its key presses waiting (Pause, PreviousOrder,
    // NextOrder), or Ignore when there is none. Only a window has a viewer.
    virtual KeyRole take_viewer_key() { return KeyRole::Ignore; }

    // Seeking (the viewer's keys, a start position in a window): the show's state at a
    // position is that of the show run from its start at a steady rate, this platform's
    // frame rate (num / den frames a second); false when it cannot seek.
    virtual bool seek_rate(int& num, int& den) {
        (void)num;
        (void)den;
        return false;
    }
    // Takes the music from its output so that a seek renders it (true), or gives it back (false).
    virtual void pull_music(bool pulled) { (void)pulled; }

    // Music.
    virtual Status init_music() = 0;
    virtual Status load_module(const std::string& path) = 0;
    virtual void play_music(uint32_t order, uint32_t row) = 0;  // (0, 0) for the show
    virtual void stop_music() = 0;
    virtual void free_music() = 0;
    virtual uint32_t music_position() = 0;  // order low 16 bits, row high 16 bits
    virtual uint32_t add_instrument_sync(SyncProc proc, int instrument) = 0;
    virtual int music_volume() = 0;
    virtual void set_music_volume(int volume) = 0;
    // Holds the music where it is, or lets it go on (the viewer's pause).
    virtual void pause_music(bool paused) { (void)paused; }

    // Pictures.
    virtual Status load_jpeg(Image& image, const std::string& path) = 0;
    virtual void release_image(Image& image) = 0;
};

}  // namespace gf
