// The tracers: view rays, the cylinder and the planes, and the grid pass.
// Values that the design keeps as 32-bit floats are rounded to float where
// they are stored; everything else is double. The vector variants of the
// grid pass trace four rays at a time (ray_trace_sse2.cpp, also the browser's
// WebAssembly SIMD one, and ray_trace_avx2.cpp), with the same values as the
// portable code.
#include "raycast/ray_trace.h"

#include <cmath>

#include "common/cpu_features.h"
#include "common/float_to_int.h"
#include "common/trig.h"

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

constexpr int32_t kPlaneDistance = 4096;

constexpr int kCenterX = kScreenWidth / 2;   // 160
constexpr int kCenterY = kScreenHeight / 2;  // 100

// Rounds a double to the float it is stored as. The empty asm makes the
// float opaque to the optimiser: GCC 12 (whose C++ front end only offers
// fast excess precision) has been seen to vectorise a float round trip in
// the ray setup away and carry on with the unrounded double, which shifts
// texture coordinates by a unit depending on the inlining context.
inline float to_float(double value) {
    float rounded = static_cast<float>(value);
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__("" : "+x"(rounded));
#elif defined(__GNUC__) && defined(__aarch64__)
    __asm__("" : "+w"(rounded));
#endif
    return rounded;
}

Rotation rotation_for(float degrees) {
    const double radians = static_cast<double>(degrees) * kRadiansPerDegree;
    return {gf::sin(radians), gf::cos(radians)};
}

// Each rotation computes both new components from the old ones before storing either.
void apply_rotate_x(Vec3& v, const Rotation& r) {
    const double y = v.y;
    const double z = v.z;
    v.y = to_float(y * r.cos - z * r.sin);
    v.z = to_float(y * r.sin + z * r.cos);
}

void apply_rotate_y(Vec3& v, const Rotation& r) {
    const double x = v.x;
    const double z = v.z;
    v.x = to_float(x * r.cos + z * r.sin);
    v.z = to_float(z * r.cos - x * r.sin);
}

void apply_rotate_z(Vec3& v, const Rotation& r) {
    const double x = v.x;
    const double y = v.y;
    v.x = to_float(x * r.cos - y * r.sin);
    v.y = to_float(x * r.sin + y * r.cos);
}

ViewCamera current_camera() {
    return {cam_fov,
            rotation_for(cam_angle_x),
            rotation_for(cam_angle_y),
            rotation_for(cam_angle_z),
            cam_x,
            cam_y,
            cam_z,
            plane_bounce};
}

// Screen offset from the centre to ray slope, stored as a float.
float view_slope(const ViewCamera& cam, int offset) { return to_float(static_cast<double>(offset) / cam.fov); }

// The view ray through the screen point with the given slopes (x − 160)/fov
// and (y − 100)/fov: turned about X, then Y, then Z, then normalised.
Vec3 make_view_ray(const ViewCamera& cam, float slope_x, float slope_y) {
    Vec3 d;
    d.x = slope_x;
    d.y = slope_y;
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

void unpack(const GridValue& g, int32_t& u, int32_t& v, int32_t& shade) {
    u = g.u;
    v = g.v;
    shade = g.shade;
}

// Where a tunnel ray meets the wall, before the texture coordinates.
struct TunnelHit {
    float hx;
    float hy;
    float hz;
    float t;
};

TunnelHit tunnel_hit(const ViewCamera& cam, const Vec3& d) {
    const double dx = d.x;
    const double dy = d.y;
    const double cx = cam.x;
    const double cy = cam.y;

    // Solve |c + t·d|² = r² in the xy plane; a miss or a ray along the axis
    // yields NaN, which every conversion afterwards turns into 0.
    const double qa = to_float(dx * dx + dy * dy);
    const double qb = 2.0 * (cx * dx + cy * dy);
    const double qc = cx * cx + cy * cy - kTunnelRadiusSquared;
    const double s = std::sqrt(qb * qb - 4.0 * qa * qc);
    const float t1 = to_float((-qb - s) / (2.0 * qa));
    const float t2 = to_float((s - qb) / (2.0 * qa));
    const float t = t2 > t1 ? t2 : t1;  // the far root; unordered keeps t1

    TunnelHit hit;
    hit.hx = to_float(static_cast<double>(t) * dx + cx);
    hit.hy = to_float(static_cast<double>(t) * dy + cy);
    hit.hz = to_float(static_cast<double>(t) * static_cast<double>(d.z) + static_cast<double>(cam.z));
    hit.t = t;
    return hit;
}

GridValue tunnel_value(const TunnelHit& hit) {
    GridValue g;
    // |angle| folds both half-turns onto columns 0..128, mirrored about +x.
    const double angle = gf::atan2(static_cast<double>(hit.hy), static_cast<double>(hit.hx));
    g.u = float_to_int(std::fabs(angle * kTunnelAngleToTexels) * kFixedOne);
    g.v = float_to_int(std::fabs(static_cast<double>(hit.hz)) * kTunnelDepthScale);
    g.shade = shade_level(kTunnelFullShade - std::sqrt(static_cast<double>(hit.t)) * kTunnelShadeFalloff);
    return g;
}

// Where a planes ray meets a plane, before the texture coordinates.
struct PlanesHit {
    float hx;
    float hz;
    double t;
};

PlanesHit planes_hit(const ViewCamera& cam, const Vec3& d) {
    // D / |d.y|: the plane above for rays going up, the one below otherwise.
    // d.y = 0 gives an infinite or NaN t, which converts to 0.
    const double t = static_cast<double>(unit_sign(d.y)) * plane_distance(cam) / static_cast<double>(d.y);
    PlanesHit hit;
    hit.hx = to_float(t * static_cast<double>(d.x) + static_cast<double>(cam.x));
    hit.hz = to_float(t * static_cast<double>(d.z) + static_cast<double>(cam.z));
    hit.t = t;
    return hit;
}

GridValue planes_value(const PlanesHit& hit) {
    GridValue g;
    g.u = float_to_int(std::fabs(static_cast<double>(hit.hx)) * kPlaneScale);
    g.v = float_to_int(kPlaneRowOffset - std::fabs(static_cast<double>(hit.hz)) * kPlaneScale);
    g.shade = shade_level(kPlaneFullShade - std::sqrt(hit.t) * kPlaneShadeFalloff);
    return g;
}

Vec3 view_ray_through(const ViewCamera& cam, int x, int y) {
    return make_view_ray(cam, view_slope(cam, x - kCenterX), view_slope(cam, y - kCenterY));
}

void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row) {
    for (int j = 0; j < kRayGridColumns; ++j) {
        const Vec3 d = make_view_ray(cam, slope_x[j], slope_y);
        if (tunnel) {
            const TunnelHit hit = tunnel_hit(cam, d);
            row.hx[j] = hit.hx;
            row.hy[j] = hit.hy;
            row.hz[j] = hit.hz;
            row.t[j] = hit.t;
        } else {
            const PlanesHit hit = planes_hit(cam, d);
            row.hx[j] = hit.hx;
            row.hz[j] = hit.hz;
            row.t[j] = hit.t;
        }
    }
}

}  // namespace

// (plane_bounce + 4096) − cam_y, the sum wrapping in 32 bits like the integer it is.
double plane_distance(const ViewCamera& cam) {
    const int32_t level =
        static_cast<int32_t>(static_cast<uint32_t>(cam.bounce) + static_cast<uint32_t>(kPlaneDistance));
    return static_cast<double>(level) - static_cast<double>(cam.y);
}

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
        v.x = to_float(x / length);
        v.y = to_float(y / length);
        v.z = to_float(z / length);
    }
}

float unit_sign(float f) { return f > 0.0f ? 1.0f : -1.0f; }

void trace_tunnel(int x, int y, int32_t& u, int32_t& v, int32_t& shade) {
    const ViewCamera cam = current_camera();
    unpack(tunnel_value(tunnel_hit(cam, view_ray_through(cam, x, y))), u, v, shade);
}

void trace_planes(int x, int y, int32_t& u, int32_t& v, int32_t& shade) {
    const ViewCamera cam = current_camera();
    unpack(planes_value(planes_hit(cam, view_ray_through(cam, x, y))), u, v, shade);
}

namespace {

// The grid pass with `kTraceRow` tracing each row's rays; their texture values
// come from sse2::row_values when `kVectorValues`, else ray by ray.
template <TraceRowFn* kTraceRow, bool kVectorValues>
void trace_grid_by(RayGrid& grid) {
    const ViewCamera cam = current_camera();
    const bool tunnel = cam_tunnel != 0;
    // A column's x slope and a row's y slope are the same for all its rays.
    alignas(32) float slope_x[kPaddedColumns];
    for (int j = 0; j < kPaddedColumns; ++j) {
        slope_x[j] = view_slope(cam, j * kRayBlockSize - kCenterX);
    }
    RowHits row;
    for (int i = 0; i < kRayGridRows; ++i) {
        const float slope_y = view_slope(cam, i * kRayBlockSize - kCenterY);
        // The hits of a whole row first, then their texture values: the
        // tunnel's atan2 calls then overlap instead of waiting on each ray.
        kTraceRow(cam, tunnel, slope_x, slope_y, row);
        if constexpr (kVectorValues) {
            RowValues values;
            sse2::row_values(tunnel, row, values);
            for (int j = 0; j < kRayGridColumns; ++j) {
                grid.u[j][i] = values.u[j];
                grid.v[j][i] = values.v[j];
                grid.shade[j][i] = values.shade[j];
            }
        } else {
            for (int j = 0; j < kRayGridColumns; ++j) {
                const GridValue g =
                    tunnel ? tunnel_value(TunnelHit{row.hx[j], row.hy[j], row.hz[j], static_cast<float>(row.t[j])})
                           : planes_value(PlanesHit{row.hx[j], row.hz[j], row.t[j]});
                grid.u[j][i] = g.u;
                grid.v[j][i] = g.v;
                grid.shade[j][i] = g.shade;
            }
        }
    }
}

constexpr std::array kTraceRayGridVariants = {
    Variant<TraceRayGridFn>{InstructionSet::kPortable, trace_grid_by<trace_row, false>},
#if defined(__x86_64__) || defined(__wasm_simd128__)
    Variant<TraceRayGridFn>{InstructionSet::kSse2, trace_grid_by<sse2::trace_row, true>},
#endif
#if defined(__x86_64__)
    Variant<TraceRayGridFn>{InstructionSet::kAvx2, trace_grid_by<avx2::trace_row, false>},
#endif
};

}  // namespace

std::vector<Variant<TraceRayGridFn>> trace_ray_grid_variants() { return runnable_variants(kTraceRayGridVariants); }

void trace_ray_grid(RayGrid& grid) {
    static TraceRayGridFn* const run = widest_variant(kTraceRayGridVariants);
    run(grid);
}

}  // namespace gf
