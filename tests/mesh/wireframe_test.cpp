// The wireframe renderer: exact Bresenham pixels and stop rules, rotation
// entries, projection truncation, safety off the eye plane, and the cube
// animation at known clock values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "mesh/mesh_object.h"
#include "mesh/wireframe.h"
#include "mesh_test_support.h"
#include "platform/clock.h"

namespace gf {
namespace {

using Pixel = std::pair<int, int>;  // (x, y)

// A frame with guard words on both sides, to catch writes outside it.
struct GuardedFrame {
    static constexpr int kGuard = 4096;
    static constexpr uint32_t kCanary = 0xDEADBEEF;
    std::vector<uint32_t> words = std::vector<uint32_t>(kScreenPixels + 2 * kGuard, 0);

    GuardedFrame() {
        std::fill(words.begin(), words.begin() + kGuard, kCanary);
        std::fill(words.end() - kGuard, words.end(), kCanary);
    }
    uint32_t* frame() { return words.data() + kGuard; }
    bool guards_intact() const {
        for (int i = 0; i < kGuard; ++i) {
            if (words[static_cast<std::size_t>(i)] != kCanary || words[words.size() - 1 - static_cast<std::size_t>(i)] != kCanary) {
                return false;
            }
        }
        return true;
    }
    std::set<Pixel> lit() {
        std::set<Pixel> pixels;
        for (int y = 0; y < kScreenHeight; ++y) {
            for (int x = 0; x < kScreenWidth; ++x) {
                const uint32_t value = frame()[y * kScreenWidth + x];
                if (value != 0) {
                    EXPECT_EQ(value, kWireColour);
                    pixels.insert({x, y});
                }
            }
        }
        return pixels;
    }
};

std::set<Pixel> line(int x0, int y0, int x1, int y1) {
    GuardedFrame f;
    draw_line(x0, y0, x1, y1, kWireColour, f.frame());
    EXPECT_TRUE(f.guards_intact());
    return f.lit();
}

std::set<Pixel> row_span(int y, int from, int to) {
    std::set<Pixel> pixels;
    for (int x = std::min(from, to); x <= std::max(from, to); ++x) {
        pixels.insert({x, y});
    }
    return pixels;
}

TEST(DrawLine, SinglePointAndShortLines) {
    EXPECT_EQ(line(10, 10, 10, 10), (std::set<Pixel> {{10, 10}}));
    EXPECT_EQ(line(0, 0, 3, 1), (std::set<Pixel> {{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    // y-major and the exact diagonal, both directions.
    EXPECT_EQ(line(5, 5, 6, 8), (std::set<Pixel> {{5, 5}, {5, 6}, {6, 7}, {6, 8}}));
    EXPECT_EQ(line(4, 4, 1, 1), (std::set<Pixel> {{4, 4}, {3, 3}, {2, 2}, {1, 1}}));
    EXPECT_EQ(line(7, 9, 7, 6), (std::set<Pixel> {{7, 9}, {7, 8}, {7, 7}, {7, 6}}));
}

TEST(DrawLine, OffScreenStartDrawsNothingButReverseReachesTheEdge) {
    EXPECT_TRUE(line(-1, 50, 100, 50).empty());
    EXPECT_EQ(line(100, 50, -1, 50), row_span(50, 0, 100));
    EXPECT_TRUE(line(320, 0, 0, 0).empty());
    EXPECT_TRUE(line(0, 200, 0, 0).empty());
    EXPECT_TRUE(line(5, -1, 5, 10).empty());
}

TEST(DrawLine, StopsAtTheLastOnScreenPoint) {
    EXPECT_EQ(line(315, 10, 330, 10), row_span(10, 315, 319));
    // Down through the bottom row.
    const auto down = line(3, 197, 3, 400);
    EXPECT_EQ(down, (std::set<Pixel> {{3, 197}, {3, 198}, {3, 199}}));
    // A diagonal leaving through the right edge while still inside vertically.
    EXPECT_EQ(line(317, 0, 330, 13), (std::set<Pixel> {{317, 0}, {318, 1}, {319, 2}}));
}

TEST(DrawLine, ExtremeEndPointsAreSafe) {
    const auto left = line(2, 100, INT32_MIN, 100);
    EXPECT_EQ(left, row_span(100, 0, 2));
    const auto right = line(318, 0, INT32_MAX, INT32_MAX);
    EXPECT_FALSE(right.empty());
    EXPECT_TRUE(right.count({318, 0}));
    EXPECT_TRUE(line(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX).empty());
}

// Entry by entry, so that −0 (from −sin 0) counts as 0.
void expect_identity(const Matrix3& m) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(m.m[i], identity[i]) << "entry " << i;
    }
}

// The line rule written out step by step, with the bounds test on every step,
// as a reference for the drawer, which tests only the minor axis per pixel.
std::set<Pixel> reference_line(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    std::set<Pixel> pixels;
    auto off = [](int64_t x, int64_t y) { return x < 0 || y < 0 || x > 319 || y > 199; };
    const int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
    const int64_t dy = y1 > y0 ? y1 - y0 : y0 - y1;
    const int64_t sx = x0 < x1 ? 1 : -1;
    const int64_t sy = y0 < y1 ? 1 : -1;
    if (off(x0, y0)) {
        return pixels;
    }
    int64_t x = x0, y = y0;
    pixels.insert({static_cast<int>(x), static_cast<int>(y)});
    if (dx > dy) {
        int64_t e = 2 * dy - dx;
        while (true) {
            if (e >= 0) {
                y += sy;
                e += 2 * dy - 2 * dx;
            } else {
                e += 2 * dy;
            }
            x += sx;
            if (off(x, y)) break;
            pixels.insert({static_cast<int>(x), static_cast<int>(y)});
            if (x == x1) break;
        }
    } else if (y0 != y1) {
        int64_t e = 2 * dx - dy;
        while (true) {
            if (e >= 0) {
                x += sx;
                e += 2 * dx - 2 * dy;
            } else {
                e += 2 * dx;
            }
            y += sy;
            if (off(x, y)) break;
            pixels.insert({static_cast<int>(x), static_cast<int>(y)});
            if (y == y1) break;
        }
    }
    return pixels;
}

TEST(DrawLine, MatchesTheStepByStepRuleOnManyLines) {
    std::mt19937 generator(20261207);
    // Ends around the screen and well beyond it, so lines leave through every edge.
    std::uniform_int_distribution<int> near_x(-40, 360), near_y(-40, 240), far(-5000, 5000);
    for (int i = 0; i < 4000; ++i) {
        const bool far_end = i % 4 == 3;
        const int x0 = near_x(generator), y0 = near_y(generator);
        const int x1 = far_end ? far(generator) : near_x(generator);
        const int y1 = far_end ? far(generator) : near_y(generator);
        ASSERT_EQ(line(x0, y0, x1, y1), reference_line(x0, y0, x1, y1))
            << "(" << x0 << "," << y0 << ") to (" << x1 << "," << y1 << ")";
    }
}

TEST(Rotation, AnglesZeroGiveIdentity) {
    Matrix3 m;
    m.m[4] = 7.0f;
    set_rotation(m, 0, 0, 0);
    expect_identity(m);
}

TEST(Rotation, QuarterTurnsPutTheEntriesWhereExpected) {
    Matrix3 m;
    set_rotation(m, 0, 90, 0);
    EXPECT_NEAR(m.m[2], -1.0f, 1e-6);
    EXPECT_NEAR(m.m[3], 0.0f, 1e-6);
    EXPECT_NEAR(m.m[7], 0.0f, 1e-6);
    EXPECT_NEAR(m.m[6], 1.0f, 1e-6);
    EXPECT_NEAR(m.m[4], 1.0f, 1e-6);

    // A quarter turn in c: the row vector (1, 0, 0) becomes (m0, m1, m2) = (0, 1, 0).
    set_rotation(m, 0, 0, 90);
    Vec3 out;
    rotate_vec3(out, Vec3 {1, 0, 0}, m);
    EXPECT_NEAR(out.x, 0.0f, 1e-6);
    EXPECT_NEAR(out.y, 1.0f, 1e-6);
    EXPECT_NEAR(out.z, 0.0f, 1e-6);

    // A quarter turn in a: (0, 1, 0) becomes (m3, m4, m5) = (0, 0, 1).
    set_rotation(m, 90, 0, 0);
    rotate_vec3(out, Vec3 {0, 1, 0}, m);
    EXPECT_NEAR(out.x, 0.0f, 1e-6);
    EXPECT_NEAR(out.y, 0.0f, 1e-6);
    EXPECT_NEAR(out.z, 1.0f, 1e-6);
}

TEST(Rotation, GeneralAnglesMatchHandValues) {
    // a = 20°, b = 40°, c = 30°: m2 = −sin 40° = −0.6427876, m0 = cos 40° cos 30° = 0.6634139,
    // m5 = sin 20° cos 40° = 0.2620026, m7 = cos 20° sin 40° sin 30° − sin 20° cos 30° = 0.0058133.
    Matrix3 m;
    set_rotation(m, 20, 40, 30);
    EXPECT_NEAR(m.m[2], -0.6427876, 2e-6);
    EXPECT_NEAR(m.m[0], 0.6634139, 2e-6);
    EXPECT_NEAR(m.m[5], 0.2620026, 2e-6);
    EXPECT_NEAR(m.m[7], 0.0058133, 2e-6);
}

TEST(Transform, RotatesThenTranslates) {
    MeshObject object;
    init_mesh(object, "T", 1, 0);
    object.source_vertices[0] = Vec3 {1, 2, 3};
    set_rotation(object.rotation, 0, 0, 90);  // (x, y, z) → (−y, x, z)
    object.position = Vec3 {10, 20, 30};
    transform_mesh(object);
    EXPECT_NEAR(object.transformed_vertices[0].x, 8.0f, 1e-5);
    EXPECT_NEAR(object.transformed_vertices[0].y, 21.0f, 1e-5);
    EXPECT_NEAR(object.transformed_vertices[0].z, 33.0f, 1e-5);
}

TEST(Projection, DividesByDepthWithScale256) {
    const Point2 p = project_point(Vec3 {10, -20, 512});
    EXPECT_EQ(p.x, 5.0f);
    EXPECT_EQ(p.y, -10.0f);
    const Point2 q = project_point(Vec3 {1, 1, 3});
    EXPECT_EQ(q.x, static_cast<float>(256.0 / 3.0));
}

// One object whose transformed vertices are set directly (z = 256 projects
// x and y unchanged), drawn as the given faces.
std::set<Pixel> draw_points(const std::vector<Vec3>& vertices, const std::vector<MeshFace>& faces, bool* guards_ok = nullptr) {
    MeshObject object;
    init_mesh(object, "P", static_cast<uint32_t>(vertices.size()), static_cast<uint32_t>(faces.size()));
    object.transformed_vertices = vertices;
    object.faces = faces;
    GuardedFrame f;
    draw_mesh(object, f.frame());
    if (guards_ok != nullptr) {
        *guards_ok = f.guards_intact();
    }
    return f.lit();
}

TEST(DrawMesh, ScreenCoordinatesTruncateTowardZero) {
    // x + 160 = −0.5 lands on column 0; x + 160 = 319.9 on column 319.
    EXPECT_EQ(draw_points({{-160.5f, -50, 256}}, {{0, 0, 0}}), (std::set<Pixel> {{0, 50}}));
    EXPECT_EQ(draw_points({{159.9f, 99.9f, 256}}, {{0, 0, 0}}), (std::set<Pixel> {{319, 199}}));
    // x + 160 = −1.0 is off-screen: nothing starts from it.
    EXPECT_TRUE(draw_points({{-161, -50, 256}}, {{0, 0, 0}}).empty());
}

TEST(DrawMesh, FaceDrawsItsThreeEdges) {
    // Right triangle (10,10) (14,10) (10,14): the two legs and the diagonal.
    const auto pixels = draw_points({{-150, -90, 256}, {-146, -90, 256}, {-150, -86, 256}}, {{0, 1, 2}});
    std::set<Pixel> expected = row_span(10, 10, 14);
    for (int i = 0; i <= 4; ++i) {
        expected.insert({10, 10 + i});
        expected.insert({14 - i, 10 + i});
    }
    EXPECT_EQ(pixels, expected);
}

TEST(DrawMesh, VerticesAtOrBehindTheEyeAreNotDrawnFrom) {
    // Vertex 0 on screen at (160, 100); vertex 1 at z = 0, vertex 2 behind the eye.
    bool guards_ok = false;
    auto pixels = draw_points({{0, 0, 256}, {5, 5, 0}, {-3, 2, -10}}, {{0, 1, 2}}, &guards_ok);
    EXPECT_TRUE(guards_ok);
    EXPECT_TRUE(pixels.empty());

    // Only the edges that touch the bad vertex go: a triangle with a fourth vertex at z = 0.
    pixels = draw_points({{-150, -90, 256}, {-146, -90, 256}, {0, 0, 0}}, {{0, 1, 2}}, &guards_ok);
    EXPECT_TRUE(guards_ok);
    EXPECT_EQ(pixels, row_span(10, 10, 14));

    // A NaN coordinate is refused the same way.
    pixels = draw_points({{-150, -90, 256}, {std::nanf(""), 0, 256}}, {{0, 1, 0}}, &guards_ok);
    EXPECT_TRUE(guards_ok);
    EXPECT_EQ(pixels, (std::set<Pixel> {{10, 10}}));
}

TEST(DrawMesh, HugeProjectionKeepsTheEdgeDirection) {
    // Vertex 1 is just in front of the eye and projects about 2.6e22 to the
    // right: the edge from the centre runs right to the screen edge, the
    // reverse edge starts off-screen and draws nothing.
    bool guards_ok = false;
    const auto pixels = draw_points({{0, 0, 256}, {1, 0, 1e-20f}}, {{0, 1, 1}}, &guards_ok);
    EXPECT_TRUE(guards_ok);
    EXPECT_EQ(pixels, row_span(100, 160, 319));
}

// Loads the test cube into all five cubes for the animation tests.
class CubeAnimation : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = std::make_unique<test::TempFile>("anim_cube.3ds", test::cube_file());
        load_cubes(file_->path());
        ASSERT_EQ(cubes[0].vertex_count, 8u);
        use_virtual_clock(0);
    }
    void TearDown() override {
        use_system_clock();
        free_cubes();
    }
    std::unique_ptr<test::TempFile> file_;
};

TEST_F(CubeAnimation, ClockZeroGivesIdentityAtDepth300) {
    GuardedFrame f;
    draw_cubes(f.frame());
    EXPECT_TRUE(f.guards_intact());
    for (const MeshObject& cube : cubes) {
        EXPECT_EQ(cube.position.x, 0.0f);
        EXPECT_EQ(cube.position.y, 0.0f);
        EXPECT_EQ(cube.position.z, 300.0f);
        expect_identity(cube.rotation);
    }
    // All five cubes coincide: the near face (z = 260) spans 160 ± 40·256/260
    // = 120.6 … 199.4 → columns 120 … 199, rows 60 … 139; the far face (z =
    // 340) spans 160 ± 30.1 → columns 129 … 190, rows 69 … 130.
    const auto pixels = f.lit();
    ASSERT_FALSE(pixels.empty());
    for (const Pixel& p : pixels) {
        EXPECT_GE(p.first, 120);
        EXPECT_LE(p.first, 199);
        EXPECT_GE(p.second, 60);
        EXPECT_LE(p.second, 139);
    }
    for (Pixel corner : {Pixel {120, 60}, Pixel {199, 60}, Pixel {120, 139}, Pixel {199, 139}, Pixel {129, 69},
                         Pixel {190, 130}}) {
        EXPECT_TRUE(pixels.count(corner)) << corner.first << "," << corner.second;
    }
    // Inside the near face, away from its diagonal and from the side faces' strips.
    EXPECT_FALSE(pixels.count({160, 80}));
    EXPECT_FALSE(pixels.count({140, 100}));
}

TEST_F(CubeAnimation, PositionAndRotationFollowTheClock) {
    set_virtual_clock(500);
    GuardedFrame f;
    draw_cubes(f.frame());
    EXPECT_TRUE(f.guards_intact());
    // Object 0 only sways: x = 80 sin 1.5 = 79.79960, at depth 300.
    EXPECT_NEAR(cubes[0].position.x, 79.79960, 1e-4);
    EXPECT_EQ(cubes[0].position.y, 0.0f);
    EXPECT_EQ(cubes[0].position.z, 300.0f);
    // Object 1: x = 50 sin 1 + 80 sin 1.5 = 121.87315, y = 50 sin 1.5 = 49.87475,
    // z = 100 sin 1.5 + 300 = 399.74950.
    EXPECT_NEAR(cubes[1].position.x, 121.87315, 1e-4);
    EXPECT_NEAR(cubes[1].position.y, 49.87475, 1e-4);
    EXPECT_NEAR(cubes[1].position.z, 399.74950, 1e-4);
    // Object 2: x = 50 sin 2 + 80 sin 1.5 = 125.26447, y = 50 sin 3 = 7.05600.
    EXPECT_NEAR(cubes[2].position.x, 125.26447, 1e-4);
    EXPECT_NEAR(cubes[2].position.y, 7.05600, 1e-4);
    // Angles at 500 ms: a = 20°, b = 40°, c = 30°, shared by all.
    for (const MeshObject& cube : cubes) {
        EXPECT_NEAR(cube.rotation.m[2], -0.6427876, 2e-6);
        EXPECT_NEAR(cube.rotation.m[5], 0.2620026, 2e-6);
    }
}

TEST_F(CubeAnimation, CubesEmptyWhenNotLoadedDrawNothing) {
    free_cubes();
    GuardedFrame f;
    draw_cubes(f.frame());
    EXPECT_TRUE(f.lit().empty());
    EXPECT_TRUE(f.guards_intact());
}

}  // namespace
}  // namespace gf
