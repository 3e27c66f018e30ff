// One recipe per picture: each draws its picture and returns the pixels,
// 0x00RRGGBB, top row first, at the size listed beside it.
#pragma once

#include <cstdint>
#include <utility>
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

// The show adds a greetings band over the scrolling scene at every height
// the window reaches, so the greetings and the scene's two figures keep
// apart across: the letters stay inside their columns, the snowman and the
// dog are drawn to fill theirs. Columns from `left` up to, not including,
// `right`.
struct Columns {
    int left;
    int right;
};
constexpr Columns kGreetingsColumns = {80, 240};
constexpr Columns kSnowmanColumns = {2, 78};
constexpr Columns kDogColumns = {242, 318};

// The Christmas tree of kerst.jpg, laid out before it is drawn: tiers of
// needles, gold garlands across them and baubles placed so that none touches
// another or a garland and all lie on the tree.
struct TreeTier {
    double bottom;  // row of the tier's lower corners
    double half;    // half its width there
    double apex;    // row of its tip
    // Half the tier's width at row y, 0 outside it.
    double half_width(double y) const;
};
struct Bauble {
    double x, y, radius;
};
struct ChristmasTree {
    double x = 0.0;               // the trunk's centre
    std::vector<TreeTier> tiers;  // bottom tier first
    double garland_width = 0.0;
    std::vector<std::vector<std::pair<double, double>>> garlands;  // each a line through these points
    std::vector<Bauble> baubles;
    // Half the tree's width at row y: the widest tier there.
    double half_width(double y) const;
};
ChristmasTree christmas_tree_layout();

}  // namespace gf::datagen
