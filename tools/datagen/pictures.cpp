// The eight pictures, drawn with Cairo on RGB24 image surfaces and encoded with
// libjpeg-turbo. Everything random comes from a fixed-seed generator, so every
// run writes the same bytes.
#include "datagen/pictures.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>

#include "writers/jpeg_writer.h"

namespace gf::datagen {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kTextureSize = 256;  // ray textures wrap their coordinates at 256

// --- Small helpers -----------------------------------------------------------

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

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
double mix(double a, double b, double t) { return a + (b - a) * t; }
double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

struct Rgb {
    double r, g, b;
};
constexpr Rgb hex(uint32_t c) { return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0}; }
Rgb mix(Rgb a, Rgb b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
uint32_t pack(Rgb c) {
    auto byte = [](double v) { return static_cast<uint32_t>(std::lround(clamp01(v) * 255.0)); };
    return (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}

void set_colour(cairo_t* cr, uint32_t c, double alpha = 1.0) {
    const Rgb rgb = hex(c);
    cairo_set_source_rgba(cr, rgb.r, rgb.g, rgb.b, alpha);
}
void add_stop(cairo_pattern_t* pattern, double offset, uint32_t c, double alpha = 1.0) {
    const Rgb rgb = hex(c);
    cairo_pattern_add_color_stop_rgba(pattern, offset, rgb.r, rgb.g, rgb.b, alpha);
}

// Hash noise on a lattice of `period` cells per side that wraps, so the sum
// of octaves tiles seamlessly over the picture it is sampled across.
double lattice(int ix, int iy, int period, uint32_t seed) {
    ix = ((ix % period) + period) % period;
    iy = ((iy % period) + period) % period;
    uint32_t h = static_cast<uint32_t>(ix) * 0x8DA6B343u ^ static_cast<uint32_t>(iy) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return (h & 0xFFFFFF) / static_cast<double>(0xFFFFFF);
}

// Value noise in [0, 1] at (u, v) in tile units (0..1 covers the tile once).
double tile_noise(double u, double v, int period, uint32_t seed) {
    const double x = u * period, y = v * period;
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const double fx = smooth(x - ix), fy = smooth(y - iy);
    const double a = mix(lattice(ix, iy, period, seed), lattice(ix + 1, iy, period, seed), fx);
    const double b = mix(lattice(ix, iy + 1, period, seed), lattice(ix + 1, iy + 1, period, seed), fx);
    return mix(a, b, fy);
}

double tile_fractal(double u, double v, int base_period, int octaves, uint32_t seed) {
    double sum = 0.0, weight = 1.0, total = 0.0;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * tile_noise(u, v, base_period << o, seed + static_cast<uint32_t>(o) * 101u);
        total += weight;
        weight *= 0.5;
    }
    return sum / total;
}

// An RGB24 Cairo surface and its context; pixels() reads it back as 0x00RRGGBB.
class Canvas {
public:
    Canvas(int width, int height)
        : width_(width),
          height_(height),
          surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy),
          cr_(cairo_create(surface_.get()), cairo_destroy) {
        if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS ||
            cairo_status(cr_.get()) != CAIRO_STATUS_SUCCESS) {
            throw std::runtime_error("cannot create a " + std::to_string(width) + " x " + std::to_string(height) +
                                     " drawing surface");
        }
        cairo_set_antialias(cr_.get(), CAIRO_ANTIALIAS_GOOD);
    }
    cairo_t* cr() { return cr_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    // Direct pixel access for per-pixel painting; call done_painting afterwards.
    uint32_t* raw() {
        cairo_surface_flush(surface_.get());
        return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_.get()));
    }
    int stride_pixels() const { return cairo_image_surface_get_stride(surface_.get()) / 4; }
    void done_painting() { cairo_surface_mark_dirty(surface_.get()); }

    std::vector<uint32_t> pixels() {
        const uint32_t* data = raw();
        const int stride = stride_pixels();
        std::vector<uint32_t> out(static_cast<std::size_t>(width_) * height_);
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x)
                out[static_cast<std::size_t>(y) * width_ + x] = data[y * stride + x] & 0xFFFFFF;
        }
        return out;
    }
    cairo_surface_t* surface() { return surface_.get(); }

private:
    int width_, height_;
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface_;
    std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr_;
};

// Draws `draw` nine times, shifted by whole tiles, so shapes that cross an
// edge of a tiling texture continue on the opposite side.
void draw_wrapped(cairo_t* cr, const std::function<void()>& draw) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            cairo_save(cr);
            cairo_translate(cr, dx * kTextureSize, dy * kTextureSize);
            draw();
            cairo_restore(cr);
        }
    }
}

enum class Face { sans, sans_bold, serif_bold_italic, sans_oblique };

void select_font(cairo_t* cr, Face face, double size) {
    switch (face) {
        case Face::sans:
            cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
            break;
        case Face::sans_bold:
            cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
            break;
        case Face::sans_oblique:
            cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_OBLIQUE, CAIRO_FONT_WEIGHT_BOLD);
            break;
        case Face::serif_bold_italic:
            cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD);
            break;
    }
    cairo_set_font_size(cr, size);
}

enum class Align { left, centre, right };

// Adds the outline of `text` to the path with its baseline at y, aligned on x.
void text_path(cairo_t* cr, const char* text, double x, double y, Align align) {
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    double left = x - ext.x_bearing;
    if (align == Align::centre) left = x - ext.x_bearing - ext.width / 2.0;
    if (align == Align::right) left = x - ext.x_bearing - ext.width;
    cairo_move_to(cr, left, y);
    cairo_text_path(cr, text);
}

// Largest font size up to `size` at which `text` fits in `max_width`.
double fit_font(cairo_t* cr, Face face, const char* text, double size, double max_width) {
    select_font(cr, face, size);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    if (ext.width > max_width) size *= max_width / ext.width;
    select_font(cr, face, size);
    return size;
}

// Text with a soft glow behind it, a dark outline and a solid or gradient fill.
struct TextStyle {
    uint32_t fill = 0xFFFFFF;
    uint32_t fill_bottom = 0xFFFFFF;  // vertical gradient to this colour
    uint32_t outline = 0x000000;
    double outline_width = 2.0;
    uint32_t glow = 0x000000;
    double glow_alpha = 0.0;
    double glow_width = 8.0;
};

void styled_text(cairo_t* cr, const char* text, double x, double y, Align align, const TextStyle& style) {
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_new_path(cr);
    text_path(cr, text, x, y, align);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    if (style.glow_alpha > 0.0) {
        for (int i = 3; i >= 1; --i) {
            set_colour(cr, style.glow, style.glow_alpha / 3.0);
            cairo_set_line_width(cr, style.glow_width * i / 3.0);
            cairo_stroke_preserve(cr);
        }
    }
    if (style.outline_width > 0.0) {
        set_colour(cr, style.outline);
        cairo_set_line_width(cr, style.outline_width * 2.0);
        cairo_stroke_preserve(cr);
    }
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, y + ext.y_bearing, 0, y + ext.y_bearing + ext.height);
    add_stop(fill, 0.0, style.fill);
    add_stop(fill, 1.0, style.fill_bottom);
    cairo_set_source(cr, fill);
    cairo_fill(cr);
    cairo_pattern_destroy(fill);
}

void vertical_gradient(cairo_t* cr, double y0, double y1, std::initializer_list<std::pair<double, uint32_t>> stops,
                       double x0, double x1) {
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0, y0, 0, y1);
    for (const auto& [offset, colour] : stops) add_stop(pattern, offset, colour);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

// A six-armed ice crystal with two pairs of side branches on every arm.
void snowflake(cairo_t* cr, double cx, double cy, double radius, double angle, double width) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, angle);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int arm = 0; arm < 6; ++arm) {
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, 0, -radius);
        for (double at : {0.45, 0.7}) {
            const double len = radius * (at < 0.5 ? 0.32 : 0.22);
            cairo_move_to(cr, 0, -radius * at);
            cairo_line_to(cr, -len * 0.8, -radius * at - len * 0.6);
            cairo_move_to(cr, 0, -radius * at);
            cairo_line_to(cr, len * 0.8, -radius * at - len * 0.6);
        }
        cairo_rotate(cr, kPi / 3.0);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

// A four-pointed glint with a round glow.
void sparkle(cairo_t* cr, double cx, double cy, double radius, uint32_t colour, double alpha = 1.0) {
    cairo_pattern_t* glow = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius * 0.6);
    add_stop(glow, 0.0, colour, 0.8 * alpha);
    add_stop(glow, 1.0, colour, 0.0);
    cairo_set_source(cr, glow);
    cairo_arc(cr, cx, cy, radius * 0.6, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);
    const double w = radius * 0.14;
    cairo_move_to(cr, cx, cy - radius);
    cairo_line_to(cr, cx + w, cy - w);
    cairo_line_to(cr, cx + radius, cy);
    cairo_line_to(cr, cx + w, cy + w);
    cairo_line_to(cr, cx, cy + radius);
    cairo_line_to(cr, cx - w, cy + w);
    cairo_line_to(cr, cx - radius, cy);
    cairo_line_to(cr, cx - w, cy - w);
    cairo_close_path(cr);
    set_colour(cr, 0xFFFFFF, alpha);
    cairo_fill(cr);
}

void stars(cairo_t* cr, Random& random, int count, double width, double height) {
    for (int i = 0; i < count; ++i) {
        const double x = random.uniform(0, width), y = random.uniform(0, height);
        const double brightness = random.uniform(0.35, 1.0);
        if (random.below(12) == 0) {
            sparkle(cr, x, y, random.uniform(3.0, 6.0), 0xBFD8FF, brightness);
        } else {
            set_colour(cr, 0xFFFFFF, brightness);
            cairo_arc(cr, x, y, random.uniform(0.4, 1.1), 0, 2 * kPi);
            cairo_fill(cr);
        }
    }
}

void falling_snow(cairo_t* cr, Random& random, int count, double width, double height) {
    for (int i = 0; i < count; ++i) {
        const double x = random.uniform(0, width), y = random.uniform(0, height);
        const double r = random.uniform(0.6, 2.2);
        set_colour(cr, 0xFFFFFF, random.uniform(0.5, 0.95));
        cairo_arc(cr, x, y, r, 0, 2 * kPi);
        cairo_fill(cr);
    }
}

// A fir tree of stacked tiers with snow lying on each tier.
void pine_tree(cairo_t* cr, double x, double base, double height, uint32_t colour, bool snow) {
    const int tiers = 4;
    const double width = height * 0.62;
    set_colour(cr, 0x3A2414);
    cairo_rectangle(cr, x - height * 0.05, base - height * 0.12, height * 0.1, height * 0.12);
    cairo_fill(cr);
    for (int t = 0; t < tiers; ++t) {
        const double top = base - height + t * height * 0.2;
        const double bottom = base - height * 0.1 - (tiers - 1 - t) * height * 0.17;
        const double half = width * (0.3 + 0.7 * (t + 1) / tiers) / 2.0;
        cairo_move_to(cr, x, top);
        cairo_line_to(cr, x + half, bottom);
        cairo_line_to(cr, x - half, bottom);
        cairo_close_path(cr);
        set_colour(cr, colour);
        cairo_fill(cr);
        if (snow) {
            cairo_move_to(cr, x, top);
            cairo_line_to(cr, x + half * 0.55, top + (bottom - top) * 0.55);
            cairo_curve_to(cr, x + half * 0.2, top + (bottom - top) * 0.42, x - half * 0.2, top + (bottom - top) * 0.62,
                           x - half * 0.6, top + (bottom - top) * 0.6);
            cairo_close_path(cr);
            set_colour(cr, 0xEAF4FF, 0.9);
            cairo_fill(cr);
        }
    }
}

// --- glimzz.jpg: glittering frost, tiling ------------------------------------

std::vector<uint32_t> draw_glimzz() {
    Canvas canvas(kTextureSize, kTextureSize);
    uint32_t* data = canvas.raw();
    const int stride = canvas.stride_pixels();
    const Rgb deep = hex(0x08204E), ice = hex(0x2F8FD0), pale = hex(0xBCE8FF);
    for (int y = 0; y < kTextureSize; ++y) {
        for (int x = 0; x < kTextureSize; ++x) {
            const double u = x / 256.0, v = y / 256.0;
            const double base = tile_fractal(u, v, 4, 5, 11);
            // Ridged noise gives thin bright veins like frost on a window.
            const double vein = 1.0 - std::abs(2.0 * tile_fractal(u, v, 8, 4, 29) - 1.0);
            Rgb c = mix(deep, ice, smooth(clamp01(base * 1.6 - 0.3)));
            c = mix(c, pale, std::pow(vein, 6.0) * 0.85);
            data[y * stride + x] = pack(c);
        }
    }
    canvas.done_painting();

    cairo_t* cr = canvas.cr();
    Random random(0x611A22);
    for (int i = 0; i < 16; ++i) {
        const double x = random.uniform(0, 256), y = random.uniform(0, 256);
        const double r = random.uniform(9, 26), angle = random.uniform(0, kPi);
        const double alpha = random.uniform(0.45, 0.8);
        draw_wrapped(cr, [&] {
            set_colour(cr, 0xE8F8FF, alpha);
            snowflake(cr, x, y, r, angle, r > 18 ? 1.6 : 1.2);
        });
    }
    for (int i = 0; i < 70; ++i) {
        const double x = random.uniform(0, 256), y = random.uniform(0, 256);
        const double r = random.uniform(2.0, 7.5), alpha = random.uniform(0.6, 1.0);
        const uint32_t tint = random.below(3) == 0 ? 0xFFE9A8 : 0xC8F0FF;
        draw_wrapped(cr, [&] { sparkle(cr, x, y, r, tint, alpha); });
    }
    // Single-pixel glitter.
    for (int i = 0; i < 300; ++i) {
        const double x = std::floor(random.uniform(0, 256)), y = std::floor(random.uniform(0, 256));
        set_colour(cr, 0xFFFFFF, random.uniform(0.5, 1.0));
        cairo_rectangle(cr, x, y, 1, 1);
        cairo_fill(cr);
    }
    return canvas.pixels();
}

// --- muur.jpg: a frosted brick wall, tiling ----------------------------------

std::vector<uint32_t> draw_muur() {
    constexpr int kBrickWidth = 64, kBrickHeight = 32, kMortar = 3, kBevel = 3;
    Canvas canvas(kTextureSize, kTextureSize);
    uint32_t* data = canvas.raw();
    const int stride = canvas.stride_pixels();
    Random random(0x3A0052);
    std::array<Rgb, 32> brick_colour{};  // 8 courses of 4 bricks
    const std::array<uint32_t, 4> tones = {0x8E3B2A, 0xA04A30, 0x7A3224, 0x96452E};
    for (Rgb& c : brick_colour) {
        c = mix(hex(tones[random.below(4)]), hex(0x5A4A48), random.uniform(0.0, 0.25));
    }
    const Rgb mortar = hex(0xA9A7A2), frost = hex(0xDDEEFF);
    // The pattern is moved by half a brick height and a quarter brick width so
    // the texture's wrap edges cut through bricks, never along a joint.
    constexpr int kOffsetX = kBrickWidth / 4, kOffsetY = kBrickHeight / 2;
    for (int y = 0; y < kTextureSize; ++y) {
        const int course = ((y + kOffsetY) % kTextureSize) / kBrickHeight;
        const int ly = (y + kOffsetY) % kBrickHeight;
        const int shift = (course % 2) * (kBrickWidth / 2);  // stretcher bond
        for (int x = 0; x < kTextureSize; ++x) {
            const int sx = (x + shift + kOffsetX) % kTextureSize;
            const int lx = sx % kBrickWidth;
            const double u = x / 256.0, v = y / 256.0;
            const double grain = tile_fractal(u, v, 32, 3, 7);
            Rgb c;
            if (lx < kMortar || ly < kMortar) {
                c = mix(mortar, hex(0x6E6C68), grain * 0.8);
            } else {
                c = brick_colour[course * 4 + sx / kBrickWidth];
                c = mix(c, hex(0x3A1A12), (grain - 0.5) * 0.9 + 0.15);
                // Light from the top left: lit upper and left edges, shaded lower and right.
                if (ly < kMortar + kBevel || lx < kMortar + kBevel) c = mix(c, hex(0xE0A080), 0.3);
                if (ly >= kBrickHeight - kBevel || lx >= kBrickWidth - kBevel) c = mix(c, hex(0x200C08), 0.45);
            }
            // Frost: patches from large-scale noise, heaviest on the top of each brick.
            const double patch = tile_fractal(u, v, 4, 4, 91);
            double cover = smooth(clamp01((patch - 0.55) * 3.0)) * 0.5;
            if (ly >= kMortar && ly < kMortar + 4) cover = std::max(cover, 0.8 - (ly - kMortar) * 0.18);
            const double speck = tile_noise(u, v, 128, 5) > 0.82 ? 0.4 : 0.0;
            c = mix(c, frost, clamp01(cover + speck * cover));
            data[y * stride + x] = pack(c);
        }
    }
    canvas.done_painting();
    return canvas.pixels();
}

// --- presents.jpg: the title card --------------------------------------------

void aurora(cairo_t* cr, double width, double base, double amplitude, double phase, double height, uint32_t colour,
            double alpha) {
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0, base - height, 0, base + amplitude);
    add_stop(pattern, 0.0, colour, 0.0);
    add_stop(pattern, 0.75, colour, alpha);
    add_stop(pattern, 1.0, colour, 0.0);
    cairo_move_to(cr, 0, base);
    for (double x = 0; x <= width; x += 4) {
        cairo_line_to(cr, x, base + amplitude * std::sin(x / width * 2.6 * kPi + phase));
    }
    for (double x = width; x >= 0; x -= 4) {
        cairo_line_to(cr, x, base - height + amplitude * 0.6 * std::sin(x / width * 2.1 * kPi + phase * 1.7));
    }
    cairo_close_path(cr);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

void snowy_hill(cairo_t* cr, double width, double bottom, double y_left, double y_mid, double y_right,
                uint32_t top_colour, uint32_t bottom_colour) {
    cairo_move_to(cr, 0, bottom);
    cairo_line_to(cr, 0, y_left);
    cairo_curve_to(cr, width * 0.25, y_mid - 10, width * 0.55, y_mid + 12, width * 0.75, y_mid);
    cairo_curve_to(cr, width * 0.85, y_mid - 5, width * 0.95, y_right, width, y_right);
    cairo_line_to(cr, width, bottom);
    cairo_close_path(cr);
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0, std::min(y_left, y_mid) - 10, 0, bottom);
    add_stop(pattern, 0.0, top_colour);
    add_stop(pattern, 1.0, bottom_colour);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

std::vector<uint32_t> draw_presents() {
    Canvas canvas(320, 200);
    cairo_t* cr = canvas.cr();
    vertical_gradient(cr, 0, 200, {{0.0, 0x060A2E}, {0.45, 0x1B2368}, {0.75, 0x4A3C8C}, {1.0, 0x7A5AA0}}, 0, 320);
    Random random(0x9E5E);
    stars(cr, random, 140, 320, 150);
    aurora(cr, 320, 70, 14, 0.3, 60, 0x3CFF9A, 0.55);
    aurora(cr, 320, 88, 10, 2.1, 50, 0x2AD8E0, 0.45);
    aurora(cr, 320, 56, 8, 4.0, 40, 0xC060FF, 0.3);
    // Vertical rays make the bands read as curtains of light.
    for (double x = 0; x < 320; x += random.uniform(2.0, 5.0)) {
        const double foot = 70 + 14 * std::sin(x / 320 * 2.6 * kPi + 0.3);
        cairo_pattern_t* ray = cairo_pattern_create_linear(0, foot - 70, 0, foot + 8);
        add_stop(ray, 0.0, 0x9AFFD0, 0.0);
        add_stop(ray, 0.8, 0x9AFFD0, random.uniform(0.05, 0.22));
        add_stop(ray, 1.0, 0x9AFFD0, 0.0);
        cairo_rectangle(cr, x, foot - 70, random.uniform(0.8, 1.8), 78);
        cairo_set_source(cr, ray);
        cairo_fill(cr);
        cairo_pattern_destroy(ray);
    }

    snowy_hill(cr, 320, 200, 150, 140, 158, 0xB8C8F0, 0x6070B0);
    for (int i = 0; i < 14; ++i) {
        const double x = 8 + i * 23.5 + random.uniform(-6, 6);
        pine_tree(cr, x, 162 + random.uniform(-4, 6), random.uniform(26, 40), 0x14304A, true);
    }
    snowy_hill(cr, 320, 200, 178, 172, 170, 0xF4F8FF, 0xA8B8E8);
    falling_snow(cr, random, 90, 320, 200);

    fit_font(cr, Face::sans_bold, "GLIMMERFROST", 44, 296);
    TextStyle title;
    title.fill = 0xFFFFFF;
    title.fill_bottom = 0x7FD4FF;
    title.outline = 0x0A1440;
    title.outline_width = 1.6;
    title.glow = 0x9FE8FF;
    title.glow_alpha = 0.55;
    title.glow_width = 12;
    styled_text(cr, "GLIMMERFROST", 160, 100, Align::centre, title);
    select_font(cr, Face::sans_oblique, 19);
    TextStyle sub;
    sub.fill = 0xFFE9A0;
    sub.fill_bottom = 0xF0A830;
    sub.outline = 0x2A1030;
    sub.outline_width = 1.2;
    styled_text(cr, "presents", 160, 128, Align::centre, sub);
    for (double x : {70.0, 250.0}) sparkle(cr, x, 121, 7, 0xFFE9A0);
    return canvas.pixels();
}

// --- credits.jpg --------------------------------------------------------------

std::vector<uint32_t> draw_credits() {
    Canvas canvas(320, 200);
    cairo_t* cr = canvas.cr();
    vertical_gradient(cr, 0, 200, {{0.0, 0x081838}, {1.0, 0x10305A}}, 0, 320);
    Random random(0xC4ED17);
    for (int i = 0; i < 12; ++i) {
        set_colour(cr, 0x9FD0FF, 0.14);
        snowflake(cr, random.uniform(0, 320), random.uniform(0, 200), random.uniform(12, 34), random.uniform(0, kPi),
                  2.0);
    }
    // Frame with rounded corners.
    const double r = 10, x0 = 8, y0 = 8, x1 = 312, y1 = 192;
    cairo_new_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -kPi / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, kPi / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, kPi / 2, kPi);
    cairo_arc(cr, x0 + r, y0 + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    set_colour(cr, 0x8FD8FF);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);

    select_font(cr, Face::sans_bold, 30);
    TextStyle title;
    title.fill = 0xFFFFFF;
    title.fill_bottom = 0x8FD8FF;
    title.outline = 0x02081C;
    title.outline_width = 1.5;
    styled_text(cr, "CREDITS", 160, 46, Align::centre, title);
    set_colour(cr, 0x8FD8FF);
    cairo_rectangle(cr, 60, 56, 200, 2);
    cairo_fill(cr);

    struct Line {
        const char* role;
        const char* name;
    };
    const std::array<Line, 3> lines = {{{"CODE", "Nordlys"}, {"MUSIC", "Sleighbeat"}, {"GRAPHICS", "Pixelfrost"}}};
    TextStyle role;
    role.fill = 0xFFD060;
    role.fill_bottom = 0xFFB030;
    role.outline = 0x02081C;
    role.outline_width = 1.0;
    TextStyle name;
    name.fill = 0xFFFFFF;
    name.fill_bottom = 0xFFFFFF;
    name.outline = 0x02081C;
    name.outline_width = 1.2;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double y = 90 + 28 * static_cast<double>(i);
        select_font(cr, Face::sans_bold, 14);
        styled_text(cr, lines[i].role, 150, y, Align::right, role);
        select_font(cr, Face::sans_bold, 19);
        styled_text(cr, lines[i].name, 164, y, Align::left, name);
        set_colour(cr, 0xFFD060);
        cairo_arc(cr, 157, y - 5, 1.8, 0, 2 * kPi);
        cairo_fill(cr);
    }
    select_font(cr, Face::sans_oblique, 12);
    TextStyle foot;
    foot.fill = 0xBFE6FF;
    foot.fill_bottom = 0x8FD8FF;
    foot.outline_width = 0.0;
    styled_text(cr, "a Glimmerfrost production", 160, 178, Align::centre, foot);
    return canvas.pixels();
}

// --- goodboy.jpg: the tall scrolling winter scene -----------------------------

void house(cairo_t* cr, double x, double base, double w, double h, uint32_t wall) {
    set_colour(cr, wall);
    cairo_rectangle(cr, x, base - h, w, h);
    cairo_fill(cr);
    // Chimney, roof and the snow on it.
    set_colour(cr, 0x4A2A20);
    cairo_rectangle(cr, x + w * 0.68, base - h - h * 0.75, w * 0.12, h * 0.5);
    cairo_fill(cr);
    cairo_move_to(cr, x - 5, base - h);
    cairo_line_to(cr, x + w / 2, base - h - h * 0.65);
    cairo_line_to(cr, x + w + 5, base - h);
    cairo_close_path(cr);
    set_colour(cr, 0x5A2A2A);
    cairo_fill(cr);
    cairo_move_to(cr, x - 7, base - h + 2);
    cairo_line_to(cr, x + w / 2, base - h - h * 0.65 - 3);
    cairo_line_to(cr, x + w + 7, base - h + 2);
    cairo_line_to(cr, x + w / 2, base - h - h * 0.65 + 5);
    cairo_close_path(cr);
    set_colour(cr, 0xF4F8FF);
    cairo_fill(cr);
    // Warm windows with a glow.
    for (double wx : {x + w * 0.18, x + w * 0.6}) {
        const double wy = base - h * 0.7, ww = w * 0.22, wh = h * 0.3;
        cairo_pattern_t* glow =
            cairo_pattern_create_radial(wx + ww / 2, wy + wh / 2, 0, wx + ww / 2, wy + wh / 2, ww * 1.6);
        add_stop(glow, 0.0, 0xFFC860, 0.5);
        add_stop(glow, 1.0, 0xFFC860, 0.0);
        cairo_set_source(cr, glow);
        cairo_arc(cr, wx + ww / 2, wy + wh / 2, ww * 1.6, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(glow);
        set_colour(cr, 0xFFD878);
        cairo_rectangle(cr, wx, wy, ww, wh);
        cairo_fill(cr);
        set_colour(cr, 0x3A2010);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, wx + ww / 2, wy);
        cairo_line_to(cr, wx + ww / 2, wy + wh);
        cairo_move_to(cr, wx, wy + wh / 2);
        cairo_line_to(cr, wx + ww, wy + wh / 2);
        cairo_stroke(cr);
    }
    set_colour(cr, 0x3A2010);
    cairo_rectangle(cr, x + w * 0.4, base - h * 0.45, w * 0.2, h * 0.45);
    cairo_fill(cr);
}

void shaded_ball(cairo_t* cr, double x, double y, double r) {
    cairo_pattern_t* pattern = cairo_pattern_create_radial(x - r * 0.35, y - r * 0.4, r * 0.1, x, y, r);
    add_stop(pattern, 0.0, 0xFFFFFF);
    add_stop(pattern, 0.7, 0xE4EEFA);
    add_stop(pattern, 1.0, 0xA8BCE0);
    cairo_set_source(cr, pattern);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

void snowman(cairo_t* cr, double x, double base) {
    set_colour(cr, 0x8090C0, 0.5);
    cairo_save(cr);
    cairo_translate(cr, x + 8, base);
    cairo_scale(cr, 1.0, 0.22);
    cairo_arc(cr, 0, 0, 40, 0, 2 * kPi);
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
    cairo_line_to(cr, x - 48, base - 98);
    cairo_move_to(cr, x - 40, base - 93);
    cairo_line_to(cr, x - 46, base - 104);
    cairo_move_to(cr, x + 18, base - 78);
    cairo_line_to(cr, x + 46, base - 90);
    cairo_move_to(cr, x + 38, base - 87);
    cairo_line_to(cr, x + 44, base - 78);
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

void ellipse(cairo_t* cr, double x, double y, double rx, double ry, double angle = 0.0) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angle);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
}

// The good boy: a sitting dog in a Santa hat and a red scarf.
void dog(cairo_t* cr, double x, double base) {
    const uint32_t fur = 0xB0703A, dark = 0x6A3A1A, light = 0xE8C490;
    set_colour(cr, 0x8090C0, 0.5);
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

std::vector<uint32_t> draw_goodboy() {
    constexpr double kWidth = 320, kHeight = 480;
    Canvas canvas(320, 480);
    cairo_t* cr = canvas.cr();
    vertical_gradient(cr, 0, 300, {{0.0, 0x050A24}, {0.5, 0x14286A}, {0.85, 0x3A5AA8}, {1.0, 0x7A90D0}}, 0, kWidth);
    Random random(0x600DB01);
    stars(cr, random, 160, kWidth, 230);
    // Moon with a halo.
    cairo_pattern_t* halo = cairo_pattern_create_radial(236, 78, 20, 236, 78, 80);
    add_stop(halo, 0.0, 0xFFF4D0, 0.45);
    add_stop(halo, 1.0, 0xFFF4D0, 0.0);
    cairo_set_source(cr, halo);
    cairo_arc(cr, 236, 78, 80, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(halo);
    set_colour(cr, 0xFFF6DA);
    cairo_arc(cr, 236, 78, 26, 0, 2 * kPi);
    cairo_fill(cr);
    set_colour(cr, 0xE0D4B0, 0.7);
    for (const auto& [cx, cy, cr_] : std::array<std::array<double, 3>, 3>{{{228, 70, 5}, {245, 88, 4}, {240, 66, 3}}}) {
        cairo_arc(cr, cx, cy, cr_, 0, 2 * kPi);
        cairo_fill(cr);
    }
    // Distant mountains with snow caps.
    const std::array<std::array<double, 2>, 9> peaks = {
        {{-20, 270}, {40, 190}, {90, 240}, {150, 170}, {205, 235}, {250, 200}, {300, 245}, {340, 215}, {360, 270}}};
    cairo_move_to(cr, -20, 300);
    for (const auto& p : peaks) cairo_line_to(cr, p[0], p[1]);
    cairo_line_to(cr, 360, 300);
    cairo_close_path(cr);
    set_colour(cr, 0x3A4C88);
    cairo_fill(cr);
    for (std::size_t i = 1; i + 1 < peaks.size(); i += 2) {
        const auto& p = peaks[i];
        cairo_move_to(cr, p[0], p[1]);
        cairo_line_to(cr, p[0] + 18, p[1] + 22);
        cairo_line_to(cr, p[0] + 6, p[1] + 17);
        cairo_line_to(cr, p[0] - 4, p[1] + 24);
        cairo_line_to(cr, p[0] - 18, p[1] + 20);
        cairo_close_path(cr);
        set_colour(cr, 0xDCE6FF);
        cairo_fill(cr);
    }
    // Forest on the first slope.
    snowy_hill(cr, kWidth, 480, 275, 262, 280, 0xC8D6F8, 0x8090C8);
    for (int i = 0; i < 18; ++i) {
        const double x = i * 19 + random.uniform(-5, 5);
        pine_tree(cr, x, 300 + random.uniform(-8, 8), random.uniform(30, 52), 0x143A38, true);
    }
    // The village.
    snowy_hill(cr, kWidth, 480, 318, 312, 322, 0xE8EEFF, 0x9AA8D8);
    house(cr, 30, 352, 46, 30, 0x7A4A38);
    house(cr, 120, 346, 40, 26, 0x5A6A8A);
    house(cr, 230, 356, 54, 34, 0x8A5A40);
    for (double x : {100.0, 200.0, 300.0}) pine_tree(cr, x, 360, 44, 0x1A4A3A, true);
    // Foreground field with footprints leading to the dog.
    snowy_hill(cr, kWidth, 480, 372, 366, 378, 0xFAFCFF, 0xC0CCEE);
    set_colour(cr, 0x98A8D8, 0.6);
    for (int i = 0; i < 9; ++i) {
        ellipse(cr, 300 - i * 9 + (i % 2) * 3, 470 - i * 3.2 + (i % 2) * 4, 2.8, 1.6);
        cairo_fill(cr);
    }
    snowman(cr, 66, 452);
    dog(cr, 206, 458);
    falling_snow(cr, random, 240, kWidth, kHeight);
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
        fit_font(cr, Face::sans_bold, bands[i].big, i == 0 ? 34 : 24, 232);
        TextStyle big;
        big.fill = bands[i].top;
        big.fill_bottom = bands[i].bottom;
        big.outline_width = 0.0;
        big.glow = bands[i].bottom;
        big.glow_alpha = 0.35;
        big.glow_width = 6;
        styled_text(cr, bands[i].big, 160, top + 42, Align::centre, big);
        fit_font(cr, Face::sans, bands[i].small, 13, 244);
        TextStyle small;
        small.fill = 0xE8F4FF;
        small.fill_bottom = 0xC8E4FF;
        small.outline_width = 0.0;
        styled_text(cr, bands[i].small, 160, top + 64, Align::centre, small);
        for (int s = 0; s < 6; ++s) {
            const double x = s < 3 ? random.uniform(10, 32) : random.uniform(288, 310);
            sparkle(cr, x, top + random.uniform(14, 66), random.uniform(3, 7), bands[i].bottom);
        }
        cairo_restore(cr);
    }
    return canvas.pixels();
}

// --- boem.jpg: the comic burst -------------------------------------------------

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
            const double r = clamp01((d - 0.55) * 1.2) * 3.6;
            if (r < 0.3) continue;
            set_colour(cr, 0x90D0FF, 0.55);
            cairo_arc(cr, x, y, r, 0, 2 * kPi);
            cairo_fill(cr);
        }
    }
    Random random(0xB0E3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    star_burst(cr, cx, cy + 2, 14, 92, 58, random);
    set_colour(cr, 0xFF3020);
    cairo_fill_preserve(cr);
    set_colour(cr, 0x000000);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
    star_burst(cr, cx, cy + 2, 12, 74, 50, random);
    cairo_pattern_t* core = cairo_pattern_create_radial(cx, cy, 5, cx, cy, 90);
    add_stop(core, 0.0, 0xFFFFD0);
    add_stop(core, 0.5, 0xFFE830);
    add_stop(core, 1.0, 0xFFA010);
    cairo_set_source(cr, core);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(core);
    set_colour(cr, 0x000000);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
    // Flying snowflakes knocked loose by the blast.
    for (int i = 0; i < 10; ++i) {
        const double angle = random.uniform(0, 2 * kPi), dist = random.uniform(120, 170);
        const double x = cx + std::cos(angle) * dist, y = cy + std::sin(angle) * dist * 0.62;
        set_colour(cr, 0xFFFFFF, 0.9);
        snowflake(cr, x, y, random.uniform(6, 11), angle, 1.8);
    }
    // The word, tilted, with a hard offset shadow.
    cairo_save(cr);
    cairo_translate(cr, cx, cy + 22);
    cairo_rotate(cr, -0.14);
    fit_font(cr, Face::sans_bold, "BOEM!", 72, 230);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_new_path(cr);
    text_path(cr, "BOEM!", 6, 6, Align::centre);
    set_colour(cr, 0x000000);
    cairo_fill(cr);
    TextStyle word;
    word.fill = 0xFFFFFF;
    word.fill_bottom = 0xFF4030;
    word.outline = 0x000000;
    word.outline_width = 3.0;
    styled_text(cr, "BOEM!", 0, 0, Align::centre, word);
    cairo_restore(cr);
    return canvas.pixels();
}

// --- kerst.jpg: the Christmas card --------------------------------------------

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
    for (int i = 0; i < 6; ++i) {
        snowflake(cr, random.uniform(120, 320), random.uniform(0, 200), random.uniform(14, 30), random.uniform(0, kPi),
                  2.5);
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

    fit_font(cr, Face::serif_bold_italic, "Merry", 40, 150);
    TextStyle gold;
    gold.fill = 0xFFF2B0;
    gold.fill_bottom = 0xE8A820;
    gold.outline = 0x3A0008;
    gold.outline_width = 1.5;
    gold.glow = 0xFFD060;
    gold.glow_alpha = 0.35;
    gold.glow_width = 8;
    styled_text(cr, "Merry", 228, 68, Align::centre, gold);
    fit_font(cr, Face::serif_bold_italic, "Christmas", 40, 170);
    styled_text(cr, "Christmas", 228, 108, Align::centre, gold);
    select_font(cr, Face::sans_bold, 13);
    TextStyle white;
    white.fill = 0xFFFFFF;
    white.fill_bottom = 0xDCEBFF;
    white.outline = 0x3A0008;
    white.outline_width = 1.0;
    styled_text(cr, "and a frosty New Year", 228, 134, Align::centre, white);
    select_font(cr, Face::sans_oblique, 11);
    TextStyle signature;
    signature.fill = 0xBFE6FF;
    signature.fill_bottom = 0x8FD8FF;
    signature.outline = 0x3A0008;
    signature.outline_width = 0.8;
    styled_text(cr, "- Glimmerfrost -", 228, 154, Align::centre, signature);
    holly(cr, 300, 16, 0.5);
    holly(cr, 150, 14, -0.3);
    falling_snow(cr, random, 110, 320, 200);
    return canvas.pixels();
}

struct PictureRecipe {
    const char* file;
    int width;
    int height;
    std::vector<uint32_t> (*draw)();
};

// Slot order of the show.
constexpr std::array<PictureRecipe, 8> kRecipes = {{
    {"glimzz.jpg", 256, 256, draw_glimzz},
    {"muur.jpg", 256, 256, draw_muur},
    {"credits.jpg", 320, 200, draw_credits},
    {"presents.jpg", 320, 200, draw_presents},
    {"goodboy.jpg", 320, 480, draw_goodboy},
    {"finalgrtz.jpg", 320, 400, draw_finalgrtz},
    {"boem.jpg", 320, 200, draw_boem},
    {"kerst.jpg", 320, 200, draw_kerst},
}};

// Contact sheet layout: the 320 × 200 cards on the first row, the tall ones
// and the textures on the second.
constexpr int kSheetMargin = 16;
constexpr int kSheetLabel = 18;
constexpr int kSheetWidth = 4 * 320 + 5 * kSheetMargin;
constexpr int kSheetRow2 = kSheetMargin + 200 + kSheetLabel + kSheetMargin;
constexpr int kSheetHeight = kSheetRow2 + 480 + kSheetLabel + kSheetMargin;

}  // namespace

std::vector<Picture> draw_pictures() {
    std::vector<Picture> pictures;
    for (const PictureRecipe& recipe : kRecipes) {
        pictures.push_back({recipe.file, recipe.width, recipe.height, recipe.draw()});
    }
    return pictures;
}

WriteResult write_pictures(const std::string& dir) {
    jpegw::JpegOptions options;
    options.quality = kPictureQuality;
    options.scan = jpegw::ScanMode::baseline;
    options.chroma = jpegw::ChromaMode::full;  // keeps thin coloured text and glints crisp
    std::vector<Picture> pictures;
    try {
        pictures = draw_pictures();
    } catch (const std::exception& error) {
        return {false, dir + ": drawing the pictures failed: " + error.what()};
    }
    for (const Picture& picture : pictures) {
        const std::string path = dir + "/" + picture.file;
        std::vector<uint8_t> bytes;
        jpegw::JpegResult result =
            jpegw::encode_jpeg(picture.pixels.data(), picture.width, picture.height, options, bytes);
        if (!result.ok) return {false, path + ": " + result.message};
        result = jpegw::write_bytes(path, bytes);
        if (!result.ok) return {false, result.message};
    }
    return {};
}

SheetSlot contact_sheet_slot(int index) {
    // Cards: credits, presents, boem, kerst on row one; goodboy, finalgrtz,
    // glimzz, muur on row two.
    static constexpr std::array<int, 8> column = {2, 3, 0, 1, 0, 1, 2, 3};
    static constexpr std::array<int, 8> row = {1, 1, 0, 0, 1, 1, 0, 0};
    const int i = std::clamp(index, 0, 7);
    return {kSheetMargin + column[i] * (320 + kSheetMargin), row[i] == 0 ? kSheetMargin : kSheetRow2};
}

static WriteResult draw_contact_sheet(const std::vector<Picture>& pictures, const std::string& path, Picture* sheet) {
    Canvas canvas(kSheetWidth, kSheetHeight);
    cairo_t* cr = canvas.cr();
    set_colour(cr, 0x202028);
    cairo_paint(cr);
    for (std::size_t i = 0; i < pictures.size() && i < 8; ++i) {
        const Picture& picture = pictures[i];
        if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
            return {false, picture.file + ": pixel count does not match its size"};
        }
        const SheetSlot slot = contact_sheet_slot(static_cast<int>(i));
        uint32_t* data = canvas.raw();
        const int stride = canvas.stride_pixels();
        for (int y = 0; y < picture.height && slot.y + y < kSheetHeight; ++y) {
            for (int x = 0; x < picture.width && slot.x + x < kSheetWidth; ++x) {
                data[(slot.y + y) * stride + slot.x + x] =
                    picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            }
        }
        canvas.done_painting();
        const std::string label =
            picture.file + "  " + std::to_string(picture.width) + " x " + std::to_string(picture.height);
        select_font(cr, Face::sans, 12);
        set_colour(cr, 0xD0D0E0);
        cairo_move_to(cr, slot.x, slot.y + picture.height + 13);
        cairo_show_text(cr, label.c_str());
    }
    if (sheet != nullptr) *sheet = {path, kSheetWidth, kSheetHeight, canvas.pixels()};
    cairo_surface_flush(canvas.surface());
    if (cairo_surface_write_to_png(canvas.surface(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        return {false, path + ": cannot write the contact sheet"};
    }
    return {};
}

WriteResult write_contact_sheet(const std::vector<Picture>& pictures, const std::string& path, Picture* sheet) {
    try {
        return draw_contact_sheet(pictures, path, sheet);
    } catch (const std::exception& error) {
        return {false, path + ": " + error.what()};
    }
}

}  // namespace gf::datagen
