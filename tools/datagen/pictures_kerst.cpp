// The Christmas card and the greetings bands.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "datagen/pictures_draw.h"
#include "datagen/pictures_recipes.h"
#include "datagen/pixel_font.h"

namespace gf::datagen {
namespace {

constexpr double kTreeX = 72, kTreeBase = 184;

double distance_to_garlands(const ChristmasTree& tree, double x, double y) {
    double nearest = 1e9;
    for (const auto& garland : tree.garlands) {
        for (std::size_t i = 0; i + 1 < garland.size(); ++i) {
            const auto [ax, ay] = garland[i];
            const auto [bx, by] = garland[i + 1];
            const double dx = bx - ax, dy = by - ay;
            const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
            nearest = std::min(nearest, std::hypot(x - ax - t * dx, y - ay - t * dy));
        }
    }
    return nearest;
}

void draw_christmas_tree(cairo_t* cr, const ChristmasTree& tree, Random& random) {
    const double x = tree.x;
    set_colour(cr, 0x4A2A14);
    cairo_rectangle(cr, x - 7, kTreeBase - 20, 14, 20);
    cairo_fill(cr);
    for (const TreeTier& tier : tree.tiers) {
        const double half = tier.half, bottom = tier.bottom;
        cairo_move_to(cr, x, tier.apex);
        cairo_line_to(cr, x + half, bottom);
        cairo_curve_to(cr, x + half * 0.4, bottom + 5, x - half * 0.4, bottom + 5, x - half, bottom);
        cairo_close_path(cr);
        cairo_pattern_t* green = cairo_pattern_create_linear(x - half, 0, x + half, 0);
        add_stop(green, 0.0, shade(0x0E5A2A, random.uniform(-0.1, 0.1)));
        add_stop(green, 0.5, shade(0x1E8A3E, random.uniform(-0.1, 0.1)));
        add_stop(green, 1.0, shade(0x0A4A22, random.uniform(-0.1, 0.1)));
        cairo_set_source(cr, green);
        cairo_fill(cr);
        cairo_pattern_destroy(green);
    }
    // Gold garlands.
    set_colour(cr, 0xFFD24A, 0.9);
    cairo_set_line_width(cr, tree.garland_width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const auto& garland : tree.garlands) {
        cairo_move_to(cr, garland.front().first, garland.front().second);
        for (const auto& [gx, gy] : garland) cairo_line_to(cr, gx, gy);
        cairo_stroke(cr);
    }
    // Baubles with a highlight.
    const std::array<uint32_t, 4> colours = {0xE02030, 0x2A70FF, 0xFFD24A, 0xE0E0F0};
    for (std::size_t i = 0; i < tree.baubles.size(); ++i) {
        const auto [bx, by, r] = tree.baubles[i];
        const uint32_t c = colours[(i + static_cast<std::size_t>(random.below(2))) % colours.size()];
        cairo_pattern_t* ball = cairo_pattern_create_radial(bx - r / 3, by - r / 3, 0.5, bx, by, r + 0.5);
        add_stop(ball, 0.0, 0xFFFFFF);
        add_stop(ball, 0.35, c);
        add_stop(ball, 1.0, shade(c, -0.35));
        cairo_set_source(cr, ball);
        cairo_arc(cr, bx, by, r, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(ball);
    }
    // Star on top.
    const double sy = tree.tiers.back().apex - 4;
    sparkle(cr, x, sy, 18, 0xFFE070, 0.7);
    cairo_move_to(cr, x, sy - 11);
    for (int i = 1; i < 10; ++i) {
        const double r = i % 2 ? 4.5 : 11;
        const double angle = -kPi / 2 + i * kPi / 5;
        cairo_line_to(cr, x + r * std::cos(angle), sy + r * std::sin(angle));
    }
    cairo_close_path(cr);
    set_colour(cr, 0xFFD83A);
    cairo_fill_preserve(cr);
    set_colour(cr, 0xA07010);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void present(cairo_t* cr, double x, double base, double w, double h, uint32_t box, uint32_t ribbon) {
    set_colour(cr, box);
    cairo_rectangle(cr, x, base - h, w, h);
    cairo_fill(cr);
    set_colour(cr, ribbon);
    cairo_rectangle(cr, x + w / 2 - 2.5, base - h, 5, h);
    cairo_rectangle(cr, x, base - h * 0.55 - 2.5, w, 5);
    cairo_fill(cr);
    cairo_set_line_width(cr, 2.5);
    ellipse(cr, x + w / 2 - 6, base - h - 4, 6, 3.5, 0.3);
    cairo_stroke(cr);
    ellipse(cr, x + w / 2 + 6, base - h - 4, 6, 3.5, -0.3);
    cairo_stroke(cr);
}

void holly(cairo_t* cr, double x, double y, double angle) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angle);
    for (double side : {-1.0, 1.0}) {
        set_colour(cr, 0x0E6A2A);
        cairo_move_to(cr, 0, 0);
        cairo_curve_to(cr, side * 8, -10, side * 22, -8, side * 30, -2);
        cairo_curve_to(cr, side * 22, 6, side * 8, 6, 0, 0);
        cairo_fill(cr);
    }
    for (const auto& [bx, by] : std::array<std::array<double, 2>, 3>{{{-3, 2}, {3, 2}, {0, -3}}}) {
        set_colour(cr, 0xD01020);
        cairo_arc(cr, bx, by, 3.2, 0, 2 * kPi);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

}  // namespace

double TreeTier::half_width(double y) const {
    if (y < apex || y > bottom) return 0.0;
    return half * (y - apex) / (bottom - apex);
}

double ChristmasTree::half_width(double y) const {
    double widest = 0.0;
    for (const TreeTier& tier : tiers) widest = std::max(widest, tier.half_width(y));
    return widest;
}

ChristmasTree christmas_tree_layout() {
    ChristmasTree tree;
    tree.x = kTreeX;
    tree.garland_width = 1.6;
    // Bottom row, half width and height of each tier; the upper ones overlap the lower.
    for (const auto& [rise, half, height] :
         std::array<std::array<double, 3>, 4>{{{18, 62, 40}, {48, 50, 38}, {76, 38, 34}, {102, 26, 30}}}) {
        const double bottom = kTreeBase - rise;
        tree.tiers.push_back({bottom, half, bottom - height - 10});
    }
    // A garland sags across the visible foot of each tier, from 3 pixels in
    // from its left edge to 3 pixels in from its right edge, a little higher.
    constexpr double kInset = 3.0;
    for (std::size_t t = 0; t < tree.tiers.size(); ++t) {
        const TreeTier& tier = tree.tiers[t];
        const double y0 = tier.bottom - 7, y1 = tier.bottom - (t + 1 < tree.tiers.size() ? 16 : 12);
        const double x0 = tree.x - tier.half_width(y0) + kInset, x1 = tree.x + tier.half_width(y1) - kInset;
        std::vector<std::pair<double, double>> points;
        constexpr int kSteps = 32;
        for (int i = 0; i <= kSteps; ++i) {
            const double s = static_cast<double>(i) / kSteps;
            const double sag = 4.0 * s * (1.0 - s) * 4.5;  // deepest in the middle
            points.emplace_back(mix(x0, x1, s), mix(y0, y1, s) + sag);
        }
        tree.garlands.push_back(std::move(points));
    }
    // Baubles: random spots on the part of each tier that shows, kept clear of
    // the tree's edge, the garlands, the star and one another.
    Random random(0xBA0B1E);
    for (std::size_t t = 0; t < tree.tiers.size(); ++t) {
        const TreeTier& tier = tree.tiers[t];
        const bool top = t + 1 == tree.tiers.size();
        const double r = top ? 3.5 : 4.5;
        const double y_min = top ? tier.apex + 14 : tree.tiers[t + 1].bottom + 5;
        const double y_max = tier.bottom - 1;
        int placed = 0;
        for (int attempt = 0; attempt < 500 && placed < (top ? 2 : 3); ++attempt) {
            const double y = random.uniform(y_min + r, y_max - r);
            const double reach = tier.half_width(y - r) - r - 1.5;
            if (reach <= 0) continue;
            const double x = tree.x + random.uniform(-reach, reach);
            if (distance_to_garlands(tree, x, y) < r + tree.garland_width / 2 + 1.5) continue;
            const bool crowded = std::any_of(tree.baubles.begin(), tree.baubles.end(), [&](const Bauble& other) {
                return std::hypot(other.x - x, other.y - y) < other.radius + r + 2.0;
            });
            if (crowded) continue;
            tree.baubles.push_back({x, y, r});
            ++placed;
        }
    }
    return tree;
}

std::vector<uint32_t> draw_kerst() {
    Canvas canvas(320, 200);
    cairo_t* cr = canvas.cr();
    cairo_pattern_t* back = cairo_pattern_create_radial(190, 90, 10, 190, 90, 230);
    add_stop(back, 0.0, 0xB01830);
    add_stop(back, 1.0, 0x30040E);
    cairo_set_source(cr, back);
    cairo_paint(cr);
    cairo_pattern_destroy(back);
    Random random(0x4E2571);
    set_colour(cr, 0xFFFFFF, 0.07);
    for (int i = 0; i < 7; ++i) {
        snowflake(cr, random, random.uniform(120, 320), random.uniform(0, 200), random.uniform(12, 30), 2.5);
    }
    // Snow on the ground.
    cairo_move_to(cr, 0, 200);
    cairo_line_to(cr, 0, 178);
    cairo_curve_to(cr, 80, 168, 220, 190, 320, 176);
    cairo_line_to(cr, 320, 200);
    cairo_close_path(cr);
    set_colour(cr, 0xF2F6FF);
    cairo_fill(cr);
    draw_christmas_tree(cr, christmas_tree_layout(), random);
    present(cr, 22, 190, 24, 18, 0x2A60D0, 0xFFD24A);
    present(cr, 96, 192, 28, 22, 0xFFD24A, 0xD02030);
    present(cr, 124, 190, 18, 13, 0x1E8A3E, 0xF0F0F0);

    // The snow falls behind the words, so it never covers a letter.
    falling_snow(cr, random, 110, 0, 0, 320, 200);
    PixelLogo gold;
    gold.face = Typeface::large;
    gold.block_width = 2;
    gold.block_height = 4;
    gold.ramp = {0xFFF6C8, 0xFFE070, 0xE8A820};
    gold.outline = 0x3A0008;
    gold.outline_width = 1;
    gold.shadow = 2;
    draw_pixel_text(canvas, "MERRY", 228, 42, gold, true);
    draw_pixel_text(canvas, "CHRISTMAS", 228, 82, gold, true);
    PixelLogo small;
    small.block_width = 1;
    small.block_height = 2;
    small.bold = true;
    small.ramp = {0xFFFFFF, 0xDCEBFF};
    small.outline = 0x3A0008;
    small.outline_width = 1;
    small.highlight = 0.0;
    small.shading = 0.0;
    draw_pixel_text(canvas, "AND A FROSTY NEW YEAR", 228, 124, small, true);
    small.ramp = {0xBFE6FF, 0x8FD8FF};
    draw_pixel_text(canvas, "- GLIMMERFROST -", 228, 144, small, true);
    holly(cr, 300, 16, 0.5);
    holly(cr, 150, 14, -0.3);
    return canvas.pixels();
}

// --- finalgrtz.jpg: five 80-row bands of greetings ----------------------------

// One greeting per band, in the large face, as big as fits the greetings'
// columns, so every line survives the zoom blur whole.
std::vector<uint32_t> draw_finalgrtz() {
    constexpr int kBand = 80;
    Canvas canvas(320, 400);
    cairo_t* cr = canvas.cr();
    set_colour(cr, 0x000000);
    cairo_paint(cr);
    struct Band {
        const char* text;
        uint32_t colour;
    };
    const std::array<Band, 5> bands = {{
        {"GREETINGS", 0xFFD060},
        {"SNOWDRIFT", 0x7FE0FF},
        {"HOARFROST", 0x90FF90},
        {"POLAR PIXEL", 0xFF9FD0},
        {"TINSEL", 0xFFD060},
    }};
    const int columns = kGreetingsColumns.right - kGreetingsColumns.left;
    const int centre = (kGreetingsColumns.left + kGreetingsColumns.right) / 2;
    Random random(0x62A72);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const int top = kBand * static_cast<int>(i);
        PixelLogo logo;
        logo.face = Typeface::large;
        logo.block_height = 4;
        logo.ramp = {0xFFFFFF, bands[i].colour};
        logo.outline_width = 0;
        logo.highlight = 0.2;
        logo.shading = 0.3;
        logo.block_width = 4;
        while (logo.block_width > 1 && pixel_text_width(bands[i].text, logo) > columns) --logo.block_width;
        const int y = top + (kBand - pixel_text_height(logo)) / 2;
        draw_pixel_text(canvas, bands[i].text, centre, y, logo, true);
        // Glints above and below the word, inside the same columns and the band.
        cairo_save(cr);
        cairo_rectangle(cr, kGreetingsColumns.left, top + 4, columns, kBand - 8);
        cairo_clip(cr);
        for (int s = 0; s < 4; ++s) {
            const double gx = random.uniform(kGreetingsColumns.left + 6, kGreetingsColumns.right - 6);
            const double gy = s % 2 == 0 ? top + random.uniform(9, 15) : top + kBand - random.uniform(9, 15);
            sparkle(cr, gx, gy, random.uniform(2.5, 5), bands[i].colour);
        }
        cairo_restore(cr);
    }
    return canvas.pixels();
}

}  // namespace gf::datagen
