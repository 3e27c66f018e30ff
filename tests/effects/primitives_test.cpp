// Frame primitives on small hand-made patterns with hand-computed pixels.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"
#include "effects/primitives.h"
#include "platform/clock.h"

namespace gf {
namespace {

std::vector<uint32_t> random_frame(uint32_t seed, std::size_t pixels = kScreenPixels) {
    std::mt19937 engine(seed);
    std::vector<uint32_t> frame(pixels);
    for (uint32_t& p : frame) p = engine();
    return frame;
}

uint32_t& at(std::vector<uint32_t>& frame, int x, int y) { return frame[y * kScreenWidth + x]; }

TEST(AddSaturate, SaturatesEachByteOnItsOwnIncludingTheTopByte) {
    std::vector<uint32_t> a(kScreenPixels, 0x00FF8040), b(kScreenPixels, 0x00808080);
    a[5] = 0xF0000001;
    b[5] = 0x20FFFF00;
    std::vector<uint32_t> dst(kScreenPixels, 0xDEADBEEF);
    add_saturate(dst.data(), a.data(), b.data());
    EXPECT_EQ(dst[0], 0x00FFFFC0u);  // (255, 128, 64) + (128, 128, 128) = (255, 255, 192)
    EXPECT_EQ(dst[63999], 0x00FFFFC0u);
    EXPECT_EQ(dst[5], 0xFFFFFF01u);  // no carry from a saturated byte into its neighbour
}

TEST(AddSaturate, VectorAndPortablePathsMatchBytewiseSumInPlace) {
    const std::vector<uint32_t> a = random_frame(1), b = random_frame(2);
    std::vector<uint32_t> expected(kScreenPixels);
    for (int i = 0; i < kScreenPixels; ++i) {
        for (int byte = 0; byte < 4; ++byte) {
            const uint32_t sum = ((a[i] >> (8 * byte)) & 0xFF) + ((b[i] >> (8 * byte)) & 0xFF);
            expected[i] |= (sum > 255 ? 255u : sum) << (8 * byte);
        }
    }
    std::vector<uint32_t> in_place = a;  // the timeline passes screen as both destination and a
    add_saturate(in_place.data(), in_place.data(), b.data());
    EXPECT_EQ(in_place, expected);
    std::vector<uint32_t> portable_out(kScreenPixels);
    portable::add_saturate(portable_out.data(), a.data(), b.data());
    EXPECT_EQ(portable_out, expected);
    // An unaligned destination and sources (a pixel pointer one word in).
    std::vector<uint32_t> a1(kScreenPixels + 1), b1(kScreenPixels + 1), d1(kScreenPixels + 1);
    std::copy(a.begin(), a.end(), a1.begin() + 1);
    std::copy(b.begin(), b.end(), b1.begin() + 1);
    add_saturate(d1.data() + 1, a1.data() + 1, b1.data() + 1);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d1.begin() + 1));
    EXPECT_EQ(d1[0], 0u);
}

TEST(FillFlash, FadesTwoLevelsPerMillisecondIntoAllFourBytes) {
    use_virtual_clock(5000);
    std::vector<uint32_t> frame(kScreenPixels, 0x12345678);
    const struct { uint32_t hit; uint32_t pixel; } cases[] = {
        {5000, 0xFFFFFFFF}, {4999, 0xFDFDFDFD}, {4873, 0x01010101}, {4872, 0x00000000}, {0, 0}};
    for (const auto& c : cases) {
        fill_flash(frame.data(), c.hit);
        EXPECT_EQ(frame[0], c.pixel) << "hit " << c.hit;
        EXPECT_EQ(frame[63999], c.pixel) << "hit " << c.hit;
    }
    use_system_clock();
}

TEST(FillFlash, HitLongAgoIsBlackWhateverTheClockReads) {
    // A doubled elapsed time that wraps would give white at 2^31 ms and grey 19
    // at 2^31 − 10 ms; an old hit must stay black at any uptime.
    std::vector<uint32_t> frame(kScreenPixels, 0x12345678);
    for (uint32_t now : {0x80000000u, 0x7FFFFFF6u, 0xFFFFFFFFu, 0x40000000u}) {
        use_virtual_clock(now);
        fill_flash(frame.data(), 0);
        EXPECT_EQ(frame[100], 0u) << "clock " << now;
    }
    use_system_clock();
}

TEST(InvertFrame, InvertsColourAndClearsTopByte) {
    std::vector<uint32_t> frame(kScreenPixels, 0xAB123456);  // top 171, (18, 52, 86)
    frame[1] = 0xFFFFFFFF;
    frame[2] = 0;
    invert_frame(frame.data());
    EXPECT_EQ(frame[0], 0x00EDCBA9u);  // (237, 203, 169)
    EXPECT_EQ(frame[1], 0u);
    EXPECT_EQ(frame[2], 0x00FFFFFFu);
    EXPECT_EQ(frame[63999], 0x00EDCBA9u);
}

TEST(ScrollOffsets, FollowFrameTimeAndTheUnsignedDifferenceToBase) {
    const uint32_t saved = frame_time;
    frame_time = 0;
    update_scroll_offsets(0);
    EXPECT_EQ(scroll_offsets, (std::array<int32_t, 3> {140, 593, 0}));
    frame_time = 1000;  // sin 2 = 0.90930 → 267.30; sin 0.5 = 0.47943 → 876.82
    update_scroll_offsets(2000);
    EXPECT_EQ(scroll_offsets, (std::array<int32_t, 3> {267, 876, 4294966}));  // (2^32 − 1000)·0.001
    frame_time = saved;
}

TEST(BlitScrolled, CopiesWindowAtSelectedOffsetAndIgnoresOtherSelectors) {
    std::vector<uint32_t> picture(kScreenWidth * 480);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint32_t>(i);
    const auto saved = scroll_offsets;
    scroll_offsets = {7, 280, 3};
    std::vector<uint32_t> dst(kScreenPixels, 0xABABABAB);
    for (int selector : {0, 4, -1}) {
        blit_scrolled(dst.data(), picture.data(), selector);
        EXPECT_EQ(dst[0], 0xABABABABu);
    }
    blit_scrolled(dst.data(), picture.data(), 1);
    EXPECT_EQ(at(dst, 0, 0), 7u * 320);
    EXPECT_EQ(at(dst, 319, 199), 206u * 320 + 319);
    blit_scrolled(dst.data(), picture.data(), 2);  // the last window a 480-row picture holds
    EXPECT_EQ(at(dst, 5, 199), 479u * 320 + 5);
    scroll_offsets = saved;
}

TEST(BlitBand, WritesOnlyRows60To139FromTheBandRows) {
    std::vector<uint32_t> picture(kScreenWidth * 400);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint32_t>(i);
    std::vector<uint32_t> dst(kScreenPixels, 0xABABABAB);
    blit_band(dst.data(), picture.data(), 4);
    EXPECT_EQ(at(dst, 319, 59), 0xABABABABu);
    EXPECT_EQ(at(dst, 0, 60), 320u * 320);
    EXPECT_EQ(at(dst, 319, 139), 399u * 320 + 319);
    EXPECT_EQ(at(dst, 0, 140), 0xABABABABu);
}

TEST(CopyFrame, CopiesWholeWordsRoundedDown) {
    std::vector<uint32_t> src = random_frame(3), dst(kScreenPixels, 0);
    copy_frame(dst.data(), src.data(), 11);  // 2 words; the 3 leftover bytes are not copied
    EXPECT_EQ(dst[0], src[0]);
    EXPECT_EQ(dst[1], src[1]);
    EXPECT_EQ(dst[2], 0u);
    copy_frame(dst.data(), src.data(), kFrameBytes);
    EXPECT_EQ(dst, src);
}

TEST(Blur5, OneWhitePixelSpreadsGrey51AndKeepsTheBorder) {
    std::vector<uint32_t> src(kScreenPixels, 0), dst(kScreenPixels, 0x00777777);
    at(src, 10, 10) = 0x00FFFFFF;
    at(src, 0, 0) = 0x00FFFFFF;  // (0, 0) is a tap of no written pixel
    blur5(src.data(), dst.data());
    for (auto [x, y] : {std::pair {10, 10}, {9, 10}, {11, 10}, {10, 9}, {10, 11}}) {
        EXPECT_EQ(at(dst, x, y), 0x00333333u) << x << "," << y;
    }
    EXPECT_EQ(at(dst, 11, 11), 0u);
    EXPECT_EQ(at(dst, 1, 1), 0u);  // (0, 0) is not among the taps of (1, 1)
    EXPECT_EQ(at(dst, 0, 0), 0x00777777u);
    EXPECT_EQ(at(dst, 319, 100), 0x00777777u);
    EXPECT_EQ(at(dst, 100, 199), 0x00777777u);
}

TEST(Blur5, DividesThePackedWordSoRemaindersFlowDown) {
    std::vector<uint32_t> src(kScreenPixels, 0), dst(kScreenPixels, 0);
    at(src, 50, 50) = 0x00010000;  // red 1: 65536 / 5 = 13107 = green 0x33, blue 0x33
    at(src, 200, 100) = 0xFFFFFFFF;
    for (auto [x, y] : {std::pair {199, 100}, {201, 100}, {200, 99}, {200, 101}}) at(src, x, y) = 0xFFFFFFFF;
    blur5(src.data(), dst.data());
    EXPECT_EQ(at(dst, 50, 50), 0x00003333u);
    EXPECT_EQ(at(dst, 200, 100), 0x33333332u);  // 5 · 0xFFFFFFFF wraps to 0xFFFFFFFB
    EXPECT_EQ(at(dst, 202, 100), 0x33333333u);
}

TEST(Blur5, VectorAndPortablePathsMatchWordFormula) {
    const std::vector<uint32_t> src = random_frame(4);
    std::vector<uint32_t> expected(kScreenPixels, 0x01020304);
    for (int y = 1; y < 199; ++y) {
        for (int x = 1; x < 319; ++x) {
            const int i = y * 320 + x;
            expected[i] = (src[i - 320] + src[i + 320] + src[i] + src[i - 1] + src[i + 1]) / 5u;
        }
    }
    std::vector<uint32_t> fast(kScreenPixels, 0x01020304), slow(kScreenPixels, 0x01020304);
    blur5(src.data(), fast.data());
    portable::blur5(src.data(), slow.data());
    EXPECT_EQ(fast, expected);
    EXPECT_EQ(slow, expected);
}

}  // namespace
}  // namespace gf
