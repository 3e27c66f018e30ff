// Per-frame globals read by the effects and the timeline: where this frame is
// drawn, the clock value of this frame, and the flag that ends the show.
// All are written and read on the frame-loop thread only.
#pragma once

#include <cstdint>

namespace gf {

// Top-left pixel of the locked frame surface; valid between lock_frame and unlock_frame.
extern uint32_t* screen;

// Millisecond clock read right after each display update; 0 during start-up and the first frame.
extern uint32_t frame_time;

// Set to 1 by the timeline when the closing fade reaches volume 0.
extern uint32_t exit_requested;

}  // namespace gf
