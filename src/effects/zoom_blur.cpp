// Radial zoom blur. Each pixel becomes mostly a bilinear sample taken nearer
// the centre, blended with its old value. The frame is walked outward from
// the centre in four quadrant passes, in place, so samples taken from pixels
// already visited carry their new (smeared) values: that is what draws the
// long streaks, and why the pass and loop order below must not change.
#include "effects/zoom_blur.h"

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
std::array<int32_t, 320> zoom_col_offsets {};
std::array<int32_t, 200> zoom_row_offsets {};

namespace {

constexpr int32_t kFractionMask = (1 << kZoomFractionBits) - 1;  // 0xFF
constexpr uint32_t kWeightFull = 255;  // weights are 255 − f and f, summing to 255, not 256
constexpr int kSumShift = 16;          // Σ weight·channel >> 16: a flat 255 becomes 253
constexpr int32_t kMaxShift = 23;      // (253 << 23) still fits 32 bits
constexpr int32_t kCentreColumn = kScreenWidth / 2;  // 160
constexpr int32_t kCentreRow = kScreenHeight / 2;    // 100

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
            const uint32_t first = ((sample[0] >> shift) & 0xFFu) * row.w_sample + ((next[0] >> shift) & 0xFFu) * row.w_next;
            const uint32_t second = ((sample[1] >> shift) & 0xFFu) * row.w_sample + ((next[1] >> shift) & 0xFFu) * row.w_next;
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
void zoom_blur_sse2(uint32_t* buffer, const Geometry& g) {
    alignas(16) __m128i column_weights[kScreenWidth];
    for (int x = 0; x < kScreenWidth; ++x) {
        const auto first = static_cast<short>(g.columns[x].w_first);
        const auto second = static_cast<short>(g.columns[x].w_second);
        column_weights[x] = _mm_set_epi16(second, second, second, second, first, first, first, first);
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i shift = _mm_cvtsi32_si128(zoom_shift);
    const auto rows = [&](int32_t y_first, int32_t y_end, int32_t step, int32_t x_first, int32_t x_end, int32_t x_step) {
        for (int32_t y = y_first; y != y_end; y += step) {
            const RowTap& row = g.rows[y];
            const __m128i w_sample = _mm_set1_epi16(static_cast<short>(row.w_sample));
            const __m128i w_next = _mm_set1_epi16(static_cast<short>(row.w_next));
            const uint32_t* sample_row = buffer + row.sample_row * kScreenWidth;
            const uint32_t* next_row = buffer + row.next_row * kScreenWidth;
            uint32_t* target_row = buffer + y * kScreenWidth;
            for (int32_t x = x_first; x != x_end; x += x_step) {
                const int32_t pair = g.columns[x].pair;
                const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sample_row + pair)), zero);
                const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(next_row + pair)), zero);
                // Vertical stage: ≤ 255·255, exact in unsigned 16-bit lanes.
                const __m128i v = _mm_add_epi16(_mm_mullo_epi16(a, w_sample), _mm_mullo_epi16(b, w_next));
                // Horizontal stage: 32-bit products, then the two pixels' halves summed.
                const __m128i lo = _mm_mullo_epi16(v, column_weights[x]);
                const __m128i hi = _mm_mulhi_epu16(v, column_weights[x]);
                const __m128i sum = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
                const __m128i s = _mm_srli_epi32(sum, kSumShift);
                const __m128i old = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(target_row[x])), zero), zero);
                const __m128i blended = _mm_srl_epi32(_mm_add_epi32(_mm_sub_epi32(_mm_sll_epi32(s, shift), s), old), shift);
                const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(blended, blended), zero);
                target_row[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(packed)) & 0x00FFFFFFu;
            }
        }
    };
    const int32_t cx0 = g.cx0;
    const int32_t cy0 = g.cy0;
    rows(cy0, -1, -1, cx0, -1, -1);                        // pass 1, upper left
    rows(cy0, -1, -1, cx0 + 1, kScreenWidth, 1);           // pass 2, upper right
    rows(cy0 + 1, kScreenHeight, 1, cx0, -1, -1);          // pass 3, lower left
    rows(cy0 + 1, kScreenHeight, 1, cx0 + 1, kScreenWidth, 1);  // pass 4, lower right
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

void zoom_blur(uint32_t* buffer) {
#if defined(__x86_64__)
    Geometry g;
    build_geometry(g);
    if (zoom_parameters_safe()) {
        zoom_blur_sse2(buffer, g);
    }
#else
    portable::zoom_blur(buffer);
#endif
}

}  // namespace gf
