// Frame primitives on small hand-made patterns with hand-computed pixels.
#include "effects/primitives.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"
#include "platform/clock.h"

namespace gf {
namespace {

using Frame = std::vector<uint32_t>;

Frame random_frame(uint32_t seed) {
    std::mt19937 engine(seed);
    Frame frame(kScreenPixels);
    for (uint32_t& p : frame) p = engine();
    return frame;
}

uint32_t& at(Frame& frame, int x, int y) { return frame[y * kScreenWidth + x]; }

TEST(AddSaturate, SaturatesEachByteOnItsOwnInPlace) {
    Frame a(kScreenPixels, 0x00FF8040), b(kScreenPixels, 0x00808080);
    a[5] = 0xF0000001;
    b[5] = 0x20FFFF00;
    add_saturate(a.data(), a.data(), b.data());  // the timeline passes screen as destination and a
    EXPECT_EQ(a[0], 0x00FFFFC0u);                // (255, 128, 64) + (128, 128, 128)
    EXPECT_EQ(a[63999], 0x00FFFFC0u);
    EXPECT_EQ(a[5], 0xFFFFFF01u);  // the top byte saturates too; no carry between bytes
}

TEST(AddSaturate, VectorAndPortablePathsMatchBytewiseSum) {
    const Frame a = random_frame(1), b = random_frame(2);
    Frame expected(kScreenPixels), fast(kScreenPixels), slow(kScreenPixels);
    for (int i = 0; i < kScreenPixels; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t sum = ((a[i] >> shift) & 0xFF) + ((b[i] >> shift) & 0xFF);
            expected[i] |= (sum > 255 ? 255u : sum) << shift;
        }
    }
    add_saturate(fast.data(), a.data(), b.data());
    portable::add_saturate(slow.data(), a.data(), b.data());
    EXPECT_EQ(fast, expected);
    EXPECT_EQ(slow, expected);
}

TEST(FillFlash, FadesTwoLevelsPerMillisecondAndOldHitsStayBlack) {
    Frame frame(kScreenPixels, 0x12345678);
    use_virtual_clock(5000);
    const std::pair<uint32_t, uint32_t> cases[] = {
        {5000, 0xFFFFFFFF}, {4999, 0xFDFDFDFD}, {4873, 0x01010101}, {4872, 0}, {0, 0}};
    for (auto [hit, pixel] : cases) {
        fill_flash(frame.data(), hit);
        EXPECT_EQ(frame[0], pixel) << "hit " << hit;
        EXPECT_EQ(frame[63999], pixel) << "hit " << hit;
    }
    // A doubled elapsed time that wrapped would give white at 2^31 ms and
    // grey 19 at 2^31 − 10 ms after a hit at 0.
    for (uint32_t now : {0x80000000u, 0x7FFFFFF6u, 0xFFFFFFFFu}) {
        set_virtual_clock(now);
        fill_flash(frame.data(), 0);
        EXPECT_EQ(frame[100], 0u) << "clock " << now;
    }
    use_system_clock();
}

TEST(InvertFrame, InvertsColourAndClearsTopByte) {
    Frame frame(kScreenPixels, 0xAB123456);  // top 171, (18, 52, 86)
    frame[1] = 0xFFFFFFFF;
    invert_frame(frame.data());
    EXPECT_EQ(frame[0], 0x00EDCBA9u);  // (237, 203, 169)
    EXPECT_EQ(frame[1], 0u);
    EXPECT_EQ(frame[63999], 0x00EDCBA9u);
}

TEST(ScrollOffsets, FollowFrameTimeAndTheUnsignedDifferenceToBase) {
    frame_time = 0;
    update_scroll_offsets(0);
    EXPECT_EQ(scroll_offsets, (std::array<int32_t, 3>{140, 593, 0}));
    frame_time = 1000;  // sin 2 = 0.90930 → 267.30; sin 0.5 = 0.47943 → 876.82
    update_scroll_offsets(2000);
    EXPECT_EQ(scroll_offsets, (std::array<int32_t, 3>{267, 876, 4294966}));  // (2^32 − 1000)·0.001
    frame_time = 0;
}

TEST(Blits, ScrolledWindowAndBandTouchOnlyTheirRows) {
    Frame picture(kScreenWidth * 480);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint32_t>(i);
    const auto saved = scroll_offsets;
    scroll_offsets = {7, 280, 3};
    Frame dst(kScreenPixels, 0xABABABAB);
    for (int selector : {0, 4, -1}) blit_scrolled(dst.data(), picture.data(), selector);
    EXPECT_EQ(dst[0], 0xABABABABu);
    blit_band(dst.data(), picture.data(), 4);
    EXPECT_EQ(at(dst, 319, 59), 0xABABABABu);
    EXPECT_EQ(at(dst, 0, 60), 320u * 320);
    EXPECT_EQ(at(dst, 319, 139), 399u * 320 + 319);
    EXPECT_EQ(at(dst, 0, 140), 0xABABABABu);
    blit_scrolled(dst.data(), picture.data(), 1);
    EXPECT_EQ(at(dst, 0, 0), 7u * 320);
    EXPECT_EQ(at(dst, 319, 199), 206u * 320 + 319);
    blit_scrolled(dst.data(), picture.data(), 2);  // the last window a 480-row picture holds
    EXPECT_EQ(at(dst, 5, 199), 479u * 320 + 5);
    scroll_offsets = saved;
    Frame copy(kScreenPixels, 0);
    copy_frame(copy.data(), picture.data(), 11);  // two words; 3 leftover bytes are not copied
    EXPECT_EQ(copy[1], 1u);
    EXPECT_EQ(copy[2], 0u);
}

TEST(Blur5, DividesWholeWordsIntoTheInteriorOnly) {
    Frame src(kScreenPixels, 0), dst(kScreenPixels, 0x00777777);
    at(src, 10, 10) = 0x00FFFFFF;
    at(src, 50, 50) = 0x00010000;  // red 1: 65536 / 5 = 13107 = green 0x33, blue 0x33
    for (auto [x, y] : {std::pair{200, 100}, {199, 100}, {201, 100}, {200, 99}, {200, 101}}) {
        at(src, x, y) = 0xFFFFFFFF;
    }
    blur5(src.data(), dst.data());
    for (auto [x, y] : {std::pair{10, 10}, {9, 10}, {11, 10}, {10, 9}, {10, 11}}) {
        EXPECT_EQ(at(dst, x, y), 0x00333333u) << x << "," << y;
    }
    EXPECT_EQ(at(dst, 11, 11), 0u);
    EXPECT_EQ(at(dst, 50, 50), 0x00003333u);
    EXPECT_EQ(at(dst, 200, 100), 0x33333332u);  // 5 · 0xFFFFFFFF wraps to 0xFFFFFFFB
    EXPECT_EQ(at(dst, 202, 100), 0x33333333u);
    EXPECT_EQ(at(dst, 0, 0), 0x00777777u);
    EXPECT_EQ(at(dst, 319, 100), 0x00777777u);
    EXPECT_EQ(at(dst, 100, 199), 0x00777777u);
}

TEST(Blur5, VectorAndPortablePathsMatchWordFormula) {
    const Frame src = random_frame(4);
    Frame expected(kScreenPixels, 0x01020304), fast = expected, slow = expected;
    for (int y = 1; y < 199; ++y) {
        for (int x = 1; x < 319; ++x) {
            const int i = y * 320 + x;
            expected[i] = (src[i - 320] + src[i + 320] + src[i] + src[i - 1] + src[i + 1]) / 5u;
        }
    }
    blur5(src.data(), fast.data());
    portable::blur5(src.data(), slow.data());
    EXPECT_EQ(fast, expected);
    EXPECT_EQ(slow, expected);
}

}  // namespace
}  // namespace gf
