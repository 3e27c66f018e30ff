// Whole-frame pixel operations the scenes are composed from: copy, fill,
// saturating add, timed flash, inversion, scrolling window, picture band and
// the five-point glow blur. All work on 320 × 200 arrays of 0x00RRGGBB words.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/cpu_features.h"

namespace gf {

// Row offsets into the tall scrolling picture, selected as 1, 2 and 3 by
// blit_scrolled; written only by update_scroll_offsets. All 0 at start.
constexpr int kScrollOffsetCount = 3;
extern std::array<int32_t, kScrollOffsetCount> scroll_offsets;

// Flash brightness: white at the hit, 2 grey levels darker per millisecond.
constexpr uint32_t kFlashFullLevel = 255;
constexpr uint32_t kFlashFadePerMs = 2;

// Rows of the banded picture: each band is 80 rows, shown in destination rows 60–139.
constexpr int kBandRows = 80;
constexpr int kBandFirstRow = 60;

// Copies byte_count / 4 (rounded down) whole words; the areas must not overlap.
void copy_frame(uint32_t* dst, const uint32_t* src, uint32_t byte_count);

// Sets all 64000 pixels to `value`.
void fill_frame(uint32_t* dst, uint32_t value);

// Every byte of dst (top byte included) = min(255, byte of a + byte of b).
// dst may be the same buffer as a or b.
void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b);

// Fills the buffer with a grey that fades with the time since `hit_time`
// (read against time_get_time()); the grey byte fills all four bytes.
void fill_flash(uint32_t* buffer, uint32_t hit_time);

// Red, green and blue become 255 minus themselves; the top byte becomes 0.
void invert_frame(uint32_t* buffer);

// Recomputes the three scroll offsets from frame_time; `base` is the origin of offset 3.
void update_scroll_offsets(uint32_t base);

// Copies the 320 × 200 window of a 320-wide picture starting at the row of
// the selected offset (1, 2 or 3); any other selector writes nothing.
void blit_scrolled(uint32_t* dst, const uint32_t* picture, int selector);

// Copies picture rows band × 80 … band × 80 + 79 into dst rows 60 … 139.
void blit_band(uint32_t* dst, const uint32_t* picture, uint32_t band);

// Five-point average of whole packed words (the word sum divided by 5) into
// the interior of dst; dst's border rows and columns are left as they were.
void blur5(const uint32_t* src, uint32_t* dst);

// The operations with vector code, each in the variants this processor can
// run (portable first); the functions above run the last of their list.
using AddSaturateFn = void(uint32_t* dst, const uint32_t* a, const uint32_t* b);
using Blur5Fn = void(const uint32_t* src, uint32_t* dst);
using InvertFrameFn = void(uint32_t* buffer);
std::vector<Variant<AddSaturateFn>> add_saturate_variants();
std::vector<Variant<Blur5Fn>> blur5_variants();
std::vector<Variant<InvertFrameFn>> invert_frame_variants();

// The same operations without vector instructions.
namespace portable {
void add_saturate(uint32_t* dst, const uint32_t* a, const uint32_t* b);
void blur5(const uint32_t* src, uint32_t* dst);
void invert_frame(uint32_t* buffer);
}  // namespace portable

}  // namespace gf
