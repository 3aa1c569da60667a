// The scene's own small matrix, vector and quaternion routines: identity and translation, the three
// camera-facing orientations derived from a view matrix, the camera's world matrix, 3-vector arithmetic,
// quaternion rotation and slerp. Matrices are row-major with row vectors; quaternions are (x, y, z, w).
#pragma once

#include "math/D3DXMath.h"

// M becomes the identity.
void TRMatrixIdentity(D3DXMATRIX* m);
// Sets _41 _42 _43 to v; nothing else changes.
void TRMatrixSetTranslation(D3DXMATRIX* m, const D3DXVECTOR3& v);

// Billboard orientations from a view matrix; only the upper-left 3 x 3 of yaw and roll carries meaning, the rest
// is identity.
D3DXMATRIX TRMatrixFacing(const D3DXMATRIX& view);  // view rotation transposed, no translation
D3DXMATRIX TRMatrixYaw(const D3DXMATRIX& view);     // rotation about y following the view heading
D3DXMATRIX TRMatrixRoll(const D3DXMATRIX& view);    // rotation about z

// The general inverse (no determinant requested); a singular matrix gives what D3DXMatrixInverse gives.
D3DXMATRIX TRMatrixInverse(const D3DXMATRIX& m);

D3DXVECTOR3 TRVec3Set(float x, float y, float z);
D3DXVECTOR3 TRVec3Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
D3DXVECTOR3 TRVec3Subtract(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
D3DXVECTOR3 TRVec3Scale(const D3DXVECTOR3& v, float s);

// Writes _11 ... _33 of M from the unit quaternion q; the fourth row and column stay as they were.
void TRQuaternionToRotation(const D3DXQUATERNION& q, D3DXMATRIX* m);
// Spherical linear interpolation along the shorter arc; nearly equal quaternions are blended linearly.
D3DXQUATERNION TRQuaternionSlerp(const D3DXQUATERNION& q0, const D3DXQUATERNION& q1, float t);
