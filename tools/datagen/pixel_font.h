// Our own bitmap fonts, drawn pixel by pixel straight into a canvas the way
// demo groups drew their logos: every font pixel becomes a block, with a hard
// outline, a drop shadow, a colour ramp down the letters and bevelled edges.
// Two faces: a 5 × 7 one for names and small print, and a larger bold one,
// 8 rows tall with two-pixel strokes and letters of their own widths, for
// titles and greetings. No font file is involved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf::datagen {

class Canvas;  // pictures_draw.h

enum class Typeface { small, large };

struct GlyphCells {
    int width = 0;                // font pixels across
    int height = 0;               // font pixels down
    const char* cells = nullptr;  // width × height cells row by row, '#' set
};

// The cells of `c` in `face`. Letters are upper case; lower-case input is
// drawn as upper case. A character the face lacks throws, naming it, so a
// text can never lose a letter without a word said.
GlyphCells glyph_cells(Typeface face, char c);
// Every character `face` has, in its table's order.
std::string face_characters(Typeface face);

struct PixelLogo {
    Typeface face = Typeface::small;
    int block_width = 3;   // screen pixels per font pixel, across
    int block_height = 3;  // and down
    int spacing = 1;       // font pixels between letters
    bool bold = false;     // each letter one font pixel wider, its vertical strokes doubled
    std::vector<uint32_t> ramp = {0xFFFFFF, 0x9FE0FF};  // fill colours, evenly from the top row to the bottom
    uint32_t outline = 0x000000;
    int outline_width = 1;    // screen pixels around the letters
    int shadow = 0;           // screen pixels the black shadow falls down and right
    double highlight = 0.35;  // lightening of the letters' upper edges
    double shading = 0.35;    // darkening of the letters' lower edges
};

// Width and height in screen pixels of `text` set in `logo`, outline excluded.
int pixel_text_width(const char* text, const PixelLogo& logo);
int pixel_text_height(const PixelLogo& logo);

// Draws `text` with its top-left corner at (x, y), or centred on x when
// `centre` is set. Pixels outside the canvas are skipped.
void draw_pixel_text(Canvas& canvas, const char* text, int x, int y, const PixelLogo& logo, bool centre = false);

}  // namespace gf::datagen
