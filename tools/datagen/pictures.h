// The show's eight pictures, drawn in code with Cairo and our own bitmap
// fonts (no font file is read): two tiling ray-cast textures, the title card, credits, a tall scrolling winter scene,
// the greetings bands, the comic burst and the Christmas card.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datagen/dataset.h"

namespace gf::datagen {

struct Picture {
    std::string file;  // e.g. "presents.jpg"
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
};

// JPEG quality of the written pictures.
constexpr int kPictureQuality = 95;

// Draws all eight pictures, in the show's slot order. Same pixels on every call.
std::vector<Picture> draw_pictures();

// Lays the pictures out on one dark sheet with their file names under them
// and writes it as a PNG to `path`. `sheet` receives the sheet's pixels.
Status write_contact_sheet(const std::vector<Picture>& pictures, const std::string& path, Picture* sheet = nullptr);

// Where write_contact_sheet puts picture `index` of draw_pictures' order.
struct SheetSlot {
    int x = 0;
    int y = 0;
};
SheetSlot contact_sheet_slot(int index);

}  // namespace gf::datagen
