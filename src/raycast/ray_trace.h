// The tracers' shared pieces: the camera as they read it, the hits of one
// grid row, and the vector variants that trace a row (ray_trace_sse2.cpp,
// ray_trace_avx2.cpp).
#pragma once

#include <cstdint>

#include "raycast/ray_grid.h"

namespace gf {

// Cylinder x² + y² = 4096².
constexpr double kTunnelRadiusSquared = 16777216.0;

// The texture values of the hits.
// 128 / 3.1415926536: a half turn around the cylinder spans 128 texel columns.
constexpr double kTunnelAngleToTexels = 40.743665431392834;
constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16
// 0.009 · 65536: one texel row every 111.1 units of depth.
constexpr double kTunnelDepthScale = 589.824;
constexpr double kTunnelFullShade = 255.0;
constexpr double kTunnelShadeFalloff = 1.5;
// 0.02 · 65536: one texel every 50 units on the planes.
constexpr double kPlaneScale = 1310.72;
// The 255 is a fraction of a texel in 16.16; rows run backwards as |hz| grows.
constexpr double kPlaneRowOffset = 255.0;
constexpr double kPlaneFullShade = 256.0;
constexpr double kPlaneShadeFalloff = 1.2;

// Sine and cosine of one rotation angle.
struct Rotation {
    double sin;
    double cos;
};

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

// The distance from the camera to each plane.
double plane_distance(const ViewCamera& cam);

// The hits of one grid row, column by column, padded to whole 4-wide vectors.
constexpr int kPaddedColumns = 44;

struct RowHits {
    alignas(32) float hx[kPaddedColumns];
    alignas(32) float hy[kPaddedColumns];  // tunnel only
    alignas(32) float hz[kPaddedColumns];
    alignas(32) double t[kPaddedColumns];
};

// Traces the rays of one grid row: slope_x per column, slope_y for the row.
using TraceRowFn = void(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row);

// The texture coordinates and shades of a row's hits, column by column.
struct RowValues {
    alignas(16) int32_t u[kPaddedColumns];
    alignas(16) int32_t v[kPaddedColumns];
    alignas(16) int32_t shade[kPaddedColumns];
};

namespace sse2 {
void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row);
void row_values(bool tunnel, const RowHits& row, RowValues& values);
}  // namespace sse2

namespace avx2 {
void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row);
}  // namespace avx2

}  // namespace gf
