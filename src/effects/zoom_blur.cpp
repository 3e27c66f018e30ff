// Radial zoom blur. Each pixel becomes mostly a bilinear sample taken nearer
// the centre, blended with its old value. The frame is walked outward from
// the centre in four quadrant passes, in place, so samples taken from pixels
// already visited carry their new (smeared) values: that is what draws the
// long streaks, and why the pass and loop order below must not change. The
// SSE2 and AVX2 variants (zoom_blur_sse2.cpp, zoom_blur_avx2.cpp) keep to it.
#include "effects/zoom_blur.h"

#include <algorithm>
#include <cmath>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "common/trig.h"
#include "common/types.h"
#include "effects/zoom_blur_geometry.h"

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
constexpr int32_t kMaxShift = 23;                                // (253 << 23) still fits 32 bits
constexpr int32_t kCentreColumn = kScreenWidth / 2;              // 160
constexpr int32_t kCentreRow = kScreenHeight / 2;                // 100

// Builds the offset tables and each column's and row's taps. Columns at or
// left of cx0 sample to their right (sx = x + whole, nx = sx + 1), the others
// to their left (sx = x − whole, nx = sx − 1); rows likewise.
void build_geometry(ZoomGeometry& g) {
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

// Feedback blend of one channel: (S·(2^k − 1) + D) / 2^k, truncated.
inline uint32_t feedback(uint32_t sample, uint32_t old, uint32_t k) { return ((sample << k) + old - sample) >> k; }

// Visits the pixels in the passes' order: each row from the centre column
// outward, rows from the centre row outward. Pass 1 reads column cx0 + 1 and
// row cy0 + 1 before passes 2–4 write them; the later passes read pixels
// already blurred.
void blur_pixel_by_pixel(uint32_t* buffer, const ZoomGeometry& g, int32_t feedback_shift) {
    const auto k = static_cast<uint32_t>(feedback_shift);
    const auto blend = [&](int32_t x, int32_t y) {
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
            const uint32_t s = (first * col.w_first + second * col.w_second) >> kZoomSumShift;
            out |= feedback(s, (old >> shift) & 0xFFu, k) << shift;
        }
        target = out;  // top byte 0
    };
    for_each_quadrant(g, [&](const QuadrantRange& r) {
        for (int32_t i = 0; i < r.y_count; ++i) {
            for (int32_t j = 0; j < r.x_count; ++j) {
                blend(r.x_first + j * r.x_step, r.y_first + i * r.y_step);
            }
        }
    });
}

// A preset: the centre sways as sin(d·rate + phase)·amplitude on each axis,
// d being the time to t0; the pull and the feedback shift are fixed, except
// that a fading preset's pull falls by kPullFadePerMs for each millisecond
// after t0 and stays at 0 once it gets there.
struct ZoomPreset {
    int code;
    double rate_x, phase_x, amplitude_x;
    double rate_y, amplitude_y;
    double pull;
    int32_t shift;
    bool fades;
};

constexpr double kPullFadePerMs = 0.000002;  // 0.023 fades out in 11.5 s

constexpr ZoomPreset kZoomPresets[] = {
    {kZoomPresetIntro, 0.0016, 0.0, 120.0, 0.0024, 80.0, 0.023, 5, false},
    {kZoomPresetBand, 0.0016, 1.5707963268, 120.0, 0.0024, 10.0, 0.005, 5, false},
    {kZoomPresetSnow, 0.002466, 0.0, 120.0, 0.003572, 80.0, 0.09, 2, false},
    {kZoomPresetFade, 0.0016, 0.0, 120.0, 0.0024, 80.0, 0.023, 5, true},
};

using BlurFrameFn = void(uint32_t* buffer, const ZoomGeometry& g, int32_t shift);

// One variant of zoom_blur: the geometry for the current parameters, then the
// blur by `kBlurFrame` when they are safe.
template <BlurFrameFn* kBlurFrame>
void zoom_blur_by(uint32_t* buffer) {
    ZoomGeometry g;
    build_geometry(g);
    if (zoom_parameters_safe()) {
        kBlurFrame(buffer, g, zoom_shift);
    }
}

constexpr std::array kZoomBlurVariants = {
    Variant<ZoomBlurFn>{InstructionSet::kPortable, portable::zoom_blur},
#if defined(__x86_64__) || defined(__wasm_simd128__)
    Variant<ZoomBlurFn>{InstructionSet::kSse2, zoom_blur_by<sse2::zoom_blur_frame>},
#endif
#if defined(__x86_64__)
    Variant<ZoomBlurFn>{InstructionSet::kAvx2, zoom_blur_by<avx2::zoom_blur_frame>},
#endif
};

}  // namespace

void set_zoom_preset(uint32_t t0, int code) {
    const ZoomPreset* preset = nullptr;
    for (const ZoomPreset& p : kZoomPresets) {
        preset = p.code == code ? &p : preset;
    }
    if (preset == nullptr) {
        return;  // unknown codes leave the parameters as they were
    }
    // Both differences wrap modulo 2^32 and are then used as non-negative
    // numbers: with t0 = 0 the sway runs from 2^32 − frame_time.
    const double d = static_cast<double>(static_cast<uint32_t>(t0 - frame_time));
    const double e = static_cast<double>(static_cast<uint32_t>(frame_time - t0));
    zoom_center_x = float_to_int(gf::sin(d * preset->rate_x + preset->phase_x) * preset->amplitude_x);
    zoom_center_y = float_to_int(gf::sin(d * preset->rate_y) * preset->amplitude_y);
    const float pull = static_cast<float>(preset->fades ? preset->pull - e * kPullFadePerMs : preset->pull);
    zoom_scale_x = zoom_scale_y = pull < 0.0f ? 0.0f : pull;
    zoom_shift = preset->shift;
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

void zoom_blur(uint32_t* buffer) { zoom_blur_by<blur_pixel_by_pixel>(buffer); }

}  // namespace portable

std::vector<Variant<ZoomBlurFn>> zoom_blur_variants() { return runnable_variants(kZoomBlurVariants); }

void zoom_blur(uint32_t* buffer) {
    static ZoomBlurFn* const run = widest_variant(kZoomBlurVariants);
    run(buffer);
}

}  // namespace gf
