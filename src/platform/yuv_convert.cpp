// RGB to limited-range BT.709 YUV 4:2:0 with nearest-neighbour scaling, for the
// video encoder: fixed-point tables, each value worked out once per source pixel
// (luma) or source pixel pair (chroma) and spread over the samples showing it.
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

namespace {

// A stretch of output samples that all show the same source column (luma) or
// the same pair of source columns (chroma, a = b where no seam falls inside).
struct ColumnRun {
    int length;
    int a;
    int b;
};

// Room a row needs beyond its last sample for fill_runs's whole-word stores.
constexpr int kFillSlack = 8;

// Fills `out` run by run, run i with value[i], eight bytes a store; the stores
// may run up to kFillSlack − 1 bytes past the end, so `out` is a scratch row.
void fill_runs(uint8_t* out, const std::vector<ColumnRun>& runs, const uint8_t* value) {
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const uint64_t word = value[i] * 0x0101010101010101ull;
        const int length = runs[i].length;
        for (int done = 0; done < length; done += 8) {
            std::memcpy(out + done, &word, sizeof word);
        }
        out += length;
    }
}

void add_run(std::vector<ColumnRun>& runs, int a, int b) {
    if (!runs.empty() && runs.back().a == a && runs.back().b == b) {
        ++runs.back().length;
    } else {
        runs.push_back({1, a, b});
    }
}

// The source column under output column x, and the source row under output row y
// (nearest neighbour; exact for whole multiples).
int source_column(int x, int out_w) { return x * kScreenWidth / out_w; }
int source_row(int y, int out_h) { return y * kScreenHeight / out_h; }

// The luma plane: each source row worked out once and spread over its runs; an output row
// that shows the same source row as the one above is a copy of it.
void luma_plane(const uint32_t* pixels, int out_w, int out_h, uint8_t* y_plane, int y_stride) {
    std::vector<uint8_t> scratch(static_cast<std::size_t>(out_w + kFillSlack));
    const YuvTables& t = yuv_tables();
    std::vector<ColumnRun> luma_runs;
    for (int x = 0; x < out_w; ++x) {
        add_run(luma_runs, source_column(x, out_w), source_column(x, out_w));
    }
    uint8_t luma_row[kScreenWidth];
    uint8_t run_values[kScreenWidth];
    int previous = -1;
    for (int y = 0; y < out_h; ++y) {
        uint8_t* out = y_plane + static_cast<std::ptrdiff_t>(y) * y_stride;
        const int sy = source_row(y, out_h);
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
        for (std::size_t i = 0; i < luma_runs.size(); ++i) {
            run_values[i] = luma_row[luma_runs[i].a];
        }
        fill_runs(scratch.data(), luma_runs, run_values);
        std::memcpy(out, scratch.data(), static_cast<std::size_t>(out_w));
    }
}

// The chroma planes: each sample covers output pixels (2c, 2c + 1) × (2r, 2r + 1); such a
// pair can straddle two source pixels, so the four are averaged. A row of samples that shows
// the same source rows as the one above is a copy of it.
void chroma_planes(const uint32_t* pixels, int out_w, int out_h, uint8_t* u_plane, int u_stride, uint8_t* v_plane,
                   int v_stride) {
    std::vector<uint8_t> scratch(static_cast<std::size_t>(out_w + kFillSlack));
    const YuvTables& t = yuv_tables();
    const int chroma_w = (out_w + 1) / 2;
    const int chroma_h = (out_h + 1) / 2;
    std::vector<ColumnRun> chroma_runs;
    for (int cc = 0; cc < chroma_w; ++cc) {
        add_run(chroma_runs, source_column(2 * cc, out_w), source_column(std::min(2 * cc + 1, out_w - 1), out_w));
    }
    std::vector<uint8_t> u_values(chroma_runs.size());
    std::vector<uint8_t> v_values(chroma_runs.size());
    int previous_rows[2] = {-1, -1};
    for (int cr = 0; cr < chroma_h; ++cr) {
        const int rows[2] = {source_row(2 * cr, out_h), source_row(std::min(2 * cr + 1, out_h - 1), out_h)};
        uint8_t* u_out = u_plane + static_cast<std::ptrdiff_t>(cr) * u_stride;
        uint8_t* v_out = v_plane + static_cast<std::ptrdiff_t>(cr) * v_stride;
        if (cr > 0 && rows[0] == previous_rows[0] && rows[1] == previous_rows[1]) {
            std::memcpy(u_out, u_out - u_stride, static_cast<std::size_t>(chroma_w));
            std::memcpy(v_out, v_out - v_stride, static_cast<std::size_t>(chroma_w));
            continue;
        }
        previous_rows[0] = rows[0];
        previous_rows[1] = rows[1];
        // Each column's channels summed down the two rows, then two columns per run.
        int sum_r[kScreenWidth] = {};
        int sum_g[kScreenWidth] = {};
        int sum_b[kScreenWidth] = {};
        const uint32_t* row_a = pixels + rows[0] * kScreenWidth;
        const uint32_t* row_b = pixels + rows[1] * kScreenWidth;
        for (int x = 0; x < kScreenWidth; ++x) {
            const uint32_t p = row_a[x];
            const uint32_t q = row_b[x];
            sum_r[x] = static_cast<int>(((p >> 16) & 0xFF) + ((q >> 16) & 0xFF));
            sum_g[x] = static_cast<int>(((p >> 8) & 0xFF) + ((q >> 8) & 0xFF));
            sum_b[x] = static_cast<int>((p & 0xFF) + (q & 0xFF));
        }
        for (std::size_t i = 0; i < chroma_runs.size(); ++i) {
            const int a = chroma_runs[i].a;
            const int b_col = chroma_runs[i].b;
            const int r = sum_r[a] + sum_r[b_col];
            const int g = sum_g[a] + sum_g[b_col];
            const int b = sum_b[a] + sum_b[b_col];
            u_values[i] = from_fixed(128, t.u[0][r] + t.u[1][g] + t.u[2][b]);
            v_values[i] = from_fixed(128, t.v[0][r] + t.v[1][g] + t.v[2][b]);
        }
        fill_runs(scratch.data(), chroma_runs, u_values.data());
        std::memcpy(u_out, scratch.data(), static_cast<std::size_t>(chroma_w));
        fill_runs(scratch.data(), chroma_runs, v_values.data());
        std::memcpy(v_out, scratch.data(), static_cast<std::size_t>(chroma_w));
    }
}

}  // namespace

// Every value is worked out once at the frame's own size and then replicated:
// luma once per source pixel, chroma once per source row pair and column pair,
// each spread over its run of output samples; an output row that shows the same
// source rows as the one above is a copy of it.
void frame_to_yuv420_sized(const uint32_t* pixels, int out_w, int out_h, uint8_t* y_plane, int y_stride,
                           uint8_t* u_plane, int u_stride, uint8_t* v_plane, int v_stride) {
    luma_plane(pixels, out_w, out_h, y_plane, y_stride);
    chroma_planes(pixels, out_w, out_h, u_plane, u_stride, v_plane, v_stride);
}

}  // namespace gf
