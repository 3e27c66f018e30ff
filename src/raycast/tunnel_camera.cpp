// Tunnel camera animation. Every angle is a sine of the clock in degrees,
// stored as a float; the travel depth is the clock times a rate, wrapping in
// 32 bits and converted as an unsigned number.
#include "raycast/tunnel_camera.h"

#include <cmath>

#include "common/float_to_int.h"
#include "common/frame_globals.h"
#include "common/trig.h"
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
    return static_cast<float>(gf::sin(static_cast<double>(now) * rate) * amplitude);
}

// The three angles' sways: a rate for each of x, y and z, one amplitude.
struct AngleSway {
    double rate_x, rate_y, rate_z;
    double amplitude;
};
constexpr AngleSway kGentleSway = {0.002, 0.003, 0.004, 20.0};
constexpr AngleSway kFullTurns = {0.0002, 0.0003, 0.0004, 360.0};

// Sets the three angles, x first, each at the time `now()` gives then.
template <class Now>
void sway_angles(const AngleSway& s, Now now) {
    cam_angle_x = sway(now(), s.rate_x, s.amplitude);
    cam_angle_y = sway(now(), s.rate_y, s.amplitude);
    cam_angle_z = sway(now(), s.rate_z, s.amplitude);
}

// The planes move apart and back together once in the window after a hit.
// The last value written inside the window stays until the next hit.
void bounce_planes(uint32_t hit_time) {
    const uint32_t elapsed = time_get_time() - hit_time;
    if (elapsed < kBounceWindowMs) {
        const uint32_t phase = time_get_time() - hit_time;
        plane_bounce = float_to_int(gf::sin(static_cast<double>(phase) * kBounceRate) * kBounceHeight);
    }
}

}  // namespace

void reset_tunnel_camera() {
    const uint32_t now = frame_time;
    cam_x = kStartCamX;
    cam_y = 0.0f;
    cam_fov = kPlanesFov;
    cam_tunnel = 0;
    sway_angles(kGentleSway, [now] { return now; });
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
        case kCameraPlanesTurn:
            sway_angles(mode == kCameraPlanesSway ? kGentleSway : kFullTurns, time_get_time);
            cam_z = travel(kFastTravelRate, time_get_time());
            cam_fov = kPlanesFov;
            bounce_planes(hit_time);
            cam_tunnel = 0;
            break;
        case kCameraTunnel:  // the field of view breathes between 40 and 140
            sway_angles(kFullTurns, time_get_time);
            cam_x = 0.0f;
            cam_z = travel(kSlowTravelRate, time_get_time());
            cam_fov = static_cast<float>(gf::sin(static_cast<double>(time_get_time()) * 0.002) * 50.0 + 90.0);
            cam_tunnel = 1;
            break;
        default:
            break;
    }
}

}  // namespace gf
