// The ray grid renderer: vector helpers, the two tracers against hand-worked
// rays and their degenerate cases, and the block pass on hand-made grids.
#include "raycast/ray_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "camera_state.h"

namespace gf {
namespace {

using testing::camera_globals;
using testing::CameraTest;
using testing::CameraValues;

constexpr int32_t kFull = 256 << 11;  // full plane shade, 0x80000

struct Traced {
    int32_t u, v, shade;
    bool operator==(const Traced&) const = default;
};

Traced tunnel_at(int x, int y) {
    Traced t{-1, -1, -1};
    trace_tunnel(x, y, t.u, t.v, t.shade);
    return t;
}

Traced planes_at(int x, int y) {
    Traced t{-1, -1, -1};
    trace_planes(x, y, t.u, t.v, t.shade);
    return t;
}

constexpr Traced kBlack{0, 0, 0};

// Low 32 bits of a value truncated toward zero (inside the 64-bit range).
int32_t low_32_bits(double value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(value))); }

TEST(RayVector, RotateNormalizeAndSign) {
    Vec3 v{1.0f, 1.0f, 0.0f};
    EXPECT_EQ(&rotate_z(v, 90.0f), &v);
    EXPECT_NEAR(v.x, -1.0f, 1e-6f);  // both components from the old ones: (1, 1) → (−1, 1)
    EXPECT_NEAR(v.y, 1.0f, 1e-6f);
    Vec3 b{1.0f, 5.0f, 1.0f};
    rotate_y(b, 90.0f);  // x' = x·cos + z·sin, z' = z·cos − x·sin
    EXPECT_NEAR(b.x, 1.0f, 1e-6f);
    EXPECT_NEAR(b.z, -1.0f, 1e-6f);
    Vec3 c{5.0f, 1.0f, 1.0f};
    rotate_x(c, 90.0f);  // y' = y·cos − z·sin, z' = y·sin + z·cos, x kept
    EXPECT_EQ(c.x, 5.0f);
    EXPECT_NEAR(c.y, -1.0f, 1e-6f);
    EXPECT_NEAR(c.z, 1.0f, 1e-6f);

    Vec3 n{3.0f, 0.0f, -4.0f};
    normalize_vec3(n);
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, -0.8f);
    Vec3 zero;
    normalize_vec3(zero);  // left as it is, not NaN
    EXPECT_TRUE(zero.x == 0.0f && zero.y == 0.0f && zero.z == 0.0f);

    EXPECT_EQ(unit_sign(std::numeric_limits<float>::denorm_min()), 1.0f);
    for (float f : {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_EQ(unit_sign(f), -1.0f) << f;
    }
}

using TunnelTrace = CameraTest;

TEST_F(TunnelTrace, HandWorkedRays) {
    // (320, 100): d = (1, 0, 1)/√2, t = 4096·√2 ≈ 5792.6, hit (4096, 0, 4096).
    const Traced right = tunnel_at(320, 100);
    EXPECT_EQ(right.u, 0);
    EXPECT_NEAR(right.v, 2415919, 2);   // 4096 · 589.824
    EXPECT_EQ(right.shade, 140 << 11);  // 255 − 1.5·√5792.6 = 140.8
    // Up is −π/2 and left is π; 128 / 3.1415926536 is a hair below 128/π,
    // so the columns are 63.99999… and 127.99999…, truncated.
    EXPECT_EQ(tunnel_at(160, 20).u, 4194303);
    EXPECT_EQ(tunnel_at(0, 100).u, 8388607);

    // Turning the centre ray 45° about Y makes it the ray through (320, 100).
    cam_angle_y = 45.0f;
    EXPECT_EQ(tunnel_at(160, 100).shade, right.shade);
    // X before Y: 90° about X points (0, 0, 1) up, and 90° about Y leaves it
    // there (column 63 or 64); Y before X would point it along +x (column 0).
    cam_angle_x = 90.0f;
    cam_angle_y = 90.0f;
    EXPECT_NEAR(tunnel_at(160, 100).u >> 16, 63.5, 0.5);
}

TEST_F(TunnelTrace, OnTheAxisColumnsAreMirroredAndStayInTheFirstHalf) {
    for (int y = 0; y <= 200; y += 8) {
        for (int x = 0; x <= 320; x += 8) {
            const Traced a = tunnel_at(x, y);
            ASSERT_EQ(a, tunnel_at(x, 200 - y)) << x << "," << y;  // the wall point at −θ
            ASSERT_GE(a.u >> 16, 0);
            ASSERT_LE(a.u >> 16, 128);
            ASSERT_LE(a.shade, 255 << 11);
            // The point at π − θ: the two columns add up to a half turn.
            ASSERT_NEAR(static_cast<double>(a.u) + tunnel_at(320 - x, y).u, 128.0 * 65536.0, 4.0) << x << "," << y;
        }
    }
}

TEST_F(TunnelTrace, ShadeLimitsAndRaysWithoutAHit) {
    EXPECT_EQ(tunnel_at(160, 100), kBlack);   // along the axis: no intersection
    EXPECT_EQ(tunnel_at(160, 101).shade, 0);  // t ≈ 655363, beyond (255/1.5)² = 28900
    // A ray 8.5e-16 off the axis meets the wall at t ≈ 4.8e18, where
    // 255 − 1.5·√t ≈ −3.29e9 has positive low 32 bits: it must stay black.
    cam_fov = 1.88e17f;
    EXPECT_EQ(tunnel_at(0, 100).shade, 0);
    EXPECT_EQ(tunnel_at(0, 100).u, 8388607);

    cam_fov = 160.0f;
    cam_x = 4096.0f;  // on the wall facing out: the far root is t = 0
    EXPECT_EQ(tunnel_at(320, 100).shade, 255 << 11);
    cam_x = 1000.0f;  // parallel to the axis off the axis
    EXPECT_EQ(tunnel_at(160, 100), kBlack);
    cam_x = 8192.0f;  // outside: a ray going up passes the cylinder by...
    EXPECT_EQ(tunnel_at(160, 260), kBlack);
    EXPECT_GT(tunnel_at(0, 100).shade, 0);  // ...one going back across the axis meets it
}

TEST_F(TunnelTrace, DepthKeepsItsLow32Bits) {
    // (160, 260) meets the wall 4096 ahead; at cam_z = 2^23 the hit z is 8392704
    // and 8392704 · 589.824 = 4950218244 does not fit in 32 bits.
    cam_z = 8388608.0f;
    EXPECT_EQ(tunnel_at(160, 260).v, 655250948);  // 4950218244 − 2^32
}

using PlanesTrace = CameraTest;

TEST_F(PlanesTrace, HandWorkedRaysAndShadeLimits) {
    // (160, 260): d = (0, 1, 1)/√2, the lower plane 4096 below at t ≈ 5792.6.
    const Traced below = planes_at(160, 260);
    EXPECT_EQ(below.u, 0);
    EXPECT_NEAR(below.v, -5368454, 2);        // 255 − 4096·1310.72
    EXPECT_EQ(below.shade, 164 << 11);        // 256 − 1.2·√5792.6 = 164.7
    EXPECT_EQ(planes_at(160, -60), below);    // the upper plane, mirrored
    EXPECT_EQ(planes_at(40, 100), kBlack);    // horizontal: d.y = 0
    EXPECT_EQ(planes_at(160, 101).shade, 0);  // t ≈ 655363, beyond (256/1.2)²
    cam_z = 8388608.0f;                       // hit z 8392704: 255 − 8392704·1310.72 wraps
    EXPECT_EQ(planes_at(160, 260).v, low_32_bits(255.0 - 8392704.0 * 1310.72));
    cam_z = 0.0f;

    cam_x = -100.0f;  // u = |hx|·1310.72, two texels either side of the camera
    EXPECT_EQ(planes_at(160, 260).u, 131072);
    cam_x = 0.0f;
    plane_bounce = 100;  // distance (100 + 4096) − 4196 = 0: full shade, the camera's own point
    cam_y = 4196.0f;
    EXPECT_EQ(planes_at(300, 20), (Traced{0, 255, kFull}));
    EXPECT_EQ(planes_at(40, 100), kBlack);  // 0 / 0
    plane_bounce = 0;
    cam_y = 5000.0f;  // negative distance: t < 0, √t is NaN, black, coordinates finite
    EXPECT_EQ(planes_at(260, 260).shade, 0);
    EXPECT_NE(planes_at(260, 260).u, 0);
    cam_y = -6e18f;  // t ≈ 8.5e18: 256 − 1.2·√t ≈ −3.5e9 has positive low 32 bits
    EXPECT_EQ(planes_at(160, 260).shade, 0);
}

TEST_F(PlanesTrace, GridHoldsTheTraceOfEveryGridPointForAnyCamera) {
    // Grid column 40 and row 25 lie at x = 320 and y = 200, beyond the frame.
    const CameraValues cameras[] = {
        {160.0f, 1, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0},
        {47.3f, 1, 1234.5f, -987.0f, 1.0e6f, 71.5f, -106.4f, 140.2f, 0},
        {135.0f, 1, 8192.0f, 0.0f, 65536.0f, 0.0f, 0.0f, 12.0f, 0},  // outside: some rays miss
        {180.0f, 0, 69632.0f, 0.0f, 65536.0f, 0.0f, 0.0f, 0.0f, 0},
        {180.0f, 0, -5.5f, 300.0f, 3.0e8f, 18.2f, 2.8f, -15.1f, -950},
        {160.0f, 0, 0.0f, 5000.0f, 0.0f, 90.0f, 0.0f, 0.0f, 0},  // planes behind the camera
    };
    auto grid = std::make_unique<RayGrid>();
    for (const CameraValues& camera : cameras) {
        camera_globals() = camera;
        trace_ray_grid(*grid);
        for (int j = 0; j < kRayGridColumns; ++j) {
            for (int i = 0; i < kRayGridRows; ++i) {
                const Traced ray = cam_tunnel ? tunnel_at(8 * j, 8 * i) : planes_at(8 * j, 8 * i);
                ASSERT_EQ((Traced{grid->u[j][i], grid->v[j][i], grid->shade[j][i]}), ray)
                    << "camera " << &camera - cameras << " at " << j << "," << i;
            }
        }
    }
}

// A texture whose texel names its place: G = row, B = column.
std::vector<uint32_t> coordinate_texture() {
    std::vector<uint32_t> texture(kTextureSize * kTextureSize);
    for (uint32_t i = 0; i < texture.size(); ++i) {
        texture[i] = i;
    }
    return texture;
}

std::unique_ptr<RayGrid> uniform_grid(int32_t u, int32_t v, int32_t shade) {
    auto grid = std::make_unique<RayGrid>();
    std::fill(&grid->u[0][0], &grid->u[0][0] + kRayGridColumns * kRayGridRows, u);
    std::fill(&grid->v[0][0], &grid->v[0][0] + kRayGridColumns * kRayGridRows, v);
    std::fill(&grid->shade[0][0], &grid->shade[0][0] + kRayGridColumns * kRayGridRows, shade);
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

INSTANTIATE_TEST_SUITE_P(Passes, RayBlocks, ::testing::Values(&draw_ray_grid, &portable::draw_ray_grid),
                         [](const ::testing::TestParamInfo<DrawPass>& pass) {
                             return pass.index == 0 ? std::string("Selected") : std::string("Portable");
                         });

TEST_P(RayBlocks, CoordinatesStepOneTexelPerPixelFlooredAndWrapped) {
    // u and v rising 0x80000 per grid point step one texel a pixel, up to
    // column 319 and row 199; v starts near 2^31 and wraps without a seam.
    auto grid = uniform_grid(0, 0, kFull);
    for (int j = 0; j < kRayGridColumns; ++j) {
        for (int i = 0; i < kRayGridRows; ++i) {
            grid->u[j][i] = j * 0x80000;
            grid->v[j][i] = static_cast<int32_t>(0x7FF00000u + static_cast<uint32_t>(i) * 0x80000u);
        }
    }
    draw(texture_, *grid);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            ASSERT_EQ(at(x, y), static_cast<uint32_t>(((0xF0 + y) & 0xFF) << 8 | (x & 0xFF))) << x << "," << y;
        }
    }
    // u from 0 to −1 over a block: the step is −1 >> 3 = −1, not 0, so from
    // the second pixel on u is negative and shows column 255.
    grid = uniform_grid(-1, 0, kFull);
    grid->u[0][0] = grid->u[0][1] = 0;
    draw(texture_, *grid);
    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(1, 0), 255u);
    EXPECT_EQ(at(7, 0), 255u);
}

TEST_P(RayBlocks, ShadeScalesEachChannel) {
    std::vector<uint32_t> orange(kTextureSize * kTextureSize, 0xFFFF8040u);  // top byte set on purpose
    struct Case {
        int32_t shade;
        uint32_t expected;
    };
    for (const Case c : {Case{128 << 11, 0x7F4020u}, Case{255 << 11, 0xFE7F3Fu}, Case{kFull, 0xFF8040u}, Case{0, 0u},
                         // Shades no tracer makes follow the same ((X · s) >> 19) & 0xFF:
                         Case{0x809, 0x010000u},         // 255 · 2057 just reaches 2^19
                         Case{-kFull, 0x0180C0u},        // −255, −128, −64 keep their low bytes
                         Case{2 * kFull, 0xFE0080u}}) {  // 510, 256, 128 likewise
        draw(orange, *uniform_grid(0, 0, c.shade));
        for (uint32_t pixel : frame_->pixels) {
            ASSERT_EQ(pixel, c.expected) << "shade " << c.shade;
        }
    }
}

TEST_P(RayBlocks, ABlackGridPointFadesIntoItsFourBlocks) {
    std::vector<uint32_t> white(kTextureSize * kTextureSize, 0xFFFFFFu);
    auto grid = uniform_grid(0, 0, kFull);
    grid->shade[10][10] = 0;  // screen point (80, 80)
    draw(white, *grid);
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            if (x <= 72 || x >= 88 || y <= 72 || y >= 88) {
                ASSERT_EQ(at(x, y), 0xFFFFFFu) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(at(80, 80), 0u);
    EXPECT_EQ(at(73, 80), 0xDFDFDFu);  // 1/8 of the way to the dark point: 255·7/8
    EXPECT_EQ(at(84, 80), 0x7F7F7Fu);  // halfway
    EXPECT_EQ(at(80, 84), 0x7F7F7Fu);
    EXPECT_EQ(at(76, 76), 0xBFBFBFu);  // bilinear: ¾ of full
}

TEST(RayBlocksAgree, SelectedAndPortablePassesDrawTheSamePixels) {
    uint32_t state = 12345;
    const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
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
                grid->shade[j][i] = round % 2 == 0   ? static_cast<int32_t>((r % 257) << 11)  // traced levels
                                    : round % 4 == 1 ? static_cast<int32_t>(r % 0x80001)
                                                     : static_cast<int32_t>(r >> 10) - 0x200000;
            }
        }
        draw_ray_grid(selected->data(), texture.data(), *grid);
        portable::draw_ray_grid(portable->data(), texture.data(), *grid);
        ASSERT_EQ(0, std::memcmp(selected->data(), portable->data(), kFrameBytes)) << "round " << round;
    }
}

using RayRender = CameraTest;

TEST_F(RayRender, WritesEveryPixelAndShowsTheTexelUnchangedAtDistanceZero) {
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
    // Every planes ray hits at t = 0: u = 250·1310.72 = 5 texels, v = 255 (row 0), shade 256.
    texture[5] = 0xFF8040u;
    cam_y = 4096.0f;
    cam_x = 250.0f;
    cam_angle_y = 30.0f;
    render_ray_grid(frame->data(), texture.data());
    for (uint32_t pixel : frame->pixels) {
        ASSERT_EQ(pixel, 0xFF8040u);
    }
}

}  // namespace
}  // namespace gf
