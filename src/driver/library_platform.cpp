// Forwards the music and picture operations to the engine's player and loader.
#include "driver/library_platform.h"

#include "platform/image_loader.h"

namespace gf {

Status LibraryPlatform::init_music() { return gf::init_music(audio_); }

Status LibraryPlatform::load_module(const std::string& path) { return gf::load_module(path); }

void LibraryPlatform::play_music(uint32_t order, uint32_t row) { gf::play_music(order, row); }

void LibraryPlatform::stop_music() { gf::stop_music(); }

void LibraryPlatform::free_music() { gf::free_music(); }

uint32_t LibraryPlatform::music_position() { return gf::music_position(); }

uint32_t LibraryPlatform::add_instrument_sync(SyncProc proc, int instrument) {
    return gf::add_instrument_sync(proc, instrument);
}

int LibraryPlatform::music_volume() { return gf::music_volume(); }

void LibraryPlatform::set_music_volume(int volume) { gf::set_music_volume(volume); }

Status LibraryPlatform::load_jpeg(Image& image, const std::string& path) { return gf::load_jpeg(image, path); }

void LibraryPlatform::release_image(Image& image) { gf::release_image(image); }

}  // namespace gf
