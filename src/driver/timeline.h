// The scene timeline: once per frame, reads the music position afresh for
// every test and runs the fixed chain of effect calls that belongs to the
// order and row, with the beat state's accents (flash, band, sub-scene).
// Effects are reached through a table of function pointers so that a test can
// record the chains; the program uses the table of the real effects.
#pragma once

#include <cstdint>
#include <string>

#include "common/data_set.h"
#include "common/types.h"
#include "driver/platform_ops.h"

namespace gf {

// The show's last scene: from the first row of this order the music fades out, over
// about kClosingFadeMs, and the show ends when it is silent.
constexpr uint32_t kClosingOrder = 16;
constexpr int64_t kClosingFadeMs = 1250;

// The effect operations the driver calls: start-up, per-frame chains, shutdown.
struct EffectOps {
    // Frame-buffer primitives.
    void (*copy_frame)(uint32_t* dst, const uint32_t* src, uint32_t bytes);
    void (*add_saturate)(uint32_t* dst, const uint32_t* a, const uint32_t* b);
    void (*fill_flash)(uint32_t* buf, uint32_t hit_time);
    void (*invert_frame)(uint32_t* buf);
    void (*update_scroll_offsets)(uint32_t base);
    void (*blit_scrolled)(uint32_t* dst, const uint32_t* picture, int selector);
    void (*blit_band)(uint32_t* dst, const uint32_t* picture, uint32_t band);
    void (*blur5)(const uint32_t* src, uint32_t* dst);
    void (*clear_frame)(uint32_t* buf);  // fills a whole frame with 0
    // Radial zoom blur.
    void (*set_zoom_preset)(uint32_t t0, int code);
    void (*zoom_blur)(uint32_t* buf);
    // Swirl.
    void (*init_swirl)();
    void (*animate_swirl)();
    void (*draw_swirl)(uint32_t* dst, const uint32_t* image);
    void (*free_swirl)();
    // Noise and snow.
    void (*init_noise)();
    void (*draw_noise)(uint32_t* buf);
    void (*init_snow)();
    void (*draw_snow)(uint32_t* buf);
    void (*fall_snow)(uint32_t fast);
    // Ray-cast planes and tunnel.
    void (*render_ray_grid)(uint32_t* dst, const uint32_t* texture);
    void (*reset_tunnel_camera)();
    void (*animate_tunnel_camera)(uint32_t hit_time, int mode);
    // Wireframe cubes.
    Status (*validate_mesh_file)(const std::string& path);
    void (*load_cubes)(const std::string& path);
    void (*free_cubes)();
    void (*draw_cubes)(uint32_t* buf);
};

// The table of the real effects.
const EffectOps& real_effect_ops();

constexpr int kSceneSlots = kPictureCount;  // one picture per slot of common/data_set.h

// What the chains draw with: the eight pictures and the six work buffers, all owned by demo_main.
struct SceneObjects {
    const Image* pictures[kSceneSlots] = {};
    PixelBuffer* scroll_buffer = nullptr;
    PixelBuffer* band_buffer = nullptr;
    PixelBuffer* cube_buffer = nullptr;
    PixelBuffer* cube_glow_buffer = nullptr;
    PixelBuffer* snow_buffer = nullptr;
    PixelBuffer* flash_buffer = nullptr;
};

// Timeline state, 0 at program start.
extern uint32_t snow_fast;          // 1: the next snow pass lets the flakes fall two rows
extern uint32_t zoom_fade_started;  // latched in the first pass of the swirl scene
extern uint32_t zoom_fade_start;    // frame_time of that pass: origin of the fading zoom

// The closing fade's own state (a seek saves and restores it with the rest of the show).
struct FadeState {
    bool started = false;
    uint32_t origin_ms = 0;  // the clock at the fade's first pass
    uint32_t last_ms = 0;    // the clock at its latest pass
    int start_volume = 0;    // the volume read in the first pass
};
FadeState fade_state();
void set_fade_state(const FadeState& state);

// Puts the timeline state back to its start values.
void reset_timeline();

// Runs one pass of the timeline into `screen` and the work buffers. Reads the
// music position, and in the last order the volume, from `platform`.
void run_timeline(Platform& platform, const SceneObjects& objects, const EffectOps& effects);

}  // namespace gf
