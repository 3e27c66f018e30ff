// The tunnel camera under the virtual clock: start-up values, the four modes,
// the bounce window after a hit and the state each mode leaves alone.
#include "raycast/tunnel_camera.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "camera_state.h"

namespace gf {
namespace {

using testing::CameraState;
using testing::CameraTest;

// Taken during static initialisation, before any test touches the camera.
const CameraState g_camera_at_load = CameraState::capture();

TEST(CameraLoad, GlobalsStartAtTheirLoadTimeValues) {
    EXPECT_TRUE(g_camera_at_load == testing::kLoadTimeCamera);
}

using TunnelCameraReset = CameraTest;

TEST_F(TunnelCameraReset, AtTimeZeroFacesDownTheTravelOverThePlanes) {
    frame_time = 0;
    plane_bounce = 77;  // reset leaves the bounce alone
    reset_tunnel_camera();
    EXPECT_EQ(cam_x, 69632.0f);
    EXPECT_EQ(cam_y, 0.0f);
    EXPECT_EQ(cam_fov, 180.0f);
    EXPECT_EQ(cam_tunnel, 0);
    EXPECT_EQ(cam_angle_x, 0.0f);
    EXPECT_EQ(cam_angle_y, 0.0f);
    EXPECT_EQ(cam_angle_z, 0.0f);
    EXPECT_EQ(cam_z, 65536.0f);
    EXPECT_EQ(plane_bounce, 77);
}

TEST_F(TunnelCameraReset, FollowsFrameTimeNotTheClock) {
    frame_time = 1000;
    set_virtual_clock(5'000'000);
    reset_tunnel_camera();
    EXPECT_FLOAT_EQ(cam_angle_x, 18.185949f);   // sin(2)·20
    EXPECT_FLOAT_EQ(cam_angle_y, 2.8224001f);   // sin(3)·20
    EXPECT_FLOAT_EQ(cam_angle_z, -15.136050f);  // sin(4)·20
    EXPECT_EQ(cam_z, 105536.0f);                // 1000·40 + 65536
}

TEST_F(TunnelCameraReset, TravelIsUnsignedAndWrapsModulo2To32) {
    // 100000000·40 + 65536 = 4000065536: above 2^31, so a signed conversion would go negative.
    frame_time = 100'000'000;
    reset_tunnel_camera();
    EXPECT_EQ(cam_z, 4000065536.0f);
    // 107374183·40 = 2^32 + 24.
    frame_time = 107'374'183;
    reset_tunnel_camera();
    EXPECT_EQ(cam_z, 65560.0f);
}

using TunnelCameraModes = CameraTest;

TEST_F(TunnelCameraModes, ModeOneLooksDownAndLeavesGeometryAlone) {
    set_virtual_clock(1000);
    cam_x = 123.0f;
    cam_y = 45.0f;
    cam_tunnel = 1;
    plane_bounce = 300;
    animate_tunnel_camera(1000, 1);
    EXPECT_EQ(cam_angle_x, -45.0f);
    EXPECT_FLOAT_EQ(cam_angle_y, 2.8224001f);  // sin(3)·20
    EXPECT_EQ(cam_angle_z, 0.0f);
    EXPECT_EQ(cam_z, 85536.0f);  // 1000·20 + 65536
    EXPECT_EQ(cam_fov, 180.0f);
    EXPECT_EQ(cam_x, 123.0f);
    EXPECT_EQ(cam_y, 45.0f);
    EXPECT_EQ(cam_tunnel, 1);
    EXPECT_EQ(plane_bounce, 300);
}

TEST_F(TunnelCameraModes, ModeTwoSwaysOverThePlanes) {
    set_virtual_clock(1000);
    cam_tunnel = 1;
    animate_tunnel_camera(0, 2);
    EXPECT_FLOAT_EQ(cam_angle_x, 18.185949f);
    EXPECT_FLOAT_EQ(cam_angle_y, 2.8224001f);
    EXPECT_FLOAT_EQ(cam_angle_z, -15.136050f);
    EXPECT_EQ(cam_z, 105536.0f);
    EXPECT_EQ(cam_fov, 180.0f);
    EXPECT_EQ(cam_tunnel, 0);
}

TEST_F(TunnelCameraModes, ModesThreeAndFourTumbleThroughFullTurns) {
    set_virtual_clock(1000);
    animate_tunnel_camera(0, 3);
    EXPECT_FLOAT_EQ(cam_angle_x, 71.520958f);  // sin(0.2)·360
    EXPECT_FLOAT_EQ(cam_angle_y, 106.38728f);  // sin(0.3)·360
    EXPECT_FLOAT_EQ(cam_angle_z, 140.19060f);  // sin(0.4)·360
    EXPECT_EQ(cam_z, 105536.0f);
    EXPECT_EQ(cam_fov, 180.0f);
    EXPECT_EQ(cam_tunnel, 0);

    cam_x = 69632.0f;
    plane_bounce = 300;
    animate_tunnel_camera(1000, 4);  // a fresh hit: mode 4 ignores it
    EXPECT_FLOAT_EQ(cam_angle_x, 71.520958f);
    EXPECT_FLOAT_EQ(cam_angle_y, 106.38728f);
    EXPECT_FLOAT_EQ(cam_angle_z, 140.19060f);
    EXPECT_EQ(cam_x, 0.0f);
    EXPECT_EQ(cam_z, 85536.0f);
    EXPECT_FLOAT_EQ(cam_fov, 135.46487f);  // sin(2)·50 + 90
    EXPECT_EQ(cam_tunnel, 1);
    EXPECT_EQ(plane_bounce, 300);
}

TEST_F(TunnelCameraModes, ModeFourFieldOfViewBreathesBetween40And140) {
    float lowest = 1000.0f;
    float highest = -1000.0f;
    for (uint32_t t = 0; t < 4000; ++t) {
        set_virtual_clock(t);
        animate_tunnel_camera(0, 4);
        ASSERT_GE(cam_fov, 40.0f) << "at " << t << " ms";
        ASSERT_LE(cam_fov, 140.0f) << "at " << t << " ms";
        lowest = std::min(lowest, cam_fov);
        highest = std::max(highest, cam_fov);
    }
    // Over more than one period (π ms / 0.001 ≈ 3142 ms) it reaches both ends.
    EXPECT_LT(lowest, 40.01f);
    EXPECT_GT(highest, 139.99f);
}

TEST_F(TunnelCameraModes, UnknownModesChangeNothing) {
    const CameraState before {99.0f, 7, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 8};
    for (int mode : {0, 5, -1, 100}) {
        before.apply();
        animate_tunnel_camera(kVirtualClockStart, mode);
        EXPECT_TRUE(CameraState::capture() == before) << "mode " << mode;
    }
}

TEST_F(TunnelCameraModes, StartOffsetIsKeptUntilTheFirstTunnelFrame) {
    frame_time = 0;
    reset_tunnel_camera();
    for (int mode : {1, 2, 3, 1}) {
        advance_virtual_clock(17);
        animate_tunnel_camera(0, mode);
        EXPECT_EQ(cam_x, 69632.0f) << "mode " << mode;
    }
    EXPECT_EQ(cam_tunnel, 0);  // mode 1 keeps what mode 3 set
    animate_tunnel_camera(0, 4);
    EXPECT_EQ(cam_x, 0.0f);
    for (int mode : {1, 2, 3}) {
        animate_tunnel_camera(0, mode);
        EXPECT_EQ(cam_x, 0.0f) << "mode " << mode << " must not restore the start offset";
    }
    animate_tunnel_camera(0, 4);
    animate_tunnel_camera(0, 1);
    EXPECT_EQ(cam_tunnel, 1);  // mode 1 keeps the tunnel that mode 4 set
}

using PlaneBounce = CameraTest;

TEST_F(PlaneBounce, FollowsTheSineOfTheTimeSinceTheHit) {
    const uint32_t now = kVirtualClockStart;
    struct Case {
        uint32_t elapsed;
        int32_t bounce;  // trunc(sin(elapsed · 0.03) · 1000)
    };
    for (int mode : {2, 3}) {
        for (const Case c : {Case {0, 0}, Case {1, 29}, Case {2, 59}, Case {100, 141}, Case {208, -43}}) {
            plane_bounce = 5555;
            animate_tunnel_camera(now - c.elapsed, mode);
            EXPECT_EQ(plane_bounce, c.bounce) << "mode " << mode << ", " << c.elapsed << " ms after the hit";
        }
    }
}

TEST_F(PlaneBounce, OutsideTheWindowTheLastValueStays) {
    const uint32_t now = kVirtualClockStart;
    animate_tunnel_camera(now - 100, 2);
    ASSERT_EQ(plane_bounce, 141);
    animate_tunnel_camera(now - 209, 2);  // one period has passed: no write, not reset to 0
    EXPECT_EQ(plane_bounce, 141);
    animate_tunnel_camera(now - 5000, 3);
    EXPECT_EQ(plane_bounce, 141);
    animate_tunnel_camera(now + 1, 2);  // a hit in the future wraps to a huge elapsed time
    EXPECT_EQ(plane_bounce, 141);
    animate_tunnel_camera(0, 2);  // no hit yet: time 0 lies long in the past
    EXPECT_EQ(plane_bounce, 141);
}

TEST_F(PlaneBounce, DifferenceWrapsAroundTheClock) {
    // The clock just after its wrap, the hit just before it: 3 ms apart.
    set_virtual_clock(1);
    animate_tunnel_camera(0xFFFFFFFEu, 2);
    EXPECT_EQ(plane_bounce, 89);  // trunc(sin(0.09) · 1000)
}

TEST_F(TunnelCameraModes, RateTwentyTravelWrapsToo) {
    // 214748365·20 = 2^32 + 4.
    set_virtual_clock(214'748'365);
    animate_tunnel_camera(0, 1);
    EXPECT_EQ(cam_z, 65540.0f);
}

}  // namespace
}  // namespace gf
