// Assembles "xmas.it" from the synthesised instruments and the composed
// patterns and writes it into the data-set directory.
#include "datagen/module.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "datagen/dataset.h"

namespace gf::datagen {

namespace {

constexpr const char* kSongMessage =
    "Glimmerfrost - xmas.it\n"
    "\n"
    "An arrangement of three public-domain carols:\n"
    "  \"Deck the Halls\" (traditional Welsh melody)\n"
    "  \"Jingle Bells\" (James Lord Pierpont, 1857)\n"
    "  \"Joy to the World\" (Lowell Mason, 1839)\n"
    "\n"
    "Every sound is synthesised in code at 44.1 kHz.\n"
    "Instrument 1 (sleigh bells) cues the flashes and scene switches;\n"
    "instrument 6 (kick) bounces the planes.";

// Stereo placement of the channels (0 left, 32 centre, 64 right), spread
// wide as trackers of the era did, with the tune in the middle: its echo a
// little right, bells hard left and chip arpeggios hard right, the pads and
// choir on both sides, kick, bass and snare in the middle.
constexpr int kChannelPan[kXmasChannels] = {
    32,          // lead: the tune
    50,          // harmony
    4,           // bells
    60,          // chip arpeggio
    32,          // bass
    4,  60, 32,  // strings
    10, 54,      // choir
    32,          // kick
    28,          // snare
    50,          // hi-hats
    14,          // crash
    44,          // sleigh bells
    32,          // stabs
    38,          // echo
    8,           // countermelody
    56,          // claps and shakers
    22,          // toms and risers
};

// Overall level: with these the song measures about −15.5 LUFS and its true
// peak stays near −1.4 dBTP in libopenmpt's render, headroom enough for
// other players' mixers.
constexpr int kGlobalVolume = 128;
constexpr int kMixVolume = 74;

}  // namespace

itw::Module build_xmas_module() {
    itw::Module module;
    module.title = "xmas";
    module.message = kSongMessage;
    module.channels = kXmasChannels;
    module.initial_speed = kXmasSpeed;
    module.initial_tempo = kXmasTempo;
    module.global_volume = kGlobalVolume;
    module.mix_volume = kMixVolume;
    module.channel_pan.assign(std::begin(kChannelPan), std::end(kChannelPan));
    for (int order = 0; order < kXmasOrders; ++order) module.orders.push_back(order);
    add_xmas_instruments(module);
    module.patterns = compose_xmas_patterns();
    return module;
}

Status write_module(const std::string& dir) {
    const std::string path = dir + "/" + kModuleFile;
    std::vector<uint8_t> bytes;
    try {
        bytes = itw::write_it(build_xmas_module());
    } catch (const std::exception& error) {
        return failed_on(path, error.what());
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return {false, path + ": cannot open for writing: " + std::strerror(errno)};
    }
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        return {false, path + ": write failed: " + std::strerror(errno)};
    }
    return {};
}

}  // namespace gf::datagen
