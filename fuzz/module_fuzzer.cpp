// libFuzzer target: arbitrary bytes as a module. A module that loads must
// play: register syncs, render a few seconds offline, read positions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/music.h"

namespace {
uint32_t s_calls = 0;
void count_sync(uint32_t /*handle*/, uint32_t /*data*/) { ++s_calls; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!gf::init_music(gf::AudioOutput::Offline).ok) {
        std::abort();
    }
    const gf::MusicStatus status = gf::load_module_from_memory(data, size, "fuzz.it");
    if (!status.ok) {
        if (status.message.empty()) {
            std::abort();
        }
        gf::free_music();
        return 0;
    }
    gf::add_instrument_sync(&count_sync, 1);
    gf::add_instrument_sync(&count_sync, 6);
    gf::play_music(0, 0);
    std::vector<int16_t> pcm(2 * 4096);
    // About three seconds of audio in frame-sized pieces, reading the position as the timeline does.
    for (int piece = 0; piece < 32; ++piece) {
        gf::render_music(pcm.data(), 4096);
        const uint32_t position = gf::music_position();
        if ((position & 0xFFFF) != gf::music_order() && !gf::music_ended()) {
            // The two reads straddled nothing here (offline, single thread): they must agree.
            std::abort();
        }
        gf::set_music_volume(gf::music_volume() - 7);
    }
    gf::stop_music();
    gf::free_music();
    return 0;
}
