// Cross-check against lib3ds, an independent 3D Studio reader: both must find
// the same meshes with the same vertices and faces in the generated cube and
// in every real-world file available.
#include <gtest/gtest.h>

#ifdef GF_HAVE_LIB3DS

#include <lib3ds/file.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mesh_test_support.h"

namespace gf {
namespace {

struct MeshData {
    std::string name;
    std::vector<float> coords;      // x, y, z per vertex
    std::vector<uint16_t> indices;  // a, b, c per face
    bool operator<(const MeshData& other) const { return std::strcmp(name.c_str(), other.name.c_str()) < 0; }
};

// lib3ds keeps its meshes sorted by name (stably); both lists are sorted that way.
std::vector<MeshData> read_with_lib3ds(const std::string& path) {
    std::vector<MeshData> meshes;
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    EXPECT_NE(file, nullptr) << "lib3ds cannot read " << path;
    for (Lib3dsMesh* mesh = file != nullptr ? file->meshes : nullptr; mesh != nullptr; mesh = mesh->next) {
        MeshData data{std::string(mesh->name).substr(0, kObjectNameBytes - 1), {}, {}};
        for (Lib3dsDword i = 0; i < mesh->points; ++i) {
            data.coords.insert(data.coords.end(), mesh->pointL[i].pos, mesh->pointL[i].pos + 3);
        }
        for (Lib3dsDword i = 0; i < mesh->faces; ++i) {
            data.indices.insert(data.indices.end(), mesh->faceL[i].points, mesh->faceL[i].points + 3);
        }
        meshes.push_back(std::move(data));
    }
    if (file != nullptr) {
        lib3ds_file_free(file);
    }
    std::stable_sort(meshes.begin(), meshes.end());
    return meshes;
}

std::vector<MeshData> read_with_ours(const std::string& path) {
    std::vector<MeshData> meshes;
    const auto holder = test::parse_file(path);
    EXPECT_TRUE(holder.ok()) << "read_3ds cannot read " << path;
    for (uint32_t m = 0; holder.ok() && m < holder->count; ++m) {
        const Mesh3dsRecord& r = holder->records[m];
        MeshData data{r.name, {}, {}};
        for (uint32_t i = 0; i < r.vertex_count; ++i) {
            data.coords.insert(data.coords.end(), {r.vertices[i].x, r.vertices[i].y, r.vertices[i].z});
        }
        for (uint32_t i = 0; i < r.face_count; ++i) {
            data.indices.insert(data.indices.end(), {r.faces[i].a, r.faces[i].b, r.faces[i].c});
        }
        meshes.push_back(std::move(data));
    }
    std::stable_sort(meshes.begin(), meshes.end());
    return meshes;
}

void expect_same_meshes(const std::string& path) {
    SCOPED_TRACE(path);
    const auto theirs = read_with_lib3ds(path);
    const auto ours = read_with_ours(path);
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t m = 0; m < ours.size(); ++m) {
        EXPECT_EQ(ours[m].name, theirs[m].name);
        ASSERT_EQ(ours[m].coords.size(), theirs[m].coords.size()) << ours[m].name;
        // Bit for bit: both keep the stored floats unchanged.
        EXPECT_EQ(std::memcmp(ours[m].coords.data(), theirs[m].coords.data(), ours[m].coords.size() * sizeof(float)), 0)
            << ours[m].name;
        EXPECT_EQ(ours[m].indices, theirs[m].indices) << ours[m].name;
    }
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
