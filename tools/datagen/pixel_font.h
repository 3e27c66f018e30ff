// Our own 5 × 7 bitmap font, drawn pixel by pixel straight into a canvas the
// way demo groups drew their logos: every font pixel becomes a block, with a
// hard outline, a drop shadow, a colour ramp down the letters and bevelled
// edges. No font file is involved.
#pragma once

#include <cstdint>
#include <vector>

#include "datagen/pictures_draw.h"

namespace gf::datagen {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// The 5 × 7 cells of `c`, row by row, '#' set; unknown characters give a blank.
// Letters are upper case; lower-case input is drawn as upper case.
const char* glyph_rows(char c);

struct PixelLogo {
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

// Width in screen pixels of `text` set in `logo`, outline excluded.
int pixel_text_width(const char* text, const PixelLogo& logo);

// Draws `text` with its top-left corner at (x, y), or centred on x when
// `centre` is set. Pixels outside the canvas are skipped.
void draw_pixel_text(Canvas& canvas, const char* text, int x, int y, const PixelLogo& logo, bool centre = false);

}  // namespace gf::datagen
