// The offline Platform: frames are drawn into an in-memory surface and handed
// to a consumer, the music is rendered in lock-step with the frames against
// the virtual clock, so every capture of the same data is the same, sample
// for sample, and runs as fast as the machine allows.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/types.h"
#include "driver/library_platform.h"

namespace gf {

// Frames per second as a fraction num / den (60/1, 50/1, 70/1, 60000/1001 …).
struct FrameRate {
    int num = 60;
    int den = 1;
};

// Time of frame k in ms from the show's start: floor(k · 1000 · den / num), computed
// exactly from k so that rounding never accumulates.
uint64_t frame_start_ms(uint64_t frame, FrameRate rate);
// First music sample (at 44.1 kHz) of frame k's interval: floor(k · 44100 · den / num).
uint64_t frame_start_sample(uint64_t frame, FrameRate rate);
// Time in ms of music sample s: floor(s · 1000 / 44100).
uint64_t sample_ms(uint64_t sample);

// Where the capture's virtual clock starts. Odd on purpose: the closing fade lowers
// the volume only on frames whose clock is odd, and at rates whose frame interval is
// a whole even number of ms (50 fps, 10 fps) every frame time keeps the parity of
// the start; an even start would never end the show.
constexpr uint32_t kCaptureClockStart = 1'000'001;

// Where a clip ends: a music position ORDER:ROW.
struct ClipEnd {
    uint32_t order = 0;
    uint32_t row = 0;
};

// One finished frame as it leaves the surface.
struct CapturedFrame {
    uint64_t index = 0;  // from 0: the first frame handed out
    uint64_t ms = 0;     // the whole show's time of the frame: frame_start_ms of its place in the show
    uint32_t order = 0;  // music position the timeline saw
    uint32_t row = 0;
    double draw_seconds = 0;           // wall time from lock_frame to unlock_frame (benchmark)
    const uint32_t* pixels = nullptr;  // 320 × 200, valid during the call
};

// Where frames and sound go. A consumer returns false to stop the capture (it keeps its own message).
struct CaptureSink {
    std::function<bool(const CapturedFrame&)> frame;
    std::function<bool(const int16_t* samples, std::size_t frames)> audio;  // interleaved stereo
};

// Why the capture stopped before the show's own end (the fade), if it did.
enum class CaptureStop {
    None,          // still running, or ended by the show
    MusicEnded,    // the module ended without the fade; stopped one second later
    FrameLimit,    // the frame limit was reached
    EndReached,    // the music reached the end position of a clip
    Interrupted,   // SIGINT / SIGTERM
    OutputFailed,  // a consumer refused a frame or sound
};

class CapturePlatform : public LibraryPlatform {
public:
    // `max_frames` 0: no limit. `interrupt`, when given, stops the capture at the end of a pass once set.
    CapturePlatform(FrameRate rate, CaptureSink sink, uint64_t max_frames = 0,
                    const std::atomic<bool>* interrupt = nullptr);
    ~CapturePlatform() override;  // back to the system clock, sync hook cleared

    CapturePlatform(const CapturePlatform&) = delete;
    CapturePlatform& operator=(const CapturePlatform&) = delete;

    // Stops before the first frame whose music position is at or after ORDER:ROW,
    // however the music got there (a start position, a jump in the module).
    void set_end_position(ClipEnd end);

    Status open_display(const char* title, int width, int height, int use_options) override;
    uint32_t* lock_frame() override;
    void unlock_frame() override;
    void present_frame() override;
    void update_display() override;
    bool key_pressed() override;
    void destroy_display() override {}

    // The music is rendered offline, frame by frame, with the syncs on the virtual clock.
    Status init_music() override;
    void play_music(uint32_t order, uint32_t row) override;
    void stop_music() override;
    void free_music() override;

    // The state of a capture at the show's start, the module loaded and about to play
    // from 0:0, with nothing rendered: where a seek from the start begins.
    static std::unique_ptr<PlatformState> start_state();
    // Syncs fired while rendering see the clock at their note's sample (init_music sets this).
    static void follow_music_clock();

    // The frame count, the clock, the surface and the music (whose sound after a
    // restore rings on as libopenmpt plays it from the row; positions and syncs are exact).
    std::unique_ptr<PlatformState> save_state() override;
    bool restore_state(const PlatformState& state) override;
    // Whether save_state keeps the surface (the default). Every pass draws the whole frame
    // before anything reads it, so a seek's table need not keep it; a restore without it
    // leaves the surface as it stands.
    void keep_surface_in_state(bool keep) { keep_surface_ = keep; }

    // Shows the whole show from the first frame whose music position is at or after
    // ORDER:ROW: the show runs from its start as it always does, and the frames
    // before that one, and their sound, are drawn but not handed to the sink. So
    // every frame handed out is, byte for byte, the whole show's frame at that
    // time: clock, beat state, random sequence and feedback buffers included,
    // and the sound goes on with its notes ringing. Call before the show starts.
    void start_at(uint32_t order, uint32_t row);

    uint64_t frames() const { return frames_ - first_shown_; }  // frames handed to the sink
    uint64_t first_shown() const { return first_shown_; }       // the show's frame index of the first one
    bool showing() const { return showing_; }
    CaptureStop stop_reason() const { return stop_; }
    double mixing_seconds() const { return mixing_seconds_; }  // wall time spent rendering music

private:
    static constexpr uint64_t kNotEnded = ~uint64_t{0};

    FrameRate rate_;
    CaptureSink sink_;
    uint64_t max_frames_;
    bool end_given_ = false;
    ClipEnd end_;
    const std::atomic<bool>* interrupt_;
    PixelBuffer surface_;
    std::vector<int16_t> audio_;
    uint64_t frames_ = 0;  // frames presented since the show's start
    uint64_t samples_ = 0;
    uint32_t start_key_ = 0;  // order << 16 | row of the first frame to hand out
    bool showing_ = true;     // frames and sound go to the sink
    uint64_t first_shown_ = 0;
    uint64_t music_end_sample_ = kNotEnded;
    bool playing_ = false;
    bool keep_surface_ = true;
    CaptureStop stop_ = CaptureStop::None;
    double lock_started_ = 0;
    double draw_seconds_ = 0;
    double mixing_seconds_ = 0;
};

}  // namespace gf
