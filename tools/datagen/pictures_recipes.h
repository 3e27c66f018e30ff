// One recipe per picture: each draws its picture and returns the pixels,
// 0x00RRGGBB, top row first, at the size listed beside it.
#pragma once

#include <cstdint>
#include <vector>

namespace gf::datagen {

std::vector<uint32_t> draw_glimzz();     // 256 × 256, tiles
std::vector<uint32_t> draw_muur();       // 256 × 256, tiles
std::vector<uint32_t> draw_credits();    // 320 × 200
std::vector<uint32_t> draw_presents();   // 320 × 200
std::vector<uint32_t> draw_goodboy();    // 320 × 480
std::vector<uint32_t> draw_finalgrtz();  // 320 × 400, five 80-row bands
std::vector<uint32_t> draw_boem();       // 320 × 200
std::vector<uint32_t> draw_kerst();      // 320 × 200

}  // namespace gf::datagen
