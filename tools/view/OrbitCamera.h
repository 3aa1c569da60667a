// The viewer's camera: an eye on a sphere around a target point (yaw about the world's y axis, pitch above the
// horizontal plane, distance), moved the way the mouse asks. Left-handed, as the engine's cameras are: the view is
// D3DXMatrixLookAtLH of the eye, the target and the up direction. Angles are radians, lengths scene units, mouse
// moves client pixels.
#pragma once

#include "math/D3DXMath.h"

namespace tarn::view {

class OrbitCamera {
public:
    // Radians the eye turns per pixel of a left drag.
    static constexpr float kRadiansPerPixel = 0.01f;
    // Pitch stays this far inside the poles, so that the up direction never lines up with the view.
    static constexpr float kPitchLimit = 1.55f;
    // One wheel notch (WHEEL_DELTA) forward brings the eye this factor of its distance closer.
    static constexpr float kZoomPerNotch = 0.85f;

    // Looks at `target` from `distance` away, turned `yaw` about y (0 looks along -z) and raised `pitch`.
    void Orbit(const D3DXVECTOR3& target, float distance, float yaw, float pitch);
    // Takes a scene camera's eye, look-at point and up direction as they are; the orbit angles are those of the
    // eye around the look-at point, and `up` stays until the first orbit drag turns the camera about y.
    void LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& up);

    // A left drag of (dx, dy) pixels: the picture turns with the mouse, as if the scene were held. Dragging right
    // moves the eye to the camera's left (yaw grows); dragging down raises it (pitch grows).
    void Drag(int dx, int dy);
    // A right or middle drag: the point under the cursor follows it. `viewportHeight` is the client height the
    // vertical field of view `fieldOfView` spans.
    void Pan(int dx, int dy, int viewportHeight, float fieldOfView);
    // A wheel turn of `delta` (multiples of WHEEL_DELTA, forward positive): forward moves the eye closer to the
    // target, back moves it away. The distance stays within [minDistance, maxDistance].
    void Zoom(int delta, float minDistance, float maxDistance);

    D3DXVECTOR3 Eye() const;
    const D3DXVECTOR3& Target() const { return target; }
    const D3DXVECTOR3& Up() const { return up; }
    float Distance() const { return distance; }
    float Yaw() const { return yaw; }
    float Pitch() const { return pitch; }
    D3DXMATRIX View() const;

private:
    D3DXVECTOR3 target{0, 0, 0};
    D3DXVECTOR3 up{0, 1, 0};
    float distance = 1;
    float yaw = 0;
    float pitch = 0;
};

}  // namespace tarn::view
