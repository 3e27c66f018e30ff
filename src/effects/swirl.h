// Swirl: draws a 320 × 200 picture through a warp that turns each pixel's
// source by an angle depending on its distance from the centre and on a
// clock phase. All trigonometry comes from integer tables built by
// init_swirl and animate_swirl; draw_swirl is integer-only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/cpu_features.h"

namespace gf {

constexpr int kSwirlAngleSteps = 512;     // one full turn of the sine tables
constexpr int kSwirlAngleMask = 0x1FF;    // index & 0x1FF on the two's-complement value
constexpr int kSwirlTwistEntries = 5120;  // one entry per radius value (radii 0 … 4830)
constexpr int kSwirlRadiusEntries = 320 * 200;

// sin and cos of i·0.703125°, times 256, truncated: −256 … 256.
extern std::array<int32_t, kSwirlAngleSteps> swirl_sin;
extern std::array<int32_t, kSwirlAngleSteps> swirl_cos;
// Per destination pixel: distance from (160, 100) times 25.6, truncated.
// On the heap, allocated before the program's entry; null after free_swirl.
extern int32_t* swirl_radius;
// Per radius value: the twist in 16.16 fixed point.
extern std::array<int32_t, kSwirlTwistEntries> swirl_twist;
// Clock phase in table steps: frame_time·0.22563, truncated.
extern int32_t swirl_phase;

// Allocates swirl_radius (runs during static initialisation; harmless to call again).
void alloc_swirl_radius();
// Fills every table (full-strength twist) and the phase from frame_time.
void init_swirl();
// Updates the phase and the twist table from frame_time.
void animate_swirl();
// Writes all 64000 pixels of dst from the 320 × 200 picture `image`.
// Does nothing when the radius table is not allocated.
void draw_swirl(uint32_t* dst, const uint32_t* image);
// draw_swirl in the variants this processor can run (portable first);
// draw_swirl runs the last of them.
using DrawSwirlFn = void(uint32_t* dst, const uint32_t* image);
std::vector<Variant<DrawSwirlFn>> draw_swirl_variants();
// The same warp without vector instructions.
namespace portable {
void draw_swirl(uint32_t* dst, const uint32_t* image);
}  // namespace portable
// Releases swirl_radius.
void free_swirl();

}  // namespace gf
