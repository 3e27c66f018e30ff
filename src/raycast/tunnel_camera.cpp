// Tunnel camera animation. Every angle is a sine of the clock in degrees,
// stored as a float; the travel depth is the clock times a rate, wrapping in
// 32 bits and converted as an unsigned number.
#include "raycast/tunnel_camera.h"

#include <cmath>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "platform/clock.h"
#include "raycast/ray_grid.h"

namespace gf {

namespace {

constexpr float kStartCamX = 69632.0f;  // 0x11000: far off the axis over the planes
constexpr float kPlanesFov = 180.0f;
constexpr uint32_t kTravelStart = 65536;
constexpr uint32_t kSlowTravelRate = 20;
constexpr uint32_t kFastTravelRate = 40;
// One period of sin(elapsed · 0.03): 2π / 0.03 ≈ 209.4 ms.
constexpr uint32_t kBounceWindowMs = 209;
constexpr double kBounceRate = 0.03;
constexpr double kBounceHeight = 1000.0;

// Depth along the travel: now·rate + 65536 modulo 2^32, as an unsigned number.
float travel(uint32_t rate, uint32_t now) { return static_cast<float>(now * rate + kTravelStart); }

float sway(uint32_t now, double rate, double amplitude) {
    return static_cast<float>(std::sin(static_cast<double>(now) * rate) * amplitude);
}

// The planes move apart and back together once in the window after a hit.
// The last value written inside the window stays until the next hit.
void bounce_planes(uint32_t hit_time) {
    const uint32_t elapsed = time_get_time() - hit_time;
    if (elapsed < kBounceWindowMs) {
        const uint32_t phase = time_get_time() - hit_time;
        plane_bounce = float_to_int(std::sin(static_cast<double>(phase) * kBounceRate) * kBounceHeight);
    }
}

}  // namespace

void reset_tunnel_camera() {
    const uint32_t now = frame_time;
    cam_x = kStartCamX;
    cam_y = 0.0f;
    cam_fov = kPlanesFov;
    cam_tunnel = 0;
    cam_angle_x = sway(now, 0.002, 20.0);
    cam_angle_y = sway(now, 0.003, 20.0);
    cam_angle_z = sway(now, 0.004, 20.0);
    cam_z = travel(kFastTravelRate, now);
}

void animate_tunnel_camera(uint32_t hit_time, int mode) {
    // Statements stay one per clock read so the reads happen in this order.
    switch (mode) {
        case kCameraPlanesLookDown:
            cam_angle_x = -45.0f;
            cam_angle_y = sway(time_get_time(), 0.003, 20.0);
            cam_angle_z = 0.0f;
            cam_z = travel(kSlowTravelRate, time_get_time());
            cam_fov = kPlanesFov;
            break;
        case kCameraPlanesSway:
            cam_angle_x = sway(time_get_time(), 0.002, 20.0);
            cam_angle_y = sway(time_get_time(), 0.003, 20.0);
            cam_angle_z = sway(time_get_time(), 0.004, 20.0);
            cam_z = travel(kFastTravelRate, time_get_time());
            cam_fov = kPlanesFov;
            bounce_planes(hit_time);
            cam_tunnel = 0;
            break;
        case kCameraPlanesTurn:
            cam_angle_x = sway(time_get_time(), 0.0002, 360.0);
            cam_angle_y = sway(time_get_time(), 0.0003, 360.0);
            cam_angle_z = sway(time_get_time(), 0.0004, 360.0);
            cam_z = travel(kFastTravelRate, time_get_time());
            cam_fov = kPlanesFov;
            bounce_planes(hit_time);
            cam_tunnel = 0;
            break;
        case kCameraTunnel:  // the field of view breathes between 40 and 140
            cam_angle_x = sway(time_get_time(), 0.0002, 360.0);
            cam_angle_y = sway(time_get_time(), 0.0003, 360.0);
            cam_angle_z = sway(time_get_time(), 0.0004, 360.0);
            cam_x = 0.0f;
            cam_z = travel(kSlowTravelRate, time_get_time());
            cam_fov = static_cast<float>(std::sin(static_cast<double>(time_get_time()) * 0.002) * 50.0 + 90.0);
            cam_tunnel = 1;
            break;
        default:
            break;
    }
}

}  // namespace gf
