// Puts the ray camera at its load-time values for each test and restores
// whatever was there afterwards, with the virtual clock switched on.
#pragma once

#include <gtest/gtest.h>

#include <tuple>

#include "common/frame_globals.h"
#include "platform/clock.h"
#include "raycast/ray_grid.h"

namespace gf::testing {

inline auto camera_globals() {
    return std::tie(cam_fov, cam_tunnel, cam_x, cam_y, cam_z, cam_angle_x, cam_angle_y, cam_angle_z, plane_bounce);
}
using CameraValues = std::tuple<float, int32_t, float, float, float, float, float, float, int32_t>;

// The camera as the program starts with it, written out by hand.
inline const CameraValues kLoadTimeCamera{160.0f, 1, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0};

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_frame_time_ = frame_time;
        camera_globals() = kLoadTimeCamera;
        use_virtual_clock(kVirtualClockStart);
    }
    void TearDown() override {
        use_system_clock();
        frame_time = saved_frame_time_;
        camera_globals() = saved_;
    }

private:
    CameraValues saved_ = camera_globals();
    uint32_t saved_frame_time_ = 0;
};

}  // namespace gf::testing
