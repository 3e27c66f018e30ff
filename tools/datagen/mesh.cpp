// "kubus.3ds": the cube the wireframe scene draws five times. A cube 80 units
// across centred on its origin, 8 corners and 12 triangles, so that at depths
// 200 to 400 the five copies spread over the whole 320 × 200 screen.
#include <array>
#include <string>
#include <vector>

#include "datagen/dataset.h"
#include "writers/tds_writer.h"

namespace gf::datagen {

namespace {

constexpr float kHalfEdge = 40.0f;            // the cube spans −40 … 40 on every axis
constexpr uint16_t kHiddenDiagonal = 0x0006;  // edges AB and BC visible, CA is the quad's diagonal
constexpr uint32_t kMeshFormatVersion = 3;

// Corner i has x = +half when bit 0 is set, y when bit 1, z when bit 2.
std::vector<tds::Vertex> cube_corners() {
    std::vector<tds::Vertex> corners;
    for (int i = 0; i < 8; ++i) {
        corners.push_back(
            {(i & 1) ? kHalfEdge : -kHalfEdge, (i & 2) ? kHalfEdge : -kHalfEdge, (i & 4) ? kHalfEdge : -kHalfEdge});
    }
    return corners;
}

// The six sides as corner quads, each wound counter-clockwise seen from outside.
constexpr std::array<std::array<uint16_t, 4>, 6> kSides = {{
    {0, 2, 3, 1},  // z = −40
    {4, 5, 7, 6},  // z = +40
    {0, 1, 5, 4},  // y = −40
    {2, 6, 7, 3},  // y = +40
    {0, 4, 6, 2},  // x = −40
    {1, 3, 7, 5},  // x = +40
}};

}  // namespace

Status write_mesh(const std::string& dir) {
    std::vector<tds::Face> faces;
    std::vector<uint32_t> smoothing;
    for (std::size_t side = 0; side < kSides.size(); ++side) {
        const auto& q = kSides[side];
        faces.push_back({q[0], q[1], q[2], kHiddenDiagonal});
        faces.push_back({q[2], q[3], q[0], kHiddenDiagonal});
        // Each side is flat: its own smoothing group, shared by its two triangles.
        smoothing.push_back(1u << side);
        smoothing.push_back(1u << side);
    }

    const std::vector<tds::Vertex> corners = cube_corners();
    std::vector<tds::MapCoord> mapping;
    for (const tds::Vertex& corner : corners) {
        mapping.push_back({corner[0] > 0 ? 1.0f : 0.0f, corner[1] > 0 ? 1.0f : 0.0f});
    }
    // Identity axes at the origin: the mesh is stored in its own frame.
    const std::array<float, 12> axes = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

    const tds::Chunk file = tds::main_chunk({
        tds::version_chunk(kMeshFormatVersion),
        tds::editor_chunk({
            tds::mesh_version_chunk(kMeshFormatVersion),
            tds::object_block("Kubus", {tds::triangle_mesh({
                                           tds::vertex_list(corners),
                                           tds::face_list(faces, {tds::smoothing_groups(smoothing)}),
                                           tds::mapping_list(mapping),
                                           tds::local_axes(axes),
                                       })}),
        }),
    });

    return tds::write_file(dir + "/" + kMeshFile, tds::serialize(file));
}

}  // namespace gf::datagen
