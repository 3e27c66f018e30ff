// The desktop run's Platform: the SDL2 window, and the music on an audio device
// (or silent), which the viewer can hold and a seek can take from the device.
// SIGINT and SIGTERM are seen by the display's key test, so they end the run
// through the normal shutdown.
#pragma once

#include "driver/library_platform.h"
#include "platform/display.h"
#include "platform/music.h"

namespace gf {

class DesktopPlatform : public LibraryPlatform {
public:
    DesktopPlatform(const DisplayOptions& display, AudioOutput audio);
    ~DesktopPlatform() override;
    DesktopPlatform(const DesktopPlatform&) = delete;
    DesktopPlatform& operator=(const DesktopPlatform&) = delete;

    Status open_display(const char* title, int width, int height, int use_options) override;
    uint32_t* lock_frame() override;
    void unlock_frame() override;
    void present_frame() override;
    void update_display() override;
    bool key_pressed() override;
    void destroy_display() override;
    KeyRole take_viewer_key() override;

    void pause_music(bool paused) override;
    bool seek_rate(int& num, int& den) override;
    void pull_music(bool pulled) override;

protected:
    // The window, or nullptr once it is destroyed (or could not be created).
    Display* display() const { return display_; }

private:
    Display* display_ = nullptr;
};

}  // namespace gf
