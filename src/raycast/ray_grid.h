// Ray-cast tunnel and planes: rays are traced at a coarse 41 × 26 grid (one
// every 8 pixels), and texture coordinates and a distance shade are
// interpolated in fixed point across each 8 × 8 block of the 320 × 200 frame.
#pragma once

#include <cstdint>
#include <vector>

#include "common/cpu_features.h"
#include "common/types.h"

namespace gf {

// RayCamera: read by the renderer, written each frame by the tunnel camera.
extern float cam_fov;       // screen offset in pixels / cam_fov = ray slope; larger is narrower
extern int32_t cam_tunnel;  // nonzero: trace the cylinder; zero: trace the planes
extern float cam_x;         // tunnel: offset from the axis; planes: added to the hit x
extern float cam_y;         // tunnel: offset from the axis; planes: subtracted from the plane distance
extern float cam_z;         // travel depth, added to the hit z
extern float cam_angle_x;   // view rotations in degrees, applied x, then y, then z
extern float cam_angle_y;
extern float cam_angle_z;
extern int32_t plane_bounce;  // added to the plane distance (planes only)

// Grid geometry: grid column j sits at screen x = 8·j (j = 0..40), row i at
// y = 8·i (i = 0..25); the last column and row lie one step beyond the frame.
constexpr int kRayBlockShift = 3;
constexpr int kRayBlockSize = 1 << kRayBlockShift;          // 8 × 8 pixel blocks
constexpr int kRayBlocksX = kScreenWidth / kRayBlockSize;   // 40
constexpr int kRayBlocksY = kScreenHeight / kRayBlockSize;  // 25
constexpr int kRayGridColumns = kRayBlocksX + 1;            // 41
constexpr int kRayGridRows = kRayBlocksY + 1;               // 26

// Fixed-point formats of the grid values.
constexpr int kTexCoordShift = 16;      // u and v are 16.16; bits 16–23 pick the texel
constexpr int kTextureSize = 256;       // the texture is 256 × 256, 256 texels a row
constexpr int kShadeShift = 11;         // a grid shade is a level 0..256 shifted left by 11
constexpr int kShadeProductShift = 19;  // texel channel · shade >> 19 = channel · level / 256

// The three values traced at every grid point, indexed [column][row].
struct RayGrid {
    int32_t u[kRayGridColumns][kRayGridRows];
    int32_t v[kRayGridColumns][kRayGridRows];
    int32_t shade[kRayGridColumns][kRayGridRows];
};

// Rotate v in place about one axis by `degrees` and return it.
Vec3& rotate_x(Vec3& v, float degrees);
Vec3& rotate_y(Vec3& v, float degrees);
Vec3& rotate_z(Vec3& v, float degrees);

// Scales v to length 1; a zero vector is left unchanged.
void normalize_vec3(Vec3& v);

// 1.0 for f > 0, otherwise −1.0 (0 and NaN included).
float unit_sign(float f);

// Trace the ray through screen point (x, y) into the cylinder of radius 4096
// around the z axis, or into the planes above and below the camera. A ray
// with no hit gives u = v = shade = 0.
void trace_tunnel(int x, int y, int32_t& u, int32_t& v, int32_t& shade);
void trace_planes(int x, int y, int32_t& u, int32_t& v, int32_t& shade);

// Grid pass: traces all 41 × 26 grid points with the current camera.
// Runs the last of trace_ray_grid_variants.
void trace_ray_grid(RayGrid& grid);

// The grid pass in the variants this processor can run (portable first); all
// trace the same values.
using TraceRayGridFn = void(RayGrid& grid);
std::vector<Variant<TraceRayGridFn>> trace_ray_grid_variants();

// Block pass: fills all 320 × 200 pixels of dst from the grid, each pixel one
// texel of the 256 × 256 texture darkened by the interpolated shade.
// Runs the last of draw_ray_grid_variants.
void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid);

// The block pass in the variants this processor can run (portable first); all
// give the same pixels.
using DrawRayGridFn = void(uint32_t* dst, const uint32_t* texture, const RayGrid& grid);
std::vector<Variant<DrawRayGridFn>> draw_ray_grid_variants();

// The same pass without vector instructions.
namespace portable {
void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid);
}  // namespace portable

// Both passes: the tunnel (cam_tunnel nonzero) or the planes into dst.
void render_ray_grid(uint32_t* dst, const uint32_t* texture);

}  // namespace gf
