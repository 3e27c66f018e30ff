// The tracers' shared pieces: the camera as they read it, the hits of one
// grid row, and the vector variants that trace a row (ray_trace_sse2.cpp,
// ray_trace_avx2.cpp).
#pragma once

#include <cstdint>

#include "raycast/ray_grid.h"

namespace gf {

// Cylinder x² + y² = 4096².
constexpr double kTunnelRadiusSquared = 16777216.0;

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

namespace sse2 {
void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row);
}  // namespace sse2

namespace avx2 {
void trace_row(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row);
}  // namespace avx2

}  // namespace gf
