// The wireframe renderer: exact Bresenham pixels and stop rules, rotation
// entries, projection truncation, safety off the eye plane, and the cube
// animation at known clock values.
#include "mesh/wireframe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "mesh/mesh_object.h"
#include "mesh_test_support.h"
#include "platform/clock.h"

namespace gf {
namespace {

using Pixel = std::pair<int, int>;  // (x, y)

// A frame with guard words on both sides, to catch writes outside it.
struct GuardedFrame {
    static constexpr int kGuard = 4096;
    std::vector<uint32_t> words = std::vector<uint32_t>(kScreenPixels + 2 * kGuard, 0);
    uint32_t* frame() { return words.data() + kGuard; }
    std::set<Pixel> lit() {
        for (int i = 0; i < kGuard; ++i) {
            EXPECT_EQ(words[static_cast<std::size_t>(i)] | words[words.size() - 1 - static_cast<std::size_t>(i)], 0u);
        }
        std::set<Pixel> pixels;
        for (int i = 0; i < kScreenPixels; ++i) {
            if (frame()[i] != 0) {
                EXPECT_EQ(frame()[i], kWireColour);
                pixels.insert({i % kScreenWidth, i / kScreenWidth});
            }
        }
        return pixels;
    }
};

std::set<Pixel> line(int x0, int y0, int x1, int y1) {
    GuardedFrame f;
    draw_line(x0, y0, x1, y1, kWireColour, f.frame());
    return f.lit();
}

std::set<Pixel> row_span(int y, int from, int to) {
    std::set<Pixel> pixels;
    for (int x = from; x <= to; ++x) {
        pixels.insert({x, y});
    }
    return pixels;
}

TEST(DrawLine, PixelsAndStopRules) {
    EXPECT_EQ(line(10, 10, 10, 10), (std::set<Pixel>{{10, 10}}));
    EXPECT_EQ(line(0, 0, 3, 1), (std::set<Pixel>{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(line(5, 5, 6, 8), (std::set<Pixel>{{5, 5}, {5, 6}, {6, 7}, {6, 8}}));
    EXPECT_EQ(line(4, 4, 1, 1), (std::set<Pixel>{{4, 4}, {3, 3}, {2, 2}, {1, 1}}));
    // An off-screen start draws nothing; the reverse line runs to column 0.
    EXPECT_TRUE(line(-1, 50, 100, 50).empty());
    EXPECT_EQ(line(100, 50, -1, 50), row_span(50, 0, 100));
    EXPECT_TRUE(line(0, 200, 0, 0).empty());
    // A line leaving the screen ends at its last on-screen point.
    EXPECT_EQ(line(315, 10, 330, 10), row_span(10, 315, 319));
    EXPECT_EQ(line(3, 197, 3, 400), (std::set<Pixel>{{3, 197}, {3, 198}, {3, 199}}));
    EXPECT_EQ(line(317, 0, 330, 13), (std::set<Pixel>{{317, 0}, {318, 1}, {319, 2}}));
    // Extreme ends: no overflow, still clipped.
    EXPECT_EQ(line(2, 100, INT32_MIN, 100), row_span(100, 0, 2));
    EXPECT_TRUE(line(318, 0, INT32_MAX, INT32_MAX).count({318, 0}));
}

// The line rule written out literally, with the bounds test on every step, as
// a reference for the drawer (which bounds only the minor axis per pixel).
std::set<Pixel> reference_line(int64_t x, int64_t y, int64_t x1, int64_t y1) {
    std::set<Pixel> pixels;
    auto plot = [&] {
        if (x < 0 || y < 0 || x > 319 || y > 199) return false;
        pixels.insert({static_cast<int>(x), static_cast<int>(y)});
        return true;
    };
    const int64_t dx = std::abs(x1 - x), dy = std::abs(y1 - y);
    const int64_t sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
    if (!plot() || (dx <= dy && y == y1)) return pixels;
    int64_t e = dx > dy ? 2 * dy - dx : 2 * dx - dy;
    while (true) {
        if (dx > dy) {
            y += e >= 0 ? sy : 0;
            e += e >= 0 ? 2 * dy - 2 * dx : 2 * dy;
            x += sx;
        } else {
            x += e >= 0 ? sx : 0;
            e += e >= 0 ? 2 * dx - 2 * dy : 2 * dx;
            y += sy;
        }
        if (!plot() || (dx > dy ? x == x1 : y == y1)) return pixels;
    }
}

TEST(DrawLine, MatchesTheLiteralRuleOnManyLines) {
    // Lines with both ends on screen take their own walk: the screen's corners and edges.
    const int kEdgeLines[][4] = {{0, 0, 319, 199}, {319, 199, 0, 0},   {319, 0, 0, 199}, {0, 199, 319, 0},
                                 {0, 0, 319, 0},   {319, 199, 319, 0}, {0, 0, 199, 199}, {5, 199, 0, 0}};
    for (const auto& l : kEdgeLines) {
        ASSERT_EQ(line(l[0], l[1], l[2], l[3]), reference_line(l[0], l[1], l[2], l[3]))
            << "(" << l[0] << "," << l[1] << ") to (" << l[2] << "," << l[3] << ")";
    }
    std::mt19937 generator(20261207);
    std::uniform_int_distribution<int> near_x(-40, 360), near_y(-40, 240), far(-5000, 5000);
    for (int i = 0; i < 2000; ++i) {
        const bool far_end = i % 4 == 3;  // ends well beyond the screen, leaving through every edge
        const int x0 = near_x(generator), y0 = near_y(generator);
        const int x1 = far_end ? far(generator) : near_x(generator);
        const int y1 = far_end ? far(generator) : near_y(generator);
        ASSERT_EQ(line(x0, y0, x1, y1), reference_line(x0, y0, x1, y1))
            << "(" << x0 << "," << y0 << ") to (" << x1 << "," << y1 << ")";
    }
}

TEST(Rotation, EntriesAndRowVectorConvention) {
    Matrix3 m;
    m.m[4] = 7.0f;
    set_rotation(m, 0, 0, 0);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(m.m[i], identity[i]) << i;  // −0 from −sin 0 counts as 0
    }
    set_rotation(m, 0, 90, 0);
    EXPECT_NEAR(m.m[2], -1.0f, 1e-6);
    EXPECT_NEAR(m.m[3], 0.0f, 1e-6);
    EXPECT_NEAR(m.m[7], 0.0f, 1e-6);
    // a = 20°, b = 40°, c = 30°: m2 = −sin 40°, m0 = cos 40° cos 30°, m5 = sin 20° cos 40°,
    // m7 = cos 20° sin 40° sin 30° − sin 20° cos 30°.
    set_rotation(m, 20, 40, 30);
    EXPECT_NEAR(m.m[2], -0.6427876, 2e-6);
    EXPECT_NEAR(m.m[0], 0.6634139, 2e-6);
    EXPECT_NEAR(m.m[5], 0.2620026, 2e-6);
    EXPECT_NEAR(m.m[7], 0.0058133, 2e-6);
    // A quarter turn in c takes the row vector (1, 2, 3) to (−2, 1, 3); then translate.
    MeshObject object;
    init_mesh(object, "T", 1, 0);
    object.source_vertices[0] = Vec3{1, 2, 3};
    set_rotation(object.rotation, 0, 0, 90);
    object.position = Vec3{10, 20, 30};
    transform_mesh(object);
    EXPECT_NEAR(object.transformed_vertices[0].x, 8.0f, 1e-5);
    EXPECT_NEAR(object.transformed_vertices[0].y, 21.0f, 1e-5);
    EXPECT_NEAR(object.transformed_vertices[0].z, 33.0f, 1e-5);
}

// One object whose transformed vertices are set directly (z = 256 keeps x
// and y as they are), drawn as the given faces.
std::set<Pixel> draw_points(const std::vector<Vec3>& vertices, const std::vector<MeshFace>& faces) {
    MeshObject object;
    init_mesh(object, "P", static_cast<uint32_t>(vertices.size()), static_cast<uint32_t>(faces.size()));
    object.transformed_vertices = vertices;
    object.faces = faces;
    GuardedFrame f;
    draw_mesh(object, f.frame());
    return f.lit();
}

TEST(DrawMesh, ProjectsAndTruncatesTowardZero) {
    EXPECT_EQ(project_point(Vec3{10, -20, 512}).x, 5.0f);
    EXPECT_EQ(project_point(Vec3{10, -20, 512}).y, -10.0f);
    // x + 160 = −0.5 lands on column 0, 319.9 on column 319; −1.0 is off-screen.
    EXPECT_EQ(draw_points({{-160.5f, -50, 256}}, {{0, 0, 0}}), (std::set<Pixel>{{0, 50}}));
    EXPECT_EQ(draw_points({{159.9f, 99.9f, 256}}, {{0, 0, 0}}), (std::set<Pixel>{{319, 199}}));
    EXPECT_TRUE(draw_points({{-161, -50, 256}}, {{0, 0, 0}}).empty());
    // The three edges of a right triangle (10,10) (14,10) (10,14).
    std::set<Pixel> expected = row_span(10, 10, 14);
    for (int i = 0; i <= 4; ++i) {
        expected.insert({10, 10 + i});
        expected.insert({14 - i, 10 + i});
    }
    EXPECT_EQ(draw_points({{-150, -90, 256}, {-146, -90, 256}, {-150, -86, 256}}, {{0, 1, 2}}), expected);
}

TEST(DrawMesh, VerticesBehindTheEyeOrFarAwayAreSafe) {
    // Edges touching a vertex at z = 0, behind the eye or not finite are left out.
    EXPECT_TRUE(draw_points({{0, 0, 256}, {5, 5, 0}, {-3, 2, -10}}, {{0, 1, 2}}).empty());
    EXPECT_EQ(draw_points({{-150, -90, 256}, {-146, -90, 256}, {0, 0, 0}}, {{0, 1, 2}}), row_span(10, 10, 14));
    EXPECT_EQ(draw_points({{-150, -90, 256}, {std::nanf(""), 0, 256}}, {{0, 1, 0}}), (std::set<Pixel>{{10, 10}}));
    // Vertex 1 projects about 2.6e22 to the right: the edge from the centre
    // runs right to the edge of the screen; the reverse one starts off-screen.
    EXPECT_EQ(draw_points({{0, 0, 256}, {1, 0, 1e-20f}}, {{0, 1, 1}}), row_span(100, 160, 319));
}

class CubeAnimation : public ::testing::Test {
protected:
    void SetUp() override {
        const test::TempFile file("anim_cube.3ds", test::cube_file());
        load_cubes(file.path);
        ASSERT_EQ(cubes[4].vertex_count, 8u);
        use_virtual_clock(0);
    }
    void TearDown() override {
        use_system_clock();
        free_cubes();
    }
};

TEST_F(CubeAnimation, ClockZeroGivesIdentityAtDepth300) {
    GuardedFrame f;
    draw_cubes(f.frame());
    for (const MeshObject& cube : cubes) {
        EXPECT_EQ(cube.position.x, 0.0f);
        EXPECT_EQ(cube.position.y, 0.0f);
        EXPECT_EQ(cube.position.z, 300.0f);
        EXPECT_EQ(cube.rotation.m[0] + cube.rotation.m[4] + cube.rotation.m[8], 3.0f);
        EXPECT_EQ(cube.rotation.m[1], 0.0f);
    }
    // All five coincide: the near side (z = 260) spans 160 ± 40·256/260 =
    // 120.6 … 199.4 → columns 120 … 199 and rows 60 … 139; the far side
    // (z = 340) spans 160 ± 30.1 → columns 129 … 190, rows 69 … 130.
    const auto pixels = f.lit();
    for (const Pixel& p : pixels) {
        EXPECT_TRUE(p.first >= 120 && p.first <= 199 && p.second >= 60 && p.second <= 139);
    }
    for (Pixel corner : {Pixel{120, 60}, Pixel{199, 139}, Pixel{129, 69}, Pixel{190, 130}}) {
        EXPECT_TRUE(pixels.count(corner)) << corner.first << "," << corner.second;
    }
    EXPECT_FALSE(pixels.count({160, 80}));  // inside the near side, off its diagonal
}

TEST_F(CubeAnimation, PositionAndRotationFollowTheClock) {
    set_virtual_clock(500);
    GuardedFrame f;
    draw_cubes(f.frame());
    EXPECT_FALSE(f.lit().empty());
    // Object 0 only sways: x = 80 sin 1.5, at depth 300.
    EXPECT_NEAR(cubes[0].position.x, 79.79960, 1e-4);
    EXPECT_EQ(cubes[0].position.y, 0.0f);
    EXPECT_EQ(cubes[0].position.z, 300.0f);
    // Object 1: x = 50 sin 1 + 80 sin 1.5, y = 50 sin 1.5, z = 100 sin 1.5 + 300.
    EXPECT_NEAR(cubes[1].position.x, 121.87315, 1e-4);
    EXPECT_NEAR(cubes[1].position.y, 49.87475, 1e-4);
    EXPECT_NEAR(cubes[1].position.z, 399.74950, 1e-4);
    // Angles at 500 ms, shared by all: a = 20°, b = 40°, c = 30°.
    EXPECT_NEAR(cubes[4].rotation.m[2], -0.6427876, 2e-6);
    EXPECT_NEAR(cubes[4].rotation.m[5], 0.2620026, 2e-6);
}

}  // namespace
}  // namespace gf
