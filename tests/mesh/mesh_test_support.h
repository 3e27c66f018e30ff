// Helpers for the mesh tests: tiny 3D Studio files built with the writer,
// parsed from memory or from a temporary file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "mesh/chunk_reader.h"
#include "writers/tds_writer.h"

namespace gf::test {

// Owns a parse result and frees it with free_3ds.
struct ListHolder {
    Mesh3dsList* list = nullptr;
    Status status;
    ListHolder(Mesh3dsList* l, Status s) : list(l), status(std::move(s)) {}
    ListHolder(ListHolder&& other) noexcept
        : list(std::exchange(other.list, nullptr)), status(std::move(other.status)) {}
    ListHolder(const ListHolder&) = delete;
    ListHolder& operator=(const ListHolder&) = delete;
    ~ListHolder() { free_3ds(list); }
    Mesh3dsList* operator->() const { return list; }
    // A parse succeeds with a list and fails without one.
    bool ok() const {
        EXPECT_EQ(status.ok, list != nullptr) << status.message;
        return status.ok && list != nullptr;
    }
};

inline ListHolder parse_memory(const void* data, std::size_t size) {
    Mesh3dsList* list = nullptr;
    Status status = read_3ds(data, READ_FROM_MEMORY, size, list);
    return ListHolder(list, std::move(status));
}

inline ListHolder parse_memory(const std::vector<uint8_t>& bytes) { return parse_memory(bytes.data(), bytes.size()); }

// A temporary file, removed at the end of the test.
struct TempFile {
    std::string path;
    TempFile(const std::string& name, const std::vector<uint8_t>& bytes)
        : path((std::filesystem::temp_directory_path() / ("gf_mesh_" + std::to_string(::getpid()) + "_" + name))
                   .string()) {
        const Status written = tds::write_file(path, bytes);
        EXPECT_TRUE(written.ok) << written.message;
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { std::remove(path.c_str()); }
};

inline ListHolder parse_file(const std::string& path, std::size_t size = 0) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    Mesh3dsList* list = nullptr;
    Status status = file != nullptr ? read_3ds(file, READ_FROM_FILE, size, list) : Status{false, "cannot open"};
    if (file != nullptr) {
        std::fclose(file);
    }
    return ListHolder(list, std::move(status));
}

// A whole file holding one object with one triangle mesh made of `mesh_children`.
inline std::vector<uint8_t> one_mesh_file(const std::string& name, std::vector<tds::Chunk> mesh_children) {
    return tds::serialize(tds::main_chunk(
        {tds::editor_chunk({tds::object_block(name, {tds::triangle_mesh(std::move(mesh_children))})})}));
}

// A cube 80 across, built here independently of the data-set generator:
// corner i has +40 in x for bit 0, in y for bit 1, in z for bit 2.
inline std::vector<uint8_t> cube_file() {
    std::vector<tds::Vertex> corners;
    for (int i = 0; i < 8; ++i) {
        corners.push_back({(i & 1) ? 40.0f : -40.0f, (i & 2) ? 40.0f : -40.0f, (i & 4) ? 40.0f : -40.0f});
    }
    const std::vector<tds::Face> faces = {{0, 2, 3}, {3, 1, 0}, {4, 5, 7}, {7, 6, 4}, {0, 1, 5}, {5, 4, 0},
                                          {2, 6, 7}, {7, 3, 2}, {0, 4, 6}, {6, 2, 0}, {1, 3, 7}, {7, 5, 1}};
    return one_mesh_file("Cube", {tds::vertex_list(corners), tds::face_list(faces)});
}

}  // namespace gf::test
