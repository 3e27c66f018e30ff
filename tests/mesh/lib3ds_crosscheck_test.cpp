// Cross-check of the chunk reader against lib3ds, an independent 3D Studio
// reader: both must find the same meshes with the same vertices and faces in
// the generated cube, a hand-built file and every real-world file available.
#include <gtest/gtest.h>

#ifdef GF_HAVE_LIB3DS

#include <lib3ds/file.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mesh/chunk_reader.h"
#include "mesh_test_support.h"

namespace gf {
namespace {

struct MeshData {
    std::string name;
    std::vector<float> coords;     // x, y, z per vertex
    std::vector<uint16_t> indices;  // a, b, c per face
};

// lib3ds keeps its meshes sorted by name (stable for equal names); sort ours
// the same way so the lists line up.
void sort_by_name(std::vector<MeshData>& meshes) {
    std::stable_sort(meshes.begin(), meshes.end(),
                     [](const MeshData& l, const MeshData& r) { return std::strcmp(l.name.c_str(), r.name.c_str()) < 0; });
}

std::vector<MeshData> read_with_lib3ds(const std::string& path) {
    std::vector<MeshData> meshes;
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    EXPECT_NE(file, nullptr) << "lib3ds cannot read " << path;
    if (file == nullptr) {
        return meshes;
    }
    for (Lib3dsMesh* mesh = file->meshes; mesh != nullptr; mesh = mesh->next) {
        MeshData data;
        data.name = std::string(mesh->name).substr(0, kObjectNameBytes - 1);
        for (Lib3dsDword i = 0; i < mesh->points; ++i) {
            data.coords.insert(data.coords.end(), mesh->pointL[i].pos, mesh->pointL[i].pos + 3);
        }
        for (Lib3dsDword i = 0; i < mesh->faces; ++i) {
            data.indices.insert(data.indices.end(), mesh->faceL[i].points, mesh->faceL[i].points + 3);
        }
        meshes.push_back(std::move(data));
    }
    lib3ds_file_free(file);
    sort_by_name(meshes);
    return meshes;
}

std::vector<MeshData> read_with_ours(const std::string& path) {
    std::vector<MeshData> meshes;
    const auto holder = test::parse_file(path);
    EXPECT_TRUE(holder.ok()) << "read_3ds cannot read " << path;
    if (!holder.ok()) {
        return meshes;
    }
    for (uint32_t m = 0; m < holder->count; ++m) {
        const Mesh3dsRecord& r = holder->records[m];
        MeshData data;
        data.name = r.name;
        for (uint32_t i = 0; i < r.vertex_count; ++i) {
            data.coords.insert(data.coords.end(), {r.vertices[i].x, r.vertices[i].y, r.vertices[i].z});
        }
        for (uint32_t i = 0; i < r.face_count; ++i) {
            data.indices.insert(data.indices.end(), {r.faces[i].a, r.faces[i].b, r.faces[i].c});
        }
        meshes.push_back(std::move(data));
    }
    sort_by_name(meshes);
    return meshes;
}

void expect_same_meshes(const std::string& path) {
    SCOPED_TRACE(path);
    const auto theirs = read_with_lib3ds(path);
    const auto ours = read_with_ours(path);
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t m = 0; m < ours.size(); ++m) {
        SCOPED_TRACE(ours[m].name);
        EXPECT_EQ(ours[m].name, theirs[m].name);
        ASSERT_EQ(ours[m].coords.size(), theirs[m].coords.size());
        // Bit for bit: both copy the stored floats unchanged.
        EXPECT_EQ(std::memcmp(ours[m].coords.data(), theirs[m].coords.data(), ours[m].coords.size() * sizeof(float)), 0);
        EXPECT_EQ(ours[m].indices, theirs[m].indices);
    }
}

TEST(Lib3dsCrossCheck, HandBuiltFileWithSubChunksAndTwoObjects) {
    const auto bytes = tds::serialize(tds::main_chunk({tds::version_chunk(3), tds::editor_chunk({
        tds::mesh_version_chunk(3),
        tds::object_block("Alpha", {tds::triangle_mesh({tds::vertex_list({{1.5f, -2, 3}, {4, 5, 6}, {-7, 8, 9.25f}}),
                                                        tds::face_list({{0, 1, 2, 7}}, {tds::smoothing_groups({1})}),
                                                        tds::mapping_list({{0, 0}, {1, 0}, {0, 1}})})}),
        tds::object_block("Beta", {tds::triangle_mesh({tds::vertex_list({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}),
                                                       tds::face_list({{3, 2, 1, 0}, {0, 1, 3, 0}})})}),
    })}));
    const test::TempFile file("crosscheck.3ds", bytes);
    expect_same_meshes(file.path());
}

TEST(Lib3dsCrossCheck, GeneratedCube) {
    const std::string path = std::string(GF_DATA_DIR) + "/kubus.3ds";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << path << " not generated (build the dataset target)";
    }
    expect_same_meshes(path);
    const auto ours = read_with_ours(path);
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(ours[0].coords.size(), 8u * 3);
    EXPECT_EQ(ours[0].indices.size(), 12u * 3);
}

TEST(Lib3dsCrossCheck, RealWorldFiles) {
    const std::filesystem::path dir = std::filesystem::path(GF_TESTDATA_DIR) / "3ds";
    if (!std::filesystem::is_directory(dir)) {
        GTEST_SKIP() << dir << " not present";
    }
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() && ext == ".3ds") {
            expect_same_meshes(entry.path().string());
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace gf

#endif  // GF_HAVE_LIB3DS
