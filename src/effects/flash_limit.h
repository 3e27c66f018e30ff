// The gentle show's flash limiter: applied to each finished frame before it is
// shown or encoded, it keeps every area of the picture at or below three
// flashes in any one second, general or red, as flash_analysis.h counts them.
//
// Each area may make transitions freely while it has budget left in the last
// second; once five are spent and the area last fell, it may not rise by a
// whole step again until older transitions have left the second, so the
// sixth is always a fall and the area never has to be held up. The limiter
// then darkens, in linear light, the cells of such an area that rose, just
// enough to keep the area below its lowest point plus the step, with the
// gains smoothed between cells; colours and structure are kept. A frame that
// would still complete a transition too many is replaced by the last frame shown.
#pragma once

#include <array>
#include <cstdint>

#include "common/types.h"
#include "effects/flash_analysis.h"

namespace gf {

// Everything the limiter carries from one frame to the next: restoring it (with the
// rest of the show's state) continues the gentle show exactly.
struct FlashLimitState {
    bool started = false;
    std::array<uint32_t, kScreenPixels> shown{};  // the last frame shown
    CellLight shown_light{};                      // the cells' light in it
    CellLight drawn{};                            // the cells' light as the show drew the last frame
    std::array<bool, kFlashGridCells> held{};     // cells the limiter darkened on the last frame
    std::array<FlashTrack, kFlashAreas> general{};
    std::array<FlashTrack, kFlashAreas> red{};
};
extern FlashLimitState flash_limit;

// Forgets every frame seen: the next frame is shown as it is and starts the counting.
void reset_flash_limit();

// Limits the 320 × 200 `frame` in place; `now_ms` is the clock at which it is drawn.
void limit_flashes(uint32_t* frame, uint32_t now_ms);

}  // namespace gf
