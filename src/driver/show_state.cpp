// Copies the show's module-wide state out and back in, field by field.
#include "driver/show_state.h"

#include "common/frame_globals.h"
#include "common/random.h"
#include "driver/beat_state.h"
#include "effects/zoom_blur.h"
#include "raycast/ray_grid.h"

namespace gf {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

ShowState save_show_state() {
    ShowState s;
    s.frame_time = frame_time;
    s.exit_requested = exit_requested;
    s.rand_state = rand_state();
    s.instrument6_time = beat.instrument6_time.load(kRelaxed);
    s.flash_time = beat.flash_time.load(kRelaxed);
    s.scene_pick = beat.scene_pick.load(kRelaxed);
    s.scene_pending = beat.scene_pending.load(kRelaxed);
    s.band_index = beat.band_index.load(kRelaxed);
    s.band_odd = beat.band_odd.load(kRelaxed);
    s.band_run = beat.band_run.load(kRelaxed);
    s.snow_fast = snow_fast;
    s.zoom_fade_started = zoom_fade_started;
    s.zoom_fade_start = zoom_fade_start;
    s.fade = fade_state();
    s.snowflakes = snowflakes;
    s.scroll_offsets = scroll_offsets;
    s.swirl_phase = swirl_phase;
    s.swirl_twist = swirl_twist;
    s.zoom_center_x = zoom_center_x;
    s.zoom_center_y = zoom_center_y;
    s.zoom_scale_x = zoom_scale_x;
    s.zoom_scale_y = zoom_scale_y;
    s.zoom_shift = zoom_shift;
    s.zoom_col_offsets = zoom_col_offsets;
    s.zoom_row_offsets = zoom_row_offsets;
    s.cam_fov = cam_fov;
    s.cam_tunnel = cam_tunnel;
    s.cam_x = cam_x;
    s.cam_y = cam_y;
    s.cam_z = cam_z;
    s.cam_angle_x = cam_angle_x;
    s.cam_angle_y = cam_angle_y;
    s.cam_angle_z = cam_angle_z;
    s.plane_bounce = plane_bounce;
    for (int i = 0; i < kCubeCount; ++i) {
        s.cube_positions[i] = cubes[i].position;
        s.cube_rotations[i] = cubes[i].rotation;
    }
    return s;
}

void restore_show_state(const ShowState& s) {
    frame_time = s.frame_time;
    exit_requested = s.exit_requested;
    seed_rand(s.rand_state);
    beat.instrument6_time.store(s.instrument6_time, kRelaxed);
    beat.flash_time.store(s.flash_time, kRelaxed);
    beat.scene_pick.store(s.scene_pick, kRelaxed);
    beat.scene_pending.store(s.scene_pending, kRelaxed);
    beat.band_index.store(s.band_index, kRelaxed);
    beat.band_odd.store(s.band_odd, kRelaxed);
    beat.band_run.store(s.band_run, kRelaxed);
    snow_fast = s.snow_fast;
    zoom_fade_started = s.zoom_fade_started;
    zoom_fade_start = s.zoom_fade_start;
    set_fade_state(s.fade);
    snowflakes = s.snowflakes;
    scroll_offsets = s.scroll_offsets;
    swirl_phase = s.swirl_phase;
    swirl_twist = s.swirl_twist;
    zoom_center_x = s.zoom_center_x;
    zoom_center_y = s.zoom_center_y;
    zoom_scale_x = s.zoom_scale_x;
    zoom_scale_y = s.zoom_scale_y;
    zoom_shift = s.zoom_shift;
    zoom_col_offsets = s.zoom_col_offsets;
    zoom_row_offsets = s.zoom_row_offsets;
    cam_fov = s.cam_fov;
    cam_tunnel = s.cam_tunnel;
    cam_x = s.cam_x;
    cam_y = s.cam_y;
    cam_z = s.cam_z;
    cam_angle_x = s.cam_angle_x;
    cam_angle_y = s.cam_angle_y;
    cam_angle_z = s.cam_angle_z;
    plane_bounce = s.plane_bounce;
    for (int i = 0; i < kCubeCount; ++i) {
        cubes[i].position = s.cube_positions[i];
        cubes[i].rotation = s.cube_rotations[i];
    }
}

}  // namespace gf
