// The engine's own music player and picture loader behind the driver's platform
// operations. Every platform plays the module with platform/music and decodes the
// pictures with platform/image_loader; what sets one apart is where the frames
// and the sound go. So each derives from this one and overrides only that: its
// display, and the music calls whose output it handles itself.
#pragma once

#include <cstdint>
#include <string>

#include "driver/platform_ops.h"
#include "platform/music.h"

namespace gf {

class LibraryPlatform : public Platform {
public:
    // `audio`: where init_music sends the sound.
    explicit LibraryPlatform(AudioOutput audio) : audio_(audio) {}

    Status init_music() override;
    Status load_module(const std::string& path) override;
    void play_music(uint32_t order, uint32_t row) override;
    void stop_music() override;
    void free_music() override;
    uint32_t music_position() override;
    uint32_t add_instrument_sync(SyncProc proc, int instrument) override;
    int music_volume() override;
    void set_music_volume(int volume) override;

    Status load_jpeg(Image& image, const std::string& path) override;
    void release_image(Image& image) override;

private:
    AudioOutput audio_;
};

}  // namespace gf
