#include "scene/Camera.h"

#include "scene/SceneDevice.h"
#include "SceneReader.h"
#include "TransformHelpers.h"

#include <cstring>

CTRCamera::CTRCamera() {
    TRMatrixIdentity(&facingMatrix);
    TRMatrixIdentity(&yawMatrix);
    TRMatrixIdentity(&rollMatrix);
    TRMatrixIdentity(&viewMatrix);
    TRMatrixIdentity(&projectionMatrix);
    eye = TRVec3Set(1, 0, 0);
    lookAt = TRVec3Set(0, 0, 0);
    up = TRVec3Set(0, 1, 0);
}

void CTRCamera::setDefault() {
    std::memset(name, 0, sizeof name);
    std::strcpy(name, "NoneCamera");
    link1 = link2 = -1;
    TRMatrixIdentity(&matrix);
    userData.reset();
    animation.reset();
    eye = TRVec3Set(1, 0, 0);
    lookAt = TRVec3Set(0, 0, 0);
    up = TRVec3Set(0, 1, 0);
    fieldOfView = 0.785398185f;  // pi/4 in single precision
    farPlane = 1000.0f;
    nearPlane = 1.0f;
}

bool CTRCamera::read(CTRSceneReader& reader) {
    if (!readHeader(reader)) return false;
    float fields[12];
    if (!reader.read(fields, sizeof fields)) return false;
    eye = TRVec3Set(fields[0], fields[1], fields[2]);
    lookAt = TRVec3Set(fields[3], fields[4], fields[5]);
    up = TRVec3Set(fields[6], fields[7], fields[8]);
    fieldOfView = fields[9];
    farPlane = fields[10];  // the record keeps far before near
    nearPlane = fields[11];
    return true;
}

void CTRCamera::apply() {
    UINT width = 0, height = 0;
    SceneBackBufferSize(&width, &height);
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    D3DXMatrixPerspectiveFovLH(&projectionMatrix, fieldOfView, aspect, nearPlane, farPlane);
    D3DXMatrixLookAtLH(&viewMatrix, &eye, &lookAt, &up);
    if (IDirect3DDevice9* device = SceneDevice()) {
        device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
        device->SetTransform(D3DTS_VIEW, &viewMatrix);
    }
}

void CTRCamera::setLookAt(const D3DXVECTOR3& newEye, const D3DXVECTOR3& newLookAt, const D3DXVECTOR3& newUp) {
    eye = newEye;
    lookAt = newLookAt;
    up = newUp;
    D3DXMatrixLookAtLH(&viewMatrix, &eye, &lookAt, &up);
    if (IDirect3DDevice9* device = SceneDevice()) device->SetTransform(D3DTS_VIEW, &viewMatrix);
    facingMatrix = TRMatrixFacing(viewMatrix);
    yawMatrix = TRMatrixYaw(viewMatrix);
    rollMatrix = TRMatrixRoll(viewMatrix);
}

D3DXMATRIX CTRCamera::getWorldMatrix() const { return TRMatrixInverse(viewMatrix); }
