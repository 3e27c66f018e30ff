// Mesh objects filled from 3D Studio files: axis swap, index widening, first
// mesh only, the five cubes, and the start-up check of the mesh file.
#include "mesh/mesh_object.h"

#include <gtest/gtest.h>

#include "mesh_test_support.h"

namespace gf {
namespace {

using test::one_mesh_file;
using test::TempFile;

TEST(MeshObject, LoadSwapsYAndZAndWidensIndices) {
    // 40000 vertices so that an index above 32767 shows zero fill, not sign extension.
    std::vector<tds::Vertex> vertices(40000, tds::Vertex{0, 0, 0});
    vertices[0] = {1, 2, 3};
    vertices[39999] = {-0.5f, 1e-3f, 7e5f};
    const TempFile file("swap.3ds", one_mesh_file("Whatever", {tds::vertex_list(vertices),
                                                               tds::face_list({{2, 0, 1, 7}, {39999, 1, 0, 0xFFFF}})}));
    MeshObject object;
    ASSERT_TRUE(load_mesh_3ds(object, file.path).ok);
    EXPECT_STREQ(object.name, "Object");
    ASSERT_EQ(object.vertex_count, 40000u);
    EXPECT_EQ(object.source_vertices[0].y, 3.0f);
    EXPECT_EQ(object.source_vertices[0].z, 2.0f);
    EXPECT_EQ(object.source_vertices[39999].x, -0.5f);
    EXPECT_EQ(object.source_vertices[39999].y, 7e5f);
    EXPECT_EQ(object.source_vertices[39999].z, 1e-3f);
    ASSERT_EQ(object.face_count, 2u);
    EXPECT_EQ(object.faces[0].a, 2);
    EXPECT_EQ(object.faces[0].b, 0);
    EXPECT_EQ(object.faces[0].c, 1);
    EXPECT_EQ(object.faces[1].a, 39999);
    EXPECT_EQ(object.transformed_vertices.size(), 40000u);
}

TEST(MeshObject, OnlyTheFirstTriangleMeshIsUsed) {
    const TempFile file(
        "two.3ds", tds::serialize(tds::main_chunk({tds::editor_chunk({
                       tds::object_block("First", {tds::triangle_mesh({tds::vertex_list({{1, 1, 1}, {2, 2, 2}})})}),
                       tds::object_block("Second", {tds::triangle_mesh({tds::vertex_list({{5, 5, 5}})})}),
                   })})));
    MeshObject object;
    ASSERT_TRUE(load_mesh_3ds(object, file.path).ok);
    EXPECT_STREQ(object.name, "Object");
    ASSERT_EQ(object.vertex_count, 2u);
    EXPECT_EQ(object.source_vertices[1].x, 2.0f);
}

TEST(MeshObject, LoadCubesFillsFiveEqualObjectsAtDepth200) {
    const TempFile file("cube.3ds", test::cube_file());
    load_cubes(file.path);
    for (const MeshObject& cube : cubes) {
        EXPECT_EQ(cube.vertex_count, 8u);
        EXPECT_EQ(cube.face_count, 12u);
        EXPECT_EQ(cube.position.x, 0.0f);
        EXPECT_EQ(cube.position.z, 200.0f);
        EXPECT_EQ(cube.rotation.m[0], 1.0f);
        EXPECT_EQ(cube.rotation.m[1], 0.0f);
        EXPECT_EQ(cube.source_vertices[6].y, 40.0f);  // corner 6: file (−40, 40, 40)
        EXPECT_EQ(cube.source_vertices[6].x, -40.0f);
    }
    free_cubes();
    EXPECT_EQ(cubes[4].vertex_count, 0u);
    EXPECT_TRUE(cubes[4].source_vertices.empty());
    free_cubes();  // a second release is harmless
}

TEST(MeshFileCheck, EachProblemNamesTheFileAndTheCause) {
    auto damaged = test::cube_file();
    damaged.resize(damaged.size() - 5);
    auto huge = test::cube_file();
    huge.resize((1u << 20) + 1, 0);  // a size cap, checked before any parsing
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* cause;
    } cases[] = {
        {"good.3ds", test::cube_file(), ""},
        {"text.3ds", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, "not a 3D Studio file"},
        {"empty.3ds", {}, "not a 3D Studio file"},
        {"damaged.3ds", damaged, "damaged"},
        {"nomesh.3ds", tds::serialize(tds::main_chunk({tds::editor_chunk({})})), "holds no triangle mesh"},
        // Index 3 with three vertices: exactly at the count is already out of range.
        {"index.3ds",
         one_mesh_file("Box", {tds::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                               tds::face_list({{0, 1, 2, 0}, {0, 3, 1, 0}})}),
         "face 1 uses vertex 3 but the mesh has only 3 vertices"},
        {"novertices.3ds", one_mesh_file("Box", {tds::face_list({{0, 0, 0, 0}})}), "face 0 uses vertex 0"},
        {"huge.3ds", huge, "1048577 bytes, more than the 1 MB a mesh file may have"},
    };
    for (const auto& c : cases) {
        const TempFile file(c.name, c.bytes);
        const Status status = validate_mesh_file(file.path);
        const std::string& message = status.message;
        EXPECT_EQ(status.ok, *c.cause == '\0') << c.name;
        if (*c.cause == '\0') {
            EXPECT_EQ(message, "") << c.name;
        } else {
            EXPECT_EQ(message.rfind(file.path + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.cause), std::string::npos) << message;
        }
    }
    EXPECT_NE(validate_mesh_file("/nonexistent-dir/kubus.3ds").message.find("/nonexistent-dir/kubus.3ds: cannot open"),
              std::string::npos);

    // A refused file leaves the object with nothing to draw.
    const TempFile bad("bad.3ds",
                       one_mesh_file("Box", {tds::vertex_list({{0, 0, 0}}), tds::face_list({{0, 0, 1, 0}})}));
    MeshObject object;
    init_mesh(object, "Old", 5, 5);
    EXPECT_FALSE(load_mesh_3ds(object, bad.path).ok);
    EXPECT_EQ(object.vertex_count + object.face_count, 0u);
    EXPECT_TRUE(object.faces.empty());
}

}  // namespace
}  // namespace gf
