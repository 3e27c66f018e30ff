// The 3D Studio chunk reader on tiny hand-built files: what is read, what is
// stepped over, and that every damaged file yields nothing (run under
// AddressSanitizer, nothing may leak either).
#include "mesh/chunk_reader.h"

#include <gtest/gtest.h>

#include "mesh_test_support.h"

namespace gf {
namespace {

using test::one_mesh_file;
using test::parse_memory;

const std::vector<tds::Vertex> kTriangle = {{1.0f, 2.0f, 3.0f}, {-4.5f, 0.25f, 1e6f}, {7.0f, -8.0f, 9.0f}};

TEST(ChunkReader, FilesWithoutMeshDataGiveEmptyListsOrRecords) {
    const auto header_only = tds::serialize(tds::main_chunk({}));
    ASSERT_EQ(header_only.size(), 6u);
    const auto empty = parse_memory(header_only);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty->count, 0u);
    EXPECT_EQ(empty->records, nullptr);

    // A triangle mesh without lists still adds an all-zero record.
    const auto bare = parse_memory(one_mesh_file("Bare", {}));
    ASSERT_TRUE(bare.ok());
    ASSERT_EQ(bare->count, 1u);
    const Mesh3dsRecord& r = bare->records[0];
    EXPECT_EQ(r.vertex_count + r.face_count + r.mapping_count + r.has_local_axes, 0u);
    EXPECT_EQ(r.vertices, nullptr);
    EXPECT_EQ(r.faces, nullptr);
    EXPECT_EQ(r.local_axes[11], 0.0f);
}

TEST(ChunkReader, WrongFirstIdGivesNothingEvenWithMainChunkLater) {
    std::vector<uint8_t> bytes = tds::serialize(tds::make_chunk(0x4D4C));
    const auto valid = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    bytes.insert(bytes.end(), valid.begin(), valid.end());
    EXPECT_FALSE(parse_memory(bytes).ok());
    EXPECT_TRUE(parse_memory(valid).ok());
}

TEST(ChunkReader, ReadsEntriesAsStored) {
    const std::array<float, 12> axes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10.5f, -11, 12};
    const auto holder = parse_memory(
        one_mesh_file("Box", {tds::vertex_list(kTriangle), tds::face_list({{2, 0, 1, 7}, {0x1234, 0xFFFF, 5, 0x8001}}),
                              tds::mapping_list({{0.5f, -0.25f}}), tds::local_axes(axes)}));
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    const Mesh3dsRecord& r = holder->records[0];
    EXPECT_STREQ(r.name, "Box");
    ASSERT_EQ(r.vertex_count, 3u);
    EXPECT_EQ(r.vertices[1].z, 1e6f);
    ASSERT_EQ(r.face_count, 2u);
    EXPECT_EQ(r.faces[0].a, 2);
    EXPECT_EQ(r.faces[0].flags, 7);
    EXPECT_EQ(r.faces[1].a, 0x1234);  // little-endian, both bytes significant
    EXPECT_EQ(r.faces[1].b, 0xFFFF);
    ASSERT_EQ(r.mapping_count, 1u);
    EXPECT_EQ(r.mapping[0].v, -0.25f);
    EXPECT_EQ(r.has_local_axes, 1u);
    EXPECT_EQ(r.local_axes[10], -11.0f);
}

TEST(ChunkReader, SubChunksInsideFaceListKeepTheWalkInStep) {
    // Material and smoothing groups follow the faces inside the face list; the
    // lists after it are still read, and a second vertex list replaces the first.
    const auto holder = parse_memory(one_mesh_file(
        "Box", {tds::vertex_list({{0, 0, 0}}),
                tds::face_list({{2, 0, 1, 7}}, {tds::face_material("Red", {0}), tds::smoothing_groups({5})}),
                tds::mapping_list({{1, 2}, {3, 4}}), tds::vertex_list(kTriangle)}));
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    const Mesh3dsRecord& r = holder->records[0];
    EXPECT_EQ(r.face_count, 1u);
    ASSERT_EQ(r.mapping_count, 2u);
    EXPECT_EQ(r.mapping[1].u, 3.0f);
    ASSERT_EQ(r.vertex_count, 3u);
    EXPECT_EQ(r.vertices[0].y, 2.0f);
}

TEST(ChunkReader, WalkGoesOnRightAfterTheDataOfAReadChunk) {
    // A mapping list nested after the data of a vertex list is met as a
    // sibling and read, not skipped with the rest of the vertex list.
    tds::Chunk vertices = tds::vertex_list(kTriangle);
    vertices.children = {tds::mapping_list({{5, 6}})};
    const auto holder = parse_memory(one_mesh_file("Box", {vertices}));
    ASSERT_TRUE(holder.ok());
    EXPECT_EQ(holder->records[0].vertex_count, 3u);
    ASSERT_EQ(holder->records[0].mapping_count, 1u);
    EXPECT_EQ(holder->records[0].mapping[0].v, 6.0f);
}

TEST(ChunkReader, MeshesAndObjectsInFileOrder) {
    const auto holder = parse_memory(tds::serialize(tds::main_chunk({tds::editor_chunk({
        tds::object_block("Twin", {tds::triangle_mesh({tds::vertex_list(kTriangle)}),
                                   tds::triangle_mesh({tds::vertex_list({{1, 1, 1}})})}),
        tds::object_block("Camera", {tds::make_chunk(0x4700, {}, std::vector<uint8_t>(32, 0))}),
        tds::object_block("Last", {tds::triangle_mesh({})}),
    })})));
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 3u);
    EXPECT_STREQ(holder->records[0].name, "Twin");
    EXPECT_EQ(holder->records[0].vertex_count, 3u);
    EXPECT_STREQ(holder->records[1].name, "Twin");
    EXPECT_EQ(holder->records[1].vertex_count, 1u);
    EXPECT_STREQ(holder->records[2].name, "Last");
}

TEST(ChunkReader, ObjectNamesKeepAtMostFifteenCharacters) {
    const auto fifteen = parse_memory(one_mesh_file("ABCDEFGHIJKLMNO", {tds::vertex_list(kTriangle)}));
    ASSERT_TRUE(fifteen.ok());
    EXPECT_STREQ(fifteen->records[0].name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(fifteen->records[0].vertex_count, 3u);

    // Sixteen characters without a NUL: cut to fifteen, children read from right after them.
    const std::string sixteen = "ABCDEFGHIJKLMNOP";
    const auto cut = parse_memory(tds::serialize(tds::main_chunk({tds::editor_chunk({tds::make_chunk(
        tds::kObjectBlock, {tds::triangle_mesh({tds::vertex_list(kTriangle)})}, {sixteen.begin(), sixteen.end()})})})));
    ASSERT_TRUE(cut.ok());
    ASSERT_EQ(cut->count, 1u);
    EXPECT_STREQ(cut->records[0].name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(cut->records[0].vertex_count, 3u);
}

TEST(ChunkReader, EveryTruncationGivesNothing) {
    const auto bytes = one_mesh_file(
        "Box", {tds::vertex_list(kTriangle), tds::face_list({{2, 0, 1, 7}}, {tds::smoothing_groups({1})})});
    ASSERT_TRUE(parse_memory(bytes).ok());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(parse_memory({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)}).ok())
            << "cut at " << length;
    }
    // The same in file mode, cut inside the vertex list (after 1.5 vertices).
    const test::TempFile file("cut.3ds", {bytes.begin(), bytes.begin() + 6 * 5 + 4 + 2 + 18});
    EXPECT_FALSE(test::parse_file(file.path).ok());
}

TEST(ChunkReader, MemoryReadsAndSeeksUpToExactlyTheSize) {
    // The vertex list's last byte is the block's last byte.
    const auto ends_with_read = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    EXPECT_TRUE(parse_memory(ends_with_read).ok());
    EXPECT_EQ(parse_memory(ends_with_read.data(), ends_with_read.size() - 1).status.message,
              "damaged 3D Studio file (it ends inside a chunk)");
    // An unknown chunk last: stepping over it seeks to exactly the size.
    const auto ends_with_seek =
        one_mesh_file("Box", {tds::vertex_list(kTriangle), tds::make_chunk(0x4170, {}, {1, 2, 3})});
    EXPECT_TRUE(parse_memory(ends_with_seek).ok());
    EXPECT_EQ(parse_memory(ends_with_seek.data(), ends_with_seek.size() - 1).status.message,
              "damaged 3D Studio file (a chunk runs past the end of the file)");
}

TEST(ChunkReader, ChildLengthBelowHeaderOrPastParentFails) {
    for (uint32_t bad_length : {0u, 1u, 5u}) {
        tds::Chunk odd = tds::make_chunk(0x1234, {}, {0, 0, 0, 0});
        odd.length_override = bad_length;
        EXPECT_EQ(parse_memory(tds::serialize(tds::main_chunk({odd}))).status.message,
                  "damaged 3D Studio file (a chunk is shorter than its header or longer than its parent)")
            << bad_length;
        EXPECT_FALSE(parse_memory(tds::serialize(tds::main_chunk({tds::editor_chunk({odd})}))).ok()) << bad_length;
        EXPECT_FALSE(parse_memory(one_mesh_file("Box", {tds::vertex_list(kTriangle), odd})).ok()) << bad_length;
    }
    // A vertex list claiming 8 bytes more than its mesh holds, with data after the editor.
    tds::Chunk vertices = tds::vertex_list(kTriangle);
    vertices.length_override = vertices.size() + 8;
    EXPECT_FALSE(parse_memory(tds::serialize(tds::main_chunk(
                                  {tds::editor_chunk({tds::object_block("Box", {tds::triangle_mesh({vertices})})}),
                                   tds::make_chunk(0x1234, {}, std::vector<uint8_t>(16, 0))})))
                     .ok());
}

TEST(ChunkReader, SourceAndModeHandling) {
    const auto bytes = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    EXPECT_EQ(parse_memory(nullptr, 100).status.message, "nothing to read from");
    Mesh3dsList* list = nullptr;
    EXPECT_EQ(read_3ds(bytes.data(), 2, bytes.size(), list).message, "unknown read mode 2");
    EXPECT_EQ(list, nullptr);
    free_3ds(nullptr);
    // File mode ignores the size argument.
    const test::TempFile file("box.3ds", bytes);
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{999999}}) {
        const auto holder = test::parse_file(file.path, size);
        ASSERT_TRUE(holder.ok()) << size;
        ASSERT_EQ(holder->count, 1u);
        EXPECT_EQ(holder->records[0].vertices[2].y, -8.0f);
    }
}

}  // namespace
}  // namespace gf
