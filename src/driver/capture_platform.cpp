// Offline frame surface and lock-step music rendering against the virtual clock.
#include "driver/capture_platform.h"

#include <chrono>
#include <utility>

#include "platform/clock.h"
#include "platform/music.h"

namespace gf {

namespace {

constexpr uint64_t kMsPerSecond = 1000;
constexpr uint64_t kSampleRate = static_cast<uint64_t>(kMixRate);
constexpr uint64_t kMusicEndGraceMs = 1000;  // how long a capture runs on after a module that never fades

// The position word (order low, row high) as a number that orders positions as the show does.
uint32_t position_key(uint32_t order, uint32_t row) { return (order << 16) | (row & 0xFFFFu); }

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A music position (order in the low 16 bits, row in the high 16) at or after ORDER:ROW.
bool position_at_or_after(uint32_t position, uint32_t order, uint32_t row) {
    const uint32_t at_order = position & 0xFFFFu;
    const uint32_t at_row = position >> 16;
    return at_order > order || (at_order == order && at_row >= row);
}

}  // namespace

uint64_t frame_start_ms(uint64_t frame, FrameRate rate) {
    return frame * kMsPerSecond * static_cast<uint64_t>(rate.den) / static_cast<uint64_t>(rate.num);
}

uint64_t frame_start_sample(uint64_t frame, FrameRate rate) {
    return frame * kSampleRate * static_cast<uint64_t>(rate.den) / static_cast<uint64_t>(rate.num);
}

uint64_t sample_ms(uint64_t sample) { return sample * kMsPerSecond / kSampleRate; }

CapturePlatform::CapturePlatform(FrameRate rate, CaptureSink sink, uint64_t max_frames,
                                 const std::atomic<bool>* interrupt)
    : LibraryPlatform(AudioOutput::Offline),
      rate_(rate),
      sink_(std::move(sink)),
      max_frames_(max_frames),
      interrupt_(interrupt) {
    // Everything that moves follows the virtual clock from here on, so two captures draw the same pixels.
    use_virtual_clock(kCaptureClockStart);
    audio_.reserve(2 * (frame_start_sample(1, rate_) + 1));
}

CapturePlatform::~CapturePlatform() {
    set_sync_position_hook({});
    use_system_clock();
}

void CapturePlatform::set_end_position(ClipEnd end) {
    end_given_ = true;
    end_ = end;
}

Status CapturePlatform::open_display(const char*, int width, int height, int) {
    if (width != kScreenWidth || height != kScreenHeight) {
        return {false, "capture: only a 320 x 200 frame can be captured"};
    }
    return {};
}

uint32_t* CapturePlatform::lock_frame() {
    lock_started_ = wall_seconds();
    return surface_.data();
}

void CapturePlatform::unlock_frame() { draw_seconds_ = wall_seconds() - lock_started_; }

void CapturePlatform::start_at(uint32_t order, uint32_t row) {
    start_key_ = position_key(order, row);
    showing_ = start_key_ == 0;
    first_shown_ = 0;
}

void CapturePlatform::present_frame() {
    if (stop_ == CaptureStop::OutputFailed) {
        return;
    }
    const uint32_t position = gf::music_position();
    if (!showing_) {
        // The position after the music's end is order 0xFFFF: at or after any start.
        if (position_key(position & 0xFFFFu, position >> 16) < start_key_) {
            ++frames_;
            ++first_shown_;
            return;
        }
        showing_ = true;
    }
    CapturedFrame frame;
    frame.index = frames_ - first_shown_;
    frame.ms = frame_start_ms(frames_, rate_);
    frame.order = position & 0xFFFFu;
    frame.row = position >> 16;
    frame.draw_seconds = draw_seconds_;
    frame.pixels = surface_.data();
    ++frames_;
    if (sink_.frame && !sink_.frame(frame)) {
        stop_ = CaptureStop::OutputFailed;
    }
}

void CapturePlatform::update_display() {
    // The frame just presented stays on screen until the next frame time; the music
    // of exactly that interval is rendered now. Each note's sync sees the clock at the
    // note's own sample, and afterwards the clock stands at the next frame's time.
    const uint64_t next = frames_;
    if (playing_) {
        const uint64_t end = frame_start_sample(next, rate_);
        if (end > samples_) {
            const std::size_t count = static_cast<std::size_t>(end - samples_);
            audio_.assign(2 * count, 0);
            const double started = wall_seconds();
            const std::size_t rendered = render_music(audio_.data(), count);
            mixing_seconds_ += wall_seconds() - started;
            if (rendered < count && music_end_sample_ == kNotEnded) {
                music_end_sample_ = samples_ + rendered;
            }
            samples_ = end;
            if (showing_ && stop_ != CaptureStop::OutputFailed && sink_.audio && !sink_.audio(audio_.data(), count)) {
                stop_ = CaptureStop::OutputFailed;
            }
        }
    }
    set_virtual_clock(kCaptureClockStart + static_cast<uint32_t>(frame_start_ms(next, rate_)));
}

bool CapturePlatform::key_pressed() {
    if (stop_ != CaptureStop::None) {
        return true;
    }
    if (interrupt_ != nullptr && interrupt_->load()) {
        stop_ = CaptureStop::Interrupted;
    } else if (max_frames_ != 0 && frames() >= max_frames_) {
        stop_ = CaptureStop::FrameLimit;
    } else if (end_given_ && position_at_or_after(gf::music_position(), end_.order, end_.row)) {
        // The music has been rendered up to the next frame's time: that frame would be at the end.
        stop_ = CaptureStop::EndReached;
    } else if (music_end_sample_ != kNotEnded &&
               frame_start_ms(frames_, rate_) >= sample_ms(music_end_sample_) + kMusicEndGraceMs) {
        stop_ = CaptureStop::MusicEnded;
    }
    return stop_ != CaptureStop::None;
}

Status CapturePlatform::init_music() {
    Status status = LibraryPlatform::init_music();
    follow_music_clock();
    return status;
}

void CapturePlatform::play_music(uint32_t order, uint32_t row) {
    LibraryPlatform::play_music(order, row);
    playing_ = true;
    samples_ = 0;
    music_end_sample_ = kNotEnded;
}

void CapturePlatform::stop_music() {
    LibraryPlatform::stop_music();
    playing_ = false;
}

void CapturePlatform::free_music() {
    set_sync_position_hook({});
    LibraryPlatform::free_music();
}

namespace {

struct CaptureState final : PlatformState {
    uint64_t frames = 0;
    uint64_t samples = 0;
    uint64_t music_end_sample = 0;
    uint64_t first_shown = 0;
    bool showing = true;
    bool playing = false;
    uint32_t clock = 0;
    std::unique_ptr<PixelBuffer> surface;  // none when not kept
    MusicState music;
    std::size_t bytes() const override {
        return sizeof(*this) - sizeof(MusicState) + music.bytes() + (surface ? sizeof(PixelBuffer) : 0);
    }
};

}  // namespace

void CapturePlatform::follow_music_clock() {
    // Syncs fire inside render_music; each one sees the clock at its note's sample.
    set_sync_position_hook(
        [](uint64_t frame) { set_virtual_clock(kCaptureClockStart + static_cast<uint32_t>(sample_ms(frame))); });
}

std::unique_ptr<PlatformState> CapturePlatform::start_state() {
    auto state = std::make_unique<CaptureState>();
    state->music = music_start_state();
    state->music_end_sample = kNotEnded;
    state->playing = true;
    state->clock = kCaptureClockStart;
    return state;
}

std::unique_ptr<PlatformState> CapturePlatform::save_state() {
    auto state = std::make_unique<CaptureState>();
    state->music = save_music_state();
    if (playing_ && !state->music.valid()) {
        return nullptr;
    }
    state->frames = frames_;
    state->samples = samples_;
    state->music_end_sample = music_end_sample_;
    state->first_shown = first_shown_;
    state->showing = showing_;
    state->playing = playing_;
    state->clock = time_get_time();
    if (keep_surface_) {
        state->surface = std::make_unique<PixelBuffer>(surface_);
    }
    return state;
}

bool CapturePlatform::restore_state(const PlatformState& saved) {
    const auto* state = dynamic_cast<const CaptureState*>(&saved);
    if (state == nullptr || (state->playing && !restore_music_state(state->music))) {
        return false;
    }
    frames_ = state->frames;
    samples_ = state->samples;
    music_end_sample_ = state->music_end_sample;
    first_shown_ = state->first_shown;
    showing_ = state->showing;
    playing_ = state->playing;
    set_virtual_clock(state->clock);
    if (state->surface) {
        surface_ = *state->surface;
    }
    stop_ = CaptureStop::None;
    return true;
}

}  // namespace gf
