// 3D Studio (.3ds) chunk ids: a file is a tree of chunks, each a u16 id and a
// u32 length (counting its own header), then its data and children, all
// little-endian. The mesh reader and the file writer share these names; the
// writer's output is cross-checked against lib3ds.
#pragma once

#include <cstdint>

namespace gf::tds {

constexpr uint16_t kMainChunk = 0x4D4D;
constexpr uint16_t kVersionChunk = 0x0002;
constexpr uint16_t kEditorChunk = 0x3D3D;
constexpr uint16_t kMeshVersionChunk = 0x3D3E;
constexpr uint16_t kObjectBlock = 0x4000;
constexpr uint16_t kTriangleMesh = 0x4100;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kMappingList = 0x4140;
constexpr uint16_t kSmoothingGroups = 0x4150;
constexpr uint16_t kLocalAxes = 0x4160;
constexpr uint16_t kLight = 0x4600;
constexpr uint16_t kKeyframer = 0xB000;

constexpr uint32_t kChunkHeaderBytes = 6;  // u16 id + u32 length

}  // namespace gf::tds
