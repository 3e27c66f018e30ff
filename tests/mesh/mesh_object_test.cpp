// Mesh objects filled from 3D Studio files: axis swap, index widening, first
// mesh only, the five cubes, and the start-up check of the mesh file.
#include <gtest/gtest.h>

#include <cstring>

#include "mesh/mesh_object.h"
#include "mesh_test_support.h"

namespace gf {
namespace {

using test::one_mesh_file;
using test::TempFile;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(MeshObject, LoadSwapsYAndZAndWidensIndices) {
    const TempFile file("swap.3ds", one_mesh_file("Whatever", {tds::vertex_list({{1, 2, 3}, {-0.5f, 1e-3f, 7e5f}, {0, 0, 0}}),
                                                              tds::face_list({{2, 0, 1, 7}, {1, 2, 0, 0xFFFF}})}));
    MeshObject object;
    ASSERT_EQ(load_mesh_3ds(object, file.path()), "");
    EXPECT_STREQ(object.name, "Object");
    ASSERT_EQ(object.vertex_count, 3u);
    EXPECT_EQ(object.source_vertices[0].x, 1.0f);
    EXPECT_EQ(object.source_vertices[0].y, 3.0f);
    EXPECT_EQ(object.source_vertices[0].z, 2.0f);
    EXPECT_EQ(object.source_vertices[1].x, -0.5f);
    EXPECT_EQ(object.source_vertices[1].y, 7e5f);
    EXPECT_EQ(object.source_vertices[1].z, 1e-3f);
    ASSERT_EQ(object.face_count, 2u);
    EXPECT_EQ(object.faces[0].a, 2);
    EXPECT_EQ(object.faces[0].b, 0);
    EXPECT_EQ(object.faces[0].c, 1);
    EXPECT_EQ(object.faces[1].a, 1);
    EXPECT_EQ(object.faces[1].c, 0);
    // Work arrays sized for the vertices, transformed vertices zeroed.
    ASSERT_EQ(object.transformed_vertices.size(), 3u);
    ASSERT_EQ(object.projected_points.size(), 3u);
    EXPECT_EQ(object.transformed_vertices[2].z, 0.0f);
    release_mesh(object);
}

TEST(MeshObject, IndicesAboveSignedSixteenBitsStayPositive) {
    // 40000 vertices, one face using index 39999: widened with zero fill, not sign extension.
    std::vector<tds::Vertex> many(40000, tds::Vertex {0, 0, 0});
    many[39999] = {9, 8, 7};
    const TempFile file("wide.3ds", one_mesh_file("Big", {tds::vertex_list(many), tds::face_list({{39999, 0, 1, 0}})}));
    MeshObject object;
    ASSERT_EQ(load_mesh_3ds(object, file.path()), "");
    EXPECT_EQ(object.faces[0].a, 39999);
    EXPECT_EQ(object.source_vertices[39999].y, 7.0f);
}

TEST(MeshObject, OnlyTheFirstTriangleMeshIsUsed) {
    const auto bytes = tds::serialize(tds::main_chunk({tds::editor_chunk({
        tds::object_block("First", {tds::triangle_mesh({tds::vertex_list({{1, 1, 1}, {2, 2, 2}})})}),
        tds::object_block("Second", {tds::triangle_mesh({tds::vertex_list({{5, 5, 5}})})}),
    })}));
    const TempFile file("two.3ds", bytes);
    MeshObject object;
    ASSERT_EQ(load_mesh_3ds(object, file.path()), "");
    EXPECT_STREQ(object.name, "Object");
    ASSERT_EQ(object.vertex_count, 2u);
    EXPECT_EQ(object.source_vertices[1].x, 2.0f);
}

TEST(MeshObject, LoadCubesFillsFiveEqualObjectsAtDepth200) {
    const TempFile file("cube.3ds", test::cube_file());
    load_cubes(file.path());
    for (const MeshObject& cube : cubes) {
        EXPECT_EQ(cube.vertex_count, 8u);
        EXPECT_EQ(cube.face_count, 12u);
        EXPECT_EQ(cube.position.x, 0.0f);
        EXPECT_EQ(cube.position.y, 0.0f);
        EXPECT_EQ(cube.position.z, 200.0f);
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        EXPECT_EQ(std::memcmp(cube.rotation.m, identity, sizeof identity), 0);
        EXPECT_EQ(std::memcmp(cube.source_vertices.data(), cubes[0].source_vertices.data(), 8 * sizeof(Vec3)), 0);
    }
    free_cubes();
    for (const MeshObject& cube : cubes) {
        EXPECT_EQ(cube.vertex_count, 0u);
        EXPECT_TRUE(cube.source_vertices.empty());
    }
    free_cubes();  // a second release is harmless
}

TEST(MeshObject, InitMeshCutsLongNamesAndKeepsPositionAndRotation) {
    MeshObject object;
    object.position = Vec3 {1, 2, 3};
    object.rotation.m[1] = 0.5f;
    init_mesh(object, "0123456789012345678901234567890123456789", 4, 2);
    EXPECT_EQ(std::strlen(object.name), 31u);
    EXPECT_EQ(std::strncmp(object.name, "0123456789012345678901234567890", 31), 0);
    EXPECT_EQ(object.source_vertices.size(), 4u);
    EXPECT_EQ(object.faces.size(), 2u);
    EXPECT_EQ(object.position.z, 3.0f);
    EXPECT_EQ(object.rotation.m[1], 0.5f);
}

TEST(MeshFileCheck, UsableFileGivesNoMessage) {
    const TempFile file("good.3ds", test::cube_file());
    EXPECT_EQ(validate_mesh_file(file.path()), "");
}

TEST(MeshFileCheck, EachProblemNamesTheFileAndTheCause) {
    const std::string missing = "/nonexistent-dir/kubus.3ds";
    std::string message = validate_mesh_file(missing);
    EXPECT_TRUE(contains(message, missing)) << message;
    EXPECT_TRUE(contains(message, "cannot open")) << message;

    const TempFile text("text.3ds", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    message = validate_mesh_file(text.path());
    EXPECT_TRUE(contains(message, text.path())) << message;
    EXPECT_TRUE(contains(message, "not a 3D Studio file")) << message;

    const TempFile empty("empty.3ds", {});
    EXPECT_TRUE(contains(validate_mesh_file(empty.path()), "not a 3D Studio file"));

    auto cut = test::cube_file();
    cut.resize(cut.size() - 5);
    const TempFile damaged("damaged.3ds", cut);
    message = validate_mesh_file(damaged.path());
    EXPECT_TRUE(contains(message, damaged.path())) << message;
    EXPECT_TRUE(contains(message, "damaged")) << message;

    const TempFile no_mesh("nomesh.3ds", tds::serialize(tds::main_chunk({tds::editor_chunk({})})));
    message = validate_mesh_file(no_mesh.path());
    EXPECT_TRUE(contains(message, no_mesh.path())) << message;
    EXPECT_TRUE(contains(message, "no triangle mesh")) << message;

    // Index 3 with three vertices: exactly at the count is already out of range.
    const TempFile bad_index("index.3ds", one_mesh_file("Box", {tds::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                                                tds::face_list({{0, 1, 2, 0}, {0, 3, 1, 0}})}));
    message = validate_mesh_file(bad_index.path());
    EXPECT_TRUE(contains(message, bad_index.path())) << message;
    EXPECT_TRUE(contains(message, "face 1 uses vertex 3")) << message;
    EXPECT_TRUE(contains(message, "only 3 vertices")) << message;

    // Faces but no vertex list at all.
    const TempFile no_vertices("novert.3ds", one_mesh_file("Box", {tds::face_list({{0, 0, 0, 0}})}));
    EXPECT_TRUE(contains(validate_mesh_file(no_vertices.path()), "face 0 uses vertex 0"));
}

TEST(MeshFileCheck, RefusedFileLeavesObjectEmpty) {
    const TempFile bad_index("index2.3ds", one_mesh_file("Box", {tds::vertex_list({{0, 0, 0}}), tds::face_list({{0, 0, 1, 0}})}));
    MeshObject object;
    init_mesh(object, "Old", 5, 5);
    EXPECT_NE(load_mesh_3ds(object, bad_index.path()), "");
    EXPECT_EQ(object.vertex_count, 0u);
    EXPECT_EQ(object.face_count, 0u);
    EXPECT_TRUE(object.faces.empty());
}

}  // namespace
}  // namespace gf
