// The beat state: times of the last instrument events, the sub-scene pick of
// orders 9 to 11 and the picture band. Written by the sync handler on the
// audio thread, read by the timeline on the frame thread: every field is one
// 32-bit atomic word, loaded and stored whole with relaxed order.
#pragma once

#include <atomic>
#include <cstdint>

namespace gf {

struct BeatState {
    std::atomic<uint32_t> instrument6_time{0};  // clock at the last instrument-6 note
    std::atomic<uint32_t> flash_time{0};        // clock at the last accepted scene event
    std::atomic<int32_t> scene_pick{0};         // 0..5
    std::atomic<uint32_t> scene_pending{0};     // 1 from an accepted scene event until the timeline clears it
    std::atomic<uint32_t> band_index{0};        // 0..4
    std::atomic<uint32_t> band_odd{0};          // flips at every band event
    std::atomic<uint32_t> band_run{0};          // flips when band_odd becomes 1; band_index advances while 1
};

extern BeatState beat;

// The three sync handles, stored before playback starts.
extern std::atomic<uint32_t> inst6_sync;
extern std::atomic<uint32_t> scene_sync;
extern std::atomic<uint32_t> band_sync;

// The sync procedure handed to the music player for all three registrations.
void on_music_sync(uint32_t handle, uint32_t data);

// Puts the beat state and the handles back to their start values (tests, --start).
void reset_beat_state();

}  // namespace gf
