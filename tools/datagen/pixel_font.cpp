// The bitmap font and its logo renderer. The letters are drawn into a mask at
// screen resolution first, so outline and shadow can grow around the whole
// word before the blocks are coloured.
#include "datagen/pixel_font.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace gf::datagen {
namespace {

struct Glyph {
    char c;
    const char* rows;  // 7 rows of 5 cells
};

// clang-format off
constexpr std::array<Glyph, 38> kGlyphs = {{
    {'A', ".###.#...##...#######...##...##...#"},
    {'B', "####.#...##...#####.#...##...#####."},
    {'C', ".#####....#....#....#....#.....####"},
    {'D', "####.#...##...##...##...##...#####."},
    {'E', "######....#....####.#....#....#####"},
    {'F', "######....#....####.#....#....#...."},
    {'G', ".###.#...##....#.####...##...#.###."},
    {'H', "#...##...##...#######...##...##...#"},
    {'I', ".###...#....#....#....#....#...###."},
    {'J', "..###...#....#....#....#.#..#..##.."},
    {'K', "#...##..#.#.#..##...#.#..#..#.#...#"},
    {'L', "#....#....#....#....#....#....#####"},
    {'M', "#...###.###.#.##.#.##...##...##...#"},
    {'N', "#...###..##.#.##..###...##...##...#"},
    {'O', ".###.#...##...##...##...##...#.###."},
    {'P', "####.#...##...#####.#....#....#...."},
    {'Q', ".###.#...##...##...##.#.##..#..##.#"},
    {'R', "####.#...##...#####.#.#..#..#.#...#"},
    {'S', ".#####....#.....###.....#....#####."},
    {'T', "#####..#....#....#....#....#....#.."},
    {'U', "#...##...##...##...##...##...#.###."},
    {'V', "#...##...##...##...#.#.#..#.#...#.."},
    {'W', "#...##...##...##.#.##.#.###.###...#"},
    {'X', "#...##...#.#.#...#...#.#.#...##...#"},
    {'Y', "#...##...#.#.#...#....#....#....#.."},
    {'Z', "#####....#...#...#...#...#....#####"},
    {'0', ".###.#..###.#.##.#.###..##...#.###."},
    {'1', "..#...##....#....#....#....#...###."},
    {'2', ".###.#...#....#..##..#...#....#####"},
    {'!', "..#....#....#....#....#.........#.."},
    {'-', "...............###................."},
    {'.', "..............................##..."},
    {'*', ".....#.#.#.###.#####.###.#.#.#....."},
    {'&', ".##..#..#.#.#...#...#.#.##..#..##.#"},
    {'\'', "..#....#...#......................."},
    {':', ".......#...................#......."},
    {'+', ".......#....#..#####..#....#......."},
    {' ', "..................................."},
}};
// clang-format on

}  // namespace

const char* glyph_rows(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.c == c) return glyph.rows;
    }
    return kGlyphs.back().rows;
}

namespace {

int advance(const PixelLogo& logo) { return kGlyphWidth + (logo.bold ? 1 : 0) + logo.spacing; }

}  // namespace

int pixel_text_width(const char* text, const PixelLogo& logo) {
    const int letters = static_cast<int>(std::strlen(text));
    if (letters == 0) return 0;
    return (letters * advance(logo) - logo.spacing) * logo.block_width;
}

void draw_pixel_text(Canvas& canvas, const char* text, int x, int y, const PixelLogo& logo, bool centre) {
    const int text_width = pixel_text_width(text, logo);
    if (text_width == 0) return;
    if (centre) x -= text_width / 2;
    const int margin = logo.outline_width + logo.shadow;
    const int mask_w = text_width + 2 * margin, mask_h = kGlyphHeight * logo.block_height + 2 * margin;
    // Font-pixel coordinates of each set screen pixel, or -1 where unset.
    std::vector<int> cell(static_cast<std::size_t>(mask_w) * mask_h, -1);
    const int font_columns = text_width / logo.block_width;
    std::vector<uint8_t> font(static_cast<std::size_t>(font_columns) * kGlyphHeight, 0);
    for (int i = 0; text[i] != '\0'; ++i) {
        const char* rows = glyph_rows(text[i]);
        for (int gy = 0; gy < kGlyphHeight; ++gy) {
            for (int gx = 0; gx < kGlyphWidth; ++gx) {
                auto set = [&](int column) { return column < kGlyphWidth && rows[gy * kGlyphWidth + column] == '#'; };
                if (!set(gx)) continue;
                const std::size_t at = static_cast<std::size_t>(gy) * font_columns + i * advance(logo) + gx;
                font[at] = 1;
                // Bold widens a stroke into the gap beside it, unless that gap is one cell wide (M, W, N).
                if (logo.bold && !set(gx + 1) && !set(gx + 2)) font[at + 1] = 1;
            }
        }
    }
    auto font_at = [&](int fx, int fy) {
        if (fx < 0 || fy < 0 || fx >= font_columns || fy >= kGlyphHeight) return false;
        return font[static_cast<std::size_t>(fy) * font_columns + fx] != 0;
    };
    for (int my = 0; my < mask_h; ++my) {
        for (int mx = 0; mx < mask_w; ++mx) {
            const int px = mx - margin, py = my - margin;
            if (px < 0 || py < 0 || px >= text_width || py >= kGlyphHeight * logo.block_height) continue;
            if (font_at(px / logo.block_width, py / logo.block_height))
                cell[static_cast<std::size_t>(my) * mask_w + mx] = 1;
        }
    }
    auto set_at = [&](int mx, int my) {
        return mx >= 0 && my >= 0 && mx < mask_w && my < mask_h && cell[static_cast<std::size_t>(my) * mask_w + mx] > 0;
    };
    auto near_set = [&](int mx, int my, int reach) {
        for (int dy = -reach; dy <= reach; ++dy) {
            for (int dx = -reach; dx <= reach; ++dx) {
                if (set_at(mx + dx, my + dy)) return true;
            }
        }
        return false;
    };

    uint32_t* data = canvas.raw();
    const int stride = canvas.stride_pixels();
    auto put = [&](int mx, int my, uint32_t colour) {
        const int sx = x - margin + mx, sy = y - margin + my;
        if (sx >= 0 && sy >= 0 && sx < canvas.width() && sy < canvas.height()) data[sy * stride + sx] = colour;
    };
    const int ramp_rows = kGlyphHeight * logo.block_height;
    const std::size_t ramp_last = logo.ramp.size() - 1;
    for (int my = 0; my < mask_h; ++my) {
        for (int mx = 0; mx < mask_w; ++mx) {
            if (set_at(mx, my)) {
                // Colour ramp down the letters, one colour per screen row like a copper list.
                const int py = my - margin;
                const double t = static_cast<double>(py) / (ramp_rows - 1);
                const double pos = t * static_cast<double>(ramp_last);
                const std::size_t lo = std::min(static_cast<std::size_t>(pos), ramp_last);
                const std::size_t hi = std::min(lo + 1, ramp_last);
                uint32_t colour = pack(mix(hex(logo.ramp[lo]), hex(logo.ramp[hi]), pos - static_cast<double>(lo)));
                // Bevel: upper edges catch the light, lower edges are in shade.
                if (!set_at(mx, my - 1)) {
                    colour = shade(colour, logo.highlight);
                } else if (!set_at(mx, my + 1)) {
                    colour = shade(colour, -logo.shading);
                }
                put(mx, my, colour);
            } else if (logo.outline_width > 0 && near_set(mx, my, logo.outline_width)) {
                put(mx, my, logo.outline);
            } else if (logo.shadow > 0 && near_set(mx - logo.shadow, my - logo.shadow, logo.outline_width)) {
                put(mx, my, 0x000000);
            }
        }
    }
    canvas.done_painting();
}

}  // namespace gf::datagen
