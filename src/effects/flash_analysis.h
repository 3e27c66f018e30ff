// Measuring flashes the way the WCAG 2.x general-flash and red-flash rules
// define them, over areas of the 320 × 200 frame. The limiter (flash_limit.h)
// and the frame-folder analyser (tools/flashcheck) share this code, so what
// the limiter keeps below the threshold is exactly what the analyser counts.
//
// - Light is measured as relative luminance: each sRGB channel is decoded to
//   linear light, then L = 0.2126 R + 0.7152 G + 0.0722 B (0 black, 1 white).
// - A general transition is a change of L by 0.1 or more where the darker of
//   the two states is below 0.8; a flash is a pair of opposing transitions.
// - A red transition is a change of max(0, (R - G - B) × 320) by more than 20
//   (R, G, B linear) where R / (R + G + B) is at least 0.8 in either state.
// - An area is a block of 1/36 of the frame: a quarter of a 10° field of view
//   when the frame fills the screen. Areas overlap (a new one every 1/24 of the
//   width and the height), so a flash anywhere covers most of one of them; an
//   area's state is the mean of its pixels in linear light.
// - A transition is a swing between turning points: the value has to move by
//   the threshold from the extreme it reached since the last transition.
// - More than three flashes (more than six transitions) in any one second fail.
#pragma once

#include <array>
#include <cstdint>

namespace gf {

// The frame is cut into 24 × 24 cells (edges at whole pixels); an area is 4 × 4 cells.
constexpr int kFlashGridColumns = 24;
constexpr int kFlashGridRows = 24;
constexpr int kFlashGridCells = kFlashGridColumns * kFlashGridRows;
constexpr int kFlashAreaCells = 4;
constexpr int kFlashAreaColumns = kFlashGridColumns - kFlashAreaCells + 1;
constexpr int kFlashAreaRows = kFlashGridRows - kFlashAreaCells + 1;
constexpr int kFlashAreas = kFlashAreaColumns * kFlashAreaRows;

constexpr double kGeneralFlashStep = 0.1;    // a change of at least this much relative luminance
constexpr double kGeneralFlashDarker = 0.8;  // counts only when the darker state is below this
constexpr double kRedFlashStep = 20.0;       // a change of more than this in (R - G - B) × 320
constexpr double kRedFlashScale = 320.0;
constexpr double kRedFlashRatio = 0.8;   // saturated red: R / (R + G + B) at least this
constexpr int kFlashMaxTransitions = 6;  // in any one second: three flashes pass, a fourth fails
constexpr uint32_t kFlashWindowMs = 1000;
// Transition times an area keeps: enough to tell how far past the limit a strobe goes.
constexpr int kFlashTrackedTransitions = 24;

// Linear light of an 8-bit sRGB value, scaled to 0..65535 (rounded).
extern const std::array<uint16_t, 256>& srgb_to_linear16();
// The 8-bit sRGB value whose linear light is nearest to `linear` (0..65535).
uint8_t linear16_to_srgb(uint32_t linear);

// Sums of linear light per cell (each channel 0..65535 a pixel) and the cells' pixel counts.
struct CellLight {
    std::array<uint32_t, kFlashGridCells> red{};
    std::array<uint32_t, kFlashGridCells> green{};
    std::array<uint32_t, kFlashGridCells> blue{};
};
void measure_cells(const uint32_t* frame, CellLight& cells);
// First pixel column (row) of grid column (row) i; i = 24 gives the frame's width (height).
int flash_cell_left(int column);
int flash_cell_top(int row);
int flash_cell_pixels(int cell);
// The cells of area `area`: columns area % 21 .. +3, rows area / 21 .. +3.
int flash_area_first_cell(int area);

// What an area shows: mean linear light of each channel (0..1), and from it
// the relative luminance, the red measure and the red ratio.
struct AreaLight {
    double red = 0;
    double green = 0;
    double blue = 0;
    double luminance() const;
    double red_level() const;  // max(0, (R - G - B) × 320)
    double red_ratio() const;  // R / (R + G + B); 0 for black
};
AreaLight area_light(const CellLight& cells, int area);

// One area's transitions of one kind, followed frame by frame.
enum class FlashKind : uint8_t { General, Red };
struct FlashTrack {
    bool started = false;
    int8_t direction = 0;  // +1 rising since the last transition, -1 falling, 0 none yet
    double anchor = 0;     // the extreme since the last transition (the highest when rising, the lowest when falling)
    double anchor_ratio = 0;
    double low = 0;  // before the first transition: the lowest and highest values seen
    double low_ratio = 0;
    double high = 0;
    double high_ratio = 0;
    uint8_t count = 0;  // transitions kept in `times`, the newest last
    std::array<uint32_t, kFlashTrackedTransitions> times{};
};

// The value a track of `kind` follows, from the area's light.
double flash_value(FlashKind kind, const AreaLight& light);

// Whether the area's state `light` would complete a transition of the track.
bool completes_flash(const FlashTrack& track, FlashKind kind, const AreaLight& light);

// Takes the area's state at time `now_ms`; returns true when it completes a transition.
bool observe_flash(FlashTrack& track, FlashKind kind, const AreaLight& light, uint32_t now_ms);

// Transitions in the one second that ends at `now_ms` (times within the last 1000 ms).
int transitions_within_second(const FlashTrack& track, uint32_t now_ms);

}  // namespace gf
