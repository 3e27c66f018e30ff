// The 320 × 200 cards: the title card, the credits and the comic burst.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "datagen/pictures_draw.h"
#include "datagen/pictures_recipes.h"
#include "datagen/pixel_font.h"

namespace gf::datagen {
namespace {

void star_burst(cairo_t* cr, double cx, double cy, int points, double outer, double inner, Random& random) {
    for (int i = 0; i < points * 2; ++i) {
        const double angle = kPi * i / points - kPi / 2;
        const double r = (i % 2 == 0) ? outer * random.uniform(0.8, 1.0) : inner * random.uniform(0.85, 1.0);
        const double x = cx + r * std::cos(angle) * 1.45, y = cy + r * std::sin(angle);
        if (i == 0) {
            cairo_move_to(cr, x, y);
        } else {
            cairo_line_to(cr, x, y);
        }
    }
    cairo_close_path(cr);
}

}  // namespace

// --- presents.jpg: the title card ------------------------------------------------

std::vector<uint32_t> draw_presents() {
    Canvas canvas(320, 200);
    cairo_t* cr = canvas.cr();
    vertical_gradient(cr, 0, 200, {{0.0, 0x060A2E}, {0.45, 0x1B2368}, {0.75, 0x4A3C8C}, {1.0, 0x7A5AA0}}, 0, 320);
    Random random(0x9E5E);
    stars(cr, random, 140, 320, 150);
    aurora(cr, 320, 62, 14, 0.3, 56, 0x3CFF9A, 0.55);
    aurora(cr, 320, 80, 10, 2.1, 46, 0x2AD8E0, 0.45);
    aurora(cr, 320, 48, 8, 4.0, 40, 0xC060FF, 0.3);
    // Vertical rays make the bands read as curtains of light.
    for (double x = 0; x < 320;) {
        const double foot = 62 + 14 * std::sin(x / 320 * 2.6 * kPi + 0.3);
        cairo_pattern_t* ray = cairo_pattern_create_linear(0, foot - 62, 0, foot + 8);
        add_stop(ray, 0.0, 0x9AFFD0, 0.0);
        add_stop(ray, 0.8, 0x9AFFD0, random.uniform(0.05, 0.22));
        add_stop(ray, 1.0, 0x9AFFD0, 0.0);
        cairo_rectangle(cr, x, foot - 62, random.uniform(0.8, 1.8), 70);
        cairo_set_source(cr, ray);
        cairo_fill(cr);
        cairo_pattern_destroy(ray);
        x += random.uniform(2.0, 5.0);
    }

    snowy_hill(cr, 320, 200, 150, 140, 158, 0xB8C8F0, 0x6070B0);
    for (int i = 0; i < 16; ++i) {
        const double x = 6 + i * 20.5 + random.uniform(-6, 6);
        pine_tree(cr, random, x, 164 + random.uniform(-4, 8), random.uniform(22, 44), 0x14304A, 0xE4EEFF);
    }
    snowy_hill(cr, 320, 200, 180, 174, 172, 0xF4F8FF, 0xA8B8E8);
    falling_snow(cr, random, 90, 0, 0, 320, 200);

    // The group's logo in our own pixel font: an icy ramp, bevelled blocks, a
    // hard navy outline and a drop shadow.
    PixelLogo logo;
    logo.block_width = 3;
    logo.block_height = 5;
    logo.bold = true;
    // Chrome: sky above a bright horizon, deep blue below it, lighter toward the foot.
    logo.ramp = {0x7FC8FF, 0xD8F2FF, 0xFFFFFF, 0x1E3C9C, 0x2E5CC8, 0x5A9AF0, 0xB8E8FF};
    logo.outline = 0x0A0C30;
    logo.outline_width = 2;
    logo.shadow = 3;
    logo.highlight = 0.6;
    logo.shading = 0.45;
    draw_pixel_text(canvas, "GLIMMERFROST", 160, 70, logo, true);
    for (const auto& [x, y, r] :
         std::array<std::array<double, 3>, 4>{{{24, 74, 9}, {296, 100, 7}, {118, 70, 5}, {250, 104, 4}}})
        sparkle(cr, x, y, r, 0xCFF4FF);
    // "presents" in the large face, warm gold under the icy logo.
    PixelLogo word;
    word.face = Typeface::large;
    word.block_width = 2;
    word.block_height = 3;
    word.ramp = {0xFFF4C0, 0xFFD860, 0xF0A030};
    word.outline = 0x2A1030;
    word.outline_width = 1;
    word.shadow = 2;
    draw_pixel_text(canvas, "PRESENTS", 160, 118, word, true);
    return canvas.pixels();
}

// --- credits.jpg ------------------------------------------------------------------

// The card is shown inverted on every beat, so it is kept mid-grey on average:
// a twilight-blue ground, bright names with black outlines and dark role tags.
std::vector<uint32_t> draw_credits() {
    Canvas canvas(320, 200);
    cairo_t* cr = canvas.cr();
    vertical_gradient(cr, 0, 200, {{0.0, 0x3C5C9C}, {0.55, 0x5E80C0}, {1.0, 0x8AA4D8}}, 0, 320);
    Random random(0xC4ED17);
    for (int i = 0; i < 14; ++i) {
        set_colour(cr, i % 3 == 0 ? 0x203A70 : 0xD8ECFF, 0.22);
        snowflake(cr, random, random.uniform(0, 320), random.uniform(0, 200), random.uniform(10, 34), 2.0);
    }
    // Frame with rounded corners.
    const double r = 10, x0 = 8, y0 = 8, x1 = 312, y1 = 192;
    cairo_new_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -kPi / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, kPi / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, kPi / 2, kPi);
    cairo_arc(cr, x0 + r, y0 + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    set_colour(cr, 0x0A1838);
    cairo_set_line_width(cr, 4);
    cairo_stroke_preserve(cr);
    set_colour(cr, 0xCFEAFF);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);

    PixelLogo title;
    title.face = Typeface::large;
    title.block_width = 4;
    title.block_height = 4;
    title.ramp = {0xFFFFFF, 0xFFF0A0, 0xFFC040, 0xE07010};
    title.outline = 0x0A1030;
    title.outline_width = 2;
    title.shadow = 2;
    draw_pixel_text(canvas, "CREDITS", 160, 17, title, true);

    // Roles in dark letters with a light outline, names in light letters with
    // a dark one, so both read when the card is inverted. The block of both
    // columns is centred in the card.
    struct Line {
        const char* role;
        const char* name;
    };
    const std::array<Line, 3> lines = {{{"CODE", "NORDLYS"}, {"MUSIC", "SLEIGHBEAT"}, {"GRAPHICS", "PIXELFROST"}}};
    PixelLogo role;
    role.block_width = 1;
    role.block_height = 2;
    role.bold = true;
    role.ramp = {0x0A1838};
    role.outline = 0xE8F4FF;
    role.outline_width = 1;
    role.highlight = 0.0;
    role.shading = 0.0;
    PixelLogo name;
    name.block_width = 3;
    name.block_height = 3;
    name.ramp = {0xFFFFFF, 0xE8F6FF, 0xA8DCFF};
    name.outline = 0x06102A;
    name.outline_width = 1;
    name.shadow = 2;
    constexpr int kGap = 10;
    int role_width = 0, name_width = 0;
    for (const Line& line : lines) {
        role_width = std::max(role_width, pixel_text_width(line.role, role));
        name_width = std::max(name_width, pixel_text_width(line.name, name));
    }
    const int left = 160 - (role_width + kGap + name_width) / 2;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int y = 64 + 36 * static_cast<int>(i);
        const int role_y = y + (pixel_text_height(name) - pixel_text_height(role)) / 2;
        draw_pixel_text(canvas, lines[i].role, left + role_width - pixel_text_width(lines[i].role, role), role_y, role);
        draw_pixel_text(canvas, lines[i].name, left + role_width + kGap, y, name);
    }
    PixelLogo footer = role;
    footer.ramp = {0xFFFFFF, 0xE0F0FF};
    footer.outline = 0x0A1838;
    draw_pixel_text(canvas, "A GLIMMERFROST PRODUCTION", 160, 174, footer, true);
    return canvas.pixels();
}

// --- boem.jpg: the comic burst ------------------------------------------------------

// The burst stays mostly saturated mid-tones (red, blue, orange) with the
// brightest yellow only in its core, so that it flashes without blinding.
std::vector<uint32_t> draw_boem() {
    Canvas canvas(320, 200);
    cairo_t* cr = canvas.cr();
    const double cx = 160, cy = 100;
    // Alternating rays from the centre.
    constexpr int kRays = 28;
    for (int i = 0; i < kRays; ++i) {
        const double a0 = 2 * kPi * i / kRays, a1 = 2 * kPi * (i + 1) / kRays;
        cairo_move_to(cr, cx, cy);
        cairo_line_to(cr, cx + 400 * std::cos(a0), cy + 400 * std::sin(a0));
        cairo_line_to(cr, cx + 400 * std::cos(a1), cy + 400 * std::sin(a1));
        cairo_close_path(cr);
        set_colour(cr, i % 2 == 0 ? 0x1A3AA8 : 0x2A5AD8);
        cairo_fill(cr);
    }
    // Halftone dots growing toward the corners.
    for (int y = 4; y < 200; y += 8) {
        for (int x = 4 + (y / 8 % 2) * 4; x < 320; x += 8) {
            const double d = std::hypot((x - cx) / 160.0, (y - cy) / 100.0);
            const double dot = clamp01((d - 0.55) * 1.2) * 3.6;
            if (dot < 0.3) continue;
            set_colour(cr, 0x90D0FF, 0.55);
            cairo_arc(cr, x, y, dot, 0, 2 * kPi);
            cairo_fill(cr);
        }
    }
    Random random(0xB0E3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    star_burst(cr, cx, cy + 2, 14, 94, 60, random);
    set_colour(cr, 0xE02818);
    cairo_fill_preserve(cr);
    set_colour(cr, 0x000000);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
    star_burst(cr, cx, cy + 2, 12, 72, 48, random);
    cairo_pattern_t* core = cairo_pattern_create_radial(cx, cy, 5, cx, cy, 80);
    add_stop(core, 0.0, 0xFFF8B0);
    add_stop(core, 0.35, 0xFFD820);
    add_stop(core, 1.0, 0xF07808);
    cairo_set_source(cr, core);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(core);
    set_colour(cr, 0x000000);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
    // Flying snowflakes knocked loose by the blast.
    for (int i = 0; i < 12; ++i) {
        const double angle = random.uniform(0, 2 * kPi), dist = random.uniform(120, 175);
        const double x = cx + std::cos(angle) * dist, y = cy + std::sin(angle) * dist * 0.62;
        set_colour(cr, 0xFFFFFF, 0.9);
        snowflake(cr, random, x, y, random.uniform(5, 12), 1.8);
    }
    // The word in the large face, each letter a step higher than the one
    // before it, with a hard offset shadow.
    PixelLogo word;
    word.face = Typeface::large;
    word.block_width = 6;
    word.block_height = 7;
    word.ramp = {0xFFFFFF, 0xFFF0C0, 0xFF8060, 0xE02818};
    word.spacing = 2;
    word.outline = 0x000000;
    word.outline_width = 2;
    word.shadow = 4;
    word.highlight = 0.5;
    word.shading = 0.4;
    constexpr const char* kWord = "BOEM!";
    constexpr int kRise = 5;
    const int letters = static_cast<int>(std::char_traits<char>::length(kWord));
    int x = static_cast<int>(cx) - pixel_text_width(kWord, word) / 2;
    const int y = static_cast<int>(cy) - pixel_text_height(word) / 2 + kRise * (letters - 1) / 2;
    for (int i = 0; i < letters; ++i) {
        const char letter[2] = {kWord[i], '\0'};
        draw_pixel_text(canvas, letter, x, y - kRise * i, word);
        x += pixel_text_width(letter, word) + word.spacing * word.block_width;
    }
    return canvas.pixels();
}

}  // namespace gf::datagen
