// Zoom blur: presets against hand-computed sines, the in-place pass order on
// a hand-worked pattern, and every pixel against a direct transcription of
// the blur's definition (four weights per pixel, no regrouping).
#include "effects/zoom_blur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"

namespace gf {
namespace {

struct ZoomParameters {
    int32_t cx, cy;
    float scale;
    int32_t shift;
};

void set_parameters(const ZoomParameters& p) {
    zoom_center_x = p.cx;
    zoom_center_y = p.cy;
    zoom_scale_x = zoom_scale_y = p.scale;
    zoom_shift = p.shift;
}

class ZoomBlur : public ::testing::Test {
protected:
    void TearDown() override {
        set_parameters({0, 0, 0.0f, 0});
        frame_time = 0;
    }
};

// The blur as defined: four passes from the centre outward, each pixel a
// four-weight bilinear sample of the buffer as it is at that moment.
void reference_blur(std::vector<uint32_t>& buf, const ZoomParameters& p) {
    const int cx0 = p.cx + 160, cy0 = p.cy + 100;
    const auto offset = [](int distance, float scale) {
        return static_cast<uint32_t>(std::fabs(distance * static_cast<double>(scale)) * 256.0);
    };
    const auto blend = [&](int x, int y, int dir_x, int dir_y) {
        const uint32_t ox = offset(x - cx0, p.scale), oy = offset(y - cy0, p.scale);
        const uint32_t fx = ox & 255, fy = oy & 255;
        const int sx = x + dir_x * static_cast<int>(ox >> 8), sy = y + dir_y * static_cast<int>(oy >> 8);
        const int nx = sx + dir_x, ny = sy + dir_y;
        const uint32_t taps[4] = {buf[sy * 320 + sx], buf[sy * 320 + nx], buf[ny * 320 + sx], buf[ny * 320 + nx]};
        const uint32_t weights[4] = {(255 - fx) * (255 - fy), fx * (255 - fy), (255 - fx) * fy, fx * fy};
        const uint32_t old = buf[y * 320 + x];
        uint32_t out = 0;
        for (int shift : {16, 8, 0}) {
            uint32_t sum = 0;
            for (int t = 0; t < 4; ++t) sum += weights[t] * ((taps[t] >> shift) & 255);
            const uint32_t s = sum >> 16, d = (old >> shift) & 255, k = static_cast<uint32_t>(p.shift);
            out |= (((s << k) + d - s) >> k) << shift;
        }
        buf[y * 320 + x] = out;
    };
    for (int y = cy0; y >= 0; --y)
        for (int x = cx0; x >= 0; --x) blend(x, y, +1, +1);
    for (int y = cy0; y >= 0; --y)
        for (int x = cx0 + 1; x < 320; ++x) blend(x, y, -1, +1);
    for (int y = cy0 + 1; y < 200; ++y)
        for (int x = cx0; x >= 0; --x) blend(x, y, +1, -1);
    for (int y = cy0 + 1; y < 200; ++y)
        for (int x = cx0 + 1; x < 320; ++x) blend(x, y, -1, -1);
}

std::vector<uint32_t> random_frame(uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint32_t> frame(kScreenPixels);
    for (uint32_t& p : frame) p = engine();
    return frame;
}

TEST_F(ZoomBlur, PresetsSwayAgainstTheClockFromTheUnsignedDifference) {
    frame_time = 1000;  // d = 2^32 − 1000 = 4294966296
    set_zoom_preset(0, kZoomPresetIntro);
    EXPECT_EQ(zoom_center_x, 110);  // sin(6871946.07 rad)·120
    EXPECT_EQ(zoom_center_y, 78);
    EXPECT_EQ(zoom_scale_x, 0.023f);
    EXPECT_EQ(zoom_shift, 5);
    set_zoom_preset(0, kZoomPresetBand);
    EXPECT_EQ(zoom_center_x, 46);
    EXPECT_EQ(zoom_center_y, 9);
    EXPECT_EQ(zoom_scale_y, 0.005f);
    set_zoom_preset(0, kZoomPresetSnow);
    EXPECT_EQ(zoom_center_x, -55);  // truncated toward zero, not down
    EXPECT_EQ(zoom_center_y, -45);
    EXPECT_EQ(zoom_scale_x, 0.09f);
    EXPECT_EQ(zoom_shift, 2);
    for (int unknown : {0, 3, 347, -1}) set_zoom_preset(0, unknown);  // change nothing
    EXPECT_EQ(zoom_center_x, -55);
    EXPECT_EQ(zoom_scale_x, 0.09f);
    EXPECT_EQ(zoom_shift, 2);
    set_zoom_preset(0, kZoomPresetFade);
    EXPECT_EQ(zoom_center_x, 110);
    EXPECT_EQ(zoom_scale_x, static_cast<float>(0.021));  // 0.023 − 1000·0.000002
    frame_time = 20000;
    set_zoom_preset(14250, kZoomPresetFade);  // 5750 ms after the start: half way
    EXPECT_EQ(zoom_center_x, -17);
    EXPECT_EQ(zoom_scale_y, static_cast<float>(0.0115));
    set_zoom_preset(0, kZoomPresetFade);  // 20 s after: faded out
    EXPECT_EQ(zoom_scale_x, 0.0f);
    frame_time = 5000;
    set_zoom_preset(9000, kZoomPresetFade);  // a start in the future wraps to a huge e
    EXPECT_EQ(zoom_scale_x, 0.0f);
}

TEST_F(ZoomBlur, WithoutPullEveryPixelOnlyDarkensByTheWeightSum) {
    // Scale 0 (the fade preset at its end): each pixel samples itself, so the
    // 65025/65536 weight sum and the feedback mix are all that change it.
    for (int32_t shift : {5, 2}) {
        for (auto [level, expected] : {std::pair{255u, 253u}, {128u, 127u}, {0u, 0u}}) {
            set_parameters({-55, 30, 0.0f, shift});
            std::vector<uint32_t> frame(kScreenPixels, 0xAB000000 | level * 0x010101);
            zoom_blur(frame.data());
            for (int i : {0, 32160, 63999}) EXPECT_EQ(frame[i], expected * 0x010101) << shift << " " << level;
        }
    }
}

TEST_F(ZoomBlur, NoPresetLeavesColoursAndClearsTopByte) {
    std::vector<uint32_t> frame = random_frame(7);
    std::vector<uint32_t> expected = frame;
    for (uint32_t& p : expected) p &= 0x00FFFFFF;
    zoom_blur(frame.data());
    EXPECT_EQ(frame, expected);
}

TEST_F(ZoomBlur, PassesReadPixelsAlreadyBlurredInThisCall) {
    // Red 200 at the centre (160, 100), black elsewhere, pull 0.5, k = 5.
    // Centre first: S = 200·65025 >> 16 = 198, (198·32 + 200 − 198) >> 5 = 198.
    // Its neighbours sample half of it: S = 128·255·198 >> 16 = 98, (98·31) >> 5 = 94
    // (95 if they read the old 200, i.e. if the centre were not blurred first).
    set_parameters({0, 0, 0.5f, 5});
    std::vector<uint32_t> frame(kScreenPixels, 0);
    frame[100 * 320 + 160] = 200u << 16;
    zoom_blur(frame.data());
    EXPECT_EQ(frame[100 * 320 + 160], 198u << 16);
    EXPECT_EQ(frame[100 * 320 + 159], 94u << 16);  // pass 1
    EXPECT_EQ(frame[100 * 320 + 161], 94u << 16);  // pass 2, reading pass 1's centre
    EXPECT_EQ(frame[99 * 320 + 160], 94u << 16);   // pass 1, row above
    EXPECT_EQ(frame[101 * 320 + 160], 94u << 16);  // pass 3
    // (159, 99): 16256·94 + 16256·94 + 16384·198 = 6300160 >> 16 = 96, (96·31) >> 5 = 93.
    EXPECT_EQ(frame[99 * 320 + 159], 93u << 16);
    EXPECT_EQ(frame[101 * 320 + 161], 93u << 16);  // pass 4, from passes 2 and 3
}

TEST_F(ZoomBlur, EveryPixelMatchesTheDefinitionForPresetsAndRandomParameters) {
    std::vector<ZoomParameters> cases;
    for (uint32_t time : {0u, 1000u, 123456u, 4000000000u}) {
        frame_time = time;
        for (int code : {kZoomPresetIntro, kZoomPresetBand, kZoomPresetSnow}) {
            set_zoom_preset(0, code);
            cases.push_back({zoom_center_x, zoom_center_y, zoom_scale_x, zoom_shift});
        }
    }
    std::mt19937 engine(11);
    for (int i = 0; i < 6; ++i) {
        cases.push_back({static_cast<int32_t>(engine() % 318) - 159, static_cast<int32_t>(engine() % 198) - 99,
                         std::uniform_real_distribution<float>(0.0f, 1.0f)(engine),
                         static_cast<int32_t>(engine() % 9)});
    }
    cases.push_back({-159, -99, 1.0f, 3});  // corner centres with the largest pull
    cases.push_back({158, 98, 1.0f, 7});
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::vector<uint32_t> expected = random_frame(static_cast<uint32_t>(i));
        const std::vector<uint32_t> input = expected;
        reference_blur(expected, cases[i]);
        set_parameters(cases[i]);
        std::vector<uint32_t> fast = input;
        zoom_blur(fast.data());
        EXPECT_EQ(fast, expected) << "case " << i;
        for (const Variant<ZoomBlurFn>& variant : zoom_blur_variants()) {
            std::vector<uint32_t> frame = input;
            variant.run(frame.data());
            EXPECT_EQ(frame, expected) << instruction_set_name(variant.set) << ", case " << i;
        }
    }
}

TEST_F(ZoomBlur, ParametersReachingOutsideTheFrameLeaveItUnchanged) {
    const std::vector<uint32_t> original = random_frame(9);
    const ZoomParameters unsafe[] = {{159, 0, 0.023f, 5}, {-160, 0, 0.023f, 5}, {0, 99, 0.023f, 5},
                                     {0, 0, -1.5f, 5},    {0, 0, NAN, 5},       {0, 0, 0.023f, 40}};
    for (const ZoomParameters& p : unsafe) {
        set_parameters(p);
        std::vector<uint32_t> frame = original;
        zoom_blur(frame.data());
        EXPECT_EQ(frame, original) << p.cx << " " << p.cy << " " << p.scale << " " << p.shift;
    }
}

}  // namespace
}  // namespace gf
