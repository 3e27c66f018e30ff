// The 3D Studio chunk reader on tiny hand-built files: what is read, what is
// stepped over, and that every damaged file yields nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "mesh/chunk_reader.h"
#include "mesh_test_support.h"
#include "writers/tds_writer.h"

namespace gf {
namespace {

using test::one_mesh_file;
using test::parse_file;
using test::parse_memory;

const std::vector<tds::Vertex> kTriangle = {{1.0f, 2.0f, 3.0f}, {-4.5f, 0.25f, 1e6f}, {7.0f, -8.0f, 9.0f}};
const std::vector<tds::Face> kOneFace = {{2, 0, 1, 0x0007}};

TEST(ChunkReader, MainChunkOfHeaderLengthGivesEmptyList) {
    const std::vector<uint8_t> bytes = tds::serialize(tds::main_chunk({}));
    ASSERT_EQ(bytes.size(), 6u);
    const auto holder = parse_memory(bytes);
    ASSERT_TRUE(holder.ok());
    EXPECT_EQ(holder->count, 0u);
    EXPECT_EQ(holder->records, nullptr);
}

TEST(ChunkReader, FileWithoutTriangleMeshGivesEmptyList) {
    // A light object and an unknown editor chunk: stepped over, no record.
    const auto bytes = tds::serialize(tds::main_chunk({tds::version_chunk(3),
                                                       tds::editor_chunk({tds::mesh_version_chunk(3),
                                                                          tds::object_block("Lamp", {tds::make_chunk(
                                                                                                        tds::kLight, {}, {1, 2, 3, 4})})}),
                                                       tds::make_chunk(tds::kKeyframer, {}, {9, 9})}));
    const auto holder = parse_memory(bytes);
    ASSERT_TRUE(holder.ok());
    EXPECT_EQ(holder->count, 0u);
}

TEST(ChunkReader, WrongFirstIdGivesNothingEvenWithMainChunkLater) {
    std::vector<uint8_t> bytes = tds::serialize(tds::make_chunk(0x4D4C));
    const auto valid = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    bytes.insert(bytes.end(), valid.begin(), valid.end());
    EXPECT_FALSE(parse_memory(bytes).ok());
    EXPECT_TRUE(parse_memory(valid).ok());
}

TEST(ChunkReader, ReadsVerticesFacesMappingAndAxesAsStored) {
    const std::array<float, 12> axes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10.5f, -11, 12};
    const auto bytes = one_mesh_file("Box", {tds::vertex_list(kTriangle), tds::face_list({{2, 0, 1, 7}, {0x1234, 0xFFFF, 5, 0x8001}}),
                                             tds::mapping_list({{0.5f, -0.25f}}), tds::local_axes(axes)});
    const auto holder = parse_memory(bytes);
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    const Mesh3dsRecord& r = holder->records[0];
    EXPECT_STREQ(r.name, "Box");
    ASSERT_EQ(r.vertex_count, 3u);
    EXPECT_EQ(r.vertices[1].x, -4.5f);
    EXPECT_EQ(r.vertices[1].y, 0.25f);
    EXPECT_EQ(r.vertices[1].z, 1e6f);
    EXPECT_EQ(r.vertices[2].z, 9.0f);
    ASSERT_EQ(r.face_count, 2u);
    EXPECT_EQ(r.faces[0].a, 2);
    EXPECT_EQ(r.faces[0].b, 0);
    EXPECT_EQ(r.faces[0].c, 1);
    EXPECT_EQ(r.faces[0].flags, 7);
    // Little-endian with both bytes significant, and the top of the u16 range.
    EXPECT_EQ(r.faces[1].a, 0x1234);
    EXPECT_EQ(r.faces[1].b, 0xFFFF);
    EXPECT_EQ(r.faces[1].flags, 0x8001);
    ASSERT_EQ(r.mapping_count, 1u);
    EXPECT_EQ(r.mapping[0].u, 0.5f);
    EXPECT_EQ(r.mapping[0].v, -0.25f);
    EXPECT_EQ(r.has_local_axes, 1u);
    EXPECT_EQ(r.local_axes[9], 10.5f);
    EXPECT_EQ(r.local_axes[10], -11.0f);
    EXPECT_EQ(r.local_axes[11], 12.0f);
}

TEST(ChunkReader, EmptyTriangleMeshStillAddsZeroRecord) {
    const auto holder = parse_memory(one_mesh_file("Empty", {}));
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    const Mesh3dsRecord& r = holder->records[0];
    EXPECT_EQ(r.vertex_count, 0u);
    EXPECT_EQ(r.face_count, 0u);
    EXPECT_EQ(r.mapping_count, 0u);
    EXPECT_EQ(r.has_local_axes, 0u);
    EXPECT_EQ(r.vertices, nullptr);
    EXPECT_EQ(r.faces, nullptr);
    EXPECT_EQ(r.mapping, nullptr);
    for (float value : r.local_axes) {
        EXPECT_EQ(value, 0.0f);
    }
}

TEST(ChunkReader, ZeroCountListsAreNotFailures) {
    const auto holder = parse_memory(one_mesh_file("Z", {tds::vertex_list({}), tds::face_list({}), tds::mapping_list({})}));
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    EXPECT_EQ(holder->records[0].vertex_count, 0u);
    EXPECT_EQ(holder->records[0].face_count, 0u);
}

TEST(ChunkReader, SubChunksInsideFaceListDoNotDerailTheWalk) {
    // Material and smoothing groups follow the faces inside the face list;
    // the vertex and mapping lists after it must still be read.
    const auto bytes = one_mesh_file(
        "Box", {tds::face_list(kOneFace, {tds::face_material("Red", {0}), tds::smoothing_groups({0x5})}),
                tds::mapping_list({{1.0f, 2.0f}, {3.0f, 4.0f}}), tds::vertex_list(kTriangle)});
    const auto holder = parse_memory(bytes);
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    const Mesh3dsRecord& r = holder->records[0];
    EXPECT_EQ(r.face_count, 1u);
    ASSERT_EQ(r.mapping_count, 2u);
    EXPECT_EQ(r.mapping[1].u, 3.0f);
    ASSERT_EQ(r.vertex_count, 3u);
    EXPECT_EQ(r.vertices[0].y, 2.0f);
}

TEST(ChunkReader, SecondListOfSameKindReplacesTheFirst) {
    const auto holder = parse_memory(one_mesh_file(
        "Box", {tds::vertex_list(kTriangle), tds::vertex_list({{5.0f, 6.0f, 7.0f}})}));
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->records[0].vertex_count, 1u);
    EXPECT_EQ(holder->records[0].vertices[0].x, 5.0f);
}

TEST(ChunkReader, MeshesAndObjectsInFileOrder) {
    const auto bytes = tds::serialize(tds::main_chunk({tds::editor_chunk({
        tds::object_block("Twin", {tds::triangle_mesh({tds::vertex_list(kTriangle)}),
                                   tds::triangle_mesh({tds::vertex_list({{1, 1, 1}})})}),
        tds::object_block("Camera", {tds::make_chunk(0x4700, {}, std::vector<uint8_t>(32, 0))}),
        tds::object_block("Last", {tds::triangle_mesh({tds::face_list(kOneFace)})}),
    })}));
    const auto holder = parse_memory(bytes);
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 3u);
    EXPECT_STREQ(holder->records[0].name, "Twin");
    EXPECT_EQ(holder->records[0].vertex_count, 3u);
    EXPECT_STREQ(holder->records[1].name, "Twin");
    EXPECT_EQ(holder->records[1].vertex_count, 1u);
    EXPECT_STREQ(holder->records[2].name, "Last");
    EXPECT_EQ(holder->records[2].face_count, 1u);
}

TEST(ChunkReader, ObjectNamesKeepAtMostFifteenCharacters) {
    const auto fifteen = parse_memory(one_mesh_file("ABCDEFGHIJKLMNO", {tds::vertex_list(kTriangle)}));
    ASSERT_TRUE(fifteen.ok());
    ASSERT_EQ(fifteen->count, 1u);
    EXPECT_STREQ(fifteen->records[0].name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(fifteen->records[0].vertex_count, 3u);

    // Sixteen characters without a NUL: cut to fifteen, and the children are
    // read from right after the sixteenth byte.
    const std::string sixteen = "ABCDEFGHIJKLMNOP";
    tds::Chunk object = tds::make_chunk(tds::kObjectBlock, {tds::triangle_mesh({tds::vertex_list(kTriangle)})},
                                        std::vector<uint8_t>(sixteen.begin(), sixteen.end()));
    const auto cut = parse_memory(tds::serialize(tds::main_chunk({tds::editor_chunk({object})})));
    ASSERT_TRUE(cut.ok());
    ASSERT_EQ(cut->count, 1u);
    EXPECT_STREQ(cut->records[0].name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(cut->records[0].vertex_count, 3u);
}

TEST(ChunkReader, EveryTruncationGivesNothing) {
    // Cut anywhere (inside headers, inside the vertex list, inside the face
    // list): nothing is returned and, under AddressSanitizer, nothing leaks.
    const auto bytes = one_mesh_file("Box", {tds::vertex_list(kTriangle), tds::face_list(kOneFace, {tds::smoothing_groups({1})}),
                                             tds::mapping_list({{1, 2}})});
    ASSERT_TRUE(parse_memory(bytes).ok());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(parse_memory(cut).ok()) << "cut at " << length;
    }
}

TEST(ChunkReader, FileCutInsideVertexListGivesNothing) {
    const auto bytes = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    // Header of main, editor, object ("Box\0"), mesh and vertex list, the count, then 1.5 vertices.
    const std::size_t inside = 6 + 6 + 6 + 4 + 6 + 6 + 2 + 18;
    ASSERT_LT(inside, bytes.size());
    const test::TempFile file("cut.3ds", std::vector<uint8_t>(bytes.begin(), bytes.begin() + inside));
    EXPECT_FALSE(parse_file(file.path()).ok());
}

TEST(ChunkReader, MemoryReadsAndSeeksUpToExactlyTheSize) {
    // The vertex list's last byte is the block's last byte.
    const auto ends_with_read = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    EXPECT_TRUE(parse_memory(ends_with_read).ok());
    EXPECT_FALSE(parse_memory(ends_with_read, ends_with_read.size() - 1).ok());

    // An unknown chunk last: stepping over it seeks to exactly the size.
    const auto ends_with_seek = one_mesh_file("Box", {tds::vertex_list(kTriangle), tds::make_chunk(0x4170, {}, {1, 2, 3})});
    const auto holder = parse_memory(ends_with_seek);
    ASSERT_TRUE(holder.ok());
    EXPECT_EQ(holder->count, 1u);
    EXPECT_FALSE(parse_memory(ends_with_seek, ends_with_seek.size() - 1).ok());
}

TEST(ChunkReader, MainChunkLongerThanTheDataGivesNothing) {
    tds::Chunk main = tds::main_chunk({tds::editor_chunk({})});
    main.length_override = main.size() + 6;
    EXPECT_FALSE(parse_memory(tds::serialize(main)).ok());
}

TEST(ChunkReader, ChildLengthBelowHeaderOrPastParentFails) {
    for (uint32_t bad_length : {0u, 1u, 5u}) {
        tds::Chunk odd = tds::make_chunk(0x1234, {}, {0, 0, 0, 0});
        odd.length_override = bad_length;
        // Placed at three depths: under main, under the editor, inside a mesh.
        const auto under_main = tds::serialize(tds::main_chunk({odd}));
        const auto under_editor = tds::serialize(tds::main_chunk({tds::editor_chunk({odd})}));
        const auto in_mesh = one_mesh_file("Box", {tds::vertex_list(kTriangle), odd});
        EXPECT_FALSE(parse_memory(under_main).ok()) << bad_length;
        EXPECT_FALSE(parse_memory(under_editor).ok()) << bad_length;
        EXPECT_FALSE(parse_memory(in_mesh).ok()) << bad_length;
    }
    // A chunk that claims to run past its parent's end.
    tds::Chunk vertices = tds::vertex_list(kTriangle);
    vertices.length_override = vertices.size() + 8;
    tds::Chunk mesh = tds::triangle_mesh({vertices});
    auto bytes = tds::serialize(tds::main_chunk({tds::editor_chunk({tds::object_block("Box", {mesh})}),
                                                 tds::make_chunk(0x1234, {}, std::vector<uint8_t>(16, 0))}));
    EXPECT_FALSE(parse_memory(bytes).ok());
}

TEST(ChunkReader, NullSourceAndUnknownModeGiveNothing) {
    const auto bytes = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    EXPECT_EQ(read_3ds(nullptr, READ_FROM_MEMORY, 100), nullptr);
    EXPECT_EQ(read_3ds(nullptr, READ_FROM_FILE, 0), nullptr);
    EXPECT_EQ(read_3ds(bytes.data(), 2, bytes.size()), nullptr);
    EXPECT_EQ(read_3ds(bytes.data(), -1, bytes.size()), nullptr);
    free_3ds(nullptr);  // accepted, does nothing
}

TEST(ChunkReader, FileModeIgnoresSizeAndMatchesMemoryMode) {
    const auto bytes = one_mesh_file("Box", {tds::vertex_list(kTriangle), tds::face_list(kOneFace)});
    const test::TempFile file("box.3ds", bytes);
    for (std::size_t size : {std::size_t {0}, std::size_t {1}, std::size_t {999999}}) {
        const auto holder = parse_file(file.path(), size);
        ASSERT_TRUE(holder.ok()) << size;
        ASSERT_EQ(holder->count, 1u);
        EXPECT_EQ(holder->records[0].vertex_count, 3u);
        EXPECT_EQ(holder->records[0].face_count, 1u);
        EXPECT_EQ(std::memcmp(holder->records[0].vertices, parse_memory(bytes)->records[0].vertices, 36), 0);
    }
}

TEST(ChunkReader, FileModeStartsAtTheFilesCurrentPosition) {
    // The main chunk's end is counted from where the file stood, not from 0.
    std::vector<uint8_t> bytes = {0xAA, 0xBB, 0xCC};
    const auto mesh = one_mesh_file("Box", {tds::vertex_list(kTriangle)});
    bytes.insert(bytes.end(), mesh.begin(), mesh.end());
    const test::TempFile file("offset.3ds", bytes);
    std::FILE* f = std::fopen(file.path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fseek(f, 3, SEEK_SET), 0);
    const test::ListHolder holder(read_3ds(f, READ_FROM_FILE, 0));
    std::fclose(f);
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(holder->count, 1u);
    EXPECT_EQ(holder->records[0].vertex_count, 3u);
}

}  // namespace
}  // namespace gf
