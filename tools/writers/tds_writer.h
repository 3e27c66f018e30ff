// Writes 3D Studio (.3ds) chunk files. A file is a tree of chunks (u16 id,
// u32 length, data, children); this writer builds the tree, computes every
// length and serialises it little-endian. Lengths can be overridden and the
// bytes cut anywhere, so tests can also build damaged files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "mesh/tds_chunks.h"

namespace gf::tds {

// The chunk ids are the reader's: mesh/tds_chunks.h.

// Little-endian byte sink for chunk data.
struct Bytes {
    std::vector<uint8_t> data;

    Bytes& u8(uint8_t value);
    Bytes& u16(uint16_t value);
    Bytes& u32(uint32_t value);
    Bytes& f32(float value);
    // The characters of `text` followed by one NUL.
    Bytes& cstring(const std::string& text);
    Bytes& raw(const std::vector<uint8_t>& bytes);
};

struct Chunk {
    uint16_t id = 0;
    std::vector<uint8_t> data;    // the chunk's own data, before its children
    std::vector<Chunk> children;  // written after the data
    // When set, written instead of the true length (header + data + children).
    std::optional<uint32_t> length_override;

    // The true length of the chunk as serialised.
    uint32_t size() const;
};

using Vertex = std::array<float, 3>;
struct Face {
    uint16_t a = 0, b = 0, c = 0;
    uint16_t flags = 0;
};
struct MapCoord {
    float u = 0.0f, v = 0.0f;
};

// Serialises a chunk tree depth first.
std::vector<uint8_t> serialize(const Chunk& chunk);
// Serialises several top-level chunks one after the other.
std::vector<uint8_t> serialize(const std::vector<Chunk>& chunks);

Chunk make_chunk(uint16_t id, std::vector<Chunk> children = {}, std::vector<uint8_t> data = {});

Chunk main_chunk(std::vector<Chunk> children);
Chunk editor_chunk(std::vector<Chunk> children);
Chunk object_block(const std::string& name, std::vector<Chunk> children);
Chunk triangle_mesh(std::vector<Chunk> children);
Chunk vertex_list(const std::vector<Vertex>& vertices);
// `sub_chunks` (material groups, smoothing groups) follow the faces inside the face list.
Chunk face_list(const std::vector<Face>& faces, std::vector<Chunk> sub_chunks = {});
Chunk mapping_list(const std::vector<MapCoord>& coords);
// Twelve floats: the X, Y and Z axis vectors, then the origin.
Chunk local_axes(const std::array<float, 12>& axes);
// One 32-bit group mask per face.
Chunk smoothing_groups(const std::vector<uint32_t>& groups);
// A material name and the faces that use it.
Chunk face_material(const std::string& material, const std::vector<uint16_t>& faces);
Chunk version_chunk(uint32_t version);
Chunk mesh_version_chunk(uint32_t version);

// Writes `bytes` to `path`. The failure names the file and the problem.
Status write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace gf::tds
