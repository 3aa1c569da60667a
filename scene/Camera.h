// The camera node: eye, look-at point, up, field of view and clipping planes, the view and projection it sets on
// the device, and the three camera-facing matrices that billboard mesh nodes take their rotation from.
#pragma once

#include "scene/Node.h"

class CTRCamera : public CTRNode {
public:
    CTRCamera();

    // Turns this camera into the default one, "NoneCamera", looking from (1, 0, 0) at the origin.
    void setDefault();

    // Reads the node header, then eye, look-at point, up, field of view, far plane and near plane (far first).
    bool read(CTRSceneReader& reader);

    // Computes and sets the projection (field of view, back-buffer aspect, near, far) and the view transforms.
    // The billboard matrices are not touched.
    void apply();

    // Stores the three vectors, sets the view transform and recomputes the billboard matrices. The projection is
    // not touched.
    void setLookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& up);

    const D3DXMATRIX& getViewMatrix() const { return viewMatrix; }
    const D3DXMATRIX& getProjectionMatrix() const { return projectionMatrix; }
    // The camera's world transform: the inverse of the view matrix.
    D3DXMATRIX getWorldMatrix() const;

    // Identity until the first setLookAt.
    D3DXMATRIX facingMatrix;  // billboard mode 3
    D3DXMATRIX yawMatrix;     // billboard mode 1
    D3DXMATRIX rollMatrix;    // billboard mode 2
    D3DXMATRIX viewMatrix;
    D3DXMATRIX projectionMatrix;
    D3DXVECTOR3 eye;
    D3DXVECTOR3 lookAt;
    D3DXVECTOR3 up;
    float fieldOfView = 0.785398185f;  // vertical, radians
    float farPlane = 1000.0f;
    float nearPlane = 1.0f;
};
