// The ray grid renderer: vector helpers, the two tracers against hand-worked
// rays and their degenerate cases, and the block pass on hand-made grids.
#include "raycast/ray_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "camera_state.h"

namespace gf {
namespace {

using testing::CameraTest;

constexpr int32_t kFullPlaneShade = 256 << 11;  // 0x80000

struct Traced {
    int32_t u;
    int32_t v;
    int32_t shade;
};

Traced tunnel_at(int x, int y) {
    Traced t {-1, -1, -1};
    trace_tunnel(x, y, t.u, t.v, t.shade);
    return t;
}

Traced planes_at(int x, int y) {
    Traced t {-1, -1, -1};
    trace_planes(x, y, t.u, t.v, t.shade);
    return t;
}

// The low 32 bits of a value truncated toward zero, worked out with integer
// arithmetic for values inside the 64-bit range.
int32_t low_32_bits(double value) {
    const auto wide = static_cast<int64_t>(value);
    return static_cast<int32_t>(static_cast<uint32_t>(wide));
}

// ---------------------------------------------------------------- vectors

TEST(RayVector, RotationsTurnTheRightWayAndUseTheOldComponents) {
    Vec3 v {1.0f, 1.0f, 0.0f};
    Vec3& same = rotate_z(v, 90.0f);
    EXPECT_EQ(&same, &v);
    // Both components from the old ones: (1, 1) turns to (−1, 1).
    EXPECT_NEAR(v.x, -1.0f, 1e-6f);
    EXPECT_NEAR(v.y, 1.0f, 1e-6f);
    EXPECT_EQ(v.z, 0.0f);

    Vec3 a {0.0f, 1.0f, 1.0f};
    rotate_x(a, 90.0f);  // y' = y·cos − z·sin, z' = y·sin + z·cos
    EXPECT_NEAR(a.x, 0.0f, 1e-6f);
    EXPECT_NEAR(a.y, -1.0f, 1e-6f);
    EXPECT_NEAR(a.z, 1.0f, 1e-6f);

    Vec3 b {1.0f, 5.0f, 1.0f};
    rotate_y(b, 90.0f);  // x' = x·cos + z·sin, z' = z·cos − x·sin
    EXPECT_NEAR(b.x, 1.0f, 1e-6f);
    EXPECT_EQ(b.y, 5.0f);
    EXPECT_NEAR(b.z, -1.0f, 1e-6f);

    Vec3 c {3.0f, 4.0f, 5.0f};
    rotate_y(rotate_x(c, 0.0f), 0.0f);
    EXPECT_EQ(c.x, 3.0f);
    EXPECT_EQ(c.y, 4.0f);
    EXPECT_EQ(c.z, 5.0f);

    Vec3 d {2.0f, 0.0f, 0.0f};
    rotate_z(d, 30.0f);  // degrees, not radians
    EXPECT_NEAR(d.x, 1.7320508f, 1e-6f);
    EXPECT_NEAR(d.y, 1.0f, 1e-6f);
}

TEST(RayVector, NormalizeScalesToUnitLengthAndLeavesZeroAlone) {
    Vec3 v {3.0f, 0.0f, -4.0f};
    normalize_vec3(v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_FLOAT_EQ(v.z, -0.8f);

    Vec3 zero;
    normalize_vec3(zero);
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    EXPECT_FALSE(std::isnan(zero.x));
}

TEST(RayVector, UnitSignIsNegativeForZeroAndNaN) {
    EXPECT_EQ(unit_sign(2.5f), 1.0f);
    EXPECT_EQ(unit_sign(std::numeric_limits<float>::denorm_min()), 1.0f);
    EXPECT_EQ(unit_sign(-3.0f), -1.0f);
    EXPECT_EQ(unit_sign(0.0f), -1.0f);
    EXPECT_EQ(unit_sign(-0.0f), -1.0f);
    EXPECT_EQ(unit_sign(std::numeric_limits<float>::quiet_NaN()), -1.0f);
}

// ---------------------------------------------------------------- tunnel

using TunnelTrace = CameraTest;

TEST_F(TunnelTrace, HandWorkedRays) {
    // (320, 100): d = (1, 0, 1)/√2, t = 4096·√2 ≈ 5792.6, hit at (4096, 0, 4096).
    const Traced right = tunnel_at(320, 100);
    EXPECT_EQ(right.u, 0);                    // angle 0
    EXPECT_NEAR(right.v, 2415919, 2);         // 4096 · 589.824
    EXPECT_EQ(right.shade, 140 << 11);        // 255 − 1.5·√5792.6 = 140.8

    // Straight up: angle −π/2. The constant 128 / 3.1415926536 is a hair
    // below 128/π, so the column is 63.99999… and truncates to 63.
    const Traced up = tunnel_at(160, 20);
    EXPECT_EQ(up.u, 4194303);
    EXPECT_EQ(up.u >> 16, 63);

    // Straight left: |angle| = π, column 127.99999…
    EXPECT_EQ(tunnel_at(0, 100).u, 8388607);
}

TEST_F(TunnelTrace, ViewRaysTurnAboutXThenYThenZ) {
    // Turning the centre ray 45° about Y makes it the ray through (320, 100).
    cam_angle_y = 45.0f;
    const Traced turned = tunnel_at(160, 100);
    EXPECT_EQ(turned.u >> 16, 0);
    EXPECT_NEAR(turned.v, 2415919, 2);
    EXPECT_EQ(turned.shade, 140 << 11);

    // 90° about X takes (0, 0, 1) to (0, −1, 0), which 90° about Y leaves
    // alone: the ray points straight up (column 63 or 64). The other order
    // would point it along +x (column 0).
    cam_angle_x = 90.0f;
    cam_angle_y = 90.0f;
    const int up_column = tunnel_at(160, 100).u >> 16;
    EXPECT_TRUE(up_column == 63 || up_column == 64) << up_column;

    // 90° about Z turns the ray through (320, 100) to point down: column 63 or 64.
    cam_angle_x = 0.0f;
    cam_angle_y = 0.0f;
    cam_angle_z = 90.0f;
    const int down_column = tunnel_at(320, 100).u >> 16;
    EXPECT_TRUE(down_column == 63 || down_column == 64) << down_column;
    cam_angle_z = 0.0f;
    EXPECT_EQ(tunnel_at(320, 100).u, 0);
}

TEST_F(TunnelTrace, OnTheAxisColumnsAreMirroredAndStayInTheFirstHalf) {
    for (int y = 0; y <= 200; y += 8) {
        for (int x = 0; x <= 320; x += 8) {
            const Traced a = tunnel_at(x, y);
            const Traced b = tunnel_at(x, 200 - y);  // the wall point at −θ
            ASSERT_EQ(a.u, b.u) << x << "," << y;
            ASSERT_EQ(a.v, b.v) << x << "," << y;
            ASSERT_EQ(a.shade, b.shade) << x << "," << y;
            ASSERT_GE(a.u >> 16, 0);
            ASSERT_LE(a.u >> 16, 128);
            // The point at π − θ: its column and this one add up to a half turn.
            const Traced c = tunnel_at(320 - x, y);
            ASSERT_NEAR(static_cast<double>(a.u) + c.u, 128.0 * 65536.0, 4.0) << x << "," << y;
        }
    }
}

TEST_F(TunnelTrace, RaysWithoutAHitAreBlackZeros) {
    // Along the axis from the axis: no intersection at all.
    const Traced axis = tunnel_at(160, 100);
    EXPECT_EQ(axis.u, 0);
    EXPECT_EQ(axis.v, 0);
    EXPECT_EQ(axis.shade, 0);

    // Parallel to the axis from off the axis.
    cam_x = 1000.0f;
    cam_z = 5000.0f;
    const Traced parallel = tunnel_at(160, 100);
    EXPECT_EQ(parallel.u, 0);
    EXPECT_EQ(parallel.v, 0);
    EXPECT_EQ(parallel.shade, 0);

    // Outside the cylinder, a ray going up passes it by.
    cam_x = 8192.0f;
    const Traced miss = tunnel_at(160, 260);
    EXPECT_EQ(miss.u, 0);
    EXPECT_EQ(miss.v, 0);
    EXPECT_EQ(miss.shade, 0);
    // ... while one going back across the axis meets the far wall.
    EXPECT_GT(tunnel_at(0, 100).shade, 0);
}

TEST_F(TunnelTrace, ShadeNeverExceeds255AndFadesToBlackWithDistance) {
    // The camera on the wall facing out: the far root is t = 0 and the shade is 255.
    cam_x = 4096.0f;
    EXPECT_EQ(tunnel_at(320, 100).shade, 255 << 11);
    cam_x = 0.0f;
    for (int y = 0; y <= 200; y += 8) {
        for (int x = 0; x <= 320; x += 8) {
            ASSERT_LE(tunnel_at(x, y).shade, 255 << 11);
        }
    }
    // A ray one pixel off the axis: t = 4096·√(160² + 1) ≈ 655363, beyond (255/1.5)² = 28900.
    EXPECT_EQ(tunnel_at(160, 101).shade, 0);
}

TEST_F(TunnelTrace, ExtremeDistanceStaysBlackInsteadOfWrapping) {
    // A ray about 8.5e-16 off the axis meets the wall at t ≈ 4.8e18, where
    // 255 − 1.5·√t ≈ −3.29e9: its low 32 bits alone would read as a bright shade.
    cam_fov = 1.88e17f;
    const Traced far = tunnel_at(0, 100);
    EXPECT_EQ(far.shade, 0);
    EXPECT_EQ(far.u, 8388607);  // still the wall straight to the left
}

TEST_F(TunnelTrace, DepthKeepsItsLow32BitsForLargeTravel) {
    // (160, 260) meets the wall 4096 ahead; with cam_z = 2^23 the hit is at
    // z = 8392704 and 8392704 · 589.824 ≈ 4.95e9 does not fit in 32 bits.
    cam_z = 8388608.0f;
    const Traced t = tunnel_at(160, 260);
    EXPECT_EQ(t.v, 655250948);  // 4950218244 − 2^32
    EXPECT_EQ(t.v, low_32_bits(8392704.0 * 589.824));
}

// ---------------------------------------------------------------- planes

using PlanesTrace = CameraTest;

TEST_F(PlanesTrace, HandWorkedRaysAboveAndBelow) {
    cam_tunnel = 0;
    // (160, 260): d = (0, 1, 1)/√2, the lower plane 4096 below at t ≈ 5792.6.
    const Traced below = planes_at(160, 260);
    EXPECT_EQ(below.u, 0);
    EXPECT_NEAR(below.v, -5368454, 2);  // 255 − 4096·1310.72
    EXPECT_EQ(below.shade, 164 << 11);  // 256 − 1.2·√5792.6 = 164.7
    // The mirrored ray meets the upper plane with the same values.
    const Traced above = planes_at(160, -60);
    EXPECT_EQ(above.u, below.u);
    EXPECT_EQ(above.v, below.v);
    EXPECT_EQ(above.shade, below.shade);

    // cam_x shifts u by 1310.72 per unit, on both sides of the line through the camera.
    cam_x = 100.0f;
    EXPECT_EQ(planes_at(160, 260).u, 131072);  // two texels
    cam_x = -100.0f;
    EXPECT_EQ(planes_at(160, 260).u, 131072);
}

TEST_F(PlanesTrace, HorizontalRayIsABlackZero) {
    const Traced flat = planes_at(40, 100);
    EXPECT_EQ(flat.u, 0);
    EXPECT_EQ(flat.v, 0);
    EXPECT_EQ(flat.shade, 0);
    cam_y = 4096.0f;  // distance 0 as well: 0 / 0
    const Traced degenerate = planes_at(40, 100);
    EXPECT_EQ(degenerate.u, 0);
    EXPECT_EQ(degenerate.v, 0);
    EXPECT_EQ(degenerate.shade, 0);
}

TEST_F(PlanesTrace, ShadeLimits) {
    // Distance 0: full brightness 256, and the hit is the camera itself.
    cam_y = 4096.0f;
    const Traced touching = planes_at(300, 20);
    EXPECT_EQ(touching.shade, kFullPlaneShade);
    EXPECT_EQ(touching.u, 0);
    EXPECT_EQ(touching.v, 255);
    // The bounce adds to the distance.
    plane_bounce = 100;
    cam_y = 4196.0f;
    EXPECT_EQ(planes_at(300, 20).shade, kFullPlaneShade);

    // A negative distance puts the hit behind the camera: √t is NaN and the shade 0.
    plane_bounce = 0;
    cam_y = 5000.0f;
    const Traced behind = planes_at(260, 260);
    EXPECT_EQ(behind.shade, 0);
    EXPECT_NE(behind.u, 0);  // the coordinates are still finite

    // Beyond (256/1.2)² ≈ 45511: black. One pixel off the horizon gives t ≈ 655363.
    cam_y = 0.0f;
    EXPECT_EQ(planes_at(160, 101).shade, 0);
    EXPECT_GT(planes_at(160, 104 + 32).shade, 0);
}

TEST_F(PlanesTrace, ExtremeDistanceStaysBlackInsteadOfWrapping) {
    // D = 4096 + 6e18, t ≈ 8.5e18: 256 − 1.2·√t ≈ −3.5e9 whose low 32 bits are positive.
    cam_y = -6e18f;
    EXPECT_EQ(planes_at(160, 260).shade, 0);
}

TEST_F(PlanesTrace, DepthKeepsItsLow32BitsForLargeTravel) {
    cam_z = 8388608.0f;
    // Hit z = 4096 + 2^23 = 8392704; 255 − 8392704·1310.72 ≈ −1.1e10 wraps.
    EXPECT_EQ(planes_at(160, 260).v, low_32_bits(255.0 - 8392704.0 * 1310.72));
}

// ---------------------------------------------------------------- grid pass

using RayGridTrace = CameraTest;

TEST_F(RayGridTrace, LastColumnAndRowAreTracedOneStepBeyondTheFrame) {
    // On the axis the scene is symmetric about (160, 100); so is the grid
    // only if column 40 is traced at x = 320 and row 25 at y = 200.
    auto grid = std::make_unique<RayGrid>();
    trace_ray_grid(*grid);
    for (int j = 0; j < kRayGridColumns; ++j) {
        for (int i = 0; i < kRayGridRows; ++i) {
            const int mj = kRayGridColumns - 1 - j;
            const int mi = kRayGridRows - 1 - i;
            ASSERT_EQ(grid->u[j][i], grid->u[j][mi]) << j << "," << i;
            ASSERT_EQ(grid->v[j][i], grid->v[mj][mi]) << j << "," << i;
            ASSERT_EQ(grid->shade[j][i], grid->shade[mj][mi]) << j << "," << i;
        }
    }
    // The planes grid too (d.y = 0 never lands on a grid row).
    cam_tunnel = 0;
    trace_ray_grid(*grid);
    for (int j = 0; j < kRayGridColumns; ++j) {
        for (int i = 0; i < kRayGridRows; ++i) {
            const int mj = kRayGridColumns - 1 - j;
            const int mi = kRayGridRows - 1 - i;
            ASSERT_EQ(grid->v[j][i], grid->v[mj][mi]) << j << "," << i;
            ASSERT_EQ(grid->shade[j][i], grid->shade[mj][mi]) << j << "," << i;
        }
    }
}

TEST_F(RayGridTrace, GridHoldsTheTraceOfEveryGridPoint) {
    // The grid pass traces whole rows at once; each value must equal the
    // single-ray trace of its point, for cameras of every kind.
    struct Camera {
        int32_t tunnel;
        float fov, x, y, z, ax, ay, az;
        int32_t bounce;
    };
    const Camera cameras[] = {
        {1, 160.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0},
        {1, 47.3f, 1234.5f, -987.0f, 1.0e6f, 71.5f, -106.4f, 140.2f, 0},
        {1, 135.0f, 8192.0f, 0.0f, 65536.0f, 0.0f, 0.0f, 12.0f, 0},   // outside: some rays miss
        {0, 180.0f, 69632.0f, 0.0f, 65536.0f, 0.0f, 0.0f, 0.0f, 0},
        {0, 180.0f, 0.0f, 0.0f, 3.0e8f, -45.0f, 13.7f, 0.0f, 800},
        {0, 180.0f, -5.5f, 300.0f, 7.0e4f, 18.2f, 2.8f, -15.1f, -950},
        {0, 160.0f, 0.0f, 5000.0f, 0.0f, 90.0f, 0.0f, 0.0f, 0},       // planes behind the camera
    };
    auto grid = std::make_unique<RayGrid>();
    for (const Camera& c : cameras) {
        cam_tunnel = c.tunnel;
        cam_fov = c.fov;
        cam_x = c.x;
        cam_y = c.y;
        cam_z = c.z;
        cam_angle_x = c.ax;
        cam_angle_y = c.ay;
        cam_angle_z = c.az;
        plane_bounce = c.bounce;
        trace_ray_grid(*grid);
        for (int j = 0; j < kRayGridColumns; ++j) {
            for (int i = 0; i < kRayGridRows; ++i) {
                const Traced ray = c.tunnel ? tunnel_at(8 * j, 8 * i) : planes_at(8 * j, 8 * i);
                ASSERT_EQ(grid->u[j][i], ray.u) << "camera " << &c - cameras << " at " << j << "," << i;
                ASSERT_EQ(grid->v[j][i], ray.v) << "camera " << &c - cameras << " at " << j << "," << i;
                ASSERT_EQ(grid->shade[j][i], ray.shade) << "camera " << &c - cameras << " at " << j << "," << i;
            }
        }
    }
}

// ---------------------------------------------------------------- block pass

// A 256 × 256 texture whose texel names its own place: G = row, B = column.
std::vector<uint32_t> coordinate_texture() {
    std::vector<uint32_t> texture(kTextureSize * kTextureSize);
    for (uint32_t r = 0; r < 256; ++r) {
        for (uint32_t c = 0; c < 256; ++c) {
            texture[r * 256 + c] = (r << 8) | c;
        }
    }
    return texture;
}

std::unique_ptr<RayGrid> uniform_grid(int32_t u, int32_t v, int32_t shade) {
    auto grid = std::make_unique<RayGrid>();
    for (int j = 0; j < kRayGridColumns; ++j) {
        for (int i = 0; i < kRayGridRows; ++i) {
            grid->u[j][i] = u;
            grid->v[j][i] = v;
            grid->shade[j][i] = shade;
        }
    }
    return grid;
}

using DrawPass = void (*)(uint32_t*, const uint32_t*, const RayGrid&);

// Every block test runs on the pass the renderer uses and on the portable one.
class RayBlocks : public ::testing::TestWithParam<DrawPass> {
protected:
    void draw(const std::vector<uint32_t>& texture, const RayGrid& grid) {
        GetParam()(frame_->data(), texture.data(), grid);
    }
    uint32_t at(int x, int y) const { return frame_->pixels[y * kScreenWidth + x]; }
    std::unique_ptr<PixelBuffer> frame_ = std::make_unique<PixelBuffer>();
    std::vector<uint32_t> texture_ = coordinate_texture();
};

INSTANTIATE_TEST_SUITE_P(Passes, RayBlocks, ::testing::Values(&draw_ray_grid, &draw_ray_grid_portable),
                         [](const ::testing::TestParamInfo<DrawPass>& pass) {
                             return pass.index == 0 ? std::string("Selected") : std::string("Portable");
                         });

TEST_P(RayBlocks, OneTexelPerPixelAcrossAndDown) {
    // u rising by 0x80000 per grid column steps 0x10000 (one texel) per pixel,
    // right up to column 319 which interpolates towards the column at x = 320.
    auto grid = uniform_grid(0, 0, kFullPlaneShade);
    for (int j = 0; j < kRayGridColumns; ++j) {
        for (int i = 0; i < kRayGridRows; ++i) {
            grid->u[j][i] = j * 0x80000;
            grid->v[j][i] = i * 0x80000;
        }
    }
    draw(texture_, *grid);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            ASSERT_EQ(at(x, y), (static_cast<uint32_t>(y & 0xFF) << 8) | static_cast<uint32_t>(x & 0xFF))
                << x << "," << y;
        }
    }
}

TEST_P(RayBlocks, StepsAreFlooredNotTruncated) {
    // Block 0 runs u from 0 to −1: the step is −1 >> 3 = −1, so from its
    // second pixel on u is negative and selects texel column 255.
    auto grid = uniform_grid(-1, 0, kFullPlaneShade);
    grid->u[0][0] = 0;
    grid->u[0][1] = 0;
    draw(texture_, *grid);
    EXPECT_EQ(at(0, 0), 0u);
    for (int x = 1; x < 8; ++x) {
        EXPECT_EQ(at(x, 0), 255u) << x;
    }
}

TEST_P(RayBlocks, WrappedDepthTilesWithoutASeam) {
    // v climbs through 0x7FFFFFFF into negative values; in 32-bit arithmetic
    // the rows keep stepping by one texel: row y shows texel row (0xF0 + y) & 0xFF.
    auto grid = uniform_grid(0, 0, kFullPlaneShade);
    for (int j = 0; j < kRayGridColumns; ++j) {
        for (int i = 0; i < kRayGridRows; ++i) {
            grid->v[j][i] = static_cast<int32_t>(0x7FF00000u + static_cast<uint32_t>(i) * 0x80000u);
        }
    }
    draw(texture_, *grid);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; x += 37) {
            ASSERT_EQ(at(x, y), static_cast<uint32_t>((0xF0 + y) & 0xFF) << 8) << x << "," << y;
        }
    }
}

TEST_P(RayBlocks, ShadeScalesEachChannel) {
    std::vector<uint32_t> orange(kTextureSize * kTextureSize, 0xFFFF8040u);  // top byte set on purpose
    struct Case {
        int32_t level;
        uint32_t expected;
    };
    for (const Case c : {Case {128, 0x7F4020u}, Case {255, 0xFE7F3Fu}, Case {256, 0xFF8040u}, Case {0, 0u}}) {
        auto grid = uniform_grid(0, 0, c.level << 11);
        std::fill(std::begin(frame_->pixels), std::end(frame_->pixels), 0xDEADBEEFu);
        draw(orange, *grid);
        for (uint32_t pixel : frame_->pixels) {
            ASSERT_EQ(pixel, c.expected) << "level " << c.level;
        }
    }
}

TEST_P(RayBlocks, ABlackGridPointFadesIntoItsFourBlocks) {
    std::vector<uint32_t> white(kTextureSize * kTextureSize, 0xFFFFFFu);
    auto grid = uniform_grid(0, 0, kFullPlaneShade);
    grid->shade[10][10] = 0;  // screen point (80, 80)
    draw(white, *grid);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            const bool near = x > 72 && x < 88 && y > 72 && y < 88;
            if (!near) {
                ASSERT_EQ(at(x, y), 0xFFFFFFu) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(at(80, 80), 0u);
    EXPECT_EQ(at(84, 80), 0x7F7F7Fu);  // halfway to a bright corner: 255·½
    EXPECT_EQ(at(80, 84), 0x7F7F7Fu);
    EXPECT_EQ(at(76, 76), 0xBFBFBFu);  // bilinear ¾ of the way from the dark corner: 191
    EXPECT_EQ(at(84, 84), 0xBFBFBFu);
    EXPECT_EQ(at(73, 80), 0xDFDFDFu);  // 1/8 of the way towards the dark point: 255·7/8
    EXPECT_EQ(at(79, 80), 0x1F1F1Fu);  // 7/8 of the way: 255/8
}

TEST_P(RayBlocks, ShadesOutsideTheTracedRangeFollowTheSameProduct) {
    // Grids handed in by other code need not hold traced shades; each channel
    // is still ((X · s) >> 19) & 0xFF in 32-bit arithmetic.
    std::vector<uint32_t> orange(kTextureSize * kTextureSize, 0xFF8040u);
    struct Case {
        int32_t shade;
        uint32_t expected;
    };
    for (const Case c : {Case {0x7FFFF, 0xFE7F3Fu},     // just below full: 254, 127, 63
                         Case {-0x80000, 0x0180C0u},    // −255, −128, −64 keep their low bytes
                         Case {0x100000, 0xFE0080u},    // twice full: 510, 256, 128 keep their low bytes
                         Case {0x800, 0u},              // level 1: 255/256 truncates to 0
                         Case {0x809, 0x010000u}}) {    // 255 · 2057 just reaches 2^19: R = 1
        auto grid = uniform_grid(0, 0, c.shade);
        draw(orange, *grid);
        for (uint32_t pixel : frame_->pixels) {
            ASSERT_EQ(pixel, c.expected) << "shade " << c.shade;
        }
    }
}

TEST(RayBlocksAgree, SelectedAndPortablePassesDrawTheSamePixels) {
    // Random grids with traced shades (and, every other round, other shades):
    // both passes must produce identical frames.
    uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    std::vector<uint32_t> texture(kTextureSize * kTextureSize);
    for (uint32_t& texel : texture) {
        texel = next();
    }
    auto grid = std::make_unique<RayGrid>();
    auto selected = std::make_unique<PixelBuffer>();
    auto portable = std::make_unique<PixelBuffer>();
    for (int round = 0; round < 8; ++round) {
        for (int j = 0; j < kRayGridColumns; ++j) {
            for (int i = 0; i < kRayGridRows; ++i) {
                grid->u[j][i] = static_cast<int32_t>(next());
                grid->v[j][i] = static_cast<int32_t>(next() >> (round % 3) * 8);
                const uint32_t r = next();
                grid->shade[j][i] = round % 2 == 0   ? static_cast<int32_t>((r % 257) << 11)   // traced levels
                                    : round % 4 == 1 ? static_cast<int32_t>(r % 0x80001)       // any in 0..2^19
                                                     : static_cast<int32_t>(r >> 10) - 0x200000;
            }
        }
        draw_ray_grid(selected->data(), texture.data(), *grid);
        draw_ray_grid_portable(portable->data(), texture.data(), *grid);
        for (int p = 0; p < kScreenPixels; ++p) {
            ASSERT_EQ(selected->pixels[p], portable->pixels[p]) << "round " << round << ", pixel " << p;
        }
    }
}

// ---------------------------------------------------------------- whole render

using RayRender = CameraTest;

TEST_F(RayRender, EveryPixelIsWrittenInBothGeometries) {
    std::vector<uint32_t> texture = coordinate_texture();
    for (uint32_t& texel : texture) {
        texel |= 0xFF000000u;  // the top byte must not reach the frame
    }
    auto frame = std::make_unique<PixelBuffer>();
    for (int tunnel : {1, 0}) {
        cam_tunnel = tunnel;
        std::fill(std::begin(frame->pixels), std::end(frame->pixels), 0xFF123456u);
        render_ray_grid(frame->data(), texture.data());
        for (int i = 0; i < kScreenPixels; ++i) {
            ASSERT_EQ(frame->pixels[i] >> 24, 0u) << "pixel " << i << (tunnel ? " (tunnel)" : " (planes)");
        }
    }
}

TEST_F(RayRender, PlanesAtDistanceZeroShowOneTexelUnchanged) {
    // Every ray hits at t = 0: u = 250·1310.72 = 5 texels, v = 255 (row 0), shade 256.
    std::vector<uint32_t> texture = coordinate_texture();
    texture[5] = 0xFF8040u;
    cam_tunnel = 0;
    cam_y = 4096.0f;
    cam_x = 250.0f;
    cam_angle_y = 30.0f;
    auto frame = std::make_unique<PixelBuffer>();
    render_ray_grid(frame->data(), texture.data());
    for (uint32_t pixel : frame->pixels) {
        ASSERT_EQ(pixel, 0xFF8040u);
    }
}

TEST_F(RayRender, GridPointPixelsShowTheirOwnRay) {
    // A pixel on a grid point takes that ray's texel and shade unchanged, with
    // the camera turned and off the axis as a scene would have it.
    std::vector<uint32_t> texture = coordinate_texture();
    cam_angle_x = 10.0f;
    cam_angle_y = -20.0f;
    cam_angle_z = 30.0f;
    cam_x = 300.0f;
    cam_y = -200.0f;
    cam_z = 12345.0f;
    auto frame = std::make_unique<PixelBuffer>();
    for (int tunnel : {1, 0}) {
        cam_tunnel = tunnel;
        render_ray_grid(frame->data(), texture.data());
        for (int y = 0; y < kScreenHeight; y += 8) {
            for (int x = 0; x < kScreenWidth; x += 8) {
                const Traced ray = tunnel ? tunnel_at(x, y) : planes_at(x, y);
                const uint32_t level = static_cast<uint32_t>(ray.shade >> 11);
                const uint32_t row = (static_cast<uint32_t>(ray.v) >> 16) & 0xFF;
                const uint32_t column = (static_cast<uint32_t>(ray.u) >> 16) & 0xFF;
                const uint32_t expected = ((row * level / 256) << 8) | (column * level / 256);
                ASSERT_EQ(frame->pixels[y * kScreenWidth + x], expected) << x << "," << y << " tunnel " << tunnel;
            }
        }
    }
}

}  // namespace
}  // namespace gf
