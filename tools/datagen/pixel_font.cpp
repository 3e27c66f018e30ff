// The bitmap fonts and their logo renderer. The letters are drawn into a mask
// at screen resolution first, so outline and shadow can grow around the whole
// word before the blocks are coloured.
#include "datagen/pixel_font.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "datagen/pictures_draw.h"

namespace gf::datagen {
namespace {

struct Glyph {
    char c;
    int width;
    const char* cells;
};

// The 5 × 7 face: every letter five cells wide.
// clang-format off
constexpr std::array<Glyph, 45> kSmall = {{
    {'A', 5, ".###.#...##...#######...##...##...#"},
    {'B', 5, "####.#...##...#####.#...##...#####."},
    {'C', 5, ".#####....#....#....#....#.....####"},
    {'D', 5, "####.#...##...##...##...##...#####."},
    {'E', 5, "######....#....####.#....#....#####"},
    {'F', 5, "######....#....####.#....#....#...."},
    // G: open at the top right, its bar low and apart from the stem, its foot
    // square, so that in a chrome logo it never reads as a 6.
    {'G', 5, ".#####....#....#....#..###...#.####"},
    {'H', 5, "#...##...##...#######...##...##...#"},
    {'I', 5, ".###...#....#....#....#....#...###."},
    {'J', 5, "..###...#....#....#....#.#..#..##.."},
    {'K', 5, "#...##..#.#.#..##...#.#..#..#.#...#"},
    {'L', 5, "#....#....#....#....#....#....#####"},
    {'M', 5, "#...###.###.#.##.#.##...##...##...#"},
    {'N', 5, "#...###..##.#.##..###...##...##...#"},
    {'O', 5, ".###.#...##...##...##...##...#.###."},
    {'P', 5, "####.#...##...#####.#....#....#...."},
    {'Q', 5, ".###.#...##...##...##.#.##..#..##.#"},
    {'R', 5, "####.#...##...#####.#.#..#..#.#...#"},
    {'S', 5, ".#####....#.....###.....#....#####."},
    {'T', 5, "#####..#....#....#....#....#....#.."},
    {'U', 5, "#...##...##...##...##...##...#.###."},
    {'V', 5, "#...##...##...##...#.#.#..#.#...#.."},
    {'W', 5, "#...##...##...##.#.##.#.###.###...#"},
    {'X', 5, "#...##...#.#.#...#...#.#.#...##...#"},
    {'Y', 5, "#...##...#.#.#...#....#....#....#.."},
    {'Z', 5, "#####....#...#...#...#...#....#####"},
    {'0', 5, ".###.#..###.#.##.#.###..##...#.###."},
    {'1', 5, "..#...##....#....#....#....#...###."},
    {'2', 5, ".###.#...#....#..##..#...#....#####"},
    {'3', 5, "#####...#...#.....#.....##...#.###."},
    {'4', 5, "...#...##..#.#.#..#.#####...#....#."},
    {'5', 5, "######....####.....#....##...#.###."},
    {'6', 5, "..##..#...#....####.#...##...#.###."},
    {'7', 5, "#####....#...#...#...#....#....#..."},
    {'8', 5, ".###.#...##...#.###.#...##...#.###."},
    {'9', 5, ".###.#...##...#.####....#...#..##.."},
    {'!', 5, "..#....#....#....#....#.........#.."},
    {'-', 5, "...............###................."},
    {'.', 5, "..............................##..."},
    {'*', 5, ".....#.#.#.###.#####.###.#.#.#....."},
    {'&', 5, ".##..#..#.#.#...#...#.#.##..#..##.#"},
    {'\'', 5, "..#....#...#......................."},
    {':', 5, ".......#...................#......."},
    {'+', 5, ".......#....#..#####..#....#......."},
    {' ', 5, "..................................."},
}};

// The large face: 8 rows, strokes two cells thick, each letter as wide as it needs.
constexpr std::array<Glyph, 43> kLarge = {{
    {'A', 7, "..###.." ".##.##." "##...##" "##...##" "#######" "##...##" "##...##" "##...##"},
    {'B', 7, "######." "##...##" "##...##" "######." "##...##" "##...##" "##...##" "######."},
    {'C', 7, ".#####." "##...##" "##....." "##....." "##....." "##....." "##...##" ".#####."},
    {'D', 7, "#####.." "##..##." "##...##" "##...##" "##...##" "##...##" "##..##." "#####.."},
    {'E', 6, "######" "##...." "##...." "#####." "##...." "##...." "##...." "######"},
    {'F', 6, "######" "##...." "##...." "#####." "##...." "##...." "##...." "##...."},
    {'G', 7, ".######" "##....." "##....." "##..###" "##...##" "##...##" "##...##" ".######"},
    {'H', 7, "##...##" "##...##" "##...##" "#######" "##...##" "##...##" "##...##" "##...##"},
    {'I', 4, "####" ".##." ".##." ".##." ".##." ".##." ".##." "####"},
    {'J', 6, "....##" "....##" "....##" "....##" "....##" "##..##" "##..##" ".####."},
    {'K', 7, "##...##" "##..##." "##.##.." "####..." "####..." "##.##.." "##..##." "##...##"},
    {'L', 6, "##...." "##...." "##...." "##...." "##...." "##...." "##...." "######"},
    {'M', 7, "##...##" "###.###" "#######" "##.#.##" "##...##" "##...##" "##...##" "##...##"},
    {'N', 7, "##...##" "###..##" "####.##" "##.####" "##..###" "##...##" "##...##" "##...##"},
    {'O', 7, ".#####." "##...##" "##...##" "##...##" "##...##" "##...##" "##...##" ".#####."},
    {'P', 7, "######." "##...##" "##...##" "##...##" "######." "##....." "##....." "##....."},
    {'Q', 7, ".#####." "##...##" "##...##" "##...##" "##...##" "##.#.##" "##..##." ".###.##"},
    {'R', 7, "######." "##...##" "##...##" "##...##" "######." "##.##.." "##..##." "##...##"},
    {'S', 7, ".#####." "##...##" "##....." ".#####." ".....##" ".....##" "##...##" ".#####."},
    {'T', 6, "######" "..##.." "..##.." "..##.." "..##.." "..##.." "..##.." "..##.."},
    {'U', 7, "##...##" "##...##" "##...##" "##...##" "##...##" "##...##" "##...##" ".#####."},
    {'V', 7, "##...##" "##...##" "##...##" "##...##" "##...##" ".##.##." "..###.." "...#..."},
    {'W', 7, "##...##" "##...##" "##...##" "##...##" "##.#.##" "#######" "###.###" "##...##"},
    {'X', 7, "##...##" "##...##" ".##.##." "..###.." "..###.." ".##.##." "##...##" "##...##"},
    {'Y', 6, "##..##" "##..##" "##..##" ".####." "..##.." "..##.." "..##.." "..##.."},
    {'Z', 7, "#######" ".....##" "....##." "...##.." "..##..." ".##...." "##....." "#######"},
    {'0', 7, ".#####." "##...##" "##..###" "##.#.##" "###..##" "##...##" "##...##" ".#####."},
    {'1', 6, "..##.." ".###.." "####.." "..##.." "..##.." "..##.." "..##.." "######"},
    {'2', 7, ".#####." "##...##" ".....##" "....##." "..###.." ".##...." "##....." "#######"},
    {'3', 7, ".#####." "##...##" ".....##" "..####." ".....##" ".....##" "##...##" ".#####."},
    {'4', 7, "...###." "..####." ".##.##." "##..##." "#######" "....##." "....##." "....##."},
    {'5', 7, "#######" "##....." "##....." "######." ".....##" ".....##" "##...##" ".#####."},
    {'6', 7, "..####." ".##...." "##....." "######." "##...##" "##...##" "##...##" ".#####."},
    {'7', 7, "#######" ".....##" "....##." "...##.." "..##..." "..##..." "..##..." "..##..."},
    {'8', 7, ".#####." "##...##" "##...##" ".#####." "##...##" "##...##" "##...##" ".#####."},
    {'9', 7, ".#####." "##...##" "##...##" "##...##" ".######" ".....##" "....##." ".####.."},
    {'!', 2, "##" "##" "##" "##" "##" ".." "##" "##"},
    {'.', 2, ".." ".." ".." ".." ".." ".." "##" "##"},
    {'-', 5, "....." "....." "....." "#####" "#####" "....." "....." "....."},
    {'\'', 2, "##" "##" ".#" ".." ".." ".." ".." ".."},
    {':', 2, ".." "##" "##" ".." ".." "##" "##" ".."},
    {'*', 7, "...#..." ".#.#.#." "..###.." "#######" "..###.." ".#.#.#." "...#..." "......."},
    {' ', 3, "..." "..." "..." "..." "..." "..." "..." "..."},
}};
// clang-format on

constexpr int kSmallHeight = 7;
constexpr int kLargeHeight = 8;

int face_height(Typeface face) { return face == Typeface::small ? kSmallHeight : kLargeHeight; }

template <std::size_t N>
const Glyph* find(const std::array<Glyph, N>& table, char c) {
    for (const Glyph& glyph : table) {
        if (glyph.c == c) return &glyph;
    }
    return nullptr;
}

}  // namespace

GlyphCells glyph_cells(Typeface face, char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const Glyph* glyph = face == Typeface::small ? find(kSmall, c) : find(kLarge, c);
    if (glyph == nullptr) {
        throw std::runtime_error(std::string("the ") + (face == Typeface::small ? "5 x 7" : "large") +
                                 " pixel font has no '" + c + "'");
    }
    return {glyph->width, face_height(face), glyph->cells};
}

std::string face_characters(Typeface face) {
    std::string characters;
    if (face == Typeface::small) {
        for (const Glyph& glyph : kSmall) characters += glyph.c;
    } else {
        for (const Glyph& glyph : kLarge) characters += glyph.c;
    }
    return characters;
}

namespace {

// Font-pixel column where each letter of `text` starts, plus the end of the last one.
std::vector<int> letter_columns(const char* text, const PixelLogo& logo) {
    std::vector<int> columns = {0};
    for (int i = 0; text[i] != '\0'; ++i) {
        columns.push_back(columns.back() + glyph_cells(logo.face, text[i]).width + (logo.bold ? 1 : 0) + logo.spacing);
    }
    return columns;
}

}  // namespace

int pixel_text_width(const char* text, const PixelLogo& logo) {
    if (text[0] == '\0') return 0;
    return (letter_columns(text, logo).back() - logo.spacing) * logo.block_width;
}

int pixel_text_height(const PixelLogo& logo) { return face_height(logo.face) * logo.block_height; }

namespace {

// The text's letters at font resolution, one byte a cell (1: ink), `columns` wide.
std::vector<uint8_t> font_cells(const char* text, const PixelLogo& logo, int columns) {
    std::vector<uint8_t> font(static_cast<std::size_t>(columns) * face_height(logo.face), 0);
    const std::vector<int> starts = letter_columns(text, logo);
    for (int i = 0; text[i] != '\0'; ++i) {
        const GlyphCells glyph = glyph_cells(logo.face, text[i]);
        for (int gy = 0; gy < glyph.height; ++gy) {
            for (int gx = 0; gx < glyph.width; ++gx) {
                auto set = [&](int column) {
                    return column < glyph.width && glyph.cells[gy * glyph.width + column] == '#';
                };
                if (!set(gx)) continue;
                const std::size_t at =
                    static_cast<std::size_t>(gy) * columns + starts[static_cast<std::size_t>(i)] + gx;
                font[at] = 1;
                // Bold widens a stroke into the gap beside it, unless that gap is one cell wide (M, W, N).
                if (logo.bold && !set(gx + 1) && !set(gx + 2)) font[at + 1] = 1;
            }
        }
    }
    return font;
}

// The letters in screen pixels with a margin around them for the outline and the shadow.
class LetterMask {
public:
    LetterMask(const char* text, const PixelLogo& logo, int text_width)
        : margin(logo.outline_width + logo.shadow),
          width(text_width + 2 * margin),
          height(face_height(logo.face) * logo.block_height + 2 * margin),
          cells_(static_cast<std::size_t>(width) * height, 0) {
        const int glyph_height = face_height(logo.face);
        const int font_columns = text_width / logo.block_width;
        const std::vector<uint8_t> font = font_cells(text, logo, font_columns);
        auto font_at = [&](int fx, int fy) {
            if (fx < 0 || fy < 0 || fx >= font_columns || fy >= glyph_height) return false;
            return font[static_cast<std::size_t>(fy) * font_columns + fx] != 0;
        };
        for (int my = 0; my < height; ++my) {
            for (int mx = 0; mx < width; ++mx) {
                const int px = mx - margin, py = my - margin;
                if (px < 0 || py < 0 || px >= text_width || py >= glyph_height * logo.block_height) continue;
                if (font_at(px / logo.block_width, py / logo.block_height))
                    cells_[static_cast<std::size_t>(my) * width + mx] = 1;
            }
        }
    }

    bool set_at(int mx, int my) const {
        return mx >= 0 && my >= 0 && mx < width && my < height && cells_[static_cast<std::size_t>(my) * width + mx] > 0;
    }

    bool near_set(int mx, int my, int reach) const {
        for (int dy = -reach; dy <= reach; ++dy) {
            for (int dx = -reach; dx <= reach; ++dx) {
                if (set_at(mx + dx, my + dy)) return true;
            }
        }
        return false;
    }

    const int margin;
    const int width;
    const int height;

private:
    std::vector<uint8_t> cells_;
};

// The colour of a letter pixel: the ramp down the letters, one colour per screen row like a
// copper list, with a bevel: upper edges catch the light, lower edges are in shade.
uint32_t letter_colour(const LetterMask& mask, const PixelLogo& logo, int mx, int my) {
    const int ramp_rows = face_height(logo.face) * logo.block_height;
    const std::size_t ramp_last = logo.ramp.size() - 1;
    const int py = my - mask.margin;
    const double t = static_cast<double>(py) / (ramp_rows - 1);
    const double pos = t * static_cast<double>(ramp_last);
    const std::size_t lo = std::min(static_cast<std::size_t>(pos), ramp_last);
    const std::size_t hi = std::min(lo + 1, ramp_last);
    uint32_t colour = pack(mix(hex(logo.ramp[lo]), hex(logo.ramp[hi]), pos - static_cast<double>(lo)));
    if (!mask.set_at(mx, my - 1)) {
        colour = shade(colour, logo.highlight);
    } else if (!mask.set_at(mx, my + 1)) {
        colour = shade(colour, -logo.shading);
    }
    return colour;
}

}  // namespace

void draw_pixel_text(Canvas& canvas, const char* text, int x, int y, const PixelLogo& logo, bool centre) {
    const int text_width = pixel_text_width(text, logo);
    if (text_width == 0) return;
    if (centre) x -= text_width / 2;
    const LetterMask mask(text, logo, text_width);
    uint32_t* data = canvas.raw();
    const int stride = canvas.stride_pixels();
    auto put = [&](int mx, int my, uint32_t colour) {
        const int sx = x - mask.margin + mx, sy = y - mask.margin + my;
        if (sx >= 0 && sy >= 0 && sx < canvas.width() && sy < canvas.height()) data[sy * stride + sx] = colour;
    };
    for (int my = 0; my < mask.height; ++my) {
        for (int mx = 0; mx < mask.width; ++mx) {
            if (mask.set_at(mx, my)) {
                put(mx, my, letter_colour(mask, logo, mx, my));
            } else if (logo.outline_width > 0 && mask.near_set(mx, my, logo.outline_width)) {
                put(mx, my, logo.outline);
            } else if (logo.shadow > 0 && mask.near_set(mx - logo.shadow, my - logo.shadow, logo.outline_width)) {
                put(mx, my, 0x000000);
            }
        }
    }
    canvas.done_painting();
}

}  // namespace gf::datagen
