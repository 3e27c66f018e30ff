// 3D Studio chunk writer: builds chunk trees and serialises them little-endian.
#include "writers/tds_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "common/bytes.h"
#include "common/status.h"

namespace gf::tds {

Bytes& Bytes::u8(uint8_t value) {
    data.push_back(value);
    return *this;
}

Bytes& Bytes::u16(uint16_t value) {
    le::append16(data, value);
    return *this;
}

Bytes& Bytes::u32(uint32_t value) {
    le::append32(data, value);
    return *this;
}

Bytes& Bytes::f32(float value) {
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    return u32(bits);
}

Bytes& Bytes::cstring(const std::string& text) {
    data.insert(data.end(), text.begin(), text.end());
    data.push_back(0);
    return *this;
}

Bytes& Bytes::raw(const std::vector<uint8_t>& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}

uint32_t Chunk::size() const {
    uint32_t total = kChunkHeaderBytes + static_cast<uint32_t>(data.size());
    for (const Chunk& child : children) {
        total += child.size();
    }
    return total;
}

namespace {

void append(const Chunk& chunk, std::vector<uint8_t>& out) {
    Bytes header;
    header.u16(chunk.id).u32(chunk.length_override.value_or(chunk.size()));
    out.insert(out.end(), header.data.begin(), header.data.end());
    out.insert(out.end(), chunk.data.begin(), chunk.data.end());
    for (const Chunk& child : chunk.children) {
        append(child, out);
    }
}

}  // namespace

std::vector<uint8_t> serialize(const Chunk& chunk) {
    std::vector<uint8_t> out;
    append(chunk, out);
    return out;
}

std::vector<uint8_t> serialize(const std::vector<Chunk>& chunks) {
    std::vector<uint8_t> out;
    for (const Chunk& chunk : chunks) {
        append(chunk, out);
    }
    return out;
}

Chunk make_chunk(uint16_t id, std::vector<Chunk> children, std::vector<uint8_t> data) {
    Chunk chunk;
    chunk.id = id;
    chunk.children = std::move(children);
    chunk.data = std::move(data);
    return chunk;
}

Chunk main_chunk(std::vector<Chunk> children) { return make_chunk(kMainChunk, std::move(children)); }

Chunk editor_chunk(std::vector<Chunk> children) { return make_chunk(kEditorChunk, std::move(children)); }

Chunk object_block(const std::string& name, std::vector<Chunk> children) {
    return make_chunk(kObjectBlock, std::move(children), Bytes().cstring(name).data);
}

Chunk triangle_mesh(std::vector<Chunk> children) { return make_chunk(kTriangleMesh, std::move(children)); }

Chunk vertex_list(const std::vector<Vertex>& vertices) {
    Bytes bytes;
    bytes.u16(static_cast<uint16_t>(vertices.size()));
    for (const Vertex& v : vertices) {
        bytes.f32(v[0]).f32(v[1]).f32(v[2]);
    }
    return make_chunk(kVertexList, {}, std::move(bytes.data));
}

Chunk face_list(const std::vector<Face>& faces, std::vector<Chunk> sub_chunks) {
    Bytes bytes;
    bytes.u16(static_cast<uint16_t>(faces.size()));
    for (const Face& f : faces) {
        bytes.u16(f.a).u16(f.b).u16(f.c).u16(f.flags);
    }
    return make_chunk(kFaceList, std::move(sub_chunks), std::move(bytes.data));
}

Chunk mapping_list(const std::vector<MapCoord>& coords) {
    Bytes bytes;
    bytes.u16(static_cast<uint16_t>(coords.size()));
    for (const MapCoord& c : coords) {
        bytes.f32(c.u).f32(c.v);
    }
    return make_chunk(kMappingList, {}, std::move(bytes.data));
}

Chunk local_axes(const std::array<float, 12>& axes) {
    Bytes bytes;
    for (float value : axes) {
        bytes.f32(value);
    }
    return make_chunk(kLocalAxes, {}, std::move(bytes.data));
}

Chunk smoothing_groups(const std::vector<uint32_t>& groups) {
    Bytes bytes;
    for (uint32_t group : groups) {
        bytes.u32(group);
    }
    return make_chunk(kSmoothingGroups, {}, std::move(bytes.data));
}

Chunk face_material(const std::string& material, const std::vector<uint16_t>& faces) {
    Bytes bytes;
    bytes.cstring(material).u16(static_cast<uint16_t>(faces.size()));
    for (uint16_t f : faces) {
        bytes.u16(f);
    }
    return make_chunk(kFaceMaterial, {}, std::move(bytes.data));
}

Chunk version_chunk(uint32_t version) { return make_chunk(kVersionChunk, {}, Bytes().u32(version).data); }

Chunk mesh_version_chunk(uint32_t version) { return make_chunk(kMeshVersionChunk, {}, Bytes().u32(version).data); }

Status write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    auto fail = [&](const char* what) { return failed_on(path, std::string(what) + ": " + std::strerror(errno)); };
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return fail("cannot create");
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        return fail("cannot write");
    }
    return {};
}

}  // namespace gf::tds
