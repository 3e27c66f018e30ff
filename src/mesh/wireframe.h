// Wireframe renderer: animates the five cubes from the millisecond clock,
// rotates, translates and projects their vertices onto the 320 × 200 screen
// centred at (160, 100), and draws every face's three edges as white
// Bresenham lines that stop at the screen edge.
#pragma once

#include <cstdint>

#include "common/types.h"
#include "mesh/mesh_object.h"

namespace gf {

constexpr uint32_t kWireColour = 0xFFFFFF;
constexpr double kProjectionScale = 256.0;
constexpr double kScreenCentreX = 160.0;
constexpr double kScreenCentreY = 100.0;

// The rotation by angles a, b, c in degrees (about x, y and z).
void set_rotation(Matrix3& m, float a, float b, float c);
// dst = src as a row vector times m.
void rotate_vec3(Vec3& dst, const Vec3& src, const Matrix3& m);
void translate_vec3(Vec3& v, const Vec3& d);
// transformed vertex i = source vertex i · rotation + position, for every vertex.
void transform_mesh(MeshObject& object);
// Perspective divide: (x · 256 / z, y · 256 / z), relative to the screen centre.
Point2 project_point(const Vec3& v);
// Projects every transformed vertex and draws the three edges of every face.
// Edges touching a vertex at z ≤ 0 or with a non-finite projection are left out.
void draw_mesh(MeshObject& object, uint32_t* buffer);
// Bresenham line into a 320 × 200 buffer. Draws nothing when the start is
// off-screen; otherwise stops at the last on-screen point or at the end.
void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, uint32_t* buffer);
// Animates cubes[0..4] from the clock (seven reads per cube) and draws them.
void draw_cubes(uint32_t* buffer);

}  // namespace gf
