// The camera over the planes and in the tunnel: sets the RayCamera globals
// from the millisecond clock, once at start-up and then every ray-cast frame.
#pragma once

#include <cstdint>

namespace gf {

// The camera's ways of moving, as animate_tunnel_camera's `mode`.
enum CameraMode : int {
    kCameraPlanesLookDown = 1,  // gentle sway over the planes, looking down
    kCameraPlanesSway = 2,      // sway over the planes, bouncing on hits
    kCameraPlanesTurn = 3,      // slow full turns over the planes, bouncing on hits
    kCameraTunnel = 4,          // tumbling in the tunnel with a breathing field of view
};

// Start-up camera from frame_time: over the planes, far off the axis, facing
// down the travel direction.
void reset_tunnel_camera();

// Sets the camera for one frame in the CameraMode `mode` (the planes modes
// sway and turn bounce for 209 ms after hit_time). Any other mode does nothing. Each quantity reads the clock afresh.
void animate_tunnel_camera(uint32_t hit_time, int mode);

}  // namespace gf
