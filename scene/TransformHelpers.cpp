#include "scene/TransformHelpers.h"

#include <cmath>

namespace {

// pi/2 as the scene's angle code rounds it: to single precision.
constexpr float kHalfPi = 1.57079601f;

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    TRMatrixIdentity(&m);
    return m;
}

}  // namespace

void TRMatrixIdentity(D3DXMATRIX* m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m->m[r][c] = r == c ? 1.0f : 0.0f;
}

void TRMatrixSetTranslation(D3DXMATRIX* m, const D3DXVECTOR3& v) {
    m->_41 = v.x;
    m->_42 = v.y;
    m->_43 = v.z;
}

D3DXMATRIX TRMatrixFacing(const D3DXMATRIX& v) {
    D3DXMATRIX m = Identity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = v.m[c][r];
    return m;
}

D3DXMATRIX TRMatrixYaw(const D3DXMATRIX& v) {
    D3DXMATRIX m = Identity();
    const float x = v._13;
    const float z = v._33;
    if (x == 0.0f) return m;
    const float a = std::atan(z / x);
    const float theta = x > 0.0f ? kHalfPi - a : -a - kHalfPi;
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    m._11 = c;
    m._13 = -s;
    m._31 = s;
    m._33 = c;
    return m;
}

D3DXMATRIX TRMatrixRoll(const D3DXMATRIX& v) {
    D3DXMATRIX m = Identity();
    const float x = v._13;
    const float y = v._23;
    // A zero x divides to an infinity and atan gives +-pi/2; 0/0 gives NaN, which the caller receives as is.
    const float a = std::atan(y / x);
    const float phi = x > 0.0f ? a + kHalfPi : a - kHalfPi;
    const float c = std::cos(phi);
    const float s = std::sin(phi);
    m._11 = c;
    m._12 = s;
    m._21 = -s;
    m._22 = c;
    return m;
}

D3DXMATRIX TRMatrixInverse(const D3DXMATRIX& m) {
    D3DXMATRIX out = m;
    D3DXMatrixInverse(&out, nullptr, &m);
    return out;
}

D3DXVECTOR3 TRVec3Set(float x, float y, float z) {
    D3DXVECTOR3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

D3DXVECTOR3 TRVec3Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return TRVec3Set(a.x + b.x, a.y + b.y, a.z + b.z); }

D3DXVECTOR3 TRVec3Subtract(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return TRVec3Set(a.x - b.x, a.y - b.y, a.z - b.z);
}

D3DXVECTOR3 TRVec3Scale(const D3DXVECTOR3& v, float s) { return TRVec3Set(v.x * s, v.y * s, v.z * s); }

void TRQuaternionToRotation(const D3DXQUATERNION& q, D3DXMATRIX* m) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    m->_11 = 1.0f - 2.0f * (y * y + z * z);
    m->_12 = 2.0f * (x * y + w * z);
    m->_13 = 2.0f * (x * z - w * y);
    m->_21 = 2.0f * (x * y - w * z);
    m->_22 = 1.0f - 2.0f * (x * x + z * z);
    m->_23 = 2.0f * (y * z + w * x);
    m->_31 = 2.0f * (x * z + w * y);
    m->_32 = 2.0f * (y * z - w * x);
    m->_33 = 1.0f - 2.0f * (x * x + y * y);
}

D3DXQUATERNION TRQuaternionSlerp(const D3DXQUATERNION& q0, const D3DXQUATERNION& q1, float t) {
    float d = q0.x * q1.x + q0.y * q1.y + q0.z * q1.z + q0.w * q1.w;
    float sign = 1.0f;
    if (d < 0.0f) {
        d = -d;
        sign = -1.0f;  // the shorter arc runs to -q1
    }
    float s0, s1;
    if (1.0 - static_cast<double>(d) > static_cast<double>(0.01f)) {
        const float omega = static_cast<float>(std::acos(d));
        const float k = static_cast<float>(1.0 / std::sin(omega));
        s0 = static_cast<float>(std::sin((1.0f - t) * omega)) * k;
        s1 = static_cast<float>(std::sin(t * omega)) * k;
    } else {
        s0 = 1.0f - t;
        s1 = t;
    }
    s1 *= sign;
    D3DXQUATERNION r;
    r.x = s0 * q0.x + s1 * q1.x;
    r.y = s0 * q0.y + s1 * q1.y;
    r.z = s0 * q0.z + s1 * q1.z;
    r.w = s0 * q0.w + s1 * q1.w;
    return r;
}
