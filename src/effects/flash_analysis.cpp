// Relative luminance and the red measure per area, and the transition counting of flash_analysis.h.
#include "effects/flash_analysis.h"

#include <algorithm>
#include <cmath>

#include "common/types.h"

namespace gf {

namespace {

constexpr double kLinearMax = 65535.0;
constexpr double kWeightRed = 0.2126;
constexpr double kWeightGreen = 0.7152;
constexpr double kWeightBlue = 0.0722;

// sRGB's decoding curve: a straight segment near black, then a 2.4 power.
double srgb_decode(int value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

std::array<uint16_t, 256> make_linear_table() {
    std::array<uint16_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        table[v] = static_cast<uint16_t>(std::lround(srgb_decode(v) * kLinearMax));
    }
    return table;
}

// For each code v > 0, the linear level from which v is the nearest code:
// the midpoint between the levels of v - 1 and v.
std::array<uint32_t, 256> make_code_thresholds() {
    const std::array<uint16_t, 256>& linear = srgb_to_linear16();
    std::array<uint32_t, 256> thresholds{};
    for (int v = 1; v < 256; ++v) {
        thresholds[v] = (static_cast<uint32_t>(linear[v - 1]) + linear[v] + 1) / 2;
    }
    return thresholds;
}

bool gate(FlashKind kind, double value_a, double ratio_a, double value_b, double ratio_b) {
    if (kind == FlashKind::General) {
        return std::min(value_a, value_b) < kGeneralFlashDarker;
    }
    return ratio_a >= kRedFlashRatio || ratio_b >= kRedFlashRatio;
}

bool is_step(FlashKind kind, double change) {
    return kind == FlashKind::General ? change >= kGeneralFlashStep : change > kRedFlashStep;
}

bool rises_from_low(const FlashTrack& track, FlashKind kind, double v, double ratio) {
    return is_step(kind, v - track.low) && gate(kind, track.low, track.low_ratio, v, ratio);
}

void count_transition(FlashTrack& track, uint32_t now_ms) {
    if (track.count == track.times.size()) {
        std::copy(track.times.begin() + 1, track.times.end(), track.times.begin());
        --track.count;
    }
    track.times[track.count++] = now_ms;
}

}  // namespace

const std::array<uint16_t, 256>& srgb_to_linear16() {
    static const std::array<uint16_t, 256> table = make_linear_table();
    return table;
}

uint8_t linear16_to_srgb(uint32_t linear) {
    static const std::array<uint8_t, 65536> table = [] {
        const std::array<uint32_t, 256> thresholds = make_code_thresholds();
        std::array<uint8_t, 65536> codes{};
        int code = 0;
        for (uint32_t level = 0; level < codes.size(); ++level) {
            while (code < 255 && thresholds[code + 1] <= level) {
                ++code;
            }
            codes[level] = static_cast<uint8_t>(code);
        }
        return codes;
    }();
    return table[std::min<uint32_t>(linear, 65535)];
}

int flash_cell_left(int column) { return column * kScreenWidth / kFlashGridColumns; }
int flash_cell_top(int row) { return row * kScreenHeight / kFlashGridRows; }

int flash_cell_pixels(int cell) {
    const int column = cell % kFlashGridColumns;
    const int row = cell / kFlashGridColumns;
    return (flash_cell_left(column + 1) - flash_cell_left(column)) * (flash_cell_top(row + 1) - flash_cell_top(row));
}

int flash_area_first_cell(int area) {
    return (area / kFlashAreaColumns) * kFlashGridColumns + area % kFlashAreaColumns;
}

void measure_cells(const uint32_t* frame, CellLight& cells) {
    const std::array<uint16_t, 256>& linear = srgb_to_linear16();
    std::array<int, kScreenWidth> column_cell{};
    for (int column = 0; column < kFlashGridColumns; ++column) {
        for (int x = flash_cell_left(column); x < flash_cell_left(column + 1); ++x) {
            column_cell[x] = column;
        }
    }
    cells = CellLight{};
    for (int row = 0; row < kFlashGridRows; ++row) {
        uint32_t* red = cells.red.data() + row * kFlashGridColumns;
        uint32_t* green = cells.green.data() + row * kFlashGridColumns;
        uint32_t* blue = cells.blue.data() + row * kFlashGridColumns;
        for (int y = flash_cell_top(row); y < flash_cell_top(row + 1); ++y) {
            const uint32_t* line = frame + y * kScreenWidth;
            for (int x = 0; x < kScreenWidth; ++x) {
                const uint32_t p = line[x];
                const int c = column_cell[x];
                red[c] += linear[(p >> 16) & 0xFFu];
                green[c] += linear[(p >> 8) & 0xFFu];
                blue[c] += linear[p & 0xFFu];
            }
        }
    }
}

double AreaLight::luminance() const { return kWeightRed * red + kWeightGreen * green + kWeightBlue * blue; }

double AreaLight::red_level() const { return std::max(0.0, (red - green - blue) * kRedFlashScale); }

double AreaLight::red_ratio() const {
    const double sum = red + green + blue;
    return sum > 0 ? red / sum : 0.0;
}

AreaLight area_light(const CellLight& cells, int area) {
    const int first = flash_area_first_cell(area);
    uint64_t red = 0;
    uint64_t green = 0;
    uint64_t blue = 0;
    uint64_t pixels = 0;
    for (int r = 0; r < kFlashAreaCells; ++r) {
        for (int c = 0; c < kFlashAreaCells; ++c) {
            const int cell = first + r * kFlashGridColumns + c;
            red += cells.red[cell];
            green += cells.green[cell];
            blue += cells.blue[cell];
            pixels += static_cast<uint64_t>(flash_cell_pixels(cell));
        }
    }
    const double scale = static_cast<double>(pixels) * kLinearMax;
    return AreaLight{static_cast<double>(red) / scale, static_cast<double>(green) / scale,
                     static_cast<double>(blue) / scale};
}

double flash_value(FlashKind kind, const AreaLight& light) {
    return kind == FlashKind::General ? light.luminance() : light.red_level();
}

bool completes_flash(const FlashTrack& track, FlashKind kind, const AreaLight& light) {
    if (!track.started) {
        return false;
    }
    const double v = flash_value(kind, light);
    const double ratio = light.red_ratio();
    if (track.direction == 0) {
        // The first transition: a move of a whole step from the lowest or highest value so far.
        return rises_from_low(track, kind, v, ratio) ||
               (is_step(kind, track.high - v) && gate(kind, v, ratio, track.high, track.high_ratio));
    }
    // Going on in the same direction moves the extreme; a whole step back is a transition.
    const double back = track.direction > 0 ? track.anchor - v : v - track.anchor;
    return back > 0 && is_step(kind, back) && gate(kind, v, ratio, track.anchor, track.anchor_ratio);
}

bool observe_flash(FlashTrack& track, FlashKind kind, const AreaLight& light, uint32_t now_ms) {
    const double v = flash_value(kind, light);
    const double ratio = light.red_ratio();
    if (!track.started) {
        track.started = true;
        track.low = track.high = v;
        track.low_ratio = track.high_ratio = ratio;
        return false;
    }
    if (completes_flash(track, kind, light)) {
        track.direction = track.direction != 0                    ? static_cast<int8_t>(-track.direction)
                          : rises_from_low(track, kind, v, ratio) ? int8_t{1}
                                                                  : int8_t{-1};
        track.anchor = v;
        track.anchor_ratio = ratio;
        count_transition(track, now_ms);
        return true;
    }
    if (track.direction == 0) {
        if (v < track.low) {
            track.low = v;
            track.low_ratio = ratio;
        }
        if (v > track.high) {
            track.high = v;
            track.high_ratio = ratio;
        }
    } else if (track.direction > 0 ? v > track.anchor : v < track.anchor) {
        track.anchor = v;
        track.anchor_ratio = ratio;
    }
    return false;
}

int transitions_within_second(const FlashTrack& track, uint32_t now_ms) {
    int n = 0;
    for (int i = 0; i < track.count; ++i) {
        if (now_ms - track.times[i] < kFlashWindowMs) {
            ++n;
        }
    }
    return n;
}

}  // namespace gf
