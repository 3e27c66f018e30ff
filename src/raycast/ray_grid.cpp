// Ray grid renderer: view rays, the cylinder and plane tracers, and the
// grid and block passes. Values that the design keeps as 32-bit floats are
// rounded to float where they are stored; everything else is double.
#include "raycast/ray_grid.h"

#include <cassert>
#include <cmath>

#include "common/float_to_int.h"

namespace gf {

float cam_fov = 160.0f;
int32_t cam_tunnel = 1;
float cam_x = 0.0f;
float cam_y = 0.0f;
float cam_z = 0.0f;
float cam_angle_x = 0.0f;
float cam_angle_y = 0.0f;
float cam_angle_z = 0.0f;
int32_t plane_bounce = 0;

namespace {

constexpr double kRadiansPerDegree = 0.01745329252;

// Cylinder x² + y² = 4096².
constexpr double kTunnelRadiusSquared = 16777216.0;
// 128 / 3.1415926536: a half turn around the cylinder spans 128 texel columns.
constexpr double kTunnelAngleToTexels = 40.743665431392834;
constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16
// 0.009 · 65536: one texel row every 111.1 units of depth.
constexpr double kTunnelDepthScale = 589.824;
constexpr double kTunnelFullShade = 255.0;
constexpr double kTunnelShadeFalloff = 1.5;

constexpr int32_t kPlaneDistance = 4096;
// 0.02 · 65536: one texel every 50 units on the planes.
constexpr double kPlaneScale = 1310.72;
constexpr double kPlaneFullShade = 256.0;
constexpr double kPlaneShadeFalloff = 1.2;

constexpr int kCenterX = kScreenWidth / 2;   // 160
constexpr int kCenterY = kScreenHeight / 2;  // 100

// Sine and cosine of one rotation angle.
struct Rotation {
    double sin;
    double cos;
};

Rotation rotation_for(float degrees) {
    const double radians = static_cast<double>(degrees) * kRadiansPerDegree;
    return {std::sin(radians), std::cos(radians)};
}

// Each rotation computes both new components from the old ones before storing either.
void apply_rotate_x(Vec3& v, const Rotation& r) {
    const double y = v.y;
    const double z = v.z;
    v.y = static_cast<float>(y * r.cos - z * r.sin);
    v.z = static_cast<float>(y * r.sin + z * r.cos);
}

void apply_rotate_y(Vec3& v, const Rotation& r) {
    const double x = v.x;
    const double z = v.z;
    v.x = static_cast<float>(x * r.cos + z * r.sin);
    v.z = static_cast<float>(z * r.cos - x * r.sin);
}

void apply_rotate_z(Vec3& v, const Rotation& r) {
    const double x = v.x;
    const double y = v.y;
    v.x = static_cast<float>(x * r.cos - y * r.sin);
    v.y = static_cast<float>(x * r.sin + y * r.cos);
}

// The camera as the tracers read it, with the sines and cosines of its three
// angles worked out once per frame instead of once per ray.
struct ViewCamera {
    double fov;
    Rotation rx;
    Rotation ry;
    Rotation rz;
    float x;
    float y;
    float z;
    int32_t bounce;
};

ViewCamera current_camera() {
    return {cam_fov, rotation_for(cam_angle_x), rotation_for(cam_angle_y), rotation_for(cam_angle_z),
            cam_x,   cam_y,                      cam_z,                      plane_bounce};
}

Vec3 make_view_ray(const ViewCamera& cam, int x, int y) {
    Vec3 d;
    d.x = static_cast<float>(static_cast<double>(x - kCenterX) / cam.fov);
    d.y = static_cast<float>(static_cast<double>(y - kCenterY) / cam.fov);
    d.z = 1.0f;
    apply_rotate_x(d, cam.rx);
    apply_rotate_y(d, cam.ry);
    apply_rotate_z(d, cam.rz);
    normalize_vec3(d);
    return d;
}

// A shade level from its falloff formula. A level at or below 0 (the hit is
// beyond the far distance) or NaN (no hit, or a negative distance) is black;
// testing the sign before converting keeps a very far hit black instead of
// letting the 32-bit wrap of the conversion turn it into a bright level.
int32_t shade_level(double level) {
    if (!(level > 0.0)) {
        return 0;
    }
    return float_to_int(level) << kShadeShift;
}

struct GridValue {
    int32_t u;
    int32_t v;
    int32_t shade;
};

GridValue tunnel_ray(const ViewCamera& cam, int x, int y) {
    const Vec3 d = make_view_ray(cam, x, y);
    const double dx = d.x;
    const double dy = d.y;
    const double cx = cam.x;
    const double cy = cam.y;

    // Solve |c + t·d|² = r² in the xy plane; a miss or a ray along the axis
    // yields NaN, which every conversion below turns into 0.
    const double qa = static_cast<float>(dx * dx + dy * dy);
    const double qb = 2.0 * (cx * dx + cy * dy);
    const double qc = cx * cx + cy * cy - kTunnelRadiusSquared;
    const double s = std::sqrt(qb * qb - 4.0 * qa * qc);
    const float t1 = static_cast<float>((-qb - s) / (2.0 * qa));
    const float t2 = static_cast<float>((s - qb) / (2.0 * qa));
    const double t = t2 > t1 ? t2 : t1;  // the far root; unordered keeps t1

    const float hx = static_cast<float>(t * dx + cx);
    const float hy = static_cast<float>(t * dy + cy);
    const float hz = static_cast<float>(t * static_cast<double>(d.z) + static_cast<double>(cam.z));

    GridValue g;
    // |angle| folds both half-turns onto columns 0..128, mirrored about +x.
    g.u = float_to_int(std::fabs(std::atan2(static_cast<double>(hy), static_cast<double>(hx)) *
                                 kTunnelAngleToTexels) *
                       kFixedOne);
    g.v = float_to_int(std::fabs(static_cast<double>(hz)) * kTunnelDepthScale);
    g.shade = shade_level(kTunnelFullShade - std::sqrt(t) * kTunnelShadeFalloff);
    return g;
}

GridValue planes_ray(const ViewCamera& cam, int x, int y) {
    const Vec3 d = make_view_ray(cam, x, y);
    // The sum wraps in 32 bits like the integer it is.
    const int32_t level = static_cast<int32_t>(static_cast<uint32_t>(cam.bounce) + static_cast<uint32_t>(kPlaneDistance));
    const double distance = static_cast<double>(level) - static_cast<double>(cam.y);
    // D / |d.y|: the plane above for rays going up, the one below otherwise.
    // d.y = 0 gives an infinite or NaN t, which converts to 0.
    const double t = static_cast<double>(unit_sign(d.y)) * distance / static_cast<double>(d.y);

    const float hx = static_cast<float>(t * static_cast<double>(d.x) + static_cast<double>(cam.x));
    const float hz = static_cast<float>(t * static_cast<double>(d.z) + static_cast<double>(cam.z));

    GridValue g;
    g.u = float_to_int(std::fabs(static_cast<double>(hx)) * kPlaneScale);
    // The 255 is a fraction of a texel in 16.16; rows run backwards as |hz| grows.
    g.v = float_to_int(255.0 - std::fabs(static_cast<double>(hz)) * kPlaneScale);
    g.shade = shade_level(kPlaneFullShade - std::sqrt(t) * kPlaneShadeFalloff);
    return g;
}

// The difference of two 16.16 values over 8 pixels, in 32-bit two's complement
// with an arithmetic (flooring) shift, so wrapped coordinates step without a seam.
inline uint32_t block_step(uint32_t from, uint32_t to) {
    return static_cast<uint32_t>(static_cast<int32_t>(to - from) >> kRayBlockShift);
}

// One channel (at bit `shift`) of a texel scaled by a shade: X · s >> 19.
inline uint32_t shade_channel(uint32_t texel, int shift, uint32_t shade) {
    const uint32_t product = ((texel >> shift) & 0xFFu) * shade;
    return (static_cast<uint32_t>(static_cast<int32_t>(product) >> kShadeProductShift) & 0xFFu) << shift;
}

}  // namespace

Vec3& rotate_x(Vec3& v, float degrees) {
    apply_rotate_x(v, rotation_for(degrees));
    return v;
}

Vec3& rotate_y(Vec3& v, float degrees) {
    apply_rotate_y(v, rotation_for(degrees));
    return v;
}

Vec3& rotate_z(Vec3& v, float degrees) {
    apply_rotate_z(v, rotation_for(degrees));
    return v;
}

void normalize_vec3(Vec3& v) {
    const double x = v.x;
    const double y = v.y;
    const double z = v.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length != 0.0) {
        v.x = static_cast<float>(x / length);
        v.y = static_cast<float>(y / length);
        v.z = static_cast<float>(z / length);
    }
}

float unit_sign(float f) { return f > 0.0f ? 1.0f : -1.0f; }

void trace_tunnel(int x, int y, int32_t& u, int32_t& v, int32_t& shade) {
    const GridValue g = tunnel_ray(current_camera(), x, y);
    u = g.u;
    v = g.v;
    shade = g.shade;
}

void trace_planes(int x, int y, int32_t& u, int32_t& v, int32_t& shade) {
    const GridValue g = planes_ray(current_camera(), x, y);
    u = g.u;
    v = g.v;
    shade = g.shade;
}

void trace_ray_grid(RayGrid& grid) {
    const ViewCamera cam = current_camera();
    const bool tunnel = cam_tunnel != 0;
    for (int i = 0; i < kRayGridRows; ++i) {
        for (int j = 0; j < kRayGridColumns; ++j) {
            const int x = j * kRayBlockSize;
            const int y = i * kRayBlockSize;
            const GridValue g = tunnel ? tunnel_ray(cam, x, y) : planes_ray(cam, x, y);
            grid.u[j][i] = g.u;
            grid.v[j][i] = g.v;
            grid.shade[j][i] = g.shade;
        }
    }
}

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    assert(dst != nullptr && texture != nullptr);
    // All interpolation is in uint32_t so that wrapped coordinates add modulo
    // 2^32; only the steps are taken as signed, for the arithmetic shift.
    for (int by = 0; by < kRayBlocksY; ++by) {
        for (int bx = 0; bx < kRayBlocksX; ++bx) {
            uint32_t left_u = static_cast<uint32_t>(grid.u[bx][by]);
            uint32_t left_v = static_cast<uint32_t>(grid.v[bx][by]);
            uint32_t left_s = static_cast<uint32_t>(grid.shade[bx][by]);
            uint32_t right_u = static_cast<uint32_t>(grid.u[bx + 1][by]);
            uint32_t right_v = static_cast<uint32_t>(grid.v[bx + 1][by]);
            uint32_t right_s = static_cast<uint32_t>(grid.shade[bx + 1][by]);
            const uint32_t left_u_step = block_step(left_u, static_cast<uint32_t>(grid.u[bx][by + 1]));
            const uint32_t left_v_step = block_step(left_v, static_cast<uint32_t>(grid.v[bx][by + 1]));
            const uint32_t left_s_step = block_step(left_s, static_cast<uint32_t>(grid.shade[bx][by + 1]));
            const uint32_t right_u_step = block_step(right_u, static_cast<uint32_t>(grid.u[bx + 1][by + 1]));
            const uint32_t right_v_step = block_step(right_v, static_cast<uint32_t>(grid.v[bx + 1][by + 1]));
            const uint32_t right_s_step = block_step(right_s, static_cast<uint32_t>(grid.shade[bx + 1][by + 1]));

            uint32_t* row = dst + (by * kRayBlockSize) * kScreenWidth + bx * kRayBlockSize;
            for (int py = 0; py < kRayBlockSize; ++py) {
                const uint32_t u_step = block_step(left_u, right_u);
                const uint32_t v_step = block_step(left_v, right_v);
                const uint32_t s_step = block_step(left_s, right_s);
                uint32_t u = left_u;
                uint32_t v = left_v;
                uint32_t s = left_s;
                for (int px = 0; px < kRayBlockSize; ++px) {
                    const uint32_t texel = texture[((v >> kTexCoordShift) & 0xFFu) * kTextureSize +
                                                   ((u >> kTexCoordShift) & 0xFFu)];
                    row[px] = shade_channel(texel, 16, s) | shade_channel(texel, 8, s) | shade_channel(texel, 0, s);
                    u += u_step;
                    v += v_step;
                    s += s_step;
                }
                left_u += left_u_step;
                left_v += left_v_step;
                left_s += left_s_step;
                right_u += right_u_step;
                right_v += right_v_step;
                right_s += right_s_step;
                row += kScreenWidth;
            }
        }
    }
}

void render_ray_grid(uint32_t* dst, const uint32_t* texture) {
    RayGrid grid;
    trace_ray_grid(grid);
    draw_ray_grid(dst, texture, grid);
}

}  // namespace gf
