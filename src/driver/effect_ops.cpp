// The table of the real effect operations, as the program runs them.
#include <cstring>

#include "driver/timeline.h"
#include "effects/noise_snow.h"
#include "effects/primitives.h"
#include "effects/swirl.h"
#include "effects/zoom_blur.h"
#include "mesh/mesh_object.h"
#include "mesh/wireframe.h"
#include "raycast/ray_grid.h"
#include "raycast/tunnel_camera.h"

namespace gf {

namespace {

// Named entries, so that two entries of the same type cannot change places unseen.
const EffectOps s_real_ops = {
    .copy_frame = copy_frame,
    .add_saturate = add_saturate,
    .fill_flash = fill_flash,
    .invert_frame = invert_frame,
    .update_scroll_offsets = update_scroll_offsets,
    .blit_scrolled = blit_scrolled,
    .blit_band = blit_band,
    .blur5 = blur5,
    .clear_frame = [](uint32_t* buf) { std::memset(buf, 0, kFrameBytes); },
    .set_zoom_preset = set_zoom_preset,
    .zoom_blur = zoom_blur,
    .init_swirl = init_swirl,
    .animate_swirl = animate_swirl,
    .draw_swirl = draw_swirl,
    .free_swirl = free_swirl,
    .init_noise = init_noise,
    .draw_noise = draw_noise,
    .init_snow = init_snow,
    .draw_snow = draw_snow,
    .fall_snow = fall_snow,
    .render_ray_grid = render_ray_grid,
    .reset_tunnel_camera = reset_tunnel_camera,
    .animate_tunnel_camera = animate_tunnel_camera,
    .validate_mesh_file = validate_mesh_file,
    .load_cubes = load_cubes,
    .free_cubes = free_cubes,
    .draw_cubes = draw_cubes,
};

}  // namespace

const EffectOps& real_effect_ops() { return s_real_ops; }

}  // namespace gf
