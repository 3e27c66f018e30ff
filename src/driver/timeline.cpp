// The scene timeline. Every test asks the player for the position again (the
// order first, then the row), so a pass in which the music moves on between
// two tests runs the chains of both positions, the earlier one first.
#include "driver/timeline.h"

#include <algorithm>

#include "common/frame_globals.h"
#include "common/random.h"
#include "driver/beat_state.h"
#include "effects/zoom_blur.h"
#include "platform/clock.h"
#include "raycast/tunnel_camera.h"

namespace gf {

uint32_t snow_fast = 0;
uint32_t zoom_fade_started = 0;
uint32_t zoom_fade_start = 0;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr uint32_t kIntroRows = 64;      // order 0 and order 7 switch chains at this row
constexpr uint32_t kFlashRowStart = 92;  // order 7 and sub-scene 4 flash from this row on
constexpr uint32_t kBeatRows = 4;        // a beat every four rows

constexpr int kScrollSelector = 1;  // offset 1 of the scrolling picture
constexpr int kVolumeStep = 2;      // volume lost per odd frame of the fade

// The odd-frame rule alone depends on the frame rate and on how presents are paced: at an
// even interval in whole ms every frame time can be even and the fade never moves, and at
// high rates odd times come faster. So the volume is also held within a band around a
// straight line from the fade's first volume down by 100 in 1250 ms, the time the odd-frame
// rule takes at 60 frames a second. At 60 Hz the rule never leaves the band (it is off the
// line by at most 3), so it alone decides; at other rates the band makes the fade take about
// 1.2 to 1.4 seconds.
constexpr int64_t kFadeMs = kClosingFadeMs;
constexpr int64_t kFadeVolume = 100;
constexpr int64_t kFadeBand = 6;
constexpr uint32_t kFadeGapMs = 500;  // a fade pass this long after the previous one starts the line afresh

FadeState s_fade;

// The volume the odd-frame rule gives, held within the band at `elapsed_ms` into the s_fade.
int banded_volume(int stepped, int64_t elapsed_ms) {
    const int64_t drop = elapsed_ms * kFadeVolume;
    const int64_t high = s_fade.start_volume - drop / kFadeMs + kFadeBand;
    const int64_t low = s_fade.start_volume - (drop + kFadeMs - 1) / kFadeMs - kFadeBand;
    return static_cast<int>(std::clamp<int64_t>(stepped, low, high));
}

// One pass: the objects, the effects and the position queries.
class Pass {
public:
    Pass(Platform& platform, const SceneObjects& objects, const EffectOps& fx)
        : platform_(platform), o_(objects), fx_(fx) {}

    uint32_t order() { return platform_.music_position() & 0xFFFFu; }
    uint32_t row() { return platform_.music_position() >> 16; }

    const uint32_t* picture(PictureSlot slot) const { return o_.pictures[slot]->pixels; }
    uint32_t* buffer(PixelBuffer* b) const { return b->data(); }

    // The band composite: the scrolling picture's window plus the blurred band of the banded picture.
    void band_composite() {
        fx_.blit_scrolled(buffer(o_.scroll_buffer), picture(kGoodboy), kScrollSelector);
        fx_.blit_band(buffer(o_.band_buffer), picture(kFinalgrtz), beat.band_index.load(kRelaxed));
        fx_.set_zoom_preset(0, kZoomPresetBand);
        fx_.zoom_blur(buffer(o_.band_buffer));
        fx_.add_saturate(screen, buffer(o_.scroll_buffer), buffer(o_.band_buffer));
        // The offsets move after the blit, so each blit uses those of the previous pass.
        fx_.update_scroll_offsets(0);
    }

    // The snow pass: flakes onto the trail buffer, blurred with the preset in
    // force, then the snow preset for whatever blurs next.
    void snow_pass() {
        fx_.draw_snow(buffer(o_.snow_buffer));
        fx_.fall_snow(snow_fast);
        fx_.zoom_blur(buffer(o_.snow_buffer));
        fx_.set_zoom_preset(0, kZoomPresetSnow);
        fx_.add_saturate(screen, screen, buffer(o_.snow_buffer));
        snow_fast = 0;
    }

    void planes(uint32_t hit_time, int mode) {
        fx_.render_ray_grid(screen, picture(kGlimzz));
        fx_.animate_tunnel_camera(hit_time, mode);
    }

    void credits() {
        fx_.copy_frame(screen, picture(kCredits), kFrameBytes);
        if (row() % kBeatRows == 0) {
            fx_.invert_frame(screen);
        }
        snow_pass();
    }

    void flash_over(const uint32_t* base) {
        fx_.fill_flash(buffer(o_.flash_buffer), beat.flash_time.load(kRelaxed));
        beat.scene_pending.store(0, kRelaxed);
        fx_.add_saturate(screen, base, buffer(o_.flash_buffer));
    }

    void sub_scene(int32_t pick) {
        switch (pick) {
            case 0:
                fx_.draw_swirl(screen, picture(kPresents));
                fx_.animate_swirl();
                break;
            case 1:
                // The hit time is the clock now, so the planes bounce continuously.
                fx_.render_ray_grid(screen, picture(kGlimzz));
                fx_.animate_tunnel_camera(time_get_time(), kCameraPlanesSway);
                break;
            case 2:
                fx_.render_ray_grid(screen, picture(kMuur));
                fx_.animate_tunnel_camera(time_get_time(), kCameraTunnel);
                break;
            case 3:
                band_composite();
                snow_pass();
                break;
            case 4:
                fx_.draw_noise(screen);
                // Refilled but not shown here; sub-scene 5 shows the last fill.
                if (row() >= kFlashRowStart && row() % kBeatRows == 0) {
                    fx_.fill_flash(buffer(o_.flash_buffer), beat.flash_time.load(kRelaxed));
                }
                break;
            case 5:
                credits();
                fx_.add_saturate(screen, screen, buffer(o_.flash_buffer));
                break;
            default:
                break;  // the handler keeps the pick in 0..5
        }
    }

    void fade_out() {
        int volume = platform_.music_volume();
        // Elapsed time on the clock rather than frame_time, which is still 0 in the show's first pass.
        // Coming back to the fade after leaving it (a jump to another order and back) starts a new line.
        const uint32_t now = time_get_time();
        if (!s_fade.started || now - s_fade.last_ms > kFadeGapMs) {
            s_fade = {true, now, now, volume};
        }
        s_fade.last_ms = now;
        if ((frame_time & 1u) != 0) {
            volume -= kVolumeStep;
        }
        volume = banded_volume(volume, static_cast<int64_t>(static_cast<uint32_t>(now - s_fade.origin_ms)));
        if (volume < 0) {
            volume = 0;
        }
        platform_.set_music_volume(volume);
        if (volume == 0) {
            exit_requested = 1;
        }
        fx_.clear_frame(screen);
        fx_.clear_frame(buffer(o_.snow_buffer));
        fx_.draw_snow(buffer(o_.snow_buffer));
        fx_.fall_snow(snow_fast);
        // No zoom blur here, so the flakes leave no trails.
        fx_.add_saturate(screen, screen, buffer(o_.snow_buffer));
        snow_fast = 0;
    }

    // Each test asks the position again, in the order of the show's scenes.
    void run() {
        intro_and_planes();
        tunnel_band_and_noise();
        credits_to_the_fade();
        // Orders 17 and above (and the position after the module's end) draw nothing.
    }

private:
    // Orders 0 to 3.
    void intro_and_planes() {
        // 1: intro picture with flash and snow.
        if (order() == 0 && row() < kIntroRows) {
            flash_over(picture(kPresents));
            fx_.set_zoom_preset(0, kZoomPresetIntro);
            fx_.zoom_blur(screen);
            snow_pass();
        } else if (order() == 0) {
            // 2: swirl; the fading zoom's origin is latched once in the program's life.
            if (zoom_fade_started == 0) {
                zoom_fade_started = 1;
                zoom_fade_start = frame_time;
            }
            fx_.draw_swirl(screen, picture(kPresents));
            fx_.set_zoom_preset(zoom_fade_start, kZoomPresetFade);
            fx_.zoom_blur(screen);
            fx_.animate_swirl();
            snow_fast = 1;
        }
        // 3: planes under the fading zoom.
        if (order() == 1) {
            planes(beat.instrument6_time.load(kRelaxed), kCameraPlanesLookDown);
            fx_.set_zoom_preset(zoom_fade_start, kZoomPresetFade);
            fx_.zoom_blur(screen);
            snow_fast = 1;
        }
        // 4, 5: planes.
        if (order() == 2) {
            planes(beat.instrument6_time.load(kRelaxed), kCameraPlanesSway);
            snow_fast = 1;
        }
        if (order() == 3) {
            planes(beat.instrument6_time.load(kRelaxed), kCameraPlanesTurn);
            snow_fast = 1;
        }
    }

    // Orders 4 to 7.
    void tunnel_band_and_noise() {
        // 6: tunnel with glowing cubes; the camera is set before the render here.
        if (order() == 4 || order() == 5) {
            fx_.animate_tunnel_camera(frame_time, kCameraTunnel);
            fx_.render_ray_grid(screen, picture(kMuur));
            fx_.clear_frame(buffer(o_.cube_buffer));
            fx_.draw_cubes(buffer(o_.cube_buffer));
            fx_.blur5(buffer(o_.cube_buffer), buffer(o_.cube_glow_buffer));
            fx_.add_saturate(screen, screen, buffer(o_.cube_glow_buffer));
            snow_fast = 1;
        }
        // 7: band composite and snow.
        if (order() == 6) {
            band_composite();
            snow_pass();
        }
        // 8: the same, now and then replaced by noise.
        if (order() == 7 && row() < kIntroRows) {
            band_composite();
            if (gf::rand() % kBeatRows == 0) {
                fx_.draw_noise(screen);
            }
            snow_pass();
        }
        // 9: noise with the flash on the beat from row 92.
        if (order() == 7 && row() >= kIntroRows) {
            fx_.draw_noise(screen);
            if (row() >= kFlashRowStart && row() % kBeatRows == 0) {
                fx_.fill_flash(buffer(o_.flash_buffer), beat.flash_time.load(kRelaxed));
                beat.scene_pending.store(0, kRelaxed);
            }
            fx_.add_saturate(screen, screen, buffer(o_.flash_buffer));
        }
    }

    // Orders 8 to 16.
    void credits_to_the_fade() {
        // 10: credits, inverted on the beat.
        if (order() == 8) {
            credits();
        }
        // 11: the sub-scene picked by the instrument-1 notes, read once.
        if (order() > 8 && order() < 12) {
            sub_scene(beat.scene_pick.load(kRelaxed));
            beat.scene_pending.store(0, kRelaxed);
        }
        // 12: glowing cubes on black, the picture on the beat.
        if (order() >= 12 && order() < 14) {
            fx_.clear_frame(screen);
            fx_.clear_frame(buffer(o_.cube_buffer));
            fx_.draw_cubes(buffer(o_.cube_buffer));
            fx_.blur5(buffer(o_.cube_buffer), screen);
            if (row() % kBeatRows == 0) {
                fx_.copy_frame(screen, picture(kBoem), kFrameBytes);
            }
        }
        // 13, 14: closing pictures with flashes.
        if (order() == 14) {
            fx_.copy_frame(screen, picture(kKerst), kFrameBytes);
            flash_over(screen);
        }
        if (order() == 15) {
            fx_.clear_frame(screen);
            flash_over(screen);
        }
        // 15: fade the music out; the loop ends when it is silent.
        if (order() == kClosingOrder) {
            fade_out();
        }
    }

    Platform& platform_;
    const SceneObjects& o_;
    const EffectOps& fx_;
};

}  // namespace

FadeState fade_state() { return s_fade; }

void set_fade_state(const FadeState& state) { s_fade = state; }

void reset_timeline() {
    snow_fast = 0;
    zoom_fade_started = 0;
    zoom_fade_start = 0;
    s_fade = {};
}

void run_timeline(Platform& platform, const SceneObjects& objects, const EffectOps& effects) {
    Pass(platform, objects, effects).run();
}

}  // namespace gf
