// Saves and restores the ray camera globals around each test, so tests can
// set any camera without leaking it into the next one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "common/frame_globals.h"
#include "platform/clock.h"
#include "raycast/ray_grid.h"

namespace gf::testing {

struct CameraState {
    float fov;
    int32_t tunnel;
    float x;
    float y;
    float z;
    float angle_x;
    float angle_y;
    float angle_z;
    int32_t bounce;

    static CameraState capture() {
        return {cam_fov, cam_tunnel, cam_x, cam_y, cam_z, cam_angle_x, cam_angle_y, cam_angle_z, plane_bounce};
    }

    void apply() const {
        cam_fov = fov;
        cam_tunnel = tunnel;
        cam_x = x;
        cam_y = y;
        cam_z = z;
        cam_angle_x = angle_x;
        cam_angle_y = angle_y;
        cam_angle_z = angle_z;
        plane_bounce = bounce;
    }

    bool operator==(const CameraState&) const = default;
};

// The camera as the program starts with it, written out by hand.
inline constexpr CameraState kLoadTimeCamera {160.0f, 1, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0};

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CameraState::capture();
        saved_frame_time_ = frame_time;
        kLoadTimeCamera.apply();
        use_virtual_clock(kVirtualClockStart);
    }

    void TearDown() override {
        use_system_clock();
        frame_time = saved_frame_time_;
        saved_.apply();
    }

private:
    CameraState saved_ {};
    uint32_t saved_frame_time_ = 0;
};

}  // namespace gf::testing
