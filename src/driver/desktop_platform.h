// The desktop run's Platform: the SDL2 window, the libopenmpt player on an
// audio device (or silent) and the JPEG loader. SIGINT and SIGTERM are seen
// by the display's key test, so they end the run through the normal shutdown.
#pragma once

#include "driver/platform_ops.h"
#include "platform/display.h"
#include "platform/music.h"

namespace gf {

class DesktopPlatform final : public Platform {
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

    Status init_music() override;
    Status load_module(const std::string& path) override;
    void play_music(uint32_t order, uint32_t row) override;
    void stop_music() override;
    void free_music() override;
    uint32_t music_position() override;
    uint32_t add_instrument_sync(SyncProc proc, int instrument) override;
    int music_volume() override;
    void set_music_volume(int volume) override;
    void pause_music(bool paused) override;
    bool seek_rate(int& num, int& den) override;
    void pull_music(bool pulled) override;

    Status load_jpeg(Image& image, const std::string& path) override;
    void release_image(Image& image) override;

private:
    Display* display_ = nullptr;
    AudioOutput audio_;
};

}  // namespace gf
