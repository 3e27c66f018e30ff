// Swirl warp. The angle tables are built once; the twist table follows the
// clock every frame; the per-pixel warp uses only table loads, multiplies,
// shifts and the unsigned wrap of the source position. The rows for bounded
// tables also have SSE2 and AVX2 variants (swirl_sse2.cpp, swirl_avx2.cpp).
#include "effects/swirl.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "common/trig.h"
#include "common/types.h"
#include "effects/swirl_terms.h"

namespace gf {

std::array<int32_t, kSwirlAngleSteps> swirl_sin{};
std::array<int32_t, kSwirlAngleSteps> swirl_cos{};
int32_t* swirl_radius = nullptr;
std::array<int32_t, kSwirlTwistEntries> swirl_twist{};
int32_t swirl_phase = 0;

namespace {

constexpr float kRadiansPerDegree = 0.017453292f;           // the single-precision factor the tables are built with
constexpr double kDegreesPerStep = 0.703125;                // 360° / 512
constexpr double kTableScale = 256.0;                       // sine tables hold sin · 256
constexpr double kTwistOne = 65536.0;                       // 16.16 fixed point
constexpr double kPhasePerMs = 0.22563;                     // table steps per millisecond
constexpr double kSwingDegreesPerMs = 0.06666666666666667;  // T / 15 degrees
constexpr uint32_t kTwistStepsScale = 80;                   // twist (16.16) · 80 >> 16 = table steps
constexpr int kTwistFractionBits = 16;

// Degrees to radians: the angle is first rounded to a float, then multiplied
// by the float constant (the product itself is kept in double).
double deg_to_rad(double degrees) {
    return static_cast<double>(static_cast<float>(degrees)) * static_cast<double>(kRadiansPerDegree);
}

struct TwistProfile {
    double values[kSwirlTwistEntries];
    TwistProfile() {
        for (int i = 0; i < kSwirlTwistEntries; ++i) {
            values[i] = gf::sin(deg_to_rad(i * 0.18)) + 0.1 * gf::sin(deg_to_rad(i * 1.125));
        }
    }
};

const TwistProfile& twist_profile() {
    static const TwistProfile profile;
    return profile;
}

int32_t phase_at(uint32_t t) { return float_to_int(static_cast<double>(t) * kPhasePerMs); }

// Source positions lie within −260 … 260 for tables of at most ±256. Their
// unsigned wrap is looked up: a negative v is taken as v + 2^32, and since
// 2^32 mod 320 = 256 and 2^32 mod 200 = 96, −1 lands on column 255 and row 95.
constexpr int32_t kWrapReach = 260;
constexpr int kWrapEntries = 2 * kWrapReach + 1;

struct WrapTables {
    uint32_t column[kWrapEntries];
    uint32_t row_start[kWrapEntries];  // row · 320
    WrapTables() {
        for (int i = 0; i < kWrapEntries; ++i) {
            const auto as_unsigned = static_cast<uint32_t>(i - kWrapReach);
            column[i] = as_unsigned % kScreenWidth;
            row_start[i] = (as_unsigned % kScreenHeight) * kScreenWidth;
        }
    }
};

const WrapTables s_wrap;

inline uint32_t wrap_column(int32_t x) {
    const auto slot = static_cast<uint32_t>(x + kWrapReach);
    return slot < kWrapEntries ? s_wrap.column[slot] : static_cast<uint32_t>(x) % kScreenWidth;
}

inline uint32_t wrap_row_start(int32_t y) {
    const auto slot = static_cast<uint32_t>(y + kWrapReach);
    return slot < kWrapEntries ? s_wrap.row_start[slot] : (static_cast<uint32_t>(y) % kScreenHeight) * kScreenWidth;
}

constexpr int kHalfWidth = kSwirlHalfWidth;
constexpr int kHalfHeight = kSwirlHalfHeight;
constexpr int kSampleFractionBits = kSwirlSampleFractionBits;

SwirlTerms s_terms;

// The warp's arithmetic is 32-bit two's complement that wraps, as the
// processor's: products and sums are formed unsigned and read back signed
// (arithmetic right shifts), so no table contents can overflow.
inline uint32_t bits(int32_t v) { return static_cast<uint32_t>(v); }
inline int32_t signed_value(uint32_t v) { return static_cast<int32_t>(v); }

// Table indexes wrap modulo 2^32 and are masked to the 512-step tables.
void prepare_terms(uint32_t p) {
    s_terms.sine = swirl_sin.data();
    s_terms.cosine = swirl_cos.data();
    for (int i = 0; i < kSwirlTwistEntries; ++i) {
        const int32_t tw = signed_value(bits(swirl_twist[i]) * kTwistStepsScale) >> kTwistFractionBits;
        const uint32_t a = p + static_cast<uint32_t>(tw);
        s_terms.radius_ca[i] = swirl_cos[a & kSwirlAngleMask];
        s_terms.radius_cb_index[i] = p + a + kHalfWidth;
        s_terms.radius_packed[i] = (bits(s_terms.radius_ca[i]) << 16) | (s_terms.radius_cb_index[i] & kSwirlAngleMask);
    }
    for (int c = -kHalfWidth; c < kHalfWidth; ++c) {
        const int32_t sb = swirl_sin[(p + static_cast<uint32_t>(c + kHalfWidth)) & kSwirlAngleMask];
        s_terms.column_term[c + kHalfWidth] = signed_value(bits(sb) * bits(c));
    }
}

// With every sine and cosine within ±256 the source position stays within
// −260 … 260, the reach of the wrap tables, and the range tests can go.
bool angle_tables_bounded() {
    constexpr int32_t kTableLimit = 256;
    bool bounded = true;
    for (int i = 0; i < kSwirlAngleSteps; ++i) {
        bounded &= swirl_sin[i] >= -kTableLimit && swirl_sin[i] <= kTableLimit;
        bounded &= swirl_cos[i] >= -kTableLimit && swirl_cos[i] <= kTableLimit;
    }
    return bounded;
}

template <bool kBounded>
void draw_swirl_rows(uint32_t* dst, const uint32_t* image, uint32_t p) {
    const int32_t* radius = swirl_radius;
    const uint32_t* column_wrap = s_wrap.column + kWrapReach;
    const uint32_t* row_wrap = s_wrap.row_start + kWrapReach;
    for (int r = -kHalfHeight; r < kHalfHeight; ++r) {
        const uint32_t sa_r = bits(swirl_sin[(bits(r + kHalfHeight) + p) & kSwirlAngleMask]) * bits(r);
        const int row = (r + kHalfHeight) * kScreenWidth;
#pragma GCC unroll 4
        for (int c = -kHalfWidth; c < kHalfWidth; ++c) {
            const int n = row + c + kHalfWidth;
            const int32_t rad = radius[n];
            uint32_t cb_index;
            int32_t ca;
            if constexpr (kBounded) {
                const uint32_t packed = s_terms.radius_packed[rad];
                cb_index = packed;
                ca = signed_value(packed) >> 16;
            } else {
                cb_index = s_terms.radius_cb_index[rad];
                ca = s_terms.radius_ca[rad];
            }
            const int32_t cb = swirl_cos[(cb_index + bits(c)) & kSwirlAngleMask];
            const int32_t y_src = signed_value(sa_r - bits(cb) * bits(c)) >> kSampleFractionBits;
            // Negate first, then shift: −1 >> 8 stays −1.
            const uint32_t x_sum = bits(s_terms.column_term[c + kHalfWidth]) + bits(ca) * bits(r);
            const int32_t x_src = signed_value(0u - x_sum) >> kSampleFractionBits;
            if constexpr (kBounded) {
                dst[n] = image[row_wrap[y_src] + column_wrap[x_src]];
            } else {
                dst[n] = image[wrap_row_start(y_src) + wrap_column(x_src)];
            }
        }
    }
}

// The bounded tables' rows without vector instructions.
void draw_swirl_bounded(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& /*terms*/) {
    draw_swirl_rows<true>(dst, image, p);
}

using BoundedRowsFn = void(uint32_t* dst, const uint32_t* image, uint32_t p, const SwirlTerms& terms);

// One variant of draw_swirl: the terms for the current phase, then the rows,
// by `kBoundedRows` when the angle tables are within ±256.
template <BoundedRowsFn* kBoundedRows>
void draw_swirl_by(uint32_t* dst, const uint32_t* image) {
    if (swirl_radius == nullptr) {
        return;
    }
    const auto p = static_cast<uint32_t>(swirl_phase);
    prepare_terms(p);
    if (angle_tables_bounded()) {
        kBoundedRows(dst, image, p, s_terms);
    } else {
        draw_swirl_rows<false>(dst, image, p);
    }
}

constexpr std::array kDrawSwirlVariants = {
    Variant<DrawSwirlFn>{InstructionSet::kPortable, portable::draw_swirl},
#if defined(__x86_64__) || defined(__wasm_simd128__)
    Variant<DrawSwirlFn>{InstructionSet::kSse2, draw_swirl_by<sse2::draw_swirl_bounded>},
#endif
#if defined(__x86_64__)
    Variant<DrawSwirlFn>{InstructionSet::kAvx2, draw_swirl_by<avx2::draw_swirl_bounded>},
#endif
};

// The radius table exists before the program's entry runs.
const bool s_radius_ready = (alloc_swirl_radius(), true);

}  // namespace

void alloc_swirl_radius() {
    if (swirl_radius != nullptr) {
        return;
    }
    swirl_radius = new (std::nothrow) int32_t[kSwirlRadiusEntries]();
    if (swirl_radius == nullptr) {
        std::fputs("glimmerfrost: cannot allocate the swirl radius table (256000 bytes)\n", stderr);
        std::exit(1);
    }
}

void init_swirl() {
    alloc_swirl_radius();
    for (int i = 0; i < kSwirlAngleSteps; ++i) {
        const double radians = deg_to_rad(i * kDegreesPerStep);
        swirl_sin[i] = float_to_int(gf::sin(radians) * kTableScale);
        swirl_cos[i] = float_to_int(gf::cos(radians) * kTableScale);
    }
    for (int r = -kScreenHeight / 2; r < kScreenHeight / 2; ++r) {
        for (int c = -kScreenWidth / 2; c < kScreenWidth / 2; ++c) {
            const double distance = std::sqrt(static_cast<double>(c * c + r * r));
            swirl_radius[(r + kScreenHeight / 2) * kScreenWidth + (c + kScreenWidth / 2)] =
                float_to_int(distance * 0.1 * 256.0);
        }
    }
    const TwistProfile& profile = twist_profile();
    for (int i = 0; i < kSwirlTwistEntries; ++i) {
        swirl_twist[i] = float_to_int(profile.values[i] * kTwistOne);
    }
    swirl_phase = phase_at(frame_time);
}

void animate_swirl() {
    const uint32_t t = frame_time;
    swirl_phase = phase_at(t);
    const double strength = gf::sin(deg_to_rad(static_cast<double>(t) * kSwingDegreesPerMs));
    const TwistProfile& profile = twist_profile();
    const double scaled_strength = strength * kTwistOne;
    for (int i = 0; i < kSwirlTwistEntries; ++i) {
        swirl_twist[i] = float_to_int(scaled_strength * profile.values[i]);
    }
}

namespace portable {

void draw_swirl(uint32_t* dst, const uint32_t* image) { draw_swirl_by<draw_swirl_bounded>(dst, image); }

}  // namespace portable

std::vector<Variant<DrawSwirlFn>> draw_swirl_variants() { return runnable_variants(kDrawSwirlVariants); }

void draw_swirl(uint32_t* dst, const uint32_t* image) {
    static DrawSwirlFn* const run = widest_variant(kDrawSwirlVariants);
    run(dst, image);
}

void free_swirl() {
    delete[] swirl_radius;
    swirl_radius = nullptr;
}

}  // namespace gf
