#include "tools/view/OrbitCamera.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarn::view {

void OrbitCamera::Orbit(const D3DXVECTOR3& newTarget, float newDistance, float newYaw, float newPitch) {
    target = newTarget;
    distance = newDistance;
    yaw = newYaw;
    pitch = std::clamp(newPitch, -kPitchLimit, kPitchLimit);
    up = D3DXVECTOR3(0, 1, 0);
}

void OrbitCamera::LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& newUp) {
    target = lookAt;
    up = newUp;
    const D3DXVECTOR3 back = eye - lookAt;
    distance = D3DXVec3Length(&back);
    if (distance <= 0) {
        // A camera looking at its own eye shows nothing sensible; look along -z from one unit away instead.
        distance = 1;
        yaw = pitch = 0;
        return;
    }
    // Not clamped: the eye stays exactly where the scene put it until the user drags.
    pitch = std::asin(std::clamp(back.y / distance, -1.0f, 1.0f));
    yaw = std::atan2(back.x, back.z);
}

D3DXVECTOR3 OrbitCamera::Eye() const {
    const float c = std::cos(pitch);
    return target + D3DXVECTOR3(c * std::sin(yaw), std::sin(pitch), c * std::cos(yaw)) * distance;
}

D3DXMATRIX OrbitCamera::View() const {
    const D3DXVECTOR3 eye = Eye();
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &target, &up);
    return view;
}

void OrbitCamera::Drag(int dx, int dy) {
    // The eye's derivative along yaw is minus the camera's right axis, so a growing yaw moves it left.
    yaw = std::remainder(yaw + static_cast<float>(dx) * kRadiansPerPixel, 2.0f * std::numbers::pi_v<float>);
    pitch = std::clamp(pitch + static_cast<float>(dy) * kRadiansPerPixel, -kPitchLimit, kPitchLimit);
    up = D3DXVECTOR3(0, 1, 0);
}

void OrbitCamera::Pan(int dx, int dy, int viewportHeight, float fieldOfView) {
    if (viewportHeight <= 0) return;
    // Scene units per pixel in the plane through the target that faces the camera.
    const float perPixel = 2.0f * distance * std::tan(fieldOfView / 2.0f) / static_cast<float>(viewportHeight);
    const D3DXMATRIX view = View();
    const D3DXVECTOR3 right(view._11, view._21, view._31), cameraUp(view._12, view._22, view._32);
    // The picture moves with the mouse: the camera moves the other way (screen y grows downwards).
    target += (right * static_cast<float>(-dx) + cameraUp * static_cast<float>(dy)) * perPixel;
}

void OrbitCamera::Zoom(int delta, float minDistance, float maxDistance) {
    const float notches = static_cast<float>(delta) / 120.0f;
    distance = std::clamp(distance * std::pow(kZoomPerNotch, notches), minDistance, maxDistance);
}

}  // namespace tarn::view
