// Mesh objects: one wireframe mesh ready for drawing (its vertices in its own
// axes, faces as vertex-index triples, per-vertex work arrays, a position and
// a rotation), and the five cubes of the cube scene, filled from "kubus.3ds".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/data_set.h"
#include "common/status.h"
#include "common/types.h"

namespace gf {

constexpr std::size_t kMeshNameBytes = 32;  // NUL-terminated, at most 31 characters
constexpr int kCubeCount = 5;

// Three vertex indices, each below the object's vertex count.
struct MeshFace {
    int32_t a = 0;
    int32_t b = 0;
    int32_t c = 0;
};

// Where a projected vertex lands on the screen, worked out once per frame so
// that every edge that uses the vertex can start drawing at once.
struct ScreenPoint {
    enum Kind : uint32_t {
        kOnPlane = 0,  // x, y hold the truncated screen coordinates
        kHidden = 1,   // at or behind the eye, or not a finite point: no edge is drawn from or to it
        kFar = 2,      // finite but far outside the screen: edges are shortened first
    };
    int32_t x = 0;
    int32_t y = 0;
    Kind kind = kHidden;
};

struct MeshObject {
    char name[kMeshNameBytes] = {};
    std::vector<Vec3> source_vertices;  // the mesh in its own axes
    std::vector<MeshFace> faces;
    std::vector<Vec3> transformed_vertices;  // rotated and translated, written by transform_mesh
    std::vector<Point2> projected_points;    // screen-relative points, written by draw_mesh
    std::vector<ScreenPoint> screen_points;  // projected points on the screen, written by draw_mesh
    Vec3 position;
    uint32_t vertex_count = 0;
    uint32_t face_count = 0;
    Matrix3 rotation;  // applied by transform_mesh
};

// The five cubes of the cube scene, made before the program's entry with no
// vertices; filled by load_cubes, released by free_cubes.
extern MeshObject cubes[kCubeCount];

// Copies `name` (cut to 31 characters), stores the counts and allocates the
// arrays, vertices zeroed. Position and rotation are kept. Throws
// std::bad_alloc when memory is exhausted.
void init_mesh(MeshObject& object, const char* name, uint32_t vertex_count, uint32_t face_count);

// Fills `object` from the first triangle mesh of the 3D Studio file at
// `path`, named "Object", with the file's y and z swapped. On failure the
// message names the file and the problem, and the object is left without
// vertices or faces so that nothing is drawn from it. A file whose faces refer
// to vertices beyond its vertex list is refused.
Status load_mesh_3ds(MeshObject& object, const std::string& path);

// Frees the object's arrays and sets its counts to 0; safe to call again.
void release_mesh(MeshObject& object);

// Places each cube at (0, 0, 200) and loads it from `path`. A cube whose file
// cannot be used stays empty (check the file first with validate_mesh_file).
void load_cubes(const std::string& path = kMeshFile);
void free_cubes();

// Succeeds when `path` holds a usable mesh; else the message names the file and
// the problem (missing, not a 3D Studio file, damaged, no triangle mesh, a face
// index at or beyond the vertex count).
Status validate_mesh_file(const std::string& path);

}  // namespace gf
