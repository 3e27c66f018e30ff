// The Christmas card and the greetings bands.
#include <algorithm>
#include <array>
#include <cmath>

#include "datagen/pictures_draw.h"
#include "datagen/pictures_recipes.h"

namespace gf::datagen {
namespace {

void christmas_tree(cairo_t* cr, double x, double base, Random& random) {
    set_colour(cr, 0x4A2A14);
    cairo_rectangle(cr, x - 7, base - 20, 14, 20);
    cairo_fill(cr);
    const std::array<std::array<double, 3>, 4> tiers = {
        {{base - 18, 62, 40}, {base - 48, 50, 38}, {base - 76, 38, 34}, {base - 102, 26, 30}}};
    for (const auto& [bottom, half, height] : tiers) {
        cairo_move_to(cr, x, bottom - height - 10);
        cairo_line_to(cr, x + half, bottom);
        cairo_curve_to(cr, x + half * 0.4, bottom + 5, x - half * 0.4, bottom + 5, x - half, bottom);
        cairo_close_path(cr);
        cairo_pattern_t* green = cairo_pattern_create_linear(x - half, 0, x + half, 0);
        add_stop(green, 0.0, 0x0E5A2A);
        add_stop(green, 0.5, 0x1E8A3E);
        add_stop(green, 1.0, 0x0A4A22);
        cairo_set_source(cr, green);
        cairo_fill(cr);
        cairo_pattern_destroy(green);
    }
    // Gold garlands.
    set_colour(cr, 0xFFD24A, 0.9);
    cairo_set_line_width(cr, 1.6);
    for (const auto& [bottom, half, height] : tiers) {
        (void)height;
        cairo_move_to(cr, x - half * 0.8, bottom - 6);
        cairo_curve_to(cr, x - half * 0.2, bottom + 2, x + half * 0.3, bottom - 10, x + half * 0.75, bottom - 16);
        cairo_stroke(cr);
    }
    // Baubles with a highlight.
    const std::array<uint32_t, 4> colours = {0xE02030, 0x2A70FF, 0xFFD24A, 0xE0E0F0};
    for (const auto& [bottom, half, height] : tiers) {
        for (int i = 0; i < 3; ++i) {
            const double bx = x + random.uniform(-half * 0.7, half * 0.7);
            const double by = bottom - random.uniform(4, height * 0.6) * (1.0 - std::abs(bx - x) / (half * 1.2));
            const uint32_t c = colours[random.below(4)];
            cairo_pattern_t* ball = cairo_pattern_create_radial(bx - 1.5, by - 1.5, 0.5, bx, by, 5);
            add_stop(ball, 0.0, 0xFFFFFF);
            add_stop(ball, 0.35, c);
            add_stop(ball, 1.0, c);
            cairo_set_source(cr, ball);
            cairo_arc(cr, bx, by, 4.5, 0, 2 * kPi);
            cairo_fill(cr);
            cairo_pattern_destroy(ball);
        }
    }
    // Star on top.
    const double sy = tiers[3][0] - tiers[3][2] - 14;
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
    christmas_tree(cr, 72, 184, random);
    present(cr, 22, 190, 24, 18, 0x2A60D0, 0xFFD24A);
    present(cr, 96, 192, 28, 22, 0xFFD24A, 0xD02030);
    present(cr, 124, 190, 18, 13, 0x1E8A3E, 0xF0F0F0);

    // The snow falls behind the words, so it never covers a letter.
    falling_snow(cr, random, 110, 0, 0, 320, 200);
    const TextStyle gold = {.fill = 0xFFF2B0,
                            .fill_bottom = 0xE8A820,
                            .outline = 0x3A0008,
                            .outline_width = 1.5,
                            .glow = 0xFFD060,
                            .glow_alpha = 0.35,
                            .glow_width = 8};
    draw_text(cr, {Face::serif_bold_italic, 40, 150}, "Merry", 228, 68, Align::centre, gold);
    draw_text(cr, {Face::serif_bold_italic, 40, 170}, "Christmas", 228, 108, Align::centre, gold);
    draw_text(cr, {Face::sans_bold, 13}, "and a frosty New Year", 228, 134, Align::centre,
              {.fill = 0xFFFFFF, .fill_bottom = 0xDCEBFF, .outline = 0x3A0008, .outline_width = 1.2});
    draw_text(cr, {Face::serif_bold_italic, 12}, "- Glimmerfrost -", 228, 154, Align::centre,
              {.fill = 0xBFE6FF, .fill_bottom = 0x8FD8FF, .outline = 0x3A0008, .outline_width = 0.8});
    holly(cr, 300, 16, 0.5);
    holly(cr, 150, 14, -0.3);
    return canvas.pixels();
}

// --- finalgrtz.jpg: five 80-row bands of greetings ----------------------------

std::vector<uint32_t> draw_finalgrtz() {
    constexpr int kBand = 80;
    Canvas canvas(320, 400);
    cairo_t* cr = canvas.cr();
    set_colour(cr, 0x000000);
    cairo_paint(cr);
    struct Band {
        const char* big;
        const char* small;
        uint32_t top, bottom;
    };
    const std::array<Band, 5> bands = {{
        {"GREETINGS", "Glimmerfrost sends frosty hugs to", 0xFFFFFF, 0xFFD060},
        {"Snowdrift  *  Hoarfrost", "and the whole Icicle Works crew", 0xFFFFFF, 0x7FE0FF},
        {"Tinsel  *  Polar Pixel", "Mistletoe Labs and Yuletide", 0xFFFFFF, 0x90FF90},
        {"Reindeer Games  *  Rime", "Sleigh Ride and Northern Star", 0xFFFFFF, 0xFF9FD0},
        {"...and YOU!", "Merry Christmas from Glimmerfrost", 0xFFFFFF, 0xFFD060},
    }};
    Random random(0x62A72);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const double top = kBand * static_cast<double>(i);
        // Keep every mark a few rows inside the band: the show shows one band at a time.
        cairo_save(cr);
        cairo_rectangle(cr, 0, top + 4, 320, kBand - 8);
        cairo_clip(cr);
        draw_text(cr, {Face::sans_bold, i == 0 ? 34.0 : 24.0, 232}, bands[i].big, 160, top + 42, Align::centre,
                  {.fill = bands[i].top,
                   .fill_bottom = bands[i].bottom,
                   .glow = bands[i].bottom,
                   .glow_alpha = 0.35,
                   .glow_width = 6});
        draw_text(cr, {Face::sans, 13, 244}, bands[i].small, 160, top + 64, Align::centre,
                  {.fill = 0xE8F4FF, .fill_bottom = 0xC8E4FF});
        for (int s = 0; s < 6; ++s) {
            const double x = s < 3 ? random.uniform(10, 32) : random.uniform(288, 310);
            sparkle(cr, x, top + random.uniform(14, 66), random.uniform(3, 7), bands[i].bottom);
        }
        cairo_restore(cr);
    }
    return canvas.pixels();
}

}  // namespace gf::datagen
