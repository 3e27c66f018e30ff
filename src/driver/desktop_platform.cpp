// Forwards the driver's platform operations to the SDL2 display, the music
// player and the JPEG loader.
#include "driver/desktop_platform.h"

#include <cmath>

#include "common/frame_globals.h"
#include "platform/image_loader.h"

namespace gf {

DesktopPlatform::DesktopPlatform(const DisplayOptions& display, AudioOutput audio)
    : display_(create_display(display)), audio_(audio) {}

DesktopPlatform::~DesktopPlatform() { DesktopPlatform::destroy_display(); }

Status DesktopPlatform::open_display(const char* title, int width, int height, int use_options) {
    if (display_ == nullptr) {
        return {false, "cannot create the display"};
    }
    const Status status = gf::open_display(display_, title, width, height, use_options);
    if (!status.ok) {
        const std::string what = status.message.empty() ? "cannot open a window" : status.message;
        return {false, what + " (use --capture FILE to render the show to a video file instead)"};
    }
    return {};
}

uint32_t* DesktopPlatform::lock_frame() {
    gf::lock_frame(display_);
    return screen;
}

void DesktopPlatform::unlock_frame() { gf::unlock_frame(display_); }

void DesktopPlatform::present_frame() { gf::present_frame(display_); }

void DesktopPlatform::update_display() { gf::update_display(display_); }

bool DesktopPlatform::key_pressed() { return gf::key_pressed(display_); }

KeyRole DesktopPlatform::take_viewer_key() {
    return display_ != nullptr ? gf::take_viewer_key(display_) : KeyRole::Ignore;
}

void DesktopPlatform::destroy_display() {
    if (display_ != nullptr) {
        gf::destroy_display(display_);
        display_ = nullptr;
    }
}

Status DesktopPlatform::init_music() { return gf::init_music(audio_); }

Status DesktopPlatform::load_module(const std::string& path) { return gf::load_module(path); }

void DesktopPlatform::play_music(uint32_t order, uint32_t row) { gf::play_music(order, row); }

void DesktopPlatform::stop_music() { gf::stop_music(); }

void DesktopPlatform::free_music() { gf::free_music(); }

uint32_t DesktopPlatform::music_position() { return gf::music_position(); }

uint32_t DesktopPlatform::add_instrument_sync(SyncProc proc, int instrument) {
    return gf::add_instrument_sync(proc, instrument);
}

int DesktopPlatform::music_volume() { return gf::music_volume(); }

void DesktopPlatform::set_music_volume(int volume) { gf::set_music_volume(volume); }

void DesktopPlatform::pause_music(bool paused) { gf::pause_music(paused); }

bool DesktopPlatform::seek_rate(int& num, int& den) {
    if (display_ == nullptr) {
        return false;
    }
    // In thousandths of a frame a second, so that 59.94 and the like stay what they are.
    constexpr int kRateScale = 1000;
    num = static_cast<int>(std::lround(display_frame_rate(display_) * kRateScale));
    den = kRateScale;
    return num > 0;
}

void DesktopPlatform::pull_music(bool pulled) { gf::pull_music(pulled); }

Status DesktopPlatform::load_jpeg(Image& image, const std::string& path) { return gf::load_jpeg(image, path); }

void DesktopPlatform::release_image(Image& image) { gf::release_image(image); }

}  // namespace gf
