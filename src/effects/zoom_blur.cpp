// Radial zoom blur. Each pixel becomes mostly a bilinear sample taken nearer
// the centre, blended with its old value. The frame is walked outward from
// the centre in four quadrant passes, in place, so samples taken from pixels
// already visited carry their new (smeared) values: that is what draws the
// long streaks, and why the pass and loop order below must not change.
#include "effects/zoom_blur.h"

#include <algorithm>
#include <cmath>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "common/types.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace gf {

int32_t zoom_center_x = 0;
int32_t zoom_center_y = 0;
float zoom_scale_x = 0.0f;
float zoom_scale_y = 0.0f;
int32_t zoom_shift = 0;
std::array<int32_t, 320> zoom_col_offsets{};
std::array<int32_t, 200> zoom_row_offsets{};

namespace {

constexpr int32_t kFractionMask = (1 << kZoomFractionBits) - 1;  // 0xFF
constexpr uint32_t kWeightFull = 255;                            // weights are 255 − f and f, summing to 255, not 256
constexpr int kSumShift = 16;                                    // Σ weight·channel >> 16: a flat 255 becomes 253
constexpr int32_t kMaxShift = 23;                                // (253 << 23) still fits 32 bits
constexpr int32_t kCentreColumn = kScreenWidth / 2;              // 160
constexpr int32_t kCentreRow = kScreenHeight / 2;                // 100

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

struct Geometry {
    int32_t cx0;
    int32_t cy0;
    ColumnTap columns[kScreenWidth];
    RowTap rows[kScreenHeight];
};

// Builds the offset tables and each column's and row's taps. Columns at or
// left of cx0 sample to their right (sx = x + whole, nx = sx + 1), the others
// to their left (sx = x − whole, nx = sx − 1); rows likewise.
void build_geometry(Geometry& g) {
    const double scale_x = static_cast<double>(zoom_scale_x);
    const double scale_y = static_cast<double>(zoom_scale_y);
    const int64_t centre_x = static_cast<int64_t>(zoom_center_x) + kCentreColumn;
    const int64_t centre_y = static_cast<int64_t>(zoom_center_y) + kCentreRow;
    for (int x = 0; x < kScreenWidth; ++x) {
        const double distance = static_cast<double>(x - centre_x);
        zoom_col_offsets[x] = float_to_int(std::fabs(distance * scale_x) * 256.0);
    }
    for (int y = 0; y < kScreenHeight; ++y) {
        const double distance = static_cast<double>(y - centre_y);
        zoom_row_offsets[y] = float_to_int(std::fabs(distance * scale_y) * 256.0);
    }
    g.cx0 = static_cast<int32_t>(centre_x);
    g.cy0 = static_cast<int32_t>(centre_y);
    for (int x = 0; x < kScreenWidth; ++x) {
        const int32_t ox = zoom_col_offsets[x];
        const uint32_t fx = static_cast<uint32_t>(ox & kFractionMask);
        const int32_t whole = ox >> kZoomFractionBits;
        if (x <= g.cx0) {
            g.columns[x] = {x + whole, kWeightFull - fx, fx};  // pair (sx, sx + 1)
        } else {
            g.columns[x] = {x - whole - 1, fx, kWeightFull - fx};  // pair (sx − 1, sx)
        }
    }
    for (int y = 0; y < kScreenHeight; ++y) {
        const int32_t oy = zoom_row_offsets[y];
        const uint32_t fy = static_cast<uint32_t>(oy & kFractionMask);
        const int32_t whole = oy >> kZoomFractionBits;
        if (y <= g.cy0) {
            g.rows[y] = {y + whole, y + whole + 1, kWeightFull - fy, fy};
        } else {
            g.rows[y] = {y - whole, y - whole - 1, kWeightFull - fy, fy};
        }
    }
}

// Walks the four quadrants in their fixed order, each row by row from the
// centre row outward and each row from the centre column outward, and calls
// blend(x, y) for every pixel. Pass 1 reads column cx0 + 1 and row cy0 + 1
// before passes 2–4 write them; the later passes read pixels already blurred.
template <class Blend>
inline void walk_quadrants(const Geometry& g, Blend&& blend) {
    const int32_t cx0 = g.cx0;
    const int32_t cy0 = g.cy0;
    // Pass 1, upper left.
    for (int32_t y = cy0; y >= 0; --y) {
        for (int32_t x = cx0; x >= 0; --x) blend(x, y);
    }
    // Pass 2, upper right.
    for (int32_t y = cy0; y >= 0; --y) {
        for (int32_t x = cx0 + 1; x < kScreenWidth; ++x) blend(x, y);
    }
    // Pass 3, lower left.
    for (int32_t y = cy0 + 1; y < kScreenHeight; ++y) {
        for (int32_t x = cx0; x >= 0; --x) blend(x, y);
    }
    // Pass 4, lower right.
    for (int32_t y = cy0 + 1; y < kScreenHeight; ++y) {
        for (int32_t x = cx0 + 1; x < kScreenWidth; ++x) blend(x, y);
    }
}

// Feedback blend of one channel: (S·(2^k − 1) + D) / 2^k, truncated.
inline uint32_t feedback(uint32_t sample, uint32_t old, uint32_t k) { return ((sample << k) + old - sample) >> k; }

void zoom_blur_scalar(uint32_t* buffer, const Geometry& g) {
    const uint32_t k = static_cast<uint32_t>(zoom_shift);
    walk_quadrants(g, [&](int32_t x, int32_t y) {
        const ColumnTap& col = g.columns[x];
        const RowTap& row = g.rows[y];
        const uint32_t* sample = buffer + row.sample_row * kScreenWidth + col.pair;
        const uint32_t* next = buffer + row.next_row * kScreenWidth + col.pair;
        uint32_t& target = buffer[y * kScreenWidth + x];
        const uint32_t old = target;
        uint32_t out = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            // Vertical stage first, then horizontal: (255 − fy)·[(255 − fx)·a + fx·b]
            // + fy·[…] regrouped, which is the same integer sum with half the multiplies.
            const uint32_t first =
                ((sample[0] >> shift) & 0xFFu) * row.w_sample + ((next[0] >> shift) & 0xFFu) * row.w_next;
            const uint32_t second =
                ((sample[1] >> shift) & 0xFFu) * row.w_sample + ((next[1] >> shift) & 0xFFu) * row.w_next;
            const uint32_t s = (first * col.w_first + second * col.w_second) >> kSumShift;
            out |= feedback(s, (old >> shift) & 0xFFu, k) << shift;
        }
        target = out;  // top byte 0
    });
}

#if defined(__x86_64__)

// SSE2: the four channels (and the unused top byte) of the two pixels of a
// pair sit in eight 16-bit lanes. The vertical stage stays below 65536 and so
// fits the lanes; the horizontal stage widens to 32 bits with mullo/mulhi.
struct RowContext {
    const uint32_t* sample_row;
    const uint32_t* next_row;
    uint32_t* target_row;
    __m128i w_sample;
    __m128i w_next;
};

// Two pixels loaded as two 32-bit words: a pixel written a moment ago is then
// forwarded from its store instead of waiting for it to reach the cache.
inline __m128i load_pair(const uint32_t* p) {
    return _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(p[0])), _mm_cvtsi32_si128(static_cast<int>(p[1])));
}

inline void blend_pixel_sse2(const RowContext& row, int32_t x, int32_t pair, __m128i column_weight, __m128i shift) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(load_pair(row.sample_row + pair), zero);
    const __m128i b = _mm_unpacklo_epi8(load_pair(row.next_row + pair), zero);
    // Vertical stage: at most 255·255, exact in unsigned 16-bit lanes.
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(a, row.w_sample), _mm_mullo_epi16(b, row.w_next));
    // Horizontal stage: 32-bit products, then the two pixels' halves summed.
    const __m128i lo = _mm_mullo_epi16(v, column_weight);
    const __m128i hi = _mm_mulhi_epu16(v, column_weight);
    const __m128i sum = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
    const __m128i s = _mm_srli_epi32(sum, kSumShift);
    const __m128i old =
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(row.target_row[x])), zero), zero);
    const __m128i blended = _mm_srl_epi32(_mm_add_epi32(_mm_sub_epi32(_mm_sll_epi32(s, shift), s), old), shift);
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(blended, blended), zero);
    row.target_row[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(packed)) & 0x00FFFFFFu;
}

// One quadrant pass. Its result is that of visiting rows from the centre
// outward and, in each row, columns from the centre outward. A pixel reads
// only pixels of its own row nearer the centre column and of rows nearer the
// centre row, at columns no further out than its own. So a group of rows can
// advance together as a staircase, each row one column behind the row before
// it: every pixel then still finds exactly the values it would find in the
// plain order, and the rows' dependency chains overlap instead of queueing.
void blur_pass_sse2(uint32_t* buffer, const Geometry& g, const __m128i* column_weights, __m128i shift, int32_t y_first,
                    int32_t y_count, int32_t y_step, int32_t x_first, int32_t x_count, int32_t x_step) {
    constexpr int kGroupRows = 8;
    for (int32_t group = 0; group < y_count; group += kGroupRows) {
        const int rows_here = std::min(kGroupRows, y_count - group);
        RowContext rows[kGroupRows];
        for (int m = 0; m < rows_here; ++m) {
            const int32_t y = y_first + (group + m) * y_step;
            const RowTap& tap = g.rows[y];
            rows[m] = {buffer + tap.sample_row * kScreenWidth, buffer + tap.next_row * kScreenWidth,
                       buffer + y * kScreenWidth, _mm_set1_epi16(static_cast<short>(tap.w_sample)),
                       _mm_set1_epi16(static_cast<short>(tap.w_next))};
        }
        const int32_t steps = x_count + rows_here - 1;
        for (int32_t step = 0; step < steps; ++step) {
            const int m_first = std::max(0, step - x_count + 1);
            const int m_last = std::min(rows_here - 1, step);
            for (int m = m_first; m <= m_last; ++m) {
                const int32_t x = x_first + (step - m) * x_step;
                blend_pixel_sse2(rows[m], x, g.columns[x].pair, column_weights[x], shift);
            }
        }
    }
}

void column_weight_table(const Geometry& g, __m128i* column_weights) {
    for (int x = 0; x < kScreenWidth; ++x) {
        const auto first = static_cast<short>(g.columns[x].w_first);
        const auto second = static_cast<short>(g.columns[x].w_second);
        column_weights[x] = _mm_set_epi16(second, second, second, second, first, first, first, first);
    }
}

// Runs the four passes in their fixed order with the given pass routine.
template <class Pass>
inline void run_quadrants(const Geometry& g, Pass&& pass) {
    const int32_t cx0 = g.cx0;
    const int32_t cy0 = g.cy0;
    const int32_t upper_rows = cy0 + 1, lower_rows = kScreenHeight - 1 - cy0;
    const int32_t left_columns = cx0 + 1, right_columns = kScreenWidth - 1 - cx0;
    pass(cy0, upper_rows, -1, cx0, left_columns, -1);         // 1, upper left
    pass(cy0, upper_rows, -1, cx0 + 1, right_columns, 1);     // 2, upper right
    pass(cy0 + 1, lower_rows, 1, cx0, left_columns, -1);      // 3, lower left
    pass(cy0 + 1, lower_rows, 1, cx0 + 1, right_columns, 1);  // 4, lower right
}

void zoom_blur_sse2(uint32_t* buffer, const Geometry& g) {
    alignas(16) __m128i column_weights[kScreenWidth];
    column_weight_table(g, column_weights);
    const __m128i shift = _mm_cvtsi32_si128(zoom_shift);
    run_quadrants(
        g, [&](int32_t y_first, int32_t y_count, int32_t y_step, int32_t x_first, int32_t x_count, int32_t x_step) {
            blur_pass_sse2(buffer, g, column_weights, shift, y_first, y_count, y_step, x_first, x_count, x_step);
        });
}

// AVX2: two pixels of one staircase step (adjacent rows, so independent of
// each other) share each 256-bit operation, one per 128-bit half.
__attribute__((target("avx2"))) inline void blend_two_pixels_avx2(const RowContext& row_a, int32_t x_a,
                                                                  const RowContext& row_b, int32_t x_b,
                                                                  const Geometry& g, const __m128i* column_weights,
                                                                  __m256i w_sample, __m256i w_next, __m128i shift) {
    const int32_t pair_a = g.columns[x_a].pair;
    const int32_t pair_b = g.columns[x_b].pair;
    // Word-sized loads, so that pixels stored a moment ago are forwarded (see load_pair).
    const auto load_pairs = [](const uint32_t* p, const uint32_t* q) {
        return _mm_setr_epi32(static_cast<int>(p[0]), static_cast<int>(p[1]), static_cast<int>(q[0]),
                              static_cast<int>(q[1]));
    };
    const __m256i a = _mm256_cvtepu8_epi16(load_pairs(row_a.sample_row + pair_a, row_b.sample_row + pair_b));
    const __m256i b = _mm256_cvtepu8_epi16(load_pairs(row_a.next_row + pair_a, row_b.next_row + pair_b));
    const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(a, w_sample), _mm256_mullo_epi16(b, w_next));
    const __m256i column_weight = _mm256_set_m128i(column_weights[x_b], column_weights[x_a]);
    const __m256i lo = _mm256_mullo_epi16(v, column_weight);
    const __m256i hi = _mm256_mulhi_epu16(v, column_weight);
    const __m256i sum = _mm256_add_epi32(_mm256_unpacklo_epi16(lo, hi), _mm256_unpackhi_epi16(lo, hi));
    const __m256i s = _mm256_srli_epi32(sum, kSumShift);
    uint32_t& target_a = row_a.target_row[x_a];
    uint32_t& target_b = row_b.target_row[x_b];
    const __m256i old = _mm256_cvtepu8_epi32(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(target_a)),
                                                                _mm_cvtsi32_si128(static_cast<int>(target_b))));
    const __m256i blended =
        _mm256_srl_epi32(_mm256_add_epi32(_mm256_sub_epi32(_mm256_sll_epi32(s, shift), s), old), shift);
    const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(blended, blended), blended);
    target_a = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(packed))) & 0x00FFFFFFu;
    target_b = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(packed, 1))) & 0x00FFFFFFu;
}

__attribute__((target("avx2"))) void blur_pass_avx2(uint32_t* buffer, const Geometry& g, const __m128i* column_weights,
                                                    __m128i shift, int32_t y_first, int32_t y_count, int32_t y_step,
                                                    int32_t x_first, int32_t x_count, int32_t x_step) {
    constexpr int kGroupRows = 8;
    for (int32_t group = 0; group < y_count; group += kGroupRows) {
        const int rows_here = std::min(kGroupRows, y_count - group);
        RowContext rows[kGroupRows];
        for (int m = 0; m < rows_here; ++m) {
            const int32_t y = y_first + (group + m) * y_step;
            const RowTap& tap = g.rows[y];
            rows[m] = {buffer + tap.sample_row * kScreenWidth, buffer + tap.next_row * kScreenWidth,
                       buffer + y * kScreenWidth, _mm_set1_epi16(static_cast<short>(tap.w_sample)),
                       _mm_set1_epi16(static_cast<short>(tap.w_next))};
        }
        // Row weights of each pair of neighbouring rows (m, m + 1), one row per half.
        __m256i pair_w_sample[kGroupRows];
        __m256i pair_w_next[kGroupRows];
        for (int m = 0; m + 1 < rows_here; ++m) {
            pair_w_sample[m] = _mm256_set_m128i(rows[m + 1].w_sample, rows[m].w_sample);
            pair_w_next[m] = _mm256_set_m128i(rows[m + 1].w_next, rows[m].w_next);
        }
        const int32_t steps = x_count + rows_here - 1;
        for (int32_t step = 0; step < steps; ++step) {
            const int m_first = std::max(0, step - x_count + 1);
            const int m_last = std::min(rows_here - 1, step);
            int m = m_first;
            for (; m + 1 <= m_last; m += 2) {
                const int32_t x_a = x_first + (step - m) * x_step;
                blend_two_pixels_avx2(rows[m], x_a, rows[m + 1], x_a - x_step, g, column_weights, pair_w_sample[m],
                                      pair_w_next[m], shift);
            }
            if (m <= m_last) {
                const int32_t x = x_first + (step - m) * x_step;
                blend_pixel_sse2(rows[m], x, g.columns[x].pair, column_weights[x], shift);
            }
        }
    }
}

__attribute__((target("avx2"))) void zoom_blur_avx2(uint32_t* buffer, const Geometry& g) {
    alignas(16) __m128i column_weights[kScreenWidth];
    column_weight_table(g, column_weights);
    const __m128i shift = _mm_cvtsi32_si128(zoom_shift);
    run_quadrants(
        g, [&](int32_t y_first, int32_t y_count, int32_t y_step, int32_t x_first, int32_t x_count, int32_t x_step) {
            blur_pass_avx2(buffer, g, column_weights, shift, y_first, y_count, y_step, x_first, x_count, x_step);
        });
}

bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif

}  // namespace

void set_zoom_preset(uint32_t t0, int code) {
    // Both differences wrap modulo 2^32 and are then used as non-negative
    // numbers: with t0 = 0 the sway runs from 2^32 − frame_time.
    const double d = static_cast<double>(static_cast<uint32_t>(t0 - frame_time));
    const double e = static_cast<double>(static_cast<uint32_t>(frame_time - t0));
    switch (code) {
        case kZoomPresetIntro:
            zoom_center_x = float_to_int(std::sin(d * 0.0016) * 120.0);
            zoom_center_y = float_to_int(std::sin(d * 0.0024) * 80.0);
            zoom_scale_x = zoom_scale_y = 0.023f;
            zoom_shift = 5;
            break;
        case kZoomPresetBand:
            zoom_center_x = float_to_int(std::sin(d * 0.0016 + 1.5707963268) * 120.0);
            zoom_center_y = float_to_int(std::sin(d * 0.0024) * 10.0);
            zoom_scale_x = zoom_scale_y = 0.005f;
            zoom_shift = 5;
            break;
        case kZoomPresetSnow:
            zoom_center_x = float_to_int(std::sin(d * 0.002466) * 120.0);
            zoom_center_y = float_to_int(std::sin(d * 0.003572) * 80.0);
            zoom_scale_x = zoom_scale_y = 0.09f;
            zoom_shift = 2;
            break;
        case kZoomPresetFade: {
            zoom_center_x = float_to_int(std::sin(d * 0.0016) * 120.0);
            zoom_center_y = float_to_int(std::sin(d * 0.0024) * 80.0);
            // The pull fades from 0.023 to 0 over the 11.5 s after t0, then stays 0.
            float scale = static_cast<float>(0.023 - e * 0.000002);
            if (scale < 0.0f) {
                scale = 0.0f;
            }
            zoom_scale_x = zoom_scale_y = scale;
            zoom_shift = 5;
            break;
        }
        default:
            break;  // unknown codes leave the parameters as they were
    }
}

bool zoom_parameters_safe() {
    const int64_t cx0 = static_cast<int64_t>(zoom_center_x) + kCentreColumn;
    const int64_t cy0 = static_cast<int64_t>(zoom_center_y) + kCentreRow;
    // With the centre one pixel inside the border and a pull of at most one
    // pixel per pixel of distance, every sample pair lies between the pixel
    // and the centre (plus one), so it stays inside the buffer.
    const bool centre_inside = cx0 >= 1 && cx0 <= kScreenWidth - 2 && cy0 >= 1 && cy0 <= kScreenHeight - 2;
    const bool pull_bounded = std::fabs(zoom_scale_x) <= 1.0f && std::fabs(zoom_scale_y) <= 1.0f;  // false for NaN
    const bool shift_bounded = zoom_shift >= 0 && zoom_shift <= kMaxShift;
    return centre_inside && pull_bounded && shift_bounded;
}

namespace portable {

void zoom_blur(uint32_t* buffer) {
    Geometry g;
    build_geometry(g);
    if (zoom_parameters_safe()) {
        zoom_blur_scalar(buffer, g);
    }
}

}  // namespace portable

#if defined(__x86_64__)

namespace sse2 {

void zoom_blur(uint32_t* buffer) {
    Geometry g;
    build_geometry(g);
    if (zoom_parameters_safe()) {
        zoom_blur_sse2(buffer, g);
    }
}

}  // namespace sse2

void zoom_blur(uint32_t* buffer) {
    Geometry g;
    build_geometry(g);
    if (!zoom_parameters_safe()) {
        return;
    }
    if (cpu_has_avx2()) {
        zoom_blur_avx2(buffer, g);
    } else {
        zoom_blur_sse2(buffer, g);
    }
}

#else

void zoom_blur(uint32_t* buffer) { portable::zoom_blur(buffer); }

#endif

}  // namespace gf
