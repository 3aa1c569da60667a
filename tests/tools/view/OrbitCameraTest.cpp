// The viewer's camera alone: where the eye sits for an orbit, that a scene camera is taken exactly, and which way
// each mouse gesture moves it, judged by the view matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tools/view/OrbitCamera.h"

namespace {

using tarn::view::OrbitCamera;

D3DXVECTOR3 Right(const D3DXMATRIX& view) { return D3DXVECTOR3(view._11, view._21, view._31); }
float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tolerance = 1e-4f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(OrbitCameraTest, TheEyeSitsOnTheSphereAroundTheTarget) {
    struct Case {
        float yaw, pitch;
        D3DXVECTOR3 eye;  // for target (1, 2, 3) at distance 10
    } const kCases[] = {
        {0, 0, {1, 2, 13}},
        {std::numbers::pi_v<float> / 2, 0, {11, 2, 3}},
        {0, std::numbers::pi_v<float> / 6, {1, 7, 3 + 10 * std::cos(std::numbers::pi_v<float> / 6)}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.yaw);
        OrbitCamera camera;
        camera.Orbit(D3DXVECTOR3(1, 2, 3), 10, c.yaw, c.pitch);
        ExpectNear(camera.Eye(), c.eye);
        // The view takes the target to the middle of the picture, `distance` in front.
        D3DXVECTOR3 target;
        const D3DXMATRIX view = camera.View();
        D3DXVec3TransformCoord(&target, &camera.Target(), &view);
        ExpectNear(target, D3DXVECTOR3(0, 0, 10));
    }
    OrbitCamera pole;
    pole.Orbit(D3DXVECTOR3(0, 0, 0), 1, 0, 3);
    EXPECT_FLOAT_EQ(pole.Pitch(), OrbitCamera::kPitchLimit);
}

TEST(OrbitCameraTest, ASceneCameraIsTakenAsItIs) {
    OrbitCamera camera;
    const D3DXVECTOR3 eye(10, 3, 1), at(0, 1, 0), up(0.1f, 1, 0);
    camera.LookAt(eye, at, up);
    ExpectNear(camera.Eye(), eye);
    D3DXMATRIX expected;
    D3DXMatrixLookAtLH(&expected, &eye, &at, &up);
    const D3DXMATRIX view = camera.View();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(view.m[i / 4][i % 4], expected.m[i / 4][i % 4], 1e-4f) << i;
    EXPECT_EQ(camera.Up().x, 0.1f);
    // The first orbit drag turns it about the world's y axis.
    camera.Drag(1, 0);
    EXPECT_EQ(camera.Up().x, 0.0f);
}

// A left drag turns the picture with the mouse: right moves the eye to the camera's left around the target, down
// raises it; the target and the distance stay.
TEST(OrbitCameraTest, DraggingOrbitsTheEyeAgainstTheMouse) {
    OrbitCamera camera;
    camera.Orbit(D3DXVECTOR3(1, 0, -2), 20, 0.3f, 0.2f);
    const D3DXMATRIX before = camera.View();
    const D3DXVECTOR3 eyeBefore = camera.Eye();
    camera.Drag(40, 0);
    const D3DXVECTOR3 moved = camera.Eye() - eyeBefore;
    EXPECT_LT(Dot(moved, Right(before)), -1.0f);
    EXPECT_NEAR(moved.y, 0, 1e-4f);
    EXPECT_NEAR(camera.Yaw(), 0.3f + 40 * OrbitCamera::kRadiansPerPixel, 1e-6f);
    ExpectNear(camera.Target(), D3DXVECTOR3(1, 0, -2));
    EXPECT_FLOAT_EQ(camera.Distance(), 20);

    const float heightBefore = camera.Eye().y;
    camera.Drag(0, 30);
    EXPECT_GT(camera.Eye().y, heightBefore + 1.0f);
    camera.Drag(0, -60);
    EXPECT_LT(camera.Eye().y, heightBefore - 1.0f);
    camera.Drag(0, 100000);
    EXPECT_FLOAT_EQ(camera.Pitch(), OrbitCamera::kPitchLimit);
}

// A pan moves the point under the cursor with it: after a drag of (dx, dy) pixels the old target lies dx pixels
// right of and dy pixels below the centre of a 600-pixel-high view, and the camera looks the same way.
TEST(OrbitCameraTest, PanningMovesTheSceneWithTheMouse) {
    OrbitCamera camera;
    camera.Orbit(D3DXVECTOR3(0, 1, 0), 30, -0.7f, 0.4f);
    const D3DXVECTOR3 oldTarget = camera.Target(), backBefore = camera.Eye() - camera.Target();
    const float fov = 0.785398185f;
    camera.Pan(50, -20, 600, fov);
    D3DXMATRIX projection, view = camera.View(), both;
    D3DXMatrixPerspectiveFovLH(&projection, fov, 800.0f / 600.0f, 1, 100);
    D3DXMatrixMultiply(&both, &view, &projection);
    D3DXVECTOR3 clip;
    D3DXVec3TransformCoord(&clip, &oldTarget, &both);
    EXPECT_NEAR(clip.x * 400, 50, 0.05f);    // x pixels right of the centre
    EXPECT_NEAR(-clip.y * 300, -20, 0.05f);  // y pixels below it
    ExpectNear(camera.Eye() - camera.Target(), backBefore);
}

// The wheel forward (positive) brings the eye closer, back takes it away, by the same factor per notch.
TEST(OrbitCameraTest, TheWheelZoomsInForwardAndOutBack) {
    OrbitCamera camera;
    camera.Orbit(D3DXVECTOR3(0, 0, 0), 10, 0, 0);
    camera.Zoom(120, 0.1f, 1000);
    EXPECT_FLOAT_EQ(camera.Distance(), 10 * OrbitCamera::kZoomPerNotch);
    camera.Zoom(-240, 0.1f, 1000);
    EXPECT_NEAR(camera.Distance(), 10 / OrbitCamera::kZoomPerNotch, 1e-4f);
    camera.Zoom(120 * 100, 0.5f, 1000);
    EXPECT_FLOAT_EQ(camera.Distance(), 0.5f);
    camera.Zoom(-120 * 100, 0.5f, 1000);
    EXPECT_FLOAT_EQ(camera.Distance(), 1000);
}

}  // namespace
