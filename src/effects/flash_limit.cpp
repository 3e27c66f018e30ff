// The flash limiter: per-cell gains in linear light from the areas' budgets, then a check
// of the finished frame against the same counting the analyser does.
#include "effects/flash_limit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gf {

FlashLimitState flash_limit;

namespace {

// Room for the rounding of darkened pixels back to 8-bit sRGB: an area's mean
// moves by far less than this, so a capped area stays clear of the step.
constexpr double kLuminanceMargin = 0.01;
constexpr double kRedMargin = 5.0;
// Darkening a cell can raise the red measure of an area beside it (less green and
// blue there); a few passes settle it, and a last uniform scale always does.
constexpr int kRedPasses = 4;
constexpr int kGainBits = 16;  // gains in 0.16 fixed point when applied to pixels
constexpr double kLinearMax = 65535.0;
constexpr double kNoCap = std::numeric_limits<double>::infinity();

// The most an area may show on this frame: no limit while it has budget; after
// five transitions in the last second, the last of them a fall, its lowest
// value since then plus a step (less the margin), so it cannot rise again.
double area_cap(const FlashTrack& track, FlashKind kind, uint32_t now_ms) {
    if (track.direction >= 0 || transitions_within_second(track, now_ms) < kFlashMaxTransitions - 1) {
        return kNoCap;
    }
    return kind == FlashKind::General ? track.anchor + kGeneralFlashStep - kLuminanceMargin
                                      : track.anchor + kRedFlashStep - kRedMargin;
}

// Each cell's light as the areas add it up: luminance and R - G - B, in linear
// sums, and whether each has risen since the last frame shown.
struct CellTerms {
    std::array<double, kFlashGridCells> luminance{};
    std::array<double, kFlashGridCells> red{};
    std::array<bool, kFlashGridCells> luminance_rose{};
    std::array<bool, kFlashGridCells> red_rose{};
};

// A cell rose when it is lighter than on the last frame shown, and either the show
// drew it lighter than last time or the limiter is still holding it down. A cell
// darkened only by the smoothing around a held one did not rise: it is not
// darkened for its own sake on the next frame, so the smoothing cannot spread.
CellTerms cell_terms(const CellLight& cells, const CellLight& shown, const CellLight& drawn,
                     const std::array<bool, kFlashGridCells>& held) {
    CellTerms terms;
    for (int c = 0; c < kFlashGridCells; ++c) {
        const auto luminance = [c](const CellLight& l) {
            return AreaLight{double(l.red[c]), double(l.green[c]), double(l.blue[c])}.luminance();
        };
        const auto red = [c](const CellLight& l) { return double(l.red[c]) - l.green[c] - l.blue[c]; };
        terms.luminance[c] = luminance(cells);
        terms.red[c] = red(cells);
        terms.luminance_rose[c] =
            terms.luminance[c] > luminance(shown) && (held[c] || terms.luminance[c] > luminance(drawn));
        terms.red_rose[c] = terms.red[c] > red(shown) && (held[c] || terms.red[c] > red(drawn));
    }
    return terms;
}

double area_scale(int area) {
    const int first = flash_area_first_cell(area);
    int pixels = 0;
    for (int r = 0; r < kFlashAreaCells; ++r) {
        for (int c = 0; c < kFlashAreaCells; ++c) {
            pixels += flash_cell_pixels(first + r * kFlashGridColumns + c);
        }
    }
    return 1.0 / (pixels * kLinearMax);
}

template <typename Fn>
void for_area_cells(int area, Fn&& fn) {
    const int first = flash_area_first_cell(area);
    for (int r = 0; r < kFlashAreaCells; ++r) {
        for (int c = 0; c < kFlashAreaCells; ++c) {
            fn(first + r * kFlashGridColumns + c);
        }
    }
}

using Gains = std::array<double, kFlashGridCells>;
using Terms = std::array<double, kFlashGridCells>;
using Rose = std::array<bool, kFlashGridCells>;

// An area's mean of one term with the cells' gains applied (they scale linear light).
double gained_mean(const Terms& term, const Gains& gain, int area) {
    double sum = 0;
    for_area_cells(area, [&](int cell) { sum += gain[cell] * term[cell]; });
    return sum * area_scale(area);
}

double gained_value(FlashKind kind, const Terms& term, const Gains& gain, int area) {
    const double mean = gained_mean(term, gain, area);
    return kind == FlashKind::General ? mean : std::max(0.0, mean * kRedFlashScale);
}

// Brings an area at `level` down to `cap`: by darkening the cells that rose since the
// last frame shown, where that is enough; otherwise every cell of the area alike.
void cap_area(FlashKind kind, const Terms& term, const Rose& rose, Gains& gain, int area, double level, double cap) {
    double rising = 0;
    for_area_cells(area, [&](int cell) { rising += rose[cell] ? gain[cell] * term[cell] : 0.0; });
    rising *= area_scale(area) * (kind == FlashKind::General ? 1.0 : kRedFlashScale);
    const double steady = level - rising;
    if (rising > 0 && steady < cap) {
        const double scale = (cap - steady) / rising;
        for_area_cells(area, [&](int cell) { gain[cell] *= rose[cell] ? scale : 1.0; });
    } else {
        for_area_cells(area, [&](int cell) { gain[cell] *= cap / level; });
    }
}

// The gains that keep every capped area under its cap.
Gains cell_gains(const CellTerms& terms, uint32_t now_ms) {
    Gains gain;
    gain.fill(1.0);
    // Darkening a cell lowers the luminance of every area holding it, so one pass is enough.
    for (int a = 0; a < kFlashAreas; ++a) {
        const double cap = area_cap(flash_limit.general[a], FlashKind::General, now_ms);
        if (cap == kNoCap) {
            continue;
        }
        const double level = gained_value(FlashKind::General, terms.luminance, gain, a);
        if (level > cap) {
            cap_area(FlashKind::General, terms.luminance, terms.luminance_rose, gain, a, level, cap);
        }
    }
    std::array<double, kFlashAreas> red_cap;
    bool any_red_cap = false;
    for (int a = 0; a < kFlashAreas; ++a) {
        red_cap[a] = area_cap(flash_limit.red[a], FlashKind::Red, now_ms);
        any_red_cap = any_red_cap || red_cap[a] != kNoCap;
    }
    if (!any_red_cap) {
        return gain;
    }
    for (int pass = 0; pass <= kRedPasses; ++pass) {
        double uniform = 1.0;
        for (int a = 0; a < kFlashAreas; ++a) {
            const double level = red_cap[a] == kNoCap ? 0.0 : gained_value(FlashKind::Red, terms.red, gain, a);
            if (level <= red_cap[a]) {
                continue;
            }
            if (pass < kRedPasses) {
                cap_area(FlashKind::Red, terms.red, terms.red_rose, gain, a, level, red_cap[a]);
            }
            uniform = std::min(uniform, red_cap[a] / level);
        }
        if (uniform == 1.0) {
            break;
        }
        if (pass == kRedPasses) {
            // Scaling every cell alike scales every area's red measure alike.
            for (double& g : gain) {
                g *= uniform;
            }
        }
    }
    return gain;
}

// The gains spread smoothly over the picture: each cell's gain is first lowered to the
// lowest of its neighbours', then interpolated between cell centres. A pixel so never gets
// more light than its own cell's gain allows, and the cells' edges do not show.
void apply_gains(uint32_t* frame, const std::array<double, kFlashGridCells>& gain) {
    constexpr uint32_t kOne = 1u << kGainBits;
    std::array<uint32_t, kFlashGridCells> fixed{};
    bool any = false;
    for (int row = 0; row < kFlashGridRows; ++row) {
        for (int column = 0; column < kFlashGridColumns; ++column) {
            double lowest = 1.0;
            for (int r = std::max(row - 1, 0); r <= std::min(row + 1, kFlashGridRows - 1); ++r) {
                for (int c = std::max(column - 1, 0); c <= std::min(column + 1, kFlashGridColumns - 1); ++c) {
                    lowest = std::min(lowest, gain[r * kFlashGridColumns + c]);
                }
            }
            const uint32_t g = static_cast<uint32_t>(std::floor(std::max(0.0, lowest) * kOne));
            fixed[row * kFlashGridColumns + column] = g;
            any = any || g < kOne;
        }
    }
    if (!any) {
        return;
    }
    // Per column (row): the two cells whose centres bracket it and the weight of the second, 0..256.
    struct Between {
        int first;
        int second;
        uint32_t weight;
    };
    const auto between = [](int position, int cells, auto edge) {
        // Centres in half pixels, so that they are whole numbers.
        const int at = 2 * position + 1;
        int first = 0;
        while (first + 1 < cells && edge(first + 1) + edge(first + 2) <= at) {
            ++first;
        }
        const int centre = edge(first) + edge(first + 1);
        if (first + 1 >= cells || at <= centre) {
            return Between{first, first, 0};
        }
        const int next = edge(first + 1) + edge(first + 2);
        return Between{first, first + 1, static_cast<uint32_t>((at - centre) * 256 / (next - centre))};
    };
    std::array<Between, kScreenWidth> columns{};
    for (int x = 0; x < kScreenWidth; ++x) {
        columns[x] = between(x, kFlashGridColumns, flash_cell_left);
    }
    const std::array<uint16_t, 256>& linear = srgb_to_linear16();
    for (int y = 0; y < kScreenHeight; ++y) {
        const Between rows = between(y, kFlashGridRows, flash_cell_top);
        const uint32_t* upper = fixed.data() + rows.first * kFlashGridColumns;
        const uint32_t* lower = fixed.data() + rows.second * kFlashGridColumns;
        uint32_t* line = frame + y * kScreenWidth;
        for (int x = 0; x < kScreenWidth; ++x) {
            const Between& col = columns[x];
            const uint64_t top =
                uint64_t{upper[col.first]} * (256 - col.weight) + uint64_t{upper[col.second]} * col.weight;
            const uint64_t bottom =
                uint64_t{lower[col.first]} * (256 - col.weight) + uint64_t{lower[col.second]} * col.weight;
            const uint64_t g = (top * (256 - rows.weight) + bottom * rows.weight) >> 16;
            if (g >= kOne) {
                continue;
            }
            const uint32_t p = line[x];
            const auto darker = [&](uint32_t v) {
                return static_cast<uint32_t>(linear16_to_srgb(static_cast<uint32_t>((linear[v] * g) >> kGainBits)));
            };
            line[x] = (p & 0xFF000000u) | (darker((p >> 16) & 0xFFu) << 16) | (darker((p >> 8) & 0xFFu) << 8) |
                      darker(p & 0xFFu);
        }
    }
}

// Follows every area's tracks over a frame of light `cells`; false (tracks
// untouched) when one would complete more transitions in a second than pass.
bool follow(const CellLight& cells, uint32_t now_ms, std::array<FlashTrack, kFlashAreas>& general,
            std::array<FlashTrack, kFlashAreas>& red) {
    static std::array<AreaLight, kFlashAreas> lights;  // scratch, kept off the stack (a browser's stack is small)
    for (int a = 0; a < kFlashAreas; ++a) {
        lights[a] = area_light(cells, a);
        for (auto [track, kind] : {std::pair{&general[a], FlashKind::General}, std::pair{&red[a], FlashKind::Red}}) {
            if (completes_flash(*track, kind, lights[a]) &&
                transitions_within_second(*track, now_ms) >= kFlashMaxTransitions) {
                return false;
            }
        }
    }
    for (int a = 0; a < kFlashAreas; ++a) {
        observe_flash(general[a], FlashKind::General, lights[a], now_ms);
        observe_flash(red[a], FlashKind::Red, lights[a], now_ms);
    }
    return true;
}

}  // namespace

void reset_flash_limit() {
    flash_limit.started = false;
    flash_limit.shown.fill(0);
    flash_limit.shown_light = CellLight{};
    flash_limit.drawn = CellLight{};
    flash_limit.held.fill(false);
    flash_limit.general.fill(FlashTrack{});
    flash_limit.red.fill(FlashTrack{});
}

void limit_flashes(uint32_t* frame, uint32_t now_ms) {
    FlashLimitState& s = flash_limit;
    CellLight drawn;
    measure_cells(frame, drawn);
    std::array<bool, kFlashGridCells> held{};
    bool darkened = false;
    if (s.started) {
        const Gains gain = cell_gains(cell_terms(drawn, s.shown_light, s.drawn, s.held), now_ms);
        for (int c = 0; c < kFlashGridCells; ++c) {
            held[c] = gain[c] < 1.0;
            darkened = darkened || held[c];
        }
        apply_gains(frame, gain);
    }
    CellLight shown = drawn;
    if (darkened) {
        measure_cells(frame, shown);
    }
    if (!follow(shown, now_ms, s.general, s.red)) {
        // Showing the last frame again completes no transition anywhere.
        std::copy(s.shown.begin(), s.shown.end(), frame);
        shown = s.shown_light;
        follow(shown, now_ms, s.general, s.red);
    }
    s.started = true;
    s.shown_light = shown;
    s.drawn = drawn;
    s.held = held;
    std::copy(frame, frame + kScreenPixels, s.shown.begin());
}

}  // namespace gf
