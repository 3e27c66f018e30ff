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

// Thin wrappers give every entry the table's exact signature.
void op_copy_frame(uint32_t* dst, const uint32_t* src, uint32_t bytes) { copy_frame(dst, src, bytes); }
void op_add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) { add_saturate(dst, a, b); }
void op_fill_flash(uint32_t* buf, uint32_t hit_time) { fill_flash(buf, hit_time); }
void op_invert_frame(uint32_t* buf) { invert_frame(buf); }
void op_update_scroll_offsets(uint32_t base) { update_scroll_offsets(base); }
void op_blit_scrolled(uint32_t* dst, const uint32_t* picture, int selector) { blit_scrolled(dst, picture, selector); }
void op_blit_band(uint32_t* dst, const uint32_t* picture, uint32_t band) { blit_band(dst, picture, band); }
void op_blur5(const uint32_t* src, uint32_t* dst) { blur5(src, dst); }
void op_clear_frame(uint32_t* buf) { std::memset(buf, 0, kFrameBytes); }
void op_set_zoom_preset(uint32_t t0, int code) { set_zoom_preset(t0, code); }
void op_zoom_blur(uint32_t* buf) { zoom_blur(buf); }
void op_init_swirl() { init_swirl(); }
void op_animate_swirl() { animate_swirl(); }
void op_draw_swirl(uint32_t* dst, const uint32_t* image) { draw_swirl(dst, image); }
void op_free_swirl() { free_swirl(); }
void op_init_noise() { init_noise(); }
void op_draw_noise(uint32_t* buf) { draw_noise(buf); }
void op_init_snow() { init_snow(); }
void op_draw_snow(uint32_t* buf) { draw_snow(buf); }
void op_fall_snow(uint32_t fast) { fall_snow(fast); }
void op_render_ray_grid(uint32_t* dst, const uint32_t* texture) { render_ray_grid(dst, texture); }
void op_reset_tunnel_camera() { reset_tunnel_camera(); }
void op_animate_tunnel_camera(uint32_t hit_time, int mode) { animate_tunnel_camera(hit_time, mode); }
std::string op_validate_mesh_file(const std::string& path) { return validate_mesh_file(path); }
void op_load_cubes(const std::string& path) { load_cubes(path); }
void op_free_cubes() { free_cubes(); }
void op_draw_cubes(uint32_t* buf) { draw_cubes(buf); }

const EffectOps s_real_ops = {
    op_copy_frame,
    op_add_saturate,
    op_fill_flash,
    op_invert_frame,
    op_update_scroll_offsets,
    op_blit_scrolled,
    op_blit_band,
    op_blur5,
    op_clear_frame,
    op_set_zoom_preset,
    op_zoom_blur,
    op_init_swirl,
    op_animate_swirl,
    op_draw_swirl,
    op_free_swirl,
    op_init_noise,
    op_draw_noise,
    op_init_snow,
    op_draw_snow,
    op_fall_snow,
    op_render_ray_grid,
    op_reset_tunnel_camera,
    op_animate_tunnel_camera,
    op_validate_mesh_file,
    op_load_cubes,
    op_free_cubes,
    op_draw_cubes,
};

}  // namespace

const EffectOps& real_effect_ops() { return s_real_ops; }

}  // namespace gf
