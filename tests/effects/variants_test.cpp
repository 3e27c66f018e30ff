// Every vector variant of every effect against the portable variant, on the
// processor running the tests: each variant this processor can run, not only
// the widest one the program picks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "common/frame_globals.h"
#include "common/types.h"
#include "effects/primitives.h"
#include "effects/swirl.h"
#include "effects/zoom_blur.h"
#include "raycast/ray_grid.h"

namespace gf {
namespace {

using Words = std::vector<uint32_t>;

Words random_words(std::mt19937& engine, std::size_t count) {
    Words words(count);
    for (uint32_t& w : words) w = engine();
    return words;
}

// One operation: its runnable variants, and a run of variant `i` on the
// inputs made from `seed`, giving everything the run wrote.
struct VariantCase {
    const char* operation;
    std::vector<InstructionSet> sets;
    std::function<Words(std::size_t i, uint32_t seed)> run;
};

template <class Fn, class Run>
VariantCase variant_case(const char* operation, const std::vector<Variant<Fn>>& variants, Run run) {
    VariantCase c{operation, {}, {}};
    for (const Variant<Fn>& v : variants) c.sets.push_back(v.set);
    c.run = [variants, run](std::size_t i, uint32_t seed) { return run(variants[i].run, seed); };
    return c;
}

// A grid whose shades are traced levels, so the 16-bit shading runs, or
// (odd seeds) any values, for the exact 32-bit products.
std::unique_ptr<RayGrid> random_grid(std::mt19937& engine, bool traced) {
    auto grid = std::make_unique<RayGrid>();
    for (int x = 0; x < kRayGridColumns; ++x) {
        for (int y = 0; y < kRayGridRows; ++y) {
            grid->u[x][y] = static_cast<int32_t>(engine());
            grid->v[x][y] = static_cast<int32_t>(engine());
            grid->shade[x][y] =
                traced ? static_cast<int32_t>(engine() % 257) << kShadeShift : static_cast<int32_t>(engine());
        }
    }
    return grid;
}

std::vector<VariantCase> all_cases() {
    return {
        variant_case("add_saturate", add_saturate_variants(),
                     [](AddSaturateFn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         const Words a = random_words(engine, kScreenPixels), b = random_words(engine, kScreenPixels);
                         Words out(kScreenPixels);
                         run(out.data(), a.data(), b.data());
                         return out;
                     }),
        variant_case("blur5", blur5_variants(),
                     [](Blur5Fn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         const Words src = random_words(engine, kScreenPixels);
                         Words out = random_words(engine, kScreenPixels);  // the border must stay as it is
                         run(src.data(), out.data());
                         return out;
                     }),
        variant_case("invert_frame", invert_frame_variants(),
                     [](InvertFrameFn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         Words frame = random_words(engine, kScreenPixels);
                         run(frame.data());
                         return frame;
                     }),
        variant_case("draw_swirl", draw_swirl_variants(),
                     [](DrawSwirlFn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         const Words picture = random_words(engine, kScreenPixels);
                         frame_time = engine();
                         init_swirl();
                         animate_swirl();
                         if (seed % 2 == 1) swirl_cos[77] = 100000;  // beyond ±256: the range-checked rows
                         Words out(kScreenPixels);
                         run(out.data(), picture.data());
                         return out;
                     }),
        variant_case("zoom_blur", zoom_blur_variants(),
                     [](ZoomBlurFn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         Words frame = random_words(engine, kScreenPixels);
                         zoom_center_x = static_cast<int32_t>(engine() % 318) - 159;
                         zoom_center_y = static_cast<int32_t>(engine() % 198) - 99;
                         zoom_scale_x = std::uniform_real_distribution<float>(0.0f, 1.0f)(engine);
                         zoom_scale_y = std::uniform_real_distribution<float>(0.0f, 1.0f)(engine);
                         zoom_shift = static_cast<int32_t>(engine() % 24);
                         run(frame.data());
                         return frame;
                     }),
        variant_case("draw_ray_grid", draw_ray_grid_variants(),
                     [](DrawRayGridFn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         const Words texture = random_words(engine, kTextureSize * kTextureSize);
                         const auto grid = random_grid(engine, seed % 2 == 0);
                         Words out(kScreenPixels);
                         run(out.data(), texture.data(), *grid);
                         return out;
                     }),
        variant_case("trace_ray_grid", trace_ray_grid_variants(),
                     [](TraceRayGridFn* run, uint32_t seed) {
                         std::mt19937 engine(seed);
                         const auto between = [&](float low, float high) {
                             return std::uniform_real_distribution<float>(low, high)(engine);
                         };
                         cam_tunnel = static_cast<int32_t>(seed % 2);
                         cam_fov = between(40.0f, 180.0f);
                         cam_x = between(-3000.0f, 3000.0f);
                         cam_y = between(-3000.0f, 3000.0f);
                         cam_z = between(0.0f, 4.0e9f);
                         cam_angle_x = between(-360.0f, 360.0f);
                         cam_angle_y = between(-360.0f, 360.0f);
                         cam_angle_z = between(-360.0f, 360.0f);
                         plane_bounce = static_cast<int32_t>(engine() % 2001) - 1000;
                         RayGrid grid{};
                         run(grid);
                         Words out(sizeof grid / sizeof(uint32_t));
                         std::memcpy(out.data(), &grid, sizeof grid);
                         return out;
                     }),
    };
}

std::ptrdiff_t first_difference(const Words& a, const Words& b) {
    const auto [at, _] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return at == a.end() && a.size() == b.size() ? -1 : at - a.begin();
}

TEST(Variants, EveryVariantMatchesThePortableOne) {
    for (const VariantCase& c : all_cases()) {
        ASSERT_FALSE(c.sets.empty()) << c.operation;
        ASSERT_EQ(c.sets.front(), InstructionSet::kPortable) << c.operation;
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            const Words expected = c.run(0, seed);
            for (std::size_t i = 1; i < c.sets.size(); ++i) {
                EXPECT_EQ(first_difference(c.run(i, seed), expected), -1)
                    << c.operation << ", " << instruction_set_name(c.sets[i]) << ", seed " << seed;
            }
        }
    }
}

}  // namespace
}  // namespace gf
