// Shared types: the 320 × 200 pixel buffer, decoded pictures, and the small
// float vector and matrix types the ray caster and the mesh renderer use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf {

constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 200;
constexpr int kScreenPixels = kScreenWidth * kScreenHeight;  // 64000
constexpr std::size_t kFrameBytes = kScreenPixels * 4;       // 256000, 1280 bytes a row

// One 320 × 200 frame of 0x00RRGGBB words, row-major, top row first, no gap
// between rows. Black (all bytes zero) when made.
struct alignas(64) PixelBuffer {
    uint32_t pixels[kScreenPixels]{};

    uint32_t* data() { return pixels; }
    const uint32_t* data() const { return pixels; }
};

// A decoded picture: width × height pixels 0x00RRGGBB, rows without padding.
// The effects read `pixels` directly and take the picture to have the size
// they need; width and height let start-up check that before anything runs.
struct Image {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// Three 32-bit floats; every store rounds to float.
struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Nine 32-bit floats, row by row; identity when made. A vertex is applied as
// a row vector times the matrix.
struct Matrix3 {
    float m[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
};

struct Point2 {
    float x = 0.0f;
    float y = 0.0f;
};

}  // namespace gf
