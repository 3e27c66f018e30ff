// Forwards the driver's display operations to the SDL2 window, and holds or
// pulls the music on its output.
#include "driver/desktop_platform.h"

#include <cmath>

namespace gf {

DesktopPlatform::DesktopPlatform(const DisplayOptions& display, AudioOutput audio)
    : LibraryPlatform(audio), display_(create_display(display)) {}

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

uint32_t* DesktopPlatform::lock_frame() { return gf::lock_frame(display_); }

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

}  // namespace gf
