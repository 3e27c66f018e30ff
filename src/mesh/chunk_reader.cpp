// 3D Studio chunk reader. One parse at a time runs over a source bound to
// three operations (read, seek, tell); every failure throws its reason back
// to read_3ds, which releases the partial list. Each array is stored in its
// record before it is filled, so releasing the list always releases everything.
#include "mesh/chunk_reader.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "mesh/tds_chunks.h"

namespace gf {

namespace {

// Thrown by fail_load and caught only in read_3ds.
struct LoadFailure {
    const char* why;
};

constexpr char kEndsEarly[] = "damaged 3D Studio file (it ends inside a chunk)";
constexpr char kSeekPastEnd[] = "damaged 3D Studio file (a chunk runs past the end of the file)";
constexpr char kBadLength[] = "damaged 3D Studio file (a chunk is shorter than its header or longer than its parent)";
constexpr char kOutOfMemory[] = "out of memory";

[[noreturn]] void fail_load(const char* why) { throw LoadFailure{why}; }

// The three operations every step of the parse goes through. Positions are
// kept in 64 bits so that a chunk end (position + u32 length) cannot wrap.
struct ChunkSource {
    void (*read)(void* dst, std::size_t n) = nullptr;
    void (*seek)(uint64_t pos) = nullptr;
    uint64_t (*tell)() = nullptr;
};

// Reader state for the parse under way.
struct ReaderState {
    std::FILE* file = nullptr;
    const uint8_t* base = nullptr;
    uint64_t size = 0;
    uint64_t position = 0;
    ChunkSource ops;
    Mesh3dsList* list = nullptr;
};

ReaderState s_reader;

void file_read(void* dst, std::size_t n) {
    if (std::fread(dst, n, 1, s_reader.file) != 1) {
        fail_load(std::ferror(s_reader.file) != 0 ? "read error" : kEndsEarly);
    }
}

void file_seek(uint64_t pos) {
    if (pos > static_cast<uint64_t>(LONG_MAX) || std::fseek(s_reader.file, static_cast<long>(pos), SEEK_SET) != 0) {
        fail_load(kSeekPastEnd);
    }
}

uint64_t file_tell() {
    const long pos = std::ftell(s_reader.file);
    if (pos < 0) {
        fail_load("cannot tell the file position");
    }
    return static_cast<uint64_t>(pos);
}

void memory_read(void* dst, std::size_t n) {
    if (s_reader.position + n > s_reader.size) {
        fail_load(kEndsEarly);
    }
    std::memcpy(dst, s_reader.base + s_reader.position, n);
    s_reader.position += n;
}

// Seeking to exactly the end is allowed; the next read there fails.
void memory_seek(uint64_t pos) {
    if (pos > s_reader.size) {
        fail_load(kSeekPastEnd);
    }
    s_reader.position = pos;
}

uint64_t memory_tell() { return s_reader.position; }

// Allocates n bytes or abandons the parse. An empty request is not a failure
// even where malloc(0) gives null.
void* alloc_or_fail(std::size_t n) {
    void* block = std::malloc(n);
    if (block == nullptr && n != 0) {
        fail_load(kOutOfMemory);
    }
    return block;
}

float decode_f32(const uint8_t* p) {
    const uint32_t bits = le::load32(p);
    float value = 0.0f;
    static_assert(sizeof value == sizeof bits);
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint16_t read_u16() {
    uint8_t bytes[2];
    s_reader.ops.read(bytes, sizeof bytes);
    return le::load16(bytes);
}

struct ChunkHeader {
    uint16_t id = 0;
    uint32_t length = 0;
};

ChunkHeader read_header() {
    uint8_t bytes[tds::kChunkHeaderBytes];
    s_reader.ops.read(bytes, sizeof bytes);
    return {le::load16(bytes), le::load32(bytes + 2)};
}

// Walks the children of one chunk from the current position to `end`. For
// each child, `descend(id, child_end)` handles it and returns true, or
// returns false to have it stepped over by its length. After a handled child
// the walk goes on from wherever the handler stopped, not from the child's
// end: the chunk readers stop right after their data, so sub-chunks that
// follow inside a face list are met here as siblings and stepped over.
template <typename Descend>
void walk_children(uint64_t end, Descend descend) {
    uint64_t pos = s_reader.ops.tell();
    while (pos < end) {
        const ChunkHeader child = read_header();
        const uint64_t child_end = pos + child.length;
        // A length below the header would step back onto (or before) this
        // header and loop for ever; one past the parent's end is corrupt.
        if (child.length < tds::kChunkHeaderBytes || child_end > end) {
            fail_load(kBadLength);
        }
        if (!descend(child.id, child_end)) {
            s_reader.ops.seek(child_end);
        }
        pos = s_reader.ops.tell();
    }
}

// Walks the children of one chunk and descends, with `descend(child_end)`, into
// those whose id is `wanted`; every other child is stepped over.
template <typename Descend>
void walk_children_with_id(uint64_t end, uint16_t wanted, Descend descend) {
    walk_children(end, [wanted, &descend](uint16_t id, uint64_t child_end) {
        if (id != wanted) {
            return false;
        }
        descend(child_end);
        return true;
    });
}

Mesh3dsRecord* append_record() {
    Mesh3dsList* list = s_reader.list;
    void* grown = std::realloc(list->records, (static_cast<std::size_t>(list->count) + 1) * sizeof(Mesh3dsRecord));
    if (grown == nullptr) {
        fail_load(kOutOfMemory);  // the old array stays with the list and is released with it
    }
    list->records = static_cast<Mesh3dsRecord*>(grown);
    Mesh3dsRecord* record = &list->records[list->count];
    std::memset(static_cast<void*>(record), 0, sizeof *record);
    ++list->count;
    return record;
}

// Reads a u16 count and then `count` entries of EntryBytes each, one read per
// entry, decoding each with `decode`. A second list of the same kind in one
// mesh replaces the first, whose array is released here.
template <typename Entry, std::size_t EntryBytes, typename Decode>
void read_entry_list(uint32_t& count_field, Entry*& array_field, Decode decode) {
    const uint16_t count = read_u16();
    std::free(array_field);
    array_field = nullptr;
    count_field = 0;
    array_field = static_cast<Entry*>(alloc_or_fail(static_cast<std::size_t>(count) * sizeof(Entry)));
    count_field = count;
    uint8_t bytes[EntryBytes];
    for (uint32_t i = 0; i < count; ++i) {
        s_reader.ops.read(bytes, EntryBytes);
        array_field[i] = decode(bytes);
    }
}

void read_vertex_list(Mesh3dsRecord& record) {
    read_entry_list<Vertex3ds, 12>(record.vertex_count, record.vertices, [](const uint8_t* p) {
        return Vertex3ds{decode_f32(p), decode_f32(p + 4), decode_f32(p + 8)};
    });
}

void read_face_list(Mesh3dsRecord& record) {
    read_entry_list<Face3ds, 8>(record.face_count, record.faces, [](const uint8_t* p) {
        return Face3ds{le::load16(p), le::load16(p + 2), le::load16(p + 4), le::load16(p + 6)};
    });
}

void read_mapping_list(Mesh3dsRecord& record) {
    read_entry_list<MapCoord3ds, 8>(record.mapping_count, record.mapping, [](const uint8_t* p) {
        return MapCoord3ds{decode_f32(p), decode_f32(p + 4)};
    });
}

void read_local_axes(Mesh3dsRecord& record) {
    uint8_t bytes[kLocalAxesFloats * 4];
    s_reader.ops.read(bytes, sizeof bytes);
    for (std::size_t i = 0; i < kLocalAxesFloats; ++i) {
        record.local_axes[i] = decode_f32(bytes + 4 * i);
    }
    record.has_local_axes = 1;
}

void walk_triangle_mesh(uint64_t end, const char (&name)[kObjectNameBytes]) {
    Mesh3dsRecord* record = append_record();
    std::memcpy(record->name, name, kObjectNameBytes);
    walk_children(end, [record](uint16_t id, uint64_t) {
        switch (id) {
            case tds::kVertexList:
                read_vertex_list(*record);
                return true;
            case tds::kFaceList:
                read_face_list(*record);
                return true;
            case tds::kMappingList:
                read_mapping_list(*record);
                return true;
            case tds::kLocalAxes:
                read_local_axes(*record);
                return true;
            default:
                return false;
        }
    });
}

// The object's name comes first: up to 16 bytes, one at a time, ending after
// the first NUL. Sixteen bytes without a NUL keep their first 15 characters.
void walk_object_block(uint64_t end) {
    char name[kObjectNameBytes] = {};
    for (std::size_t i = 0; i < kObjectNameBytes; ++i) {
        s_reader.ops.read(&name[i], 1);
        if (name[i] == '\0') {
            break;
        }
    }
    name[kObjectNameBytes - 1] = '\0';
    walk_children_with_id(end, tds::kTriangleMesh,
                          [&name](uint64_t child_end) { walk_triangle_mesh(child_end, name); });
}

void walk_editor_chunk(uint64_t end) { walk_children_with_id(end, tds::kObjectBlock, walk_object_block); }

void walk_main_chunk(uint64_t end) { walk_children_with_id(end, tds::kEditorChunk, walk_editor_chunk); }

}  // namespace

Status read_3ds(const void* source, int mode, std::size_t size, Mesh3dsList*& result) {
    result = nullptr;
    if (source == nullptr) {
        return {false, "nothing to read from"};
    }
    s_reader = ReaderState{};
    if (mode == READ_FROM_FILE) {
        s_reader.file = static_cast<std::FILE*>(const_cast<void*>(source));
        s_reader.ops = {&file_read, &file_seek, &file_tell};
    } else if (mode == READ_FROM_MEMORY) {
        s_reader.base = static_cast<const uint8_t*>(source);
        s_reader.size = size;
        s_reader.position = 0;
        s_reader.ops = {&memory_read, &memory_seek, &memory_tell};
    } else {
        return {false, "unknown read mode " + std::to_string(mode)};
    }

    auto* list = static_cast<Mesh3dsList*>(std::calloc(1, sizeof(Mesh3dsList)));
    if (list == nullptr) {
        return {false, kOutOfMemory};
    }
    s_reader.list = list;
    Status status;
    try {
        const uint64_t start = s_reader.ops.tell();
        ChunkHeader main;
        try {
            main = read_header();
        } catch (const LoadFailure& failure) {
            if (failure.why != kEndsEarly) {
                throw;
            }
            // Fewer bytes than a chunk header: no main chunk either.
        }
        if (main.id != tds::kMainChunk) {
            fail_load("not a 3D Studio file (it does not start with a 0x4D4D main chunk)");
        }
        walk_main_chunk(start + main.length);
    } catch (const LoadFailure& failure) {
        free_3ds(list);
        list = nullptr;
        status = {false, failure.why};
    }
    s_reader = ReaderState{};
    result = list;
    return status;
}

void free_3ds(Mesh3dsList* list) {
    if (list == nullptr) {
        return;
    }
    for (uint32_t i = list->count; i-- > 0;) {
        std::free(list->records[i].mapping);
        std::free(list->records[i].faces);
        std::free(list->records[i].vertices);
    }
    std::free(list->records);
    std::free(list);
}

}  // namespace gf
