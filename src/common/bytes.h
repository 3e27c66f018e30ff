// Integers in byte buffers: the one place the file formats' byte order is
// spelled out, for readers and writers alike. Little-endian for the module,
// the mesh and WAV; big-endian (network order) for PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gf::le {

constexpr uint16_t load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint32_t load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

constexpr void store16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>(value >> 8);
}

constexpr void store32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

inline void append16(std::vector<uint8_t>& out, uint16_t value) {
    uint8_t bytes[2];
    store16(bytes, value);
    out.insert(out.end(), bytes, bytes + 2);
}

inline void append32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    store32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace gf::le

namespace gf::be {

constexpr uint32_t load32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void append32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
    }
}

}  // namespace gf::be
