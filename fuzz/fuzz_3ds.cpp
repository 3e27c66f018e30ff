// libFuzzer target: the 3D Studio chunk reader on arbitrary bytes in memory.
// Every result must be walkable (each array as long as its count says) and
// every failure must leave nothing allocated.
#include <cstddef>
#include <cstdint>

#include "mesh/chunk_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gf::Mesh3dsList* list = nullptr;
    if (!gf::read_3ds(data, gf::READ_FROM_MEMORY, size, list).ok) {
        if (list != nullptr) {
            __builtin_trap();  // a failure hands back no list
        }
        return 0;
    }
    // Touch every entry so AddressSanitizer sees any array shorter than its count.
    volatile uint32_t sink = 0;
    for (uint32_t m = 0; m < list->count; ++m) {
        const gf::Mesh3dsRecord& r = list->records[m];
        for (uint32_t i = 0; i < r.vertex_count; ++i) {
            sink = sink + static_cast<uint32_t>(r.vertices[i].x != r.vertices[i].z);
        }
        for (uint32_t i = 0; i < r.face_count; ++i) {
            sink = sink + r.faces[i].a + r.faces[i].flags;
        }
        for (uint32_t i = 0; i < r.mapping_count; ++i) {
            sink = sink + static_cast<uint32_t>(r.mapping[i].u < r.mapping[i].v);
        }
        for (const char c : r.name) {
            sink = sink + static_cast<uint8_t>(c);
        }
        if (r.name[gf::kObjectNameBytes - 1] != '\0') {
            __builtin_trap();  // names must always be terminated
        }
    }
    gf::free_3ds(list);
    return 0;
}
