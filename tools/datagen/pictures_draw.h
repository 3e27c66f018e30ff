// Drawing helpers shared by the picture recipes: a fixed-seed random source,
// colours, tiling noise, a Cairo canvas with every rendering option pinned,
// and the small shapes (flakes, glints, stars, trees, hills) the winter
// scenes are built from. Text is drawn with the bitmap fonts of pixel_font.h.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

namespace gf::datagen {

constexpr double kPi = std::numbers::pi;
constexpr int kTextureSize = 256;  // ray textures wrap their coordinates at 256

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }

private:
    uint64_t state_;
};

double clamp01(double v);
double mix(double a, double b, double t);
double smooth(double t);

struct Rgb {
    double r, g, b;
};
constexpr Rgb hex(uint32_t c) { return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0}; }
Rgb mix(Rgb a, Rgb b, double t);
uint32_t pack(Rgb c);
// A colour moved toward black (amount < 0) or white (amount > 0).
uint32_t shade(uint32_t colour, double amount);

void set_colour(cairo_t* cr, uint32_t c, double alpha = 1.0);
void add_stop(cairo_pattern_t* pattern, double offset, uint32_t c, double alpha = 1.0);

// Value noise in [0, 1] at (u, v) in tile units; it wraps every tile, so the
// sum of octaves tiles seamlessly over the picture it is sampled across.
double tile_noise(double u, double v, int period, uint32_t seed);
double tile_fractal(double u, double v, int base_period, int octaves, uint32_t seed);

// An RGB24 Cairo surface and its context, with the shape rendering options
// set explicitly so no library default decides the pixels.
class Canvas {
public:
    Canvas(int width, int height);
    cairo_t* cr() { return cr_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    // Direct pixel access for per-pixel painting; call done_painting afterwards.
    uint32_t* raw();
    int stride_pixels() const;
    void done_painting();
    std::vector<uint32_t> pixels();  // 0x00RRGGBB, top row first
    cairo_surface_t* surface() { return surface_.get(); }

private:
    int width_, height_;
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface_;
    std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr_;
};

// Draws `draw` nine times, shifted by whole tiles, so shapes that cross an
// edge of a tiling texture continue on the opposite side.
void draw_wrapped(cairo_t* cr, const std::function<void()>& draw);

void vertical_gradient(cairo_t* cr, double y0, double y1, std::initializer_list<std::pair<double, uint32_t>> stops,
                       double x0, double x1);
void ellipse(cairo_t* cr, double x, double y, double rx, double ry, double angle = 0.0);

// A six-armed ice crystal; the random source decides how many side branches
// each arm has, where they sit and how long they are, so no two match.
void snowflake(cairo_t* cr, Random& random, double cx, double cy, double radius, double width);
// A four-pointed glint with a round glow.
void sparkle(cairo_t* cr, double cx, double cy, double radius, uint32_t colour, double alpha = 1.0);
void stars(cairo_t* cr, Random& random, int count, double width, double height);
// Round flakes of `colour` scattered over the rectangle.
void falling_snow(cairo_t* cr, Random& random, int count, double x0, double y0, double width, double height,
                  uint32_t colour = 0xFFFFFF);

// A fir tree: the random source varies its tier count, slimness, lean, hue
// and how much snow lies on it.
void pine_tree(cairo_t* cr, Random& random, double x, double base, double height, uint32_t colour, uint32_t snow);

// A curtain of northern lights: a wavy band `height` tall whose lower edge
// follows `base`, fading in from the top and out at the foot.
void aurora(cairo_t* cr, double width, double base, double amplitude, double phase, double height, uint32_t colour,
            double alpha);

// A rolling snowfield from y_left to y_right across the width, filled with a
// vertical gradient down to `bottom`.
void snowy_hill(cairo_t* cr, double width, double bottom, double y_left, double y_mid, double y_right,
                uint32_t top_colour, uint32_t bottom_colour);

}  // namespace gf::datagen
