// The zoom blur's per-frame geometry, shared by its variants: which pixels
// each column and row samples and with what weights, and the vector variants
// that blur with it (zoom_blur_sse2.cpp, zoom_blur_avx2.cpp).
#pragma once

#include <cstdint>

#include "common/types.h"

namespace gf {

constexpr int kZoomSumShift = 16;  // Σ weight·channel >> 16: a flat 255 becomes 253

// One column's horizontal tap: the two sampled columns are always adjacent,
// so they are read as one pair starting at `pair`. `w_first` weighs column
// `pair`, `w_second` column `pair + 1`.
struct ColumnTap {
    int32_t pair;
    uint32_t w_first;
    uint32_t w_second;
};

// One row's vertical tap: the sample row (weight 255 − fy) and the row one
// further toward the centre side (weight fy).
struct RowTap {
    int32_t sample_row;
    int32_t next_row;
    uint32_t w_sample;
    uint32_t w_next;
};

struct ZoomGeometry {
    int32_t cx0;
    int32_t cy0;
    ColumnTap columns[kScreenWidth];
    RowTap rows[kScreenHeight];
};

// One quadrant pass: rows y_first, y_first + y_step, … (y_count of them), in
// each the columns x_first, x_first + x_step, … (x_count of them).
struct QuadrantRange {
    int32_t y_first;
    int32_t y_count;
    int32_t y_step;
    int32_t x_first;
    int32_t x_count;
    int32_t x_step;
};

// The four passes in their fixed order: upper left, upper right, lower left,
// lower right, each walking outward from the centre.
template <class Pass>
inline void for_each_quadrant(const ZoomGeometry& g, Pass&& pass) {
    const int32_t cx0 = g.cx0;
    const int32_t cy0 = g.cy0;
    const int32_t upper_rows = cy0 + 1, lower_rows = kScreenHeight - 1 - cy0;
    const int32_t left_columns = cx0 + 1, right_columns = kScreenWidth - 1 - cx0;
    pass(QuadrantRange{cy0, upper_rows, -1, cx0, left_columns, -1});
    pass(QuadrantRange{cy0, upper_rows, -1, cx0 + 1, right_columns, 1});
    pass(QuadrantRange{cy0 + 1, lower_rows, 1, cx0, left_columns, -1});
    pass(QuadrantRange{cy0 + 1, lower_rows, 1, cx0 + 1, right_columns, 1});
}

// The blur of the whole buffer with safe parameters, by vector variant.
namespace sse2 {
void zoom_blur_frame(uint32_t* buffer, const ZoomGeometry& g, int32_t shift);
}  // namespace sse2
namespace avx2 {
void zoom_blur_frame(uint32_t* buffer, const ZoomGeometry& g, int32_t shift);
}  // namespace avx2

}  // namespace gf
