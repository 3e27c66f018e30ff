// Wireframe renderer for the cube scene. Stored values are 32-bit floats;
// every intermediate is formed in double and rounded once when stored.
#include "mesh/wireframe.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/float_to_int.h"
#include "platform/clock.h"

namespace gf {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kOneOver180 = 0.0055555557f;

// Screen coordinates beyond this magnitude are far off-screen. An edge whose
// end lies beyond it is shortened along its own direction to this distance
// from its start, so the integer coordinates stay small and the edge keeps
// its direction; one whose start lies beyond it would not be drawn anyway.
constexpr double kCoordLimit = 16777216.0;  // 2^24

bool off_screen(int32_t x, int32_t y) {
    return static_cast<uint32_t>(x) >= static_cast<uint32_t>(kScreenWidth) ||
           static_cast<uint32_t>(y) >= static_cast<uint32_t>(kScreenHeight);
}

double radians(float degrees) {
    return (static_cast<double>(kPi) * degrees) * static_cast<double>(kOneOver180);
}

// Draws the edge from vertex i to vertex j of an object whose points have
// been projected. A vertex at or behind the eye (z ≤ 0) has no meaningful
// projection, so an edge that touches one is not drawn.
void draw_edge(const MeshObject& object, int32_t i, int32_t j, uint32_t* buffer) {
    const Vec3& vi = object.transformed_vertices[static_cast<std::size_t>(i)];
    const Vec3& vj = object.transformed_vertices[static_cast<std::size_t>(j)];
    if (!(vi.z > 0.0f) || !(vj.z > 0.0f)) {
        return;
    }
    const Point2& pi = object.projected_points[static_cast<std::size_t>(i)];
    const Point2& pj = object.projected_points[static_cast<std::size_t>(j)];
    const double x0 = pi.x + kScreenCentreX;
    const double y0 = pi.y + kScreenCentreY;
    double x1 = pj.x + kScreenCentreX;
    double y1 = pj.y + kScreenCentreY;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
        return;
    }
    if (std::fabs(x0) > kCoordLimit || std::fabs(y0) > kCoordLimit) {
        return;  // the start is off-screen: the line would draw nothing
    }
    const double span = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
    if (span > kCoordLimit) {
        const double scale = kCoordLimit / span;
        x1 = x0 + (x1 - x0) * scale;
        y1 = y0 + (y1 - y0) * scale;
    }
    draw_line(float_to_int(x0), float_to_int(y0), float_to_int(x1), float_to_int(y1), kWireColour, buffer);
}

}  // namespace

void set_rotation(Matrix3& m, float a, float b, float c) {
    const double ra = radians(a);
    const double rb = radians(b);
    const double rc = radians(c);
    const double sa = std::sin(ra), ca = std::cos(ra);
    const double sb = std::sin(rb), cb = std::cos(rb);
    const double sc = std::sin(rc), cc = std::cos(rc);
    m.m[0] = static_cast<float>(cb * cc);
    m.m[1] = static_cast<float>(cb * sc);
    m.m[2] = static_cast<float>(-sb);
    m.m[3] = static_cast<float>(sa * sb * cc - ca * sc);
    m.m[4] = static_cast<float>(sa * sb * sc + ca * cc);
    m.m[5] = static_cast<float>(sa * cb);
    m.m[6] = static_cast<float>(ca * sb * cc + sa * sc);
    m.m[7] = static_cast<float>(ca * sb * sc - sa * cc);
    m.m[8] = static_cast<float>(ca * cb);
}

void rotate_vec3(Vec3& dst, const Vec3& src, const Matrix3& m) {
    const double x = src.x, y = src.y, z = src.z;
    // Computed in full before storing, so dst may alias src.
    const double rx = m.m[0] * x + m.m[3] * y + m.m[6] * z;
    const double ry = m.m[1] * x + m.m[4] * y + m.m[7] * z;
    const double rz = m.m[2] * x + m.m[5] * y + m.m[8] * z;
    dst.x = static_cast<float>(rx);
    dst.y = static_cast<float>(ry);
    dst.z = static_cast<float>(rz);
}

void translate_vec3(Vec3& v, const Vec3& d) {
    v.x += d.x;
    v.y += d.y;
    v.z += d.z;
}

void transform_mesh(MeshObject& object) {
    for (uint32_t i = 0; i < object.vertex_count; ++i) {
        rotate_vec3(object.transformed_vertices[i], object.source_vertices[i], object.rotation);
        translate_vec3(object.transformed_vertices[i], object.position);
    }
}

Point2 project_point(const Vec3& v) {
    // No near-plane test here: z ≤ 0 gives an infinite, NaN or mirrored point,
    // which draw_mesh refuses to draw from.
    Point2 p;
    p.x = static_cast<float>((v.x * kProjectionScale) / v.z);
    p.y = static_cast<float>((v.y * kProjectionScale) / v.z);
    return p;
}

void draw_mesh(MeshObject& object, uint32_t* buffer) {
    for (uint32_t i = 0; i < object.vertex_count; ++i) {
        object.projected_points[i] = project_point(object.transformed_vertices[i]);
    }
    // Every face draws its three edges, so an edge shared by two faces is
    // drawn twice, possibly in opposite directions.
    for (uint32_t f = 0; f < object.face_count; ++f) {
        const MeshFace& face = object.faces[f];
        draw_edge(object, face.a, face.b, buffer);
        draw_edge(object, face.b, face.c, buffer);
        draw_edge(object, face.c, face.a, buffer);
    }
}

void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, uint32_t* buffer) {
    // Differences and the error term in 64 bits: any pair of 32-bit end
    // points is safe, however far apart.
    const int64_t dx = std::llabs(static_cast<int64_t>(x1) - x0);
    const int64_t dy = std::llabs(static_cast<int64_t>(y1) - y0);
    const int32_t sx = x0 < x1 ? 1 : -1;
    const int32_t sy = y0 < y1 ? 1 : -1;
    // A line is drawn only from an on-screen start, and it stops at the first
    // step that leaves the screen: the point being stepped always starts on
    // screen, so the bounds test per step is the only clipping, and a line
    // reaches the edge within 320 steps however far its end lies.
    if (off_screen(x0, y0)) {
        return;
    }
    int32_t x = x0;
    int32_t y = y0;
    buffer[y * kScreenWidth + x] = colour;
    if (dx > dy) {
        int64_t e = 2 * dy - dx;
        for (;;) {
            if (e >= 0) {
                y += sy;
                e += 2 * dy - 2 * dx;
            } else {
                e += 2 * dy;
            }
            x += sx;
            if (off_screen(x, y)) {
                return;
            }
            buffer[y * kScreenWidth + x] = colour;
            if (x == x1) {
                return;
            }
        }
    }
    if (y0 == y1) {
        return;  // a single point
    }
    int64_t e = 2 * dx - dy;
    for (;;) {
        if (e >= 0) {
            x += sx;
            e += 2 * dx - 2 * dy;
        } else {
            e += 2 * dx;
        }
        y += sy;
        if (off_screen(x, y)) {
            return;
        }
        buffer[y * kScreenWidth + x] = colour;
        if (y == y1) {
            return;
        }
    }
}

void draw_cubes(uint32_t* buffer) {
    for (int k = 0; k < kCubeCount; ++k) {
        MeshObject& cube = cubes[k];
        const double kd = k;
        // Seven separate clock reads, in this order; each drives one quantity.
        const double t1 = time_get_time();
        cube.position.x = static_cast<float>(std::sin((t1 * kd) * 0.002) * 50.0);
        const double t2 = time_get_time();
        cube.position.y = static_cast<float>(std::sin((t2 * kd) * 0.003) * 50.0);
        const double t3 = time_get_time();
        cube.position.x = static_cast<float>(std::sin(t3 * 0.003) * 80.0 + cube.position.x);
        const double t4 = time_get_time();
        cube.position.z = static_cast<float>(std::sin((t4 * kd) * 0.003) * 100.0 + 300.0);
        const double t5 = time_get_time();
        const auto c = static_cast<float>(t5 * 0.06);
        const double t6 = time_get_time();
        const auto b = static_cast<float>(t6 * 0.08);
        const double t7 = time_get_time();
        const auto a = static_cast<float>(t7 * 0.04);
        set_rotation(cube.rotation, a, b, c);
        transform_mesh(cube);
        draw_mesh(cube, buffer);
    }
}

}  // namespace gf
