// Whole-frame pixel operations. add_saturate and blur5 have SSE2 paths (and
// AVX2 for add_saturate, chosen at run time); the rest are plain loops the
// compiler vectorises.
#include "effects/primitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "common/types.h"
#include "platform/clock.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

}  // namespace portable

#if defined(__x86_64__)

namespace {

__attribute__((target("avx2"))) void add_saturate_avx2(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    constexpr int kStep = 8;  // pixels per 256-bit register; 64000 is a multiple of 8
    for (int i = 0; i < kScreenPixels; i += kStep) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_adds_epu8(va, vb));
    }
}

void add_saturate_sse2(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    constexpr int kStep = 4;
    for (int i = 0; i < kScreenPixels; i += kStep) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epu8(va, vb));
    }
}

bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Unsigned 32-bit division by 5 in each lane: x / 5 = (x · 0xCCCCCCCD) >> 34,
// exact for every 32-bit x. SSE2 multiplies only the even lanes to 64 bits,
// so the odd lanes are shifted down and done in a second multiply.
inline __m128i divide_by_5(__m128i x) {
    const __m128i magic = _mm_set1_epi32(static_cast<int>(0xCCCCCCCDu));
    const __m128i even = _mm_srli_epi64(_mm_mul_epu32(x, magic), 34);
    const __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), magic), 34);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

void blur5_sse2(const uint32_t* src, uint32_t* dst) {
    constexpr int kStep = 4;
    constexpr int kLastColumn = kScreenWidth - 2;  // 318, the last column written
    for (int y = 1; y < kScreenHeight - 1; ++y) {
        const uint32_t* row = src + y * kScreenWidth;
        uint32_t* out = dst + y * kScreenWidth;
        int x = 1;
        for (; x + kStep - 1 <= kLastColumn; x += kStep) {
            const auto load = [](const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
            __m128i sum = _mm_add_epi32(load(row + x - kScreenWidth), load(row + x + kScreenWidth));
            sum = _mm_add_epi32(sum, load(row + x));
            sum = _mm_add_epi32(sum, load(row + x - 1));
            sum = _mm_add_epi32(sum, load(row + x + 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), divide_by_5(sum));
        }
        for (; x <= kLastColumn; ++x) {
            const uint32_t sum = row[x - kScreenWidth] + row[x + kScreenWidth] + row[x] + row[x - 1] + row[x + 1];
            out[x] = sum / 5u;
        }
    }
}

}  // namespace

void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) {
    if (cpu_has_avx2()) {
        add_saturate_avx2(dst, a, b);
    } else {
        add_saturate_sse2(dst, a, b);
    }
}

void blur5(const uint32_t* src, uint32_t* dst) { blur5_sse2(src, dst); }

#else

void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b) { portable::add_saturate(dst, a, b); }

void blur5(const uint32_t* src, uint32_t* dst) { portable::blur5(src, dst); }

#endif

void fill_flash(uint32_t* buffer, uint32_t hit_time) {
    // The elapsed time is an unsigned difference: a hit long ago (or a hit
    // time of 0 on a clock that has run for weeks) is black, never a wrapped grey.
    const uint32_t elapsed = time_get_time() - hit_time;
    constexpr uint32_t kBlackAfterMs = (kFlashFullLevel + kFlashFadePerMs) / kFlashFadePerMs;  // 128
    const uint32_t level = elapsed < kBlackAfterMs ? kFlashFullLevel - kFlashFadePerMs * elapsed : 0;
    fill_frame(buffer, level * kGreyReplicate);
}

namespace {

// 0xFFFFFF − (p & 0xFFFFFF); the compiler vectorises the loop for each target.
inline void invert_pixels(uint32_t* buffer) {
    for (int i = 0; i < kScreenPixels; ++i) {
        buffer[i] = ~buffer[i] & kRgbMask;
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void invert_frame_avx2(uint32_t* buffer) { invert_pixels(buffer); }
#endif

}  // namespace

void invert_frame(uint32_t* buffer) {
#if defined(__x86_64__)
    if (cpu_has_avx2()) {
        invert_frame_avx2(buffer);
        return;
    }
#endif
    invert_pixels(buffer);
}

void update_scroll_offsets(uint32_t base) {
    const double t = static_cast<double>(frame_time);
    scroll_offsets[0] = float_to_int((std::sin(t * 0.002) + 1.0) * 140.0);   // 0 … 280
    scroll_offsets[1] = float_to_int(std::sin(t * 0.0005) * 592.0 + 593.0);  // 1 … 1185
    const uint32_t since_base = frame_time - base;                           // modulo 2^32
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
