// The tall scrolling winter scene: a moonlit village above a snowfield where
// a snowman and the good boy, a dog in a Santa hat, sit at either side.
#include <algorithm>
#include <array>
#include <cmath>

#include "datagen/pictures_draw.h"
#include "datagen/pictures_recipes.h"

namespace gf::datagen {
namespace {

// A cottage whose size, roof pitch, wall colour, windows and chimney all come
// from the random source, so a village has no two alike.
void house(cairo_t* cr, Random& random, double x, double base, double w, double h) {
    static constexpr std::array<uint32_t, 5> kWalls = {0x5A3428, 0x3A4A6A, 0x6A4A30, 0x4A3050, 0x2E4A44};
    const uint32_t wall = shade(kWalls[static_cast<std::size_t>(random.below(5))], random.uniform(-0.2, 0.05));
    const double pitch = h * random.uniform(0.45, 0.9);
    const double overhang = random.uniform(3, 7);
    set_colour(cr, wall);
    cairo_rectangle(cr, x, base - h, w, h);
    cairo_fill(cr);
    if (random.below(4) != 0) {
        const double cx = x + w * random.uniform(0.6, 0.78);
        set_colour(cr, 0x2A1A18);
        cairo_rectangle(cr, cx, base - h - pitch * 0.95, w * 0.11, pitch * 0.8);
        cairo_fill(cr);
        set_colour(cr, 0x8090B8, 0.35);  // a wisp of smoke in the moonlight
        for (int i = 0; i < 4; ++i) {
            cairo_arc(cr, cx + w * 0.05 + i * 3.0 + random.uniform(-1, 1), base - h - pitch - 4 - i * 6, 2.5 + i, 0,
                      2 * kPi);
            cairo_fill(cr);
        }
    }
    cairo_move_to(cr, x - overhang, base - h);
    cairo_line_to(cr, x + w / 2, base - h - pitch);
    cairo_line_to(cr, x + w + overhang, base - h);
    cairo_close_path(cr);
    set_colour(cr, shade(0x3A1E1E, random.uniform(-0.3, 0.1)));
    cairo_fill(cr);
    // Moonlit snow on the roof, thicker on some houses.
    const double depth = random.uniform(3, 7);
    cairo_move_to(cr, x - overhang - 2, base - h + 2);
    cairo_line_to(cr, x + w / 2, base - h - pitch - 3);
    cairo_line_to(cr, x + w + overhang + 2, base - h + 2);
    cairo_line_to(cr, x + w / 2, base - h - pitch + depth);
    cairo_close_path(cr);
    set_colour(cr, 0xA8B8E0);
    cairo_fill(cr);
    // Warm windows with a glow; some are dark.
    const int windows = 1 + random.below(3);
    const double ww = w * 0.16, wh = h * 0.28, wy = base - h * 0.72;
    for (int i = 0; i < windows; ++i) {
        const double wx = x + w * (i + 0.5) / windows - ww / 2 + (windows == 2 ? (i == 0 ? -3 : 3) : 0);
        const bool lit = random.below(5) != 0;
        if (lit) {
            cairo_pattern_t* glow =
                cairo_pattern_create_radial(wx + ww / 2, wy + wh / 2, 0, wx + ww / 2, wy + wh / 2, ww * 1.8);
            add_stop(glow, 0.0, 0xFFB040, 0.45);
            add_stop(glow, 1.0, 0xFFB040, 0.0);
            cairo_set_source(cr, glow);
            cairo_arc(cr, wx + ww / 2, wy + wh / 2, ww * 1.8, 0, 2 * kPi);
            cairo_fill(cr);
            cairo_pattern_destroy(glow);
        }
        set_colour(cr, lit ? 0xFFC860 : 0x1A2030);
        cairo_rectangle(cr, wx, wy, ww, wh);
        cairo_fill(cr);
        set_colour(cr, 0x201008);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, wx + ww / 2, wy);
        cairo_line_to(cr, wx + ww / 2, wy + wh);
        cairo_move_to(cr, wx, wy + wh / 2);
        cairo_line_to(cr, wx + ww, wy + wh / 2);
        cairo_stroke(cr);
    }
    set_colour(cr, 0x201008);
    cairo_rectangle(cr, x + w * random.uniform(0.15, 0.7), base - h * 0.42, w * 0.15, h * 0.42);
    cairo_fill(cr);
}

void shaded_ball(cairo_t* cr, double x, double y, double r) {
    cairo_pattern_t* pattern = cairo_pattern_create_radial(x - r * 0.35, y - r * 0.4, r * 0.1, x, y, r);
    add_stop(pattern, 0.0, 0xC8D4F0);
    add_stop(pattern, 0.6, 0x8494C4);
    add_stop(pattern, 1.0, 0x3E4C84);
    cairo_set_source(cr, pattern);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

void snowman(cairo_t* cr, double x, double base) {
    set_colour(cr, 0x101838, 0.5);
    cairo_save(cr);
    cairo_translate(cr, x + 4, base);
    cairo_scale(cr, 1.0, 0.22);
    cairo_arc(cr, 0, 0, 36, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_fill(cr);
    shaded_ball(cr, x, base - 28, 30);
    shaded_ball(cr, x, base - 72, 22);
    shaded_ball(cr, x, base - 106, 16);
    // Stick arms.
    set_colour(cr, 0x4A2A14);
    cairo_set_line_width(cr, 2.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x - 18, base - 78);
    cairo_line_to(cr, x - 40, base - 96);
    cairo_move_to(cr, x - 33, base - 90);
    cairo_line_to(cr, x - 38, base - 102);
    cairo_move_to(cr, x + 18, base - 78);
    cairo_line_to(cr, x + 40, base - 90);
    cairo_move_to(cr, x + 32, base - 86);
    cairo_line_to(cr, x + 38, base - 77);
    cairo_stroke(cr);
    // Scarf.
    set_colour(cr, 0x1E9A4A);
    cairo_rectangle(cr, x - 15, base - 94, 30, 7);
    cairo_fill(cr);
    cairo_rectangle(cr, x + 5, base - 90, 8, 22);
    cairo_fill(cr);
    set_colour(cr, 0xD0303A);
    for (double sx : {x - 10, x + 2}) {
        cairo_rectangle(cr, sx, base - 94, 3, 7);
        cairo_fill(cr);
    }
    // Top hat.
    set_colour(cr, 0x15151E);
    cairo_rectangle(cr, x - 18, base - 121, 36, 4);
    cairo_fill(cr);
    cairo_rectangle(cr, x - 11, base - 145, 22, 25);
    cairo_fill(cr);
    set_colour(cr, 0xC0202A);
    cairo_rectangle(cr, x - 11, base - 126, 22, 4);
    cairo_fill(cr);
    // Face and buttons.
    set_colour(cr, 0x15151E);
    for (const auto& [px, py, pr] : std::array<std::array<double, 3>, 7>{{{x - 6, base - 110, 2.2},
                                                                          {x + 6, base - 110, 2.2},
                                                                          {x - 7, base - 99, 1.3},
                                                                          {x, base - 97, 1.3},
                                                                          {x + 7, base - 99, 1.3},
                                                                          {x, base - 62, 2.6},
                                                                          {x, base - 44, 2.8}}}) {
        cairo_arc(cr, px, py, pr, 0, 2 * kPi);
        cairo_fill(cr);
    }
    set_colour(cr, 0xF07820);
    cairo_move_to(cr, x, base - 106);
    cairo_line_to(cr, x + 16, base - 103);
    cairo_line_to(cr, x, base - 101);
    cairo_close_path(cr);
    cairo_fill(cr);
}

void dog(cairo_t* cr, double x, double base) {
    const uint32_t fur = 0xA0642E, dark = 0x5A3016, light = 0xD8B480;
    set_colour(cr, 0x101838, 0.5);
    ellipse(cr, x, base, 42, 8);
    cairo_fill(cr);
    // Tail.
    set_colour(cr, fur);
    cairo_set_line_width(cr, 7);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x - 24, base - 10);
    cairo_curve_to(cr, x - 44, base - 14, x - 46, base - 34, x - 38, base - 44);
    cairo_stroke(cr);
    // Body and haunch.
    set_colour(cr, fur);
    ellipse(cr, x - 4, base - 26, 26, 28);
    cairo_fill(cr);
    set_colour(cr, dark, 0.35);
    ellipse(cr, x - 12, base - 16, 16, 15);
    cairo_fill(cr);
    set_colour(cr, light);
    ellipse(cr, x + 8, base - 30, 10, 18);
    cairo_fill(cr);
    // Front legs and paws.
    set_colour(cr, fur);
    cairo_rectangle(cr, x + 2, base - 30, 9, 28);
    cairo_rectangle(cr, x + 14, base - 30, 9, 28);
    cairo_fill(cr);
    set_colour(cr, light);
    ellipse(cr, x + 7, base - 3, 7, 4);
    ellipse(cr, x + 19, base - 3, 7, 4);
    cairo_fill(cr);
    // Head.
    set_colour(cr, fur);
    cairo_arc(cr, x + 12, base - 66, 20, 0, 2 * kPi);
    cairo_fill(cr);
    set_colour(cr, light);
    ellipse(cr, x + 26, base - 58, 13, 9);
    cairo_fill(cr);
    set_colour(cr, dark);
    ellipse(cr, x - 2, base - 60, 7, 15, 0.35);
    cairo_fill(cr);
    set_colour(cr, 0x1A1010);
    ellipse(cr, x + 37, base - 62, 4.5, 3.5);
    cairo_fill(cr);
    cairo_arc(cr, x + 17, base - 71, 3, 0, 2 * kPi);
    cairo_fill(cr);
    set_colour(cr, 0xFFFFFF);
    cairo_arc(cr, x + 18, base - 72, 1, 0, 2 * kPi);
    cairo_fill(cr);
    // Tongue.
    set_colour(cr, 0xE85870);
    ellipse(cr, x + 27, base - 50, 3.5, 5);
    cairo_fill(cr);
    // Scarf.
    set_colour(cr, 0xD02030);
    ellipse(cr, x + 10, base - 47, 18, 6, -0.1);
    cairo_fill(cr);
    cairo_move_to(cr, x - 2, base - 46);
    cairo_line_to(cr, x - 12, base - 26);
    cairo_line_to(cr, x - 4, base - 24);
    cairo_line_to(cr, x + 4, base - 44);
    cairo_close_path(cr);
    cairo_fill(cr);
    // Santa hat.
    cairo_move_to(cr, x - 6, base - 80);
    cairo_curve_to(cr, x, base - 104, x + 20, base - 110, x + 36, base - 100);
    cairo_line_to(cr, x + 30, base - 80);
    cairo_close_path(cr);
    cairo_fill(cr);
    set_colour(cr, 0xF8F8F8);
    cairo_rectangle(cr, x - 8, base - 84, 40, 7);
    cairo_fill(cr);
    cairo_arc(cr, x + 37, base - 100, 5, 0, 2 * kPi);
    cairo_fill(cr);
}

// Draws a figure whose own drawing spans columns `from` to `to` around its
// anchor, scaled about its foot to fill `columns`, mirrored when asked.
void place_figure(cairo_t* cr, Columns columns, double from, double to, double base, bool mirror,
                  void (*figure)(cairo_t*, double, double)) {
    const double scale = (columns.right - columns.left) / (to - from);
    const double anchor = mirror ? columns.left + to * scale : columns.left - from * scale;
    cairo_save(cr);
    cairo_translate(cr, anchor, base);
    cairo_scale(cr, mirror ? -scale : scale, scale);
    figure(cr, 0.0, 0.0);
    cairo_restore(cr);
}

// The moon with a halo, high enough that most of it is above the greetings.
void moon(cairo_t* cr) {
    cairo_pattern_t* halo = cairo_pattern_create_radial(238, 42, 16, 238, 42, 70);
    add_stop(halo, 0.0, 0xFFF4D0, 0.3);
    add_stop(halo, 1.0, 0xFFF4D0, 0.0);
    cairo_set_source(cr, halo);
    cairo_arc(cr, 238, 42, 70, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(halo);
    set_colour(cr, 0xFFF2D0);
    cairo_arc(cr, 238, 42, 20, 0, 2 * kPi);
    cairo_fill(cr);
    set_colour(cr, 0xD8CCA8, 0.7);
    for (const auto& [cx, cy, r] :
         std::array<std::array<double, 3>, 3>{{{231, 36, 4}, {245, 50, 3.5}, {242, 32, 2.5}}}) {
        cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
        cairo_fill(cr);
    }
}

// Distant mountains with moonlit caps.
void mountains(cairo_t* cr, Random& random) {
    std::array<std::array<double, 2>, 9> peaks = {
        {{-20, 270}, {40, 190}, {90, 240}, {150, 170}, {205, 235}, {250, 200}, {300, 245}, {340, 215}, {360, 270}}};
    for (auto& p : peaks) p[1] += random.uniform(-10, 10);
    cairo_move_to(cr, -20, 300);
    for (const auto& p : peaks) cairo_line_to(cr, p[0], p[1]);
    cairo_line_to(cr, 360, 300);
    cairo_close_path(cr);
    set_colour(cr, 0x1A2450);
    cairo_fill(cr);
    for (std::size_t i = 1; i + 1 < peaks.size(); i += 2) {
        const auto& p = peaks[i];
        const double size = random.uniform(0.8, 1.3);
        cairo_move_to(cr, p[0], p[1]);
        cairo_line_to(cr, p[0] + 18 * size, p[1] + 22 * size);
        cairo_line_to(cr, p[0] + 6 * size, p[1] + 15 * size);
        cairo_line_to(cr, p[0] - 3 * size, p[1] + 24 * size);
        cairo_line_to(cr, p[0] - 18 * size, p[1] + 20 * size);
        cairo_close_path(cr);
        set_colour(cr, 0x6474A8);
        cairo_fill(cr);
    }
}

// The forest on the first slope, then the village below it.
void forest_and_village(cairo_t* cr, Random& random, double width) {
    // Forest on the first slope: every fir its own.
    snowy_hill(cr, width, 480, 275, 262, 280, 0x34447A, 0x222E58);
    for (int i = 0; i < 20; ++i) {
        const double x = i * 17 + random.uniform(-6, 6);
        pine_tree(cr, random, x, 300 + random.uniform(-10, 8), random.uniform(24, 56), 0x0E2A2C, 0x7888B8);
    }
    // The village, in the middle: the snowman and the dog stand at the sides.
    snowy_hill(cr, width, 480, 318, 312, 322, 0x3E4E86, 0x2A3868);
    for (const auto& [x, base, w, h] : std::array<std::array<double, 4>, 4>{
             {{90, 352, 42, 28}, {146, 344, 34, 24}, {196, 350, 30, 22}, {244, 356, 52, 32}}}) {
        house(cr, random, x + random.uniform(-4, 4), base, w * random.uniform(0.9, 1.15), h * random.uniform(0.9, 1.2));
    }
    for (double x : {20.0, 72.0, 138.0, 186.0, 234.0, 306.0}) {
        pine_tree(cr, random, x + random.uniform(-5, 5), 362, random.uniform(34, 50), 0x10302E, 0x7888B8);
    }
}

// The foreground field, its footprints and glints.
void snow_field(cairo_t* cr, Random& random, double width) {
    // Foreground field with footprints leading to the dog.
    snowy_hill(cr, width, 480, 372, 366, 378, 0x4A5A92, 0x6A7AB0);
    set_colour(cr, 0x20285A, 0.6);
    for (int i = 0; i < 9; ++i) {
        ellipse(cr, 150 + i * 10 + (i % 2) * 3, 476 - i * 1.6 + (i % 2) * 4, 2.8, 1.6);
        cairo_fill(cr);
    }
    // Glints where the moon catches the crust of the snow.
    for (int i = 0; i < 26; ++i) {
        const double y = random.uniform(380, 478);
        sparkle(cr, random.uniform(0, width), y, random.uniform(1.5, 3.5) * (y - 340) / 120, 0xC8DCFF,
                random.uniform(0.4, 0.9));
    }
}

}  // namespace

// Under the greetings the show adds text onto rows 60..419 of this picture,
// so everything there stays in the blue of a moonlit night: light snow is
// shaded, the only bright spots are small (stars, windows, the moon).
std::vector<uint32_t> draw_goodboy() {
    constexpr double kWidth = 320, kHeight = 480;
    Canvas canvas(320, 480);
    cairo_t* cr = canvas.cr();
    vertical_gradient(cr, 0, 300, {{0.0, 0x02041A}, {0.5, 0x0A1440}, {0.85, 0x18285C}, {1.0, 0x283A70}}, 0, kWidth);
    Random random(0x600DB01);
    stars(cr, random, 170, kWidth, 230);
    moon(cr);
    // Faint northern lights behind the mountains.
    aurora(cr, kWidth, 200, 12, 1.2, 70, 0x30E890, 0.22);
    aurora(cr, kWidth, 176, 8, 3.4, 50, 0x40B0F0, 0.16);
    mountains(cr, random);
    forest_and_village(cr, random, kWidth);
    snow_field(cr, random, kWidth);
    // The snowman and the dog stand at the two sides, clear of the greetings'
    // columns; the dog looks across at the snowman.
    place_figure(cr, kSnowmanColumns, -41.5, 41.5, 452, false, snowman);
    place_figure(cr, kDogColumns, -48, 42.5, 458, true, dog);
    falling_snow(cr, random, 200, 0, 0, kWidth, kHeight, 0xD0DCFF);
    return canvas.pixels();
}

}  // namespace gf::datagen
