// The eight pictures the show reads, in slot order, with the size each one's
// scenes need: textures are fetched at an 8-bit row times 256 plus an 8-bit
// column, whole-frame copies take 320 × 200, the scroll window starts at row
// 0..280 of the tall picture and the greetings come in five 80-row bands.
#pragma once

#include <array>

namespace gf {

struct PictureSize {
    const char* file;
    int width;       // exact
    int min_height;  // at least
};

constexpr int kPictureCount = 8;

constexpr std::array<PictureSize, kPictureCount> kPictureSizes = {{
    {"glimzz.jpg", 256, 256},
    {"muur.jpg", 256, 256},
    {"credits.jpg", 320, 200},
    {"presents.jpg", 320, 200},
    {"goodboy.jpg", 320, 480},
    {"finalgrtz.jpg", 320, 400},
    {"boem.jpg", 320, 200},
    {"kerst.jpg", 320, 200},
}};

}  // namespace gf
