// Wireframe renderer for the cube scene. Stored values are 32-bit floats;
// every intermediate is formed in double and rounded once when stored.
#include "mesh/wireframe.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "common/float_to_int.h"
#include "common/trig.h"
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

double radians(float degrees) { return (static_cast<double>(kPi) * degrees) * static_cast<double>(kOneOver180); }

// Where projected point p of a vertex at depth z lands: X = x + 160 and
// Y = y + 100, truncated toward zero. A vertex at or behind the eye (z ≤ 0)
// has no meaningful projection and a non-finite point has none at all; both
// are hidden. Points beyond kCoordLimit are marked far.
ScreenPoint place_on_screen(const Point2& p, float z) {
    ScreenPoint s;
    const double x = p.x + kScreenCentreX;
    const double y = p.y + kScreenCentreY;
    if (!(z > 0.0f) || !std::isfinite(x) || !std::isfinite(y)) {
        s.kind = ScreenPoint::kHidden;
    } else if (std::fabs(x) > kCoordLimit || std::fabs(y) > kCoordLimit) {
        s.kind = ScreenPoint::kFar;
    } else {
        s.kind = ScreenPoint::kOnPlane;
        s.x = float_to_int(x);
        s.y = float_to_int(y);
    }
    return s;
}

// An edge with a far end: its start must be within reach (a far start is
// off-screen, so the line would draw nothing), and its end is pulled in
// along the edge to kCoordLimit from the start.
void draw_far_edge(const MeshObject& object, int32_t i, int32_t j, uint32_t* buffer) {
    const Point2& pi = object.projected_points[static_cast<std::size_t>(i)];
    const Point2& pj = object.projected_points[static_cast<std::size_t>(j)];
    const double x0 = pi.x + kScreenCentreX;
    const double y0 = pi.y + kScreenCentreY;
    double x1 = pj.x + kScreenCentreX;
    double y1 = pj.y + kScreenCentreY;
    const double span = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
    if (span > kCoordLimit) {
        const double scale = kCoordLimit / span;
        x1 = x0 + (x1 - x0) * scale;
        y1 = y0 + (y1 - y0) * scale;
    }
    draw_line(float_to_int(x0), float_to_int(y0), float_to_int(x1), float_to_int(y1), kWireColour, buffer);
}

void draw_edge(const MeshObject& object, int32_t i, int32_t j, uint32_t* buffer) {
    const ScreenPoint& a = object.screen_points[static_cast<std::size_t>(i)];
    const ScreenPoint& b = object.screen_points[static_cast<std::size_t>(j)];
    if (a.kind == ScreenPoint::kOnPlane && b.kind == ScreenPoint::kOnPlane) {
        draw_line(a.x, a.y, b.x, b.y, kWireColour, buffer);
    } else if (a.kind == ScreenPoint::kOnPlane && b.kind == ScreenPoint::kFar) {
        draw_far_edge(object, i, j, buffer);
    }
    // A hidden end, or a far start: nothing is drawn.
}

}  // namespace

void set_rotation(Matrix3& m, float a, float b, float c) {
    const double ra = radians(a);
    const double rb = radians(b);
    const double rc = radians(c);
    const double sa = gf::sin(ra), ca = gf::cos(ra);
    const double sb = gf::sin(rb), cb = gf::cos(rb);
    const double sc = gf::sin(rc), cc = gf::cos(rc);
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
        object.screen_points[i] = place_on_screen(object.projected_points[i], object.transformed_vertices[i].z);
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

namespace {

// The Bresenham walk of a line whose ends are both on screen: every point lies
// between them, so no step needs a bounds test and the differences fit 32 bits.
// Few live values and the major step a constant keep the error term in a
// register in the browser's compiler too (the general walk's 64-bit one is
// kept on the stack there).
template <int32_t kMajorStep>
void walk_on_screen(uint32_t* at, int32_t major, int32_t minor, int32_t minor_step, uint32_t colour) {
    int32_t e = 2 * minor - major;
    const int32_t diagonal = 2 * minor - 2 * major;
    const int32_t straight = 2 * minor;
    for (int32_t i = 0; i < major; ++i) {
        const bool step_minor = e >= 0;
        e += step_minor ? diagonal : straight;
        at += kMajorStep + (step_minor ? minor_step : 0);
        *at = colour;
    }
}

// draw_line for two on-screen ends: the same points as the general walk.
void draw_line_on_screen(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, uint32_t* buffer) {
    const int32_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
    const int32_t dy = y1 > y0 ? y1 - y0 : y0 - y1;
    const int32_t sx = x0 < x1 ? 1 : -1;
    const int32_t row_step = y0 < y1 ? kScreenWidth : -kScreenWidth;
    uint32_t* at = buffer + y0 * kScreenWidth + x0;
    *at = colour;
    if (dx > dy) {
        if (sx > 0) {
            walk_on_screen<1>(at, dx, dy, row_step, colour);
        } else {
            walk_on_screen<-1>(at, dx, dy, row_step, colour);
        }
    } else if (y0 != y1) {
        if (row_step > 0) {
            walk_on_screen<kScreenWidth>(at, dy, dx, sx, colour);
        } else {
            walk_on_screen<-kScreenWidth>(at, dy, dx, sx, colour);
        }
    }
}

}  // namespace

void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, uint32_t* buffer) {
    // A line is drawn only from an on-screen start, and it stops at the first
    // step that leaves the screen, without plotting that point. Every step
    // moves one pixel along the major axis, so the steps left before the
    // major axis leaves the screen are known up front and only the minor
    // axis is tested per pixel; a line reaches the edge within 320 steps
    // however far its end lies. Differences and the error term are 64-bit,
    // so any pair of 32-bit end points is safe.
    if (off_screen(x0, y0)) {
        return;
    }
    if (!off_screen(x1, y1)) {
        draw_line_on_screen(x0, y0, x1, y1, colour, buffer);
        return;
    }
    const int64_t dx = std::llabs(static_cast<int64_t>(x1) - x0);
    const int64_t dy = std::llabs(static_cast<int64_t>(y1) - y0);
    const int32_t sx = x0 < x1 ? 1 : -1;
    const int32_t sy = y0 < y1 ? 1 : -1;
    // An index rather than a pointer: after the step that leaves the screen
    // it may lie outside the buffer, and it is never used then.
    std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y0) * kScreenWidth + x0;
    buffer[at] = colour;
    if (dx > dy) {
        // x-major: stop after dx steps (x = x1) or when x would leave the screen.
        const int64_t room = sx > 0 ? kScreenWidth - 1 - x0 : x0;
        const int64_t steps = std::min(dx, room);
        const std::ptrdiff_t row_step = sy * kScreenWidth;
        int64_t e = 2 * dy - dx;
        int32_t y = y0;
        for (int64_t i = 0; i < steps; ++i) {
            const bool minor = e >= 0;
            e += minor ? 2 * dy - 2 * dx : 2 * dy;
            y += minor ? sy : 0;
            at += sx + (minor ? row_step : 0);
            if (static_cast<uint32_t>(y) >= static_cast<uint32_t>(kScreenHeight)) {
                return;
            }
            buffer[at] = colour;
        }
        return;
    }
    if (y0 == y1) {
        return;  // a single point
    }
    // y-major (the exact diagonal included): stop after dy steps or when y would leave.
    const int64_t room = sy > 0 ? kScreenHeight - 1 - y0 : y0;
    const int64_t steps = std::min(dy, room);
    const std::ptrdiff_t row_step = sy * kScreenWidth;
    int64_t e = 2 * dx - dy;
    int32_t x = x0;
    for (int64_t i = 0; i < steps; ++i) {
        const bool minor = e >= 0;
        e += minor ? 2 * dx - 2 * dy : 2 * dx;
        x += minor ? sx : 0;
        at += row_step + (minor ? sx : 0);
        if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(kScreenWidth)) {
            return;
        }
        buffer[at] = colour;
    }
}

void draw_cubes(uint32_t* buffer) {
    for (int k = 0; k < kCubeCount; ++k) {
        MeshObject& cube = cubes[k];
        const double kd = k;
        // Seven separate clock reads, in this order; each drives one quantity.
        const double t1 = time_get_time();
        cube.position.x = static_cast<float>(gf::sin((t1 * kd) * 0.002) * 50.0);
        const double t2 = time_get_time();
        cube.position.y = static_cast<float>(gf::sin((t2 * kd) * 0.003) * 50.0);
        const double t3 = time_get_time();
        cube.position.x = static_cast<float>(gf::sin(t3 * 0.003) * 80.0 + cube.position.x);
        const double t4 = time_get_time();
        cube.position.z = static_cast<float>(gf::sin((t4 * kd) * 0.003) * 100.0 + 300.0);
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
