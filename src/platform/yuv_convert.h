// The colour conversion of the video: 320 × 200 frames of 0x00RRGGBB pixels to
// limited-range BT.709 YUV 4:2:0 at the video's size.
#pragma once

#include <cstdint>

namespace gf {

// Converts one 320 × 200 frame of 0x00RRGGBB pixels to limited-range BT.709
// YUV 4:2:0 at scale_x × scale_y times its size, each source pixel becoming a
// scale_x × scale_y block. Each chroma sample is the mean of the 2 × 2 output
// pixels it covers. Planes have the given row strides in bytes.
void frame_to_yuv420(const uint32_t* pixels, int scale_x, int scale_y, uint8_t* y_plane, int y_stride, uint8_t* u_plane,
                     int u_stride, uint8_t* v_plane, int v_stride);
// The same at any output size: output pixel (x, y) shows source pixel (x · 320 / width, y · 200 / height).
void frame_to_yuv420_sized(const uint32_t* pixels, int width, int height, uint8_t* y_plane, int y_stride,
                           uint8_t* u_plane, int u_stride, uint8_t* v_plane, int v_stride);

// BT.709 limited-range conversion of one colour, rounded: Y 16..235, U and V 16..240.
void rgb_to_yuv709(uint32_t pixel, uint8_t& y, uint8_t& u, uint8_t& v);

}  // namespace gf
