// The tunnel camera under the virtual clock: start-up values, the four modes,
// the bounce window after a hit and the state each mode leaves alone.
#include "raycast/tunnel_camera.h"

#include <gtest/gtest.h>

#include "camera_state.h"

namespace gf {
namespace {

using testing::camera_globals;
using testing::CameraTest;
using testing::CameraValues;

// Taken during static initialisation, before any test touches the camera.
const CameraValues g_camera_at_load = camera_globals();

TEST(CameraLoad, GlobalsStartAtTheirLoadTimeValues) { EXPECT_EQ(g_camera_at_load, testing::kLoadTimeCamera); }

using TunnelCamera = CameraTest;

TEST_F(TunnelCamera, ResetFollowsFrameTimeAndLeavesTheBounce) {
    plane_bounce = 77;
    reset_tunnel_camera();  // frame_time 0, as at start-up
    EXPECT_EQ(camera_globals(), CameraValues(180.0f, 0, 69632.0f, 0.0f, 65536.0f, 0.0f, 0.0f, 0.0f, 77));

    frame_time = 1000;  // the clock itself is not read
    reset_tunnel_camera();
    EXPECT_FLOAT_EQ(cam_angle_x, 18.1859493f);   // sin(2)·20
    EXPECT_FLOAT_EQ(cam_angle_y, 2.82240009f);   // sin(3)·20
    EXPECT_FLOAT_EQ(cam_angle_z, -15.1360502f);  // sin(4)·20
    EXPECT_EQ(cam_z, 105536.0f);                 // 1000·40 + 65536

    // Travel is unsigned and wraps modulo 2^32: 10^8·40 + 65536 lies above 2^31,
    // and 107374183·40 = 2^32 + 24.
    frame_time = 100'000'000;
    reset_tunnel_camera();
    EXPECT_EQ(cam_z, 4000065536.0f);
    frame_time = 107'374'183;
    reset_tunnel_camera();
    EXPECT_EQ(cam_z, 65560.0f);
}

TEST_F(TunnelCamera, EachModeSetsItsOwnGlobals) {
    set_virtual_clock(1000);
    camera_globals() = CameraValues(1.0f, 1, 123.0f, 45.0f, 0.0f, 0.0f, 0.0f, 0.0f, 300);
    animate_tunnel_camera(1000, 1);  // looks down; x, y, geometry and bounce untouched
    EXPECT_EQ(camera_globals(), CameraValues(180.0f, 1, 123.0f, 45.0f, 85536.0f, -45.0f, 2.82240009f, 0.0f, 300));

    animate_tunnel_camera(0, 2);  // hit long ago: no bounce
    EXPECT_EQ(camera_globals(),
              CameraValues(180.0f, 0, 123.0f, 45.0f, 105536.0f, 18.1859493f, 2.82240009f, -15.1360502f, 300));

    animate_tunnel_camera(0, 3);  // full turns: sin(0.2)·360, sin(0.3)·360, sin(0.4)·360
    EXPECT_EQ(camera_globals(),
              CameraValues(180.0f, 0, 123.0f, 45.0f, 105536.0f, 71.5209579f, 106.387276f, 140.190598f, 300));

    animate_tunnel_camera(1000, 4);  // a fresh hit: mode 4 ignores it
    EXPECT_EQ(camera_globals(),
              CameraValues(135.464874f, 1, 0.0f, 45.0f, 85536.0f, 71.5209579f, 106.387276f, 140.190598f, 300));

    for (int mode : {0, 5, -1}) {
        const CameraValues before = camera_globals();
        animate_tunnel_camera(1000, mode);
        EXPECT_EQ(camera_globals(), before) << "mode " << mode;
    }

    set_virtual_clock(214'748'365);  // 214748365·20 = 2^32 + 4
    animate_tunnel_camera(0, 1);
    EXPECT_EQ(cam_z, 65540.0f);
}

TEST_F(TunnelCamera, StartOffsetStaysUntilTheFirstTunnelFrame) {
    reset_tunnel_camera();
    for (int mode : {1, 2, 3, 1}) {
        advance_virtual_clock(17);
        animate_tunnel_camera(0, mode);
        EXPECT_EQ(cam_x, 69632.0f) << "mode " << mode;
    }
    animate_tunnel_camera(0, 4);
    for (int mode : {1, 2, 3}) {
        animate_tunnel_camera(0, mode);
        EXPECT_EQ(cam_x, 0.0f) << "mode " << mode;
    }
}

TEST_F(TunnelCamera, FieldOfViewBreathesBetween40And140) {
    for (uint32_t t = 0; t < 3200; ++t) {  // one period: π / 0.001 ≈ 3142 ms
        set_virtual_clock(t);
        animate_tunnel_camera(0, 4);
        ASSERT_TRUE(cam_fov >= 40.0f && cam_fov <= 140.0f) << cam_fov << " at " << t << " ms";
    }
    set_virtual_clock(785);  // 785·0.002 ≈ π/2: the widest, 140 − 0.000008
    animate_tunnel_camera(0, 4);
    EXPECT_NEAR(cam_fov, 140.0f, 1e-4f);
}

TEST_F(TunnelCamera, PlanesBounceForOnePeriodAfterAHit) {
    const uint32_t now = kVirtualClockStart;
    struct Case {
        uint32_t elapsed;
        int32_t bounce;  // trunc(sin(elapsed · 0.03) · 1000)
    };
    for (int mode : {2, 3}) {
        for (const Case c : {Case{0, 0}, Case{1, 29}, Case{2, 59}, Case{100, 141}, Case{208, -43}}) {
            plane_bounce = 5555;
            animate_tunnel_camera(now - c.elapsed, mode);
            EXPECT_EQ(plane_bounce, c.bounce) << "mode " << mode << ", " << c.elapsed << " ms after the hit";
        }
    }
    // Outside the window the last value stays; it is not reset to 0.
    for (uint32_t hit : {now - 209, now - 5000, now + 1 /* in the future */, 0u /* no hit yet */}) {
        animate_tunnel_camera(hit, 2);
        EXPECT_EQ(plane_bounce, -43) << "hit at " << hit;
    }
    // The difference wraps with the clock: 3 ms from just before the wrap.
    set_virtual_clock(1);
    animate_tunnel_camera(0xFFFFFFFEu, 3);
    EXPECT_EQ(plane_bounce, 89);  // trunc(sin(0.09) · 1000)
}

}  // namespace
}  // namespace gf
