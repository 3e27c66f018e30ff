// The sync handler: three independent tests of the handle.
#include "driver/beat_state.h"

#include "platform/clock.h"

namespace gf {

BeatState beat;
std::atomic<uint32_t> inst6_sync{0};
std::atomic<uint32_t> scene_sync{0};
std::atomic<uint32_t> band_sync{0};

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kScenePicks = 6;
constexpr uint32_t kBands = 5;
}  // namespace

void on_music_sync(uint32_t handle, uint32_t /*data*/) {
    // A handle of 0 is never issued, so an unregistered slot never matches.
    if (handle == 0) {
        return;
    }
    if (handle == inst6_sync.load(kRelaxed)) {
        beat.instrument6_time.store(time_get_time(), kRelaxed);
    }
    if (handle == scene_sync.load(kRelaxed) && beat.scene_pending.load(kRelaxed) == 0) {
        beat.flash_time.store(time_get_time(), kRelaxed);
        beat.scene_pick.store((beat.scene_pick.load(kRelaxed) + 1) % kScenePicks, kRelaxed);
        beat.scene_pending.store(1, kRelaxed);
    }
    if (handle == band_sync.load(kRelaxed)) {
        const uint32_t odd = 1 - beat.band_odd.load(kRelaxed);
        beat.band_odd.store(odd, kRelaxed);
        if (odd == 1) {
            beat.band_run.store(1 - beat.band_run.load(kRelaxed), kRelaxed);
        }
        if (beat.band_run.load(kRelaxed) == 1) {
            beat.band_index.store((beat.band_index.load(kRelaxed) + 1) % kBands, kRelaxed);
        }
    }
}

void reset_beat_state() {
    beat.instrument6_time.store(0, kRelaxed);
    beat.flash_time.store(0, kRelaxed);
    beat.scene_pick.store(0, kRelaxed);
    beat.scene_pending.store(0, kRelaxed);
    beat.band_index.store(0, kRelaxed);
    beat.band_odd.store(0, kRelaxed);
    beat.band_run.store(0, kRelaxed);
    inst6_sync.store(0, kRelaxed);
    scene_sync.store(0, kRelaxed);
    band_sync.store(0, kRelaxed);
}

}  // namespace gf
