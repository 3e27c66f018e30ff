// Whole-frame pixel operations. add_saturate, blur5 and invert_frame run the
// widest of their variants the processor has (primitives_sse2.cpp,
// primitives_avx2.cpp); the rest are plain loops the compiler vectorises.
#include "effects/primitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "common/trig.h"
#include "common/types.h"
#include "effects/primitives_simd.h"
#include "platform/clock.h"

namespace gf {

std::array<int32_t, kScrollOffsetCount> scroll_offsets{};

namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFFu;
constexpr uint32_t kGreyReplicate = 0x01010101u;  // one byte copied into all four

}  // namespace

void copy_frame(uint32_t* dst, const uint32_t* src, uint32_t byte_count) {
    std::memcpy(dst, src, static_cast<std::size_t>(byte_count / 4) * 4);
}

void fill_frame(uint32_t* dst, uint32_t value) { std::fill_n(dst, kScreenPixels, value); }

namespace portable {

void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    for (int i = 0; i < kScreenPixels; ++i) {
        const uint32_t pa = a[i];
        const uint32_t pb = b[i];
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t sum = ((pa >> shift) & 0xFFu) + ((pb >> shift) & 0xFFu);
            out |= std::min(sum, 0xFFu) << shift;
        }
        dst[i] = out;
    }
}

void blur5(const uint32_t* src, uint32_t* dst) {
    for (int y = 1; y < kScreenHeight - 1; ++y) {
        const uint32_t* row = src + y * kScreenWidth;
        uint32_t* out = dst + y * kScreenWidth;
        for (int x = 1; x < kScreenWidth - 1; ++x) {
            // Whole packed words, summed modulo 2^32 and divided once: a
            // channel's remainder flows into the channel below it. The glow is
            // defined by this whole-word average, not by a per-channel one.
            const uint32_t sum = row[x - kScreenWidth] + row[x + kScreenWidth] + row[x] + row[x - 1] + row[x + 1];
            out[x] = sum / 5u;
        }
    }
}

void invert_frame(uint32_t* buffer) {
    for (int i = 0; i < kScreenPixels; ++i) {
        buffer[i] = ~buffer[i] & kRgbMask;
    }
}

}  // namespace portable

namespace {

constexpr std::array kAddSaturateVariants = {
    Variant<AddSaturateFn>{InstructionSet::kPortable, portable::add_saturate},
#if defined(__x86_64__) || defined(__wasm_simd128__)
    Variant<AddSaturateFn>{InstructionSet::kSse2, sse2::add_saturate},
#endif
#if defined(__x86_64__)
    Variant<AddSaturateFn>{InstructionSet::kAvx2, avx2::add_saturate},
#endif
};

constexpr std::array kBlur5Variants = {
    Variant<Blur5Fn>{InstructionSet::kPortable, portable::blur5},
#if defined(__x86_64__) || defined(__wasm_simd128__)
    Variant<Blur5Fn>{InstructionSet::kSse2, sse2::blur5},
#endif
};

constexpr std::array kInvertFrameVariants = {
    Variant<InvertFrameFn>{InstructionSet::kPortable, portable::invert_frame},
#if defined(__x86_64__)
    Variant<InvertFrameFn>{InstructionSet::kAvx2, avx2::invert_frame},
#endif
};

}  // namespace

std::vector<Variant<AddSaturateFn>> add_saturate_variants() { return runnable_variants(kAddSaturateVariants); }
std::vector<Variant<Blur5Fn>> blur5_variants() { return runnable_variants(kBlur5Variants); }
std::vector<Variant<InvertFrameFn>> invert_frame_variants() { return runnable_variants(kInvertFrameVariants); }

void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    static AddSaturateFn* const run = widest_variant(kAddSaturateVariants);
    run(dst, a, b);
}

void blur5(const uint32_t* src, uint32_t* dst) {
    static Blur5Fn* const run = widest_variant(kBlur5Variants);
    run(src, dst);
}

void invert_frame(uint32_t* buffer) {
    static InvertFrameFn* const run = widest_variant(kInvertFrameVariants);
    run(buffer);
}

void fill_flash(uint32_t* buffer, uint32_t hit_time) {
    // The elapsed time is an unsigned difference: a hit long ago (or a hit
    // time of 0 on a clock that has run for weeks) is black, never a wrapped grey.
    const uint32_t elapsed = time_get_time() - hit_time;
    constexpr uint32_t kBlackAfterMs = (kFlashFullLevel + kFlashFadePerMs) / kFlashFadePerMs;  // 128
    const uint32_t level = elapsed < kBlackAfterMs ? kFlashFullLevel - kFlashFadePerMs * elapsed : 0;
    fill_frame(buffer, level * kGreyReplicate);
}

void update_scroll_offsets(uint32_t base) {
    const double t = static_cast<double>(frame_time);
    scroll_offsets[0] = float_to_int((gf::sin(t * 0.002) + 1.0) * 140.0);   // 0 … 280
    scroll_offsets[1] = float_to_int(gf::sin(t * 0.0005) * 592.0 + 593.0);  // 1 … 1185
    const uint32_t since_base = frame_time - base;                          // modulo 2^32
    scroll_offsets[2] = float_to_int(static_cast<double>(since_base) * 0.001);
}

void blit_scrolled(uint32_t* dst, const uint32_t* picture, int selector) {
    if (selector < 1 || selector > kScrollOffsetCount) {
        return;
    }
    // The window is 200 whole rows of a 320-wide picture, so it is one contiguous block.
    const auto first_row = static_cast<std::size_t>(static_cast<uint32_t>(scroll_offsets[selector - 1]));
    std::memcpy(dst, picture + first_row * kScreenWidth, kFrameBytes);
}

void blit_band(uint32_t* dst, const uint32_t* picture, uint32_t band) {
    const std::size_t first_row = static_cast<std::size_t>(band) * kBandRows;
    std::memcpy(dst + kBandFirstRow * kScreenWidth, picture + first_row * kScreenWidth,
                static_cast<std::size_t>(kBandRows) * kScreenWidth * sizeof(uint32_t));
}

}  // namespace gf
