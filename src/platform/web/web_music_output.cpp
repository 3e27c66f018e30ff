// The music player's output in the browser. There is no audio thread: the page
// pulls the sound with render_music and plays it through Web Audio, so the
// player always runs as the offline output does, and no device can be lost.
#include "platform/music_player.h"

namespace gf {

namespace music_detail {

void start_output() {}
void stop_output() {}
void close_device() {}
void fall_back_if_device_lost() {}

}  // namespace music_detail

using namespace music_detail;

Status init_music(AudioOutput) {
    close_gate();
    player().output = AudioOutput::Offline;
    return {};
}

void hold_music_output(bool) {}  // the page renders the sound when it asks: nothing runs meanwhile

void simulate_audio_device_loss() {}

}  // namespace gf
