// Everything the show carries from one frame to the next in its module-wide
// state, outside the pictures it draws into and the music: the clock of the
// last frame, the random sequence, the beat state, the timeline's latches and
// each effect's moving parameters. A seek saves it at checkpoints and puts it
// back, so that the show can go on from a checkpoint as if it had run to it.
// Tables that only start-up fills (noise, swirl angles and radii, the meshes'
// vertices) are not part of it.
#pragma once

#include <array>
#include <cstdint>

#include "common/types.h"
#include "driver/timeline.h"
#include "effects/noise_snow.h"
#include "effects/primitives.h"
#include "effects/swirl.h"
#include "mesh/mesh_object.h"

namespace gf {

struct ShowState {
    // Frame globals and the one random generator.
    uint32_t frame_time = 0;
    uint32_t exit_requested = 0;
    uint32_t rand_state = 0;
    // Beat state (the sync handles stay as registered).
    uint32_t instrument6_time = 0;
    uint32_t flash_time = 0;
    int32_t scene_pick = 0;
    uint32_t scene_pending = 0;
    uint32_t band_index = 0;
    uint32_t band_odd = 0;
    uint32_t band_run = 0;
    // Timeline.
    uint32_t snow_fast = 0;
    uint32_t zoom_fade_started = 0;
    uint32_t zoom_fade_start = 0;
    FadeState fade;
    // Effects.
    std::array<Snowflake, kSnowflakeCount> snowflakes{};
    std::array<int32_t, kScrollOffsetCount> scroll_offsets{};
    int32_t swirl_phase = 0;
    std::array<int32_t, kSwirlTwistEntries> swirl_twist{};
    int32_t zoom_center_x = 0;
    int32_t zoom_center_y = 0;
    float zoom_scale_x = 0.0f;
    float zoom_scale_y = 0.0f;
    int32_t zoom_shift = 0;
    std::array<int32_t, kScreenWidth> zoom_col_offsets{};
    std::array<int32_t, kScreenHeight> zoom_row_offsets{};
    float cam_fov = 0.0f;
    int32_t cam_tunnel = 0;
    float cam_x = 0.0f;
    float cam_y = 0.0f;
    float cam_z = 0.0f;
    float cam_angle_x = 0.0f;
    float cam_angle_y = 0.0f;
    float cam_angle_z = 0.0f;
    int32_t plane_bounce = 0;
    std::array<Vec3, kCubeCount> cube_positions{};
    std::array<Matrix3, kCubeCount> cube_rotations{};
};

ShowState save_show_state();
void restore_show_state(const ShowState& state);

}  // namespace gf
