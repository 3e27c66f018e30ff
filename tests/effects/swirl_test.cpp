// Swirl: table values worked out by hand, the unsigned wrap of the source
// position on hand-set tables, and whole frames against the warp's formula.
#include "effects/swirl.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"

namespace gf {
namespace {

std::vector<uint32_t> numbered_picture() {
    std::vector<uint32_t> picture(kScreenPixels);
    for (int i = 0; i < kScreenPixels; ++i) picture[i] = 0x01000000u + static_cast<uint32_t>(i);
    return picture;
}

class Swirl : public ::testing::Test {
protected:
    void SetUp() override { frame_time = 0; }
    void TearDown() override {
        frame_time = 0;
        init_swirl();
    }
};

TEST_F(Swirl, TablesHoldTruncatedScaledValues) {
    frame_time = 10000;
    init_swirl();
    // 90° through the float constant 0.017453292 falls just short of π/2: sin·256 = 255.99… → 255.
    EXPECT_EQ(swirl_sin[128], 255);
    EXPECT_EQ(swirl_cos[0], 256);
    EXPECT_EQ(swirl_sin[1], 3);  // sin 0.703125° · 256 = 3.14
    EXPECT_EQ(swirl_cos[256], -255);
    EXPECT_EQ(swirl_sin[511], -3);  // toward zero, not −4
    EXPECT_EQ(swirl_radius[100 * 320 + 160], 0);
    EXPECT_EQ(swirl_radius[0], 4830);               // (−160, −100): 188.68 · 25.6
    EXPECT_EQ(swirl_radius[104 * 320 + 163], 128);  // a 3-4-5 triangle: 5 · 25.6
    EXPECT_EQ(swirl_radius[101 * 320 + 161], 36);   // √2 · 25.6 = 36.2
    EXPECT_EQ(swirl_twist[0], 0);
    EXPECT_EQ(swirl_twist[500], 63028);  // (sin 90° + 0.1 · sin 562.5°) · 65536
    EXPECT_EQ(swirl_twist[5119], -24062);
    EXPECT_EQ(swirl_phase, 2256);  // 10000 · 0.22563
}

TEST_F(Swirl, AnimateSwingsTheTwistWithTheClock) {
    init_swirl();
    frame_time = 2700;  // 180°: strength about 2e-8, every entry truncates to 0
    animate_swirl();
    EXPECT_EQ(swirl_phase, 609);
    for (int i : {1, 500, 2500, 5119}) EXPECT_EQ(swirl_twist[i], 0) << i;
    frame_time = 10000;  // strength sin(666.67°) = −0.80212
    animate_swirl();
    EXPECT_EQ(swirl_twist[500], -50556);
    EXPECT_EQ(swirl_twist[1000], -3717);
}

TEST_F(Swirl, NegativeSourcePositionsWrapAsUnsignedNumbers) {
    init_swirl();
    const std::vector<uint32_t> picture = numbered_picture();
    std::vector<uint32_t> dst(kScreenPixels, 0);
    swirl_phase = 0;
    swirl_twist.fill(0);
    // sin = 256, cos = 0: y' = r, x' = −c.
    swirl_sin.fill(256);
    swirl_cos.fill(0);
    draw_swirl(dst.data(), picture.data());
    EXPECT_EQ(dst[100 * 320 + 160], picture[0]);                      // the centre shows the corner
    EXPECT_EQ(dst[99 * 320 + 161], picture[95 * 320 + 255]);          // x' = −1 → 255, y' = −1 → 95
    EXPECT_EQ(dst[0], picture[(-100 + 96 + 200) % 200 * 320 + 160]);  // x' = 160, y' = −100 → 196
    // sin = 1: positions below one pixel; x' = (−c) >> 8 is −1 for c = 5 (negated before the shift).
    swirl_sin.fill(1);
    draw_swirl(dst.data(), picture.data());
    EXPECT_EQ(dst[100 * 320 + 165], picture[255]);
    EXPECT_EQ(dst[100 * 320 + 155], picture[0]);
    EXPECT_EQ(dst[99 * 320 + 155], picture[95 * 320]);
    // sin = 256, cos = −256: y' = r + c, x' = r − c; (c, r) = (101, 99) gives y' = 200 → row 0, x' = −2 → 254.
    swirl_sin.fill(256);
    swirl_cos.fill(-256);
    draw_swirl(dst.data(), picture.data());
    EXPECT_EQ(dst[199 * 320 + 261], picture[254]);
}

TEST_F(Swirl, WholeFramesMatchTheWarpFormula) {
    const std::vector<uint32_t> picture = numbered_picture();
    std::vector<uint32_t> dst(kScreenPixels, 0);
    for (uint32_t time : {0u, 1350u, 987654u, 4294967295u}) {
        frame_time = time;
        init_swirl();
        if (time % 2 == 1) animate_swirl();
        if (time == 987654u) swirl_cos[77] = 100000;  // beyond ±256: positions wrap from far outside
        draw_swirl(dst.data(), picture.data());
        std::vector<uint32_t> plain(kScreenPixels, 0);
        portable::draw_swirl(plain.data(), picture.data());
        ASSERT_EQ(plain, dst) << "time " << time;
        const uint32_t p = static_cast<uint32_t>(swirl_phase);
        for (int r = -100; r < 100; ++r) {
            for (int c = -160; c < 160; ++c) {
                const int n = (r + 100) * 320 + c + 160;
                const int32_t tw = (swirl_twist[swirl_radius[n]] * 80) >> 16;
                const uint32_t a = p + static_cast<uint32_t>(tw);
                const int32_t ca = swirl_cos[a & 511], cb = swirl_cos[(p + a + c + 160) & 511];
                const int32_t sa = swirl_sin[(r + p + 100) & 511], sb = swirl_sin[(p + c + 160) & 511];
                const uint32_t y = static_cast<uint32_t>((sa * r - cb * c) >> 8) % 200;
                const uint32_t x = static_cast<uint32_t>((-(sb * c + ca * r)) >> 8) % 320;
                ASSERT_EQ(dst[n], picture[y * 320 + x]) << "time " << time << " at " << c << "," << r;
            }
        }
    }
}

TEST_F(Swirl, FreedTableDrawsNothingAndInitAllocatesAgain) {
    free_swirl();
    EXPECT_EQ(swirl_radius, nullptr);
    const std::vector<uint32_t> picture = numbered_picture();
    std::vector<uint32_t> dst(kScreenPixels, 0xABCDEF);
    draw_swirl(dst.data(), picture.data());
    EXPECT_EQ(dst[100 * 320 + 160], 0xABCDEFu);
    init_swirl();
    ASSERT_NE(swirl_radius, nullptr);
    draw_swirl(dst.data(), picture.data());
    EXPECT_EQ(dst[100 * 320 + 160], picture[0]);
}

}  // namespace
}  // namespace gf
