// Radial zoom blur: smears a frame outward from a moving centre, in place.
// set_zoom_preset picks centre, pull and feedback from a preset code and the
// clock; zoom_blur applies them, working from the centre outward so that each
// sample already carries the smear of the pixels further in.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/cpu_features.h"

namespace gf {

// Preset codes the timeline uses.
constexpr int kZoomPresetIntro = 1;
constexpr int kZoomPresetBand = 2;
constexpr int kZoomPresetSnow = 346;
constexpr int kZoomPresetFade = 3485;

// Parameters, all zero at load (a blur then leaves the frame unchanged).
extern int32_t zoom_center_x;  // centre column minus 160
extern int32_t zoom_center_y;  // centre row minus 100
extern float zoom_scale_x;     // fraction of the distance to the centre column the sample moves
extern float zoom_scale_y;
extern int32_t zoom_shift;  // feedback k: new = (S·(2^k − 1) + old) / 2^k

// Per-column and per-row pull in 24.8 fixed point (bits 8 and up whole
// pixels, bits 0–7 the fraction in 1/256); rebuilt by every zoom_blur.
constexpr int kZoomFractionBits = 8;
extern std::array<int32_t, 320> zoom_col_offsets;
extern std::array<int32_t, 200> zoom_row_offsets;

// Sets the parameters for preset `code` at frame_time, with `t0` as the
// time origin; an unknown code leaves them unchanged.
void set_zoom_preset(uint32_t t0, int code);

// Rebuilds the offset tables and blurs the 320 × 200 buffer in place with
// the parameters set last.
// Parameters that would sample outside the buffer (centre outside
// 1..318 × 1..198, a pull above one pixel per pixel, a shift above 23)
// cannot come from a preset; with them the buffer is left unchanged.
void zoom_blur(uint32_t* buffer);

// Returns true when the current parameters keep every read and write inside the buffer.
bool zoom_parameters_safe();

// zoom_blur in the variants this processor can run (portable first);
// zoom_blur runs the last of them.
using ZoomBlurFn = void(uint32_t* buffer);
std::vector<Variant<ZoomBlurFn>> zoom_blur_variants();

// The same blur without vector instructions.
namespace portable {
void zoom_blur(uint32_t* buffer);
}  // namespace portable

}  // namespace gf
