// Noise and snow against the generator's known sequence from state 1:
// 41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, …
#include "effects/noise_snow.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/frame_globals.h"
#include "common/random.h"
#include "common/types.h"

namespace gf {
namespace {

class NoiseSnow : public ::testing::Test {
protected:
    void SetUp() override { seed_rand(kRandInitialState); }
    void TearDown() override {
        seed_rand(kRandInitialState);
        frame_time = 0;
    }
};

TEST_F(NoiseSnow, NoiseTableTakesTheLowByteOfEachDrawAsGrey) {
    init_noise();
    EXPECT_EQ(noise_table[0], 0x292929u);  // 41
    EXPECT_EQ(noise_table[1], 0x232323u);  // 18467 = 0x4823
    EXPECT_EQ(noise_table[2], 0xBEBEBEu);  // 6334 = 0x18BE
    EXPECT_EQ(noise_table[3], 0x848484u);  // 26500 = 0x6784
}

TEST_F(NoiseSnow, NoisePixelIsTableEntryOfWrappedProduct) {
    for (int i = 0; i < kNoiseTableSize; ++i) noise_table[i] = static_cast<uint32_t>(i) * 0x10001u;
    std::vector<uint32_t> frame(kScreenPixels, 0xDEADBEEF);
    const uint32_t state = rand_state();
    for (uint32_t time : {3u, 8191u, 4294967295u, 123457u}) {
        frame_time = time;
        draw_noise(frame.data());
        for (uint32_t i = 0; i < kScreenPixels; ++i) {
            ASSERT_EQ(frame[i], noise_table[(time * i) & 0x1FFF]) << "time " << time << " pixel " << i;
        }
    }
    frame_time = 8192 * 5;  // a multiple of 8192: one flat grey
    draw_noise(frame.data());
    EXPECT_EQ(frame[1], noise_table[0]);
    EXPECT_EQ(frame[63999], noise_table[0]);
    EXPECT_EQ(rand_state(), state);  // noise never draws from the generator
}

TEST_F(NoiseSnow, InitSnowDrawsXThenYFlakeByFlake) {
    init_snow();
    EXPECT_EQ(snowflakes[0].x, 41);
    EXPECT_EQ(snowflakes[0].y, 67);   // 18467 % 200
    EXPECT_EQ(snowflakes[1].x, 254);  // 6334 % 320
    EXPECT_EQ(snowflakes[1].y, 100);  // 26500 % 200
}

TEST_F(NoiseSnow, DrawSnowDriftsRestartsAtTopAndPlotsInCallOrder) {
    for (Snowflake& flake : snowflakes) flake = {160, 100};
    snowflakes[0] = {319, 50};  // 41 % 3 = 2: step +1 → 320, off the side: x = 18467 % 320 = 227, y = 0
    snowflakes[1] = {0, 5};     // 6334 % 3 = 1: step 0
    snowflakes[2] = {10, 7};    // 26500 % 3 = 1: step 0
    snowflakes[3] = {0, 8};     // 19169 % 3 = 2: step +1
    snowflakes[4] = {5, 9};     // 15724 % 3 = 1: step 0
    snowflakes[5] = {0, 199};   // 11478 % 3 = 0: step −1 → −1: x = 29358 % 320 = 238, y = 0
    std::vector<uint32_t> frame(kScreenPixels, 0x00102030);
    draw_snow(frame.data());
    EXPECT_EQ(snowflakes[0].x, 227);
    EXPECT_EQ(snowflakes[0].y, 0);
    EXPECT_EQ(frame[227], 0x00FFFFFFu);
    EXPECT_EQ(frame[50 * 320 + 319], 0x00102030u);  // never plotted at the old row
    EXPECT_EQ(snowflakes[1].x, 0);
    EXPECT_EQ(snowflakes[3].x, 1);
    EXPECT_EQ(frame[8 * 320 + 1], 0x00FFFFFFu);
    EXPECT_EQ(snowflakes[5].x, 238);
    EXPECT_EQ(snowflakes[5].y, 0);
    EXPECT_EQ(frame[199 * 320], 0x00102030u);
    EXPECT_EQ(frame[238], 0x00FFFFFFu);
    EXPECT_EQ(frame[7 * 320 + 10], 0x00FFFFFFu);  // plotted over the old contents, not cleared
    EXPECT_EQ(frame[7 * 320 + 11], 0x00102030u);
}

TEST_F(NoiseSnow, FallSnowMovesOneRowOrTwoOnlyForFastOne) {
    for (uint32_t fast : {0u, 1u, 2u}) {
        seed_rand(kRandInitialState);
        for (Snowflake& flake : snowflakes) flake = {100, 10};
        snowflakes[0] = {17, 198};
        fall_snow(fast);
        if (fast == 1) {
            EXPECT_EQ(snowflakes[0].y, 0);
            EXPECT_EQ(snowflakes[0].x, 41);  // the first draw, 41 % 320
            EXPECT_EQ(snowflakes[1].y, 12);
        } else {
            EXPECT_EQ(snowflakes[0].y, 199) << fast;
            EXPECT_EQ(snowflakes[0].x, 17);
            EXPECT_EQ(snowflakes[1].y, 11);
            EXPECT_EQ(rand_state(), kRandInitialState);  // no flake wrapped, no draw
        }
    }
}

TEST_F(NoiseSnow, FlakesSetOutsideTheFrameAreNotPlotted) {
    for (Snowflake& flake : snowflakes) flake = {100, -3};
    snowflakes[7] = {100, 200};
    std::vector<uint32_t> guarded(kScreenPixels + 2 * 320 * 4, 0);
    draw_snow(guarded.data() + 320 * 4);
    for (uint32_t p : guarded) ASSERT_EQ(p, 0u);
}

}  // namespace
}  // namespace gf
