// Mesh objects and the five cubes: filled once at start-up from the first
// triangle mesh of a 3D Studio file, released once at shutdown.
#include "mesh/mesh_object.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "mesh/chunk_reader.h"

namespace gf {

MeshObject cubes[kCubeCount];

namespace {

constexpr char kLoadedMeshName[] = "Object";
constexpr float kCubeStartDepth = 200.0f;
// The cube is a few hundred bytes; a file of millions of tiny chunks would stall the start.
constexpr long kMaxMeshFileBytes = 1L << 20;

}  // namespace

void init_mesh(MeshObject& object, const char* name, uint32_t vertex_count, uint32_t face_count) {
    std::memset(object.name, 0, sizeof object.name);
    std::strncpy(object.name, name, sizeof object.name - 1);
    object.vertex_count = vertex_count;
    object.face_count = face_count;
    object.source_vertices.assign(vertex_count, Vec3{});
    object.faces.assign(face_count, MeshFace{});
    object.transformed_vertices.assign(vertex_count, Vec3{});
    object.projected_points.assign(vertex_count, Point2{});
    object.screen_points.assign(vertex_count, ScreenPoint{});
}

Status load_mesh_3ds(MeshObject& object, const std::string& path) {
    release_mesh(object);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return failed_on(path, std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && info.st_size > kMaxMeshFileBytes) {
        std::fclose(file);
        return failed_on(path, std::to_string(info.st_size) + " bytes, more than the 1 MB a mesh file may have");
    }
    Mesh3dsList* list = nullptr;
    const Status parsed = read_3ds(file, READ_FROM_FILE, 0, list);
    std::fclose(file);
    if (!parsed.ok) {
        return failed_on(path, parsed.message);
    }
    if (list->count == 0) {
        free_3ds(list);
        return failed_on(path, "holds no triangle mesh");
    }

    // Only the first triangle mesh in file order is used.
    const Mesh3dsRecord& record = list->records[0];
    for (uint32_t f = 0; f < record.face_count; ++f) {
        const Face3ds& face = record.faces[f];
        for (uint16_t index : {face.a, face.b, face.c}) {
            if (index >= record.vertex_count) {
                Status refused =
                    failed_on(path, "face " + std::to_string(f) + " uses vertex " + std::to_string(index) +
                                        " but the mesh has only " + std::to_string(record.vertex_count) + " vertices");
                free_3ds(list);
                return refused;
            }
        }
    }

    init_mesh(object, kLoadedMeshName, record.vertex_count, record.face_count);
    for (uint32_t i = 0; i < record.vertex_count; ++i) {
        // The file's axes have z up; the renderer's have y down the screen and
        // z into it, so the file's second and third coordinates change places.
        const Vertex3ds& v = record.vertices[i];
        object.source_vertices[i] = Vec3{v.x, v.z, v.y};
    }
    for (uint32_t f = 0; f < record.face_count; ++f) {
        const Face3ds& face = record.faces[f];
        object.faces[f] = MeshFace{face.a, face.b, face.c};  // widened with zero fill; flags dropped
    }
    free_3ds(list);
    return {};
}

void release_mesh(MeshObject& object) {
    object.source_vertices = {};
    object.faces = {};
    object.transformed_vertices = {};
    object.projected_points = {};
    object.screen_points = {};
    object.vertex_count = 0;
    object.face_count = 0;
}

void load_cubes(const std::string& path) {
    // The five cubes hold identical copies of the file's mesh: it is parsed once and copied.
    // A failure leaves every cube empty.
    static_cast<void>(load_mesh_3ds(cubes[0], path));
    for (MeshObject& cube : cubes) {
        if (&cube != &cubes[0]) {
            const Matrix3 rotation = cube.rotation;
            cube = cubes[0];
            cube.rotation = rotation;
        }
        cube.position = Vec3{0.0f, 0.0f, kCubeStartDepth};
    }
}

void free_cubes() {
    for (MeshObject& cube : cubes) {
        release_mesh(cube);
    }
}

Status validate_mesh_file(const std::string& path) {
    MeshObject probe;
    return load_mesh_3ds(probe, path);
}

}  // namespace gf
