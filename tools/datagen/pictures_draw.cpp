// The shared drawing helpers.
#include "datagen/pictures_draw.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace gf::datagen {

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
double mix(double a, double b, double t) { return a + (b - a) * t; }
double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

Rgb mix(Rgb a, Rgb b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
uint32_t pack(Rgb c) {
    auto byte = [](double v) { return static_cast<uint32_t>(std::lround(clamp01(v) * 255.0)); };
    return (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}
uint32_t shade(uint32_t colour, double amount) {
    return pack(mix(hex(colour), amount < 0 ? Rgb{0, 0, 0} : Rgb{1, 1, 1}, std::abs(amount)));
}

void set_colour(cairo_t* cr, uint32_t c, double alpha) {
    const Rgb rgb = hex(c);
    cairo_set_source_rgba(cr, rgb.r, rgb.g, rgb.b, alpha);
}
void add_stop(cairo_pattern_t* pattern, double offset, uint32_t c, double alpha) {
    const Rgb rgb = hex(c);
    cairo_pattern_add_color_stop_rgba(pattern, offset, rgb.r, rgb.g, rgb.b, alpha);
}

namespace {

double lattice(int ix, int iy, int period, uint32_t seed) {
    ix = ((ix % period) + period) % period;
    iy = ((iy % period) + period) % period;
    uint32_t h = static_cast<uint32_t>(ix) * 0x8DA6B343u ^ static_cast<uint32_t>(iy) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return (h & 0xFFFFFF) / static_cast<double>(0xFFFFFF);
}

}  // namespace

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

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy),
      cr_(cairo_create(surface_.get()), cairo_destroy) {
    if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_status(cr_.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cannot create a " + std::to_string(width) + " x " + std::to_string(height) +
                                 " drawing surface");
    }
    cairo_t* cr = cr_.get();
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GOOD);
    cairo_set_tolerance(cr, 0.1);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    // Black to start with, whatever the allocator handed over.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
}

uint32_t* Canvas::raw() {
    cairo_surface_flush(surface_.get());
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_.get()));
}
int Canvas::stride_pixels() const { return cairo_image_surface_get_stride(surface_.get()) / 4; }
void Canvas::done_painting() { cairo_surface_mark_dirty(surface_.get()); }

std::vector<uint32_t> Canvas::pixels() {
    const uint32_t* data = raw();
    const int stride = stride_pixels();
    std::vector<uint32_t> out(static_cast<std::size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x)
            out[static_cast<std::size_t>(y) * width_ + x] = data[y * stride + x] & 0xFFFFFF;
    }
    return out;
}

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

// --- Shapes ----------------------------------------------------------------------

void vertical_gradient(cairo_t* cr, double y0, double y1, std::initializer_list<std::pair<double, uint32_t>> stops,
                       double x0, double x1) {
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0, y0, 0, y1);
    for (const auto& [offset, colour] : stops) add_stop(pattern, offset, colour);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

void ellipse(cairo_t* cr, double x, double y, double rx, double ry, double angle) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angle);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
}

void snowflake(cairo_t* cr, Random& random, double cx, double cy, double radius, double width) {
    const int branches = 1 + random.below(3);
    double at[3], length[3], spread[3];
    for (int b = 0; b < branches; ++b) {
        at[b] = 0.3 + 0.55 * (b + random.uniform(0.2, 0.8)) / branches;
        length[b] = radius * random.uniform(0.15, 0.38) * (1.1 - at[b] * 0.5);
        spread[b] = random.uniform(0.45, 0.95);
    }
    const bool plate = random.below(3) == 0;  // some crystals have a hexagonal core
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, random.uniform(0, kPi));
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int arm = 0; arm < 6; ++arm) {
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, 0, -radius);
        for (int b = 0; b < branches; ++b) {
            const double y = -radius * at[b];
            cairo_move_to(cr, 0, y);
            cairo_line_to(cr, -length[b] * spread[b], y - length[b]);
            cairo_move_to(cr, 0, y);
            cairo_line_to(cr, length[b] * spread[b], y - length[b]);
        }
        if (plate) {
            cairo_move_to(cr, 0, -radius * 0.22);
            cairo_line_to(cr, radius * 0.22 * std::sin(kPi / 3), -radius * 0.22 * std::cos(kPi / 3));
        }
        cairo_rotate(cr, kPi / 3.0);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void sparkle(cairo_t* cr, double cx, double cy, double radius, uint32_t colour, double alpha) {
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
            set_colour(cr, random.below(4) == 0 ? 0xFFE8C0 : 0xFFFFFF, brightness);
            cairo_arc(cr, x, y, random.uniform(0.4, 1.1), 0, 2 * kPi);
            cairo_fill(cr);
        }
    }
}

void falling_snow(cairo_t* cr, Random& random, int count, double x0, double y0, double width, double height,
                  uint32_t colour) {
    for (int i = 0; i < count; ++i) {
        const double x = x0 + random.uniform(0, width), y = y0 + random.uniform(0, height);
        const double r = random.uniform(0.6, 2.2);
        set_colour(cr, colour, random.uniform(0.5, 0.95));
        cairo_arc(cr, x, y, r, 0, 2 * kPi);
        cairo_fill(cr);
    }
}

void pine_tree(cairo_t* cr, Random& random, double x, double base, double height, uint32_t colour, uint32_t snow) {
    const int tiers = 3 + random.below(3);
    const double width = height * random.uniform(0.48, 0.72);
    const double lean = random.uniform(-0.06, 0.06) * height;
    const double snow_cover = random.uniform(0.35, 0.75);
    const uint32_t needles = shade(colour, random.uniform(-0.25, 0.15));
    set_colour(cr, shade(0x3A2414, random.uniform(-0.3, 0.1)));
    cairo_rectangle(cr, x - height * 0.045, base - height * 0.14, height * 0.09, height * 0.14);
    cairo_fill(cr);
    for (int t = 0; t < tiers; ++t) {
        const double f = static_cast<double>(t + 1) / tiers;
        const double top = base - height + t * height * 0.8 / tiers * random.uniform(0.85, 1.0);
        const double bottom = base - height * 0.1 - (tiers - 1 - t) * height * 0.72 / tiers;
        const double half = width * (0.25 + 0.75 * f) / 2.0 * random.uniform(0.9, 1.1);
        const double tip = x + lean * (1.0 - f);
        const double droop = (bottom - top) * 0.12;
        cairo_move_to(cr, tip, top);
        cairo_curve_to(cr, tip + half * 0.4, top + (bottom - top) * 0.5, x + half * 0.8, bottom - droop, x + half,
                       bottom);
        cairo_curve_to(cr, x + half * 0.4, bottom - droop * 1.5, x - half * 0.4, bottom - droop * 0.5, x - half,
                       bottom);
        cairo_curve_to(cr, x - half * 0.8, bottom - droop, tip - half * 0.4, top + (bottom - top) * 0.5, tip, top);
        cairo_close_path(cr);
        set_colour(cr, needles);
        cairo_fill(cr);
        // Snow lies on the upper side of each tier, more on some trees than others.
        const double depth = (bottom - top) * snow_cover;
        cairo_move_to(cr, tip, top);
        cairo_line_to(cr, tip + half * snow_cover * 0.9, top + depth);
        cairo_curve_to(cr, tip + half * 0.2, top + depth * 0.7, tip - half * 0.2, top + depth * 1.1,
                       tip - half * snow_cover, top + depth * 0.95);
        cairo_close_path(cr);
        set_colour(cr, snow, 0.92);
        cairo_fill(cr);
    }
}

void aurora(cairo_t* cr, double width, double base, double amplitude, double phase, double height, uint32_t colour,
            double alpha) {
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0, base - height, 0, base + amplitude);
    add_stop(pattern, 0.0, colour, 0.0);
    add_stop(pattern, 0.75, colour, alpha);
    add_stop(pattern, 1.0, colour, 0.0);
    cairo_move_to(cr, 0, base);
    // Both edges are traced in 4-pixel steps, the lower one left to right.
    for (int step = 0; 4.0 * step <= width; ++step) {
        const double x = 4.0 * step;
        cairo_line_to(cr, x, base + amplitude * std::sin(x / width * 2.6 * kPi + phase));
    }
    for (int step = 0; width - 4.0 * step >= 0; ++step) {
        const double x = width - 4.0 * step;
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

}  // namespace gf::datagen
