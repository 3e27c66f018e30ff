// Ray grid renderer: view rays, the cylinder and plane tracers, and the
// grid and block passes. Values that the design keeps as 32-bit floats are
// rounded to float where they are stored; everything else is double.
#include "raycast/ray_grid.h"

#include <cassert>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// On x86-64 processors with AVX2 the grid pass traces four rays at a time and
// the block pass does a block row of eight pixels per vector; the choice is
// made at run time and gives the same values as the portable code.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define GF_RAY_AVX2 1
#include <immintrin.h>
#endif

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
    const double angle = std::atan2(static_cast<double>(hit.hy), static_cast<double>(hit.hx));
    g.u = float_to_int(std::fabs(angle * kTunnelAngleToTexels) * kFixedOne);
    g.v = float_to_int(std::fabs(static_cast<double>(hit.hz)) * kTunnelDepthScale);
    g.shade = shade_level(kTunnelFullShade - std::sqrt(static_cast<double>(hit.t)) * kTunnelShadeFalloff);
    return g;
}

// The distance from the camera to each plane: (plane_bounce + 4096) − cam_y,
// the sum wrapping in 32 bits like the integer it is.
double plane_distance(const ViewCamera& cam) {
    const int32_t level =
        static_cast<int32_t>(static_cast<uint32_t>(cam.bounce) + static_cast<uint32_t>(kPlaneDistance));
    return static_cast<double>(level) - static_cast<double>(cam.y);
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
    // The 255 is a fraction of a texel in 16.16; rows run backwards as |hz| grows.
    g.v = float_to_int(255.0 - std::fabs(static_cast<double>(hit.hz)) * kPlaneScale);
    g.shade = shade_level(kPlaneFullShade - std::sqrt(hit.t) * kPlaneShadeFalloff);
    return g;
}

Vec3 view_ray_through(const ViewCamera& cam, int x, int y) {
    return make_view_ray(cam, view_slope(cam, x - kCenterX), view_slope(cam, y - kCenterY));
}

// The hits of one grid row, column by column, padded to whole 4-wide vectors.
constexpr int kPaddedColumns = 44;

struct RowHits {
    alignas(32) float hx[kPaddedColumns];
    alignas(32) float hy[kPaddedColumns];  // tunnel only
    alignas(32) float hz[kPaddedColumns];
    alignas(32) double t[kPaddedColumns];
};

void trace_row_portable(const ViewCamera& cam, bool tunnel, const float* slope_x, float slope_y, RowHits& row) {
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

inline uint32_t shade_texel(uint32_t texel, uint32_t shade) {
    return shade_channel(texel, 16, shade) | shade_channel(texel, 8, shade) | shade_channel(texel, 0, shade);
}

// Shades the tracers produce: a level 0..256 shifted left by 11.
constexpr int32_t kFullShade = 256 << kShadeShift;
constexpr int32_t kShadeLevelMask = (1 << kShadeShift) - 1;

inline bool is_traced_shade(int32_t shade) {
    return shade >= 0 && shade <= kFullShade && (shade & kShadeLevelMask) == 0;
}

// Between four traced corner shades every interpolated shade is a multiple
// of 32 in 0..2^19 (the corner differences are multiples of 2048, so both
// shifts divide exactly). Then X · s >> 19 = X · (s >> 5) >> 14, where
// s >> 5 fits 16 bits and the product can be formed in 16-bit lanes.
constexpr int kShadeWeightShift = 5;

// Eight pixels of one block row: texels already fetched, shades starting at
// `shade` and advancing by `shade_step`.
inline void shade_row_exact(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step) {
    for (int px = 0; px < kRayBlockSize; ++px) {
        out[px] = shade_texel(texels[px], shade);
        shade += shade_step;
    }
}

#if defined(__SSE2__)
inline void shade_row_traced(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step) {
    // Shades of pixels 0..3 and 4..7 (exact in 32 bits), reduced to 16-bit weights.
    const __m128i s0 =
        _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(shade)),
                      _mm_setr_epi32(0, static_cast<int32_t>(shade_step), static_cast<int32_t>(2 * shade_step),
                                     static_cast<int32_t>(3 * shade_step)));
    const __m128i s1 = _mm_add_epi32(s0, _mm_set1_epi32(static_cast<int32_t>(4 * shade_step)));
    const __m128i weights =
        _mm_packs_epi32(_mm_srai_epi32(s0, kShadeWeightShift), _mm_srai_epi32(s1, kShadeWeightShift));
    const __m128i w01 = _mm_unpacklo_epi16(weights, weights);  // w0 w0 w1 w1 w2 w2 w3 w3
    const __m128i w45 = _mm_unpackhi_epi16(weights, weights);  // w4 w4 w5 w5 w6 w6 w7 w7

    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);  // the top byte never reaches the frame
    const __m128i zero = _mm_setzero_si128();
    // Built from the scalars, not reloaded from memory: a 16-byte load of four
    // fresh 4-byte stores cannot be forwarded and would stall.
    const __m128i t0 = _mm_and_si128(_mm_setr_epi32(static_cast<int32_t>(texels[0]), static_cast<int32_t>(texels[1]),
                                                    static_cast<int32_t>(texels[2]), static_cast<int32_t>(texels[3])),
                                     colour);
    const __m128i t1 = _mm_and_si128(_mm_setr_epi32(static_cast<int32_t>(texels[4]), static_cast<int32_t>(texels[5]),
                                                    static_cast<int32_t>(texels[6]), static_cast<int32_t>(texels[7])),
                                     colour);

    // Channels as 16-bit lanes, two pixels a register; X · 4 · w >> 16 = X · w >> 14.
    auto scale = [&](__m128i pixels, __m128i w) { return _mm_mulhi_epu16(_mm_slli_epi16(pixels, 2), w); };
    const __m128i p0 = scale(_mm_unpacklo_epi8(t0, zero), _mm_unpacklo_epi32(w01, w01));
    const __m128i p1 = scale(_mm_unpackhi_epi8(t0, zero), _mm_unpackhi_epi32(w01, w01));
    const __m128i p2 = scale(_mm_unpacklo_epi8(t1, zero), _mm_unpacklo_epi32(w45, w45));
    const __m128i p3 = scale(_mm_unpackhi_epi8(t1, zero), _mm_unpackhi_epi32(w45, w45));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(p0, p1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_packus_epi16(p2, p3));
}
#else
inline void shade_row_traced(uint32_t* out, const uint32_t* texels, uint32_t shade, uint32_t shade_step) {
    shade_row_exact(out, texels, shade, shade_step);
}
#endif

// The block pass for one 8 × 8 block whose top-left pixel is `out`.
template <bool kTracedShades>
void draw_block(uint32_t* out, const uint32_t* texture, const RayGrid& grid, int bx, int by) {
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

    for (int py = 0; py < kRayBlockSize; ++py) {
        const uint32_t u_step = block_step(left_u, right_u);
        const uint32_t v_step = block_step(left_v, right_v);
        uint32_t u = left_u;
        uint32_t v = left_v;
        alignas(16) uint32_t texels[kRayBlockSize];
        for (int px = 0; px < kRayBlockSize; ++px) {
            // Bits 16–23 of v pick the row, bits 16–23 of u the column.
            texels[px] = texture[((v >> (kTexCoordShift - 8)) & 0xFF00u) | ((u >> kTexCoordShift) & 0xFFu)];
            u += u_step;
            v += v_step;
        }
        if constexpr (kTracedShades) {
            shade_row_traced(out, texels, left_s, block_step(left_s, right_s));
        } else {
            shade_row_exact(out, texels, left_s, block_step(left_s, right_s));
        }
        left_u += left_u_step;
        left_v += left_v_step;
        left_s += left_s_step;
        right_u += right_u_step;
        right_v += right_v_step;
        right_s += right_s_step;
        out += kScreenWidth;
    }
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
        v.x = to_float(x / length);
        v.y = to_float(y / length);
        v.z = to_float(z / length);
    }
}

float unit_sign(float f) { return f > 0.0f ? 1.0f : -1.0f; }

void trace_tunnel(int x, int y, int32_t& u, int32_t& v, int32_t& shade) {
    const ViewCamera cam = current_camera();
    const GridValue g = tunnel_value(tunnel_hit(cam, view_ray_through(cam, x, y)));
    u = g.u;
    v = g.v;
    shade = g.shade;
}

void trace_planes(int x, int y, int32_t& u, int32_t& v, int32_t& shade) {
    const ViewCamera cam = current_camera();
    const GridValue g = planes_value(planes_hit(cam, view_ray_through(cam, x, y)));
    u = g.u;
    v = g.v;
    shade = g.shade;
}

void draw_ray_grid_portable(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    assert(dst != nullptr && texture != nullptr);
    // All interpolation is in uint32_t so that wrapped coordinates add modulo
    // 2^32; only the steps are taken as signed, for the arithmetic shift.
    for (int by = 0; by < kRayBlocksY; ++by) {
        for (int bx = 0; bx < kRayBlocksX; ++bx) {
            uint32_t* out = dst + (by * kRayBlockSize) * kScreenWidth + bx * kRayBlockSize;
            if (is_traced_shade(grid.shade[bx][by]) && is_traced_shade(grid.shade[bx + 1][by]) &&
                is_traced_shade(grid.shade[bx][by + 1]) && is_traced_shade(grid.shade[bx + 1][by + 1])) {
                draw_block<true>(out, texture, grid, bx, by);
            } else {
                draw_block<false>(out, texture, grid, bx, by);
            }
        }
    }
}

#if defined(GF_RAY_AVX2)

namespace {

#define GF_AVX2_FN __attribute__((target("avx2"))) inline

// `start + lane · step` for the eight pixels of a row.
GF_AVX2_FN __m256i ramp_avx2(uint32_t start, uint32_t step) {
    return _mm256_add_epi32(
        _mm256_set1_epi32(static_cast<int32_t>(start)),
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int32_t>(step)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
}

// One channel (at bit `shift`) of eight texels scaled by their shades: X · s >> 19.
GF_AVX2_FN __m256i shade_channel_avx2(__m256i texels, __m256i shade, int shift) {
    const __m256i byte_mask = _mm256_set1_epi32(0xFF);
    const __m256i x = _mm256_and_si256(_mm256_srli_epi32(texels, shift), byte_mask);
    const __m256i scaled = _mm256_srai_epi32(_mm256_mullo_epi32(x, shade), kShadeProductShift);
    return _mm256_slli_epi32(_mm256_and_si256(scaled, byte_mask), shift);
}

// Eight texels scaled by traced shades (multiples of 32 in 0..2^19), in
// 16-bit lanes as the portable pass does: X · 4 · (s >> 5) >> 16.
GF_AVX2_FN __m256i shade_traced_avx2(__m256i texels, __m256i shade) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i colour = _mm256_and_si256(texels, _mm256_set1_epi32(0x00FFFFFF));
    // In each 128-bit half: w0 w0 w1 w1 w2 w2 w3 w3 (pixels 0–3, then 4–7).
    const __m256i weights = _mm256_srai_epi32(shade, kShadeWeightShift);
    const __m256i paired =
        _mm256_unpacklo_epi16(_mm256_packs_epi32(weights, weights), _mm256_packs_epi32(weights, weights));
    const __m256i low = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpacklo_epi8(colour, zero), 2),
                                           _mm256_unpacklo_epi32(paired, paired));
    const __m256i high = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpackhi_epi8(colour, zero), 2),
                                            _mm256_unpackhi_epi32(paired, paired));
    return _mm256_packus_epi16(low, high);
}

// The same block pass with a block row in one 8 × 32-bit vector: the same
// 32-bit wrapping sums, arithmetic shifts and X · s >> 19 products, so it
// gives the same pixels for any grid.
__attribute__((target("avx2"))) void draw_ray_grid_avx2(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
    const __m256i byte_mask = _mm256_set1_epi32(0xFF);
    const __m256i row_mask = _mm256_set1_epi32(0xFF00);

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

            const bool traced = is_traced_shade(grid.shade[bx][by]) && is_traced_shade(grid.shade[bx + 1][by]) &&
                                is_traced_shade(grid.shade[bx][by + 1]) && is_traced_shade(grid.shade[bx + 1][by + 1]);
            uint32_t* out = dst + (by * kRayBlockSize) * kScreenWidth + bx * kRayBlockSize;
            for (int py = 0; py < kRayBlockSize; ++py) {
                const __m256i u = ramp_avx2(left_u, block_step(left_u, right_u));
                const __m256i v = ramp_avx2(left_v, block_step(left_v, right_v));
                const __m256i shade = ramp_avx2(left_s, block_step(left_s, right_s));
                // Bits 16–23 of v pick the row, bits 16–23 of u the column.
                const __m256i index = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(v, 8), row_mask),
                                                      _mm256_and_si256(_mm256_srli_epi32(u, 16), byte_mask));
                const __m256i texels = _mm256_i32gather_epi32(reinterpret_cast<const int*>(texture), index, 4);
                const __m256i pixels = traced ? shade_traced_avx2(texels, shade)
                                              : _mm256_or_si256(_mm256_or_si256(shade_channel_avx2(texels, shade, 16),
                                                                                shade_channel_avx2(texels, shade, 8)),
                                                                shade_channel_avx2(texels, shade, 0));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pixels);

                left_u += left_u_step;
                left_v += left_v_step;
                left_s += left_s_step;
                right_u += right_u_step;
                right_v += right_v_step;
                right_s += right_s_step;
                out += kScreenWidth;
            }
        }
    }
}

// Four rays at once, each step the same IEEE double operation as the
// portable tracer with the same float roundings, so the hits are identical.
GF_AVX2_FN __m256d round_to_float(__m256d value) {
    __m128 rounded = _mm256_cvtpd_ps(value);
    __asm__("" : "+x"(rounded));  // as in to_float: the round trip must not be folded away
    return _mm256_cvtps_pd(rounded);
}

GF_AVX2_FN void rotate_avx2(__m256d& a, __m256d& b, const Rotation& r, bool plus_first) {
    // plus_first: a' = a·cos + b·sin, b' = b·cos − a·sin (about Y);
    // otherwise   a' = a·cos − b·sin, b' = a·sin + b·cos (about X and Z).
    const __m256d c = _mm256_set1_pd(r.cos);
    const __m256d s = _mm256_set1_pd(r.sin);
    __m256d na;
    __m256d nb;
    if (plus_first) {
        na = _mm256_add_pd(_mm256_mul_pd(a, c), _mm256_mul_pd(b, s));
        nb = _mm256_sub_pd(_mm256_mul_pd(b, c), _mm256_mul_pd(a, s));
    } else {
        na = _mm256_sub_pd(_mm256_mul_pd(a, c), _mm256_mul_pd(b, s));
        nb = _mm256_add_pd(_mm256_mul_pd(a, s), _mm256_mul_pd(b, c));
    }
    a = round_to_float(na);
    b = round_to_float(nb);
}

__attribute__((target("avx2"))) void trace_row_avx2(const ViewCamera& cam, bool tunnel, const float* slope_x,
                                                    float slope_y, RowHits& row) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d cx = _mm256_set1_pd(cam.x);
    const __m256d cy = _mm256_set1_pd(cam.y);
    const __m256d cz = _mm256_set1_pd(cam.z);
    const double qc_scalar =
        static_cast<double>(cam.x) * cam.x + static_cast<double>(cam.y) * cam.y - kTunnelRadiusSquared;
    const __m256d qc = _mm256_set1_pd(qc_scalar);
    const __m256d distance = _mm256_set1_pd(plane_distance(cam));
    for (int j = 0; j < kPaddedColumns; j += 4) {
        __m256d x = _mm256_cvtps_pd(_mm_load_ps(slope_x + j));
        __m256d y = _mm256_set1_pd(slope_y);
        __m256d z = _mm256_set1_pd(1.0);
        rotate_avx2(y, z, cam.rx, false);
        rotate_avx2(x, z, cam.ry, true);
        rotate_avx2(x, y, cam.rz, false);
        // Normalise, leaving a zero-length ray as it is (NaN lengths divide, as in the scalar code).
        const __m256d length =
            _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)), _mm256_mul_pd(z, z)));
        const __m256d nonzero = _mm256_cmp_pd(length, zero, _CMP_NEQ_UQ);
        x = _mm256_blendv_pd(x, round_to_float(_mm256_div_pd(x, length)), nonzero);
        y = _mm256_blendv_pd(y, round_to_float(_mm256_div_pd(y, length)), nonzero);
        z = _mm256_blendv_pd(z, round_to_float(_mm256_div_pd(z, length)), nonzero);

        if (tunnel) {
            const __m256d qa = round_to_float(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)));
            const __m256d qb =
                _mm256_mul_pd(_mm256_set1_pd(2.0), _mm256_add_pd(_mm256_mul_pd(cx, x), _mm256_mul_pd(cy, y)));
            const __m256d root = _mm256_sqrt_pd(
                _mm256_sub_pd(_mm256_mul_pd(qb, qb), _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(4.0), qa), qc)));
            const __m256d twice_qa = _mm256_mul_pd(_mm256_set1_pd(2.0), qa);
            const __m256d minus_qb = _mm256_xor_pd(qb, _mm256_set1_pd(-0.0));  // −qb, signed zeros included
            const __m256d t1 = round_to_float(_mm256_div_pd(_mm256_sub_pd(minus_qb, root), twice_qa));
            const __m256d t2 = round_to_float(_mm256_div_pd(_mm256_sub_pd(root, qb), twice_qa));
            const __m256d t = _mm256_blendv_pd(t1, t2, _mm256_cmp_pd(t2, t1, _CMP_GT_OQ));
            _mm_store_ps(row.hx + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, x), cx)));
            _mm_store_ps(row.hy + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, y), cy)));
            _mm_store_ps(row.hz + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, z), cz)));
            _mm256_store_pd(row.t + j, t);
        } else {
            const __m256d sign =
                _mm256_blendv_pd(_mm256_set1_pd(-1.0), _mm256_set1_pd(1.0), _mm256_cmp_pd(y, zero, _CMP_GT_OQ));
            const __m256d t = _mm256_div_pd(_mm256_mul_pd(sign, distance), y);
            _mm_store_ps(row.hx + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, x), cx)));
            _mm_store_ps(row.hz + j, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(t, z), cz)));
            _mm256_store_pd(row.t + j, t);
        }
    }
}

bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

}  // namespace

#endif

void draw_ray_grid(uint32_t* dst, const uint32_t* texture, const RayGrid& grid) {
#if defined(GF_RAY_AVX2)
    if (cpu_has_avx2()) {
        assert(dst != nullptr && texture != nullptr);
        draw_ray_grid_avx2(dst, texture, grid);
        return;
    }
#endif
    draw_ray_grid_portable(dst, texture, grid);
}

void trace_ray_grid(RayGrid& grid) {
    const ViewCamera cam = current_camera();
    const bool tunnel = cam_tunnel != 0;
    // A column's x slope and a row's y slope are the same for all its rays.
    alignas(32) float slope_x[kPaddedColumns];
    for (int j = 0; j < kPaddedColumns; ++j) {
        slope_x[j] = view_slope(cam, j * kRayBlockSize - kCenterX);
    }
#if defined(GF_RAY_AVX2)
    const bool wide = cpu_has_avx2();
#endif
    RowHits row;
    for (int i = 0; i < kRayGridRows; ++i) {
        const float slope_y = view_slope(cam, i * kRayBlockSize - kCenterY);
        // The hits of a whole row first, then their texture values: the
        // tunnel's atan2 calls then overlap instead of waiting on each ray.
#if defined(GF_RAY_AVX2)
        if (wide) {
            trace_row_avx2(cam, tunnel, slope_x, slope_y, row);
        } else {
            trace_row_portable(cam, tunnel, slope_x, slope_y, row);
        }
#else
        trace_row_portable(cam, tunnel, slope_x, slope_y, row);
#endif
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

void render_ray_grid(uint32_t* dst, const uint32_t* texture) {
    RayGrid grid;
    trace_ray_grid(grid);
    draw_ray_grid(dst, texture, grid);
}

}  // namespace gf
