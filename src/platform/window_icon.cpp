// The icon is drawn from shapes measured as signed distances, with 4 × 4
// samples a pixel for smooth edges. Line widths have a floor of one and a half
// to two pixels, and the finer side branches appear only where there is room for
// them, so that the small sizes stay crisp instead of turning to grey mush.
#include "platform/window_icon.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gf {

namespace {

constexpr int kSamples = 4;  // per pixel side
constexpr int kWindowIconSize = 64;

struct Segment {
    double ax, ay, bx, by;
};

double distance_to_segment(double px, double py, const Segment& s) {
    const double dx = s.bx - s.ax;
    const double dy = s.by - s.ay;
    const double t = std::clamp(((px - s.ax) * dx + (py - s.ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - (s.ax + t * dx), py - (s.ay + t * dy));
}

// Signed distance to a square of half side `half` with corners rounded by `radius`, centred on 0.
double rounded_square(double x, double y, double half, double radius) {
    const double qx = std::abs(x) - half + radius;
    const double qy = std::abs(y) - half + radius;
    return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - radius;
}

// The snowflake's strokes in units of the icon's size, centred on 0: six arms,
// bare on the smallest icons, with one pair of branches each, two on larger icons.
std::vector<Segment> snowflake(int size) {
    constexpr double kArm = 0.34;
    const bool fine = size >= 48;
    const int pairs = size < 24 ? 0 : fine ? 2 : 1;
    std::vector<Segment> strokes;
    for (int k = 0; k < 6; ++k) {
        const double angle = std::numbers::pi / 2 + k * std::numbers::pi / 3;
        const double ux = std::cos(angle);
        const double uy = -std::sin(angle);
        strokes.push_back({0, 0, kArm * ux, kArm * uy});
        const double at[2] = {fine ? 0.15 : 0.19, 0.25};
        const double length[2] = {fine ? 0.11 : 0.13, 0.07};
        for (int b = 0; b < pairs; ++b) {
            const double bx = at[b] * ux;
            const double by = at[b] * uy;
            for (const double side : {-1.0, 1.0}) {
                const double branch = angle + side * std::numbers::pi / 3;
                strokes.push_back({bx, by, bx + length[b] * std::cos(branch), by - length[b] * std::sin(branch)});
            }
        }
    }
    return strokes;
}

uint32_t mix(uint32_t from, uint32_t to, double t) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double a = (from >> shift) & 0xFF;
        const double b = (to >> shift) & 0xFF;
        out |= static_cast<uint32_t>(std::lround(a + (b - a) * t)) << shift;
    }
    return out;
}

}  // namespace

std::vector<uint32_t> draw_icon(int size) {
    std::vector<uint32_t> pixels(static_cast<std::size_t>(std::max(size, 0)) *
                                 static_cast<std::size_t>(std::max(size, 0)));
    if (size <= 0) {
        return pixels;
    }
    constexpr uint32_t kTileTop = 0x2A5FA8;
    constexpr uint32_t kTileBottom = 0x0B1736;
    constexpr uint32_t kFrost = 0xF2FAFF;
    const double margin = size >= 48 ? 1.0 / 16 : 1.0 / 32;  // in units of the size
    const double half = 0.5 - margin;
    const double pixel = 1.0 / size;
    const double stroke = std::max(0.055, (size < 24 ? 1.5 : 2.2) * pixel) / 2;  // half the line width
    const double hub = std::max(0.06, (size < 24 ? 1.5 : 2.5) * pixel);
    const std::vector<Segment> strokes = snowflake(size);

    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int tile = 0;
            int frost = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = (x + (sx + 0.5) / kSamples) * pixel - 0.5;
                    const double py = (y + (sy + 0.5) / kSamples) * pixel - 0.5;
                    if (rounded_square(px, py, half, 0.22 * half) > 0) {
                        continue;
                    }
                    ++tile;
                    bool on = std::hypot(px, py) <= hub;
                    for (const Segment& s : strokes) {
                        on = on || distance_to_segment(px, py, s) <= stroke;
                    }
                    frost += on ? 1 : 0;
                }
            }
            if (tile == 0) {
                continue;
            }
            const double ty = std::clamp((y + 0.5) * pixel / (2 * half) - margin / (2 * half), 0.0, 1.0);
            const uint32_t background = mix(kTileTop, kTileBottom, ty);
            const uint32_t colour = mix(background, kFrost, static_cast<double>(frost) / tile);
            const auto alpha = static_cast<uint32_t>(tile * 255 / (kSamples * kSamples));
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)] =
                alpha << 24 | colour;
        }
    }
    return pixels;
}

void set_window_icon(SDL_Window* window) {
    std::vector<uint32_t> pixels = draw_icon(kWindowIconSize);
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kWindowIconSize, kWindowIconSize, 32,
                                                              kWindowIconSize * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface != nullptr) {
        SDL_SetWindowIcon(window, surface);
        SDL_FreeSurface(surface);
    }
}

}  // namespace gf
