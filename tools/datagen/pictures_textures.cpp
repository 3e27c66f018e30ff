// The two tiling textures of the ray-cast scenes: glittering frost and a
// frosted brick wall. Both wrap at 256 in each direction without a seam.
#include <algorithm>
#include <array>
#include <cmath>

#include "datagen/pictures_draw.h"
#include "datagen/pictures_recipes.h"

namespace gf::datagen {

// --- glimzz.jpg: glittering frost ----------------------------------------------

std::vector<uint32_t> draw_glimzz() {
    Canvas canvas(kTextureSize, kTextureSize);
    uint32_t* data = canvas.raw();
    const int stride = canvas.stride_pixels();
    const Rgb deep = hex(0x08204E), ice = hex(0x2F8FD0), pale = hex(0xBCE8FF);
    for (int y = 0; y < kTextureSize; ++y) {
        for (int x = 0; x < kTextureSize; ++x) {
            const double u = x / 256.0, v = y / 256.0;
            const double base = tile_fractal(u, v, 4, 5, 11);
            // Ridged noise gives thin bright veins like frost on a window.
            const double vein = 1.0 - std::abs(2.0 * tile_fractal(u, v, 8, 4, 29) - 1.0);
            Rgb c = mix(deep, ice, smooth(clamp01(base * 1.6 - 0.3)));
            c = mix(c, pale, std::pow(vein, 6.0) * 0.85);
            data[y * stride + x] = pack(c);
        }
    }
    canvas.done_painting();

    cairo_t* cr = canvas.cr();
    Random random(0x611A22);
    for (int i = 0; i < 16; ++i) {
        const double x = random.uniform(0, 256), y = random.uniform(0, 256);
        const double r = random.uniform(9, 26);
        const double alpha = random.uniform(0.45, 0.8);
        // Each copy of a flake that crosses an edge must be the same crystal.
        const uint64_t shape = random.next();
        draw_wrapped(cr, [&] {
            Random same(shape);
            set_colour(cr, 0xE8F8FF, alpha);
            snowflake(cr, same, x, y, r, r > 18 ? 1.6 : 1.2);
        });
    }
    for (int i = 0; i < 70; ++i) {
        const double x = random.uniform(0, 256), y = random.uniform(0, 256);
        const double r = random.uniform(2.0, 7.5), alpha = random.uniform(0.6, 1.0);
        const uint32_t tint = random.below(3) == 0 ? 0xFFE9A8 : 0xC8F0FF;
        draw_wrapped(cr, [&] { sparkle(cr, x, y, r, tint, alpha); });
    }
    // Single-pixel glitter.
    for (int i = 0; i < 300; ++i) {
        const double x = std::floor(random.uniform(0, 256)), y = std::floor(random.uniform(0, 256));
        set_colour(cr, 0xFFFFFF, random.uniform(0.5, 1.0));
        cairo_rectangle(cr, x, y, 1, 1);
        cairo_fill(cr);
    }
    return canvas.pixels();
}

// --- muur.jpg: a frosted brick wall, tiling ----------------------------------

std::vector<uint32_t> draw_muur() {
    constexpr int kBrickWidth = 64, kBrickHeight = 32, kMortar = 3, kBevel = 3;
    Canvas canvas(kTextureSize, kTextureSize);
    uint32_t* data = canvas.raw();
    const int stride = canvas.stride_pixels();
    Random random(0x3A0052);
    std::array<Rgb, 32> brick_colour{};  // 8 courses of 4 bricks
    const std::array<uint32_t, 4> tones = {0x8E3B2A, 0xA04A30, 0x7A3224, 0x96452E};
    for (Rgb& c : brick_colour) {
        c = mix(hex(tones[random.below(4)]), hex(0x5A4A48), random.uniform(0.0, 0.25));
    }
    const Rgb mortar = hex(0xA9A7A2), frost = hex(0xDDEEFF);
    // The pattern is moved by half a brick height and a quarter brick width so
    // the texture's wrap edges cut through bricks, never along a joint.
    constexpr int kOffsetX = kBrickWidth / 4, kOffsetY = kBrickHeight / 2;
    for (int y = 0; y < kTextureSize; ++y) {
        const int course = ((y + kOffsetY) % kTextureSize) / kBrickHeight;
        const int ly = (y + kOffsetY) % kBrickHeight;
        const int shift = (course % 2) * (kBrickWidth / 2);  // stretcher bond
        for (int x = 0; x < kTextureSize; ++x) {
            const int sx = (x + shift + kOffsetX) % kTextureSize;
            const int lx = sx % kBrickWidth;
            const double u = x / 256.0, v = y / 256.0;
            const double grain = tile_fractal(u, v, 32, 3, 7);
            Rgb c;
            if (lx < kMortar || ly < kMortar) {
                c = mix(mortar, hex(0x6E6C68), grain * 0.8);
            } else {
                c = brick_colour[course * 4 + sx / kBrickWidth];
                c = mix(c, hex(0x3A1A12), (grain - 0.5) * 0.9 + 0.15);
                // Light from the top left: lit upper and left edges, shaded lower and right.
                if (ly < kMortar + kBevel || lx < kMortar + kBevel) c = mix(c, hex(0xE0A080), 0.3);
                if (ly >= kBrickHeight - kBevel || lx >= kBrickWidth - kBevel) c = mix(c, hex(0x200C08), 0.45);
            }
            // Frost: patches from large-scale noise, heaviest on the top of each brick.
            const double patch = tile_fractal(u, v, 4, 4, 91);
            double cover = smooth(clamp01((patch - 0.55) * 3.0)) * 0.5;
            if (ly >= kMortar && ly < kMortar + 4) cover = std::max(cover, 0.8 - (ly - kMortar) * 0.18);
            const double speck = tile_noise(u, v, 128, 5) > 0.82 ? 0.4 : 0.0;
            c = mix(c, frost, clamp01(cover + speck * cover));
            data[y * stride + x] = pack(c);
        }
    }
    canvas.done_painting();
    return canvas.pixels();
}

}  // namespace gf::datagen
