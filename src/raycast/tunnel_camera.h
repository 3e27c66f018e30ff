// The camera over the planes and in the tunnel: sets the RayCamera globals
// from the millisecond clock, once at start-up and then every ray-cast frame.
#pragma once

#include <cstdint>

namespace gf {

// Start-up camera from frame_time: over the planes, far off the axis, facing
// down the travel direction.
void reset_tunnel_camera();

// Sets the camera for one frame. Modes 1–3 sway over the planes (2 and 3 make
// the planes bounce for 209 ms after hit_time); mode 4 tumbles in the tunnel.
// Any other mode does nothing. Each quantity reads the clock afresh.
void animate_tunnel_camera(uint32_t hit_time, int mode);

}  // namespace gf
