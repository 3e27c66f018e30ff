// RGB to limited-range BT.709 YUV 4:2:0 with nearest-neighbour scaling, for the
// video encoder: fixed-point tables, one luma row per source row.
#include "platform/yuv_convert.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "common/types.h"

namespace gf {

namespace {

// BT.709 luma weights, and the scale of limited range: Y 16..235 (219 steps), U/V 16..240 (224 steps).
constexpr double kKr = 0.2126;
constexpr double kKb = 0.0722;
constexpr double kKg = 1.0 - kKr - kKb;
constexpr double kLumaRange = 219.0 / 255.0;
constexpr double kChromaRange = 224.0 / 255.0;

uint8_t clamp_byte(double v) {
    const long r = std::lround(v);
    return static_cast<uint8_t>(std::clamp(r, 0L, 255L));
}

// r, g, b in 0..255 (may be averages).
void yuv709(double r, double g, double b, double& y, double& u, double& v) {
    const double luma = kKr * r + kKg * g + kKb * b;  // 0..255
    y = 16.0 + kLumaRange * luma;
    u = 128.0 + kChromaRange * (b - luma) / (2.0 * (1.0 - kKb));
    v = 128.0 + kChromaRange * (r - luma) / (2.0 * (1.0 - kKr));
}

}  // namespace

void rgb_to_yuv709(uint32_t pixel, uint8_t& y, uint8_t& u, uint8_t& v) {
    double fy = 0.0;
    double fu = 0.0;
    double fv = 0.0;
    yuv709((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF, fy, fu, fv);
    y = clamp_byte(fy);
    u = clamp_byte(fu);
    v = clamp_byte(fv);
}

namespace {

// Fixed-point tables of the conversion: each colour channel's share of Y, U and V in 1/65536,
// indexed by the channel (Y) or by the sum of four channels (U, V: the mean of a 2 × 2 block).
constexpr int kTableShift = 16;
constexpr int kTableHalf = 1 << (kTableShift - 1);
constexpr int kQuadSums = 4 * 255 + 1;

struct YuvTables {
    int32_t y[3][256];
    int32_t u[3][kQuadSums];
    int32_t v[3][kQuadSums];

    YuvTables() {
        const double one = 1 << kTableShift;
        const double luma[3] = {kKr, kKg, kKb};
        // U = (B − Y') / (2 (1 − Kb)), V = (R − Y') / (2 (1 − Kr)), scaled to 224 steps.
        const double u_weight[3] = {-kKr / (2.0 * (1.0 - kKb)), -kKg / (2.0 * (1.0 - kKb)), 0.5};
        const double v_weight[3] = {0.5, -kKg / (2.0 * (1.0 - kKr)), -kKb / (2.0 * (1.0 - kKr))};
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < 256; ++i) {
                y[c][i] = static_cast<int32_t>(std::lround(one * kLumaRange * luma[c] * i));
            }
            for (int i = 0; i < kQuadSums; ++i) {
                u[c][i] = static_cast<int32_t>(std::lround(one * kChromaRange * u_weight[c] * i / 4.0));
                v[c][i] = static_cast<int32_t>(std::lround(one * kChromaRange * v_weight[c] * i / 4.0));
            }
        }
    }
};

const YuvTables& yuv_tables() {
    static const YuvTables tables;
    return tables;
}

uint8_t from_fixed(int32_t offset, int32_t sum) {
    return static_cast<uint8_t>(std::clamp((sum + (offset << kTableShift) + kTableHalf) >> kTableShift, 0, 255));
}

}  // namespace

void frame_to_yuv420(const uint32_t* pixels, int scale_x, int scale_y, uint8_t* y_plane, int y_stride, uint8_t* u_plane,
                     int u_stride, uint8_t* v_plane, int v_stride) {
    frame_to_yuv420_sized(pixels, kScreenWidth * scale_x, kScreenHeight * scale_y, y_plane, y_stride, u_plane, u_stride,
                          v_plane, v_stride);
}

void frame_to_yuv420_sized(const uint32_t* pixels, int out_w, int out_h, uint8_t* y_plane, int y_stride,
                           uint8_t* u_plane, int u_stride, uint8_t* v_plane, int v_stride) {
    const YuvTables& t = yuv_tables();
    // The source column under each output column (nearest neighbour; exact for whole multiples).
    std::vector<int> column(static_cast<std::size_t>(out_w));
    for (int x = 0; x < out_w; ++x) {
        column[static_cast<std::size_t>(x)] = x * kScreenWidth / out_w;
    }
    const auto source_row = [out_h](int y) { return y * kScreenHeight / out_h; };

    // Luma: one value per source pixel, spread over the output pixels it covers; an output
    // row showing the same source row as the one above is a copy of it.
    uint8_t luma_row[kScreenWidth];
    int previous = -1;
    for (int y = 0; y < out_h; ++y) {
        uint8_t* out = y_plane + static_cast<std::ptrdiff_t>(y) * y_stride;
        const int sy = source_row(y);
        if (sy == previous) {
            std::memcpy(out, out - y_stride, static_cast<std::size_t>(out_w));
            continue;
        }
        previous = sy;
        const uint32_t* src = pixels + sy * kScreenWidth;
        for (int x = 0; x < kScreenWidth; ++x) {
            const uint32_t p = src[x];
            luma_row[x] = from_fixed(16, t.y[0][(p >> 16) & 0xFF] + t.y[1][(p >> 8) & 0xFF] + t.y[2][p & 0xFF]);
        }
        for (int x = 0; x < out_w; ++x) {
            out[x] = luma_row[column[static_cast<std::size_t>(x)]];
        }
    }

    // Chroma: each sample covers output pixels (2c, 2c + 1) × (2r, 2r + 1); such a pair can
    // straddle two source pixels, so the four are averaged.
    const int chroma_w = (out_w + 1) / 2;
    const int chroma_h = (out_h + 1) / 2;
    std::vector<int> col_a(static_cast<std::size_t>(chroma_w));
    std::vector<int> col_b(static_cast<std::size_t>(chroma_w));
    for (int cc = 0; cc < chroma_w; ++cc) {
        col_a[static_cast<std::size_t>(cc)] = column[2 * static_cast<std::size_t>(cc)];
        col_b[static_cast<std::size_t>(cc)] = column[static_cast<std::size_t>(std::min(2 * cc + 1, out_w - 1))];
    }
    int previous_rows[2] = {-1, -1};
    for (int cr = 0; cr < chroma_h; ++cr) {
        const int rows[2] = {source_row(2 * cr), source_row(std::min(2 * cr + 1, out_h - 1))};
        uint8_t* u_out = u_plane + static_cast<std::ptrdiff_t>(cr) * u_stride;
        uint8_t* v_out = v_plane + static_cast<std::ptrdiff_t>(cr) * v_stride;
        if (cr > 0 && rows[0] == previous_rows[0] && rows[1] == previous_rows[1]) {
            std::memcpy(u_out, u_out - u_stride, static_cast<std::size_t>(chroma_w));
            std::memcpy(v_out, v_out - v_stride, static_cast<std::size_t>(chroma_w));
            continue;
        }
        previous_rows[0] = rows[0];
        previous_rows[1] = rows[1];
        const uint32_t* row_a = pixels + rows[0] * kScreenWidth;
        const uint32_t* row_b = pixels + rows[1] * kScreenWidth;
        for (int cc = 0; cc < chroma_w; ++cc) {
            const int a = col_a[static_cast<std::size_t>(cc)];
            const int b_col = col_b[static_cast<std::size_t>(cc)];
            const uint32_t p[4] = {row_a[a], row_a[b_col], row_b[a], row_b[b_col]};
            int r = 0;
            int g = 0;
            int b = 0;
            for (uint32_t q : p) {
                r += static_cast<int>((q >> 16) & 0xFF);
                g += static_cast<int>((q >> 8) & 0xFF);
                b += static_cast<int>(q & 0xFF);
            }
            u_out[cc] = from_fixed(128, t.u[0][r] + t.u[1][g] + t.u[2][b]);
            v_out[cc] = from_fixed(128, t.v[0][r] + t.v[1][g] + t.v[2][b]);
        }
    }
}

}  // namespace gf
