// Reads the triangle meshes of a 3D Studio (.3ds) file into raw mesh records:
// per mesh its object's name, vertices, faces, mapping coordinates and local
// axes, exactly as stored. Only these chunks are read; every other chunk is
// stepped over by its length. Any failure abandons the whole parse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/status.h"

namespace gf {

// Where read_3ds takes its bytes from.
enum ReadMode : int {
    READ_FROM_FILE = 0,    // source is an open std::FILE*
    READ_FROM_MEMORY = 1,  // source is the first byte of a block of `size` bytes
};

constexpr std::size_t kObjectNameBytes = 16;  // at most 15 characters and a NUL
constexpr std::size_t kLocalAxesFloats = 12;  // X, Y, Z axis vectors, then the origin

// One face: three vertex indices and the edge-visibility flags, as stored.
struct Face3ds {
    uint16_t a = 0;
    uint16_t b = 0;
    uint16_t c = 0;
    uint16_t flags = 0;
};

struct Vertex3ds {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct MapCoord3ds {
    float u = 0.0f;
    float v = 0.0f;
};

// One triangle mesh. A record is all zero until its chunks are read. The
// arrays are owned by the list the record belongs to.
struct Mesh3dsRecord {
    uint32_t face_count;
    uint32_t vertex_count;
    uint32_t mapping_count;
    uint32_t has_local_axes;  // 1 once a local-axes chunk was read
    Face3ds* faces;           // null until a face list is read
    Vertex3ds* vertices;      // null until a vertex list is read
    MapCoord3ds* mapping;     // null until a mapping list is read
    float local_axes[kLocalAxesFloats];
    char name[kObjectNameBytes];  // the enclosing object block's name
};

// The meshes of a file, in file order. Release only with free_3ds.
struct Mesh3dsList {
    uint32_t count;
    Mesh3dsRecord* records;  // null while count is 0
};

// Parses a 3D Studio file from an open file (READ_FROM_FILE; `size` is
// ignored and the file is left wherever the parse stopped) or from `size`
// bytes of memory (READ_FROM_MEMORY) into `list`. Fails, with `list` null and
// nothing left allocated, for a null source, an unknown mode, a first chunk
// that is not the main chunk, a read or seek beyond the data, a chunk whose
// length is below its header size or that runs past its parent's end, and an
// exhausted allocation; the message says which, and the caller puts the
// file's name before it. Not reentrant: one parse at a time.
Status read_3ds(const void* source, int mode, std::size_t size, Mesh3dsList*& list);

// Releases a list from read_3ds with everything it owns. Null does nothing.
void free_3ds(Mesh3dsList* list);

}  // namespace gf
